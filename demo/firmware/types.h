/* Basic types of the controller firmware. */
#ifndef TYPES_H
#define TYPES_H

typedef unsigned char U8;
typedef signed char S8;
typedef unsigned short U16;
typedef signed short S16;
typedef unsigned long U32;
typedef signed long S32;
typedef unsigned long long U64;
typedef signed long long S64;
typedef char CHR;
typedef unsigned char BOOL;

typedef enum {
    MODE_OFF = 0,
    MODE_MANUAL,
    MODE_PROGRAM,
    MODE_SERVICE
} ControlMode_t;

typedef enum {
    RELAY_NONE = 0,
    RELAY_HEATER,
    RELAY_COOLER,
    RELAY_FAN,
    RELAY_ALARM
} RelayFunction_t;

#endif

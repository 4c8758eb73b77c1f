/* Block 1: parameters, kept in EEPROM and edited from the PC tool. */
#ifndef PARAM_H
#define PARAM_H

/* One PID loop per zone */
typedef struct {
    U16 kp_c;           /* proportional gain, 0.01 */
    U16 ki_m;           /* integral gain, 0.001 */
    U16 kd_c;           /* derivative gain, 0.01 */
    U16 outMax_dpct;    /* output limit, 0.1 % */
    U16 rampRate_dCmin; /* 0.1 C per minute */
} ZonePid_t;

typedef struct {
    S16 high_dC;
    S16 low_dC;
    U16 delay_s;
    U8 enable;
    U8 latch;
} AlarmLimits_t;

typedef struct {
    RelayFunction_t function;
    U8 zone;
    U8 invert;
    U16 onDelay_ds;
    U16 offDelay_ds;
} RelayConfig_t;

typedef struct {
    S16 target_dC;
    U16 rampTime_s;
    U16 holdTime_s;
} ProgramStep_t;

typedef struct {
    U16 setpoint_dC[NUM_ZONES];
    S16 tempOffset_dC[NUM_ZONES];
    ZonePid_t pid[NUM_ZONES];
    AlarmLimits_t alarm[NUM_ZONES];
    RelayConfig_t relay[NUM_RELAYS];
    ControlMode_t controlMode;
    U16 fanSpeed_rpm;
    U32 serviceInterval_h;
    struct {
        U8 autoStart:1;
        U8 buzzer:1;
        U8 doorSwitch:1;
        U8 fahrenheit:1;
        U8 keyLock:1;
        U8 spare:3;
    } options;
    U8 language;
    U8 contrast_pct;
    CHR deviceName[NAME_LEN];
    U16 modbusAddress;
    U32 modbusBaud;
    ProgramStep_t program[NUM_PROGRAM_STEPS];
    S16 heatCurve_dC[CURVE_POINTS * 2];
    U8 spare[PARAM_SPARE_BYTES];
    U16 crc;
} ParamBlock_t;

#endif

/* Block 2: calibration, written by the calibration bench. */
#ifndef CALIB_H
#define CALIB_H

/* One point of the NTC linearisation table */
typedef struct {
    S16 raw;
    S16 temp_dC;
} NtcPoint_t;

typedef struct {
    S16 adcOffset[NUM_ZONES];
    U16 adcGain_m[NUM_ZONES];
    S16 ambientOffset_dC;
    U16 voltageGain_m;
    U16 currentGain_m;
    NtcPoint_t ntcTable[NTC_POINTS];
    U8 calDay;
    U8 calMonth;
    U8 calYear;
    U8 calStation;
    U16 crc;
} CalibBlock_t;

#endif

/* Live data, refreshed every 100 ms and polled by the PC tool. */
#ifndef MONITOR_H
#define MONITOR_H

/* Alarms: each bit latches until ALARM RESET */
typedef struct {
    U16 overTemp1_a:1;
    U16 overTemp2_a:1;
    U16 overTemp3_a:1;
    U16 overTemp4_a:1;
    U16 overTemp5_a:1;
    U16 overTemp6_a:1;
    U16 underTemp_a:1;
    U16 sensorOpen_a:1;
    U16 sensorShort_a:1;
    U16 doorOpen_a:1;
    U16 fanStall_a:1;
    U16 supplyLow_a:1;
    U16 supplyHigh_a:1;
    U16 eepromError_a:1;
    U16 commTimeout_a:1;
    U16 watchdog_a:1;
} AlarmFlags_t;

/* Status: warnings, outputs, states and faults */
typedef struct {
    U16 serviceDue_w:1;
    U16 tempDrift_w:1;
    U16 calibOld_w:1;
    U16 heater_o:1;
    U16 cooler_o:1;
    U16 fan_o:1;
    U16 buzzer_o:1;
    U16 running_s:1;
    U16 holding_s:1;
    U16 ramping_s:1;
    U16 doorClosed_s:1;
    U16 remote_s:1;
    U16 relayWeld_f:1;
    U16 heaterOpen_f:1;
    U16 adcFault_f:1;
    U16 ramFault_f:1;
} StatusFlags_t;

typedef struct {
    U32 uptime_s;
    U32 cycleCount;
    U16 powerCycles;
    S16 zoneTemp_dC[NUM_ZONES];
    S16 zoneSetpoint_dC[NUM_ZONES];
    U8 zoneOutput_pct[NUM_ZONES];
    U16 heaterCycles[NUM_ZONES];
    S16 ambientTemp_dC;
    S16 boardTemp_dC;
    U16 supplyVoltage_cV;
    U16 heaterCurrent_mA;
    U16 fanSpeed_rpm;
    U8 relayState[NUM_RELAYS];
    ControlMode_t activeMode;
    U8 programStep;
    U16 stepTimeLeft_s;
    AlarmFlags_t alarms;
    StatusFlags_t status;
    U16 errorCount;
    U32 energy_Wh;
    S32 doorOpenTime_s;
    U8 spare[LIVE_SPARE_BYTES];
    U16 crc;
} MonitorBlock_t;

#endif

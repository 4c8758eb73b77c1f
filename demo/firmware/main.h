/*
 * TQ0315 climate chamber controller - shared memory map.
 *
 * DeviceMemory_t is the image the PC tool reads and writes: the parameter block,
 * the non-volatile information and calibration blocks, and the live monitor block
 * that the controller refreshes every 100 ms.
 */
#ifndef MAIN_H
#define MAIN_H

#include "config.h"
#include "types.h"
#include "blocks/param.h"
#include "blocks/info.h"
#include "blocks/calib.h"
#include "blocks/monitor.h"

typedef struct {
    ParamBlock_t par;           /* block 1 */
    struct {
        InfoBlock_t info;       /* block 3 */
        CalibBlock_t calib;     /* block 2 */
    } nv;
    MonitorBlock_t monitor;     /* live data */
} DeviceMemory_t;

#endif

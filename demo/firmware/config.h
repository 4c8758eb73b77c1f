/* Firmware identity and build configuration. */
#ifndef CONFIG_H
#define CONFIG_H

/* Identity reported to the PC tool */
#define szPROJ_VERSION "FW0315 V2.04"
#define CODE_PROJ 315
#define FW_DEV_REVISION 'B'
#define FW_NUM_REVISION '4'
#define FW_DAY 14
#define FW_MONTH 11
#define FW_YEAR 26

/* Compatibility letters: I/O board, firmware, and each data block */
#define COMP_VER_IO 'A'
#define COMP_VER_FW 'C'
#define COMP_VER_PAR 'C'
#define COMP_VER_PRODINFO 'A'
#define COMP_VER_CALIB 'B'

/* Cortex-M0+: little-endian, blocks travel as they lie in RAM */
#define BIG_ENDIAN_MODE 0
#define COMM_SWAP_DATA_BLOCK (U8)0

/* Sizes */
#define NUM_ZONES 6
#define NUM_RELAYS 6
#define NUM_PROGRAM_STEPS 16
#define CURVE_POINTS 10
#define NTC_POINTS 8
#define NAME_LEN 16
#define PARAM_SPARE_BYTES (64 - 2 * 8)
#define LIVE_SPARE_BYTES 8

#endif

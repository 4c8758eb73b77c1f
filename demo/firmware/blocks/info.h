/* Block 3: production information, written once at the end of the line. */
#ifndef INFO_H
#define INFO_H

typedef struct {
    U16 productCode;
    U8 productVersion;
    CHR productRevision[2];
    U8 prodDay;
    U8 prodMonth;
    U8 prodYear;
    U16 serialExt;
    U32 serialNumber;
    CHR customer[NAME_LEN];
    CHR batch[8];
    U16 testStation;
    U16 crc;
} InfoBlock_t;

#endif

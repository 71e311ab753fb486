/* Manager records: the layouts the manager's record store hands out and takes back.
 *
 * Integer fields travel big-endian. The record cursors deliver every record exactly as the
 * manager sent it: the cabinet cursor gives QVAPI_CABINET with its u16 fields at 0 and 26 still
 * big-endian, the attribution cursor QVAPI_PACKAGE with its seven numeric fields big-endian, the
 * execution and status cursors their records unconverted. Callers convert where they need host
 * order. Text fields are fixed-width, blank-padded and not NUL-terminated. */
#ifndef QVPAPI_RECORDS_H
#define QVPAPI_RECORDS_H

#include "common.h"

QVPAPI_BEGIN_DECLS

#define QVAPI_CABINET_SIZE          96
#define QVAPI_PACKAGE_SIZE          784
#define QVAPI_INSPACKAGE_SIZE       432   /* fixed part; items may follow */
#define QVAPI_EXECUTION_FIXED_SIZE  944   /* fixed part; items may follow */
#define QVAPI_EXECUTION_MAX_SIZE    1470
#define QVAPI_SCHEDULE_SIZE         224
#define QVAPI_PACKAGE_KEY_SIZE      59    /* QvCode 1, cabinet 2, package 44, version 8, generation 4 */
#define QVAPI_JOB_NUMBER_SIZE       16

/* One cabinet of the manager (record kind "M"). */
typedef struct QVAPI_CABINET {
    uint16_t wLength;          /*  0: 96 */
    uint8_t  reserved2[6];     /*  2 */
    char     cQvCode;          /*  8: 'C' or 'D' */
    char     szCabinetId[2];   /*  9 */
    uint8_t  reserved11[15];   /* 11 */
    uint16_t wPackageCount;    /* 26 */
    char     szName[32];       /* 28: NUL-padded */
    uint8_t  reserved60[36];   /* 60 */
} QVAPI_CABINET;

/* The package attribution record (record kind "A"); bytes 8 to 66 are its package key. Stored
 * and sent with its seven numeric fields (0, 4, 232, 236, 342, 702, 736) big-endian; the find
 * operations hand it out in host order. The szAttribute, ucAttribute and attributeBlock fields
 * are those a JobGen package entry replaces; the reserved bytes are carried unchanged. */
typedef struct QVAPI_PACKAGE {
    uint16_t wLength;            /*   0: 784 */
    uint8_t  reserved2[2];       /*   2 */
    uint32_t dwAttribute4;       /*   4 */
    char     cQvCode;            /*   8 */
    char     szCabinetId[2];     /*   9 */
    char     szPackageId[44];    /*  11 */
    char     szVersion[8];       /*  55: may hold '/' */
    char     szGeneration[4];    /*  63 */
    uint8_t  reserved67[6];      /*  67 */
    char     szAttribute73[6];   /*  73 */
    char     szAttribute79[6];   /*  79 */
    uint8_t  reserved85[69];     /*  85 */
    uint8_t  ucAttribute154;     /* 154 */
    uint8_t  reserved155;        /* 155 */
    uint16_t wHeader156;         /* 156: a u16 of a cabinet's header record */
    uint8_t  reserved158[2];     /* 158 */
    char     szResourceName[8];  /* 160: names the package and script resource files */
    uint8_t  reserved168[64];    /* 168 */
    uint32_t dwAttribute232;     /* 232 */
    uint16_t wAttribute236;      /* 236 */
    uint8_t  ucAttribute238;     /* 238 */
    uint8_t  ucAttribute239;     /* 239 */
    uint8_t  reserved240;        /* 240 */
    uint8_t  ucAttribute241;     /* 241 */
    char     szAttribute242[64]; /* 242 */
    uint8_t  reserved306[30];    /* 306 */
    uint8_t  ucAttribute336;     /* 336 */
    uint8_t  reserved337[4];     /* 337 */
    uint8_t  ucAttribute341;     /* 341 */
    uint16_t wAttribute342;      /* 342 */
    char     szAttribute344[6];  /* 344 */
    uint8_t  ucFlags;            /* 350: 0x08 the package has a script file */
    uint8_t  reserved351[49];    /* 351 */
    uint8_t  attributeBlock400[224]; /* 400 */
    uint8_t  reserved624[13];    /* 624 */
    char     szAttribute637[64]; /* 637 */
    uint8_t  reserved701;        /* 701 */
    uint16_t wAttribute702;      /* 702 */
    uint8_t  reserved704[32];    /* 704 */
    uint16_t wAttribute736;      /* 736 */
    uint8_t  reserved738[46];    /* 738 */
} QVAPI_PACKAGE;

#define QVAPI_PACKAGE_FLAG_SCRIPT 0x08

/* Installed-package status of one package on one node (record kind "S"): 432 fixed bytes, then
 * an 8-byte item head (u16 item count at 436) and items from 440 (type, a byte, u16 length, data).
 * An empty node name means the long name stands in the first item. */
typedef struct QVAPI_INSPACKAGE {
    uint16_t wLength;          /*   0: whole record, items included */
    uint8_t  reserved2[6];     /*   2 */
    char     cQvCode;          /*   8 */
    char     szCabinetId[2];   /*   9 */
    char     szPackageId[44];  /*  11 */
    char     szNodeName[64];   /*  55: escaped node name */
    char     szVersion[8];     /* 119 */
    char     szGeneration[4];  /* 127 */
    uint8_t  data131[301];     /* 131 */
} QVAPI_INSPACKAGE;

/* One node command of a job (record kind "E"): 944 fixed bytes, then an 8-byte item head (u16
 * item count at 948) and items from 952, at most 1470 bytes in all. Bytes 160 to 943 hold the
 * package's QVAPI_PACKAGE, so its key stands at 168. Kept as bytes: it is handled as received. */
typedef struct QVAPI_EXECUTION {
    uint8_t  head[6];          /*   0 */
    uint8_t  ucFlags;          /*   6: bit 0x04 */
    uint8_t  reserved7;        /*   7 */
    char     cKind;            /*   8: job-kind letter */
    uint8_t  ucKind2;          /*   9 */
    uint8_t  reserved10[6];    /*  10 */
    char     szNodeName[64];   /*  16: blank-padded; empty when the name is longer */
    uint8_t  ucJobId[8];       /*  80 */
    uint8_t  ucStatus[3];      /*  88: bit 0x40 of the second is the wait mark */
    uint8_t  data91[69];       /*  91 */
    uint8_t  package[QVAPI_PACKAGE_SIZE]; /* 160 */
    uint8_t  itemHead[8];      /* 944: u16 item count at 948 */
    uint8_t  items[QVAPI_EXECUTION_MAX_SIZE - 952]; /* 952 */
} QVAPI_EXECUTION;

#ifdef __cplusplus
static_assert(sizeof(QVAPI_CABINET) == QVAPI_CABINET_SIZE, "QVAPI_CABINET");
static_assert(offsetof(QVAPI_CABINET, cQvCode) == 8, "QVAPI_CABINET");
static_assert(offsetof(QVAPI_CABINET, wPackageCount) == 26, "QVAPI_CABINET");
static_assert(offsetof(QVAPI_CABINET, szName) == 28, "QVAPI_CABINET");
static_assert(sizeof(QVAPI_PACKAGE) == QVAPI_PACKAGE_SIZE, "QVAPI_PACKAGE");
static_assert(offsetof(QVAPI_PACKAGE, wLength) == 0, "QVAPI_PACKAGE");
static_assert(offsetof(QVAPI_PACKAGE, dwAttribute4) == 4, "QVAPI_PACKAGE");
static_assert(offsetof(QVAPI_PACKAGE, cQvCode) == 8, "QVAPI_PACKAGE");
static_assert(offsetof(QVAPI_PACKAGE, szCabinetId) == 9, "QVAPI_PACKAGE");
static_assert(offsetof(QVAPI_PACKAGE, szPackageId) == 11, "QVAPI_PACKAGE");
static_assert(offsetof(QVAPI_PACKAGE, szVersion) == 55, "QVAPI_PACKAGE");
static_assert(offsetof(QVAPI_PACKAGE, szGeneration) == 63, "QVAPI_PACKAGE");
static_assert(offsetof(QVAPI_PACKAGE, szAttribute73) == 73, "QVAPI_PACKAGE");
static_assert(offsetof(QVAPI_PACKAGE, szAttribute79) == 79, "QVAPI_PACKAGE");
static_assert(offsetof(QVAPI_PACKAGE, ucAttribute154) == 154, "QVAPI_PACKAGE");
static_assert(offsetof(QVAPI_PACKAGE, wHeader156) == 156, "QVAPI_PACKAGE");
static_assert(offsetof(QVAPI_PACKAGE, szResourceName) == 160, "QVAPI_PACKAGE");
static_assert(offsetof(QVAPI_PACKAGE, dwAttribute232) == 232, "QVAPI_PACKAGE");
static_assert(offsetof(QVAPI_PACKAGE, wAttribute236) == 236, "QVAPI_PACKAGE");
static_assert(offsetof(QVAPI_PACKAGE, ucAttribute238) == 238, "QVAPI_PACKAGE");
static_assert(offsetof(QVAPI_PACKAGE, ucAttribute239) == 239, "QVAPI_PACKAGE");
static_assert(offsetof(QVAPI_PACKAGE, ucAttribute241) == 241, "QVAPI_PACKAGE");
static_assert(offsetof(QVAPI_PACKAGE, szAttribute242) == 242, "QVAPI_PACKAGE");
static_assert(offsetof(QVAPI_PACKAGE, ucAttribute336) == 336, "QVAPI_PACKAGE");
static_assert(offsetof(QVAPI_PACKAGE, ucAttribute341) == 341, "QVAPI_PACKAGE");
static_assert(offsetof(QVAPI_PACKAGE, wAttribute342) == 342, "QVAPI_PACKAGE");
static_assert(offsetof(QVAPI_PACKAGE, szAttribute344) == 344, "QVAPI_PACKAGE");
static_assert(offsetof(QVAPI_PACKAGE, ucFlags) == 350, "QVAPI_PACKAGE");
static_assert(offsetof(QVAPI_PACKAGE, attributeBlock400) == 400, "QVAPI_PACKAGE");
static_assert(offsetof(QVAPI_PACKAGE, szAttribute637) == 637, "QVAPI_PACKAGE");
static_assert(offsetof(QVAPI_PACKAGE, wAttribute702) == 702, "QVAPI_PACKAGE");
static_assert(offsetof(QVAPI_PACKAGE, wAttribute736) == 736, "QVAPI_PACKAGE");
static_assert(sizeof(QVAPI_INSPACKAGE) == QVAPI_INSPACKAGE_SIZE, "QVAPI_INSPACKAGE");
static_assert(offsetof(QVAPI_INSPACKAGE, szNodeName) == 55, "QVAPI_INSPACKAGE");
static_assert(offsetof(QVAPI_INSPACKAGE, szVersion) == 119, "QVAPI_INSPACKAGE");
static_assert(offsetof(QVAPI_INSPACKAGE, szGeneration) == 127, "QVAPI_INSPACKAGE");
static_assert(sizeof(QVAPI_EXECUTION) == QVAPI_EXECUTION_MAX_SIZE, "QVAPI_EXECUTION");
static_assert(offsetof(QVAPI_EXECUTION, cKind) == 8, "QVAPI_EXECUTION");
static_assert(offsetof(QVAPI_EXECUTION, szNodeName) == 16, "QVAPI_EXECUTION");
static_assert(offsetof(QVAPI_EXECUTION, ucJobId) == 80, "QVAPI_EXECUTION");
static_assert(offsetof(QVAPI_EXECUTION, ucStatus) == 88, "QVAPI_EXECUTION");
static_assert(offsetof(QVAPI_EXECUTION, package) == 160, "QVAPI_EXECUTION");
static_assert(offsetof(QVAPI_EXECUTION, itemHead) == 944, "QVAPI_EXECUTION");
static_assert(offsetof(QVAPI_EXECUTION, items) == 952, "QVAPI_EXECUTION");
#endif

QVPAPI_END_DECLS

#endif

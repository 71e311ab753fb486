/* Jobs: creation and control, job execution files, job, node, package, ID and site job walks,
 * queries. */
#ifndef QVPAPI_JOBS_H
#define QVPAPI_JOBS_H

#include "common.h"

QVPAPI_BEGIN_DECLS

#define QVAPI_JOB_SIZE               336u /* also the head of a jobexecfile */
#define QVAPI_NODE_JOB_SIZE          256u
#define QVAPI_NODE_JOB_EX_BASE_SIZE  452u /* API level 0 */
#define QVAPI_NODE_JOB_EX_SIZE       712u /* API levels 1 to 5: the display name follows */

/* QVAPI_JOB.dwKind as the job readers set it. */
#define QVAPI_JOB_KIND_FOLDER        3u
#define QVAPI_JOB_KIND_JOB           4u
#define QVAPI_JOB_KIND_ID_JOB        5u

/* Job status codes, the N of the dwStatusN counts in QVAPI_JOB, QVAPI_NODE_JOB and
 * QVAPI_NODE_JOB_EX. Each entry of a job (a node's execution record, QVAPI_EXECUTION in
 * records.h) counts once, under the code its status bytes s, u, d (record offsets 88, 89, 90)
 * give; the first line that fits decides:
 *     1    s 0x10 u 0x00, 0x10 or 0x40, d 0x00: 0
 *     2    s 0x20, d 0x20, 0x80 or 0xB0: 1
 *     3    s 0x90: 2
 *     4    s 0x20 and d 0x00, 0x50, 0x60 or 0x75, or u 0x40: 3
 *     5    s 0x20, d 0xF0: 2
 *     6    s 0x20, d 0x76: 7
 *     7    s 0x30, d 0x8F: 6
 *     8    s 0x30, d with bits 0x90 set: 5
 *     9    s 0x40, d 0x00: 3
 *    10    s 0x50: 7
 *    11    s 0x60, d 0x76: 7
 *    12    s 0x60, any other d: 8
 *    13    anything else: 255
 * No line gives 4: its count is 0 after every recount. Codes 7 and 8 stand only from API level
 * 3; below it they are added to code 3. */

/* A job as callers receive it, filled from the head of its jobexecfile: the counts of its
 * entries by status code (above), dwTotal their sum. Text fields need not be NUL-terminated. */
typedef struct QVAPI_JOB {
    uint32_t dwEntryAreaSize;   /*   0 */
    char szJobName[64];         /*   4 job name, or the folder name of a folder */
    uint32_t dwKind;            /*  68 3 folder, 4 job, 5 ID job, else as stored */
    uint8_t ucStored72[8];      /*  72 */
    char szJobNo[16];           /*  80 */
    uint8_t ucStored96;         /*  96 */
    uint8_t ucStored97;         /*  97 */
    char szDateTime[14];        /*  98 */
    uint32_t dwStatus0;         /* 112 */
    uint32_t dwStatus1;         /* 116 */
    uint32_t dwStatus2;         /* 120 */
    uint32_t dwStatus3;         /* 124 */
    uint32_t dwStatus4;         /* 128 */
    uint32_t dwStatus5;         /* 132 */
    uint32_t dwStatus255;       /* 136 */
    uint32_t dwTotal;           /* 140 all ten counts */
    uint32_t dwStatus6;         /* 144 */
    uint32_t dwStored148;       /* 148 */
    uint32_t dwEntryCount;      /* 152 */
    uint32_t dwStored156;       /* 156 */
    uint8_t ucStored160[16];    /* 160 */
    uint8_t ucStored176[16];    /* 176 */
    uint8_t ucStored192[16];    /* 192 */
    uint32_t dwStored208;       /* 208 */
    uint32_t dwStored212;       /* 212 */
    uint32_t dwStored216;       /* 216 */
    uint32_t dwStatus7;         /* 220 */
    uint32_t dwStatus8;         /* 224 */
    uint8_t ucReserved228[8];   /* 228 left as the caller had it */
    uint8_t ucStored236;        /* 236 */
    uint8_t ucReserved237[99];  /* 237 left as the caller had it */
} QVAPI_JOB;

/* One node of a job (256 bytes at every API level). Names in path form ("\" between levels). */
typedef struct QVAPI_NODE_JOB {
    char szNodeName[64];        /*   0 */
    uint8_t ucKind;             /*  64 byte 8 of the node's last counted execution record */
    uint8_t ucKind2;            /*  65 byte 9 of that record */
    uint8_t ucFlag;             /*  66 1: bit 0x04 of byte 6 of a counted record was set */
    uint8_t ucReserved67[15];
    char szDateTime[14];        /*  82 the job's date-time text */
    uint32_t dwStatus0;         /*  96 */
    uint32_t dwStatus1;         /* 100 */
    uint32_t dwStatus2;         /* 104 */
    uint32_t dwStatus3;         /* 108 */
    uint32_t dwStatus4;         /* 112 */
    uint32_t dwStatus5;         /* 116 */
    uint32_t dwStatus255;       /* 120 */
    uint32_t dwStatus6;         /* 124 */
    uint8_t ucReserved128[32];
    char szDisplayName[64];     /* 160 the host name of a host-ID node, else the node name */
    uint32_t dwStatus7;         /* 224 */
    uint32_t dwStatus8;         /* 228 */
    uint8_t ucReserved232[24];
} QVAPI_NODE_JOB;

/* The extended node job: 452 bytes at API level 0, 712 (with the display name) above it. */
typedef struct QVAPI_NODE_JOB_EX {
    char szNodeName[260];       /*   0 */
    uint8_t ucKind;             /* 260 */
    uint8_t ucKind2;            /* 261 */
    uint8_t ucFlag;             /* 262 */
    uint8_t ucReserved263[15];
    char szDateTime[14];        /* 278 */
    uint32_t dwStatus0;         /* 292 */
    uint32_t dwStatus1;         /* 296 */
    uint32_t dwStatus2;         /* 300 */
    uint32_t dwStatus3;         /* 304 */
    uint32_t dwStatus4;         /* 308 */
    uint32_t dwStatus5;         /* 312 */
    uint32_t dwStatus255;       /* 316 */
    uint32_t dwStatus6;         /* 320 */
    uint8_t ucReserved324[32];
    uint32_t dwStatus7;         /* 356 */
    uint32_t dwStatus8;         /* 360 */
    uint8_t ucReserved364[88];
    char szDisplayName[260];    /* 452 only in the 712-byte size */
} QVAPI_NODE_JOB_EX;

/* One execution record of the manager for one package of a node's job (the package-job walk). */
#define QVAPI_PACKAGE_JOB_BASE_SIZE  944u  /* API level 0 */
#define QVAPI_PACKAGE_JOB_SIZE       1204u /* API levels 1 to 5: the display name follows */

/* The execution record's first 944 bytes (QVAPI_EXECUTION) with these changes. The node name
 * stands at 16 in path form when that form is under 64 characters; a longer one (or one that
 * came as the record's long-name item) leaves 16 all 0 and is reachable through 488/492.
 * dwLongNameAddress is the 32-bit address of a library-owned, NUL-terminated buffer of
 * dwLongNameLength characters, placed below 4 GiB so that the address fits: a caller may read it
 * through (const char*)(uintptr_t)dwLongNameAddress until the walk's next step or its close, and
 * must neither write nor free it. Both are 0 when the name stands at 16. Records of kind "G" or
 * "S" come with a blank package key and their collect fields moved. */
typedef struct QVAPI_PACKAGE_JOB {
    uint8_t ucRecord0[8];       /*   0 */
    char cKind;                 /*   8 job-kind letter */
    uint8_t ucRecord9[7];       /*   9 */
    char szNodeName[64];        /*  16 path form, NUL-padded; or all 0 (see above) */
    uint8_t ucRecord80[408];    /*  80 status bytes at 88; package key at 168 */
    uint32_t dwLongNameLength;  /* 488 */
    uint32_t dwLongNameAddress; /* 492 */
    uint8_t ucRecord496[16];    /* 496 */
    uint32_t dwRecord512;       /* 512 host order */
    uint32_t dwRecord516;       /* 516 host order */
    uint32_t dwRecord520;       /* 520 host order */
    uint8_t ucRecord524[8];     /* 524 */
    uint32_t dwRecord532;       /* 532 host order */
    uint8_t ucRecord536[408];   /* 536 */
    char szDisplayName[260];    /* 944 only in the 1204-byte size: the host name of a host-ID node */
} QVAPI_PACKAGE_JOB;
/* ---- query results: what the Abstract enumerators (below) fill. */

/* One entry of an Abstract job walk. szPath is a job folder path ready to be set as the folder of
 * a further query: for a folder entry (Job.dwKind 3) the query's folder, a "\" (unless that
 * folder is exactly "\") and the folder's name; for a job entry the query's folder itself. */
typedef struct QVAPI_QJOB {
    char szPath[260];           /*   0 NUL-terminated */
    QVAPI_JOB Job;              /* 260 as the job walk returns it */
} QVAPI_QJOB;

/* One package record of an Abstract detail walk. Job holds the head of the query's job (not
 * written for a site query); PackageJob is written at the API level's size (944 bytes at level
 * 0, 1204 above), so a level-0 caller may hand in 1540 bytes. */
typedef struct QVAPI_QDETAIL_JOB {
    uint8_t ucReserved0[260];   /*   0 not written */
    QVAPI_JOB Job;              /* 260 */
    QVAPI_PACKAGE_JOB PackageJob; /* 596 */
} QVAPI_QDETAIL_JOB;

/* One node of an Abstract node walk: NodeJob.Plain from the plain family (256 bytes),
 * NodeJob.Ex from the Ex family (452 bytes at API level 0, 712 above). */
typedef struct QVAPI_QNODE_JOB {
    uint8_t ucReserved0[596];   /*   0 not written */
    union {
        QVAPI_NODE_JOB Plain;
        QVAPI_NODE_JOB_EX Ex;
    } NodeJob;                  /* 596 */
} QVAPI_QNODE_JOB;
#if defined(__cplusplus)
#define QVAPI_JOB_ASSERT(cond, what) static_assert(cond, what)
#elif defined(__STDC_VERSION__) && __STDC_VERSION__ >= 201112L
#define QVAPI_JOB_ASSERT(cond, what) _Static_assert(cond, what)
#endif
#ifdef QVAPI_JOB_ASSERT
QVAPI_JOB_ASSERT(sizeof(QVAPI_JOB) == QVAPI_JOB_SIZE, "QVAPI_JOB size");
QVAPI_JOB_ASSERT(offsetof(QVAPI_JOB, dwKind) == 68, "dwKind");
QVAPI_JOB_ASSERT(offsetof(QVAPI_JOB, szJobNo) == 80, "szJobNo");
QVAPI_JOB_ASSERT(offsetof(QVAPI_JOB, szDateTime) == 98, "szDateTime");
QVAPI_JOB_ASSERT(offsetof(QVAPI_JOB, dwStatus0) == 112, "dwStatus0");
QVAPI_JOB_ASSERT(offsetof(QVAPI_JOB, dwStatus255) == 136, "dwStatus255");
QVAPI_JOB_ASSERT(offsetof(QVAPI_JOB, dwTotal) == 140, "dwTotal");
QVAPI_JOB_ASSERT(offsetof(QVAPI_JOB, dwStatus6) == 144, "dwStatus6");
QVAPI_JOB_ASSERT(offsetof(QVAPI_JOB, dwEntryCount) == 152, "dwEntryCount");
QVAPI_JOB_ASSERT(offsetof(QVAPI_JOB, ucStored160) == 160, "ucStored160");
QVAPI_JOB_ASSERT(offsetof(QVAPI_JOB, dwStored208) == 208, "dwStored208");
QVAPI_JOB_ASSERT(offsetof(QVAPI_JOB, dwStatus7) == 220, "dwStatus7");
QVAPI_JOB_ASSERT(offsetof(QVAPI_JOB, dwStatus8) == 224, "dwStatus8");
QVAPI_JOB_ASSERT(offsetof(QVAPI_JOB, ucStored236) == 236, "ucStored236");
QVAPI_JOB_ASSERT(sizeof(QVAPI_NODE_JOB) == QVAPI_NODE_JOB_SIZE, "QVAPI_NODE_JOB size");
QVAPI_JOB_ASSERT(offsetof(QVAPI_NODE_JOB, ucKind) == 64, "ucKind");
QVAPI_JOB_ASSERT(offsetof(QVAPI_NODE_JOB, szDateTime) == 82, "szDateTime");
QVAPI_JOB_ASSERT(offsetof(QVAPI_NODE_JOB, dwStatus0) == 96, "dwStatus0");
QVAPI_JOB_ASSERT(offsetof(QVAPI_NODE_JOB, dwStatus3) == 108, "dwStatus3");
QVAPI_JOB_ASSERT(offsetof(QVAPI_NODE_JOB, dwStatus6) == 124, "dwStatus6");
QVAPI_JOB_ASSERT(offsetof(QVAPI_NODE_JOB, szDisplayName) == 160, "szDisplayName");
QVAPI_JOB_ASSERT(offsetof(QVAPI_NODE_JOB, dwStatus7) == 224, "dwStatus7");
QVAPI_JOB_ASSERT(offsetof(QVAPI_NODE_JOB, dwStatus8) == 228, "dwStatus8");
QVAPI_JOB_ASSERT(sizeof(QVAPI_NODE_JOB_EX) == QVAPI_NODE_JOB_EX_SIZE, "QVAPI_NODE_JOB_EX size");
QVAPI_JOB_ASSERT(offsetof(QVAPI_NODE_JOB_EX, ucKind) == 260, "ucKind");
QVAPI_JOB_ASSERT(offsetof(QVAPI_NODE_JOB_EX, szDateTime) == 278, "szDateTime");
QVAPI_JOB_ASSERT(offsetof(QVAPI_NODE_JOB_EX, dwStatus0) == 292, "dwStatus0");
QVAPI_JOB_ASSERT(offsetof(QVAPI_NODE_JOB_EX, dwStatus3) == 304, "dwStatus3");
QVAPI_JOB_ASSERT(offsetof(QVAPI_NODE_JOB_EX, dwStatus6) == 320, "dwStatus6");
QVAPI_JOB_ASSERT(offsetof(QVAPI_NODE_JOB_EX, dwStatus7) == 356, "dwStatus7");
QVAPI_JOB_ASSERT(offsetof(QVAPI_NODE_JOB_EX, dwStatus8) == 360, "dwStatus8");
QVAPI_JOB_ASSERT(offsetof(QVAPI_NODE_JOB_EX, szDisplayName) == 452, "szDisplayName");
QVAPI_JOB_ASSERT(sizeof(QVAPI_PACKAGE_JOB) == QVAPI_PACKAGE_JOB_SIZE, "QVAPI_PACKAGE_JOB size");
QVAPI_JOB_ASSERT(offsetof(QVAPI_PACKAGE_JOB, cKind) == 8, "cKind");
QVAPI_JOB_ASSERT(offsetof(QVAPI_PACKAGE_JOB, szNodeName) == 16, "szNodeName");
QVAPI_JOB_ASSERT(offsetof(QVAPI_PACKAGE_JOB, dwLongNameLength) == 488, "dwLongNameLength");
QVAPI_JOB_ASSERT(offsetof(QVAPI_PACKAGE_JOB, dwLongNameAddress) == 492, "dwLongNameAddress");
QVAPI_JOB_ASSERT(offsetof(QVAPI_PACKAGE_JOB, dwRecord512) == 512, "dwRecord512");
QVAPI_JOB_ASSERT(offsetof(QVAPI_PACKAGE_JOB, dwRecord532) == 532, "dwRecord532");
QVAPI_JOB_ASSERT(offsetof(QVAPI_PACKAGE_JOB, szDisplayName) == 944, "szDisplayName");
QVAPI_JOB_ASSERT(sizeof(QVAPI_QJOB) == 596, "QVAPI_QJOB size");
QVAPI_JOB_ASSERT(offsetof(QVAPI_QJOB, Job) == 260, "QVAPI_QJOB.Job");
QVAPI_JOB_ASSERT(offsetof(QVAPI_QDETAIL_JOB, Job) == 260, "QVAPI_QDETAIL_JOB.Job");
QVAPI_JOB_ASSERT(offsetof(QVAPI_QDETAIL_JOB, PackageJob) == 596, "QVAPI_QDETAIL_JOB.PackageJob");
QVAPI_JOB_ASSERT(sizeof(QVAPI_QDETAIL_JOB) == 596 + QVAPI_PACKAGE_JOB_SIZE, "QVAPI_QDETAIL_JOB size");
QVAPI_JOB_ASSERT(offsetof(QVAPI_QNODE_JOB, NodeJob) == 596, "QVAPI_QNODE_JOB.NodeJob");
QVAPI_JOB_ASSERT(sizeof(QVAPI_QNODE_JOB) == 596 + QVAPI_NODE_JOB_EX_SIZE, "QVAPI_QNODE_JOB size");
#undef QVAPI_JOB_ASSERT
#endif

/* ---- query objects. A query handle names a set of conditions that the Abstract enumerators
 * read; it belongs to the session and thread that created it and goes with the session. Every
 * operation that takes one refuses a handle that is not a live query of the calling thread's
 * session (NULL, closed, another thread's) with QVAPI_ERR_INVALID_HANDLE. */

/* A new query of kind 1 to 6 with no conditions. The handle, or QVPAPI_INVALID_HANDLE:
 * QVAPI_ERR_INVALID_PARAMETER another kind, QVAPI_ERR_RESOURCE no memory. */
QVPAPI_EXPORT QVPAPI_HANDLE qvAPICreateQuery(uint32_t qvAbstractKind, uint32_t dwReserved1, uint32_t dwReserved2);
/* Frees the query and the job head a detail walk left open. Walks the caller left open are not
 * ended (their finders may since serve another caller of the thread): close them first. 1, or 0. */
QVPAPI_EXPORT int qvAPICloseQuery(QVPAPI_HANDLE hQuery, uint32_t dwReserved1, uint32_t dwReserved2);

/* Conditions: 1, or 0 with the object unchanged. A setter replaces its field, a deleter empties
 * it whatever text it is given (the same checks run).
 * Folder: "\" and its levels; NULL is "\"; over 260 characters, or dwFolderOption not 1 or 2:
 * QVAPI_ERR_INVALID_PARAMETER (the option is checked, not kept). */
QVPAPI_EXPORT int qvAPISetJobFolderQuery(QVPAPI_HANDLE hQuery, const char* lpcszFolderPath, uint32_t dwFolderOption,
                                         uint32_t dwReserved1, uint32_t dwReserved2);
QVPAPI_EXPORT int qvAPIDeleteJobFolderQuery(QVPAPI_HANDLE hQuery, const char* lpcszFolderPath,
                                            uint32_t dwFolderOption, uint32_t dwReserved1, uint32_t dwReserved2);
/* Job number: NULL, or over 16 characters: QVAPI_ERR_INVALID_PARAMETER. */
QVPAPI_EXPORT int qvAPISetJobNumberQuery(QVPAPI_HANDLE hQuery, const char* lpcszJobNumber, uint32_t dwReserved1,
                                         uint32_t dwReserved2);
QVPAPI_EXPORT int qvAPIDeleteJobNumberQuery(QVPAPI_HANDLE hQuery, const char* lpcszJobNumber, uint32_t dwReserved1,
                                            uint32_t dwReserved2);
/* Client path or name (one field for both setters). NULL is "\"; over 260 characters, or
 * dwClientAttribute not 0, 0x1000000 or 0x80000000: QVAPI_ERR_INVALID_PARAMETER. */
QVPAPI_EXPORT int qvAPISetClientQuery(QVPAPI_HANDLE hQuery, const char* lpcszClientPath, uint32_t dwClientAttribute,
                                      uint32_t dwReserved1, uint32_t dwReserved2);
QVPAPI_EXPORT int qvAPIDeleteClientQuery(QVPAPI_HANDLE hQuery, const char* lpcszClientPath,
                                         uint32_t dwClientAttribute, uint32_t dwReserved1, uint32_t dwReserved2);
/* The same field; NULL or over 260 characters: QVAPI_ERR_INVALID_PARAMETER. */
QVPAPI_EXPORT int qvAPISetJobClientQuery(QVPAPI_HANDLE hQuery, const char* lpcszClientName, uint32_t dwReserved1,
                                         uint32_t dwReserved2);
QVPAPI_EXPORT int qvAPIDeleteJobClientQuery(QVPAPI_HANDLE hQuery, const char* lpcszClientName, uint32_t dwReserved1,
                                            uint32_t dwReserved2);
/* ID name: NULL or empty QVAPI_ERR_INVALID_PARAMETER; over 32 characters or holding a character
 * names may not hold ("." and the blank among them) QVAPI_ERR_INVALID_NAME. */
QVPAPI_EXPORT int qvAPISetJobIDQuery(QVPAPI_HANDLE hQuery, const char* lpID, uint32_t dwReserved1,
                                     uint32_t dwReserved2);
QVPAPI_EXPORT int qvAPIDeleteJobIDQuery(QVPAPI_HANDLE hQuery, const char* lpID, uint32_t dwReserved1,
                                        uint32_t dwReserved2);
/* ID-job option 1 (client ID jobs) or 2 (ID jobs by the job tree); else
 * QVAPI_ERR_INVALID_PARAMETER. The deleter sets 0 (none). */
QVPAPI_EXPORT int qvAPISetJobIDOptionQuery(QVPAPI_HANDLE hQuery, uint32_t dwIDJobOption, uint32_t dwReserved1,
                                           uint32_t dwReserved2);
QVPAPI_EXPORT int qvAPIDeleteJobIDOptionQuery(QVPAPI_HANDLE hQuery, uint32_t dwReserved1, uint32_t dwReserved2,
                                              uint32_t dwReserved3);
/* The site flag: the ID-job walks run over the site job tree (MNGFL\SITEJOB). */
QVPAPI_EXPORT int qvAPISetJobSiteQuery(QVPAPI_HANDLE hQuery, uint32_t dwReserved1, uint32_t dwReserved2);
QVPAPI_EXPORT int qvAPIDeleteJobSiteQuery(QVPAPI_HANDLE hQuery, uint32_t dwReserved1, uint32_t dwReserved2);

/* ---- Abstract enumerators: First, Next until 0 with QVAPI_ERR_NO_MORE_ITEMS, Close, each over the
 * query's conditions. First returns hQuery, or QVPAPI_INVALID_HANDLE (the running walk of the
 * family is then forgotten); Next and Close 1 or 0. A NULL result record is
 * QVAPI_ERR_INVALID_PARAMETER; a finder's failure passes its code through unchanged. A thread runs
 * one walk per finder family at a time, whatever the number of queries (a First of a family
 * replaces the running one). Job walk: ID-job option 1, or the site flag, walks the folder with the
 * client ID job walk (plain and ID jobs, counted by member clients; the site flag over the site job
 * tree), else with the job walk. */
QVPAPI_EXPORT QVPAPI_HANDLE qvAPIAbstractFirstJob(QVPAPI_HANDLE hQuery, QVAPI_QJOB* lpResultQJob,
                                                  uint32_t dwReserved1, uint32_t dwReserved2);
QVPAPI_EXPORT int qvAPIAbstractNextJob(QVPAPI_HANDLE hQuery, QVAPI_QJOB* lpResultQJob, uint32_t dwReserved1,
                                       uint32_t dwReserved2);
QVPAPI_EXPORT int qvAPIAbstractCloseJob(QVPAPI_HANDLE hQuery, uint32_t dwReserved1, uint32_t dwReserved2);
/* Detail walk: the package records of the query's client in the query's job. Option 1 with an
 * ID job number ("IB"/"IS" first) walks the client package ID jobs of the query's ID; otherwise
 * the package-job walk, whose node is the client, or with option 2 and an ID job number the
 * client, "\%" and the ID. dwParam3 and lpCollectPath go to the package finder unchanged (see
 * qvAPIFindFirstPackageJob). Without the site flag the job's head (qvAPIGetJob's code when it
 * cannot be read) is copied into every result. */
QVPAPI_EXPORT QVPAPI_HANDLE qvAPIAbstractFirstDetailJob(QVPAPI_HANDLE hQuery, QVAPI_QDETAIL_JOB* lpResultQDetailJob,
                                                        uint32_t dwParam3, char** lpCollectPath);
QVPAPI_EXPORT int qvAPIAbstractNextDetailJob(QVPAPI_HANDLE hQuery, QVAPI_QDETAIL_JOB* lpResultQDetailJob,
                                             uint32_t dwParam3, char** lpCollectPath);
QVPAPI_EXPORT int qvAPIAbstractCloseDetailJob(QVPAPI_HANDLE hQuery, uint32_t dwReserved1, uint32_t dwReserved2);
/* Node walks of the query's job: option 1 or 2 with an ID job number walks the ID job's nodes
 * (keep-ID jobs of the query's ID when it has one), the option going to the ID finder as its
 * node attributes, the site flag over the site job tree; otherwise the node-job walk. The plain
 * and Ex families share one walk of the query. */
QVPAPI_EXPORT QVPAPI_HANDLE qvAPIAbstractFirstNodeJob(QVPAPI_HANDLE hQuery, QVAPI_QNODE_JOB* lpResultQNodeJob,
                                                      uint32_t dwReserved1, uint32_t dwReserved2);
QVPAPI_EXPORT int qvAPIAbstractNextNodeJob(QVPAPI_HANDLE hQuery, QVAPI_QNODE_JOB* lpResultQNodeJob,
                                           uint32_t dwReserved1, uint32_t dwReserved2);
QVPAPI_EXPORT int qvAPIAbstractCloseNodeJob(QVPAPI_HANDLE hQuery, uint32_t dwReserved1, uint32_t dwReserved2);
QVPAPI_EXPORT QVPAPI_HANDLE qvAPIAbstractFirstNodeJobEx(QVPAPI_HANDLE hQuery, QVAPI_QNODE_JOB* lpResultQNodeJob,
                                                        uint32_t dwReserved1, uint32_t dwReserved2);
QVPAPI_EXPORT int qvAPIAbstractNextNodeJobEx(QVPAPI_HANDLE hQuery, QVAPI_QNODE_JOB* lpResultQNodeJob,
                                             uint32_t dwReserved1, uint32_t dwReserved2);
QVPAPI_EXPORT int qvAPIAbstractCloseNodeJobEx(QVPAPI_HANDLE hQuery, uint32_t dwReserved1, uint32_t dwReserved2);

/* ---- conditions, walks and totals of other areas that have no effect. Each reads none of its
 * arguments (hQuery is not checked), does nothing, returns 1 and leaves the thread's last error
 * as it was. qvAPIAbstractFirstIDEntry, the one of them that answers 0, says why: it sets
 * QVAPI_ERR_NOT_SUPPORTED (not supported). */
typedef uintptr_t QVAPI_ARG; /* an argument that is accepted and not read */
QVPAPI_EXPORT int qvAPISetSysInfCPUTypeQuery(QVPAPI_HANDLE hQuery, QVAPI_ARG, QVAPI_ARG, QVAPI_ARG);
QVPAPI_EXPORT int qvAPIDeleteSysInfCPUTypeQuery(QVPAPI_HANDLE hQuery, QVAPI_ARG, QVAPI_ARG, QVAPI_ARG);
QVPAPI_EXPORT int qvAPISetSysInfCOPROQuery(QVPAPI_HANDLE hQuery, QVAPI_ARG, QVAPI_ARG, QVAPI_ARG);
QVPAPI_EXPORT int qvAPIDeleteSysInfCOPROQuery(QVPAPI_HANDLE hQuery, QVAPI_ARG, QVAPI_ARG, QVAPI_ARG);
QVPAPI_EXPORT int qvAPISetSysInfClientVerQuery(QVPAPI_HANDLE hQuery, QVAPI_ARG, QVAPI_ARG, QVAPI_ARG,
                                               QVAPI_ARG, QVAPI_ARG, QVAPI_ARG);
QVPAPI_EXPORT int qvAPIDeleteSysInfClientVerQuery(QVPAPI_HANDLE hQuery, QVAPI_ARG, QVAPI_ARG, QVAPI_ARG,
                                                  QVAPI_ARG, QVAPI_ARG, QVAPI_ARG);
QVPAPI_EXPORT int qvAPISetSysInfHDEmptyQuery(QVPAPI_HANDLE hQuery, QVAPI_ARG, QVAPI_ARG, QVAPI_ARG,
                                             QVAPI_ARG, QVAPI_ARG, QVAPI_ARG);
QVPAPI_EXPORT int qvAPIDeleteSysInfHDEmptyQuery(QVPAPI_HANDLE hQuery, QVAPI_ARG, QVAPI_ARG, QVAPI_ARG,
                                                QVAPI_ARG, QVAPI_ARG, QVAPI_ARG);
QVPAPI_EXPORT int qvAPISetSysInfOSTypeQuery(QVPAPI_HANDLE hQuery, QVAPI_ARG, QVAPI_ARG, QVAPI_ARG);
QVPAPI_EXPORT int qvAPIDeleteSysInfOSTypeQuery(QVPAPI_HANDLE hQuery, QVAPI_ARG, QVAPI_ARG, QVAPI_ARG);
QVPAPI_EXPORT int qvAPISetSysInfOSVerQuery(QVPAPI_HANDLE hQuery, QVAPI_ARG, QVAPI_ARG, QVAPI_ARG,
                                           QVAPI_ARG, QVAPI_ARG, QVAPI_ARG);
QVPAPI_EXPORT int qvAPIDeleteSysInfOSVerQuery(QVPAPI_HANDLE hQuery, QVAPI_ARG, QVAPI_ARG, QVAPI_ARG,
                                              QVAPI_ARG, QVAPI_ARG, QVAPI_ARG);
QVPAPI_EXPORT int qvAPISetSysInfSystemMemQuery(QVPAPI_HANDLE hQuery, QVAPI_ARG, QVAPI_ARG, QVAPI_ARG,
                                               QVAPI_ARG, QVAPI_ARG);
QVPAPI_EXPORT int qvAPIDeleteSysInfSystemMemQuery(QVPAPI_HANDLE hQuery, QVAPI_ARG, QVAPI_ARG, QVAPI_ARG,
                                                  QVAPI_ARG, QVAPI_ARG);
QVPAPI_EXPORT int qvAPISetSysInfRealMemQuery(QVPAPI_HANDLE hQuery, QVAPI_ARG, QVAPI_ARG, QVAPI_ARG,
                                             QVAPI_ARG, QVAPI_ARG);
QVPAPI_EXPORT int qvAPIDeleteSysInfRealMemQuery(QVPAPI_HANDLE hQuery, QVAPI_ARG, QVAPI_ARG, QVAPI_ARG,
                                                QVAPI_ARG, QVAPI_ARG);
QVPAPI_EXPORT int qvAPISetSysInfUserMemQuery(QVPAPI_HANDLE hQuery, QVAPI_ARG, QVAPI_ARG, QVAPI_ARG,
                                             QVAPI_ARG, QVAPI_ARG);
QVPAPI_EXPORT int qvAPIDeleteSysInfUserMemQuery(QVPAPI_HANDLE hQuery, QVAPI_ARG, QVAPI_ARG, QVAPI_ARG,
                                                QVAPI_ARG, QVAPI_ARG);
QVPAPI_EXPORT int qvAPISetInsPackageQuery(QVPAPI_HANDLE hQuery, QVAPI_ARG, QVAPI_ARG, QVAPI_ARG, QVAPI_ARG,
                                          QVAPI_ARG, QVAPI_ARG, QVAPI_ARG, QVAPI_ARG);
QVPAPI_EXPORT int qvAPIDeleteInsPackageQuery(QVPAPI_HANDLE hQuery, QVAPI_ARG, QVAPI_ARG, QVAPI_ARG, QVAPI_ARG,
                                             QVAPI_ARG, QVAPI_ARG, QVAPI_ARG, QVAPI_ARG);
QVPAPI_EXPORT int qvAPISetSortNodeAttrQuery(QVPAPI_HANDLE hQuery, QVAPI_ARG, QVAPI_ARG, QVAPI_ARG, QVAPI_ARG);
QVPAPI_EXPORT int qvAPIDeleteSortNodeAttrQuery(QVPAPI_HANDLE hQuery, QVAPI_ARG, QVAPI_ARG, QVAPI_ARG, QVAPI_ARG);
QVPAPI_EXPORT int qvAPISetSortInsPackageQuery(QVPAPI_HANDLE hQuery, QVAPI_ARG, QVAPI_ARG, QVAPI_ARG, QVAPI_ARG);
QVPAPI_EXPORT int qvAPIDeleteSortInsPackageQuery(QVPAPI_HANDLE hQuery, QVAPI_ARG, QVAPI_ARG, QVAPI_ARG, QVAPI_ARG);
QVPAPI_EXPORT int qvAPISetSortSysQuery(QVPAPI_HANDLE hQuery, QVAPI_ARG, QVAPI_ARG, QVAPI_ARG, QVAPI_ARG);
QVPAPI_EXPORT int qvAPIDeleteSortSysQuery(QVPAPI_HANDLE hQuery, QVAPI_ARG, QVAPI_ARG, QVAPI_ARG, QVAPI_ARG);
QVPAPI_EXPORT int qvAPISetSysInfMachineTypeQuery(QVPAPI_HANDLE hQuery, QVAPI_ARG, QVAPI_ARG, QVAPI_ARG);
QVPAPI_EXPORT int qvAPIDeleteSysInfMachineTypeQuery(QVPAPI_HANDLE hQuery, QVAPI_ARG, QVAPI_ARG, QVAPI_ARG);
QVPAPI_EXPORT int qvAPISetSysInfOSLicenseQuery(QVPAPI_HANDLE hQuery, QVAPI_ARG, QVAPI_ARG, QVAPI_ARG);
QVPAPI_EXPORT int qvAPIDeleteSysInfOSLicenseQuery(QVPAPI_HANDLE hQuery, QVAPI_ARG, QVAPI_ARG, QVAPI_ARG);
QVPAPI_EXPORT int qvAPISetSysInfOSPatchQuery(QVPAPI_HANDLE hQuery, QVAPI_ARG, QVAPI_ARG, QVAPI_ARG,
                                             QVAPI_ARG, QVAPI_ARG);
QVPAPI_EXPORT int qvAPIDeleteSysInfOSPatchQuery(QVPAPI_HANDLE hQuery, QVAPI_ARG, QVAPI_ARG, QVAPI_ARG,
                                                QVAPI_ARG, QVAPI_ARG);
QVPAPI_EXPORT int qvAPISetMasterQuery(QVPAPI_HANDLE hQuery, QVAPI_ARG, QVAPI_ARG, QVAPI_ARG, QVAPI_ARG);
QVPAPI_EXPORT int qvAPIDeleteMasterQuery(QVPAPI_HANDLE hQuery, QVAPI_ARG, QVAPI_ARG, QVAPI_ARG, QVAPI_ARG);
QVPAPI_EXPORT int qvAPISetNodeGroupQuery(QVPAPI_HANDLE hQuery, QVAPI_ARG, QVAPI_ARG, QVAPI_ARG);
QVPAPI_EXPORT int qvAPIDeleteNodeGroupQuery(QVPAPI_HANDLE hQuery, QVAPI_ARG, QVAPI_ARG, QVAPI_ARG);
QVPAPI_EXPORT int qvAPISetNodeAttrQuery(QVPAPI_HANDLE hQuery, QVAPI_ARG, QVAPI_ARG, QVAPI_ARG);
QVPAPI_EXPORT int qvAPIDeleteNodeAttrQuery(QVPAPI_HANDLE hQuery, QVAPI_ARG, QVAPI_ARG, QVAPI_ARG);
QVPAPI_EXPORT int qvAPISetIDQuery(QVPAPI_HANDLE hQuery, QVAPI_ARG, QVAPI_ARG, QVAPI_ARG);
QVPAPI_EXPORT int qvAPIDeleteIDQuery(QVPAPI_HANDLE hQuery, QVAPI_ARG, QVAPI_ARG, QVAPI_ARG);
QVPAPI_EXPORT int qvAPISetIDOptionQuery(QVPAPI_HANDLE hQuery, QVAPI_ARG, QVAPI_ARG, QVAPI_ARG);
QVPAPI_EXPORT int qvAPIDeleteIDOptionQuery(QVPAPI_HANDLE hQuery, QVAPI_ARG, QVAPI_ARG, QVAPI_ARG);
QVPAPI_EXPORT int qvAPISetSortIDQuery(QVPAPI_HANDLE hQuery, QVAPI_ARG, QVAPI_ARG, QVAPI_ARG, QVAPI_ARG);
QVPAPI_EXPORT int qvAPIDeleteSortIDQuery(QVPAPI_HANDLE hQuery, QVAPI_ARG, QVAPI_ARG, QVAPI_ARG, QVAPI_ARG);
QVPAPI_EXPORT int qvAPISetJobStatusQuery(QVPAPI_HANDLE hQuery, QVAPI_ARG, QVAPI_ARG, QVAPI_ARG);
QVPAPI_EXPORT int qvAPIDeleteJobStatusQuery(QVPAPI_HANDLE hQuery, QVAPI_ARG, QVAPI_ARG, QVAPI_ARG);
QVPAPI_EXPORT int qvAPISetJobInfQuery(QVPAPI_HANDLE hQuery, QVAPI_ARG, QVAPI_ARG, QVAPI_ARG);
QVPAPI_EXPORT int qvAPIDeleteJobInfQuery(QVPAPI_HANDLE hQuery, QVAPI_ARG, QVAPI_ARG, QVAPI_ARG);
QVPAPI_EXPORT int qvAPISetJobExecDateQuery(QVPAPI_HANDLE hQuery, QVAPI_ARG, QVAPI_ARG, QVAPI_ARG, QVAPI_ARG, QVAPI_ARG);
QVPAPI_EXPORT int qvAPIDeleteJobExecDateQuery(QVPAPI_HANDLE hQuery, QVAPI_ARG, QVAPI_ARG, QVAPI_ARG,
                                              QVAPI_ARG, QVAPI_ARG);
QVPAPI_EXPORT int qvAPISetJobEventTimeQuery(QVPAPI_HANDLE hQuery, QVAPI_ARG, QVAPI_ARG, QVAPI_ARG,
                                            QVAPI_ARG, QVAPI_ARG);
QVPAPI_EXPORT int qvAPIDeleteJobEventTimeQuery(QVPAPI_HANDLE hQuery, QVAPI_ARG, QVAPI_ARG, QVAPI_ARG,
                                               QVAPI_ARG, QVAPI_ARG);
QVPAPI_EXPORT int qvAPISetJobTimeOutQuery(QVPAPI_HANDLE hQuery, QVAPI_ARG, QVAPI_ARG, QVAPI_ARG, QVAPI_ARG, QVAPI_ARG);
QVPAPI_EXPORT int qvAPIDeleteJobTimeOutQuery(QVPAPI_HANDLE hQuery, QVAPI_ARG, QVAPI_ARG, QVAPI_ARG,
                                             QVAPI_ARG, QVAPI_ARG);
QVPAPI_EXPORT int qvAPISetJobTypeQuery(QVPAPI_HANDLE hQuery, QVAPI_ARG, QVAPI_ARG, QVAPI_ARG);
QVPAPI_EXPORT int qvAPIDeleteJobTypeQuery(QVPAPI_HANDLE hQuery, QVAPI_ARG, QVAPI_ARG, QVAPI_ARG);
QVPAPI_EXPORT int qvAPISetSortJobQuery(QVPAPI_HANDLE hQuery, QVAPI_ARG, QVAPI_ARG, QVAPI_ARG, QVAPI_ARG);
QVPAPI_EXPORT int qvAPIDeleteSortJobQuery(QVPAPI_HANDLE hQuery, QVAPI_ARG, QVAPI_ARG, QVAPI_ARG, QVAPI_ARG);
QVPAPI_EXPORT int qvAPISetJobRowCountQuery(QVPAPI_HANDLE hQuery, QVAPI_ARG, QVAPI_ARG, QVAPI_ARG);
QVPAPI_EXPORT int qvAPIDeleteJobRowCountQuery(QVPAPI_HANDLE hQuery, QVAPI_ARG, QVAPI_ARG, QVAPI_ARG);
QVPAPI_EXPORT int qvAPISetJobNextKeyQuery(QVPAPI_HANDLE hQuery, QVAPI_ARG, QVAPI_ARG, QVAPI_ARG);
QVPAPI_EXPORT int qvAPIDeleteJobNextKeyQuery(QVPAPI_HANDLE hQuery, QVAPI_ARG, QVAPI_ARG, QVAPI_ARG);
QVPAPI_EXPORT int qvAPIGetSQLStatementQuery(QVPAPI_HANDLE hQuery, QVAPI_ARG, QVAPI_ARG, QVAPI_ARG,
                                            QVAPI_ARG, QVAPI_ARG);
QVPAPI_EXPORT int qvAPISetSQLStatementQuery(QVPAPI_HANDLE hQuery, QVAPI_ARG, QVAPI_ARG, QVAPI_ARG);
QVPAPI_EXPORT int qvAPIDeleteSetSQLStatementQuery(QVPAPI_HANDLE hQuery, QVAPI_ARG, QVAPI_ARG);
QVPAPI_EXPORT int qvAPIAddSQLStatementQuery(QVPAPI_HANDLE hQuery, QVAPI_ARG, QVAPI_ARG, QVAPI_ARG);
QVPAPI_EXPORT int qvAPIDeleteAddSQLStatementQuery(QVPAPI_HANDLE hQuery, QVAPI_ARG, QVAPI_ARG);
QVPAPI_EXPORT int qvAPIAbstractFirstClient(QVPAPI_HANDLE hQuery, QVAPI_ARG, QVAPI_ARG, QVAPI_ARG);
QVPAPI_EXPORT int qvAPIAbstractNextClient(QVPAPI_HANDLE hQuery, QVAPI_ARG, QVAPI_ARG, QVAPI_ARG);
QVPAPI_EXPORT int qvAPIAbstractCloseClient(QVPAPI_HANDLE hQuery, QVAPI_ARG, QVAPI_ARG);
QVPAPI_EXPORT int qvAPIAbstractFirstIDEntry(QVPAPI_HANDLE hQuery, QVAPI_ARG, QVAPI_ARG, QVAPI_ARG);
QVPAPI_EXPORT int qvAPIAbstractNextIDEntry(QVPAPI_HANDLE hQuery, QVAPI_ARG, QVAPI_ARG, QVAPI_ARG);
QVPAPI_EXPORT int qvAPIAbstractCloseIDEntry(QVPAPI_HANDLE hQuery, QVAPI_ARG, QVAPI_ARG);
QVPAPI_EXPORT int qvAPIGetFirstNodeAttrTotal(QVPAPI_HANDLE hQuery, QVAPI_ARG, QVAPI_ARG, QVAPI_ARG);
QVPAPI_EXPORT int qvAPIGetNextNodeAttrTotal(QVPAPI_HANDLE hQuery, QVAPI_ARG, QVAPI_ARG, QVAPI_ARG);
QVPAPI_EXPORT int qvAPICloseNodeAttrTotal(QVPAPI_HANDLE hQuery, QVAPI_ARG, QVAPI_ARG);
QVPAPI_EXPORT int qvAPIGetFirstInsPackageTotal(QVPAPI_HANDLE hQuery, QVAPI_ARG, QVAPI_ARG, QVAPI_ARG);
QVPAPI_EXPORT int qvAPIGetNextInsPackageTotal(QVPAPI_HANDLE hQuery, QVAPI_ARG, QVAPI_ARG, QVAPI_ARG);
QVPAPI_EXPORT int qvAPICloseInsPackageTotal(QVPAPI_HANDLE hQuery, QVAPI_ARG, QVAPI_ARG);
QVPAPI_EXPORT int qvAPIGetFirstSysInvTotal(QVPAPI_HANDLE hQuery, QVAPI_ARG, QVAPI_ARG, QVAPI_ARG, QVAPI_ARG);
QVPAPI_EXPORT int qvAPIGetNextSysInvTotal(QVPAPI_HANDLE hQuery, QVAPI_ARG, QVAPI_ARG, QVAPI_ARG);
QVPAPI_EXPORT int qvAPICloseSysInvTotal(QVPAPI_HANDLE hQuery, QVAPI_ARG, QVAPI_ARG);
QVPAPI_EXPORT int qvAPIGetFirstIDTotal(QVPAPI_HANDLE hQuery, QVAPI_ARG, QVAPI_ARG, QVAPI_ARG);
QVPAPI_EXPORT int qvAPIGetNextIDTotal(QVPAPI_HANDLE hQuery, QVAPI_ARG, QVAPI_ARG, QVAPI_ARG);
QVPAPI_EXPORT int qvAPICloseIDTotal(QVPAPI_HANDLE hQuery, QVAPI_ARG, QVAPI_ARG);

/* ---- job execution files. hApi is the calling thread's API block (the handle the job finders
 * return); another thread's block is refused with QVAPI_ERR_INVALID_HANDLE, NULL with
 * QVAPI_ERR_INVALID_PARAMETER. The job path is "\<folder>...\<job number>" below MNGFL\JOBEXEC; "."
 * and ".." levels are refused. The job's jobexecfile is opened without sharing: missing, or open
 * elsewhere, gives QVAPI_ERR_NO_MORE_ITEMS; a file whose counts, lengths or names run past it is
 * QVAPI_ERR_UNEXPECTED_DATA, a short file QVAPI_ERR_RESOURCE. */

/* The 336-byte head of the job's jobexecfile into lpJobHead, its ten status counts and their
 * total recounted from the manager's execution records (one request per entry; entries the
 * manager has no record of count nowhere). A head whose stored counts are all 0 is returned as
 * stored without any request. 1, or 0 with the code (a failed lookup: the code of its reply). */
QVPAPI_EXPORT int qvAPIGetJob(QVPAPI_HANDLE hApi, const char* lpJobPath, void* lpJobHead);
/* The 336-byte head as stored, without recount; the file is opened for reading with sharing.
 * 1, or 0 with QVAPI_ERR_RESOURCE for any failure to open or read it. */
QVPAPI_EXPORT int qvAPIGetJobHead(QVPAPI_HANDLE hApi, const char* lpJobPath, void* lpJobHead);
/* Counts the statuses of the entries of one node (its dotted name, at most 64 bytes; the Ex
 * form takes any length) into a node-job record: the counts and the date-time text are set,
 * bytes 64 to 66 (Ex 260 to 262) from the counted records; nothing else is touched. 1, or 0
 * with QVAPI_ERR_NOT_FOUND when no entry of the node has an execution record. */
QVPAPI_EXPORT int qvAPIGetJobCountNode(QVPAPI_HANDLE hApi, const char* lpJobPath, const char* lpNodeName,
                                       QVAPI_NODE_JOB* lpNodeJob);
QVPAPI_EXPORT int qvAPIGetJobCountNodeEx(QVPAPI_HANDLE hApi, const char* lpJobPath, const char* lpNodeName,
                                         QVAPI_NODE_JOB_EX* lpNodeJob);

/* ---- job creation from a stored JobGen. lpJob is the caller's zeroed 336-byte record: an empty
 * job number asks for a new job, the number a QVAPI_ERR_MORE_DATA left in it continues that job's
 * creation (call again with the same arguments and record, or give up with qvAPIDeleteJob). The
 * JobGen is locked (QVAPI_ERR_BUSY when busy), expanded and sorted for the manager and put back
 * afterwards. Scheduled flag 1: placeholder "JS00000000000000"; a schedule record (224 bytes, sent
 * as it is) makes the request JSCH. 1 with the job's head in lpJob, or 0 with
 * QVAPI_ERR_INVALID_PARAMETER (bad argument, name over 64 or folder over 190 characters, names
 * holding separators or "." levels, paths too long, JobGen not stored, continuation without a
 * pending creation), QVAPI_ERR_MORE_DATA (registered, more to come), QVAPI_ERR_JOB_REFUSED
 * (registered with entries left out), the manager's mapped refusal (QVAPI_ERR_UNEXPECTED_DATA for
 * one that maps to none), the transport codes, or QVAPI_ERR_RESOURCE. A refused request leaves the
 * JobGen name and the job number (or none) in lpJob. */
#define JOBGEN_NORMAL   0u /* the JobGen is put back from its edit backup */
#define JOBGEN_SAVE     1u
#define JOBGEN_DELETE   2u /* the stored JobGen is deleted */
#define JOBGEN_EXECUTE  3u
QVPAPI_EXPORT int qvAPICreateJobEx(const char* lpFolderPath, const char* lpJobGenName, QVAPI_JOB* lpJob,
                                   uint32_t fdwAfterProcOption, uint32_t dwScheduled, const void* lpSchedule);
/* As qvAPICreateJobEx without the after-processing option. */
QVPAPI_EXPORT int qvAPICreateJob(const char* lpFolderPath, const char* lpJobGenName, QVAPI_JOB* lpJob,
                                 uint32_t dwScheduled, const void* lpSchedule);
/* Registers the stored jobgenfile unchanged: no lock, no expansion; ends a pending creation. */
QVPAPI_EXPORT int qvAPICreateJobSite(const char* lpFolderPath, const char* lpJobGenName, QVAPI_JOB* lpJob,
                                     uint32_t dwScheduled, const void* lpSchedule);

/* ---- job control. The job is <folder>\<number> below MNGFL\JOBEXEC (a folder that does not begin
 * with "\" is the top); its jobexecfile must exist. 1, or 0 with QVAPI_ERR_INVALID_PARAMETER (NULL
 * or empty argument, missing job, a request over one frame), QVAPI_ERR_NOT_FOUND (missing job of a
 * retry or completion), the manager's mapped refusal (QVAPI_ERR_UNEXPECTED_DATA for one that maps
 * to none) or the transport codes. */
QVPAPI_EXPORT int qvAPIExecJob(const char* lpFolderPath, const char* lpJobNo, uint32_t dwReserved1,
                               uint32_t dwReserved2);
/* fdwRetryKind 1 to 7 (R, E, A, C, O, P, Q); a node path ("\master\client", or without the
 * leading "\") retries that node alone. */
QVPAPI_EXPORT int qvAPIExecRetryJob(const char* lpFolderPath, const char* lpJobNo, const char* lpNodePath,
                                    uint32_t fdwRetryKind, uint32_t dwReserved1, uint32_t dwReserved2);
QVPAPI_EXPORT int qvAPIExecToCompleteJob(const char* lpFolderPath, const char* lpJobNo, uint32_t dwReserved1,
                                         uint32_t dwReserved2);
/* A job of the top folder; the two texts go to the manager unchanged, no existence check. */
QVPAPI_EXPORT int qvAPIExecDivisionalTransJob(const char* lpJobNo, const char* lpFirst, const char* lpSecond,
                                              uint32_t dwReserved1, uint32_t dwReserved2);
/* Option 0xFFFF asks for the forced deletion. Also ends the thread's pending creation (JobGen
 * put back and unlocked) whatever the deletion gives. */
QVPAPI_EXPORT int qvAPIDeleteJob(const char* lpFolderPath, const char* lpJobNo, uint32_t dwOption,
                                 uint32_t dwReserved);
QVPAPI_EXPORT int qvAPIDeleteCommand(const char* lpFolderPath, const char* lpJobNo, const char* lpNodeName,
                                     const char* lpNodeCmdNo);
/* Copies the job's jobexecfile into the thread's work folder and writes the copy's path (under 260
 * characters) into lpWriteFileName: 1, or 0 with QVAPI_ERR_INVALID_PARAMETER (missing job) or
 * QVAPI_ERR_RESOURCE.
 * The path is a Windows path text, as every path the library keeps:
 * <PathName>\SERVER\WORK\MNG\JOBEXEC\<thread id>\JOBEXEC<time stamp>. To open it on Linux, map
 * its root as the library does and turn the backslashes into "/": with a POSIX PathName
 * ("/srv/qvp\SERVER\...") only the backslashes change ("/srv/qvp/SERVER/..."); with a drive
 * letter ("C:\ZARNQVP\SERVER\...") "X:" becomes the folder of the setting DriveX of the
 * [Platform] section (drive C: /var/lib/qvpapi/c when unset). The library made every level of
 * it under exactly these names. The copy stays until the session closes. */
QVPAPI_EXPORT int qvAPIGetJobEx(const char* lpFolderPath, const char* lpJobNo, char* lpWriteFileName);
/* Sends the caller's request text (at most 2040 bytes) and reads the reply as a deletion's. */
QVPAPI_EXPORT int qvAPIScheduleJobDel(const char* lpRequest, uint32_t dwReserved);

/* ---- site execution-record control: walks over the manager's execution records (the session's
 * cursor of kind E). First, then Next until QVAPI_ERR_NO_MORE_ITEMS, then End. Codes:
 * QVAPI_ERR_TCP_SEND / QVAPI_ERR_TCP_RECV send / receive failure, QVAPI_ERR_SITE_UPDATE a refused
 * update, QVAPI_ERR_INVALID_PARAMETER a NULL buffer, key or text, a key over 272 characters or
 * texts too long for one request. */

/* Marks the next waiting record (first status byte 0x10, 0x20 or 0x60, the other two 0) with
 * bit 0x40 of its second status byte and copies it, as updated, into lpRecord (up to 1470
 * bytes, QVAPI_EXECUTION). QVAPI_ERR_NO_MORE_ITEMS when no waiting record is left. */
QVPAPI_EXPORT int qvAPISiteWaitSetFirst(void* lpRecord);
QVPAPI_EXPORT int qvAPISiteWaitSetNext(void* lpRecord);
QVPAPI_EXPORT int qvAPISiteWaitSetEnd(void);
/* The same over marked records, clearing the mark. */
QVPAPI_EXPORT int qvAPISiteRestartSetFirst(void* lpRecord);
QVPAPI_EXPORT int qvAPISiteRestartSetNext(void* lpRecord);
QVPAPI_EXPORT int qvAPISiteRestartSetEnd(void);
/* Marks the one record of that key (node name and 16 hex digits of the job id), whatever its
 * status, and releases the cursor. QVAPI_ERR_NOT_FOUND when no record has the key. */
QVPAPI_EXPORT int qvAPISiteWaitSetCurrent(const char* lpKey);
/* Asks the manager to re-execute a delivery ("DEXC" with the two texts). QVAPI_ERR_INVALID_NAME
 * when it refuses. */
QVPAPI_EXPORT int qvAPISiteReexec(const char* lpFirst, const char* lpSecond);

/* ---- the job walk: one folder of the job store (below MNGFL\JOBEXEC) at a time. A folder path
 * is "\" and its levels ("\" between them); NULL, "" or "\" is the top. The handle is the
 * calling thread's API block; a new FindFirst ends the thread's running walk. A folder comes
 * back as its name (cut to 63 bytes and terminated) and kind 3, every other byte 0; a job with
 * its recounted head (qvAPIGetJob) and kind 4, an ID job ("IB"/"IS" names) kind 5. A
 * sub-folder whose full path is too long to be looked into (260 characters) still comes back
 * as a folder by its name (no job can be read there); only a walk of that folder fails. */

/* First entry of the folder. The handle, or (QVPAPI_HANDLE)-1: QVAPI_ERR_INVALID_PARAMETER no
 * record, or the path is no folder (or has a "." or ".." level); QVAPI_ERR_NO_MORE_ITEMS the folder
 * holds no entry. */
QVPAPI_EXPORT QVPAPI_HANDLE qvAPIFindFirstJob(const char* lpFolderPath, QVAPI_JOB* lpFindJobData,
                                              uint32_t dwReserved1, uint32_t dwReserved2);
/* Next entry: 1, or 0 (QVAPI_ERR_NO_MORE_ITEMS at the end; QVAPI_ERR_INVALID_HANDLE a handle that
 * is not the thread's walk). */
QVPAPI_EXPORT int qvAPIFindNextJob(QVPAPI_HANDLE hFindJob, QVAPI_JOB* lpFindJobData, uint32_t dwReserved1,
                                   uint32_t dwReserved2);
QVPAPI_EXPORT int qvAPIFindCloseJob(QVPAPI_HANDLE hFindJob, uint32_t dwReserved1, uint32_t dwReserved2);
/* One job by its number, through QVFOLDER\<number>\jobexecpath; kind 5 for numbers beginning
 * "I", else 4. 1, or 0 (QVAPI_ERR_NO_MORE_ITEMS unknown number, or the code of qvAPIGetJob). */
QVPAPI_EXPORT int qvAPIFindJob(const char* lpJobNo, QVAPI_JOB* lpFindJobData, uint32_t dwReserved1,
                               uint32_t dwReserved2);
/* Deletes every job of <upper folder>\<folder name> and of its sub-folders through the manager
 * (qvAPIDeleteJob, F kind), then removes the emptied folders; stops at the first failure, with
 * its code. The folder name is one level: NULL, "", ".", ".." or a name holding "\" or "/" is
 * refused with QVAPI_ERR_INVALID_PARAMETER, as is a folder that is not one. 1, or 0. */
QVPAPI_EXPORT int qvAPIDeleteFolderJob(const char* lpUpperFolderPath, const char* lpFolderName,
                                       uint32_t dwReserved1, uint32_t dwReserved2);
/* The same with the plain delete kind; the folders stay. */
QVPAPI_EXPORT int qvAPIDeleteFolderJobEx(const char* lpUpperFolderPath, const char* lpFolderName,
                                         uint32_t dwReserved1, uint32_t dwReserved2);

/* ---- node jobs: each distinct node of a job once, in the order of its first entry, with its
 * counts (qvAPIGetJobCountNode / Ex). Nodes the manager keeps no record of are passed over. The
 * plain and Ex families share one walk per thread; the handle is the walk's state. FindFirst: the
 * handle, or -1 with QVAPI_ERR_INVALID_PARAMETER (NULL record or job number, empty job number),
 * QVAPI_ERR_NO_MORE_ITEMS (no such job, no entries, no node with a record; plain: a name over 64
 * characters). Next: 1, or 0 with QVAPI_ERR_NO_MORE_ITEMS at the end, QVAPI_ERR_INVALID_HANDLE for
 * a handle that is not the thread's walk. */
QVPAPI_EXPORT QVPAPI_HANDLE qvAPIFindFirstNodeJob(const char* lpFolderPath, const char* lpJobNo,
                                                  QVAPI_NODE_JOB* lpFindNodeJobData, uint32_t dwReserved1,
                                                  uint32_t dwReserved2);
QVPAPI_EXPORT int qvAPIFindNextNodeJob(QVPAPI_HANDLE hFindNodeJob, QVAPI_NODE_JOB* lpFindNodeJobData,
                                       uint32_t dwReserved1, uint32_t dwReserved2);
QVPAPI_EXPORT int qvAPIFindCloseNodeJob(QVPAPI_HANDLE hFindNodeJob, uint32_t dwReserved1, uint32_t dwReserved2);
QVPAPI_EXPORT QVPAPI_HANDLE qvAPIFindFirstNodeJobEx(const char* lpFolderPath, const char* lpJobNo,
                                                    QVAPI_NODE_JOB_EX* lpFindNodeJobData, uint32_t dwReserved1,
                                                    uint32_t dwReserved2);
QVPAPI_EXPORT int qvAPIFindNextNodeJobEx(QVPAPI_HANDLE hFindNodeJob, QVAPI_NODE_JOB_EX* lpFindNodeJobData,
                                         uint32_t dwReserved1, uint32_t dwReserved2);
QVPAPI_EXPORT int qvAPIFindCloseNodeJobEx(QVPAPI_HANDLE hFindNodeJob, uint32_t dwReserved1, uint32_t dwReserved2);

/* ---- package jobs: the walk over the manager's execution records of one node of a job. */

/* First record of the node (lpNodeName in path form, "\" first). lpCollectPath is NULL, or the
 * address of a pointer (which may be NULL) to a buffer of 260 bytes: for a record of kind "G" or
 * "S" it receives the 260 bytes at offset 144 of the record's COLLECTPATH file (0-padded where the
 * file is shorter). The handle, or -1: QVAPI_ERR_INVALID_PARAMETER NULL or empty argument;
 * QVAPI_ERR_NO_MORE_ITEMS no such job, or no record of the node; QVAPI_ERR_UNEXPECTED_DATA a record
 * whose collect name is no file name. */
QVPAPI_EXPORT QVPAPI_HANDLE qvAPIFindFirstPackageJob(const char* lpFolderPath, const char* lpJobNo,
                                                     const char* lpNodeName, QVAPI_PACKAGE_JOB* lpFindPackageJobData,
                                                     uint32_t dwReserved, char** lpCollectPath);
/* Next record of the node: 1, or 0 (QVAPI_ERR_NO_MORE_ITEMS at the end, QVAPI_ERR_INVALID_HANDLE a
 * foreign handle). */
QVPAPI_EXPORT int qvAPIFindNextPackageJob(QVPAPI_HANDLE hFindPackageJob, QVAPI_PACKAGE_JOB* lpFindPackageJobData,
                                          uint32_t dwReserved, char** lpCollectPath);
QVPAPI_EXPORT int qvAPIFindClosePackageJob(QVPAPI_HANDLE hFindPackageJob, uint32_t dwReserved1,
                                           uint32_t dwReserved2);

/* ---- ID jobs: jobs whose entries name an ID ("<path>.%<ID>"); the manager keeps a record for
 * each entry and for each member client reached through it. */

/* One record per ID named in the job, in the order of first mention; the display name is the ID
 * name as well. uiNodeAttributes 1 counts the ID's member clients, 2 its entries' own records. An
 * ID whose records are all missing comes with zero counts. The handle, or -1:
 * QVAPI_ERR_INVALID_PARAMETER a bad argument, a folder path not ""-led, no such folder or a job
 * that is no ID job; QVAPI_ERR_NO_MORE_ITEMS no such job, or no entries. */
QVPAPI_EXPORT QVPAPI_HANDLE qvAPIFindFirstIDJob(const char* lpFolderPath, const char* lpJobNo,
                                                QVAPI_NODE_JOB* lpFindNodeJobData, uint32_t uiNodeAttributes,
                                                uint32_t dwReserved1, uint32_t dwReserved2);
/* The next ID: 1, or 0 (QVAPI_ERR_NO_MORE_ITEMS at the end, QVAPI_ERR_INVALID_HANDLE a foreign or
 * closed handle). */
QVPAPI_EXPORT int qvAPIFindNextIDJob(QVPAPI_HANDLE hFindJob, QVAPI_NODE_JOB* lpFindNodeJobData,
                                     uint32_t dwReserved1, uint32_t dwReserved2);
QVPAPI_EXPORT int qvAPIFindCloseIDJob(QVPAPI_HANDLE hFindJob, uint32_t dwReserved1, uint32_t dwReserved2);
QVPAPI_EXPORT QVPAPI_HANDLE qvAPIFindFirstIDJobEx(const char* lpFolderPath, const char* lpJobNo,
                                                  QVAPI_NODE_JOB_EX* lpFindNodeJobData, uint32_t uiNodeAttributes,
                                                  uint32_t dwReserved1, uint32_t dwReserved2);
QVPAPI_EXPORT int qvAPIFindNextIDJobEx(QVPAPI_HANDLE hFindJob, QVAPI_NODE_JOB_EX* lpFindNodeJobData,
                                       uint32_t dwReserved1, uint32_t dwReserved2);
QVPAPI_EXPORT int qvAPIFindCloseIDJobEx(QVPAPI_HANDLE hFindJob, uint32_t dwReserved1, uint32_t dwReserved2);

/* For one ID (lpID, without "%"): uiNodeAttributes 1 gives one record per member client, named
 * "\<path>\<client>", counted over the ID's entries under that path; 2 gives one record per entry
 * path ("\<path>", empty for an entry without one) with the sum of its entries' records. The
 * handle, or -1 with the codes of qvAPIFindFirstIDJob; QVAPI_ERR_NO_MORE_ITEMS also when the ID has
 * no record. */
QVPAPI_EXPORT QVPAPI_HANDLE qvAPIFindFirstKeepIDJob(const char* lpFolderPath, const char* lpJobNo, const char* lpID,
                                                    QVAPI_NODE_JOB* lpFindNodeJobData, uint32_t uiNodeAttributes,
                                                    uint32_t dwReserved1, uint32_t dwReserved2);
QVPAPI_EXPORT int qvAPIFindNextKeepIDJob(QVPAPI_HANDLE hFindJob, QVAPI_NODE_JOB* lpFindNodeJobData,
                                         uint32_t dwReserved1, uint32_t dwReserved2);
QVPAPI_EXPORT int qvAPIFindCloseKeepIDJob(QVPAPI_HANDLE hFindJob, uint32_t dwReserved1, uint32_t dwReserved2);
QVPAPI_EXPORT QVPAPI_HANDLE qvAPIFindFirstKeepIDJobEx(const char* lpFolderPath, const char* lpJobNo,
                                                      const char* lpID, QVAPI_NODE_JOB_EX* lpFindNodeJobData,
                                                      uint32_t uiNodeAttributes, uint32_t dwReserved1,
                                                      uint32_t dwReserved2);
QVPAPI_EXPORT int qvAPIFindNextKeepIDJobEx(QVPAPI_HANDLE hFindJob, QVAPI_NODE_JOB_EX* lpFindNodeJobData,
                                           uint32_t dwReserved1, uint32_t dwReserved2);
QVPAPI_EXPORT int qvAPIFindCloseKeepIDJobEx(QVPAPI_HANDLE hFindJob, uint32_t dwReserved1, uint32_t dwReserved2);

/* ---- client ID jobs: ID jobs seen from the clients they reach. Each family keeps one enumeration
 * per thread (shared with its Ex form and its site twin); the handle is the calling thread's API
 * block, and a new FindFirst ends the thread's running enumeration of the family. Next and Close:
 * 1, or 0 with QVAPI_ERR_NO_MORE_ITEMS at the end, QVAPI_ERR_INVALID_HANDLE for a handle that is
 * not the thread's block or a family without an enumeration, QVAPI_ERR_INVALID_PARAMETER a NULL
 * record. */

/* Walks one folder below MNGFL\JOBEXEC (NULL, "" or "\" the top): its sub-folders (kind 3, the name
 * cut to 63 bytes and terminated) and its ID jobs (kind 5) with their heads and counts recounted
 * over the member clients; dwJobKindOption 4 admits plain jobs (kind 4). A sub-folder too deep to
 * be looked into comes back by its name, as in the job walk. The handle, or -1:
 * QVAPI_ERR_INVALID_PARAMETER NULL record or a path that is no folder (or has a "." or ".." level),
 * QVAPI_ERR_NO_MORE_ITEMS a folder without entries, or the code of a job's recount. */
QVPAPI_EXPORT QVPAPI_HANDLE qvAPIFindFirstClientIDJob(const char* lpFolderPath, QVAPI_JOB* lpFindJobData,
                                                      uint32_t dwJobKindOption, uint32_t dwReserved);
QVPAPI_EXPORT int qvAPIFindNextClientIDJob(QVPAPI_HANDLE hFindJob, QVAPI_JOB* lpFindJobData, uint32_t dwReserved1,
                                           uint32_t dwReserved2);
QVPAPI_EXPORT int qvAPIFindCloseClientIDJob(QVPAPI_HANDLE hFindJob, uint32_t dwReserved1, uint32_t dwReserved2);

/* The member clients of one ID job, one node-job record each (path-form name, the client's counts
 * over the ID's entries). A plain job is refused unless dwJobKindOption is 4. The handle, or -1:
 * QVAPI_ERR_INVALID_PARAMETER NULL or empty job number, NULL record, a folder or job that is not
 * one, QVAPI_ERR_NO_MORE_ITEMS a missing job or one without member records. */
QVPAPI_EXPORT QVPAPI_HANDLE qvAPIFindFirstClientNodeIDJob(const char* lpFolderPath, const char* lpJobNo,
                                                          QVAPI_NODE_JOB* lpFindNodeJobData, uint32_t dwJobKindOption,
                                                          uint32_t dwReserved);
QVPAPI_EXPORT int qvAPIFindNextClientNodeIDJob(QVPAPI_HANDLE hFindJob, QVAPI_NODE_JOB* lpFindNodeJobData,
                                               uint32_t dwReserved1, uint32_t dwReserved2);
QVPAPI_EXPORT int qvAPIFindCloseClientNodeIDJob(QVPAPI_HANDLE hFindJob, uint32_t dwReserved1, uint32_t dwReserved2);
QVPAPI_EXPORT QVPAPI_HANDLE qvAPIFindFirstClientNodeIDJobEx(const char* lpFolderPath, const char* lpJobNo,
                                                            QVAPI_NODE_JOB_EX* lpFindNodeJobData,
                                                            uint32_t dwJobKindOption, uint32_t dwReserved);
QVPAPI_EXPORT int qvAPIFindNextClientNodeIDJobEx(QVPAPI_HANDLE hFindJob, QVAPI_NODE_JOB_EX* lpFindNodeJobData,
                                                 uint32_t dwReserved1, uint32_t dwReserved2);
QVPAPI_EXPORT int qvAPIFindCloseClientNodeIDJobEx(QVPAPI_HANDLE hFindJob, uint32_t dwReserved1, uint32_t dwReserved2);

/* The execution records of one ID job for one node (lpNodePath in path form), as package-job
 * records (the integers at 512, 516, 520 and 532 in host order). A folder path that does not
 * begin with "\" is refused. The Ex form narrows the walk to the entries of the ID lpID (at most
 * 32 characters; NULL or "" for all). dwJobKindOption 4 admits a plain job. dwParam6, dwParam7
 * (First), dwParam3, dwParam4 (Next) and dwParam2, dwParam3 (Close) are reserved: pass 0. The
 * handle, or -1 with the codes of the client-node finder. Next and Close of the Ex form are
 * those of the plain one. */
QVPAPI_EXPORT QVPAPI_HANDLE qvAPIFindFirstClientPackageIDJob(const char* lpFolderPath, const char* lpJobNo,
                                                             const char* lpNodePath,
                                                             QVAPI_PACKAGE_JOB* lpFindPackageJobData,
                                                             uint32_t dwJobKindOption, uint32_t dwParam6);
QVPAPI_EXPORT int qvAPIFindNextClientPackageIDJob(QVPAPI_HANDLE hFindJob, QVAPI_PACKAGE_JOB* lpFindPackageJobData,
                                                  uint32_t dwParam3, uint32_t dwParam4);
QVPAPI_EXPORT int qvAPIFindCloseClientPackageIDJob(QVPAPI_HANDLE hFindJob, uint32_t dwParam2, uint32_t dwParam3);
QVPAPI_EXPORT QVPAPI_HANDLE qvAPIFindFirstClientPackageIDJobEx(const char* lpFolderPath, const char* lpJobNo,
                                                               const char* lpNodePath, const char* lpID,
                                                               QVAPI_PACKAGE_JOB* lpFindPackageJobData,
                                                               uint32_t dwJobKindOption, uint32_t dwParam7);
QVPAPI_EXPORT int qvAPIFindNextClientPackageIDJobEx(QVPAPI_HANDLE hFindJob, QVAPI_PACKAGE_JOB* lpFindPackageJobData,
                                                    uint32_t dwParam3, uint32_t dwParam4);
QVPAPI_EXPORT int qvAPIFindCloseClientPackageIDJobEx(QVPAPI_HANDLE hFindJob, uint32_t dwParam2, uint32_t dwParam3);

/* ---- site ID jobs: the same enumerations over MNGFL\SITEJOB, the manager's site job tree. Each
 * shares its family's per-thread enumeration with its job-tree twin, so a site FindFirst ends a
 * running job-tree enumeration of the family and the twin's Next and Close serve it. The
 * dwParamN of the keep-ID family are reserved (pass 0), as dwReserved1 and dwReserved2 of its
 * job-tree twin. */
QVPAPI_EXPORT QVPAPI_HANDLE qvAPIFindFirstSiteIDJobEx(const char* lpFolderPath, const char* lpJobNo,
                                                      QVAPI_NODE_JOB_EX* lpFindNodeJobData, uint32_t uiNodeAttributes,
                                                      uint32_t dwReserved1, uint32_t dwReserved2);
QVPAPI_EXPORT int qvAPIFindNextSiteIDJobEx(QVPAPI_HANDLE hFindJob, QVAPI_NODE_JOB_EX* lpFindNodeJobData,
                                           uint32_t dwReserved1, uint32_t dwReserved2);
QVPAPI_EXPORT int qvAPIFindCloseSiteIDJobEx(QVPAPI_HANDLE hFindJob, uint32_t dwReserved1, uint32_t dwReserved2);
QVPAPI_EXPORT QVPAPI_HANDLE qvAPIFindFirstSiteKeepIDJobEx(const char* lpFolderPath, const char* lpJobNo,
                                                          const char* lpID, QVAPI_NODE_JOB_EX* lpFindNodeJobData,
                                                          uint32_t uiNodeAttributes, uint32_t dwParam6,
                                                          uint32_t dwParam7);
QVPAPI_EXPORT int qvAPIFindNextSiteKeepIDJobEx(QVPAPI_HANDLE hFindJob, QVAPI_NODE_JOB_EX* lpFindNodeJobData,
                                               uint32_t dwParam3, uint32_t dwParam4);
QVPAPI_EXPORT int qvAPIFindCloseSiteKeepIDJobEx(QVPAPI_HANDLE hFindJob, uint32_t dwParam2, uint32_t dwParam3);
QVPAPI_EXPORT QVPAPI_HANDLE qvAPIFindFirstSiteClientNodeIDJobEx(const char* lpFolderPath, const char* lpJobNo,
                                                                QVAPI_NODE_JOB_EX* lpFindNodeJobData,
                                                                uint32_t dwJobKindOption, uint32_t dwReserved);
QVPAPI_EXPORT int qvAPIFindNextSiteClientNodeIDJobEx(QVPAPI_HANDLE hFindJob, QVAPI_NODE_JOB_EX* lpFindNodeJobData,
                                                     uint32_t dwReserved1, uint32_t dwReserved2);
QVPAPI_EXPORT int qvAPIFindCloseSiteClientNodeIDJobEx(QVPAPI_HANDLE hFindJob, uint32_t dwReserved1,
                                                      uint32_t dwReserved2);

QVPAPI_END_DECLS

#endif

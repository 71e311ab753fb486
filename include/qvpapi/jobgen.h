/* JobGen templates: folders, the edit session, node and package entries, options, re-creation
 * and sorting. Included by qvpapi.h after qvpapi/records.h.
 *
 * A JobGen is the directory <PathName>\SERVER\ZARNQV\MNGFL\JOBGEN<folder>\<name> holding its
 * `jobgenfile`. Folders are "\" followed by folder names joined by "\"; NULL, "" and "\" mean the
 * top. A thread edits one JobGen at a time: the JobGen handle is the thread's own block, and
 * every JobGen is guarded by a named mutex (busy: QVAPI_ERR_BUSY, never waited for). The reserved
 * arguments are passed as 0 and ignored. */
#ifndef QVPAPI_JOBGEN_H
#define QVPAPI_JOBGEN_H

#include "common.h"
#include "nodes.h"
#include "records.h"

QVPAPI_BEGIN_DECLS

#define QVAPI_JOBGEN_SIZE           256u
#define QVAPI_JOBGEN_NODE_SIZE      676u  /* API levels 1 to 5 */
#define QVAPI_JOBGEN_NODE_SIZE_L0   416u  /* API level 0: no host field */
#define QVAPI_JOBGEN_PACKAGE_SIZE   62u

/* Kinds of QVAPI_JOBGEN.uiKind. */
#define QVAPI_JOBGEN_FOLDER         3u
#define QVAPI_JOBGEN_JOBGEN         4u
#define QVAPI_JOBGEN_IDJOBGEN       5u

/* Node-entry options. */
#define QVAPI_JOBGEN_BY_PATH        0x00000000u
#define QVAPI_JOBGEN_BY_ID          0x01000000u
#define QVAPI_JOBGEN_AS_GIVEN       0x80000000u
#define QVAPI_JOBGEN_IDGROUP        0x00000004u

/* A folder or stored JobGen as the finders give it. The names the library makes have at most 32
 * characters (folders and JobGens alike) and come back NUL-terminated; a longer one that another
 * program left in the store comes back as its first 64 characters, without a terminator at 64. */
typedef struct QVAPI_JOBGEN {
    char szName[64];        /*   0 NUL-terminated when shorter than 64 */
    uint32_t uiKind;        /*  64 3 folder, 4 JobGen, 5 ID JobGen */
    uint32_t uiReserved;    /*  68 left as the caller passed it */
    char szCreated[18];     /*  72 local "yy/mm/dd hh:mm:ss" */
    char szWritten[18];     /*  90 last write, same form */
    uint8_t ucReserved[148];
} QVAPI_JOBGEN;

/* One node entry of the open JobGen. Copied at the caller's API level (416 or 676 bytes). */
typedef struct QVAPI_JOBGEN_NODE {
    uint8_t ucJobKind;      /*   0 */
    uint8_t ucSetcls;       /*   1 class byte */
    uint8_t ucFlag;         /*   2 */
    uint8_t ucReserved3;
    uint32_t uiIDKind;      /*   4 5: ID JobGen */
    uint8_t ucReserved8[8];
    char szNodeName[260];   /*  16 */
    uint32_t uiEntryType;   /* 276 */
    uint8_t ucReserved280[136];
    char szHost[260];       /* 416 */
} QVAPI_JOBGEN_NODE;

/* One package entry of the open JobGen, as the package walk gives it. */
typedef struct QVAPI_JOBGEN_PACKAGE {
    char cQvCode;           /*  0 */
    char szCabinetId[3];    /*  1 */
    char szPackageId[44];   /*  4 NUL-terminated when shorter */
    char szVersion[9];      /* 48 */
    char szGeneration[5];   /* 57 */
} QVAPI_JOBGEN_PACKAGE;

/* Execution time of the open JobGen (qvAPIUpDateTimeJobGen, qvAPIGetTimeJobGen). */
typedef struct QVAPI_TIME_JOBGEN_DATA {
    uint8_t ucSetcls;           /*   0 ' ' date and time, 'D' time, 'W' weekdays, 'M' day of month, 0 none */
    uint8_t ucExecTiming;       /*   1 0, 'B', 'E' or 'S' */
    uint8_t ucReserved2[2];
    QVAPI_NODE_TIME WorkTime;   /*   4 two-digit year, month, day; hour, minute, second (99 = none) */
    QVAPI_NODE_TIME ExecTime;   /*  20 wDay: day of the month */
    uint8_t ucExecWeek;         /*  36 weekday bits 0x01-0x40 */
    uint8_t ucReserved37[91];
} QVAPI_TIME_JOBGEN_DATA;

/* Change flags of qvAPIUpDateTimeJobGen. */
#define QVAPI_TIME_SETCLS       0x01u
#define QVAPI_TIME_DATE         0x02u
#define QVAPI_TIME_TIME         0x04u
#define QVAPI_TIME_DAY          0x08u
#define QVAPI_TIME_WEEK         0x10u
#define QVAPI_TIME_TIMING       0x20u

/* Schedule of the open JobGen, kept in its header as given. */
typedef struct QVAPI_SCH_DATE_INF {
    uint32_t uiScheduleOption;  /*  0 bits 0x1, 0x2, 0x4 only */
    QVAPI_NODE_TIME SchTime[3]; /*  4 */
} QVAPI_SCH_DATE_INF;

/* Divisional transfer of the open JobGen. */
typedef struct QVAPI_DIVISIONAL_TRANS_DATA {
    uint32_t uiDivisionalOption; /*  0 0 off, 1 on */
    uint32_t DivisionalSize;     /*  4 1 to 0x7FFFFFFF when on */
    uint32_t TransInterval;      /*  8 1 to 1440 when on */
    uint8_t ucReserved[244];
} QVAPI_DIVISIONAL_TRANS_DATA;

/* ---- software reference lists, soft-refer files and the soft-refer area ---- */

/* List types. */
#define QVAPI_SOFTLIST_DEFAULT      0u  /* the list "DEFAULT" (DEFLIST.QVP) */
#define QVAPI_SOFTLIST_USER         1u  /* a user list (USERLIST.QVP), then the default list */
#define QVAPI_SOFTLIST_NONE         2u
#define QVAPI_SOFTLIST_USER_ONLY    3u
#define QVAPI_SOFTLIST_NAME_MAX     32u
#define QVAPI_SOFTLIST_SIZE         68u
#define QVAPI_SOFTREFER_SIZE        216u
#define QVAPI_COLLECT_SIZE          1177u

/* One list as the finders give it. */
typedef struct QVAPI_SOFTLIST {
    char szListName[32];        /*  0 as stored; no terminator at 32 characters */
    uint32_t dwListType;        /* 32 */
    QVAPI_NODE_TIME stUpdate;   /* 36 local last-write time of the list's file */
    QVAPI_NODE_TIME stCreate;   /* 52 local creation time of the list's directory */
} QVAPI_SOFTLIST;

/* The soft-refer area of a kind-I JobGen. */
typedef struct QVAPI_SOFTREFER {
    uint32_t uiSoftware;        /*   0 1 or 2 */
    uint32_t uiDriveOption;     /*   4 with uiSoftware 2: 1, 2 or 3 (drives of ucDriveName) */
    char ucDriveName[70];       /*   8 one-character names (A-Z, 1-9) separated by ';' */
    uint8_t ucReserved78[2];
    uint8_t ucDriveCode[5];     /*  80 computed by the update */
    uint8_t ucReserved85[3];
    char szSoftListName[32];    /*  88 */
    uint32_t dwSoftListType;    /* 120 */
    uint8_t ucReserved124[92];
} QVAPI_SOFTREFER;

/* The settings of a collect JobGen (kinds G and S). */
typedef struct QVAPI_COLLECT {
    char ucCollectTiming;          /*   0 'B', 'E' or 'S' */
    char ucCompressCode;           /*   1 'K' or blank */
    char ucText1[260];             /*   2 at most 63 characters kept */
    char ucText2[260];             /* 262 at most 63 kept */
    char ucPDate[6];               /* 522 */
    char ucCipherCode;             /* 528 'D' or 'N' */
    char ucCollectPath[260];       /* 529 at most 63 kept */
    char ucCollectStorePath[260];  /* 789 shorter than 183 characters */
    uint8_t ucReserved[128];       /* 1049 */
} QVAPI_COLLECT;

#if defined(__cplusplus)
#define QVAPI_JOBGEN_ASSERT(cond, what) static_assert(cond, what)
#elif defined(__STDC_VERSION__) && __STDC_VERSION__ >= 201112L
#define QVAPI_JOBGEN_ASSERT(cond, what) _Static_assert(cond, what)
#endif
#ifdef QVAPI_JOBGEN_ASSERT
QVAPI_JOBGEN_ASSERT(sizeof(QVAPI_JOBGEN) == QVAPI_JOBGEN_SIZE, "QVAPI_JOBGEN size");
QVAPI_JOBGEN_ASSERT(offsetof(QVAPI_JOBGEN, uiKind) == 64, "uiKind");
QVAPI_JOBGEN_ASSERT(offsetof(QVAPI_JOBGEN, szCreated) == 72, "szCreated");
QVAPI_JOBGEN_ASSERT(offsetof(QVAPI_JOBGEN, szWritten) == 90, "szWritten");
QVAPI_JOBGEN_ASSERT(sizeof(QVAPI_JOBGEN_NODE) == QVAPI_JOBGEN_NODE_SIZE, "QVAPI_JOBGEN_NODE size");
QVAPI_JOBGEN_ASSERT(offsetof(QVAPI_JOBGEN_NODE, uiIDKind) == 4, "uiIDKind");
QVAPI_JOBGEN_ASSERT(offsetof(QVAPI_JOBGEN_NODE, szNodeName) == 16, "szNodeName");
QVAPI_JOBGEN_ASSERT(offsetof(QVAPI_JOBGEN_NODE, uiEntryType) == 276, "uiEntryType");
QVAPI_JOBGEN_ASSERT(offsetof(QVAPI_JOBGEN_NODE, szHost) == QVAPI_JOBGEN_NODE_SIZE_L0, "szHost");
QVAPI_JOBGEN_ASSERT(sizeof(QVAPI_JOBGEN_PACKAGE) == QVAPI_JOBGEN_PACKAGE_SIZE, "QVAPI_JOBGEN_PACKAGE size");
QVAPI_JOBGEN_ASSERT(offsetof(QVAPI_JOBGEN_PACKAGE, szPackageId) == 4, "szPackageId");
QVAPI_JOBGEN_ASSERT(offsetof(QVAPI_JOBGEN_PACKAGE, szVersion) == 48, "szVersion");
QVAPI_JOBGEN_ASSERT(offsetof(QVAPI_JOBGEN_PACKAGE, szGeneration) == 57, "szGeneration");
QVAPI_JOBGEN_ASSERT(sizeof(QVAPI_TIME_JOBGEN_DATA) == 128, "QVAPI_TIME_JOBGEN_DATA size");
QVAPI_JOBGEN_ASSERT(offsetof(QVAPI_TIME_JOBGEN_DATA, WorkTime) == 4, "WorkTime");
QVAPI_JOBGEN_ASSERT(offsetof(QVAPI_TIME_JOBGEN_DATA, ExecTime) == 20, "ExecTime");
QVAPI_JOBGEN_ASSERT(offsetof(QVAPI_TIME_JOBGEN_DATA, ucExecWeek) == 36, "ucExecWeek");
QVAPI_JOBGEN_ASSERT(sizeof(QVAPI_SCH_DATE_INF) == 52, "QVAPI_SCH_DATE_INF size");
QVAPI_JOBGEN_ASSERT(sizeof(QVAPI_DIVISIONAL_TRANS_DATA) == 256, "QVAPI_DIVISIONAL_TRANS_DATA size");
QVAPI_JOBGEN_ASSERT(offsetof(QVAPI_DIVISIONAL_TRANS_DATA, TransInterval) == 8, "TransInterval");

QVAPI_JOBGEN_ASSERT(sizeof(QVAPI_SOFTLIST) == QVAPI_SOFTLIST_SIZE, "QVAPI_SOFTLIST size");
QVAPI_JOBGEN_ASSERT(offsetof(QVAPI_SOFTLIST, dwListType) == 32, "dwListType");
QVAPI_JOBGEN_ASSERT(offsetof(QVAPI_SOFTLIST, stUpdate) == 36, "stUpdate");
QVAPI_JOBGEN_ASSERT(offsetof(QVAPI_SOFTLIST, stCreate) == 52, "stCreate");
QVAPI_JOBGEN_ASSERT(sizeof(QVAPI_SOFTREFER) == QVAPI_SOFTREFER_SIZE, "QVAPI_SOFTREFER size");
QVAPI_JOBGEN_ASSERT(offsetof(QVAPI_SOFTREFER, ucDriveName) == 8, "ucDriveName");
QVAPI_JOBGEN_ASSERT(offsetof(QVAPI_SOFTREFER, ucDriveCode) == 80, "ucDriveCode");
QVAPI_JOBGEN_ASSERT(offsetof(QVAPI_SOFTREFER, szSoftListName) == 88, "szSoftListName");
QVAPI_JOBGEN_ASSERT(offsetof(QVAPI_SOFTREFER, dwSoftListType) == 120, "dwSoftListType");
QVAPI_JOBGEN_ASSERT(sizeof(QVAPI_COLLECT) == QVAPI_COLLECT_SIZE, "QVAPI_COLLECT size");
QVAPI_JOBGEN_ASSERT(offsetof(QVAPI_COLLECT, ucPDate) == 522, "ucPDate");
QVAPI_JOBGEN_ASSERT(offsetof(QVAPI_COLLECT, ucCipherCode) == 528, "ucCipherCode");
QVAPI_JOBGEN_ASSERT(offsetof(QVAPI_COLLECT, ucCollectPath) == 529, "ucCollectPath");
QVAPI_JOBGEN_ASSERT(offsetof(QVAPI_COLLECT, ucCollectStorePath) == 789, "ucCollectStorePath");
QVAPI_JOBGEN_ASSERT(offsetof(QVAPI_COLLECT, ucReserved) == 1049, "ucReserved");
#undef QVAPI_JOBGEN_ASSERT
#endif

/* ---- folders and stored JobGens ---- */

/* Creates the folder lpFolderName (at most 32 characters) in lpParentFolder: 1, or 0 with
 * QVAPI_ERR_INVALID_NAME (bad or longer name), QVAPI_ERR_INVALID_PARAMETER (bad or missing
 * parent, path too long), QVAPI_ERR_ALREADY_EXISTS (exists), QVAPI_ERR_RESOURCE. A folder at the
 * top makes the store's JobGen folder (MNGFL\JOBGEN) when it is missing, as a JobGen's commit
 * does; a parent folder named must exist. */
QVPAPI_EXPORT int qvAPICreateFolderJobGen(const char* lpParentFolder, const char* lpFolderName,
                                          uint32_t dwReserved1, uint32_t dwReserved2);
/* Renames a folder, the new name held to the rules of a JobGen name (at most 32 characters): 1,
 * or 0 with QVAPI_ERR_INVALID_NAME, QVAPI_ERR_INVALID_PARAMETER, QVAPI_ERR_NOT_FOUND (no such
 * folder), QVAPI_ERR_ALREADY_EXISTS (new name exists), QVAPI_ERR_RESOURCE. */
QVPAPI_EXPORT int qvAPIChangeFolderJobGen(const char* lpParentFolder, const char* lpOldName,
                                          const char* lpNewName, uint32_t dwReserved1,
                                          uint32_t dwReserved2);
/* Removes a folder with every JobGen in it: 1, or 0 with QVAPI_ERR_INVALID_NAME,
 * QVAPI_ERR_INVALID_PARAMETER, QVAPI_ERR_NOT_FOUND, QVAPI_ERR_RESOURCE. */
QVPAPI_EXPORT int qvAPIDeleteFolderJobGen(const char* lpParentFolder, const char* lpFolderName,
                                          uint32_t dwReserved1, uint32_t dwReserved2);
/* Describes one stored JobGen (or folder) in lpJobGen: 1, or 0 with QVAPI_ERR_INVALID_PARAMETER,
 * QVAPI_ERR_INVALID_NAME, QVAPI_ERR_NOT_FOUND (missing), QVAPI_ERR_BUSY (open elsewhere),
 * QVAPI_ERR_RESOURCE. */
QVPAPI_EXPORT int qvAPIFindJobGen(const char* lpFolder, const char* lpJobGenName,
                                  QVAPI_JOBGEN* lpJobGen, uint32_t dwReserved1, uint32_t dwReserved2);

/* Renames a stored JobGen in its folder: 1, or 0 with QVAPI_ERR_INVALID_NAME,
 * QVAPI_ERR_INVALID_PARAMETER, QVAPI_ERR_NOT_FOUND (no such JobGen), QVAPI_ERR_ALREADY_EXISTS (new
 * name exists), QVAPI_ERR_BUSY (either name open elsewhere), QVAPI_ERR_RESOURCE (the directory was
 * moved back; 1 with this code when even that failed). */
QVPAPI_EXPORT int qvAPIChangeJobGen(const char* lpFolder, const char* lpJobGenName, const char* lpNewName);
/* Deletes a stored JobGen: 1, or 0 with QVAPI_ERR_INVALID_NAME, QVAPI_ERR_INVALID_PARAMETER,
 * QVAPI_ERR_BUSY, QVAPI_ERR_NOT_FOUND (no JobGen of that name; folders go through
 * qvAPIDeleteFolderJobGen). */
QVPAPI_EXPORT int qvAPIDeleteJobGen(const char* lpFolder, const char* lpJobGenName, uint32_t dwReserved1,
                                    uint32_t dwReserved2);
/* Listing of one folder (folders and JobGens), one per thread; QVAPI_ERR_NO_MORE_ITEMS at the end,
 * QVAPI_ERR_INVALID_PARAMETER when lpFolder is no folder. */
QVPAPI_EXPORT QVPAPI_HANDLE qvAPIFindFirstJobGen(const char* lpFolder, QVAPI_JOBGEN* lpJobGen);
QVPAPI_EXPORT int qvAPIFindNextJobGen(QVPAPI_HANDLE hFind, QVAPI_JOBGEN* lpJobGen);
QVPAPI_EXPORT int qvAPIFindCloseJobGen(QVPAPI_HANDLE hFind);
/* Copies the stored JobGen lpJobGenPath ("\folder\name") into lpDirectory\name: 1, or 0 with
 * QVAPI_ERR_INVALID_PARAMETER, QVAPI_ERR_NOT_FOUND (no JobGen of that path), QVAPI_ERR_BUSY,
 * QVAPI_ERR_RESOURCE. */
QVPAPI_EXPORT int qvAPIGetJobGen(const char* lpJobGenPath, const char* lpDirectory);
/* Replaces the stored JobGen lpJobGenPath by lpDirectory\name (as qvAPIGetJobGen left it): 1, or 0
 * with QVAPI_ERR_INVALID_PARAMETER (no JobGen in the source), QVAPI_ERR_NOT_FOUND (no stored
 * JobGen), QVAPI_ERR_BUSY, QVAPI_ERR_RESOURCE. A failure leaves the stored JobGen as it was. */
QVPAPI_EXPORT int qvAPIUpdateJobGen(const char* lpDirectory, const char* lpJobGenPath);

/* ---- the edit session ---- */

/* Opens a JobGen for editing (stored or new; kind 0 means 'D'): the JobGen handle, or
 * QVPAPI_INVALID_HANDLE with QVAPI_ERR_INVALID_NAME, QVAPI_ERR_INVALID_PARAMETER (bad folder, path
 * too long, a JobGen already open on this thread), QVAPI_ERR_BUSY (busy), QVAPI_ERR_ALREADY_EXISTS
 * (a directory of that name that is no JobGen), QVAPI_ERR_RESOURCE. A stored node that cannot be
 * re-added (other than one already present) fails the open with its code, leaving nothing open or
 * locked. A stored JobGen whose packages cannot all be loaded is still open: the handle comes back
 * with a non-zero last error, and the caller discards it. */
QVPAPI_EXPORT QVPAPI_HANDLE qvAPICreateJobGen(const char* lpFolder, const char* lpJobGenName,
                                              char ucJobKind, uint32_t dwReserved1,
                                              uint32_t dwReserved2);
/* The same, keeping a backup in <PathName>\RMTINS\WORK\JB<pid>_<tid> for job creation; closed
 * with qvAPICloseJobGenEx. */
QVPAPI_EXPORT QVPAPI_HANDLE qvAPICreateJobGenEx(const char* lpFolder, const char* lpJobGenName,
                                                char ucJobKind, uint32_t dwReserved1,
                                                uint32_t dwReserved2);
/* Commits (option 0) or discards (1) the open JobGen: 1, or 0 with QVAPI_ERR_INVALID_HANDLE,
 * QVAPI_ERR_INVALID_PARAMETER, QVAPI_ERR_JOB_NO_NODE_ENTRY (no node),
 * QVAPI_ERR_JOB_NO_PACKAGE_ENTRY (kinds D, M, J without package), QVAPI_ERR_COLLECT_FILE_MISSING,
 * QVAPI_ERR_SOFT_REFER_MISSING, QVAPI_ERR_RESOURCE (also when a walk of the work tree fails before
 * its end). Every failure but a wrong handle ends the session with the store as it was. */
QVPAPI_EXPORT int qvAPICloseJobGen(QVPAPI_HANDLE hJobGen, uint32_t dwOption);
/* Options 0 commit and drop the backup, 2 commit and keep it, 1 discard. */
QVPAPI_EXPORT int qvAPICloseJobGenEx(QVPAPI_HANDLE hJobGen, uint32_t dwOption, uint32_t dwReserved);
/* Renames (and moves) the open JobGen at commit: 1, or 0 with QVAPI_ERR_INVALID_HANDLE,
 * QVAPI_ERR_INVALID_NAME, QVAPI_ERR_INVALID_PARAMETER, QVAPI_ERR_ALREADY_EXISTS (exists),
 * QVAPI_ERR_BUSY (that name is being edited elsewhere). */
QVPAPI_EXPORT int qvAPIChangeNameJobGen(QVPAPI_HANDLE hJobGen, const char* lpFolder,
                                        const char* lpJobGenName);
/* Changes the job kind (0 means 'D'); an ID JobGen takes only D, V, J, I (else
 * QVAPI_ERR_INVALID_PARAMETER). */
QVPAPI_EXPORT int qvAPIChangeJobKindJobGen(QVPAPI_HANDLE hJobGen, char ucJobKind);

/* ---- node entries of the open JobGen ---- */

/* Adds a client or master by node path (option 0), by ID name (0x1000000) or as given (0x80000000):
 * 1, or 0 with QVAPI_ERR_INVALID_HANDLE, QVAPI_ERR_INVALID_PARAMETER, QVAPI_ERR_ALREADY_EXISTS
 * (already an entry), QVAPI_ERR_INVALID_NAME, QVAPI_ERR_RESOURCE. An ID JobGen takes clients as
 * given only, and no masters.
 * A node path names the node from the top, each name after a backslash: in C "\\client" for a
 * node at the top, "\\master\\client" for one below the master "master". It is not checked here:
 * a plain "web01" is taken, as an entry that names no node, and job creation leaves it out (with
 * no other node it fails with QVAPI_ERR_JOB_NO_NODE, "Node Not Found For CreateJob" in DLL.LOG). */
QVPAPI_EXPORT int qvAPICreateClientJobGen(QVPAPI_HANDLE hJobGen, const char* lpClientName,
                                          uint32_t dwOption, uint32_t dwReserved);
QVPAPI_EXPORT int qvAPIDeleteClientJobGen(QVPAPI_HANDLE hJobGen, const char* lpClientName,
                                          uint32_t dwOption, uint32_t dwReserved);
QVPAPI_EXPORT int qvAPICreateMasterJobGen(QVPAPI_HANDLE hJobGen, const char* lpMasterName,
                                          uint32_t dwOption, uint32_t dwReserved);
QVPAPI_EXPORT int qvAPIDeleteMasterJobGen(QVPAPI_HANDLE hJobGen, const char* lpMasterName,
                                          uint32_t dwOption, uint32_t dwReserved);
/* Does nothing and returns 0. */
QVPAPI_EXPORT int qvAPICreateManagerJobGen(QVPAPI_HANDLE hJobGen, const char* lpName,
                                           uint32_t dwOption, uint32_t dwReserved);
QVPAPI_EXPORT int qvAPICreateNodeGroupJobGen(QVPAPI_HANDLE hJobGen, const char* lpNodeGroupPath,
                                             uint32_t dwReserved1, uint32_t dwReserved2);
QVPAPI_EXPORT int qvAPIDeleteNodeGroupJobGen(QVPAPI_HANDLE hJobGen, const char* lpNodeGroupPath,
                                             uint32_t dwReserved1, uint32_t dwReserved2);
/* ID names hold one '%', at the start of their last "\" part; option 4 or 0x80000000. */
QVPAPI_EXPORT int qvAPICreateIDGroupJobGen(QVPAPI_HANDLE hJobGen, const char* lpIDName,
                                           uint32_t dwOption, uint32_t dwReserved);
QVPAPI_EXPORT int qvAPIDeleteIDGroupJobGen(QVPAPI_HANDLE hJobGen, const char* lpIDName,
                                           uint32_t dwOption, uint32_t dwReserved);
/* Walk of the node entries, one per thread; QVAPI_ERR_NO_MORE_ITEMS at the end. */
QVPAPI_EXPORT QVPAPI_HANDLE qvAPIFindFirstNodeJobGen(QVPAPI_HANDLE hJobGen, QVAPI_JOBGEN_NODE* lpNode,
                                                     uint32_t dwReserved1, uint32_t dwReserved2);
QVPAPI_EXPORT int qvAPIFindNextNodeJobGen(QVPAPI_HANDLE hFind, QVAPI_JOBGEN_NODE* lpNode,
                                          uint32_t dwReserved1, uint32_t dwReserved2);
QVPAPI_EXPORT int qvAPIFindCloseNodeJobGen(QVPAPI_HANDLE hFind, uint32_t dwReserved1,
                                           uint32_t dwReserved2);

/* ---- package entries of the open JobGen ---- */

/* Adds a package (QvCode 'C' or 'D', 0 meaning 'D'; cabinet up to 2, package up to 44, version up
 * to 8, generation up to 4 characters, without "\" or "."; the version may hold "/"): 1, or 0 with
 * QVAPI_ERR_INVALID_HANDLE, QVAPI_ERR_INVALID_PARAMETER, QVAPI_ERR_RESOURCE (also when already an
 * entry). */
QVPAPI_EXPORT int qvAPICreatePackageJobGen(QVPAPI_HANDLE hJobGen, char ucQvCode, const char* lpCabinetId,
                                           const char* lpPackageId, const char* lpVersion,
                                           const char* lpGeneration, uint32_t dwReserved1,
                                           uint32_t dwReserved2);
/* Removes a package entry: 1, or 0 with QVAPI_ERR_INVALID_PARAMETER, QVAPI_ERR_NOT_FOUND (no such
 * entry). */
QVPAPI_EXPORT int qvAPIDeletePackageJobGen(QVPAPI_HANDLE hJobGen, char ucQvCode, const char* lpCabinetId,
                                           const char* lpPackageId, const char* lpVersion,
                                           const char* lpGeneration, uint32_t dwReserved1,
                                           uint32_t dwReserved2);
/* Walk of the package entries, one per thread; QVAPI_ERR_NO_MORE_ITEMS at the end. */
QVPAPI_EXPORT QVPAPI_HANDLE qvAPIFindFirstPackageJobGen(QVPAPI_HANDLE hJobGen, uint32_t dwReserved0,
                                                        QVAPI_JOBGEN_PACKAGE* lpPackage,
                                                        uint32_t dwReserved1, uint32_t dwReserved2);
QVPAPI_EXPORT int qvAPIFindNextPackageJobGen(QVPAPI_HANDLE hFind, QVAPI_JOBGEN_PACKAGE* lpPackage,
                                             uint32_t dwReserved1, uint32_t dwReserved2);
QVPAPI_EXPORT int qvAPIFindClosePackageJobGen(QVPAPI_HANDLE hFind, uint32_t dwReserved1,
                                              uint32_t dwReserved2);
/* The JobGen's attribution record of one package entry (u16 fields at 342 and 736 in host order,
 * the rest as stored) and its class byte: 1, or 0 with QVAPI_ERR_INVALID_PARAMETER,
 * QVAPI_ERR_NO_MORE_ITEMS (no such entry, or no attribution record in the store),
 * QVAPI_ERR_RESOURCE. */
QVPAPI_EXPORT int qvAPIFindPackageJobGen(QVPAPI_HANDLE hJobGen, char ucQvCode, const char* lpCabinetId,
                                         const char* lpPackageId, const char* lpVersion,
                                         const char* lpGeneration, QVAPI_PACKAGE* lpPackage,
                                         uint8_t* lpSetcls, uint32_t dwReserved1, uint32_t dwReserved2);
/* Changes the JobGen's own copy of package attributes: the fields whose bits are set in
 * dwChangeFlags (0x80000000 the whole record; 0x8000 the class byte), for the package of lpPackage
 * (option 0) or every package entry (1): 1, or 0 with QVAPI_ERR_INVALID_PARAMETER,
 * QVAPI_ERR_NOT_FOUND (no entry), QVAPI_ERR_NO_MORE_ITEMS (no attribution record),
 * QVAPI_ERR_RESOURCE (also when the walk of the package entries fails before its end). */
QVPAPI_EXPORT int qvAPIChangePackageJobGen(QVPAPI_HANDLE hJobGen, uint32_t dwChangeFlags,
                                           const QVAPI_PACKAGE* lpPackage, const uint8_t* lpSetcls,
                                           uint32_t dwOption, uint32_t dwReserved);

/* The script file of a package entry of the open JobGen. Get copies the entry's own script (once an
 * update gave it one) or the package's script file to lpScriptFilePath; Update copies
 * lpScriptFilePath into the entry, which from then on keeps it. 1, or 0 with
 * QVAPI_ERR_INVALID_HANDLE (not the thread's open JobGen), QVAPI_ERR_INVALID_PARAMETER (bad QvCode,
 * NULL, empty or unusable key part or path), QVAPI_ERR_FILE_NOT_FOUND (the package has no script
 * file), QVAPI_ERR_NO_MORE_ITEMS (no attribution record), QVAPI_ERR_UNEXPECTED_DATA (a file id that
 * is no file name) or QVAPI_ERR_RESOURCE. */
QVPAPI_EXPORT int qvAPIGetScriptFile(QVPAPI_HANDLE hJobGen, char ucQvCode, const char* lpCabinetId,
                                     const char* lpPackageId, const char* lpPackageVersion,
                                     const char* lpPackageNo, const char* lpScriptFilePath);
QVPAPI_EXPORT int qvAPIUpdateScriptFile(QVPAPI_HANDLE hJobGen, char ucQvCode, const char* lpCabinetId,
                                        const char* lpPackageId, const char* lpPackageVersion,
                                        const char* lpPackageNo, const char* lpScriptFilePath);


/* ---- options of the open JobGen ---- */

/* Opens a JobGen as an ID JobGen (kind 0, 'D', 'V', 'J' or 'I'; 0 keeps a stored ID JobGen's kind):
 * the handle, or QVPAPI_INVALID_HANDLE with the open's code or QVAPI_ERR_INVALID_PARAMETER. A
 * failure leaves no JobGen open. */
QVPAPI_EXPORT QVPAPI_HANDLE qvAPICreateIDJobGen(const char* lpFolder, const char* lpJobGenName,
                                                char ucJobKind, uint32_t dwReserved1, uint32_t dwReserved2);
/* Sets the ID kind (5: ID JobGen). */
QVPAPI_EXPORT int qvAPIChangeIDJobGen(QVPAPI_HANDLE hJobGen, uint8_t ucIDKind, uint32_t dwReserved1,
                                      uint32_t dwReserved2);
/* Does nothing and returns 1. */
QVPAPI_EXPORT int qvAPIChangeAllNodeJobGen(void* lpReserved0, uint32_t dwReserved1, uint32_t dwReserved2,
                                           uint32_t dwReserved3);
/* Wake-on-LAN bits 0x01 and 0x02 of the option; the getter gives 0 to 3. */
QVPAPI_EXPORT int qvAPIChangeWakeOnLanJobGen(QVPAPI_HANDLE hJobGen, uint32_t dwOption, uint32_t dwReserved);
QVPAPI_EXPORT int qvAPIGetWakeOnLanJobGen(QVPAPI_HANDLE hJobGen, uint8_t* lpOption, uint32_t dwReserved1,
                                          uint32_t dwReserved2);
/* Multicast: on for option 4 only; the getter gives 4 or 0. */
QVPAPI_EXPORT int qvAPIChangeMulticastJobGen(QVPAPI_HANDLE hJobGen, uint32_t dwOption, uint32_t dwReserved);
QVPAPI_EXPORT int qvAPIGetMulticastJobGen(QVPAPI_HANDLE hJobGen, uint8_t* lpOption, uint32_t dwReserved1,
                                          uint32_t dwReserved2);
/* Pressing distribution: on for option 8 only; the getter gives 8 or 0. */
QVPAPI_EXPORT int qvAPIChangePressingDistJobGen(QVPAPI_HANDLE hJobGen, uint32_t dwOption, uint32_t dwReserved);
QVPAPI_EXPORT int qvAPIGetPressingDistJobGen(QVPAPI_HANDLE hJobGen, uint8_t* lpOption, uint32_t dwReserved1,
                                             uint32_t dwReserved2);
/* Execution time: the fields selected by dwChangeFlag (QVAPI_TIME_*), checked as a whole: 1, or
 * 0 with QVAPI_ERR_INVALID_HANDLE, QVAPI_ERR_INVALID_PARAMETER (nothing changed). */
QVPAPI_EXPORT int qvAPIUpDateTimeJobGen(QVPAPI_HANDLE hJobGen, uint32_t dwChangeFlag,
                                        const QVAPI_TIME_JOBGEN_DATA* lpTimeJobGenData, uint32_t dwReserved1,
                                        uint32_t dwReserved2);
QVPAPI_EXPORT int qvAPIGetTimeJobGen(QVPAPI_HANDLE hJobGen, QVAPI_TIME_JOBGEN_DATA* lpTimeJobGenData,
                                     uint32_t dwReserved1, uint32_t dwReserved2);
/* Schedule, kept as given (option bits above 0x7: QVAPI_ERR_INVALID_PARAMETER). */
QVPAPI_EXPORT int qvAPIUpdateSchTimeJobGen(QVPAPI_HANDLE hJobGen, const QVAPI_SCH_DATE_INF* lpSchDateInf,
                                           uint32_t dwReserved1, uint32_t dwReserved2);
QVPAPI_EXPORT int qvAPIGetSchTimeJobGen(QVPAPI_HANDLE hJobGen, QVAPI_SCH_DATE_INF* lpSchDateInf,
                                        uint32_t dwReserved1, uint32_t dwReserved2);
/* Divisional transfer (option 0 off, 1 on with size 1..0x7FFFFFFF and interval 1..1440). */
QVPAPI_EXPORT int qvAPIUpDateDivisionalTransOptionJobGen(QVPAPI_HANDLE hJobGen,
                                                         const QVAPI_DIVISIONAL_TRANS_DATA* lpDivisionalTransData,
                                                         uint32_t dwReserved1, uint32_t dwReserved2);
QVPAPI_EXPORT int qvAPIGetDivisionalTransOptionJobGen(QVPAPI_HANDLE hJobGen,
                                                      QVAPI_DIVISIONAL_TRANS_DATA* lpDivisionalTransData,
                                                      uint32_t dwReserved1, uint32_t dwReserved2);
/* The session's defaults from the manager (12 bytes: option, size, interval); no JobGen needed. */
QVPAPI_EXPORT int qvAPIGetDivisionalTransParam(QVAPI_DIVISIONAL_TRANS_DATA* lpDivisionalTransData,
                                               uint32_t dwReserved1, uint32_t dwReserved2);
/* Registry-information reference option: 0 or 4. */
QVPAPI_EXPORT int qvAPIUpdateRegInfOptionJobGen(QVPAPI_HANDLE hJobGen, const uint32_t* lpRegInfData,
                                                uint32_t dwReserved1, uint32_t dwReserved2);
QVPAPI_EXPORT int qvAPIGetRegInfOptionJobGen(QVPAPI_HANDLE hJobGen, uint32_t* lpRegInfData, uint32_t dwReserved1,
                                             uint32_t dwReserved2);
/* Kept for callers of the old interface: each returns 0 and does nothing. */
QVPAPI_EXPORT int qvAPICoexistClientInfo(void* lpReserved0, uint32_t dwReserved1, uint32_t dwReserved2);
QVPAPI_EXPORT int qvAPICreateADPathJobGen(void* lpReserved0, uint32_t dwReserved1, uint32_t dwReserved2,
                                          uint32_t dwReserved3);

/* ---- scheduled job creation ---- */

/* Sends a caller-built JSCH request ("JSCH 3 j<len> <JobGen path> n16 <number> s224 <schedule>", at
 * most 1023 bytes, no NUL inside) while the JobGen named by its 'j' field is in the form the
 * manager reads (groups and IDs expanded, entries sorted); the stored JobGen is put back as it was
 * afterwards. Stores the 16-character job number (blank-filled when the manager gives a shorter
 * one, no terminator) and returns 1; 0 with QVAPI_ERR_INVALID_PARAMETER (bad request or path),
 * QVAPI_ERR_BUSY (JobGen busy), QVAPI_ERR_NOT_FOUND (no such JobGen), QVAPI_ERR_JOB_NO_NODE (no
 * node), QVAPI_ERR_UNEXPECTED_DATA, the manager's mapped refusal, the transport codes, or
 * QVAPI_ERR_RESOURCE. A failure to put the JobGen back leaves QVAPI_ERR_RESOURCE even after an
 * accepted request. */
QVPAPI_EXPORT int qvAPIScheduleJobex(const char* lpRequest, char* lpJobNo);

/* ---- software reference lists (SOFTREFER\SOFTLIST) ---- */

/* Looks a list up by type (0..3) and name ("DEFAULT", any case, only with type 0): 1 and
 * lpSoftDataList filled, or 0 with QVAPI_ERR_INVALID_PARAMETER (bad argument; a name over 32
 * characters; type 2) or QVAPI_ERR_NO_MORE_ITEMS (no such list, or an empty name). The last two
 * words are reserved. */
QVPAPI_EXPORT int qvAPIFindSoftListRefer(uint32_t dwListType, const char* lpSoftRefer,
                                         QVAPI_SOFTLIST* lpSoftDataList, uint32_t dwReserved1,
                                         uint32_t dwReserved2);
/* Walk of the user lists (type 1 only; the default list is never given): a find handle, or
 * QVPAPI_INVALID_HANDLE with QVAPI_ERR_INVALID_PARAMETER, QVAPI_ERR_NO_MORE_ITEMS (no user list),
 * QVAPI_ERR_RESOURCE. Any number of walks may be open at once. */
QVPAPI_EXPORT QVPAPI_HANDLE qvAPIFindFirstSoftListRefer(uint32_t dwListType, QVAPI_SOFTLIST* lpSoftDataList);
/* The next user list: 1, or 0 with QVAPI_ERR_INVALID_PARAMETER (not a live handle, NULL record),
 * QVAPI_ERR_NO_MORE_ITEMS at the end, QVAPI_ERR_RESOURCE. */
QVPAPI_EXPORT int qvAPIFindNextSoftListRefer(QVPAPI_HANDLE hFindSoft, QVAPI_SOFTLIST* lpSoftDataList);
/* Ends a walk: 1, or 0 with QVAPI_ERR_INVALID_PARAMETER (not a live handle) or QVAPI_ERR_RESOURCE.
 */
QVPAPI_EXPORT int qvAPIFindCloseSoftListRefer(QVPAPI_HANDLE hFindSoft);
/* Copies a list's file (type 0: DEFLIST.QVP of "DEFAULT"; type 1: USERLIST.QVP of the named list)
 * to lpListFilePath, replacing it: 1, or 0 with QVAPI_ERR_INVALID_PARAMETER, the look-up's code, or
 * QVAPI_ERR_RESOURCE. */
QVPAPI_EXPORT int qvAPIGetFileSoftRefer(uint32_t dwListType, const char* lpSoftRefer,
                                        const char* lpListFilePath);
/* Writes the soft-refer file at lpOutputPath (a job's PB000000) from the lists the type and name
 * select (0 default; 1 user then default; 3 user alone; 2 none, giving the single byte '#'): 1, or
 * 0 with QVAPI_ERR_INVALID_PARAMETER (NULL or bad type; a name over 32 characters or holding a
 * separator), QVAPI_ERR_RESOURCE. The last two words are reserved. */
QVPAPI_EXPORT int qvAPIReCreateSoftReferJobGen(uint32_t dwListType, const char* lpSoftRefer,
                                               const char* lpOutputPath, uint32_t dwReserved1,
                                               uint32_t dwReserved2);
/* Rewrites a soft-refer file as its records sorted (fields 3, 7 ascending, 8 descending, ignoring
 * case), without comments or empty lines, one LF-ended line of nine ';'-joined fields each: 1, or 0
 * with QVAPI_ERR_INVALID_PARAMETER (NULL, empty, unreadable) or QVAPI_ERR_RESOURCE. A file without
 * records is left as it is. The last two words are reserved. */
QVPAPI_EXPORT int qvAPIReCreateSortJobGen(const char* lpSortPath, uint32_t dwReserved1, uint32_t dwReserved2);
/* The soft-refer area of the open kind-I JobGen: 1, or 0 with QVAPI_ERR_INVALID_HANDLE (not the
 * thread's open JobGen), QVAPI_ERR_INVALID_PARAMETER, QVAPI_ERR_FILE_NOT_FOUND (no area yet). */
QVPAPI_EXPORT int qvAPIGetSoftReferJobGen(QVPAPI_HANDLE hJobGen, QVAPI_SOFTREFER* lpSoftData);
/* Replaces the area (drive code computed from uiSoftware, the option and the drive names): 1, or 0
 * with QVAPI_ERR_INVALID_HANDLE, QVAPI_ERR_INVALID_PARAMETER (bad selection or drive name),
 * QVAPI_ERR_RESOURCE. */
QVPAPI_EXPORT int qvAPIUpdateSoftReferJobGen(QVPAPI_HANDLE hJobGen, const QVAPI_SOFTREFER* lpSoftData);

/* ---- collect files of the open JobGen (F0000000, P0000000, Q0000000) ---- */

/* Writes the three collect files from the settings and the "ZARN.SCI" of lpcszCollectFilePath: 1,
 * or 0 with QVAPI_ERR_INVALID_HANDLE, QVAPI_ERR_INVALID_PARAMETER (a setting out of range),
 * QVAPI_ERR_RESOURCE. */
QVPAPI_EXPORT int qvAPIUpdateCollectFileJobGen(QVPAPI_HANDLE hJobGen, const QVAPI_COLLECT* lpCollectData,
                                               const char* lpcszCollectFilePath);
/* Reads the settings back and unpacks the script archive into lpcszCollectFilePath; the archive
 * stays for the commit: 1, or 0 with QVAPI_ERR_INVALID_HANDLE, QVAPI_ERR_INVALID_PARAMETER,
 * QVAPI_ERR_FILE_NOT_FOUND (a file missing), QVAPI_ERR_RESOURCE. */
QVPAPI_EXPORT int qvAPIGetCollectFileJobGen(QVPAPI_HANDLE hJobGen, QVAPI_COLLECT* lpCollectData,
                                            const char* lpcszCollectFilePath);
/* Installs a ready archive as Q0000000 (when the record says one belongs to it), adds 1 to the
 * install counter and writes P0000000 as "c:\": 1, or 0 with QVAPI_ERR_INVALID_HANDLE,
 * QVAPI_ERR_INVALID_PARAMETER, QVAPI_ERR_RESOURCE. */
QVPAPI_EXPORT int qvpAPIJobGenMakeCollect(QVPAPI_HANDLE hJobGen, const char* lpcszCollectFilePath);

/* ---- rebuild of a stored JobGen from a job execution ---- */

/* Makes the stored JobGen lpFolder\lpJobGenName (a new directory) from a file of execution records:
 * its jobgenfile, the packages' attribution files and script files, and (unless the last record is
 * of kind G or S) F0000000 and P0000000: 1, or 0 with QVAPI_ERR_INVALID_PARAMETER (NULL or empty
 * argument, a name or folder with "." / ".." parts or separators, a path too long, a name extension
 * over 259 bytes), QVAPI_ERR_RESOURCE (the directory exists, file failures), or the code of the
 * package look-up. What was written stays on failure. */
QVPAPI_EXPORT int qvpAPIJobGenMake(const char* lpExecFilePath, const char* lpFolder, const char* lpJobGenName);
/* Copiers of a rebuilt JobGen's side files, never replacing one: 1, or 0 with
 * QVAPI_ERR_INVALID_PARAMETER (bad name or folder, path too long) or QVAPI_ERR_RESOURCE. IDProc:
 * the source as IDF00000. Proc: the file under its own name (the part after the last '\' or '/', at
 * most 8 characters). UinvProc: a source named UL000000 as UL000000, one named UI000000 into the
 * sub-folder lpSubFolder; RegProc: YL000000; NEProc: NE000000; a source of another name succeeds
 * without a copy. */
QVPAPI_EXPORT int qvpAPIJobGenMakeIDProc(const char* lpFolder, const char* lpJobGenName, const char* lpSourceFile);
QVPAPI_EXPORT int qvpAPIJobGenMakeProc(const char* lpFolder, const char* lpJobGenName, const char* lpProcFilePath);
QVPAPI_EXPORT int qvpAPIJobGenMakeUinvProc(const char* lpFolder, const char* lpJobGenName,
                                           const char* lpSourceFile, const char* lpSubFolder);
QVPAPI_EXPORT int qvpAPIJobGenMakeRegProc(const char* lpFolder, const char* lpJobGenName, const char* lpSourceFile);
QVPAPI_EXPORT int qvAPIJobGenMakeNEProc(const char* lpFolder, const char* lpJobGenName, const char* lpSourceFile);

QVPAPI_END_DECLS

#endif

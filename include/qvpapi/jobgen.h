/* JobGen templates: folders, the edit session, node and package entries, options, re-creation
 * and sorting. Included by qvpapi.h after qvpapi/records.h.
 *
 * A JobGen is the directory <PathName>\SERVER\ZARNQV\MNGFL\JOBGEN<folder>\<name> holding its
 * `jobgenfile`. Folders are "\" followed by folder names joined by "\"; NULL, "" and "\" mean the
 * top. A thread edits one JobGen at a time: the JobGen handle is the thread's own block, and
 * every JobGen is guarded by a named mutex (busy: 0x20000020, never waited for). The reserved
 * arguments are passed as 0 and ignored. */
#ifndef QVPAPI_JOBGEN_H
#define QVPAPI_JOBGEN_H

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

/* A folder or stored JobGen as the finders give it. */
typedef struct QVAPI_JOBGEN {
    char szName[64];        /*   0 NUL-terminated when shorter */
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

/* Creates the folder lpFolderName in lpParentFolder: 1, or 0 with 0x2000007B (bad name),
 * 0x20000057 (bad or missing parent, path too long), 0x200000B7 (exists), 0x20100000. */
QVPAPI_EXPORT int qvAPICreateFolderJobGen(const char* lpParentFolder, const char* lpFolderName,
                                          uint32_t dwReserved1, uint32_t dwReserved2);
/* Renames a folder: 1, or 0 with 0x2000007B, 0x20000057, 0x20610000 (no such folder),
 * 0x200000B7 (new name exists), 0x20100000. */
QVPAPI_EXPORT int qvAPIChangeFolderJobGen(const char* lpParentFolder, const char* lpOldName,
                                          const char* lpNewName, uint32_t dwReserved1,
                                          uint32_t dwReserved2);
/* Removes a folder with every JobGen in it: 1, or 0 with 0x2000007B, 0x20000057, 0x20610000,
 * 0x20100000. */
QVPAPI_EXPORT int qvAPIDeleteFolderJobGen(const char* lpParentFolder, const char* lpFolderName,
                                          uint32_t dwReserved1, uint32_t dwReserved2);
/* Describes one stored JobGen (or folder) in lpJobGen: 1, or 0 with 0x20000057, 0x2000007B,
 * 0x20610000 (missing), 0x20000020 (open elsewhere), 0x20100000. */
QVPAPI_EXPORT int qvAPIFindJobGen(const char* lpFolder, const char* lpJobGenName,
                                  QVAPI_JOBGEN* lpJobGen, uint32_t dwReserved1, uint32_t dwReserved2);

/* ---- the edit session ---- */

/* Opens a JobGen for editing (stored or new; kind 0 means 'D'): the JobGen handle, or
 * QVPAPI_INVALID_HANDLE with 0x2000007B, 0x20000057 (bad folder, path too long, a JobGen
 * already open on this thread), 0x20000020 (busy), 0x200000B7 (a directory of that name that
 * is no JobGen), 0x20100000. A stored JobGen whose entries cannot all be loaded is still open:
 * the handle comes back with a non-zero last error, and the caller discards it. */
QVPAPI_EXPORT QVPAPI_HANDLE qvAPICreateJobGen(const char* lpFolder, const char* lpJobGenName,
                                              char ucJobKind, uint32_t dwReserved1,
                                              uint32_t dwReserved2);
/* The same, keeping a backup in <PathName>\RMTINS\WORK\JB<pid>_<tid> for job creation; closed
 * with qvAPICloseJobGenEx. */
QVPAPI_EXPORT QVPAPI_HANDLE qvAPICreateJobGenEx(const char* lpFolder, const char* lpJobGenName,
                                                char ucJobKind, uint32_t dwReserved1,
                                                uint32_t dwReserved2);
/* Commits (option 0) or discards (1) the open JobGen: 1, or 0 with 0x20000006, 0x20000057,
 * 0x20440000 (no node), 0x20450000 (kinds D, M, J without package), 0x204F1000, 0x204F2000,
 * 0x20100000. Every failure but a wrong handle ends the session with the store as it was. */
QVPAPI_EXPORT int qvAPICloseJobGen(QVPAPI_HANDLE hJobGen, uint32_t dwOption);
/* Options 0 commit and drop the backup, 2 commit and keep it, 1 discard. */
QVPAPI_EXPORT int qvAPICloseJobGenEx(QVPAPI_HANDLE hJobGen, uint32_t dwOption, uint32_t dwReserved);
/* Renames (and moves) the open JobGen at commit: 1, or 0 with 0x20000006, 0x2000007B,
 * 0x20000057, 0x200000B7 (exists), 0x20000020 (that name is being edited elsewhere). */
QVPAPI_EXPORT int qvAPIChangeNameJobGen(QVPAPI_HANDLE hJobGen, const char* lpFolder,
                                        const char* lpJobGenName);
/* Changes the job kind (0 means 'D'); an ID JobGen takes only D, V, J, I (else 0x20000057). */
QVPAPI_EXPORT int qvAPIChangeJobKindJobGen(QVPAPI_HANDLE hJobGen, char ucJobKind);

/* ---- node entries of the open JobGen ---- */

/* Adds a client or master by node path (option 0), by ID name (0x1000000) or as given
 * (0x80000000): 1, or 0 with 0x20000006, 0x20000057, 0x200000B7 (already an entry),
 * 0x2000007B, 0x20100000. An ID JobGen takes clients as given only, and no masters. */
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
/* Walk of the node entries, one per thread; 0x20000103 at the end. */
QVPAPI_EXPORT QVPAPI_HANDLE qvAPIFindFirstNodeJobGen(QVPAPI_HANDLE hJobGen, QVAPI_JOBGEN_NODE* lpNode,
                                                     uint32_t dwReserved1, uint32_t dwReserved2);
QVPAPI_EXPORT int qvAPIFindNextNodeJobGen(QVPAPI_HANDLE hFind, QVAPI_JOBGEN_NODE* lpNode,
                                          uint32_t dwReserved1, uint32_t dwReserved2);
QVPAPI_EXPORT int qvAPIFindCloseNodeJobGen(QVPAPI_HANDLE hFind, uint32_t dwReserved1,
                                           uint32_t dwReserved2);

/* ---- package entries of the open JobGen ---- */

/* Adds a package (QvCode 'C' or 'D', 0 meaning 'D'; cabinet up to 2, package up to 44,
 * version up to 8, generation up to 4 characters, without "\" or "."; the version may hold
 * "/"): 1, or 0 with 0x20000006, 0x20000057, 0x20100000 (also when already an entry). */
QVPAPI_EXPORT int qvAPICreatePackageJobGen(QVPAPI_HANDLE hJobGen, char ucQvCode, const char* lpCabinetId,
                                           const char* lpPackageId, const char* lpVersion,
                                           const char* lpGeneration, uint32_t dwReserved1,
                                           uint32_t dwReserved2);
/* Removes a package entry: 1, or 0 with 0x20000057, 0x20610000 (no such entry). */
QVPAPI_EXPORT int qvAPIDeletePackageJobGen(QVPAPI_HANDLE hJobGen, char ucQvCode, const char* lpCabinetId,
                                           const char* lpPackageId, const char* lpVersion,
                                           const char* lpGeneration, uint32_t dwReserved1,
                                           uint32_t dwReserved2);
/* Walk of the package entries, one per thread; 0x20000103 at the end. */
QVPAPI_EXPORT QVPAPI_HANDLE qvAPIFindFirstPackageJobGen(QVPAPI_HANDLE hJobGen, uint32_t dwReserved0,
                                                        QVAPI_JOBGEN_PACKAGE* lpPackage,
                                                        uint32_t dwReserved1, uint32_t dwReserved2);
QVPAPI_EXPORT int qvAPIFindNextPackageJobGen(QVPAPI_HANDLE hFind, QVAPI_JOBGEN_PACKAGE* lpPackage,
                                             uint32_t dwReserved1, uint32_t dwReserved2);
QVPAPI_EXPORT int qvAPIFindClosePackageJobGen(QVPAPI_HANDLE hFind, uint32_t dwReserved1,
                                              uint32_t dwReserved2);
/* The JobGen's attribution record of one package entry (u16 fields at 342 and 736 in host
 * order, the rest as stored) and its class byte: 1, or 0 with 0x20000057, 0x20000103 (no such
 * entry, or no attribution record in the store), 0x20100000. */
QVPAPI_EXPORT int qvAPIFindPackageJobGen(QVPAPI_HANDLE hJobGen, char ucQvCode, const char* lpCabinetId,
                                         const char* lpPackageId, const char* lpVersion,
                                         const char* lpGeneration, QVAPI_PACKAGE* lpPackage,
                                         uint8_t* lpSetcls, uint32_t dwReserved1, uint32_t dwReserved2);
/* Changes the JobGen's own copy of package attributes: the fields whose bits are set in
 * dwChangeFlags (0x80000000 the whole record; 0x8000 the class byte), for the package of
 * lpPackage (option 0) or every package entry (1): 1, or 0 with 0x20000057, 0x20610000 (no
 * entry), 0x20000103 (no attribution record), 0x20100000. */
QVPAPI_EXPORT int qvAPIChangePackageJobGen(QVPAPI_HANDLE hJobGen, uint32_t dwChangeFlags,
                                           const QVAPI_PACKAGE* lpPackage, const uint8_t* lpSetcls,
                                           uint32_t dwOption, uint32_t dwReserved);

/* ---- software reference lists (SOFTREFER\SOFTLIST) ---- */

/* Looks a list up by type (0..3) and name ("DEFAULT", any case, only with type 0): 1 and
 * lpSoftDataList filled, or 0 with 0x20000057 (bad argument; a name over 32 characters; type 2)
 * or 0x20000103 (no such list, or an empty name). The last two words are reserved. */
QVPAPI_EXPORT int qvAPIFindSoftListRefer(uint32_t dwListType, const char* lpSoftRefer,
                                         QVAPI_SOFTLIST* lpSoftDataList, uint32_t dwReserved1,
                                         uint32_t dwReserved2);
/* Walk of the user lists (type 1 only; the default list is never given): a find handle, or
 * QVPAPI_INVALID_HANDLE with 0x20000057, 0x20000103 (no user list), 0x20100000. Any number of
 * walks may be open at once. */
QVPAPI_EXPORT QVPAPI_HANDLE qvAPIFindFirstSoftListRefer(uint32_t dwListType, QVAPI_SOFTLIST* lpSoftDataList);
/* The next user list: 1, or 0 with 0x20000057 (not a live handle, NULL record), 0x20000103 at
 * the end, 0x20100000. */
QVPAPI_EXPORT int qvAPIFindNextSoftListRefer(QVPAPI_HANDLE hFindSoft, QVAPI_SOFTLIST* lpSoftDataList);
/* Ends a walk: 1, or 0 with 0x20000057 (not a live handle) or 0x20100000. */
QVPAPI_EXPORT int qvAPIFindCloseSoftListRefer(QVPAPI_HANDLE hFindSoft);
/* Copies a list's file (type 0: DEFLIST.QVP of "DEFAULT"; type 1: USERLIST.QVP of the named
 * list) to lpListFilePath, replacing it: 1, or 0 with 0x20000057, the look-up's code, or
 * 0x20100000. */
QVPAPI_EXPORT int qvAPIGetFileSoftRefer(uint32_t dwListType, const char* lpSoftRefer,
                                        const char* lpListFilePath);
/* Writes the soft-refer file at lpOutputPath (a job's PB000000) from the lists the type and name
 * select (0 default; 1 user then default; 3 user alone; 2 none, giving the single byte '#'): 1,
 * or 0 with 0x20000057 (NULL or bad type; a name over 32 characters or holding a separator),
 * 0x20100000. The last two words are reserved. */
QVPAPI_EXPORT int qvAPIReCreateSoftReferJobGen(uint32_t dwListType, const char* lpSoftRefer,
                                               const char* lpOutputPath, uint32_t dwReserved1,
                                               uint32_t dwReserved2);
/* Rewrites a soft-refer file as its records sorted (fields 3, 7 ascending, 8 descending,
 * ignoring case), without comments or empty lines, one LF-ended line of nine ';'-joined fields
 * each: 1, or 0 with 0x20000057 (NULL, empty, unreadable) or 0x20100000. A file without
 * records is left as it is. The last two words are reserved. */
QVPAPI_EXPORT int qvAPIReCreateSortJobGen(const char* lpSortPath, uint32_t dwReserved1, uint32_t dwReserved2);
/* The soft-refer area of the open kind-I JobGen: 1, or 0 with 0x20000006 (not the thread's open
 * JobGen), 0x20000057, 0x20000002 (no area yet). */
QVPAPI_EXPORT int qvAPIGetSoftReferJobGen(QVPAPI_HANDLE hJobGen, QVAPI_SOFTREFER* lpSoftData);
/* Replaces the area (drive code computed from uiSoftware, the option and the drive names): 1, or
 * 0 with 0x20000006, 0x20000057 (bad selection or drive name), 0x20100000. */
QVPAPI_EXPORT int qvAPIUpdateSoftReferJobGen(QVPAPI_HANDLE hJobGen, const QVAPI_SOFTREFER* lpSoftData);

/* ---- collect files of the open JobGen (F0000000, P0000000, Q0000000) ---- */

/* Writes the three collect files from the settings and the "ZARN.SCI" of lpcszCollectFilePath:
 * 1, or 0 with 0x20000006, 0x20000057 (a setting out of range), 0x20100000. */
QVPAPI_EXPORT int qvAPIUpdateCollectFileJobGen(QVPAPI_HANDLE hJobGen, const QVAPI_COLLECT* lpCollectData,
                                               const char* lpcszCollectFilePath);
/* Reads the settings back and unpacks the script archive into lpcszCollectFilePath; the archive
 * stays for the commit: 1, or 0 with 0x20000006, 0x20000057, 0x20000002 (a file missing),
 * 0x20100000. */
QVPAPI_EXPORT int qvAPIGetCollectFileJobGen(QVPAPI_HANDLE hJobGen, QVAPI_COLLECT* lpCollectData,
                                            const char* lpcszCollectFilePath);
/* Installs a ready archive as Q0000000 (when the record says one belongs to it), adds 1 to the
 * install counter and writes P0000000 as "c:\": 1, or 0 with 0x20000006, 0x20000057,
 * 0x20100000. */
QVPAPI_EXPORT int qvpAPIJobGenMakeCollect(QVPAPI_HANDLE hJobGen, const char* lpcszCollectFilePath);

/* ---- rebuild of a stored JobGen from a job execution ---- */

/* Makes the stored JobGen lpFolder\lpJobGenName (a new directory) from a file of execution
 * records: its jobgenfile, the packages' attribution files and script files, and (unless the
 * last record is of kind G or S) F0000000 and P0000000: 1, or 0 with 0x20000057 (NULL or empty
 * argument, a name or folder with "." / ".." parts or separators, a path too long, a name
 * extension over 259 bytes), 0x20100000 (the directory exists, file failures), or the code of
 * the package look-up. What was written stays on failure. */
QVPAPI_EXPORT int qvpAPIJobGenMake(const char* lpExecFilePath, const char* lpFolder, const char* lpJobGenName);
/* Copiers of a rebuilt JobGen's side files, never replacing one: 1, or 0 with 0x20000057 (bad
 * name or folder, path too long) or 0x20100000. IDProc: the source as IDF00000. Proc: the file
 * under its own name (the part after the last '\' or '/', at most 8 characters). UinvProc: a
 * source named UL000000 as UL000000, one named UI000000 into the sub-folder lpSubFolder;
 * RegProc: YL000000; NEProc: NE000000; a source of another name succeeds without a copy. */
QVPAPI_EXPORT int qvpAPIJobGenMakeIDProc(const char* lpFolder, const char* lpJobGenName, const char* lpSourceFile);
QVPAPI_EXPORT int qvpAPIJobGenMakeProc(const char* lpFolder, const char* lpJobGenName, const char* lpProcFilePath);
QVPAPI_EXPORT int qvpAPIJobGenMakeUinvProc(const char* lpFolder, const char* lpJobGenName,
                                           const char* lpSourceFile, const char* lpSubFolder);
QVPAPI_EXPORT int qvpAPIJobGenMakeRegProc(const char* lpFolder, const char* lpJobGenName, const char* lpSourceFile);
QVPAPI_EXPORT int qvAPIJobGenMakeNEProc(const char* lpFolder, const char* lpJobGenName, const char* lpSourceFile);

#endif

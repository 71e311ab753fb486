/* ID groups: ID store requests and finders, ID operations, system information, automatic node
 * registration.
 *
 * An ID is a named set of hosts kept in the manager's ID store, with its masters (list M) and two
 * client lists (C and I). It is visible to the finders while its node-group folder "I.<name>"
 * exists under NODEGROUP (or under NODEGROUP\I.networkid). Node-group paths of the finders: NULL,
 * "" or "\" for the top, or "\networkid" in any case. Results come back in a QVAPI_NODE at the
 * caller's API level. Reserved arguments are passed as 0. */
#ifndef QVPAPI_IDGROUPS_H
#define QVPAPI_IDGROUPS_H

#include "common.h"
#include "nodes.h"

QVPAPI_BEGIN_DECLS

#define QVAPI_IDRECORD_SIZE 256u

/* The record of one ID in the ID store; integers little-endian, unlisted bytes zero. */
typedef struct QVAPI_IDGROUP {
    uint16_t wLength;            /*   0: 256 */
    uint8_t  ucGeneration;       /*   2: 1 or 2 */
    uint8_t  ucAttributes;       /*   3: 0x80 made with set-system 4, 0x01 reports generation 4 */
    uint8_t  ucReserved4[12];
    char     szID[32];           /*  16: NUL-padded, no terminator at 32 characters */
    uint8_t  ucReserved48[64];
    char     szPassword[32];     /* 112: encoded, NUL-terminated; all zero without a password */
    uint8_t  ucReserved144[112];
} QVAPI_IDGROUP;

/* The record of one ID master or ID client; integers little-endian, unlisted bytes zero. */
typedef struct QVAPI_IDENTRY {
    uint16_t wLength;            /*   0: 256 */
    uint8_t  ucGeneration;       /*   2: of the ID, as qvAPIFindIDGroup reports it */
    uint8_t  ucAttributes;       /*   3 */
    uint32_t dwAttributes;       /*   4: 1 list C, 2 list I, 0 masters; IDCHG: list 1, 2 or 3 */
    uint8_t  ucReserved8[8];
    char     szID[32];           /*  16: master entries only */
    char     szNodeName[64];     /*  48: host name, IP address text or host ID */
    uint8_t  ucReserved112[32];
    char     szManageSite[64];   /* 144: the master serving a client; empty when none */
    uint8_t  ucReserved208[48];
} QVAPI_IDENTRY;

#if defined(__cplusplus)
#define QVAPI_ID_ASSERT(cond, what) static_assert(cond, what)
#elif defined(__STDC_VERSION__) && __STDC_VERSION__ >= 201112L
#define QVAPI_ID_ASSERT(cond, what) _Static_assert(cond, what)
#endif
#ifdef QVAPI_ID_ASSERT
QVAPI_ID_ASSERT(sizeof(QVAPI_IDGROUP) == QVAPI_IDRECORD_SIZE, "QVAPI_IDGROUP size");
QVAPI_ID_ASSERT(offsetof(QVAPI_IDGROUP, ucGeneration) == 2, "ucGeneration");
QVAPI_ID_ASSERT(offsetof(QVAPI_IDGROUP, ucAttributes) == 3, "ucAttributes");
QVAPI_ID_ASSERT(offsetof(QVAPI_IDGROUP, szID) == 16, "szID");
QVAPI_ID_ASSERT(offsetof(QVAPI_IDGROUP, szPassword) == 112, "szPassword");
QVAPI_ID_ASSERT(sizeof(QVAPI_IDENTRY) == QVAPI_IDRECORD_SIZE, "QVAPI_IDENTRY size");
QVAPI_ID_ASSERT(offsetof(QVAPI_IDENTRY, ucAttributes) == 3, "ucAttributes");
QVAPI_ID_ASSERT(offsetof(QVAPI_IDENTRY, dwAttributes) == 4, "dwAttributes");
QVAPI_ID_ASSERT(offsetof(QVAPI_IDENTRY, szID) == 16, "szID");
QVAPI_ID_ASSERT(offsetof(QVAPI_IDENTRY, szNodeName) == 48, "szNodeName");
QVAPI_ID_ASSERT(offsetof(QVAPI_IDENTRY, szManageSite) == 144, "szManageSite");
#undef QVAPI_ID_ASSERT
#endif

/* ---- ID groups. A record holds the ID name, uiNodeAttributes 4, the group path, the ID's
 * attribute byte (at 424), its decoded password (428, 14 characters) and generation (442).
 * FindFirst: the thread's handle, or QVPAPI_INVALID_HANDLE. Codes: QVAPI_ERR_INVALID_PARAMETER bad
 * path or argument, QVAPI_ERR_NO_MORE_ITEMS no (more) IDs or no such folder,
 * QVAPI_ERR_INVALID_HANDLE not this thread's walk, the mapped ID-store reply otherwise
 * (QVAPI_ERR_NO_MORE_ITEMS for an ID the store does not know). */
QVPAPI_EXPORT QVPAPI_HANDLE qvAPIFindFirstIDGroup(const char* lpNodeGroupPath, QVAPI_NODE* lpFindNodeData,
                                                  uint32_t dwReserved1, uint32_t dwReserved2);
QVPAPI_EXPORT int qvAPIFindNextIDGroup(QVPAPI_HANDLE hFind, QVAPI_NODE* lpFindNodeData,
                                       uint32_t dwReserved1, uint32_t dwReserved2);
QVPAPI_EXPORT int qvAPIFindCloseIDGroup(QVPAPI_HANDLE hFind, uint32_t dwReserved1, uint32_t dwReserved2);
QVPAPI_EXPORT int qvAPIFindIDGroup(const char* lpNodeGroupPath, const char* lpNodeGroupName,
                                   QVAPI_NODE* lpFindNodeData, uint32_t dwReserved1, uint32_t dwReserved2);

/* ---- ID clients of one ID (list C, then list I). A record holds the client by host name (or
 * its address at 68 when nodes are keyed by IP address), uiNodeAttributes 1, the member path
 * "\<ID>" or "<group path>\<ID>", the entry attribute byte (424), the manage site (428), the
 * entry's list (492: 1 C, 2 I), the system management key (496), host IDs (960, 992), the
 * named-by-host-ID flag (1024) and 12 characters of the client's MAC address (1380). A client
 * without a definition is still returned (1) with the reader's code as last error. With
 * dwCheckFlag 1 qvAPIFindIDClient skips the name rule check of lpName. */
QVPAPI_EXPORT QVPAPI_HANDLE qvAPIFindFirstIDClient(const char* lpNodeGroupPath, const char* lpID,
                                                   QVAPI_NODE* lpFindNodeData, uint32_t dwReserved1,
                                                   uint32_t dwReserved2);
QVPAPI_EXPORT int qvAPIFindNextIDClient(QVPAPI_HANDLE hFind, QVAPI_NODE* lpFindNodeData,
                                        uint32_t dwReserved1, uint32_t dwReserved2);
QVPAPI_EXPORT int qvAPIFindCloseIDClient(QVPAPI_HANDLE hFind, uint32_t dwReserved1, uint32_t dwReserved2);
QVPAPI_EXPORT int qvAPIFindIDClient(const char* lpNodeGroupPath, const char* lpID, const char* lpName,
                                    QVAPI_NODE* lpFindNodeData, uint32_t dwCheckFlag, uint32_t dwReserved);

/* ---- ID masters of one ID: as the clients, uiNodeAttributes 2, without manage site, list and
 * MAC address. */
QVPAPI_EXPORT QVPAPI_HANDLE qvAPIFindFirstIDMaster(const char* lpNodeGroupPath, const char* lpID,
                                                   QVAPI_NODE* lpFindNodeData, uint32_t dwReserved1,
                                                   uint32_t dwReserved2);
QVPAPI_EXPORT int qvAPIFindNextIDMaster(QVPAPI_HANDLE hFind, QVAPI_NODE* lpFindNodeData,
                                        uint32_t dwReserved1, uint32_t dwReserved2);
QVPAPI_EXPORT int qvAPIFindCloseIDMaster(QVPAPI_HANDLE hFind, uint32_t dwReserved1, uint32_t dwReserved2);
QVPAPI_EXPORT int qvAPIFindIDMaster(const char* lpNodeGroupPath, const char* lpID, const char* lpName,
                                    QVAPI_NODE* lpFindNodeData, uint32_t dwReserved1, uint32_t dwReserved2);

/* ---- Forced ID updates: one request to the local manager's ID store each, no job. START lines
 * and END lines carry the result. A failed release of the ID store's position after a
 * successful change leaves 1 with the release's code. */
/* Creates the ID (ucSetSystem 1 or 2: its generation; 4: generation 1, hidden attribute) with an
 * optional password of up to 14 letters and digits. QVAPI_ERR_ALREADY_EXISTS when qvAPIFindIDGroup
 * finds it already; the ID's folder is not made here. */
QVPAPI_EXPORT int qvAPICreateIDGroupForced(const char* lpID, const char* lpPassword, uint8_t ucSetSystem,
                                           uint32_t dwReserved1, uint32_t dwReserved2);
/* Deletes the ID with its members; QVAPI_ERR_NOT_FOUND when qvAPIFindIDGroup does not find it. */
QVPAPI_EXPORT int qvAPIDeleteIDGroupForced(const char* lpID, uint32_t dwReserved1, uint32_t dwReserved2);
/* Adds a master (host name, IP address or host ID) to the ID; QVAPI_ERR_NOT_FOUND for an unknown
 * ID. */
QVPAPI_EXPORT int qvAPICreateMasterIDGroupForced(const char* lpID, const char* lpMasterName, uint32_t dwReserved1,
                                                 uint32_t dwReserved2);
/* Adds a client to list C (dwAttributes 1, served by lpManageSite, which is checked) or list I
 * (dwAttributes 2); QVAPI_ERR_INVALID_PARAMETER for other values, QVAPI_ERR_NOT_FOUND for an
 * unknown ID. */
QVPAPI_EXPORT int qvAPICreateClientIDGroupForced(const char* lpID, const char* lpClientName, uint32_t dwAttributes,
                                                 const char* lpManageSite, uint32_t dwReserved1,
                                                 uint32_t dwReserved2);

/* ---- System information of nodes: the typed entries a node reported, kept by the manager. */
#define QVAPI_SYSINFO_DATA_SIZE 200u

/* One entry, in host byte order: only the first 4 + usDataLength bytes carry it. */
typedef struct QVAPI_SYSINFO_ENTRY {
    uint8_t  ucEntryType;
    uint8_t  ucSubType;        /* groups related entries */
    uint16_t usDataLength;
    uint8_t  ucData[QVAPI_SYSINFO_DATA_SIZE];
} QVAPI_SYSINFO_ENTRY;

/* An entry of type 49 whose subtype is no letter comes with its related entries of types 53
 * and 52 (same subtype) in the second and third place. */
typedef struct QVAPI_SYSINFO {
    QVAPI_SYSINFO_ENTRY SysinfoEntry1;
    QVAPI_SYSINFO_ENTRY SysinfoEntry2;
    QVAPI_SYSINFO_ENTRY SysinfoEntry3;
} QVAPI_SYSINFO;

#if defined(__cplusplus)
static_assert(sizeof(QVAPI_SYSINFO_ENTRY) == 204, "QVAPI_SYSINFO_ENTRY size");
static_assert(offsetof(QVAPI_SYSINFO_ENTRY, usDataLength) == 2, "usDataLength");
static_assert(offsetof(QVAPI_SYSINFO_ENTRY, ucData) == 4, "ucData");
static_assert(sizeof(QVAPI_SYSINFO) == 612, "QVAPI_SYSINFO size");
static_assert(offsetof(QVAPI_SYSINFO, SysinfoEntry2) == 204, "SysinfoEntry2");
static_assert(offsetof(QVAPI_SYSINFO, SysinfoEntry3) == 408, "SysinfoEntry3");
#endif

/* The node's entries one by one (one walk per thread; the handle is the thread's own). A type
 * filter (and its subtype, 0 included) reads that one entry. Groups of types 47, 49, 81, 82 of one
 * subtype come head first. FindFirst: QVPAPI_INVALID_HANDLE with QVAPI_ERR_NOT_FOUND when the
 * manager has no such node or entry; FindNext: QVAPI_ERR_NO_MORE_ITEMS at the end. A related entry
 * or group member the manager lacks leaves a success with the code QVAPI_ERR_NOT_FOUND. Node names:
 * 1 to 64 characters (QVAPI_ERR_INVALID_PARAMETER). */
QVPAPI_EXPORT QVPAPI_HANDLE qvAPIFindFirstSysInfo(const char* lpNodeName, QVAPI_SYSINFO* lpSysInfoData,
                                                  uint8_t ucFilterType, uint8_t ucFilterSubType,
                                                  uint32_t dwReserved1, uint32_t dwReserved2);
QVPAPI_EXPORT int qvAPIFindNextSysInfo(QVPAPI_HANDLE hSysinfo, QVAPI_SYSINFO* lpSysInfoData, uint32_t dwReserved1,
                                       uint32_t dwReserved2);
/* Ends the manager's reading of the node; any non-NULL handle names the thread's walk. */
QVPAPI_EXPORT int qvAPIFindCloseSysInfo(QVPAPI_HANDLE hSysinfo, uint32_t dwReserved1, uint32_t dwReserved2);
/* The node's whole inventory record (host order), valid until the session's next request;
 * QVAPI_ERR_UNEXPECTED_DATA for an empty node name. */
QVPAPI_EXPORT int qvAPIFindSysInfo(const char* lpNodeName, void** lppInventory, uint32_t dwReserved1,
                                   uint32_t dwReserved2);
/* Deletes or renames the node's system information (in a session without a socket: the file
 * SERVER\INV\SYSINV\INV_<node>, whose name must hold no "\" or "/"). QVAPI_ERR_NOT_FOUND when there
 * is none; QVAPI_ERR_RESOURCE for other failures. The rename keeps the old file on any failure. */
QVPAPI_EXPORT int qvAPIDeleteSysInfo(const char* lpNodeName, uint32_t dwReserved1, uint32_t dwReserved2);
QVPAPI_EXPORT int qvAPIChangeNameSysInfo(const char* lpNodeName1, const char* lpNodeName2, uint32_t dwReserved1,
                                         uint32_t dwReserved2);


/* ---- Automatic node registration. The head of the record in which the manager hands over a
 * client's report; typed entries follow from byte 192 (type u8, one byte, length u16
 * big-endian, data), as many as ucEntryCount says. Integers big-endian. */
typedef struct QVAPI_SYSGEN_INFO {
    uint8_t ucReserved0[8];
    uint8_t ucEntryCount[4];     /*   8: u32 big-endian */
    uint8_t ucEdition;           /*  12: 1 new host, 2 changed host, 3 removed host */
    uint8_t ucNodeAttribute;     /*  13: 1 client, 2 master (3 as 1) */
    uint8_t ucReserved14[64];
    uint8_t ucHoldMarker[8];     /*  78: any non-zero byte: the hold flag applies to a master */
    uint8_t ucReserved86[23];
    uint8_t ucConnectKind;       /* 109: 1 known by its common name */
    uint8_t ucReserved110[2];
    char    szTime[16];          /* 112: YYYYMMDDhhmmssCC, no terminator */
    uint8_t ucHoldFlag;          /* 128 */
    uint8_t ucReserved129[63];
} QVAPI_SYSGEN_INFO;

#if defined(__cplusplus)
static_assert(sizeof(QVAPI_SYSGEN_INFO) == 192, "QVAPI_SYSGEN_INFO size");
static_assert(offsetof(QVAPI_SYSGEN_INFO, ucEntryCount) == 8, "ucEntryCount");
static_assert(offsetof(QVAPI_SYSGEN_INFO, ucEdition) == 12, "ucEdition");
static_assert(offsetof(QVAPI_SYSGEN_INFO, ucNodeAttribute) == 13, "ucNodeAttribute");
static_assert(offsetof(QVAPI_SYSGEN_INFO, ucHoldMarker) == 78, "ucHoldMarker");
static_assert(offsetof(QVAPI_SYSGEN_INFO, ucConnectKind) == 109, "ucConnectKind");
static_assert(offsetof(QVAPI_SYSGEN_INFO, szTime) == 112, "szTime");
static_assert(offsetof(QVAPI_SYSGEN_INFO, ucHoldFlag) == 128, "ucHoldFlag");
#endif

/* Creates, changes or deletes the reporting host's client or master definition from its
 * report (with its node groups, installed packages, system information and, with IdSyncOption
 * "YES", its ID entries), serialised machine-wide with every node-definition writer. 1 when
 * applied or ignored by rule (unknown edition or key, a missing or malformed name, a removal of
 * an unknown host without IdSyncOption); 0 with the code of the failing step, or 0 with code 0
 * when the definition to create exists already. QVAPI_ERR_INVALID_PARAMETER for a NULL record. */
QVPAPI_EXPORT int qvAPIAutoCreateNodeDefinition(const QVAPI_SYSGEN_INFO* lpSysgenInfo, uint32_t dwReserved1,
                                                uint32_t dwReserved2);

/* ---- ID changes through jobs. Each change is made in the ID store and, where other systems must
 * follow, sent as a job from a JobGen in "Edit_ID_group\<ID>" (kind 'L'), deleted again after the
 * job is created. Results: 1, or 0 with the code; 0 with QVAPI_ERR_JOB_REFUSED means done with some
 * names skipped. QVAPI_ERR_JOB_NO_NODE: no usable master or node; QVAPI_ERR_NOT_FOUND: ID, member
 * or master unknown; QVAPI_ERR_ALREADY_EXISTS: already there; QVAPI_ERR_NOT_SUPPORTED: the job
 * cannot be made on this system. */

/* One ID-operate entry of a JobGen (the size of one jobgenfile entry); unlisted bytes zero. */
typedef struct QVAPI_IDOPERATE {
    char    ucJobKind;           /*    0: kind of the open JobGen */
    char    ucBlank;             /*    1: ' ' */
    uint8_t ucFlags;             /*    2: 0x80 written while an entry is re-registered */
    uint8_t ucReserved3[285];
    char    ucRequest;           /*  288: E, F, G, R, W (D: system operation) */
    uint8_t ucReserved289[7];
    char    szID[32];            /*  296: no terminator at 32 characters (client name: 64) */
    uint8_t ucReserved328[32];
    char    szPassword[64];      /*  360: encoded; registration time of a system operation */
    char    szNodeName[64];      /*  424: E and R */
    uint8_t ucReserved488[796];
} QVAPI_IDOPERATE;

#if defined(__cplusplus)
static_assert(sizeof(QVAPI_IDOPERATE) == 1284, "QVAPI_IDOPERATE size");
static_assert(offsetof(QVAPI_IDOPERATE, ucFlags) == 2, "ucFlags");
static_assert(offsetof(QVAPI_IDOPERATE, ucRequest) == 288, "ucRequest");
static_assert(offsetof(QVAPI_IDOPERATE, szID) == 296, "szID");
static_assert(offsetof(QVAPI_IDOPERATE, szPassword) == 360, "szPassword");
static_assert(offsetof(QVAPI_IDOPERATE, szNodeName) == 424, "szNodeName");
#endif

/* Creates an ID (generation 2 / ucGeneration 1 or 2) in the store; no job. */
QVPAPI_EXPORT int qvAPICreateIDGroup(const char* lpID, const char* lpPassword, uint32_t dwReserved1,
                                     uint32_t dwReserved2);
QVPAPI_EXPORT int qvAPICreateIDGroupGUI(const char* lpID, const char* lpPassword, uint8_t ucGeneration,
                                        uint32_t dwReserved1, uint32_t dwReserved2);
/* New password (empty removes it) in the store, then a "Change_password" job to every master;
 * an ID without a usable master succeeds without a job. */
QVPAPI_EXPORT int qvAPIChangePasswordIDGroup(const char* lpID, const char* lpPassword, uint32_t dwReserved1,
                                             uint32_t dwReserved2);
/* Removes the masters of lpDeleteList ("Delete_ID_group" job), then registers those of
 * lpCreateList ("Register_ID_group" job); NULL-ended lists, either may be NULL. */
QVPAPI_EXPORT int qvAPIChangeMasterIDGroup(const char* lpID, const char** lpCreateList, const char** lpDeleteList,
                                           uint32_t dwReserved1, uint32_t dwReserved2);
QVPAPI_EXPORT int qvAPIAddMasterIDGroup(const char* lpID, const char** lpMasterList, uint32_t dwReserved1,
                                        uint32_t dwReserved2);
QVPAPI_EXPORT int qvAPIDeleteMasterIDGroup(const char* lpID, const char** lpMasterList, uint32_t dwReserved1,
                                           uint32_t dwReserved2);
/* Deletes the ID from the store (dwOption 1: file letter 'i'); no job. */
QVPAPI_EXPORT int qvAPIDeleteIDGroup(const char* lpID, uint32_t dwOption, uint32_t dwReserved);
/* dwAttributes 2: the member straight into list I (dwExecOption 1: the S form of the execute
 * request); 1: an "Add_entry" job to lpMasterName. */
QVPAPI_EXPORT int qvAPICreateClientIDGroup(const char* lpID, const char* lpClientName, uint32_t dwAttributes,
                                           const char* lpMasterName, uint32_t dwExecOption, uint32_t dwReserved);
/* A member kept by a master: a "Delete_entry" job to that master; any other: removed from the
 * store (dwOption non-zero: file letter 'i'). */
QVPAPI_EXPORT int qvAPIDeleteClientIDGroup(const char* lpID, const char* lpClientName, uint32_t dwOption,
                                           uint32_t dwReserved);
/* Stores GuidUseStatus "YES" (non-zero) or "NO"; 1. */
QVPAPI_EXPORT int qvpAPISetGuidUseStatus(uint32_t dwUse, uint32_t dwReserved1, uint32_t dwReserved2);


QVPAPI_END_DECLS

#endif

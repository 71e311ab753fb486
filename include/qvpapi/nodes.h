/* Node definitions: the QVAPI_NODE record, the readers of stored definitions by name, their
 * count and their walks.
 *
 * Names: a host name has 1 to 64 characters, all single-byte letters, digits and punctuation.
 * The creators, changers and deleters refuse an empty or longer one with
 * QVAPI_ERR_INVALID_PARAMETER; the readers refuse an empty one so, and find no node by a longer
 * one (QVAPI_ERR_NOT_FOUND, or what stands for it below). QVAPI_ERR_INVALID_NAME refuses a name with a
 * blank, one of \ / * " : < > | ? ! % @, a byte from 0x80 up, or a "." first or last.
 *
 * The store: definitions live in <PathName>/SERVER/ZARNQV/MNGFL/NODEDEF, which the library does
 * not make. Without it the readers, creators, changers and deleters fail with QVAPI_ERR_RESOURCE,
 * qvAPICountNodeDefinition with QVAPI_ERR_PATH_NOT_FOUND, and the walks find nothing
 * (QVAPI_ERR_NO_MORE_ITEMS). DLL.LOG names the folder.
 */
#ifndef QVPAPI_NODES_H
#define QVPAPI_NODES_H

#include "common.h"

QVPAPI_BEGIN_DECLS

#define QVAPI_NODE_SIZE          1652u /* the whole record, as stored in C.<key> and M.<key> */
#define QVAPI_NODE_HEAD_SIZE     960u  /* API level 0; also the head of a nodeattributionfile */
#define QVAPI_NODE_NAME_LEN      64u
#define QVAPI_NODE_PATH_LEN      260u
#define QVAPI_NODE_HOSTID_LEN    32u

/* uiNodeAttributes */
#define QVAPI_NODE_CLIENT        1u
#define QVAPI_NODE_MASTER        2u

/* Local time of a stamp, laid out as the Windows SYSTEMTIME. */
typedef struct QVAPI_NODE_TIME {
    uint16_t wYear;
    uint16_t wMonth;
    uint16_t wDayOfWeek;
    uint16_t wDay;
    uint16_t wHour;
    uint16_t wMinute;
    uint16_t wSecond;
    uint16_t wMilliseconds;
} QVAPI_NODE_TIME;

/* A client or master definition. Callers exchange it at the size of their API level (960,
 * 1268, 1396, 1524 or 1652 bytes); the library always keeps it whole. Text fields are
 * NUL-padded and need not be NUL-terminated when full. */
typedef struct QVAPI_NODE {
    char ucNodeName[64];          /*    0 host name */
    uint32_t uiNodeAttributes;    /*   64 1 client, 2 master (0: sub-group in a member walk) */
    uint8_t ucNodeAddress[4];     /*   68 IPv4 address, network byte order */
    uint8_t ucHoldFlag;           /*   72 hold byte of a master */
    uint8_t ucReserved73[91];
    char ucNodePath0[260];        /*  164 upper masters by name, each after "\"; "\" at the top */
    char ucCommonName[32];        /*  424 */
    uint32_t uiConnectKind;       /*  456 1: shown by its common name */
    uint32_t uiIPAddrFlag;        /*  460 1: keyed by IP address */
    uint32_t uiNodeGroupFlag;     /*  464 1: member of at least one node group */
    QVAPI_NODE_TIME stUpdateTime; /*  468 */
    uint8_t ucReserved484[32];
    char ucNodeKey[64];           /*  516 file key */
    char ucNodeKeyPath[260];      /*  580 upper masters' keys, each after "\"; empty at the top */
    uint8_t ucSystemKey;          /*  840 0 keyed by host name, 1 by IP address */
    uint8_t ucReserved841[119];
    char ucHostID[32];            /*  960 host ID text */
    uint8_t ucHostIDFlag;         /*  992 1: keyed by host ID */
    uint8_t ucReserved993[15];
    char ucHostIDPath[260];       /* 1008 upper masters by host ID; "\" at the top, empty unused */
    uint8_t ucReserved1268[112];
    char ucMACAddress[16];        /* 1380 */
    QVAPI_NODE_TIME stCreateTime; /* 1396 */
    uint8_t ucReserved1412[240];
} QVAPI_NODE;

#if defined(__cplusplus)
#define QVAPI_NODE_ASSERT(cond, what) static_assert(cond, what)
#elif defined(__STDC_VERSION__) && __STDC_VERSION__ >= 201112L
#define QVAPI_NODE_ASSERT(cond, what) _Static_assert(cond, what)
#endif
#ifdef QVAPI_NODE_ASSERT
QVAPI_NODE_ASSERT(sizeof(QVAPI_NODE_TIME) == 16, "QVAPI_NODE_TIME size");
QVAPI_NODE_ASSERT(sizeof(QVAPI_NODE) == 1652, "QVAPI_NODE size");
QVAPI_NODE_ASSERT(offsetof(QVAPI_NODE, ucNodeName) == 0, "ucNodeName");
QVAPI_NODE_ASSERT(offsetof(QVAPI_NODE, uiNodeAttributes) == 64, "uiNodeAttributes");
QVAPI_NODE_ASSERT(offsetof(QVAPI_NODE, ucNodeAddress) == 68, "ucNodeAddress");
QVAPI_NODE_ASSERT(offsetof(QVAPI_NODE, ucHoldFlag) == 72, "ucHoldFlag");
QVAPI_NODE_ASSERT(offsetof(QVAPI_NODE, ucNodePath0) == 164, "ucNodePath0");
QVAPI_NODE_ASSERT(offsetof(QVAPI_NODE, ucCommonName) == 424, "ucCommonName");
QVAPI_NODE_ASSERT(offsetof(QVAPI_NODE, uiConnectKind) == 456, "uiConnectKind");
QVAPI_NODE_ASSERT(offsetof(QVAPI_NODE, uiIPAddrFlag) == 460, "uiIPAddrFlag");
QVAPI_NODE_ASSERT(offsetof(QVAPI_NODE, uiNodeGroupFlag) == 464, "uiNodeGroupFlag");
QVAPI_NODE_ASSERT(offsetof(QVAPI_NODE, stUpdateTime) == 468, "stUpdateTime");
QVAPI_NODE_ASSERT(offsetof(QVAPI_NODE, ucNodeKey) == 516, "ucNodeKey");
QVAPI_NODE_ASSERT(offsetof(QVAPI_NODE, ucNodeKeyPath) == 580, "ucNodeKeyPath");
QVAPI_NODE_ASSERT(offsetof(QVAPI_NODE, ucSystemKey) == 840, "ucSystemKey");
QVAPI_NODE_ASSERT(offsetof(QVAPI_NODE, ucHostID) == 960, "ucHostID");
QVAPI_NODE_ASSERT(offsetof(QVAPI_NODE, ucHostIDFlag) == 992, "ucHostIDFlag");
QVAPI_NODE_ASSERT(offsetof(QVAPI_NODE, ucHostIDPath) == 1008, "ucHostIDPath");
QVAPI_NODE_ASSERT(offsetof(QVAPI_NODE, ucMACAddress) == 1380, "ucMACAddress");
QVAPI_NODE_ASSERT(offsetof(QVAPI_NODE, stCreateTime) == 1396, "stCreateTime");
#undef QVAPI_NODE_ASSERT
#endif

/* Writes '1' when the session keys nodes by IP address, else '0'. */
QVPAPI_EXPORT int qvAPIGetSystemManagementKey(char* lpSystemManagementKey);
/* Kept for callers of the key change: does nothing, returns 1. */
QVPAPI_EXPORT int qvAPICheckChangeOfKey(void* lpReserved, uint32_t dwReserved1,
                                        uint32_t dwReserved2);

/* Readers of one stored definition by host name, IP address or host ID, copied into the caller's
 * record at the size of the caller's API level. 1 when found; 0 with the API error code:
 * QVAPI_ERR_NOT_FOUND (client, node) or QVAPI_ERR_FILE_NOT_FOUND (master) when there is none,
 * QVAPI_ERR_NODE_FILE_BUSY when a definition or attribution file is open elsewhere,
 * QVAPI_ERR_INVALID_PARAMETER for a missing, empty or unusable name (a name longer than 64
 * characters is none: no node has it). */
QVPAPI_EXPORT int qvAPIGetClientDefinitionByName(const char* lpNodeName, QVAPI_NODE* lpNodeData);
QVPAPI_EXPORT int qvAPIGetMasterDefinitionByName(const char* lpNodeName, QVAPI_NODE* lpNodeData);
/* Either kind; a master is preferred. Under IP keying a node that is both client and master
 * comes back with only its name and uiNodeAttributes 3. */
QVPAPI_EXPORT int qvAPIGetNodeDefinitionByName(const char* lpNodeName, QVAPI_NODE* lpNodeData);
/* As the two readers above, but "no such node" is QVAPI_ERR_NO_MORE_ITEMS. */
QVPAPI_EXPORT int qvAPIFindClientDefinition(const char* lpNodeName, QVAPI_NODE* lpNodeData,
                                            uint32_t dwReserved1, uint32_t dwReserved2);
QVPAPI_EXPORT int qvAPIFindMasterDefinition(const char* lpNodeName, QVAPI_NODE* lpNodeData,
                                            uint32_t dwReserved1, uint32_t dwReserved2);

/* Number of definition files (C.<key> and M.<key>) in the store, or -1 with
 * QVAPI_ERR_FILE_NOT_FOUND when there is none, QVAPI_ERR_PATH_NOT_FOUND when the store has no
 * NODEDEF folder, 0x20000000 plus another Windows error of the folder walk (QVAPI_ERR_ACCESS_DENIED
 * among them), or QVAPI_ERR_RESOURCE when the walk breaks off. */
QVPAPI_EXPORT int qvAPICountNodeDefinition(void);

/* Walks of the stored definitions. Definitions directly below a master ("\" + master path; "\", ""
 * or NULL: the top). */
QVPAPI_EXPORT QVPAPI_HANDLE qvAPIFindFirstNodeDefinition(const char* lpUpperNode,
                                                         QVAPI_NODE* lpNodeData);
QVPAPI_EXPORT int qvAPIFindNextNodeDefinition(QVPAPI_HANDLE hFindNode, QVAPI_NODE* lpNodeData);
QVPAPI_EXPORT int qvAPIFindCloseNodeDefinition(QVPAPI_HANDLE hFindNode);

/* Definitions whose host name (address under IP keying) matches lpGuiName. */
#define QVAPI_GUINAME_PART        0x01u /* match a part instead of the whole */
#define QVAPI_GUINAME_IGNORE_CASE 0x02u /* host-name systems only */
QVPAPI_EXPORT QVPAPI_HANDLE qvAPIFindFirstNodeDefinitionByGuiName(const char* lpGuiName,
                                                                  QVAPI_NODE* lpNodeData,
                                                                  uint32_t fdwOptions,
                                                                  uint32_t dwReserved);
QVPAPI_EXPORT int qvAPIFindNextNodeDefinitionByGuiName(QVPAPI_HANDLE hFindNode,
                                                       QVAPI_NODE* lpNodeData,
                                                       uint32_t fdwOptions, uint32_t dwReserved);
QVPAPI_EXPORT int qvAPIFindCloseNodeDefinitionByGuiName(QVPAPI_HANDLE hFindNode);

/* Every stored definition file, one per call. The last error of these three is the platform's
 * own number where the walk itself fails (18 at the end). */
QVPAPI_EXPORT QVPAPI_HANDLE qvAPIFindFirstSystemDefinition(QVAPI_NODE* lpNodeData);
QVPAPI_EXPORT int qvAPIFindNextSystemDefinition(QVPAPI_HANDLE hFindNode, QVAPI_NODE* lpNodeData);
QVPAPI_EXPORT int qvAPIFindCloseSystemDefinition(QVPAPI_HANDLE hFindNode);
/* Number of stored definition files, or -1. */
QVPAPI_EXPORT int qvAPIGetTotalNumberSystemDefinition(void);

/* Creates a client or master definition from a whole (1652-byte) record, under the key name the
 * lookups will find it by: its host ID when keyed by host ID, its dotted address under IP keying,
 * its common name when shown by it (connect kind 1), else its host name (taken from the key name
 * when empty). The node is placed below the master that ends its host-ID path (else its node path).
 * 1; or 0 with QVAPI_ERR_ALREADY_EXISTS (the name is taken), QVAPI_ERR_FILE_NOT_FOUND (no such
 * upper master), QVAPI_ERR_INVALID_PARAMETER (a record or key name that does not fit),
 * QVAPI_ERR_INVALID_NAME (a refused name), QVAPI_ERR_PATH_TOO_LONG (a path too long) or
 * QVAPI_ERR_BUSY (another writer is busy). The caller's record is not changed. */
QVPAPI_EXPORT int qvAPICreateClientDefinition(const char* lpNodeName, QVAPI_NODE* lpNodeData,
                                              uint32_t dwReserved);
QVPAPI_EXPORT int qvAPICreateMasterDefinition(const char* lpNodeName, QVAPI_NODE* lpNodeData,
                                              uint32_t dwReserved);

/* Change flags: the field groups taken from the caller's record. */
#define QVAPI_CHANGE_NODE_NAME    0x00800000u
#define QVAPI_CHANGE_KEY_NAME     0x80000000u /* common name, host name or address, as keyed */
#define QVAPI_CHANGE_ADDRESS      0x00400000u
#define QVAPI_CHANGE_COMMON_NAME  0x00200000u
#define QVAPI_CHANGE_NODE_PATH    0x04000000u /* node path and host-ID path: a move */
#define QVAPI_CHANGE_CONNECT_KIND 0x00100000u
#define QVAPI_CHANGE_HOST_ID      0x00020000u /* the node becomes keyed by its host ID */
#define QVAPI_CHANGE_UPDATE_TIME  0x00010000u
#define QVAPI_CHANGE_MAC_ADDRESS  0x00004000u
#define QVAPI_CHANGE_HOLD         0x00040000u /* masters */

/* Changes the field groups the flags name and stamps the record's update time (the local time when
 * its year is 0). A rename or move re-keys the node and every node below it. 1; or 0 with
 * QVAPI_ERR_NOT_FOUND (no such definition, or the stored update time is later than the record's),
 * QVAPI_ERR_ALREADY_EXISTS (the new name is taken), QVAPI_ERR_INVALID_PARAMETER (unknown flags, or
 * a master moved below itself), QVAPI_ERR_BUSY (busy), or a refusal of the checks as for creation.
 */
QVPAPI_EXPORT int qvAPIChangeClientDefinition(const char* lpNodeName, uint32_t fdwChangeFlags,
                                              QVAPI_NODE* lpNodeData, uint32_t dwReserved);
QVPAPI_EXPORT int qvAPIChangeMasterDefinition(const char* lpNodeName, uint32_t fdwChangeFlags,
                                              QVAPI_NODE* lpNodeData, uint32_t dwReserved);
/* The change entry of the third node kind: does nothing, returns 1. */
QVPAPI_EXPORT int qvAPIChangeOtherDefinition(const char* lpNodeName, uint32_t fdwChangeFlags,
                                             QVAPI_NODE* lpNodeData, uint32_t dwReserved);

/* Deletes a definition (a master after every definition below it) and its entries in the node
 * groups. With lpUpdateTime given, a stored update time later than it refuses the deletion. 1; or 0
 * with QVAPI_ERR_NOT_FOUND (no such definition, or a later stored time), QVAPI_ERR_BUSY (busy). */
QVPAPI_EXPORT int qvAPIDeleteClientDefinition(const char* lpNodeName, uint32_t dwReserved,
                                              const QVAPI_NODE_TIME* lpUpdateTime);
QVPAPI_EXPORT int qvAPIDeleteMasterDefinition(const char* lpNodeName, uint32_t dwReserved,
                                              const QVAPI_NODE_TIME* lpUpdateTime);

QVPAPI_END_DECLS

#endif /* QVPAPI_NODES_H */

/* Node definitions: the QVAPI_NODE record, the readers of stored definitions by name, their
 * count and their walks.
 * Included by qvpapi.h (inside its extern "C" block, after <stdint.h>). */
#ifndef QVPAPI_NODES_H
#define QVPAPI_NODES_H

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

/* Readers of one stored definition by host name, IP address or host ID, copied into the
 * caller's record at the size of the caller's API level. 1 when found; 0 with the API error
 * code: 0x20610000 (client, node) or 0x20000002 (master) when there is none, 0x20560000 when a
 * definition or attribution file is open elsewhere, 0x20000057 for a missing or unusable name. */
QVPAPI_EXPORT int qvAPIGetClientDefinitionByName(const char* lpNodeName, QVAPI_NODE* lpNodeData);
QVPAPI_EXPORT int qvAPIGetMasterDefinitionByName(const char* lpNodeName, QVAPI_NODE* lpNodeData);
/* Either kind; a master is preferred. Under IP keying a node that is both client and master
 * comes back with only its name and uiNodeAttributes 3. */
QVPAPI_EXPORT int qvAPIGetNodeDefinitionByName(const char* lpNodeName, QVAPI_NODE* lpNodeData);
/* As the two readers above, but "no such node" is 0x20000103. */
QVPAPI_EXPORT int qvAPIFindClientDefinition(const char* lpNodeName, QVAPI_NODE* lpNodeData,
                                            uint32_t dwReserved1, uint32_t dwReserved2);
QVPAPI_EXPORT int qvAPIFindMasterDefinition(const char* lpNodeName, QVAPI_NODE* lpNodeData,
                                            uint32_t dwReserved1, uint32_t dwReserved2);

/* Number of definition files (C.<key> and M.<key>) in the store, or -1. */
QVPAPI_EXPORT int qvAPICountNodeDefinition(void);

/* Walks of the stored definitions. Definitions directly below a master ("\" + master path; "\", "" or NULL: the top). */
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

#endif /* QVPAPI_NODES_H */

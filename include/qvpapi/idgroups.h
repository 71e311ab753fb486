/* ID groups: ID store requests and finders, ID operations, system information, automatic node registration.
 *
 * An ID is a named set of hosts kept in the manager's ID store, with its masters (list M) and
 * two client lists (C and I). It is visible to the finders while its node-group folder
 * "I.<name>" exists under NODEGROUP (or under NODEGROUP\I.networkid). Node-group paths of the
 * finders: NULL, "" or "\" for the top, or "\networkid" in any case. Results come back in a
 * QVAPI_NODE at the caller's API level. Reserved arguments are passed as 0. */
#ifndef QVPAPI_IDGROUPS_H
#define QVPAPI_IDGROUPS_H

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
 * FindFirst: the thread's handle, or QVPAPI_INVALID_HANDLE. Codes: 0x20000057 bad path or
 * argument, 0x20000103 no (more) IDs or no such folder, 0x20000006 not this thread's walk,
 * the mapped ID-store reply otherwise (0x20000103 for an ID the store does not know). */
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

#endif

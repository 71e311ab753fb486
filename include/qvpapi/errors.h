/* API error codes: what qvAPIGetLastError answers after a failed call (0 after success).
 *
 * 0x20000000 plus a Windows error number n mirrors that system error; the ones the library
 * answers are named below (qvAPICountNodeDefinition passes the error of its folder walk on this
 * way, so other numbers may come from it). The rest are codes of the library's own, grouped by
 * area. Codes that come from a manager reply say which reply ("first second" words). */
#ifndef QVPAPI_ERRORS_H
#define QVPAPI_ERRORS_H

#define QVAPI_SUCCESS                    0x00000000u

/* 0x20000000 + a Windows error number */
#define QVAPI_ERR_FILE_NOT_FOUND         0x20000002u /* not found */
#define QVAPI_ERR_PATH_NOT_FOUND         0x20000003u /* a folder on the way is missing */
#define QVAPI_ERR_ACCESS_DENIED          0x20000005u
#define QVAPI_ERR_INVALID_HANDLE         0x20000006u
#define QVAPI_ERR_BUSY                   0x20000020u /* busy or sharing violation */
#define QVAPI_ERR_INVALID_PARAMETER      0x20000057u
#define QVAPI_ERR_DISK_FULL              0x20000070u
#define QVAPI_ERR_INVALID_NAME           0x2000007Bu
#define QVAPI_ERR_DIR_NOT_EMPTY          0x20000091u /* a group that still has members */
#define QVAPI_ERR_ALREADY_EXISTS         0x200000B7u
#define QVAPI_ERR_MORE_DATA              0x200000EAu /* job registered, creation pending */
#define QVAPI_ERR_NO_MORE_ITEMS          0x20000103u
#define QVAPI_ERR_SHUTDOWN_IN_PROGRESS   0x2000045Bu /* the manager is stopping */
#define QVAPI_ERR_INVALID_DATA_REPLY     0x2000054Eu
#define QVAPI_ERR_UNEXPECTED_DATA        0x2000054Fu /* a reply or file the library cannot use */

/* Runtime */
#define QVAPI_ERR_RESOURCE               0x20100000u /* system or file failure */
#define QVAPI_ERR_NO_API_BLOCK           0x20110000u /* the thread has no API block */

/* Manager connection and handshake */
#define QVAPI_ERR_TCP_SOCKET             0x20210000u /* the socket lock could not be had */
#define QVAPI_ERR_TCP_HOST_UNKNOWN       0x20220000u
#define QVAPI_ERR_TCP_SERVICE_UNKNOWN    0x20230000u
#define QVAPI_ERR_TCP_SEND               0x20250000u
#define QVAPI_ERR_TCP_RECV               0x20260000u /* also a reply later than ReceiveTimeout */
#define QVAPI_ERR_HANDSHAKE              0x20310000u /* an answer that is no handshake reply */
#define QVAPI_ERR_HANDSHAKE_VERSION      0x20320000u /* the manager speaks another version */
#define QVAPI_ERR_NOT_SUPPORTED          0x20340000u /* not in this build (README) */
#define QVAPI_ERR_CONNECT_BASE           0x20700000u /* + n for "CONNECTA n" */
#define QVAPI_ERR_CONNECT_REFUSED        0x20710000u

/* Jobs and JobGen templates */
#define QVAPI_ERR_JOB_NO_NODE_ENTRY      0x20440000u /* a JobGen without node entry */
#define QVAPI_ERR_JOB_NO_PACKAGE_ENTRY   0x20450000u /* kinds D, M, J without package entry */
#define QVAPI_ERR_JOB_REFUSED            0x20470000u /* done, but some names or entries were
                                                        skipped (reply "0 4" or "0 20") */
#define QVAPI_ERR_JOB_NO_NODE            0x20478000u /* no usable node ("0 6", "0 21", "0 40") */
#define QVAPI_ERR_JOB_ACCESS             0x20490000u /* job access refused ("4 8", "4 99", "9 1") */
#define QVAPI_ERR_JOB_RETRY_REFUSED      0x20491300u /* "0 30": a class of its own for JRTY */
#define QVAPI_ERR_COLLECT_FILE_MISSING   0x204F1000u /* COLLECT\F0000000 or P0000000 missing */
#define QVAPI_ERR_SOFT_REFER_MISSING     0x204F2000u /* kind I without its soft-refer area */
/* Refusals of a job request (JPUT, JSCH, JEXC, JRTY, JDEL, DEXC) named by the manager's reply;
 * the library gives them no meaning of its own and passes them on. */
#define QVAPI_ERR_JOB_REPLY_0_10         0x204D0000u
#define QVAPI_ERR_JOB_REPLY_0_22         0x20480000u
#define QVAPI_ERR_JOB_REPLY_0_23         0x20488000u
#define QVAPI_ERR_JOB_REPLY_0_24         0x204F0000u
#define QVAPI_ERR_JOB_REPLY_0_49         0x204B0000u
#define QVAPI_ERR_JOB_REPLY_0_51         0x204C0000u
#define QVAPI_ERR_JOB_REPLY_16_20        0x204A0000u
#define QVAPI_ERR_JOB_REPLY_16_161       0x20460000u

/* Packages */
#define QVAPI_ERR_CABINET_FULL           0x20620000u /* "16 22": no room in the cabinet */

/* Nodes, groups and sites */
#define QVAPI_ERR_PATH_TOO_LONG          0x20530000u
#define QVAPI_ERR_NODE_FILE_BUSY         0x20560000u /* a definition file is open elsewhere */
#define QVAPI_ERR_SITE_UPDATE            0x20600000u /* the manager refused a record update */
#define QVAPI_ERR_NOT_FOUND              0x20610000u /* node, group or entry not found */

#endif

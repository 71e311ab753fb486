/* API error codes: 0x20000000 plus a Windows error number, or a code of the library's own. */
#ifndef QVPAPI_ERRORS_H
#define QVPAPI_ERRORS_H

#define QVAPI_SUCCESS                    0x00000000u
#define QVAPI_ERR_FILE_NOT_FOUND         0x20000002u /* not found */
#define QVAPI_ERR_INVALID_HANDLE         0x20000006u
#define QVAPI_ERR_BUSY                   0x20000020u /* busy or sharing violation */
#define QVAPI_ERR_DISK_FULL              0x20000070u
#define QVAPI_ERR_INVALID_PARAMETER      0x20000057u
#define QVAPI_ERR_INVALID_NAME           0x2000007Bu
#define QVAPI_ERR_DIR_NOT_EMPTY          0x20000091u /* a group that still has members */
#define QVAPI_ERR_ALREADY_EXISTS         0x200000B7u
#define QVAPI_ERR_MORE_DATA              0x200000EAu /* job registered, creation pending */
#define QVAPI_ERR_NO_MORE_ITEMS          0x20000103u
#define QVAPI_ERR_SHUTDOWN_IN_PROGRESS   0x2000045Bu
#define QVAPI_ERR_INVALID_DATA_REPLY     0x2000054Eu
#define QVAPI_ERR_UNEXPECTED_DATA        0x2000054Fu
#define QVAPI_ERR_RESOURCE               0x20100000u /* system or file failure */
#define QVAPI_ERR_NO_API_BLOCK           0x20110000u
#define QVAPI_ERR_TCP_SOCKET             0x20210000u /* the socket lock could not be had */
#define QVAPI_ERR_TCP_HOST_UNKNOWN       0x20220000u
#define QVAPI_ERR_TCP_SERVICE_UNKNOWN    0x20230000u
#define QVAPI_ERR_TCP_SEND               0x20250000u
#define QVAPI_ERR_TCP_RECV               0x20260000u
#define QVAPI_ERR_HANDSHAKE              0x20310000u
#define QVAPI_ERR_HANDSHAKE_VERSION      0x20320000u
#define QVAPI_ERR_NOT_SUPPORTED          0x20340000u
#define QVAPI_ERR_JOB_NO_NODE_ENTRY      0x20440000u
#define QVAPI_ERR_JOB_NO_PACKAGE_ENTRY   0x20450000u
#define QVAPI_ERR_JOB_161                0x20460000u
#define QVAPI_ERR_JOB_REFUSED            0x20470000u
#define QVAPI_ERR_JOB_NO_NODE            0x20478000u
#define QVAPI_ERR_JOB_22                 0x20480000u
#define QVAPI_ERR_JOB_23                 0x20488000u
#define QVAPI_ERR_JOB_ACCESS             0x20490000u
#define QVAPI_ERR_JOB_30                 0x20491300u
#define QVAPI_ERR_JOB_20                 0x204A0000u
#define QVAPI_ERR_JOB_49                 0x204B0000u
#define QVAPI_ERR_JOB_51                 0x204C0000u
#define QVAPI_ERR_JOB_10                 0x204D0000u
#define QVAPI_ERR_JOB_24                 0x204F0000u
#define QVAPI_ERR_COLLECT_FILE_MISSING   0x204F1000u
#define QVAPI_ERR_SOFT_REFER_MISSING     0x204F2000u
#define QVAPI_ERR_PATH_TOO_LONG          0x20530000u
#define QVAPI_ERR_NODE_FILE_BUSY         0x20560000u
#define QVAPI_ERR_SITE_UPDATE            0x20600000u
#define QVAPI_ERR_NOT_FOUND              0x20610000u /* node, group or entry not found */
#define QVAPI_ERR_PACKAGE_22             0x20620000u
#define QVAPI_ERR_CONNECT_BASE           0x20700000u /* + n for "CONNECTA n" */
#define QVAPI_ERR_CONNECT_REFUSED        0x20710000u

#endif

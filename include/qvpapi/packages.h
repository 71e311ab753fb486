/* Packages: cabinets, package registration, lookup and deletion, and access to a registered
 * package's files. Included by qvpapi.h after qvpapi/records.h.
 *
 * A cabinet is named by its QvCode ('C' or 'D') and a two-character id; a package by QvCode,
 * cabinet id, package id, version and generation (the package number). The reserved 32-bit
 * arguments are passed as 0. Finds hand records out with their numeric fields in host order,
 * except the cabinet walk, which copies them as the manager sends them (big-endian). */
#ifndef QVPAPI_PACKAGES_H
#define QVPAPI_PACKAGES_H

#include "common.h"
#include "records.h"

QVPAPI_BEGIN_DECLS

/* ---- cabinets */

/* Creates cabinet <ucQvCode>.<lpCabinetId> named lpCabinetName (1 to 32 characters): 1, or 0 with
 * QVAPI_ERR_INVALID_PARAMETER (bad QvCode or argument), QVAPI_ERR_INVALID_NAME (the id is not two
 * upper-case letters or digits), QVAPI_ERR_ALREADY_EXISTS (exists), QVAPI_ERR_BUSY (busy) or the
 * code of the manager's reply. */
QVPAPI_EXPORT int qvAPICreateCabinet(char ucQvCode, const char* lpCabinetId, const char* lpCabinetName,
                                     uint32_t dwReserved1, uint32_t dwReserved2);
/* Renames a cabinet; codes as qvAPICreateCabinet. */
QVPAPI_EXPORT int qvAPIChangeCabinet(char ucQvCode, const char* lpCabinetId, const char* lpCabinetName,
                                     uint32_t dwReserved1, uint32_t dwReserved2);
/* Deletes a cabinet: 1, or 0 with QVAPI_ERR_INVALID_PARAMETER or the code of the manager's reply.
 */
QVPAPI_EXPORT int qvAPIDeleteCabinet(char ucQvCode, const char* lpCabinetId, uint32_t dwReserved1,
                                     uint32_t dwReserved2);
/* Walk of the cabinets of one QvCode, one walk per thread; the handle is the thread's own.
 * Records are copied as the manager sends them. FindFirst gives QVPAPI_INVALID_HANDLE, FindNext
 * 0 with QVAPI_ERR_NO_MORE_ITEMS when there are no (more) cabinets. */
QVPAPI_EXPORT QVPAPI_HANDLE qvAPIFindFirstCabinet(char ucQvCode, QVAPI_CABINET* lpFindCabinetData,
                                                  uint32_t dwReserved1, uint32_t dwReserved2);
QVPAPI_EXPORT int qvAPIFindNextCabinet(QVPAPI_HANDLE hFindCabinet, QVAPI_CABINET* lpFindCabinetData,
                                       uint32_t dwReserved1, uint32_t dwReserved2);
QVPAPI_EXPORT int qvAPIFindCloseCabinet(QVPAPI_HANDLE hFindCabinet, uint32_t dwReserved1,
                                        uint32_t dwReserved2);
/* One cabinet by key, its u16 fields at 0 and 26 in host order: 1, or 0 with
 * QVAPI_ERR_NO_MORE_ITEMS (no such cabinet) or QVAPI_ERR_INVALID_PARAMETER (bad QvCode, an id not
 * of two characters, NULL buffer). */
QVPAPI_EXPORT int qvAPIFindCabinet(char ucQvCode, const char* lpCabinetId, QVAPI_CABINET* lpFindCabinetData,
                                   uint32_t dwReserved1, uint32_t dwReserved2);
/* Removes the manager's hanger: 1, or 0 with the code of the manager's reply. */
QVPAPI_EXPORT int qvAPIDeleteHanger(uint32_t dwReserved1, uint32_t dwReserved2);

/* ---- registration ("RPUT") */

/* Hands the manager an attribute file (one QVAPI_PACKAGE, numeric fields big-endian), the package
 * file and, when lpQF is not NULL, the script file; cReplace 'F' replaces a package of the same
 * key, ' ' does not. 1, or 0 with QVAPI_ERR_INVALID_PARAMETER (NULL, empty or longer than 260
 * characters), QVAPI_ERR_CABINET_FULL (cabinet full), QVAPI_ERR_DISK_FULL (disk full),
 * QVAPI_ERR_ALREADY_EXISTS (exists), QVAPI_ERR_BUSY (busy), QVAPI_ERR_RESOURCE (any other reply, a
 * failed send or receive). */
QVPAPI_EXPORT int qvpAPIAddPackage(const char* lpAF, const char* lpRF, const char* lpQF, char cReplace);
/* The same, never replacing, with a script file that must be given: lpPackageName is the
 * attribute file. */
QVPAPI_EXPORT int qvAPICreatePackage(uint32_t dwReserved1, uint32_t dwReserved2, uint32_t dwReserved3,
                                     const char* lpPackageObjectPath, const char* lpScriptFilePath,
                                     const char* lpPackageName, uint32_t dwReserved4, uint32_t dwReserved5);
#define QVAPI_PACKAGE_REPLACE      1u /* replace a package of the same key */
#define QVAPI_PACKAGE_FAIL_EXISTS  2u /* fail with QVAPI_ERR_ALREADY_EXISTS when it exists */
/* Registers a package from the caller's attribute file (one QVAPI_PACKAGE in host order): the
 * cabinet must exist; the script path is used (and required) only when the record's flag 0x08 says
 * the package has one. 1, or 0 with the codes of qvpAPIAddPackage and QVAPI_ERR_NO_MORE_ITEMS
 * (attribute file or cabinet missing). The last two words go on to qvAPIFindPackage. */
QVPAPI_EXPORT int qvAPIAddPackage(const char* lpScriptFilePath, const char* lpPackageFilePath,
                                  const char* lpPackageAttrFilePath, uint32_t fdwReplaceOption,
                                  uint32_t dwReserved1, uint32_t dwReserved2);

/* ---- lookup and deletion */

/* Deletes a package: 1, or 0 with QVAPI_ERR_INVALID_PARAMETER (NULL or empty part, bad QvCode, a
 * dotted name of 64 characters or more) or the code of the manager's reply. */
QVPAPI_EXPORT int qvAPIDeletePackage(char ucQvCode, const char* lpCabinetId, const char* lpPackageId,
                                     const char* lpPackageVersion, const char* lpPackageNo,
                                     uint32_t dwReserved1, uint32_t dwReserved2);
/* Walk of the packages of one cabinet, one walk per thread (qvAPIFindPackage and
 * qvAPIFindPackageHeader end it); records in host order; QVAPI_ERR_NO_MORE_ITEMS at the end. */
QVPAPI_EXPORT QVPAPI_HANDLE qvAPIFindFirstPackage(char ucQvCode, const char* lpCabinetId,
                                                  QVAPI_PACKAGE* lpFindPackageData,
                                                  uint32_t dwReserved1, uint32_t dwReserved2);
QVPAPI_EXPORT int qvAPIFindNextPackage(QVPAPI_HANDLE hFindPackage, QVAPI_PACKAGE* lpFindPackageData,
                                       uint32_t dwReserved1, uint32_t dwReserved2);
QVPAPI_EXPORT int qvAPIFindClosePackage(QVPAPI_HANDLE hFindPackage, uint32_t dwReserved1,
                                        uint32_t dwReserved2);
/* One package by key (texts as stored, a version may hold '/'), in host order: 1, or 0 with
 * QVAPI_ERR_NO_MORE_ITEMS (no such package) or QVAPI_ERR_INVALID_PARAMETER. */
QVPAPI_EXPORT int qvAPIFindPackage(char ucQvCode, const char* lpCabinetId, const char* lpPackageId,
                                   const char* lpPackageVersion, const char* lpPackageNo,
                                   QVAPI_PACKAGE* lpFindPackageData, uint32_t dwReserved1,
                                   uint32_t dwReserved2);
/* A cabinet's header record; only its u16 fields at 0 and 156 are turned to host order. */
QVPAPI_EXPORT int qvAPIFindPackageHeader(char ucQvCode, const char* lpCabinetId,
                                         QVAPI_PACKAGE* lpFindPackageData, uint32_t dwReserved1,
                                         uint32_t dwReserved2);

/* ---- access to a registered package's files */

#define QVAPI_PACKAGE_READ_MAX 65534u /* bytes one read may ask for */
/* Opens the package and, when it has one, its script file for reading. Each '/' among the first 8
 * characters of lpPackageVersion is written '#' in the caller's text. The handle, or
 * QVPAPI_INVALID_HANDLE with QVAPI_ERR_INVALID_PARAMETER (NULL, empty or unusable part, path too
 * long), QVAPI_ERR_NO_MORE_ITEMS (attribution, package or script file missing),
 * QVAPI_ERR_UNEXPECTED_DATA (a resource name that is no file name), QVAPI_ERR_RESOURCE (short
 * attribution file). */
QVPAPI_EXPORT QVPAPI_HANDLE qvAPIOpenPackage(char ucQvCode, const char* lpCabinetId, const char* lpPackageId,
                                             char* lpPackageVersion, const char* lpPackageNo,
                                             uint32_t dwReserved1, uint32_t dwReserved2);
/* Reads up to nNumberOfbytesToRead (1 to 65534) bytes from the current position: 1 (with 0 bytes at
 * the end of the file), or 0 with QVAPI_ERR_INVALID_PARAMETER (a handle this thread's session did
 * not open, bad argument), QVAPI_ERR_FILE_NOT_FOUND (the package has no script file),
 * QVAPI_ERR_RESOURCE. */
QVPAPI_EXPORT int qvAPIReadPackageFile(QVPAPI_HANDLE hPackage, void* lpBuffer, uint32_t nNumberOfbytesToRead,
                                       uint32_t* lpNumberOfBytesRead);
QVPAPI_EXPORT int qvAPIReadScriptFile(QVPAPI_HANDLE hPackage, void* lpBuffer, uint32_t nNumberOfbytesToRead,
                                      uint32_t* lpNumberOfBytesRead);
/* Closes the files and frees the handle: 1, or 0 with QVAPI_ERR_INVALID_PARAMETER or
 * QVAPI_ERR_RESOURCE. Handles still open when the session closes are closed with it. */
QVPAPI_EXPORT int qvAPIClosePackage(QVPAPI_HANDLE hPackage);

/* ---- script files */

/* Places a package's script file in the store for a job (lpJobName below the JobGen root, or NULL
 * for the resource folder); lpQvCode NULL means 'D'. 1, or 0 with QVAPI_ERR_INVALID_PARAMETER (NULL
 * or empty key part, a job name with a "." or ".." part, texts over their lengths),
 * QVAPI_ERR_NO_MORE_ITEMS (no such package), QVAPI_ERR_UNEXPECTED_DATA (the record names no usable
 * script file) or QVAPI_ERR_RESOURCE. */
QVPAPI_EXPORT int qvAPICreateScriptFile(const char* lpJobName, const char* lpQvCode, const char* lpCabinetId,
                                        const char* lpPackageId, const char* lpPackageVersion,
                                        const char* lpPackageNo, const char* lpScriptFilePath);

/* ---- installed packages of a node (status records) */

/* Walk of a node's installed-package records (432 fixed bytes each), one walk per thread; the
 * handle is the thread's own. Node names of 1 to 64 characters ('.' is matched as '!'); longer
 * ones are refused with QVAPI_ERR_INVALID_PARAMETER. QVAPI_ERR_NO_MORE_ITEMS at the end. */
QVPAPI_EXPORT QVPAPI_HANDLE qvAPIFindFirstInsPackage(const char* NodeName, QVAPI_INSPACKAGE* FindInsPackageData,
                                                     uint32_t dwReserved1, uint32_t dwReserved2);
QVPAPI_EXPORT int qvAPIFindNextInsPackage(QVPAPI_HANDLE hFindInsPackage, QVAPI_INSPACKAGE* FindInsPackageData,
                                          uint32_t dwReserved1, uint32_t dwReserved2);
QVPAPI_EXPORT int qvAPIFindCloseInsPackage(QVPAPI_HANDLE hFindInsPackage, uint32_t dwReserved1,
                                           uint32_t dwReserved2);
/* Deletes a node's records; NodeName, PackageId, Version, Generation may be NULL and ucQvCode 0 to
 * match any (the cabinet is never part of the match). 1, or 0 with QVAPI_ERR_NOT_FOUND (nothing
 * matched) or QVAPI_ERR_INVALID_PARAMETER (QvCode other than 0, 'C', 'D'; an empty part). */
QVPAPI_EXPORT int qvAPIDeleteInsPackage(const char* NodeName, char ucQvCode, const char* PackageId,
                                        const char* Version, const char* Generation, uint32_t dwReserved1,
                                        uint32_t dwReserved2);
/* Moves every record of a node to a new node name: 1 with code 0, or 0 with QVAPI_ERR_NOT_FOUND
 * (the node has no record), QVAPI_ERR_INVALID_PARAMETER, QVAPI_ERR_RESOURCE. */
QVPAPI_EXPORT int qvAPIChangeNameInsPackage(const char* lpOldNodeName, const char* lpNewNodeName,
                                            uint32_t dwReserved1, uint32_t dwReserved2);

/* ---- package lists */

#define QVAPI_PACKAGE_LIST_SIZE         273u /* the caller's record */
#define QVAPI_PACKAGE_LIST_RECORD_SIZE  277u /* one record of a .LIST file */
#pragma pack(push, 1)
/* One record of a package list. */
typedef struct QVAPI_PACKAGE_LIST {
    char     szText[260];  /*   0: NUL-padded */
    uint32_t dwValue260;   /* 260: host order */
    uint32_t dwValue264;   /* 264: as the manager stored it */
    uint32_t dwValue268;   /* 268: as the manager stored it */
    uint8_t  ucValue272;   /* 272 */
} QVAPI_PACKAGE_LIST;
#pragma pack(pop)
#ifdef __cplusplus
static_assert(sizeof(QVAPI_PACKAGE_LIST) == QVAPI_PACKAGE_LIST_SIZE, "QVAPI_PACKAGE_LIST");
static_assert(offsetof(QVAPI_PACKAGE_LIST, dwValue260) == 260, "QVAPI_PACKAGE_LIST");
static_assert(offsetof(QVAPI_PACKAGE_LIST, dwValue264) == 264, "QVAPI_PACKAGE_LIST");
static_assert(offsetof(QVAPI_PACKAGE_LIST, dwValue268) == 268, "QVAPI_PACKAGE_LIST");
static_assert(offsetof(QVAPI_PACKAGE_LIST, ucValue272) == 272, "QVAPI_PACKAGE_LIST");
#endif

/* Asks the manager for the list of a package (one list per thread at a time): the list handle, with
 * the two counts of the first chunk, or QVPAPI_INVALID_HANDLE with QVAPI_ERR_INVALID_PARAMETER,
 * QVAPI_ERR_UNEXPECTED_DATA (a list is open; a reply the library cannot use),
 * QVAPI_ERR_FILE_NOT_FOUND (no list for this package), QVAPI_ERR_RESOURCE or the code of the
 * manager's reply. */
QVPAPI_EXPORT QVPAPI_HANDLE qvAPICreatePackageList(const QVAPI_PACKAGE* lpPackage, uint32_t* lpFirstCount,
                                                   uint32_t* lpSecondCount, uint32_t dwReserved1,
                                                   uint32_t dwReserved2);
/* The next chunk while the manager said more follows (QVAPI_ERR_NO_MORE_ITEMS otherwise, nothing
 * sent). */
QVPAPI_EXPORT int qvAPIContinuePackageList(QVPAPI_HANDLE hPackageList, uint32_t* lpSecondCount,
                                           uint32_t dwReserved1, uint32_t dwReserved2);
/* Ends the list; a refused close leaves it open. */
QVPAPI_EXPORT int qvAPIClosePackageList(QVPAPI_HANDLE hPackageList, uint32_t dwReserved1, uint32_t dwReserved2);
/* The records of the current chunk's .LIST file; the handle is an opaque one of this session
 * (others: QVAPI_ERR_INVALID_HANDLE). FindNext gives 0 with QVAPI_ERR_NO_MORE_ITEMS at the end of
 * the chunk. */
QVPAPI_EXPORT QVPAPI_HANDLE qvAPIFindFirstPackageList(const QVAPI_PACKAGE* lpPackage,
                                                      QVAPI_PACKAGE_LIST* lpPackageList, uint32_t dwReserved1,
                                                      uint32_t dwReserved2);
QVPAPI_EXPORT int qvAPIFindNextPackageList(QVPAPI_HANDLE hFindPackageList, QVAPI_PACKAGE_LIST* lpPackageList,
                                           uint32_t dwReserved1, uint32_t dwReserved2);
QVPAPI_EXPORT int qvAPIFindClosePackageList(QVPAPI_HANDLE hFindPackageList, uint32_t dwReserved1,
                                            uint32_t dwReserved2);

QVPAPI_END_DECLS

#endif

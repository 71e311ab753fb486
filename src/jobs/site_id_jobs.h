// The site job tree (MNGFL\SITEJOB): the ID-job enumerations over it and the deletion of its
// jobs. Only the Ex families are exported (include/qvpapi/jobs.h); the rest serve the Abstract
// enumerators and the library's own callers. Each shares its find slot with its job-tree twin:
// a FindFirst of either tree ends the enumeration the slot held, and the twins' FindNext and
// FindClose go on with whichever tree the slot was started on.
#pragma once

#include <cstdint>

#include "qvpapi.h"

namespace qvp::jobs {

// ---- ID jobs (slot shared with qvAPIFindFirstIDJob and its Ex twin)
QVPAPI_HANDLE qvAPIFindFirstSiteIDJob(const char* lpFolderPath, const char* lpJobNo, QVAPI_NODE_JOB* lpFindNodeJobData,
                                      uint32_t uiNodeAttributes, uint32_t dwReserved1, uint32_t dwReserved2);
int qvAPIFindNextSiteIDJob(QVPAPI_HANDLE hFindJob, QVAPI_NODE_JOB* lpFindNodeJobData, uint32_t dwReserved1,
                           uint32_t dwReserved2);
int qvAPIFindCloseSiteIDJob(QVPAPI_HANDLE hFindJob, uint32_t dwReserved1, uint32_t dwReserved2);

// ---- keep-ID jobs (slot shared with qvAPIFindFirstKeepIDJob and its Ex twin)
QVPAPI_HANDLE qvAPIFindFirstSiteKeepIDJob(const char* lpFolderPath, const char* lpJobNo, const char* lpID,
                                          QVAPI_NODE_JOB* lpFindNodeJobData, uint32_t uiNodeAttributes,
                                          uint32_t dwParam6, uint32_t dwParam7);
int qvAPIFindNextSiteKeepIDJob(QVPAPI_HANDLE hFindJob, QVAPI_NODE_JOB* lpFindNodeJobData, uint32_t dwParam3,
                               uint32_t dwParam4);
int qvAPIFindCloseSiteKeepIDJob(QVPAPI_HANDLE hFindJob, uint32_t dwParam2, uint32_t dwParam3);

// ---- client ID jobs: the walk of one site folder (slot shared with qvAPIFindFirstClientIDJob)
QVPAPI_HANDLE qvAPIFindFirstSiteClientIDJob(const char* lpFolderPath, QVAPI_JOB* lpFindJobData,
                                            uint32_t dwJobKindOption, uint32_t dwReserved);
int qvAPIFindNextSiteClientIDJob(QVPAPI_HANDLE hFindJob, QVAPI_JOB* lpFindJobData, uint32_t dwReserved1,
                                 uint32_t dwReserved2);
int qvAPIFindCloseSiteClientIDJob(QVPAPI_HANDLE hFindJob, uint32_t dwReserved1, uint32_t dwReserved2);

// ---- client-node ID jobs (slot shared with qvAPIFindFirstClientNodeIDJob and its Ex twin)
QVPAPI_HANDLE qvAPIFindFirstSiteClientNodeIDJob(const char* lpFolderPath, const char* lpJobNo,
                                                QVAPI_NODE_JOB* lpFindNodeJobData, uint32_t dwJobKindOption,
                                                uint32_t dwReserved);
int qvAPIFindNextSiteClientNodeIDJob(QVPAPI_HANDLE hFindJob, QVAPI_NODE_JOB* lpFindNodeJobData, uint32_t dwReserved1,
                                     uint32_t dwReserved2);
int qvAPIFindCloseSiteClientNodeIDJob(QVPAPI_HANDLE hFindJob, uint32_t dwReserved1, uint32_t dwReserved2);

// ---- client-package ID jobs (slot shared with qvAPIFindFirstClientPackageIDJob and its Ex variant)
QVPAPI_HANDLE qvAPIFindFirstSiteClientPackageIDJob(const char* lpFolderPath, const char* lpJobNo,
                                                   const char* lpNodePath, QVAPI_PACKAGE_JOB* lpFindPackageJobData,
                                                   uint32_t dwJobKindOption, uint32_t dwParam6);
int qvAPIFindNextSiteClientPackageIDJob(QVPAPI_HANDLE hFindJob, QVAPI_PACKAGE_JOB* lpFindPackageJobData,
                                        uint32_t dwParam3, uint32_t dwParam4);
int qvAPIFindCloseSiteClientPackageIDJob(QVPAPI_HANDLE hFindJob, uint32_t dwParam2, uint32_t dwParam3);
QVPAPI_HANDLE qvAPIFindFirstSiteClientPackageIDJobEx(const char* lpFolderPath, const char* lpJobNo,
                                                     const char* lpNodePath, const char* lpID,
                                                     QVAPI_PACKAGE_JOB* lpFindPackageJobData,
                                                     uint32_t dwJobKindOption, uint32_t dwParam7);
// Forward their arguments unchanged to the plain site Next and Close.
int qvAPIFindNextSiteClientPackageIDJobEx(QVPAPI_HANDLE hFindJob, QVAPI_PACKAGE_JOB* lpFindPackageJobData,
                                          uint32_t dwParam3, uint32_t dwParam4);
int qvAPIFindCloseSiteClientPackageIDJobEx(QVPAPI_HANDLE hFindJob, uint32_t dwParam2, uint32_t dwParam3);

// ---- deletion through the manager ("JDEL" with the site field "S")
// One site job <folder>\<number> (a folder that does not begin with "\" is the top); option
// 0xFFFF asks for the forced deletion. 1, or 0 with 0x20000057 (NULL or empty number, no
// jobexecfile), the manager's mapped refusal or the transport codes.
int qvAPIDeleteSiteJob(const char* lpFolderPath, const char* lpJobNo, uint32_t dwOption, uint32_t dwReserved);
// Every job of <folder>\<name> and of its sub-folders, then the emptied folders. The name is one
// level: NULL, "", ".", ".." or a name holding "\" or "/" is refused with 0x20000057, as is a
// path that is no folder. Stops at the first failure, with its code. 1, or 0.
int qvAPIDeleteSiteFolderJob(const char* lpFolderPath, const char* lpFolderName, uint32_t dwReserved1,
                             uint32_t dwReserved2);

}  // namespace qvp::jobs

// The ID finder and the keep-ID finder of a job folder.
#include "core/errors.h"
#include "core/paths.h"
#include "jobs/id_jobs.h"

namespace qvp::jobs {

std::string JobTreeRoot(JobTree tree) {
    return PathOf(tree == JobTree::SiteJob ? &qvpMakeMngflSiteJobPath : &qvpMakeMngflJobExecPath);
}

QVPAPI_HANDLE FindFirstIDJob(CallContext& call, JobTree, bool, const char*, const char*, void*, uint32_t) {
    call.Fail(QVAPI_ERR_NO_MORE_ITEMS);
    return QVPAPI_INVALID_HANDLE;
}
int FindNextIDJob(CallContext& call, bool, QVPAPI_HANDLE, void*) {
    call.Fail(QVAPI_ERR_INVALID_HANDLE);
    return 0;
}
int FindCloseIDJob(CallContext& call, QVPAPI_HANDLE) {
    call.Fail(QVAPI_ERR_INVALID_HANDLE);
    return 0;
}
QVPAPI_HANDLE FindFirstKeepIDJob(CallContext& call, JobTree, bool, const char*, const char*, const char*, void*,
                                 uint32_t, uint32_t, uint32_t) {
    call.Fail(QVAPI_ERR_NO_MORE_ITEMS);
    return QVPAPI_INVALID_HANDLE;
}
int FindNextKeepIDJob(CallContext& call, bool, QVPAPI_HANDLE, void*, uint32_t, uint32_t) {
    call.Fail(QVAPI_ERR_INVALID_HANDLE);
    return 0;
}
int FindCloseKeepIDJob(CallContext& call, QVPAPI_HANDLE, uint32_t, uint32_t) {
    call.Fail(QVAPI_ERR_INVALID_HANDLE);
    return 0;
}

}  // namespace qvp::jobs

using namespace qvp::jobs;

namespace {
const qvp::FrameTexts kFirstIdTexts{"qvAPIFindFirstIDJob", qvp::EndStyle::Hex, ""};
const qvp::FrameTexts kFirstIdExTexts{"qvAPIFindFirstIDJobEx", qvp::EndStyle::Hex, ""};
const qvp::FrameTexts kNextIdTexts{"qvAPIFindNextIDJob", qvp::EndStyle::Decimal, ""};
const qvp::FrameTexts kNextIdExTexts{"qvAPIFindNextIDJobEx", qvp::EndStyle::Decimal, ""};
const qvp::FrameTexts kCloseIdTexts{"qvAPIFindCloseIDJob", qvp::EndStyle::Decimal, ""};
const qvp::FrameTexts kCloseIdExTexts{"qvAPIFindCloseIDJobEx", qvp::EndStyle::Decimal, ""};
const qvp::FrameTexts kFirstKeepTexts{"qvAPIFindFirstKeepIDJob", qvp::EndStyle::Hex, ""};
const qvp::FrameTexts kFirstKeepExTexts{"qvAPIFindFirstKeepIDJobEx", qvp::EndStyle::Hex, ""};
const qvp::FrameTexts kNextKeepTexts{"qvAPIFindNextKeepIDJob", qvp::EndStyle::Decimal, ""};
const qvp::FrameTexts kNextKeepExTexts{"qvAPIFindNextKeepIDJobEx", qvp::EndStyle::Decimal, ""};
const qvp::FrameTexts kCloseKeepTexts{"qvAPIFindCloseKeepIDJob", qvp::EndStyle::Decimal, ""};
const qvp::FrameTexts kCloseKeepExTexts{"qvAPIFindCloseKeepIDJobEx", qvp::EndStyle::Decimal, ""};
}  // namespace

extern "C" QVPAPI_EXPORT QVPAPI_HANDLE qvAPIFindFirstIDJob(const char* lpFolderPath, const char* lpJobNo,
                                                           QVAPI_NODE_JOB* lpFindNodeJobData,
                                                           uint32_t uiNodeAttributes, uint32_t, uint32_t) {
    return qvp::RunApi(kFirstIdTexts, QVPAPI_INVALID_HANDLE, [&](qvp::CallContext& call) {
        return FindFirstIDJob(call, JobTree::JobExec, false, lpFolderPath, lpJobNo, lpFindNodeJobData,
                              uiNodeAttributes);
    });
}

extern "C" QVPAPI_EXPORT int qvAPIFindNextIDJob(QVPAPI_HANDLE hFindJob, QVAPI_NODE_JOB* lpFindNodeJobData, uint32_t,
                                                uint32_t) {
    return qvp::RunApi(kNextIdTexts, 0, [&](qvp::CallContext& call) {
        return FindNextIDJob(call, false, hFindJob, lpFindNodeJobData);
    });
}

extern "C" QVPAPI_EXPORT int qvAPIFindCloseIDJob(QVPAPI_HANDLE hFindJob, uint32_t, uint32_t) {
    return qvp::RunApi(kCloseIdTexts, 0, [&](qvp::CallContext& call) { return FindCloseIDJob(call, hFindJob); });
}

extern "C" QVPAPI_EXPORT QVPAPI_HANDLE qvAPIFindFirstIDJobEx(const char* lpFolderPath, const char* lpJobNo,
                                                             QVAPI_NODE_JOB_EX* lpFindNodeJobData,
                                                             uint32_t uiNodeAttributes, uint32_t, uint32_t) {
    return qvp::RunApi(kFirstIdExTexts, QVPAPI_INVALID_HANDLE, [&](qvp::CallContext& call) {
        return FindFirstIDJob(call, JobTree::JobExec, true, lpFolderPath, lpJobNo, lpFindNodeJobData,
                              uiNodeAttributes);
    });
}

extern "C" QVPAPI_EXPORT int qvAPIFindNextIDJobEx(QVPAPI_HANDLE hFindJob, QVAPI_NODE_JOB_EX* lpFindNodeJobData,
                                                  uint32_t, uint32_t) {
    return qvp::RunApi(kNextIdExTexts, 0, [&](qvp::CallContext& call) {
        return FindNextIDJob(call, true, hFindJob, lpFindNodeJobData);
    });
}

extern "C" QVPAPI_EXPORT int qvAPIFindCloseIDJobEx(QVPAPI_HANDLE hFindJob, uint32_t, uint32_t) {
    return qvp::RunApi(kCloseIdExTexts, 0, [&](qvp::CallContext& call) { return FindCloseIDJob(call, hFindJob); });
}

extern "C" QVPAPI_EXPORT QVPAPI_HANDLE qvAPIFindFirstKeepIDJob(const char* lpFolderPath, const char* lpJobNo,
                                                               const char* lpID, QVAPI_NODE_JOB* lpFindNodeJobData,
                                                               uint32_t uiNodeAttributes, uint32_t dwReserved1,
                                                               uint32_t dwReserved2) {
    return qvp::RunApi(kFirstKeepTexts, QVPAPI_INVALID_HANDLE, [&](qvp::CallContext& call) {
        return FindFirstKeepIDJob(call, JobTree::JobExec, false, lpFolderPath, lpJobNo, lpID, lpFindNodeJobData,
                                  uiNodeAttributes, dwReserved1, dwReserved2);
    });
}

extern "C" QVPAPI_EXPORT int qvAPIFindNextKeepIDJob(QVPAPI_HANDLE hFindJob, QVAPI_NODE_JOB* lpFindNodeJobData,
                                                    uint32_t dwReserved1, uint32_t dwReserved2) {
    return qvp::RunApi(kNextKeepTexts, 0, [&](qvp::CallContext& call) {
        return FindNextKeepIDJob(call, false, hFindJob, lpFindNodeJobData, dwReserved1, dwReserved2);
    });
}

extern "C" QVPAPI_EXPORT int qvAPIFindCloseKeepIDJob(QVPAPI_HANDLE hFindJob, uint32_t dwReserved1,
                                                     uint32_t dwReserved2) {
    return qvp::RunApi(kCloseKeepTexts, 0, [&](qvp::CallContext& call) {
        return FindCloseKeepIDJob(call, hFindJob, dwReserved1, dwReserved2);
    });
}

extern "C" QVPAPI_EXPORT QVPAPI_HANDLE qvAPIFindFirstKeepIDJobEx(const char* lpFolderPath, const char* lpJobNo,
                                                                 const char* lpID,
                                                                 QVAPI_NODE_JOB_EX* lpFindNodeJobData,
                                                                 uint32_t uiNodeAttributes, uint32_t dwReserved1,
                                                                 uint32_t dwReserved2) {
    return qvp::RunApi(kFirstKeepExTexts, QVPAPI_INVALID_HANDLE, [&](qvp::CallContext& call) {
        return FindFirstKeepIDJob(call, JobTree::JobExec, true, lpFolderPath, lpJobNo, lpID, lpFindNodeJobData,
                                  uiNodeAttributes, dwReserved1, dwReserved2);
    });
}

extern "C" QVPAPI_EXPORT int qvAPIFindNextKeepIDJobEx(QVPAPI_HANDLE hFindJob, QVAPI_NODE_JOB_EX* lpFindNodeJobData,
                                                      uint32_t dwReserved1, uint32_t dwReserved2) {
    return qvp::RunApi(kNextKeepExTexts, 0, [&](qvp::CallContext& call) {
        return FindNextKeepIDJob(call, true, hFindJob, lpFindNodeJobData, dwReserved1, dwReserved2);
    });
}

extern "C" QVPAPI_EXPORT int qvAPIFindCloseKeepIDJobEx(QVPAPI_HANDLE hFindJob, uint32_t dwReserved1,
                                                       uint32_t dwReserved2) {
    return qvp::RunApi(kCloseKeepExTexts, 0, [&](qvp::CallContext& call) {
        return FindCloseKeepIDJob(call, hFindJob, dwReserved1, dwReserved2);
    });
}

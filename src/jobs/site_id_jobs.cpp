// The ID-job enumerations over the site job tree: each is its job-tree twin started on
// MNGFL\SITEJOB under its own name. Only the Ex families are exported.
#include "jobs/site_id_jobs.h"

#include "core/frame.h"
#include "jobs/client_id_jobs.h"
#include "jobs/id_jobs.h"

namespace qvp::jobs {

namespace {

constexpr JobTree kSite = JobTree::SiteJob;

// The ID and keep-ID finders write their own opening lines.
constexpr FrameTexts IdFrame(const char* name, EndStyle end) { return FrameTexts{name, end, ""}; }

}  // namespace

QVPAPI_HANDLE qvAPIFindFirstSiteIDJob(const char* lpFolderPath, const char* lpJobNo, QVAPI_NODE_JOB* lpFindNodeJobData,
                                      uint32_t uiNodeAttributes, uint32_t, uint32_t) {
    static constexpr FrameTexts texts = IdFrame("qvAPIFindFirstSiteIDJob", EndStyle::Hex);
    return RunApi(texts, QVPAPI_INVALID_HANDLE, [&](CallContext& call) {
        return FindFirstIDJob(call, kSite, false, lpFolderPath, lpJobNo, lpFindNodeJobData, uiNodeAttributes);
    });
}

int qvAPIFindNextSiteIDJob(QVPAPI_HANDLE hFindJob, QVAPI_NODE_JOB* lpFindNodeJobData, uint32_t, uint32_t) {
    static constexpr FrameTexts texts = IdFrame("qvAPIFindNextSiteIDJob", EndStyle::Decimal);
    return RunApi(texts, 0, [&](CallContext& call) { return FindNextIDJob(call, false, hFindJob, lpFindNodeJobData); });
}

int qvAPIFindCloseSiteIDJob(QVPAPI_HANDLE hFindJob, uint32_t, uint32_t) {
    static constexpr FrameTexts texts = IdFrame("qvAPIFindCloseSiteIDJob", EndStyle::Decimal);
    return RunApi(texts, 0, [&](CallContext& call) { return FindCloseIDJob(call, hFindJob); });
}

QVPAPI_HANDLE qvAPIFindFirstSiteKeepIDJob(const char* lpFolderPath, const char* lpJobNo, const char* lpID,
                                          QVAPI_NODE_JOB* lpFindNodeJobData, uint32_t uiNodeAttributes,
                                          uint32_t dwParam6, uint32_t dwParam7) {
    static constexpr FrameTexts texts = IdFrame("qvAPIFindFirstSiteKeepIDJob", EndStyle::Hex);
    return RunApi(texts, QVPAPI_INVALID_HANDLE, [&](CallContext& call) {
        return FindFirstKeepIDJob(call, kSite, false, lpFolderPath, lpJobNo, lpID, lpFindNodeJobData, uiNodeAttributes,
                                  dwParam6, dwParam7);
    });
}

int qvAPIFindNextSiteKeepIDJob(QVPAPI_HANDLE hFindJob, QVAPI_NODE_JOB* lpFindNodeJobData, uint32_t dwParam3,
                               uint32_t dwParam4) {
    static constexpr FrameTexts texts = IdFrame("qvAPIFindNextSiteKeepIDJob", EndStyle::Decimal);
    return RunApi(texts, 0, [&](CallContext& call) {
        return FindNextKeepIDJob(call, false, hFindJob, lpFindNodeJobData, dwParam3, dwParam4);
    });
}

int qvAPIFindCloseSiteKeepIDJob(QVPAPI_HANDLE hFindJob, uint32_t dwParam2, uint32_t dwParam3) {
    static constexpr FrameTexts texts = IdFrame("qvAPIFindCloseSiteKeepIDJob", EndStyle::Decimal);
    return RunApi(texts, 0, [&](CallContext& call) { return FindCloseKeepIDJob(call, hFindJob, dwParam2, dwParam3); });
}

QVPAPI_HANDLE qvAPIFindFirstSiteClientIDJob(const char* lpFolderPath, QVAPI_JOB* lpFindJobData,
                                            uint32_t dwJobKindOption, uint32_t) {
    static const FrameTexts texts = ClientWalkFrame("qvAPIFindFirstSiteClientIDJob", EndStyle::Hex, true, false);
    return RunApi(texts, QVPAPI_INVALID_HANDLE, [&](CallContext& call) {
        return FindFirstClientIDJob(call, kSite, lpFolderPath, lpFindJobData, dwJobKindOption,
                                    qvAPIFindNextClientIDJob);
    });
}

int qvAPIFindNextSiteClientIDJob(QVPAPI_HANDLE hFindJob, QVAPI_JOB* lpFindJobData, uint32_t, uint32_t) {
    static const FrameTexts texts = ClientWalkFrame("qvAPIFindNextSiteClientIDJob", EndStyle::Decimal, false, false);
    return RunApi(texts, 0, [&](CallContext& call) { return FindNextClientIDJob(call, hFindJob, lpFindJobData); });
}

int qvAPIFindCloseSiteClientIDJob(QVPAPI_HANDLE hFindJob, uint32_t, uint32_t) {
    static const FrameTexts texts = ClientWalkFrame("qvAPIFindCloseSiteClientIDJob", EndStyle::Decimal, false, true);
    return RunApi(texts, 0, [&](CallContext& call) { return FindCloseClientIDJob(call, hFindJob); });
}

QVPAPI_HANDLE qvAPIFindFirstSiteClientNodeIDJob(const char* lpFolderPath, const char* lpJobNo,
                                                QVAPI_NODE_JOB* lpFindNodeJobData, uint32_t dwJobKindOption,
                                                uint32_t) {
    static const FrameTexts texts = ClientWalkerFrame("qvAPIFindFirstSiteClientNodeIDJob", EndStyle::Hex);
    return RunApi(texts, QVPAPI_INVALID_HANDLE, [&](CallContext& call) {
        return FindFirstClientNodeIDJob(call, kSite, false, lpFolderPath, lpJobNo, lpFindNodeJobData,
                                        dwJobKindOption);
    });
}

int qvAPIFindNextSiteClientNodeIDJob(QVPAPI_HANDLE hFindJob, QVAPI_NODE_JOB* lpFindNodeJobData, uint32_t, uint32_t) {
    static const FrameTexts texts = ClientWalkerFrame("qvAPIFindNextSiteClientNodeIDJob", EndStyle::Hex);
    return RunApi(texts, 0, [&](CallContext& call) {
        return FindNextClientNodeIDJob(call, false, hFindJob, lpFindNodeJobData);
    });
}

int qvAPIFindCloseSiteClientNodeIDJob(QVPAPI_HANDLE hFindJob, uint32_t, uint32_t) {
    static const FrameTexts texts = ClientWalkerFrame("qvAPIFindCloseSiteClientNodeIDJob", EndStyle::Hex);
    return RunApi(texts, 0, [&](CallContext& call) { return FindCloseClientNodeIDJob(call, hFindJob); });
}

QVPAPI_HANDLE qvAPIFindFirstSiteClientPackageIDJob(const char* lpFolderPath, const char* lpJobNo,
                                                   const char* lpNodePath, QVAPI_PACKAGE_JOB* lpFindPackageJobData,
                                                   uint32_t dwJobKindOption, uint32_t dwParam6) {
    static const FrameTexts texts = ClientWalkerFrame("qvAPIFindFirstSiteClientPackageIDJob", EndStyle::Hex);
    return RunApi(texts, QVPAPI_INVALID_HANDLE, [&](CallContext& call) {
        return FindFirstClientPackageIDJob(call, kSite, false, lpFolderPath, lpJobNo, lpNodePath, nullptr,
                                           lpFindPackageJobData, dwJobKindOption, dwParam6);
    });
}

int qvAPIFindNextSiteClientPackageIDJob(QVPAPI_HANDLE hFindJob, QVAPI_PACKAGE_JOB* lpFindPackageJobData,
                                        uint32_t dwParam3, uint32_t dwParam4) {
    static const FrameTexts texts = ClientWalkerFrame("qvAPIFindNextSiteClientPackageIDJob", EndStyle::Decimal);
    return RunApi(texts, 0, [&](CallContext& call) {
        return FindNextClientPackageIDJob(call, hFindJob, lpFindPackageJobData, dwParam3, dwParam4);
    });
}

int qvAPIFindCloseSiteClientPackageIDJob(QVPAPI_HANDLE hFindJob, uint32_t dwParam2, uint32_t dwParam3) {
    static const FrameTexts texts = ClientWalkerFrame("qvAPIFindCloseSiteClientPackageIDJob", EndStyle::Decimal);
    return RunApi(texts, 0, [&](CallContext& call) {
        return FindCloseClientPackageIDJob(call, hFindJob, dwParam2, dwParam3);
    });
}

QVPAPI_HANDLE qvAPIFindFirstSiteClientPackageIDJobEx(const char* lpFolderPath, const char* lpJobNo,
                                                     const char* lpNodePath, const char* lpID,
                                                     QVAPI_PACKAGE_JOB* lpFindPackageJobData,
                                                     uint32_t dwJobKindOption, uint32_t dwParam7) {
    static const FrameTexts texts = ClientWalkerFrame("qvAPIFindFirstSiteClientPackageIDJobEx", EndStyle::Hex);
    return RunApi(texts, QVPAPI_INVALID_HANDLE, [&](CallContext& call) {
        return FindFirstClientPackageIDJob(call, kSite, true, lpFolderPath, lpJobNo, lpNodePath, lpID,
                                           lpFindPackageJobData, dwJobKindOption, dwParam7);
    });
}

int qvAPIFindNextSiteClientPackageIDJobEx(QVPAPI_HANDLE hFindJob, QVAPI_PACKAGE_JOB* lpFindPackageJobData,
                                          uint32_t dwParam3, uint32_t dwParam4) {
    return qvAPIFindNextSiteClientPackageIDJob(hFindJob, lpFindPackageJobData, dwParam3, dwParam4);
}

int qvAPIFindCloseSiteClientPackageIDJobEx(QVPAPI_HANDLE hFindJob, uint32_t dwParam2, uint32_t dwParam3) {
    return qvAPIFindCloseSiteClientPackageIDJob(hFindJob, dwParam2, dwParam3);
}

}  // namespace qvp::jobs

using namespace qvp::jobs;

extern "C" QVPAPI_EXPORT QVPAPI_HANDLE qvAPIFindFirstSiteIDJobEx(const char* lpFolderPath, const char* lpJobNo,
                                                                 QVAPI_NODE_JOB_EX* lpFindNodeJobData,
                                                                 uint32_t uiNodeAttributes, uint32_t, uint32_t) {
    static constexpr qvp::FrameTexts texts = IdFrame("qvAPIFindFirstSiteIDJobEx", qvp::EndStyle::Hex);
    return qvp::RunApi(texts, QVPAPI_INVALID_HANDLE, [&](qvp::CallContext& call) {
        return FindFirstIDJob(call, kSite, true, lpFolderPath, lpJobNo, lpFindNodeJobData, uiNodeAttributes);
    });
}

extern "C" QVPAPI_EXPORT int qvAPIFindNextSiteIDJobEx(QVPAPI_HANDLE hFindJob, QVAPI_NODE_JOB_EX* lpFindNodeJobData,
                                                      uint32_t, uint32_t) {
    static constexpr qvp::FrameTexts texts = IdFrame("qvAPIFindNextSiteIDJobEx", qvp::EndStyle::Decimal);
    return qvp::RunApi(texts, 0, [&](qvp::CallContext& call) {
        return FindNextIDJob(call, true, hFindJob, lpFindNodeJobData);
    });
}

extern "C" QVPAPI_EXPORT int qvAPIFindCloseSiteIDJobEx(QVPAPI_HANDLE hFindJob, uint32_t, uint32_t) {
    static constexpr qvp::FrameTexts texts = IdFrame("qvAPIFindCloseSiteIDJobEx", qvp::EndStyle::Decimal);
    return qvp::RunApi(texts, 0, [&](qvp::CallContext& call) { return FindCloseIDJob(call, hFindJob); });
}

extern "C" QVPAPI_EXPORT QVPAPI_HANDLE qvAPIFindFirstSiteKeepIDJobEx(const char* lpFolderPath, const char* lpJobNo,
                                                                     const char* lpID,
                                                                     QVAPI_NODE_JOB_EX* lpFindNodeJobData,
                                                                     uint32_t uiNodeAttributes, uint32_t dwParam6,
                                                                     uint32_t dwParam7) {
    static constexpr qvp::FrameTexts texts = IdFrame("qvAPIFindFirstSiteKeepIDJobEx", qvp::EndStyle::Hex);
    return qvp::RunApi(texts, QVPAPI_INVALID_HANDLE, [&](qvp::CallContext& call) {
        return FindFirstKeepIDJob(call, kSite, true, lpFolderPath, lpJobNo, lpID, lpFindNodeJobData, uiNodeAttributes,
                                  dwParam6, dwParam7);
    });
}

extern "C" QVPAPI_EXPORT int qvAPIFindNextSiteKeepIDJobEx(QVPAPI_HANDLE hFindJob,
                                                          QVAPI_NODE_JOB_EX* lpFindNodeJobData, uint32_t dwParam3,
                                                          uint32_t dwParam4) {
    static constexpr qvp::FrameTexts texts = IdFrame("qvAPIFindNextSiteKeepIDJobEx", qvp::EndStyle::Decimal);
    return qvp::RunApi(texts, 0, [&](qvp::CallContext& call) {
        return FindNextKeepIDJob(call, true, hFindJob, lpFindNodeJobData, dwParam3, dwParam4);
    });
}

extern "C" QVPAPI_EXPORT int qvAPIFindCloseSiteKeepIDJobEx(QVPAPI_HANDLE hFindJob, uint32_t dwParam2,
                                                           uint32_t dwParam3) {
    static constexpr qvp::FrameTexts texts = IdFrame("qvAPIFindCloseSiteKeepIDJobEx", qvp::EndStyle::Decimal);
    return qvp::RunApi(texts, 0, [&](qvp::CallContext& call) {
        return FindCloseKeepIDJob(call, hFindJob, dwParam2, dwParam3);
    });
}

extern "C" QVPAPI_EXPORT QVPAPI_HANDLE qvAPIFindFirstSiteClientNodeIDJobEx(const char* lpFolderPath,
                                                                           const char* lpJobNo,
                                                                           QVAPI_NODE_JOB_EX* lpFindNodeJobData,
                                                                           uint32_t dwJobKindOption, uint32_t) {
    static const qvp::FrameTexts texts = ClientWalkerFrame("qvAPIFindFirstSiteClientNodeIDJobEx", qvp::EndStyle::Hex);
    return qvp::RunApi(texts, QVPAPI_INVALID_HANDLE, [&](qvp::CallContext& call) {
        return FindFirstClientNodeIDJob(call, kSite, true, lpFolderPath, lpJobNo, lpFindNodeJobData, dwJobKindOption);
    });
}

extern "C" QVPAPI_EXPORT int qvAPIFindNextSiteClientNodeIDJobEx(QVPAPI_HANDLE hFindJob,
                                                                QVAPI_NODE_JOB_EX* lpFindNodeJobData, uint32_t,
                                                                uint32_t) {
    static const qvp::FrameTexts texts = ClientWalkerFrame("qvAPIFindNextSiteClientNodeIDJobEx", qvp::EndStyle::Hex);
    return qvp::RunApi(texts, 0, [&](qvp::CallContext& call) {
        return FindNextClientNodeIDJob(call, true, hFindJob, lpFindNodeJobData);
    });
}

extern "C" QVPAPI_EXPORT int qvAPIFindCloseSiteClientNodeIDJobEx(QVPAPI_HANDLE hFindJob, uint32_t, uint32_t) {
    static const qvp::FrameTexts texts = ClientWalkerFrame("qvAPIFindCloseSiteClientNodeIDJobEx", qvp::EndStyle::Hex);
    return qvp::RunApi(texts, 0, [&](qvp::CallContext& call) { return FindCloseClientNodeIDJob(call, hFindJob); });
}

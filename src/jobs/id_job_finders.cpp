// The ID finder (one record per ID of a job) and the keep-ID finder (for one ID, one record
// per member client or per entry path) of a job folder, over either job tree.
#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "core/errors.h"
#include "core/paths.h"
#include "jobgen/jobgen_file.h"
#include "jobs/id_job_common.h"
#include "jobs/id_jobs.h"
#include "jobs/job_texts.h"
#include "jobs/job_records.h"
#include "jobs/job_walks.h"
#include "platform/win.h"

namespace qvp::jobs {

using namespace idjob;

namespace {

constexpr int kFolder = 3;
constexpr int kIdJob = 5;

constexpr char kIdStart[] = "%s START :lpJobNo = %s:lpFolderPath = %s";
constexpr char kKeepStart[] = "%s START :lpID = %s:lpJobNo = %s:lpFolderPath = %s";
constexpr char kFolderNg[] = "%s : lpFolderPath is NG";
constexpr char kJobNoNull[] = "%s : lpJobNo Pointer is NULL";
constexpr char kKeepJobNoNull[] = "%s : lpJobNo is NULL";
constexpr char kIdNull[] = "%s : lpID is NULL";
constexpr char kRecordNull[] = "%s : lpFindNodeJobData Pointer is NULL";
constexpr char kAttributes[] = "%s : uiNodeAttributes = 0x%8.8x";
constexpr char kNoFolder[] = "%s : wcPathWork NO Folder";
constexpr char kSelectFailed[] = "%s : qvAPISelectFile Error : Code = 0x%8.8x";
constexpr char kNoIdJob[] = "%s : No ZARN_IDJOB : ErrorCode = %d";
constexpr char kFirstNext[] = "%s : qvAPIFindNextIDJob : ErrorCode = 0x%8.8x";
constexpr char kFirstNextEx[] = "%s : qvAPIFindNextIDJobEx : ErrorCode = 0x%8.8x";
constexpr char kKeepFirstNext[] = "%s : qvAPIFindNextKeepIDJob : ErrorCode = 0x%8.8x";
constexpr char kKeepFirstNextEx[] = "%s : qvAPIFindNextKeepIDJobEx : ErrorCode = 0x%8.8x";
constexpr char kTallyFailed[] = "%s : qvAPIGetIDJobCountNode Error : wdSetError = 0x%8.8x";
constexpr char kTallyExFailed[] = "%s : qvAPIGetIDJobCountNodeEx Error : wdSetError = 0x%8.8x";
constexpr char kWalkerFailed[] = "%s : qvpAPIGetIDJobPackage Error = 0x%8.8x";
constexpr char kCloseMode[] = "%s :dwFlg = 0x%8.8x";

// The ID finder's state: the job's IDs in the order of first mention, the next to report.
struct IdJobFind {
    uint32_t mode = kTallyMembers;
    std::string filePath;
    std::vector<std::string> ids;  // "%" and the ID name
    size_t next = 0;
    unsigned char dateTime[head::kDateTimeSize] = {};
    unsigned char work[kWorkSize] = {};
};

// The keep-ID finder's state: the walker's handle and the step it takes next.
struct KeepIdJobFind {
    void* walker = nullptr;
    uint32_t mode = kWalkMemberFirst;
    std::string jobDir;  // for the first step only
    std::string idText;
    unsigned char work[kWorkSize] = {};
};

void EndIdJobFind(QVPAPI& block) {
    delete static_cast<IdJobFind*>(block.idJobFind);
    block.idJobFind = nullptr;
}

void EndKeepIdJobFind(QVPAPI& block) {
    auto* find = static_cast<KeepIdJobFind*>(block.keepIdJobFind);
    if (find != nullptr) FreeIdJobWalk(&find->walker);
    delete find;
    block.keepIdJobFind = nullptr;
}

void EndBoth(QVPAPI& block) {
    EndIdJobFind(block);
    EndKeepIdJobFind(block);
}

void RegisterRelease() {
    static std::once_flag once;
    std::call_once(once, [] { qvpRegisterSessionReleaseHook(&EndBoth); });
}

uint32_t Low32(const void* handle) { return static_cast<uint32_t>(reinterpret_cast<uintptr_t>(handle)); }

bool IsSeparator(char c) { return c == '\\' || c == '/'; }

// A caller's folder: none, empty, or "\" and levels none of which is "." or "..".
bool FolderAccepted(const char* folder) {
    return folder == nullptr || folder[0] == '\0' || (IsSeparator(folder[0]) && !HasDotLevel(folder));
}
// A job number names one directory level, and no pattern that the classification's listing
// could match other directories with.
bool JobNumberAccepted(const char* jobNo) {
    return jobNo != nullptr && jobNo[0] != '\0' && std::strpbrk(jobNo, "\\/*?") == nullptr &&
           std::strcmp(jobNo, ".") != 0 && std::strcmp(jobNo, "..") != 0;
}
std::string FolderPart(const char* folder) {
    return folder != nullptr && std::strlen(folder) > 1 ? std::string(folder) : std::string();
}

// The ID job's directory in the tree after the folder and job checks; false with the call
// failed.
bool IdJobDirectory(CallContext& call, JobTree tree, const char* folder, const char* jobNo, std::string& jobDir) {
    QVPAPI& block = call.block();
    const std::string folderDir = JobTreeRoot(tree) + FolderPart(folder);
    jobDir = folderDir + "\\" + jobNo;
    if (jobDir.size() + 1 + std::strlen(kJobExecFileName) >= win::MAX_PATH)
        return call.Failed(QVAPI_ERR_INVALID_PARAMETER, text::kPathTooLong, call.function(), jobDir.c_str());
    win::WIN32_FIND_DATAA data{};
    if (jobgen::SelectFile(block, folderDir, data) != kFolder)
        return call.Failed(QVAPI_ERR_INVALID_PARAMETER, kNoFolder, call.function());
    const int kind = jobgen::SelectFile(block, jobDir, data);
    if (kind < 0) {
        const uint32_t error = win::GetLastError();
        call.Log(kSelectFailed, call.function(), error);
        call.Fail(SelectFailureCode(error));
        return false;
    }
    if (kind != kIdJob) return call.Failed(QVAPI_ERR_INVALID_PARAMETER, kNoIdJob, call.function(), kind);
    return true;
}

// The caller's record at the size of its API level, statuses 7 and 8 folded below level 3.
void CopyOut(QVPAPI& block, const Layout& layout, const unsigned char* work, void* record) {
    size_t size = block.recordSizes[layout.slot];
    if (size == 0 || size > layout.size) size = layout.size;
    if (&layout == &kEx) qvpAPICopyNodeJobDataEx(block.apiLevel, record, work, size);
    else qvpAPICopyNodeJobData(block.apiLevel, record, work, size);
}

// An entry path out of a name field: "\" followed by the ID text (no path) gives nothing, else
// the last level goes.
void CutToEntryPath(unsigned char* field, size_t width) {
    if (field[1] == '%') {
        std::memset(field, 0, width);
        return;
    }
    const size_t length = strnlen(reinterpret_cast<const char*>(field), width);
    for (size_t i = length; i-- > 0;) {
        if (field[i] == '\\') {
            std::memset(field + i, 0, width - i);
            return;
        }
    }
}

}  // namespace

std::string JobTreeRoot(JobTree tree) {
    return PathOf(tree == JobTree::SiteJob ? &qvpMakeMngflSiteJobPath : &qvpMakeMngflJobExecPath);
}

QVPAPI_HANDLE FindFirstIDJob(CallContext& call, JobTree tree, bool ex, const char* lpFolderPath, const char* lpJobNo,
                             void* lpFindNodeJobData, uint32_t uiNodeAttributes) {
    RegisterRelease();
    QVPAPI& block = call.block();
    call.Log(kIdStart, call.function(), Text(lpJobNo), Text(lpFolderPath));
    const uint32_t mode = uiNodeAttributes == 1 ? kTallyMembers : kTallyEntries;
    const char* refusal = !FolderAccepted(lpFolderPath)      ? kFolderNg
                          : !JobNumberAccepted(lpJobNo)      ? kJobNoNull
                          : lpFindNodeJobData == nullptr     ? kRecordNull
                                                             : nullptr;
    if (refusal != nullptr) {
        call.Failed(QVAPI_ERR_INVALID_PARAMETER, refusal, call.function());
        return QVPAPI_INVALID_HANDLE;
    }
    if (uiNodeAttributes != 1 && uiNodeAttributes != 2) {
        call.Failed(QVAPI_ERR_INVALID_PARAMETER, kAttributes, call.function(), uiNodeAttributes);
        return QVPAPI_INVALID_HANDLE;
    }
    std::string jobDir;
    if (!IdJobDirectory(call, tree, lpFolderPath, lpJobNo, jobDir)) return QVPAPI_INVALID_HANDLE;
    // A new enumeration replaces the thread's running one of the family.
    EndIdJobFind(block);
    auto find = std::make_unique<IdJobFind>();
    find->mode = mode;
    find->filePath = jobDir + "\\" + kJobExecFileName;
    JobFile file;
    if (const uint32_t code = LoadJobFile(call, find->filePath, file)) {
        call.Fail(code);
        return QVPAPI_INVALID_HANDLE;
    }
    std::memcpy(find->dateTime, file.head + head::kDateTime, head::kDateTimeSize);
    // An ordinary entry is no ID, with or without its first character.
    find->ids = IdsOfJob(file);
    block.idJobFind = find.release();
    const int first = ex ? qvAPIFindNextIDJobEx(&block, static_cast<QVAPI_NODE_JOB_EX*>(lpFindNodeJobData), 0, 0)
                         : qvAPIFindNextIDJob(&block, static_cast<QVAPI_NODE_JOB*>(lpFindNodeJobData), 0, 0);
    if (first == 0) {
        const uint32_t code = qvAPIGetLastError();
        call.Log(ex ? kFirstNextEx : kFirstNext, call.function(), code);
        EndIdJobFind(block);
        call.Fail(code);
        return QVPAPI_INVALID_HANDLE;
    }
    return &block;
}

int FindNextIDJob(CallContext& call, bool ex, QVPAPI_HANDLE hFindJob, void* lpFindNodeJobData) {
    QVPAPI& block = call.block();
    call.Log(text::kIdNextStart, call.function(), Low32(hFindJob));
    auto* find = static_cast<IdJobFind*>(block.idJobFind);
    if (!qvpIsOwnBlock(hFindJob) || find == nullptr) {
        call.Fail(QVAPI_ERR_INVALID_HANDLE);
        return 0;
    }
    if (lpFindNodeJobData == nullptr) return call.Failed(QVAPI_ERR_INVALID_PARAMETER, kRecordNull, call.function());
    const Layout& layout = ex ? kEx : kPlain;
    std::memset(find->work, 0, sizeof find->work);
    if (find->next >= find->ids.size()) {
        call.Fail(QVAPI_ERR_NO_MORE_ITEMS);
        return 0;
    }
    const std::string& id = find->ids[find->next];
    const int counted =
        ex ? qvpAPIGetIDJobCountNodeEx(&block, find->mode, find->filePath.c_str(), id.c_str(), nullptr, nullptr,
                                       nullptr, nullptr, reinterpret_cast<QVAPI_NODE_JOB_EX*>(find->work))
           : qvpAPIGetIDJobCountNode(&block, find->mode, find->filePath.c_str(), id.c_str(), nullptr, nullptr,
                                     nullptr, nullptr, reinterpret_cast<QVAPI_NODE_JOB*>(find->work));
    // An ID none of whose entries has a record is reported all the same, with zero counts.
    if (counted == 0 && qvAPIGetLastError() != QVAPI_ERR_NO_MORE_ITEMS) {
        const uint32_t code = qvAPIGetLastError();
        return call.Failed(code, ex ? kTallyExFailed : kTallyFailed, call.function(), code);
    }
    PutText(find->work, layout.nameField, std::string_view(id).substr(1));
    ++find->next;
    std::memcpy(find->work + layout.dateTime, find->dateTime, sizeof find->dateTime);
    std::memcpy(find->work + layout.displayName, find->work, layout.nameField);
    CopyOut(block, layout, find->work, lpFindNodeJobData);
    return 1;
}

int FindCloseIDJob(CallContext& call, QVPAPI_HANDLE hFindJob) {
    QVPAPI& block = call.block();
    call.Log(text::kIdNextStart2, call.function(), Low32(hFindJob));
    if (!qvpIsOwnBlock(hFindJob) || block.idJobFind == nullptr) {
        call.Fail(QVAPI_ERR_INVALID_HANDLE);
        return 0;
    }
    EndIdJobFind(block);
    return 1;
}

QVPAPI_HANDLE FindFirstKeepIDJob(CallContext& call, JobTree tree, bool ex, const char* lpFolderPath,
                                 const char* lpJobNo, const char* lpID, void* lpFindNodeJobData,
                                 uint32_t uiNodeAttributes, uint32_t dwReserved1, uint32_t dwReserved2) {
    RegisterRelease();
    QVPAPI& block = call.block();
    call.Log(kKeepStart, call.function(), Text(lpID), Text(lpJobNo), Text(lpFolderPath));
    const char* refusal = !FolderAccepted(lpFolderPath)          ? kFolderNg
                          : !JobNumberAccepted(lpJobNo)          ? kKeepJobNoNull
                          : lpID == nullptr || lpID[0] == '\0'   ? kIdNull
                          : lpFindNodeJobData == nullptr         ? kRecordNull
                                                                 : nullptr;
    if (refusal != nullptr) {
        call.Failed(QVAPI_ERR_INVALID_PARAMETER, refusal, call.function());
        return QVPAPI_INVALID_HANDLE;
    }
    if (uiNodeAttributes != 1 && uiNodeAttributes != 2) {
        call.Failed(QVAPI_ERR_INVALID_PARAMETER, kAttributes, call.function(), uiNodeAttributes);
        return QVPAPI_INVALID_HANDLE;
    }
    std::string jobDir;
    if (!IdJobDirectory(call, tree, lpFolderPath, lpJobNo, jobDir)) return QVPAPI_INVALID_HANDLE;
    if (tree == JobTree::JobExec) {
        // The head's byte 236 changes nothing here (as on the site tree): only the read's
        // failure ends the call.
        unsigned char head[kHeadSize];
        const std::string jobPath = FolderPart(lpFolderPath) + "\\" + lpJobNo;
        if (qvAPIGetJob(&block, jobPath.c_str(), head) == 0) {
            call.Fail(qvAPIGetLastError());
            return QVPAPI_INVALID_HANDLE;
        }
    }
    EndKeepIdJobFind(block);
    auto find = std::make_unique<KeepIdJobFind>();
    find->mode = uiNodeAttributes == 1 ? kWalkMemberFirst : kWalkEntryFirst;
    find->jobDir = jobDir;
    find->idText = std::string("%") + lpID;
    KeepIdJobFind* state = find.get();
    block.keepIdJobFind = find.release();
    const int first =
        ex ? qvAPIFindNextKeepIDJobEx(&block, static_cast<QVAPI_NODE_JOB_EX*>(lpFindNodeJobData), dwReserved1,
                                      dwReserved2)
           : qvAPIFindNextKeepIDJob(&block, static_cast<QVAPI_NODE_JOB*>(lpFindNodeJobData), dwReserved1,
                                    dwReserved2);
    if (first == 0) {
        const uint32_t code = qvAPIGetLastError();
        call.Log(ex ? kKeepFirstNextEx : kKeepFirstNext, call.function(), code);
        if (block.keepIdJobFind != nullptr) qvAPIFindCloseKeepIDJob(&block, dwReserved1, dwReserved2);
        if (block.keepIdJobFind != nullptr) EndKeepIdJobFind(block);
        call.Fail(code);
        return QVPAPI_INVALID_HANDLE;
    }
    state->mode = state->mode == kWalkMemberFirst ? kWalkMemberNext : kWalkEntryNext;
    state->jobDir.clear();
    return &block;
}

int FindNextKeepIDJob(CallContext& call, bool ex, QVPAPI_HANDLE hFindJob, void* lpFindNodeJobData,
                      uint32_t dwReserved1, uint32_t dwReserved2) {
    QVPAPI& block = call.block();
    call.Log(text::kIdNextStart2, call.function(), Low32(hFindJob));
    auto* find = static_cast<KeepIdJobFind*>(block.keepIdJobFind);
    if (!qvpIsOwnBlock(hFindJob) || find == nullptr) {
        call.Fail(QVAPI_ERR_INVALID_HANDLE);
        return 0;
    }
    if (lpFindNodeJobData == nullptr) return call.Failed(QVAPI_ERR_INVALID_PARAMETER, kRecordNull, call.function());
    const Layout& layout = ex ? kEx : kPlain;
    std::memset(find->work, 0, sizeof find->work);
    const bool first = find->mode == kWalkMemberFirst || find->mode == kWalkEntryFirst;
    const char* jobDir = first ? find->jobDir.c_str() : nullptr;
    const char* idText = first ? find->idText.c_str() : nullptr;
    const int stepped =
        ex ? qvpAPIGetIDJobPackageEx(&block, &find->walker, find->mode, jobDir, idText, nullptr, nullptr, nullptr,
                                     reinterpret_cast<QVAPI_NODE_JOB_EX*>(find->work), nullptr, dwReserved1,
                                     dwReserved2)
           : qvpAPIGetIDJobPackage(&block, &find->walker, find->mode, jobDir, idText, nullptr, nullptr, nullptr,
                                   reinterpret_cast<QVAPI_NODE_JOB*>(find->work), nullptr, dwReserved1, dwReserved2);
    if (stepped == 0) {
        const uint32_t code = qvAPIGetLastError();
        return call.Failed(code, kWalkerFailed, call.function(), code);
    }
    if (find->mode == kWalkEntryFirst || find->mode == kWalkEntryNext) {
        CutToEntryPath(find->work, layout.nameField);
        CutToEntryPath(find->work + layout.displayName, layout.nameField);
    }
    CopyOut(block, layout, find->work, lpFindNodeJobData);
    return 1;
}

int FindCloseKeepIDJob(CallContext& call, QVPAPI_HANDLE hFindJob, uint32_t dwReserved1, uint32_t dwReserved2) {
    QVPAPI& block = call.block();
    call.Log(text::kIdNextStart, call.function(), Low32(hFindJob));
    auto* find = static_cast<KeepIdJobFind*>(block.keepIdJobFind);
    if (!qvpIsOwnBlock(hFindJob) || find == nullptr) {
        call.Fail(QVAPI_ERR_INVALID_HANDLE);
        return 0;
    }
    const uint32_t mode = find->mode;
    const uint32_t close = mode == kWalkMemberFirst || mode == kWalkMemberNext ? kWalkMemberClose
                           : mode == kWalkEntryFirst || mode == kWalkEntryNext ? kWalkEntryClose
                                                                               : 0;
    if (close == 0) return call.Failed(QVAPI_ERR_INVALID_PARAMETER, kCloseMode, call.function(), mode);
    if (qvpAPIGetIDJobPackage(&block, &find->walker, close, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                              nullptr, dwReserved1, dwReserved2) == 0) {
        const uint32_t code = qvAPIGetLastError();
        return call.Failed(code, kWalkerFailed, call.function(), code);
    }
    EndKeepIdJobFind(block);
    return 1;
}

}  // namespace qvp::jobs

using namespace qvp::jobs;

namespace {
constexpr char kKeepException[] = "%s : Exception Occured : ErrorCode = 0x%8.8x";
constexpr char kKeepNextEnd[] = "%s END :Code = %d";
using qvp::EndStyle;
using qvp::FrameTexts;
const FrameTexts kFirstIdTexts{"qvAPIFindFirstIDJob", EndStyle::Hex, "", nullptr, text::kLogicalError};
const FrameTexts kFirstIdExTexts{"qvAPIFindFirstIDJobEx", EndStyle::Hex, "", nullptr, text::kLogicalError};
const FrameTexts kNextIdTexts{"qvAPIFindNextIDJob", EndStyle::Decimal, "", nullptr, text::kLogicalError};
const FrameTexts kNextIdExTexts{"qvAPIFindNextIDJobEx", EndStyle::Decimal, "", nullptr, text::kLogicalError};
const FrameTexts kCloseIdTexts{"qvAPIFindCloseIDJob", EndStyle::Decimal, "", nullptr, text::kLogicalError};
const FrameTexts kCloseIdExTexts{"qvAPIFindCloseIDJobEx", EndStyle::Decimal, "", nullptr, text::kLogicalError};
const FrameTexts kFirstKeepTexts{"qvAPIFindFirstKeepIDJob", EndStyle::Hex, "", nullptr, kKeepException};
const FrameTexts kFirstKeepExTexts{"qvAPIFindFirstKeepIDJobEx", EndStyle::Hex, "", nullptr, kKeepException};
const FrameTexts kNextKeepTexts{"qvAPIFindNextKeepIDJob", EndStyle::Decimal, "", kKeepNextEnd, kKeepException};
const FrameTexts kNextKeepExTexts{"qvAPIFindNextKeepIDJobEx", EndStyle::Decimal, "", kKeepNextEnd, kKeepException};
const FrameTexts kCloseKeepTexts{"qvAPIFindCloseKeepIDJob", EndStyle::Decimal, "", nullptr, kKeepException};
const FrameTexts kCloseKeepExTexts{"qvAPIFindCloseKeepIDJobEx", EndStyle::Decimal, "", nullptr, kKeepException};
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

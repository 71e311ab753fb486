// The client ID job finders: the walk of a job folder (sub-folders and ID jobs, each job
// recounted from the side of its member clients), the member clients of one ID job, and the
// package records of one ID job for one node. The counting and the walks over one job are the
// ID-job workers'; here are the folder walk, the checks and the per-thread states.
#include "jobs/client_id_jobs.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>

#include "core/errors.h"
#include "core/handles.h"
#include "jobgen/jobgen_file.h"
#include "jobs/id_job_common.h"
#include "jobs/job_records.h"
#include "jobs/job_texts.h"
#include "jobs/job_walks.h"
#include "jobs/jobexec_file.h"
#include "platform/win.h"
#include "records/records.h"

namespace qvp::jobs {

namespace {

using idjob::FolderOfTree;
using idjob::IdJobDirectory;
using idjob::kSelectFailedText;
using idjob::Text;

constexpr int kFolder = 3;
constexpr int kJob = 4;
constexpr int kIdJob = 5;
constexpr uint32_t kAdmitPlainJobs = 4;  // dwJobKindOption
constexpr size_t kIdMax = 32;
constexpr size_t kLongNode = 64;  // node paths from this length need the Ex worker

constexpr char kWalkStart[] = "%s START : lpFolderPath = %s";
constexpr char kWalkRecordNull[] = "%s : lpFindJobData Pointer is NULL";
constexpr char kWalkNoFolder[] = "%s : wcFolderPath NO Folder";
constexpr char kWalkFirstFailed[] = "%s : qvAPIFindNextClientIDJob : ErrorCode = 0x%8.8x";
constexpr char kWalkNextRecordNull[] = "%s : Parameter Err : FindJobData Pointer is NULL";
constexpr char kFindFirstFile[] = "%s : FindFirstFile : ErrorCode = %d";
constexpr char kFindNextFile[] = "%s : FindNextFile : ErrorCode = %d";
constexpr char kTallyFailed[] = "%s : qvpAPIGetIDJobCountNode Err";
constexpr char kWalkClose[] = "%s : Parameter Err : ErrorCode = %d";
constexpr char kNodeStart[] = "%s START : lpJobNo = %s : lpFolderPath = %s";
constexpr char kPackageStart[] = "%s START :lpJobNo = %s:lpNodePath = %s:lpFolderPath = %s";
constexpr char kHandleStart[] = "%s START : hFindJob = 0x%8.8x";
constexpr char kPackageCloseStart[] = "%s START :hFindJob = 0x%8.8x";
constexpr char kFolderNg[] = "%s : lpFolderPath is NG";
constexpr char kJobNoNull[] = "%s : lpJobNo is NULL";
constexpr char kNodePathNull[] = "%s : lpNodePath is NULL";
constexpr char kIdNg[] = "%s : lpID is NG";
constexpr char kNodeRecordNull[] = "%s : lpFindNodeJobData Pointer is NULL";
constexpr char kPackageRecordNull[] = "%s : lpFindPackageJobData Pointer is NULL";
constexpr char kSelectNode[] = "%s : qvAPISelectFile Error : wdSetError = 0x%8.8x";
constexpr char kWorkerFirst[] = "%s : qvpAPIGetIDJobPackage Err = 0x%8.8x";
constexpr char kWorkerFailed[] = "%s : qvpAPIGetIDJobPackage Error = 0x%8.8x";

unsigned HandleValue(const void* handle) { return static_cast<unsigned>(reinterpret_cast<uintptr_t>(handle)); }

bool IsFolder(QVPAPI& block, const std::string& path) {
    win::WIN32_FIND_DATAA data{};
    return jobgen::SelectFile(block, path, data) == kFolder;
}

// ---- the folder walk

struct ClientIdJobWalk {
    FindWalk walk;       // not valid until the first entry is read
    std::string folder;  // full path of the folder walked
    uint32_t option = 0;
};

void EndClientIdJobWalk(QVPAPI& block) {
    delete static_cast<ClientIdJobWalk*>(block.clientIdJobFind);
    block.clientIdJobFind = nullptr;
}

// Reads entries until one is reported: a folder by its name, a job with its recounted head.
// 0, or the API code (0x20000103 at the end of the folder).
uint32_t NextClientEntry(CallContext& call, ClientIdJobWalk& state, QVAPI_JOB* out) {
    QVPAPI& block = call.block();
    win::WIN32_FIND_DATAA data{};
    for (;;) {
        if (!state.walk.valid()) {
            state.walk = FindWalk(state.folder + "\\*.*", data);
            if (!state.walk.valid()) {
                call.Log(kFindFirstFile, call.function(), static_cast<int>(win::GetLastError()));
                return QVAPI_ERR_RESOURCE;
            }
        } else if (!state.walk.Next(data)) {
            const win::DWORD error = win::GetLastError();
            if (error == win::ERROR_NO_MORE_FILES) return QVAPI_ERR_NO_MORE_ITEMS;
            call.Log(kFindNextFile, call.function(), static_cast<int>(error));
            return QVAPI_ERR_RESOURCE;
        }
        const char* name = data.cFileName;
        if (std::strcmp(name, ".") == 0 || std::strcmp(name, "..") == 0 || std::strcmp(name, kIndexFolder) == 0)
            continue;
        const std::string path = state.folder + "\\" + name;
        win::WIN32_FIND_DATAA inner{};
        int kind = jobgen::SelectFile(block, path, inner);
        if (kind < 0 && IsUnreachableFolder(data)) kind = kFolder;
        if (kind == kFolder) {
            // The name field holds 64 bytes: a longer folder name is cut and stays terminated.
            std::memcpy(out->szJobName, name, std::min(std::strlen(name), sizeof out->szJobName - 1));
            out->dwKind = kFolder;
            return 0;
        }
        if (kind == kJob && state.option != kAdmitPlainJobs) continue;
        if (kind == kJob || kind == kIdJob) {
            const std::string file = path + "\\" + kJobExecFileName;
            if (qvpAPIGetIDJobCountNode(&block, kTallyMembers, file.c_str(), nullptr, nullptr, nullptr, nullptr, out,
                                        nullptr) != 1) {
                const uint32_t code = qvAPIGetLastError();
                call.Log(kTallyFailed, call.function());
                return code;
            }
            out->dwKind = static_cast<uint32_t>(kind);
            return 0;
        }
        const uint32_t error = win::GetLastError();
        call.Log(text::kSelectErrno, call.function(), static_cast<int>(error));
        return SelectFailureCode(error);
    }
}

// ---- the walker states of the client-node and client-package finders

struct ClientWalker {
    void* handle = nullptr;  // the worker keeps its own state here between steps
    bool longNode = false;   // package walks: the node path needs the Ex worker
    alignas(8) unsigned char work[QVAPI_PACKAGE_JOB_SIZE] = {};  // node-job or package-job record
};

int Walk(QVPAPI& block, ClientWalker& state, bool ex, uint32_t mode, const char* directory, const char* id,
         const char* node, void* nodeJob, QVAPI_PACKAGE_JOB* packageJob, uint32_t param1, uint32_t param2) {
    if (ex)
        return qvpAPIGetIDJobPackageEx(&block, &state.handle, mode, directory, id, node, nullptr, nullptr,
                                       static_cast<QVAPI_NODE_JOB_EX*>(nodeJob), packageJob, param1, param2);
    return qvpAPIGetIDJobPackage(&block, &state.handle, mode, directory, id, node, nullptr, nullptr,
                                 static_cast<QVAPI_NODE_JOB*>(nodeJob), packageJob, param1, param2);
}

// Ends a walker state, its worker state with it (the close step drains what a step left open).
// false, with the worker's code left as last error, when that close step failed.
bool ReleaseWalker(QVPAPI& block, ClientWalker* state, uint32_t closeMode) {
    if (state == nullptr) return true;
    const bool closed = state->handle == nullptr ||
                        Walk(block, *state, false, closeMode, nullptr, nullptr, nullptr, nullptr, nullptr, 0, 0) == 1;
    delete state;
    return closed;
}

void EndClientNodeWalk(QVPAPI& block) {
    ReleaseWalker(block, static_cast<ClientWalker*>(std::exchange(block.clientNodeIdJobFind, nullptr)),
                  kWalkMemberClose);
}

void EndClientPackageWalk(QVPAPI& block) {
    ReleaseWalker(block, static_cast<ClientWalker*>(std::exchange(block.clientPackageIdJobFind, nullptr)),
                  kWalkPackageClose);
}

// When the session ends its walks go without a word to the manager.
void FreeWalkerSlot(void*& slot) {
    auto* state = static_cast<ClientWalker*>(std::exchange(slot, nullptr));
    if (state == nullptr) return;
    FreeIdJobWalk(&state->handle);
    delete state;
}
void FreeClientNodeWalk(QVPAPI& block) { FreeWalkerSlot(block.clientNodeIdJobFind); }
void FreeClientPackageWalk(QVPAPI& block) { FreeWalkerSlot(block.clientPackageIdJobFind); }

void RegisterRelease() {
    static std::once_flag once;
    std::call_once(once, [] {
        qvpRegisterSessionReleaseHook(&EndClientIdJobWalk);
        qvpRegisterSessionReleaseHook(&FreeClientNodeWalk);
        qvpRegisterSessionReleaseHook(&FreeClientPackageWalk);
    });
}

// The state in a family's slot when `handle` is the calling thread's block; else the call
// fails with 0x20000006, without a line.
template <class State>
State* StateOf(CallContext& call, const void* handle, void* slot) {
    if (qvpIsOwnBlock(handle) && slot != nullptr) return static_cast<State*>(slot);
    call.Fail(QVAPI_ERR_INVALID_HANDLE);
    return nullptr;
}

QVPAPI_HANDLE Refused(CallContext& call, const char* text, uint32_t code = QVAPI_ERR_INVALID_PARAMETER) {
    Refuse(call, text, code);
    return QVPAPI_INVALID_HANDLE;
}

void CopyNodeJob(QVPAPI& block, bool ex, void* out, const void* work) {
    const int slot = ex ? kSlotNodeJobEx : kSlotNodeJob;
    const size_t whole = ex ? QVAPI_NODE_JOB_EX_SIZE : QVAPI_NODE_JOB_SIZE;
    size_t size = block.recordSizes[slot];
    if (size == 0 || size > whole) size = whole;
    (ex ? qvpAPICopyNodeJobDataEx : qvpAPICopyNodeJobData)(block.apiLevel, out, work, size);
}

void CopyPackageJob(QVPAPI& block, void* out, const void* work) {
    size_t size = block.recordSizes[kSlotPackageJob];
    if (size == 0 || size > QVAPI_PACKAGE_JOB_SIZE) size = QVAPI_PACKAGE_JOB_BASE_SIZE;
    std::memcpy(out, work, size);
}

// A failed worker step: its code, logged under the caller's name.
int WorkerFailed(CallContext& call, const char* text) {
    const uint32_t code = qvAPIGetLastError();
    call.Log(text, call.function(), code);
    call.Fail(code);
    return 0;
}

}  // namespace

QVPAPI_HANDLE FindFirstClientIDJob(CallContext& call, JobTree tree, const char* lpFolderPath,
                                   QVAPI_JOB* lpFindJobData, uint32_t dwJobKindOption,
                                   int (*next)(QVPAPI_HANDLE, QVAPI_JOB*, uint32_t, uint32_t)) {
    RegisterRelease();
    QVPAPI& block = call.block();
    call.Log(kWalkStart, call.function(), Text(lpFolderPath));
    // The local engine's execution cursor of an earlier walk must not answer this one.
    qvpAPIFrlsCommandLocal(&block);
    // One walk per thread, whichever tree it is on: a new one ends the running one and its
    // listing, also when it fails.
    EndClientIdJobWalk(block);
    if (lpFindJobData == nullptr) return Refused(call, kWalkRecordNull);
    auto state = std::make_unique<ClientIdJobWalk>();
    state->option = dwJobKindOption;
    if (!FolderOfTree(tree, lpFolderPath, state->folder) || !IsFolder(block, state->folder))
        return Refused(call, kWalkNoFolder);
    block.clientIdJobFind = state.release();
    if (next(&block, lpFindJobData, 0, 0) != 1) {
        const uint32_t code = qvAPIGetLastError();
        call.Log(kWalkFirstFailed, call.function(), code);
        EndClientIdJobWalk(block);
        call.Fail(code);
        return QVPAPI_INVALID_HANDLE;
    }
    return &block;
}

int FindNextClientIDJob(CallContext& call, QVPAPI_HANDLE hFindJob, QVAPI_JOB* lpFindJobData) {
    auto* state = StateOf<ClientIdJobWalk>(call, hFindJob, call.block().clientIdJobFind);
    if (state == nullptr) return 0;
    if (lpFindJobData == nullptr) {
        Refuse(call, kWalkNextRecordNull, QVAPI_ERR_INVALID_PARAMETER);
        return 0;
    }
    std::memset(lpFindJobData, 0, sizeof *lpFindJobData);
    if (const uint32_t code = NextClientEntry(call, *state, lpFindJobData)) {
        call.Fail(code);
        return 0;
    }
    return 1;
}

int FindCloseClientIDJob(CallContext& call, QVPAPI_HANDLE hFindJob) {
    QVPAPI& block = call.block();
    auto* state = StateOf<ClientIdJobWalk>(call, hFindJob, block.clientIdJobFind);
    if (state == nullptr) return 0;
    const bool closed = state->walk.Close();
    EndClientIdJobWalk(block);
    if (closed) return 1;
    call.Log(kWalkClose, call.function(), static_cast<int>(win::GetLastError()));
    call.Fail(QVAPI_ERR_RESOURCE);
    return 0;
}

QVPAPI_HANDLE FindFirstClientNodeIDJob(CallContext& call, JobTree tree, bool ex, const char* lpFolderPath,
                                       const char* lpJobNo, void* lpFindNodeJobData, uint32_t dwJobKindOption) {
    RegisterRelease();
    QVPAPI& block = call.block();
    call.Log(kNodeStart, call.function(), Text(lpJobNo), Text(lpFolderPath));
    EndClientNodeWalk(block);
    if (lpJobNo == nullptr || lpJobNo[0] == '\0') return Refused(call, kJobNoNull);
    if (lpFindNodeJobData == nullptr) return Refused(call, kNodeRecordNull);
    auto state = std::make_unique<ClientWalker>();
    std::string directory;
    if (const uint32_t code =
            IdJobDirectory(call, tree, lpFolderPath, lpJobNo, dwJobKindOption == kAdmitPlainJobs, kSelectNode, directory)) {
        call.Fail(code);
        return QVPAPI_INVALID_HANDLE;
    }
    if (Walk(block, *state, ex, kWalkMemberFirst, directory.c_str(), nullptr, nullptr, state->work, nullptr, 0, 0) !=
        1) {
        WorkerFailed(call, kWorkerFirst);
        ReleaseWalker(block, state.release(), kWalkMemberClose);
        return QVPAPI_INVALID_HANDLE;
    }
    CopyNodeJob(block, ex, lpFindNodeJobData, state->work);
    block.clientNodeIdJobFind = state.release();
    return &block;
}

int FindNextClientNodeIDJob(CallContext& call, bool ex, QVPAPI_HANDLE hFindJob, void* lpFindNodeJobData) {
    QVPAPI& block = call.block();
    call.Log(kHandleStart, call.function(), HandleValue(hFindJob));
    auto* state = StateOf<ClientWalker>(call, hFindJob, block.clientNodeIdJobFind);
    if (state == nullptr) return 0;
    if (lpFindNodeJobData == nullptr) {
        Refuse(call, kNodeRecordNull, QVAPI_ERR_INVALID_PARAMETER);
        return 0;
    }
    std::memset(state->work, 0, ex ? QVAPI_NODE_JOB_EX_SIZE : QVAPI_NODE_JOB_SIZE);
    if (Walk(block, *state, ex, kWalkMemberNext, nullptr, nullptr, nullptr, state->work, nullptr, 0, 0) != 1)
        return WorkerFailed(call, kWorkerFailed);
    CopyNodeJob(block, ex, lpFindNodeJobData, state->work);
    return 1;
}

int FindCloseClientNodeIDJob(CallContext& call, QVPAPI_HANDLE hFindJob) {
    QVPAPI& block = call.block();
    call.Log(kHandleStart, call.function(), HandleValue(hFindJob));
    auto* state = StateOf<ClientWalker>(call, hFindJob, block.clientNodeIdJobFind);
    if (state == nullptr) return 0;
    block.clientNodeIdJobFind = nullptr;
    // The state goes whatever the close step gives: its slot is empty already.
    if (!ReleaseWalker(block, state, kWalkMemberClose)) return WorkerFailed(call, kWorkerFailed);
    return 1;
}

QVPAPI_HANDLE FindFirstClientPackageIDJob(CallContext& call, JobTree tree, bool withId, const char* lpFolderPath,
                                          const char* lpJobNo, const char* lpNodePath, const char* lpID,
                                          QVAPI_PACKAGE_JOB* lpFindPackageJobData, uint32_t dwParam1,
                                          uint32_t dwParam2) {
    RegisterRelease();
    QVPAPI& block = call.block();
    if (!withId) call.Log(kPackageStart, call.function(), Text(lpJobNo), Text(lpNodePath), Text(lpFolderPath));
    EndClientPackageWalk(block);
    const bool hasId = withId && lpID != nullptr && lpID[0] != '\0';
    const char* refusal =
        lpFolderPath != nullptr && lpFolderPath[0] != '\0' && lpFolderPath[0] != '\\' && lpFolderPath[0] != '/'
            ? kFolderNg
        : lpJobNo == nullptr || lpJobNo[0] == '\0'       ? kJobNoNull
        : lpNodePath == nullptr || lpNodePath[0] == '\0' ? kNodePathNull
        : lpFindPackageJobData == nullptr                ? kPackageRecordNull
        // The ID text is "%" and at most 32 characters: the worker compares no more.
        : hasId && std::strlen(lpID) > kIdMax ? kIdNg
                                              : nullptr;
    if (refusal != nullptr) return Refused(call, refusal);
    std::string directory;
    if (const uint32_t code =
            IdJobDirectory(call, tree, lpFolderPath, lpJobNo, dwParam1 == kAdmitPlainJobs, kSelectFailedText,
                           directory)) {
        call.Fail(code);
        return QVPAPI_INVALID_HANDLE;
    }
    const std::string id = hasId ? std::string("%") + lpID : std::string();
    auto state = std::make_unique<ClientWalker>();
    state->longNode = std::strlen(lpNodePath) >= kLongNode;
    auto* record = reinterpret_cast<QVAPI_PACKAGE_JOB*>(state->work);
    if (Walk(block, *state, state->longNode, kWalkPackageFirst, directory.c_str(), hasId ? id.c_str() : nullptr,
             lpNodePath, nullptr, record, dwParam1, dwParam2) != 1) {
        WorkerFailed(call, kWorkerFailed);
        ReleaseWalker(block, state.release(), kWalkPackageClose);
        return QVPAPI_INVALID_HANDLE;
    }
    CopyPackageJob(block, lpFindPackageJobData, state->work);
    block.clientPackageIdJobFind = state.release();
    return &block;
}

int FindNextClientPackageIDJob(CallContext& call, QVPAPI_HANDLE hFindJob, QVAPI_PACKAGE_JOB* lpFindPackageJobData,
                               uint32_t dwParam1, uint32_t dwParam2) {
    QVPAPI& block = call.block();
    call.Log(kHandleStart, call.function(), HandleValue(hFindJob));
    auto* state = StateOf<ClientWalker>(call, hFindJob, block.clientPackageIdJobFind);
    if (state == nullptr) return 0;
    if (lpFindPackageJobData == nullptr) {
        Refuse(call, kPackageRecordNull, QVAPI_ERR_INVALID_PARAMETER);
        return 0;
    }
    std::memset(state->work, 0, sizeof state->work);
    // A long node path, or a long name the previous record left, needs the worker's long names.
    const bool ex = state->longNode || block.packageJobData != nullptr;
    auto* record = reinterpret_cast<QVAPI_PACKAGE_JOB*>(state->work);
    if (Walk(block, *state, ex, kWalkPackageNext, nullptr, nullptr, nullptr, nullptr, record, dwParam1, dwParam2) != 1)
        return WorkerFailed(call, kWorkerFailed);
    CopyPackageJob(block, lpFindPackageJobData, state->work);
    return 1;
}

int FindCloseClientPackageIDJob(CallContext& call, QVPAPI_HANDLE hFindJob, uint32_t, uint32_t) {
    QVPAPI& block = call.block();
    call.Log(kPackageCloseStart, call.function(), HandleValue(hFindJob));
    auto* state = StateOf<ClientWalker>(call, hFindJob, block.clientPackageIdJobFind);
    if (state == nullptr) return 0;
    block.clientPackageIdJobFind = nullptr;
    if (!ReleaseWalker(block, state, kWalkPackageClose)) return WorkerFailed(call, kWorkerFailed);
    return 1;
}

}  // namespace qvp::jobs

using namespace qvp::jobs;

namespace {

constexpr char kLogicalErr[] = "%s : Logical Err : ErrorCode = 0x%8.8x";
constexpr char kLogicalErrClose[] = "%s: Logical Err : ErrorCode = 0x%8.8x";
constexpr char kExceptionOccured[] = "%s : Exception Occured : ErrorCode = 0x%8.8x";

}  // namespace

namespace qvp::jobs {

// The frames of the client ID job families: "" leaves the opening line to the body, which
// names its arguments.
FrameTexts ClientWalkFrame(const char* name, EndStyle end, bool bodyStarts, bool close) {
    return FrameTexts{name, end, bodyStarts ? "" : nullptr, nullptr, close ? kLogicalErrClose : kLogicalErr};
}
FrameTexts ClientWalkerFrame(const char* name, EndStyle end) {
    return FrameTexts{name, end, "", nullptr, kExceptionOccured};
}

}  // namespace qvp::jobs

extern "C" QVPAPI_EXPORT QVPAPI_HANDLE qvAPIFindFirstClientIDJob(const char* lpFolderPath, QVAPI_JOB* lpFindJobData,
                                                                 uint32_t dwJobKindOption, uint32_t) {
    static const qvp::FrameTexts texts = ClientWalkFrame("qvAPIFindFirstClientIDJob", qvp::EndStyle::Hex, true, false);
    return qvp::RunApi(texts, QVPAPI_INVALID_HANDLE, [&](qvp::CallContext& call) {
        return FindFirstClientIDJob(call, JobTree::JobExec, lpFolderPath, lpFindJobData, dwJobKindOption,
                                    qvAPIFindNextClientIDJob);
    });
}

extern "C" QVPAPI_EXPORT int qvAPIFindNextClientIDJob(QVPAPI_HANDLE hFindJob, QVAPI_JOB* lpFindJobData, uint32_t,
                                                      uint32_t) {
    static const qvp::FrameTexts texts =
        ClientWalkFrame("qvAPIFindNextClientIDJob", qvp::EndStyle::Decimal, false, false);
    return qvp::RunApi(texts, 0, [&](qvp::CallContext& call) { return FindNextClientIDJob(call, hFindJob, lpFindJobData); });
}

extern "C" QVPAPI_EXPORT int qvAPIFindCloseClientIDJob(QVPAPI_HANDLE hFindJob, uint32_t, uint32_t) {
    static const qvp::FrameTexts texts = ClientWalkFrame("qvAPIFindCloseClientIDJob", qvp::EndStyle::Decimal, false, true);
    return qvp::RunApi(texts, 0, [&](qvp::CallContext& call) { return FindCloseClientIDJob(call, hFindJob); });
}

extern "C" QVPAPI_EXPORT QVPAPI_HANDLE qvAPIFindFirstClientNodeIDJob(const char* lpFolderPath, const char* lpJobNo,
                                                                     QVAPI_NODE_JOB* lpFindNodeJobData,
                                                                     uint32_t dwJobKindOption, uint32_t) {
    static const qvp::FrameTexts texts = ClientWalkerFrame("qvAPIFindFirstClientNodeIDJob", qvp::EndStyle::Hex);
    return qvp::RunApi(texts, QVPAPI_INVALID_HANDLE, [&](qvp::CallContext& call) {
        return FindFirstClientNodeIDJob(call, JobTree::JobExec, false, lpFolderPath, lpJobNo, lpFindNodeJobData,
                                        dwJobKindOption);
    });
}

extern "C" QVPAPI_EXPORT int qvAPIFindNextClientNodeIDJob(QVPAPI_HANDLE hFindJob, QVAPI_NODE_JOB* lpFindNodeJobData,
                                                          uint32_t, uint32_t) {
    static const qvp::FrameTexts texts = ClientWalkerFrame("qvAPIFindNextClientNodeIDJob", qvp::EndStyle::Hex);
    return qvp::RunApi(texts, 0, [&](qvp::CallContext& call) {
        return FindNextClientNodeIDJob(call, false, hFindJob, lpFindNodeJobData);
    });
}

extern "C" QVPAPI_EXPORT int qvAPIFindCloseClientNodeIDJob(QVPAPI_HANDLE hFindJob, uint32_t, uint32_t) {
    static const qvp::FrameTexts texts = ClientWalkerFrame("qvAPIFindCloseClientNodeIDJob", qvp::EndStyle::Hex);
    return qvp::RunApi(texts, 0, [&](qvp::CallContext& call) { return FindCloseClientNodeIDJob(call, hFindJob); });
}

extern "C" QVPAPI_EXPORT QVPAPI_HANDLE qvAPIFindFirstClientNodeIDJobEx(const char* lpFolderPath, const char* lpJobNo,
                                                                       QVAPI_NODE_JOB_EX* lpFindNodeJobData,
                                                                       uint32_t dwJobKindOption, uint32_t) {
    static const qvp::FrameTexts texts = ClientWalkerFrame("qvAPIFindFirstClientNodeIDJobEx", qvp::EndStyle::Hex);
    return qvp::RunApi(texts, QVPAPI_INVALID_HANDLE, [&](qvp::CallContext& call) {
        return FindFirstClientNodeIDJob(call, JobTree::JobExec, true, lpFolderPath, lpJobNo, lpFindNodeJobData,
                                        dwJobKindOption);
    });
}

extern "C" QVPAPI_EXPORT int qvAPIFindNextClientNodeIDJobEx(QVPAPI_HANDLE hFindJob,
                                                            QVAPI_NODE_JOB_EX* lpFindNodeJobData, uint32_t, uint32_t) {
    static const qvp::FrameTexts texts = ClientWalkerFrame("qvAPIFindNextClientNodeIDJobEx", qvp::EndStyle::Hex);
    return qvp::RunApi(texts, 0, [&](qvp::CallContext& call) {
        return FindNextClientNodeIDJob(call, true, hFindJob, lpFindNodeJobData);
    });
}

extern "C" QVPAPI_EXPORT int qvAPIFindCloseClientNodeIDJobEx(QVPAPI_HANDLE hFindJob, uint32_t, uint32_t) {
    static const qvp::FrameTexts texts = ClientWalkerFrame("qvAPIFindCloseClientNodeIDJobEx", qvp::EndStyle::Hex);
    return qvp::RunApi(texts, 0, [&](qvp::CallContext& call) { return FindCloseClientNodeIDJob(call, hFindJob); });
}

extern "C" QVPAPI_EXPORT QVPAPI_HANDLE qvAPIFindFirstClientPackageIDJob(const char* lpFolderPath, const char* lpJobNo,
                                                                        const char* lpNodePath,
                                                                        QVAPI_PACKAGE_JOB* lpFindPackageJobData,
                                                                        uint32_t dwJobKindOption, uint32_t dwParam6) {
    static const qvp::FrameTexts texts = ClientWalkerFrame("qvAPIFindFirstClientPackageIDJob", qvp::EndStyle::Hex);
    return qvp::RunApi(texts, QVPAPI_INVALID_HANDLE, [&](qvp::CallContext& call) {
        return FindFirstClientPackageIDJob(call, JobTree::JobExec, false, lpFolderPath, lpJobNo, lpNodePath, nullptr,
                                           lpFindPackageJobData, dwJobKindOption, dwParam6);
    });
}

extern "C" QVPAPI_EXPORT int qvAPIFindNextClientPackageIDJob(QVPAPI_HANDLE hFindJob,
                                                             QVAPI_PACKAGE_JOB* lpFindPackageJobData,
                                                             uint32_t dwParam3, uint32_t dwParam4) {
    static const qvp::FrameTexts texts = ClientWalkerFrame("qvAPIFindNextClientPackageIDJob", qvp::EndStyle::Decimal);
    return qvp::RunApi(texts, 0, [&](qvp::CallContext& call) {
        return FindNextClientPackageIDJob(call, hFindJob, lpFindPackageJobData, dwParam3, dwParam4);
    });
}

extern "C" QVPAPI_EXPORT int qvAPIFindCloseClientPackageIDJob(QVPAPI_HANDLE hFindJob, uint32_t dwParam2,
                                                              uint32_t dwParam3) {
    static const qvp::FrameTexts texts = ClientWalkerFrame("qvAPIFindCloseClientPackageIDJob", qvp::EndStyle::Decimal);
    return qvp::RunApi(texts, 0, [&](qvp::CallContext& call) {
        return FindCloseClientPackageIDJob(call, hFindJob, dwParam2, dwParam3);
    });
}

extern "C" QVPAPI_EXPORT QVPAPI_HANDLE qvAPIFindFirstClientPackageIDJobEx(const char* lpFolderPath,
                                                                          const char* lpJobNo, const char* lpNodePath,
                                                                          const char* lpID,
                                                                          QVAPI_PACKAGE_JOB* lpFindPackageJobData,
                                                                          uint32_t dwJobKindOption, uint32_t dwParam7) {
    static const qvp::FrameTexts texts = ClientWalkerFrame("qvAPIFindFirstClientPackageIDJobEx", qvp::EndStyle::Hex);
    return qvp::RunApi(texts, QVPAPI_INVALID_HANDLE, [&](qvp::CallContext& call) {
        return FindFirstClientPackageIDJob(call, JobTree::JobExec, true, lpFolderPath, lpJobNo, lpNodePath, lpID,
                                           lpFindPackageJobData, dwJobKindOption, dwParam7);
    });
}

extern "C" QVPAPI_EXPORT int qvAPIFindNextClientPackageIDJobEx(QVPAPI_HANDLE hFindJob,
                                                               QVAPI_PACKAGE_JOB* lpFindPackageJobData,
                                                               uint32_t dwParam3, uint32_t dwParam4) {
    return qvAPIFindNextClientPackageIDJob(hFindJob, lpFindPackageJobData, dwParam3, dwParam4);
}

extern "C" QVPAPI_EXPORT int qvAPIFindCloseClientPackageIDJobEx(QVPAPI_HANDLE hFindJob, uint32_t dwParam2,
                                                                uint32_t dwParam3) {
    return qvAPIFindCloseClientPackageIDJob(hFindJob, dwParam2, dwParam3);
}

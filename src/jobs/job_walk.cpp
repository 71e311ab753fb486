// The job walk over one folder of the job store, a job found by its number through the QVFOLDER
// index, and the deletion of a folder tree's jobs through the manager.
#include <algorithm>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>

#include "core/errors.h"
#include "core/frame.h"
#include "core/handles.h"
#include "core/paths.h"
#include "jobgen/jobgen_file.h"
#include "jobs/id_jobs.h"
#include "jobs/job_records.h"
#include "jobs/job_texts.h"
#include "jobs/job_walks.h"
#include "jobs/jobexec_file.h"
#include "jobs/site_id_jobs.h"
#include "platform/win.h"

namespace qvp::jobs {

namespace {

constexpr int kFolder = 3;
constexpr int kJob = 4;
constexpr int kIdJob = 5;
constexpr uint32_t kForceDelete = 0xFFFF;  // the "F" kind of the delete request

constexpr char kRecordNull[] = "%s : Logical Error : FindJobData Pointer is NULL";
constexpr char kGetJobFailed[] = "%s : qvAPIGetJob Error : errno = %d";
// The walk's own steps log under the names they have always carried, whichever call walks.
constexpr char kFirstName[] = "qvpAPIFindFirstJobGen";
constexpr char kNextName[] = "qvpAPIFindNextJob";
constexpr char kCloseName[] = "qvpAPIFindCloseJobGen";
constexpr char kFindFirstFile[] = "%s : FindFirstFile : ErrorCode = %d";
constexpr char kFindNextFile[] = "%s : FindNextFile : ErrorCode = %d";
constexpr char kFindClose[] = "%s : Logical Error : ErrorCode = %d";
constexpr char kJobNoNull[] = "%s : INVALID PARAMETER lpJobNo is NULL";
constexpr char kFindDataNull[] = "%s : INVALID PARAMETER lpFindJobData is NULL";
constexpr char kFindJobStart[] = "%s START : lpJobNo = %s";
constexpr char kFindJobGetJob[] = "%s : qvAPIGetJob 0x%08x";
constexpr char kFindJobPath[] = "%s : %s";
constexpr char kFolderNull[] = "%s : Logical Error : Folder Name Pointer is NULL";
constexpr char kFolderEmpty[] = "%s : Logical Error : Top of Folder Name is NULL";
constexpr char kFolderInvalid[] = "%s : Logical Error : Folder Name is INVALID : name = %s";
constexpr char kDeleteJobFailed[] = "%s : qvAPIDeleteJob Error : errno = %d";
constexpr char kDeleteSiteJobFailed[] = "%s : qvAPIDeleteSiteJob Error : errno = %d";
constexpr char kSubFolderFailed[] = "%s : %s Error : errno = %d";
constexpr char kRemoveDirectory[] = "%s : RemoveDirectory Error : errno = %d";
constexpr char kInternal[] = "%s : Internal Error : errno = %d";

std::string JobExecRoot() {
    char root[win::MAX_PATH + 1] = {};
    qvpMakeMngflJobExecPath(root);
    return root;
}

bool IsSeparator(char c) { return c == '\\' || c == '/'; }

// A folder path as callers give it: the top (NULL, "" or one character) or "\" and levels.
bool FolderOf(const char* folder, std::string& out) {
    out.clear();
    if (folder == nullptr || std::strlen(folder) <= 1) return true;
    out = folder;
    return IsSeparator(out.front()) && !HasDotLevel(out);
}

bool IsDots(const char* name) { return std::strcmp(name, ".") == 0 || std::strcmp(name, "..") == 0; }

// One folder being walked.
struct JobWalk {
    FindWalk walk;
    std::string full;    // <JOBEXEC><folder>
    std::string folder;  // as the caller gave it; empty for the top
};

void EndJobWalk(QVPAPI& block) {
    delete static_cast<JobWalk*>(block.jobWalk);
    block.jobWalk = nullptr;
}

void RegisterRelease() {
    static std::once_flag once;
    std::call_once(once, [] { qvpRegisterSessionReleaseHook(&EndJobWalk); });
}

// The record of one listed entry: a folder by name, a job from its recounted head.
uint32_t FillEntry(CallContext& call, const JobWalk& walk, const win::WIN32_FIND_DATAA& entry, QVAPI_JOB* out) {
    QVPAPI& block = call.block();
    const char* name = entry.cFileName;
    win::WIN32_FIND_DATAA inner{};
    int kind = jobgen::SelectFile(block, walk.full + "\\" + name, inner);
    if (kind < 0 && IsUnreachableFolder(entry)) kind = kFolder;
    if (kind < 0) {
        const uint32_t error = win::GetLastError();
        call.Log(text::kSelectErrno, call.function(), static_cast<int>(error));
        return SelectFailureCode(error);
    }
    if (kind == kFolder) {
        // The record's name field is 64 bytes: a longer folder name is cut and stays terminated.
        const size_t length = std::min(std::strlen(name), sizeof out->szJobName - 1);
        std::memcpy(out->szJobName, name, length);
        out->dwKind = kFolder;
        return 0;
    }
    const std::string jobPath = walk.folder + "\\" + name;
    unsigned char head[kHeadSize];
    if (qvAPIGetJob(&block, jobPath.c_str(), head) == 0) {
        const uint32_t code = qvAPIGetLastError();
        call.Log(kGetJobFailed, call.function(), static_cast<int>(code));
        return code;
    }
    qvpAPICopyJobData(block.apiLevel, head, out, kind);
    return 0;
}

// Steps to the next entry that is not ".", ".." or the index folder and fills the record.
uint32_t NextEntry(CallContext& call, JobWalk& walk, win::WIN32_FIND_DATAA& data, bool fresh, QVAPI_JOB* out) {
    for (;; fresh = false) {
        if (!fresh && !walk.walk.Next(data)) {
            const win::DWORD error = win::GetLastError();
            if (error == win::ERROR_NO_MORE_FILES) return QVAPI_ERR_NO_MORE_ITEMS;
            call.Log(kFindNextFile, kNextName, static_cast<int>(error));
            return QVAPI_ERR_RESOURCE;
        }
        if (IsDots(data.cFileName) || std::strcmp(data.cFileName, kIndexFolder) == 0) continue;
        return FillEntry(call, walk, data, out);
    }
}

JobWalk* WalkOf(CallContext& call, const void* handle) {
    auto* walk = static_cast<JobWalk*>(call.block().jobWalk);
    if (qvpIsOwnBlock(handle) && walk != nullptr) return walk;
    call.Fail(QVAPI_ERR_INVALID_HANDLE);
    return nullptr;
}

// A tree whose folders can be deleted: its root and how one of its jobs is deleted.
struct DeletableTree {
    JobTree tree;
    int (*deleteJob)(const char* folder, const char* number, uint32_t option, uint32_t reserved);
    const char* deleteFailed;
};
constexpr DeletableTree kJobTree{JobTree::JobExec, qvAPIDeleteJob, kDeleteJobFailed};
constexpr DeletableTree kSiteTree{JobTree::SiteJob, qvAPIDeleteSiteJob, kDeleteSiteJobFailed};

// Deletes the jobs of one folder and of its sub-folders; `removeFolders` also removes the
// emptied folders. 0 or the code of the first failure.
uint32_t DeleteTree(CallContext& call, const DeletableTree& tree, const std::string& folder, uint32_t option,
                    bool removeFolders) {
    QVPAPI& block = call.block();
    const std::string full = JobTreeRoot(tree.tree) + folder;
    if (full.size() >= win::MAX_PATH) return QVAPI_ERR_INVALID_PARAMETER;
    win::WIN32_FIND_DATAA data{};
    if (jobgen::SelectFile(block, full, data) != kFolder) return QVAPI_ERR_INVALID_PARAMETER;
    FindWalk walk(full + "\\*.*", data);
    bool more = walk.valid();
    for (; more; more = walk.Next(data)) {
        // Only the names say which entries are the folder itself and its parent.
        if (IsDots(data.cFileName)) continue;
        const std::string name = data.cFileName;
        win::WIN32_FIND_DATAA inner{};
        const int kind = jobgen::SelectFile(block, full + "\\" + name, inner);
        if (kind < 0) {
            const uint32_t error = win::GetLastError();
            call.Log(text::kSelectErrno, call.function(), static_cast<int>(error));
            return SelectFailureCode(error);
        }
        if (kind == kJob || kind == kIdJob) {
            if (tree.deleteJob(folder.c_str(), name.c_str(), option, 0) == 0) {
                const uint32_t code = qvAPIGetLastError();
                call.Log(tree.deleteFailed, call.function(), static_cast<int>(code));
                return code;
            }
        } else if (kind == kFolder) {
            if (const uint32_t code = DeleteTree(call, tree, folder + "\\" + name, option, removeFolders)) {
                call.Log(kSubFolderFailed, call.function(), call.function(), static_cast<int>(code));
                return code;
            }
        }
    }
    const win::DWORD error = win::GetLastError();
    if (error != win::ERROR_NO_MORE_FILES) {
        call.Log(kInternal, call.function(), static_cast<int>(error));
        return QVAPI_ERR_UNEXPECTED_DATA;
    }
    walk.Close();
    if (removeFolders && win::RemoveDirectory(full.c_str()) == 0) {
        call.Log(kRemoveDirectory, call.function(), static_cast<int>(win::GetLastError()));
        return QVAPI_ERR_RESOURCE;
    }
    return 0;
}

int DeleteFolder(CallContext& call, const DeletableTree& tree, const char* upper, const char* name, uint32_t option,
                 bool removeFolders) {
    const char* refusal = name == nullptr ? kFolderNull : name[0] == '\0' ? kFolderEmpty : nullptr;
    // One level only: "..", or a name with a separator, would reach jobs outside the folder.
    if (refusal == nullptr && (IsDots(name) || std::strpbrk(name, "\\/") != nullptr)) refusal = kFolderInvalid;
    std::string folder;
    if (refusal == nullptr && upper != nullptr && IsSeparator(upper[0]) && std::strlen(upper) > 1 &&
        !FolderOf(upper, folder))
        refusal = kFolderInvalid;
    if (refusal != nullptr) {
        call.Log(refusal, call.function(), name == nullptr ? "" : name);
        call.Fail(QVAPI_ERR_INVALID_PARAMETER);
        return 0;
    }
    folder += "\\";
    folder += name;
    if (const uint32_t code = DeleteTree(call, tree, folder, option, removeFolders)) {
        call.Fail(code);
        return 0;
    }
    return 1;
}

}  // namespace


bool JobPathOf(CallContext& call, const char* folder, const char* jobNumber, std::string& jobPath) {
    std::string path;
    const bool valid = jobNumber != nullptr && jobNumber[0] != '\0' && std::strpbrk(jobNumber, "\\/") == nullptr &&
                       !IsDots(jobNumber) && FolderOf(folder, path);
    if (!valid) {
        call.Fail(QVAPI_ERR_INVALID_PARAMETER);
        return false;
    }
    jobPath = path + "\\" + jobNumber;
    return true;
}

void Refuse(CallContext& call, const char* text, uint32_t code) {
    call.Log(text, call.function());
    call.Fail(code);
}

// The site twin of qvAPIDeleteFolderJob: its jobs go with the plain delete kind.
int qvAPIDeleteSiteFolderJob(const char* lpFolderPath, const char* lpFolderName, uint32_t, uint32_t) {
    static constexpr FrameTexts texts{"qvAPIDeleteSiteFolderJob"};
    return RunApi(texts, 0, [&](CallContext& call) {
        return DeleteFolder(call, kSiteTree, lpFolderPath, lpFolderName, 0, true);
    });
}

bool IsUnreachableFolder(const win::WIN32_FIND_DATAA& entry) {
    return win::GetLastError() == win::ERROR_FILENAME_EXCED_RANGE &&
           (entry.dwFileAttributes & win::FILE_ATTRIBUTE_DIRECTORY) != 0 &&
           (entry.dwFileAttributes & win::FILE_ATTRIBUTE_REPARSE_POINT) == 0;
}

uint32_t SelectFailureCode(uint32_t error) {
    const bool absent = error == win::ERROR_FILE_NOT_FOUND || error == win::ERROR_PATH_NOT_FOUND ||
                        error == win::ERROR_SHARING_VIOLATION || error == QVAPI_ERR_NO_MORE_ITEMS;
    return absent ? QVAPI_ERR_NO_MORE_ITEMS : QVAPI_ERR_RESOURCE;
}

}  // namespace qvp::jobs

using namespace qvp::jobs;

extern "C" QVPAPI_EXPORT QVPAPI_HANDLE qvAPIFindFirstJob(const char* lpFolderPath, QVAPI_JOB* lpFindJobData,
                                                         uint32_t, uint32_t) {
    static const qvp::FrameTexts texts{"qvAPIFindFirstJob", qvp::EndStyle::Hex, nullptr, nullptr,
                                       "%s : Logical Error : ErrorCode = 0x%8.8x"};
    RegisterRelease();
    return qvp::RunApi(texts, QVPAPI_INVALID_HANDLE, [&](qvp::CallContext& call) -> QVPAPI_HANDLE {
        QVPAPI& block = call.block();
        if (lpFindJobData == nullptr) {
            Refuse(call, kRecordNull, QVAPI_ERR_INVALID_PARAMETER);
            return QVPAPI_INVALID_HANDLE;
        }
        std::memset(lpFindJobData, 0, sizeof *lpFindJobData);
        auto walk = std::make_unique<JobWalk>();
        win::WIN32_FIND_DATAA data{};
        if (!FolderOf(lpFolderPath, walk->folder) ||
            (walk->full = JobExecRoot() + walk->folder).size() >= win::MAX_PATH ||
            qvp::jobgen::SelectFile(block, walk->full, data) != kFolder) {
            call.Fail(QVAPI_ERR_INVALID_PARAMETER);
            return QVPAPI_INVALID_HANDLE;
        }
        // One walk per thread: a new one ends the running one and its listing.
        EndJobWalk(block);
        walk->walk = qvp::FindWalk(walk->full + "\\*.*", data);
        if (!walk->walk.valid()) {
            call.Log(kFindFirstFile, kFirstName, static_cast<int>(win::GetLastError()));
            call.Fail(QVAPI_ERR_RESOURCE);
            return QVPAPI_INVALID_HANDLE;
        }
        if (const uint32_t code = NextEntry(call, *walk, data, true, lpFindJobData)) {
            call.Fail(code);
            return QVPAPI_INVALID_HANDLE;
        }
        block.jobWalk = walk.release();
        return &block;
    });
}

extern "C" QVPAPI_EXPORT int qvAPIFindNextJob(QVPAPI_HANDLE hFindJob, QVAPI_JOB* lpFindJobData, uint32_t, uint32_t) {
    static const qvp::FrameTexts texts{"qvAPIFindNextJob", qvp::EndStyle::Decimal, "", "",
                                       "%s : Logical Error : ErrorCode = 0x%8.8x"};
    return qvp::RunApi(texts, 0, [&](qvp::CallContext& call) {
        JobWalk* walk = WalkOf(call, hFindJob);
        if (walk == nullptr) return 0;
        if (lpFindJobData == nullptr) {
            Refuse(call, kRecordNull, QVAPI_ERR_INVALID_PARAMETER);
            return 0;
        }
        std::memset(lpFindJobData, 0, sizeof *lpFindJobData);
        win::WIN32_FIND_DATAA data{};
        if (const uint32_t code = NextEntry(call, *walk, data, false, lpFindJobData)) {
            call.Fail(code);
            return 0;
        }
        return 1;
    });
}

extern "C" QVPAPI_EXPORT int qvAPIFindCloseJob(QVPAPI_HANDLE hFindJob, uint32_t, uint32_t) {
    static const qvp::FrameTexts texts{"qvAPIFindCloseJob"};
    return qvp::RunApi(texts, 0, [&](qvp::CallContext& call) {
        JobWalk* walk = WalkOf(call, hFindJob);
        if (walk == nullptr) return 0;
        const bool closed = walk->walk.Close();
        EndJobWalk(call.block());
        if (closed) return 1;
        // The walk is gone all the same; the failed close is only logged.
        call.Log(kFindClose, kCloseName, static_cast<int>(win::GetLastError()));
        call.Fail(0);
        return 0;
    });
}

extern "C" QVPAPI_EXPORT int qvAPIFindJob(const char* lpJobNo, QVAPI_JOB* lpFindJobData, uint32_t, uint32_t) {
    static const qvp::FrameTexts texts{"qvAPIFindJob", qvp::EndStyle::RcDc, "", "%s END : Code = %d Error = 0x%08x",
                                       "%s : EXCEPTION 0x%08x"};
    return qvp::RunApi(texts, 0, [&](qvp::CallContext& call) {
        if (lpJobNo == nullptr || lpFindJobData == nullptr) {
            call.Log(lpJobNo == nullptr ? kJobNoNull : kFindDataNull, call.function());
            call.Fail(QVAPI_ERR_INVALID_PARAMETER);
            return 0;
        }
        call.Log(kFindJobStart, call.function(), lpJobNo);
        QVPAPI& block = call.block();
        std::string jobPath;
        if (const uint32_t code = ReadJobExecPath(block, lpJobNo, jobPath)) {
            call.Log(kFindJobPath, call.function(), lpJobNo);
            call.Fail(code == QVAPI_ERR_INVALID_PARAMETER ? code : QVAPI_ERR_NO_MORE_ITEMS);
            return 0;
        }
        unsigned char head[kHeadSize];
        if (qvAPIGetJob(&block, jobPath.c_str(), head) == 0) {
            const uint32_t code = qvAPIGetLastError();
            call.Log(kFindJobGetJob, call.function(), code);
            call.Fail(code);
            return 0;
        }
        qvpAPICopyJobData(block.apiLevel, head, lpFindJobData, lpJobNo[0] == 'I' ? kIdJob : kJob);
        return 1;
    });
}

extern "C" QVPAPI_EXPORT int qvAPIDeleteFolderJob(const char* lpUpperFolderPath, const char* lpFolderName, uint32_t,
                                                  uint32_t) {
    static const qvp::FrameTexts texts{"qvAPIDeleteFolderJob"};
    return qvp::RunApi(texts, 0, [&](qvp::CallContext& call) {
        return DeleteFolder(call, kJobTree, lpUpperFolderPath, lpFolderName, kForceDelete, true);
    });
}

extern "C" QVPAPI_EXPORT int qvAPIDeleteFolderJobEx(const char* lpUpperFolderPath, const char* lpFolderName,
                                                    uint32_t, uint32_t) {
    static const qvp::FrameTexts texts{"qvAPIDeleteFolderJobEx"};
    return qvp::RunApi(texts, 0, [&](qvp::CallContext& call) {
        return DeleteFolder(call, kJobTree, lpUpperFolderPath, lpFolderName, 0, false);
    });
}

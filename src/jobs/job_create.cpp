// Job creation from a stored JobGen: lock it, keep a work copy of its jobgenfile, have it
// expanded and sorted in place, hand it to the manager (JPUT, or JSCH with a schedule), read the
// new job's head, put the jobgenfile back and apply the caller's after-processing. A manager that
// answers "more to come" leaves all of this pending on the thread until the caller calls again,
// deletes the job, or closes the session.
#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>

#include "core/errors.h"
#include "core/fileutil.h"
#include "core/fresh_folder.h"
#include "core/log.h"
#include "core/handles.h"
#include "core/paths.h"
#include "core/temp_file.h"
#include "core/work_owner.h"
#include "jobgen/jobgen_file.h"
#include "jobgen/jobgen_prepare.h"
#include "jobs/job_control.h"
#include "jobs/job_records.h"
#include "jobs/job_texts.h"
#include "jobs/jobexec_file.h"
#include "platform/win.h"
#include "records/records.h"

namespace qvp::jobs {

namespace {

namespace jg = qvp::jobgen;

constexpr uint32_t kInvalidParameter = 0x20000057u;
constexpr uint32_t kResource = 0x20100000u;
constexpr uint32_t kPending = 0x200000EAu;
constexpr uint32_t kSkipped = 0x20470000u;
constexpr uint32_t kNotFound = 0x20000103u;
constexpr size_t kNameMax = 64;
constexpr size_t kFolderMax = 190;
constexpr size_t kJobGenPathMax = 230;
constexpr size_t kPathMax = 260;
constexpr size_t kNumber = QVAPI_JOB_NUMBER_SIZE;
constexpr char kPlaceholder[] = "0000000000000000";
constexpr char kSchedulePlaceholder[] = "JS00000000000000";
constexpr char kSoftDir[] = "PB000000";
constexpr char kIdFolder[] = "Edit_ID_group";

enum class Variant { Ex, Plain, Site };
enum Option : uint32_t { kNormal = 0, kSave = 1, kDelete = 2, kExecute = 3 };

// QVPAPI_JOBCREATE_STATE: what a creation holds while it runs, and across calls while pending.
struct PendingCreation {
    jg::JobGenMutex mutex;
    bool backupPending = false;  // the stored jobgenfile differs from the work copy
    bool workDir = false;        // the work copy's directory exists
    std::string jobGenPath;      // the JobGen it belongs to
    std::string workCopy;
    std::string stored;
    std::string workRoot;        // <WORKJOBGEN>\<opener thread id>
    std::string workCopyDir;     // <workRoot><JobGen path>
    jg::PreparedJobGen prepared; // the original kept beside the JobGen in the store
};

PendingCreation* StateOf(QVPAPI& block) { return static_cast<PendingCreation*>(block.pendingJob); }

// `from` copied to a temporary beside `to` and renamed over it: `to` is never part written.
bool CopyWhole(const std::string& from, const std::string& to) {
    FileHandle in(win::CreateFile(from.c_str(), win::GENERIC_READ, win::FILE_SHARE_READ, nullptr, win::OPEN_EXISTING,
                                  win::FILE_ATTRIBUTE_NORMAL, nullptr));
    TempFile temp;
    return in.valid() && temp.Create(to, ".tmp", win::GENERIC_READ | win::GENERIC_WRITE) &&
           win::CopyFileContents(in.get(), temp.handle.get()) != 0 && temp.Place();
}

// The stored jobgenfile back as it was: the original kept beside the JobGen renamed in, or, when
// that cannot be, the work copy put in whole. false (logged) when neither can.
bool PutBack(PendingCreation& state, const char* function) {
    if (!state.backupPending) return true;
    if (!state.prepared.PutBack() && !CopyWhole(state.workCopy, state.stored)) {
        const int error = static_cast<int>(win::GetLastError());
        qvpDllLog(text::kCopyFrom, function, state.workCopy.c_str());
        qvpDllLog(text::kCopyTo, function, state.stored.c_str());
        qvpDllLog(text::kCopyErrno, function, error);
        return false;
    }
    state.backupPending = false;
    return true;
}

// The thread's work directory goes; while a JobGen is open in the thread its edit tree lives
// there too, so only the work copy's own directory is removed then.
void RemoveWork(QVPAPI& block, PendingCreation& state, const char* function, bool exitStep) {
    if (!state.workDir) return;
    const bool root = block.openJobGen == nullptr;
    const std::string& dir = root ? state.workRoot : state.workCopyDir;
    const int rc = root ? (RemoveWorkFolder(dir) ? 0 : 1) : gaiCOMDirectoryDeleteAll(dir.c_str());
    if (root) LetGoWorkFolder(dir);
    if (exitStep || rc != 0) {
        qvpDllLog(exitStep ? text::kDeleteAllCode : text::kWorkDeleteError, function, rc);
        qvpDllLog(text::kDeleteAllPath, function, dir.c_str());
    }
    state.workDir = false;
}

void ReleaseOnClose(QVPAPI& block) { ReleasePendingCreation(block, "qvAPIClose"); }

void RegisterCloseHook() {
    static std::once_flag once;
    std::call_once(once, [] { qvpRegisterSessionReleaseHook(&ReleaseOnClose); });
}

// Paths of one call, all built and measured before anything is touched.
struct Paths {
    std::string folder;      // "" at the top
    std::string jobGenPath;  // <folder>\<name>
    std::string storeDir;    // <JOBGEN><JobGen path>
    std::string stored;      // ...\jobgenfile
    std::string softDir;     // ...\PB000000
    std::string jobFolder;   // <JOBEXEC><folder>
    std::string workRoot;
    std::string workCopyDir;
    std::string workCopy;
    std::string backup;      // the Ex edit backup
};

bool BuildPaths(CallContext& call, QVPAPI& block, const std::string& folder, const char* name, Paths& p) {
    p.folder = folder;
    p.jobGenPath = jg::JobGenPath(folder, name);
    if (p.jobGenPath.size() > kJobGenPathMax) {
        call.Log(text::kPathTooLong, call.function(), p.jobGenPath.c_str());
        return false;
    }
    p.storeDir = jg::StoreRoot() + p.jobGenPath;
    p.stored = p.storeDir + "\\" + jg::kJobGenFile;
    p.softDir = p.storeDir + "\\" + kSoftDir;
    p.jobFolder = PathOf(qvpMakeMngflJobExecPath) + folder;
    p.workRoot = jg::WorkDir(block);
    p.workCopyDir = p.workRoot + p.jobGenPath;
    p.workCopy = p.workCopyDir + "\\" + jg::kJobGenFile;
    p.backup = jg::ExBackupDir() + p.jobGenPath;
    // The job's own directory below the job folder takes a number and a file name more.
    const std::string longestJob = p.jobFolder + "\\" + std::string(kNumber, '0') + "\\" + kJobExecFileName;
    for (const std::string* s : std::initializer_list<const std::string*>{&p.stored, &p.softDir, &p.workCopy, &p.backup, &longestJob}) {
        if (s->size() >= kPathMax) {
            call.Log(text::kPathTooLong, call.function(), s->c_str());
            return false;
        }
    }
    return true;
}

// The after-processing option. `main` is the registration's own application (its failures give
// 0x20100000); in the exit step failures are only logged. 0 or the code.
uint32_t AfterProcess(CallContext& call, uint32_t option, const Paths& p, bool main) {
    const char* fn = call.function();
    switch (option) {
        case kNormal: {
            if (!jg::IsDirectory(p.storeDir) || !jg::IsDirectory(p.backup)) return 0;
            // The backup copied beside the JobGen and swapped in, never the JobGen emptied and
            // refilled: killed part way, the store holds it before or after, whole.
            if (jg::ReplaceStoredJobGen(call, p.backup, p.storeDir) != 0) {
                call.Log(text::kCopyBackError, fn);
                return main ? kResource : 0;
            }
            return 0;
        }
        case kSave:
        case kExecute:
            return 0;
        case kDelete: {
            if (jg::Exists(p.storeDir)) jg::RemoveStoredJobGen(call, p.storeDir);
            if (p.folder.compare(1, sizeof kIdFolder - 1, kIdFolder) != 0) return 0;
            const std::string dir = jg::StoreRoot() + p.folder;
            if (!win::RemoveDirectory(dir.c_str())) {
                const int error = static_cast<int>(win::GetLastError());
                call.Log(main ? text::kRemoveFolder : text::kRemoveFolderExit, fn, error, dir.c_str());
                if (error != 2) return 0;
            }
            // The parent goes too when empty, but never the store root itself.
            const size_t cut = p.folder.find_last_of('\\');
            if (cut == 0 || cut == std::string::npos) return 0;
            const std::string parent = jg::StoreRoot() + p.folder.substr(0, cut);
            if (!win::RemoveDirectory(parent.c_str()))
                call.Log(main ? text::kRemoveParent : text::kRemoveParentExit, fn,
                         static_cast<int>(win::GetLastError()), parent.c_str());
            return 0;
        }
        default:
            call.Log(text::kOptionCode, fn);
            return 0;
    }
}

// Reads the new job's head into the caller's record. The job number is in the record first,
// so that a caller whose head read failed can still delete the job. 0 or the read's code.
uint32_t ReadHead(CallContext& call, const Paths& p, const char* number, QVAPI_JOB* job) {
    std::memcpy(job->szJobNo, number, kNumber);
    JobFile file;
    const std::string jobPath = p.folder + "\\" + std::string(number, kNumber);
    const uint32_t code = ReadJobFile(call.block(), "qvAPIGetJobHead", jobPath, OpenMode::Shared, EntryNeed::None, file);
    if (code != 0) {
        call.Log(text::kHeadError, call.function(), static_cast<int>(code));
        return code;
    }
    qvpAPICopyJobData(call.block().apiLevel, file.head, job, 0);
    return 0;
}

struct Step {
    int (*run)(jg::ReCreateControlTable*, const char*, const char*);
    const char *from, *to, *error;
};
constexpr Step kSteps[] = {
    {jg::qvAPIReCreateJobGen, text::kReCreateFrom, text::kReCreateTo, text::kReCreateErrno},
    {jg::qvAPISortEntryJobGen, text::kSortFrom, text::kSortTo, text::kSortErrno},
};

// Re-creation and sort of the stored jobgenfile, done on a copy beside it that replaces it whole;
// on failure the stored file is put back.
uint32_t Prepare(CallContext& call, PendingCreation& state, jg::ReCreateControlTable& table) {
    const char* fn = call.function();
    const char* path = state.stored.c_str();
    uint32_t code = state.prepared.Prepare([&](const std::string& copy) {
        for (const Step& step : kSteps) {
            if (step.run(&table, copy.c_str(), copy.c_str()) == 1) continue;
            const uint32_t failed = qvAPIGetLastError();
            call.Log(step.from, fn, path);
            call.Log(step.to, fn, path);
            call.Log(step.error, fn, static_cast<int>(failed));
            return failed != 0 ? failed : kResource;
        }
        return 0u;
    });
    if (code == 0) return 0;
    if (!PutBack(state, fn)) code = kResource;
    return code;
}

// The soft-reference file of a kind-I job, from the list its first entry names.
uint32_t SoftRefer(CallContext& call, const Paths& p, Variant variant) {
    const char* fn = call.function();
    jg::JobGenEntry entry{};
    {
        FileHandle file(win::CreateFile(p.stored.c_str(), win::GENERIC_READ, 0, nullptr, win::OPEN_EXISTING,
                                        win::FILE_ATTRIBUTE_NORMAL, nullptr));
        win::HANDLE h = file.get();
        if (!file.valid()) {
            call.Log(text::kEntryOpen, fn, p.stored.c_str(), static_cast<int>(win::GetLastError()));
            return kResource;
        }
        win::DWORD got = 0;
        const bool ok = win::SetFilePointer(h, jg::kHeaderSize, nullptr, win::FILE_BEGIN) == jg::kHeaderSize &&
                        win::ReadFile(h, &entry, sizeof entry, &got, nullptr) && got == sizeof entry;
        if (!ok) {
            call.Log(text::kEntryRead, fn, p.stored.c_str(), static_cast<int>(win::GetLastError()));
            return kResource;
        }
    }
    // Only a soft job's entry carries a list there; other kinds may hold a long client name.
    if (entry.jobKind != 'I') return 0;
    win::RemoveDirectory(p.softDir.c_str());
    std::string name = jg::FieldText(entry.soft.listName, sizeof entry.soft.listName);
    uint32_t type = entry.soft.listType;
    if (name.empty() && type == 0) return 0;
    QVAPI_SOFTLIST found{};
    if (qvAPIFindSoftListRefer(type, name.c_str(), &found, 0, 0) != 1) {
        if (qvAPIGetLastError() == kNotFound) {
            name.clear();
        } else {
            type = 0;
            if (variant == Variant::Ex) name = "DEFAULT";
        }
    }
    if (qvAPIReCreateSoftReferJobGen(type, name.c_str(), p.softDir.c_str(), 0, 0) != 1) {
        call.Log(text::kSoftRefer, fn);
        return kResource;
    }
    qvAPIReCreateSortJobGen(p.softDir.c_str(), 0, 0);
    return 0;
}

// The name, record and folder checks. 0 or the code; `namesOk` tells the exit step whether the
// name and folder may be touched at all. The option is checked once the paths are known.
uint32_t CheckArguments(CallContext& call, const char* folder, const char* name, const QVAPI_JOB* job,
                        std::string& normalised, bool& namesOk) {
    const char* fn = call.function();
    auto refuse = [&](const char* line) {
        call.Log(line, fn);
        return kInvalidParameter;
    };
    if (name == nullptr) return refuse(text::kNameNull);
    if (job == nullptr) return refuse(text::kRecordNull);
    if (*name == '\0') return refuse(text::kNameEmpty);
    if (strnlen(name, kNameMax + 1) > kNameMax) return refuse(text::kNameTooLong);
    if (jg::CheckName(name) != 0) return refuse(text::kNameInvalid);
    // Only a folder that begins with "\" and is longer than one character is a folder.
    const bool isFolder = folder != nullptr && folder[0] == '\\' && folder[1] != '\0';
    if (isFolder && strnlen(folder, kFolderMax + 1) > kFolderMax) return refuse(text::kFolderTooLong);
    if (isFolder && jg::CheckFolder(folder, false, normalised) != 0) return refuse(text::kFolderInvalid);
    if (!isFolder) normalised.clear();
    namesOk = true;
    return 0;
}

uint32_t CheckOption(CallContext& call, Variant variant, uint32_t option, uint32_t scheduled) {
    if (variant != Variant::Ex) return 0;
    const char* line = option > kExecute                        ? text::kOptionMissing
                       : option != kSave && scheduled == 1 ? text::kOptionScheduled
                                                            : nullptr;
    if (line == nullptr) return 0;
    call.Log(line, call.function());
    return kInvalidParameter;
}

// Holds what one call made or used, and runs the exit step on every way out.
struct Call {
    CallContext& call;
    Variant variant;
    uint32_t option;
    Paths paths;
    bool namesOk = false;
    bool pathsOk = false;
    std::unique_ptr<jg::ReCreateControlTable> table;

    uint32_t Exit(uint32_t code) {
        QVPAPI& block = call.block();
        const char* fn = call.function();
        if (table && code == 0 && table->skippedEntries > 0) code = kSkipped;
        if (code == kPending) return code;
        PendingCreation* state = StateOf(block);
        if (state != nullptr && variant != Variant::Site) {
            PutBack(*state, fn);
            RemoveWork(block, *state, fn, true);
        }
        // After a failure the option is applied under the JobGen's mutex, then the mutex goes.
        if (code != 0 && variant == Variant::Ex && namesOk && pathsOk) {
            jg::JobGenMutex taken;
            const bool owned = (state != nullptr && state->mutex.held()) ||
                               taken.Take(text::kMutexOwner, jg::MutexName(paths.folder, Name())) == 0;
            if (owned) AfterProcess(call, option, paths, false);
            else call.Log(text::kAfterSkipped, fn, paths.jobGenPath.c_str());
        }
        if (state != nullptr) {
            delete state;
            block.pendingJob = nullptr;
        }
        return code;
    }
    std::string Name() const { return paths.jobGenPath.substr(paths.jobGenPath.find_last_of('\\') + 1); }
};

uint32_t Create(CallContext& call, Variant variant, const char* folder, const char* name, QVAPI_JOB* job,
                uint32_t option, uint32_t scheduled, const void* schedule, Call& c) {
    QVPAPI& block = call.block();
    const char* fn = call.function();
    RegisterCloseHook();
    std::string normalised;
    if (uint32_t code = CheckArguments(call, folder, name, job, normalised, c.namesOk)) return code;
    if (!BuildPaths(call, block, normalised, name, c.paths)) return kInvalidParameter;
    c.pathsOk = true;
    if (uint32_t code = CheckOption(call, variant, option, scheduled)) return code;
    const Paths& p = c.paths;
    // A JobGen that a killed writer left under its leftover names is put back under its own
    // first, as every lookup of it does; one whose mutex another caller holds is left to it.
    if (!jg::Exists(p.stored)) {
        jg::JobGenMutex mutex;
        if (mutex.Take(text::kMutexOwner, jg::MutexName(p.folder, name)) == 0) jg::PutRightKilledWriters(call, p.storeDir, name);
    }
    if (!jg::Exists(p.stored)) {
        call.Log(text::kStatError, text::kCreateName, p.stored.c_str(), 2);
        return kInvalidParameter;
    }
    const bool continuation = job->szJobNo[0] != '\0';
    PendingCreation* state = StateOf(block);
    if (continuation && variant != Variant::Site) {
        // Only the JobGen of this thread's pending creation can be continued.
        if (state == nullptr || state->jobGenPath != p.jobGenPath) {
            call.Log(text::kNoPending, fn, job->szJobNo);
            return kInvalidParameter;
        }
    } else if (state != nullptr) {
        // A new creation (or a site registration) ends the one left pending: its JobGen is put
        // back and unlocked first.
        call.Log(text::kPendingReleased, fn, state->jobGenPath.c_str());
        ReleasePendingCreation(block, fn);
        state = nullptr;
    }
    char number[kNumber];
    if (continuation) {
        std::memcpy(number, job->szJobNo, kNumber);
    } else {
        if (!p.folder.empty() && !qvpCreateDirectoryTree(p.jobFolder.c_str())) {
            const int error = static_cast<int>(win::GetLastError());
            call.Log(text::kCreateDir, text::kCreateName, p.jobFolder.c_str());
            call.Log(text::kCreateDirErrno, text::kCreateName, error);
            return kResource;
        }
        if (variant != Variant::Site) {
            state = new PendingCreation;
            block.pendingJob = state;
            state->jobGenPath = p.jobGenPath;
            state->stored = p.stored;
            state->workCopy = p.workCopy;
            state->workCopyDir = p.workCopyDir;
            state->workRoot = p.workRoot;
            if (uint32_t code = state->mutex.Take(text::kMutexOwner, jg::MutexName(p.folder, name))) return code;
            // An original that a killed creation kept beside the JobGen goes back before this
            // one keeps its own.
            if (!jg::PutRightKilledWriters(call, p.storeDir, name)) return kResource;
            // The work copy's folder is made fresh, and so is the thread's work root unless
            // the thread's open JobGen made it.
            FreshFolder root(p.workRoot, Named::ById);
            FreshFolder copyDir(p.workCopyDir);
            for (FreshFolder* folder : {block.openJobGen == nullptr ? &root : nullptr, &copyDir}) {
                if (folder == nullptr) continue;
                if (const uint32_t made = folder->Make(); made != 0) {
                    const int error = static_cast<int>(win::GetLastError());
                    call.Log(text::kCreateDir, text::kCreateName, folder->path().c_str());
                    call.Log(text::kCreateDirErrno, text::kCreateName, error);
                    return made;
                }
                state->workDir = true;
            }
            const bool kept = copyDir.CopyIn(p.stored, jg::kJobGenFile) && state->prepared.Keep(p.storeDir);
            if (!kept) {
                const int error = static_cast<int>(win::GetLastError());
                call.Log(text::kCopyFrom, fn, p.stored.c_str());
                call.Log(text::kCopyTo, fn, p.workCopy.c_str());
                call.Log(text::kCopyErrno, fn, error);
                return kResource;
            }
            state->backupPending = true;
        }
        if (scheduled == 1 && schedule == nullptr) {
            call.Log(text::kScheduleNull, fn);
            return kInvalidParameter;
        }
        std::memcpy(number, scheduled == 1 ? kSchedulePlaceholder : kPlaceholder, kNumber);
        if (variant != Variant::Site) {
            c.table = std::make_unique<jg::ReCreateControlTable>();
            if (uint32_t code = Prepare(call, *state, *c.table)) return code;
            if (uint32_t code = SoftRefer(call, p, variant)) return code;
        }
    }

    const int put = qvpAPIPutJob(&block, p.jobGenPath.c_str(), number, schedule);
    uint32_t code = 0;
    if (put != 1) {
        if (block.errorCategory == kErrCategoryJobAccess) FailFromReply(call);
        else call.FailFromRecordedError();
        code = call.code();
    }
    if (put < 0) {
        jg::PutField(job->szJobName, sizeof job->szJobName, name);
        const bool placeholder = std::memcmp(number, kPlaceholder, kNumber) == 0 ||
                                 std::memcmp(number, kSchedulePlaceholder, kNumber) == 0;
        if (placeholder) std::memset(job->szJobNo, 0, kNumber);
        else std::memcpy(job->szJobNo, number, kNumber);
        if (state != nullptr) {
            if (!PutBack(*state, fn)) code = kResource;
            RemoveWork(block, *state, fn, false);
        }
        return code;
    }
    if (uint32_t headCode = ReadHead(call, p, number, job); put == 0 || headCode != 0) {
        if (put == 0 && headCode == 0) return kPending;
        if (put == 0) return headCode;
        code = headCode;
    }
    if (state != nullptr) {
        if (!PutBack(*state, fn)) code = kResource;
        RemoveWork(block, *state, fn, false);
    }
    if (code == 0 && variant == Variant::Ex) code = AfterProcess(call, c.option, p, true);
    return code;
}

int RunCreate(CallContext& call, Variant variant, const char* folder, const char* name, QVAPI_JOB* job,
              uint32_t option, uint32_t scheduled, const void* schedule) {
    Call c{call, variant, option, {}, false, false, nullptr};
    uint32_t code = 0;
    try {
        code = Create(call, variant, folder, name, job, option, scheduled, schedule, c);
    } catch (...) {
        c.Exit(kResource);
        throw;
    }
    code = c.Exit(code);
    if (code != 0) call.Fail(code);
    return code == 0 ? 1 : 0;
}

constexpr FrameTexts CreateFrame(const char* name) {
    return FrameTexts{name, EndStyle::Decimal, nullptr, nullptr, text::kLogicalError};
}

}  // namespace

void ReleasePendingCreation(QVPAPI& block, const char* function) {
    PendingCreation* state = StateOf(block);
    if (state == nullptr) return;
    PutBack(*state, function);
    RemoveWork(block, *state, function, true);
    delete state;  // the mutex goes with it
    block.pendingJob = nullptr;
}

}  // namespace qvp::jobs

using qvp::jobs::RunCreate;

extern "C" QVPAPI_EXPORT int qvAPICreateJobEx(const char* lpFolderPath, const char* lpJobGenName, QVAPI_JOB* lpJob,
                                              uint32_t fdwAfterProcOption, uint32_t dwScheduled,
                                              const void* lpSchedule) {
    static constexpr qvp::FrameTexts texts = qvp::jobs::CreateFrame("qvAPICreateJobEx");
    return qvp::RunApi(texts, 0, [&](qvp::CallContext& call) {
        return RunCreate(call, qvp::jobs::Variant::Ex, lpFolderPath, lpJobGenName, lpJob, fdwAfterProcOption,
                         dwScheduled, lpSchedule);
    });
}

extern "C" QVPAPI_EXPORT int qvAPICreateJob(const char* lpFolderPath, const char* lpJobGenName, QVAPI_JOB* lpJob,
                                            uint32_t dwScheduled, const void* lpSchedule) {
    static constexpr qvp::FrameTexts texts = qvp::jobs::CreateFrame("qvAPICreateJob");
    return qvp::RunApi(texts, 0, [&](qvp::CallContext& call) {
        return RunCreate(call, qvp::jobs::Variant::Plain, lpFolderPath, lpJobGenName, lpJob, 0, dwScheduled,
                         lpSchedule);
    });
}

extern "C" QVPAPI_EXPORT int qvAPICreateJobSite(const char* lpFolderPath, const char* lpJobGenName, QVAPI_JOB* lpJob,
                                                uint32_t dwScheduled, const void* lpSchedule) {
    static constexpr qvp::FrameTexts texts = qvp::jobs::CreateFrame("qvAPICreateJobSite");
    return qvp::RunApi(texts, 0, [&](qvp::CallContext& call) {
        return RunCreate(call, qvp::jobs::Variant::Site, lpFolderPath, lpJobGenName, lpJob, 0, dwScheduled,
                         lpSchedule);
    });
}

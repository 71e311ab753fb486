// The edit session: open (new or stored, plain or Ex), the session-wide rename and kind change,
// and the end of a session shared by the close, qvAPIClose and thread exit.
#include <cstring>
#include <mutex>
#include <set>
#include <utility>

#include "core/fileutil.h"
#include "core/fresh_folder.h"
#include "core/log.h"
#include "core/text.h"
#include "core/work_owner.h"
#include "jobgen/jobgen_file.h"
#include "nodes/name_checks.h"

namespace qvp::jobgen {

namespace {

constexpr FrameTexts kOpenFrame = JobGenFrame("qvAPICreateJobGen");
constexpr FrameTexts kOpenExFrame = JobGenFrame("qvAPICreateJobGenEx");
constexpr FrameTexts kNameFrame = JobGenFrame("qvAPIChangeNameJobGen");
constexpr FrameTexts kKindFrame = JobGenFrame("qvAPIChangeJobKindJobGen");

namespace msg {
constexpr char kNameNull[] = "%s : Parameter Error : JobGen Name Address is NULL";
constexpr char kNameEmpty[] = "%s : Parameter Error : Top of JobGen Name Value is NULL";
constexpr char kNameCheck[] = "%s : qvAPINameParameterCheck %s : ErrorCode = 0x%8.8x";
constexpr char kFolderCheck[] = "%s : NamePrmCheck %s : ErrCode = 0x%8.8x";
constexpr char kPathTooLong[] = "%s : Prm Err : %s Path Size over MAX_PATH";
constexpr char kAlreadyOpen[] = "%s : Parameter Error : JobGen is already open";
constexpr char kNotJobGen[] = "%s : %s is no JobGen";
constexpr char kCreateDirectory[] = "%s : CreateDirectory %s : ErrorCode = %d";
constexpr char kCreateFile[] = "%s : CreateFile %s : ErrorCode = %d";
constexpr char kReadFile[] = "%s : ReadFile %s : ErrorCode = %d";
// The Ex open's backup copy logs under the stored JobGen reader's name.
constexpr char kBackupName[] = "qvAPIGetJobGen";
constexpr char kBackupCopy[] = "%s : qvAPIDirectoryCopy %s -> %s : ErrorCode = 0x%8.8x";
constexpr char kEntryCreate[] = "%s : CreateFile Error : File = %s";
constexpr char kCopyFrom[] = "%s : CopyFile Error : From File = %s";
constexpr char kCopyTo[] = "%s : CopyFile Error : To File = %s";
constexpr char kCopyErrno[] = "%s : CopyFile Error : errno = %d";
constexpr char kIdOperate[] = "%s : qvAPICreateIDOperateJobGen Error = 0x%8.8x";
constexpr char kDecode[] = "%s : qvpStuDeCode Error ";
constexpr char kExists[] = "%s : JobGeName Already Exists %s : ErrorCode = 0x%8.8x";
constexpr char kKindInvalid[] = "%s : JobKind(%c) is INVALID";
constexpr char kReAdd[] = "%s : Node %s not re-added : ErrorCode = 0x%8.8x";
constexpr char kWorkDelete[] = "%s : gaiCOMDirectoryDeleteAll %s : ErrorCode = %d";
}  // namespace msg

constexpr const char* kWorkAreas[] = {"JOBGEN", "NODE", "PACKAGE", "COLLECT"};
constexpr const char* kCollectFiles[] = {"F0000000", "P0000000", "Q0000000"};

bool CarriesPackages(char kind) { return kind == 'D' || kind == 'M' || kind == 'J'; }

// The thread's work directory, made afresh with its areas.
uint32_t MakeWorkTree(CallContext& call, bool ex) {
    FreshFolder work(WorkDir(call.block()), Named::ById);
    if (const uint32_t code = work.Make(); code != 0) {
        const win::DWORD error = win::GetLastError();
        call.Log(msg::kCreateDirectory, call.function(), work.path().c_str(), static_cast<int>(error));
        if (code == QVAPI_ERR_BUSY) return code;
        return error == win::ERROR_PATH_NOT_FOUND ? QVAPI_ERR_INVALID_PARAMETER : QVAPI_ERR_RESOURCE;
    }
    std::vector<std::string> dirs;
    for (const char* area : kWorkAreas) dirs.push_back(work.PathOf(area));
    if (ex) dirs.push_back(work.PathOf("IDGROUP"));
    for (const std::string& dir : dirs) {
        if (qvpCreateDirectoryTree(dir.c_str())) continue;
        const win::DWORD error = win::GetLastError();
        call.Log(msg::kCreateDirectory, call.function(), dir.c_str(), static_cast<int>(error));
        return error == win::ERROR_PATH_NOT_FOUND ? QVAPI_ERR_INVALID_PARAMETER : QVAPI_ERR_RESOURCE;
    }
    return 0;
}

// Copies `from` to `to` unless `to` exists; 0 or the Windows error (missing sources skipped
// when `optional`).
win::DWORD CopyKeeping(const std::string& from, const std::string& to, bool optional) {
    if (win::CopyFile(from.c_str(), to.c_str(), win::TRUE) != 0) return 0;
    const win::DWORD error = win::GetLastError();
    if (error == win::ERROR_FILE_EXISTS || (optional && error == win::ERROR_FILE_NOT_FOUND)) return 0;
    return error;
}

// The package folders of a stored kind-D/M/J JobGen from its first node's run.
uint32_t ReAddPackages(CallContext& call, JobGenEdit& edit, const StoredJobGen& stored, size_t run) {
    const std::string packages = WorkArea(call.block(), "PACKAGE");
    for (size_t i = 0; i < run; ++i) {
        const JobGenEntry& entry = stored.entries[i];
        char fileName[512] = {};
        const std::string key = FieldText(entry.packageKey, sizeof entry.packageKey);
        if (qvpPackageNameToFileName(key.c_str(), fileName) == 0 || CheckName(fileName) != 0) continue;
        const std::string dir = packages + "\\" + fileName;
        const std::string path = dir + "\\" + kEntryFile;
        win::DWORD error = qvpCreateDirectoryTree(dir.c_str()) ? WriteNewEntry(path, entry) : win::GetLastError();
        if (error != 0) {
            call.Log(msg::kEntryCreate, call.function(), path.c_str());
            return error == win::ERROR_PATH_NOT_FOUND ? QVAPI_ERR_UNEXPECTED_DATA : QVAPI_ERR_RESOURCE;
        }
        ++edit.packageCount;
        std::vector<std::string> sideFiles;
        if (entry.packageCopy == 1) sideFiles.emplace_back(fileName);
        const std::string fileId = FieldText(entry.fileId, sizeof entry.fileId);
        if (entry.fileIdCopy == 1 && CheckName(fileId.c_str()) == 0) sideFiles.push_back(fileId);
        for (const std::string& side : sideFiles) {
            const std::string from = edit.jobGenPath + "\\" + side;
            const std::string to = dir + "\\" + side;
            error = CopyKeeping(from, to, false);
            if (error == 0) continue;
            call.Log(msg::kCopyFrom, call.function(), from.c_str());
            call.Log(msg::kCopyTo, call.function(), to.c_str());
            call.Log(msg::kCopyErrno, call.function(), static_cast<int>(error));
            return QVAPI_ERR_RESOURCE;
        }
    }
    return 0;
}

// The ID operations of a stored kind-L JobGen, handed to the ID-group area in one call.
uint32_t ReAddIdOperations(CallContext& call, const StoredJobGen& stored, size_t run) {
    if (run == 0) return 0;
    const auto* first = reinterpret_cast<const uint8_t*>(&stored.entries.front());
    const char request = static_cast<char>(first[288]);
    const std::string id = FieldText(reinterpret_cast<const char*>(first + 296), 32);
    const std::string encoded = FieldText(reinterpret_cast<const char*>(first + 360), 32);
    char password[256] = {};
    if (!encoded.empty() && qvpStuDeCode(encoded.c_str(), password) == 0) {
        call.Log(msg::kDecode, call.function());
        return QVAPI_ERR_RESOURCE;
    }
    std::vector<std::string> nodes;
    for (size_t i = 0; i < run; ++i) {
        const auto* raw = reinterpret_cast<const uint8_t*>(&stored.entries[i]);
        std::string node = FieldText(reinterpret_cast<const char*>(raw + 424), 64);
        if (!node.empty()) nodes.push_back(std::move(node));
    }
    IdOperateWriter writer = GetIdOperateWriter();
    const uint32_t code = writer == nullptr ? QVAPI_ERR_NOT_SUPPORTED
                                            : writer(call.block(), request, id.c_str(),
                                                     encoded.empty() ? nullptr : password, nodes);
    if (code != 0) call.Log(msg::kIdOperate, call.function(), code);
    return code;
}

// The node of every stored entry, each node once (its later entries carry its other packages).
// Only a node already present is passed over: any other refusal would leave the next commit
// storing the JobGen without that node. 0 or the refusal's code.
uint32_t ReAddNodes(CallContext& call, JobGenEdit& edit, const StoredJobGen& stored) {
    QVPAPI& block = call.block();
    std::set<std::pair<uint32_t, std::string>> added;
    for (const JobGenEntry& entry : stored.entries) {
        // A node named by a time stamp would be added once more under a new stamp.
        if (!added.emplace(entry.type, FieldText(entry.node, kTextField)).second) continue;
        // The stored host stands in when the node's definition is gone.
        char host[kTextField + 1] = {};
        std::memcpy(host, entry.host, kTextField);
        block.storedHost = host;
        const uint32_t code = ReAddNode(call, edit, entry);
        block.storedHost = nullptr;
        if (code != 0 && code != QVAPI_ERR_ALREADY_EXISTS) {
            call.Log(msg::kReAdd, call.function(), FieldText(entry.node, kTextField).c_str(), code);
            return code;
        }
    }
    return 0;
}

// The stored header and the entries it counts, read straight into `stored`: the open holds one
// copy of the file's content, not the bytes and then the entries made of them.
bool ReadStoredJobGen(win::HANDLE file, StoredJobGen& stored) {
    uint8_t head[kMaxHeadSize];
    uint32_t headBytes = 0, total = 0;
    if (ReadDeclaredHead(file, kJobGenFileLayout, head, headBytes, total) != DeclaredRead::Read ||
        total < kHeaderSize)
        return false;
    std::memcpy(&stored.header, head, kHeaderSize);
    stored.entries.resize((total - kHeaderSize) / kEntrySize);
    return ReadExact(file, stored.entries.data(), static_cast<uint32_t>(stored.entries.size() * kEntrySize));
}

// Loads a stored JobGen into the session that now exists. 0 or the code the caller is left with;
// `nodeLost` tells a node that could not be re-added.
uint32_t LoadStored(CallContext& call, JobGenEdit& edit, bool& nodeLost) {
    const std::string file = edit.jobGenPath + "\\" + kJobGenFile;
    FileHandle handle(win::CreateFile(file.c_str(), win::GENERIC_READ | win::GENERIC_WRITE, 0, nullptr,
                                      win::OPEN_EXISTING, win::FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!handle.valid()) {
        call.Log(msg::kCreateFile, call.function(), file.c_str(), static_cast<int>(win::GetLastError()));
        return QVAPI_ERR_RESOURCE;
    }
    StoredJobGen stored;
    if (!ReadStoredJobGen(handle.get(), stored) || stored.entries.empty()) {
        call.Log(msg::kReadFile, call.function(), file.c_str(), static_cast<int>(win::GetLastError()));
        return QVAPI_ERR_RESOURCE;
    }
    LoadSessionFields(stored, edit);
    if (uint32_t code = ReAddNodes(call, edit, stored); code != 0) {
        nodeLost = true;
        return code;
    }
    const size_t run = FirstRunLength(stored);
    if (CarriesPackages(edit.jobKind)) return ReAddPackages(call, edit, stored, run);
    if (edit.ex && edit.jobKind == 'L') return ReAddIdOperations(call, stored, run);
    return 0;
}

QVPAPI_HANDLE Open(CallContext& call, const char* folder, const char* name, char kind, bool ex) {
    QVPAPI& block = call.block();
    const char* fn = call.function();
    std::string exCopy;  // the Ex backup this open began: a failed open leaves none behind
    const auto fail = [&](uint32_t code) {
        if (!exCopy.empty() && Exists(exCopy)) gaiCOMDirectoryDeleteAll(exCopy.c_str());
        call.Fail(code);
        return QVPAPI_INVALID_HANDLE;
    };
    if (name == nullptr || name[0] == '\0') {
        call.Log(name == nullptr ? msg::kNameNull : msg::kNameEmpty, fn);
        return fail(QVAPI_ERR_INVALID_NAME);
    }
    if (uint32_t code = CheckName(name, kNameJobGen); code != 0) {
        call.Log(msg::kNameCheck, fn, name, code);
        return fail(code);
    }
    // A second open would wipe the first session's work tree and strand its mutex.
    if (block.openJobGen != nullptr) {
        call.Log(msg::kAlreadyOpen, fn);
        return fail(QVAPI_ERR_INVALID_PARAMETER);
    }
    std::string normalised;
    if (folder != nullptr && std::strlen(folder) > kMaxPath) return fail(QVAPI_ERR_INVALID_PARAMETER);
    if (uint32_t code = CheckFolder(folder, !ex, normalised); code != 0) {
        call.Log(msg::kFolderCheck, fn, folder, code);
        return fail(code);
    }
    const std::string storeDir = StoreRoot() + JobGenPath(normalised, name);
    const std::string storeFile = storeDir + "\\" + kJobGenFile;
    if (storeFile.size() > kMaxPath) {
        call.Log(msg::kPathTooLong, fn, storeFile.c_str());
        return fail(QVAPI_ERR_INVALID_PARAMETER);
    }
    if (uint32_t code = MakeWorkTree(call, ex); code != 0) return fail(code);

    auto edit = std::make_unique<JobGenEdit>();
    if (uint32_t code = edit->mutex.Take(fn, MutexName(normalised, name)); code != 0) return fail(code);
    if (!PutRightKilledWriters(call, storeDir, name)) return fail(QVAPI_ERR_RESOURCE);
    edit->jobGenPath = storeDir;
    edit->folder = normalised;
    edit->openedFolder = normalised;
    edit->ex = ex;
    edit->stored = Exists(storeFile);
    if (!edit->stored) {
        // A directory without jobgenfile is a folder: a discard or a failed commit of a "new"
        // JobGen there would remove everything in it.
        if (Exists(storeDir)) {
            call.Log(msg::kNotJobGen, fn, storeDir.c_str());
            return fail(QVAPI_ERR_ALREADY_EXISTS);
        }
        edit->jobKind = kind == 0 ? 'D' : kind;
        PutField(edit->header.name, sizeof edit->header.name, name);
        edit->header.jobKind = edit->jobKind;
        std::memcpy(edit->header.version, kVersion, 4);
        if (CarriesPackages(edit->jobKind)) {
            edit->divisional.size = block.divisionalTransferSize;
            edit->divisional.interval = block.divisionalTransferInterval;
        }
        block.openJobGen = edit.release();
        return &block;
    }

    // Backups first: the store is left alone until the commit.
    const std::string backupParent = WorkArea(block, "JOBGEN") + normalised;
    if (!qvpCreateDirectoryTree(backupParent.c_str()) || qvAPIDirectoryCopy(storeDir.c_str(), backupParent.c_str()) == 0) {
        call.Log(msg::kCreateDirectory, fn, backupParent.c_str(), static_cast<int>(win::GetLastError()));
        return fail(QVAPI_ERR_RESOURCE);
    }
    if (ex) {
        FreshFolder exBackup(ExBackupDir(), Named::ById);
        const std::string exParent = exBackup.path() + normalised;
        exCopy = exParent + "\\" + name;
        if (exBackup.Make() != 0 || !qvpCreateDirectoryTree(exParent.c_str()) ||
            qvAPIDirectoryCopy(storeDir.c_str(), exParent.c_str()) == 0) {
            call.Log(msg::kBackupCopy, msg::kBackupName, storeDir.c_str(), exParent.c_str(), qvAPIGetLastError());
            return fail(QVAPI_ERR_RESOURCE);
        }
    }
    for (const char* collect : kCollectFiles) {
        if (CopyKeeping(storeDir + "\\" + collect, WorkArea(block, "COLLECT") + "\\" + collect, true) != 0)
            return fail(QVAPI_ERR_RESOURCE);
    }
    // From here the session exists; a load failure is reported with the handle.
    JobGenEdit& opened = *edit;
    block.openJobGen = edit.release();
    bool nodeLost = false;
    const uint32_t code = LoadStored(call, opened, nodeLost);
    if (code == 0) return &block;
    if (!nodeLost) {
        call.Fail(code);
        return &block;
    }
    // Nothing stays open or locked: the store is untouched, the backups and work tree go.
    EndSession(block, fn, false, ex);
    return fail(code);
}

void ReleaseSession(QVPAPI& block) {
    EndWalkSlot(block.nodeEntryFind);
    EndWalkSlot(block.packageEntryFind);
    if (block.openJobGen != nullptr) {
        const bool ex = static_cast<JobGenEdit*>(block.openJobGen)->ex;
        EndSession(block, "qvAPIClose", true, ex);
    }
}

}  // namespace

void RegisterRelease() {
    static std::once_flag once;
    std::call_once(once, [] { qvpRegisterSessionReleaseHook(&ReleaseSession); });
}

JobGenEdit* EditOf(CallContext& call, const void* handle, const char* words) {
    RegisterRelease();
    JobGenEdit* edit = static_cast<JobGenEdit*>(call.block().openJobGen);
    if (qvpIsOwnBlock(handle) && edit != nullptr) return edit;
    call.Failed(QVAPI_ERR_INVALID_HANDLE, "%s : %s", call.function(), words);
    return nullptr;
}

void RestoreStore(QVPAPI& block, const JobGenEdit& edit) {
    if (!edit.storeTouched) return;  // only a commit writes the store
    const size_t cut = edit.jobGenPath.find_last_of('\\');
    const std::string saved = WorkArea(block, "JOBGEN") + edit.openedFolder + edit.jobGenPath.substr(cut);
    if (edit.stored) {
        if (!IsDirectory(saved)) return;  // the backup never came to be: the store is untouched
        if (Exists(edit.jobGenPath)) gaiCOMDirectoryClearAll(edit.jobGenPath.c_str());
        qvAPIDirectoryCopy(saved.c_str(), edit.jobGenPath.substr(0, cut).c_str());
        return;
    }
    gaiCOMDirectoryDeleteRetry(edit.jobGenPath.c_str(), 300, 11);
}

uint32_t EndSession(QVPAPI& block, const char* function, bool restore, bool dropExBackup) {
    std::unique_ptr<JobGenEdit> edit(static_cast<JobGenEdit*>(block.openJobGen));
    block.openJobGen = nullptr;
    block.storedHost = nullptr;
    if (edit == nullptr) return 0;
    if (restore) RestoreStore(block, *edit);
    if (dropExBackup) {
        const std::string exBackup = ExBackupDir();
        if (Exists(exBackup)) RemoveWorkFolder(exBackup);
        LetGoWorkFolder(exBackup);
    }
    uint32_t code = 0;
    const std::string work = WorkDir(block);
    if (Exists(work) && !RemoveWorkFolder(work, 300, 11)) {
        qvpDllLog(msg::kWorkDelete, function, work.c_str(), static_cast<int>(win::GetLastError()));
        code = QVAPI_ERR_RESOURCE;
    }
    LetGoWorkFolder(work);
    return code;  // the mutexes go with the state
}

}  // namespace qvp::jobgen

using namespace qvp::jobgen;

extern "C" QVPAPI_EXPORT QVPAPI_HANDLE qvAPICreateJobGen(const char* lpFolder, const char* lpJobGenName,
                                                         char ucJobKind, uint32_t, uint32_t) {
    RegisterRelease();
    return qvp::RunApi(kOpenFrame, QVPAPI_INVALID_HANDLE, [&](qvp::CallContext& call) {
        return Open(call, lpFolder, lpJobGenName, ucJobKind, false);
    });
}

extern "C" QVPAPI_EXPORT QVPAPI_HANDLE qvAPICreateJobGenEx(const char* lpFolder, const char* lpJobGenName,
                                                           char ucJobKind, uint32_t, uint32_t) {
    RegisterRelease();
    return qvp::RunApi(kOpenExFrame, QVPAPI_INVALID_HANDLE, [&](qvp::CallContext& call) {
        return Open(call, lpFolder, lpJobGenName, ucJobKind, true);
    });
}

extern "C" QVPAPI_EXPORT int qvAPIChangeNameJobGen(QVPAPI_HANDLE hJobGen, const char* lpFolder,
                                                   const char* lpJobGenName) {
    return qvp::RunApi(kNameFrame, 0, [&](qvp::CallContext& call) {
        JobGenEdit* edit = EditOf(call, hJobGen);
        if (edit == nullptr) return 0;
        const char* fn = call.function();
        if (lpJobGenName == nullptr || lpJobGenName[0] == '\0') {
            call.Failed(QVAPI_ERR_INVALID_NAME,
                        lpJobGenName == nullptr ? msg::kNameNull : msg::kNameEmpty, fn);
            return 0;
        }
        if (uint32_t code = CheckName(lpJobGenName, kNameJobGen); code != 0) {
            call.Failed(code, msg::kNameCheck, fn, lpJobGenName, code);
            return 0;
        }
        std::string folder;
        if (uint32_t code = CheckFolder(lpFolder, false, folder); code != 0) {
            call.Failed(code, msg::kFolderCheck, fn, lpFolder, code);
            return 0;
        }
        const std::string target = StoreRoot() + JobGenPath(folder, lpJobGenName);
        const auto taken = [&] {
            call.Failed(QVAPI_ERR_ALREADY_EXISTS, msg::kExists, fn, target.c_str(), QVAPI_ERR_ALREADY_EXISTS);
            return 0;
        };
        if (Exists(target)) return taken();
        // Held until close, so that no other session starts a JobGen of the new name meanwhile.
        JobGenMutex renamed;
        if (uint32_t code = renamed.Take(fn, MutexName(folder, lpJobGenName)); code != 0) {
            call.Fail(code);
            return 0;
        }
        // A JobGen of that name that a killed commit left set aside is back under it first.
        if (!PutRightKilledWriters(call, target, lpJobGenName)) {
            call.Fail(QVAPI_ERR_RESOURCE);
            return 0;
        }
        if (Exists(target)) return taken();
        edit->renamedMutex = std::move(renamed);
        edit->folder = folder;
        PutField(edit->header.name, sizeof edit->header.name, lpJobGenName);
        return 1;
    });
}

extern "C" QVPAPI_EXPORT int qvAPIChangeJobKindJobGen(QVPAPI_HANDLE hJobGen, char ucJobKind) {
    return qvp::RunApi(kKindFrame, 0, [&](qvp::CallContext& call) {
        JobGenEdit* edit = EditOf(call, hJobGen);
        if (edit == nullptr) return 0;
        const char kind = ucJobKind == 0 ? 'D' : ucJobKind;
        if (edit->idKind == kIdJobGen && !IsIdKindLetter(kind)) {
            call.Failed(QVAPI_ERR_INVALID_PARAMETER, msg::kKindInvalid, call.function(), kind);
            return 0;
        }
        edit->jobKind = kind;
        edit->header.jobKind = kind;
        return 1;
    });
}

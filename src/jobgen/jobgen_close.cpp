// The end of an edit session: the commit that assembles jobgenfile from the work tree (entries
// under LockFile, the header written last) beside the stored JobGen and puts it in its place, or
// the discard that leaves the store as it was.
#include <cstdio>
#include <cstring>
#include <functional>

#include "core/fileutil.h"
#include "core/log.h"
#include "core/work_owner.h"
#include "core/text.h"
#include "jobgen/jobgen_file.h"

namespace qvp::jobgen {

namespace {

constexpr FrameTexts kCloseFrame = JobGenFrame("qvAPICloseJobGen", kLogicalError, EndStyle::Decimal);
constexpr FrameTexts kCloseExFrame = JobGenFrame("qvAPICloseJobGenEx", kLogicalError, EndStyle::Decimal);

namespace msg {
constexpr char kBadOption[] = "%s : Parameter Error : API Option Value is INVALID";
constexpr char kSoftMissing[] = "%s : pJGSoftPointer is NULL";
constexpr char kCreateFile[] = "%s : CreateFile %s : ErrorCode = %d";
constexpr char kReadFile[] = "%s : ReadFile %s : ErrorCode = %d";
constexpr char kLockFile[] = "%s : LockFile %s : ErrorCode = %d";
constexpr char kWriteFile[] = "%s : WriteFile %s : ErrorCode = %d";
constexpr char kIdRead[] = "%s : qvpAPIFileCopy Error = 0x%8.8x";
// Collect files move under the Ex close's name, from either close.
constexpr char kCloseExName[] = "qvAPICloseJobGenEx";
constexpr char kCollectMissing[] = "%s : _stat Error : File = %s, errno = %d";
constexpr char kCollectMove[] = "%s : MoveFile %s -> %s : ErrorCode = %d";
constexpr char kList[] = "%s : FindFile %s : ErrorCode = %d";
constexpr char kCreateDirectory[] = "%s : CreateDirectory %s : ErrorCode = %d";
}  // namespace msg

bool KindIn(char kind, const char* set) { return kind != 0 && std::strchr(set, kind) != nullptr; }

void PutTwoDigits(char* at, unsigned value) {
    at[0] = static_cast<char>('0' + (value / 10) % 10);
    at[1] = static_cast<char>('0' + value % 10);
}

// The names of a work area, or nothing with the walk's failure logged: a commit never stores a
// JobGen from part of its work tree.
bool Listing(CallContext& call, const std::string& dir, bool directories, std::vector<std::string>& names) {
    if (ListWorkArea(dir, directories, names)) return true;
    call.Log(msg::kList, call.function(), dir.c_str(), static_cast<int>(win::GetLastError()));
    return false;
}

// jobgenfile being written: entries gathered and written in runs, each run under a lock over
// its own bytes (a reader locking any one entry's range waits for the whole run), the header
// last.
class EntryWriter {
public:
    EntryWriter(CallContext& call, std::string path) : call_(call), path_(std::move(path)) {}
    bool Open() {
        file_.Reset(win::CreateFile(path_.c_str(), win::GENERIC_READ | win::GENERIC_WRITE, 0, nullptr,
                                    win::CREATE_ALWAYS, win::FILE_ATTRIBUTE_NORMAL, nullptr));
        if (file_.valid() && win::SetFilePointer(file_.get(), kHeaderSize, nullptr, win::FILE_BEGIN) != win::INVALID_SET_FILE_POINTER)
            return true;
        call_.Log(msg::kCreateFile, call_.function(), path_.c_str(), static_cast<int>(win::GetLastError()));
        return false;
    }
    bool Append(const JobGenEntry& entry) {
        const auto* bytes = reinterpret_cast<const char*>(&entry);
        run_.append(bytes, kEntrySize);
        ++count_;
        return run_.size() < kRunBytes || Flush();
    }
    bool WriteHeader(const JobGenHeader& header) {
        return Flush() && WriteLocked(0, &header, kHeaderSize) && file_.Close();
    }
    uint32_t count() const { return count_; }

private:
    static constexpr size_t kRunBytes = 64 * kEntrySize;

    bool Flush() {
        if (run_.empty()) return true;
        const auto size = static_cast<uint32_t>(run_.size());
        if (!WriteLocked(uint64_t{written_} * kEntrySize + kHeaderSize, run_.data(), size)) return false;
        written_ = count_;
        run_.clear();
        return true;
    }

    bool WriteLocked(uint64_t at, const void* bytes, uint32_t size) {
        const auto low = static_cast<win::DWORD>(at);
        if (win::SetFilePointer(file_.get(), static_cast<win::LONG>(low), nullptr, win::FILE_BEGIN) == win::INVALID_SET_FILE_POINTER ||
            win::LockFile(file_.get(), low, 0, size, 0) == 0) {
            call_.Log(msg::kLockFile, call_.function(), path_.c_str(), static_cast<int>(win::GetLastError()));
            return false;
        }
        win::DWORD written = 0;
        const bool ok = win::WriteFile(file_.get(), bytes, size, &written, nullptr) != 0 && written == size;
        if (!ok) call_.Log(msg::kWriteFile, call_.function(), path_.c_str(), static_cast<int>(win::GetLastError()));
        return win::UnlockFile(file_.get(), low, 0, size, 0) != 0 && ok;
    }

    CallContext& call_;
    std::string path_;
    FileHandle file_;
    uint32_t count_ = 0;    // entries appended
    uint32_t written_ = 0;  // of them in the file
    std::string run_;       // the entries appended since
};

// Lays an ID-operation record over a node's entry (kinds L and O).
void LayIdOperation(char kind, const uint8_t* record, JobGenEntry& entry) {
    auto* raw = reinterpret_cast<uint8_t*>(&entry);
    raw[1] = record[1];
    raw[288] = record[288];
    if (kind == 'L') {
        std::memcpy(raw + 296, record + 296, 160);  // 296, 328, 360, 392 (32 each) and 424 (64)
        std::memcpy(raw + 424, record + 424, 64);
    } else {
        std::memcpy(raw + 360, record + 360, 16);
        std::memcpy(raw + 296, record + 296, 64);
    }
}

// A package of the work tree as every node's entries take it: its key and its entry file.
struct WorkPackage {
    std::string dir;
    std::string key;
    JobGenEntry entry{};
};

// What the node entries of one commit share, listed and read once: the packages (kinds D, M,
// J) and the ID-operation records (kinds L, O of the Ex commit).
struct SharedParts {
    bool read = false;
    std::vector<WorkPackage> packages;
    std::vector<std::vector<uint8_t>> idOperations;
};

uint32_t ReadPackages(CallContext& call, std::vector<WorkPackage>& out) {
    const std::string packages = WorkArea(call.block(), "PACKAGE");
    std::vector<std::string> dirs;
    if (!Listing(call, packages, true, dirs)) return QVAPI_ERR_RESOURCE;
    for (const std::string& dir : dirs) {
        WorkPackage package;
        package.dir = dir;
        char key[512] = {};
        if (qvpFileNameToPackageName(dir.c_str(), key) == 0) return QVAPI_ERR_RESOURCE;
        package.key = key;
        const std::string path = packages + "\\" + dir + "\\" + kEntryFile;
        if (win::DWORD error = ReadEntry(path, package.entry); error != 0) {
            call.Log(msg::kReadFile, call.function(), path.c_str(), static_cast<int>(error));
            return QVAPI_ERR_RESOURCE;
        }
        out.push_back(std::move(package));
    }
    return 0;
}

uint32_t ReadIdOperations(CallContext& call, std::vector<std::vector<uint8_t>>& out) {
    QVPAPI& block = call.block();
    const std::string idgroup = WorkArea(block, "IDGROUP");
    std::vector<std::string> files;
    if (!Listing(call, idgroup, false, files)) return QVAPI_ERR_RESOURCE;
    for (const std::string& file : files) {
        std::vector<uint8_t> record(kEntrySize);
        void* buffer = record.data();
        uint32_t size = kEntrySize;
        if (qvpAPIFileCopy(&block, (idgroup + "\\" + file).c_str(), &buffer, &size, nullptr, 0) < 0) {
            call.Log(msg::kIdRead, call.function(), qvAPIGetLastError());
            return QVAPI_ERR_RESOURCE;
        }
        out.push_back(std::move(record));
    }
    return 0;
}

// Reads the shared parts at the first node that needs them.
uint32_t ReadSharedParts(CallContext& call, const JobGenEdit& edit, SharedParts& shared) {
    if (shared.read) return 0;
    shared.read = true;
    if (KindIn(edit.jobKind, "DMJ")) return ReadPackages(call, shared.packages);
    if (edit.ex && KindIn(edit.jobKind, "LO")) return ReadIdOperations(call, shared.idOperations);
    return 0;
}

// Copies a package's side files into the new JobGen's directory.
uint32_t CopyPackageSides(CallContext& call, const std::string& into, const WorkPackage& package) {
    const std::string packages = WorkArea(call.block(), "PACKAGE");
    std::vector<std::string> sides;
    if (package.entry.packageCopy == 1) sides.push_back(package.dir);
    if (package.entry.fileIdCopy == 1) sides.push_back(FieldText(package.entry.fileId, sizeof package.entry.fileId));
    for (const std::string& side : sides) {
        const std::string from = packages + "\\" + package.dir + "\\" + side;
        const std::string to = into + "\\" + side;
        if (CheckName(side.c_str()) != 0 || win::CopyFile(from.c_str(), to.c_str(), win::FALSE) == 0) {
            call.Log(msg::kCreateFile, call.function(), to.c_str(), static_cast<int>(win::GetLastError()));
            return QVAPI_ERR_RESOURCE;
        }
    }
    return 0;
}

// The pairs of one node: the package entries (D, M, J), the ID operations (L, O), or the node
// entry alone. `first` copies the package side files into the new JobGen's directory `into`.
uint32_t AppendNode(CallContext& call, JobGenEdit& edit, JobGenEntry entry, bool first, SharedParts& shared,
                    const std::string& into, EntryWriter& out) {
    const char kind = edit.jobKind;
    if (uint32_t code = ReadSharedParts(call, edit, shared); code != 0) return code;
    if (KindIn(kind, "DMJ")) {
        for (const WorkPackage& package : shared.packages) {
            PutField(entry.packageKey, sizeof entry.packageKey, package.key);
            entry.setcls = package.entry.setcls;
            std::memcpy(entry.fileId, package.entry.fileId, sizeof entry.fileId);
            entry.packageCopy = package.entry.packageCopy;
            entry.fileIdCopy = package.entry.fileIdCopy;
            if (first) {
                if (uint32_t code = CopyPackageSides(call, into, package); code != 0) return code;
            }
            if (!out.Append(entry)) return QVAPI_ERR_RESOURCE;
        }
        return 0;
    }
    if (kind == 'I') {
        if (edit.soft == nullptr) {
            call.Log(msg::kSoftMissing, call.function());
            return QVAPI_ERR_SOFT_REFER_MISSING;
        }
        entry.soft = edit.soft->fields;
        const bool listed = entry.soft.listName[0] != '\0' || entry.soft.listType != 0;
        std::memcpy(entry.softReferId, listed ? "PB000000" : "        ", sizeof entry.softReferId);
        return out.Append(entry) ? 0 : QVAPI_ERR_RESOURCE;
    }
    if (edit.ex && KindIn(kind, "LO")) {
        for (const std::vector<uint8_t>& record : shared.idOperations) {
            LayIdOperation(kind, record.data(), entry);
            if (!out.Append(entry)) return QVAPI_ERR_RESOURCE;
        }
        return 0;
    }
    // Kept by the plain commit as well: a re-opened kind-V JobGen must not lose it.
    if (kind == 'V') entry.reginfOption = static_cast<uint8_t>(edit.reginfRefOption);
    return out.Append(entry) ? 0 : QVAPI_ERR_RESOURCE;
}

// The header fields the session sets, the header being written last.
void FillHeader(const JobGenEdit& edit, uint32_t count, JobGenHeader& h) {
    const char kind = edit.jobKind;
    h.entryAreaSize = count * static_cast<uint32_t>(kEntrySize);
    h.entryCount = count;
    h.jobKind = kind;
    h.idKind = edit.idKind;
    if (std::memcmp(h.version, "0100", 4) == 0 || std::memcmp(h.version, "0200", 4) == 0)
        std::memcpy(h.version, kVersion, 4);
    // Bytes 69-86 come from the session's values whether or not a setter ran, so that a
    // re-opened JobGen keeps its day and weekday and a cleared field is stored as unset.
    std::memset(h.execDay, 0, sizeof h.execDay);
    h.execWeek = 0;
    std::memset(h.workDate, 0, sizeof h.workDate);
    std::memset(h.workTime, 0, sizeof h.workTime);
    const TimeJobGenData& t = edit.time;
    const char cls = static_cast<char>(t.ucSetcls);
    if (cls != 0) {
        const QVAPI_NODE_TIME& w = t.WorkTime;
        if (KindIn(kind, "DIJV") && w.wMonth != 0 && w.wDay != 0) {
            PutTwoDigits(h.workDate, w.wYear % 100);
            PutTwoDigits(h.workDate + 2, w.wMonth);
            PutTwoDigits(h.workDate + 4, w.wDay);
        }
        if (KindIn(cls, " DFMW") && KindIn(kind, "DIJV") && !(w.wHour == 99 && w.wMinute == 99 && w.wSecond == 99)) {
            PutTwoDigits(h.workTime, w.wHour);
            PutTwoDigits(h.workTime + 2, w.wMinute);
            PutTwoDigits(h.workTime + 4, w.wSecond);
        }
        if (KindIn(kind, "IV")) {
            if (t.ExecTime.wDay != 0) PutTwoDigits(h.execDay, t.ExecTime.wDay);
            h.execWeek = t.ucExecWeek;
        }
    }
    h.execTiming = t.ucExecTiming != 0 ? static_cast<char>(t.ucExecTiming) : KindIn(kind, "GISV") ? 'E' : ' ';
    if (KindIn(kind, "DMJ")) {
        h.divisionalSize = edit.divisional.size;
        h.transInterval = edit.divisional.interval;
    }
}

uint32_t MoveCollectFiles(CallContext& call, const std::string& into) {
    const std::string collect = WorkArea(call.block(), "COLLECT");
    for (const char* name : {"F0000000", "P0000000", "Q0000000"}) {
        const std::string from = collect + "\\" + name;
        const std::string to = into + "\\" + name;
        if (!Exists(from)) {
            if (name[0] == 'Q') continue;
            call.Log(msg::kCollectMissing, msg::kCloseExName, from.c_str(), 2);
            return QVAPI_ERR_COLLECT_FILE_MISSING;
        }
        if (win::MoveFile(from.c_str(), to.c_str()) == 0) {
            call.Log(msg::kCollectMove, msg::kCloseExName, from.c_str(), to.c_str(), static_cast<int>(win::GetLastError()));
            return QVAPI_ERR_RESOURCE;
        }
    }
    return 0;
}

// The new JobGen's directory beside the stored one; removed again unless it went in.
class NewJobGen {
public:
    explicit NewJobGen(const std::string& stored) : path_(CommitLeftover(stored, false)) {}
    NewJobGen(const NewJobGen&) = delete;
    NewJobGen& operator=(const NewJobGen&) = delete;
    ~NewJobGen() {
        if (made_ && !placed_) gaiCOMDirectoryDeleteRetry(path_.c_str(), 300, 11);
    }
    // Made exclusively: a leftover under the mutex is only one the open could not remove.
    bool Make(const std::string& stored) {
        const std::string parent = stored.substr(0, win::FindLastSeparator(stored));
        if (Exists(path_) && gaiCOMDirectoryDeleteRetry(path_.c_str(), 300, 11) != 0) return false;
        made_ = qvpCreateDirectoryTree(parent.c_str()) && win::CreateDirectoryExact(path_.c_str()) != 0;
        return made_;
    }
    // This one exchanged with the stored JobGen (or, under a new name, the stored one set aside
    // and this one moved to `target`), the old one removed. Killed in between, the next caller
    // of the JobGen finds what is left beside the name and puts the old one back or removes it.
    uint32_t PutInPlace(CallContext& call, JobGenEdit& edit, const std::string& target) {
        bool oldBack = true;
        const uint32_t code = SwapInBuilt(call, path_, edit.jobGenPath, target, edit.stored, oldBack);
        // Only when the old one cannot go back does the backup have to stand in.
        if (!oldBack) edit.storeTouched = true;
        placed_ = code == 0;
        return code;
    }
    const std::string& path() const { return path_; }

private:
    std::string path_;
    bool made_ = false;
    bool placed_ = false;
};

uint32_t Commit(CallContext& call, JobGenEdit& edit) {
    const char kind = edit.jobKind;
    if (edit.nodeCount == 0) return QVAPI_ERR_JOB_NO_NODE_ENTRY;
    if (KindIn(kind, "DMJ") && edit.packageCount == 0) return QVAPI_ERR_JOB_NO_PACKAGE_ENTRY;
    if (edit.ex && kind == 'L' && edit.idOperateCount == 0) return QVAPI_ERR_JOB_NO_NODE_ENTRY;

    // Built beside the stored JobGen and put in by renames, never emptied and refilled in
    // place: a commit killed at any point leaves the old JobGen or the new one whole.
    NewJobGen built(edit.jobGenPath);
    if (!built.Make(edit.jobGenPath)) {
        call.Log(msg::kCreateDirectory, call.function(), built.path().c_str(), static_cast<int>(win::GetLastError()));
        return QVAPI_ERR_RESOURCE;
    }
    EntryWriter out(call, built.path() + "\\" + kJobGenFile);
    if (!out.Open()) return QVAPI_ERR_RESOURCE;

    if (!KindIn(kind, "IV")) edit.time.ucSetcls = ' ';
    if (!KindIn(kind, "GISV")) edit.time.ucExecTiming = 0;
    const std::string nodes = WorkArea(call.block(), "NODE");
    // The node files are opened through their folder's handle: the work tree's folders are not
    // looked up again for each of them.
    const FileHandle nodeFolder(win::CreateFile(nodes.c_str(), win::GENERIC_READ,
                                                win::FILE_SHARE_READ | win::FILE_SHARE_WRITE, nullptr,
                                                win::OPEN_EXISTING, win::FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    std::vector<std::string> names;
    if (!Listing(call, nodes, false, names)) return QVAPI_ERR_RESOURCE;
    bool first = true;
    SharedParts shared;
    for (const std::string& name : names) {
        JobGenEntry entry{};
        const std::string path = nodes + "\\" + name;
        const win::DWORD error = nodeFolder.valid() ? ReadEntryIn(nodeFolder.get(), path, entry) : ReadEntry(path, entry);
        if (error != 0) {
            call.Log(msg::kReadFile, call.function(), path.c_str(), static_cast<int>(error));
            return QVAPI_ERR_RESOURCE;
        }
        entry.jobKind = kind;
        entry.setcls = edit.time.ucSetcls != 0 ? edit.time.ucSetcls : ' ';
        if (uint32_t code = AppendNode(call, edit, entry, first, shared, built.path(), out); code != 0) return code;
        first = false;
    }
    JobGenHeader header = edit.header;
    FillHeader(edit, out.count(), header);
    if (!out.WriteHeader(header)) return QVAPI_ERR_RESOURCE;
    if (KindIn(kind, "GS")) {
        if (uint32_t code = MoveCollectFiles(call, built.path()); code != 0) return code;
    }
    const std::string target = StoreRoot() + JobGenPath(edit.folder, FieldText(edit.header.name, sizeof edit.header.name));
    return built.PutInPlace(call, edit, target);
}

int Close(CallContext& call, const void* handle, uint32_t option, bool ex) {
    JobGenEdit* edit = EditOf(call, handle);
    if (edit == nullptr) return 0;
    QVPAPI& block = call.block();
    uint32_t code = 0;
    const bool valid = option == 0 || option == 1 || (ex && option == 2);
    if (!valid) {
        call.Log(msg::kBadOption, call.function());
        code = QVAPI_ERR_INVALID_PARAMETER;
    } else if (option != 1) {
        if (ex && option == 0) {
            const std::string exBackup = ExBackupDir();
            if (Exists(exBackup)) RemoveWorkFolder(exBackup);
        }
        code = Commit(call, *edit);
    }
    const bool discard = option == 1 || code != 0;
    const uint32_t endCode = EndSession(block, call.function(), discard, ex && discard);
    if (code == 0) code = endCode;
    if (code != 0) call.Fail(code);
    return code == 0 ? 1 : 0;
}

}  // namespace

}  // namespace qvp::jobgen

using namespace qvp::jobgen;

extern "C" QVPAPI_EXPORT int qvAPICloseJobGen(QVPAPI_HANDLE hJobGen, uint32_t dwOption) {
    return qvp::RunApi(kCloseFrame, 0, [&](qvp::CallContext& call) { return Close(call, hJobGen, dwOption, false); });
}

extern "C" QVPAPI_EXPORT int qvAPICloseJobGenEx(QVPAPI_HANDLE hJobGen, uint32_t dwOption, uint32_t) {
    return qvp::RunApi(kCloseExFrame, 0, [&](qvp::CallContext& call) { return Close(call, hJobGen, dwOption, true); });
}

// The JobGen files and names every operation of the area shares.
#include "jobgen/jobgen_file.h"

#include <algorithm>
#include <cstddef>
#include <cstdio>
#include <cstring>

#include "core/log.h"
#include "core/paths.h"
#include "nodes/name_checks.h"
#include "share/wapi/wapi.h"

namespace qvp::jobgen {

namespace {
constexpr char kMutexCreateFailed[] = "%s : CreateMutex  Error : Mutex = %s";
constexpr char kMutexCreateErrno[] = "%s : CreateMutex  Error : errno = %d";
constexpr char kMutexBusy[] = "%s : WaitForSingleObject Error : Mutex = %s";

IdOperateWriter g_idOperateWriter = nullptr;

std::string Built(void (*make)(char*)) {
    char buffer[win::MAX_PATH + 1] = {};
    make(buffer);
    return buffer;
}

bool IsSeparator(char c) { return c == '\\' || c == '/'; }

// "." and ".." and names that the Windows rules shrink to nothing (trailing dots and blanks
// dropped) would address the folder above or the folder itself.
bool NamesNoLevel(std::string_view part) {
    const size_t kept = part.find_last_not_of(". ");
    return kept == std::string_view::npos;
}


constexpr char kBuildingMark[] = " .new";
constexpr char kAsideMark[] = " .old";
constexpr char kKeptMark[] = " .job";
constexpr const char* kLeftoverMarks[] = {kAsideMark, kBuildingMark, kKeptMark};

// The JobGen's one store spelling in the folder of `dir`, with `mark` added.
std::string BesideName(const std::string& dir, const char* mark) {
    const size_t sep = win::FindLastSeparator(dir);
    const std::string_view name = sep == std::string::npos ? std::string_view(dir) : std::string_view(dir).substr(sep + 1);
    return dir.substr(0, dir.size() - name.size()) + StoreSpelling(name) + mark;
}
}  // namespace

void PutField(char* field, size_t width, std::string_view text) {
    std::memset(field, 0, width);
    std::memcpy(field, text.data(), std::min(width, text.size()));
}

std::string FieldText(const char* field, size_t width) {
    return std::string(field, strnlen(field, width));
}

std::string StoreRoot() { return Built(qvpMakeMngflJobGenPath); }

std::string WorkDir(const QVPAPI& block) {
    // A session names its work trees by the opener's thread; calls made before any open use
    // the calling thread's id, which is the same thread.
    const win::DWORD tid = block.openerThreadId != 0 ? block.openerThreadId : win::GetCurrentThreadId();
    return Built(qvpMakeWorkJobGenPath) + "\\" + std::to_string(tid);
}

std::string WorkArea(const QVPAPI& block, const char* area) { return WorkDir(block) + "\\" + area; }

std::string ExBackupDir() {
    return Built(qvpMakeRmtinsWorkPath) + "\\JB" + std::to_string(win::GetCurrentProcessId()) + "_" +
           std::to_string(win::GetCurrentThreadId());
}

std::string JobGenPath(std::string_view folder, std::string_view name) {
    return std::string(folder) + "\\" + std::string(name);
}

bool Exists(const std::string& path) { return win::GetFileAttributes(path.c_str()) != win::INVALID_FILE_ATTRIBUTES; }

bool IsDirectory(const std::string& path) {
    const win::DWORD attributes = win::GetFileAttributes(path.c_str());
    return attributes != win::INVALID_FILE_ATTRIBUTES && (attributes & win::FILE_ATTRIBUTE_DIRECTORY) != 0;
}

uint32_t CheckName(const char* name, int kind) {
    if (name == nullptr || name[0] == '\0') return QVAPI_ERR_INVALID_NAME;
    const std::string_view text(name);
    if (NamesNoLevel(text) || win::FindFirstSeparator(text) != std::string_view::npos ||
        text.find('/') != std::string_view::npos)
        return QVAPI_ERR_INVALID_NAME;
    if (kind >= 0 && qvp::nodes::qvAPINameParameterCheck(name, static_cast<uint32_t>(kind)) == 0) return qvAPIGetLastError();
    return 0;
}

uint32_t CheckFolder(const char* folder, bool checkParts, std::string& normalised) {
    normalised.clear();
    if (folder == nullptr || folder[0] == '\0' || std::strcmp(folder, "\\") == 0) return 0;
    const std::string text(folder);
    if (!IsSeparator(text[0]) || text[0] == '/') return QVAPI_ERR_INVALID_PARAMETER;
    size_t at = 1;
    while (true) {
        size_t end = win::FindFirstSeparator(text, at);
        if (end == std::string::npos) end = text.size();
        const std::string part = text.substr(at, end - at);
        if (part.empty() || NamesNoLevel(part) || part.find('/') != std::string::npos)
            return QVAPI_ERR_INVALID_PARAMETER;
        if (checkParts && qvp::nodes::qvAPINameParameterCheck(part.c_str(), kNameJobGenFolder) == 0) return qvAPIGetLastError();
        if (end == text.size()) break;
        at = end + 1;
    }
    normalised = text;
    return 0;
}

std::string MutexName(std::string_view folder, std::string_view name) {
    const std::string full = JobGenPath(folder, name).substr(1);
    std::string out;
    size_t at = 0;
    while (at <= full.size()) {
        size_t end = win::FindFirstSeparator(full, at);
        if (end == std::string::npos) end = full.size();
        if (end > at) {
            if (!out.empty()) out += '.';
            out += StoreSpelling(std::string_view(full).substr(at, end - at));
        }
        at = end + 1;
    }
    return out;
}

std::string StoreSpelling(std::string_view part) {
    const size_t kept = part.find_last_not_of(". ");
    return win::CharUpper(part.substr(0, kept == std::string_view::npos ? 0 : kept + 1));
}

std::string CommitLeftover(const std::string& dir, bool aside) {
    return BesideName(dir, aside ? kAsideMark : kBuildingMark);
}

std::string KeptOriginal(const std::string& dir) { return BesideName(dir, kKeptMark); }

bool IsCommitLeftover(std::string_view name) { return !LeftoverOwner(name).empty(); }

std::string LeftoverOwner(std::string_view name) {
    for (const char* mark : kLeftoverMarks) {
        const size_t n = std::strlen(mark);
        if (name.size() > n && win::_stricmp(std::string(name.substr(name.size() - n)).c_str(), mark) == 0)
            return std::string(name.substr(0, name.size() - n));
    }
    return {};
}

JobGenMutex& JobGenMutex::operator=(JobGenMutex&& o) noexcept {
    if (this != &o) {
        Release();
        handle_ = std::exchange(o.handle_, nullptr);
    }
    return *this;
}

uint32_t JobGenMutex::Take(const char* function, const std::string& name) {
    Release();
    QVPAPI* block = qvpPeekThreadBlock();
    win::HANDLE h = qvpWapiCreateMutex(nullptr, win::FALSE, name.c_str(), block ? block->dllLogId : 0, 0);
    if (h == nullptr) {
        const int error = static_cast<int>(win::GetLastError());
        qvpDllLog(kMutexCreateFailed, function, name.c_str());
        qvpDllLog(kMutexCreateErrno, function, error);
        return QVAPI_ERR_RESOURCE;
    }
    const win::DWORD wait = win::WaitForSingleObject(h, 0);
    if (wait == win::WAIT_OBJECT_0 || wait == win::WAIT_ABANDONED) {
        handle_ = h;
        return 0;
    }
    win::CloseHandle(h);
    qvpDllLog(kMutexBusy, function, name.c_str());
    return wait == win::WAIT_TIMEOUT ? QVAPI_ERR_BUSY : QVAPI_ERR_RESOURCE;
}

void JobGenMutex::Release() {
    if (handle_ == nullptr) return;
    win::ReleaseMutex(handle_);
    win::CloseHandle(handle_);
    handle_ = nullptr;
}

win::DWORD WriteNewEntry(const std::string& path, const JobGenEntry& entry, bool* createFailed) {
    win::DWORD error = 0;
    if (createFailed != nullptr) *createFailed = false;
    {
        FileHandle file(win::CreateFile(path.c_str(), win::GENERIC_READ | win::GENERIC_WRITE, 0, nullptr,
                                        win::CREATE_NEW, win::FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!file.valid()) {
            if (createFailed != nullptr) *createFailed = true;
            return win::GetLastError();
        }
        win::DWORD written = 0;
        if (win::LockFile(file.get(), 0, 0, kEntrySize, 0) == 0) {
            error = win::GetLastError();
        } else {
            if (win::WriteFile(file.get(), &entry, kEntrySize, &written, nullptr) == 0 || written != kEntrySize)
                error = written != kEntrySize && win::GetLastError() == 0 ? 112 : win::GetLastError();
            win::UnlockFile(file.get(), 0, 0, kEntrySize, 0);
        }
    }
    // A half-written entry would be gathered by the commit as if it were whole.
    if (error != 0) win::DeleteFile(path.c_str());
    return error;
}

namespace {

win::DWORD ReadOpenedEntry(FileHandle file, JobGenEntry& entry) {
    if (!file.valid()) return win::GetLastError();
    win::DWORD read = 0;
    if (win::ReadFile(file.get(), &entry, kEntrySize, &read, nullptr) == 0) return win::GetLastError();
    return read == kEntrySize ? 0 : 38;  // ERROR_HANDLE_EOF
}

}  // namespace

win::DWORD ReadEntry(const std::string& path, JobGenEntry& entry) {
    return ReadOpenedEntry(FileHandle(win::CreateFile(path.c_str(), win::GENERIC_READ, 0, nullptr, win::OPEN_EXISTING,
                                                      win::FILE_ATTRIBUTE_NORMAL, nullptr)),
                           entry);
}

win::DWORD ReadEntryIn(win::HANDLE folder, const std::string& path, JobGenEntry& entry) {
    return ReadOpenedEntry(FileHandle(win::CreateFileIn(folder, path.c_str(), win::GENERIC_READ, 0,
                                                        win::OPEN_EXISTING, win::FILE_ATTRIBUTE_NORMAL)),
                           entry);
}

namespace {

uint64_t JobGenDeclared(const uint8_t* head) {
    uint32_t count;
    std::memcpy(&count, head + offsetof(JobGenHeader, entryCount), sizeof count);
    return kHeaderSize + uint64_t{count} * kEntrySize;
}

}  // namespace

const DeclaredLayout kJobGenFileLayout{kHeaderSize, kHeaderSize + uint64_t{kMaxEntries} * kEntrySize, &JobGenDeclared,
                                       false};

bool ParseJobGenFile(std::span<const uint8_t> bytes, StoredJobGen& out) {
    if (bytes.size() < kHeaderSize) return false;
    std::memcpy(&out.header, bytes.data(), kHeaderSize);
    const uint64_t count = out.header.entryCount;
    if (count > (bytes.size() - kHeaderSize) / kEntrySize) return false;
    out.entries.resize(static_cast<size_t>(count));
    if (count != 0) std::memcpy(out.entries.data(), bytes.data() + kHeaderSize, count * kEntrySize);
    return true;
}

int TwoDigits(const char* text) {
    if (text[0] == '\0' || text[0] == ' ') return -1;
    if (text[0] < '0' || text[0] > '9' || text[1] < '0' || text[1] > '9') return -1;
    return (text[0] - '0') * 10 + (text[1] - '0');
}

void LoadSessionFields(const StoredJobGen& stored, JobGenEdit& edit) {
    const JobGenHeader& h = stored.header;
    edit.header = h;
    edit.jobKind = h.jobKind;
    edit.idKind = h.idKind;
    if (!stored.entries.empty()) {
        const JobGenEntry& first = stored.entries.front();
        edit.jobKind = first.jobKind;
        edit.time.ucSetcls = static_cast<uint8_t>(first.setcls);
        edit.reginfRefOption = first.reginfOption;
    }
    edit.timeOption = 0;
    auto word = [](int v) { return static_cast<win::WORD>(v < 0 ? 0 : v); };
    if (TwoDigits(h.workDate) >= 0) {
        edit.time.WorkTime.wYear = word(TwoDigits(h.workDate));
        edit.time.WorkTime.wMonth = word(TwoDigits(h.workDate + 2));
        edit.time.WorkTime.wDay = word(TwoDigits(h.workDate + 4));
    }
    if (TwoDigits(h.workTime) >= 0) {
        edit.time.WorkTime.wHour = word(TwoDigits(h.workTime));
        edit.time.WorkTime.wMinute = word(TwoDigits(h.workTime + 2));
        edit.time.WorkTime.wSecond = word(TwoDigits(h.workTime + 4));
    }
    if (TwoDigits(h.execDay) >= 0) edit.time.ExecTime.wDay = word(TwoDigits(h.execDay));
    edit.time.ucExecWeek = h.execWeek;
    edit.time.ucExecTiming = h.execTiming == ' ' ? 0 : static_cast<uint8_t>(h.execTiming);
    if (edit.jobKind == 'I' && !stored.entries.empty()) {
        edit.soft = std::make_unique<SoftReferArea>();
        edit.soft->fields = stored.entries.front().soft;
        if (std::memcmp(h.version, "0100", 4) == 0) {
            std::memset(edit.soft->fields.listName, 0, sizeof edit.soft->fields.listName);
            edit.soft->fields.listType = 0;
        }
    }
    if (edit.jobKind == 'D' || edit.jobKind == 'M' || edit.jobKind == 'J') {
        edit.divisional.size = h.divisionalSize;
        edit.divisional.interval = h.transInterval;
        edit.divisional.option = h.divisionalSize != 0 ? 1 : 0;
    }
    edit.nodeCount = 0;
    edit.packageCount = 0;
}

size_t FirstRunLength(const StoredJobGen& stored) {
    if (stored.entries.empty()) return 0;
    const JobGenEntry& first = stored.entries.front();
    size_t n = 1;
    while (n < stored.entries.size() && stored.entries[n].type == first.type &&
           FieldText(stored.entries[n].node, kTextField) == FieldText(first.node, kTextField))
        ++n;
    return n;
}

void EndWalkSlot(void*& slot) {
    delete static_cast<FindWalk*>(slot);
    slot = nullptr;
}

void SetIdOperateWriter(IdOperateWriter writer) { g_idOperateWriter = writer; }
IdOperateWriter GetIdOperateWriter() { return g_idOperateWriter; }

void FormatFileTime(const win::FILETIME& time, char* out) {
    win::FILETIME local{};
    win::SYSTEMTIME st{};
    win::FileTimeToLocalFileTime(&time, &local);
    win::FileTimeToSystemTime(&local, &st);
    std::snprintf(out, 18, "%02d/%02d/%02d %02d:%02d:%02d", st.wYear % 100, st.wMonth % 100, st.wDay % 100,
                  st.wHour % 100, st.wMinute % 100, st.wSecond % 100);
}

}  // namespace qvp::jobgen

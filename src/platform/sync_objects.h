// Named mutexes and semaphores: what the two kinds share (see named_objects.cpp for how the
// objects live in lock files). Internal to the platform layer.
#pragma once

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/internal.h"

namespace win::sync {

using detail::Kind;
using detail::UniqueFd;
using Clock = std::chrono::steady_clock;

constexpr int64_t kPresenceByte = int64_t{1} << 20;  // read-locked by every process that has it open
constexpr int64_t kGateByte = kPresenceByte + 1;     // write-locked while a process changes the object
constexpr int64_t kSlotBase = kPresenceByte + 64;    // semaphore: one byte per unit taken
constexpr LONG kMaxSemaphoreCount = 4096;            // slots are bytes: the count is bounded
constexpr uint32_t kRecordMagic = 0x5156504Du;       // "MPVQ"

struct SemaphoreRecord {
    uint32_t magic;
    int32_t maximum;
    int32_t count;
    int32_t held;  // units taken by processes as last seen (slots)
};
static_assert(sizeof(SemaphoreRecord) == 16);

template <class R>
bool ReadRecord(int fd, R& r) {
    return pread(fd, &r, sizeof r, 0) == ssize_t(sizeof r) && r.magic == kRecordMagic;
}
template <class R>
void WriteRecord(int fd, const R& r) {
    (void)!pwrite(fd, &r, sizeof r, 0);
}

// How long making, opening or closing an object waits for another process's gate. A process
// holds it for a few system calls; one that holds it longer (or for good: the lock files are
// group-writable) makes the object busy, never the caller stuck.
constexpr auto kGateBound = std::chrono::milliseconds(500);

// Serialises the processes' changes to one object: a lock of the gate byte (per open description,
// so threads of one process are serialised by the object's own mutex as well).
class Gate {
public:
    // Waits at most `bound` (never longer: a wait that may be endless tries again); held()
    // tells whether it was had.
    Gate(int fd, Clock::duration bound);
    ~Gate();
    Gate(const Gate&) = delete;
    Gate& operator=(const Gate&) = delete;
    bool held() const { return fd_ >= 0; }

private:
    int fd_;
};

// ---- the run-time folder ------------------------------------------------------------------
// Opened once for the setting's text and kept: every step on a lock file goes relative to it.
struct RunFolder {
    std::string path;  // as the settings named it
    UniqueFd fd;       // O_PATH
};
// Who may use the run-time folder and its files: whoever may write the store. The folder gets
// the install root's permission bits and group, its files the same without execute bits; set
// explicitly, never left to the caller's umask.
struct StoreAccess {
    mode_t folderMode = 0755;  // when the install root cannot be seen: its owner only writes
    gid_t group = gid_t(-1);   // -1: leave the group the system gives
    mode_t FileMode() const { return folderMode & 0666; }
};
StoreAccess AccessOfStore();
// Gives a folder or file this process made the store's access (the group as far as the process
// may give it); `st` is its status.
void ShareWithStore(int fd, const struct stat& st, mode_t mode, const StoreAccess& access);
// The folder of the settings' RunDir opened (made when missing and `create`): below the install
// root no level from the root on is a link. Null with errno set.
std::shared_ptr<const RunFolder> OpenRunFolder(bool create);

// The lock file of a named object: its name in the run-time folder (kept open by the state for
// its last close). A mutex's file is a pipe, a semaphore's a regular file.
struct ObjectFile {
    ObjectFile() = default;
    ObjectFile(const ObjectFile&) = delete;
    ObjectFile& operator=(const ObjectFile&) = delete;
    std::shared_ptr<const RunFolder> folder;
    std::string name;
    int fd = -1;  // -1: an unnamed object of this process only
    bool pipe = false;
    // A process's last close of an object removes its file when no other process has it open:
    // the object is gone, as on Windows. An opener that got the file just before checks, once
    // it holds the gate, that the file is still the one of the name.
    ~ObjectFile();
};

struct MutexState {
    MutexState() { file.pipe = true; }
    std::string name;
    ObjectFile file;
    std::mutex m;
    std::condition_variable cv;
    DWORD owner = 0;
    unsigned count = 0;
    bool acquiring = false;  // a thread of ours waits for the owner lock
    bool abandoned = false;  // unnamed mutexes: left by a thread that ended
    bool marked = true;      // the owner took the token (WaitForMutexUnmarked takes none)
};

struct SemaphoreState {
    std::string name;
    ObjectFile file;
    std::mutex m;
    LONG maximum = 1;
    LONG localCount = 0;       // unnamed semaphores only
    std::vector<int64_t> mine;  // slot bytes this process holds
};

struct MutexHandle : detail::Object {
    explicit MutexHandle(std::shared_ptr<MutexState> s) : Object(Kind::Mutex), state(std::move(s)) {}
    std::shared_ptr<MutexState> state;
};
struct SemaphoreHandle : detail::Object {
    explicit SemaphoreHandle(std::shared_ptr<SemaphoreState> s) : Object(Kind::Semaphore), state(std::move(s)) {}
    std::shared_ptr<SemaphoreState> state;
};

// ---- the process's named objects ----------------------------------------------------------
// Under its mutex nothing takes another lock of the order (handles.cpp), asks the settings or
// waits on another process: only steps that never block. Held while a lock file is opened and
// joined, so that a fork meanwhile finds every descriptor of an object in the maps.
struct Registry {
    std::mutex mutex;
    std::shared_ptr<const RunFolder> runFolder;  // as last opened
    std::map<std::string, std::weak_ptr<MutexState>> mutexes;
    std::map<std::string, std::weak_ptr<SemaphoreState>> semaphores;
    std::vector<std::shared_ptr<void>> orphans;  // a forked child's inheritance, never used
};

Registry& TheRegistry();
void InstallForkHooks();

// ---- object files -----------------------------------------------------------------------
// One step on the object's lock file `file` in `folder`, never waiting: the file opened (made
// when missing and `create`, with `access`) and its gate taken, again when the file was removed
// or replaced between the two. A file of the wrong kind, or with another link, that no process
// has open is replaced when `create`. Failed: errno set (EBADF: the name holds no lock file of
// this kind, one that a process has); Busy: another process has the gate; NoLockFile: a folder,
// link or socket is at the name.
enum class Opened { Gated, Busy, NoLockFile, Failed };
Opened OpenGated(const RunFolder& folder, const std::string& file, bool pipe, bool create,
                 const StoreAccess& access, UniqueFd& fd, std::unique_ptr<Gate>& gate);
// What is at `file` removed when it is no lock file of either kind (a folder with all in it, a
// link, a socket), by the folder's handle: true when the name is free or holds a lock file now.
bool RemoveNonLockFile(const RunFolder& folder, const std::string& file);
bool PresentElsewhere(int fd);

// Keeps the process's object of that name; names whose objects are gone are swept now and then.
template <class State>
void Remember(std::map<std::string, std::weak_ptr<State>>& map, const std::string& key,
              const std::shared_ptr<State>& s) {
    if (map.size() >= 64) std::erase_if(map, [](const auto& kv) { return kv.second.expired(); });
    map[key] = s;
}

// Where an object of that name lives: the run-time folder (made when missing and `create`) and
// its file's name there. False with the last error set (206 for a name too long; without
// `create`, 2 when there is no folder).
bool PlaceObject(const char* prefix, const char* name, bool create, ObjectFile& place);

// The find step of both kinds: the process's own object of the name (in the registry's map
// `kind`), or its file opened (made when missing with `create`; without, only when another
// process has the object) and joined under the gate, where `init` sets up the state (`existed`:
// another process has the object; false from it with the last error set: no object). A gate that
// another process keeps is tried again, outside the registry's mutex, for a bounded time. Null
// with the last error set (170: the gate was kept past the bound).
template <class State, class Init>
std::shared_ptr<State> FindOrCreate(std::map<std::string, std::weak_ptr<State>> Registry::*kind,
                                    const char* prefix, const char* name, bool create, bool& existed,
                                    Init&& init) {
    auto s = std::make_shared<State>();
    if (!PlaceObject(prefix, name, create, s->file)) return nullptr;
    const std::string key = s->file.folder->path + "/" + s->file.name;
    Registry& reg = TheRegistry();
    auto& known = reg.*kind;
    const auto ours = [&]() -> std::shared_ptr<State> {  // with the registry's mutex held
        auto it = known.find(key);
        auto found = it == known.end() ? nullptr : it->second.lock();
        existed = found != nullptr;
        return found;
    };
    {
        std::lock_guard rl(reg.mutex);
        if (auto found = ours()) return found;
    }
    const StoreAccess access = create ? AccessOfStore() : StoreAccess{};
    const auto deadline = Clock::now() + kGateBound;
    std::chrono::microseconds pause(50);
    for (int repairs = 0;;) {
        Opened opened;
        {
            std::lock_guard rl(reg.mutex);
            if (auto found = ours()) return found;
            UniqueFd fd;
            std::unique_ptr<Gate> gate;
            opened = OpenGated(*s->file.folder, s->file.name, s->file.pipe, create, access, fd, gate);
            if (opened == Opened::Failed) {
                if (create) detail::FailErrno(errno);
                else SetLastError(errno == EBADF ? ERROR_INVALID_HANDLE : ERROR_FILE_NOT_FOUND);
                return nullptr;
            }
            if (opened == Opened::Gated) {
                s->name = name;
                const std::unique_ptr<Gate> held = std::move(gate);  // until the object is joined
                existed = PresentElsewhere(fd.get());
                if (!create && !existed) {
                    unlinkat(s->file.folder->fd.get(), s->file.name.c_str(), 0);  // a file left by nobody
                    SetLastError(ERROR_FILE_NOT_FOUND);
                    return nullptr;
                }
                if (!detail::SetOfdLock(fd.get(), F_RDLCK, kPresenceByte, 1)) {
                    detail::FailErrno(errno);
                    return nullptr;
                }
                s->file.fd = fd.release();
                if (!init(s, existed)) return nullptr;
                Remember(known, key, s);
                return s;
            }
        }
        if (opened == Opened::NoLockFile) {
            // No process has it: removed, then the object made anew (a few times at most).
            if (++repairs > 3 || !RemoveNonLockFile(*s->file.folder, s->file.name)) {
                SetLastError(ERROR_INVALID_HANDLE);
                return nullptr;
            }
            if (!create) {
                SetLastError(ERROR_FILE_NOT_FOUND);
                return nullptr;
            }
            continue;
        }
        if (Clock::now() >= deadline) {
            SetLastError(detail::kErrorBusy);
            return nullptr;
        }
        std::this_thread::sleep_for(pause);
        pause = std::min(pause * 2, std::chrono::microseconds(20000));
    }
}

// ---- each kind's part -------------------------------------------------------------------
// `marked`: the token tells an abandoned mutex from a let-go one (unmarked: neither asked nor
// kept, WAIT_ABANDONED never answered).
DWORD WaitMutex(const std::shared_ptr<MutexState>& sp, DWORD ms, bool marked = true);
DWORD WaitSemaphore(SemaphoreState& s, DWORD ms);
// A forked child's only thread: ids asked again, the parent's owned mutexes set aside.
void MutexesAfterFork(Registry& r);

}  // namespace win::sync

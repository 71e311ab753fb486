// Named mutexes and semaphores: what the two kinds share (see named_objects.cpp for how the
// objects live in lock files). Internal to the platform layer.
#pragma once

#include <fcntl.h>
#include <pthread.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "platform/internal.h"

namespace win::sync {

using detail::Kind;
using detail::UniqueFd;
using Clock = std::chrono::steady_clock;

constexpr int64_t kPresenceByte = int64_t{1} << 20;  // read-locked by every process that has it open
constexpr int64_t kSlotBase = kPresenceByte + 64;    // semaphore: one byte per unit taken
constexpr LONG kMaxSemaphoreCount = 4096;            // slots are bytes: the count is bounded
constexpr uint32_t kRecordMagic = 0x5156504Du;       // "MPVQ"

struct MutexRecord {
    uint32_t magic;
    uint32_t owned;  // 1 while a thread owns it
    uint32_t pid;
    uint32_t tid;
};
// A mutex file's start, mapped by every process that has the mutex: the record and the owner
// lock, which the owning thread holds. The lock is robust and process-shared: taking and letting
// go of a free one needs no system call, and the kernel marks it when its owner ends holding it.
struct MutexShared {
    MutexRecord record;
    pthread_mutex_t owner;
};
struct SemaphoreRecord {
    uint32_t magic;
    int32_t maximum;
    int32_t count;
    int32_t held;  // units taken by processes as last seen (slots)
};

template <class R>
bool ReadRecord(int fd, R& r) {
    return pread(fd, &r, sizeof r, 0) == ssize_t(sizeof r) && r.magic == kRecordMagic;
}
template <class R>
void WriteRecord(int fd, const R& r) {
    (void)!pwrite(fd, &r, sizeof r, 0);
}

// Serialises the processes' record updates on one object (flock is per open description, so
// threads of one process are serialised by the object's own mutex as well).
class Gate {
public:
    explicit Gate(int fd) : fd_(fd) {
        while (fd_ >= 0 && flock(fd_, LOCK_EX) != 0 && errno == EINTR) {
        }
    }
    ~Gate() {
        if (fd_ >= 0) flock(fd_, LOCK_UN);
    }
    Gate(const Gate&) = delete;
    Gate& operator=(const Gate&) = delete;

private:
    int fd_;
};

// A process's last close of an object removes its file when no other process has it open:
// the object is gone, as on Windows. An opener that got the file just before checks, once it
// holds the gate, that the file is still the one of the name.
void CloseObjectFile(int fd, const std::string& path);

struct MutexState {
    ~MutexState() {
        if (shared != nullptr) munmap(shared, sizeof(MutexShared));
        CloseObjectFile(fd, path);
    }
    std::string name;
    std::string path;
    int fd = -1;  // -1: an unnamed mutex of this process only
    MutexShared* shared = nullptr;  // the file's start mapped (named mutexes)
    std::mutex m;
    std::condition_variable cv;
    DWORD owner = 0;
    unsigned count = 0;
    bool acquiring = false;  // a thread of ours waits for the owner lock
    bool abandoned = false;  // unnamed mutexes: left by a thread that ended
};

struct SemaphoreState {
    ~SemaphoreState() { CloseObjectFile(fd, path); }
    std::string name;
    std::string path;
    int fd = -1;  // -1: unnamed
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
struct Registry {
    std::mutex mutex;
    std::map<std::string, std::weak_ptr<MutexState>> mutexes;
    std::map<std::string, std::weak_ptr<SemaphoreState>> semaphores;
    std::vector<std::shared_ptr<void>> orphans;  // a forked child's inheritance, never used
};

Registry& TheRegistry();
void InstallForkHooks();

// ---- object files -----------------------------------------------------------------------
// The file of a named object in the run directory; nullopt with 206 for a name too long.
std::optional<std::string> ObjectPath(const char* prefix, const char* name);
// Opens the object's file and takes its gate, again when the file was removed between the two.
// create=false: only when it exists (false with errno ENOENT otherwise).
bool OpenGated(const std::string& path, bool create, UniqueFd& fd, std::unique_ptr<Gate>& gate);
bool PresentElsewhere(int fd);
// Joins the users of an object file opened by OpenGated, still under its gate: `existed` tells
// whether another process has it, then this process takes its presence. False with the last
// error set.
bool JoinObjectFile(int fd, bool& existed);

// Keeps the process's object of that name; names whose objects are gone are swept now and then.
template <class State>
void Remember(std::map<std::string, std::weak_ptr<State>>& map, const std::string& path,
              const std::shared_ptr<State>& s) {
    if (map.size() >= 64) std::erase_if(map, [](const auto& kv) { return kv.second.expired(); });
    map[path] = s;
}

// The find-or-create step of both kinds, under the registry's mutex: the process's own object
// of the name (in the registry's map `kind`), or its file opened (made when missing) and joined
// under the gate, where `init` sets up the state (`existed`: another process has the object;
// false from it with the last error set: no object). Null with the last error set.
template <class State, class Init>
std::shared_ptr<State> FindOrCreate(std::map<std::string, std::weak_ptr<State>> Registry::*kind,
                                    const char* prefix, const char* name, bool& existed,
                                    Init&& init) {
    Registry& reg = TheRegistry();
    std::lock_guard rl(reg.mutex);
    auto& known = reg.*kind;
    const auto objectPath = ObjectPath(prefix, name);
    if (!objectPath) return nullptr;
    const std::string& path = *objectPath;
    if (auto it = known.find(path); it != known.end()) {
        if (auto s = it->second.lock()) {
            existed = true;
            return s;
        }
    }
    UniqueFd fd;
    std::unique_ptr<Gate> gate;
    if (!OpenGated(path, true, fd, gate)) {
        detail::FailErrno(errno);
        return nullptr;
    }
    auto s = std::make_shared<State>();
    s->name = name;
    s->path = path;
    {
        const std::unique_ptr<Gate> held = std::move(gate);  // until the end of this block
        if (!JoinObjectFile(fd.get(), existed)) return nullptr;
        s->fd = fd.release();
        if (!init(s, existed)) return nullptr;
    }
    Remember(known, path, s);
    return s;
}

// ---- each kind's part -------------------------------------------------------------------
DWORD WaitMutex(const std::shared_ptr<MutexState>& sp, DWORD ms);
DWORD WaitSemaphore(SemaphoreState& s, DWORD ms);
// A forked child's only thread: ids asked again, the parent's owned mutexes set aside.
void MutexesAfterFork(Registry& r);

}  // namespace win::sync

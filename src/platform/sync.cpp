// Named mutexes and semaphores, machine-wide for the processes that share the run-time
// directory: one lock file per object. In a mutex file the owner lock byte is held (as an
// open-file-description lock) by the owning process and a record says who owns it; a lock that
// is free while the record still says "owned" was left by a dead owner: abandoned. The record is
// written through a shared mapping of the file: a store outlives a killed process as a write
// does, without a system call at every lock and unlock. Within the
// process, the owner thread and its recursion are kept in memory; a thread that ends owning a
// mutex abandons it. A semaphore file keeps the count in its record and one lock byte (slot) per
// unit a process has taken, so that units taken by a process that died come back.
#include <fcntl.h>
#include <pthread.h>
#include <strings.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <map>
#include <thread>

#include "platform/internal.h"

namespace win {
namespace {

using detail::Kind;
using detail::UniqueFd;
using Clock = std::chrono::steady_clock;

constexpr int64_t kPresenceByte = int64_t{1} << 20;  // read-locked by every process that has it open
constexpr int64_t kOwnerByte = kPresenceByte + 1;    // mutex: write-locked by the owning process
constexpr int64_t kSlotBase = kPresenceByte + 64;    // semaphore: one byte per unit taken
constexpr LONG kMaxSemaphoreCount = 4096;            // slots are bytes: the count is bounded
constexpr uint32_t kRecordMagic = 0x5156504Du;       // "MPVQ"

struct MutexRecord {
    uint32_t magic;
    uint32_t owned;  // 1 while a thread owns it
    uint32_t pid;
    uint32_t tid;
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
        if (shared != nullptr) munmap(shared, sizeof(MutexRecord));
        CloseObjectFile(fd, path);
    }
    std::string name;
    std::string path;
    int fd = -1;  // -1: an unnamed mutex of this process only
    MutexRecord* shared = nullptr;  // the file's record mapped; null: read and written by calls
    std::mutex m;
    std::condition_variable cv;
    DWORD owner = 0;
    unsigned count = 0;
    bool acquiring = false;  // a thread of ours polls for the owner lock
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
Registry& TheRegistry() {
    static Registry* r = new Registry;
    return *r;
}

// Mutexes the calling thread owns; what is left at its end is abandoned. The thread-local is
// a plain pointer (nothing to destroy) and the list is released by a pthread key destructor:
// those run after every C++ thread-local destructor, so the destructors of layers above (the
// API block closing a session, which takes named mutexes) find the list alive whatever the
// order in which the thread first used them.
struct OwnedMutexes {
    std::vector<std::shared_ptr<MutexState>> list;
};
thread_local OwnedMutexes* t_owned = nullptr;

// The ids, asked of the kernel once: every lock and unlock needs them. A forked child's only
// thread asks again (ForkChild).
thread_local DWORD t_tid = 0;
std::atomic<DWORD> g_pid{0};
DWORD ThreadId() {
    if (t_tid == 0) t_tid = GetCurrentThreadId();
    return t_tid;
}
DWORD ProcessId() {
    DWORD pid = g_pid.load(std::memory_order_relaxed);
    if (pid == 0) g_pid.store(pid = GetCurrentProcessId(), std::memory_order_relaxed);
    return pid;
}

void Abandon(MutexState& s, DWORD tid) {
    std::lock_guard lk(s.m);
    if (s.owner != tid) return;
    s.owner = 0;
    s.count = 0;
    if (s.fd < 0) s.abandoned = true;
    else detail::SetOfdLock(s.fd, F_UNLCK, kOwnerByte, 1);  // the record still says "owned"
    s.cv.notify_all();
}

void ReleaseOwned(void* p) {
    auto* owned = static_cast<OwnedMutexes*>(p);
    if (t_owned == owned) t_owned = nullptr;
    const DWORD tid = GetCurrentThreadId();
    for (auto& s : owned->list) Abandon(*s, tid);
    delete owned;  // a later use in this thread's exit makes a new list (and key value)
}

pthread_key_t OwnedKey() {
    static const pthread_key_t key = [] {
        pthread_key_t k;
        if (pthread_key_create(&k, ReleaseOwned) != 0) abort();
        return k;
    }();
    return key;
}

OwnedMutexes& Owned() {
    if (t_owned == nullptr) {
        auto* owned = new OwnedMutexes;
        if (pthread_setspecific(OwnedKey(), owned) != 0) abort();
        t_owned = owned;
    }
    return *t_owned;
}

void ForkPrepare() { TheRegistry().mutex.lock(); }
void ForkParent() { TheRegistry().mutex.unlock(); }
void ForkChild() {
    t_tid = 0;
    g_pid.store(0, std::memory_order_relaxed);
    Registry& r = TheRegistry();
    new (&r.mutex) std::mutex;
    // The parent's objects are the parent's: drop our copies of their descriptors.
    for (auto& [n, w] : r.mutexes)
        if (auto s = w.lock()) {
            if (s->fd >= 0) ::close(s->fd);
            s->fd = -1;
            if (s->shared != nullptr) munmap(s->shared, sizeof(MutexRecord));
            s->shared = nullptr;
            new (&s->m) std::mutex;
            new (&s->cv) std::condition_variable;
            r.orphans.push_back(s);
        }
    for (auto& [n, w] : r.semaphores)
        if (auto s = w.lock()) {
            if (s->fd >= 0) ::close(s->fd);
            s->fd = -1;
            new (&s->m) std::mutex;
            r.orphans.push_back(s);
        }
    r.mutexes.clear();
    r.semaphores.clear();
    if (t_owned != nullptr) {
        for (auto& s : t_owned->list) r.orphans.push_back(s);
        t_owned->list.clear();
    }
}

// Keeps the process's object of that name; names whose objects are gone are swept now and then.
template <class State>
void Remember(std::map<std::string, std::weak_ptr<State>>& map, const std::string& path,
              const std::shared_ptr<State>& s) {
    if (map.size() >= 64) std::erase_if(map, [](const auto& kv) { return kv.second.expired(); });
    map[path] = s;
}

void InstallForkHooks() {
    static std::once_flag once;
    std::call_once(once, [] { detail::RegisterForkHooks({ForkPrepare, ForkParent, ForkChild}); });
}

// Object names become file names: "Global\" and "Local\" prefixes dropped (one namespace
// here), bytes outside [A-Za-z0-9._-] written as %XX.
std::string FileName(const char* prefix, std::string_view name) {
    for (std::string_view p : {"Global\\", "Local\\"}) {
        if (name.size() >= p.size() && strncasecmp(name.data(), p.data(), p.size()) == 0) {
            name.remove_prefix(p.size());
            break;
        }
    }
    std::string out = prefix;
    static const char hex[] = "0123456789ABCDEF";
    for (unsigned char c : name) {
        if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '.' || c == '_' ||
            c == '-') {
            out += static_cast<char>(c);
        } else {
            out += '%';
            out += hex[c >> 4];
            out += hex[c & 15];
        }
    }
    return out;
}

// Who may use the run-time folder and its files: whoever may write the store. The folder gets
// the install root's permission bits and group, its files the same without execute bits; set
// explicitly, never left to the caller's umask.
struct StoreAccess {
    mode_t folderMode = 0755;  // when the install root cannot be seen: its owner only writes
    gid_t group = gid_t(-1);   // -1: leave the group the system gives
    mode_t FileMode() const { return folderMode & 0666; }
};

StoreAccess AccessOfStore() {
    StoreAccess access;
    struct stat st{};
    if (stat(InstallRoot().c_str(), &st) == 0 && S_ISDIR(st.st_mode)) {
        access.folderMode = st.st_mode & 0777;
        access.group = st.st_gid;
    }
    return access;
}

// Gives a folder or file this process made the store's access (the group as far as the
// process may give it).
void ShareWithStore(int fd, const struct stat& st, mode_t mode, const StoreAccess& access) {
    if (st.st_uid != geteuid()) return;
    // A group the process may not give stays the creator's; the mode still opens it to others.
    // A change of group may drop the set-ID bits: the mode is set again after it.
    const bool regrouped = access.group != gid_t(-1) && st.st_gid != access.group &&
                           fchown(fd, uid_t(-1), access.group) == 0;
    const mode_t wanted = (st.st_mode & 07000) | mode;  // a set-group-ID folder stays one
    if (regrouped || (st.st_mode & 07777) != wanted) fchmod(fd, wanted);
}

bool EnsureDirectory(const std::string& dir, const StoreAccess& access) {
    struct stat st{};
    if (stat(dir.c_str(), &st) == 0) {
        if (S_ISDIR(st.st_mode)) return true;
        errno = ENOTDIR;
        return false;
    }
    const size_t slash = dir.rfind('/');
    if (slash != std::string::npos && slash > 0 && !EnsureDirectory(dir.substr(0, slash), access)) return false;
    if (mkdir(dir.c_str(), access.folderMode) != 0) return errno == EEXIST;
    UniqueFd made(open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (made && fstat(made.get(), &st) == 0) ShareWithStore(made.get(), st, access.folderMode, access);
    return true;
}

// Opens the object's file and takes its gate, again when the file was removed between the two.
// create=false: only when it exists (false with errno ENOENT otherwise).
bool OpenGated(const std::string& path, bool create, UniqueFd& fd, std::unique_ptr<Gate>& gate) {
    StoreAccess access;
    if (create) {
        access = AccessOfStore();
        const size_t slash = path.rfind('/');
        if (!EnsureDirectory(path.substr(0, slash), access)) return false;
    }
    for (int attempt = 0; attempt < 100; ++attempt) {
        // Never through a link: the folder may be writable by every user of the store.
        fd.reset(open(path.c_str(), O_RDWR | O_CLOEXEC | O_NOCTTY | O_NOFOLLOW | (create ? O_CREAT : 0),
                      access.FileMode()));
        if (!fd) return false;
        gate = std::make_unique<Gate>(fd.get());
        struct stat mine{}, named{};
        if (fstat(fd.get(), &mine) == 0 && stat(path.c_str(), &named) == 0 && mine.st_ino == named.st_ino &&
            mine.st_dev == named.st_dev) {
            if (create) ShareWithStore(fd.get(), mine, access.FileMode(), access);
            return true;
        }
        gate.reset();
    }
    errno = EAGAIN;
    return false;
}

bool PresentElsewhere(int fd) { return detail::RangeLockedByOther(fd, F_WRLCK, kPresenceByte, 1); }

void CloseObjectFile(int fd, const std::string& path) {
    if (fd < 0) return;
    {
        Gate gate(fd);
        struct stat mine{}, named{};
        if (!PresentElsewhere(fd) && fstat(fd, &mine) == 0 && stat(path.c_str(), &named) == 0 &&
            mine.st_ino == named.st_ino && mine.st_dev == named.st_dev)
            unlink(path.c_str());
        else  // let go of presence before the gate: another process closing next sees us gone
            detail::SetOfdLock(fd, F_UNLCK, kPresenceByte, 1);
    }
    ::close(fd);
}

// ---- mutexes --------------------------------------------------------------------------------
// Maps the record of a file that holds one (under the gate); without a mapping (a file system
// that has none) the record goes through pread and pwrite.
void MapRecord(MutexState& s) {
    struct stat st{};
    if (fstat(s.fd, &st) != 0 || st.st_size < off_t(sizeof(MutexRecord))) return;
    void* p = mmap(nullptr, sizeof(MutexRecord), PROT_READ | PROT_WRITE, MAP_SHARED, s.fd, 0);
    if (p != MAP_FAILED) s.shared = static_cast<MutexRecord*>(p);
}

// Other processes read and write the mapped words only while they hold the owner lock, whose
// system calls order the accesses; the atomics keep each word whole.
uint32_t LoadWord(uint32_t& w) { return std::atomic_ref<uint32_t>(w).load(std::memory_order_relaxed); }
void StoreWord(uint32_t& w, uint32_t v) { std::atomic_ref<uint32_t>(w).store(v, std::memory_order_relaxed); }

bool RecordSaysOwned(MutexState& s) {
    if (s.shared == nullptr) {
        MutexRecord r{};
        return ReadRecord(s.fd, r) && r.owned == 1;
    }
    return LoadWord(s.shared->magic) == kRecordMagic && LoadWord(s.shared->owned) == 1;
}

void StoreRecord(MutexState& s, const MutexRecord& r) {
    if (s.shared == nullptr) return WriteRecord(s.fd, r);
    // "owned" is set last and cleared first: a process killed in between leaves no claim it
    // did not make.
    if (r.owned == 0) StoreWord(s.shared->owned, 0);
    StoreWord(s.shared->magic, r.magic);
    StoreWord(s.shared->pid, r.pid);
    StoreWord(s.shared->tid, r.tid);
    if (r.owned != 0) StoreWord(s.shared->owned, r.owned);
}

// With the owner lock just taken: a record still saying "owned" was left by an owner that
// ended without releasing (abandoned); ours replaces it.
void TakeRecord(MutexState& s, bool& abandoned) {
    abandoned = RecordSaysOwned(s);
    StoreRecord(s, MutexRecord{kRecordMagic, 1, ProcessId(), ThreadId()});
}

// Called with s.m held; true when this thread now owns the file lock.
bool TryOwnerLock(MutexState& s, bool& abandoned) {
    if (!detail::SetOfdLock(s.fd, F_WRLCK, kOwnerByte, 1)) return false;
    TakeRecord(s, abandoned);
    return true;
}

void TakeOwnership(MutexState& s, const std::shared_ptr<MutexState>& sp, DWORD tid) {
    s.owner = tid;
    s.count = 1;
    Owned().list.push_back(sp);
}

DWORD WaitMutex(const std::shared_ptr<MutexState>& sp, DWORD ms) {
    MutexState& s = *sp;
    const DWORD tid = ThreadId();
    const bool infinite = ms == INFINITE;
    const auto deadline = infinite ? Clock::time_point{} : Clock::now() + std::chrono::milliseconds(ms);
    std::unique_lock lk(s.m);
    if (s.owner == tid) {
        ++s.count;
        return WAIT_OBJECT_0;
    }
    auto freeInProcess = [&] { return s.owner == 0 && !s.acquiring; };
    auto waitInProcess = [&] {
        if (infinite) {
            s.cv.wait(lk, freeInProcess);
            return true;
        }
        return s.cv.wait_until(lk, deadline, freeInProcess);
    };
    if (!waitInProcess()) return WAIT_TIMEOUT;
    if (s.fd < 0) {
        const bool abandoned = s.abandoned;
        s.abandoned = false;
        TakeOwnership(s, sp, tid);
        return abandoned ? WAIT_ABANDONED : WAIT_OBJECT_0;
    }
    std::chrono::microseconds pause(500);
    for (;;) {
        bool abandoned = false;
        if (TryOwnerLock(s, abandoned)) {
            s.acquiring = false;
            TakeOwnership(s, sp, tid);
            return abandoned ? WAIT_ABANDONED : WAIT_OBJECT_0;
        }
        if (errno != EAGAIN && errno != EACCES) {
            const int err = errno;
            s.acquiring = false;
            s.cv.notify_all();
            detail::FailErrno(err);
            return WAIT_FAILED;
        }
        if (!infinite && Clock::now() >= deadline) {
            s.acquiring = false;
            s.cv.notify_all();
            return WAIT_TIMEOUT;
        }
        // Another process owns it. Our other threads stay out meanwhile.
        s.acquiring = true;
        lk.unlock();
        if (infinite) {  // the kernel wakes us when it is let go
            struct flock fl{};
            fl.l_type = F_WRLCK;
            fl.l_whence = SEEK_SET;
            fl.l_start = kOwnerByte;
            fl.l_len = 1;
            int rc;
            while ((rc = fcntl(s.fd, F_OFD_SETLKW, &fl)) != 0 && errno == EINTR) {
            }
            const int err = errno;
            lk.lock();
            s.acquiring = false;
            if (rc != 0) {
                s.cv.notify_all();
                detail::FailErrno(err);
                return WAIT_FAILED;
            }
            bool abandoned = false;
            TakeRecord(s, abandoned);
            TakeOwnership(s, sp, tid);
            return abandoned ? WAIT_ABANDONED : WAIT_OBJECT_0;
        }
        auto nap = pause;
        if (!infinite) nap = std::min(nap, std::chrono::duration_cast<std::chrono::microseconds>(deadline - Clock::now()) + std::chrono::microseconds(1));
        std::this_thread::sleep_for(nap);
        pause = std::min(pause * 2, std::chrono::microseconds(10000));
        lk.lock();
    }
}

HANDLE NewMutexHandle(std::shared_ptr<MutexState> s) {
    return detail::RegisterHandle(std::make_shared<MutexHandle>(std::move(s)));
}

// ---- semaphores -----------------------------------------------------------------------------
// Units held by other processes: their slot locks, counted range by range.
int32_t HeldByOthers(int fd, int64_t lo, int64_t hi) {
    if (lo >= hi) return 0;
    struct flock fl{};
    fl.l_type = F_WRLCK;
    fl.l_whence = SEEK_SET;
    fl.l_start = lo;
    fl.l_len = hi - lo;
    if (fcntl(fd, F_OFD_GETLK, &fl) != 0 || fl.l_type == F_UNLCK) return 0;
    const int64_t s = std::max<int64_t>(fl.l_start, lo);
    const int64_t e = fl.l_len == 0 ? hi : std::min<int64_t>(fl.l_start + fl.l_len, hi);
    return int32_t(e - s) + HeldByOthers(fd, lo, s) + HeldByOthers(fd, e, hi);
}

// Called under the gate: the record with units of dead processes given back.
SemaphoreRecord Reconcile(SemaphoreState& s) {
    SemaphoreRecord r{};
    if (!ReadRecord(s.fd, r)) r = SemaphoreRecord{kRecordMagic, s.maximum, s.maximum, 0};
    const int32_t held = HeldByOthers(s.fd, kSlotBase, kSlotBase + kMaxSemaphoreCount) + int32_t(s.mine.size());
    if (held < r.held) r.count = std::min(r.maximum, r.count + (r.held - held));
    r.held = held;
    return r;
}

// One try; true when a unit was taken.
bool TryTakeUnit(SemaphoreState& s) {
    if (s.fd < 0) {
        if (s.localCount <= 0) return false;
        --s.localCount;
        return true;
    }
    Gate gate(s.fd);
    SemaphoreRecord r = Reconcile(s);
    if (r.count <= 0) {
        WriteRecord(s.fd, r);
        return false;
    }
    for (int64_t slot = kSlotBase; slot < kSlotBase + kMaxSemaphoreCount; ++slot) {
        if (std::find(s.mine.begin(), s.mine.end(), slot) != s.mine.end()) continue;
        if (!detail::SetOfdLock(s.fd, F_WRLCK, slot, 1)) continue;
        s.mine.push_back(slot);
        --r.count;
        ++r.held;
        WriteRecord(s.fd, r);
        return true;
    }
    WriteRecord(s.fd, r);
    return false;
}

DWORD WaitSemaphore(SemaphoreState& s, DWORD ms) {
    const bool infinite = ms == INFINITE;
    const auto deadline = Clock::now() + std::chrono::milliseconds(infinite ? 0 : ms);
    std::chrono::microseconds pause(500);
    for (;;) {
        {
            std::lock_guard lk(s.m);
            if (TryTakeUnit(s)) return WAIT_OBJECT_0;
        }
        if (!infinite && Clock::now() >= deadline) return WAIT_TIMEOUT;
        auto nap = pause;
        if (!infinite) nap = std::min(nap, std::chrono::duration_cast<std::chrono::microseconds>(deadline - Clock::now()) + std::chrono::microseconds(1));
        std::this_thread::sleep_for(nap);
        pause = std::min(pause * 2, std::chrono::microseconds(10000));
    }
}

// The file of a named object in the run directory; nullopt with 206 for a name too long.
std::optional<std::string> ObjectPath(const char* prefix, const char* name) {
    if (strlen(name) >= MAX_PATH) {
        SetLastError(ERROR_FILENAME_EXCED_RANGE);
        return std::nullopt;
    }
    return RunDirectory() + "/" + FileName(prefix, name);
}

// Joins the users of an object file opened by OpenGated, still under its gate: `existed` tells
// whether another process has it, then this process takes its presence. False with the last
// error set.
bool JoinObjectFile(int fd, bool& existed) {
    existed = PresentElsewhere(fd);
    if (detail::SetOfdLock(fd, F_RDLCK, kPresenceByte, 1)) return true;
    detail::FailErrno(errno);
    return false;
}

}  // namespace

HANDLE CreateMutex(SECURITY_ATTRIBUTES* /*sa: NULL DACLs only*/, BOOL initialOwner, const char* name) {
    InstallForkHooks();
    if (!name) {
        auto s = std::make_shared<MutexState>();
        if (initialOwner) TakeOwnership(*s, s, ThreadId());
        HANDLE h = NewMutexHandle(std::move(s));
        SetLastError(ERROR_SUCCESS);
        return h;
    }
    const auto objectPath = ObjectPath("mutex.", name);
    if (!objectPath) return nullptr;
    const std::string& path = *objectPath;
    Registry& reg = TheRegistry();
    std::lock_guard rl(reg.mutex);
    if (auto it = reg.mutexes.find(path); it != reg.mutexes.end()) {
        if (auto s = it->second.lock()) {
            HANDLE h = NewMutexHandle(std::move(s));
            SetLastError(ERROR_ALREADY_EXISTS);  // an existing object does not give ownership
            return h;
        }
    }
    UniqueFd fd;
    std::unique_ptr<Gate> gate;
    if (!OpenGated(path, true, fd, gate)) {
        detail::FailErrno(errno);
        return nullptr;
    }
    auto s = std::make_shared<MutexState>();
    s->name = name;
    s->path = path;
    bool existed;
    {
        const std::unique_ptr<Gate> held = std::move(gate);  // until the end of this block
        if (!JoinObjectFile(fd.get(), existed)) return nullptr;
        if (!existed) WriteRecord(fd.get(), MutexRecord{kRecordMagic, 0, 0, 0});
        s->fd = fd.release();
        MapRecord(*s);
        if (initialOwner && !existed) {
            bool abandoned = false;
            std::lock_guard lk(s->m);
            if (TryOwnerLock(*s, abandoned)) TakeOwnership(*s, s, ThreadId());
        }
    }
    Remember(reg.mutexes, path, s);
    HANDLE h = NewMutexHandle(std::move(s));
    SetLastError(existed ? ERROR_ALREADY_EXISTS : ERROR_SUCCESS);
    return h;
}

HANDLE OpenMutex(DWORD /*access*/, BOOL /*inherit*/, const char* name) {
    InstallForkHooks();
    if (!name) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    const auto objectPath = ObjectPath("mutex.", name);
    if (!objectPath) return nullptr;
    const std::string& path = *objectPath;
    Registry& reg = TheRegistry();
    std::lock_guard rl(reg.mutex);
    if (auto it = reg.mutexes.find(path); it != reg.mutexes.end()) {
        if (auto s = it->second.lock()) {
            HANDLE h = NewMutexHandle(std::move(s));
            SetLastError(ERROR_SUCCESS);
            return h;
        }
    }
    UniqueFd fd;
    std::unique_ptr<Gate> gate;
    if (!OpenGated(path, false, fd, gate)) {
        SetLastError(ERROR_FILE_NOT_FOUND);
        return nullptr;
    }
    auto s = std::make_shared<MutexState>();
    s->name = name;
    s->path = path;
    {
        const std::unique_ptr<Gate> held = std::move(gate);  // until the end of this block
        if (!PresentElsewhere(fd.get())) {
            unlink(path.c_str());  // a file left by nobody
            SetLastError(ERROR_FILE_NOT_FOUND);
            return nullptr;
        }
        if (!detail::SetOfdLock(fd.get(), F_RDLCK, kPresenceByte, 1)) {
            detail::FailErrno(errno);
            return nullptr;
        }
        s->fd = fd.release();
        MapRecord(*s);
    }
    Remember(reg.mutexes, path, s);
    HANDLE h = NewMutexHandle(std::move(s));
    SetLastError(ERROR_SUCCESS);
    return h;
}

BOOL ReleaseMutex(HANDLE mutex) {
    auto h = detail::Lookup<MutexHandle>(mutex, Kind::Mutex);
    if (!h) return FALSE;
    MutexState& s = *h->state;
    const DWORD tid = ThreadId();
    std::unique_lock lk(s.m);
    if (s.owner != tid || s.count == 0) return detail::Fail(ERROR_NOT_OWNER);
    if (--s.count > 0) return TRUE;
    if (s.fd >= 0) {
        StoreRecord(s, MutexRecord{kRecordMagic, 0, 0, 0});
        detail::SetOfdLock(s.fd, F_UNLCK, kOwnerByte, 1);
    }
    s.owner = 0;
    s.cv.notify_all();
    lk.unlock();
    if (t_owned == nullptr) return TRUE;
    auto& list = t_owned->list;
    for (auto it = list.begin(); it != list.end(); ++it) {
        if (it->get() == &s) {
            list.erase(it);
            break;
        }
    }
    return TRUE;
}

HANDLE CreateSemaphore(SECURITY_ATTRIBUTES* /*sa*/, LONG initialCount, LONG maximumCount, const char* name) {
    InstallForkHooks();
    if (maximumCount <= 0 || initialCount < 0 || initialCount > maximumCount) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    const LONG maximum = std::min(maximumCount, kMaxSemaphoreCount);
    const LONG initial = std::min(initialCount, maximum);
    if (!name) {
        auto s = std::make_shared<SemaphoreState>();
        s->maximum = maximum;
        s->localCount = initial;
        HANDLE h = detail::RegisterHandle(std::make_shared<SemaphoreHandle>(std::move(s)));
        SetLastError(ERROR_SUCCESS);
        return h;
    }
    const auto objectPath = ObjectPath("semaphore.", name);
    if (!objectPath) return nullptr;
    const std::string& path = *objectPath;
    Registry& reg = TheRegistry();
    std::lock_guard rl(reg.mutex);
    if (auto it = reg.semaphores.find(path); it != reg.semaphores.end()) {
        if (auto s = it->second.lock()) {
            HANDLE h = detail::RegisterHandle(std::make_shared<SemaphoreHandle>(std::move(s)));
            SetLastError(ERROR_ALREADY_EXISTS);
            return h;
        }
    }
    UniqueFd fd;
    std::unique_ptr<Gate> gate;
    if (!OpenGated(path, true, fd, gate)) {
        detail::FailErrno(errno);
        return nullptr;
    }
    auto s = std::make_shared<SemaphoreState>();
    s->name = name;
    s->path = path;
    bool existed;
    {
        const std::unique_ptr<Gate> held = std::move(gate);  // until the end of this block
        if (!JoinObjectFile(fd.get(), existed)) return nullptr;
        SemaphoreRecord r{};
        if (existed && ReadRecord(fd.get(), r)) {
            s->maximum = r.maximum;
        } else {
            s->maximum = maximum;
            WriteRecord(fd.get(), SemaphoreRecord{kRecordMagic, maximum, initial, 0});
        }
    }
    s->fd = fd.release();
    Remember(reg.semaphores, path, s);
    HANDLE h = detail::RegisterHandle(std::make_shared<SemaphoreHandle>(std::move(s)));
    SetLastError(existed ? ERROR_ALREADY_EXISTS : ERROR_SUCCESS);
    return h;
}

BOOL ReleaseSemaphore(HANDLE semaphore, LONG releaseCount, LONG* previousCount) {
    auto h = detail::Lookup<SemaphoreHandle>(semaphore, Kind::Semaphore);
    if (!h) return FALSE;
    if (releaseCount <= 0) return detail::Fail(ERROR_INVALID_PARAMETER);
    SemaphoreState& s = *h->state;
    std::lock_guard lk(s.m);
    if (s.fd < 0) {
        if (int64_t{s.localCount} + releaseCount > s.maximum) return detail::Fail(ERROR_TOO_MANY_POSTS);
        if (previousCount) *previousCount = s.localCount;
        s.localCount += releaseCount;
        return TRUE;
    }
    Gate gate(s.fd);
    SemaphoreRecord r = Reconcile(s);
    if (int64_t{r.count} + releaseCount > r.maximum) {
        WriteRecord(s.fd, r);
        return detail::Fail(ERROR_TOO_MANY_POSTS);
    }
    if (previousCount) *previousCount = r.count;
    r.count += releaseCount;
    // Give back the units this process took, as many as are released.
    for (LONG i = 0; i < releaseCount && !s.mine.empty(); ++i) {
        detail::SetOfdLock(s.fd, F_UNLCK, s.mine.back(), 1);
        s.mine.pop_back();
        --r.held;
    }
    WriteRecord(s.fd, r);
    return TRUE;
}

DWORD WaitForSingleObject(HANDLE handle, DWORD milliseconds) {
    const DWORD saved = GetLastError();
    if (auto m = detail::Lookup<MutexHandle>(handle, Kind::Mutex)) return WaitMutex(m->state, milliseconds);
    SetLastError(saved);
    if (auto s = detail::Lookup<SemaphoreHandle>(handle, Kind::Semaphore)) return WaitSemaphore(*s->state, milliseconds);
    SetLastError(ERROR_INVALID_HANDLE);
    return WAIT_FAILED;
}

}  // namespace win

// Named mutexes and semaphores, machine-wide for the processes that share the run-time
// directory: one lock file per object, opened, checked and removed relative to the run-time
// folder's handle. A mutex file is a pipe: its owner lock is the file's flock, and it holds one
// byte while the mutex is free and was let go by its owner (see mutex.cpp). Within the process,
// the owner thread and its recursion are kept in memory; a thread that ends owning a mutex
// abandons it. A semaphore file keeps the count in its record and one lock byte (slot) per unit
// a process has taken, so that units taken by a process that died come back. Nothing in a lock
// file is mapped: whatever another writer of the folder does to one never faults a caller.
#include <strings.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstring>
#include <thread>

#include "platform/sync_objects.h"

namespace win::sync {

Registry& TheRegistry() {
    static Registry* r = new Registry;
    return *r;
}

namespace {

void ForkPrepare() { TheRegistry().mutex.lock(); }
void ForkParent() { TheRegistry().mutex.unlock(); }
void ForkChild() {
    Registry& r = TheRegistry();
    // The parent's objects are the parent's: drop our copies of their descriptors.
    for (auto& [n, w] : r.mutexes)
        if (auto s = w.lock()) {
            if (s->file.fd >= 0) ::close(s->file.fd);
            s->file.fd = -1;
            new (&s->m) std::mutex;
            new (&s->cv) std::condition_variable;
            r.orphans.push_back(s);
        }
    for (auto& [n, w] : r.semaphores)
        if (auto s = w.lock()) {
            if (s->file.fd >= 0) ::close(s->file.fd);
            s->file.fd = -1;
            new (&s->m) std::mutex;
            r.orphans.push_back(s);
        }
    r.mutexes.clear();
    r.semaphores.clear();
    MutexesAfterFork(r);
    r.mutex.unlock();
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

}  // namespace

void InstallForkHooks() {
    static std::once_flag once;
    std::call_once(once, [] { detail::RegisterForkHooks({detail::ForkOrder::NamedObjects, ForkPrepare, ForkParent, ForkChild}); });
}

Gate::Gate(int fd, Clock::duration bound) : fd_(-1) {
    const auto deadline = Clock::now() + bound;
    std::chrono::microseconds pause(50);
    for (;;) {
        if (detail::SetOfdLock(fd, F_WRLCK, kGateByte, 1)) {
            fd_ = fd;
            return;
        }
        if ((errno != EAGAIN && errno != EACCES) || Clock::now() >= deadline) {
            errno = EBUSY;
            return;
        }
        std::this_thread::sleep_for(pause);
        pause = std::min(pause * 2, std::chrono::microseconds(20000));
    }
}

Gate::~Gate() {
    if (fd_ >= 0) detail::SetOfdLock(fd_, F_UNLCK, kGateByte, 1);
}

namespace {

bool SameFile(const struct stat& a, const struct stat& b) { return a.st_ino == b.st_ino && a.st_dev == b.st_dev; }

// What a lock file of the kind is: a pipe or a regular file, with no other name that a write
// or a change of mode through this one would reach.
bool OfKind(const struct stat& st, bool pipe) {
    return (pipe ? S_ISFIFO(st.st_mode) : S_ISREG(st.st_mode)) && st.st_nlink == 1;
}

// What no process can hold as a lock file of either kind: a folder, a link, a socket, a device.
bool NeverALockFile(const struct stat& st) { return !S_ISFIFO(st.st_mode) && !S_ISREG(st.st_mode); }

}  // namespace

Opened OpenGated(const RunFolder& folder, const std::string& file, bool pipe, bool create,
                 const StoreAccess& access, UniqueFd& fd, std::unique_ptr<Gate>& gate) {
    const int dir = folder.fd.get();
    for (int attempt = 0; attempt < 100; ++attempt) {
        if (create && pipe && mknodat(dir, file.c_str(), S_IFIFO | access.FileMode(), 0) != 0 && errno != EEXIST)
            return Opened::Failed;
        // Never through a link, and never blocking on a pipe. A pipe's access time means nothing:
        // its owner opens it without (a saving at every take), others may not.
        const int flags = O_RDWR | O_CLOEXEC | O_NOCTTY | O_NOFOLLOW | O_NONBLOCK | (create && !pipe ? O_CREAT : 0);
        fd.reset(::openat(dir, file.c_str(), flags | (pipe ? O_NOATIME : 0), access.FileMode()));
        if (!fd && pipe && errno == EPERM) fd.reset(::openat(dir, file.c_str(), flags, access.FileMode()));
        if (!fd) {
            if (create && pipe && errno == ENOENT) continue;  // removed by a last user between the two steps
            // A folder, a link or a socket at the name.
            return errno == EISDIR || errno == ELOOP || errno == ENXIO ? Opened::NoLockFile : Opened::Failed;
        }
        gate = std::make_unique<Gate>(fd.get(), Clock::duration::zero());
        if (!gate->held()) {
            gate.reset();
            fd.reset();
            return Opened::Busy;
        }
        struct stat mine{}, named{};
        if (fstat(fd.get(), &mine) == 0 && fstatat(dir, file.c_str(), &named, AT_SYMLINK_NOFOLLOW) == 0 &&
            SameFile(mine, named)) {
            if (OfKind(mine, pipe)) {
                if (create) ShareWithStore(fd.get(), mine, access.FileMode(), access);
                return Opened::Gated;
            }
            // Something else under the name (left by an older library, or planted): never used,
            // and removed (then made anew) when no process has it.
            const bool gone = !PresentElsewhere(fd.get()) && unlinkat(dir, file.c_str(), 0) == 0;
            if (!gone || !create) {
                gate.reset();
                fd.reset();
                errno = gone ? ENOENT : EBADF;
                return Opened::Failed;
            }
        }
        gate.reset();
    }
    errno = EAGAIN;
    return Opened::Failed;
}

// The removers of the processes take turns by the folder's lock, so that none removes the lock
// file another has just made in its place.
bool RemoveNonLockFile(const RunFolder& run, const std::string& file) {
    const int dir = run.fd.get();
    UniqueFd folder(::openat(dir, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!folder) return false;
    const auto deadline = Clock::now() + kGateBound;
    while (flock(folder.get(), LOCK_EX | LOCK_NB) != 0) {
        if ((errno != EWOULDBLOCK && errno != EINTR) || Clock::now() >= deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    struct stat st{};
    if (fstatat(dir, file.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) return errno == ENOENT;
    if (!NeverALockFile(st)) return true;  // a lock file took its place: opened next
    if (S_ISDIR(st.st_mode)) return detail::RemoveTreeAt(dir, run.path, file.c_str());
    return unlinkat(dir, file.c_str(), 0) == 0 || errno == ENOENT;
}

bool PresentElsewhere(int fd) { return detail::RangeLockedByOther(fd, F_WRLCK, kPresenceByte, 1); }

ObjectFile::~ObjectFile() {
    if (fd < 0) return;
    {
        // Without the gate the file stays for the next user, who makes the object anew.
        Gate gate(fd, kGateBound);
        struct stat mine{}, named{};
        if (gate.held() && !PresentElsewhere(fd) && fstat(fd, &mine) == 0 &&
            fstatat(folder->fd.get(), name.c_str(), &named, AT_SYMLINK_NOFOLLOW) == 0 && SameFile(mine, named))
            unlinkat(folder->fd.get(), name.c_str(), 0);
        else  // let go of presence before the gate: another process closing next sees us gone
            detail::SetOfdLock(fd, F_UNLCK, kPresenceByte, 1);
    }
    ::close(fd);
}

bool PlaceObject(const char* prefix, const char* name, bool create, ObjectFile& place) {
    if (strlen(name) >= MAX_PATH) return detail::Fail(ERROR_FILENAME_EXCED_RANGE);
    Registry& reg = TheRegistry();
    std::shared_ptr<const RunFolder> folder;
    {
        std::lock_guard rl(reg.mutex);
        folder = reg.runFolder;
    }
    // The folder is opened again only for another setting, or when it was removed. The settings
    // and the store's paths are asked without the registry's mutex (lock order, handles.cpp).
    struct stat st{};
    if (!folder || folder->path != RunDirectory() || fstat(folder->fd.get(), &st) != 0 || st.st_nlink == 0) {
        folder = OpenRunFolder(create);
        if (!folder) return create ? detail::FailErrno(errno) : detail::Fail(ERROR_FILE_NOT_FOUND);
        std::lock_guard rl(reg.mutex);
        reg.runFolder = folder;
    }
    place.folder = std::move(folder);
    place.name = FileName(prefix, name);
    return TRUE;
}

}  // namespace win::sync

namespace win {

DWORD WaitForSingleObject(HANDLE handle, DWORD milliseconds) {
    const DWORD saved = GetLastError();
    if (auto m = detail::Lookup<sync::MutexHandle>(handle, detail::Kind::Mutex)) return sync::WaitMutex(m->state, milliseconds);
    SetLastError(saved);
    if (auto s = detail::Lookup<sync::SemaphoreHandle>(handle, detail::Kind::Semaphore)) return sync::WaitSemaphore(*s->state, milliseconds);
    SetLastError(ERROR_INVALID_HANDLE);
    return WAIT_FAILED;
}

}  // namespace win

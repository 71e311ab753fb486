// Named mutexes and semaphores, machine-wide for the processes that share the run-time
// directory: one lock file per object. A mutex file starts with a record that says who owns it
// and the owner lock, a robust process-shared lock held by the owning thread, both in a shared
// mapping of the file; a lock found free (or marked by the kernel as left by a thread that
// ended) while the record still says "owned" was left by a dead owner: abandoned. A free mutex
// is taken and let go without a system call. Within the process, the owner thread and its
// recursion are kept in memory; a thread that ends owning a mutex abandons it. A semaphore file keeps the count in its record and one lock byte (slot) per
// unit a process has taken, so that units taken by a process that died come back.
#include <strings.h>
#include <sys/stat.h>

#include <cstring>

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
    new (&r.mutex) std::mutex;
    // The parent's objects are the parent's: drop our copies of their descriptors.
    for (auto& [n, w] : r.mutexes)
        if (auto s = w.lock()) {
            if (s->fd >= 0) ::close(s->fd);
            s->fd = -1;
            if (s->shared != nullptr) munmap(s->shared, sizeof(MutexShared));
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
    MutexesAfterFork(r);
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

}  // namespace

void InstallForkHooks() {
    static std::once_flag once;
    std::call_once(once, [] { detail::RegisterForkHooks({ForkPrepare, ForkParent, ForkChild}); });
}

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

std::optional<std::string> ObjectPath(const char* prefix, const char* name) {
    if (strlen(name) >= MAX_PATH) {
        SetLastError(ERROR_FILENAME_EXCED_RANGE);
        return std::nullopt;
    }
    return RunDirectory() + "/" + FileName(prefix, name);
}

bool JoinObjectFile(int fd, bool& existed) {
    existed = PresentElsewhere(fd);
    if (detail::SetOfdLock(fd, F_RDLCK, kPresenceByte, 1)) return true;
    detail::FailErrno(errno);
    return false;
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

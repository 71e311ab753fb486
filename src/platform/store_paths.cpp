// The shared store: every user of the install root's group writes it, so nothing below the root
// is taken on trust. Everything below it is reached from the root's descriptor, which the process
// holds, by openat2 passing no link; the root itself and what lies above it may be links.
#include <fcntl.h>
#include <linux/openat2.h>
#include <sys/syscall.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <memory>
#include <mutex>

#include "platform/internal.h"

namespace win::detail {
namespace {

struct RootCache {
    std::mutex mutex;
    std::string text;           // the setting it was made from
    unsigned generation = ~0u;  // of the platform section (the drive table)
    std::string lexical;        // the root as the library's own paths spell it
    std::string resolved;       // as found on disk (its case)
    // The root (its spelling on disk) open for the process: opening it for every open below it
    // would cost as much as the open itself. Made anew with the settings, in a forked child, and
    // when an open below it fails while another folder has taken the root's place.
    std::shared_ptr<const HeldRoot> held;
};

void ForkPrepare();
void ForkParent();
void ForkChild();

RootCache& TheRootCache() {
    static RootCache* c = [] {
        RegisterForkHooks({ForkOrder::StoreRoot, ForkPrepare, ForkParent, ForkChild});
        return new RootCache;  // never destroyed: used until the last thread ends
    }();
    return *c;
}

void ForkPrepare() { TheRootCache().mutex.lock(); }
void ForkParent() { TheRootCache().mutex.unlock(); }
// The child's descriptors are its own business from now on (a daemon closes them all).
void ForkChild() {
    RootCache& c = TheRootCache();
    c.mutex.unlock();
    c.held.reset();
}

// Calls use(cache) under its lock once the cache matches the settings.
template <class Use>
auto WithRoots(Use use) {
    const auto setting = registry::Get(kInstallRootSetting);
    const std::string_view text = setting && !setting->empty() ? std::string_view(*setting) : kInstallRootDefault;
    const unsigned generation = g_platformGeneration.load();
    RootCache& c = TheRootCache();
    for (;;) {
        {
            std::lock_guard lock(c.mutex);
            if (c.generation == generation && c.text == text) return use(c);
        }
        std::string lexical;
        const DWORD error = GetLastError();
        if (!LexicalPath(text, lexical)) lexical.clear();
        std::string resolved = InstallRoot();
        SetLastError(error);
        if (lexical == "/") lexical.clear();
        if (resolved == "/") resolved.clear();
        std::lock_guard lock(c.mutex);
        c.text = text;
        c.generation = generation;
        c.lexical = std::move(lexical);
        c.resolved = std::move(resolved);
        c.held.reset();
    }
}

bool IsBelow(std::string_view posix, const std::string& root) {
    return !root.empty() && posix.size() > root.size() + 1 && posix.compare(0, root.size(), root) == 0 &&
           posix[root.size()] == '/';
}
bool AtOrBelow(std::string_view posix, const std::string& root) {
    return !root.empty() && (posix == root || IsBelow(posix, root));
}

std::shared_ptr<const HeldRoot> OpenRootAt(const std::string& path) {
    auto held = std::make_shared<HeldRoot>();
    held->fd.reset(::open(path.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
    struct stat st{};
    if (!held->fd || fstat(held->fd.get(), &st) != 0) return nullptr;
    held->path = path;
    held->dev = st.st_dev;
    held->ino = st.st_ino;
    return held;
}

}  // namespace

bool BelowStoreRoot(std::string_view posix) {
    return WithRoots([&](const RootCache& c) { return IsBelow(posix, c.lexical) || IsBelow(posix, c.resolved); });
}

std::shared_ptr<const HeldRoot> HoldStoreRoot(const std::string& posix, const char*& below) {
    bool within = false;
    size_t rootSize = 0;
    auto held = WithRoots([&](RootCache& c) -> std::shared_ptr<const HeldRoot> {
        const bool onDisk = AtOrBelow(posix, c.resolved);
        within = onDisk || AtOrBelow(posix, c.lexical);
        if (!within) return nullptr;
        const std::string& root = onDisk ? c.resolved : c.lexical;
        rootSize = root.size();
        if (!onDisk) return OpenRootAt(root);
        if (!c.held) c.held = OpenRootAt(root);  // missing: tried again at the next use
        return c.held;
    });
    if (!held) {
        if (!within) errno = EINVAL;
        return nullptr;
    }
    below = posix.size() == rootSize ? "." : posix.c_str() + rootSize + 1;
    return held;
}

bool RenewStoreRoot(const HeldRoot& stale) {
    const int err = errno;
    if (err != ENOENT && err != ENOTDIR) return false;  // what a folder gone from the root's place gives
    struct stat st{};
    if (stat(stale.path.c_str(), &st) == 0 && st.st_dev == stale.dev && st.st_ino == stale.ino) {
        errno = err;
        return false;
    }
    WithRoots([&](RootCache& c) {
        if (c.held.get() == &stale) c.held.reset();
        return 0;
    });
    errno = err;
    return true;
}

UniqueFd OpenParentOf(const std::string& posix, std::string& lastName, bool& belowRoot) {
    const size_t slash = posix.rfind('/');
    lastName = slash == std::string::npos ? posix : posix.substr(slash + 1);
    const std::string parent = slash == std::string::npos ? "." : slash == 0 ? "/" : posix.substr(0, slash);
    belowRoot = BelowStoreRoot(posix);
    if (!belowRoot) return UniqueFd(::open(parent.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    // Every level below the root at once, never through a link.
    UniqueFd fd(OpenInStore(parent, O_PATH | O_DIRECTORY, 0));
    if (!fd && errno == ELOOP) errno = ENOTDIR;  // a link there is no folder
    return fd;
}

namespace {
// A relative path of plain names: passing no link it can only lead down from its folder.
bool OnlyDown(const char* path) {
    if (path[0] == '/') return false;
    for (const char* at = path; (at = std::strstr(at, "..")) != nullptr; at += 2) {
        if ((at == path || at[-1] == '/') && (at[2] == 0 || at[2] == '/')) return false;
    }
    return true;
}
}  // namespace

int OpenBeneath(int dirFd, const char* path, int flags, mode_t mode) {
    open_how how{};
    how.flags = static_cast<uint64_t>(flags | O_CLOEXEC);
    how.mode = flags & O_CREAT ? mode : 0;
    // Links are refused either way; the kernel's own bound (its final check costs a tenth of an
    // open) only where the path itself could climb. Plain names only lead down: a folder moved
    // out meanwhile holds what the store held, nothing new.
    how.resolve = RESOLVE_NO_SYMLINKS | (OnlyDown(path) ? 0 : RESOLVE_BENEATH);
    long fd = -1;
    // EAGAIN: a rename elsewhere raced the look-up; it is safe to ask again.
    for (int attempt = 0; attempt < 8; ++attempt) {
        fd = syscall(SYS_openat2, dirFd, path, &how, sizeof how);
        if (fd >= 0 || errno != EAGAIN) break;
    }
    if (fd < 0 && errno == ELOOP) {
        // A link on the way means no folder there; one at the last name stays a link refused.
        const char* slash = std::strrchr(path, '/');
        if (slash) {
            const std::string parent(path, slash);
            open_how up{};
            up.flags = O_PATH | O_DIRECTORY | O_CLOEXEC;
            up.resolve = how.resolve;
            const long p = syscall(SYS_openat2, dirFd, parent.c_str(), &up, sizeof up);
            if (p >= 0) ::close(static_cast<int>(p));
            errno = p >= 0 ? ELOOP : ENOTDIR;
        }
    }
    return static_cast<int>(fd);
}

UniqueFd OpenStoreRoot(const std::string& posix, const char*& below) {
    const auto held = HoldStoreRoot(posix, below);
    return UniqueFd(held ? fcntl(held->fd.get(), F_DUPFD_CLOEXEC, 0) : -1);
}

int OpenInStore(const std::string& posix, int flags, mode_t mode) {
    return FromStoreRoot(posix, [&](int root, const char* below) { return OpenBeneath(root, below, flags, mode); });
}

bool PathAt::Open(const std::string& posix) {
    folder.reset();
    dirFd = AT_FDCWD;
    name = posix;
    if (!BelowStoreRoot(posix)) return true;
    const size_t slash = posix.rfind('/');
    folder.reset(OpenInStore(posix.substr(0, slash), O_PATH | O_DIRECTORY, 0));
    if (!folder) {
        if (errno == ELOOP || errno == ENOENT) errno = ENOTDIR;  // a link there is no folder
        return false;
    }
    dirFd = folder.get();
    name = posix.substr(slash + 1);
    return true;
}

UniqueFd OpenFolder(const std::string& posix, bool& belowRoot) {
    belowRoot = BelowStoreRoot(posix);
    if (belowRoot) return UniqueFd(OpenInStore(posix, O_RDONLY | O_DIRECTORY, 0));
    return UniqueFd(::open(posix.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
}

}  // namespace win::detail

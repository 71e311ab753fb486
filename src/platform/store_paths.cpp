// The shared store: every user of the install root's group writes it, so nothing below the root
// is taken on trust. Its folders are opened one level at a time, each relative to the one before
// and never through a link; the root itself and what lies above it may be links.
#include <fcntl.h>
#include <linux/openat2.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <mutex>

#include "platform/internal.h"

namespace win::detail {
namespace {

struct RootCache {
    std::mutex mutex;
    std::string text;       // the setting it was made from
    unsigned generation = ~0u;  // of the platform section (the drive table)
    std::string lexical;    // the root as the library's own paths spell it
    std::string resolved;   // as found on disk (its case)
};

RootCache& TheRootCache() {
    static RootCache* c = new RootCache;  // never destroyed: used until the last thread ends
    return *c;
}

// Both spellings of the root; empty ones when it is "/" or cannot be told.
void StoreRoots(std::string& lexical, std::string& resolved) {
    auto setting = registry::Get(kInstallRootSetting);
    const std::string text = setting && !setting->empty() ? *setting : std::string(kInstallRootDefault);
    const unsigned generation = g_platformGeneration.load();
    RootCache& c = TheRootCache();
    {
        std::lock_guard lock(c.mutex);
        if (c.generation == generation && c.text == text) {
            lexical = c.lexical;
            resolved = c.resolved;
            return;
        }
    }
    const DWORD error = GetLastError();
    if (!LexicalPath(text, lexical)) lexical.clear();
    resolved = InstallRoot();
    SetLastError(error);
    if (lexical == "/") lexical.clear();
    if (resolved == "/") resolved.clear();
    std::lock_guard lock(c.mutex);
    c.text = text;
    c.generation = generation;
    c.lexical = lexical;
    c.resolved = resolved;
}

bool IsBelow(std::string_view posix, const std::string& root) {
    return !root.empty() && posix.size() > root.size() + 1 && posix.compare(0, root.size(), root) == 0 &&
           posix[root.size()] == '/';
}

}  // namespace

bool BelowStoreRoot(std::string_view posix) {
    std::string lexical, resolved;
    StoreRoots(lexical, resolved);
    return IsBelow(posix, lexical) || IsBelow(posix, resolved);
}

UniqueFd OpenParentOf(const std::string& posix, std::string& lastName, bool& belowRoot) {
    const size_t slash = posix.rfind('/');
    lastName = slash == std::string::npos ? posix : posix.substr(slash + 1);
    const std::string parent = slash == std::string::npos ? "." : slash == 0 ? "/" : posix.substr(0, slash);
    belowRoot = BelowStoreRoot(posix);
    if (!belowRoot) return UniqueFd(::open(parent.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    std::string lexical, root;
    StoreRoots(lexical, root);
    if (!IsBelow(posix, root)) root = lexical;
    UniqueFd fd(::open(root.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    // Each level below the root relative to the one before, never through a link.
    const std::string_view levels =
        slash > root.size() ? std::string_view(posix).substr(root.size() + 1, slash - root.size() - 1) : std::string_view();
    for (size_t at = 0; fd && at < levels.size();) {
        size_t end = levels.find('/', at);
        if (end == std::string_view::npos) end = levels.size();
        if (end > at) {
            const std::string level(levels.substr(at, end - at));
            fd.reset(::openat(fd.get(), level.c_str(), O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
        }
        at = end + 1;
    }
    return fd;
}

int OpenBeneath(int dirFd, const char* path, int flags, mode_t mode) {
    open_how how{};
    how.flags = static_cast<uint64_t>(flags | O_CLOEXEC);
    how.mode = flags & O_CREAT ? mode : 0;
    how.resolve = RESOLVE_NO_SYMLINKS | RESOLVE_BENEATH;
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
    std::string lexical, root;
    StoreRoots(lexical, root);
    auto within = [&](const std::string& r) { return !r.empty() && (posix == r || IsBelow(posix, r)); };
    if (!within(root)) root = lexical;
    if (!within(root)) {
        errno = EINVAL;
        return UniqueFd();
    }
    below = posix.size() == root.size() ? "." : posix.c_str() + root.size() + 1;
    return UniqueFd(::open(root.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
}

int OpenInStore(const std::string& posix, int flags, mode_t mode) {
    const char* below = nullptr;
    const UniqueFd root = OpenStoreRoot(posix, below);
    return root ? OpenBeneath(root.get(), below, flags, mode) : -1;
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
    std::string last;
    UniqueFd parent = OpenParentOf(posix, last, belowRoot);
    if (!parent) return parent;
    if (last.empty()) return UniqueFd(::open(posix.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    return UniqueFd(::openat(parent.get(), last.c_str(),
                             O_RDONLY | O_DIRECTORY | O_CLOEXEC | (belowRoot ? O_NOFOLLOW : 0)));
}

}  // namespace win::detail

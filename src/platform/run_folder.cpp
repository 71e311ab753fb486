// The run-time folder of the named objects' lock files. It is opened once (again only for
// another setting or when it was removed) and every step on a lock file goes relative to its
// handle, so that a folder swapped for another or for a link after the first use redirects
// nothing. Below the install root it is store like any other folder: no level from the root on
// is passed or taken as a link.
#include "platform/sync_objects.h"

namespace win::sync {

StoreAccess AccessOfStore() {
    StoreAccess access;
    struct stat st{};
    if (stat(InstallRoot().c_str(), &st) == 0 && S_ISDIR(st.st_mode)) {
        access.folderMode = st.st_mode & 0777;
        access.group = st.st_gid;
    }
    return access;
}

void ShareWithStore(int fd, const struct stat& st, mode_t mode, const StoreAccess& access) {
    if (st.st_uid != geteuid()) return;
    // A group the process may not give stays the creator's; the mode still opens it to others.
    // A change of group may drop the set-ID bits: the mode is set again after it.
    const bool regrouped = access.group != gid_t(-1) && st.st_gid != access.group &&
                           fchown(fd, uid_t(-1), access.group) == 0;
    const mode_t wanted = (st.st_mode & 07000) | mode;  // a set-group-ID folder stays one
    if (regrouped || (st.st_mode & 07777) != wanted) fchmod(fd, wanted);
}

namespace {

// The folder `at` names (O_PATH), made first when missing and `create`. Below the root `at` is
// relative to its parent, which was reached without a link, and a link at the name is no folder.
UniqueFd OpenOrMake(const detail::PathAt& at, bool create, const StoreAccess& access) {
    const int flags = O_DIRECTORY | O_CLOEXEC | (at.folder ? O_NOFOLLOW : 0);
    UniqueFd fd(::openat(at.dirFd, at.c_str(), O_PATH | flags));
    if (fd || errno != ENOENT || !create) return fd;
    if (mkdirat(at.dirFd, at.c_str(), access.folderMode) != 0) {
        if (errno == EEXIST) fd.reset(::openat(at.dirFd, at.c_str(), O_PATH | flags));
        return fd;
    }
    if (UniqueFd made{::openat(at.dirFd, at.c_str(), O_RDONLY | flags)}) {
        struct stat st{};
        if (fstat(made.get(), &st) == 0) ShareWithStore(made.get(), st, access.folderMode, access);
    }
    fd.reset(::openat(at.dirFd, at.c_str(), O_PATH | flags));
    return fd;
}

// `dir` opened, the folders missing on the way made first (when `create`).
UniqueFd OpenLevel(const std::string& dir, bool create, const StoreAccess& access) {
    detail::PathAt at;
    if (at.Open(dir)) {
        UniqueFd fd = OpenOrMake(at, create, access);
        if (fd || errno != ENOENT || !create) return fd;
    } else if (errno != ENOTDIR || !create) {
        return UniqueFd();
    }
    // A level above is missing (or, below the root, no folder: its own open says which).
    const size_t slash = dir.rfind('/');
    if (slash == std::string::npos || slash == 0 || !OpenLevel(dir.substr(0, slash), true, access) || !at.Open(dir))
        return UniqueFd();
    return OpenOrMake(at, true, access);
}

}  // namespace

std::shared_ptr<const RunFolder> OpenRunFolder(bool create) {
    auto folder = std::make_shared<RunFolder>();
    folder->path = RunDirectory();
    folder->fd = OpenLevel(folder->path, create, create ? AccessOfStore() : StoreAccess{});
    if (!folder->fd) return nullptr;
    return folder;
}

}  // namespace win::sync

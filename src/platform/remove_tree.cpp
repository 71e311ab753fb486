// Tree removal by handle. A folder is opened relative to its parent's handle and never through
// a link, listed through its own handle, and its entries go relative to that handle: a folder
// that another writer swaps for a link after the listing is met as the link it has become and
// removed as such, and nothing behind it is touched.
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <string>
#include <vector>

#include "platform/internal.h"

namespace win {
namespace {

using detail::UniqueFd;

// Folders below this many levels are left (206): another writer may nest folders without end,
// and each level holds a descriptor and a stack frame. Paths of the system stop at 260
// characters, far above it.
constexpr int kMaxDepth = 256;

struct Listed {
    std::string name;
    unsigned char type;  // DT_* as the folder told it (DT_UNKNOWN: ask)
};

// The names of the folder open as `dirFd`, read through a second descriptor of it.
bool List(int dirFd, std::vector<Listed>& out) {
    const int readFd = ::openat(dirFd, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    DIR* d = readFd >= 0 ? fdopendir(readFd) : nullptr;
    if (!d) {
        if (readFd >= 0) ::close(readFd);
        return false;
    }
    while (dirent* e = readdir(d)) {
        const char* n = e->d_name;
        if (n[0] == '.' && (n[1] == 0 || (n[1] == '.' && n[2] == 0))) continue;
        out.push_back({n, e->d_type});
    }
    closedir(d);
    return true;
}

class TreeRemover {
public:
    DWORD first() const { return first_; }
    void Note(DWORD error) {
        if (first_ == 0) first_ = error;
    }
    // A name gone meanwhile is removed already: no error.
    void NoteErrno(int err) {
        if (err != ENOENT) Note(ErrorFromErrno(err));
    }

    // Removes the entries of the folder open as `dirFd`; `path` names it for the failure
    // injection and the test seam only.
    void Empty(int dirFd, const std::string& path, bool filesOnly, int depth = 0) {
        if (depth >= kMaxDepth) {
            Note(ERROR_FILENAME_EXCED_RANGE);
            return;
        }
        std::vector<Listed> entries;
        if (!List(dirFd, entries)) {
            NoteErrno(errno);
            return;
        }
        fault::Listed(path);
        bool removed = false;
        for (const Listed& e : entries) removed |= RemoveEntry(dirFd, path, e, filesOnly, depth);
        if (removed) detail::ForgetNamesIn(dirFd);
    }

    // Removes the folder `name` of `dirFd` and everything in it, by handle.
    bool RemoveFolder(int dirFd, const std::string& path, const char* name, int depth = 0) {
        UniqueFd sub(::openat(dirFd, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
        if (!sub) {
            // No longer a folder (a link or a file took its place): it goes as what it is now.
            if (errno == ELOOP || errno == ENOTDIR) return RemoveName(dirFd, path, name, DT_UNKNOWN);
            NoteErrno(errno);
            return false;
        }
        // A read-only folder goes like any other: what is in it must be removable.
        struct stat st{};
        if (fstat(sub.get(), &st) == 0 && !(st.st_mode & S_IWUSR)) fchmod(sub.get(), (st.st_mode & 07777) | S_IWUSR);
        Empty(sub.get(), path + "/" + name, false, depth + 1);
        sub.reset();
        if (::unlinkat(dirFd, name, AT_REMOVEDIR) == 0) return true;
        if (errno == ENOTDIR) return RemoveName(dirFd, path, name, DT_UNKNOWN);  // swapped after emptying
        NoteErrno(errno);
        return false;
    }

    // Removes a name that is no folder: a file another handle holds without sharing delete
    // stays (32), a link goes as a link.
    bool RemoveName(int dirFd, const std::string& path, const char* name, unsigned char type) {
        if (fault::Hit(fault::Call::DeleteFile, path + "/" + name)) {
            Note(GetLastError());
            return false;
        }
        if (type == DT_REG || type == DT_UNKNOWN) {
            UniqueFd fd(::openat(dirFd, name, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
            if (fd && detail::HeldWithoutDeleteShare(fd.get())) {
                Note(ERROR_SHARING_VIOLATION);
                return false;
            }
        }
        if (::unlinkat(dirFd, name, 0) == 0) return true;
        if (errno == EISDIR) return RemoveFolder(dirFd, path, name);  // a folder took its place
        NoteErrno(errno);
        return false;
    }

private:
    bool RemoveEntry(int dirFd, const std::string& path, const Listed& e, bool filesOnly, int depth) {
        unsigned char type = e.type;
        if (type == DT_UNKNOWN) {
            struct stat st{};
            if (fstatat(dirFd, e.name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
                NoteErrno(errno);
                return false;
            }
            type = IFTODT(st.st_mode);
        }
        if (type == DT_DIR) return !filesOnly && RemoveFolder(dirFd, path, e.name.c_str(), depth);
        return RemoveName(dirFd, path, e.name.c_str(), type);
    }

    DWORD first_ = 0;
};

// The folder that holds the last level of `p`, and that level's name; invalid with the error set
// when there is none, or the name is the root, "." or "..", which nothing removes.
UniqueFd OpenParentToRemove(const detail::ResolvedPath& p, std::string& last, bool& belowRoot) {
    UniqueFd parent = detail::OpenParentOf(p.posix, last, belowRoot);
    if (!parent) detail::Fail(ERROR_PATH_NOT_FOUND);
    else if (p.isRoot || last.empty() || last == "." || last == "..") {
        detail::Fail(ERROR_ACCESS_DENIED);
        parent.reset();
    }
    return parent;
}

}  // namespace

bool detail::RemoveTreeAt(int parentFd, const std::string& parentPath, const char* name) {
    TreeRemover remover;
    return remover.RemoveFolder(parentFd, parentPath, name) && remover.first() == 0;
}

BOOL RemoveTree(const char* path, RemoveScope scope) {
    if (!path) return detail::Fail(ERROR_INVALID_PARAMETER);
    detail::ResolvedPath p;
    if (!detail::ResolvePath(path, p)) return FALSE;
    const bool wholeTree = scope == RemoveScope::Tree || scope == RemoveScope::Name;
    if (!p.exists) return detail::Fail(wholeTree ? detail::MissingError(p) : ERROR_PATH_NOT_FOUND);
    std::string last;
    bool belowRoot = false;
    const UniqueFd parent = OpenParentToRemove(p, last, belowRoot);
    if (!parent) return FALSE;
    TreeRemover remover;
    if (wholeTree) {
        struct stat st{};
        if (fstatat(parent.get(), last.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) return detail::FailErrno(errno);
        const std::string parentPath = p.posix.substr(0, p.posix.size() - last.size() - 1);
        if (S_ISLNK(st.st_mode)) {
            if (::unlinkat(parent.get(), last.c_str(), 0) != 0) return detail::FailErrno(errno);
        } else if (S_ISDIR(st.st_mode)) {
            remover.RemoveFolder(parent.get(), parentPath, last.c_str());
        } else if (scope == RemoveScope::Name) {
            remover.RemoveName(parent.get(), parentPath, last.c_str(), IFTODT(st.st_mode));
        } else {
            return detail::Fail(ERROR_PATH_NOT_FOUND);  // no folder to walk
        }
    } else {
        // Outside the store the folder may be reached through a link, as any folder there.
        UniqueFd top(::openat(parent.get(), last.c_str(),
                              O_RDONLY | O_DIRECTORY | O_CLOEXEC | (belowRoot ? O_NOFOLLOW : 0)));
        if (!top) {
            // Missing, no folder, or a link in the store: no folder to walk.
            const bool noFolder = errno == ENOENT || errno == ELOOP || errno == ENOTDIR;
            return detail::Fail(noFolder ? ERROR_PATH_NOT_FOUND : ErrorFromErrno(errno));
        }
        remover.Empty(top.get(), p.posix, scope == RemoveScope::Files);
        if (scope == RemoveScope::Files) {
            top.reset();
            if (::unlinkat(parent.get(), last.c_str(), AT_REMOVEDIR) != 0) remover.NoteErrno(errno);
        }
    }
    if (remover.first() != 0) return detail::Fail(remover.first());
    detail::ForgetNamesIn(parent.get());
    return TRUE;
}

BOOL RemoveHeldTree(HANDLE folder, const char* path) {
    const auto held = detail::Lookup<detail::FileObject>(folder, detail::Kind::File);
    if (!held) return FALSE;
    if (!held->isDirectory || held->fd < 0 || !path) return detail::Fail(ERROR_INVALID_PARAMETER);
    detail::ResolvedPath p;
    if (!detail::ResolvePath(path, p)) return FALSE;
    std::string last;
    bool belowRoot = false;
    const UniqueFd parent = OpenParentToRemove(p, last, belowRoot);
    if (!parent) return FALSE;
    TreeRemover remover;
    remover.Empty(held->fd, p.posix, false);
    // Another folder at the name now (one made anew meanwhile) is not the one emptied: it stays.
    struct stat st{};
    if (fstatat(parent.get(), last.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
        remover.NoteErrno(errno);
    } else if (st.st_dev != held->dev || st.st_ino != held->ino) {
        remover.Note(ERROR_DIR_NOT_EMPTY);
    } else if (::unlinkat(parent.get(), last.c_str(), AT_REMOVEDIR) != 0) {
        remover.NoteErrno(errno);
    }
    detail::ForgetNamesIn(parent.get());
    return remover.first() == 0 ? TRUE : detail::Fail(remover.first());
}

}  // namespace win

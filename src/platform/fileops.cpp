// Whole-file and directory operations: CopyFile, MoveFile (never replaces), DeleteFile
// (refuses a file another handle holds), CreateDirectory, RemoveDirectory, attributes.
#include <fcntl.h>
#include <sys/sendfile.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>

#include "platform/internal.h"

namespace win {
namespace {

using detail::FileObject;
using detail::PathAt;
using detail::ResolvedPath;

// The place of a path for a change; below the install root a link on the way answers as a
// missing path.
bool Place(PathAt& at, const std::string& posix) {
    return at.Open(posix) || detail::Fail(ERROR_PATH_NOT_FOUND);
}

int LinkStat(const PathAt& at, struct stat& st) { return fstatat(at.dirFd, at.c_str(), &st, AT_SYMLINK_NOFOLLOW); }

// Closes the handle on every way out.
struct HandleGuard {
    HANDLE h = INVALID_HANDLE_VALUE;
    ~HandleGuard() {
        if (h != INVALID_HANDLE_VALUE) {
            const DWORD saved = GetLastError();
            CloseHandle(h);
            SetLastError(saved);
        }
    }
};

// Bytes [at, end) of `in` to the same offsets of `out`; `end` lowered when the source turns out
// shorter (it shrank meanwhile). The descriptors' positions are never used, so a handle copies
// the same bytes however often it served.
bool CopyRange(int in, int out, off_t at, off_t& end) {
    off_t inAt = at, outAt = at;
    while (inAt < end) {
        const ssize_t n = copy_file_range(in, &inAt, out, &outAt, size_t(std::min<off_t>(end - inAt, 1 << 30)), 0);
        if (n > 0) continue;
        if (n == 0) {
            end = inAt;
            return true;
        }
        if (errno == EINTR) continue;
        if (errno != EXDEV && errno != EINVAL && errno != ENOSYS && errno != EOPNOTSUPP && errno != EBADF)
            return false;
        break;
    }
    char buf[65536];
    while (inAt < end) {
        const ssize_t n = pread(in, buf, size_t(std::min<off_t>(end - inAt, sizeof buf)), inAt);
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        if (n == 0) {
            end = inAt;
            return true;
        }
        inAt += n;
        for (ssize_t off = 0; off < n;) {
            const ssize_t w = pwrite(out, buf + off, size_t(n - off), outAt);
            if (w < 0) {
                if (errno == EINTR) continue;
                return false;
            }
            off += w;
            outAt += w;
        }
    }
    return true;
}

// The first `size` bytes of `in` over the whole of `out`. Only the ranges that hold data are
// written: a hole stays a hole, so a file of a few blocks that claims a terabyte costs the copy
// a few blocks, not the terabyte in zeros.
bool CopyBytes(int in, int out, off_t size, bool outEmpty) {
    if (!outEmpty && ftruncate(out, 0) != 0) return false;
    off_t at = 0;
    while (at < size) {
        off_t data = lseek(in, at, SEEK_DATA);
        if (data < 0 && errno == ENXIO) break;  // holes to the end
        off_t end = size;
        if (data < 0) {
            if (errno != EINVAL && errno != EOPNOTSUPP) return false;
            data = at;  // a file system that tells no holes: all of it is data
        } else {
            if (data >= size) break;
            end = lseek(in, data, SEEK_HOLE);
            if (end < 0) return false;
            end = std::min(end, size);
        }
        const off_t wanted = end;
        if (!CopyRange(in, out, data, end)) return false;
        if (end < wanted) {
            size = end;  // the source shrank meanwhile: the copy ends where it did
            break;
        }
        at = end;
    }
    return ftruncate(out, size) == 0;
}

std::string ParentOf(const std::string& posix) {
    const size_t slash = posix.rfind('/');
    if (slash == std::string::npos) return {};
    if (slash == 0) return "/";
    return posix.substr(0, slash);
}

// The time of the folder a removal is about to change, read before it: its kept names follow the
// removal only when nothing else changed the folder since they were read (zero: unknown, they go).
struct timespec FolderTimeBefore(const PathAt& at, const ResolvedPath& p) {
    if (const struct timespec* seen = detail::ParentTimeSeen(p)) return *seen;
    struct stat st{};
    if (at.dirFd != AT_FDCWD ? fstat(at.dirFd, &st) : stat(ParentOf(p.posix).c_str(), &st)) return {};
    return st.st_mtim;
}

// The mode a copy ends with: the one its file was made with (or had, when it was there before),
// without set-id or sticky bits, read-only when the source is (the only permission a Windows copy
// carries), and the sticky bit exactly while it holds an attribute record (see fileinfo.cpp).
// Nothing of the source's other bits: a file another user planted never hands the caller's
// privileges, nor more write bits, to whoever runs the copy.
mode_t CopyMode(mode_t source, mode_t made, bool record) {
    mode_t mode = made & 0777;
    if (!(source & S_IWUSR)) mode &= ~mode_t(S_IWUSR | S_IWGRP | S_IWOTH);
    return record ? mode | S_ISVTX : mode;
}

// The bytes, then the attributes and the last-write time, as on Windows. 0 or the errno.
int CopyOpenFile(const FileObject& in, FileObject& out, uint64_t limit = UINT64_MAX) {
    struct stat st{}, made{};
    errno = 0;
    if (fstat(in.fd, &st) != 0 || fstat(out.fd, &made) != 0) return errno ? errno : EIO;
    const off_t size = off_t(std::min<uint64_t>(uint64_t(st.st_size), limit));
    if (!CopyBytes(in.fd, out.fd, size, made.st_size == 0)) return errno ? errno : EIO;
    out.size = -1;  // written past the handle
    // Hidden, system and archive: a record only a file marked as holding one has.
    bool record = false;
    if (st.st_mode & S_ISVTX) {
        char attr[32];
        const ssize_t n = fgetxattr(in.fd, detail::kAttributeXattr, attr, sizeof attr);
        record = n > 0 && fsetxattr(out.fd, detail::kAttributeXattr, attr, size_t(n), 0) == 0;
    }
    const timespec times[2] = {st.st_atim, st.st_mtim};
    futimens(out.fd, times);
    fchmod(out.fd, CopyMode(st.st_mode, made.st_mode, record));
    return 0;
}

BOOL CopyResolved(const ResolvedPath& from, const ResolvedPath& to, bool failIfExists) {
    HandleGuard src;
    src.h = detail::OpenResolved(from, GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING, 0);
    if (src.h == INVALID_HANDLE_VALUE) return FALSE;
    auto in = detail::Lookup<FileObject>(src.h, detail::Kind::File);
    HandleGuard dst;
    dst.h = detail::OpenResolved(to, GENERIC_WRITE, 0, failIfExists ? CREATE_NEW : CREATE_ALWAYS, 0);
    if (dst.h == INVALID_HANDLE_VALUE) return FALSE;
    auto out = detail::Lookup<FileObject>(dst.h, detail::Kind::File);
    if (!in || !out) return detail::Fail(ERROR_INVALID_HANDLE);
    const std::string target = out->posix;
    if (const int err = CopyOpenFile(*in, *out); err != 0) {
        CloseHandle(dst.h);
        dst.h = INVALID_HANDLE_VALUE;
        if (PathAt made; made.Open(target)) unlinkat(made.dirFd, made.c_str(), 0);
        return detail::FailErrno(err);
    }
    SetLastError(ERROR_SUCCESS);
    return TRUE;
}

// Another handle holds the regular file without sharing delete.
bool HeldByOther(const PathAt& at) {
    detail::UniqueFd fd(openat(at.dirFd, at.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY | O_NOFOLLOW));
    return fd && detail::HeldWithoutDeleteShare(fd.get());
}

}  // namespace

BOOL CopyFile(const char* from, const char* to, BOOL failIfExists) {
    if (!from || !to) return detail::Fail(ERROR_INVALID_PARAMETER);
    ResolvedPath a, b;
    if (!detail::ResolvePath(from, a) || !detail::ResolvePath(to, b)) return FALSE;
    if (!a.exists) return detail::Fail(detail::MissingError(a));
    return CopyResolved(a, b, failIfExists != FALSE);
}

BOOL CopyFileContents(HANDLE from, HANDLE to, uint64_t limit) {
    auto in = detail::Lookup<FileObject>(from, detail::Kind::File);
    auto out = detail::Lookup<FileObject>(to, detail::Kind::File);
    if (!in || !out) return FALSE;
    if (in == out) return detail::Fail(ERROR_INVALID_PARAMETER);
    if (in->isDirectory || out->isDirectory || !(in->access & GENERIC_READ) || !(out->access & GENERIC_WRITE))
        return detail::Fail(ERROR_ACCESS_DENIED);
    if (const int err = CopyOpenFile(*in, *out, limit); err != 0) return detail::FailErrno(err);
    SetLastError(ERROR_SUCCESS);
    return TRUE;
}

BOOL MoveFile(const char* from, const char* to) {
    if (!from || !to) return detail::Fail(ERROR_INVALID_PARAMETER);
    if (fault::Hit(fault::Call::MoveFile, from)) return FALSE;
    ResolvedPath a, b;
    if (!detail::ResolvePath(from, a) || !detail::ResolvePath(to, b)) return FALSE;
    PathAt source, into;
    if (!Place(source, a.posix)) return FALSE;
    if (!a.exists) return detail::Fail(detail::MissingError(a));
    if (!b.parentExists || !Place(into, b.posix)) return detail::Fail(ERROR_PATH_NOT_FOUND);
    struct stat sa{};
    if (LinkStat(source, sa) != 0) return detail::FailErrno(errno);
    std::string target = b.posix;
    if (b.exists) {
        struct stat sb{};
        if (LinkStat(into, sb) == 0 && (sb.st_ino != sa.st_ino || sb.st_dev != sa.st_dev))
            return detail::Fail(ERROR_ALREADY_EXISTS);
        // The same file under another case: a rename to the spelling given.
        const std::string parent = ParentOf(b.posix);
        target = parent.empty() ? b.lastName : (parent == "/" ? "/" : parent + "/") + b.lastName;
        if (target == a.posix) return TRUE;
        into.name = into.dirFd == AT_FDCWD ? target : b.lastName;
    }
    if (S_ISREG(sa.st_mode) && HeldByOther(source)) return detail::Fail(ERROR_SHARING_VIOLATION);
    const struct timespec sourceTime = FolderTimeBefore(source, a);
    auto moved = [&] {
        detail::NoteRemoved(a.posix, &sourceTime);
        detail::NoteCreated(target, b.exists ? nullptr : &b.parentTime);
        return TRUE;
    };
    if (renameat2(source.dirFd, source.c_str(), into.dirFd, into.c_str(), RENAME_NOREPLACE) == 0) return moved();
    const int err = errno;
    if (err == EEXIST || err == ENOTEMPTY) return detail::Fail(ERROR_ALREADY_EXISTS);
    if (err == EXDEV) {
        if (!S_ISREG(sa.st_mode)) return detail::Fail(detail::kErrorNotSameDevice);
        ResolvedPath t = b;
        t.posix = target;
        t.exists = false;
        if (!CopyResolved(a, t, true)) return FALSE;
        if (unlinkat(source.dirFd, source.c_str(), 0) != 0) return detail::FailErrno(errno);
        return moved();
    }
    if (err == EINVAL) {
        // Into itself, or a file system without RENAME_NOREPLACE.
        if (target.compare(0, a.posix.size() + 1, a.posix + "/") == 0) return detail::Fail(ERROR_SHARING_VIOLATION);
        if (!S_ISDIR(sa.st_mode)) {
            if (linkat(source.dirFd, source.c_str(), into.dirFd, into.c_str(), 0) != 0)
                return errno == EEXIST ? detail::Fail(ERROR_ALREADY_EXISTS) : detail::FailErrno(errno);
            unlinkat(source.dirFd, source.c_str(), 0);
            return moved();
        }
        struct stat sb{};
        if (LinkStat(into, sb) == 0) return detail::Fail(ERROR_ALREADY_EXISTS);
        if (renameat(source.dirFd, source.c_str(), into.dirFd, into.c_str()) != 0) return detail::FailErrno(errno);
        return moved();
    }
    if (err == EBUSY) return detail::Fail(ERROR_SHARING_VIOLATION);
    return detail::FailErrno(err);
}

BOOL MoveFileEx(const char* from, const char* to, DWORD flags) {
    if (!(flags & MOVEFILE_REPLACE_EXISTING)) return MoveFile(from, to);
    if (!from || !to) return detail::Fail(ERROR_INVALID_PARAMETER);
    if (fault::Hit(fault::Call::MoveFile, from)) return FALSE;
    ResolvedPath a, b;
    if (!detail::ResolvePath(from, a) || !detail::ResolvePath(to, b)) return FALSE;
    PathAt source, into;
    if (!Place(source, a.posix)) return FALSE;
    if (!a.exists) return detail::Fail(detail::MissingError(a));
    if (!b.exists) return MoveFile(from, to);
    if (!Place(into, b.posix)) return FALSE;
    struct stat sa{}, sb{};
    if (LinkStat(source, sa) != 0 || LinkStat(into, sb) != 0) return detail::FailErrno(errno);
    if (sa.st_ino == sb.st_ino && sa.st_dev == sb.st_dev) return MoveFile(from, to);  // a case variant
    if (!S_ISREG(sa.st_mode) || S_ISDIR(sb.st_mode)) return detail::Fail(ERROR_ACCESS_DENIED);
    if (HeldByOther(source) || (S_ISREG(sb.st_mode) && HeldByOther(into)))
        return detail::Fail(ERROR_SHARING_VIOLATION);
    // One step: the target is never missing, and a link in its place is replaced, not followed.
    const struct timespec sourceTime = FolderTimeBefore(source, a);
    if (renameat(source.dirFd, source.c_str(), into.dirFd, into.c_str()) != 0) return detail::FailErrno(errno);
    detail::NoteRemoved(a.posix, &sourceTime);
    return TRUE;
}

namespace {

// Both names exist and are of the one kind asked (a link is neither), then trade places.
BOOL Exchange(const char* from, const char* to, bool folders) {
    if (!from || !to) return detail::Fail(ERROR_INVALID_PARAMETER);
    if (fault::Hit(fault::Call::MoveFile, from)) return FALSE;
    ResolvedPath a, b;
    if (!detail::ResolvePath(from, a) || !detail::ResolvePath(to, b)) return FALSE;
    PathAt first, second;
    if (!Place(first, a.posix) || !Place(second, b.posix)) return FALSE;
    if (!a.exists) return detail::Fail(detail::MissingError(a));
    if (!b.exists) return detail::Fail(detail::MissingError(b));
    struct stat sa{}, sb{};
    if (LinkStat(first, sa) != 0 || LinkStat(second, sb) != 0) return detail::FailErrno(errno);
    const auto kindAsked = [folders](const struct stat& st) { return folders ? S_ISDIR(st.st_mode) : S_ISREG(st.st_mode); };
    if (!kindAsked(sa) || !kindAsked(sb)) return detail::Fail(ERROR_ACCESS_DENIED);
    if (!folders && (HeldByOther(first) || HeldByOther(second))) return detail::Fail(ERROR_SHARING_VIOLATION);
    if (renameat2(first.dirFd, first.c_str(), second.dirFd, second.c_str(), RENAME_EXCHANGE) != 0)
        return detail::FailErrno(errno);
    return TRUE;
}

}  // namespace

BOOL ExchangeFiles(const char* from, const char* to) { return Exchange(from, to, false); }

BOOL ExchangeFolders(const char* from, const char* to) { return Exchange(from, to, true); }

BOOL DeleteFile(const char* path) {
    if (!path) return detail::Fail(ERROR_INVALID_PARAMETER);
    if (fault::Hit(fault::Call::DeleteFile, path)) return FALSE;
    ResolvedPath p;
    if (!detail::ResolvePath(path, p)) return FALSE;
    PathAt at;
    if (!Place(at, p.posix)) return FALSE;
    if (!p.exists) return detail::Fail(detail::MissingError(p));
    struct stat st{};
    if (LinkStat(at, st) != 0) return detail::FailErrno(errno);
    if (S_ISDIR(st.st_mode)) return detail::Fail(ERROR_ACCESS_DENIED);
    if (S_ISREG(st.st_mode)) {
        if (!(st.st_mode & S_IWUSR)) return detail::Fail(ERROR_ACCESS_DENIED);  // read-only
        if (HeldByOther(at)) return detail::Fail(ERROR_SHARING_VIOLATION);
    }
    const struct timespec folderTime = FolderTimeBefore(at, p);
    if (unlinkat(at.dirFd, at.c_str(), 0) != 0) return detail::FailErrno(errno);
    detail::NoteRemoved(p.posix, &folderTime);
    return TRUE;
}

namespace {

BOOL MakeDirectory(const char* path, bool exactLast) {
    if (!path) return detail::Fail(ERROR_INVALID_PARAMETER);
    if (fault::Hit(fault::Call::CreateDirectory, path)) return FALSE;
    ResolvedPath p;
    if (!(exactLast ? detail::ResolveExactLast(path, p, 248) : detail::ResolvePath(path, p, 248))) return FALSE;
    PathAt at;
    if (!p.parentExists || !Place(at, p.posix)) return detail::Fail(ERROR_PATH_NOT_FOUND);
    if (p.exists) return detail::Fail(ERROR_ALREADY_EXISTS);
    if (mkdirat(at.dirFd, at.c_str(), 0777) != 0) {
        if (errno == EEXIST) return detail::Fail(ERROR_ALREADY_EXISTS);
        if (errno == ENOENT || errno == ENOTDIR) return detail::Fail(ERROR_PATH_NOT_FOUND);
        return detail::FailErrno(errno);
    }
    detail::NoteCreated(p.posix, &p.parentTime);
    return TRUE;
}

}  // namespace

BOOL CreateDirectory(const char* path, SECURITY_ATTRIBUTES* /*sa: NULL DACLs only*/) {
    return MakeDirectory(path, false);
}
BOOL CreateDirectoryExact(const char* path) { return MakeDirectory(path, true); }

BOOL RemoveDirectory(const char* path) {
    if (!path) return detail::Fail(ERROR_INVALID_PARAMETER);
    ResolvedPath p;
    if (!detail::ResolvePath(path, p)) return FALSE;
    PathAt at;
    if (!Place(at, p.posix)) return FALSE;
    if (!p.exists) return detail::Fail(detail::MissingError(p));
    struct stat st{};
    if (LinkStat(at, st) != 0) return detail::FailErrno(errno);
    if (!S_ISDIR(st.st_mode)) return detail::Fail(ERROR_DIRECTORY);
    const struct timespec folderTime = FolderTimeBefore(at, p);
    if (unlinkat(at.dirFd, at.c_str(), AT_REMOVEDIR) != 0) {
        if (errno == ENOTEMPTY || errno == EEXIST) return detail::Fail(ERROR_DIR_NOT_EMPTY);
        if (errno == EBUSY) return detail::Fail(ERROR_SHARING_VIOLATION);
        return detail::FailErrno(errno);
    }
    detail::NoteRemoved(p.posix, &folderTime);
    return TRUE;
}

DWORD GetFileAttributes(const char* path) {
    if (!path) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return INVALID_FILE_ATTRIBUTES;
    }
    ResolvedPath p;
    if (!detail::ResolvePath(path, p)) return INVALID_FILE_ATTRIBUTES;
    if (!p.exists) {
        SetLastError(detail::MissingError(p));
        return INVALID_FILE_ATTRIBUTES;
    }
    detail::FileStat fs;
    if (!detail::StatPath(p.posix, fs, false)) {
        detail::FailErrno(errno);
        return INVALID_FILE_ATTRIBUTES;
    }
    return detail::AttributesOf(fs, p.posix);
}

BOOL SetFileAttributes(const char* path, DWORD attributes) {
    if (!path) return detail::Fail(ERROR_INVALID_PARAMETER);
    ResolvedPath p;
    if (!detail::ResolvePath(path, p)) return FALSE;
    PathAt at;
    if (!Place(at, p.posix)) return FALSE;
    if (!p.exists) return detail::Fail(detail::MissingError(p));
    // Below the install root through a handle that never followed a link: its /proc name
    // reaches the very file it holds, whatever is put at the path meanwhile.
    const bool held = at.dirFd != AT_FDCWD;
    detail::UniqueFd file(held ? openat(at.dirFd, at.c_str(), O_PATH | O_NOFOLLOW | O_CLOEXEC) : -1);
    if (held && !file) return detail::FailErrno(errno);
    const std::string target = held ? "/proc/self/fd/" + std::to_string(file.get()) : p.posix;
    struct stat st{};
    if ((held ? fstat(file.get(), &st) : lstat(target.c_str(), &st)) != 0) return detail::FailErrno(errno);
    if (S_ISLNK(st.st_mode)) return TRUE;  // links carry no attributes of their own here
    if (held && S_ISREG(st.st_mode) && st.st_nlink > 1) return detail::Fail(detail::kErrorCantResolve);  // see CreateFile
    mode_t mode = st.st_mode & 07777;
    if (attributes & FILE_ATTRIBUTE_READONLY) mode &= ~mode_t(S_IWUSR | S_IWGRP | S_IWOTH);
    else mode |= S_IWUSR;
    // The record below can only be changed while the owner may write the file (root may
    // always): a read-only file is made writable first, and given back its mode on a failure.
    const mode_t before = st.st_mode & 07777;
    const bool opened = !(before & S_IWUSR);
    if (opened && chmod(target.c_str(), before | S_IWUSR) != 0) return detail::FailErrno(errno);
    const auto fail = [&](int err) {
        if (opened) chmod(target.c_str(), before);
        return detail::FailErrno(err);
    };
    // Hidden, system and archive: the record where the file system keeps user extended
    // attributes. A regular file without a record reads as archive only; one with a record
    // carries the sticky bit (see fileinfo.cpp).
    const DWORD kept = attributes & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE);
    const bool regular = S_ISREG(st.st_mode);
    const DWORD plain = regular ? FILE_ATTRIBUTE_ARCHIVE : 0;
    if (kept == plain) {
        const int removed = held ? removexattr(target.c_str(), detail::kAttributeXattr)
                                 : lremovexattr(target.c_str(), detail::kAttributeXattr);
        if (removed == 0 || errno == ENODATA || errno == ENOTSUP ||
            errno == EPERM) {
            if (regular) mode &= ~mode_t(S_ISVTX);
        } else {
            return fail(errno);
        }
    } else {
        const std::string v = std::to_string(kept);
        const int set = held ? setxattr(target.c_str(), detail::kAttributeXattr, v.data(), v.size(), 0)
                             : lsetxattr(target.c_str(), detail::kAttributeXattr, v.data(), v.size(), 0);
        if (set == 0) {
            if (regular) mode |= S_ISVTX;
        } else if (errno != ENOTSUP && errno != EPERM) {
            return fail(errno);
        }
    }
    if ((opened || mode != before) && chmod(target.c_str(), mode) != 0) return fail(errno);
    return TRUE;
}

}  // namespace win

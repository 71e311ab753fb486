// File status for the layer: statx (creation time where the file system keeps it, else the
// change time), Windows attributes (directory; read-only on the owner write bit; hidden,
// system and archive kept in a user extended attribute).
//
// Reading that attribute costs a second look-up per file, which would double the cost of a
// walk. A regular file therefore carries the sticky bit (which Linux ignores on regular
// files) exactly while it holds a record; without it, it reads as archive only, the state of a
// new Windows file. Directories (where the bit has a meaning) always have their record read.
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/xattr.h>

#include <cerrno>
#include <cstdlib>

#include "platform/internal.h"

namespace win::detail {
namespace {

constexpr unsigned kStatxMask = STATX_BASIC_STATS | STATX_BTIME;

void FromStatx(const struct statx& sx, FileStat& out) {
    struct stat& st = out.st;
    st = {};
    st.st_mode = sx.stx_mode;
    st.st_nlink = sx.stx_nlink;
    st.st_uid = sx.stx_uid;
    st.st_gid = sx.stx_gid;
    st.st_size = static_cast<off_t>(sx.stx_size);
    st.st_ino = sx.stx_ino;
    st.st_dev = makedev(sx.stx_dev_major, sx.stx_dev_minor);
    st.st_atim = {static_cast<time_t>(sx.stx_atime.tv_sec), static_cast<long>(sx.stx_atime.tv_nsec)};
    st.st_mtim = {static_cast<time_t>(sx.stx_mtime.tv_sec), static_cast<long>(sx.stx_mtime.tv_nsec)};
    st.st_ctim = {static_cast<time_t>(sx.stx_ctime.tv_sec), static_cast<long>(sx.stx_ctime.tv_nsec)};
    out.birthNanos = (sx.stx_mask & STATX_BTIME)
                         ? int64_t(sx.stx_btime.tv_sec) * 1000000000 + sx.stx_btime.tv_nsec
                         : -1;
}

bool DoStatx(int dirFd, const char* path, int flags, FileStat& out) {
    struct statx sx{};
    if (statx(dirFd, path, flags | AT_STATX_SYNC_AS_STAT, kStatxMask, &sx) != 0) return false;
    FromStatx(sx, out);
    return true;
}

DWORD FromXattr(const char* buf, ssize_t n, const FileStat& fs) {
    if (n > 0) {
        std::string text(buf, static_cast<size_t>(n));
        const unsigned long v = strtoul(text.c_str(), nullptr, 10);
        return static_cast<DWORD>(v) & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE);
    }
    // No record: a regular file carries the archive bit, as a new Windows file does.
    return S_ISREG(fs.st.st_mode) ? FILE_ATTRIBUTE_ARCHIVE : 0;
}

DWORD BaseAttributes(const FileStat& fs) {
    const mode_t m = fs.st.st_mode;
    DWORD a = 0;
    if (S_ISDIR(m)) a |= FILE_ATTRIBUTE_DIRECTORY;
    else if (S_ISLNK(m)) a |= FILE_ATTRIBUTE_REPARSE_POINT;
    else if (!S_ISREG(m)) a |= FILE_ATTRIBUTE_SYSTEM;  // never opened by the library
    if (!S_ISLNK(m) && !(m & S_IWUSR)) a |= FILE_ATTRIBUTE_READONLY;
    return a;
}

bool HasRecord(const FileStat& fs) {
    return S_ISDIR(fs.st.st_mode) || (S_ISREG(fs.st.st_mode) && (fs.st.st_mode & S_ISVTX));
}

DWORD Finish(DWORD a) { return a == 0 ? FILE_ATTRIBUTE_NORMAL : a; }

}  // namespace

bool StatPath(const std::string& posix, FileStat& out, bool followLinks) {
    return DoStatx(AT_FDCWD, posix.c_str(), followLinks ? 0 : AT_SYMLINK_NOFOLLOW, out);
}
bool StatFd(int fd, FileStat& out) { return DoStatx(fd, "", AT_EMPTY_PATH, out); }
bool StatAt(int dirFd, const char* name, FileStat& out) {
    return DoStatx(dirFd, name, AT_SYMLINK_NOFOLLOW, out);
}

FILETIME ToFileTime(const struct timespec& ts) {
    // A stat never fails on a time FILETIME cannot hold. One after its end gives the end; one
    // before 1601 gives all ones, which no conversion accepts, so that such a time is reported
    // as invalid rather than taken for 1601-01-01.
    FILETIME ft{0, 0};
    if (!TimespecToFileTime(ts, &ft)) ft = ts.tv_sec > 0 ? FILETIME{0xFFFFFFFFu, 0x7FFFFFFFu} : kInvalidFileTime;
    return ft;
}

void FillTimes(const FileStat& fs, FILETIME* creation, FILETIME* access, FILETIME* write) {
    if (creation)
        *creation = fs.birthNanos >= 0 ? UnixNanosToFileTime(fs.birthNanos) : ToFileTime(fs.st.st_ctim);
    if (access) *access = ToFileTime(fs.st.st_atim);
    if (write) *write = ToFileTime(fs.st.st_mtim);
}

DWORD AttributesOf(const FileStat& fs, const std::string& posixPath) {
    DWORD a = BaseAttributes(fs);
    if (S_ISLNK(fs.st.st_mode)) {
        struct stat target{};
        if (stat(posixPath.c_str(), &target) == 0 && S_ISDIR(target.st_mode)) a |= FILE_ATTRIBUTE_DIRECTORY;
        return a;
    }
    if (HasRecord(fs)) {
        char buf[32];
        const ssize_t n = lgetxattr(posixPath.c_str(), kAttributeXattr, buf, sizeof buf);
        a |= FromXattr(buf, n, fs);
    } else if (S_ISREG(fs.st.st_mode)) {
        a |= FILE_ATTRIBUTE_ARCHIVE;
    }
    return Finish(a);
}

DWORD AttributesOfFd(const FileStat& fs, int fd) {
    DWORD a = BaseAttributes(fs);
    if (HasRecord(fs)) {
        char buf[32];
        const ssize_t n = fgetxattr(fd, kAttributeXattr, buf, sizeof buf);
        a |= FromXattr(buf, n, fs);
    } else if (S_ISREG(fs.st.st_mode)) {
        a |= FILE_ATTRIBUTE_ARCHIVE;
    }
    return Finish(a);
}

}  // namespace win::detail

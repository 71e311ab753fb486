// Files: CreateFile with access, share mode and disposition; reads and writes at the handle's
// own position, refused over another handle's locked range (mandatory locks); size, pointer,
// times, information and flushing.
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "platform/internal.h"

namespace win {
namespace detail {

FileObject::~FileObject() {
    if (fd >= 0) ::close(fd);
}
void FileObject::AbandonAfterFork() {
    if (fd >= 0) ::close(fd);
    fd = -1;
}

// Opens the path; with write access or not, the descriptor is read-write where the file
// allows it, so that byte-range locks can be exclusive whatever the handle's access.
int OpenFd(const std::string& path, DWORD access, int extra, bool& writable, bool inStore) {
    if (!inStore) return OpenFdAt(AT_FDCWD, path.c_str(), access, extra, writable);
    // From the install root's descriptor, so that no folder on the way can be a link.
    return FromStoreRoot(
        path, [&](int root, const char* below) { return OpenFdAt(root, below, access, extra, writable, true); });
}

namespace {
int OpenOne(int dirFd, const char* path, int flags, bool beneath) {
    return beneath ? OpenBeneath(dirFd, path, flags, 0666) : ::openat(dirFd, path, flags, 0666);
}
}  // namespace

int OpenFdAt(int dirFd, const char* path, DWORD access, int extra, bool& writable, bool beneath) {
    const int base = O_CLOEXEC | O_NOCTTY | O_NONBLOCK | extra | (access & FILE_APPEND_DATA ? O_APPEND : 0);
    int fd = OpenOne(dirFd, path, base | O_RDWR, beneath);
    if (fd >= 0) {
        writable = true;
        return fd;
    }
    const int err = errno;
    if (err == EACCES || err == EROFS || err == ETXTBSY || err == EISDIR || err == EPERM) {
        if (access & GENERIC_WRITE) {
            if (err == EISDIR) {
                errno = err;
                return -1;
            }
            fd = OpenOne(dirFd, path, base | O_WRONLY, beneath);
            writable = fd >= 0;
            return fd;
        }
        fd = OpenOne(dirFd, path, base | O_RDONLY, beneath);
        writable = false;
        return fd;
    }
    errno = err;
    return -1;
}

// Open flags beyond the access: write-through; never through a link where the caller asked so
// (FILE_FLAG_OPEN_REPARSE_POINT), where the file is to be new (CREATE_NEW: a link planted at
// the name is an existing name, never a way to somewhere else), or below the install root,
// whatever the disposition (every writer of the store can plant one there).
int OpenFlags(DWORD flags, DWORD disposition, std::string_view posix, bool* inStore) {
    int extra = (flags & FILE_FLAG_WRITE_THROUGH) ? O_DSYNC : 0;
    const bool below = BelowStoreRoot(posix);
    if (inStore) *inStore = below;
    if ((flags & FILE_FLAG_OPEN_REPARSE_POINT) || disposition == CREATE_NEW || below) extra |= O_NOFOLLOW;
    return extra;
}

namespace {

// A new file carries the archive bit, as on Windows; read-only, hidden and system as asked.
void ApplyCreateAttributes(int fd, DWORD flags) {
    const DWORD kept = (flags & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM)) | FILE_ATTRIBUTE_ARCHIVE;
    if (!(flags & FILE_ATTRIBUTE_READONLY) && kept == FILE_ATTRIBUTE_ARCHIVE) return;
    struct stat st{};
    if (fstat(fd, &st) != 0) return;
    mode_t mode = st.st_mode & 07777;
    if (flags & FILE_ATTRIBUTE_READONLY) mode &= ~mode_t(S_IWUSR | S_IWGRP | S_IWOTH);
    if (kept != FILE_ATTRIBUTE_ARCHIVE) {
        const std::string v = std::to_string(kept);
        if (fsetxattr(fd, kAttributeXattr, v.data(), v.size(), 0) == 0) mode |= S_ISVTX;  // see fileinfo.cpp
    }
    fchmod(fd, mode);
}

}  // namespace

enum class Finish { Done, Failed, Retry };

// The open descriptor becomes a handle: share markers, then the checks (one fstat), then the
// truncation, which never comes before the share check.
// fresh: this call has just created the file (O_EXCL); inStore: it lies below the install root.
Finish FinishOpen(UniqueFd& guard, const std::string& posix, bool existed, bool created, bool writable,
                  DWORD access, DWORD share, DWORD disposition, DWORD flags, bool inStore, HANDLE& out,
                  bool fresh = false) {
    const int fd = guard.get();
    const bool backup = flags & FILE_FLAG_BACKUP_SEMANTICS;
    // Markers first, so that one status read after them serves every check, the deletion
    // race included.
    bool markers = false;
    if (!AcquireShareMarkers(fd, access, share, fresh, &markers)) return Finish::Failed;
    struct stat st{};
    if (fstat(fd, &st) != 0) {
        FailErrno(errno);
        return Finish::Failed;
    }
    const bool isDir = S_ISDIR(st.st_mode);
    if (isDir && (!backup || disposition == CREATE_ALWAYS || disposition == TRUNCATE_EXISTING)) {
        SetLastError(ERROR_ACCESS_DENIED);
        return Finish::Failed;
    }
    if (!isDir && !S_ISREG(st.st_mode)) {  // devices, pipes, sockets: never opened
        SetLastError(ERROR_ACCESS_DENIED);
        return Finish::Failed;
    }
    if (existed && !isDir && (access & GENERIC_WRITE || disposition == CREATE_ALWAYS) && !(st.st_mode & S_IWUSR)) {
        SetLastError(ERROR_ACCESS_DENIED);  // the read-only attribute
        return Finish::Failed;
    }
    if (!isDir) {
        // Deleted between our open and our markers: as if we came after the delete.
        if (st.st_nlink == 0) return Finish::Retry;
        // Below the root another writer of the store may have linked a file from anywhere it
        // reaches: a file with a second name is written as little as a link is followed.
        const bool writes = access & GENERIC_WRITE || disposition == CREATE_ALWAYS || disposition == TRUNCATE_EXISTING;
        if (inStore && writes && st.st_nlink > 1) {
            SetLastError(kErrorCantResolve);
            return Finish::Failed;
        }
        if (existed && (disposition == CREATE_ALWAYS || disposition == TRUNCATE_EXISTING)) {
            if (ftruncate(fd, 0) != 0) {
                FailErrno(errno);
                return Finish::Failed;
            }
        }
        if (created) ApplyCreateAttributes(fd, flags);
    }
    auto obj = std::make_shared<FileObject>();
    obj->fd = guard.release();
    obj->access = access;
    obj->share = share;
    obj->isDirectory = isDir;
    obj->dev = st.st_dev;
    obj->ino = st.st_ino;
    if (markers && !isDir && !(share & FILE_SHARE_WRITE)) {
        obj->size = existed && (disposition == CREATE_ALWAYS || disposition == TRUNCATE_EXISTING) ? 0 : st.st_size;
    }
    obj->fdWritable = writable;
    obj->soleLocker = markers && !(share & (FILE_SHARE_READ | FILE_SHARE_WRITE));
    obj->posix = posix;
    out = RegisterHandle(std::move(obj));
    SetLastError(existed && (disposition == CREATE_ALWAYS || disposition == OPEN_ALWAYS) ? ERROR_ALREADY_EXISTS
                                                                                          : ERROR_SUCCESS);
    return Finish::Done;
}

namespace {
// The folder holding `posix` is reached from the install root without passing a link.
bool FolderInStore(const std::string& posix) {
    const size_t slash = posix.rfind('/');
    const UniqueFd folder(OpenInStore(posix.substr(0, slash), O_PATH | O_DIRECTORY, 0));
    return bool(folder);
}
}  // namespace

HANDLE OpenResolved(const ResolvedPath& rp, DWORD access, DWORD share, DWORD disposition, DWORD flags) {
    bool inStore = false;
    const int extra = OpenFlags(flags, disposition, rp.posix, &inStore);
    const bool mayCreate = disposition == CREATE_NEW || disposition == CREATE_ALWAYS || disposition == OPEN_ALWAYS;
    bool knownExists = rp.exists;
    for (int attempt = 0; attempt < 8; ++attempt) {
        bool existed = false, created = false, writable = false;
        int fd = -1;
        // Below the root the exclusive create itself tells a name found through a link (3)
        // from one that exists (80).
        const bool createOnly = disposition == CREATE_NEW && inStore;
        if (disposition == CREATE_NEW && knownExists && !inStore) {
            SetLastError(ERROR_FILE_EXISTS);
            return INVALID_HANDLE_VALUE;
        }
        if (!rp.parentExists) {
            SetLastError(ERROR_PATH_NOT_FOUND);
            return INVALID_HANDLE_VALUE;
        }
        if (knownExists && !createOnly) {
            fd = OpenFd(rp.posix, access, extra, writable, inStore);
            if (fd < 0 && errno == EISDIR) {
                const int dirFlags = O_RDONLY | O_DIRECTORY | O_CLOEXEC | (extra & O_NOFOLLOW);
                fd = inStore ? OpenInStore(rp.posix, dirFlags, 0) : ::open(rp.posix.c_str(), dirFlags);
            }
            if (fd >= 0) {
                existed = true;
            } else if (errno != ENOENT) {
                FailErrno(errno);
                return INVALID_HANDLE_VALUE;
            } else if (!mayCreate) {
                SetLastError(ERROR_FILE_NOT_FOUND);
                return INVALID_HANDLE_VALUE;
            }
        } else if (!mayCreate) {
            SetLastError(inStore && !FolderInStore(rp.posix) ? ERROR_PATH_NOT_FOUND : MissingError(rp));
            return INVALID_HANDLE_VALUE;
        }
        if (fd < 0) {
            fd = OpenFd(rp.posix, access, extra | O_CREAT | O_EXCL, writable, inStore);
            if (fd < 0) {
                if (errno == EEXIST) {
                    if (disposition == CREATE_NEW) {
                        SetLastError(ERROR_FILE_EXISTS);
                        return INVALID_HANDLE_VALUE;
                    }
                    knownExists = true;
                    continue;  // someone created it meanwhile: open it
                }
                if (errno == ENOENT) {
                    SetLastError(ERROR_PATH_NOT_FOUND);
                    return INVALID_HANDLE_VALUE;
                }
                FailErrno(errno);
                return INVALID_HANDLE_VALUE;
            }
            created = true;
            NoteCreated(rp.posix, ParentTimeSeen(rp));
        }
        UniqueFd guard(fd);
        HANDLE h = INVALID_HANDLE_VALUE;
        switch (FinishOpen(guard, rp.posix, existed, created, writable, access, share, disposition, flags, inStore, h)) {
        case Finish::Done: return h;
        case Finish::Failed: return INVALID_HANDLE_VALUE;
        case Finish::Retry:
            if (!mayCreate) {
                SetLastError(ERROR_FILE_NOT_FOUND);
                return INVALID_HANDLE_VALUE;
            }
            knownExists = false;
            continue;
        }
    }
    SetLastError(ERROR_SHARING_VIOLATION);
    return INVALID_HANDLE_VALUE;
}

namespace {

enum class Fresh { Done, Failed, ExistsExactly, Other };

// A creating open of a name that exists in no spelling, the common case of extracting files:
// the directory's kept names (paths.cpp) tell that no variant exists, and one O_CREAT | O_EXCL
// in the exact spelling makes it. Everything else (a variant, an existing name, any failure)
// is left to the full resolution, which gives the errors.
Fresh CreateFresh(const std::string& exact, DWORD access, DWORD share, DWORD disposition, DWORD flags,
                  HANDLE& out) {
    const size_t slash = exact.rfind('/');
    std::string dir;
    std::string_view name(exact);
    if (slash != std::string::npos) {
        dir = slash == 0 ? std::string("/") : exact.substr(0, slash);
        name.remove_prefix(slash + 1);
    }
    if (name.empty() || name == ".") return Fresh::Other;
    struct stat ds{};
    if (stat(dir.empty() ? "." : dir.c_str(), &ds) != 0 || !S_ISDIR(ds.st_mode)) return Fresh::Other;
    const std::string known = FindNoCase(dir, name, &ds);
    if (!known.empty()) return known == name ? Fresh::ExistsExactly : Fresh::Other;
    bool writable = false;
    bool inStore = false;
    const int extra = OpenFlags(flags, disposition, exact, &inStore);
    const int fd = OpenFd(exact, access, extra | O_CREAT | O_EXCL | O_NOFOLLOW, writable, inStore);
    if (fd < 0) return Fresh::Other;
    NoteCreated(exact, &ds.st_mtim);
    UniqueFd guard(fd);
    switch (FinishOpen(guard, exact, false, true, writable, access, share, disposition, flags, inStore, out, true)) {
    case Finish::Done: return Fresh::Done;
    case Finish::Failed: return Fresh::Failed;
    case Finish::Retry: break;  // deleted at once: the full resolution makes it again
    }
    return Fresh::Other;
}

}  // namespace

}  // namespace detail

using detail::FileObject;
using detail::Kind;

namespace {

// CreateFile after the failure injection's count.
HANDLE CreateFileCounted(const char* path, DWORD access, DWORD shareMode, DWORD disposition,
                         DWORD flagsAndAttributes) {
    if (disposition < CREATE_NEW || disposition > TRUNCATE_EXISTING ||
        (disposition == TRUNCATE_EXISTING && !(access & GENERIC_WRITE))) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return INVALID_HANDLE_VALUE;
    }
    std::string exact;
    bool plain = true;
    if (!detail::LexicalPath(path, exact, MAX_PATH, &plain)) return INVALID_HANDLE_VALUE;
    const bool exactLast = flagsAndAttributes & FILE_FLAG_POSIX_SEMANTICS;
    bool tryExact = disposition != CREATE_NEW;
    // A new name made in its exact spelling is right only where the rules would not change it.
    if ((plain || exactLast) &&
        (disposition == CREATE_NEW || disposition == CREATE_ALWAYS || disposition == OPEN_ALWAYS)) {
        HANDLE h = INVALID_HANDLE_VALUE;
        switch (detail::CreateFresh(exact, access, shareMode, disposition, flagsAndAttributes, h)) {
        case detail::Fresh::Done: return h;
        case detail::Fresh::Failed: return INVALID_HANDLE_VALUE;
        case detail::Fresh::ExistsExactly: break;
        case detail::Fresh::Other: tryExact = false; break;
        }
    }
    // The common case of opening: the name exists in its exact spelling, and opening it is all
    // the lookup needed. Anything else goes through the full resolution.
    if (tryExact) {
        bool writable = false, inStore = false;
        const int extra = detail::OpenFlags(flagsAndAttributes, disposition, exact, &inStore);
        const int fd = detail::OpenFd(exact, access, extra, writable, inStore);
        if (fd >= 0) {
            detail::UniqueFd guard(fd);
            HANDLE h = INVALID_HANDLE_VALUE;
            switch (detail::FinishOpen(guard, exact, true, false, writable, access, shareMode, disposition,
                                       flagsAndAttributes, inStore, h)) {
            case detail::Finish::Done: return h;
            case detail::Finish::Failed: return INVALID_HANDLE_VALUE;
            case detail::Finish::Retry: break;  // deleted meanwhile: the slow way
            }
        } else if (errno != ENOENT && errno != ENOTDIR && errno != EISDIR) {
            detail::FailErrno(errno);
            return INVALID_HANDLE_VALUE;
        }
    }
    detail::ResolvedPath rp;
    if (!(exactLast ? detail::ResolveExactLast(path, rp) : detail::ResolvePath(path, rp))) return INVALID_HANDLE_VALUE;
    return detail::OpenResolved(rp, access, shareMode, disposition, flagsAndAttributes);
}

}  // namespace

HANDLE CreateFile(const char* path, DWORD access, DWORD shareMode, SECURITY_ATTRIBUTES* /*sa*/,
                  DWORD disposition, DWORD flagsAndAttributes, HANDLE /*templateFile*/) {
    if (!path) {
        SetLastError(ERROR_PATH_NOT_FOUND);
        return INVALID_HANDLE_VALUE;
    }
    if (fault::Hit(fault::Call::CreateFile, path)) return INVALID_HANDLE_VALUE;
    return CreateFileCounted(path, access, shareMode, disposition, flagsAndAttributes);
}

HANDLE CreateFileIn(HANDLE folder, const char* path, DWORD access, DWORD shareMode, DWORD disposition,
                    DWORD flagsAndAttributes) {
    auto dir = detail::Lookup<FileObject>(folder, Kind::File);
    auto plainOpen = [&] {
        return CreateFile(path, access, shareMode, nullptr, disposition, flagsAndAttributes, nullptr);
    };
    if (!dir || !dir->isDirectory || !path || disposition < CREATE_NEW || disposition > TRUNCATE_EXISTING ||
        (disposition == TRUNCATE_EXISTING && !(access & GENERIC_WRITE)))
        return plainOpen();
    // The name below the folder, when the rules leave every component as written.
    std::string exact;
    bool plain = true;
    if (!detail::LexicalPath(path, exact, MAX_PATH, &plain) || !plain || exact.size() <= dir->posix.size() + 1 ||
        exact.compare(0, dir->posix.size(), dir->posix) != 0 || exact[dir->posix.size()] != '/')
        return plainOpen();
    if (fault::Hit(fault::Call::CreateFile, path)) return INVALID_HANDLE_VALUE;
    // From here on the call is counted: the way back to the full look-up is not a second call.
    auto fullOpen = [&] { return CreateFileCounted(path, access, shareMode, disposition, flagsAndAttributes); };
    const char* name = exact.c_str() + dir->posix.size() + 1;
    const bool single = std::strchr(name, '/') == nullptr;
    bool inStore = false;
    const int extra = detail::OpenFlags(flagsAndAttributes, disposition, exact, &inStore);
    bool writable = false;
    int fd = -1;
    bool created = false;
    if (disposition == CREATE_NEW) {
        // Only a name taken as written can be made without looking for its other spellings.
        if (!(flagsAndAttributes & FILE_FLAG_POSIX_SEMANTICS) || !single) return fullOpen();
        const bool kept = detail::KeepsNamesOf(dir->dev, dir->ino);
        struct stat before{};
        if (kept && fstat(dir->fd, &before) != 0) return fullOpen();
        fd = detail::OpenFdAt(dir->fd, name, access, extra | O_CREAT | O_EXCL | O_NOFOLLOW, writable, inStore);
        if (fd < 0) {
            if (errno != EEXIST) return fullOpen();  // its own errors
            SetLastError(ERROR_FILE_EXISTS);
            return INVALID_HANDLE_VALUE;
        }
        if (kept) detail::NoteCreatedIn(dir->fd, name, before.st_mtim);
        created = true;
    } else {
        fd = detail::OpenFdAt(dir->fd, name, access, extra, writable, inStore);
        if (fd < 0) return fullOpen();  // missing as written, or any failure: the full look-up
    }
    detail::UniqueFd guard(fd);
    HANDLE h = INVALID_HANDLE_VALUE;
    switch (detail::FinishOpen(guard, exact, !created, created, writable, access, shareMode, disposition,
                               flagsAndAttributes, inStore, h, created)) {
    case detail::Finish::Done: return h;
    case detail::Finish::Failed: return INVALID_HANDLE_VALUE;
    case detail::Finish::Retry: break;
    }
    return fullOpen();
}

BOOL ReadFile(HANDLE file, void* buffer, DWORD toRead, DWORD* read, void* overlapped) {
    if (read) *read = 0;
    auto f = detail::Lookup<FileObject>(file, Kind::File);
    if (!f || fault::Hit(fault::Call::ReadFile, f->posix)) return FALSE;
    if (overlapped || (!buffer && toRead)) return detail::Fail(ERROR_INVALID_PARAMETER);
    if (f->isDirectory) return detail::Fail(ERROR_INVALID_FUNCTION);
    if (!(f->access & GENERIC_READ)) return detail::Fail(ERROR_ACCESS_DENIED);
    if (toRead == 0) return TRUE;
    std::lock_guard lock(f->mutex);
    if (!f->soleLocker && detail::RangeLockedByOther(f->fd, F_RDLCK, f->position, toRead))
        return detail::Fail(ERROR_LOCK_VIOLATION);
    DWORD got = 0;
    auto* out = static_cast<char*>(buffer);
    while (got < toRead) {
        const ssize_t n = pread(f->fd, out + got, toRead - got, f->position + got);
        if (n < 0) {
            if (errno == EINTR) continue;
            return detail::FailErrno(errno);
        }
        if (n == 0) break;
        got += static_cast<DWORD>(n);
    }
    f->position += got;
    if (read) *read = got;
    return TRUE;
}

BOOL WriteFile(HANDLE file, const void* buffer, DWORD toWrite, DWORD* written, void* overlapped) {
    if (written) *written = 0;
    auto f = detail::Lookup<FileObject>(file, Kind::File);
    if (!f || fault::Hit(fault::Call::WriteFile, f->posix)) return FALSE;
    if (overlapped || (!buffer && toWrite)) return detail::Fail(ERROR_INVALID_PARAMETER);
    if (f->isDirectory) return detail::Fail(ERROR_INVALID_FUNCTION);
    if (!(f->access & GENERIC_WRITE)) return detail::Fail(ERROR_ACCESS_DENIED);
    if (toWrite == 0) return TRUE;
    std::lock_guard lock(f->mutex);
    // An append goes past every byte the file has: no locked range keeps it out.
    const bool append = f->access & FILE_APPEND_DATA;  // the descriptor is O_APPEND
    if (!f->soleLocker && !append && detail::RangeLockedByOther(f->fd, F_WRLCK, f->position, toWrite))
        return detail::Fail(ERROR_LOCK_VIOLATION);
    DWORD put = 0;
    const auto* in = static_cast<const char*>(buffer);
    while (put < toWrite) {
        const ssize_t n = append ? ::write(f->fd, in + put, toWrite - put)
                                 : pwrite(f->fd, in + put, toWrite - put, f->position + put);
        if (n < 0) {
            if (errno == EINTR) continue;
            f->position += put;
            if (written) *written = put;
            return errno == ENOSPC || errno == EDQUOT ? detail::Fail(ERROR_DISK_FULL) : detail::FailErrno(errno);
        }
        put += static_cast<DWORD>(n);
    }
    f->position += put;
    if (f->size >= 0) f->size = std::max(f->size, f->position);
    if (written) *written = put;
    return TRUE;
}

DWORD SetFilePointer(HANDLE file, LONG distance, LONG* distanceHigh, DWORD method) {
    auto f = detail::Lookup<FileObject>(file, Kind::File);
    if (!f || fault::Hit(fault::Call::SetFilePointer, f->posix)) return INVALID_SET_FILE_POINTER;
    const int64_t move = distanceHigh ? int64_t((uint64_t(uint32_t(*distanceHigh)) << 32) | uint32_t(distance))
                                      : int64_t(distance);
    std::lock_guard lock(f->mutex);
    int64_t base = 0;
    switch (method) {
    case FILE_BEGIN: base = 0; break;
    case FILE_CURRENT: base = f->position; break;
    case FILE_END: {
        struct stat st{};
        if (fstat(f->fd, &st) != 0) {
            detail::FailErrno(errno);
            return INVALID_SET_FILE_POINTER;
        }
        base = st.st_size;
        break;
    }
    default: SetLastError(ERROR_INVALID_PARAMETER); return INVALID_SET_FILE_POINTER;
    }
    const int64_t pos = base + move;
    if (pos < 0) {
        SetLastError(detail::kErrorNegativeSeek);
        return INVALID_SET_FILE_POINTER;
    }
    if (!distanceHigh && pos >= int64_t(INVALID_SET_FILE_POINTER)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return INVALID_SET_FILE_POINTER;
    }
    f->position = pos;
    if (distanceHigh) *distanceHigh = static_cast<LONG>(uint64_t(pos) >> 32);
    SetLastError(ERROR_SUCCESS);
    return static_cast<DWORD>(uint64_t(pos) & 0xFFFFFFFFu);
}

BOOL SetEndOfFile(HANDLE file) {
    auto f = detail::Lookup<FileObject>(file, Kind::File);
    if (!f || fault::Hit(fault::Call::SetEndOfFile, f->posix)) return FALSE;
    if (f->isDirectory || !(f->access & GENERIC_WRITE)) return detail::Fail(ERROR_ACCESS_DENIED);
    std::lock_guard lock(f->mutex);
    if (ftruncate(f->fd, f->position) != 0) {
        f->size = -1;
        return detail::FailErrno(errno);
    }
    if (f->size >= 0) f->size = f->position;
    return TRUE;
}

DWORD GetFileSize(HANDLE file, DWORD* sizeHigh) {
    auto f = detail::Lookup<FileObject>(file, Kind::File);
    if (!f) return INVALID_FILE_SIZE;
    int64_t known;
    {
        std::lock_guard lock(f->mutex);
        known = f->size;
    }
    struct stat st{};
    if (known < 0 && fstat(f->fd, &st) != 0) {
        detail::FailErrno(errno);
        return INVALID_FILE_SIZE;
    }
    const uint64_t size = f->isDirectory ? 0 : uint64_t(known >= 0 ? known : st.st_size);
    if (sizeHigh) *sizeHigh = static_cast<DWORD>(size >> 32);
    const DWORD low = static_cast<DWORD>(size & 0xFFFFFFFFu);
    if (low == INVALID_FILE_SIZE) SetLastError(ERROR_SUCCESS);
    return low;
}

BOOL GetFileInformationByHandle(HANDLE file, BY_HANDLE_FILE_INFORMATION* info) {
    auto f = detail::Lookup<FileObject>(file, Kind::File);
    if (!f) return FALSE;
    if (!info) return detail::Fail(ERROR_INVALID_PARAMETER);
    detail::FileStat fs;
    if (!detail::StatFd(f->fd, fs)) return detail::FailErrno(errno);
    *info = {};
    info->dwFileAttributes = detail::AttributesOfFd(fs, f->fd);
    detail::FillTimes(fs, &info->ftCreationTime, &info->ftLastAccessTime, &info->ftLastWriteTime);
    info->dwVolumeSerialNumber = static_cast<DWORD>(fs.st.st_dev);
    const uint64_t size = f->isDirectory ? 0 : uint64_t(fs.st.st_size);
    info->nFileSizeHigh = static_cast<DWORD>(size >> 32);
    info->nFileSizeLow = static_cast<DWORD>(size);
    info->nNumberOfLinks = static_cast<DWORD>(fs.st.st_nlink);
    info->nFileIndexHigh = static_cast<DWORD>(uint64_t(fs.st.st_ino) >> 32);
    info->nFileIndexLow = static_cast<DWORD>(fs.st.st_ino);
    return TRUE;
}

BOOL GetFileSizeAndLinks(HANDLE file, uint64_t* size, DWORD* links) {
    auto f = detail::Lookup<FileObject>(file, Kind::File);
    if (!f) return FALSE;
    if (!size || !links) return detail::Fail(ERROR_INVALID_PARAMETER);
    constexpr unsigned kWanted = STATX_SIZE | STATX_NLINK;
    struct statx sx{};
    if (statx(f->fd, "", AT_EMPTY_PATH | AT_STATX_SYNC_AS_STAT, kWanted, &sx) != 0) return detail::FailErrno(errno);
    if ((sx.stx_mask & kWanted) != kWanted) {
        // A file system that did not give both: the full status, times and all.
        detail::FileStat fs;
        if (!detail::StatFd(f->fd, fs)) return detail::FailErrno(errno);
        sx.stx_size = static_cast<uint64_t>(fs.st.st_size);
        sx.stx_nlink = static_cast<uint32_t>(fs.st.st_nlink);
    }
    *size = f->isDirectory ? 0 : sx.stx_size;
    *links = static_cast<DWORD>(sx.stx_nlink);
    return TRUE;
}

BOOL QueryAllocatedRange(HANDLE file, uint64_t from, uint64_t* start, uint64_t* end) {
    auto f = detail::Lookup<FileObject>(file, Kind::File);
    if (!f) return FALSE;
    if (!start || !end || from > uint64_t{INT64_MAX}) return detail::Fail(ERROR_INVALID_PARAMETER);
    if (f->isDirectory) return detail::Fail(ERROR_INVALID_FUNCTION);
    // The descriptor's own position is never used for reads or writes here: moving it is free.
    const off_t data = lseek(f->fd, static_cast<off_t>(from), SEEK_DATA);
    if (data < 0 && (errno == EINVAL || errno == EOPNOTSUPP)) {
        // A file system that tells no holes: all of the file is data.
        struct stat st{};
        if (fstat(f->fd, &st) != 0) return detail::FailErrno(errno);
        if (from >= static_cast<uint64_t>(st.st_size)) return detail::Fail(ERROR_HANDLE_EOF);
        *start = from;
        *end = static_cast<uint64_t>(st.st_size);
        return TRUE;
    }
    if (data < 0) return errno == ENXIO ? detail::Fail(ERROR_HANDLE_EOF) : detail::FailErrno(errno);
    const off_t hole = lseek(f->fd, data, SEEK_HOLE);
    if (hole < 0) return detail::FailErrno(errno);
    *start = static_cast<uint64_t>(data);
    *end = static_cast<uint64_t>(hole);
    return TRUE;
}

BOOL FlushFileBuffers(HANDLE file) {
    auto f = detail::Lookup<FileObject>(file, Kind::File);
    if (!f) return FALSE;
    if (!(f->access & GENERIC_WRITE)) return detail::Fail(ERROR_ACCESS_DENIED);
    if (fsync(f->fd) != 0) return detail::FailErrno(errno);
    return TRUE;
}

BOOL GetFileTime(HANDLE file, FILETIME* creation, FILETIME* lastAccess, FILETIME* lastWrite) {
    auto f = detail::Lookup<FileObject>(file, Kind::File);
    if (!f) return FALSE;
    detail::FileStat fs;
    if (!detail::StatFd(f->fd, fs)) return detail::FailErrno(errno);
    detail::FillTimes(fs, creation, lastAccess, lastWrite);
    return TRUE;
}

BOOL SetFileTime(HANDLE file, const FILETIME* /*creation: not settable here*/, const FILETIME* lastAccess,
                 const FILETIME* lastWrite) {
    auto f = detail::Lookup<FileObject>(file, Kind::File);
    if (!f) return FALSE;
    if (!(f->access & GENERIC_WRITE)) return detail::Fail(ERROR_ACCESS_DENIED);
    auto toSpec = [](const FILETIME* ft, timespec& ts) {
        ts = timespec{0, UTIME_OMIT};
        // 0 leaves the time alone; all ones (stop updating) is as close as we come.
        if (!ft || (ft->dwLowDateTime == 0 && ft->dwHighDateTime == 0) ||
            (ft->dwLowDateTime == 0xFFFFFFFFu && ft->dwHighDateTime == 0xFFFFFFFFu))
            return true;
        return detail::FileTimeToTimespec(*ft, &ts) != FALSE;
    };
    timespec times[2];
    if (!toSpec(lastAccess, times[0]) || !toSpec(lastWrite, times[1])) return FALSE;  // 87 set
    if (futimens(f->fd, times) != 0) return detail::FailErrno(errno);
    return TRUE;
}

}  // namespace win

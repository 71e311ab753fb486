// Share modes across handles, threads and processes: every open holds read locks
// (open-file-description locks) on marker bytes far beyond any data: "has read", "has write",
// "denies read", "denies write", "denies delete". An open tests the markers that would
// conflict with it before and after taking its own, so that of two racing openers at least one
// sees the other; an open that shares neither reading nor writing holds them as one write lock
// instead. The same handle's own byte-range locks never meet its markers.
#include <fcntl.h>

#include <cerrno>

#include "platform/internal.h"

namespace win::detail {

bool SetOfdLock(int fd, short type, int64_t start, int64_t len) {
    struct flock fl{};
    fl.l_type = type;
    fl.l_whence = SEEK_SET;
    fl.l_start = start;
    fl.l_len = len;
    while (fcntl(fd, F_OFD_SETLK, &fl) != 0) {
        if (errno != EINTR) return false;
    }
    return true;
}

namespace {


// Calls f(start, length) for every run of set bits of the mask.
template <class F>
bool ForRuns(unsigned mask, F f) {
    for (unsigned b = 0; b < 8;) {
        if (!(mask & (1u << b))) {
            ++b;
            continue;
        }
        unsigned e = b;
        while (e < 8 && (mask & (1u << e))) ++e;
        if (!f(kMarkerBase + b, int64_t(e - b))) return false;
        b = e;
    }
    return true;
}

bool Conflicts(int fd, unsigned mask) {
    bool conflict = false;
    ForRuns(mask, [&](int64_t start, int64_t len) {
        if (RangeLockedByOther(fd, F_WRLCK, start, len)) {
            conflict = true;
            return false;
        }
        return true;
    });
    return conflict;
}

void Release(int fd, unsigned mask) {
    ForRuns(mask, [&](int64_t start, int64_t len) {
        SetOfdLock(fd, F_UNLCK, start, len);
        return true;
    });
}

}  // namespace

bool RangeLockedByOther(int fd, int type, int64_t offset, int64_t length) {
    if (length <= 0) return false;
    struct flock fl{};
    fl.l_type = static_cast<short>(type);
    fl.l_whence = SEEK_SET;
    fl.l_start = offset;
    fl.l_len = length;
    if (fcntl(fd, F_OFD_GETLK, &fl) != 0) return false;
    return fl.l_type != F_UNLCK;
}

bool AcquireShareMarkers(int fd, DWORD access, DWORD share, bool fresh, bool* heldOut) {
    if (heldOut) *heldOut = false;
    // Windows leaves opens without read or write access out of the share check altogether.
    if (!(access & (GENERIC_READ | GENERIC_WRITE))) return true;
    unsigned test = 0, hold = 0;
    if (access & GENERIC_READ) {
        test |= 1u << kDenyRead;
        hold |= 1u << kHasRead;
    }
    if (access & GENERIC_WRITE) {
        test |= 1u << kDenyWrite;
        hold |= 1u << kHasWrite;
    }
    if (!(share & FILE_SHARE_READ)) {
        test |= 1u << kHasRead;
        hold |= 1u << kDenyRead;
    }
    if (!(share & FILE_SHARE_WRITE)) {
        test |= 1u << kHasWrite;
        hold |= 1u << kDenyWrite;
    }
    if (!(share & FILE_SHARE_DELETE)) hold |= 1u << kDenyDelete;

    if (!(share & (FILE_SHARE_READ | FILE_SHARE_WRITE))) {
        // Sharing neither: every other open with read or write access conflicts with this one
        // (each tests "denies read" or "denies write"), so the four markers taken as one write
        // lock test and take at once, and nothing can come in between.
        if (SetOfdLock(fd, F_WRLCK, kMarkerBase,
                       (share & FILE_SHARE_DELETE) ? kDenyDelete : kDenyDelete + 1)) {
            if (heldOut) *heldOut = true;
            return true;
        }
        if (errno == EAGAIN || errno == EACCES) return Fail(ERROR_SHARING_VIOLATION);
        // A descriptor open for reading only cannot take it: markers of the usual kind.
    }
    if (!fresh && Conflicts(fd, test)) return Fail(ERROR_SHARING_VIOLATION);
    unsigned held = 0;
    const bool ok = ForRuns(hold, [&](int64_t start, int64_t len) {
        if (!SetOfdLock(fd, F_RDLCK, start, len)) return false;
        for (int64_t i = 0; i < len; ++i) held |= 1u << unsigned(start - kMarkerBase + i);
        return true;
    });
    if (!ok) {
        const int err = errno;
        Release(fd, held);
        // A file system without locks (or a descriptor that cannot take them) keeps no
        // markers: the open goes ahead unshared-checked rather than failing.
        if (err == EBADF || err == EINVAL || err == ENOLCK || err == EOPNOTSUPP) return true;
        // Refused by another open's markers (one that shares nothing holds them for writing).
        if (err == EAGAIN || err == EACCES) return Fail(ERROR_SHARING_VIOLATION);
        return FailErrno(err) != FALSE;
    }
    if (Conflicts(fd, test)) {  // someone raced us between the two tests
        Release(fd, held);
        return Fail(ERROR_SHARING_VIOLATION);
    }
    if (heldOut) *heldOut = true;
    return true;
}

bool HeldWithoutDeleteShare(int fd) { return RangeLockedByOther(fd, F_WRLCK, kMarkerBase + kDenyDelete, 1); }

}  // namespace win::detail

// Byte-range locks: exclusive, non-blocking (33 at once), held as open-file-description
// locks so that they bind every other handle of any thread or process; ReadFile and WriteFile
// test them (mandatory). Ranges are remembered per handle: Windows unlocks only an exact range.
#include <fcntl.h>

#include <cerrno>

#include "platform/internal.h"

namespace win {
namespace {

using detail::FileObject;

// The part of a range the kernel can hold: below the share-mode markers.
bool KernelRange(uint64_t offset, uint64_t length, int64_t& start, int64_t& len) {
    if (length == 0 || offset >= uint64_t(detail::kMarkerBase)) return false;
    const uint64_t end = std::min<uint64_t>(offset + length, uint64_t(detail::kMarkerBase));
    start = static_cast<int64_t>(offset);
    len = static_cast<int64_t>(end - offset);
    return true;
}

bool Overlap(const FileObject::Range& a, uint64_t offset, uint64_t length) {
    if (a.length == 0 || length == 0) return false;
    return offset < a.offset + a.length && a.offset < offset + length;
}

}  // namespace

BOOL LockFile(HANDLE file, DWORD offsetLow, DWORD offsetHigh, DWORD bytesLow, DWORD bytesHigh) {
    auto f = detail::Lookup<FileObject>(file, detail::Kind::File);
    if (!f || fault::Hit(fault::Call::LockFile, f->posix)) return FALSE;
    if (f->isDirectory) return detail::Fail(ERROR_INVALID_FUNCTION);
    if (!(f->access & (GENERIC_READ | GENERIC_WRITE))) return detail::Fail(ERROR_ACCESS_DENIED);
    const uint64_t offset = (uint64_t{offsetHigh} << 32) | offsetLow;
    const uint64_t length = (uint64_t{bytesHigh} << 32) | bytesLow;
    if (length && offset + length - 1 < offset) return detail::Fail(ERROR_INVALID_PARAMETER);
    std::lock_guard lock(f->mutex);
    for (const auto& r : f->locks)
        if (Overlap(r, offset, length)) return detail::Fail(ERROR_LOCK_VIOLATION);
    int64_t start = 0, len = 0;
    if (KernelRange(offset, length, start, len)) {
        // A descriptor that could not be opened for writing holds a read lock: it still keeps
        // writers out, though not other such readers.
        if (!detail::SetOfdLock(f->fd, f->fdWritable ? F_WRLCK : F_RDLCK, start, len)) {
            if (errno == EAGAIN || errno == EACCES) return detail::Fail(ERROR_LOCK_VIOLATION);
            return detail::FailErrno(errno);
        }
    }
    f->locks.push_back({offset, length});
    return TRUE;
}

BOOL UnlockFile(HANDLE file, DWORD offsetLow, DWORD offsetHigh, DWORD bytesLow, DWORD bytesHigh) {
    auto f = detail::Lookup<FileObject>(file, detail::Kind::File);
    if (!f) return FALSE;
    const uint64_t offset = (uint64_t{offsetHigh} << 32) | offsetLow;
    const uint64_t length = (uint64_t{bytesHigh} << 32) | bytesLow;
    std::lock_guard lock(f->mutex);
    for (auto it = f->locks.begin(); it != f->locks.end(); ++it) {
        if (it->offset != offset || it->length != length) continue;
        int64_t start = 0, len = 0;
        if (KernelRange(offset, length, start, len)) {
            if (!detail::SetOfdLock(f->fd, F_UNLCK, start, len)) return detail::FailErrno(errno);
        }
        f->locks.erase(it);
        return TRUE;
    }
    return detail::Fail(ERROR_NOT_LOCKED);
}

}  // namespace win

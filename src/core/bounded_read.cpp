#include "core/bounded_read.h"

#include <algorithm>
#include <cstring>

namespace qvp {

DeclaredRead CheckDeclared(const DeclaredLayout& layout, const uint8_t* head, size_t headBytes,
                           uint64_t fileSize, uint32_t* total) {
    // Nothing a reader keeps in memory passes 4 GiB, whatever a kind's limit says.
    const uint64_t limit = std::min<uint64_t>(layout.maxSize, UINT32_MAX);
    if (fileSize < layout.headSize) {
        // Too short to announce anything: the caller's own checks refuse it as they always did.
        *total = static_cast<uint32_t>(fileSize);
        return DeclaredRead::Read;
    }
    if (layout.declared == nullptr) {
        if (fileSize > limit) return DeclaredRead::TooLarge;
        *total = static_cast<uint32_t>(fileSize);
        return DeclaredRead::Read;
    }
    if (headBytes < layout.headSize) return DeclaredRead::Failed;
    const uint64_t declared = layout.declared(head);
    if (declared != kUnsound && declared > limit) return DeclaredRead::TooLarge;
    // An exact kind cannot be longer than it may announce, sound head or not.
    if (layout.exact && fileSize > limit) return DeclaredRead::TooLarge;
    if (declared == kUnsound || declared < layout.headSize || declared > fileSize ||
        (layout.exact && declared != fileSize))
        return DeclaredRead::Malformed;
    *total = static_cast<uint32_t>(declared);
    return DeclaredRead::Read;
}

bool ReadExact(win::HANDLE file, void* buffer, uint32_t size) {
    uint32_t total = 0;
    auto* out = static_cast<uint8_t*>(buffer);
    while (total < size) {
        win::DWORD got = 0;
        if (!win::ReadFile(file, out + total, size - total, &got, nullptr)) return false;
        if (got == 0) {
            win::SetLastError(win::ERROR_HANDLE_EOF);
            return false;
        }
        total += got;
    }
    return true;
}

bool CopyRemaining(win::HANDLE from, win::HANDLE to, bool& readFailed) {
    uint8_t piece[64 * 1024];
    for (;;) {
        win::DWORD got = 0;
        readFailed = true;
        if (!win::ReadFile(from, piece, sizeof piece, &got, nullptr)) return false;
        if (got == 0) return true;
        readFailed = false;
        win::DWORD written = 0;
        if (!win::WriteFile(to, piece, got, &written, nullptr)) return false;
        if (written != got) {
            win::SetLastError(win::ERROR_DISK_FULL);
            return false;
        }
    }
}

DeclaredRead ReadDeclared(win::HANDLE file, const DeclaredLayout& layout, std::vector<uint8_t>& out,
                          uint64_t* fileSize) {
    out.clear();
    win::DWORD high = 0;
    win::SetLastError(0);
    const win::DWORD low = win::GetFileSize(file, &high);
    if (low == win::INVALID_FILE_SIZE && win::GetLastError() != 0) return DeclaredRead::Failed;
    const uint64_t size = uint64_t{high} << 32 | low;
    if (fileSize != nullptr) *fileSize = size;
    win::SetLastError(0);
    if (win::SetFilePointer(file, 0, nullptr, win::FILE_BEGIN) == win::INVALID_SET_FILE_POINTER &&
        win::GetLastError() != 0)
        return DeclaredRead::Failed;
    const uint32_t headBytes = static_cast<uint32_t>(std::min<uint64_t>(layout.headSize, size));
    out.resize(headBytes);
    if (!ReadExact(file, out.data(), headBytes)) return DeclaredRead::Failed;
    uint32_t total = 0;
    const DeclaredRead check = CheckDeclared(layout, out.data(), headBytes, size, &total);
    if (check != DeclaredRead::Read) {
        win::SetLastError(win::ERROR_INVALID_DATA);
        return check;
    }
    out.resize(total);
    if (total > headBytes && !ReadExact(file, out.data() + headBytes, total - headBytes)) return DeclaredRead::Failed;
    return DeclaredRead::Read;
}

}  // namespace qvp

#include "core/bounded_read.h"

#include <algorithm>
#include <cstring>

#include "core/handles.h"

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

namespace {

bool Seek(win::HANDLE file, uint64_t at) {
    win::LONG high = static_cast<win::LONG>(at >> 32);
    win::SetLastError(0);
    return win::SetFilePointer(file, static_cast<win::LONG>(at & 0xFFFFFFFFu), &high, win::FILE_BEGIN) !=
               win::INVALID_SET_FILE_POINTER ||
           win::GetLastError() == 0;
}

bool Position(win::HANDLE file, uint64_t& at) {
    win::LONG high = 0;
    win::SetLastError(0);
    const win::DWORD low = win::SetFilePointer(file, 0, &high, win::FILE_CURRENT);
    if (low == win::INVALID_SET_FILE_POINTER && win::GetLastError() != 0) return false;
    at = uint64_t{static_cast<uint32_t>(high)} << 32 | low;
    return true;
}

bool Size(win::HANDLE file, uint64_t& size) {
    win::DWORD high = 0;
    win::SetLastError(0);
    const win::DWORD low = win::GetFileSize(file, &high);
    if (low == win::INVALID_FILE_SIZE && win::GetLastError() != 0) return false;
    size = uint64_t{high} << 32 | low;
    return true;
}

// Bytes [at, end) of `from` to the current position of `to`, through one small buffer; `end`
// lowered to where the source ended when it is shorter.
bool CopyPieces(win::HANDLE from, win::HANDLE to, uint64_t at, uint64_t& end, bool& readFailed) {
    uint8_t piece[64 * 1024];
    while (at < end) {
        win::DWORD got = 0;
        readFailed = true;
        const auto want = static_cast<win::DWORD>(std::min<uint64_t>(end - at, sizeof piece));
        if (!win::ReadFile(from, piece, want, &got, nullptr)) return false;
        readFailed = false;
        if (got == 0) {
            end = at;
            return true;
        }
        win::DWORD written = 0;
        if (!win::WriteFile(to, piece, got, &written, nullptr)) return false;
        if (written != got) {
            win::SetLastError(win::ERROR_DISK_FULL);
            return false;
        }
        at += got;
    }
    return true;
}

// Read when the holes within the first `end` bytes of `file` add up to kHoleAllowance at most,
// Hollow when they pass it (ERROR_INVALID_DATA set), Failed when the file system cannot tell.
DeclaredRead CheckOnDisk(win::HANDLE file, uint64_t end) {
    // Each step passes one range on disk and the hole after it, and ends once the holes pass the
    // allowance: a file of many small holes costs no more steps than the allowance holds.
    uint64_t at = 0, holes = 0;
    while (at < end && holes <= kHoleAllowance) {
        uint64_t start = 0, stop = 0;
        if (!win::QueryAllocatedRange(file, at, &start, &stop)) {
            if (win::GetLastError() != win::ERROR_HANDLE_EOF) return DeclaredRead::Failed;
            start = stop = end;  // holes to the end
        }
        start = std::min(start, end);
        holes += start - at;
        at = std::max(start, std::min(stop, end));
    }
    if (holes <= kHoleAllowance) return DeclaredRead::Read;
    win::SetLastError(win::ERROR_INVALID_DATA);
    return DeclaredRead::Hollow;
}

}  // namespace

bool CopyRemaining(win::HANDLE from, win::HANDLE to, bool& readFailed) {
    uint64_t inStart = 0, outStart = 0, size = 0;
    readFailed = true;
    if (!Position(from, inStart) || !Size(from, size)) return false;
    readFailed = false;
    if (!Position(to, outStart)) return false;
    // Only what is on disk goes over; the holes between are skipped on both sides.
    uint64_t at = inStart;
    while (at < size) {
        uint64_t start = 0, end = 0;
        readFailed = true;
        if (!win::QueryAllocatedRange(from, at, &start, &end)) {
            if (win::GetLastError() != win::ERROR_HANDLE_EOF) return false;
            break;
        }
        if (start >= size) break;
        end = std::min(end, size);
        const uint64_t wanted = end;
        if (!Seek(from, start)) return false;
        readFailed = false;
        if (!Seek(to, outStart + (start - inStart))) return false;
        if (!CopyPieces(from, to, start, end, readFailed)) return false;
        at = end;
        if (end < wanted) {
            size = end;  // the source shrank meanwhile
            break;
        }
    }
    // The copy as long as the source: a hole at its end stays one.
    readFailed = false;
    return Seek(to, outStart + (size - std::min(size, inStart))) && win::SetEndOfFile(to);
}

DeclaredRead CheckAnnounced(win::HANDLE file, const DeclaredLayout& layout, const uint8_t* head, size_t headBytes,
                            uint64_t fileSize, uint32_t* total) {
    const DeclaredRead check = CheckDeclared(layout, head, headBytes, fileSize, total);
    if (check != DeclaredRead::Read) {
        win::SetLastError(win::ERROR_INVALID_DATA);
        return check;
    }
    return *total > headBytes ? CheckOnDisk(file, *total) : DeclaredRead::Read;
}

bool CopyDeclared(win::HANDLE from, win::HANDLE to, const DeclaredLayout& layout) {
    uint64_t size = 0;
    if (!Size(from, size) || !Seek(from, 0)) return false;
    uint8_t head[kMaxHeadSize];
    const auto headBytes = static_cast<uint32_t>(std::min<uint64_t>(layout.headSize, size));
    if (!ReadExact(from, head, headBytes)) return false;
    const uint64_t limit = std::min<uint64_t>(layout.maxSize, UINT32_MAX);
    uint32_t total = 0;
    uint64_t bound = std::min(size, limit);
    if (CheckDeclared(layout, head, headBytes, size, &total) == DeclaredRead::Read) bound = total;
    return win::CopyFileContents(from, to, bound) != 0;
}

bool CopyStoredFile(const char* from, const char* to, const DeclaredLayout& layout) {
    const FileHandle source(win::CreateFile(from, win::GENERIC_READ, win::FILE_SHARE_READ, nullptr, win::OPEN_EXISTING,
                                            win::FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!source.valid()) return false;
    FileHandle copy(win::CreateFile(to, win::GENERIC_WRITE, 0, nullptr, win::CREATE_NEW, win::FILE_ATTRIBUTE_NORMAL,
                                    nullptr));
    if (!copy.valid()) return false;
    if (CopyDeclared(source.get(), copy.get(), layout)) return true;
    const win::DWORD error = win::GetLastError();
    copy.Reset();
    win::DeleteFile(to);
    win::SetLastError(error);
    return false;
}

DeclaredRead ReadDeclaredHead(win::HANDLE file, const DeclaredLayout& layout, uint8_t* head, uint32_t& headBytes,
                              uint32_t& total, uint64_t* fileSize) {
    headBytes = 0;
    uint64_t size = 0;
    if (!Size(file, size)) return DeclaredRead::Failed;
    if (fileSize != nullptr) *fileSize = size;
    if (!Seek(file, 0)) return DeclaredRead::Failed;
    headBytes = static_cast<uint32_t>(std::min<uint64_t>(layout.headSize, size));
    if (!ReadExact(file, head, headBytes)) return DeclaredRead::Failed;
    return CheckAnnounced(file, layout, head, headBytes, size, &total);
}

DeclaredRead ReadDeclared(win::HANDLE file, const DeclaredLayout& layout, std::vector<uint8_t>& out,
                          uint64_t* fileSize) {
    out.clear();
    uint8_t head[kMaxHeadSize] = {};
    uint32_t headBytes = 0, total = 0;
    const DeclaredRead read = ReadDeclaredHead(file, layout, head, headBytes, total, fileSize);
    out.assign(head, head + headBytes);
    if (read != DeclaredRead::Read) return read;
    out.resize(total);
    if (total > headBytes && !ReadExact(file, out.data() + headBytes, total - headBytes)) return DeclaredRead::Failed;
    return DeclaredRead::Read;
}

}  // namespace qvp

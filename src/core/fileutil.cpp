// Directory and file utilities over the platform layer. Symbolic links (reparse points) are
// never followed: removals (the platform's tree remover, by handle) take the link itself and
// copies leave it out.
#include "core/fileutil.h"

#include <algorithm>
#include <cstdarg>
#include <cstring>
#include <string>
#include <vector>

#include "core/errors.h"
#include "core/frame.h"
#include "core/log.h"
#include "core/memory.h"
#include "share/wapi/wapi.h"

namespace {

constexpr const char kFileCopyName[] = "qvpAPIFileCopy";
constexpr const char kReadFileName[] = "qvAPIReadFile";
constexpr const char kCreateFileError[] = "%s : CreateFile Error : Handle = 0x%8.8x, errno = %d";
constexpr const char kInfoError[] =
    "%s : GetFileInformationByHandle Error : Handle = 0x%8.8x, data = 0x%8.8x, errno = %d";
constexpr const char kMallocError[] = "%s : malloc error";
constexpr const char kReadFileError[] =
    "%s : ReadFile Error : Handle = 0x%8.8x, Buff = 0x%8.8x, Size= 0x%8.8x, errno = %d";
constexpr const char kDeleteAllError[] =
    "gaiCOMDirectoryDeleteAll : Delete Error : Path = %s, errno = %u";

bool IsSeparator(char c) { return c == '\\' || c == '/'; }

// Length of the root that is not a level of its own: "X:\", "/" or "\", else 0.
size_t RootLength(const std::string& p) {
    if (p.size() >= 2 && p[1] == ':') return p.size() >= 3 && IsSeparator(p[2]) ? 3 : 2;
    if (!p.empty() && IsSeparator(p[0])) return 1;
    return 0;
}

std::string StripTrailingSeparators(std::string p) {
    const size_t root = RootLength(p);
    // A trailing 0x5C may be the trail byte of a double-byte character: ask the code page.
    while (p.size() > root && win::FindLastSeparator(p) == p.size() - 1) p.pop_back();
    return p;
}

std::string Join(const std::string& directory, const char* name) {
    return directory + "\\" + name;
}

bool IsDots(const char* name) {
    return (name[0] == '.' && name[1] == '\0') || (name[0] == '.' && name[1] == '.' && name[2] == '\0');
}

struct Entry {
    std::string name;
    win::DWORD attributes;
};

// The entries of a directory without "." and ".."; false with the walk's error.
bool ListDirectory(const std::string& directory, std::vector<Entry>& entries) {
    win::WIN32_FIND_DATAA data{};
    qvp::FindWalk find(Join(directory, "*"), data);
    if (!find.valid()) return win::GetLastError() == win::ERROR_FILE_NOT_FOUND;
    do {
        if (!IsDots(data.cFileName)) entries.push_back({data.cFileName, data.dwFileAttributes});
    } while (find.Next(data));
    const win::DWORD end = win::GetLastError();
    return end == win::ERROR_NO_MORE_FILES;
}

bool IsLink(win::DWORD attributes) { return (attributes & win::FILE_ATTRIBUTE_REPARSE_POINT) != 0; }
bool IsDirectory(win::DWORD attributes) {
    return attributes != win::INVALID_FILE_ATTRIBUTES && (attributes & win::FILE_ATTRIBUTE_DIRECTORY) != 0;
}

bool CopyOneFile(const std::string& from, const std::string& to) {
    if (win::CopyFile(from.c_str(), to.c_str(), win::FALSE)) return true;
    // A read-only file from an earlier copy is overwritten like any other.
    const win::DWORD error = win::GetLastError();
    const win::DWORD attributes = win::GetFileAttributes(to.c_str());
    if (error == win::ERROR_ACCESS_DENIED && attributes != win::INVALID_FILE_ATTRIBUTES &&
        (attributes & win::FILE_ATTRIBUTE_READONLY) != 0 && !IsDirectory(attributes)) {
        win::SetFileAttributes(to.c_str(), win::FILE_ATTRIBUTE_NORMAL);
        if (win::CopyFile(from.c_str(), to.c_str(), win::FALSE)) return true;
    }
    win::SetLastError(error);
    return false;
}

bool CopyTree(const std::string& source, const std::string& target) {
    std::vector<Entry> entries;
    if (!ListDirectory(source, entries)) return false;
    for (const Entry& e : entries) {
        if (IsLink(e.attributes)) continue;
        const std::string from = Join(source, e.name.c_str());
        const std::string to = Join(target, e.name.c_str());
        if (IsDirectory(e.attributes)) {
            if (!qvpCreateDirectoryTree(to.c_str()) || !CopyTree(from, to)) return false;
        } else if (!CopyOneFile(from, to)) {
            // Devices, pipes and sockets are listed as system entries and refused by the open:
            // left out. A file with the system attribute is copied like any other.
            const bool system = (e.attributes & win::FILE_ATTRIBUTE_SYSTEM) != 0;
            if (system && win::GetLastError() == win::ERROR_ACCESS_DENIED &&
                win::GetFileAttributes(to.c_str()) == win::INVALID_FILE_ATTRIBUTES) {
                continue;
            }
            return false;
        }
    }
    return true;
}

void BlockLog(QVPAPI* block, const char* format, ...) __attribute__((format(printf, 2, 3)));
void BlockLog(QVPAPI* block, const char* format, ...) {
    if (block == nullptr || block->dllLogId == 0) return;
    va_list args;
    va_start(args, format);
    qvpLogVPrintf(block->dllLogId, "dll", format, args);
    va_end(args);
}

uint32_t HandleValue(win::HANDLE h) {
    return static_cast<uint32_t>(reinterpret_cast<uintptr_t>(h));
}

// Opens `path` and learns its size; false with the API code set and the failure logged.
bool OpenAndMeasure(QVPAPI* block, const char* name, const char* path, win::DWORD access,
                    win::DWORD share, qvp::FileHandle& file, win::BY_HANDLE_FILE_INFORMATION& info,
                    bool notFoundIsNoMore) {
    file.Reset(win::CreateFile(path, access, share, nullptr, win::OPEN_EXISTING,
                               win::FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.valid()) {
        const win::DWORD error = win::GetLastError();
        BlockLog(block, kCreateFileError, name, HandleValue(file.get()), static_cast<int>(error));
        uint32_t code = QVAPI_ERR_RESOURCE;
        if (error == win::ERROR_FILE_NOT_FOUND || error == win::ERROR_PATH_NOT_FOUND) {
            code = notFoundIsNoMore ? QVAPI_ERR_NO_MORE_ITEMS : QVAPI_ERR_FILE_NOT_FOUND;
        } else if (error == win::ERROR_SHARING_VIOLATION) {
            code = notFoundIsNoMore ? QVAPI_ERR_NO_MORE_ITEMS : QVAPI_ERR_BUSY;
        }
        qvAPISetLastError(code);
        return false;
    }
    if (!win::GetFileInformationByHandle(file.get(), &info)) {
        const win::DWORD error = win::GetLastError();
        BlockLog(block, kInfoError, name, HandleValue(file.get()),
                 static_cast<uint32_t>(reinterpret_cast<uintptr_t>(&info)), static_cast<int>(error));
        qvAPISetLastError(QVAPI_ERR_RESOURCE);
        return false;
    }
    return true;
}

// The old bound of the whole-file readers, for callers that name no kind.
constexpr qvp::DeclaredLayout kWholeFile{0, 0x7FFFFFFEu, nullptr, false};

// Reads exactly `size` bytes (fewer only when the file is shorter); false on a read error.
bool ReadAll(QVPAPI* block, const char* name, win::HANDLE file, void* buffer, uint32_t size,
             uint32_t* got) {
    uint32_t total = 0;
    while (total < size) {
        win::DWORD read = 0;
        if (!win::ReadFile(file, static_cast<char*>(buffer) + total, size - total, &read, nullptr)) {
            const win::DWORD error = win::GetLastError();
            BlockLog(block, kReadFileError, name, HandleValue(file),
                     static_cast<uint32_t>(reinterpret_cast<uintptr_t>(buffer)), size,
                     static_cast<int>(error));
            qvAPISetLastError(QVAPI_ERR_RESOURCE);
            return false;
        }
        if (read == 0) break;
        total += read;
    }
    *got = total;
    return true;
}

// Reads what `layout` lets a reader take from an opened file of `fileSize` bytes into an arena
// buffer: `*buffer` when it holds `*capacity` bytes or more, else a fresh one (the old one freed).
// One spare zero byte follows: readers may treat the contents as text. false with the API code
// set and the failure logged; a refused content is logged as a failed read (error 13).
bool ReadAnnounced(QVPAPI* block, const char* name, win::HANDLE file, uint64_t fileSize,
                   const qvp::DeclaredLayout& layout, void** buffer, uint32_t capacity, uint32_t* got) {
    uint8_t head[qvp::kMaxHeadSize];
    const uint32_t headBytes = static_cast<uint32_t>(std::min<uint64_t>(layout.headSize, fileSize));
    uint32_t total = 0;
    const bool headRead = qvp::ReadExact(file, head, headBytes);
    if (!headRead || qvp::CheckAnnounced(file, layout, head, headBytes, fileSize, &total) != qvp::DeclaredRead::Read) {
        const win::DWORD error = headRead ? win::ERROR_INVALID_DATA : win::GetLastError();
        BlockLog(block, kReadFileError, name, HandleValue(file), static_cast<uint32_t>(reinterpret_cast<uintptr_t>(head)),
                 headBytes, static_cast<int>(error));
        qvAPISetLastError(QVAPI_ERR_RESOURCE);
        return false;
    }
    if (*buffer == nullptr || capacity < total) {
        void* fresh = qvpAPIAlloc(static_cast<size_t>(total) + 1);
        if (fresh == nullptr) {
            BlockLog(block, kMallocError, name);
            qvAPISetLastError(QVAPI_ERR_RESOURCE);
            return false;
        }
        if (*buffer != nullptr) qvpAPIFree(*buffer);
        *buffer = fresh;
    }
    std::memcpy(*buffer, head, headBytes);
    uint32_t rest = 0;
    if (!ReadAll(block, name, file, static_cast<char*>(*buffer) + headBytes, total - headBytes, &rest)) return false;
    *got = headBytes + rest;
    return true;
}

}  // namespace

bool qvpCreateDirectoryTree(const char* path) {
    if (path == nullptr || path[0] == '\0') {
        win::SetLastError(win::ERROR_PATH_NOT_FOUND);
        return false;
    }
    const std::string p = StripTrailingSeparators(path);
    const win::DWORD whole = win::GetFileAttributes(p.c_str());
    if (IsDirectory(whole)) return true;
    size_t pos = RootLength(p);
    for (;;) {
        const size_t sep = win::FindFirstSeparator(p, pos);
        const std::string level = p.substr(0, sep == std::string::npos ? p.size() : sep);
        if (level.size() > RootLength(level) && !IsSeparator(level.back())) {
            const win::DWORD attributes = win::GetFileAttributes(level.c_str());
            if (attributes == win::INVALID_FILE_ATTRIBUTES) {
                if (!win::CreateDirectory(level.c_str(), nullptr)) {
                    const win::DWORD error = win::GetLastError();
                    // Another thread or process may have made it in the meantime.
                    if (!(error == win::ERROR_ALREADY_EXISTS &&
                          IsDirectory(win::GetFileAttributes(level.c_str())))) {
                        win::SetLastError(error);
                        return false;
                    }
                }
            } else if (!IsDirectory(attributes)) {
                win::SetLastError(win::ERROR_ALREADY_EXISTS);
                return false;
            }
        }
        if (sep == std::string::npos) break;
        pos = sep + 1;
    }
    return true;
}

extern "C" QVPAPI_EXPORT int qvpCreateDirectory(const char* path) {
    static const qvp::FrameTexts texts{"qvpCreateDirectory"};
    return qvp::RunApi(texts, 0, [&](qvp::CallContext& call) {
        if (qvpCreateDirectoryTree(path)) return 1;
        call.Fail(win::GetLastError());
        return 0;
    });
}

int qvp::qvAPIDirectoryCopy(const char* source, const char* destination) {
    if (source == nullptr || destination == nullptr) {
        qvAPISetLastError(QVAPI_ERR_INVALID_PARAMETER);
        return 0;
    }
    const std::string from = StripTrailingSeparators(source);
    const size_t sep = win::FindLastSeparator(from);
    const std::string last = sep == std::string::npos ? from : from.substr(sep + 1);
    const std::string target = Join(StripTrailingSeparators(destination), last.c_str());
    if (!qvpCreateDirectoryTree(target.c_str())) return 0;
    return CopyTree(from, target) ? 1 : 0;
}

int gaiCOMDirectoryDeleteAll(const char* directory) {
    if (directory == nullptr) {
        win::SetLastError(win::ERROR_INVALID_PARAMETER);
        return 1;
    }
    const std::string dir = StripTrailingSeparators(directory);
    if (win::RemoveTree(dir.c_str(), win::RemoveScope::Tree)) return 0;
    const win::DWORD error = win::GetLastError();
    qvpReportError(0, kDeleteAllError, dir.c_str(), error);
    win::SetLastError(error);
    return 1;
}

int gaiCOMDirectoryClearAll(const char* directory) {
    if (directory == nullptr) {
        win::SetLastError(win::ERROR_INVALID_PARAMETER);
        return 1;
    }
    return win::RemoveTree(StripTrailingSeparators(directory).c_str(), win::RemoveScope::Contents) ? 0 : 1;
}

int gaiCOMDirectoryDelete(const char* directory) {
    if (directory == nullptr) {
        win::SetLastError(win::ERROR_INVALID_PARAMETER);
        return 1;
    }
    return win::RemoveTree(StripTrailingSeparators(directory).c_str(), win::RemoveScope::Files) ? 0 : 1;
}

namespace {

// One try at whatever stands at `dir`; a failure reported as the tree remover's.
bool RemoveNameOnce(const std::string& dir) {
    if (win::RemoveTree(dir.c_str(), win::RemoveScope::Name)) return true;
    const win::DWORD error = win::GetLastError();
    qvpReportError(0, kDeleteAllError, dir.c_str(), error);
    win::SetLastError(error);
    return false;
}

}  // namespace

bool qvp::IsFolderNotLink(const std::string& path) {
    const win::DWORD attributes = win::GetFileAttributes(path.c_str());
    return IsDirectory(attributes) && !IsLink(attributes);
}

int gaiCOMDirectoryDeleteRetry(const char* directory, uint32_t pauseMs, int tries) {
    if (directory == nullptr) return 1;
    if (win::GetFileAttributes(directory) == win::INVALID_FILE_ATTRIBUTES) return 1;
    const std::string dir = StripTrailingSeparators(directory);
    for (int i = 0; i < tries; ++i) {
        if (RemoveNameOnce(dir)) return 0;
        // Only a folder can free itself meanwhile: a file in it let go by its holder, or one a
        // writer was adding. Whatever else another writer left at the name, or what stays for a
        // reason no wait cures (no permission, nested too deep), costs no pause.
        const win::DWORD error = win::GetLastError();
        if ((error != win::ERROR_SHARING_VIOLATION && error != win::ERROR_DIR_NOT_EMPTY) || !qvp::IsFolderNotLink(dir))
            return 1;
        if (i + 1 < tries) win::Sleep(pauseMs);
    }
    return 1;
}

bool qvp::RemoveAtOnce(const std::string& path) {
    if (win::GetFileAttributes(path.c_str()) == win::INVALID_FILE_ATTRIBUTES) {
        const win::DWORD error = win::GetLastError();
        return error == win::ERROR_FILE_NOT_FOUND || error == win::ERROR_PATH_NOT_FOUND;
    }
    return RemoveNameOnce(StripTrailingSeparators(path));
}

int qvpAPIFileCopy(QVPAPI* block, const char* path, void** buffer, uint32_t* size, void* info,
                   int flag, const qvp::DeclaredLayout* layout) {
    if (path == nullptr || buffer == nullptr || size == nullptr) {
        qvAPISetLastError(QVAPI_ERR_INVALID_PARAMETER);
        return -1;
    }
    if (flag != 1 && *buffer == nullptr) {
        qvAPISetLastError(QVAPI_ERR_INVALID_PARAMETER);
        return -1;
    }
    qvp::FileHandle file;
    win::BY_HANDLE_FILE_INFORMATION fileInfo{};
    if (!OpenAndMeasure(block, kFileCopyName, path, win::GENERIC_READ | win::GENERIC_WRITE, 0, file,
                        fileInfo, true)) {
        return -1;
    }
    if (info != nullptr) *static_cast<win::BY_HANDLE_FILE_INFORMATION*>(info) = fileInfo;
    const uint64_t fileSize = uint64_t{fileInfo.nFileSizeHigh} << 32 | fileInfo.nFileSizeLow;
    uint32_t got = 0;
    if (flag == 1) {
        if (!ReadAnnounced(block, kFileCopyName, file.get(), fileSize, layout != nullptr ? *layout : kWholeFile,
                           buffer, *size, &got))
            return -1;
    } else {
        const uint32_t want = static_cast<uint32_t>(std::min<uint64_t>(*size, fileSize));
        if (!ReadAll(block, kFileCopyName, file.get(), *buffer, want, &got)) return -1;
    }
    *size = got;
    return static_cast<int>(got);
}

void* qvpReadWholeFile(QVPAPI* block, const char* path, uint32_t* size, const qvp::DeclaredLayout& layout) {
    if (size != nullptr) *size = 0;
    if (path == nullptr) {
        qvAPISetLastError(QVAPI_ERR_INVALID_PARAMETER);
        return nullptr;
    }
    qvp::FileHandle file;
    win::BY_HANDLE_FILE_INFORMATION info{};
    if (!OpenAndMeasure(block, kReadFileName, path, win::GENERIC_READ, win::FILE_SHARE_READ, file,
                        info, false)) {
        return nullptr;
    }
    void* buffer = nullptr;
    uint32_t got = 0;
    if (!ReadAnnounced(block, kReadFileName, file.get(), uint64_t{info.nFileSizeHigh} << 32 | info.nFileSizeLow, layout,
                       &buffer, 0, &got)) {
        if (buffer != nullptr) qvpAPIFree(buffer);
        return nullptr;
    }
    if (size != nullptr) *size = got;
    return buffer;
}

void* qvp::qvAPIReadFile(QVPAPI* block, const char* path, void* /*reserved1*/,
                         void* /*reserved2*/) {
    return qvpReadWholeFile(block, path, nullptr, kWholeFile);
}

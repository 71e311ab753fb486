// Files of the node-group side: layouts, group paths and the handle and lock wrappers.
#include "nodes/node_group_file.h"

#include <algorithm>

#include "core/temp_file.h"
#include "nodes/node_group_record.h"
#include "qvpapi.h"

namespace qvp::nodes {

// ---- names and layouts --------------------------------------------------------------------------
std::string_view FieldText(const char* field, size_t width) {
    return std::string_view(field, strnlen(field, width));
}

bool FieldEquals(const char* field, size_t width, std::string_view name) {
    return name.size() <= width && FieldText(field, width) == name;
}

void FieldSet(char* field, size_t width, std::string_view name) {
    std::memset(field, 0, width);
    std::memcpy(field, name.data(), std::min(width, name.size()));
}

namespace {

uint64_t GroupDeclared(const uint8_t* head) {
    NodeGroupHeader header;
    std::memcpy(&header, head, sizeof header);
    if (header.uiEntryCount > kMaxGroupEntries || uint64_t{header.uiEntryCount} * kGroupEntrySize != header.uiEntryBytes)
        return kUnsound;
    return kGroupHeaderSize + uint64_t{header.uiEntryBytes};
}

}  // namespace

const DeclaredLayout kGroupFileLayout{kGroupHeaderSize, kGroupHeaderSize + uint64_t{kMaxGroupEntries} * kGroupEntrySize,
                                      &GroupDeclared, true};
const DeclaredLayout kAttributionFileLayout{0, kAttributionHeadSize + uint64_t{kMaxGroupEntries} * kBackLinkSize,
                                            nullptr, false};
const DeclaredLayout kFlatFileLayout{0, sizeof(QVAPI_NODE), nullptr, false};

bool GroupImageWellFormed(const std::vector<uint8_t>& image) {
    if (image.size() < kGroupHeaderSize) return false;
    const size_t entriesBytes = image.size() - kGroupHeaderSize;
    if (entriesBytes % kGroupEntrySize != 0) return false;
    NodeGroupHeader header;
    std::memcpy(&header, image.data(), sizeof header);
    return header.uiEntryBytes == entriesBytes &&
           header.uiEntryCount == entriesBytes / kGroupEntrySize;
}

long FindGroupEntry(const std::vector<uint8_t>& image, std::string_view name, uint32_t kind) {
    const uint32_t count = GroupEntryCount(image);
    for (uint32_t i = 0; i < count; ++i) {
        const NodeGroupEntry* entry = GroupEntryAt(image, i);
        if (entry->uiMemberKind == kind &&
            FieldEquals(entry->ucMemberName, kGroupMemberNameSize, name))
            return i;
    }
    return -1;
}

// ---- paths ------------------------------------------------------------------------------------
std::string GroupDirectoryPath(std::string_view groupPath) {
    std::string path = NodeGroupDir();
    if (groupPath != kRootGroupPath) path.append(groupPath);
    return path;
}

std::string GroupFilePath(std::string_view groupPath) {
    std::string path = GroupDirectoryPath(groupPath);
    path += '\\';
    path += kNodeGroupFileName;
    return path;
}

uint32_t CheckGroupPath(std::string_view groupPath) {
    if (groupPath.empty() || groupPath.front() != '\\') return QVAPI_ERR_INVALID_NAME;
    if (groupPath.size() >= win::MAX_PATH) return QVAPI_ERR_PATH_TOO_LONG;
    if (groupPath == kRootGroupPath) return 0;
    // Every level must be a group name, so no level can be "." or ".." or hold a separator.
    size_t start = 1;
    while (start <= groupPath.size()) {
        size_t end = win::FindFirstSeparator(groupPath, start);
        if (end == std::string_view::npos) end = groupPath.size();
        const std::string level(groupPath.substr(start, end - start));
        if (!CheckGroupLevelName(level.c_str())) return QVAPI_ERR_INVALID_NAME;
        start = end + 1;
    }
    if (GroupFilePath(groupPath).size() >= win::MAX_PATH) return QVAPI_ERR_PATH_TOO_LONG;
    return 0;
}

std::string StoredGroupPath(std::string_view groupPath) {
    if (groupPath == kRootGroupPath || groupPath.empty()) return std::string(groupPath);
    std::string result;
    std::string directory = NodeGroupDir();
    size_t start = 1;
    bool resolving = true;
    while (start <= groupPath.size()) {
        size_t end = win::FindFirstSeparator(groupPath, start);
        if (end == std::string_view::npos) end = groupPath.size();
        std::string level(groupPath.substr(start, end - start));
        if (resolving) {
            win::WIN32_FIND_DATAA data{};
            FindWalk walk(directory + "\\" + level, data);
            if (walk.valid() && (data.dwFileAttributes & win::FILE_ATTRIBUTE_DIRECTORY) != 0 &&
                FieldText(data.cFileName, sizeof data.cFileName).size() == level.size())
                level = FieldText(data.cFileName, sizeof data.cFileName);
            else
                resolving = false;
            directory += "\\" + level;
        }
        result += "\\" + level;
        start = end + 1;
    }
    return result;
}

std::string ChildGroupPath(std::string_view parent, std::string_view name) {
    std::string path(parent == kRootGroupPath ? "" : parent);
    path += '\\';
    path.append(name);
    return path;
}

// ---- handles, locks, I/O -------------------------------------------------------------------------
FileHandle OpenExclusive(const std::string& path, win::DWORD disposition) {
    return FileHandle(win::CreateFile(path.c_str(), win::GENERIC_READ | win::GENERIC_WRITE, 0,
                                      nullptr, disposition, win::FILE_ATTRIBUTE_NORMAL, nullptr));
}

FileHandle OpenExclusiveRead(const std::string& path) {
    return FileHandle(win::CreateFile(path.c_str(), win::GENERIC_READ, 0, nullptr,
                                      win::OPEN_EXISTING, win::FILE_ATTRIBUTE_NORMAL, nullptr));
}

bool RangeLock::Lock() {
    if (held_) return true;
    held_ = win::LockFile(file_, offset_, 0, length_, 0) != 0;
    return held_;
}

bool RangeLock::Unlock() {
    if (!held_) return true;
    held_ = false;
    return win::UnlockFile(file_, offset_, 0, length_, 0) != 0;
}

bool FileSize(win::HANDLE file, uint32_t* size) {
    win::DWORD high = 0;
    const win::DWORD low = win::GetFileSize(file, &high);
    if (low == win::INVALID_FILE_SIZE && win::GetLastError() != 0) return false;
    if (high != 0) {
        win::SetLastError(win::ERROR_INVALID_DATA);
        return false;
    }
    *size = low;
    return true;
}

bool Seek(win::HANDLE file, uint32_t offset) {
    win::SetLastError(0);
    const win::DWORD at = win::SetFilePointer(file, static_cast<win::LONG>(offset), nullptr,
                                              win::FILE_BEGIN);
    return !(at == win::INVALID_SET_FILE_POINTER && win::GetLastError() != 0);
}

bool ReadUpTo(win::HANDLE file, void* buffer, uint32_t limit, uint32_t* got) {
    uint32_t total = 0;
    auto* out = static_cast<uint8_t*>(buffer);
    while (total < limit) {
        win::DWORD read = 0;
        if (!win::ReadFile(file, out + total, limit - total, &read, nullptr)) return false;
        if (read == 0) break;
        total += read;
    }
    *got = total;
    return true;
}

bool WriteAll(win::HANDLE file, const void* data, uint32_t size) {
    if (size == 0) return true;
    win::DWORD written = 0;
    if (!win::WriteFile(file, data, size, &written, nullptr)) return false;
    if (written != size) {
        win::SetLastError(win::ERROR_WRITE_FAULT);
        return false;
    }
    return true;
}

bool WriteAt(win::HANDLE file, uint32_t offset, const void* data, uint32_t size) {
    return Seek(file, offset) && WriteAll(file, data, size);
}

bool Exists(const std::string& path) {
    return win::GetFileAttributes(path.c_str()) != win::INVALID_FILE_ATTRIBUTES;
}

bool IsDirectory(const std::string& path) {
    const win::DWORD attributes = win::GetFileAttributes(path.c_str());
    return attributes != win::INVALID_FILE_ATTRIBUTES &&
           (attributes & win::FILE_ATTRIBUTE_DIRECTORY) != 0;
}

bool DeleteFileRetry(const std::string& path, int tries, uint32_t pauseMs) {
    for (int attempt = 0; attempt < tries; ++attempt) {
        if (win::DeleteFile(path.c_str())) return true;
        if (attempt + 1 < tries) win::Sleep(pauseMs);
    }
    return false;
}

bool ReplaceWhole(const std::string& path, const std::vector<uint8_t>& image) {
    return ReplaceWhole(path, {std::span<const uint8_t>(image)});
}

bool ReplaceWhole(const std::string& path, std::initializer_list<std::span<const uint8_t>> pieces) {
    // What a killed writer left beside the file goes first.
    const size_t cut = path.rfind('\\');
    win::WIN32_FIND_DATAA data{};
    FindWalk walk(path + ".*.tmp", data);
    if (walk.valid() && cut != std::string::npos) {
        do {
            if ((data.dwFileAttributes & win::FILE_ATTRIBUTE_DIRECTORY) == 0)
                win::DeleteFile((path.substr(0, cut + 1) + std::string(FieldText(data.cFileName, sizeof data.cFileName))).c_str());
        } while (walk.Next(data));
    }
    TempFile temp;
    if (!temp.Create(path, ".tmp", win::GENERIC_READ | win::GENERIC_WRITE)) return false;
    for (const std::span<const uint8_t> piece : pieces)
        if (!WriteAll(temp.handle.get(), piece.data(), static_cast<uint32_t>(piece.size()))) return false;
    if (!temp.handle.Close()) return false;
    // The two trade names and the old contents go after: a rename over the file would make the
    // file system free the old one and write the new one out at once, on every member change.
    if (win::ExchangeFiles(temp.path().c_str(), path.c_str())) {
        temp.Discard();
        return true;
    }
    // Held by another opener: nothing changes. No file yet: the temporary takes the name.
    return win::GetLastError() != win::ERROR_SHARING_VIOLATION && temp.Place();
}

bool DeleteOnceFree(const std::string& path) {
    constexpr int kTries = 50;
    constexpr uint32_t kPauseMs = 2;
    for (int attempt = 1;; ++attempt) {
        if (win::DeleteFile(path.c_str())) return true;
        if (win::GetLastError() != win::ERROR_SHARING_VIOLATION || attempt == kTries) return false;
        win::Sleep(kPauseMs);
        win::SetLastError(win::ERROR_SHARING_VIOLATION);
    }
}

}  // namespace qvp::nodes

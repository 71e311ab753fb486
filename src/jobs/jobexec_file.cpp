#include "jobs/jobexec_file.h"

#include <algorithm>
#include <bit>
#include <cstring>

#include "core/errors.h"
#include "core/frame.h"
#include "core/handles.h"
#include "core/log.h"
#include "core/paths.h"
#include "jobs/job_texts.h"
#include "nodes/name_text.h"
#include "platform/win.h"

namespace qvp::jobs {

static_assert(std::endian::native == std::endian::little,
              "job execution files keep the little-endian words of the Windows design");

namespace {

constexpr size_t kSecondNameLength = 4;  // u32 before the second name

bool IsSeparator(char c) { return c == '\\' || c == '/'; }

}  // namespace

bool HasDotLevel(std::string_view path) {
    size_t start = 0;
    while (start <= path.size()) {
        size_t end = start;
        while (end < path.size() && !IsSeparator(path[end])) ++end;
        const std::string_view level = path.substr(start, end - start);
        if (level == "." || level == "..") return true;
        start = end + 1;
    }
    return false;
}

namespace {

std::string JobExecRoot() {
    char root[win::MAX_PATH + 1] = {};
    qvpMakeMngflJobExecPath(root);
    return root;
}

// The formats are this layer's own constants: "%s ... %d", or "%s ... %s ... %d" with a file.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-nonliteral"
void LogStep(QVPAPI& block, const char* format, const char* function, uint32_t number) {
    if (block.dllLogId != 0) qvpLogPrintf(block.dllLogId, "dll", format, function, number);
}
void LogFile(QVPAPI& block, const char* format, const char* function, const std::string& file, uint32_t number) {
    if (block.dllLogId != 0) qvpLogPrintf(block.dllLogId, "dll", format, function, file.c_str(), number);
}
#pragma GCC diagnostic pop

}  // namespace

namespace {

uint64_t JobExecDeclared(const uint8_t* headBytes) {
    const uint64_t area = Load32(headBytes + head::kEntryAreaSize);
    // A count past what the area holds is the entry parser's to refuse; an area past what the
    // count's entries can fill is never read.
    const uint64_t count = std::min<uint64_t>(Load32(headBytes + head::kEntryCount), kMaxEntries);
    return area > count * kMaxEntrySize ? kUnsound : kHeadSize + area;
}

}  // namespace

const DeclaredLayout kJobExecFileLayout{kHeadSize, kHeadSize + uint64_t{kMaxEntries} * kMaxEntrySize,
                                        &JobExecDeclared, false};

uint32_t Load32(const unsigned char* p) {
    uint32_t value;
    std::memcpy(&value, p, sizeof value);
    return value;
}

void Store32(unsigned char* p, uint32_t value) { std::memcpy(p, &value, sizeof value); }

int CounterIndex(int statusCode) {
    for (size_t i = 0; i < kStatusCount; ++i)
        if (kStatusCodes[i] == statusCode) return static_cast<int>(i);
    return -1;
}

bool IsHostIdName(std::string_view name) { return nodes::IsHostIdName(name); }

bool ParseEntries(const unsigned char* headBytes, std::string_view area, std::vector<Entry>& entries) {
    entries.clear();
    const uint32_t count = Load32(headBytes + head::kEntryCount);
    // Every entry holds at least its fixed part and one byte of name: a count that could not
    // fit is refused before anything is reserved for it.
    if (count > area.size() / (entry::kName + 1)) return false;
    entries.reserve(count);
    const auto* bytes = reinterpret_cast<const unsigned char*>(area.data());
    size_t pos = 0;
    for (uint32_t i = 0; i < count; ++i) {
        if (area.size() - pos < entry::kName) return false;
        const unsigned char* e = bytes + pos;
        const uint32_t length = Load32(e + entry::kLength);
        const uint32_t nameLength = Load32(e + entry::kNameLength);
        if (length < entry::kName || length > area.size() - pos) return false;
        if (nameLength == 0 || nameLength > kMaxEntryName || nameLength > length - entry::kName) return false;
        Entry out;
        out.jobNumber = area.substr(pos + entry::kJobNumber, QVAPI_JOB_NUMBER_SIZE);
        out.name = area.substr(pos + entry::kName, nameLength);
        // The lookup takes both as terminated texts: an inner NUL would name another record.
        if (out.jobNumber.find('\0') != std::string_view::npos || out.name.find('\0') != std::string_view::npos)
            return false;
        if (IsHostIdName(out.name)) {
            const size_t at = entry::kName + nameLength;
            if (length - at < kSecondNameLength) return false;
            const uint32_t secondLength = Load32(e + at);
            if (secondLength > kMaxEntryName || secondLength > length - at - kSecondNameLength) return false;
            out.secondName = area.substr(pos + at + kSecondNameLength, secondLength);
        }
        entries.push_back(out);
        pos += length;
    }
    return true;
}

bool JobExecFilePath(std::string_view jobPath, std::string& path, std::string_view root) {
    if (HasDotLevel(jobPath)) return false;
    path = root.empty() ? JobExecRoot() : std::string(root);
    path.append(jobPath);
    path += '\\';
    path += kJobExecFileName;
    return path.size() < win::MAX_PATH;
}

uint32_t ParseJobFile(std::string_view bytes, JobFile& file) {
    if (bytes.size() < kHeadSize) return QVAPI_ERR_RESOURCE;
    std::memcpy(file.head, bytes.data(), kHeadSize);
    const uint32_t areaSize = Load32(file.head + head::kEntryAreaSize);
    uint32_t total = 0;
    if (CheckDeclared(kJobExecFileLayout, file.head, kHeadSize, bytes.size(), &total) != DeclaredRead::Read)
        return QVAPI_ERR_RESOURCE;
    file.area.assign(bytes.substr(kHeadSize, areaSize));
    return ParseEntries(file.head, file.area, file.entries) ? 0 : QVAPI_ERR_UNEXPECTED_DATA;
}

namespace {

// Opens a job's file the way `mode` says. 0, or the API code after logging the failing step.
uint32_t OpenJobFile(QVPAPI& block, const char* function, std::string_view jobPath, OpenMode mode,
                     std::string& path, FileHandle& handle) {
    if (!JobExecFilePath(jobPath, path)) {
        LogFile(block, text::kJobPathInvalid, function, std::string(jobPath), 0);
        return QVAPI_ERR_INVALID_PARAMETER;
    }
    const bool exclusive = mode == OpenMode::Exclusive;
    handle.Reset(win::CreateFile(
        path.c_str(), exclusive ? win::GENERIC_READ | win::GENERIC_WRITE : win::GENERIC_READ,
        exclusive ? 0 : win::FILE_SHARE_READ | win::FILE_SHARE_WRITE, nullptr, win::OPEN_EXISTING,
        win::FILE_ATTRIBUTE_NORMAL, nullptr));
    if (handle.valid()) return 0;
    const win::DWORD error = win::GetLastError();
    LogFile(block, text::kCreateFile, function, path, error);
    if (!exclusive) return QVAPI_ERR_RESOURCE;
    const bool absent = error == win::ERROR_FILE_NOT_FOUND || error == win::ERROR_PATH_NOT_FOUND ||
                        error == win::ERROR_SHARING_VIOLATION;
    return absent ? QVAPI_ERR_NO_MORE_ITEMS : QVAPI_ERR_RESOURCE;
}

// Reads the head, and the entry area as `need` says, from an opened job file.
uint32_t ReadOpenedJobFile(QVPAPI& block, const char* function, const std::string& path, FileHandle& handle,
                           EntryNeed need, JobFile& file) {
    if (!ReadExact(handle.get(), file.head, kHeadSize)) {
        LogStep(block, text::kReadHead, function, win::GetLastError());
        return QVAPI_ERR_RESOURCE;
    }
    file.area.clear();
    file.entries.clear();
    if (need == EntryNeed::None) return 0;
    if (need == EntryNeed::WhenCounted && StoredCountSum(file.head) == 0) return 0;
    // The stated area must be in the file, and no larger than its entries can be, before
    // anything is allocated for it.
    win::DWORD high = 0;
    const uint64_t fileSize = win::GetFileSize(handle.get(), &high) | (uint64_t{high} << 32);
    uint32_t total = 0;
    if (CheckAnnounced(handle.get(), kJobExecFileLayout, file.head, kHeadSize, fileSize, &total) != DeclaredRead::Read) {
        LogStep(block, text::kReadEntries, function, win::ERROR_HANDLE_EOF);
        return QVAPI_ERR_RESOURCE;
    }
    const uint32_t areaSize = total - static_cast<uint32_t>(kHeadSize);
    file.area.resize(areaSize);
    if (areaSize > 0 && !ReadExact(handle.get(), file.area.data(), areaSize)) {
        LogStep(block, text::kReadEntries, function, win::GetLastError());
        return QVAPI_ERR_RESOURCE;
    }
    handle.Close();
    if (!ParseEntries(file.head, file.area, file.entries)) {
        LogFile(block, text::kDefectiveFile, function, path, 0);
        return QVAPI_ERR_UNEXPECTED_DATA;
    }
    return 0;
}

}  // namespace

uint32_t ReadJobFile(QVPAPI& block, const char* function, std::string_view jobPath, OpenMode mode,
                     EntryNeed need, JobFile& file) {
    std::string path;
    FileHandle handle;
    if (const uint32_t code = OpenJobFile(block, function, jobPath, mode, path, handle)) return code;
    return ReadOpenedJobFile(block, function, path, handle, need, file);
}

uint32_t KeptJobFile::Refresh(QVPAPI& block, const char* function, std::string_view jobPath) {
    std::string path;
    FileHandle handle;
    if (const uint32_t code = OpenJobFile(block, function, jobPath, OpenMode::Exclusive, path, handle)) {
        loaded_ = false;
        return code;
    }
    win::BY_HANDLE_FILE_INFORMATION info{};
    Stamp stamp;
    const bool stamped = win::GetFileInformationByHandle(handle.get(), &info) != 0;
    if (stamped) {
        stamp.size = uint64_t{info.nFileSizeHigh} << 32 | info.nFileSizeLow;
        stamp.written = uint64_t{info.ftLastWriteTime.dwHighDateTime} << 32 | info.ftLastWriteTime.dwLowDateTime;
        stamp.index = uint64_t{info.nFileIndexHigh} << 32 | info.nFileIndexLow;
        if (loaded_ && stamp == stamp_) return 0;
    }
    loaded_ = false;
    byName_.clear();
    if (const uint32_t code = ReadOpenedJobFile(block, function, path, handle, EntryNeed::Always, file_)) return code;
    for (uint32_t i = 0; i < file_.entries.size(); ++i) byName_[file_.entries[i].name].push_back(i);
    // A file whose stamp could not be taken is read again at the next step.
    loaded_ = stamped;
    stamp_ = stamp;
    return 0;
}

std::span<const uint32_t> KeptJobFile::EntriesNamed(std::string_view name) const {
    const auto found = byName_.find(name);
    if (found == byName_.end()) return {};
    return found->second;
}

uint64_t StoredCountSum(const unsigned char* headBytes) {
    uint64_t sum = 0;
    for (size_t offset : kHeadCounter) sum += Load32(headBytes + offset);
    return sum;
}

uint32_t ReadJobExecPath(QVPAPI& block, std::string_view jobNumber, std::string& jobPath) {
    if (HasDotLevel(jobNumber) || jobNumber.find_first_of("\\/") != std::string_view::npos) return QVAPI_ERR_INVALID_PARAMETER;
    std::string path = JobExecRoot();
    path += '\\';
    path += kIndexFolder;
    path += '\\';
    path.append(jobNumber);
    path += '\\';
    path += kJobExecPathName;
    if (path.size() >= win::MAX_PATH) return QVAPI_ERR_INVALID_PARAMETER;
    FileHandle handle(win::CreateFile(path.c_str(), win::GENERIC_READ, win::FILE_SHARE_READ | win::FILE_SHARE_WRITE,
                                      nullptr, win::OPEN_EXISTING, win::FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!handle.valid()) {
        const win::DWORD error = win::GetLastError();
        LogFile(block, text::kCreateFile, "qvpReadJobExecPath", path, error);
        return error == win::ERROR_FILE_NOT_FOUND || error == win::ERROR_PATH_NOT_FOUND ? QVAPI_ERR_NO_MORE_ITEMS : QVAPI_ERR_RESOURCE;
    }
    // One byte more than a path may hold tells an overlong content apart.
    char content[kMaxPath + 1];
    win::DWORD got = 0;
    if (win::ReadFile(handle.get(), content, sizeof content, &got, nullptr) == 0) return QVAPI_ERR_RESOURCE;
    jobPath.assign(content, strnlen(content, got));
    if (jobPath.empty() || jobPath.size() > kMaxPath || HasDotLevel(jobPath)) return QVAPI_ERR_UNEXPECTED_DATA;
    return 0;
}

}  // namespace qvp::jobs

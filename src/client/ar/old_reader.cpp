// Old-format archives: a 60-byte header, 60-byte entry headers each followed by the entry's
// data, and a table of NUL-separated names at the end. Every offset, index and length the file
// gives is checked against the file before it is used.
#include <algorithm>
#include <cstring>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "client/ar/old_reader.h"

#include "client/ar/ar_format.h"
#include "client/ar/ar_log.h"
#include "client/ar/ar_path.h"
#include "client/ar/restore_tree.h"
#include "client/ar/unarchive.h"
#include "core/handles.h"
#include "platform/win.h"

namespace {

constexpr char kTag[] = "ar";
constexpr size_t kNameMax = 259;         // a name slot holds 259 characters and its NUL
constexpr size_t kPathMax = 259;
constexpr size_t kCopyChunk = 64 * 1024;
constexpr size_t kTextChunk = 4096;

namespace text = ar::msg::old;

// The format's own header and entry layouts and their decoders.
using ar::kOldEntrySize;
using ar::kOldHeaderSize;
using OldHeader = ar::ArOldHeader;
using OldEntry = ar::ArOldEntry;

// Splits a stored name as every reader does (a lead byte pairs only with a real trail byte).
std::vector<std::string> SplitPath(const std::string& path) { return ar::splitStoredName(path); }

bool ClimbsOut(const std::vector<std::string>& parts) {
    for (const std::string& part : parts)
        if (part == "..") return true;
    return false;
}

bool Exists(const std::string& path) {
    return win::GetFileAttributes(path.c_str()) != win::INVALID_FILE_ATTRIBUTES;
}

bool IsFolder(const std::string& path) {
    const win::DWORD attributes = win::GetFileAttributes(path.c_str());
    return attributes != win::INVALID_FILE_ATTRIBUTES &&
           (attributes & win::FILE_ATTRIBUTE_DIRECTORY) != 0;
}

win::FILETIME ToFileTime(int64_t seconds) {
    return win::UnixNanosToFileTime(seconds * 1000000000);
}

// A folder's times and attributes wait until everything below it exists: a read-only folder
// would refuse its children, and each child would move its times.
struct FolderFinish {
    std::string path;
    OldEntry entry;
};

class OldReader {
public:
    OldReader(QvpClientLog& log, std::string archive) : log_(log), archive_(std::move(archive)) {}

    int Run(const char* restoreFolder, int keep);

private:
    int GetInfmation(const char* restoreFolder);
    int MakeRestoreFolder();
    int LoopProsec();
    int ExtractFile(const OldEntry& entry, uint64_t dataOffset, const std::string& path);
    int MakeFolder(const OldEntry& entry, const std::string& path);
    qvp::FileHandle CreateOutput(const std::string& path, win::DWORD disposition);
    int ReplaceExisting(const std::string& path);
    bool SetTimes(win::HANDLE handle, const OldEntry& entry);
    int FinishFolders();
    int Defective(const char* why) {
        log_.Write(kTag, text::kDefective, archive_.c_str(), why);
        return kOldFileFailed;
    }
    // Reads exactly `size` bytes at `offset`; false on a failed or short read.
    bool ReadAt(uint64_t offset, void* buffer, size_t size);
    bool SeekTo(uint64_t offset);
    bool ReadNext(void* buffer, size_t size, size_t* got);

    QvpClientLog& log_;
    std::string archive_;
    qvp::FileHandle file_;
    uint64_t fileSize_ = 0;
    OldHeader header_{};
    std::vector<std::string> names_;
    std::string restore_;
    bool posix_ = false;
    std::unique_ptr<uint8_t[]> buffer_;
    std::vector<FolderFinish> folders_;
    ar::RestoreGuard guard_;
    ar::MadeNames made_;
};

bool OldReader::ReadNext(void* buffer, size_t size, size_t* got) {
    *got = 0;
    auto* out = static_cast<uint8_t*>(buffer);
    while (*got < size) {
        win::DWORD read = 0;
        if (!win::ReadFile(file_.get(), out + *got, static_cast<win::DWORD>(size - *got), &read,
                           nullptr))
            return false;
        if (read == 0) break;
        *got += read;
    }
    return true;
}

bool OldReader::SeekTo(uint64_t offset) {
    win::LONG high = static_cast<win::LONG>(offset >> 32);
    win::SetLastError(0);
    const win::DWORD low = win::SetFilePointer(
        file_.get(), static_cast<win::LONG>(offset & 0xFFFFFFFFu), &high, win::FILE_BEGIN);
    return !(low == win::INVALID_SET_FILE_POINTER && win::GetLastError() != 0);
}

bool OldReader::ReadAt(uint64_t offset, void* buffer, size_t size) {
    if (offset > fileSize_ || size > fileSize_ - offset) return false;
    if (!SeekTo(offset)) return false;
    size_t got = 0;
    return ReadNext(buffer, size, &got) && got == size;
}

int OldReader::Run(const char* restoreFolder, int keep) {
    if (!Exists(archive_)) {
        qvparSetErrorDetail(kDetailMissing, win::GetLastError());
        log_.Write(kTag, text::kMissing, archive_.c_str());
        return kOldMissing;
    }
    file_.Reset(win::CreateFile(archive_.c_str(), win::GENERIC_READ, win::FILE_SHARE_READ,
                                nullptr, win::OPEN_EXISTING, 0, nullptr));
    buffer_.reset(new (std::nothrow) uint8_t[kCopyChunk]);
    if (!file_.valid() || !buffer_) {
        // The archive exists but can't be opened: the old reader has only this answer.
        qvparSetErrorDetail(kDetailMemory, win::GetLastError());
        log_.Write(kTag, "%s", text::kNoMemory);
        return kOldNoMemory;
    }
    win::DWORD high = 0;
    const win::DWORD low = win::GetFileSize(file_.get(), &high);
    fileSize_ = uint64_t{high} << 32 | low;

    int result = GetInfmation(restoreFolder);
    if (result != kOldOk) {
        log_.Write(kTag, text::kInfoFailed, archive_.c_str(), restoreFolder ? restoreFolder : "");
        return result;
    }
    result = LoopProsec();
    if (result == kOldOk) result = FinishFolders();
    if (result != kOldOk) {
        log_.Write(kTag, "%s", text::kLoopFailed);
        return result;
    }
    if (!file_.Close()) {
        qvparSetErrorDetail(kDetailArchiveClose, win::GetLastError());
        log_.Write(kTag, "%s", text::kCloseArchive);
        return kOldIoFailed;
    }
    if (keep == 0 && !win::DeleteFile(archive_.c_str())) {
        qvparSetErrorDetail(kDetailDelete, win::GetLastError());
        log_.Write(kTag, text::kDelete, archive_.c_str());
        return kOldFileFailed;
    }
    return kOldOk;
}

int OldReader::GetInfmation(const char* restoreFolder) {
    uint8_t raw[kOldHeaderSize];
    if (!ReadAt(0, raw, sizeof raw)) {
        qvparSetErrorDetail(kDetailArchiveRead, win::GetLastError());
        log_.Write(kTag, text::kReadTable, archive_.c_str(), "header");
        return kOldIoFailed;
    }
    header_ = ar::decodeOldHeader(raw);
    if (header_.tableStart > header_.tableEnd || header_.tableEnd > fileSize_) {
        log_.Write(kTag, text::kDefective, archive_.c_str(), "name table outside the file");
        return kOldIoFailed;
    }
    const size_t tableSize = header_.tableEnd - header_.tableStart;
    std::unique_ptr<char[]> table(new (std::nothrow) char[tableSize + 1]);
    if (!table) {
        qvparSetErrorDetail(kDetailMemory, win::ERROR_NOT_ENOUGH_MEMORY);
        log_.Write(kTag, "%s", text::kNoMemory);
        return kOldNoMemory;
    }
    if (!ReadAt(header_.tableStart, table.get(), tableSize)) {
        qvparSetErrorDetail(kDetailArchiveRead, win::GetLastError());
        log_.Write(kTag, text::kReadTable, archive_.c_str(), "name table");
        return kOldIoFailed;
    }
    table[tableSize] = '\0';

    // A name starts at the table's start and after every run of NULs that something follows.
    names_.clear();
    size_t start = 0;
    for (;;) {
        const size_t length = std::strlen(table.get() + start);
        if (length > kNameMax) {
            log_.Write(kTag, text::kDefective, archive_.c_str(), "name too long");
            return kOldIoFailed;
        }
        names_.emplace_back(table.get() + start, length);
        size_t next = start + length;
        while (next < tableSize && table[next] == '\0') ++next;
        if (next >= tableSize) break;
        start = next;
    }

    if (restoreFolder != nullptr) {
        restore_ = restoreFolder;
    } else {
        const auto count = static_cast<int16_t>(std::min<size_t>(names_.size(), INT16_MAX));
        if (header_.driveIndex < 0 || header_.driveIndex >= count || header_.baseIndex < 0 ||
            header_.baseIndex >= count) {
            log_.Write(kTag, text::kDefective, archive_.c_str(), "restore folder index");
            return kOldIoFailed;
        }
        restore_ = names_[header_.driveIndex] + ":" + names_[header_.baseIndex];
    }
    if (restore_.empty() || restore_.size() > kPathMax) {
        log_.Write(kTag, text::kDefective, archive_.c_str(), "restore folder length");
        return kOldIoFailed;
    }
    posix_ = qvpIsPosixPath(restore_);
    return MakeRestoreFolder();
}

int OldReader::MakeRestoreFolder() {
    const std::vector<std::string> parts = SplitPath(restore_);
    if (parts.empty()) return guard_.open(restore_) ? kOldOk : kOldNoFolder;  // the file-system root
    const char sep = posix_ ? '/' : '\\';
    std::string path = posix_ ? "/" + parts[0] : parts[0];
    std::string probe = path;
    if (!probe.empty() && probe.back() == ':') probe.push_back('\\');
    if (!Exists(probe)) {
        qvparSetErrorDetail(kDetailMissing, win::GetLastError());
        log_.Write(kTag, text::kNoDrive, probe.c_str());
        return kOldNoDrive;
    }
    for (size_t i = 1; i < parts.size(); ++i) {
        path += sep;
        path += parts[i];
        if (IsFolder(path)) continue;
        if (!win::CreateDirectory(path.c_str(), nullptr)) {
            qvparSetErrorDetail(kDetailFolderCreate, win::GetLastError());
            log_.Write(kTag, text::kMakeRestore, path.c_str());
            return kOldNoFolder;
        }
    }
    if (!guard_.open(restore_)) {
        qvparSetErrorDetail(kDetailFolderCreate, win::GetLastError());
        log_.Write(kTag, text::kMakeRestore, restore_.c_str());
        return kOldNoFolder;
    }
    return kOldOk;
}

int OldReader::LoopProsec() {
    uint64_t offset = header_.firstEntry;
    while (offset < header_.tableStart) {
        uint8_t raw[kOldEntrySize];
        if (!ReadAt(offset, raw, sizeof raw)) {
            qvparSetErrorDetail(kDetailArchiveRead, win::GetLastError());
            log_.Write(kTag, text::kReadEntry, archive_.c_str());
            return kOldEntryUnread;
        }
        const OldEntry entry = ar::decodeOldEntry(raw);
        // An entry shorter than its own header would never move the walk forward.
        if (entry.headerLength < kOldEntrySize) return Defective("entry length");
        const uint64_t dataOffset = offset + kOldEntrySize;
        if (entry.dataSize > fileSize_ - std::min(dataOffset, fileSize_))
            return Defective("entry data outside the file");
        if (entry.pathIndex < 0 || static_cast<size_t>(entry.pathIndex) >= names_.size())
            return Defective("name index");
        // A stored name is always a name inside the restore folder, with or without a leading
        // separator: it is joined below the folder, never glued to its last component.
        const std::vector<std::string> parts =
            SplitPath(names_[static_cast<size_t>(entry.pathIndex)]);
        if (ClimbsOut(parts)) return Defective("name leaves the restore folder");
        const ar::PathStyle style = ar::PathStyle::of(restore_);
        std::string path = restore_;
        for (const std::string& part : parts) path = style.join(path, part);
        if (path.size() > kPathMax) return Defective("path too long");
        // The last word on confinement: where the path resolves, not how it reads.
        if (!guard_.admits(path)) return Defective("entry path leaves the restore folder");

        const int result = (entry.attributes & win::FILE_ATTRIBUTE_DIRECTORY) == 0
                               ? ExtractFile(entry, dataOffset, path)
                               : MakeFolder(entry, path);
        if (result != kOldOk) return result;
        offset += uint64_t{entry.headerLength} + entry.dataSize;
    }
    return kOldOk;
}

int OldReader::MakeFolder(const OldEntry& entry, const std::string& path) {
    win::DWORD existing = win::GetFileAttributes(path.c_str());
    // A name the rules would merge with a folder made earlier in this run is a folder of its own.
    if (existing == win::INVALID_FILE_ATTRIBUTES || made_.variantOf(path)) {
        if (win::CreateDirectoryExact(path.c_str())) {
            made_.add(path);
            existing = win::FILE_ATTRIBUTE_DIRECTORY;
        } else if (existing == win::INVALID_FILE_ATTRIBUTES ||
                   win::GetLastError() != win::ERROR_ALREADY_EXISTS) {
            qvparSetErrorDetail(kDetailOldFolder, win::GetLastError());
            log_.Write(kTag, text::kMkdir, path.c_str());
            return kOldNoFolder;
        } else {
            existing = win::GetFileAttributes(path.c_str());  // there under its exact name
        }
    }
    if ((existing & win::FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
        // A link is never a way for the extraction to go elsewhere.
        qvparSetErrorDetail(kDetailOldFolder, win::ERROR_ALREADY_EXISTS);
        log_.Write(kTag, text::kMkdir, path.c_str());
        return kOldNoFolder;
    }
    if ((existing & win::FILE_ATTRIBUTE_DIRECTORY) != 0 &&
        (existing & win::FILE_ATTRIBUTE_READONLY) != 0) {
        // Its entries are about to be replaced; its own attributes come back at the end.
        win::SetFileAttributes(path.c_str(), existing & ~win::FILE_ATTRIBUTE_READONLY);
    }
    folders_.push_back(FolderFinish{path, entry});
    return kOldOk;
}

qvp::FileHandle OldReader::CreateOutput(const std::string& path, win::DWORD disposition) {
    // Under its exact name, and never through a link (one in the file's place was removed).
    return qvp::FileHandle(win::CreateFile(
        path.c_str(), win::GENERIC_READ | win::GENERIC_WRITE, 0, nullptr, disposition,
        win::FILE_ATTRIBUTE_NORMAL | win::FILE_FLAG_POSIX_SEMANTICS | win::FILE_FLAG_OPEN_REPARSE_POINT,
        nullptr));
}

int OldReader::ReplaceExisting(const std::string& path) {
    if (!Exists(path) || win::DeleteFile(path.c_str())) return kOldOk;
    const win::DWORD attributes = win::GetFileAttributes(path.c_str());
    if (attributes == win::INVALID_FILE_ATTRIBUTES) {
        log_.Write(kTag, text::kCantDeleteQuery, path.c_str());
        return kOldFileFailed;
    }
    if (!win::SetFileAttributes(path.c_str(), attributes & ~win::FILE_ATTRIBUTE_READONLY) ||
        !win::DeleteFile(path.c_str())) {
        log_.Write(kTag, text::kCantDelete, path.c_str());
        return kOldFileFailed;
    }
    return kOldOk;
}

int OldReader::ExtractFile(const OldEntry& entry, uint64_t dataOffset, const std::string& path) {
    // A file made earlier in this run under a name the rules would merge with this one is never
    // replaced: this one is made under its own name, and only a file of exactly that name gives
    // way.
    const bool variant = made_.variantOf(path);
    qvp::FileHandle out;
    if (variant) out = CreateOutput(path, win::CREATE_NEW);
    if (!out.valid() && (!variant || win::GetLastError() == win::ERROR_FILE_EXISTS)) {
        const int result = ReplaceExisting(path);
        if (result != kOldOk) return result;
        out = CreateOutput(path, win::OPEN_ALWAYS);
    }
    if (!out.valid()) {
        const win::DWORD error = win::GetLastError();
        qvparSetErrorDetail(kDetailFileCreate, error);
        log_.Write(kTag, text::kCreateFile, path.c_str(), static_cast<long>(error));
        return kOldIoFailed;
    }
    if (entry.dataSize != 0 && !SeekTo(dataOffset)) {
        log_.Write(kTag, text::kReadChunk, path.c_str());
        return kOldFileFailed;
    }
    uint64_t left = entry.dataSize;
    while (left != 0) {
        const size_t chunk = static_cast<size_t>(std::min<uint64_t>(left, kCopyChunk));
        size_t got = 0;
        if (!ReadNext(buffer_.get(), chunk, &got) || got != chunk) {
            // The texts tell a short full 4096-byte chunk from a short last chunk, whatever
            // size the copy reads in.
            const uint64_t done = entry.dataSize - left + got;
            const bool last = done / kTextChunk == (entry.dataSize - 1) / kTextChunk;
            log_.Write(kTag, last ? text::kReadLastChunk : text::kReadChunk, path.c_str());
            return kOldFileFailed;
        }
        win::DWORD put = 0;
        if (!win::WriteFile(out.get(), buffer_.get(), static_cast<win::DWORD>(chunk), &put,
                            nullptr)) {
            qvparSetErrorDetail(kDetailDataWrite, win::GetLastError());
            log_.Write(kTag, text::kWrite, path.c_str());
            return kOldIoFailed;
        }
        if (put != chunk) {
            log_.Write(kTag, text::kWrite, path.c_str());
            return kOldFileFailed;
        }
        left -= chunk;
    }
    if (!SetTimes(out.get(), entry)) log_.Write(kTag, text::kUtime, path.c_str());
    if (!out.Close()) {
        log_.Write(kTag, "%s", text::kCloseFile);
        return kOldFileFailed;
    }
    made_.add(path);
    if (!win::SetFileAttributes(path.c_str(), entry.attributes)) {
        qvparSetErrorDetail(kDetailAttributes, win::GetLastError());
        log_.Write(kTag, text::kAttributes, path.c_str());
        return kOldFileFailed;
    }
    return kOldOk;
}

bool OldReader::SetTimes(win::HANDLE handle, const OldEntry& entry) {
    const std::optional<int64_t> access = qvpuarMakeTime(entry.accessDate, entry.accessTime);
    const std::optional<int64_t> write = qvpuarMakeTime(entry.writeDate, entry.writeTime);
    if (!access || !write) return false;
    const win::FILETIME accessTime = ToFileTime(*access);
    const win::FILETIME writeTime = ToFileTime(*write);
    return win::SetFileTime(handle, nullptr, &accessTime, &writeTime) != 0;
}

int OldReader::FinishFolders() {
    // Deepest first: the walk made each folder before anything inside it.
    for (auto it = folders_.rbegin(); it != folders_.rend(); ++it) {
        {
            qvp::FileHandle folder(win::CreateFile(
                it->path.c_str(), win::GENERIC_WRITE,
                win::FILE_SHARE_READ | win::FILE_SHARE_WRITE | win::FILE_SHARE_DELETE, nullptr,
                win::OPEN_EXISTING, win::FILE_FLAG_BACKUP_SEMANTICS | win::FILE_FLAG_OPEN_REPARSE_POINT,
                nullptr));
            // Times that can't be set on a folder are no failure.
            if (folder.valid()) SetTimes(folder.get(), it->entry);
        }
        if (!win::SetFileAttributes(it->path.c_str(), it->entry.attributes)) {
            qvparSetErrorDetail(kDetailAttributes, win::GetLastError());
            log_.Write(kTag, text::kAttributes, it->path.c_str());
            return kOldFileFailed;
        }
    }
    return kOldOk;
}

}  // namespace

std::optional<int64_t> qvpuarMakeTime(uint32_t date, uint32_t time) {
    const uint32_t month = date % 10000 / 100;
    if (month < 1 || month > 12) return std::nullopt;
    return ar::oldTimeToUnix(date, time);
}

int arCreateUnarcFile(const char* archivePath, const char* restoreFolder, int keep) {
    QvpClientLog log;
    OldReader reader(log, archivePath != nullptr ? archivePath : "");
    return reader.Run(restoreFolder, keep);
}

// New-format extraction over the platform's files: the archive read through a large buffer,
// folders and files made through the Windows stand-ins, and the archive removed afterwards.
#include <algorithm>
#include <cstring>
#include <vector>

#include "client/ar/ar_extract.h"
#include "client/ar/ar_context.h"
#include "client/ar/ar_log.h"
#include "client/ar/ar_acl.h"
#include "client/ar/ar_path.h"
#include "client/ar/restore_tree.h"
#include "core/handles.h"
#include "share/wapi/wapi.h"

namespace ar {
namespace {

constexpr size_t kReadBufferSize = 1u << 20;

class FileSource final : public ArSource {
public:
    FileSource(win::HANDLE file, uint64_t size) : file_(file), size_(size) {
        buffer_.resize(kReadBufferSize);
    }

    bool read(void* out, size_t length) override {
        auto* dst = static_cast<uint8_t*>(out);
        while (length > 0) {
            if (head_ == tail_) {
                // Large reads go straight to the caller.
                if (length >= buffer_.size()) return readDirect(dst, length);
                if (!fill()) return false;
            }
            size_t n = std::min(length, tail_ - head_);
            std::memcpy(dst, buffer_.data() + head_, n);
            head_ += n;
            dst += n;
            length -= n;
        }
        return true;
    }

    bool skip(uint64_t length) override {
        uint64_t buffered = tail_ - head_;
        if (length <= buffered) {
            head_ += static_cast<size_t>(length);
            return true;
        }
        uint64_t target = filePos_ + (length - buffered);
        head_ = tail_ = 0;
        win::LONG high = static_cast<win::LONG>(target >> 32);
        win::DWORD low = win::SetFilePointer(file_, static_cast<win::LONG>(target & 0xFFFFFFFFu),
                                             &high, win::FILE_BEGIN);
        if (low == win::INVALID_SET_FILE_POINTER && win::GetLastError() != 0) return false;
        filePos_ = target;
        return true;
    }

    uint64_t size() const override { return size_; }

private:
    bool fill() {
        win::DWORD got = 0;
        if (!win::ReadFile(file_, buffer_.data(), static_cast<win::DWORD>(buffer_.size()), &got,
                           nullptr))
            return false;
        if (got == 0) {
            win::SetLastError(win::ERROR_HANDLE_EOF);
            return false;
        }
        head_ = 0;
        tail_ = got;
        filePos_ += got;
        return true;
    }
    bool readDirect(uint8_t* dst, size_t length) {
        while (length > 0) {
            auto want = static_cast<win::DWORD>(std::min<size_t>(length, 1u << 30));
            win::DWORD got = 0;
            if (!win::ReadFile(file_, dst, want, &got, nullptr)) return false;
            if (got == 0) {
                win::SetLastError(win::ERROR_HANDLE_EOF);
                return false;
            }
            filePos_ += got;
            dst += got;
            length -= got;
        }
        return true;
    }

    win::HANDLE file_;
    uint64_t size_;
    std::vector<uint8_t> buffer_;
    size_t head_ = 0;
    size_t tail_ = 0;
    uint64_t filePos_ = 0;  // of the byte after the buffered ones
};

class FileSink final : public ArSink {
public:
    win::DWORD attributes(const std::string& path) override {
        return remember(win::GetFileAttributes(path.c_str()));
    }
    bool setRestore(const std::string& restore) override {
        return remember(guard_.open(restore));
    }
    bool admits(const std::string& path) override { return guard_.admits(path); }
    bool createDirectory(const std::string& path) override {
        return remember(win::CreateDirectoryExact(path.c_str()) != 0);
    }
    bool deleteFile(const std::string& path) override {
        return remember(win::DeleteFile(path.c_str()) != 0);
    }
    bool setAttributes(const std::string& path, win::DWORD attributes) override {
        return remember(win::SetFileAttributes(path.c_str(), attributes) != 0);
    }
    bool createFile(const std::string& path, bool mustBeNew) override {
        // A file known to be new skips the look for an existing one. Never through a link: the
        // reader removes one in the file's place first. Made through the handle of its folder,
        // kept while the files of one folder follow each other: the folders above are not
        // walked again for each file.
        file_ = qvp::FileHandle(win::CreateFileIn(
            folderOf(path), path.c_str(), win::GENERIC_READ | win::GENERIC_WRITE, 0,
            mustBeNew ? win::CREATE_NEW : win::CREATE_ALWAYS,
            win::FILE_FLAG_POSIX_SEMANTICS | win::FILE_FLAG_OPEN_REPARSE_POINT));
        return remember(file_.valid());
    }
    bool write(const void* data, size_t length, size_t& written) override {
        const auto* p = static_cast<const uint8_t*>(data);
        written = 0;
        while (length > 0) {
            auto want = static_cast<win::DWORD>(std::min<size_t>(length, 1u << 30));
            win::DWORD got = 0;
            if (!win::WriteFile(file_.get(), p, want, &got, nullptr)) return remember(false);
            written += got;
            if (got != want) {
                error_ = win::ERROR_DISK_FULL;
                return true;
            }
            p += got;
            length -= got;
        }
        return true;
    }
    bool setFileTimes(const win::FILETIME& w, const win::FILETIME& a) override {
        return remember(win::SetFileTime(file_.get(), nullptr, &a, &w) != 0);
    }
    bool closeFile(bool flush) override {
        bool ok = true;
        if (flush && file_.valid() && !win::FlushFileBuffers(file_.get())) ok = false;
        if (!file_.Close()) ok = false;
        return remember(ok);
    }
    bool setFolderTimes(const std::string& path, const win::FILETIME& w,
                        const win::FILETIME& a) override {
        // Setting times takes write access, as on Windows; a folder opens for it with backup
        // semantics.
        qvp::FileHandle dir(
            win::CreateFile(path.c_str(), win::GENERIC_READ | win::GENERIC_WRITE,
                            win::FILE_SHARE_READ | win::FILE_SHARE_WRITE | win::FILE_SHARE_DELETE,
                            nullptr, win::OPEN_EXISTING,
                            win::FILE_FLAG_BACKUP_SEMANTICS | win::FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
        if (!dir.valid()) return remember(false);
        return remember(win::SetFileTime(dir.get(), nullptr, &a, &w) != 0);
    }
    bool setSecurity(const std::string& path, const uint8_t* descriptor, size_t length) override {
        return remember(qvparSetACLData(path.c_str(), descriptor, length) != 0);
    }
    win::DWORD lastError() const override { return error_; }

private:
    // The handle of the folder `path` lies in (none when it can't be opened: the file is then
    // made by its path alone). The folder was admitted, or made by this extraction, before its
    // first file, and is opened without following a link.
    win::HANDLE folderOf(const std::string& path) {
        const size_t sep = win::FindLastSeparator(path);
        const std::string folder = sep == std::string::npos ? std::string() : path.substr(0, sep);
        if (folder != folderPath_ || folder.empty()) {
            folderPath_ = folder;
            folder_.Reset(folder.empty() ? win::INVALID_HANDLE_VALUE
                                         : win::CreateFile(folder.c_str(), 0,
                                                           win::FILE_SHARE_READ | win::FILE_SHARE_WRITE |
                                                               win::FILE_SHARE_DELETE,
                                                           nullptr, win::OPEN_EXISTING,
                                                           win::FILE_FLAG_BACKUP_SEMANTICS |
                                                               win::FILE_FLAG_OPEN_REPARSE_POINT,
                                                           nullptr));
        }
        return folder_.get();
    }
    bool remember(bool ok) {
        if (!ok) error_ = win::GetLastError();
        return ok;
    }
    win::DWORD remember(win::DWORD attributes) {
        if (attributes == win::INVALID_FILE_ATTRIBUTES) error_ = win::GetLastError();
        return attributes;
    }

    qvp::FileHandle file_;
    std::string folderPath_;
    qvp::FileHandle folder_;
    RestoreGuard guard_;
    win::DWORD error_ = 0;
};

}  // namespace

int qvparExtractNewFormat(ArContext& ctx, const char* archive, const char* restore, int keep) {
    bool gauge = isResourceFileName(archive);
    if (gauge) qvpGaugeSetCurrent(kGaugeInstall, 20);
    if (win::GetFileAttributes(archive) == win::INVALID_FILE_ATTRIBUTES) {
        win::DWORD err = win::GetLastError();
        ctx.detail(kDetailMissing, err);
        ctx.log(msg::kReaderMissing, archive, static_cast<int>(err));
        ctx.message(err, kMsgClassSystem, msg::kMsgGetAttributes, archive);
        return kUnarcFailed;
    }
    qvp::FileHandle file(win::CreateFile(archive, win::GENERIC_READ, win::FILE_SHARE_READ, nullptr,
                                         win::OPEN_EXISTING, 0, nullptr));
    if (!file.valid()) {
        win::DWORD err = win::GetLastError();
        ctx.detail(kDetailMissing, err);
        ctx.log(msg::kReaderMissing, archive, static_cast<int>(err));
        return kUnarcFailed;
    }
    win::DWORD high = 0;
    win::DWORD low = win::GetFileSize(file.get(), &high);
    if (low == win::INVALID_FILE_SIZE && win::GetLastError() != 0) {
        ctx.log(msg::kHeaderRead, static_cast<int>(win::GetLastError()), archive);
        return kUnarcFailed;
    }
    int result;
    {
        FileSource source(file.get(), (uint64_t{high} << 32) | low);
        FileSink sink;
        result = qvpcuarExtract(ctx, source, sink, archive, restore, gauge);
    }
    if (result != kUnarcOk) return result;
    if (!file.Close()) {
        ctx.detail(kDetailCloseArchive, win::GetLastError());
        ctx.log(msg::kReaderClose);
        return kUnarcFailed;
    }
    if (!keep) {
        bool gone = win::DeleteFile(archive) != 0;
        for (int i = 0; !gone && i < 10; ++i) {
            ctx.pause(1000);
            gone = win::DeleteFile(archive) != 0;
        }
        if (!gone) {
            win::DWORD err = win::GetLastError();
            ctx.detail(kDetailDelete, err);
            ctx.log(msg::kReaderDelete, archive, static_cast<int>(err));
            return kUnarcFailed;
        }
    }
    return kUnarcOk;
}

}  // namespace ar

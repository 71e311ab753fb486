// Buffered files of the decoder over the platform layer. (Module EcdFile.)
#include <algorithm>
#include <cstring>

#include "client/client_common.h"
#include "client/ecd/ecd_internal.h"

namespace ecd {

bool File::OpenRead(const char* path) {
    handle_.Reset(win::CreateFile(path, win::GENERIC_READ, win::FILE_SHARE_READ, nullptr,
                                  win::OPEN_EXISTING, 0, nullptr));
    if (!handle_.valid()) {
        lastError_ = win::GetLastError();
        return false;
    }
    buffer_ = std::make_unique<uint8_t[]>(kBufferSize);
    return true;
}

bool File::Create(const char* path) {
    if (!output_.Create(path, ".dcd", win::GENERIC_WRITE)) {
        lastError_ = win::GetLastError();
        return false;
    }
    handle_ = std::move(output_.handle);
    buffer_ = std::make_unique<uint8_t[]>(kBufferSize);
    writing_ = true;
    return true;
}

uint64_t File::Size() {
    win::DWORD high = 0;
    win::DWORD low = win::GetFileSize(handle_.get(), &high);
    return uint64_t{high} << 32 | low;
}

bool File::Seek(uint64_t offset) {
    begin_ = end_ = 0;
    eof_ = false;
    win::LONG high = static_cast<win::LONG>(offset >> 32);
    win::SetLastError(0);
    win::DWORD low = win::SetFilePointer(
        handle_.get(), static_cast<win::LONG>(offset & 0xFFFFFFFFu), &high, win::FILE_BEGIN);
    if (low == win::INVALID_SET_FILE_POINTER && win::GetLastError() != 0) {
        lastError_ = win::GetLastError();
        return false;
    }
    return true;
}

int64_t File::Read(void* buffer, size_t size) {
    auto* out = static_cast<uint8_t*>(buffer);
    size_t done = 0;
    while (done < size) {
        if (begin_ == end_) {
            if (eof_) break;
            // Large requests bypass the buffer.
            const size_t want = size - done;
            if (want >= kBufferSize) {
                win::DWORD got = 0;
                const win::DWORD ask = static_cast<win::DWORD>(std::min<size_t>(want, 1u << 30));
                if (!win::ReadFile(handle_.get(), out + done, ask, &got, nullptr)) {
                    lastError_ = win::GetLastError();
                    return -1;
                }
                if (got == 0) eof_ = true;
                done += got;
                continue;
            }
            win::DWORD got = 0;
            if (!win::ReadFile(handle_.get(), buffer_.get(), kBufferSize, &got, nullptr)) {
                lastError_ = win::GetLastError();
                return -1;
            }
            begin_ = 0;
            end_ = got;
            if (got == 0) {
                eof_ = true;
                break;
            }
        }
        const size_t take = std::min(size - done, end_ - begin_);
        std::memcpy(out + done, buffer_.get() + begin_, take);
        begin_ += take;
        done += take;
    }
    return static_cast<int64_t>(done);
}

int64_t File::Peek(size_t size) {
    if (end_ - begin_ >= size) return static_cast<int64_t>(size);
    if (begin_ != 0) {
        std::memmove(buffer_.get(), buffer_.get() + begin_, end_ - begin_);
        end_ -= begin_;
        begin_ = 0;
    }
    while (end_ < size && !eof_) {
        win::DWORD got = 0;
        if (!win::ReadFile(handle_.get(), buffer_.get() + end_,
                           static_cast<win::DWORD>(kBufferSize - end_), &got, nullptr)) {
            lastError_ = win::GetLastError();
            return -1;
        }
        if (got == 0) eof_ = true;
        end_ += got;
    }
    return static_cast<int64_t>(std::min(size, end_));
}

uint8_t* File::Space(size_t size) {
    if (kBufferSize - end_ < size && !Flush()) return nullptr;
    return buffer_.get() + end_;
}

bool File::Flush() {
    size_t done = 0;
    while (done < end_) {
        win::DWORD put = 0;
        if (!win::WriteFile(handle_.get(), buffer_.get() + done,
                            static_cast<win::DWORD>(end_ - done), &put, nullptr)) {
            lastError_ = win::GetLastError();
            return false;
        }
        if (put == 0) {
            lastError_ = win::ERROR_WRITE_FAULT;
            return false;
        }
        done += put;
    }
    end_ = 0;
    return true;
}

bool File::Write(const void* data, size_t size) {
    const auto* in = static_cast<const uint8_t*>(data);
    if (size >= kBufferSize / 2) {
        // Large writes go out directly, without a copy through the buffer.
        if (!Flush()) return false;
        while (size != 0) {
            win::DWORD put = 0;
            const win::DWORD ask = static_cast<win::DWORD>(std::min<size_t>(size, 1u << 30));
            if (!win::WriteFile(handle_.get(), in, ask, &put, nullptr)) {
                lastError_ = win::GetLastError();
                return false;
            }
            if (put == 0) {
                lastError_ = win::ERROR_WRITE_FAULT;
                return false;
            }
            in += put;
            size -= put;
        }
        return true;
    }
    while (size != 0) {
        if (end_ == kBufferSize && !Flush()) return false;
        const size_t take = std::min(size, kBufferSize - end_);
        std::memcpy(buffer_.get() + end_, in, take);
        end_ += take;
        in += take;
        size -= take;
    }
    return true;
}

bool File::Close() {
    bool ok = true;
    if (writing_ && !Flush()) ok = false;
    if (!handle_.Close() && ok) {
        lastError_ = win::GetLastError();
        ok = false;
    }
    if (writing_ && ok && !output_.Place()) {
        lastError_ = win::GetLastError();
        ok = false;
    }
    return ok;
}

bool OpenInput(QvpClientLog& log, File& in, const char* path) {
    if (in.OpenRead(path)) return true;
    qvparSetErrorDetail(kDetailOpen, in.lastError());
    log.Write(kTag, text::kOpen, path);
    return false;
}

bool CreateOutput(QvpClientLog& log, File& out, const char* path) {
    if (out.Create(path)) return true;
    qvparSetErrorDetail(kDetailOpen, out.lastError());
    log.Write(kTag, "%s", text::kOutputOpen);
    return false;
}

int ReadFailure(QvpClientLog& log, const File& file, const char* text) {
    qvparSetErrorDetail(kDetailRead, file.lastError());
    log.Write(kTag, "%s", text);
    return kEcdIoError;
}

int WriteFailure(QvpClientLog& log, const File& file, const char* text) {
    qvparSetErrorDetail(kDetailWrite, file.lastError());
    log.Write(kTag, "%s", text);
    return kEcdIoError;
}

int CloseDecodeFiles(File& out, File& in) {
    if (!in.Close()) {
        qvparSetErrorDetail(kDetailClose, in.lastError());
        return kEcdIoError;
    }
    if (!out.Close()) {
        qvparSetErrorDetail(kDetailClose, out.lastError());
        return kEcdIoError;
    }
    return kEcdOk;
}

}  // namespace ecd

// Owning wrappers for handles of the platform layer, so that no early return leaks one.
#pragma once

#include <string>
#include <utility>

#include "platform/win.h"

namespace qvp {

// Treats both failure values as "nothing held": CreateFile answers INVALID_HANDLE_VALUE, the
// object creators (mutex, semaphore) answer NULL.
inline bool IsHandle(win::HANDLE h) { return h != win::INVALID_HANDLE_VALUE && h != nullptr; }

// A file or other object handle, closed with CloseHandle when it goes.
class FileHandle {
public:
    FileHandle() = default;
    explicit FileHandle(win::HANDLE h) : h_(h) {}
    FileHandle(FileHandle&& o) noexcept : h_(o.Release()) {}
    FileHandle& operator=(FileHandle&& o) noexcept {
        if (this != &o) Reset(o.Release());
        return *this;
    }
    FileHandle(const FileHandle&) = delete;
    FileHandle& operator=(const FileHandle&) = delete;
    ~FileHandle() { Reset(); }

    bool valid() const { return IsHandle(h_); }
    win::HANDLE get() const { return h_; }
    // Closes what is held (ignoring the outcome) and takes `h`.
    void Reset(win::HANDLE h = win::INVALID_HANDLE_VALUE) {
        if (valid()) win::CloseHandle(h_);
        h_ = h;
    }
    // Closes now, for callers that report a failed close; true when nothing was held.
    bool Close() {
        if (!valid()) return true;
        const bool ok = win::CloseHandle(h_) != 0;
        h_ = win::INVALID_HANDLE_VALUE;
        return ok;
    }
    // Gives the handle up to a new owner.
    win::HANDLE Release() { return std::exchange(h_, win::INVALID_HANDLE_VALUE); }

private:
    win::HANDLE h_ = win::INVALID_HANDLE_VALUE;
};

// A directory walk, ended with FindClose when it goes.
class FindWalk {
public:
    FindWalk() = default;
    explicit FindWalk(win::HANDLE h) : h_(h) {}
    // Starts the walk; `data` holds the first entry when valid().
    FindWalk(const std::string& pattern, win::WIN32_FIND_DATAA& data)
        : h_(win::FindFirstFile(pattern.c_str(), &data)) {}
    // A walk of names and kinds only (win::FindFirstFileNames).
    static FindWalk Names(const std::string& pattern, win::WIN32_FIND_DATAA& data) {
        return FindWalk(win::FindFirstFileNames(pattern.c_str(), &data));
    }
    FindWalk(FindWalk&& o) noexcept : h_(o.Release()) {}
    FindWalk& operator=(FindWalk&& o) noexcept {
        if (this != &o) {
            Close();
            h_ = o.Release();
        }
        return *this;
    }
    FindWalk(const FindWalk&) = delete;
    FindWalk& operator=(const FindWalk&) = delete;
    ~FindWalk() { Close(); }

    bool valid() const { return IsHandle(h_); }
    win::HANDLE get() const { return h_; }
    bool Next(win::WIN32_FIND_DATAA& data) { return win::FindNextFile(h_, &data) != 0; }
    // Ends the walk now; true when nothing was held.
    bool Close() {
        if (!valid()) return true;
        const bool ok = win::FindClose(h_) != 0;
        h_ = win::INVALID_HANDLE_VALUE;
        return ok;
    }
    // Gives the walk up to a new owner.
    win::HANDLE Release() { return std::exchange(h_, win::INVALID_HANDLE_VALUE); }

private:
    win::HANDLE h_ = win::INVALID_HANDLE_VALUE;
};

}  // namespace qvp

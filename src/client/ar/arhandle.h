// Owning wrappers for the platform's file and find handles.
#pragma once

#include <utility>

#include "platform/win.h"

namespace ar {

class Handle {
public:
    Handle() = default;
    explicit Handle(win::HANDLE h) : h_(h) {}
    ~Handle() { reset(); }
    Handle(Handle&& o) noexcept : h_(std::exchange(o.h_, win::INVALID_HANDLE_VALUE)) {}
    Handle& operator=(Handle&& o) noexcept {
        if (this != &o) {
            reset();
            h_ = std::exchange(o.h_, win::INVALID_HANDLE_VALUE);
        }
        return *this;
    }
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;

    explicit operator bool() const { return h_ != win::INVALID_HANDLE_VALUE && h_ != nullptr; }
    win::HANDLE get() const { return h_; }
    void reset() {
        if (*this) win::CloseHandle(h_);
        h_ = win::INVALID_HANDLE_VALUE;
    }
    // Closes now and reports whether the close succeeded.
    bool close() {
        if (!*this) return true;
        bool ok = win::CloseHandle(h_) != 0;
        h_ = win::INVALID_HANDLE_VALUE;
        return ok;
    }

private:
    win::HANDLE h_ = win::INVALID_HANDLE_VALUE;
};

// A directory walk; FindClose at the end.
class FindHandle {
public:
    FindHandle() = default;
    explicit FindHandle(win::HANDLE h) : h_(h) {}
    ~FindHandle() { close(); }
    FindHandle(const FindHandle&) = delete;
    FindHandle& operator=(const FindHandle&) = delete;
    explicit operator bool() const { return h_ != win::INVALID_HANDLE_VALUE && h_ != nullptr; }
    win::HANDLE get() const { return h_; }
    bool close() {
        if (!*this) return true;
        bool ok = win::FindClose(h_) != 0;
        h_ = win::INVALID_HANDLE_VALUE;
        return ok;
    }

private:
    win::HANDLE h_ = win::INVALID_HANDLE_VALUE;
};

}  // namespace ar

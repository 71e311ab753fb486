// The new-format reader over arbitrary bytes, extracting into memory. The sink checks that
// every path it is asked to touch lies inside the restore folder and that files are only made
// inside folders that exist.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>

#include "client/ar/ar_extract.h"
#include "client/ar/ar_context.h"
#include "client/ar/ar_acl.h"
#include "fuzz_root.h"
#include "platform/win.h"

namespace {

constexpr char kRoot[] = "/fuzz-restore";

[[noreturn]] void fail(const char* what, const std::string& path) {
    std::fprintf(stderr, "%s: %s\n", what, path.c_str());
    std::abort();
}

class MemorySource final : public ar::ArSource {
public:
    MemorySource(const uint8_t* data, size_t size) : data_(data), size_(size) {}
    bool read(void* out, size_t length) override {
        if (length > size_ - pos_) {
            win::SetLastError(win::ERROR_HANDLE_EOF);
            return false;
        }
        std::memcpy(out, data_ + pos_, length);
        pos_ += length;
        return true;
    }
    bool skip(uint64_t length) override {
        if (length > size_ - pos_) return false;
        pos_ += static_cast<size_t>(length);
        return true;
    }
    uint64_t size() const override { return size_; }

private:
    const uint8_t* data_;
    size_t size_;
    size_t pos_ = 0;
};

class MemorySink final : public ar::ArSink {
public:
    MemorySink() { nodes_[kRoot] = true; nodes_["/"] = true; }

    win::DWORD attributes(const std::string& path) override {
        auto it = nodes_.find(path);
        if (it == nodes_.end()) {
            error_ = win::ERROR_FILE_NOT_FOUND;
            return win::INVALID_FILE_ATTRIBUTES;
        }
        return it->second ? win::FILE_ATTRIBUTE_DIRECTORY : win::FILE_ATTRIBUTE_NORMAL;
    }
    bool setRestore(const std::string& restore) override { return restore == kRoot; }
    // Memory holds no links: below the root is all there is to ask.
    bool admits(const std::string& path) override {
        const std::string root(kRoot);
        return path.rfind(root + "/", 0) == 0 && path.find("/../") == std::string::npos;
    }
    bool createDirectory(const std::string& path) override { return make(path, true); }
    bool deleteFile(const std::string& path) override {
        inside(path);
        auto it = nodes_.find(path);
        if (it == nodes_.end() || it->second) {
            error_ = win::ERROR_ACCESS_DENIED;
            return false;
        }
        nodes_.erase(it);
        return true;
    }
    bool setAttributes(const std::string& path, win::DWORD) override { return known(path); }
    bool createFile(const std::string& path, bool mustBeNew) override {
        if (open_) fail("second open file", path);
        if (!make(path, false)) {
            if (mustBeNew && error_ == win::ERROR_ALREADY_EXISTS) error_ = win::ERROR_FILE_EXISTS;
            return false;
        }
        open_ = true;
        return true;
    }
    bool write(const void*, size_t length, size_t& written) override {
        if (!open_) fail("write without a file", "");
        written = length;
        return true;
    }
    bool setFileTimes(const win::FILETIME&, const win::FILETIME&) override { return open_; }
    bool closeFile(bool) override {
        open_ = false;
        return true;
    }
    bool setFolderTimes(const std::string& path, const win::FILETIME&, const win::FILETIME&) override {
        return known(path);
    }
    bool setSecurity(const std::string& path, const uint8_t* d, size_t n) override {
        known(path);
        return ar::isPlausibleDescriptor(d, n) &&
               win::IsValidSecurityDescriptor(d, static_cast<win::DWORD>(n)) != 0;
    }
    win::DWORD lastError() const override { return error_; }

private:
    static void inside(const std::string& path) {
        std::string root(kRoot);
        if (path != root && path.rfind(root + "/", 0) != 0) fail("outside the restore folder", path);
        bool endsInParent = path.size() >= 3 && path.compare(path.size() - 3, 3, "/..") == 0;
        if (path.find("/../") != std::string::npos || endsInParent) fail("parent component", path);
    }
    bool known(const std::string& path) {
        inside(path);
        if (!nodes_.count(path)) fail("unknown path", path);
        return true;
    }
    bool make(const std::string& path, bool folder) {
        inside(path);
        if (nodes_.count(path)) {
            error_ = win::ERROR_ALREADY_EXISTS;
            return false;
        }
        auto slash = path.rfind('/');
        auto parent = nodes_.find(path.substr(0, slash));
        if (parent == nodes_.end() || !parent->second) {
            error_ = win::ERROR_PATH_NOT_FOUND;
            return false;
        }
        nodes_[path] = folder;
        return true;
    }

    std::map<std::string, bool> nodes_;
    bool open_ = false;
    win::DWORD error_ = 0;
};

// Logs go to a folder of their own rather than the default install root.
void setUpOnce() {
    static bool done = false;
    if (done) return;
    done = true;
    fuzzroot::MakeRoot("qvp-fuzz-ar-");
    ar::ArContext::setDefaultSleep([](win::DWORD) {});
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    setUpOnce();
    ar::ArContext ctx;
    ctx.onDetail = nullptr;
    ctx.onMessage = nullptr;
    MemorySource source(data, size);
    MemorySink sink;
    ar::qvpcuarExtract(ctx, source, sink, "fuzz", kRoot, false);
    return 0;
}

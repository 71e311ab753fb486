// What the archiver suites share: a fresh folder per test with its own settings, a
// pinned time zone, tree builders and a plain reader of new-format archives.
#pragma once

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "client/ar/ar_context.h"
#include "platform/win.h"
#include "support/temp_root.h"

namespace artest {

namespace fs = std::filesystem;

inline void pinTimeZone(const char* tz) {
    setenv("TZ", tz, 1);
    tzset();
}

class ArTest : public ::testing::Test {
protected:
    void SetUp() override {
        root_ = qvptest::MakeTempRoot("qvp-ar-");
        qvptest::WriteRootSettings(root_);
        win::SetACPForTesting(932);
        pinTimeZone("UTC");
        sleeps_ = 0;
        ar::ArContext::setDefaultSleep([this](win::DWORD) { ++sleeps_; });
    }
    void TearDown() override {
        ar::ArContext::setDefaultSleep(nullptr);
        std::error_code ec;
        for (auto& p : fs::recursive_directory_iterator(root_, ec))
            if (!p.is_symlink())
                fs::permissions(p.path(), fs::perms::owner_all, fs::perm_options::add, ec);
        fs::remove_all(root_, ec);
    }

    fs::path root() const { return root_; }
    int sleeps() const { return sleeps_; }

private:
    fs::path root_;
    std::atomic<int> sleeps_{0};
};

inline void writeFile(const fs::path& p, const std::string& text) {
    fs::create_directories(p.parent_path());
    std::ofstream(p, std::ios::binary) << text;
}

inline std::string readFile(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

inline std::vector<uint8_t> readBytes(const fs::path& p) {
    std::string s = readFile(p);
    return std::vector<uint8_t>(s.begin(), s.end());
}

inline void writeBytes(const fs::path& p, const std::vector<uint8_t>& bytes) {
    std::ofstream(p, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

// Seconds since 1970 of a UTC calendar time.
inline time_t utc(int y, int mo, int d, int h, int mi, int s) {
    struct tm t{};
    t.tm_year = y - 1900;
    t.tm_mon = mo - 1;
    t.tm_mday = d;
    t.tm_hour = h;
    t.tm_min = mi;
    t.tm_sec = s;
    return timegm(&t);
}

// Sets last-access and last-write time without following links.
inline void setTimes(const fs::path& p, time_t atime, time_t mtime) {
    struct timespec ts[2] = {{atime, 0}, {mtime, 0}};
    ASSERT_EQ(utimensat(AT_FDCWD, p.c_str(), ts, AT_SYMLINK_NOFOLLOW), 0) << p;
}

inline struct stat lstatOf(const fs::path& p) {
    struct stat st{};
    lstat(p.c_str(), &st);
    return st;
}

// The messages logged to CLIENT.LOG under the tag "ar", oldest first, trailing blanks of the
// fixed-length records cut.
inline std::vector<std::string> arLog(const fs::path& root) {
    // "%010u %04u/%02u/%02u %02u:%02u:%02u.%03u %08u %08u %08u %-8.8s " before each message.
    constexpr size_t kHead = 71, kTag = 62;
    std::string text = readFile(root / "data" / "LOG" / "CLIENT.LOG");
    std::vector<std::string> out;
    size_t pos = 0;
    while (pos < text.size()) {
        size_t end = text.find("\r\n", pos);
        if (end == std::string::npos) end = text.size();
        std::string record = text.substr(pos, end - pos);
        pos = end + 2;
        if (record.size() < kHead || record.compare(kTag, 9, "ar       ") != 0) continue;
        std::string message = record.substr(kHead);
        message.erase(message.find_last_not_of(' ') + 1);
        out.push_back(message);
    }
    return out;
}

// What a plain reading of a new-format archive finds: every entry's name and fields.
struct ListedEntry {
    std::string name;
    uint8_t kind = 0;
    uint32_t size = 0;
    uint32_t aclLength = 0;
    uint16_t pathIndex = 0, rootIndex = 0, sysIndex = 0;
};

inline uint32_t be32(const uint8_t* p) {
    return (uint32_t{p[0]} << 24) | (uint32_t{p[1]} << 16) | (uint32_t{p[2]} << 8) | p[3];
}
inline uint16_t be16(const uint8_t* p) { return static_cast<uint16_t>((p[0] << 8) | p[1]); }

inline std::vector<ListedEntry> listArchive(const std::vector<uint8_t>& a,
                                            std::vector<std::string>* namesOut = nullptr) {
    std::vector<std::string> names;
    auto addNames = [&](size_t pos, size_t len) {
        size_t end = pos + len;
        while (pos < end) {
            std::string n(reinterpret_cast<const char*>(&a[pos]));
            pos += n.size() + 1;
            names.push_back(n);
        }
    };
    std::vector<ListedEntry> out;
    if (a.size() < 42) return out;
    uint32_t length = be32(&a[4]);
    size_t pos = 42 + be32(&a[34]);
    addNames(pos, be32(&a[38]));
    pos += be32(&a[38]);
    while (pos + 64 <= length && pos + 64 <= a.size()) {
        const uint8_t* e = &a[pos];
        ListedEntry le;
        le.size = be32(e + 8);
        le.pathIndex = be16(e + 28);
        le.rootIndex = be16(e + 32);
        le.sysIndex = be16(e + 34);
        le.kind = e[36];
        le.aclLength = be32(e + 56);
        uint32_t table = be32(e + 60);
        pos += 64 + le.aclLength;
        addNames(pos, table);
        pos += table + le.size;
        le.name = le.pathIndex >= 1 && le.pathIndex <= names.size() ? names[le.pathIndex - 1] : "?";
        out.push_back(le);
    }
    if (namesOut) *namesOut = names;
    return out;
}

}  // namespace artest

// A fresh data root per test: its own settings file with PathName pointing at it, the calling
// thread's block at API level 5 and host-name keying, and a store builder over it.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "core/block.h"
#include "core/log.h"
#include "core/settings.h"
#include "support/child_process.h"
#include "support/node_store_builder.h"
#include "platform/win.h"
#include "qvpapi.h"

// Node descriptions name only the fields a case needs; the rest keep their defaults.
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"

namespace qvptest {

inline std::filesystem::path FreshRoot(const char* tag) {
    std::random_device rd;
    auto root = std::filesystem::temp_directory_path() /
                (std::string("qvp-") + tag + "-" + std::to_string(rd()) + std::to_string(rd()));
    std::filesystem::create_directories(root);
    return root;
}

class NodeStoreTest : public ::testing::Test {
protected:
    void SetUp() override {
        root_ = FreshRoot("nodes");
        (void)qvpTakeSettingsProblems();  // the program's record of its settings: tests count their own
        const auto config = root_ / "qvpapi.conf";
        std::ofstream(config) << "[QVPAPI]\nPathName=" << root_.string() << "\n";
        win::registry::LoadFrom(config.string());
        win::registry::Set("PathName", root_.string());
        win::SetACPForTesting(932);
        block_ = qvpGetThreadBlock();
        ASSERT_NE(block_, nullptr);
        block_->systemManagementKey = 0;
        ASSERT_EQ(qvAPIExpandLevel(5), 1);
        store_ = std::make_unique<NodeStoreBuilder>(root_);
    }
    void TearDown() override {
        if (block_ != nullptr && block_->dllLogId != 0) {
            qvpLogClose(block_->dllLogId);
            block_->dllLogId = 0;
        }
        store_.reset();
        std::error_code ec;
        std::filesystem::remove_all(root_, ec);
    }

    void SetKey(uint8_t key) { block_->systemManagementKey = key; }

    // DLL.LOG of the data root, from this call on.
    void EnableLog() {
        if (block_->dllLogId == 0) block_->dllLogId = qvpLogOpen("DLL.LOG");
    }
    // The messages logged so far: each record's text after its 71-byte header (sequence, time,
    // process, thread, session, the tag "dll"), without the blanks that pad the record.
    std::vector<std::string> LogMessages() const {
        std::ifstream in(root_ / "LOG" / "DLL.LOG", std::ios::binary);
        const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        std::vector<std::string> out;
        for (size_t at = 0; at < text.size();) {
            size_t end = text.find("\r\n", at);
            if (end == std::string::npos) end = text.size();
            std::string record = text.substr(at, end - at);
            at = end + 2;
            EXPECT_EQ(record.substr(62, 9), "dll      ") << record;
            std::string message = record.size() > 71 ? record.substr(71) : std::string();
            message.erase(message.find_last_not_of(' ') + 1);
            out.push_back(message);
        }
        return out;
    }
    // Whether one message was logged exactly so (blanks at its end not counted).
    bool Logged(std::string message) const {
        message.erase(message.find_last_not_of(' ') + 1);
        for (const std::string& m : LogMessages()) {
            if (m == message) return true;
        }
        return false;
    }

    std::filesystem::path root_;
    QVPAPI* block_ = nullptr;
    std::unique_ptr<NodeStoreBuilder> store_;
};

// Another process holds a file open without sharing, as a writer does while it rewrites it.
class HeldByAnotherProcess {
public:
    explicit HeldByAnotherProcess(const std::string& path) {
        int ready[2];
        if (pipe(ready) != 0) return;
        if (pipe(release_) != 0) {
            close(ready[0]);
            close(ready[1]);
            return;
        }
        child_ = fork();
        if (child_ == 0) {
            win::HANDLE h = win::CreateFile(path.c_str(), win::GENERIC_READ | win::GENERIC_WRITE, 0,
                                            nullptr, win::OPEN_EXISTING, 0, nullptr);
            char ok = h != win::INVALID_HANDLE_VALUE ? 1 : 0;
            (void)!write(ready[1], &ok, 1);
            (void)!read(release_[0], &ok, 1);
            _exit(0);
        }
        char ok = 0;
        held_ = child_ > 0 && ReadWithin(ready[0], &ok, 1) == 1 && ok == 1;
        close(ready[0]);
        close(ready[1]);
    }
    ~HeldByAnotherProcess() {
        if (child_ > 0) {
            char go = 1;
            (void)!write(release_[1], &go, 1);
            WaitChild(child_);
        }
        if (release_[0] >= 0) close(release_[0]);
        if (release_[1] >= 0) close(release_[1]);
    }
    HeldByAnotherProcess(const HeldByAnotherProcess&) = delete;
    HeldByAnotherProcess& operator=(const HeldByAnotherProcess&) = delete;
    bool held() const { return held_; }

private:
    int release_[2] = {-1, -1};
    pid_t child_ = -1;
    bool held_ = false;
};

}  // namespace qvptest

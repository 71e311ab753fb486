// A fresh data root per test with a node store (a master, a client below it, a node group), the
// calling thread's block at API level 5, and readers of the JobGen store and work tree.
#pragma once

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/prctl.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "core/block.h"
#include "jobgen/jobgen_file.h"
#include "platform/win.h"
#include "qvpapi.h"
#include "support/child_process.h"
#include "support/node_store_builder.h"
#include "support/temp_root.h"

#pragma GCC diagnostic ignored "-Wmissing-field-initializers"

namespace qvptest {

namespace fs = std::filesystem;
using qvp::jobgen::JobGenEntry;
using qvp::jobgen::JobGenHeader;

inline std::string Hex(uint32_t code) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%08x", code);
    return text;
}

// Every file and folder below a directory: relative path -> "d" or "f" + bytes.
inline std::map<std::string, std::string> Snapshot(const fs::path& root) {
    std::map<std::string, std::string> out;
    if (!fs::exists(root)) return out;
    for (const auto& e : fs::recursive_directory_iterator(root)) {
        const std::string rel = fs::relative(e.path(), root).string();
        if (e.is_directory()) {
            out[rel] = "d";
        } else {
            const auto bytes = NodeStoreBuilder::ReadBytes(e.path());
            out[rel] = "f" + std::string(bytes.begin(), bytes.end());
        }
    }
    return out;
}

// Another process that opens a JobGen (`ex`: with the Ex open) and holds it until it is killed
// (kill -9).
class JobGenHolder {
public:
    JobGenHolder(const char* folder, const char* name, bool ex = false) {
        if (pipe(ready_) != 0) return;
        child_ = fork();
        if (child_ == 0) {
            prctl(PR_SET_PDEATHSIG, SIGKILL);  // never outlives a test killed for a stall
            const auto open = ex ? qvAPICreateJobGenEx : qvAPICreateJobGen;
            char ok = open(folder, name, 'D', 0, 0) != QVPAPI_INVALID_HANDLE ? 1 : 0;
            (void)!write(ready_[1], &ok, 1);
            for (;;) pause();
        }
        char ok = 0;
        held_ = child_ > 0 && ReadWithin(ready_[0], &ok, 1) == 1 && ok == 1;
    }
    pid_t pid() const { return child_; }
    ~JobGenHolder() { Kill(); }
    JobGenHolder(const JobGenHolder&) = delete;
    JobGenHolder& operator=(const JobGenHolder&) = delete;
    bool held() const { return held_; }
    void Kill() {
        if (child_ > 0) {
            kill(child_, SIGKILL);
            WaitChild(child_);
            child_ = -1;
        }
        for (int& fd : ready_) {
            if (fd >= 0) close(fd);
            fd = -1;
        }
    }

private:
    int ready_[2] = {-1, -1};
    pid_t child_ = -1;
    bool held_ = false;
};

class JobGenTest : public ::testing::Test {
protected:
    void SetUp() override {
        root_ = MakeTempRoot("qvp-jobgen-");
        WriteRootSettings(root_);
        win::SetACPForTesting(932);
        block_ = qvpGetThreadBlock();
        ASSERT_NE(block_, nullptr);
        block_->systemManagementKey = 0;
        ASSERT_EQ(qvAPIExpandLevel(5), 1);
        store_ = std::make_unique<NodeStoreBuilder>(Data());
        master_ = store_->AddNode({.name = "mst1", .kind = QVAPI_NODE_MASTER, .address = {10, 0, 0, 1}});
        client_ = store_->AddNode({.name = "pc1", .address = {10, 0, 0, 2}, .master = "mst1"});
        store_->AddGroup("\\grp");
        fs::create_directories(Store());
    }
    void TearDown() override {
        QVPAPI* block = qvpGetThreadBlock();
        if (block != nullptr && block->openJobGen != nullptr) qvAPICloseJobGen(block, 1);
        store_.reset();
        fs::remove_all(root_);
    }

    fs::path Data() const { return root_ / "data"; }
    fs::path Store() const { return Data() / "SERVER/ZARNQV/MNGFL/JOBGEN"; }
    fs::path Work() const {
        return Data() / "SERVER/WORK/MNG/JOBGEN" / std::to_string(win::GetCurrentThreadId());
    }
    // The Ex open's backup folder, named by the process and thread ids.
    fs::path ExBackup() const {
        return Data() / "RMTINS/WORK" / ("JB" + std::to_string(getpid()) + "_" + std::to_string(win::GetCurrentThreadId()));
    }
    fs::path Attribution() const { return Data() / "SERVER/ZARNQV/MNGFL/ATTRIBUTION"; }
    static std::vector<uint8_t> Bytes(const fs::path& p) { return NodeStoreBuilder::ReadBytes(p); }

    QVPAPI_HANDLE Open(const char* folder, const char* name, char kind = 'D') {
        QVPAPI_HANDLE h = qvAPICreateJobGen(folder, name, kind, 0, 0);
        EXPECT_NE(h, QVPAPI_INVALID_HANDLE) << Hex(qvAPIGetLastError());
        return h;
    }
    // A committed kind-D JobGen of one client and one package.
    void MakeStored(const char* folder, const char* name) {
        QVPAPI_HANDLE h = Open(folder, name);
        ASSERT_EQ(qvAPICreateClientJobGen(h, "\\mst1\\pc1", 0, 0), 1) << Hex(qvAPIGetLastError());
        ASSERT_EQ(qvAPICreatePackageJobGen(h, 'C', "01", "pkgA", "1/2", "0001", 0, 0), 1) << Hex(qvAPIGetLastError());
        ASSERT_EQ(qvAPICloseJobGen(h, 0), 1) << Hex(qvAPIGetLastError());
    }

    // An attribution record of package C.01.pkgA.1/2.0001 whose other bytes follow `seed`.
    static std::vector<uint8_t> Record(uint8_t seed) {
        std::vector<uint8_t> r(QVAPI_PACKAGE_SIZE);
        for (size_t i = 0; i < r.size(); ++i) r[i] = static_cast<uint8_t>(seed + i * 7);
        std::memset(r.data() + 8, ' ', 59);
        std::memcpy(r.data() + 8, "C01pkgA", 7);
        std::memmove(r.data() + 11, "pkgA", 4);
        std::memcpy(r.data() + 55, "1/2", 3);
        std::memcpy(r.data() + 63, "0001", 4);
        return r;
    }

    fs::path root_;
    QVPAPI* block_ = nullptr;
    std::unique_ptr<NodeStoreBuilder> store_;
    QVAPI_NODE master_{};
    QVAPI_NODE client_{};
};

}  // namespace qvptest

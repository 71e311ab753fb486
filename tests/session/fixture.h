// A fresh data root with its own settings file and a manager simulator on loopback.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

#include "core/block.h"
#include "manager-sim/sim.h"
#include "platform/win.h"
#include "qvpapi.h"

namespace qvptest {

namespace fs = std::filesystem;

class SessionTest : public ::testing::Test {
protected:
    void SetUp() override {
        static std::atomic<int> counter{0};
        root_ = fs::temp_directory_path() /
                ("qvp-session-" + std::to_string(::getpid()) + "-" + std::to_string(counter++));
        fs::remove_all(root_);
        fs::create_directories(data());
        fs::create_directories(root_ / "run");
        const fs::path conf = root_ / "qvpapi.conf";
        std::ofstream(conf) << "[QVPAPI]\nPathName=" << data().string()
                            << "\nConnectRetryCount=1\n[Platform]\nRunDir=" << (root_ / "run").string()
                            << "\n";
        win::registry::LoadFrom(conf.string());
        sim_ = std::make_unique<qvpsim::ManagerSim>(data().string());
        ASSERT_TRUE(sim_->Start());
    }

    void TearDown() override {
        qvAPIClose();
        sim_->Stop();
        fs::remove_all(root_);
    }

    fs::path data() const { return root_ / "data"; }
    std::string port() const { return std::to_string(sim_->port()); }
    int Open(const char* host = "127.0.0.1") { return qvAPIOpen(host, port().c_str()); }
    QVPAPI& block() { return *qvpGetThreadBlock(); }
    qvpsim::ManagerSim& sim() { return *sim_; }

    // Nothing of a session is left in the block.
    static void ExpectNoSession(const QVPAPI& b) {
        EXPECT_EQ(b.link, QvpLink::None);
        EXPECT_LT(b.socket, 0);
        EXPECT_EQ(b.arena, nullptr);
        EXPECT_EQ(b.dllLogId, 0);
        EXPECT_EQ(b.nodeLogId, 0);
    }

    fs::path root_;
    std::unique_ptr<qvpsim::ManagerSim> sim_;
};

}  // namespace qvptest

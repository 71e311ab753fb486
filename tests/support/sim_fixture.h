// A fresh data root with its own settings file and the manager simulator on loopback; the
// session and records suites build on it.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>
#include <utility>

#include "manager-sim/sim.h"
#include "qvpapi.h"
#include "support/temp_root.h"

namespace qvptest {

namespace fs = std::filesystem;

class SimTest : public ::testing::Test {
protected:
    explicit SimTest(std::string prefix) : prefix_(std::move(prefix)) {}

    void SetUp() override {
        root_ = MakeTempRoot(prefix_);
        WriteRootSettings(root_, "ConnectRetryCount=1\n");
        sim_ = std::make_unique<qvpsim::ManagerSim>(data().string());
        AddHandlers(*sim_);
        ASSERT_TRUE(sim_->Start());
    }

    void TearDown() override {
        qvAPIClose();
        sim_->Stop();
        fs::remove_all(root_);
    }

    // Handlers a suite adds before the simulator starts.
    virtual void AddHandlers(qvpsim::ManagerSim&) {}

    fs::path data() const { return root_ / "data"; }
    qvpsim::ManagerSim& sim() { return *sim_; }

    fs::path root_;
    std::unique_ptr<qvpsim::ManagerSim> sim_;

private:
    std::string prefix_;
};

}  // namespace qvptest

// A JobGen test against the simulator on loopback, with its record and job stores, and a session
// open against it.
#pragma once

#include <memory>
#include <string>

#include "jobgen/jobgen_env.h"
#include "manager-sim/store_jobs.h"
#include "manager-sim/store_records.h"

namespace qvptest {

class JobGenSimTest : public JobGenTest {
protected:
    void SetUp() override {
        JobGenTest::SetUp();
        if (HasFatalFailure()) return;
        sim_ = std::make_unique<qvpsim::ManagerSim>(Data().string());
        records_ = std::make_unique<qvpsim::RecordStore>(*sim_);
        jobs_ = std::make_unique<qvpsim::JobStore>(*sim_, *records_);
        ASSERT_TRUE(sim_->Start());
        ASSERT_EQ(qvAPIOpen("127.0.0.1", std::to_string(sim_->port()).c_str()), 1);
    }
    void TearDown() override {
        qvAPIClose();
        if (sim_) sim_->Stop();
        JobGenTest::TearDown();
    }

    std::unique_ptr<qvpsim::ManagerSim> sim_;
    std::unique_ptr<qvpsim::RecordStore> records_;
    std::unique_ptr<qvpsim::JobStore> jobs_;
};

}  // namespace qvptest

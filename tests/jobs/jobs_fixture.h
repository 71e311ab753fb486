// A fresh data root, the simulator with its record and job stores on loopback, and a session
// open against it.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "core/block.h"
#include "manager-sim/store_jobs.h"
#include "manager-sim/store_records.h"
#include "qvpapi.h"
#include "support/sim_fixture.h"

namespace qvptest {

class JobsTest : public SimTest {
protected:
    JobsTest() : SimTest("qvp-jobs-") {}

    void AddHandlers(qvpsim::ManagerSim& sim) override {
        records_ = std::make_unique<qvpsim::RecordStore>(sim);
        jobs_ = std::make_unique<qvpsim::JobStore>(sim, *records_);
    }

    void Open() { ASSERT_EQ(qvAPIOpen("127.0.0.1", std::to_string(sim_->port()).c_str()), 1); }
    QVPAPI* block() { return qvpGetThreadBlock(); }
    qvpsim::JobStore& jobs() { return *jobs_; }

    // The payloads received since the log was last cleared, the handshake left out.
    std::vector<std::string> Requests() const {
        std::vector<std::string> out;
        for (const std::string& r : sim_->Received())
            if (r.rfind("AINT", 0) != 0) out.push_back(r);
        return out;
    }

    std::unique_ptr<qvpsim::RecordStore> records_;
    std::unique_ptr<qvpsim::JobStore> jobs_;
};

}  // namespace qvptest

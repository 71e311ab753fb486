// A fresh data root, the simulator with its ID store on loopback, a node store builder over the
// same root and a session open against it at API level 5.
#pragma once

#include <cstring>
#include <memory>
#include <string>

#include "core/block.h"
#include "manager-sim/store_ids.h"
#include "manager-sim/store_records.h"
#include "qvpapi.h"
#include "support/node_store_builder.h"
#include "support/sim_fixture.h"

#pragma GCC diagnostic ignored "-Wmissing-field-initializers"

namespace qvptest {

class IdTest : public SimTest {
protected:
    IdTest() : SimTest("qvp-ids-") {}

    void SetUp() override {
        SimTest::SetUp();
        nodes_ = std::make_unique<NodeStoreBuilder>(data());
        fs::create_directories(nodes_->NodeGroupDir());
        ASSERT_EQ(qvAPIOpen("127.0.0.1", std::to_string(sim_->port()).c_str()), 1);
        ASSERT_EQ(qvAPIExpandLevel(5), 1);
    }

    // The manager's record stores too: a definition writer that renames a node also moves its
    // installed-package records.
    void AddHandlers(qvpsim::ManagerSim& sim) override { records_ = std::make_unique<qvpsim::RecordStore>(sim); }

    qvpsim::IdStore& ids() { return sim_->Ids(); }
    QVPAPI* block() { return qvpGetThreadBlock(); }
    std::string LastRequest() const {
        const auto received = sim_->Received();
        return received.empty() ? std::string() : received.back();
    }
    size_t RequestCount() const { return sim_->Received().size(); }
    static std::string Text(const char* field, size_t width) { return std::string(field, strnlen(field, width)); }

    std::unique_ptr<NodeStoreBuilder> nodes_;
    std::unique_ptr<qvpsim::RecordStore> records_;
};

}  // namespace qvptest

// Automatic registration through qvAPIAutoCreateNodeDefinition: reports built byte for byte, the
// node store on disk, the manager's stores in the simulator, the requests it received.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "core/block.h"
#include "idgroups/auto_register.h"
#include "manager-sim/store_records.h"
#include "nodes/node_group_guard.h"
#include "platform/win.h"
#include "qvpapi.h"
#include "share/wapi/wapi.h"
#include "support/node_store_builder.h"
#include "support/sim_fixture.h"
#include "support/status_files.h"

namespace qvptest {
namespace {

using Entries = std::vector<std::pair<uint8_t, std::string>>;

// A report: the 192-byte head and its typed entries.
std::vector<uint8_t> Report(uint8_t edition, uint8_t attribute, const Entries& entries, uint8_t connect = 0,
                            const char* time = "2024010203040512") {
    std::vector<uint8_t> r(192, 0);
    r[8 + 3] = static_cast<uint8_t>(entries.size());
    r[12] = edition;
    r[13] = attribute;
    r[109] = connect;
    std::memcpy(&r[112], time, 16);
    for (const auto& [type, data] : entries) {
        r.push_back(type);
        r.push_back(0);
        r.push_back(static_cast<uint8_t>(data.size() >> 8));
        r.push_back(static_cast<uint8_t>(data.size()));
        r.insert(r.end(), data.begin(), data.end());
    }
    return r;
}

int Register(const std::vector<uint8_t>& report) {
    return qvAPIAutoCreateNodeDefinition(reinterpret_cast<const QVAPI_SYSGEN_INFO*>(report.data()), 0, 0);
}

// Calls of the ID-entry operation that arrives with the ID jobs, as the registration made them.
std::vector<std::string> g_operations;
int RecordOperate(const char* node, const char*, const char* newName, uint32_t, uint32_t mode) {
    g_operations.push_back(std::to_string(mode) + " " + node + (newName != nullptr ? std::string(">") + newName : ""));
    win::SetLastError(QVAPI_ERR_NOT_FOUND);
    return 0;
}

class AutoRegisterTest : public SimTest {
protected:
    AutoRegisterTest() : SimTest("qvp-acn-") {}
    void AddHandlers(qvpsim::ManagerSim& sim) override { store_ = std::make_unique<qvpsim::RecordStore>(sim); }
    void SetUp() override {
        SimTest::SetUp();
        nodes_ = std::make_unique<NodeStoreBuilder>(data());
        fs::create_directories(nodes_->NodeGroupDir());
        nodes_->AddGroup("\\");
        g_operations.clear();
        qvp::ids::SetOperateIdEntry(&RecordOperate);
        Options(false, false);
    }
    void TearDown() override {
        qvp::ids::SetOperateIdEntry(nullptr);
        SimTest::TearDown();
    }
    void Open(uint8_t key = 0) {
        ASSERT_EQ(qvAPIOpen("127.0.0.1", std::to_string(sim_->port()).c_str()), 1);
        ASSERT_EQ(qvAPIExpandLevel(5), 1);
        qvpGetThreadBlock()->systemManagementKey = key;
    }
    static void Options(bool idSync, bool hostIds) {
        win::registry::Set("IdSyncOption", idSync ? "YES" : "NO");
        win::registry::Set("GuidUseStatus", hostIds ? "YES" : "NO");
    }
    static bool Client(const char* name, QVAPI_NODE* out = nullptr) {
        QVAPI_NODE r{};
        return qvAPIGetClientDefinitionByName(name, out != nullptr ? out : &r) == 1;
    }
    static bool Master(const char* name) {
        QVAPI_NODE r{};
        return qvAPIGetMasterDefinitionByName(name, &r) == 1;
    }
    std::vector<std::string> RootMembers() {
        std::vector<std::string> names;
        for (const auto& e : nodes_->ReadGroupFile("\\")) names.push_back(e.name);
        return names;
    }
    std::vector<std::string> Verbs() {
        std::vector<std::string> out;
        for (const auto& r : sim_->Received()) {
            const std::string verb = r.substr(0, r.find(' '));
            if (verb != "AINT" && verb != "FRLS" && verb != "ATRM") out.push_back(r);
        }
        return out;
    }

    std::unique_ptr<qvpsim::RecordStore> store_;
    std::unique_ptr<NodeStoreBuilder> nodes_;
};

const Entries kNewPc = {{33, "pc1"}, {34, "10.0.0.1"}, {39, "00 11 22 33 44 55"}};

TEST_F(AutoRegisterTest, NewClientAtTheTopIsDefinedAndJoinsTheRootGroup) {
    Open();
    ASSERT_EQ(Register(Report(1, 1, kNewPc)), 1) << std::hex << qvAPIGetLastError();
    QVAPI_NODE r{};
    ASSERT_TRUE(Client("pc1", &r));
    EXPECT_EQ(std::string(NodeStoreBuilder::ReadRecord(nodes_->DefinitionPath(r)).ucMACAddress, 12), "001122334455");
    EXPECT_EQ(r.stUpdateTime.wMilliseconds, 120);
    EXPECT_EQ(RootMembers(), std::vector<std::string>{"pc1"});
    EXPECT_TRUE(Verbs().empty()) << "nothing to ask the manager without IdSyncOption";
    EXPECT_FALSE(qvpGetThreadBlock()->semaphoreHeld);
}

}  // namespace
}  // namespace qvptest

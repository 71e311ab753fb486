// Automatic registration through qvAPIAutoCreateNodeDefinition: reports built byte for byte, the
// node store on disk, the manager's stores in the simulator, the requests it received.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "core/block.h"
#include "idgroups/auto_register.h"
#include "idgroups/sysgen_info.h"
#include "manager-sim/store_inventory.h"
#include "manager-sim/store_records.h"
#include "nodes/node_group_guard.h"
#include "platform/win.h"
#include "qvpapi.h"
#include "share/wapi/wapi.h"
#include "support/node_store_builder.h"
#include "support/planted_links.h"
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
        if (!fs::exists(nodes_->GroupFilePath("\\"))) return names;
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

const Entries kChangedPc = {{17, "pc1"}, {18, "10.0.0.1"}};
Entries With(Entries base, const Entries& more) {
    base.insert(base.end(), more.begin(), more.end());
    return base;
}

// Each change of a stored client, with and without IdSyncOption: the name it ends up with, the
// ID-entry operations asked for, and where its system information and packages went.
TEST_F(AutoRegisterTest, UpdatesRenameReaddressAndAddHostIds) {
    struct Case {
        const char* what;
        uint8_t key;
        bool hostIds;
        Entries report;
        const char* finalName;
        const char* operation;  // with IdSyncOption on; "" none
        bool operationWithoutSync;
    };
    const Case cases[] = {
        {"rename", 0, false, With(kChangedPc, {{33, "pc2"}}), "pc2", "33 pc1>pc2", false},
        {"address under IP keying", 1, false, With({{18, "10.0.0.1"}, {17, "pc1"}}, {{34, "10.0.0.2"}}), "10.0.0.2",
         "33 10.0.0.1>10.0.0.2", false},
        {"host ID added", 0, true, With(kChangedPc, {{38, "#Gab12"}}), "#Gab12", "33 pc1>#Gab12", true},
    };
    for (const Case& c : cases) {
        for (bool idSync : {false, true}) {
            SCOPED_TRACE(std::string(c.what) + (idSync ? " with IdSyncOption" : ""));
            Options(idSync, c.hostIds);
            Open(c.key);
            const std::string oldName = c.key == 0 ? "pc1" : "10.0.0.1";
            ASSERT_EQ(Register(Report(1, 1, kNewPc)), 1) << std::hex << qvAPIGetLastError();
            sim().Inventory().Set(oldName, qvpsim::InventoryStore::Record({{3, 0, "ab"}}));
            const std::string escaped = qvp::ids::SwapDotsAndBangs(oldName);
            store_->AddStatus(escaped, MakeStatusRecord(escaped, 'C', "A1", "p1", "1", "0001"));
            g_operations.clear();
            ASSERT_EQ(Register(Report(2, 1, c.report)), 1) << std::hex << qvAPIGetLastError();
            EXPECT_TRUE(Client(c.finalName));
            EXPECT_FALSE(Client(oldName.c_str()));
            EXPECT_TRUE(sim().Inventory().Get(c.finalName).has_value());
            EXPECT_FALSE(sim().Inventory().Get(oldName).has_value());
            QVAPI_INSPACKAGE ins;
            const QVPAPI_HANDLE find = qvAPIFindFirstInsPackage(c.finalName, &ins, 0, 0);
            EXPECT_NE(find, QVPAPI_INVALID_HANDLE);
            if (find != QVPAPI_INVALID_HANDLE) qvAPIFindCloseInsPackage(find, 0, 0);
            const std::string oldKey = oldName, newKey = c.finalName;
            const std::string rename = "IUPD 2 K" + std::to_string(oldKey.size()) + " " + oldKey + " N" +
                                       std::to_string(newKey.size()) + " " + newKey;
            const auto verbs = Verbs();
            EXPECT_NE(std::find(verbs.begin(), verbs.end(), rename), verbs.end()) << "system information renamed";
            const bool asked = idSync || c.operationWithoutSync;
            EXPECT_EQ(g_operations, asked ? std::vector<std::string>{c.operation} : std::vector<std::string>{});
            // Clean up for the next round: the renamed client goes by a removal report.
            EXPECT_EQ(qvAPIDeleteClientDefinition(c.finalName, 0, nullptr), 1);
            qvAPIDeleteInsPackage(c.finalName, 0, nullptr, nullptr, nullptr, 0, 0);
            qvAPIClose();
        }
    }
}

// Connect kind 1: keyed by its common name under key 0, by its address under key 1, like every other node.
TEST_F(AutoRegisterTest, AHostKnownByItsCommonNameRegistersUnderBothKeys) {
    for (const auto& [key, keyName] : {std::pair<uint8_t, const char*>{0, "cn1"}, {1, "10.0.0.1"}}) {
        SCOPED_TRACE(keyName);
        Open(key);
        [&] {  // a failed step of one key leaves the other tried
            ASSERT_EQ(Register(Report(1, 1, With(kNewPc, {{35, "cn1"}}), 1)), 1) << std::hex << qvAPIGetLastError();
            QVAPI_NODE r{};
            ASSERT_TRUE(Client(keyName, &r));
            EXPECT_STREQ(r.ucCommonName, "cn1");
            EXPECT_EQ(RootMembers(), std::vector<std::string>{key == 0 ? "pc1" : keyName});
            const Entries moved = {{17, "pc1"}, {18, "10.0.0.1"}, {35, "cn1"}, {39, "66 77 88 99 AA BB"}};
            ASSERT_EQ(Register(Report(2, 1, moved, 1, "2024010203040513")), 1) << std::hex << qvAPIGetLastError();
            ASSERT_TRUE(Client(keyName, &r));
            EXPECT_EQ(std::string(r.ucMACAddress, 12), "66778899AABB");
            if (key == 1) {  // a new host whose common name is this one's address is a host of its own
                const Entries other = {{33, "pc3"}, {34, "10.0.0.3"}, {35, "10.0.0.1"}};
                ASSERT_EQ(Register(Report(1, 1, other, 1)), 1) << std::hex << qvAPIGetLastError();
                EXPECT_TRUE(Client("10.0.0.3") && Client("10.0.0.1"));
                ASSERT_EQ(Register(Report(3, 1, {{17, "pc3"}, {18, "10.0.0.3"}}, 1)), 1);
            }
            // A change of the key name changes what the host is keyed by: the common name, or the address.
            QVAPI_NODE renamed = r;
            std::strcpy(renamed.ucCommonName, "cn2");
            renamed.ucNodeAddress[3] = 2;
            ASSERT_EQ(qvAPIChangeClientDefinition(keyName, QVAPI_CHANGE_KEY_NAME, &renamed, 0), 1);
            ASSERT_TRUE(Client(key == 0 ? "cn2" : "10.0.0.2"));
            ASSERT_EQ(qvAPIChangeClientDefinition(key == 0 ? "cn2" : "10.0.0.2", QVAPI_CHANGE_KEY_NAME, &r, 0), 1);
            ASSERT_EQ(Register(Report(3, 1, moved, 1, "2024010203040514")), 1) << std::hex << qvAPIGetLastError();
            EXPECT_FALSE(Client(keyName));
            EXPECT_TRUE(RootMembers().empty());
        }();
        qvAPIClose();
    }
}

// Under address keying a host that turns to connect kind 1 stays keyed by its address, and the
// update goes on to its time and MAC address.
TEST_F(AutoRegisterTest, AHostTurningToConnectKindOneUnderAddressKeyingKeepsItsKey) {
    Open(1);
    ASSERT_EQ(Register(Report(1, 1, kNewPc)), 1) << std::hex << qvAPIGetLastError();
    const Entries turned = {{17, "pc1"}, {18, "10.0.0.1"}, {35, "cn1"}, {39, "66 77 88 99 AA BB"}};
    ASSERT_EQ(Register(Report(2, 1, turned, 1, "2024010203040513")), 1) << std::hex << qvAPIGetLastError();
    QVAPI_NODE r{};
    ASSERT_TRUE(Client("10.0.0.1", &r));
    EXPECT_EQ(r.uiConnectKind, 1u);
    EXPECT_STREQ(r.ucCommonName, "cn1");
    EXPECT_EQ(std::string(r.ucMACAddress, 12), "66778899AABB");
    EXPECT_EQ(r.stUpdateTime.wMilliseconds, 130);
}

TEST_F(AutoRegisterTest, AClientThatReportsItselfAsAMasterIsPromoted) {
    Open();
    ASSERT_EQ(Register(Report(1, 1, kNewPc)), 1);
    ASSERT_EQ(RootMembers(), std::vector<std::string>{"pc1"});
    ASSERT_EQ(Register(Report(2, 2, With(kChangedPc, {{33, "pc1"}}))), 1) << std::hex << qvAPIGetLastError();
    EXPECT_TRUE(Master("pc1"));
    EXPECT_FALSE(Client("pc1")) << "never both definitions";
    EXPECT_TRUE(RootMembers().empty());
}

TEST_F(AutoRegisterTest, RemovalTakesTheDefinitionGroupsInventoryPackagesAndIdEntries) {
    Options(true, false);
    Open();
    ASSERT_EQ(Register(Report(1, 1, {{33, "host.1"}, {34, "10.0.0.1"}})), 1);
    sim().Inventory().Set("host.1", qvpsim::InventoryStore::Record({{3, 0, "ab"}}));
    store_->AddStatus("host!1", MakeStatusRecord("host!1", 'C', "A1", "p1", "1", "0001"));
    ASSERT_EQ(Register(Report(3, 1, {{17, "host.1"}, {18, "10.0.0.1"}})), 1) << std::hex << qvAPIGetLastError();
    EXPECT_FALSE(Client("host.1"));
    EXPECT_TRUE(RootMembers().empty());
    EXPECT_FALSE(sim().Inventory().Get("host.1").has_value());
    EXPECT_TRUE(store_->Keys('S').empty());
    EXPECT_EQ(g_operations, std::vector<std::string>{"16 host.1"});
    const auto verbs = Verbs();
    ASSERT_GE(verbs.size(), 2u);
    EXPECT_EQ(verbs[0], "JDEL 2 f1 C a6 host!1") << "the ID commands go under the exchanged name";
    EXPECT_EQ(verbs[1], "IDEL 1 K6 host.1");
    EXPECT_FALSE(fs::exists(data() / "SERVER/WORK/MNG/NODEDEF" / ("IDSYNC" + std::to_string(qvpGetThreadBlock()->openerThreadId))));

    // A removal of a host without a definition only cleans up its ID entries; under host-name
    // keying the name is not exchanged there.
    g_operations.clear();
    const size_t before = sim_->Received().size();
    ASSERT_EQ(Register(Report(3, 1, {{17, "host.2"}, {18, "10.0.0.2"}})), 1) << std::hex << qvAPIGetLastError();
    EXPECT_EQ(sim_->Received()[before], "JDEL 2 f1 C a6 host.2");
    EXPECT_EQ(g_operations, std::vector<std::string>{"16 host.2"});
    Options(false, false);
    EXPECT_EQ(Register(Report(3, 1, {{17, "host.3"}, {18, "10.0.0.3"}})), 1);
    EXPECT_EQ(sim_->Received().size(), before + 1) << "nothing asked without IdSyncOption";
}

// The ID-sync work folder is named by the thread id: links planted there are neither followed nor kept.
TEST_F(AutoRegisterTest, LinksPlantedAtTheIdSyncFolderRedirectNothing) {
    Options(true, false);
    Open();
    const fs::path work =
        data() / "SERVER/WORK/MNG/NODEDEF" / ("IDSYNC" + std::to_string(qvpGetThreadBlock()->openerThreadId));
    for (Plant how : kPlants) {
        SCOPED_TRACE(PlantName(how));
        ASSERT_EQ(Register(Report(1, 1, {{33, "host.1"}, {34, "10.0.0.1"}})), 1);
        const PlantedLinks links(root_ / "outside" / PlantName(how), {"idsyncIDgrp", "idsyncIDent"});
        links.At(work, how);
        EXPECT_EQ(Register(Report(3, 1, {{17, "host.1"}, {18, "10.0.0.1"}})), 1) << std::hex << qvAPIGetLastError();
        EXPECT_FALSE(Client("host.1"));
        EXPECT_EQ(links.Outside(), links.Original());
        EXPECT_FALSE(fs::exists(fs::symlink_status(work)));
    }
}

std::vector<std::string> g_systemNodes;
int RecordSystemNode(const char* upper, const char* node, uint32_t, uint32_t) {
    g_systemNodes.push_back(std::string(upper) + " " + node);
    return 1;
}

// A client moved below a master leaves its node groups; moved back to the top it joins the root
// group again, and with IdSyncOption the master it left is told.
TEST_F(AutoRegisterTest, AMoveBelowAMasterAndBackFollowsTheRootGroup) {
    Options(true, false);
    qvp::ids::SetOperateSystemNode(&RecordSystemNode);
    g_systemNodes.clear();
    Open();
    ASSERT_EQ(Register(Report(1, 2, {{33, "mst1"}, {34, "10.0.0.9"}})), 1) << std::hex << qvAPIGetLastError();
    ASSERT_EQ(Register(Report(1, 1, kNewPc)), 1);
    ASSERT_EQ(RootMembers(), std::vector<std::string>{"pc1"});
    ASSERT_EQ(Register(Report(2, 1, With(kChangedPc, {{160, "mst1!10.0.0.9"}}))), 1) << std::hex << qvAPIGetLastError();
    QVAPI_NODE r{};
    ASSERT_TRUE(Client("pc1", &r));
    EXPECT_STREQ(r.ucNodePath0, "\\mst1");
    EXPECT_TRUE(RootMembers().empty());
    EXPECT_TRUE(g_systemNodes.empty()) << "it came from the top";
    ASSERT_EQ(Register(Report(2, 1, kChangedPc, 0, "2024010203040513")), 1) << std::hex << qvAPIGetLastError();
    EXPECT_EQ(RootMembers(), std::vector<std::string>{"pc1"});
    EXPECT_EQ(g_systemNodes, std::vector<std::string>{"mst1 pc1"});
    qvp::ids::SetOperateSystemNode(nullptr);
}

// The work folder that cannot be removed stops the removal: the definition stays.
TEST_F(AutoRegisterTest, AWorkFolderThatStaysKeepsTheDefinition) {
    Options(true, false);
    Open();
    ASSERT_EQ(Register(Report(1, 1, kNewPc)), 1);
    const fs::path folder =
        data() / "SERVER/WORK/MNG/NODEDEF" / ("IDSYNC" + std::to_string(qvpGetThreadBlock()->openerThreadId));
    // A work file that cannot be removed keeps the folder.
    win::fault::Watch("IDSYNC");
    win::fault::FailNth(win::fault::Call::DeleteFile, 1, win::ERROR_ACCESS_DENIED);
    EXPECT_EQ(Register(Report(3, 1, kChangedPc)), 0);
    EXPECT_EQ(qvAPIGetLastError(), QVAPI_ERR_RESOURCE);
    win::fault::Reset();
    EXPECT_TRUE(Client("pc1"));
    EXPECT_TRUE(fs::exists(folder));
    EXPECT_EQ(Register(Report(3, 1, kChangedPc)), 1) << "the folder left behind is made afresh";
    EXPECT_FALSE(Client("pc1"));
    EXPECT_FALSE(fs::exists(folder));
}

TEST_F(AutoRegisterTest, ReportsIgnoredByRuleChangeNothing) {
    Open();
    for (uint8_t edition : {0, 4}) EXPECT_EQ(Register(Report(edition, 1, kNewPc)), 1);
    EXPECT_EQ(Register(Report(1, 1, {{33, "pc\x81"}, {34, "10.0.0.1"}})), 1) << "a lone lead byte";
    EXPECT_EQ(Register(Report(1, 1, {{34, "10.0.0.1"}})), 1) << "no name entry";
    EXPECT_FALSE(Client("pc1"));
    ASSERT_EQ(Register(Report(1, 1, kNewPc)), 1);
    ASSERT_EQ(Register(Report(2, 1, With(kChangedPc, {{33, "pc2"}}), 0, "2023010203040512")), 1);
    EXPECT_TRUE(Client("pc1")) << "an older report changes nothing";
}

TEST_F(AutoRegisterTest, AFailedStepLeavesNeitherTheSemaphoreNorTheMutexHeld) {
    Open();
    ASSERT_EQ(Register(Report(1, 1, kNewPc)), 1);
    ASSERT_EQ(Register(Report(1, 1, {{33, "pc2"}, {34, "10.0.0.2"}})), 1);
    // pc1 renamed to the taken name pc2: the key change fails in the middle of the update.
    EXPECT_EQ(Register(Report(2, 1, With(kChangedPc, {{33, "pc2"}, {34, "10.0.0.5"}}))), 0);
    EXPECT_EQ(qvAPIGetLastError(), 0u) << "already exists is reported as code 0";
    EXPECT_FALSE(qvpGetThreadBlock()->semaphoreHeld);
    std::thread([] {
        win::HANDLE sem = qvpWapiCreateSemaphore(nullptr, 1, 1, qvp::nodes::kNodeSemaphoreName, 0);
        EXPECT_EQ(win::WaitForSingleObject(sem, 0), win::WAIT_OBJECT_0);
        win::ReleaseSemaphore(sem, 1, nullptr);
        win::CloseHandle(sem);
        win::HANDLE mutex = qvpWapiCreateMutex(nullptr, win::FALSE, qvp::nodes::kNodeDefMutexName, 0, 0);
        EXPECT_EQ(win::WaitForSingleObject(mutex, 0), win::WAIT_OBJECT_0);
        win::ReleaseMutex(mutex);
        win::CloseHandle(mutex);
    }).join();
}

TEST_F(AutoRegisterTest, TwoRegistrationsOfOneHostSerialise) {
    const uint16_t port = sim_->port();
    std::vector<int> results(2, -1);
    std::vector<std::thread> threads;
    for (int i = 0; i < 2; ++i) {
        threads.emplace_back([&, i] {
            if (qvAPIOpen("127.0.0.1", std::to_string(port).c_str()) != 1) return;
            qvAPIExpandLevel(5);
            results[i] = Register(Report(1, 1, kNewPc));
            qvAPIClose();
        });
    }
    for (auto& t : threads) t.join();
    EXPECT_EQ(results, (std::vector<int>{1, 1})) << "the second finds the first's definition and updates it";
    Open();
    EXPECT_TRUE(Client("pc1"));
    EXPECT_EQ(RootMembers(), std::vector<std::string>{"pc1"});
}

TEST_F(AutoRegisterTest, ASessionWithoutASocketRegistersAndRemoves) {
    sim_->SetHandshakeReply("CONNECTA 52");
    Open();
    ASSERT_EQ(Register(Report(1, 1, kNewPc)), 1) << std::hex << qvAPIGetLastError();
    EXPECT_TRUE(Client("pc1"));
    ASSERT_EQ(Register(Report(3, 1, kChangedPc)), 1) << std::hex << qvAPIGetLastError();
    EXPECT_FALSE(Client("pc1"));
}

TEST_F(AutoRegisterTest, GroupRemovalRefusesABrokenAttributionFile) {
    Open();
    ASSERT_EQ(Register(Report(1, 1, kNewPc)), 1);
    QVAPI_NODE r{};
    ASSERT_TRUE(Client("pc1", &r));
    for (size_t size : {size_t{900}, size_t{960 + 100}}) {
        fs::resize_file(nodes_->AttributionPath(r), size);
        EXPECT_EQ(qvp::ids::ACNDeleteNodeGroup(*qvpGetThreadBlock(), "pc1", 0, nullptr), QVAPI_ERR_UNEXPECTED_DATA);
    }
}

}  // namespace
}  // namespace qvptest

// Every definition writer killed at each platform call in turn: seen through the library, each
// node is as it was before the call or as it is after it, the counts and walks agree with the
// reads, and the same call again ends as the call does whole.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "core/work_owner.h"
#include "support/kill_steps.h"
#include "nodes/node_writer.h"
#include "support/node_group_builder.h"

namespace {

struct Writer { const char* name; int (*call)(); };
void PrintTo(const Writer& writer, std::ostream* out) { *out << writer.name; }

QVAPI_NODE Stored(const char* name, bool master) {
    QVAPI_NODE r{};
    if (master) qvAPIGetMasterDefinitionByName(name, &r); else qvAPIGetClientDefinitionByName(name, &r);
    return r;
}
// `stampAnew`: no update time given, so that every call stamps the record with its own time.
int KeyByHostIdAtTheTop(const char* hostId, bool stampAnew) {
    QVAPI_NODE r = Stored("pc1", false);
    std::strcpy(r.ucNodePath0, "\\");
    r.ucHostIDPath[0] = '\0';
    std::strcpy(r.ucHostID, hostId);
    if (stampAnew) std::memset(&r.stUpdateTime, 0, sizeof r.stUpdateTime);
    return qvAPIChangeClientDefinition("pc1", 0x4000000 | 0x20000, &r, 0);
}

// hub, with pc1 and pc2 below it, keyed by a host ID: its inventory and theirs move to the IDs.
int KeyMasterByHostId() {
    QVAPI_NODE r = Stored("hub", true);
    std::strcpy(r.ucHostID, "#G7");
    return qvAPIChangeMasterDefinition("hub", 0x4000000 | 0x20000, &r, 0);
}

// The inventory a node's renames move: one marker file a name in INV below the root.
std::filesystem::path g_inventory;
int RenameInventory(const char* from, const char* to, uint32_t, uint32_t) {
    std::error_code error;
    std::filesystem::rename(g_inventory / from, g_inventory / to, error);
    if (error) qvAPISetLastError(0x20610000);
    return error ? 0 : 1;
}

int Rename(const char* from, const char* to, bool master, bool stampAnew = false) {
    QVAPI_NODE r = Stored(from, master);
    std::snprintf(r.ucNodeName, sizeof r.ucNodeName, "%s", to);
    if (stampAnew) std::memset(&r.stUpdateTime, 0, sizeof r.stUpdateTime);
    return master ? qvAPIChangeMasterDefinition(from, 0x80000000, &r, 0) : qvAPIChangeClientDefinition(from, 0x80000000, &r, 0);
}

struct DefinitionKill : qvptest::NodeGroupStore, ::testing::WithParamInterface<Writer> {
    void Build() {  // alpha, beta, hub with pc1 and pc2 below; \G1 lists beta, alpha, pc1 and hub
        FreshStoreWithMembers();
        AddHostNode("hub", QVAPI_NODE_MASTER);
        AddHostNode("pc1", QVAPI_NODE_CLIENT, "hub");
        AddHostNode("pc2", QVAPI_NODE_CLIENT, "hub");
        qvptest::NodeStoreBuilder::Node keyedByHostId;
        keyedByHostId.name = "pc3";
        keyedByHostId.hostId = "#C8";
        keyedByHostId.macAddress = "00-11-22-33-44-55";
        store_->AddNode(keyedByHostId);
        for (const char* member : {"alpha", "pc1", "hub"}) store_->AddMember("\\G1", member);
        g_inventory = root_ / "INV";
        std::filesystem::remove_all(g_inventory);
        std::filesystem::create_directories(g_inventory);
        std::ofstream(g_inventory / "pc1") << "pc1";
        std::ofstream(g_inventory / "hub") << "hub";
        qvp::SetInsPackageRename(&RenameInventory);
    }
    void TearDown() override {
        qvp::SetInsPackageRename(nullptr);
        NodeGroupStore::TearDown();
    }
    // What the library shows: each name's read, the tree walk, the count, the group's members.
    struct View {
        std::map<std::string, std::string> reads;
        std::vector<std::string> walk, group;
        std::vector<std::string> linked;     // the nodes whose back-links name \G1
        std::vector<std::string> inventory;  // the names the inventory is kept under
        int total;
        bool operator==(const View&) const = default;
        friend void PrintTo(const View& v, std::ostream* out) {
            for (const auto& [name, read] : v.reads) *out << name << ": " << read << "; ";
            *out << "walk";
            for (const std::string& name : v.walk) *out << " " << name;
            *out << "; total " << v.total << "; group";
            for (const std::string& name : v.group) *out << " " << name;
            *out << "; linked";
            for (const std::string& name : v.linked) *out << " " << name;
            *out << "; inventory";
            for (const std::string& name : v.inventory) *out << " " << name;
        }
    };
    static std::string Read(const char* name) {
        for (bool master : {false, true}) {
            QVAPI_NODE r{};
            if ((master ? qvAPIGetMasterDefinitionByName(name, &r) : qvAPIGetClientDefinitionByName(name, &r)) == 1)
                return std::to_string(r.uiNodeAttributes) + r.ucNodePath0 + " flag " + std::to_string(r.uiNodeGroupFlag) + " " +
                       std::string(r.ucMACAddress, strnlen(r.ucMACAddress, sizeof r.ucMACAddress));
            const uint32_t code = qvAPIGetLastError();
            if (code != 0x20610000 && code != 0x20000002) return "error " + std::to_string(code);
        }
        return "absent";
    }
    static void Walk(const std::string& upper, std::vector<std::string>& names) {
        QVAPI_NODE r{};
        std::vector<std::string> masters;
        QVPAPI_HANDLE h = qvAPIFindFirstNodeDefinition(upper.c_str(), &r);
        if (h == QVPAPI_INVALID_HANDLE && qvAPIGetLastError() != 0x20000103) names.push_back("walk error");
        for (bool more = h != QVPAPI_INVALID_HANDLE; more; more = qvAPIFindNextNodeDefinition(h, &r) == 1) {
            names.push_back(r.ucHostIDFlag == 1 ? r.ucHostID : r.ucNodeName);  // the name it is read by
            if (r.uiNodeAttributes == QVAPI_NODE_MASTER) masters.push_back((upper == "\\" ? "" : upper) + "\\" + r.ucNodeName);
        }
        if (h != QVPAPI_INVALID_HANDLE) qvAPIFindCloseNodeDefinition(h);
        for (const std::string& master : masters) Walk(master, names);  // one walk per thread at a time
    }
    View Now() const {
        View v;
        for (const char* name : {"alpha", "alpha2", "beta", "gamma", "hub", "hub2", "pc1", "pc2", "pc3", "#C7", "#C8", "#G7"}) v.reads[name] = Read(name);
        Walk("\\", v.walk);
        std::sort(v.walk.begin(), v.walk.end());
        v.total = qvAPIGetTotalNumberSystemDefinition();
        QVAPI_NODE r{};
        QVPAPI_HANDLE h = qvAPIFindFirstNode("\\G1", &r, 0, 0);
        for (bool more = h != QVPAPI_INVALID_HANDLE; more; more = qvAPIFindNextNode(h, &r, 0, 0) == 1) v.group.push_back(r.ucNodeName);
        if (h != QVPAPI_INVALID_HANDLE) qvAPIFindCloseNode(h, 0, 0);
        for (const auto& [name, read] : v.reads) {
            if (read == "absent" || read.starts_with("error")) continue;
            QVAPI_NODE node = Stored(name.c_str(), read.front() - '0' == QVAPI_NODE_MASTER);
            const std::vector<std::string> links = store_->ReadBackLinks(node);
            if (std::count(links.begin(), links.end(), "\\G1") != 0) v.linked.push_back(node.ucNodeName);
        }
        for (const auto& entry : std::filesystem::directory_iterator(g_inventory))
            v.inventory.push_back(entry.path().filename().string());
        for (auto* names : {&v.group, &v.linked, &v.inventory}) std::sort(names->begin(), names->end());
        return v;
    }
};

TEST_P(DefinitionKill, EachKilledStepLeavesNodesWholeAndTheSameCallFinishes) {
    Build();
    const View before = Now();
    ASSERT_EQ(GetParam().call(), 1) << std::hex << qvAPIGetLastError();
    const View after = Now();
    ASSERT_NE(before, after);
    EXPECT_EQ(after.linked, after.group);  // each member's back-link names its group, and only those
    const auto check = [&](unsigned step, bool completed) {
        SCOPED_TRACE("step " + std::to_string(step));
        const View left = Now();
        std::vector<std::string> defined;
        for (const auto& [name, read] : left.reads) {
            EXPECT_TRUE(read == before.reads.at(name) || read == after.reads.at(name)) << name << ": " << read;
            if (read != "absent") defined.push_back(name);
        }
        EXPECT_EQ(left.walk, defined);
        EXPECT_EQ(left.total, static_cast<int>(defined.size()));
        for (const std::vector<std::string>* members : {&before.group, &after.group, &left.group})
            for (const std::string& member : *members) {
                const auto lists = [&](const View& v) { return std::count(v.group.begin(), v.group.end(), member); };
                EXPECT_TRUE(lists(left) == lists(before) || lists(left) == lists(after)) << member;
            }
        if (completed) return;
        const bool halfWay = !(left == before) && !(left == after);
        const int again = GetParam().call();
        EXPECT_TRUE(!halfWay || again == 1) << std::hex << qvAPIGetLastError();  // answers as the whole call
        EXPECT_EQ(Now(), after);
        for (const auto& entry : std::filesystem::directory_iterator(store_->NodeDefDir()))
            EXPECT_NE(entry.path().filename().string().front(), '.') << entry.path();  // temporaries swept
        EXPECT_FALSE(std::filesystem::exists(store_->NodeDefDir().parent_path() / "NODEMOVE"));  // no move under way
    };
    EXPECT_GT(qvptest::WalkKillSteps([&] { Build(); }, [&] { GetParam().call(); }, check), 5u);
}

// A node made alike (one template: same creation time, same fields, stamped when made) is another
// node: a rename onto its name is refused and takes neither for what a killed rename left.
TEST_F(DefinitionKill, ARenameOntoANodeMadeAlikeIsRefused) {
    Build();
    QVAPI_NODE twin = Stored("alpha", false);
    std::strcpy(twin.ucNodeName, "alpha2");
    std::memset(&twin.stUpdateTime, 0, sizeof twin.stUpdateTime);
    ASSERT_EQ(qvAPICreateClientDefinition("alpha2", &twin, 0), 1) << std::hex << qvAPIGetLastError();
    const std::string alpha = Read("alpha");
    EXPECT_EQ(Rename("alpha", "alpha2", false), 0);
    EXPECT_EQ(qvAPIGetLastError(), 0x200000B7u);
    EXPECT_EQ(Read("alpha"), alpha);
}

// What older killed swaps left: NODEDEF set aside as the work tree's backup (the live tree moved
// out, the new one not yet in) and a tree staged beside NODEDEF under this thread's id. Every
// writer puts NODEDEF back first, and a swap sweeps the staged tree before it stages its own.
TEST_P(DefinitionKill, EachWriterFinishesWhatAnOlderKilledSwapLeft) {
    namespace fs = std::filesystem;
    Build();
    ASSERT_EQ(GetParam().call(), 1) << std::hex << qvAPIGetLastError();
    const View after = Now();
    Build();
    const fs::path nodeDef = store_->NodeDefDir(), mngfl = nodeDef.parent_path();
    const fs::path backup = mngfl.parent_path().parent_path() / "WORK/MNG/NODEDEF/Nodebak";
    fs::copy(nodeDef, mngfl / std::to_string(win::GetCurrentThreadId()), fs::copy_options::recursive);
    fs::create_directories(backup.parent_path());
    fs::rename(nodeDef, backup);
    ASSERT_EQ(GetParam().call(), 1) << std::hex << qvAPIGetLastError();
    // The fields a writer copied from a read made before it put NODEDEF back may differ.
    const View left = Now();
    EXPECT_EQ(left.walk, after.walk);
    EXPECT_EQ(left.total, after.total);
    EXPECT_EQ(left.group, after.group);
    EXPECT_FALSE(fs::exists(backup));
}

// A master rename killed at its first write into its copy of the tree leaves that copy, named
// by its thread: a later rename in another thread, a sweep interval on, removes it.
TEST_F(DefinitionKill, AKilledRenamesCopyOfTheTreeGoesWithALaterRename) {
    namespace fs = std::filesystem;
    Build();
    const fs::path work = store_->NodeDefDir().parent_path().parent_path().parent_path() / "WORK/MNG/NODEDEF";
    const auto end = qvptest::RunKilledAt(0, [] {
        win::fault::Watch("/WORK/MNG/NODEDEF/" + std::to_string(win::GetCurrentThreadId()) + "/");
        win::fault::ExitAtNth(1, win::fault::Call::WriteFile);
        Rename("hub", "hub2", true);
    });
    ASSERT_EQ(end, qvptest::ChildEnd::Killed);
    EXPECT_FALSE(fs::is_empty(work)) << "the copy left";
    qvp::ForgetSweepsForTesting(true);  // a sweep interval on
    EXPECT_EQ(Rename("hub", "hub2", true), 1) << std::hex << qvAPIGetLastError();
    qvp::ForgetSweepsForTesting();
    for (const auto& e : fs::directory_iterator(work)) ADD_FAILURE() << e.path() << " left";
}

// The moves with no update time given: a retry stamps its record anew.
const Writer kRenameGroupMember{"RenameGroupMemberStampedAnew", [] { return Rename("alpha", "alpha2", false, true); }};
const Writer kRenameMasterInGroup{"RenameMasterInGroupStampedAnew", [] { return Rename("hub", "hub2", true, true); }};
const Writer kKeyByHostId{"KeyByHostIdAtTheTopStampedAnew", [] { return KeyByHostIdAtTheTop("#C7", true); }};
const Writer kKeyMasterByHostId{"KeyMasterByHostId", KeyMasterByHostId};

// A move killed part way is finished by the next writer of any node, before its own change (one
// killed before its first step is not begun): the store never stays half-moved (a master out of its groups' walks, an inventory under the old
// name) until the same call comes again.
struct NextWriter : DefinitionKill {};
TEST_P(NextWriter, FinishesAKilledMove) {
    Build();
    const View before = Now();
    ASSERT_EQ(GetParam().call(), 1) << std::hex << qvAPIGetLastError();
    const View after = Now();
    const auto check = [&](unsigned step, bool completed) {
        SCOPED_TRACE("step " + std::to_string(step));
        if (completed) return;
        QVAPI_NODE beta = Stored("beta", false);  // rewritten as it is: the view does not change
        ASSERT_EQ(qvAPIChangeClientDefinition("beta", 0x4000, &beta, 0), 1) << std::hex << qvAPIGetLastError();
        const View now = Now();
        EXPECT_TRUE(now == before || now == after) << ::testing::PrintToString(now);
    };
    EXPECT_GT(qvptest::WalkKillSteps([&] { Build(); }, [&] { GetParam().call(); }, check), 5u);
}

INSTANTIATE_TEST_SUITE_P(Moves, NextWriter, ::testing::Values(kRenameGroupMember, kRenameMasterInGroup, kKeyByHostId,
                                                                  kKeyMasterByHostId),
                         [](const auto& info) { return std::string(info.param.name); });

INSTANTIATE_TEST_SUITE_P(
    Writers, DefinitionKill,
    ::testing::Values(
        Writer{"CreateClient", [] {
                   QVAPI_NODE r = Stored("beta", false);
                   std::strcpy(r.ucNodeName, "gamma");
                   return qvAPICreateClientDefinition("gamma", &r, 0);
               }},
        Writer{"ChangeClient", [] {
                   QVAPI_NODE r = Stored("alpha", false);
                   std::strcpy(r.ucMACAddress, "66-77-88-99-AA-BB");
                   return qvAPIChangeClientDefinition("alpha", 0x4000, &r, 0);
               }},
        Writer{"RenameClient", [] { return Rename("alpha", "alpha2", false); }},
        Writer{"CreateMaster", [] {
                   QVAPI_NODE r = Stored("hub", true);
                   std::strcpy(r.ucNodeName, "hub2");
                   return qvAPICreateMasterDefinition("hub2", &r, 0);
               }},
        Writer{"RenameClientBelowMaster", [] { return Rename("pc1", "gamma", false); }},
        Writer{"RenameMasterWithChildren", [] { return Rename("hub", "hub2", true); }},
        Writer{"MoveClientToTop", [] {
                   QVAPI_NODE r = Stored("pc1", false);
                   std::strcpy(r.ucNodePath0, "\\");
                   r.ucHostIDPath[0] = '\0';
                   return qvAPIChangeClientDefinition("pc1", 0x4000000, &r, 0);
               }},
        Writer{"MoveClientToTopKeyedByHostId", [] { return KeyByHostIdAtTheTop("#C7", false); }},
        // The same changes with no update time given: a retry stamps its record anew, and still
        // finishes what its killed call began.
        kRenameGroupMember, kRenameMasterInGroup, kKeyByHostId,
        Writer{"DeleteClient", [] { return qvAPIDeleteClientDefinition("alpha", 0, nullptr); }},
        Writer{"DeleteMasterWithChildren", [] { return qvAPIDeleteMasterDefinition("hub", 0, nullptr); }}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace

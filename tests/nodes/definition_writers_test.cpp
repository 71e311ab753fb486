// The definition writers through their exported calls on real stores: a whole sequence of
// creations, renames, moves and deletions compared file by file with a store built directly,
// the faults the cascade and the swap must survive, concurrent creation, and the call
// sequences of automatic registration.
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <functional>
#include <map>
#include <set>

#include "core/paths.h"
#include "nodes/node_group_guard.h"
#include "nodes/node_group_steps.h"
#include "nodes/node_move_record.h"
#include "nodes/node_store.h"
#include "nodes/node_writer.h"
#include "node_env.h"

namespace qvptest {
namespace {

namespace fs = std::filesystem;
using Snapshot = std::map<std::string, std::vector<uint8_t>>;  // relative path -> bytes ("/" dirs)

Snapshot Take(const fs::path& root) {
    Snapshot out;
    for (const char* area : {"NODEDEF", "NODEGROUP"}) {
        const fs::path dir = root / "SERVER" / "ZARNQV" / "MNGFL" / area;
        if (!fs::exists(dir)) continue;
        for (const auto& e : fs::recursive_directory_iterator(dir)) {
            const std::string rel = fs::relative(e.path(), root).string();
            out[rel + (e.is_directory() ? "/" : "")] =
                e.is_directory() ? std::vector<uint8_t>{} : NodeStoreBuilder::ReadBytes(e.path());
        }
    }
    // The record of a move under way, which a change that ends leaves nowhere.
    const fs::path moving = root / "SERVER" / "ZARNQV" / "MNGFL" / "NODEMOVE";
    if (fs::exists(moving)) out["NODEMOVE"] = NodeStoreBuilder::ReadBytes(moving);
    return out;
}

constexpr QVAPI_NODE_TIME kTime{2026, 12, 1, 7, 10, 30, 0, 0};

class DefinitionWriters : public NodeStoreTest {
protected:
    // A record as the store builder would hold it (paths and key are the library's to derive).
    QVAPI_NODE Record(const NodeStoreBuilder::Node& n) {
        NodeStoreBuilder::Node copy = n;
        copy.master.clear();
        copy.updated = copy.created = kTime;
        QVAPI_NODE r = scratch_.AddNode(copy);
        std::memset(r.ucNodeKey, 0, sizeof r.ucNodeKey);
        return r;
    }
    int Create(const std::string& key, const QVAPI_NODE& r) {
        QVAPI_NODE copy = r;
        return r.uiNodeAttributes == QVAPI_NODE_MASTER ? qvAPICreateMasterDefinition(key.c_str(), &copy, 0)
                                                       : qvAPICreateClientDefinition(key.c_str(), &copy, 0);
    }
    // Path fields as a caller placing the node below `path0` (and `hostIdPath`) gives them.
    static QVAPI_NODE Placed(QVAPI_NODE r, const char* path0, const char* hostIdPath = "") {
        std::strcpy(r.ucNodePath0, path0);
        std::strcpy(r.ucHostIDPath, hostIdPath);
        return r;
    }
    static QVAPI_NODE Stored(const std::string& name, bool master) {
        QVAPI_NODE r{};
        EXPECT_EQ(master ? qvAPIGetMasterDefinitionByName(name.c_str(), &r)
                         : qvAPIGetClientDefinitionByName(name.c_str(), &r),
                  1)
            << name;
        return r;
    }
    std::string WorkRoot() const { return (root_ / "SERVER" / "WORK" / "MNG" / "NODEDEF").string(); }

    fs::path scratchRoot_ = FreshRoot("scratch");
    NodeStoreBuilder scratch_{scratchRoot_};
    void TearDown() override {
        qvp::nodes::SetWriterFault(nullptr);
        win::fault::Reset();
        qvp::SetInsPackageRename(nullptr);
        qvp::SetSysInfoRename(nullptr);
        fs::remove_all(scratchRoot_);
        NodeStoreTest::TearDown();
    }
};

using NS = NodeStoreBuilder::Node;

TEST_F(DefinitionWriters, SequenceLeavesTheStoreTheBuilderWritesForTheFinalState) {
    const QVAPI_NODE alpha = Record({.name = "alpha", .kind = QVAPI_NODE_MASTER});
    const QVAPI_NODE g1 = Record({.name = "beta", .kind = QVAPI_NODE_MASTER, .hostId = "#G1"});
    ASSERT_EQ(Create("alpha", alpha), 1);
    ASSERT_EQ(Create("#G1", g1), 1);
    ASSERT_EQ(Create("pc1", Placed(Record({.name = "pc1"}), "\\alpha")), 1);
    ASSERT_EQ(Create("pc2", Placed(Record({.name = "pc2"}), "\\beta", "\\#G1")), 1);
    ASSERT_EQ(Create("pc3", Record({.name = "pc3"})), 1);
    ASSERT_EQ(Create("gamma", Placed(Record({.name = "gamma", .kind = QVAPI_NODE_MASTER}), "\\alpha")), 1);
    ASSERT_EQ(Create("pc4", Placed(Record({.name = "pc4"}), "\\alpha\\gamma")), 1);
    ASSERT_EQ(qvp::nodes::qvAPICreateNodeGroup("\\", "g1", 0, 0), 1);
    ASSERT_EQ(qvAPICreateClient("\\g1", "pc1", 0, 0), 1);
    ASSERT_EQ(qvAPICreateClient("\\g1", "pc3", 0, 0), 1);
    ASSERT_EQ(qvAPICreateClient("\\", "pc1", 0, 0), 1);

    QVAPI_NODE change = Stored("pc1", false);
    std::strcpy(change.ucNodeName, "pc1renamed");
    ASSERT_EQ(qvAPIChangeClientDefinition("pc1", QVAPI_CHANGE_KEY_NAME, &change, 0), 1);
    change = Stored("pc3", false);
    std::strcpy(change.ucHostID, "#C33");
    ASSERT_EQ(qvAPIChangeClientDefinition("pc3", QVAPI_CHANGE_HOST_ID, &change, 0), 1);
    // A caller's walk of the same thread goes on across the cascades below.
    QVAPI_NODE walked{};
    const QVPAPI_HANDLE walk = qvAPIFindFirstNodeDefinition("\\", &walked);
    ASSERT_NE(walk, QVPAPI_INVALID_HANDLE);
    change = Placed(Stored("gamma", true), "\\beta", "\\#G1");
    ASSERT_EQ(qvAPIChangeMasterDefinition("gamma", QVAPI_CHANGE_NODE_PATH, &change, 0), 1);
    change = Stored("#G1", true);
    std::strcpy(change.ucNodeName, "betaX");
    ASSERT_EQ(qvAPIChangeMasterDefinition("#G1", QVAPI_CHANGE_NODE_NAME, &change, 0), 1);
    EXPECT_EQ(qvAPIFindNextNodeDefinition(walk, &walked), 1);
    EXPECT_EQ(qvAPIFindCloseNodeDefinition(walk), 1);
    // A reader holding pc2's file for a moment (one sharing violation) only delays its delete.
    win::fault::Watch("\\C." + std::string(Stored("pc2", false).ucNodeKey));
    win::fault::FailNth(win::fault::Call::DeleteFile, 1, win::ERROR_SHARING_VIOLATION);
    ASSERT_EQ(qvAPIDeleteClientDefinition("pc2", 0, nullptr), 1) << std::hex << qvAPIGetLastError();
    EXPECT_EQ(win::fault::Calls(win::fault::Call::DeleteFile), 2u);

    const fs::path expectedRoot = FreshRoot("expected");
    NodeStoreBuilder expected(expectedRoot);
    const auto add = [&](NS n) {
        n.updated = n.created = kTime;
        expected.AddNode(n);
    };
    add({.name = "alpha", .kind = QVAPI_NODE_MASTER});
    add({.name = "betaX", .kind = QVAPI_NODE_MASTER, .hostId = "#G1"});
    add({.name = "pc1renamed", .master = "alpha"});
    add({.name = "pc3", .hostId = "#C33"});
    add({.name = "gamma", .kind = QVAPI_NODE_MASTER, .master = "#G1"});
    add({.name = "pc4", .master = "gamma"});
    expected.AddMember("\\g1", "pc1renamed");
    expected.AddMember("\\g1", "#C33", "#C33");
    expected.AddMember("\\", "pc1renamed");
    const Snapshot got = Take(root_);
    const Snapshot want = Take(expectedRoot);
    fs::remove_all(expectedRoot);
    for (const auto& [path, bytes] : want) {
        auto it = got.find(path);
        ASSERT_NE(it, got.end()) << "missing " << path;
        EXPECT_TRUE(it->second == bytes) << "differs " << path;
    }
    for (const auto& entry : got) EXPECT_TRUE(want.count(entry.first)) << "extra " << entry.first;
}

TEST_F(DefinitionWriters, RenameToAHashThatBeginsTheOldKeyLaysOutANewKey) {
    ASSERT_EQ(Create("ae8z", Record({.name = "ae8z"})), 1);  // hash 985
    ASSERT_TRUE(fs::exists(store_->NodeDefDir() / "C.985"));
    QVAPI_NODE change = Stored("ae8z", false);
    std::strcpy(change.ucNodeName, "a");  // hash 98
    ASSERT_EQ(qvAPIChangeClientDefinition("ae8z", QVAPI_CHANGE_KEY_NAME, &change, 0), 1);
    EXPECT_EQ(std::string(Stored("a", false).ucNodeKey), "98");
    EXPECT_FALSE(fs::exists(store_->NodeDefDir() / "C.985"));
}

// A host-ID master moved below a plain master loses its host-ID keying, and so do the nodes
// below it: "ab" and "ca" share a hash, and their new keys come from the tree being written.
TEST_F(DefinitionWriters, NodesReKeyedInOneCascadeGetTheirOwnSlots) {
    ASSERT_EQ(Create("alpha", Record({.name = "alpha", .kind = QVAPI_NODE_MASTER})), 1);
    ASSERT_EQ(Create("#G1", Record({.name = "hm", .kind = QVAPI_NODE_MASTER, .hostId = "#G1"})), 1);
    ASSERT_EQ(Create("#C1", Placed(Record({.name = "ab", .hostId = "#C1"}), "\\hm", "\\#G1")), 1);
    ASSERT_EQ(Create("#C2", Placed(Record({.name = "ca", .hostId = "#C2"}), "\\hm", "\\#G1")), 1);
    QVAPI_NODE move = Placed(Stored("#G1", true), "\\alpha");
    ASSERT_EQ(qvAPIChangeMasterDefinition("#G1", QVAPI_CHANGE_NODE_PATH, &move, 0), 1) << std::hex << qvAPIGetLastError();
    const std::string first = Stored("ab", false).ucNodeKey;
    const std::string second = Stored("ca", false).ucNodeKey;
    EXPECT_EQ(std::set<std::string>({first, second}), std::set<std::string>({"298", "298S1"}));
    EXPECT_EQ(std::string(Stored("ca", false).ucNodePath0), "\\alpha\\hm");
}

// Every step of a client's rename fails once; the store is left byte for byte as it was.
TEST_F(DefinitionWriters, AFailedRenameStepLeavesTheStoreAsItWas) {
    ASSERT_EQ(Create("alpha", Record({.name = "alpha", .kind = QVAPI_NODE_MASTER})), 1);
    ASSERT_EQ(Create("pc1", Placed(Record({.name = "pc1"}), "\\alpha")), 1);
    ASSERT_EQ(qvp::nodes::qvAPICreateNodeGroup("\\", "g1", 0, 0), 1);
    ASSERT_EQ(qvAPICreateClient("\\g1", "pc1", 0, 0), 1);
    static std::string failing;
    for (const char* step : {"dir.create", "attr.create", "flat.create", "flat.delete"}) {
        SCOPED_TRACE(step);
        const Snapshot before = Take(root_);
        failing = step;
        qvp::nodes::SetWriterFault([](const char* s) { return failing == s; });
        QVAPI_NODE change = Stored("pc1", false);
        std::strcpy(change.ucNodeName, "other");
        EXPECT_EQ(qvAPIChangeClientDefinition("pc1", QVAPI_CHANGE_KEY_NAME, &change, 0), 0);
        EXPECT_EQ(qvAPIGetLastError(), QVAPI_ERR_RESOURCE);
        qvp::nodes::SetWriterFault(nullptr);
        EXPECT_TRUE(Take(root_) == before);
        Stored("pc1", false);
    }
}

// A move record that is no move under way (another user's bytes, a forged key, one that matches
// nothing in the store) is removed by the next writer, which goes on, and no node is touched.
TEST_F(DefinitionWriters, AMoveRecordThatIsNoMoveUnderWayIsDroppedAndTheWriterGoesOn) {
    ASSERT_EQ(Create("alpha", Record({.name = "alpha"})), 1);
    ASSERT_EQ(Create("beta", Record({.name = "beta"})), 1);
    const std::vector<uint8_t> alphaFile = NodeStoreBuilder::ReadBytes(store_->NodeDefDir() / ("C." + std::string(Stored("alpha", false).ucNodeKey)));
    qvp::nodes::MoveRecord stale{false, Stored("alpha", false), Stored("alpha", false), {{"elsewhere", "#E1"}}};
    std::strcpy(stale.from.ucNodeName, "gone");
    std::strcpy(stale.to.ucNodeName, "elsewhere");
    std::strcpy(stale.to.ucHostID, "#E1");
    qvp::nodes::MoveRecord forged = stale;
    std::strcpy(forged.to.ucNodeKey, "..");
    qvp::nodes::MoveRecord parsed;
    ASSERT_TRUE(qvp::nodes::ParseMoveRecord(qvp::nodes::MoveRecordBytes(stale), parsed));
    EXPECT_EQ(parsed.renames, stale.renames);
    EXPECT_FALSE(qvp::nodes::ParseMoveRecord(qvp::nodes::MoveRecordBytes(forged), parsed));
    std::vector<uint8_t> cut = qvp::nodes::MoveRecordBytes(stale);
    cut.resize(cut.size() - 1);
    const fs::path record = root_ / "SERVER" / "ZARNQV" / "MNGFL" / "NODEMOVE";
    for (const std::vector<uint8_t>& bytes : {qvp::nodes::MoveRecordBytes(stale), qvp::nodes::MoveRecordBytes(forged), cut,
                                              std::vector<uint8_t>(5000, 'A')}) {
        store_->WriteRawFile(record, bytes.data(), bytes.size());
        QVAPI_NODE beta = Stored("beta", false);
        EXPECT_EQ(qvAPIChangeClientDefinition("beta", 0x4000, &beta, 0), 1) << std::hex << qvAPIGetLastError();
        EXPECT_FALSE(fs::exists(record));
        EXPECT_EQ(NodeStoreBuilder::ReadBytes(store_->NodeDefDir() / ("C." + std::string(Stored("alpha", false).ucNodeKey))), alphaFile);
    }
    // The writers' quick look for a record finds one whose name differs only in case, as the
    // open of the name does.
    const fs::path otherCase = record.parent_path() / "NodeMove";
    const std::vector<uint8_t> bytes = qvp::nodes::MoveRecordBytes(stale);
    store_->WriteRawFile(otherCase, bytes.data(), bytes.size());
    QVAPI_NODE beta = Stored("beta", false);
    EXPECT_EQ(qvAPIChangeClientDefinition("beta", 0x4000, &beta, 0), 1) << std::hex << qvAPIGetLastError();
    EXPECT_FALSE(fs::exists(otherCase));
}

// What another user of the store plants at the move record's name holds no move: the next writer
// removes it as the name it is (nothing behind a link or a second name touched, a folder with
// what is in it) and the move goes on; nothing is left beside the record's name.
TEST_F(DefinitionWriters, WhatIsPlantedAtTheMoveRecordsNameHoldsNoMove) {
    ASSERT_EQ(Create("beta", Record({.name = "beta"})), 1);
    const fs::path mngfl = root_ / "SERVER" / "ZARNQV" / "MNGFL";
    const fs::path record = mngfl / "NODEMOVE";
    const fs::path outside = scratchRoot_ / "outside";
    fs::create_directories(outside);
    std::ofstream(outside / "file") << "outside";
    const std::vector<uint8_t> outsideBytes = NodeStoreBuilder::ReadBytes(outside / "file");
    const auto names = [&mngfl] {
        std::set<std::string> out;
        for (const auto& e : fs::directory_iterator(mngfl)) out.insert(e.path().filename().string());
        return out;
    };
    const std::set<std::string> before = names();
    const struct {
        const char* what;
        std::function<void(const fs::path&)> plant;
    } plants[] = {
        {"folder", [](const fs::path& p) { fs::create_directories(p / "sub"), std::ofstream(p / "sub" / "x") << 1; }},
        {"FIFO", [](const fs::path& p) { ASSERT_EQ(mkfifo(p.c_str(), 0600), 0); }},
        {"link to a file outside", [&](const fs::path& p) { fs::create_symlink(outside / "file", p); }},
        {"dangling link", [&](const fs::path& p) { fs::create_symlink(outside / "none", p); }},
        {"hard link to a file outside", [&](const fs::path& p) { fs::create_hard_link(outside / "file", p); }},
        {"read-only file",
         [](const fs::path& p) { std::ofstream(p) << "planted", fs::permissions(p, fs::perms::owner_read); }},
    };
    std::string name = "beta";
    for (const auto& [what, plant] : plants) {
        SCOPED_TRACE(what);
        plant(record);
        QVAPI_NODE node = Stored(name, false);
        const std::string next = name + "x";
        std::strcpy(node.ucNodeName, next.c_str());
        const int changed = qvAPIChangeClientDefinition(name.c_str(), 0x800000, &node, 0);
        EXPECT_EQ(changed, 1) << std::hex << qvAPIGetLastError();
        if (changed == 1) name = next;
        EXPECT_EQ(names(), before);
        EXPECT_EQ(NodeStoreBuilder::ReadBytes(outside / "file"), outsideBytes);
        EXPECT_FALSE(fs::exists(outside / "none"));
        fs::remove_all(record);
    }
}

// A record left by a move that the store went on without: the node it moves still stands whole,
// but the name it moves to is another node's now. No move is made over that node: the record goes.
TEST_F(DefinitionWriters, ARecordWhoseNewNameIsAnotherNodesNowIsDropped) {
    ASSERT_EQ(Create("alpha", Record({.name = "alpha"})), 1);
    ASSERT_EQ(Create("beta", Record({.name = "beta"})), 1);
    QVAPI_NODE node = Stored("alpha", false);
    std::strcpy(node.ucNodeName, "gamma");
    ASSERT_EQ(qvAPIChangeClientDefinition("alpha", 0x800000, &node, 0), 1);
    const QVAPI_NODE movedTo = Stored("gamma", false);
    node = movedTo;
    std::strcpy(node.ucNodeName, "alpha");
    ASSERT_EQ(qvAPIChangeClientDefinition("gamma", 0x800000, &node, 0), 1);
    ASSERT_EQ(Create("gamma", Record({.name = "gamma", .macAddress = "001122334455"})), 1);
    ASSERT_STREQ(Stored("gamma", false).ucNodeKey, movedTo.ucNodeKey) << "the new name's file is the other node's";
    const Snapshot before = Take(root_);
    const std::vector<uint8_t> stale = qvp::nodes::MoveRecordBytes({false, Stored("alpha", false), movedTo, {}});
    store_->WriteRawFile(root_ / "SERVER" / "ZARNQV" / "MNGFL" / "NODEMOVE", stale.data(), stale.size());
    QVAPI_NODE beta = Stored("beta", false);
    EXPECT_EQ(qvAPIChangeClientDefinition("beta", 0, &beta, 0), 1) << std::hex << qvAPIGetLastError();
    Snapshot after = Take(root_);
    EXPECT_TRUE(after == before);
}

// Move records another user of the store could write but no move writes: each is refused (at
// reading) or dropped (at finishing) by the next writer, which changes nothing in the store and
// renames no inventory; a record a move could have written is still finished.
TEST_F(DefinitionWriters, AMoveRecordNoChangeCouldHaveWrittenChangesNothing) {
    EnableLog();
    const auto made = [this](NS n, uint16_t minute) {  // each node its own creation time
        QVAPI_NODE r = Record(n);
        r.stCreateTime.wMinute = minute;
        return r;
    };
    ASSERT_EQ(Create("M1", made({.name = "M1", .kind = QVAPI_NODE_MASTER}, 1)), 1);
    ASSERT_EQ(Create("M3", Placed(made({.name = "M3", .kind = QVAPI_NODE_MASTER}, 2), "\\M1")), 1);
    ASSERT_EQ(Create("c1", Placed(made({.name = "c1"}, 3), "\\M1")), 1);
    ASSERT_EQ(Create("#C41", made({.name = "pc1", .hostId = "#C41"}, 4)), 1) << std::hex << qvAPIGetLastError();
    ASSERT_EQ(Create("pc2", made({.name = "pc2"}, 5)), 1);
    ASSERT_EQ(Create("pc3", made({.name = "pc3"}, 5)), 1);  // made alike, in another group
    // A master and a client below it that know host IDs but are keyed by name, below M1.
    const auto knowing = [&made](NS n, uint16_t minute, const char* path0) {
        QVAPI_NODE r = Placed(made(n, minute), path0);
        r.ucHostIDFlag = 0;
        return r;
    };
    ASSERT_EQ(Create("M5", knowing({.name = "M5", .kind = QVAPI_NODE_MASTER, .hostId = "#G5"}, 6, "\\M1")), 1);
    ASSERT_EQ(Create("c5", knowing({.name = "c5", .hostId = "#C45"}, 7, "\\M1\\M5")), 1);
    ASSERT_EQ(Create("M9", knowing({.name = "M9", .kind = QVAPI_NODE_MASTER, .hostId = "#G9"}, 6, "\\M1")), 1);
    ASSERT_EQ(qvp::nodes::qvAPICreateNodeGroup("\\", "g1", 0, 0), 1);
    for (const char* member : {"c1", "pc2"}) ASSERT_EQ(qvAPICreateClient("\\g1", member, 0, 0), 1);
    ASSERT_EQ(qvp::nodes::qvAPICreateNodeGroup("\\", "g2", 0, 0), 1);
    ASSERT_EQ(qvAPICreateClient("\\g2", "pc3", 0, 0), 1);
    // Another user's copy of pc2 under the name pc9: his definition of it (alike, a group member
    // as pc2 is) and a copy of pc2's attribution file, whose back-links name pc2's group.
    ASSERT_EQ(Create("pc9", made({.name = "pc9"}, 5)), 1);
    const auto replace = [this](const fs::path& path, const void* bytes, size_t size) {
        fs::remove(path);
        store_->WriteRawFile(path, bytes, size);
        ASSERT_TRUE(geteuid() != 0 || chown(path.c_str(), 65534, 65534) == 0);
    };
    {
        const QVAPI_NODE from = Stored("pc2", false);
        QVAPI_NODE copy = NodeStoreBuilder::ReadRecord(store_->DefinitionPath(Stored("pc9", false)));
        copy.uiNodeGroupFlag = NodeStoreBuilder::ReadRecord(store_->DefinitionPath(from)).uiNodeGroupFlag;
        replace(store_->DefinitionPath(copy), &copy, sizeof copy);
        const std::vector<uint8_t> links = NodeStoreBuilder::ReadBytes(store_->AttributionPath(from));
        replace(store_->AttributionPath(copy), links.data(), links.size());
    }
    // The definition files as every user of the store can read them.
    const auto file = [this](const char* name, bool master) {
        return NodeStoreBuilder::ReadRecord(store_->NodeDefDir() /
                                            ((master ? "M." : "C.") + std::string(Stored(name, master).ucNodeKey)));
    };
    const QVAPI_NODE m1 = file("M1", true), m3 = file("M3", true), m5 = file("M5", true), c1 = file("c1", false),
                     pc1 = file("#C41", false), pc2 = file("pc2", false), pc3 = file("pc3", false),
                     pc9 = file("pc9", false), m9 = file("M9", true);
    const auto with = [](QVAPI_NODE r, const std::function<void(QVAPI_NODE&)>& set) {
        set(r);
        return r;
    };
    const auto keyedAt = [&with](const QVAPI_NODE& r, const std::string& keyPath, const char* key) {
        return with(r, [&](QVAPI_NODE& n) {
            std::snprintf(n.ucNodeKeyPath, sizeof n.ucNodeKeyPath, "%s", keyPath.c_str());
            std::snprintf(n.ucNodeKey, sizeof n.ucNodeKey, "%s", key);
        });
    };
    const auto placed = [&keyedAt](const QVAPI_NODE& r, const char* path0, const std::string& keyPath) {
        QVAPI_NODE n = keyedAt(r, keyPath, r.ucNodeKey);
        std::snprintf(n.ucNodePath0, sizeof n.ucNodePath0, "%s", path0);
        return n;
    };
    const auto named = [&with](const QVAPI_NODE& r, const char* name) {
        return with(r, [name](QVAPI_NODE& n) { std::snprintf(n.ucNodeName, sizeof n.ucNodeName, "%s", name); });
    };
    const std::string m1Keys = "\\" + std::string(m1.ucNodeKey);
    constexpr char kInvalid[] = "Move Record is INVALID";
    constexpr char kRefused[] = "Killed Move Refused";
    const struct {
        const char* what;
        qvp::nodes::MoveRecord record;
        const char* logged;
    } cases[] = {
        {"empty key at the top", {false, keyedAt(pc2, "\\", ""), pc2, {}}, kInvalid},
        {"empty key below a master", {false, keyedAt(pc2, m1Keys, ""), pc2, {}}, kInvalid},
        {"master below its own child", {true, m1, placed(m1, "\\M1\\M3", m1Keys + "\\" + m3.ucNodeKey), {}}, kRefused},
        {"client below a missing master", {false, c1, placed(c1, "\\NOSUCH", "\\999"), {}}, kRefused},
        {"two stored clients", {false, pc2, pc1, {}}, kInvalid},
        {"old name another member of the node's group", {false, named(pc2, "c1"), pc2, {}}, kRefused},
        {"two nodes made alike, in other groups", {false, pc2, pc3, {}}, kRefused},
        {"old name a live client at another key than the record's",
         {false, keyedAt(pc2, pc2.ucNodeKeyPath, (std::string(pc2.ucNodeKey) + "S9").c_str()), pc9, {}},
         kRefused},
        {"old name a live master at another key than the record's",
         {true, keyedAt(m5, m5.ucNodeKeyPath, (std::string(m5.ucNodeKey) + "S9").c_str()), m9, {{"M5", "#G5"}}},
         kRefused},
        {"client renaming another node's inventory", {false, c1, named(c1, "c1x"), {{"pc1", "#C41"}}}, kInvalid},
        {"master renaming another node's inventory", {true, m3, named(m3, "M3x"), {{"pc1", "#C41"}}}, kRefused},
    };
    static std::vector<std::string> renamed;
    qvp::SetInsPackageRename([](const char* from, const char* to, uint32_t, uint32_t) {
        renamed.push_back(std::string(from) + " to " + to);
        return 1;
    });
    const fs::path recordPath = root_ / "SERVER" / "ZARNQV" / "MNGFL" / "NODEMOVE";
    // Written as another user of the store's group would: his own file beside the caller's.
    const auto plant = [&](const qvp::nodes::MoveRecord& record) {
        const std::vector<uint8_t> bytes = qvp::nodes::MoveRecordBytes(record);
        store_->WriteRawFile(recordPath, bytes.data(), bytes.size());
        ASSERT_TRUE(geteuid() != 0 || chown(recordPath.c_str(), 65534, 65534) == 0);
        ASSERT_EQ(chmod(recordPath.c_str(), 0644), 0);
    };
    const Snapshot before = Take(root_);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        renamed.clear();
        plant(c.record);
        const size_t logged = LogMessages().size();
        EXPECT_EQ(qvAPIDeleteClientDefinition("nosuch", 0, nullptr), 0);
        EXPECT_EQ(qvAPIGetLastError(), QVAPI_ERR_NOT_FOUND);
        EXPECT_TRUE(Take(root_) == before);
        EXPECT_EQ(renamed, std::vector<std::string>{});
        const std::vector<std::string> messages = LogMessages();
        EXPECT_TRUE(std::any_of(messages.begin() + static_cast<std::ptrdiff_t>(std::min(logged, messages.size())),
                                messages.end(), [&c](const std::string& m) { return m.find(c.logged) != std::string::npos; }))
            << c.logged;
    }
    // The same moves as a change writes them are finished, with the renames of their own inventory
    // and, for a master, of the nodes below it: a client below a master that is not keyed by host
    // ID, a master to the top, where it and the nodes below it are keyed by their host IDs.
    renamed.clear();
    QVAPI_NODE moved = with(placed(pc1, "\\M1", m1Keys), [](QVAPI_NODE& n) { n.ucHostIDFlag = 0; });
    std::snprintf(moved.ucNodeKey, sizeof moved.ucNodeKey, "%u", NodeStoreBuilder::ComponentHash("pc1"));
    std::memset(moved.ucHostIDPath, 0, sizeof moved.ucHostIDPath);
    plant({false, pc1, moved, {{"#C41", "pc1"}}});
    EXPECT_EQ(qvAPIDeleteClientDefinition("nosuch", 0, nullptr), 0);
    EXPECT_EQ(std::string(Stored("pc1", false).ucNodePath0), "\\M1");
    EXPECT_EQ(renamed, std::vector<std::string>{"#C41 to pc1"});
    EXPECT_FALSE(fs::exists(recordPath));
    renamed.clear();
    moved = with(placed(m5, "\\", ""), [](QVAPI_NODE& n) {
        n.ucHostIDFlag = 1;
        std::strcpy(n.ucHostIDPath, "\\");
    });
    std::snprintf(moved.ucNodeKey, sizeof moved.ucNodeKey, "%u", NodeStoreBuilder::ComponentHash("#G5"));
    plant({true, m5, moved, {{"M5", "#G5"}, {"c5", "#C45"}}});
    EXPECT_EQ(qvAPIDeleteClientDefinition("nosuch", 0, nullptr), 0);
    EXPECT_EQ(std::string(Stored("#G5", true).ucNodePath0), "\\");
    EXPECT_EQ(std::string(Stored("#C45", false).ucHostIDPath), "\\#G5");
    EXPECT_EQ(renamed, (std::vector<std::string>{"M5 to #G5", "c5 to #C45"}));
    EXPECT_FALSE(fs::exists(recordPath));
}

// A walk below a master lists each definition once, through its own key folder, however the
// folders another user of the store planted lead to it again: below M, two masters of one name
// and node path at every level, each level's folders holding the next level's (two masters that
// own one key folder, as no change can make), and a twin of each key folder named in other case.
// A planted move record of M then answers at once and goes; a rename and a delete of M end.
TEST_F(DefinitionWriters, AWalkBelowAMasterListsEachDefinitionOnce) {
    EnableLog();
    ASSERT_EQ(Create("M", Record({.name = "M", .kind = QVAPI_NODE_MASTER})), 1);
    const fs::path nodeDef = store_->NodeDefDir();
    const QVAPI_NODE m = NodeStoreBuilder::ReadRecord(nodeDef / ("M." + std::string(Stored("M", true).ucNodeKey)));
    constexpr int kLevels = 16;  // as deep as a long install root leaves room for
    constexpr char kLevelMarks[] = "0123456789abcdefghijklmnopqrstuvwxyz";
    std::string path0 = qvp::nodes::FullPathOf(m), keyPath = "\\" + std::string(m.ucNodeKey);
    fs::path keyDir = nodeDef / m.ucNodeKey;
    for (int level = 1; level <= kLevels; ++level) {
        const char mark = kLevelMarks[level];
        for (const char twin : {'a', 'b'}) {
            QVAPI_NODE r = m;
            std::snprintf(r.ucNodeName, sizeof r.ucNodeName, "L%c", mark);
            std::snprintf(r.ucNodePath0, sizeof r.ucNodePath0, "%s", path0.c_str());
            std::snprintf(r.ucNodeKeyPath, sizeof r.ucNodeKeyPath, "%s", keyPath.c_str());
            std::snprintf(r.ucNodeKey, sizeof r.ucNodeKey, "%c%c", twin, mark);
            std::memset(r.ucHostIDPath, 0, sizeof r.ucHostIDPath);
            store_->WriteDefinitionFile("M." + std::string(r.ucNodeKey), r);
            fs::create_directories(keyDir / r.ucNodeKey);
            fs::create_directories(keyDir / std::string{static_cast<char>(twin - 'a' + 'A'), mark});
            if (level > 1) fs::create_directories(keyDir.parent_path() / ("b" + std::string(1, kLevelMarks[level - 1])) /
                                                  r.ucNodeKey);
        }
        path0 += "\\L" + std::string(1, mark);
        keyPath += "\\a" + std::string(1, mark);
        keyDir /= "a" + std::string(1, mark);
    }
    const fs::path recordPath = root_ / "SERVER" / "ZARNQV" / "MNGFL" / "NODEMOVE";
    QVAPI_NODE renamed = m;
    std::strcpy(renamed.ucNodeName, "Mx");
    const std::vector<uint8_t> bytes = qvp::nodes::MoveRecordBytes({true, m, renamed, {{"pc9", "#C49"}}});
    store_->WriteRawFile(recordPath, bytes.data(), bytes.size());
    // A walk that lists a folder more than a few times a level is cut short, and its call fails.
    constexpr unsigned kListingsCut = 2000;
    const auto bounded = [&](const std::function<int()>& call) {
        win::fault::Watch("NODEDEF");
        win::fault::FailNth(win::fault::Call::FindFirstFile, kListingsCut, win::ERROR_NOT_ENOUGH_MEMORY);
        const int answer = call();
        EXPECT_LT(win::fault::Calls(win::fault::Call::FindFirstFile), kListingsCut);
        win::fault::Reset();
        return answer;
    };
    EXPECT_EQ(bounded([] { return qvAPIDeleteClientDefinition("nosuch", 0, nullptr); }), 0);
    EXPECT_EQ(qvAPIGetLastError(), QVAPI_ERR_NOT_FOUND);
    EXPECT_FALSE(fs::exists(recordPath));
    const std::vector<std::string> messages = LogMessages();
    EXPECT_TRUE(std::any_of(messages.begin(), messages.end(),
                            [](const std::string& s) { return s.find("Killed Move Refused") != std::string::npos; }));
    QVAPI_NODE change = Stored("M", true);
    std::strcpy(change.ucNodeName, "Mx");
    EXPECT_EQ(bounded([&change] { return qvAPIChangeMasterDefinition("M", QVAPI_CHANGE_KEY_NAME, &change, 0); }), 1)
        << std::hex << qvAPIGetLastError();
    EXPECT_EQ(bounded([] { return qvAPIDeleteMasterDefinition("Mx", 0, nullptr); }), 1)
        << std::hex << qvAPIGetLastError();
    for (const auto& e : fs::directory_iterator(nodeDef)) ADD_FAILURE() << e.path() << " left";
}

// A key folder that no definition owns is swept, but never the tree itself, a level above a key,
// or a folder that holds a folder some definition places there.
TEST_F(DefinitionWriters, OnlyAnOrphanKeyFolderIsSwept) {
    ASSERT_EQ(Create("M1", Record({.name = "M1", .kind = QVAPI_NODE_MASTER})), 1);
    ASSERT_EQ(Create("c1", Placed(Record({.name = "c1"}), "\\M1")), 1);
    const fs::path nodeDef = store_->NodeDefDir();
    const std::string live = qvp::nodes::NodeDefDir();
    const std::string m1Key = Stored("M1", true).ucNodeKey;
    // M1's definition set aside: its folder is no key folder of a definition now, but c1's is in it.
    fs::rename(nodeDef / ("M." + m1Key), root_ / "M1");
    fs::create_directories(nodeDef / "777" / "sub");
    const Snapshot before = Take(root_);
    for (const std::string& dir : {live + "\\", live + "\\" + m1Key, live + "\\" + m1Key + "\\", live + "\\.",
                                   live + "\\777\\.."}) {
        SCOPED_TRACE(dir);
        qvp::nodes::SweepOrphanKeyDir(live, dir);
        EXPECT_TRUE(Take(root_) == before);
    }
    qvp::nodes::SweepOrphanKeyDir(live, live + "\\777");
    EXPECT_FALSE(fs::exists(nodeDef / "777"));
    EXPECT_TRUE(fs::exists(store_->AttributionPath(Stored("c1", false))));
}

// A swap that fails at any of its moves keeps NODEDEF and takes back the group renames.
TEST_F(DefinitionWriters, AFailedSwapMoveKeepsNodedefAndTheGroups) {
    ASSERT_EQ(Create("m1", Record({.name = "m1", .kind = QVAPI_NODE_MASTER})), 1);
    ASSERT_EQ(Create("pc1", Placed(Record({.name = "pc1"}), "\\m1")), 1);
    ASSERT_EQ(qvp::nodes::qvAPICreateMaster("\\", "m1", 0, 0), 1);
    static std::string failing;
    for (const char* step : {"swap.copy", "swap.move1", "swap.exchange"}) {
        SCOPED_TRACE(step);
        const Snapshot before = Take(root_);
        failing = step;
        qvp::nodes::SetWriterFault([](const char* s) { return failing == s; });
        QVAPI_NODE change = Stored("m1", true);
        std::strcpy(change.ucNodeName, "m2");
        EXPECT_EQ(qvAPIChangeMasterDefinition("m1", QVAPI_CHANGE_KEY_NAME, &change, 0), 0);
        qvp::nodes::SetWriterFault(nullptr);
        EXPECT_TRUE(Take(root_) == before);
        EXPECT_FALSE(fs::exists(WorkRoot() + "/Nodebak"));
    }
}

TEST_F(DefinitionWriters, DisplayNameChangeKeepsOtherWorkCopiesAndRestoresAnInterruptedSwap) {
    ASSERT_EQ(Create("#G7", Record({.name = "host7", .kind = QVAPI_NODE_MASTER, .hostId = "#G7"})), 1);
    ASSERT_EQ(Create("pc1", Placed(Record({.name = "pc1"}), "\\host7", "\\#G7")), 1);
    fs::create_directories(WorkRoot() + "/IDSYNC4242");
    std::ofstream(WorkRoot() + "/IDSYNC4242/idsyncIDgrp") << "x";
    fs::create_directories(WorkRoot() + "/4243");
    QVAPI_NODE master = Stored("#G7", true);
    // A crash between the second and the third move: the live tree waits as the backup.
    fs::rename(store_->NodeDefDir(), WorkRoot() + "/Nodebak");
    ASSERT_EQ(qvp::nodes::qvAPIChangeGuiNameMasterDefinition(&master, "host8"), 1) << std::hex << qvAPIGetLastError();
    EXPECT_EQ(std::string(master.ucNodeName), "host8");
    EXPECT_EQ(std::string(Stored("pc1", false).ucNodePath0), "\\host8");
    EXPECT_TRUE(fs::exists(WorkRoot() + "/IDSYNC4242/idsyncIDgrp"));
    EXPECT_TRUE(fs::exists(WorkRoot() + "/4243"));
    EXPECT_FALSE(fs::exists(WorkRoot() + "/Nodebak"));
}

// Nodes below a master keyed by host ID are re-keyed by theirs: two on one hash take two slots.
TEST_F(DefinitionWriters, DisplayNameSwapGivesNodesReKeyedOntoOneHashDistinctSlots) {
    ASSERT_EQ(NodeStoreBuilder::ComponentHash("#G0005"), NodeStoreBuilder::ComponentHash("#G0060"));
    store_->AddNode({.name = "host7", .kind = QVAPI_NODE_MASTER, .address = {10, 0, 0, 7}, .hostId = "#G7"});
    for (const auto& [name, hostId] : {std::pair{"pca", "#G0005"}, std::pair{"pcb", "#G0060"}}) {
        QVAPI_NODE r = store_->AddNode({.name = name, .address = {10, 0, 0, 8}, .master = "#G7"});
        std::strcpy(r.ucHostID, hostId);  // known, not yet the key
        store_->WriteDefinitionFile(std::string("C.") + r.ucNodeKey, r);
        store_->WriteAttributionFile(r, {});
    }
    QVAPI_NODE master = Stored("#G7", true);
    ASSERT_EQ(qvp::nodes::qvAPIChangeGuiNameMasterDefinition(&master, "host8"), 1) << std::hex << qvAPIGetLastError();
    std::set<std::string> keys;
    for (const char* hostId : {"#G0005", "#G0060"}) {
        const QVAPI_NODE r = Stored(hostId, false);
        EXPECT_EQ(r.ucHostIDFlag, 1);
        EXPECT_STREQ(r.ucNodePath0, "\\host8");
        keys.insert(r.ucNodeKey);
        EXPECT_TRUE(fs::exists(store_->NodeDefDir() / (std::string("C.") + r.ucNodeKey))) << hostId;
    }
    const std::string hash = std::to_string(NodeStoreBuilder::ComponentHash("#G0005"));
    EXPECT_EQ(keys, (std::set<std::string>{hash, hash + "S1"}));
}

// Keys that are no slot of their names' hashes are laid out again as a master's cascade rewrites
// the nodes below it, in the tree being written: two on one hash take two slots, and the live
// store stays as it was until the tree is swapped in.
TEST_F(DefinitionWriters, ACascadeLaysOutStaleKeysInTheTreeItWrites) {
    store_->AddNode({.name = "m1", .kind = QVAPI_NODE_MASTER, .address = {10, 0, 0, 1}});
    for (const auto& [name, key] : {std::pair{"ab", "7001"}, std::pair{"ca", "7002"}})
        store_->AddNode({.name = name, .address = {10, 0, 0, 8}, .master = "m1", .key = key});
    static Snapshot before;
    static fs::path root;
    static bool swapped;
    before = Take(root_);
    root = root_;
    swapped = false;
    qvp::nodes::SetWriterFault([](const char* step) {
        if (std::string(step) != "swap.move1") return false;
        swapped = true;
        Snapshot now = Take(root);
        EXPECT_EQ(now.erase("NODEMOVE"), 1u) << "the move is recorded";
        EXPECT_TRUE(now == before) << "the live store changed before the swap";
        return false;
    });
    QVAPI_NODE change = Stored("m1", true);
    std::strcpy(change.ucNodeName, "m2");
    ASSERT_EQ(qvAPIChangeMasterDefinition("m1", QVAPI_CHANGE_KEY_NAME, &change, 0), 1) << std::hex << qvAPIGetLastError();
    EXPECT_TRUE(swapped);
    std::set<std::string> keys;
    for (const char* name : {"ab", "ca"}) {
        const QVAPI_NODE r = Stored(name, false);
        EXPECT_STREQ(r.ucNodePath0, "\\m2");
        keys.insert(r.ucNodeKey);
    }
    EXPECT_EQ(keys, (std::set<std::string>{"298", "298S1"}));
}

TEST_F(DefinitionWriters, RefusalsLeaveNothingBehind) {
    ASSERT_EQ(Create("m1", Record({.name = "m1", .kind = QVAPI_NODE_MASTER})), 1);
    ASSERT_EQ(Create("m2", Placed(Record({.name = "m2", .kind = QVAPI_NODE_MASTER}), "\\m1")), 1);
    // Every slot of a hash up to 256 taken: no key for one more name.
    QVAPI_NODE filler = Record({.name = "zzz"});
    store_->WriteDefinitionFile("C." + std::to_string(NodeStoreBuilder::ComponentHash("abc")) + "S256", filler);
    const Snapshot before = Take(root_);
    struct Case {
        const char* key;
        QVAPI_NODE record;
        uint32_t code;
        bool plantAtKey = false;  // a file put at the key once it is chosen, as by another writer
    } cases[] = {
        {"abc", Record({.name = "abc"}), QVAPI_ERR_INVALID_PARAMETER},             // SynonymOver
        {"m1", Record({.name = "m1"}), QVAPI_ERR_ALREADY_EXISTS},                  // a master at "\"
        {"pcx", Placed(Record({.name = "pcx"}), "\\nobody"), QVAPI_ERR_FILE_NOT_FOUND},
        {"other", Record({.name = "pcy"}), QVAPI_ERR_INVALID_PARAMETER},           // key names no field
        {"pcz", Record({.name = "pcz"}), QVAPI_ERR_ALREADY_EXISTS, true},          // never replaced
    };
    static fs::path planted;  // none: nothing planted
    qvp::nodes::SetWriterFault([](const char* step) {
        if (!planted.empty() && std::string(step) == "create.file" && !fs::exists(planted))
            std::ofstream(planted) << "planted";
        return false;
    });
    for (const Case& c : cases) {
        SCOPED_TRACE(c.key);
        planted = c.plantAtKey ? store_->NodeDefDir() / ("C." + std::to_string(NodeStoreBuilder::ComponentHash(c.key)))
                               : fs::path();
        EXPECT_EQ(Create(c.key, c.record), 0);
        EXPECT_EQ(qvAPIGetLastError(), c.code);
        EXPECT_TRUE(!c.plantAtKey || fs::file_size(planted) == 7u);  // kept whole
        if (c.plantAtKey) fs::remove(planted);
    }
    qvp::nodes::SetWriterFault(nullptr);
    QVAPI_NODE move = Placed(Stored("m1", true), "\\m1\\m2");
    EXPECT_EQ(qvAPIChangeMasterDefinition("m1", QVAPI_CHANGE_NODE_PATH, &move, 0), 0);
    EXPECT_EQ(qvAPIGetLastError(), QVAPI_ERR_INVALID_PARAMETER);
    QVAPI_NODE older = Stored("m2", true);
    older.stUpdateTime.wYear = 2020;
    EXPECT_EQ(qvAPIChangeMasterDefinition("m2", QVAPI_CHANGE_MAC_ADDRESS, &older, 0), 0);
    EXPECT_EQ(qvAPIGetLastError(), QVAPI_ERR_NOT_FOUND);
    EXPECT_EQ(qvAPIDeleteMasterDefinition("m1", 0, &older.stUpdateTime), 0);
    EXPECT_TRUE(Take(root_) == before);
}

TEST_F(DefinitionWriters, IpKeyedNodesAreKeyedByTheirAddress) {
    SetKey(1);
    const auto ipNode = [&](const char* name, uint32_t kind, std::array<uint8_t, 4> address, const char* path0) {
        QVAPI_NODE r = Record({.name = name, .kind = kind, .address = address, .ipKeyed = true});
        return Placed(r, path0);
    };
    ASSERT_EQ(Create("10.0.0.1", ipNode("m-ip", QVAPI_NODE_MASTER, {10, 0, 0, 1}, "\\")), 1);
    ASSERT_EQ(Create("010.0.0.5", ipNode("c-ip", QVAPI_NODE_CLIENT, {10, 0, 0, 5}, "\\10.0.0.1")), 1);
    const fs::path nodeDef = store_->NodeDefDir();
    EXPECT_TRUE(fs::exists(nodeDef / "10.0.0.1" / "10.0.0.5" / "nodeattributionfile"));
    QVAPI_NODE change = Stored("10.0.0.5", false);
    EXPECT_EQ(std::string(change.ucNodeKey), "");
    change.ucNodeAddress[3] = 6;
    ASSERT_EQ(qvAPIChangeClientDefinition("10.0.0.5", QVAPI_CHANGE_KEY_NAME, &change, 0), 1);
    EXPECT_FALSE(fs::exists(nodeDef / "C.10.0.0.5"));
    EXPECT_TRUE(fs::exists(nodeDef / "10.0.0.1" / "10.0.0.6" / "nodeattributionfile"));
    QVAPI_NODE walked{};
    const QVPAPI_HANDLE walk = qvAPIFindFirstNodeDefinition("\\10.0.0.1", &walked);
    ASSERT_NE(walk, QVPAPI_INVALID_HANDLE);
    EXPECT_EQ(walked.ucNodeAddress[3], 6);
    qvAPIFindCloseNodeDefinition(walk);
    ASSERT_EQ(qvAPIDeleteMasterDefinition("10.0.0.1", 0, nullptr), 1);
    EXPECT_EQ(qvAPIGetClientDefinitionByName("10.0.0.6", &walked), 0);
    EXPECT_TRUE(fs::is_empty(nodeDef));
}

// Automatic registration holds the semaphore and the mutex and calls the writers one flag at a
// time with the same report time, then adds the node to the root group and deletes it again.
TEST_F(DefinitionWriters, RegistrationSequenceNeverBusyToItself) {
    qvp::nodes::NodeWriterGuard held(*block_);
    ASSERT_EQ(held.Acquire(), 0u);
    QVAPI_NODE r = Record({.name = "host1", .commonName = "cn-host1"});
    r.uiConnectKind = 1;  // shown and addressed by its common name
    ASSERT_EQ(Create("cn-host1", r), 1) << std::hex << qvAPIGetLastError();
    EXPECT_EQ(std::string(Stored("cn-host1", false).ucNodeName), "host1");
    ASSERT_EQ(qvAPICreateClient("\\", "cn-host1", 0, 0), 1);
    QVAPI_NODE next = Stored("cn-host1", false);
    std::strcpy(next.ucNodeName, "host2");
    std::strcpy(next.ucMACAddress, "00AA00BB00CC");
    next.ucNodeAddress[0] = 10;
    for (uint32_t flag : {QVAPI_CHANGE_NODE_NAME, QVAPI_CHANGE_ADDRESS, QVAPI_CHANGE_MAC_ADDRESS,
                          QVAPI_CHANGE_UPDATE_TIME}) {
        EXPECT_EQ(qvAPIChangeClientDefinition("cn-host1", flag, &next, 0), 1) << std::hex << flag;
    }
    std::strcpy(next.ucCommonName, "cn-host2");
    ASSERT_EQ(qvAPIChangeClientDefinition("cn-host1", QVAPI_CHANGE_KEY_NAME, &next, 0), 1);
    next.uiConnectKind = 0;
    ASSERT_EQ(qvAPIChangeClientDefinition("cn-host2", QVAPI_CHANGE_CONNECT_KIND, &next, 0), 1);
    std::strcpy(next.ucCommonName, "cn-3");
    ASSERT_EQ(qvAPIChangeClientDefinition("host2", QVAPI_CHANGE_COMMON_NAME, &next, 0), 1);
    std::strcpy(next.ucHostID, "#U5");
    ASSERT_EQ(qvAPIChangeClientDefinition("host2", QVAPI_CHANGE_HOST_ID, &next, 0), 1);
    EXPECT_EQ(qvAPIChangeOtherDefinition("#U5", QVAPI_CHANGE_UPDATE_TIME, &next, 0), 1);
    QVAPI_NODE master = Record({.name = "mh", .kind = QVAPI_NODE_MASTER});
    ASSERT_EQ(Create("mh", master), 1);
    master.ucHoldFlag = 1;
    ASSERT_EQ(qvAPIChangeMasterDefinition("mh", QVAPI_CHANGE_HOLD, &master, 0), 1);
    EXPECT_EQ(Stored("mh", true).ucHoldFlag, 1);
    ASSERT_EQ(qvAPIDeleteMasterDefinition("mh", 0, &kTime), 1);
    ASSERT_EQ(qvAPIDeleteClient("\\", "#U5", 0, 0), 1);
    ASSERT_EQ(qvAPIDeleteClientDefinition("#U5", 0, &kTime), 1);
    EXPECT_EQ(qvAPIGetClientDefinitionByName("#U5", &next), 0);
}

// Renames the inventory follows are made once the definition has changed; one that fails is
// reported and the definition stays changed.
TEST_F(DefinitionWriters, InventoryFollowsAHostIdAndAFailingRenameIsReported) {
    static std::vector<std::string> calls;
    static uint32_t answer;
    qvp::SetInsPackageRename([](const char* o, const char* n, uint32_t, uint32_t) {
        calls.push_back(std::string(o) + ">" + n);
        qvAPISetLastError(answer);
        return answer == 0 ? 1 : 0;
    });
    for (uint32_t code : {0u, QVAPI_ERR_RESOURCE}) {
        calls.clear();
        answer = code;
        const std::string name = code == 0 ? "pca" : "pcb";
        const std::string hostId = code == 0 ? "#C1" : "#C2";
        ASSERT_EQ(Create(name, Record({.name = name})), 1);
        QVAPI_NODE change = Stored(name, false);
        std::strcpy(change.ucHostID, hostId.c_str());
        EXPECT_EQ(qvAPIChangeClientDefinition(name.c_str(), QVAPI_CHANGE_HOST_ID, &change, 0), code == 0 ? 1 : 0);
        EXPECT_EQ(qvAPIGetLastError(), code);
        EXPECT_EQ(calls, std::vector<std::string>{name + ">" + hostId});
        EXPECT_EQ(Stored(hostId, false).ucHostIDFlag, 1);
    }
}

// Two processes create 1,000 nodes whose names share four hashes; busy answers are retried.
TEST_F(DefinitionWriters, TwoProcessesCreatingCollidingNamesLoseNothing) {
    std::map<uint32_t, std::vector<std::string>> byHash;
    for (int i = 1; i < 40000; ++i) {
        char name[16];
        std::snprintf(name, sizeof name, "pc%05d", i);
        byHash[NodeStoreBuilder::ComponentHash(name)].push_back(name);
    }
    std::vector<std::string> names;
    for (const auto& bucket : byHash) {
        if (bucket.second.size() < 250 || names.size() == 1000) continue;
        names.insert(names.end(), bucket.second.begin(), bucket.second.begin() + 250);
    }
    ASSERT_EQ(names.size(), 1000u);
    const QVAPI_NODE base = Record({.name = "template"});
    pid_t children[2];
    for (int p = 0; p < 2; ++p) {
        children[p] = fork();
        if (children[p] != 0) continue;
        int failures = 0;
        for (size_t i = p; i < names.size(); i += 2) {
            QVAPI_NODE r = base;
            std::memset(r.ucNodeName, 0, sizeof r.ucNodeName);
            while (Create(names[i], r) != 1) {
                if (qvAPIGetLastError() != QVAPI_ERR_BUSY) {
                    ++failures;
                    break;
                }
                usleep(200);
            }
        }
        _exit(failures);
    }
    for (pid_t child : children) EXPECT_EQ(ExitCode(WaitChild(child)), 0);
    std::set<std::string> keys;
    for (const std::string& name : names) {
        const QVAPI_NODE r = Stored(name, false);
        EXPECT_TRUE(keys.insert(r.ucNodeKey).second) << r.ucNodeKey;
    }
    EXPECT_EQ(qvAPICountNodeDefinition(), 1000);
}

}  // namespace
}  // namespace qvptest

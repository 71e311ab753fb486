// A 1,000-node store as the writers leave it, read back by name at the lowest and the highest
// API level: colliding hashes, IP keys, host IDs and two levels of masters.
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "node_env.h"

namespace {

using qvptest::NodeStoreBuilder;
using qvptest::NodeStoreTest;

struct Stored {
    std::string lookupName;
    QVAPI_NODE record;
    bool ipKeyed;
};

class NodeStoreScenario : public NodeStoreTest {
protected:
    std::vector<Stored> Build() {
        std::vector<Stored> all;
        auto add = [&](const NodeStoreBuilder::Node& node, const std::string& lookupName) {
            all.push_back({lookupName, store_->AddNode(node), node.ipKeyed});
        };
        // Two levels of masters.
        for (int m = 0; m < 10; ++m) {
            const std::string top = "master" + std::to_string(m);
            add({.name = top, .kind = QVAPI_NODE_MASTER}, top);
            const std::string sub = "sub" + std::to_string(m);
            add({.name = sub, .kind = QVAPI_NODE_MASTER, .master = top}, sub);
        }
        // Names that cluster on few hashes ("pc00001" upward), below the masters or at the top.
        char name[16];
        for (int i = 1; i <= 800; ++i) {
            std::snprintf(name, sizeof name, "pc%05d", i);
            std::string master = i % 3 == 0 ? "" : (i % 3 == 1 ? "master" : "sub") + std::to_string(i % 10);
            add({.name = name, .master = master, .created = {2024, 1, 1, 1, 0, 0, 0, uint16_t(i)}}, name);
        }
        // Host IDs, clients and masters.
        for (int i = 0; i < 100; ++i) {
            std::snprintf(name, sizeof name, "#%c%04X", i % 10 == 0 ? 'C' : 'G', i);
            add({.name = "hid" + std::to_string(i),
                 .kind = i % 10 == 0 ? QVAPI_NODE_MASTER : QVAPI_NODE_CLIENT,
                 .hostId = name,
                 .master = i % 2 ? "sub1" : ""},
                name);
        }
        // IP keys, clients and masters.
        for (int i = 0; i < 80; ++i) {
            NodeStoreBuilder::Node n{.name = "ip" + std::to_string(i),
                                     .kind = i % 8 == 0 ? QVAPI_NODE_MASTER : QVAPI_NODE_CLIENT,
                                     .address = {10, 2, uint8_t(i / 50), uint8_t(i % 50 + 1)},
                                     .ipKeyed = true};
            add(n, NodeStoreBuilder::DottedAddress(n.address));
        }
        for (int i = 0; i < 40; ++i) store_->AddMember("\\g" + std::to_string(i % 4), all[30 + i].lookupName);
        for (Stored& s : all) s.record = store_->Record(s.lookupName);
        return all;
    }
};

TEST_F(NodeStoreScenario, ThousandNodesReadBackByName) {
    const std::vector<Stored> all = Build();
    ASSERT_EQ(all.size(), 1000u);
    // The names really collide: more files than distinct hashes.
    size_t synonyms = 0;
    for (const auto& entry : std::filesystem::directory_iterator(store_->NodeDefDir())) {
        synonyms += entry.path().filename().string().find('S') != std::string::npos;
    }
    ASSERT_GT(synonyms, 600u);
    EXPECT_EQ(qvAPICountNodeDefinition(), 1000);

    for (int level : {0, 5}) {
        ASSERT_EQ(qvAPIExpandLevel(level), 1);
        const size_t size = level == 0 ? 960 : sizeof(QVAPI_NODE);
        for (const Stored& s : all) {
            SetKey(s.ipKeyed ? 1 : 0);
            std::vector<uint8_t> out(sizeof(QVAPI_NODE) + 16, 0xAA);
            auto* r = reinterpret_cast<QVAPI_NODE*>(out.data());
            int ok = s.record.uiNodeAttributes == QVAPI_NODE_MASTER
                         ? qvAPIGetMasterDefinitionByName(s.lookupName.c_str(), r)
                         : qvAPIGetClientDefinitionByName(s.lookupName.c_str(), r);
            ASSERT_EQ(ok, 1) << s.lookupName << " " << std::hex << qvAPIGetLastError();
            ASSERT_EQ(std::memcmp(r, &s.record, size), 0) << s.lookupName << " level " << level;
            ASSERT_EQ(out[size], 0xAA) << s.lookupName;
            ASSERT_EQ(qvAPIGetNodeDefinitionByName(s.lookupName.c_str(), r), 1) << s.lookupName;
            ASSERT_EQ(std::memcmp(r, &s.record, size), 0) << s.lookupName;
            ASSERT_EQ(out[size], 0xAA) << s.lookupName;
        }
    }
}

TEST_F(NodeStoreScenario, DefinitionsHeldByAnotherProcessMakeTheReadersBusy) {
    const std::vector<Stored> all = Build();
    ASSERT_EQ(qvAPIExpandLevel(0), 1);
    // One node of each keying and kind: a synonym deep in its chain, a client below a master,
    // a host-ID master, an IP-keyed client and master.
    std::vector<const Stored*> picks;
    auto pick = [&](auto&& want) {
        for (const Stored& s : all) {
            if (want(s)) {
                picks.push_back(&s);
                return;
            }
        }
        FAIL() << "no such node in the store";
    };
    pick([](const Stored& s) { return std::string(s.record.ucNodeKey).find("S5") != std::string::npos; });
    pick([](const Stored& s) { return s.lookupName == "pc00004"; });
    pick([](const Stored& s) { return s.record.ucHostIDFlag == 1 && s.record.uiNodeAttributes == QVAPI_NODE_MASTER; });
    pick([](const Stored& s) { return s.ipKeyed && s.record.uiNodeAttributes == QVAPI_NODE_CLIENT; });
    pick([](const Stored& s) { return s.ipKeyed && s.record.uiNodeAttributes == QVAPI_NODE_MASTER; });
    ASSERT_EQ(picks.size(), 5u);

    for (const Stored* s : picks) {
        SetKey(s->ipKeyed ? 1 : 0);
        const bool master = s->record.uiNodeAttributes == QVAPI_NODE_MASTER;
        auto get = master ? qvAPIGetMasterDefinitionByName : qvAPIGetClientDefinitionByName;
        std::vector<uint8_t> out(960 + 16, 0xAA);
        auto* r = reinterpret_cast<QVAPI_NODE*>(out.data());
        {
            qvptest::HeldByAnotherProcess held(store_->DefinitionPath(s->record).string());
            ASSERT_TRUE(held.held()) << s->lookupName;
            EXPECT_EQ(get(s->lookupName.c_str(), r), 0) << s->lookupName;
            EXPECT_EQ(qvAPIGetLastError(), QVAPI_ERR_NODE_FILE_BUSY) << s->lookupName;
            EXPECT_EQ(qvAPIGetNodeDefinitionByName(s->lookupName.c_str(), r), 0) << s->lookupName;
            EXPECT_EQ(qvAPIGetLastError(), QVAPI_ERR_NODE_FILE_BUSY) << s->lookupName;
            const int found = master ? qvAPIFindMasterDefinition(s->lookupName.c_str(), r, 0, 0)
                                     : qvAPIFindClientDefinition(s->lookupName.c_str(), r, 0, 0);
            EXPECT_EQ(found, 0) << s->lookupName;
            EXPECT_EQ(qvAPIGetLastError(), QVAPI_ERR_NODE_FILE_BUSY) << s->lookupName;
            EXPECT_EQ(out[960], 0xAA) << s->lookupName;
        }
        // Released: read back whole at the caller's share.
        ASSERT_EQ(get(s->lookupName.c_str(), r), 1) << s->lookupName;
        EXPECT_EQ(std::memcmp(r, &s->record, 960), 0) << s->lookupName;
        EXPECT_EQ(out[960], 0xAA) << s->lookupName;
    }
}

}  // namespace

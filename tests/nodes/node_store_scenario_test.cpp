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
        // Host IDs.
        for (int i = 0; i < 100; ++i) {
            std::snprintf(name, sizeof name, "#G%04X", i);
            add({.name = "hid" + std::to_string(i), .hostId = name, .master = i % 2 ? "sub1" : ""}, name);
        }
        // IP keys.
        for (int i = 0; i < 80; ++i) {
            NodeStoreBuilder::Node n{.name = "ip" + std::to_string(i),
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
        }
    }
}

}  // namespace

// The ID finders against a seeded ID store and node store: IDs by folder, members by list, each
// completed from its definition; no lookup leaves a position open at the manager.
#include <gtest/gtest.h>

#include <set>
#include <vector>

#include "core/text.h"
#include "id_fixture.h"
#include "idgroups/id_finders.h"

namespace qvptest {
namespace {

using qvp::ids::IdNodeData;

constexpr char kHostClient[] = "#G000000000000000001";
constexpr char kLostClient[] = "#G000000000000000099";
constexpr char kHostMaster[] = "#C000000000000000002";
constexpr char kLostMaster[] = "#C000000000000000098";

class IdFinderTest : public IdTest {
protected:
    void SetUp() override {
        IdTest::SetUp();
        nodes_->AddNode({"boss", QVAPI_NODE_MASTER, {10, 0, 0, 2}});
        nodes_->AddNode({"hidboss", QVAPI_NODE_MASTER, {10, 0, 0, 7}, false, kHostMaster});
        nodes_->AddNode({"host1", QVAPI_NODE_CLIENT, {10, 0, 0, 1}, false, "", "", "", "001122334455667"});
        nodes_->AddNode({"hidpc", QVAPI_NODE_CLIENT, {10, 0, 0, 9}, false, kHostClient});
        char encoded[64] = {};
        ASSERT_EQ(qvpStuEnCode("pass1", encoded), 1);
        ids().AddId("sales", 2, 0x81, encoded);
        ids().AddId("sales2", 1);
        ids().AddId("empty", 1);
        ids().AddEntry('C', "sales", "host1", "boss");
        ids().AddEntry('C', "sales", kHostClient, kHostMaster, 0x20);
        ids().AddEntry('C', "sales", kLostClient);
        ids().AddEntry('C', "sales", "ghost");
        ids().AddEntry('I', "sales", "10.0.0.5");
        ids().AddEntry('C', "sales2", "other");
        ids().AddEntry('M', "sales", "boss");
        ids().AddEntry('M', "sales", kHostMaster);
        ids().AddEntry('M', "sales", kLostMaster);
    }

    static const IdNodeData& View(const QVAPI_NODE& node) { return reinterpret_cast<const IdNodeData&>(node); }

    struct Found {
        std::string name;
        uint32_t code;
        bool operator==(const Found&) const = default;
    };
    // Every member of a walk with the last error each one left.
    template <class First, class Next, class Close>
    std::vector<Found> Walk(First first, Next next, Close close, std::vector<QVAPI_NODE>* records = nullptr) {
        std::vector<Found> found;
        QVAPI_NODE node{};
        QVPAPI_HANDLE h = first(&node);
        if (h == QVPAPI_INVALID_HANDLE) return found;
        do {
            found.push_back({Text(node.ucNodeName, 64), qvAPIGetLastError()});
            if (records != nullptr) records->push_back(node);
        } while (next(h, &node));
        EXPECT_EQ(qvAPIGetLastError(), QVAPI_ERR_NO_MORE_ITEMS);
        EXPECT_EQ(close(h), 1);
        return found;
    }
};

TEST_F(IdFinderTest, GroupWalkSkipsUnknownFoldersAndBareNames) {
    for (const char* folder : {"I.ghost", "I.networkID", "I", "I."})
        fs::create_directories(nodes_->NodeGroupDir() / folder);
    std::vector<QVAPI_NODE> records;
    const auto found = Walk([](QVAPI_NODE* n) { return qvAPIFindFirstIDGroup("\\", n, 0, 0); },
                            [](QVPAPI_HANDLE h, QVAPI_NODE* n) { return qvAPIFindNextIDGroup(h, n, 0, 0); },
                            [](QVPAPI_HANDLE h) { return qvAPIFindCloseIDGroup(h, 0, 0); }, &records);
    const std::vector<Found> expected = {{"empty", 0}, {"networkID", 0}, {"sales", 0}, {"sales2", 0}};
    EXPECT_EQ(found, expected);
    ASSERT_EQ(records.size(), 4u);
    const IdNodeData& sales = View(records[2]);
    EXPECT_EQ(sales.type, 4u);
    EXPECT_EQ(Text(sales.path, 260), "\\");
    EXPECT_EQ(sales.attribute, 0x01);  // 0x80 never shown
    EXPECT_EQ(Text(sales.site, 14), "pass1");
    EXPECT_EQ(reinterpret_cast<const uint8_t*>(&sales)[qvp::ids::kGenerationOffset], 4);
    EXPECT_EQ(reinterpret_cast<const uint8_t*>(&records[3])[qvp::ids::kGenerationOffset], 1);
    EXPECT_EQ(ids().OpenLetters(), "");
}

TEST_F(IdFinderTest, NodeGroupPaths) {
    fs::create_directories(nodes_->NodeGroupDir() / "I.networkid" / "I.east");
    ids().AddId("east", 1);
    ids().AddEntry('M', "east", "boss");
    QVAPI_NODE node{};
    ASSERT_EQ(qvAPIFindIDGroup("\\NetworkId", "east", &node, 0, 0), 1) << std::hex << qvAPIGetLastError();
    EXPECT_EQ(Text(node.ucNodePath0, 260), "\\NetworkId");
    ASSERT_EQ(qvAPIFindIDMaster("\\NetworkId", "east", "boss", &node, 0, 0), 1);
    EXPECT_EQ(Text(node.ucNodePath0, 260), "\\NetworkId\\east");

    struct Case {
        const char* path;
        const char* name;
        uint32_t code;
    } refusals[] = {
        {"networkid", "east", QVAPI_ERR_INVALID_PARAMETER},
        {"\\other", "east", QVAPI_ERR_INVALID_PARAMETER},
        {"\\", "nofolder", QVAPI_ERR_NO_MORE_ITEMS},
        {"", "", QVAPI_ERR_INVALID_PARAMETER},
    };
    for (const Case& c : refusals) {
        EXPECT_EQ(qvAPIFindIDGroup(c.path, c.name, &node, 0, 0), 0) << c.path << c.name;
        EXPECT_EQ(qvAPIGetLastError(), c.code) << c.path << c.name;
    }
    // A folder the ID store does not know: the store's own answer.
    fs::create_directories(nodes_->NodeGroupDir() / "I.ghost");
    EXPECT_EQ(qvAPIFindIDGroup(nullptr, "ghost", &node, 0, 0), 0);
    EXPECT_EQ(qvAPIGetLastError(), QVAPI_ERR_NO_MORE_ITEMS);
    EXPECT_EQ(ids().OpenLetters(), "");
}

TEST_F(IdFinderTest, ClientsThenMasters) {
    std::vector<QVAPI_NODE> clients;
    const auto found = Walk([](QVAPI_NODE* n) { return qvAPIFindFirstIDClient("\\", "sales", n, 0, 0); },
                            [](QVPAPI_HANDLE h, QVAPI_NODE* n) { return qvAPIFindNextIDClient(h, n, 0, 0); },
                            [](QVPAPI_HANDLE h) { return qvAPIFindCloseIDClient(h, 0, 0); }, &clients);
    // The host ID without a definition is passed over; plain names without one come with the
    // reader's code; the members of "sales2" never show.
    const std::vector<Found> expected = {
        {"hidpc", 0}, {"ghost", QVAPI_ERR_NOT_FOUND}, {"host1", 0}, {"10.0.0.5", QVAPI_ERR_NOT_FOUND}};
    EXPECT_EQ(found, expected);
    ASSERT_EQ(clients.size(), 4u);
    const IdNodeData& hid = View(clients[0]);
    EXPECT_EQ(hid.address[3], 9);
    EXPECT_EQ(Text(hid.hostId, 32), kHostClient);
    EXPECT_EQ(hid.namedByHostId, 1);
    EXPECT_EQ(hid.attribute, 0x20);
    EXPECT_EQ(Text(hid.site, 64), "hidboss");
    EXPECT_EQ(Text(hid.siteHostId, 32), kHostMaster);
    const IdNodeData& host1 = View(clients[2]);
    EXPECT_EQ(host1.type, 1u);
    EXPECT_EQ(Text(host1.path, 260), "\\sales");
    EXPECT_EQ(Text(host1.site, 64), "boss");
    EXPECT_EQ(host1.entryAttributes, 1u);
    EXPECT_EQ(std::string(host1.mac, 12), "001122334455");
    EXPECT_EQ(View(clients[3]).entryAttributes, 2u);

    const auto masters = Walk([](QVAPI_NODE* n) { return qvAPIFindFirstIDMaster("\\", "sales", n, 0, 0); },
                              [](QVPAPI_HANDLE h, QVAPI_NODE* n) { return qvAPIFindNextIDMaster(h, n, 0, 0); },
                              [](QVPAPI_HANDLE h) { return qvAPIFindCloseIDMaster(h, 0, 0); });
    const std::vector<Found> expectedMasters = {{"hidboss", 0}, {"boss", 0}};
    EXPECT_EQ(masters, expectedMasters);
    EXPECT_EQ(ids().OpenLetters(), "");
}

TEST_F(IdFinderTest, EndedWalksAndReplacedWalks) {
    QVAPI_NODE node{};
    QVPAPI_HANDLE h = qvAPIFindFirstIDMaster("\\", "sales2", &node, 0, 0);
    EXPECT_EQ(h, QVPAPI_INVALID_HANDLE);
    EXPECT_EQ(qvAPIGetLastError(), QVAPI_ERR_NO_MORE_ITEMS);

    h = qvAPIFindFirstIDMaster("\\", "sales", &node, 0, 0);
    ASSERT_NE(h, QVPAPI_INVALID_HANDLE);
    while (qvAPIFindNextIDMaster(h, &node, 0, 0)) {
    }
    const size_t before = RequestCount();
    EXPECT_EQ(qvAPIFindNextIDMaster(h, &node, 0, 0), 0);  // after the end: no request
    EXPECT_EQ(qvAPIGetLastError(), QVAPI_ERR_NO_MORE_ITEMS);
    EXPECT_EQ(RequestCount(), before);
    EXPECT_EQ(ids().OpenLetters(), "M");

    // A FindFirst that fails ends the earlier walk, releasing its position.
    EXPECT_EQ(qvAPIFindFirstIDMaster("\\", "ghost", &node, 0, 0), QVPAPI_INVALID_HANDLE);
    EXPECT_EQ(ids().OpenLetters(), "");
    EXPECT_EQ(qvAPIFindNextIDMaster(h, &node, 0, 0), 0);
    EXPECT_EQ(qvAPIGetLastError(), QVAPI_ERR_INVALID_HANDLE);

    // No clients: list C, then list I, each released.
    sim().ClearLog();
    EXPECT_EQ(qvAPIFindFirstIDClient("\\", "empty", &node, 0, 0), QVPAPI_INVALID_HANDLE);
    EXPECT_EQ(qvAPIGetLastError(), QVAPI_ERR_NO_MORE_ITEMS);
    const std::vector<std::string> requests = sim().Received();
    const std::vector<std::string> tail(requests.end() - 4, requests.end());
    const std::vector<std::string> expected = {"IDGET 2 f2 CP k5 empty", "IDRLS 1 f1 C", "IDGET 2 f2 IP k5 empty",
                                               "IDRLS 1 f1 I"};
    EXPECT_EQ(tail, expected);
}

TEST_F(IdFinderTest, SingleLookupsReleaseEveryLetterTheyOpened) {
    QVAPI_NODE node{};
    struct Case {
        const char* name;
        bool master;
        uint32_t checkFlag;
        int result;
        uint32_t code;
    } cases[] = {
        {"10.0.0.5", false, 1, 1, QVAPI_ERR_NOT_FOUND},  // found in list I after a miss in C
        {"host1", false, 0, 1, 0},
        {"nobody", false, 0, 0, QVAPI_ERR_NO_MORE_ITEMS},
        {kLostClient, false, 0, 0, QVAPI_ERR_NOT_FOUND},
        {"boss", true, 0, 1, 0},
        {kLostMaster, true, 0, 0, QVAPI_ERR_FILE_NOT_FOUND},
        {"bad*name", false, 0, 0, QVAPI_ERR_INVALID_NAME},
    };
    for (const Case& c : cases) {
        const int result = c.master ? qvAPIFindIDMaster("\\", "sales", c.name, &node, 0, 0)
                                    : qvAPIFindIDClient("\\", "sales", c.name, &node, c.checkFlag, 0);
        EXPECT_EQ(result, c.result) << c.name;
        EXPECT_EQ(qvAPIGetLastError(), c.code) << c.name;
        EXPECT_EQ(ids().OpenLetters(), "") << c.name;
    }
}

TEST_F(IdFinderTest, ApiLevelZeroLeavesTheCallersTailAlone) {
    ASSERT_EQ(qvAPIExpandLevel(0), 1);
    std::vector<uint8_t> guarded(sizeof(QVAPI_NODE), 0xAA);
    auto* node = reinterpret_cast<QVAPI_NODE*>(guarded.data());
    ASSERT_EQ(qvAPIFindIDClient("\\", "sales", kHostClient, node, 0, 0), 1);
    EXPECT_EQ(Text(node->ucNodeName, 64), "hidpc");
    for (size_t i = QVAPI_NODE_HEAD_SIZE; i < guarded.size(); ++i) ASSERT_EQ(guarded[i], 0xAA) << i;
}

}  // namespace
}  // namespace qvptest

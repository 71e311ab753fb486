// Node keys: the name hash, synonym slots, the lookup by name and the counters.
#include <cstring>
#include <string>

#include "node_env.h"
#include "nodes/node_keys.h"
#include "nodes/node_store.h"

using qvp::nodes::qvAPIGetVirtualNodeDefinitionByName;
using qvp::nodes::qvAPILayoutVirtualNodeDefinitionByName;

namespace {

using qvptest::NodeStoreBuilder;
using qvptest::NodeStoreTest;

std::string Hash(const char* name) {
    char out[260] = {};
    qvpMakeNodeHashPath(name, out);
    return out;
}

class NodeKeyTest : public NodeStoreTest {
protected:
    std::string Layout(const char* name, uint32_t options = 1) {
        char key[64];
        std::memset(key, 'x', sizeof key);
        if (qvAPILayoutVirtualNodeDefinitionByName(name, key, options, 0) == 0) {
            return "error " + std::to_string(qvAPIGetLastError());
        }
        EXPECT_EQ(qvAPIGetLastError(), 0u);
        return key;
    }
    void Stray(const std::string& fileName, size_t size = sizeof(QVAPI_NODE)) {
        std::string bytes(size, '\0');
        store_->WriteRawFile(store_->NodeDefDir() / fileName, bytes.data(), bytes.size());
    }
    static std::string Err(uint32_t code) { return "error " + std::to_string(code); }
};

TEST(NodeHash, ComponentsAndCase) {
    EXPECT_EQ(Hash("abc"), "604");
    EXPECT_EQ(Hash("ABC"), "604");
    EXPECT_EQ(Hash("Abc"), "604");
    EXPECT_EQ(Hash("cac"), "604");  // another name of the same hash
    EXPECT_EQ(Hash("a\\b"), "98\\99");
    EXPECT_EQ(Hash("\\\\x"), "\\\\121");
    EXPECT_EQ(NodeStoreBuilder::ComponentHash("pc00001"), std::stoul(Hash("PC00001")));

    char out[260] = "12\\";
    qvpMakeNodeHashPath("abc", out);
    EXPECT_STREQ(out, "12\\604");
}

TEST(NodeHash, LongOutputIsCutToItsBuffer) {
    std::string many;
    for (int i = 0; i < 129; ++i) many += "a\\";  // 258 bytes whose hash is 387 bytes
    char out[300];
    std::memset(out, 'Z', sizeof out);
    out[0] = '\0';
    qvpMakeNodeHashPath(many.c_str(), out);
    EXPECT_EQ(std::strlen(out), 259u);
    EXPECT_EQ(out[260], 'Z');
}

TEST_F(NodeKeyTest, LayoutTakesTheLowestFreeSlot) {
    EXPECT_EQ(Layout("abc"), "604");
    EXPECT_EQ(Layout("a\\b"), "99");
    EXPECT_EQ(Layout("\\\\x", 2), "121");

    Stray("C.604S1");
    EXPECT_EQ(Layout("abc"), "604");
    Stray("M.604");
    EXPECT_EQ(Layout("ABC", 2), "604S2");
    Stray("C.6041");  // another hash
    Stray("c.604s2");  // any case
    EXPECT_EQ(Layout("abc"), "604S3");
}

TEST_F(NodeKeyTest, StraySuffixesTakeNoSlot) {
    Stray("C.604");
    Stray("C.604S999");
    Stray("C.604S1x");
    Stray("C.604S");
    Stray("C.604S-1");
    Stray("M.60412");  // hash 60412: its "12" is no slot 2 of hash 604
    Stray("M.6041S1");
    EXPECT_EQ(Layout("abc"), "604S1");
    Stray("C.604S1");
    EXPECT_EQ(Layout("abc"), "604S2");
}

TEST_F(NodeKeyTest, SlotsEndAt256) {
    for (int slot = 0; slot < 256; ++slot) Stray(slot == 0 ? "C.604" : "C.604S" + std::to_string(slot), 0);
    EXPECT_EQ(Layout("abc"), "604S256");
    Stray("M.604S256", 0);  // 257 slots taken
    EnableLog();
    EXPECT_EQ(Layout("abc"), Err(QVAPI_ERR_INVALID_PARAMETER));
    EXPECT_TRUE(Logged("qvAPILayoutVirtualNodeDefinitionByName : SynonymOver nodename=abc"));
    // Slot 256 taken ends the layout even when a lower slot is free again.
    std::filesystem::remove(store_->NodeDefDir() / "C.604S5");
    EXPECT_EQ(Layout("ABC", 2), Err(QVAPI_ERR_INVALID_PARAMETER));
    std::filesystem::remove(store_->NodeDefDir() / "M.604S256");
    EXPECT_EQ(Layout("abc"), "604S5");
    // Other hashes are not touched by the full one.
    EXPECT_EQ(Layout("abd"), std::to_string(NodeStoreBuilder::ComponentHash("abd")));
}

TEST_F(NodeKeyTest, LayoutLogsItsFrame) {
    EnableLog();
    EXPECT_EQ(Layout("abc"), "604");
    EXPECT_EQ(Layout("abc", 3), Err(QVAPI_ERR_INVALID_PARAMETER));
    EXPECT_EQ(Layout("\\"), Err(QVAPI_ERR_INVALID_PARAMETER));
    const std::vector<std::string> expected = {
        "qvAPILayoutVirtualNodeDefinitionByName START",
        "qvAPILayoutVirtualNodeDefinitionByName END : Code = 0x00000000",
        "qvAPILayoutVirtualNodeDefinitionByName START",
        "qvAPILayoutVirtualNodeDefinitionByName : Parameter Err : fdwOptions Value is INVALID",
        "qvAPILayoutVirtualNodeDefinitionByName END : Code = 0x20000057",
        "qvAPILayoutVirtualNodeDefinitionByName START",
        "qvAPILayoutVirtualNodeDefinitionByName : Parameter Err : lpNodeName Value is INVALID",
        "qvAPILayoutVirtualNodeDefinitionByName END : Code = 0x20000057",
    };
    EXPECT_EQ(LogMessages(), expected);
}

TEST_F(NodeKeyTest, LayoutRefusals) {
    EXPECT_EQ(Layout("abc", 3), Err(QVAPI_ERR_INVALID_PARAMETER));
    EXPECT_EQ(Layout("\\"), Err(QVAPI_ERR_INVALID_PARAMETER));
    EXPECT_EQ(Layout("abc\\"), Err(QVAPI_ERR_INVALID_PARAMETER));  // nothing to hash
    EXPECT_EQ(Layout(""), Err(QVAPI_ERR_INVALID_PARAMETER));
    char key[64];
    EXPECT_EQ(qvAPILayoutVirtualNodeDefinitionByName(nullptr, key, 1, 0), 0);
    EXPECT_EQ(qvAPIGetLastError(), QVAPI_ERR_INVALID_PARAMETER);
    std::filesystem::remove_all(store_->NodeDefDir());
    EXPECT_EQ(Layout("abc"), Err(QVAPI_ERR_RESOURCE));
}

TEST_F(NodeKeyTest, LookupByNameAndHostId) {
    store_->AddNode({.name = "abc"});
    store_->AddNode({.name = "other", .kind = QVAPI_NODE_MASTER, .key = "604S1"});
    store_->AddNode({.name = "hid-node", .hostId = "#G12AB"});
    store_->AddNode({.name = "abcd", .key = "604S3"});

    QVAPI_NODE r;
    ASSERT_EQ(qvAPIGetVirtualNodeDefinitionByName("ABC", &r, 1), 1);
    EXPECT_STREQ(r.ucNodeName, "abc");
    EXPECT_STREQ(r.ucNodeKey, "604");
    ASSERT_EQ(qvAPIGetVirtualNodeDefinitionByName("#G12AB", &r, 3), 1);
    EXPECT_STREQ(r.ucNodeName, "hid-node");
    ASSERT_EQ(qvAPIGetVirtualNodeDefinitionByName("upper\\abc", &r, 3), 1);
    EXPECT_STREQ(r.ucNodeName, "abc");

    // Kinds are searched only where asked.
    ASSERT_EQ(store_->Record("other").uiNodeAttributes, QVAPI_NODE_MASTER);
    std::memset(&r, 0xAA, sizeof r);
    EXPECT_EQ(qvAPIGetVirtualNodeDefinitionByName("abc", &r, 2), 0);
    EXPECT_EQ(qvAPIGetLastError(), QVAPI_ERR_NOT_FOUND);
    EXPECT_EQ(r.ucNodeName[0], '\0');  // cleared at the end of the walk
    EXPECT_EQ(qvAPIGetVirtualNodeDefinitionByName("abc", &r, 4), 0);
    EXPECT_EQ(qvAPIGetLastError(), QVAPI_ERR_INVALID_PARAMETER);
    EXPECT_EQ(qvAPIGetVirtualNodeDefinitionByName("#g1", &r, 1), 0);
    EXPECT_EQ(qvAPIGetLastError(), QVAPI_ERR_INVALID_PARAMETER);
}

TEST_F(NodeKeyTest, LookupFindsSynonymsInAnySpellingAndPastGaps) {
    // Files named in lower case, and a chain with holes: the name is found wherever it stands.
    QVAPI_NODE other = store_->AddNode({.name = "cab", .key = "604"});  // "cab" hashes elsewhere
    std::filesystem::rename(store_->DefinitionPath(other), store_->NodeDefDir() / "c.604");
    QVAPI_NODE abc = store_->AddNode({.name = "abc", .key = "604S3"});
    std::filesystem::rename(store_->DefinitionPath(abc), store_->NodeDefDir() / "c.604s3");
    QVAPI_NODE r;
    ASSERT_EQ(qvAPIGetVirtualNodeDefinitionByName("Abc", &r, 1), 1);
    EXPECT_EQ(std::memcmp(&r, &abc, sizeof r), 0);
    ASSERT_EQ(qvAPIGetVirtualNodeDefinitionByName("aBC", &r, 3), 1);
    EXPECT_EQ(std::memcmp(&r, &abc, sizeof r), 0);
    EXPECT_EQ(qvAPIGetVirtualNodeDefinitionByName("abc", &r, 2), 0);
    EXPECT_EQ(qvAPIGetLastError(), QVAPI_ERR_NOT_FOUND);

    // Host IDs compare ignoring case too (the stored text in another case).
    QVAPI_NODE hid = store_->AddNode({.name = "h", .hostId = "#UAB1"});
    QVAPI_NODE lowered = hid;
    std::strcpy(lowered.ucHostID, "#uab1");
    store_->WriteDefinitionFile(store_->DefinitionPath(hid).filename().string(), lowered);
    ASSERT_EQ(qvAPIGetVirtualNodeDefinitionByName("#UAB1", &r, 1), 1);
    EXPECT_STREQ(r.ucNodeName, "h");
}

TEST_F(NodeKeyTest, LookupLogsOnlyItsFailures) {
    store_->AddNode({.name = "abc"});
    EnableLog();
    QVAPI_NODE r;
    ASSERT_EQ(qvAPIGetVirtualNodeDefinitionByName("abc", &r, 1), 1);
    EXPECT_EQ(LogMessages(), std::vector<std::string>{});
    EXPECT_EQ(qvAPIGetVirtualNodeDefinitionByName("abc", &r, 4), 0);
    EXPECT_EQ(qvAPIGetVirtualNodeDefinitionByName("\\", &r, 1), 0);
    EXPECT_EQ(qvAPIGetVirtualNodeDefinitionByName("#g1", &r, 1), 0);
    store_->AddNode({.name = "abcd", .key = "604S1"});
    EXPECT_EQ(qvAPIGetVirtualNodeDefinitionByName("ABCD", &r, 1), 0);  // hash 1020: none stored
    EXPECT_EQ(qvAPIGetLastError(), QVAPI_ERR_NOT_FOUND);
    std::memset(&r, 0x55, sizeof r);
    EXPECT_EQ(qvAPIGetVirtualNodeDefinitionByName("x\\cac", &r, 1), 0);  // "cac" hashes to 604 too, not stored
    EXPECT_EQ(qvAPIGetLastError(), QVAPI_ERR_NOT_FOUND);
    EXPECT_EQ(std::vector<uint8_t>(reinterpret_cast<uint8_t*>(&r), reinterpret_cast<uint8_t*>(&r + 1)),
              std::vector<uint8_t>(sizeof r, 0));
    const std::vector<std::string> expected = {
        "qvAPIGetVirtualNodeDefinitionByName : Parameter Err : fdwOptions Value is INVALID",
        "qvAPIGetVirtualNodeDefinitionByName : Parameter Err : lpNodeName Value is INVALID",
        "qvAPIGetNodeNameType : Parameter Err : not found kind of Host ID",
        "qvAPIGetVirtualNodeDefinitionByName : qvAPIGetNodeNameType : Not found key type = #g1",
        "qvAPIGetVirtualNodeDefinitionByName : FindNextFile Err 18",
    };
    EXPECT_EQ(LogMessages(), expected);
}

TEST_F(NodeKeyTest, LookupMatchesWholeNamesOnly) {
    // "abcd" stored under the hash of "abc": a prefix is no match.
    store_->AddNode({.name = "abcd", .key = "604"});
    QVAPI_NODE r;
    EXPECT_EQ(qvAPIGetVirtualNodeDefinitionByName("abc", &r, 1), 0);
    EXPECT_EQ(qvAPIGetLastError(), QVAPI_ERR_NOT_FOUND);
    // A stray C.604S999 is never opened; a short candidate is a read failure.
    Stray("C.604S999", 10);
    EXPECT_EQ(qvAPIGetVirtualNodeDefinitionByName("abc", &r, 1), 0);
    EXPECT_EQ(qvAPIGetLastError(), QVAPI_ERR_NOT_FOUND);
    Stray("C.604S1", 100);
    EXPECT_EQ(qvAPIGetVirtualNodeDefinitionByName("abc", &r, 1), 0);
    EXPECT_EQ(qvAPIGetLastError(), QVAPI_ERR_RESOURCE);
}

TEST_F(NodeKeyTest, LookupOfAHeldDefinitionIsBusy) {
    QVAPI_NODE stored = store_->AddNode({.name = "abc"});
    const std::string path = qvp::nodes::NodeDefDir() + "\\C.604";
    win::HANDLE held = win::CreateFile(path.c_str(), win::GENERIC_READ | win::GENERIC_WRITE, 0,
                                       nullptr, win::OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(held, win::INVALID_HANDLE_VALUE);
    QVAPI_NODE r;
    EXPECT_EQ(qvAPIGetVirtualNodeDefinitionByName("abc", &r, 1), 0);
    EXPECT_EQ(qvAPIGetLastError(), QVAPI_ERR_NODE_FILE_BUSY);
    win::CloseHandle(held);
    ASSERT_EQ(qvAPIGetVirtualNodeDefinitionByName("abc", &r, 1), 1);
    EXPECT_EQ(std::memcmp(&r, &stored, sizeof r), 0);
}

TEST_F(NodeKeyTest, Counters) {
    EnableLog();
    EXPECT_EQ(qvAPICountNodeDefinition(), -1);  // nothing to find
    EXPECT_TRUE(Logged("qvAPICountNodeDefinition : FindFirstFile Error errno = 2"));
    store_->AddNode({.name = "abc"});
    store_->AddNode({.name = "m1", .kind = QVAPI_NODE_MASTER});
    store_->AddNode({.name = "c1", .master = "m1"});
    store_->AddNode({.name = "ip", .address = {10, 0, 0, 5}, .ipKeyed = true});
    Stray("nodeattributionfile");
    EXPECT_EQ(qvAPICountNodeDefinition(), 4);
    EXPECT_EQ(qvAPIGetLastError(), 0u);

    win::WIN32_FIND_DATAA data{};
    const std::string pattern = qvp::nodes::NodeDefDir() + "\\*";
    win::HANDLE find = win::FindFirstFile(pattern.c_str(), &data);
    ASSERT_NE(find, win::INVALID_HANDLE_VALUE);
    ASSERT_STREQ(data.cFileName, ".");  // a directory: the caller counts nothing for it
    EXPECT_EQ(qvpAPINodeCount(block_, find, 0, 0), 4);
    win::FindClose(find);
}

}  // namespace

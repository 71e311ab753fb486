// Readers of one stored definition by name, at the caller's API level.
#include <cstring>
#include <string>
#include <vector>

#include "node_env.h"
#include "nodes/node_store.h"

namespace {

using qvptest::HeldByAnotherProcess;
using qvptest::NodeStoreBuilder;
using qvptest::NodeStoreTest;

constexpr size_t kGuard = 64;
constexpr uint8_t kFill = 0xAA;

// A caller's record with guard bytes after the whole record size.
struct Caller {
    std::vector<uint8_t> bytes = std::vector<uint8_t>(sizeof(QVAPI_NODE) + kGuard, kFill);
    QVAPI_NODE* record() { return reinterpret_cast<QVAPI_NODE*>(bytes.data()); }
    size_t Untouched(size_t from) const {
        size_t n = 0;
        for (size_t i = from; i < bytes.size(); ++i) n += bytes[i] == kFill;
        return n;
    }
};

class NodeReaderTest : public NodeStoreTest {
protected:
    QVAPI_NODE_TIME Stamp(uint16_t day) { return {2024, 5, 1, day, 10, 20, 30, 400}; }
};

TEST_F(NodeReaderTest, CallerLevelCutsTheCopyOnly) {
    QVAPI_NODE stored = store_->AddNode({.name = "abc", .commonName = "ABC PC", .macAddress = "001122334455",
                                         .updated = Stamp(2), .created = Stamp(1)});
    Caller c5;
    ASSERT_EQ(qvAPIGetClientDefinitionByName("ABC", c5.record()), 1);
    EXPECT_EQ(std::memcmp(c5.record(), &stored, sizeof stored), 0);
    EXPECT_EQ(c5.Untouched(sizeof(QVAPI_NODE)), kGuard);

    ASSERT_EQ(qvAPIExpandLevel(0), 1);
    Caller c0;
    ASSERT_EQ(qvAPIGetClientDefinitionByName("abc", c0.record()), 1);
    EXPECT_EQ(std::memcmp(c0.record(), &stored, 960), 0);
    EXPECT_EQ(c0.Untouched(960), sizeof(QVAPI_NODE) + kGuard - 960);

    ASSERT_EQ(qvAPIExpandLevel(1), 1);
    Caller c1;
    ASSERT_EQ(qvAPIGetNodeDefinitionByName("abc", c1.record()), 1);
    EXPECT_EQ(c1.Untouched(1268), sizeof(QVAPI_NODE) + kGuard - 1268);

    // Internal callers always get the whole record, whatever the caller's level.
    QVAPI_NODE whole;
    ASSERT_EQ(qvp::nodes::ReadClientDefinition(*block_, "test", "abc", whole), 0u);
    EXPECT_STREQ(whole.ucMACAddress, "001122334455");
    EXPECT_EQ(whole.stCreateTime.wDay, 1);
}

TEST_F(NodeReaderTest, ClientAndMasterReadersDiffer) {
    Caller c;
    EXPECT_EQ(qvAPIGetClientDefinitionByName("none", c.record()), 0);
    EXPECT_EQ(qvAPIGetLastError(), QVAPI_ERR_NOT_FOUND);
    EXPECT_EQ(c.Untouched(0), kGuard);  // cleared at the caller's size
    EXPECT_EQ(qvAPIGetMasterDefinitionByName("none", c.record()), 0);
    EXPECT_EQ(qvAPIGetLastError(), QVAPI_ERR_FILE_NOT_FOUND);
    EXPECT_EQ(qvAPIFindClientDefinition("none", c.record(), 0, 0), 0);
    EXPECT_EQ(qvAPIGetLastError(), QVAPI_ERR_NO_MORE_ITEMS);
    EXPECT_EQ(qvAPIFindMasterDefinition("none", c.record(), 0, 0), 0);
    EXPECT_EQ(qvAPIGetLastError(), QVAPI_ERR_NO_MORE_ITEMS);
    EXPECT_EQ(qvAPIGetNodeDefinitionByName("none", c.record()), 0);
    EXPECT_EQ(qvAPIGetLastError(), QVAPI_ERR_NOT_FOUND);

    EXPECT_EQ(qvAPIGetClientDefinitionByName("", c.record()), 0);
    EXPECT_EQ(qvAPIGetLastError(), QVAPI_ERR_INVALID_PARAMETER);
    EXPECT_EQ(qvAPIGetMasterDefinitionByName("abc", nullptr), 0);
    EXPECT_EQ(qvAPIGetLastError(), QVAPI_ERR_INVALID_PARAMETER);
    EXPECT_EQ(qvAPIGetNodeDefinitionByName("#x1", c.record()), 0);
    EXPECT_EQ(qvAPIGetLastError(), QVAPI_ERR_INVALID_PARAMETER);

    store_->AddNode({.name = "m1", .kind = QVAPI_NODE_MASTER});
    store_->AddNode({.name = "c1", .master = "m1"});
    EXPECT_EQ(qvAPIFindMasterDefinition("M1", c.record(), 0, 0), 1);
    EXPECT_EQ(c.record()->uiNodeAttributes, QVAPI_NODE_MASTER);
    EXPECT_EQ(qvAPIGetClientDefinitionByName("m1", c.record()), 0);
    EXPECT_EQ(qvAPIFindClientDefinition("c1", c.record(), 0, 0), 1);
    EXPECT_STREQ(c.record()->ucNodePath0, "\\m1");
}

TEST_F(NodeReaderTest, TopLevelClientGroupFlagComesFromItsAttributionFile) {
    store_->AddNode({.name = "top"});
    store_->AddNode({.name = "m1", .kind = QVAPI_NODE_MASTER});
    store_->AddNode({.name = "below", .master = "m1"});
    store_->AddMember("\\g1", "m1");
    store_->AddMember("\\g1", "top");
    store_->AddMember("\\g1", "below");
    ASSERT_EQ(store_->ReadBackLinks(store_->Record("top")), std::vector<std::string>{"\\g1"});

    // Stored flags that disagree with the attribution files.
    QVAPI_NODE top = store_->Record("top");
    top.uiNodeGroupFlag = 0;
    store_->WriteDefinitionFile("C." + std::string(top.ucNodeKey), top);
    QVAPI_NODE below = store_->Record("below");
    below.uiNodeGroupFlag = 0;
    store_->WriteDefinitionFile("C." + std::string(below.ucNodeKey), below);
    QVAPI_NODE m1 = store_->Record("m1");
    m1.uiNodeGroupFlag = 0;
    store_->WriteDefinitionFile("M." + std::string(m1.ucNodeKey), m1);

    Caller c;
    ASSERT_EQ(qvAPIGetClientDefinitionByName("top", c.record()), 1);
    EXPECT_EQ(c.record()->uiNodeGroupFlag, 1u);
    ASSERT_EQ(qvAPIGetClientDefinitionByName("below", c.record()), 1);
    EXPECT_EQ(c.record()->uiNodeGroupFlag, 0u);  // only top-level clients are recomputed
    ASSERT_EQ(qvAPIGetMasterDefinitionByName("m1", c.record()), 1);
    EXPECT_EQ(c.record()->uiNodeGroupFlag, 0u);

    store_->WriteAttributionFile(store_->Record("top"), {});
    top.uiNodeGroupFlag = 1;
    store_->WriteDefinitionFile("C." + std::string(top.ucNodeKey), top);
    ASSERT_EQ(qvAPIGetClientDefinitionByName("top", c.record()), 1);
    EXPECT_EQ(c.record()->uiNodeGroupFlag, 0u);

    std::filesystem::remove(store_->AttributionPath(store_->Record("top")));
    EXPECT_EQ(qvAPIGetClientDefinitionByName("top", c.record()), 0);
    EXPECT_EQ(qvAPIGetLastError(), QVAPI_ERR_RESOURCE);
}

TEST_F(NodeReaderTest, IpKeyedNodes) {
    SetKey(1);
    store_->AddNode({.name = "pc1", .address = {10, 0, 0, 5}, .ipKeyed = true});
    store_->AddNode({.name = "both", .address = {10, 0, 0, 6}, .ipKeyed = true});
    store_->AddNode({.name = "both", .kind = QVAPI_NODE_MASTER, .address = {10, 0, 0, 6}, .ipKeyed = true});
    store_->AddNode({.name = "mst", .kind = QVAPI_NODE_MASTER, .address = {10, 0, 0, 7}, .ipKeyed = true});
    store_->AddMember("\\", "10.0.0.5");

    Caller c;
    ASSERT_EQ(qvAPIGetClientDefinitionByName("10.0.0.5", c.record()), 1);
    EXPECT_STREQ(c.record()->ucNodeName, "pc1");
    EXPECT_EQ(c.record()->ucSystemKey, 1);
    EXPECT_EQ(c.record()->uiNodeGroupFlag, 1u);
    ASSERT_EQ(qvAPIGetNodeDefinitionByName("10.0.0.7", c.record()), 1);
    EXPECT_STREQ(c.record()->ucNodeName, "mst");
    ASSERT_EQ(qvAPIGetNodeDefinitionByName("10.0.0.5", c.record()), 1);
    EXPECT_STREQ(c.record()->ucNodeName, "pc1");

    ASSERT_EQ(qvAPIGetNodeDefinitionByName("10.0.0.6", c.record()), 1);
    QVAPI_NODE expected{};
    std::strcpy(expected.ucNodeName, "10.0.0.6");
    expected.uiNodeAttributes = 3;
    EXPECT_EQ(std::memcmp(c.record(), &expected, sizeof expected), 0);

    EXPECT_EQ(qvAPIGetNodeDefinitionByName("10.0.0.9", c.record()), 0);
    EXPECT_EQ(qvAPIGetLastError(), QVAPI_ERR_NOT_FOUND);
    EXPECT_EQ(qvAPIGetMasterDefinitionByName("10.0.0.5", c.record()), 0);
    EXPECT_EQ(qvAPIGetLastError(), QVAPI_ERR_FILE_NOT_FOUND);

    // A name that would leave NODEDEF.
    store_->WriteRawFile(root_ / "SERVER" / "ZARNQV" / "MNGFL" / "C.x", &expected, sizeof expected);
    EXPECT_EQ(qvAPIGetClientDefinitionByName("..\\x", c.record()), 0);
    EXPECT_EQ(qvAPIGetLastError(), QVAPI_ERR_INVALID_PARAMETER);
    EXPECT_EQ(qvAPIGetNodeDefinitionByName("../x", c.record()), 0);
    EXPECT_EQ(qvAPIGetLastError(), QVAPI_ERR_INVALID_PARAMETER);

    // A definition shorter than the record is a read failure.
    store_->WriteRawFile(store_->NodeDefDir() / "C.10.0.0.8", &expected, 100);
    EXPECT_EQ(qvAPIGetClientDefinitionByName("10.0.0.8", c.record()), 0);
    EXPECT_EQ(qvAPIGetLastError(), QVAPI_ERR_RESOURCE);
}

TEST_F(NodeReaderTest, NodeReaderPrefersTheMaster) {
    store_->AddNode({.name = "dual", .commonName = "as client"});
    store_->AddNode({.name = "dual", .kind = QVAPI_NODE_MASTER, .commonName = "as master"});
    store_->AddNode({.name = "solo", .hostId = "#U77"});
    Caller c;
    ASSERT_EQ(qvAPIGetNodeDefinitionByName("DUAL", c.record()), 1);
    EXPECT_STREQ(c.record()->ucCommonName, "as master");
    ASSERT_EQ(qvAPIGetNodeDefinitionByName("#U77", c.record()), 1);
    EXPECT_STREQ(c.record()->ucNodeName, "solo");
    ASSERT_EQ(qvAPIGetClientDefinitionByName("#U77", c.record()), 1);
    EXPECT_STREQ(c.record()->ucHostIDPath, "\\");
}

TEST_F(NodeReaderTest, FilesHeldElsewhereMakeEveryReaderBusy) {
    store_->AddNode({.name = "abc"});
    store_->AddNode({.name = "m1", .kind = QVAPI_NODE_MASTER});
    SetKey(0);
    const std::string nodeDef = qvp::nodes::NodeDefDir();
    Caller c;
    {
        HeldByAnotherProcess held(nodeDef + "\\C.604");
        ASSERT_TRUE(held.held());
        EnableLog();
        EXPECT_EQ(qvAPIGetClientDefinitionByName("abc", c.record()), 0);
        EXPECT_EQ(qvAPIGetLastError(), QVAPI_ERR_NODE_FILE_BUSY);
        EXPECT_TRUE(Logged("qvAPIGetVirtualNodeDefinitionByName : CreateFile(" + nodeDef +
                           "\\C.604) Err=32"));
        EXPECT_EQ(qvAPIGetNodeDefinitionByName("abc", c.record()), 0);
        EXPECT_EQ(qvAPIGetLastError(), QVAPI_ERR_NODE_FILE_BUSY);
        EXPECT_EQ(qvAPIFindClientDefinition("abc", c.record(), 0, 0), 0);
        EXPECT_EQ(qvAPIGetLastError(), QVAPI_ERR_NODE_FILE_BUSY);
    }
    {
        HeldByAnotherProcess held(qvp::nodes::AttributionFilePath(store_->Record("abc")));
        ASSERT_TRUE(held.held());
        EXPECT_EQ(qvAPIGetClientDefinitionByName("abc", c.record()), 0);
        EXPECT_EQ(qvAPIGetLastError(), QVAPI_ERR_NODE_FILE_BUSY);
    }
    ASSERT_EQ(qvAPIGetClientDefinitionByName("abc", c.record()), 1);

    SetKey(1);
    store_->AddNode({.name = "ip", .kind = QVAPI_NODE_MASTER, .address = {10, 1, 1, 1}, .ipKeyed = true});
    HeldByAnotherProcess held(nodeDef + "\\M.10.1.1.1");
    ASSERT_TRUE(held.held());
    EXPECT_EQ(qvAPIGetMasterDefinitionByName("10.1.1.1", c.record()), 0);
    EXPECT_EQ(qvAPIGetLastError(), QVAPI_ERR_NODE_FILE_BUSY);
    EXPECT_TRUE(Logged("qvAPIGetMasterDefinitionByName : CreateFile Error : File = " + nodeDef +
                       "\\M.10.1.1.1, errno = 32"));
    EXPECT_EQ(qvAPIFindMasterDefinition("10.1.1.1", c.record(), 0, 0), 0);
    EXPECT_EQ(qvAPIGetLastError(), QVAPI_ERR_NODE_FILE_BUSY);
    EXPECT_EQ(qvAPIGetNodeDefinitionByName("10.1.1.1", c.record()), 0);
    EXPECT_EQ(qvAPIGetLastError(), QVAPI_ERR_NODE_FILE_BUSY);
}

TEST_F(NodeReaderTest, AttributionPathFollowsTheKeyPath) {
    store_->AddNode({.name = "m1", .kind = QVAPI_NODE_MASTER});
    store_->AddNode({.name = "m2", .kind = QVAPI_NODE_MASTER, .master = "m1"});
    store_->AddNode({.name = "c1", .master = "m2"});
    store_->AddNode({.name = "ipc", .address = {192, 168, 0, 1}, .ipKeyed = true, .master = "m1"});
    for (const char* name : {"m1", "m2", "c1", "192.168.0.1"}) {
        const QVAPI_NODE& r = store_->Record(name);
        auto posix = win::ToPosixPath(qvp::nodes::AttributionFilePath(r));
        ASSERT_TRUE(posix.has_value()) << name;
        EXPECT_EQ(std::filesystem::path(*posix), store_->AttributionPath(r)) << name;
    }
}

// A record whose every stretch (head, host ID, host-ID path, MAC, creation time) holds bytes.
NodeStoreBuilder::Node Full(const std::string& name, uint32_t kind) {
    return {.name = name, .kind = kind, .hostId = kind == QVAPI_NODE_MASTER ? "#C7" : "#G7",
            .commonName = name + " PC", .macAddress = "00-11-22-33-44-55",
            .updated = {2024, 5, 1, 2, 10, 20, 30, 400}, .created = {2023, 4, 6, 3, 9, 8, 7, 6}};
}

TEST_F(NodeReaderTest, EveryReaderCopiesOnlyTheCallersShareAtEveryLevel) {
    const QVAPI_NODE client = store_->AddNode(Full("cli", QVAPI_NODE_CLIENT));
    const QVAPI_NODE master = store_->AddNode(Full("mst", QVAPI_NODE_MASTER));
    ASSERT_NE(client.ucHostID[0], '\0');
    ASSERT_NE(client.stCreateTime.wYear, 0);
    using Reader = int (*)(const char*, QVAPI_NODE*);
    struct Case {
        const char* what;
        Reader read;
        const char* name;
        const QVAPI_NODE* expected;  // nullptr: no such node
    };
    static const Reader findClient = [](const char* n, QVAPI_NODE* r) { return qvAPIFindClientDefinition(n, r, 0, 0); };
    static const Reader findMaster = [](const char* n, QVAPI_NODE* r) { return qvAPIFindMasterDefinition(n, r, 0, 0); };
    const Case cases[] = {
        {"client", qvAPIGetClientDefinitionByName, "#G7", &client},
        {"find client", findClient, "#G7", &client},
        {"master", qvAPIGetMasterDefinitionByName, "#C7", &master},
        {"find master", findMaster, "#C7", &master},
        {"node/client", qvAPIGetNodeDefinitionByName, "#G7", &client},
        {"node/master", qvAPIGetNodeDefinitionByName, "#C7", &master},
        {"client missing", qvAPIGetClientDefinitionByName, "#G8", nullptr},
        {"find client missing", findClient, "#G8", nullptr},
        {"master missing", qvAPIGetMasterDefinitionByName, "#C8", nullptr},
        {"find master missing", findMaster, "#C8", nullptr},
    };
    for (int level = 0; level <= 5; ++level) {
        ASSERT_EQ(qvAPIExpandLevel(level), 1);
        const size_t size = block_->recordSizes[0];
        ASSERT_EQ(size, (std::vector<size_t>{960, 1268, 1396, 1524, 1524, 1652}[level]));
        for (const Case& k : cases) {
            // The caller's buffer is exactly its level's size, guard bytes right behind it.
            std::vector<uint8_t> buffer(size + kGuard, kFill);
            auto* out = reinterpret_cast<QVAPI_NODE*>(buffer.data());
            const int ok = k.read(k.name, out);
            EXPECT_EQ(ok, k.expected != nullptr ? 1 : 0) << k.what << " level " << level;
            if (k.expected != nullptr) {
                EXPECT_EQ(std::memcmp(out, k.expected, size), 0) << k.what << " level " << level;
            } else {
                EXPECT_EQ(std::vector<uint8_t>(buffer.begin(), buffer.begin() + size),
                          std::vector<uint8_t>(size, 0))
                    << k.what << " level " << level;
            }
            EXPECT_EQ(std::vector<uint8_t>(buffer.begin() + size, buffer.end()),
                      std::vector<uint8_t>(kGuard, kFill))
                << k.what << " level " << level;
        }
    }
}

TEST_F(NodeReaderTest, IpKeyedTopLevelClientGroupFlagComesFromItsAttributionFile) {
    SetKey(1);
    store_->AddNode({.name = "in-group", .address = {10, 3, 0, 1}, .ipKeyed = true});
    store_->AddNode({.name = "no-group", .address = {10, 3, 0, 2}, .ipKeyed = true});
    store_->AddNode({.name = "m", .kind = QVAPI_NODE_MASTER, .address = {10, 3, 0, 3}, .ipKeyed = true});
    store_->AddNode({.name = "below", .address = {10, 3, 0, 4}, .ipKeyed = true, .master = "10.3.0.3"});
    store_->AddMember("\\g", "10.3.0.1");
    store_->AddMember("\\g", "10.3.0.4");
    // Stored flags that say the opposite of the attribution files.
    auto storeFlag = [&](const std::string& name, uint32_t flag) {
        QVAPI_NODE r = store_->Record(name);
        r.uiNodeGroupFlag = flag;
        store_->WriteDefinitionFile(store_->DefinitionPath(r).filename().string(), r);
    };
    storeFlag("10.3.0.1", 0);
    storeFlag("10.3.0.2", 1);
    storeFlag("10.3.0.4", 0);
    ASSERT_GT(std::filesystem::file_size(store_->AttributionPath(store_->Record("10.3.0.1"))), 960u);
    ASSERT_EQ(std::filesystem::file_size(store_->AttributionPath(store_->Record("10.3.0.2"))), 960u);

    Caller c;
    for (auto read : {qvAPIGetClientDefinitionByName, qvAPIGetNodeDefinitionByName}) {
        ASSERT_EQ(read("10.3.0.1", c.record()), 1);
        EXPECT_EQ(c.record()->uiNodeGroupFlag, 1u);
        ASSERT_EQ(read("10.3.0.2", c.record()), 1);
        EXPECT_EQ(c.record()->uiNodeGroupFlag, 0u);
        ASSERT_EQ(read("10.3.0.4", c.record()), 1);
        EXPECT_EQ(c.record()->uiNodeGroupFlag, 0u);  // below a master: the stored value
    }
    // The session's keying is written into what is read.
    QVAPI_NODE r = store_->Record("10.3.0.2");
    r.ucSystemKey = 0;
    store_->WriteDefinitionFile("C.10.3.0.2", r);
    ASSERT_EQ(qvAPIGetClientDefinitionByName("10.3.0.2", c.record()), 1);
    EXPECT_EQ(c.record()->ucSystemKey, 1);
}

TEST_F(NodeReaderTest, LogLinesNameTheReaderThatDoesTheWork) {
    EnableLog();
    const std::string nodeDef = qvp::nodes::NodeDefDir();
    Caller c;
    // The Find forms call the Get readers, each in its own frame.
    EXPECT_EQ(qvAPIFindClientDefinition("nobody", c.record(), 0, 0), 0);
    EXPECT_EQ(qvAPIGetLastError(), QVAPI_ERR_NO_MORE_ITEMS);
    const std::vector<std::string> expected = {
        "qvAPIFindClientDefinition START",
        "qvAPIGetClientDefinitionByName START",
        "qvAPIGetClientDefinitionByName END : Code = " + std::to_string(int(QVAPI_ERR_NOT_FOUND)),
        "qvAPIFindClientDefinition END : Code = " + std::to_string(int(QVAPI_ERR_NO_MORE_ITEMS)),
    };
    EXPECT_EQ(LogMessages(), expected);

    EXPECT_EQ(qvAPIGetClientDefinitionByName("#x1", c.record()), 0);
    EXPECT_TRUE(Logged("qvAPIGetClientDefinitionByName : qvAPIGetNodeNameType : Not found key type = #x1"));
    EXPECT_TRUE(Logged("qvAPIGetNodeNameType : Parameter Err : not found kind of Host ID"));
    EXPECT_EQ(qvAPIGetNodeDefinitionByName("#x1", c.record()), 0);
    EXPECT_TRUE(Logged("qvAPIGetNodeDefinitionByName : qvAPIGetNodeNameType : Not found key type = #x1"));

    // A stored synonym that is not the name: the lookup walks to its end and says so.
    store_->AddNode({.name = "abcd", .key = "604"});
    EXPECT_EQ(qvAPIGetMasterDefinitionByName("abc", c.record()), 0);
    EXPECT_EQ(qvAPIGetLastError(), QVAPI_ERR_FILE_NOT_FOUND);
    EXPECT_EQ(qvAPIGetClientDefinitionByName("abc", c.record()), 0);
    EXPECT_EQ(qvAPIGetLastError(), QVAPI_ERR_NOT_FOUND);
    EXPECT_TRUE(Logged("qvAPIGetVirtualNodeDefinitionByName : FindNextFile Err 18"));

    SetKey(1);
    EXPECT_EQ(qvAPIFindClientDefinition("10.9.9.9", c.record(), 0, 0), 0);
    EXPECT_EQ(qvAPIGetLastError(), QVAPI_ERR_NO_MORE_ITEMS);
    EXPECT_TRUE(Logged("qvAPIGetClientDefinitionByName : _stat Error : File = " + nodeDef +
                       "\\C.10.9.9.9, errno = 2"));
    EXPECT_EQ(qvAPIFindMasterDefinition("10.9.9.9", c.record(), 0, 0), 0);
    EXPECT_EQ(qvAPIGetLastError(), QVAPI_ERR_NO_MORE_ITEMS);
    EXPECT_TRUE(Logged("qvAPIGetMasterDefinitionByName : _stat Error : File = " + nodeDef +
                       "\\M.10.9.9.9, errno = 2"));
    EXPECT_EQ(qvAPIGetNodeDefinitionByName("10.9.9.9", c.record()), 0);
    EXPECT_EQ(qvAPIGetLastError(), QVAPI_ERR_NOT_FOUND);
    EXPECT_TRUE(Logged("qvAPIGetNodeDefinitionByName : NodeName No Exist : NodeName = 10.9.9.9"));

    std::vector<uint8_t> bytes(100, 1);
    store_->WriteRawFile(store_->NodeDefDir() / "C.10.9.9.8", bytes.data(), bytes.size());
    EXPECT_EQ(qvAPIGetClientDefinitionByName("10.9.9.8", c.record()), 0);
    EXPECT_EQ(qvAPIGetLastError(), QVAPI_ERR_RESOURCE);
    bool readLine = false;
    for (const std::string& m : LogMessages()) {
        readLine |= m.rfind("qvAPIGetClientDefinitionByName : ReadFile Error : Handle = 0x", 0) == 0 &&
                    m.ends_with(", Size = 0x00000674, errno = 38");
    }
    EXPECT_TRUE(readLine);
}

TEST_F(NodeReaderTest, NamesAsLongAsTheFieldAreKeptWhole) {
    const std::string longName(64, 'n');
    const QVAPI_NODE stored = store_->AddNode({.name = longName});
    ASSERT_EQ(std::memcmp(stored.ucNodeName, longName.data(), 64), 0);  // no terminator
    Caller c;
    ASSERT_EQ(qvAPIGetClientDefinitionByName(longName.c_str(), c.record()), 1);
    EXPECT_EQ(std::memcmp(c.record(), &stored, sizeof stored), 0);
    // 63 of its 64 bytes are another name.
    EXPECT_EQ(qvAPIGetClientDefinitionByName(longName.substr(0, 63).c_str(), c.record()), 0);
    EXPECT_EQ(qvAPIGetLastError(), QVAPI_ERR_NOT_FOUND);
    // No node has a longer name: the readers find none (the writers refuse it as a parameter).
    for (const std::string& longer : {longName + "n", std::string(65, 'o'), std::string(300, 'o')}) {
        SCOPED_TRACE(longer.size());
        EXPECT_EQ(qvAPIGetClientDefinitionByName(longer.c_str(), c.record()), 0);
        EXPECT_EQ(qvAPIGetLastError(), QVAPI_ERR_NOT_FOUND);
        EXPECT_EQ(qvAPIGetMasterDefinitionByName(longer.c_str(), c.record()), 0);
        EXPECT_EQ(qvAPIGetLastError(), QVAPI_ERR_FILE_NOT_FOUND);
        EXPECT_EQ(qvAPIGetNodeDefinitionByName(longer.c_str(), c.record()), 0);
        EXPECT_EQ(qvAPIGetLastError(), QVAPI_ERR_NOT_FOUND);
        EXPECT_EQ(qvAPIFindClientDefinition(longer.c_str(), c.record(), 0, 0), 0);
        EXPECT_EQ(qvAPIGetLastError(), QVAPI_ERR_NO_MORE_ITEMS);
        EXPECT_EQ(qvAPIDeleteClientDefinition(longer.c_str(), 0, nullptr), 0);
        EXPECT_EQ(qvAPIGetLastError(), QVAPI_ERR_INVALID_PARAMETER);
        QVAPI_NODE change = stored;
        EXPECT_EQ(qvAPIChangeClientDefinition(longer.c_str(), QVAPI_CHANGE_UPDATE_TIME, &change, 0), 0);
        EXPECT_EQ(qvAPIGetLastError(), QVAPI_ERR_INVALID_PARAMETER);
    }

    // A node that is not stored comes back with its whole name, as the reader began with it.
    const std::string other(64, 'o');
    EXPECT_EQ(qvAPIGetNodeDefinitionByName(other.c_str(), c.record()), 0);
    EXPECT_EQ(qvAPIGetLastError(), QVAPI_ERR_NOT_FOUND);
    EXPECT_EQ(std::string(c.record()->ucNodeName, 64), other);
    EXPECT_EQ(c.record()->uiNodeAttributes, 0u);
}

}  // namespace

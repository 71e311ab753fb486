// Readers of one stored definition by name, at the caller's API level.
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <string>
#include <vector>

#include "node_env.h"
#include "nodes/node_store.h"

namespace {

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

// Another process holds a file open, as a writer does while it rewrites it.
class HeldByAnotherProcess {
public:
    explicit HeldByAnotherProcess(const std::string& path) {
        int ready[2];
        if (pipe(ready) != 0 || pipe(release_) != 0) return;
        child_ = fork();
        if (child_ == 0) {
            win::HANDLE h = win::CreateFile(path.c_str(), win::GENERIC_READ | win::GENERIC_WRITE, 0,
                                            nullptr, win::OPEN_EXISTING, 0, nullptr);
            char ok = h != win::INVALID_HANDLE_VALUE ? 1 : 0;
            (void)!write(ready[1], &ok, 1);
            (void)!read(release_[0], &ok, 1);
            _exit(0);
        }
        char ok = 0;
        held_ = read(ready[0], &ok, 1) == 1 && ok == 1;
        close(ready[0]);
        close(ready[1]);
    }
    ~HeldByAnotherProcess() {
        if (child_ > 0) {
            char go = 1;
            (void)!write(release_[1], &go, 1);
            waitpid(child_, nullptr, 0);
        }
        close(release_[0]);
        close(release_[1]);
    }
    bool held() const { return held_; }

private:
    int release_[2] = {-1, -1};
    pid_t child_ = -1;
    bool held_ = false;
};

TEST_F(NodeReaderTest, FilesHeldElsewhereMakeEveryReaderBusy) {
    store_->AddNode({.name = "abc"});
    store_->AddNode({.name = "m1", .kind = QVAPI_NODE_MASTER});
    SetKey(0);
    const std::string nodeDef = qvp::nodes::NodeDefDir();
    Caller c;
    {
        HeldByAnotherProcess held(nodeDef + "\\C.604");
        ASSERT_TRUE(held.held());
        EXPECT_EQ(qvAPIGetClientDefinitionByName("abc", c.record()), 0);
        EXPECT_EQ(qvAPIGetLastError(), QVAPI_ERR_NODE_FILE_BUSY);
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

}  // namespace

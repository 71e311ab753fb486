// The upper-path rewriter over a real NODEDEF tree: the definitions below a master follow its
// new paths in both copies, and a path that would no longer fit refuses the whole rewrite.
#include <cstring>
#include <map>
#include <string>

#include "node_env.h"
#include "nodes/node_writer.h"

namespace qvptest {
namespace {

namespace fs = std::filesystem;

class UpperPathTest : public NodeStoreTest {
protected:
    // Every flat definition of the tree by its host name (or host ID when keyed by it).
    std::map<std::string, QVAPI_NODE> Stored() const {
        std::map<std::string, QVAPI_NODE> out;
        for (const auto& e : fs::directory_iterator(store_->NodeDefDir())) {
            if (!e.is_regular_file()) continue;
            const QVAPI_NODE r = NodeStoreBuilder::ReadRecord(e.path());
            out[r.ucHostIDFlag == 1 ? r.ucHostID : r.ucNodeName] = r;
        }
        return out;
    }
    // The head of a node's nodeattributionfile, where its stored key path places it.
    QVAPI_NODE Head(const QVAPI_NODE& r) const {
        fs::path dir = store_->NodeDefDir();
        std::string keyPath = r.ucNodeKeyPath;
        for (size_t at = 1; at < keyPath.size();) {
            const size_t end = std::min(keyPath.find('\\', at), keyPath.size());
            dir /= keyPath.substr(at, end - at);
            at = end + 1;
        }
        QVAPI_NODE head{};
        const auto bytes = NodeStoreBuilder::ReadBytes(dir / r.ucNodeKey / "nodeattributionfile");
        std::memcpy(&head, bytes.data(), std::min<size_t>(bytes.size(), 960));
        return head;
    }
    std::string Root() const { return store_->NodeDefDir().string(); }
};

TEST_F(UpperPathTest, NodesBelowTheMasterTakeItsNewPaths) {
    store_->AddNode({.name = "top", .kind = QVAPI_NODE_MASTER, .address = {10, 0, 0, 1}});
    const QVAPI_NODE mst = store_->AddNode({.name = "mst1", .kind = QVAPI_NODE_MASTER, .address = {10, 0, 0, 2}, .master = "top"});
    store_->AddNode({.name = "pc1", .address = {10, 0, 0, 3}, .master = "mst1"});
    store_->AddNode({.name = "mst2", .kind = QVAPI_NODE_MASTER, .address = {10, 0, 0, 4}, .master = "mst1"});
    store_->AddNode({.name = "pc2", .address = {10, 0, 0, 5}, .master = "mst2"});
    store_->AddNode({.name = "pc9", .address = {10, 0, 0, 9}, .master = "top"});
    const auto before = Stored();

    QVAPI_NODE moved = mst;  // mst1 now at the top
    std::strcpy(moved.ucNodePath0, "\\");
    std::strcpy(moved.ucNodeKeyPath, "");
    ASSERT_EQ(qvp::nodes::qvAPIChangeUpperNodePathDefinition(Root().c_str(), &mst, &moved), 1)
        << std::hex << qvAPIGetLastError();
    EXPECT_EQ(qvAPIGetLastError(), 0u);
    const auto after = Stored();
    const std::string key = mst.ucNodeKey;
    EXPECT_STREQ(after.at("pc1").ucNodePath0, "\\mst1");
    EXPECT_EQ(std::string(after.at("pc1").ucNodeKeyPath), "\\" + key);
    EXPECT_STREQ(after.at("mst2").ucNodePath0, "\\mst1");
    EXPECT_STREQ(after.at("pc2").ucNodePath0, "\\mst1\\mst2");
    EXPECT_EQ(std::string(after.at("pc2").ucNodeKeyPath), "\\" + key + "\\" + after.at("mst2").ucNodeKey);
    // The rest of each record is kept, and the head of its attribution file follows.
    QVAPI_NODE expected = before.at("pc2");
    std::memcpy(expected.ucNodePath0, after.at("pc2").ucNodePath0, sizeof expected.ucNodePath0);
    std::memcpy(expected.ucNodeKeyPath, after.at("pc2").ucNodeKeyPath, sizeof expected.ucNodeKeyPath);
    EXPECT_EQ(std::memcmp(&expected, &after.at("pc2"), sizeof expected), 0);
    const QVAPI_NODE head = Head(before.at("pc2"));
    EXPECT_EQ(std::memcmp(&head, &after.at("pc2"), 960), 0);
    // Nodes elsewhere, and the master itself, are not touched.
    for (const char* name : {"top", "mst1", "pc9"})
        EXPECT_EQ(std::memcmp(&before.at(name), &after.at(name), sizeof(QVAPI_NODE)), 0) << name;
}

struct TooLongCase {
    const char* field;  // the text of its refusal
    void (*grow)(QVAPI_NODE& upper);
};

TEST_F(UpperPathTest, PathsThatNoLongerFitRefuseEverything) {
    EnableLog();
    store_->AddNode({.name = "mst1", .kind = QVAPI_NODE_MASTER, .address = {10, 0, 0, 2}, .hostId = "#G0001"});
    store_->AddNode({.name = "pc1", .address = {10, 0, 0, 3}, .master = "#G0001"});
    const QVAPI_NODE mst = store_->Record("#G0001");
    store_->AddNode({.name = "mst2", .kind = QVAPI_NODE_MASTER, .address = {10, 0, 0, 4}, .master = "#G0001"});
    store_->AddNode({.name = "pc2", .address = {10, 0, 0, 5}, .master = "mst2"});
    const auto before = Stored();
    const std::string deep = "\\" + std::string(250, 'd');
    const TooLongCase cases[] = {
        {"HOSTID_LEN", [](QVAPI_NODE& u) { std::snprintf(u.ucHostIDPath, 260, "\\%s", std::string(250, 'h').c_str()); }},
        {"PATH0_LEN", [](QVAPI_NODE& u) { std::snprintf(u.ucNodePath0, 260, "\\%s", std::string(250, 'p').c_str()); }},
        {"VNODE_LEN", [](QVAPI_NODE& u) { std::snprintf(u.ucNodeKeyPath, 260, "\\%s", std::string(250, 'k').c_str()); }},
    };
    for (const TooLongCase& c : cases) {
        SCOPED_TRACE(c.field);
        QVAPI_NODE grown = mst;
        c.grow(grown);
        EXPECT_EQ(qvp::nodes::qvAPIChangeUpperNodePathDefinition(Root().c_str(), &mst, &grown), 0);
        EXPECT_EQ(qvAPIGetLastError(), QVAPI_ERR_PATH_TOO_LONG);
        const auto after = Stored();
        for (const auto& [name, record] : before)
            EXPECT_EQ(std::memcmp(&record, &after.at(name), sizeof record), 0) << name;
        bool logged = false;
        for (const std::string& m : LogMessages())
            logged |= m.starts_with("qvAPIChangeUpperNodePathDefinition : Parameter Error : \\") &&
                      m.ends_with(std::string(" Path Size overed ") + c.field);
        EXPECT_TRUE(logged);
    }
    // Within the fields the same move goes through.
    QVAPI_NODE near = mst;
    std::strcpy(near.ucHostIDPath, "\\#G0009");
    ASSERT_EQ(qvp::nodes::qvAPIChangeUpperNodePathDefinition(Root().c_str(), &mst, &near), 1);
    EXPECT_STREQ(Stored().at("mst2").ucHostIDPath, "\\#G0009\\#G0001");
    EXPECT_EQ(qvp::nodes::qvAPIChangeUpperNodePathDefinition(nullptr, &mst, &near), 0);
    EXPECT_EQ(qvAPIGetLastError(), QVAPI_ERR_INVALID_PARAMETER);
}

}  // namespace
}  // namespace qvptest

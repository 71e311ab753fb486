// The upper-path rewriter over a real NODEDEF tree: the definitions below a master follow its
// new paths in both copies, and a path that would no longer fit refuses the whole rewrite.
#include <algorithm>
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
        std::string keys = r.ucNodeKeyPath;
        std::replace(keys.begin(), keys.end(), '\\', '/');
        const fs::path dir = store_->NodeDefDir() / (keys.empty() ? keys : keys.substr(1)) / r.ucNodeKey;
        QVAPI_NODE head{};
        const auto bytes = NodeStoreBuilder::ReadBytes(dir / "nodeattributionfile");
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
    const std::string key = std::string("\\") + mst.ucNodeKey;
    const std::string pc2KeyPath = key + "\\" + after.at("mst2").ucNodeKey;
    for (const auto& [name, path0, keyPath] : {std::tuple{"pc1", "\\mst1", key}, {"mst2", "\\mst1", key},
                                                {"pc2", "\\mst1\\mst2", pc2KeyPath}}) {
        SCOPED_TRACE(name);
        EXPECT_STREQ(after.at(name).ucNodePath0, path0);
        EXPECT_EQ(after.at(name).ucNodeKeyPath, keyPath);
        // The rest of the record is kept, and the head of its attribution file follows.
        QVAPI_NODE expected = before.at(name);
        std::memcpy(expected.ucNodePath0, after.at(name).ucNodePath0, sizeof expected.ucNodePath0);
        std::memcpy(expected.ucNodeKeyPath, after.at(name).ucNodeKeyPath, sizeof expected.ucNodeKeyPath);
        EXPECT_EQ(std::memcmp(&expected, &after.at(name), sizeof expected), 0);
        const QVAPI_NODE head = Head(before.at(name));
        EXPECT_EQ(std::memcmp(&head, &after.at(name), 960), 0);
    }
    // Nodes elsewhere, and the master itself, are not touched.
    for (const char* name : {"top", "mst1", "pc9"})
        EXPECT_EQ(std::memcmp(&before.at(name), &after.at(name), sizeof(QVAPI_NODE)), 0) << name;
}

TEST_F(UpperPathTest, PathsThatNoLongerFitRefuseEverything) {
    EnableLog();
    store_->AddNode({.name = "mst1", .kind = QVAPI_NODE_MASTER, .address = {10, 0, 0, 2}, .hostId = "#G0001"});
    store_->AddNode({.name = "pc1", .address = {10, 0, 0, 3}, .master = "#G0001"});
    const QVAPI_NODE mst = store_->Record("#G0001");
    store_->AddNode({.name = "mst2", .kind = QVAPI_NODE_MASTER, .address = {10, 0, 0, 4}, .master = "#G0001"});
    store_->AddNode({.name = "pc2", .address = {10, 0, 0, 5}, .master = "mst2"});
    const auto before = Stored();
    const std::string deep = "\\" + std::string(250, 'd');
    const std::pair<const char*, char*(*)(QVAPI_NODE&)> cases[] = {
        {"HOSTID_LEN", [](QVAPI_NODE& u) { return u.ucHostIDPath; }},
        {"PATH0_LEN", [](QVAPI_NODE& u) { return u.ucNodePath0; }},
        {"VNODE_LEN", [](QVAPI_NODE& u) { return u.ucNodeKeyPath; }},
    };
    for (const auto& [field, grow] : cases) {
        SCOPED_TRACE(field);
        QVAPI_NODE grown = mst;
        std::strcpy(grow(grown), deep.c_str());
        EXPECT_EQ(qvp::nodes::qvAPIChangeUpperNodePathDefinition(Root().c_str(), &mst, &grown), 0);
        EXPECT_EQ(qvAPIGetLastError(), QVAPI_ERR_PATH_TOO_LONG);
        for (const auto& [name, record] : Stored())
            EXPECT_EQ(std::memcmp(&record, &before.at(name), sizeof record), 0) << name;
        bool logged = false;
        for (const std::string& m : LogMessages())
            logged |= m.starts_with("qvAPIChangeUpperNodePathDefinition : Parameter Error : \\") &&
                      m.ends_with(std::string(" Path Size overed ") + field);
        EXPECT_TRUE(logged);
    }
    // Within the fields the same move goes through.
    QVAPI_NODE near = mst;
    std::strcpy(near.ucHostIDPath, "\\#G0009");
    ASSERT_EQ(qvp::nodes::qvAPIChangeUpperNodePathDefinition(Root().c_str(), &mst, &near), 1);
    EXPECT_STREQ(Stored().at("mst2").ucHostIDPath, "\\#G0009\\#G0001");
}

}  // namespace
}  // namespace qvptest

// Job preparation's ID lookups answered by the ID finders against the simulator's ID store: an
// ID-group entry becomes the ID's clients (or, for the kinds that address masters, its masters).
#include "id_fixture.h"
#include "idgroups/id_finders.h"
#include "jobgen/jobgen_prepare.h"
#include "jobgen/prepare_files.h"

namespace qvptest {
namespace {

namespace jg = qvp::jobgen;

TEST_F(IdTest, JobPreparationExpandsIdsThroughTheFinders) {
    qvp::ids::ConnectJobGenLookups();
    nodes_->AddNode({.name = "mst1", .kind = QVAPI_NODE_MASTER, .address = {10, 0, 0, 1}});
    nodes_->AddNode({.name = "pc1", .address = {10, 0, 0, 2}, .master = "mst1"});
    ids().AddId("ops", 1);
    ids().AddId("closed", 1, 0x01);
    ids().AddEntry('C', "ops", "pc1");
    ids().AddEntry('M', "ops", "mst1");
    struct Case {
        char kind;
        const char* expected;
    };
    for (const Case& c : {Case{'G', "mst1.pc1"}, Case{'A', "mst1.mst1"}}) {
        const Image bytes = File(c.kind, {Entry(c.kind, 4, "\\%ops"), Entry(c.kind, 4, "\\%closed")}, 2);
        const std::string path = (root_ / "jobgenfile").string();
        nodes_->WriteRawFile(path, bytes.data(), bytes.size());
        jg::ReCreateControlTable table;
        ASSERT_EQ(jg::qvAPIReCreateJobGen(&table, path.c_str(), path.c_str()), 1) << std::hex << qvAPIGetLastError();
        EXPECT_EQ(table.skippedEntries, 1u);  // the closed ID
        jg::StoredJobGen out;
        ASSERT_TRUE(jg::ParseJobGenFile(NodeStoreBuilder::ReadBytes(path), out));
        ASSERT_EQ(out.entries.size(), 1u);
        EXPECT_EQ(Text(out.entries[0].node, 260), c.expected);
    }
}

// "%networkID_..." is found by the real finders in the network-ID group; "%networkID" alone adds nothing.
TEST_F(IdTest, NetworkIdEntriesAreLookedUpInTheirGroup) {
    qvp::ids::ConnectJobGenLookups();
    nodes_->AddNode({.name = "mst1", .kind = QVAPI_NODE_MASTER, .address = {10, 0, 0, 1}});
    nodes_->AddNode({.name = "pc1", .address = {10, 0, 0, 2}, .master = "mst1"});
    fs::create_directories(nodes_->NodeGroupDir() / "I.networkID" / "I.networkID_");
    ids().AddId("networkID_", 1);
    ids().AddEntry('C', "networkID_", "pc1");
    const Image bytes = File('G', {Entry('G', 4, "\\mst1\\%networkID_"), Entry('G', 4, "\\%networkID")}, 2);
    const std::string path = (root_ / "jobgenfile").string();
    nodes_->WriteRawFile(path, bytes.data(), bytes.size());
    jg::ReCreateControlTable table;
    ASSERT_EQ(jg::qvAPIReCreateJobGen(&table, path.c_str(), path.c_str()), 1) << std::hex << qvAPIGetLastError();
    EXPECT_EQ(table.skippedEntries, 0u);
    jg::StoredJobGen out;
    ASSERT_TRUE(jg::ParseJobGenFile(NodeStoreBuilder::ReadBytes(path), out));
    ASSERT_EQ(out.entries.size(), 1u);
    EXPECT_EQ(Text(out.entries[0].node, 260), "mst1.pc1");
}

}  // namespace
}  // namespace qvptest

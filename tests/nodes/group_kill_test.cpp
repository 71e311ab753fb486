// Adding or removing a member killed at each platform call in turn leaves the group file old or
// new whole, at worst a back-link its group does not list, and the same call again finishes
// (sweeping the temporaries left beside the group file when it rewrites it).
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "support/kill_steps.h"
#include "support/node_group_builder.h"

namespace {

// memberBefore: alpha in \G1 before; inG2: alpha also in \G2 (else its group flag changes)
struct Change { const char* name; bool memberBefore; bool inG2; int (*call)(); };
void PrintTo(const Change& change, std::ostream* out) { *out << change.name; }

struct GroupKill : qvptest::NodeGroupStore, ::testing::WithParamInterface<Change> {
    void Build() {  // alpha in \G2 when asked and, for a removal, in \G1; beta in \G1 either way
        FreshStoreWithMembers();
        store_->AddGroup("\\G2");
        if (GetParam().inG2) store_->AddMember("\\G2", "alpha");
        if (GetParam().memberBefore) store_->AddMember("\\G1", "alpha");
    }
    struct State {
        std::vector<uint8_t> group;
        std::vector<std::string> links;
        size_t attrSize;
        long temporaries;  // beside the group file
        size_t LinksTo(const char* group) const { return std::count(links.begin(), links.end(), group); }
    };
    State Now() const {
        const QVAPI_NODE& alpha = store_->Record("alpha");
        const auto beside = std::filesystem::directory_iterator(GroupFile("\\G1").parent_path());
        return {Bytes(GroupFile("\\G1")), store_->ReadBackLinks(alpha),
                std::filesystem::file_size(store_->AttributionPath(alpha)),
                std::count_if(begin(beside), end(beside), [](const auto& e) { return e.path().extension() == ".tmp"; })};
    }
};

TEST_P(GroupKill, EachKilledStepLeavesTheGroupWholeAndTheSameCallFinishes) {
    Build();
    const State before = Now();
    ASSERT_EQ(GetParam().call(), 1) << std::hex << qvAPIGetLastError();
    const State after = Now();
    ASSERT_NE(before.group, after.group);
    const auto check = [&](unsigned step, bool completed) {
        SCOPED_TRACE("step " + std::to_string(step));
        const State left = Now();
        EXPECT_TRUE(left.group == before.group || left.group == after.group);
        EXPECT_EQ((left.attrSize - 960) % 260, 0u);
        // Never an entry without its back-link; the back-link to \G2 is never lost.
        const bool listed = left.group == (GetParam().memberBefore ? before : after).group;
        EXPECT_TRUE(!listed || left.LinksTo("\\G1") == 1);
        EXPECT_EQ(left.LinksTo("\\G2"), GetParam().inG2 ? 1u : 0u);
        if (completed) return;
        GetParam().call();  // the next write of the member drops a back-link its group does not list
        const State done = Now();
        EXPECT_EQ(done.group, after.group);
        EXPECT_EQ(done.links, after.links);
        EXPECT_TRUE(left.group == after.group || done.temporaries == 0);  // swept by the rewrite
        // uiNodeGroupFlag (offset 464) agrees in the definition and its attribution head.
        const QVAPI_NODE& alpha = store_->Record("alpha");
        for (const auto& path : {store_->DefinitionPath(alpha), store_->AttributionPath(alpha)})
            EXPECT_EQ(Bytes(path).at(464), after.attrSize > 960 ? 1 : 0) << path;
    };
    EXPECT_GT(qvptest::WalkKillSteps([&] { Build(); }, [&] { GetParam().call(); }, check), 5u);
}

INSTANTIATE_TEST_SUITE_P(
    Members, GroupKill,
    ::testing::Values(Change{"Add", false, true, [] { return qvAPICreateClient("\\G1", "alpha", 0, 0); }},
                      Change{"Remove", true, true, [] { return qvAPIDeleteClient("\\G1", "alpha", 0, 0); }},
                      Change{"FirstAdd", false, false, [] { return qvAPICreateClient("\\G1", "alpha", 0, 0); }},
                      Change{"LastRemove", true, false, [] { return qvAPIDeleteClient("\\G1", "alpha", 0, 0); }}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace

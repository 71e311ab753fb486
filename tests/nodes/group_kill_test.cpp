// A member added to or removed from a group by a writer killed at each of its platform calls in
// turn: the group file is left old-whole or new-whole, the node's back-links at worst hold one to
// a group that does not list it, and the same call made again finishes the change.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "qvpapi.h"
#include "support/kill_steps.h"
#include "support/node_group_builder.h"

namespace {

namespace fs = std::filesystem;

struct Change {
    const char* name;
    bool memberBefore;  // alpha listed in \G1 before the call
    int (*call)();
};
void PrintTo(const Change& change, std::ostream* out) { *out << change.name; }

class GroupKill : public qvptest::NodeGroupStore, public ::testing::WithParamInterface<Change> {
protected:
    // alpha in \G2 and, for a removal, in \G1; beta in \G1 either way.
    void Build() {
        FreshStoreWithMembers();
        store_->AddGroup("\\G2");
        store_->AddMember("\\G2", "alpha");
        if (GetParam().memberBefore) store_->AddMember("\\G1", "alpha");
    }
    struct State {
        std::vector<uint8_t> group;
        std::vector<std::string> links;
        size_t attrSize = 0;
    };
    State Now() const {
        const QVAPI_NODE& alpha = store_->Record("alpha");
        return {Bytes(GroupFile("\\G1")), store_->ReadBackLinks(alpha), fs::file_size(store_->AttributionPath(alpha))};
    }
    static bool Listed(const std::vector<uint8_t>& group) {
        for (size_t at = 32; at + 144 <= group.size(); at += 144)
            if (std::string(reinterpret_cast<const char*>(group.data() + at)) == "alpha") return true;
        return false;
    }
    static bool Linked(const State& s) { return std::count(s.links.begin(), s.links.end(), "\\G1") == 1; }
};

TEST_P(GroupKill, EachKilledStepLeavesTheGroupWholeAndTheSameCallFinishes) {
    Build();
    const State before = Now();
    ASSERT_EQ(GetParam().call(), 1) << std::hex << qvAPIGetLastError();
    const State after = Now();
    ASSERT_NE(before.group, after.group);
    const unsigned steps = qvptest::WalkKillSteps(
        [&] { Build(); },
        [&] { GetParam().call(); },
        [&](unsigned step, bool completed) {
            const State left = Now();
            EXPECT_TRUE(left.group == before.group || left.group == after.group) << "step " << step;
            EXPECT_EQ((left.attrSize - 960) % 260, 0u) << "step " << step;
            // Never an entry without its back-link; the back-link to \G2 is never lost.
            EXPECT_TRUE(!Listed(left.group) || Linked(left)) << "step " << step;
            EXPECT_EQ(std::count(left.links.begin(), left.links.end(), "\\G2"), 1) << "step " << step;
            if (completed) return;
            // The next write of the member drops a back-link its group does not list.
            GetParam().call();
            const State done = Now();
            EXPECT_EQ(done.group, after.group) << "step " << step;
            EXPECT_EQ(done.links, after.links) << "step " << step;
        });
    EXPECT_GT(steps, 5u);
}

INSTANTIATE_TEST_SUITE_P(
    Members, GroupKill,
    ::testing::Values(Change{"Add", false, [] { return qvAPICreateClient("\\G1", "alpha", 0, 0); }},
                      Change{"Remove", true, [] { return qvAPIDeleteClient("\\G1", "alpha", 0, 0); }}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace

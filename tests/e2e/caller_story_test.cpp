// A caller's day with the library, across every layer: a session with the manager simulator,
// node definitions and groups, the manager's records, a status rename, packing and unpacking
// a package folder, and the close; alone and with a second caller thread at the same time.
#include <thread>

#include "e2e/caller_fixture.h"

namespace qvpe2e {
namespace {

TEST_F(CallerTest, OneCallerFromOpenToClose) {
    const CallerData caller{"one", 'C'};
    Prepare(caller);
    RunStory(caller);
}

// Two sessions at once, each on its own thread and connection, over one data root: neither
// sees the other's cursors, walks or work trees, and both end cleanly.
TEST_F(CallerTest, TwoCallerThreadsAtOnce) {
    const CallerData first{"ta", 'C', false};
    const CallerData second{"tb", 'D', false};
    Prepare(first);
    Prepare(second);
    EXPECT_EQ(WalkTop(""), TopNames());
    std::thread a([&] { RunStory(first); });
    std::thread b([&] { RunStory(second); });
    a.join();
    b.join();
    EXPECT_EQ(sim_->Connections().size(), 2u);
    EXPECT_TRUE(sim_->WaitForClosed(2));
    // Both callers left every definition as it was written.
    EXPECT_EQ(WalkTop(""), TopNames());
}

// The same caller thread may open again after a close and finds the store as it left it.
TEST_F(CallerTest, ASecondSessionOfTheSameThreadStartsClean) {
    const CallerData caller{"re", 'C'};
    Prepare(caller);
    RunStory(caller);
    ASSERT_EQ(qvAPIOpen("127.0.0.1", Port().c_str()), 1);
    ASSERT_EQ(qvAPIExpandLevel(5), 1);
    QVAPI_NODE node;
    ASSERT_EQ(qvAPIGetClientDefinitionByName(caller.Client().c_str(), &node), 1);
    EXPECT_EQ(node.uiNodeGroupFlag, 0u);
    EXPECT_EQ(qvAPICountNodeDefinition(), 3);
    EXPECT_EQ(qvAPIClose(), 1);
    EXPECT_EQ(sim_->Connections().size(), 2u);
}

}  // namespace
}  // namespace qvpe2e

// Thread exit: core's per-thread block is released after or before the layer's own per-thread
// state, depending on which a thread used first. Either way the block's release may still take
// named mutexes, and whatever the thread leaves owned is abandoned.
#include <atomic>
#include <thread>

#include "core/block.h"
#include "platform_fixture.h"

namespace {
using namespace win;
using qvp_test::PlatformTest;

// What the block's release does in the test's threads only (hooks are process-wide).
thread_local bool t_takeAtRelease = false;
std::atomic<HANDLE> g_leftOwned{nullptr};
std::atomic<int> g_releaseSteps{0};

void TakeMutexesAtRelease(QVPAPI& /*block*/) {
    if (!t_takeAtRelease) return;
    // Like closing a session's log: take a named mutex and let go of it.
    HANDLE log = CreateMutex(nullptr, FALSE, "exit.log");
    if (log != nullptr && WaitForSingleObject(log, INFINITE) == WAIT_OBJECT_0 && ReleaseMutex(log))
        g_releaseSteps.fetch_add(1);
    CloseHandle(log);
    // And one it never lets go of: the thread's end must abandon it.
    HANDLE kept = CreateMutex(nullptr, FALSE, "exit.kept");
    if (kept != nullptr && WaitForSingleObject(kept, INFINITE) == WAIT_OBJECT_0) g_releaseSteps.fetch_add(1);
    g_leftOwned = kept;
}

void RegisterHookOnce() {
    static const bool registered = [] {
        qvpRegisterSessionReleaseHook(TakeMutexesAtRelease);
        return true;
    }();
    (void)registered;
}

// blockFirst: the thread's block exists before the thread first takes a mutex of the layer.
void RunThread(bool blockFirst) {
    std::thread([blockFirst] {
        t_takeAtRelease = true;
        if (blockFirst) {
            ASSERT_NE(qvpGetThreadBlock(), nullptr);
        }
        HANDLE m = CreateMutex(nullptr, FALSE, "exit.early");
        ASSERT_NE(m, nullptr);
        ASSERT_EQ(WaitForSingleObject(m, INFINITE), WAIT_OBJECT_0);
        ASSERT_TRUE(ReleaseMutex(m));
        CloseHandle(m);
        if (!blockFirst) {
            ASSERT_NE(qvpGetThreadBlock(), nullptr);
        }
    }).join();
}

class ThreadExitTest : public PlatformTest, public ::testing::WithParamInterface<bool> {};

TEST_P(ThreadExitTest, BlockReleaseTakesNamedMutexesAtThreadExit) {
    RegisterHookOnce();
    g_leftOwned = nullptr;
    g_releaseSteps = 0;
    RunThread(GetParam());
    EXPECT_EQ(g_releaseSteps.load(), 2);
    HANDLE kept = g_leftOwned.exchange(nullptr);
    ASSERT_NE(kept, nullptr);
    EXPECT_EQ(WaitForSingleObject(kept, 0), WAIT_ABANDONED);
    EXPECT_TRUE(ReleaseMutex(kept));
    CloseHandle(kept);
    EXPECT_TRUE(std::filesystem::is_empty(root_ + "/run"));
}

INSTANTIATE_TEST_SUITE_P(EitherOrder, ThreadExitTest, ::testing::Bool(),
                         [](const ::testing::TestParamInfo<bool>& info) {
                             return info.param ? std::string("BlockFirst") : std::string("MutexFirst");
                         });

}  // namespace

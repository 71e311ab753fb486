// Named mutexes whose users end abruptly: only an owner that goes while owning leaves the mutex
// abandoned; one that let go first leaves it free, however it ends afterwards.
#include <signal.h>

#include <thread>

#include "platform_fixture.h"

namespace {
using namespace win;
using qvp_test::Channel;
using qvp_test::Join;
using qvp_test::PlatformTest;
using qvp_test::Spawn;

// Takes and lets go n times, sending 'x' when one fails (the parent waits on the channel).
bool Cycle(HANDLE m, int n, Channel& ready) {
    for (int i = 0; i < n; ++i) {
        if (!m || WaitForSingleObject(m, INFINITE) != WAIT_OBJECT_0 || !ReleaseMutex(m)) {
            ready.Send('x');
            return false;
        }
    }
    return true;
}

// Takes and lets go many times (the record changes hands within the process), then takes it
// once more and reports.
int CycleThenOwn(const char* name, Channel& ready) {
    HANDLE m = CreateMutex(nullptr, FALSE, name);
    if (!Cycle(m, 100, ready)) return 1;
    ready.Send(WaitForSingleObject(m, 0) == WAIT_OBJECT_0 ? 'o' : 'x');
    for (;;) pause();
}

TEST_F(PlatformTest, OwnerKilledWhileOwningAbandonsToAnInfiniteWaiter) {
    HANDLE m = CreateMutex(nullptr, FALSE, "killed.owning");
    ASSERT_NE(m, nullptr);
    ASSERT_EQ(WaitForSingleObject(m, 0), WAIT_OBJECT_0);  // the record was ours before
    ASSERT_TRUE(ReleaseMutex(m));
    Channel ready;
    const pid_t child = Spawn([&] { return CycleThenOwn("killed.owning", ready); });
    ASSERT_EQ(ready.Receive(), 'o');
    EXPECT_EQ(WaitForSingleObject(m, 0), WAIT_TIMEOUT);
    std::thread killer([&] {
        Sleep(20);
        kill(child, SIGKILL);
    });
    EXPECT_EQ(WaitForSingleObject(m, INFINITE), WAIT_ABANDONED);
    killer.join();
    EXPECT_EQ(Join(child), 128 + SIGKILL);
    EXPECT_TRUE(ReleaseMutex(m));
    EXPECT_EQ(WaitForSingleObject(m, 0), WAIT_OBJECT_0);
    EXPECT_TRUE(ReleaseMutex(m));
    CloseHandle(m);
    EXPECT_TRUE(std::filesystem::is_empty(root_ + "/run"));
}

TEST_F(PlatformTest, AbandonedMutexIsSeenByAProcessThatOpensItAfterTheDeath) {
    HANDLE keep = CreateMutex(nullptr, FALSE, "killed.later");  // keeps the object alive
    ASSERT_NE(keep, nullptr);
    Channel ready;
    const pid_t owner = Spawn([&] { return CycleThenOwn("killed.later", ready); });
    ASSERT_EQ(ready.Receive(), 'o');
    kill(owner, SIGKILL);
    EXPECT_EQ(Join(owner), 128 + SIGKILL);
    const pid_t next = Spawn([] {
        HANDLE m = OpenMutex(SYNCHRONIZE, FALSE, "killed.later");
        if (!m) return 1;
        if (WaitForSingleObject(m, 0) != WAIT_ABANDONED) return 2;
        if (!ReleaseMutex(m)) return 3;
        return WaitForSingleObject(m, 0) == WAIT_OBJECT_0 ? 0 : 4;  // and keeps it: abandoned again
    });
    EXPECT_EQ(Join(next), 0);
    EXPECT_EQ(WaitForSingleObject(keep, 0), WAIT_ABANDONED);
    EXPECT_TRUE(ReleaseMutex(keep));
    CloseHandle(keep);
}

TEST_F(PlatformTest, ReleasedThenEndingOrKilledLeavesTheMutexFree) {
    HANDLE m = CreateMutex(nullptr, FALSE, "released.first");
    ASSERT_NE(m, nullptr);
    // Ends without closing its handle after letting go.
    const pid_t quits = Spawn([] {
        HANDLE c = CreateMutex(nullptr, FALSE, "released.first");
        for (int i = 0; i < 3; ++i) {
            if (WaitForSingleObject(c, INFINITE) != WAIT_OBJECT_0 || !ReleaseMutex(c)) return 1;
        }
        return 0;
    });
    EXPECT_EQ(Join(quits), 0);
    EXPECT_EQ(WaitForSingleObject(m, 0), WAIT_OBJECT_0);
    EXPECT_TRUE(ReleaseMutex(m));
    // Killed after letting go.
    Channel ready;
    const pid_t killed = Spawn([&] {
        if (!Cycle(CreateMutex(nullptr, FALSE, "released.first"), 3, ready)) return 1;
        ready.Send('r');
        for (;;) pause();
    });
    ASSERT_EQ(ready.Receive(), 'r');
    kill(killed, SIGKILL);
    EXPECT_EQ(Join(killed), 128 + SIGKILL);
    EXPECT_EQ(WaitForSingleObject(m, 0), WAIT_OBJECT_0);
    EXPECT_TRUE(ReleaseMutex(m));
    CloseHandle(m);
    EXPECT_TRUE(std::filesystem::is_empty(root_ + "/run"));
}

TEST_F(PlatformTest, ThreadEndingOwningInAnotherProcessAbandons) {
    HANDLE m = CreateMutex(nullptr, FALSE, "thread.ends.there");
    ASSERT_NE(m, nullptr);
    Channel ready, done;
    const pid_t child = Spawn([&] {
        HANDLE c = CreateMutex(nullptr, FALSE, "thread.ends.there");
        DWORD got = 0;
        std::thread([&] { got = WaitForSingleObject(c, 0); }).join();
        if (got != WAIT_OBJECT_0) return 1;
        ready.Send('t');
        done.Receive();  // the process lives on
        return 0;
    });
    ASSERT_EQ(ready.Receive(), 't');
    EXPECT_EQ(WaitForSingleObject(m, 0), WAIT_ABANDONED);
    EXPECT_TRUE(ReleaseMutex(m));
    done.Send('d');
    EXPECT_EQ(Join(child), 0);
    CloseHandle(m);
}

TEST_F(PlatformTest, ForkedChildOfAnOwnerFindsTheMutexHeld) {
    HANDLE m = CreateMutex(nullptr, TRUE, "owned.at.fork");
    ASSERT_NE(m, nullptr);
    const pid_t child = Spawn([] {
        HANDLE c = CreateMutex(nullptr, FALSE, "owned.at.fork");
        if (!c || GetLastError() != ERROR_ALREADY_EXISTS) return 1;
        if (WaitForSingleObject(c, 0) != WAIT_TIMEOUT) return 2;
        return ReleaseMutex(c) ? 3 : 0;  // not its to let go
    });
    EXPECT_EQ(Join(child), 0);
    EXPECT_TRUE(ReleaseMutex(m));
    const pid_t taker = Spawn([] {
        HANDLE c = CreateMutex(nullptr, FALSE, "owned.at.fork");
        return WaitForSingleObject(c, 0) == WAIT_OBJECT_0 && ReleaseMutex(c) ? 0 : 1;
    });
    EXPECT_EQ(Join(taker), 0);
    EXPECT_EQ(WaitForSingleObject(m, 0), WAIT_OBJECT_0);
    EXPECT_TRUE(ReleaseMutex(m));
    CloseHandle(m);
}

}  // namespace

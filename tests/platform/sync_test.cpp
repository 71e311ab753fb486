// Named mutexes and semaphores across threads and processes.
#include <atomic>
#include <thread>

#include "platform_fixture.h"
#include "support/gate_keeper.h"
#include "support/kill_steps.h"
#include "syscall_count.h"

namespace {
using namespace win;
using qvp_test::Channel;
using qvp_test::Join;
using qvp_test::PlatformTest;
using qvp_test::Spawn;

TEST_F(PlatformTest, CreateOpenAndAlreadyExists) {
    EXPECT_EQ(OpenMutex(SYNCHRONIZE, FALSE, "ZARNQV.MNGFL.NODEDEF"), nullptr);
    EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
    HANDLE a = CreateMutex(nullptr, FALSE, "ZARNQV.MNGFL.NODEDEF");
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(GetLastError(), 0u);
    HANDLE b = CreateMutex(nullptr, FALSE, "ZARNQV.MNGFL.NODEDEF");
    ASSERT_NE(b, nullptr);
    EXPECT_EQ(GetLastError(), ERROR_ALREADY_EXISTS);
    HANDLE c = OpenMutex(SYNCHRONIZE, FALSE, "ZARNQV.MNGFL.NODEDEF");
    EXPECT_NE(c, nullptr);
    EXPECT_EQ(GetLastError(), 0u);
    CloseHandle(a);
    CloseHandle(b);
    CloseHandle(c);
    // Gone with its last handle, file and all: a new create is a creation again.
    EXPECT_TRUE(std::filesystem::is_empty(root_ + "/run"));
    HANDLE d = CreateMutex(nullptr, FALSE, "ZARNQV.MNGFL.NODEDEF");
    EXPECT_EQ(GetLastError(), 0u);
    HANDLE e = CreateSemaphore(nullptr, 1, 1, "ZARNQV.MNGFL.NODEDEF");
    EXPECT_EQ(GetLastError(), 0u);  // semaphores and mutexes are told apart
    CloseHandle(d);
    CloseHandle(e);
    EXPECT_TRUE(std::filesystem::is_empty(root_ + "/run"));
}

TEST_F(PlatformTest, MutexIsRecursiveForItsOwner) {
    HANDLE m = CreateMutex(nullptr, FALSE, "rec");
    ASSERT_NE(m, nullptr);
    EXPECT_EQ(WaitForSingleObject(m, 0), WAIT_OBJECT_0);
    EXPECT_EQ(WaitForSingleObject(m, INFINITE), WAIT_OBJECT_0);
    auto otherTry = [&] {
        DWORD r = 0;
        std::thread t([&] {
            HANDLE h = CreateMutex(nullptr, FALSE, "rec");
            r = WaitForSingleObject(h, 0);
            if (r == WAIT_OBJECT_0) ReleaseMutex(h);
            CloseHandle(h);
        });
        t.join();
        return r;
    };
    EXPECT_TRUE(ReleaseMutex(m));
    EXPECT_EQ(otherTry(), WAIT_TIMEOUT);  // still held once
    EXPECT_TRUE(ReleaseMutex(m));
    EXPECT_EQ(otherTry(), WAIT_OBJECT_0);
    EXPECT_FALSE(ReleaseMutex(m));
    EXPECT_EQ(GetLastError(), ERROR_NOT_OWNER);
    CloseHandle(m);
}

// Taking and letting go of a free named mutex opens nothing, reads no status and takes no
// byte-range lock: the file's own lock and its token are all it costs.
TEST_F(PlatformTest, FreeMutexIsTakenWithoutOpensOrRangeLocks) {
    HANDLE m = CreateMutex(nullptr, FALSE, "uncontended");
    qvp_test::Counting counting;
    for (DWORD wait : {DWORD{0}, INFINITE}) {
        ASSERT_EQ(WaitForSingleObject(m, wait), WAIT_OBJECT_0);
        ASSERT_TRUE(ReleaseMutex(m));
    }
    const qvp_test::SyscallCounts counts = counting.counts();
    EXPECT_EQ(counts.locks, 0);
    EXPECT_EQ(counts.opens + counts.pathStats + counts.fdStats, 0);
    CloseHandle(m);
}

TEST_F(PlatformTest, MutexBetweenThreads) {
    HANDLE m = CreateMutex(nullptr, TRUE, "threads");  // created: owned at once
    ASSERT_NE(m, nullptr);
    std::atomic<int> stage{0};
    DWORD first = 0, second = 0, notOwner = 0;
    std::thread t([&] {
        first = WaitForSingleObject(m, 0);
        if (!ReleaseMutex(m)) notOwner = GetLastError();
        stage = 1;
        second = WaitForSingleObject(m, INFINITE);  // until the main thread lets go
        ReleaseMutex(m);
    });
    while (stage.load() == 0) std::this_thread::yield();
    Sleep(30);
    EXPECT_TRUE(ReleaseMutex(m));
    t.join();
    EXPECT_EQ(first, WAIT_TIMEOUT);
    EXPECT_EQ(notOwner, ERROR_NOT_OWNER);
    EXPECT_EQ(second, WAIT_OBJECT_0);
    CloseHandle(m);
}

TEST_F(PlatformTest, ThreadEndingWhileOwningAbandons) {
    HANDLE m = CreateMutex(nullptr, FALSE, "ends");
    std::thread([&] { EXPECT_EQ(WaitForSingleObject(m, 0), WAIT_OBJECT_0); }).join();
    EXPECT_EQ(WaitForSingleObject(m, 0), WAIT_ABANDONED);  // and now ours
    EXPECT_TRUE(ReleaseMutex(m));
    EXPECT_EQ(WaitForSingleObject(m, 0), WAIT_OBJECT_0);
    EXPECT_TRUE(ReleaseMutex(m));
    CloseHandle(m);
    // An unnamed mutex as well.
    HANDLE u = CreateMutex(nullptr, FALSE, nullptr);
    std::thread([&] { WaitForSingleObject(u, 0); }).join();
    EXPECT_EQ(WaitForSingleObject(u, 0), WAIT_ABANDONED);
    ReleaseMutex(u);
    CloseHandle(u);
}

TEST_F(PlatformTest, MutexHeldInAnotherProcessTimesOutThenAbandons) {
    Channel ready;
    const pid_t child = Spawn([&] {
        HANDLE m = CreateMutex(nullptr, FALSE, "ZARNQV.JOBGEN.folder.name");
        if (!m || WaitForSingleObject(m, 0) != WAIT_OBJECT_0) return 1;
        ready.Send('o');
        for (;;) pause();
    });
    ASSERT_EQ(ready.Receive(), 'o');
    HANDLE m = CreateMutex(nullptr, FALSE, "ZARNQV.JOBGEN.folder.name");
    ASSERT_NE(m, nullptr);
    EXPECT_EQ(GetLastError(), ERROR_ALREADY_EXISTS);
    const DWORD t0 = GetTickCount();
    EXPECT_EQ(WaitForSingleObject(m, 0), WAIT_TIMEOUT);
    EXPECT_LT(GetTickCount() - t0, 1000u);  // at once, not after a wait
    EXPECT_EQ(WaitForSingleObject(m, 50), WAIT_TIMEOUT);
    kill(child, SIGKILL);
    EXPECT_EQ(Join(child), 128 + SIGKILL);
    EXPECT_EQ(WaitForSingleObject(m, 0), WAIT_ABANDONED);
    EXPECT_TRUE(ReleaseMutex(m));
    EXPECT_EQ(WaitForSingleObject(m, 0), WAIT_OBJECT_0);
    EXPECT_TRUE(ReleaseMutex(m));
    CloseHandle(m);
    EXPECT_TRUE(std::filesystem::is_empty(root_ + "/run"));
}

TEST_F(PlatformTest, InfiniteWaitEndsWhenTheOtherProcessReleases) {
    Channel ready, go;
    const pid_t child = Spawn([&] {
        HANDLE m = CreateMutex(nullptr, FALSE, "handover");
        if (WaitForSingleObject(m, 0) != WAIT_OBJECT_0) return 1;
        ready.Send('o');
        go.Receive();
        Sleep(50);
        return ReleaseMutex(m) ? 0 : 2;
    });
    ASSERT_EQ(ready.Receive(), 'o');
    HANDLE m = CreateMutex(nullptr, FALSE, "handover");
    go.Send('g');
    EXPECT_EQ(WaitForSingleObject(m, INFINITE), WAIT_OBJECT_0);  // released, not abandoned
    EXPECT_EQ(Join(child), 0);
    ReleaseMutex(m);
    CloseHandle(m);
}

TEST_F(PlatformTest, SemaphoreOfCountOneBlocksASecondProcess) {
    HANDLE s = CreateSemaphore(nullptr, 1, 1, "ZARNQVAUTOSYSGEN_SEMAPHORE");
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(GetLastError(), 0u);
    ASSERT_EQ(WaitForSingleObject(s, INFINITE), WAIT_OBJECT_0);
    Channel toParent, toChild;
    const pid_t child = Spawn([&] {
        HANDLE c = CreateSemaphore(nullptr, 1, 1, "ZARNQVAUTOSYSGEN_SEMAPHORE");
        if (!c || GetLastError() != ERROR_ALREADY_EXISTS) return 1;
        if (WaitForSingleObject(c, 0) != WAIT_TIMEOUT) return 2;
        toParent.Send('t');
        if (WaitForSingleObject(c, INFINITE) != WAIT_OBJECT_0) return 3;  // blocks until released
        toParent.Send('w');
        toChild.Receive();
        return 0;  // ends holding it: its unit comes back
    });
    ASSERT_EQ(toParent.Receive(), 't');
    Sleep(30);
    LONG previous = -1;
    EXPECT_TRUE(ReleaseSemaphore(s, 1, &previous));
    EXPECT_EQ(previous, 0);
    ASSERT_EQ(toParent.Receive(), 'w');
    EXPECT_EQ(WaitForSingleObject(s, 0), WAIT_TIMEOUT);
    toChild.Send('x');
    EXPECT_EQ(Join(child), 0);
    EXPECT_EQ(WaitForSingleObject(s, 0), WAIT_OBJECT_0);
    EXPECT_TRUE(ReleaseSemaphore(s, 1, nullptr));
    EXPECT_FALSE(ReleaseSemaphore(s, 1, nullptr));
    EXPECT_EQ(GetLastError(), ERROR_TOO_MANY_POSTS);
    CloseHandle(s);
}

TEST_F(PlatformTest, SemaphoreCounts) {
    HANDLE s = CreateSemaphore(nullptr, 2, 3, "counted");
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(WaitForSingleObject(s, 0), WAIT_OBJECT_0);
    EXPECT_EQ(WaitForSingleObject(s, 0), WAIT_OBJECT_0);
    EXPECT_EQ(WaitForSingleObject(s, 0), WAIT_TIMEOUT);
    LONG previous = -1;
    EXPECT_TRUE(ReleaseSemaphore(s, 3, &previous));
    EXPECT_EQ(previous, 0);
    EXPECT_FALSE(ReleaseSemaphore(s, 1, &previous));
    EXPECT_EQ(GetLastError(), ERROR_TOO_MANY_POSTS);
    EXPECT_FALSE(ReleaseSemaphore(s, 0, nullptr));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(CreateSemaphore(nullptr, 2, 1, "bad"), nullptr);
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
    CloseHandle(s);
    HANDLE u = CreateSemaphore(nullptr, 0, 1, nullptr);
    EXPECT_EQ(WaitForSingleObject(u, 0), WAIT_TIMEOUT);
    EXPECT_TRUE(ReleaseSemaphore(u, 1, nullptr));
    EXPECT_EQ(WaitForSingleObject(u, 10), WAIT_OBJECT_0);
    CloseHandle(u);
}

TEST_F(PlatformTest, WaitOnForeignHandles) {
    EXPECT_EQ(WaitForSingleObject(nullptr, 0), WAIT_FAILED);
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
    int notAHandle = 0;
    EXPECT_EQ(WaitForSingleObject(&notAHandle, 0), WAIT_FAILED);
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
    EXPECT_FALSE(ReleaseMutex(&notAHandle));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
    HANDLE s = CreateSemaphore(nullptr, 1, 1, "kind");
    EXPECT_FALSE(ReleaseMutex(s));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
    CloseHandle(s);
    EXPECT_EQ(WaitForSingleObject(s, 0), WAIT_FAILED);
    EXPECT_FALSE(CloseHandle(s));
    EXPECT_FALSE(CloseHandle(INVALID_HANDLE_VALUE));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
}

}  // namespace

namespace {
using namespace win;
using qvp_test::Channel;
using qvp_test::Join;
using qvp_test::PlatformTest;
using qvp_test::Spawn;

// Processes that open, take, release and close the mutex around a non-atomic update: no update
// is lost, even while the object's file comes and goes with its last user, and whether they
// take it marked or unmarked.
TEST_F(PlatformTest, MutexExcludesAcrossProcessesWhileItComesAndGoes) {
    Touch("counter", "0");
    constexpr int kProcesses = 4, kRounds = 40;
    std::vector<pid_t> children;
    for (int p = 0; p < kProcesses; ++p) {
        children.push_back(Spawn([&] {
            for (int r = 0; r < kRounds; ++r) {
                HANDLE m = CreateMutex(nullptr, FALSE, "counter.lock");
                if (!m) return 1;
                const DWORD w = p % 2 ? WaitForMutexUnmarked(m, INFINITE) : WaitForSingleObject(m, INFINITE);
                if (w != WAIT_OBJECT_0) return 2;
                HANDLE f = Open(C("counter"), GENERIC_READ | GENERIC_WRITE, 0);
                if (f == INVALID_HANDLE_VALUE) return 3;
                char buf[16] = {};
                DWORD n = 0;
                ReadFile(f, buf, sizeof buf - 1, &n, nullptr);
                const std::string next = std::to_string(atoi(buf) + 1);
                SetFilePointer(f, 0, nullptr, FILE_BEGIN);
                WriteFile(f, next.data(), DWORD(next.size()), &n, nullptr);
                SetEndOfFile(f);
                CloseHandle(f);
                if (!ReleaseMutex(m)) return 4;
                CloseHandle(m);
            }
            return 0;
        }));
    }
    for (pid_t c : children) EXPECT_EQ(Join(c), 0);
    EXPECT_EQ(Slurp("counter"), std::to_string(kProcesses * kRounds));
    EXPECT_TRUE(std::filesystem::is_empty(root_ + "/run"));
}

// Processes that close the same object at the same moment: one of them is the last and removes
// the file, even when another is slow to finish closing.
TEST_F(PlatformTest, ObjectFileGoesWhenItsUsersCloseTogether) {
    constexpr int kProcesses = 4, kRounds = 150;
    for (int round = 0; round < kRounds; ++round) {
        Channel ready, go;
        std::vector<pid_t> children;
        for (int p = 0; p < kProcesses; ++p) {
            children.push_back(Spawn([&] {
                HANDLE m = CreateMutex(nullptr, FALSE, "together");
                HANDLE s = CreateSemaphore(nullptr, 1, 1, "together");
                ready.Send(m && s ? 'r' : 'x');
                if (go.Receive() != 'g') return 1;
                CloseHandle(m);
                CloseHandle(s);
                return 0;
            }));
        }
        for (int p = 0; p < kProcesses; ++p) ASSERT_EQ(ready.Receive(), 'r');
        for (int p = 0; p < kProcesses; ++p) go.Send('g');
        for (pid_t c : children) ASSERT_EQ(Join(c), 0);
        ASSERT_TRUE(std::filesystem::is_empty(root_ + "/run")) << "round " << round;
    }
}

TEST_F(PlatformTest, SemaphoreUnitsOfADeadProcessComeBack) {
    HANDLE s = CreateSemaphore(nullptr, 2, 2, "units");
    Channel ready;
    const pid_t child = Spawn([&] {
        HANDLE c = CreateSemaphore(nullptr, 2, 2, "units");
        if (WaitForSingleObject(c, 0) != WAIT_OBJECT_0 || WaitForSingleObject(c, 0) != WAIT_OBJECT_0) return 1;
        ready.Send('r');
        for (;;) pause();
    });
    ASSERT_EQ(ready.Receive(), 'r');
    EXPECT_EQ(WaitForSingleObject(s, 0), WAIT_TIMEOUT);
    kill(child, SIGKILL);
    Join(child);
    EXPECT_EQ(WaitForSingleObject(s, 0), WAIT_OBJECT_0);
    EXPECT_EQ(WaitForSingleObject(s, 0), WAIT_OBJECT_0);
    EXPECT_EQ(WaitForSingleObject(s, 0), WAIT_TIMEOUT);
    LONG previous = -1;
    EXPECT_TRUE(ReleaseSemaphore(s, 2, &previous));
    EXPECT_EQ(previous, 0);
    CloseHandle(s);
}

// Another process keeps the gate of the objects' files: making and opening them answer busy (170)
// within a bound, closing one leaves its file to the next user, and a thread making another
// object meanwhile is not held up. A child runs it all and is killed if it stalls.
TEST_F(PlatformTest, AGateKeptByAnotherProcessNeverHoldsACallerUp) {
    const std::string run = root_ + "/run";
    const int failed = qvptest::EndsWithin(20, [&] {
        HANDLE mine = CreateMutex(nullptr, FALSE, "MINE");
        const qvptest::GateKeeper keeper(run, {"mutex.MINE", "mutex.J1", "semaphore.S1"}, [] {
            return CreateMutex(nullptr, FALSE, "J1") && CreateSemaphore(nullptr, 1, 1, "S1");
        });
        if (!mine || !keeper.held()) return 1;
        const std::function<HANDLE()> calls[] = {
            [] { return CreateMutex(nullptr, FALSE, "J1"); },
            [] { return OpenMutex(SYNCHRONIZE, FALSE, "J1"); },
            [] { return CreateSemaphore(nullptr, 1, 1, "S1"); },
        };
        int wrong = 0;
        for (size_t i = 0; i < std::size(calls); ++i) {
            SetLastError(0);
            if (calls[i]() != nullptr || GetLastError() != 170) wrong |= 2 << i;
        }
        std::atomic<bool> waiting{false}, answered{false};
        std::thread busy([&] {
            waiting = true;
            CreateMutex(nullptr, FALSE, "J1");
            answered = true;
        });
        while (!waiting) std::this_thread::yield();
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        HANDLE other = CreateMutex(nullptr, FALSE, "OTHER");
        const bool heldUp = answered;
        busy.join();
        if (!other || heldUp || !CloseHandle(other)) wrong |= 16;
        if (!CloseHandle(mine) || !std::filesystem::exists(run + "/mutex.MINE")) wrong |= 32;
        return wrong;
    });
    EXPECT_EQ(failed, 0);
}

// Another process keeps the gate of a semaphore's file while this one holds a unit: letting the
// unit go answers at once, and the unit is back, once, for another process's waits when the gate
// is free. Giving back more than this process holds needs the gate: busy (170), nothing given.
// A child runs it all and is killed if it stalls.
TEST_F(PlatformTest, LettingASemaphoreGoNeverWaitsForAKeptGate) {
    const std::string run = root_ + "/run";
    const int failed = qvptest::EndsWithin(20, [&] {
        HANDLE s = CreateSemaphore(nullptr, 1, 2, "S1");
        if (!s || WaitForSingleObject(s, 0) != WAIT_OBJECT_0) return 1;
        std::atomic<int> wrong = 0;
        std::thread waiter;
        {
            const qvptest::GateKeeper keeper(run, {"semaphore.S1"}, [] { return true; });
            if (!keeper.held()) return 2;
            SetLastError(0);
            if (ReleaseSemaphore(s, 2, nullptr) || GetLastError() != 170) wrong |= 4;
            // A thread of this process waiting for a unit meanwhile holds up no release.
            waiter = std::thread([&] {
                if (WaitForSingleObject(s, INFINITE) != WAIT_OBJECT_0 || !ReleaseSemaphore(s, 1, nullptr)) wrong |= 64;
            });
            Sleep(20);  // the waiter meets the kept gate
            LONG previous = -1;
            if (!ReleaseSemaphore(s, 1, &previous) || previous != 0) wrong |= 8;
            if (WaitForSingleObject(s, 0) != WAIT_TIMEOUT) wrong |= 32;  // a timed wait keeps its time
        }
        waiter.join();  // it took and gave back the unit once the gate was free
        const pid_t other = Spawn([] {
            HANDLE o = CreateSemaphore(nullptr, 1, 2, "S1");
            return o && WaitForSingleObject(o, 0) == WAIT_OBJECT_0 && WaitForSingleObject(o, 0) == WAIT_TIMEOUT ? 0 : 1;
        });
        if (Join(other) != 0) wrong |= 16;
        return wrong.load();
    });
    EXPECT_EQ(failed, 0);
}


// Another user empties a semaphore's file while a unit is held: the record is made anew from the
// units held, so no wait of this or another process gets a unit that is not free.
TEST_F(PlatformTest, ASemaphoreFileEmptiedMeanwhileLetsNoUnitInTwice) {
    HANDLE s = CreateSemaphore(nullptr, 1, 1, "T1");
    ASSERT_EQ(WaitForSingleObject(s, 0), WAIT_OBJECT_0);
    ASSERT_EQ(truncate((root_ + "/run/semaphore.T1").c_str(), 0), 0);
    const auto takes = [](int units) {
        return Join(Spawn([units] {
            HANDLE c = CreateSemaphore(nullptr, 1, 1, "T1");
            for (int i = 0; i < units; ++i)
                if (WaitForSingleObject(c, 0) != WAIT_OBJECT_0) return 1;
            return WaitForSingleObject(c, 0) == WAIT_TIMEOUT ? 0 : 2;
        }));
    };
    EXPECT_EQ(takes(0), 0);
    EXPECT_EQ(WaitForSingleObject(s, 0), WAIT_TIMEOUT);
    LONG previous = -1;
    EXPECT_TRUE(ReleaseSemaphore(s, 1, &previous));
    EXPECT_EQ(previous, 0);
    EXPECT_EQ(takes(1), 0);
    CloseHandle(s);
}

}  // namespace

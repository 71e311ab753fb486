// Named mutexes whose users end abruptly: only an owner that goes while owning leaves the mutex
// abandoned; one that let go first leaves it free, however it ends afterwards.
#include <grp.h>
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

// An owner that took the mutex unmarked (a log's writer) and is killed holding it leaves it
// neither stuck nor abandoned to the next unmarked taker, and the mark is as it was.
TEST_F(PlatformTest, UnmarkedOwnerKilledLeavesTheMutexToTheNext) {
    HANDLE m = CreateMutex(nullptr, FALSE, "killed.unmarked");
    Channel ready;
    const pid_t owner = Spawn([&]() -> int {
        HANDLE c = CreateMutex(nullptr, FALSE, "killed.unmarked");
        ready.Send(c && WaitForMutexUnmarked(c, INFINITE) == WAIT_OBJECT_0 ? 'o' : 'x');
        for (;;) pause();
    });
    ASSERT_EQ(ready.Receive(), 'o');
    EXPECT_EQ(WaitForMutexUnmarked(m, 0), WAIT_TIMEOUT);
    kill(owner, SIGKILL);
    EXPECT_EQ(Join(owner), 128 + SIGKILL);
    EXPECT_EQ(WaitForMutexUnmarked(m, INFINITE), WAIT_OBJECT_0);
    EXPECT_TRUE(ReleaseMutex(m));
    EXPECT_EQ(WaitForSingleObject(m, 0), WAIT_OBJECT_0);
    EXPECT_TRUE(ReleaseMutex(m) && CloseHandle(m));
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

// A killed owner that was the mutex's only user leaves its file behind, owner lock and all: the
// next creation makes a new mutex of it, free and not abandoned (the old object went with its
// last handle).
TEST_F(PlatformTest, MutexLeftByAKilledSoleUserIsMadeAnew) {
    Channel ready;
    const pid_t owner = Spawn([&] { return CycleThenOwn("killed.alone", ready); });
    ASSERT_EQ(ready.Receive(), 'o');
    kill(owner, SIGKILL);
    EXPECT_EQ(Join(owner), 128 + SIGKILL);
    HANDLE m = CreateMutex(nullptr, FALSE, "killed.alone");
    ASSERT_NE(m, nullptr);
    EXPECT_EQ(GetLastError(), 0u);
    EXPECT_EQ(WaitForSingleObject(m, 0), WAIT_OBJECT_0);
    EXPECT_TRUE(ReleaseMutex(m));
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

// Named objects without RunDir live in <PathName>/RUN: every process whose settings name the
// same store shares them, whichever user runs it and whatever its umask.
// The store named two ways, through drive C and as a POSIX path, in two settings files. A
// child as `holder` takes the store's mutex under umask 077 and holds it; a child as `other`
// must then find it taken. With root, the two are users of the store's group.
// The two users must pass the folders above the store: below a private temporary folder (mode
// 0700) the store lives in a folder of its own below a system one that lets everyone through.
class StoreRunDir : public PlatformTest {
protected:
    void SetUp() override {
        PlatformTest::SetUp();
        base_ = root_;
        if (EveryonePasses(std::filesystem::absolute(root_).parent_path())) return;
        for (const std::string system : {"/tmp", "/var/tmp", "/dev/shm"}) {
            std::string tmpl = system + "/qvp-store-XXXXXX";
            if (EveryonePasses(system) && mkdtemp(tmpl.data())) {
                own_ = base_ = tmpl;
                return;
            }
        }
        GTEST_SKIP() << "no folder that other users can pass through for the store";
    }
    void TearDown() override {
        if (!own_.empty()) std::filesystem::remove_all(own_);
        PlatformTest::TearDown();
    }
    static bool EveryonePasses(const std::filesystem::path& dir) {
        for (std::filesystem::path p = dir;; p = p.parent_path()) {
            struct stat st{};
            if (stat(p.c_str(), &st) != 0 || !(st.st_mode & S_IXOTH)) return false;
            if (p == p.parent_path()) return true;
        }
    }

    int Excluded(uid_t holder, uid_t other, gid_t group) {
        const std::string drive = base_ + "/c", store = drive + "/store", a = base_ + "/a.conf",
                          b = base_ + "/b.conf";
        std::filesystem::create_directories(store);
        std::ofstream(a) << "[QVPAPI]\nPathName=C:\\STORE\n[Platform]\nDriveC=" << drive << "\n";
        std::ofstream(b) << "[QVPAPI]\nPathName=" << store << "\n";
        if (chmod(base_.c_str(), 0755) != 0 || chown(store.c_str(), -1, group) != 0 ||
            chmod(store.c_str(), 0770) != 0)
            return -1;
        const auto as = [group](uid_t user, const std::string& conf) {
            if (user != geteuid() && (setgroups(0, nullptr) != 0 || setresgid(group, group, group) != 0 ||
                                      setresuid(user, user, user) != 0))
                _exit(10);
            registry::LoadFrom(conf);
        };
        Channel ready;
        const pid_t holding = Spawn([&] {
            as(holder, a);
            umask(077);
            ready.Send(CreateMutex(nullptr, TRUE, "QVP_STORE") != nullptr ? 'o' : 'x');
            for (;;) pause();
            return 0;
        });
        const pid_t checking = ready.Receive() != 'o' ? -1 : Spawn([&] {
            as(other, b);
            HANDLE m = CreateMutex(nullptr, FALSE, "QVP_STORE");
            const bool existed = m != nullptr && GetLastError() == ERROR_ALREADY_EXISTS;
            return existed && WaitForSingleObject(m, 0) == WAIT_TIMEOUT ? 0 : 1;
        });
        const int result = checking < 0 ? 2 : Join(checking);
        kill(holding, SIGKILL);
        Join(holding);
        // Made with the store's permissions, not the creator's umask.
        using std::filesystem::perms;
        EXPECT_EQ(std::filesystem::status(store + "/RUN").permissions(), perms(0770));
        EXPECT_EQ(std::filesystem::status(store + "/RUN/mutex.QVP_STORE").permissions(), perms(0660));
        return result;
    }

    std::string base_;  // holds the store and the two settings files
    std::string own_;   // the folder made for them, when not the test's own
};

TEST_F(StoreRunDir, SettingsNamingOneStoreShareItsObjects) {
    EXPECT_EQ(Excluded(geteuid(), geteuid(), getegid()), 0);
}

TEST_F(StoreRunDir, UsersOfTheStoresGroupShareItsObjects) {
    if (geteuid() != 0) GTEST_SKIP() << "needs root to run processes of two other users";
    EXPECT_EQ(Excluded(4001, 4002, 4321), 0);
}

}  // namespace

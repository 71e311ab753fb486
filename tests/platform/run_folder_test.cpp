// The run-time folder and its lock files against another writer of the store: a link planted at
// the folder or on the way to it, a folder swapped after the first use, and lock files changed
// under a caller that holds or waits for their mutex.
#include <fcntl.h>
#include <unistd.h>

#include <functional>

#include "platform_fixture.h"

namespace {
using namespace win;
namespace fs = std::filesystem;
using qvp_test::Channel;
using qvp_test::Join;
using qvp_test::PlatformTest;
using qvp_test::Spawn;

// The install root is C:\ZARNQVP (the default) and the run-time folder <root>/RUN unless a case
// sets RunDir; outside/ lies beside the root and holds lock files of its own.
class RunFolderTest : public PlatformTest {
protected:
    void SetUp() override {
        PlatformTest::SetUp();
        fs::create_directories(P("ZARNQVP"));
        fs::create_directories(P("outside"));
        Touch("outside/mutex.J1", "keep");
        Touch("outside/mutex.QVPAPI.LOG.DLL.LOG", std::string(3200, 'k'));
        for (const char* name : {"outside/mutex.J1", "outside/mutex.QVPAPI.LOG.DLL.LOG"})
            fs::permissions(P(name), fs::perms(0600));
        Settings("");
    }
    void Settings(const std::string& runDir) {
        std::ofstream(conf_) << "[Platform]\nDriveC=" << drive_ << "\n" << (runDir.empty() ? "" : "RunDir=" + runDir + "\n");
        registry::LoadFrom(conf_);
    }
    void ExpectOutsideIntact() {
        EXPECT_EQ(std::distance(fs::directory_iterator(P("outside")), {}), 2);
        for (const char* name : {"outside/mutex.J1", "outside/mutex.QVPAPI.LOG.DLL.LOG"})
            EXPECT_EQ(fs::symlink_status(P(name)).permissions(), fs::perms(0600)) << name;
        EXPECT_EQ(Slurp("outside/mutex.J1"), "keep");
        EXPECT_EQ(fs::file_size(P("outside/mutex.QVPAPI.LOG.DLL.LOG")), 3200u);
    }
    // What a session and a JobGen do with their lock files: the answer of each creation (0: made).
    static std::vector<DWORD> UseLockFiles() {
        std::vector<DWORD> answers;
        std::vector<HANDLE> made;
        for (int i = 0; i < 3; ++i) {
            made.push_back(i < 2 ? CreateMutex(nullptr, FALSE, i == 0 ? "QVPAPI.LOG.DLL.LOG" : "J1")
                                 : CreateSemaphore(nullptr, 1, 1, "J1"));
            answers.push_back(made.back() ? 0 : GetLastError());
        }
        for (HANDLE h : made) CloseHandle(h);
        return answers;
    }
};

// A link at the folder or on the way to it, below the root: no lock file is made, cut, re-moded
// or removed behind it, and the objects answer as a missing path does. A hard link at a lock
// file's name is no lock file: the name is made anew, its other file left alone. The folder is
// opened once: swapped for a link after the first use, below the root or wherever RunDir points,
// it redirects nothing. Outside the root RunDir may name a link (the administrator's).
TEST_F(RunFolderTest, NoLockFileStepPassesALinkToTheRunFolder) {
    const auto link = [&](const char* target, const char* at) { return [=, this] { fs::create_directory_symlink(P(target), P(at)); }; };
    const auto swap = [&](const char* at) {
        return [=, this] {
            fs::rename(P(at), P(std::string(at) + ".old"));
            fs::create_directory_symlink(P("outside"), P(at));
        };
    };
    const struct {
        const char* what;
        std::function<void()> plant;
        std::string runDir;
        const char* swapped;  // the folder the plant swaps after a first use
        DWORD answer;
    } cases[] = {
        {"link at RUN", link("outside", "ZARNQVP/RUN"), "", nullptr, ERROR_PATH_NOT_FOUND},
        {"link to a folder to be made", link("outside/made", "ZARNQVP/RUN"), "", nullptr, ERROR_PATH_NOT_FOUND},
        {"link on the way", link("", "ZARNQVP/W"), P("ZARNQVP/W/outside"), nullptr, ERROR_PATH_NOT_FOUND},
        {"hard links at the lock files' names", [&] {
             fs::create_directories(P("ZARNQVP/RUN"));
             fs::create_hard_link(P("outside/mutex.J1"), P("ZARNQVP/RUN/mutex.J1"));
             fs::create_hard_link(P("outside/mutex.J1"), P("ZARNQVP/RUN/semaphore.J1"));
         }, "", nullptr, 0},
        {"RUN swapped after the first use", swap("ZARNQVP/RUN"), "", "ZARNQVP/RUN", 0},
        {"RunDir swapped after the first use", swap("run"), P("run"), "run", 0},
        {"RunDir outside the root through a link", link("ZARNQVP", "alias"), P("alias/RUN"), nullptr, 0},
    };
    for (const auto& c : cases) {
        fs::remove_all(P("ZARNQVP"));
        fs::create_directories(P("ZARNQVP"));
        Settings(c.runDir);
        if (c.swapped) {
            ASSERT_EQ(UseLockFiles(), std::vector<DWORD>(3, 0)) << c.what;
        }
        c.plant();
        EXPECT_EQ(UseLockFiles(), std::vector<DWORD>(3, c.answer)) << c.what;
        ExpectOutsideIntact();
        EXPECT_FALSE(fs::exists(P("outside/made"))) << c.what;
        if (c.swapped) {  // the objects lived and went in the folder first opened
            EXPECT_TRUE(fs::is_empty(P(std::string(c.swapped) + ".old"))) << c.what;
        }
    }
    EXPECT_TRUE(fs::is_empty(P("ZARNQVP/RUN")));  // the last case's, through the alias
}

// Another writer of the folder truncates, grows, fills with garbage or replaces a mutex's lock
// file while a caller (a child, so that a fault shows as its end) holds it and another waits for
// it: neither faults nor hangs, the holder lets go, the waiter gets it (free or abandoned), and
// the mutex goes on excluding.
TEST_F(PlatformTest, LockFilesChangedByAnotherWriterNeverFaultACaller) {
    const std::string file = root_ + "/run/mutex.QVPAPI.LOG.DLL.LOG";
    const std::string garbage(4096, '\xA5');
    const struct {
        const char* what;
        std::function<void()> change;
    } cases[] = {
        {"truncated", [&] { (void)!truncate(file.c_str(), 0); }},
        {"grown", [&] { (void)!truncate(file.c_str(), 1 << 21); }},
        {"garbage", [&] {
             const int fd = ::open(file.c_str(), O_WRONLY | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC);
             (void)!::write(fd, garbage.data(), garbage.size());
             ::close(fd);
         }},
        {"replaced", [&] {
             std::ofstream(file + ".new") << garbage;
             fs::rename(file + ".new", file);
         }},
    };
    const auto sensible = [](DWORD wait) { return wait == WAIT_OBJECT_0 || wait == WAIT_ABANDONED; };
    for (const auto& c : cases) {
        Channel held, changed, waiting;
        const pid_t holder = Spawn([&] {
            HANDLE m = CreateMutex(nullptr, FALSE, "QVPAPI.LOG.DLL.LOG");
            if (!m || WaitForSingleObject(m, 0) != WAIT_OBJECT_0) return 1;
            held.Send('h');
            if (changed.Receive() != 'c') return 2;
            if (!ReleaseMutex(m)) return 3;
            return sensible(WaitForSingleObject(m, 20000)) && ReleaseMutex(m) && CloseHandle(m) ? 0 : 4;
        });
        ASSERT_EQ(held.Receive(), 'h') << c.what;
        const pid_t waiter = Spawn([&] {
            HANDLE m = CreateMutex(nullptr, FALSE, "QVPAPI.LOG.DLL.LOG");
            if (!m || WaitForSingleObject(m, 0) != WAIT_TIMEOUT) return 1;
            waiting.Send('w');
            if (!sensible(WaitForSingleObject(m, 20000))) return 2;
            return ReleaseMutex(m) && CloseHandle(m) ? 0 : 3;
        });
        ASSERT_EQ(waiting.Receive(), 'w') << c.what;
        c.change();
        changed.Send('c');
        EXPECT_EQ(Join(holder), 0) << c.what;
        EXPECT_EQ(Join(waiter), 0) << c.what;
        HANDLE m = CreateMutex(nullptr, FALSE, "QVPAPI.LOG.DLL.LOG");
        ASSERT_NE(m, nullptr) << c.what;
        EXPECT_TRUE(sensible(WaitForSingleObject(m, 0))) << c.what;
        EXPECT_TRUE(ReleaseMutex(m));
        CloseHandle(m);
        fs::remove(file);
    }
}

}  // namespace

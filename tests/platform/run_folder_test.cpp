// The run-time folder and its lock files against another writer of the store: links at the
// folder or on the way to it, the folder swapped after its first use, lock files changed under
// callers that hold or wait for their mutex.
#include <sys/stat.h>

#include "platform_fixture.h"

namespace {
using namespace win;
namespace fs = std::filesystem;
using qvp_test::Channel;
using qvp_test::PlatformTest;
using RunFolderTest = PlatformTest;

// The answers of making what a session and a JobGen make (0: made), all closed again.
std::vector<DWORD> UseLockFiles() {
    std::vector<HANDLE> made;
    const auto answer = [&](HANDLE h) { return made.push_back(h), h ? DWORD(0) : GetLastError(); };
    const std::vector<DWORD> answers = {answer(CreateMutex(nullptr, FALSE, "QVPAPI.LOG.DLL.LOG")),
                                        answer(CreateMutex(nullptr, FALSE, "J1")),
                                        answer(CreateSemaphore(nullptr, 1, 1, "J1"))};
    for (HANDLE h : made) CloseHandle(h);
    return answers;
}

// Below the root C:\ZARNQVP a link at RUN (to a folder or to none yet) or on the way is no folder,
// nor is a hard link at a lock file's name a lock file (made anew, the other file left alone).
// The folder is opened once: swapped for a link after the first use it redirects nothing. Outside
// the root RunDir may name a link (the administrator's). Nothing in outside/ is ever touched.
TEST_F(RunFolderTest, NoLockFileStepPassesALinkToTheRunFolder) {
    if (!ShortenPaths()) GTEST_SKIP() << "no short folder below /tmp for the settings' paths";
    const char* const outside[] = {"outside/mutex.J1", "outside/mutex.QVPAPI.LOG.DLL.LOG"};
    const struct {
        const char* what;
        std::string runDir;  // none: <root>/RUN, the default
        std::string at, to;  // a link planted at `at` to `to`; no `at`: a hard link at each lock file
        bool swap;           // `at` renamed away after a first use, then the link planted
        DWORD answer;
    } cases[] = {
        {"link at RUN", "", "ZARNQVP/RUN", "outside", false, ERROR_PATH_NOT_FOUND},
        {"link to a folder to be made", "", "ZARNQVP/RUN", "outside/made", false, ERROR_PATH_NOT_FOUND},
        {"link on the way", P("ZARNQVP/W/outside"), "ZARNQVP/W", "", false, ERROR_PATH_NOT_FOUND},
        {"hard links at the lock files' names", "", "", "", false, 0},
        {"RUN swapped after the first use", "", "ZARNQVP/RUN", "outside", true, 0},
        {"RunDir swapped after the first use", P("run"), "run", "outside", true, 0},
        {"RunDir outside the root through a link", P("alias/RUN"), "alias", "ZARNQVP", false, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        fs::remove_all(drive_);
        for (const char* folder : {"ZARNQVP/RUN", "outside"}) fs::create_directories(P(folder));
        for (const char* name : outside) {
            Touch(name, "keep");
            fs::permissions(P(name), fs::perms(0600));
        }
        std::ofstream(conf_) << "[Platform]\nDriveC=" << drive_ << "\nRunDir=" << c.runDir << "\n";
        registry::LoadFrom(conf_);
        ASSERT_TRUE(!c.swap || UseLockFiles() == std::vector<DWORD>(3, 0));
        if (c.swap) fs::rename(P(c.at), P(c.at + ".old"));
        if (c.at.empty()) {
            for (const std::string name : {"mutex.QVPAPI.LOG.DLL.LOG", "mutex.J1", "semaphore.J1"}) {
                const std::string at = P("ZARNQVP/RUN/" + name);
                fs::create_hard_link(P(outside[0]), at);
            }
        } else {
            fs::remove(P(c.at));
            fs::create_directory_symlink(P(c.to), P(c.at));
        }
        EXPECT_EQ(UseLockFiles(), std::vector<DWORD>(3, c.answer));
        EXPECT_EQ(std::distance(fs::directory_iterator(P("outside")), {}), 2);
        for (const char* name : outside) {
            EXPECT_EQ(fs::symlink_status(P(name)).permissions(), fs::perms(0600)) << name;
            EXPECT_EQ(Slurp(name), "keep") << name;
        }
        // Made objects lived and went in the folder first opened.
        EXPECT_TRUE(c.answer != 0 || fs::is_empty(P(c.swap ? c.at + ".old" : "ZARNQVP/RUN")));
    }
}

// Another writer cuts, fills with garbage or replaces a mutex's lock file while a caller (a child,
// so that a fault shows as its end) holds it and another waits for it: neither faults nor hangs,
// both get it in turn (free or abandoned), and the mutex goes on excluding.
TEST_F(PlatformTest, LockFilesChangedByAnotherWriterNeverFaultACaller) {
    const std::string file = root_ + "/run/mutex.QVPAPI.LOG.DLL.LOG", garbage(4096, '\xA5');
    const auto sensible = [](DWORD wait) { return wait == WAIT_OBJECT_0 || wait == WAIT_ABANDONED; };
    for (const std::string what : {"truncated", "garbage", "replaced"}) {
        SCOPED_TRACE(what);
        Channel ready, changed;
        // The holder (first) lets go once the file was changed; both then take the mutex again.
        const auto user = [&](bool holder) {
            return qvp_test::Spawn([&, holder] {
                HANDLE m = CreateMutex(nullptr, FALSE, "QVPAPI.LOG.DLL.LOG");
                if (!m || WaitForSingleObject(m, 0) != (holder ? WAIT_OBJECT_0 : WAIT_TIMEOUT)) return 1;
                ready.Send('r');
                if (holder && (changed.Receive() != 'c' || !ReleaseMutex(m))) return 2;
                return sensible(WaitForSingleObject(m, 20000)) && ReleaseMutex(m) && CloseHandle(m) ? 0 : 3;
            });
        };
        const pid_t holder = user(true);
        ASSERT_EQ(ready.Receive(), 'r');
        const pid_t waiter = user(false);
        ASSERT_EQ(ready.Receive(), 'r');
        std::error_code ec;  // a pipe is not cut
        if (what == "truncated") fs::resize_file(file, 0, ec);
        if (what == "garbage") std::ofstream(file, std::ios::in | std::ios::out) << garbage;
        if (what == "replaced") std::ofstream(file + ".new") << garbage, fs::rename(file + ".new", file);
        changed.Send('c');
        EXPECT_EQ(qvp_test::Join(holder), 0);
        EXPECT_EQ(qvp_test::Join(waiter), 0);
        HANDLE m = CreateMutex(nullptr, FALSE, "QVPAPI.LOG.DLL.LOG");
        EXPECT_TRUE(m && sensible(WaitForSingleObject(m, 0)) && ReleaseMutex(m) && CloseHandle(m));
        fs::remove(file);
    }
}

// A folder (with a file in it), a socket or a link (to a file, or to none) at a lock file's name is
// no lock file and none of a process: the object is made anew in its place, and nothing a link
// or the folder leads to outside the run-time folder is touched.
TEST_F(RunFolderTest, WhatIsNoLockFileAtALockNameIsMadeAnew) {
    const std::string run = root_ + "/run", kept = root_ + "/kept";
    const char* const names[] = {"mutex.QVPAPI.LOG.DLL.LOG", "mutex.J1", "semaphore.J1"};
    const std::function<void(const std::string&)> plants[] = {
        [&](const std::string& at) { fs::create_directories(at + "/inner"), std::ofstream(at + "/inner/file") << "x"; },
        [&](const std::string& at) { ASSERT_EQ(mknod(at.c_str(), S_IFSOCK | 0600, 0), 0); },
        [&](const std::string& at) { fs::create_symlink(kept, at); },
        [&](const std::string& at) { fs::create_symlink(root_ + "/none", at); },
    };
    for (size_t i = 0; i < std::size(plants); ++i) {
        SCOPED_TRACE(i);
        std::ofstream(kept) << "keep";
        fs::remove_all(run);
        fs::create_directories(run);
        for (const char* name : names) plants[i](run + "/" + name);
        EXPECT_EQ(UseLockFiles(), std::vector<DWORD>(3, 0));
        EXPECT_TRUE(fs::is_empty(run));  // made anew, then gone with its last user
        std::ifstream in(kept);
        EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), "keep");
        EXPECT_FALSE(fs::exists(root_ + "/none"));
    }
}

}  // namespace

// Share modes and locks across two handles of one thread, two threads and two processes.
#include <thread>

#include "platform_fixture.h"

namespace {
using namespace win;
using qvp_test::Channel;
using qvp_test::Join;
using qvp_test::PlatformTest;
using qvp_test::Spawn;

constexpr DWORD kRW = GENERIC_READ | GENERIC_WRITE;

TEST_F(PlatformTest, NoShareOpenRefusesEveryOtherOpener) {
    Touch("s.dat", "data");
    HANDLE a = Open(C("s.dat"), kRW, 0);
    ASSERT_NE(a, INVALID_HANDLE_VALUE);
    for (DWORD access : {GENERIC_READ, GENERIC_WRITE, kRW, DWORD{0}}) {
        for (DWORD share : {DWORD{0}, FILE_SHARE_READ, FILE_SHARE_READ | FILE_SHARE_WRITE}) {
            SetLastError(0);
            HANDLE b = Open(C("S.DAT"), access, share);
            if (access == 0) {
                // An open without access only meets the others' share modes, which deny
                // reading and writing, not opening: Windows lets it in, and so do we.
                EXPECT_NE(b, INVALID_HANDLE_VALUE);
                CloseHandle(b);
                continue;
            }
            EXPECT_EQ(b, INVALID_HANDLE_VALUE) << access << " " << share;
            EXPECT_EQ(GetLastError(), ERROR_SHARING_VIOLATION);
        }
    }
    CloseHandle(a);
    // And the other way round: while anyone has it open, a no-share open fails.
    HANDLE r = Open(C("s.dat"), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE);
    EXPECT_EQ(Open(C("s.dat"), GENERIC_READ, 0), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), ERROR_SHARING_VIOLATION);
    CloseHandle(r);
    HANDLE b = Open(C("s.dat"), GENERIC_READ, 0);
    EXPECT_NE(b, INVALID_HANDLE_VALUE);
    CloseHandle(b);
}

TEST_F(PlatformTest, ReadSharingLetsReadersCoexist) {
    Touch("r.dat", "data");
    HANDLE a = Open(C("r.dat"), GENERIC_READ, FILE_SHARE_READ);
    HANDLE b = Open(C("r.dat"), GENERIC_READ, FILE_SHARE_READ);
    EXPECT_NE(a, INVALID_HANDLE_VALUE);
    EXPECT_NE(b, INVALID_HANDLE_VALUE);
    EXPECT_EQ(Open(C("r.dat"), GENERIC_WRITE, FILE_SHARE_READ), INVALID_HANDLE_VALUE);  // they deny writing
    EXPECT_EQ(GetLastError(), ERROR_SHARING_VIOLATION);
    HANDLE c = Open(C("r.dat"), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE);  // sharing more is fine
    EXPECT_NE(c, INVALID_HANDLE_VALUE);
    CloseHandle(c);
    CloseHandle(a);
    CloseHandle(b);
    // A writer sharing reading admits readers that share writing.
    HANDLE w = Open(C("r.dat"), GENERIC_WRITE, FILE_SHARE_READ);
    HANDLE rd = Open(C("r.dat"), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE);
    EXPECT_NE(w, INVALID_HANDLE_VALUE);
    EXPECT_NE(rd, INVALID_HANDLE_VALUE);
    CloseHandle(w);
    CloseHandle(rd);
}

TEST_F(PlatformTest, RefusedOpenNeverTruncates) {
    Touch("keep.dat", "precious");
    HANDLE a = Open(C("keep.dat"), GENERIC_READ, 0);
    ASSERT_NE(a, INVALID_HANDLE_VALUE);
    EXPECT_EQ(Open(C("keep.dat"), GENERIC_WRITE, 0, CREATE_ALWAYS), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), ERROR_SHARING_VIOLATION);
    EXPECT_EQ(Open(C("keep.dat"), GENERIC_WRITE, 0, TRUNCATE_EXISTING), INVALID_HANDLE_VALUE);
    EXPECT_EQ(Slurp("keep.dat"), "precious");
    CloseHandle(a);
}

TEST_F(PlatformTest, CreateNewOnExistingFileIs80) {
    Touch("n.dat");
    EXPECT_EQ(Open(C("n.dat"), GENERIC_WRITE, 0, CREATE_NEW), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), ERROR_FILE_EXISTS);
}

TEST_F(PlatformTest, SharingAcrossThreads) {
    Touch("t.dat", "0123456789");
    HANDLE a = Open(C("t.dat"), kRW, FILE_SHARE_READ | FILE_SHARE_WRITE);
    ASSERT_TRUE(LockFile(a, 0, 0, 4, 0));
    HANDLE x = Open(C("x.dat"), kRW, 0, CREATE_NEW);
    DWORD openErr = 0, lockErr = 0, readErr = 0, deleteErr = 0;
    std::thread other([&] {
        HANDLE b = Open(C("x.dat"), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE);
        openErr = b == INVALID_HANDLE_VALUE ? GetLastError() : 0;
        HANDLE t = Open(C("t.dat"), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE);
        if (!LockFile(t, 2, 0, 1, 0)) lockErr = GetLastError();
        char buf[4];
        DWORD n;
        if (!ReadFile(t, buf, 4, &n, nullptr)) readErr = GetLastError();
        if (!DeleteFile(C("x.dat").c_str())) deleteErr = GetLastError();
        CloseHandle(t);
    });
    other.join();
    EXPECT_EQ(openErr, ERROR_SHARING_VIOLATION);
    EXPECT_EQ(lockErr, ERROR_LOCK_VIOLATION);
    EXPECT_EQ(readErr, ERROR_LOCK_VIOLATION);
    EXPECT_EQ(deleteErr, ERROR_SHARING_VIOLATION);
    CloseHandle(x);
    CloseHandle(a);
}

TEST_F(PlatformTest, ManyThreadsRaceForOneExclusiveOpen) {
    Touch("race.dat");
    for (int round = 0; round < 20; ++round) {
        std::atomic<int> winners{0}, refused{0};
        std::vector<std::thread> threads;
        std::vector<HANDLE> got(8, INVALID_HANDLE_VALUE);
        for (int i = 0; i < 8; ++i) {
            threads.emplace_back([&, i] {
                got[i] = Open(C("race.dat"), kRW, 0);
                if (got[i] != INVALID_HANDLE_VALUE) ++winners;
                else if (GetLastError() == ERROR_SHARING_VIOLATION) ++refused;
            });
        }
        for (auto& t : threads) t.join();
        EXPECT_LE(winners.load(), 1);  // never two
        EXPECT_EQ(winners + refused, 8);
        for (HANDLE h : got)
            if (h != INVALID_HANDLE_VALUE) CloseHandle(h);
    }
}

TEST_F(PlatformTest, SharingAcrossProcesses) {
    Touch("p.dat", "0123456789");
    Channel toParent, toChild;
    // The child holds the file without sharing and locks bytes 0..3 of another file.
    Touch("q.dat", "0123456789");
    const pid_t child = Spawn([&] {
        HANDLE h = Open(C("p.dat"), kRW, 0);
        HANDLE q = Open(C("q.dat"), kRW, FILE_SHARE_READ | FILE_SHARE_WRITE);
        if (h == INVALID_HANDLE_VALUE || q == INVALID_HANDLE_VALUE || !LockFile(q, 0, 0, 4, 0)) return 1;
        toParent.Send('h');
        toChild.Receive();
        CloseHandle(h);
        CloseHandle(q);
        toParent.Send('c');
        toChild.Receive();
        return 0;
    });
    ASSERT_EQ(toParent.Receive(), 'h');
    for (DWORD share : {DWORD{0}, FILE_SHARE_READ | FILE_SHARE_WRITE}) {
        EXPECT_EQ(Open(C("p.dat"), GENERIC_READ, share), INVALID_HANDLE_VALUE);
        EXPECT_EQ(GetLastError(), ERROR_SHARING_VIOLATION);
    }
    EXPECT_FALSE(DeleteFile(C("p.dat").c_str()));
    EXPECT_EQ(GetLastError(), ERROR_SHARING_VIOLATION);
    HANDLE q = Open(C("q.dat"), kRW, FILE_SHARE_READ | FILE_SHARE_WRITE);
    ASSERT_NE(q, INVALID_HANDLE_VALUE);
    EXPECT_FALSE(LockFile(q, 3, 0, 1, 0));
    EXPECT_EQ(GetLastError(), ERROR_LOCK_VIOLATION);
    char buf[4];
    DWORD n;
    EXPECT_FALSE(ReadFile(q, buf, 4, &n, nullptr));
    EXPECT_EQ(GetLastError(), ERROR_LOCK_VIOLATION);
    toChild.Send('x');
    ASSERT_EQ(toParent.Receive(), 'c');
    HANDLE p = Open(C("p.dat"), GENERIC_READ, 0);
    EXPECT_NE(p, INVALID_HANDLE_VALUE);
    EXPECT_TRUE(LockFile(q, 3, 0, 1, 0));
    toChild.Send('x');
    EXPECT_EQ(Join(child), 0);
    CloseHandle(p);
    CloseHandle(q);
}

TEST_F(PlatformTest, ParentHandlesAreNotInheritedByForkedChild) {
    Touch("inh.dat");
    HANDLE h = Open(C("inh.dat"), kRW, 0);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    Channel toParent, toChild;
    const pid_t child = Spawn([&] {
        // The parent's handle is no handle here; the parent's open still refuses us.
        char b;
        DWORD n;
        const bool invalid = !ReadFile(h, &b, 1, &n, nullptr) && GetLastError() == ERROR_INVALID_HANDLE;
        const bool refused = Open(C("inh.dat"), GENERIC_READ, FILE_SHARE_READ) == INVALID_HANDLE_VALUE &&
                             GetLastError() == ERROR_SHARING_VIOLATION;
        toParent.Send('r');
        toChild.Receive();
        return invalid && refused ? 0 : 1;
    });
    ASSERT_EQ(toParent.Receive(), 'r');
    // While the child lives, closing our handle frees the file: the child kept no share of it.
    CloseHandle(h);
    HANDLE again = Open(C("inh.dat"), kRW, 0);
    EXPECT_NE(again, INVALID_HANDLE_VALUE);
    toChild.Send('x');
    EXPECT_EQ(Join(child), 0);
    CloseHandle(again);
}

}  // namespace

// Creating new files: the cheap way for a name that exists in no spelling, and everything
// around it that must not change (case variants found, share modes, 80 for CREATE_NEW, DBCS).
#include <fcntl.h>
#include <unistd.h>

#include <thread>

#include "platform_fixture.h"
#include "syscall_count.h"

namespace {
using namespace win;
using qvp_test::Channel;
using qvp_test::Counting;
using qvp_test::Join;
using qvp_test::PlatformTest;
using qvp_test::Spawn;

constexpr DWORD kRW = GENERIC_READ | GENERIC_WRITE;

class CreateTest : public PlatformTest {
protected:
    void SetUp() override {
        PlatformTest::SetUp();
        std::filesystem::create_directories(P("out"));
        // The folder's names are known once something was created in it.
        HANDLE h = Open(C("out\\first.dat"), kRW, 0, CREATE_NEW);
        ASSERT_NE(h, INVALID_HANDLE_VALUE);
        CloseHandle(h);
        // The install root is looked up once per change of the settings.
        h = Open(C("out\\first.dat"), kRW, 0, OPEN_EXISTING);
        ASSERT_NE(h, INVALID_HANDLE_VALUE);
        CloseHandle(h);
    }
};

TEST_F(CreateTest, NewNameCostsOneOpenTwoFolderStatsAndOneLockCall) {
    for (DWORD disposition : {CREATE_NEW, CREATE_ALWAYS, OPEN_ALWAYS}) {
        const std::string name = "out\\new" + std::to_string(disposition) + ".dat";
        Counting counting;
        HANDLE h = Open(C(name), kRW, 0, disposition);
        const auto c = counting.counts();
        ASSERT_NE(h, INVALID_HANDLE_VALUE);
        EXPECT_EQ(GetLastError(), 0u);
        EXPECT_EQ(c.opens, 1) << disposition;      // O_CREAT | O_EXCL in the exact spelling
        EXPECT_LE(c.pathStats, 2) << disposition;  // the folder, before and after
        EXPECT_LE(c.fdStats, 1) << disposition;
        EXPECT_EQ(c.locks, 1) << disposition;      // sharing nothing: one lock tests and takes
        CloseHandle(h);
    }
    // Sharing reading: the markers in one call, one test after them.
    Counting counting;
    HANDLE h = Open(C("out\\shared.dat"), GENERIC_READ, FILE_SHARE_READ, CREATE_NEW);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    EXPECT_EQ(counting.counts().opens, 1);
    EXPECT_LE(counting.counts().locks, 2);
    CloseHandle(h);
}

TEST_F(CreateTest, ExclusiveHandleReadsAndWritesWithoutLockTests) {
    HANDLE h = Open(C("out\\x.dat"), kRW, 0, CREATE_ALWAYS);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    {
        Counting counting;
        DWORD n = 0;
        ASSERT_TRUE(WriteFile(h, "abcdef", 6, &n, nullptr));
        SetFilePointer(h, 0, nullptr, FILE_BEGIN);
        char buf[6];
        ASSERT_TRUE(ReadFile(h, buf, 6, &n, nullptr));
        EXPECT_EQ(n, 6u);
        EXPECT_EQ(counting.counts().locks, 0);
    }
    // No other handle that could lock a range can be open beside it: one without access can,
    // but may not lock.
    HANDLE none = Open(C("out\\x.dat"), 0, 0);
    ASSERT_NE(none, INVALID_HANDLE_VALUE);
    EXPECT_FALSE(LockFile(none, 0, 0, 1, 0));
    EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
    CloseHandle(none);
    CloseHandle(h);
    // Sharing reading, its reads and writes still test the others' locks.
    HANDLE a = Open(C("out\\x.dat"), kRW, FILE_SHARE_READ | FILE_SHARE_WRITE);
    HANDLE b = Open(C("out\\x.dat"), kRW, FILE_SHARE_READ | FILE_SHARE_WRITE);
    ASSERT_TRUE(LockFile(b, 0, 0, 3, 0));
    DWORD n = 0;
    EXPECT_FALSE(WriteFile(a, "z", 1, &n, nullptr));
    EXPECT_EQ(GetLastError(), ERROR_LOCK_VIOLATION);
    CloseHandle(a);
    CloseHandle(b);
}

TEST_F(CreateTest, ANewFileIsExclusiveFromTheStart) {
    HANDLE h = Open(C("out\\held.dat"), kRW, 0, CREATE_NEW);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    for (DWORD share : {0u, FILE_SHARE_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE}) {
        for (DWORD access : {GENERIC_READ, GENERIC_WRITE, kRW}) {
            EXPECT_EQ(Open(C("out\\held.dat"), access, share), INVALID_HANDLE_VALUE);
            EXPECT_EQ(GetLastError(), ERROR_SHARING_VIOLATION) << access << " " << share;
            EXPECT_EQ(Open(C("OUT\\HELD.DAT"), access, share, OPEN_ALWAYS), INVALID_HANDLE_VALUE);
            EXPECT_EQ(GetLastError(), ERROR_SHARING_VIOLATION);
        }
    }
    EXPECT_FALSE(DeleteFile(C("out\\held.dat").c_str()));
    EXPECT_EQ(GetLastError(), ERROR_SHARING_VIOLATION);
    EXPECT_EQ(Open(C("out\\held.dat"), kRW, 0, CREATE_NEW), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), ERROR_FILE_EXISTS);
    // In another process too.
    const pid_t child = Spawn([&] {
        HANDLE o = Open(C("out\\held.dat"), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE);
        return o == INVALID_HANDLE_VALUE && GetLastError() == ERROR_SHARING_VIOLATION ? 0 : 1;
    });
    EXPECT_EQ(Join(child), 0);
    CloseHandle(h);
    // Sharing delete only: deleting is allowed, opening for reading or writing still not.
    h = Open(C("out\\del.dat"), kRW, FILE_SHARE_DELETE, CREATE_NEW);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    EXPECT_EQ(Open(C("out\\del.dat"), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE),
              INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), ERROR_SHARING_VIOLATION);
    EXPECT_TRUE(DeleteFile(C("out\\del.dat").c_str()));
    CloseHandle(h);
}

TEST_F(CreateTest, CaseVariantsAreFoundNotDuplicated) {
    // Made behind the layer's back, after its names of the folder were known.
    Sleep(30);  // a later time stamp than the layer's last creation there
    close(open(P("out/Report.TXT").c_str(), O_CREAT | O_WRONLY, 0644));
    EXPECT_EQ(Open(C("out\\report.txt"), kRW, 0, CREATE_NEW), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), ERROR_FILE_EXISTS);
    HANDLE h = Open(C("out\\REPORT.txt"), kRW, 0, CREATE_ALWAYS);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), ERROR_ALREADY_EXISTS);
    DWORD n = 0;
    WriteFile(h, "data", 4, &n, nullptr);
    CloseHandle(h);
    h = Open(C("out\\report.TXT"), GENERIC_READ, FILE_SHARE_READ, OPEN_ALWAYS);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), ERROR_ALREADY_EXISTS);
    CloseHandle(h);
    EXPECT_FALSE(std::filesystem::exists(P("out/report.txt")));
    EXPECT_FALSE(std::filesystem::exists(P("out/REPORT.txt")));
    EXPECT_EQ(Slurp("out/Report.TXT"), "data");
    // The folder in another spelling, and a missing one.
    h = Open(C("OUT\\Fresh.dat"), kRW, 0, CREATE_NEW);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    CloseHandle(h);
    EXPECT_TRUE(std::filesystem::exists(P("out/Fresh.dat")));
    EXPECT_EQ(Open(C("nowhere\\a.dat"), kRW, 0, CREATE_NEW), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), ERROR_PATH_NOT_FOUND);
    // A name the layer made itself: the second creation finds it in any spelling.
    EXPECT_EQ(Open(C("out\\FRESH.DAT"), kRW, 0, CREATE_NEW), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), ERROR_FILE_EXISTS);
}

TEST_F(CreateTest, DoubleByteNamesWithTrailByteFiveC) {
    SetACPForTesting(932);
    const std::string name = "\x95\x5C\x8E\xA6.txt";  // two double-byte characters, the first ending in 0x5C
    HANDLE h = Open(C("out\\" + name), kRW, 0, CREATE_NEW);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    CloseHandle(h);
    EXPECT_TRUE(std::filesystem::exists(P("out/" + name)));
    EXPECT_EQ(Open(C("out\\" + name), kRW, 0, CREATE_NEW), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), ERROR_FILE_EXISTS);
    // Trail bytes are never cased: 0x95 0x5C and an ASCII-cased neighbour are different names.
    const std::string upper = "\x95\x5C\x8E\xA6.TXT";
    h = Open(C("out\\" + upper), kRW, 0, OPEN_ALWAYS);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), ERROR_ALREADY_EXISTS);  // the same name ignoring ASCII case
    CloseHandle(h);
}

TEST_F(CreateTest, ThreadsCreatingTheSameNewNameOneWins) {
    constexpr int kThreads = 8;
    for (int round = 0; round < 20; ++round) {
        const std::string name = "out\\race" + std::to_string(round) + ".dat";
        std::atomic<int> created{0}, exists{0};
        std::vector<std::thread> threads;
        for (int t = 0; t < kThreads; ++t) {
            threads.emplace_back([&, t] {
                const std::string spelled = t % 2 ? name : "OUT\\RACE" + std::to_string(round) + ".DAT";
                HANDLE h = Open(C(spelled), kRW, FILE_SHARE_READ | FILE_SHARE_WRITE, CREATE_NEW);
                if (h != INVALID_HANDLE_VALUE) {
                    ++created;
                    CloseHandle(h);
                } else if (GetLastError() == ERROR_FILE_EXISTS) {
                    ++exists;
                }
            });
        }
        for (auto& t : threads) t.join();
        // Spellings may race each other to the folder (as any two processes could), but each
        // spelling is made once.
        EXPECT_GE(created.load(), 1);
        EXPECT_LE(created.load(), 2);
        EXPECT_EQ(created.load() + exists.load(), kThreads);
    }
}

}  // namespace

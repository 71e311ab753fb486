// Time conversions, last error, inet_addr, security descriptors, the event log, handles.
#include <arpa/inet.h>
#include <sys/stat.h>
#include <unistd.h>

#include <thread>

#include "platform_fixture.h"

namespace {
using namespace win;
using qvp_test::PlatformTest;

TEST(Time, FileTimeEpochs) {
    FILETIME ft{0, 0};
    SYSTEMTIME st{};
    ASSERT_TRUE(FileTimeToSystemTime(&ft, &st));
    EXPECT_EQ(st.wYear, 1601);
    EXPECT_EQ(st.wMonth, 1);
    EXPECT_EQ(st.wDay, 1);
    EXPECT_EQ(st.wDayOfWeek, 1);  // a Monday
    SYSTEMTIME epoch{1970, 1, 0, 1, 0, 0, 0, 0};
    ASSERT_TRUE(SystemTimeToFileTime(&epoch, &ft));
    EXPECT_EQ((uint64_t{ft.dwHighDateTime} << 32) | ft.dwLowDateTime, 116444736000000000ull);
    EXPECT_EQ(FileTimeToUnixNanos(ft), 0);
    const FILETIME back = UnixNanosToFileTime(1234567890123456700LL);
    EXPECT_EQ(FileTimeToUnixNanos(back), 1234567890123456700LL);
    SYSTEMTIME leap{2000, 2, 0, 29, 12, 30, 15, 999};
    ASSERT_TRUE(SystemTimeToFileTime(&leap, &ft));
    ASSERT_TRUE(FileTimeToSystemTime(&ft, &st));
    EXPECT_EQ(st.wYear, 2000);
    EXPECT_EQ(st.wMonth, 2);
    EXPECT_EQ(st.wDay, 29);
    EXPECT_EQ(st.wDayOfWeek, 2);
    EXPECT_EQ(st.wMilliseconds, 999);
    SYSTEMTIME bad{2001, 2, 0, 29, 0, 0, 0, 0};
    EXPECT_FALSE(SystemTimeToFileTime(&bad, &ft));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
}

TEST(Time, LocalConversionsRoundTrip) {
    FILETIME now{}, local{}, back{};
    GetSystemTimeAsFileTime(&now);
    ASSERT_TRUE(FileTimeToLocalFileTime(&now, &local));
    ASSERT_TRUE(LocalFileTimeToFileTime(&local, &back));
    EXPECT_EQ(back.dwLowDateTime, now.dwLowDateTime);
    EXPECT_EQ(back.dwHighDateTime, now.dwHighDateTime);
    SYSTEMTIME a{}, b{};
    GetLocalTime(&a);
    ASSERT_TRUE(FileTimeToSystemTime(&local, &b));
    EXPECT_EQ(a.wYear, b.wYear);
    EXPECT_EQ(a.wHour, b.wHour);
    const DWORD t0 = GetTickCount();
    Sleep(20);
    EXPECT_GE(GetTickCount() - t0, 19u);
}

TEST(LastError, IsPerThread) {
    SetLastError(0x20000057);
    DWORD seen = 1;
    std::thread([&] {
        seen = GetLastError();
        SetLastError(5);
    }).join();
    EXPECT_EQ(seen, 0u);
    EXPECT_EQ(GetLastError(), 0x20000057u);
    EXPECT_EQ(ErrorFromErrno(ENOENT), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(ErrorFromErrno(ENOTDIR), ERROR_PATH_NOT_FOUND);
    EXPECT_EQ(ErrorFromErrno(EACCES), ERROR_ACCESS_DENIED);
    EXPECT_EQ(ErrorFromErrno(EEXIST), ERROR_FILE_EXISTS);
    EXPECT_EQ(ErrorFromErrno(ENAMETOOLONG), ERROR_FILENAME_EXCED_RANGE);
    EXPECT_EQ(ErrorFromErrno(ENOTEMPTY), ERROR_DIR_NOT_EMPTY);
    EXPECT_EQ(ErrorFromErrno(ENOSPC), ERROR_DISK_FULL);
    EXPECT_NE(GetCurrentThreadId(), GetCurrentProcessId() + 1000000);
    EXPECT_EQ(GetCurrentProcessId(), static_cast<DWORD>(getpid()));
}

// The ids are remembered after the first call; threads and forked children have their own.
TEST(ProcessIds, ThreadsAndForkedChildrenHaveTheirOwn) {
    const DWORD pid = GetCurrentProcessId();
    const DWORD tid = GetCurrentThreadId();
    EXPECT_EQ(pid, DWORD(getpid()));
    EXPECT_EQ(tid, DWORD(gettid()));
    DWORD other = 0;
    std::thread([&] { other = GetCurrentThreadId(); }).join();
    EXPECT_NE(other, tid);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        const bool own = GetCurrentProcessId() == DWORD(getpid()) && GetCurrentThreadId() == DWORD(gettid());
        _exit(own ? 0 : 1);
    }
    EXPECT_EQ(qvp_test::Join(child), 0);
}

TEST(InetAddr, WinsockSemantics) {
    EXPECT_EQ(win::inet_addr("1.2.3.4"), htonl(0x01020304));
    EXPECT_EQ(win::inet_addr("127.0.0.1"), htonl(0x7F000001));
    EXPECT_EQ(win::inet_addr("255.255.255.255"), 0xFFFFFFFFu);
    EXPECT_EQ(win::inet_addr("10.1"), htonl(0x0A000001));
    EXPECT_EQ(win::inet_addr("0x7f.1"), htonl(0x7F000001));
    EXPECT_EQ(win::inet_addr("010.0.0.1"), htonl(0x08000001));
    EXPECT_EQ(win::inet_addr(""), INADDR_NONE_VALUE);
    EXPECT_EQ(win::inet_addr("host.example"), INADDR_NONE_VALUE);
    EXPECT_EQ(win::inet_addr("1.2.3.256"), INADDR_NONE_VALUE);
    EXPECT_EQ(win::inet_addr("1.2.3.4.5"), INADDR_NONE_VALUE);
    EXPECT_EQ(win::inet_addr("1..2"), INADDR_NONE_VALUE);
    EXPECT_EQ(win::inet_addr("08.1.1.1"), INADDR_NONE_VALUE);
    EXPECT_EQ(win::inet_addr(nullptr), INADDR_NONE_VALUE);
}

TEST_F(PlatformTest, SecurityDescriptorRoundTrip) {
    Touch("sec.txt");
    ASSERT_EQ(chmod(P("sec.txt").c_str(), 0640), 0);
    const DWORD all = OWNER_SECURITY_INFORMATION | GROUP_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION;
    DWORD needed = 0;
    EXPECT_FALSE(GetFileSecurity(C("sec.txt").c_str(), all, nullptr, 0, &needed));
    EXPECT_EQ(GetLastError(), ERROR_INSUFFICIENT_BUFFER);
    ASSERT_GT(needed, 20u);
    std::vector<BYTE> sd(needed);
    ASSERT_TRUE(GetFileSecurity(C("sec.txt").c_str(), all, sd.data(), needed, &needed));
    EXPECT_TRUE(IsValidSecurityDescriptor(sd.data(), needed));
    EXPECT_EQ(sd[0], 1);
    EXPECT_EQ(sd[3] & 0x80, 0x80);  // self-relative
    // Applied to another file, it carries the mode over.
    Touch("other.txt");
    ASSERT_EQ(chmod(P("other.txt").c_str(), 0777), 0);
    EXPECT_TRUE(SetFileSecurity(C("other.txt").c_str(), DACL_SECURITY_INFORMATION, sd.data()));
    struct stat st{};
    ASSERT_EQ(stat(P("other.txt").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0640u);
    // A descriptor that is not ours is accepted and ignored.
    std::vector<BYTE> foreign(sd);
    const DWORD daclAt = foreign[16] | foreign[17] << 8;
    foreign[daclAt + 8 + 8 + 7] = 5;  // the owner ACE's SID authority: NT, not Unix
    EXPECT_TRUE(SetFileSecurity(C("other.txt").c_str(), DACL_SECURITY_INFORMATION, foreign.data()));
    ASSERT_EQ(stat(P("other.txt").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0640u);
    EXPECT_FALSE(IsValidSecurityDescriptor(sd.data(), 10));
    std::vector<BYTE> broken(sd);
    broken[4] = 0xF0;  // owner beyond the end
    EXPECT_FALSE(IsValidSecurityDescriptor(broken.data(), needed));
}

TEST_F(PlatformTest, EventLogFileSink) {
    const std::string log = root_ + "/events.log";
    registry::SetPlatform("EventLogFile", log);
    ReportEvent(EVENTLOG_ERROR_TYPE, 1, "qvAPIOpen : something failed");
    ReportEvent(EVENTLOG_INFORMATION_TYPE, 2, "second");
    std::ifstream in(log);
    std::string first, second;
    std::getline(in, first);
    std::getline(in, second);
    EXPECT_NE(first.find("ERROR"), std::string::npos);
    EXPECT_NE(first.find("qvAPIOpen : something failed"), std::string::npos);
    EXPECT_NE(second.find("second"), std::string::npos);
}

// The event-log file is opened as a store file is: never through a link (at its name or, below
// the install root C:\ZARNQVP, on the way), never a FIFO, never a second name of a file elsewhere;
// such a file drops the line. Each report runs in a child, so that an open held for good fails.
TEST_F(PlatformTest, EventLogFileIsARegularFileReachedWithoutLinks) {
    namespace fs = std::filesystem;
    if (!ShortenPaths()) GTEST_SKIP() << "no short folder below /tmp for the settings' paths";
    for (const char* folder : {"away", "ev", "ZARNQVP/LOG"}) fs::create_directories(P(folder));
    const struct {
        const char* what;
        std::string file;
        char plant;  // none (written); link to secret, link to away/ on the way, hard link, FIFO
    } cases[] = {
        {"regular file below the root", "ZARNQVP/LOG/EVENT.LOG", ' '},
        {"regular file outside", "ev/events.log", ' '},
        {"link at the name below the root", "ZARNQVP/LOG/L.LOG", 'l'},
        {"link on the way below the root", "ZARNQVP/AWAY/EVENT.LOG", 'w'},
        {"second name below the root", "ZARNQVP/LOG/H.LOG", 'h'},
        {"link at the name outside", "ev/l.log", 'l'},
        {"FIFO below the root", "ZARNQVP/LOG/F.LOG", 'f'},
        {"FIFO outside", "ev/f.log", 'f'},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Touch("secret", "secret");
        if (c.plant == 'l') fs::create_symlink(P("secret"), P(c.file));
        if (c.plant == 'w') fs::create_directory_symlink(P("away"), P(c.file).substr(0, P(c.file).rfind('/')));
        if (c.plant == 'h') fs::create_hard_link(P("secret"), P(c.file));
        ASSERT_TRUE(c.plant != 'f' || mkfifo(P(c.file).c_str(), 0666) == 0);
        registry::SetPlatform("EventLogFile", P(c.file));
        const pid_t child = qvp_test::Spawn([&] {
            alarm(20);  // a report held for good ends the child
            return ReportEvent(EVENTLOG_WARNING_TYPE, 3, c.what), 0;
        });
        EXPECT_EQ(qvp_test::Join(child), 0);
        EXPECT_EQ(Slurp("secret"), "secret");
        EXPECT_FALSE(fs::remove(P("away/EVENT.LOG")));
        EXPECT_TRUE(c.plant != ' ' || Slurp(c.file).find(c.what) != std::string::npos);  // a FIFO is not read
    }
}

TEST_F(PlatformTest, HandlesAreValidatedNeverTrusted) {
    Touch("h.txt", "x");
    HANDLE h = Open(C("h.txt"), GENERIC_READ, FILE_SHARE_READ);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    EXPECT_TRUE(CloseHandle(h));
    char b;
    DWORD n = 7;
    EXPECT_FALSE(ReadFile(h, &b, 1, &n, nullptr));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
    EXPECT_EQ(n, 0u);
    EXPECT_FALSE(CloseHandle(h));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
    std::vector<char> garbage(64, '\x5A');
    EXPECT_FALSE(WriteFile(garbage.data(), "x", 1, &n, nullptr));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
    EXPECT_EQ(GetFileSize(INVALID_HANDLE_VALUE, nullptr), INVALID_FILE_SIZE);
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
    EXPECT_EQ(SetFilePointer(reinterpret_cast<HANDLE>(0x10), 0, nullptr, FILE_BEGIN), INVALID_SET_FILE_POINTER);
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
    HANDLE m = CreateMutex(nullptr, FALSE, "not-a-file");
    EXPECT_FALSE(LockFile(m, 0, 0, 1, 0));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
    CloseHandle(m);
}

}  // namespace

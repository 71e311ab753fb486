// Opens through a folder's handle give what CreateFile gives; the walk of names and kinds; the
// size a handle denying write sharing keeps.
#include <unistd.h>

#include "platform_fixture.h"
#include "syscall_count.h"

namespace {
using namespace win;
using qvp_test::Counting;
using qvp_test::PlatformTest;
using qvp_test::SyscallCounts;

TEST_F(PlatformTest, OpensThroughAFolderHandleGiveWhatCreateFileGives) {
    std::filesystem::create_directories(P("dir/sub"));
    Touch("dir/Exists.dat", "abc");
    Touch("outside.dat", "x");
    HANDLE dir = CreateFile(C("dir").c_str(), 0, 7, nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    EXPECT_NE(GetFileAttributes(C("dir\\exists.dat").c_str()), INVALID_FILE_ATTRIBUTES);  // names kept
    struct Case {
        const char* path;
        DWORD disposition;
        DWORD error;  // 0: opened, sharing nothing
    };
    const Case cases[] = {{"dir\\New.dat", CREATE_NEW, 0},       {"dir\\Exists.dat", CREATE_NEW, 80},
                          {"dir\\EXISTS.DAT", OPEN_EXISTING, 0}, {"dir\\no\\x", OPEN_EXISTING, 3},
                          {"dir\\..\\outside.dat", OPEN_EXISTING, 0}, {"dir\\sub", OPEN_EXISTING, 5}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        Counting counting;
        fault::Watch("");
        HANDLE h = CreateFileIn(dir, C(c.path).c_str(), GENERIC_READ | GENERIC_WRITE, 0, c.disposition,
                                c.disposition == CREATE_NEW ? FILE_FLAG_POSIX_SEMANTICS : 0);
        const SyscallCounts made = counting.counts();
        EXPECT_EQ(fault::Calls(fault::Call::CreateFile), 1u);  // one call, whichever way it went
        if (c.disposition == CREATE_NEW && c.error == 0) { EXPECT_EQ(made.pathStats, 0); }  // no path look-up
        EXPECT_EQ(GetLastError(), c.error);
        EXPECT_EQ(h != INVALID_HANDLE_VALUE, c.error == 0);
        if (h == INVALID_HANDLE_VALUE) continue;
        EXPECT_EQ(Open(C(c.path), GENERIC_READ, 7), INVALID_HANDLE_VALUE);
        CloseHandle(h);
    }
    Counting counting;  // the new name is among the kept ones: the folder is not read again
    EXPECT_NE(GetFileAttributes(C("dir\\NEW.DAT").c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(counting.counts().opens, 0);
    CloseHandle(dir);
    fault::Reset();
}

TEST_F(PlatformTest, NamesWalkTellsKindsOnly) {
    std::filesystem::create_directories(P("w/sub"));
    Touch("w/file", "12345");
    ASSERT_EQ(symlink(P("w/sub").c_str(), P("w/tosub").c_str()), 0);
    ASSERT_EQ(mkfifo(P("w/pipe").c_str(), 0600), 0);
    const std::pair<const char*, DWORD> expected[] = {{".", 0x10}, {"..", 0x10}, {"file", 0x80},
                                                      {"pipe", 0x4}, {"sub", 0x10}, {"tosub", 0x410}};
    WIN32_FIND_DATAA d{};
    HANDLE h = FindFirstFileNames(C("w\\*").c_str(), &d);
    for (const auto& [name, kind] : expected) {
        EXPECT_STREQ(d.cFileName, name);
        EXPECT_EQ(d.dwFileAttributes, kind);
        EXPECT_EQ(d.nFileSizeLow | d.ftLastWriteTime.dwLowDateTime, 0u);
        FindNextFile(h, &d);
    }
    EXPECT_EQ(GetLastError(), ERROR_NO_MORE_FILES);
    FindClose(h);
}

TEST_F(PlatformTest, SizeOfAHandleDenyingWritesFollowsItsOwnChanges) {
    Touch("s.dat", "abc");
    HANDLE h = Open(C("s.dat"), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ);
    DWORD n = 0;
    SetFilePointer(h, 10, nullptr, FILE_BEGIN);
    EXPECT_TRUE(WriteFile(h, "xy", 2, &n, nullptr) && GetFileSize(h, nullptr) == 12u);
    SetFilePointer(h, 5, nullptr, FILE_BEGIN);
    EXPECT_TRUE(SetEndOfFile(h) && GetFileSize(h, nullptr) == 5u);
    CloseHandle(h);
}

}  // namespace

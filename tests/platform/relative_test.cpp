// Opens through a folder's handle (CreateFileIn), the walk of names and kinds, and the size a
// handle that denies write sharing keeps: each gives what the plain call gives.
#include <sys/stat.h>
#include <unistd.h>

#include <map>
#include <vector>

#include "platform_fixture.h"
#include "syscall_count.h"

namespace {
using namespace win;
using qvp_test::Counting;
using qvp_test::PlatformTest;

constexpr DWORD kRW = GENERIC_READ | GENERIC_WRITE;
constexpr DWORD kNew = FILE_FLAG_POSIX_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT;

class RelativeTest : public PlatformTest {
protected:
    void SetUp() override {
        PlatformTest::SetUp();
        std::filesystem::create_directories(P("dir/sub"));
        Touch("dir/Exists.dat", "abc");
        Touch("outside.dat", "x");
        folder_ = CreateFile(C("dir").c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                             OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
        ASSERT_NE(folder_, INVALID_HANDLE_VALUE);
    }
    void TearDown() override {
        CloseHandle(folder_);
        PlatformTest::TearDown();
    }
    HANDLE In(const std::string& rel, DWORD disposition, DWORD flags = kNew) {
        return CreateFileIn(folder_, C(rel).c_str(), kRW, 0, disposition, flags);
    }
    HANDLE folder_ = INVALID_HANDLE_VALUE;
};

TEST_F(RelativeTest, GivesWhatCreateFileGives) {
    struct Case {
        const char* path;
        DWORD disposition;
        DWORD flags;
        DWORD error;          // after the call
        const char* content;  // of the file opened ("" for a new one), null when it fails
    };
    const Case cases[] = {
        {"dir\\new.dat", CREATE_NEW, kNew, 0, ""},
        {"dir\\Exists.dat", CREATE_NEW, kNew, ERROR_FILE_EXISTS, nullptr},
        {"dir\\Exists.dat", OPEN_EXISTING, 0, 0, "abc"},
        {"dir\\EXISTS.DAT", OPEN_EXISTING, 0, 0, "abc"},  // another spelling: the full look-up
        {"dir\\missing.dat", OPEN_EXISTING, 0, ERROR_FILE_NOT_FOUND, nullptr},
        {"dir\\nosuch\\x.dat", OPEN_EXISTING, 0, ERROR_PATH_NOT_FOUND, nullptr},
        {"dir\\..\\outside.dat", OPEN_EXISTING, 0, 0, "x"},  // not below the folder
        {"dir\\sub", OPEN_EXISTING, 0, ERROR_ACCESS_DENIED, nullptr},
        {"dir\\made.dat", OPEN_ALWAYS, 0, 0, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        HANDLE h = In(c.path, c.disposition, c.flags);
        EXPECT_EQ(GetLastError(), c.error);
        ASSERT_EQ(h != INVALID_HANDLE_VALUE, c.content != nullptr);
        if (!c.content) continue;
        char buf[8] = {};
        DWORD n = 0;
        EXPECT_TRUE(ReadFile(h, buf, sizeof buf, &n, nullptr));
        EXPECT_EQ(std::string(buf, n), c.content);
        CloseHandle(h);
    }
}

TEST_F(RelativeTest, NewNameCostsOneOpenAndNoPathLookUp) {
    Counting counting;
    HANDLE h = In("dir\\fresh.dat", CREATE_NEW);
    const auto c = counting.counts();
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    EXPECT_EQ(c.opens, 1);
    EXPECT_EQ(c.pathStats, 0);
    EXPECT_EQ(c.locks, 1);
    // Sharing nothing, as made through the path.
    EXPECT_EQ(Open(C("dir\\fresh.dat"), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), ERROR_SHARING_VIOLATION);
    CloseHandle(h);
}

TEST_F(RelativeTest, KeptNamesOfTheFolderFollowItsCreations) {
    // A look-up ignoring case reads the folder's names and keeps them.
    EXPECT_NE(GetFileAttributes(C("dir\\exists.dat").c_str()), INVALID_FILE_ATTRIBUTES);
    HANDLE h = In("dir\\Later.dat", CREATE_NEW);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    CloseHandle(h);
    Counting counting;
    EXPECT_NE(GetFileAttributes(C("dir\\LATER.DAT").c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(counting.counts().opens, 0);  // found among the kept names, not read again
}

TEST_F(RelativeTest, NamesWalkTellsKindsOnly) {
    Touch("dir/plain.dat", "12345");
    ASSERT_EQ(symlink(P("dir/sub").c_str(), P("dir/tosub").c_str()), 0);
    ASSERT_EQ(symlink(P("dir/plain.dat").c_str(), P("dir/tofile").c_str()), 0);
    ASSERT_EQ(mkfifo(P("dir/pipe").c_str(), 0600), 0);
    const std::map<std::string, DWORD> kinds = {
        {".", FILE_ATTRIBUTE_DIRECTORY},
        {"..", FILE_ATTRIBUTE_DIRECTORY},
        {"Exists.dat", FILE_ATTRIBUTE_NORMAL},
        {"pipe", FILE_ATTRIBUTE_SYSTEM},
        {"plain.dat", FILE_ATTRIBUTE_NORMAL},
        {"sub", FILE_ATTRIBUTE_DIRECTORY},
        {"tofile", FILE_ATTRIBUTE_REPARSE_POINT},
        {"tosub", FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY},
    };
    auto walk = [](HANDLE (*first)(const char*, WIN32_FIND_DATAA*), std::vector<WIN32_FIND_DATAA>& out) {
        WIN32_FIND_DATAA d{};
        HANDLE h = first(C("dir\\*").c_str(), &d);
        ASSERT_NE(h, INVALID_HANDLE_VALUE);
        do out.push_back(d);
        while (FindNextFile(h, &d));
        EXPECT_EQ(GetLastError(), ERROR_NO_MORE_FILES);
        FindClose(h);
    };
    std::vector<WIN32_FIND_DATAA> names, full;
    walk(FindFirstFileNames, names);
    walk(FindFirstFile, full);
    ASSERT_EQ(names.size(), full.size());
    for (size_t i = 0; i < names.size(); ++i) {
        const std::string name = names[i].cFileName;
        SCOPED_TRACE(name);
        EXPECT_EQ(name, full[i].cFileName);  // the same names in the same order
        EXPECT_EQ(names[i].dwFileAttributes, kinds.at(name));
        EXPECT_EQ(names[i].nFileSizeLow, 0u);
        EXPECT_EQ(names[i].ftLastWriteTime.dwLowDateTime | names[i].ftLastWriteTime.dwHighDateTime, 0u);
    }
    WIN32_FIND_DATAA d{};
    EXPECT_EQ(FindFirstFileNames(C("dir\\*.zzz").c_str(), &d), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
}

TEST_F(RelativeTest, SizeOfAHandleThatDeniesWritingFollowsItsOwnChanges) {
    HANDLE h = Open(C("dir\\Exists.dat"), kRW, FILE_SHARE_READ);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    DWORD n = 0;
    {
        Counting counting;
        EXPECT_EQ(GetFileSize(h, nullptr), 3u);
        EXPECT_EQ(counting.counts().fdStats, 0);
    }
    SetFilePointer(h, 10, nullptr, FILE_BEGIN);
    ASSERT_TRUE(WriteFile(h, "xy", 2, &n, nullptr));
    EXPECT_EQ(GetFileSize(h, nullptr), 12u);
    SetFilePointer(h, 5, nullptr, FILE_BEGIN);
    ASSERT_TRUE(SetEndOfFile(h));
    EXPECT_EQ(GetFileSize(h, nullptr), 5u);
    CloseHandle(h);
    // Sharing writing, another handle may change it: asked of the file each time.
    HANDLE a = Open(C("dir\\Exists.dat"), kRW, FILE_SHARE_READ | FILE_SHARE_WRITE);
    HANDLE b = Open(C("dir\\Exists.dat"), kRW, FILE_SHARE_READ | FILE_SHARE_WRITE);
    ASSERT_NE(b, INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetFileSize(a, nullptr), 5u);
    SetFilePointer(b, 7, nullptr, FILE_BEGIN);
    ASSERT_TRUE(WriteFile(b, "z", 1, &n, nullptr));
    EXPECT_EQ(GetFileSize(a, nullptr), 8u);
    CloseHandle(a);
    CloseHandle(b);
}

}  // namespace

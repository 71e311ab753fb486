// Directory walks.
#include <fcntl.h>
#include <sys/stat.h>

#include <algorithm>
#include <ctime>
#include <map>

#include "platform_fixture.h"

namespace {
using namespace win;
using qvp_test::PlatformTest;

std::vector<std::string> Walk(const std::string& pattern, DWORD* error = nullptr) {
    std::vector<std::string> names;
    WIN32_FIND_DATAA fd{};
    HANDLE h = FindFirstFile(pattern.c_str(), &fd);
    if (h == INVALID_HANDLE_VALUE) {
        if (error) *error = GetLastError();
        return names;
    }
    do names.emplace_back(fd.cFileName);
    while (FindNextFile(h, &fd));
    if (error) *error = GetLastError();
    EXPECT_TRUE(FindClose(h));
    return names;
}

using Names = std::vector<std::string>;

TEST_F(PlatformTest, EmptyDirectoryGivesDotsThenEnd) {
    std::filesystem::create_directories(P("empty"));
    WIN32_FIND_DATAA fd{};
    HANDLE h = FindFirstFile(C("empty\\*.*").c_str(), &fd);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    EXPECT_STREQ(fd.cFileName, ".");
    EXPECT_TRUE(fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY);
    ASSERT_TRUE(FindNextFile(h, &fd));
    EXPECT_STREQ(fd.cFileName, "..");
    EXPECT_FALSE(FindNextFile(h, &fd));
    EXPECT_EQ(GetLastError(), ERROR_NO_MORE_FILES);
    EXPECT_FALSE(FindNextFile(h, &fd));
    EXPECT_EQ(GetLastError(), ERROR_NO_MORE_FILES);
    EXPECT_TRUE(FindClose(h));
    EXPECT_FALSE(FindClose(h));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
}

TEST_F(PlatformTest, MissingDirectoryAndNoMatch) {
    DWORD err = 0;
    EXPECT_TRUE(Walk(C("nowhere\\*"), &err).empty());
    EXPECT_EQ(err, ERROR_PATH_NOT_FOUND);
    std::filesystem::create_directories(P("d"));
    Touch("d/a.txt");
    EXPECT_TRUE(Walk(C("d\\*.zip"), &err).empty());
    EXPECT_EQ(err, ERROR_FILE_NOT_FOUND);
    EXPECT_TRUE(Walk(C("d\\b.txt"), &err).empty());
    EXPECT_EQ(err, ERROR_FILE_NOT_FOUND);
}

TEST_F(PlatformTest, NtfsOrderIsUpperCasedOrdinal) {
    std::filesystem::create_directories(P("o"));
    for (const char* n : {"b.txt", "A.txt", "_z", "a_b", "ab", "[x", "B2"}) Touch(std::string("o/") + n);
    EXPECT_EQ(Walk(C("o\\*")), (Names{".", "..", "A.txt", "ab", "a_b", "b.txt", "B2", "[x", "_z"}));
}

TEST_F(PlatformTest, SpellingsOfOneKeyFollowEachOtherByName) {
    std::filesystem::create_directories(P("v"));
    Names expected{".", ".."};
    for (int stem = 0; stem < 40; ++stem)  // long common beginnings, keys ending inside others
        for (const char* spelling : {"AB", "Ab", "aB", "ab"})
            expected.push_back(spelling + std::string(size_t(stem % 7), 'x') + std::to_string(stem / 7));
    for (size_t i = 2; i < expected.size(); ++i) Touch("v/" + expected[i]);
    std::sort(expected.begin() + 2, expected.end(), [](const std::string& a, const std::string& b) {
        return CharUpper(a) != CharUpper(b) ? CharUpper(a) < CharUpper(b) : a < b;
    });
    EXPECT_EQ(Walk(C("v\\*")), expected);
}

TEST_F(PlatformTest, WildcardsIgnoreCase) {
    std::filesystem::create_directories(P("w/sub"));
    for (const char* n : {"C.123", "c.456", "M.123", "readme", "x.TXT", "y.txt.bak"}) Touch(std::string("w/") + n);
    EXPECT_EQ(Walk(C("w\\c.*")), (Names{"C.123", "c.456"}));
    EXPECT_EQ(Walk(C("W\\*.txt")), (Names{"x.TXT"}));
    EXPECT_EQ(Walk(C("w\\?.123")), (Names{"C.123", "M.123"}));
    EXPECT_EQ(Walk(C("w\\readme.*")), (Names{"readme"}));  // DOS: "name.*" also matches "name"
    EXPECT_EQ(Walk(C("w\\README")), (Names{"readme"}));
    EXPECT_EQ(Walk(C("w\\*")).size(), 9u);
    EXPECT_EQ(Walk(C("w\\*.*")).size(), 9u);
    EXPECT_EQ(Walk(C("w\\*.bak")), (Names{"y.txt.bak"}));
}

TEST_F(PlatformTest, FindDataDescribesEntries) {
    std::filesystem::create_directories(P("f/dir"));
    Touch("f/file.bin", std::string(1234, 'x'));
    symlink("file.bin", P("f/link").c_str());
    mkfifo(P("f/fifo").c_str(), 0600);
    WIN32_FIND_DATAA fd{};
    HANDLE h = FindFirstFile(C("f\\*").c_str(), &fd);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    std::map<std::string, WIN32_FIND_DATAA> seen;
    do seen[fd.cFileName] = fd;
    while (FindNextFile(h, &fd));
    FindClose(h);
    ASSERT_EQ(seen.size(), 6u);
    EXPECT_EQ(seen["file.bin"].nFileSizeLow, 1234u);
    EXPECT_FALSE(seen["file.bin"].dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY);
    EXPECT_TRUE(seen["dir"].dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY);
    EXPECT_TRUE(seen["link"].dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT);
    EXPECT_TRUE(seen["fifo"].dwFileAttributes & FILE_ATTRIBUTE_SYSTEM);
    // And the library never opens such an entry.
    EXPECT_EQ(Open(C("f\\fifo"), GENERIC_READ, FILE_SHARE_READ), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
    SYSTEMTIME st{};
    FILETIME local{};
    ASSERT_TRUE(FileTimeToLocalFileTime(&seen["file.bin"].ftLastWriteTime, &local));
    ASSERT_TRUE(FileTimeToSystemTime(&local, &st));
    SYSTEMTIME now{};
    GetLocalTime(&now);
    EXPECT_EQ(st.wYear, now.wYear);
}

TEST_F(PlatformTest, WalkIsASnapshot) {
    std::filesystem::create_directories(P("s"));
    Touch("s/one");
    Touch("s/two");
    WIN32_FIND_DATAA fd{};
    HANDLE h = FindFirstFile(C("s\\*").c_str(), &fd);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    Touch("s/three");
    std::filesystem::remove(P("s/two"));
    Names names{fd.cFileName};
    while (FindNextFile(h, &fd)) names.emplace_back(fd.cFileName);
    FindClose(h);
    EXPECT_EQ(names, (Names{".", "..", "one", "two"}));
}

TEST_F(PlatformTest, FindHandlesAreCheckedByKind) {
    std::filesystem::create_directories(P("k"));
    WIN32_FIND_DATAA fd{};
    HANDLE f = FindFirstFile(C("k\\*").c_str(), &fd);
    Touch("k/file");
    HANDLE file = Open(C("k\\file"), GENERIC_READ, FILE_SHARE_READ);
    EXPECT_FALSE(FindNextFile(file, &fd));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
    EXPECT_FALSE(FindClose(file));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
    char b;
    DWORD n;
    EXPECT_FALSE(ReadFile(f, &b, 1, &n, nullptr));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
    EXPECT_TRUE(CloseHandle(f));  // CloseHandle takes any kind
    EXPECT_TRUE(CloseHandle(file));
}

}  // namespace

namespace {
using namespace win;
using qvp_test::PlatformTest;

TEST_F(PlatformTest, LargeDirectoryWalk) {
    std::filesystem::create_directories(P("big"));
    std::vector<std::string> expected;
    for (int i = 0; i < 3000; ++i) {
        const std::string name = (i % 2 ? "c." : "C.") + std::to_string(i * 7919 % 100003);
        Touch("big/" + name, std::string(size_t(i % 13), 'x'));
        expected.push_back(name);
    }
    std::sort(expected.begin(), expected.end(), [](const std::string& a, const std::string& b) {
        return CharUpper(a) < CharUpper(b);
    });
    std::map<std::string, DWORD> sizes;
    for (int i = 0; i < 3000; ++i) sizes[(i % 2 ? "c." : "C.") + std::to_string(i * 7919 % 100003)] = DWORD(i % 13);
    WIN32_FIND_DATAA fd{};
    HANDLE h = FindFirstFile(C("BIG\\*.*").c_str(), &fd);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    std::vector<std::string> names;
    bool sizesRight = true;
    do {
        names.emplace_back(fd.cFileName);
        if (names.size() > 2 && sizes[fd.cFileName] != fd.nFileSizeLow) sizesRight = false;
        if (names.size() > 2 && (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) sizesRight = false;
    } while (FindNextFile(h, &fd));
    EXPECT_EQ(GetLastError(), ERROR_NO_MORE_FILES);
    FindClose(h);
    ASSERT_EQ(names.size(), 3002u);
    EXPECT_EQ(names[0], ".");
    EXPECT_EQ(names[1], "..");
    EXPECT_TRUE(std::equal(expected.begin(), expected.end(), names.begin() + 2));
    EXPECT_TRUE(sizesRight);
    // A pattern over the large directory.
    h = FindFirstFile(C("big\\C.1*").c_str(), &fd);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    size_t matched = 0;
    do {
        ++matched;
        EXPECT_EQ(CharUpper(std::string(fd.cFileName, 3)), "C.1");
    } while (FindNextFile(h, &fd));
    FindClose(h);
    EXPECT_GT(matched, 100u);
}

TEST_F(PlatformTest, CaseInsensitiveLookupsFollowChanges) {
    std::filesystem::create_directories(P("many"));
    for (int i = 0; i < 400; ++i) Touch("many/File" + std::to_string(i));
    Sleep(150);  // quiet long enough for its names to be kept
    EXPECT_EQ(*ToPosixPath("C:\\many\\FILE17"), P("many/File17"));
    EXPECT_EQ(*ToPosixPath("C:\\many\\FILE17"), P("many/File17"));  // from the kept names
    EXPECT_EQ(*ToPosixPath("C:\\many\\NEWNAME"), P("many/NEWNAME"));
    // Another process adds a name and removes one, both within a tick of the time stamps (on
    // tmpfs a removal may leave the folder's time as the addition set it).
    for (const std::string n : {"17", "27", "37", "47", "57"}) {
        Touch("many/NewName" + n);
        EXPECT_EQ(*ToPosixPath("C:\\many\\NEWNAME" + n), P("many/NewName" + n));  // seen at once
        std::filesystem::remove(P("many/File" + n));
        EXPECT_EQ(*ToPosixPath("C:\\many\\FILE" + n), P("many/FILE" + n));  // gone at once
        EXPECT_EQ(GetFileAttributes(("C:\\many\\file" + n).c_str()), INVALID_FILE_ATTRIBUTES);
        EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
    }
    Sleep(150);
    EXPECT_NE(GetFileAttributes("C:\\MANY\\file18"), INVALID_FILE_ATTRIBUTES);
    std::filesystem::rename(P("many/File18"), P("many/file-18"));
    EXPECT_EQ(GetFileAttributes("C:\\MANY\\file18"), INVALID_FILE_ATTRIBUTES);
    EXPECT_NE(GetFileAttributes("C:\\MANY\\FILE-18"), INVALID_FILE_ATTRIBUTES);
    // A name another process adds just before the layer removes one in the same folder.
    Sleep(150);
    EXPECT_NE(GetFileAttributes("C:\\MANY\\file20"), INVALID_FILE_ATTRIBUTES);
    for (const std::string n : {"21", "22", "23"}) {
        Touch("many/Added" + n);
        EXPECT_TRUE(DeleteFile(C("many\\File" + n).c_str()));
        EXPECT_NE(GetFileAttributes(("C:\\MANY\\ADDED" + n).c_str()), INVALID_FILE_ATTRIBUTES) << n;
    }
    // Names read just after the folder's last change are not kept: another process may add one
    // in the same tick, and a file system stamping whole seconds leaves the folder's time as it
    // was. The time is set ahead of the clock: "just after" however slowly this runs.
    struct timespec times[2] = {{0, UTIME_OMIT}, {}};
    clock_gettime(CLOCK_REALTIME, &times[1]);
    times[1] = {times[1].tv_sec + 3600, 0};
    ASSERT_EQ(utimensat(AT_FDCWD, P("many").c_str(), times, 0), 0);
    EXPECT_EQ(GetFileAttributes("C:\\MANY\\SAMETICK"), INVALID_FILE_ATTRIBUTES);  // its names read
    Touch("many/SameTick");
    ASSERT_EQ(utimensat(AT_FDCWD, P("many").c_str(), times, 0), 0);
    EXPECT_NE(GetFileAttributes("C:\\MANY\\SAMETICK"), INVALID_FILE_ATTRIBUTES);
}

TEST_F(PlatformTest, CaseVariantsSeenWhileADirectoryIsBusy) {
    std::filesystem::create_directories(P("busy"));
    for (int i = 0; i < 300; ++i) {
        HANDLE h = Open(C("busy\\Node" + std::to_string(i)), GENERIC_WRITE, 0, CREATE_NEW);
        ASSERT_NE(h, INVALID_HANDLE_VALUE) << i;
        CloseHandle(h);
        if (i % 50 == 0) {  // every creation is seen by the next look-up at once
            EXPECT_EQ(Open(C("busy\\NODE" + std::to_string(i)), GENERIC_WRITE, 0, CREATE_NEW), INVALID_HANDLE_VALUE);
            EXPECT_EQ(GetLastError(), ERROR_FILE_EXISTS);
        }
    }
    EXPECT_TRUE(DeleteFile(C("busy\\node7").c_str()));
    EXPECT_EQ(GetFileAttributes(C("busy\\NODE7").c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_TRUE(MoveFile(C("busy\\node8").c_str(), C("busy\\Moved").c_str()));
    EXPECT_NE(GetFileAttributes(C("busy\\MOVED").c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(GetFileAttributes(C("busy\\NODE8").c_str()), INVALID_FILE_ATTRIBUTES);
    // A name made by someone else (after a tick of the time stamps) is seen too.
    Sleep(20);
    Touch("busy/Outsider");
    EXPECT_EQ(Open(C("busy\\OUTSIDER"), GENERIC_WRITE, 0, CREATE_NEW), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), ERROR_FILE_EXISTS);
    EXPECT_TRUE(CreateDirectory(C("busy\\Sub").c_str(), nullptr));
    EXPECT_FALSE(CreateDirectory(C("busy\\SUB").c_str(), nullptr));
    EXPECT_EQ(GetLastError(), ERROR_ALREADY_EXISTS);
    EXPECT_TRUE(RemoveDirectory(C("busy\\sub").c_str()));
    EXPECT_TRUE(CreateDirectory(C("busy\\SUB").c_str(), nullptr));
    EXPECT_TRUE(std::filesystem::is_directory(P("busy/SUB")));
}

}  // namespace

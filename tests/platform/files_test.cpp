// Files: dispositions, reads and writes, pointer and size, locks, copy, move, delete,
// directories, attributes and times.
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <iterator>

#include "platform_fixture.h"
#include "support/child_memory.h"

namespace {
using namespace win;
using qvp_test::PlatformTest;

TEST_F(PlatformTest, Dispositions) {
    HANDLE h = Open(C("f.txt"), GENERIC_WRITE, 0, CREATE_NEW);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), 0u);
    DWORD n = 0;
    EXPECT_TRUE(WriteFile(h, "0123456789", 10, &n, nullptr));
    EXPECT_EQ(n, 10u);
    CloseHandle(h);

    EXPECT_EQ(Open(C("f.txt"), GENERIC_WRITE, 0, CREATE_NEW), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), ERROR_FILE_EXISTS);

    h = Open(C("f.txt"), GENERIC_READ, 0, OPEN_ALWAYS);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), ERROR_ALREADY_EXISTS);
    EXPECT_EQ(GetFileSize(h, nullptr), 10u);
    CloseHandle(h);

    h = Open(C("g.txt"), GENERIC_READ, 0, OPEN_ALWAYS);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), 0u);
    CloseHandle(h);

    h = Open(C("f.txt"), GENERIC_WRITE, 0, CREATE_ALWAYS);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), ERROR_ALREADY_EXISTS);
    EXPECT_EQ(GetFileSize(h, nullptr), 0u);  // truncated
    CloseHandle(h);

    EXPECT_EQ(Open(C("none.txt"), GENERIC_READ, 0, OPEN_EXISTING), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(Open(C("nodir\\none.txt"), GENERIC_READ, 0, CREATE_NEW), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), ERROR_PATH_NOT_FOUND);
    EXPECT_EQ(Open(C("f.txt"), GENERIC_READ, 0, TRUNCATE_EXISTING), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(Open(C("f.txt"), GENERIC_READ, 0, 9), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
}

TEST_F(PlatformTest, ReadWritePointerAndSize) {
    HANDLE h = Open(C("f.bin"), GENERIC_READ | GENERIC_WRITE, 0, CREATE_NEW);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    DWORD n = 0;
    EXPECT_TRUE(WriteFile(h, "abcdef", 6, &n, nullptr));
    EXPECT_EQ(SetFilePointer(h, 2, nullptr, FILE_BEGIN), 2u);
    char buf[16] = {};
    EXPECT_TRUE(ReadFile(h, buf, 3, &n, nullptr));
    EXPECT_EQ(std::string(buf, n), "cde");
    EXPECT_EQ(SetFilePointer(h, -1, nullptr, FILE_CURRENT), 4u);
    EXPECT_EQ(SetFilePointer(h, 0, nullptr, FILE_END), 6u);
    EXPECT_TRUE(ReadFile(h, buf, 3, &n, nullptr));  // at the end: success, nothing read
    EXPECT_EQ(n, 0u);
    EXPECT_EQ(SetFilePointer(h, -10, nullptr, FILE_BEGIN), INVALID_SET_FILE_POINTER);
    EXPECT_EQ(GetLastError(), 131u);
    LONG high = 1;  // 4 GiB + 3
    EXPECT_EQ(SetFilePointer(h, 3, &high, FILE_BEGIN), 3u);
    EXPECT_EQ(high, 1);
    EXPECT_EQ(SetFilePointer(h, 4, nullptr, FILE_BEGIN), 4u);
    EXPECT_TRUE(SetEndOfFile(h));
    DWORD sizeHigh = 9;
    EXPECT_EQ(GetFileSize(h, &sizeHigh), 4u);
    EXPECT_EQ(sizeHigh, 0u);
    EXPECT_TRUE(FlushFileBuffers(h));
    BY_HANDLE_FILE_INFORMATION info{};
    EXPECT_TRUE(GetFileInformationByHandle(h, &info));
    EXPECT_EQ(info.nFileSizeLow, 4u);
    EXPECT_EQ(info.nNumberOfLinks, 1u);
    struct stat st{};
    ASSERT_EQ(stat(P("f.bin").c_str(), &st), 0);
    EXPECT_EQ(info.nFileIndexLow, static_cast<DWORD>(st.st_ino));
    CloseHandle(h);
    EXPECT_EQ(Slurp("f.bin"), "abcd");

    // Access is enforced by the handle.
    h = Open(C("f.bin"), GENERIC_READ, FILE_SHARE_READ);
    EXPECT_FALSE(WriteFile(h, "x", 1, &n, nullptr));
    EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
    CloseHandle(h);
    h = Open(C("f.bin"), GENERIC_WRITE, 0);
    EXPECT_FALSE(ReadFile(h, buf, 1, &n, nullptr));
    EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
    CloseHandle(h);
}

// Size and links as another handle leaves them; a file removed while open has no link left.
TEST_F(PlatformTest, FileSizeAndLinksFollowOtherHandlesAndRemoval) {
    Touch("s.log", "0123");
    const DWORD share = FILE_SHARE_READ | FILE_SHARE_WRITE;
    HANDLE mine = Open(C("s.log"), GENERIC_READ, share), other = Open(C("s.log"), GENERIC_WRITE, share);
    ASSERT_TRUE(mine != INVALID_HANDLE_VALUE && other != INVALID_HANDLE_VALUE);
    uint64_t size = 0;
    DWORD links = 0;
    for (const DWORD end : {4u, 10u, 100000u}) {
        ASSERT_EQ(SetFilePointer(other, static_cast<LONG>(end), nullptr, FILE_BEGIN), end);
        ASSERT_TRUE(SetEndOfFile(other));
        EXPECT_TRUE(GetFileSizeAndLinks(mine, &size, &links));
        EXPECT_EQ(size, end);
        EXPECT_EQ(links, 1u);
    }
    ASSERT_EQ(unlink(P("s.log").c_str()), 0);
    EXPECT_TRUE(GetFileSizeAndLinks(mine, &size, &links));
    EXPECT_EQ(links, 0u);
    EXPECT_FALSE(GetFileSizeAndLinks(mine, nullptr, &links));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
    CloseHandle(other);
    CloseHandle(mine);
}

TEST_F(PlatformTest, LockFileIsExclusiveAndMandatory) {
    Touch("l.dat", "0123456789");
    HANDLE a = Open(C("l.dat"), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE);
    HANDLE b = Open(C("l.dat"), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE);
    ASSERT_NE(a, INVALID_HANDLE_VALUE);
    ASSERT_NE(b, INVALID_HANDLE_VALUE);
    EXPECT_TRUE(LockFile(a, 2, 0, 4, 0));  // bytes 2..5
    EXPECT_FALSE(LockFile(b, 5, 0, 1, 0));
    EXPECT_EQ(GetLastError(), ERROR_LOCK_VIOLATION);
    EXPECT_FALSE(LockFile(a, 3, 0, 1, 0));  // the same handle may not lock twice either
    EXPECT_EQ(GetLastError(), ERROR_LOCK_VIOLATION);
    EXPECT_TRUE(LockFile(b, 6, 0, 2, 0));   // adjacent: fine

    char buf[16];
    DWORD n = 0;
    EXPECT_FALSE(ReadFile(b, buf, 4, &n, nullptr));  // 0..3 meets 2..5
    EXPECT_EQ(GetLastError(), ERROR_LOCK_VIOLATION);
    EXPECT_EQ(n, 0u);
    EXPECT_TRUE(ReadFile(b, buf, 2, &n, nullptr));  // 0..1 is free
    EXPECT_EQ(n, 2u);
    SetFilePointer(b, 4, nullptr, FILE_BEGIN);
    EXPECT_FALSE(WriteFile(b, "xx", 2, &n, nullptr));
    EXPECT_EQ(GetLastError(), ERROR_LOCK_VIOLATION);
    EXPECT_TRUE(ReadFile(a, buf, 8, &n, nullptr) == FALSE);  // 0..7 meets b's 6..7
    SetFilePointer(a, 2, nullptr, FILE_BEGIN);
    EXPECT_TRUE(ReadFile(a, buf, 4, &n, nullptr));  // its own range
    EXPECT_EQ(std::string(buf, n), "2345");

    EXPECT_FALSE(UnlockFile(a, 2, 0, 2, 0));  // only the exact range
    EXPECT_EQ(GetLastError(), ERROR_NOT_LOCKED);
    EXPECT_TRUE(UnlockFile(a, 2, 0, 4, 0));
    EXPECT_FALSE(UnlockFile(a, 2, 0, 4, 0));
    EXPECT_EQ(GetLastError(), ERROR_NOT_LOCKED);
    SetFilePointer(b, 2, nullptr, FILE_BEGIN);
    EXPECT_TRUE(WriteFile(b, "ab", 2, &n, nullptr));
    // Closing a handle releases its ranges.
    CloseHandle(b);
    EXPECT_TRUE(LockFile(a, 6, 0, 2, 0));
    // Ranges far beyond the data may be locked as well.
    EXPECT_TRUE(LockFile(a, 0xFFFFFFF0u, 0x7FFFFFFFu, 0x10, 0));
    EXPECT_TRUE(UnlockFile(a, 0xFFFFFFF0u, 0x7FFFFFFFu, 0x10, 0));
    CloseHandle(a);
    EXPECT_EQ(Slurp("l.dat"), "01ab456789");
}

TEST_F(PlatformTest, CopyFileKeepsTimeAndHonoursFailIfExists) {
    Touch("src.txt", "payload");
    HANDLE h = Open(C("src.txt"), GENERIC_WRITE, 0);
    FILETIME when{};
    SYSTEMTIME st{2001, 2, 0, 3, 4, 5, 6, 0};
    ASSERT_TRUE(SystemTimeToFileTime(&st, &when));
    ASSERT_TRUE(SetFileTime(h, nullptr, nullptr, &when));
    CloseHandle(h);
    EXPECT_TRUE(CopyFile(C("src.txt").c_str(), C("dst.txt").c_str(), TRUE));
    EXPECT_EQ(Slurp("dst.txt"), "payload");
    h = Open(C("dst.txt"), GENERIC_READ, FILE_SHARE_READ);
    FILETIME got{};
    ASSERT_TRUE(GetFileTime(h, nullptr, nullptr, &got));
    CloseHandle(h);
    EXPECT_EQ(got.dwLowDateTime, when.dwLowDateTime);
    EXPECT_EQ(got.dwHighDateTime, when.dwHighDateTime);
    EXPECT_FALSE(CopyFile(C("src.txt").c_str(), C("DST.TXT").c_str(), TRUE));
    EXPECT_EQ(GetLastError(), ERROR_FILE_EXISTS);
    Touch("dst.txt", "old and longer");
    EXPECT_TRUE(CopyFile(C("src.txt").c_str(), C("dst.txt").c_str(), FALSE));
    EXPECT_EQ(Slurp("dst.txt"), "payload");
    EXPECT_FALSE(CopyFile(C("nope.txt").c_str(), C("x.txt").c_str(), FALSE));
    EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
}

// Between open handles the copy runs from the start of each, however often a handle served.
TEST_F(PlatformTest, CopyFileContentsStartsAtTheStartEachTime) {
    Touch("src.txt", "payload");
    HANDLE in = Open(C("src.txt"), GENERIC_READ, FILE_SHARE_READ);
    ASSERT_NE(in, INVALID_HANDLE_VALUE);
    for (const char* name : {"one.txt", "two.txt"}) {
        HANDLE out = Open(C(name), GENERIC_WRITE, 0, CREATE_NEW);
        ASSERT_NE(out, INVALID_HANDLE_VALUE);
        EXPECT_TRUE(CopyFileContents(in, out));
        CloseHandle(out);
        EXPECT_EQ(Slurp(name), "payload") << name;
    }
    HANDLE out = Open(C("one.txt"), GENERIC_WRITE, 0);
    ASSERT_NE(out, INVALID_HANDLE_VALUE);
    EXPECT_TRUE(CopyFileContents(in, out));
    EXPECT_TRUE(CopyFileContents(in, out));
    CloseHandle(out);
    // Each handle only as it was opened: nothing is written through one opened for reading, nor
    // read through one opened for writing.
    Touch("kept.txt", "kept");
    HANDLE readOnly = Open(C("kept.txt"), GENERIC_READ, FILE_SHARE_READ);
    HANDLE writeOnly = Open(C("two.txt"), GENERIC_WRITE, 0);
    ASSERT_NE(readOnly, INVALID_HANDLE_VALUE);
    ASSERT_NE(writeOnly, INVALID_HANDLE_VALUE);
    EXPECT_FALSE(CopyFileContents(in, readOnly));
    EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
    EXPECT_FALSE(CopyFileContents(writeOnly, readOnly));
    EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
    CloseHandle(writeOnly);
    CloseHandle(readOnly);
    CloseHandle(in);
    EXPECT_EQ(Slurp("one.txt"), "payload");
    EXPECT_EQ(Slurp("kept.txt"), "kept");
}

// A sparse file (a few bytes at each end of 1 GiB, or of 1 MiB, of holes) copies as holes by
// either route, its bytes and size kept; a limit ends the copy there. Over a file of the same
// size, the holes read as zeros in the copy, never as the bytes the file held before.
TEST_F(PlatformTest, CopiesKeepHolesAsHoles) {
    constexpr uint64_t kBig = qvptest::kOneGiB, kSmall = uint64_t{1} << 20;
    for (const auto& [name, size] : {std::pair{"sparse.bin", kBig}, {"small.bin", kSmall}}) {
        ASSERT_TRUE(qvptest::PlantSparseAt(P(name), 0, "head", size));
        ASSERT_TRUE(qvptest::PlantSparseAt(P(name), size - 4, "tail", size));
    }
    const struct {
        const char* name;
        const char* from;
        uint64_t fromSize;
        bool byPath;  // CopyFile, else CopyFileContents
        uint64_t limit;
        bool over;  // the copy goes over a file as large, of 'X'
    } cases[] = {{"by-path.bin", "sparse.bin", kBig, true, UINT64_MAX, false},
                 {"by-handle.bin", "sparse.bin", kBig, false, UINT64_MAX, false},
                 {"limited.bin", "sparse.bin", kBig, false, 2, false},
                 {"over-by-path.bin", "small.bin", kSmall, true, UINT64_MAX, true},
                 {"over-by-handle.bin", "small.bin", kSmall, false, UINT64_MAX, true}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        if (c.over) Touch(c.name, std::string(c.fromSize, 'X'));
        if (c.byPath) {
            ASSERT_TRUE(CopyFile(C(c.from).c_str(), C(c.name).c_str(), !c.over));
        } else {
            HANDLE in = Open(C(c.from), GENERIC_READ, FILE_SHARE_READ);
            HANDLE out = Open(C(c.name), GENERIC_WRITE, 0, c.over ? OPEN_EXISTING : CREATE_NEW);
            EXPECT_TRUE(CopyFileContents(in, out, c.limit));
            CloseHandle(out);
            CloseHandle(in);
        }
        const uint64_t size = std::min(c.fromSize, c.limit);
        EXPECT_EQ(std::filesystem::file_size(P(c.name)), size);
        EXPECT_LT(qvptest::DiskBytes(P(c.name)), qvptest::kSparseCopyBytes);
        std::ifstream in(P(c.name), std::ios::binary);
        if (c.over) {
            const std::string copy((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
            EXPECT_TRUE(copy == "head" + std::string(size - 8, '\0') + "tail") << std::count(copy.begin(), copy.end(), 'X');
        } else {
            char head[5] = {}, tail[5] = {};
            in.read(head, 4);
            EXPECT_EQ(std::string(head), std::string("head").substr(0, size));
            if (size == c.fromSize) {
                in.seekg(std::streamoff(size - 4)).read(tail, 4);
                EXPECT_STREQ(tail, "tail");
            }
        }
        std::filesystem::remove(P(c.name));
    }
}

// Two files (or folders) trade names in one step; a missing one, one of the other kind, a link
// or a held file refuses it.
TEST_F(PlatformTest, ExchangeFilesTradesNames) {
    Touch("a.txt", "A");
    Touch("b.txt", "B");
    EXPECT_TRUE(ExchangeFiles(C("a.txt").c_str(), C("b.txt").c_str()));
    EXPECT_EQ(Slurp("a.txt"), "B");
    EXPECT_EQ(Slurp("b.txt"), "A");
    EXPECT_FALSE(ExchangeFiles(C("a.txt").c_str(), C("missing").c_str()));
    EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
    std::filesystem::create_directories(P("d"));
    EXPECT_FALSE(ExchangeFiles(C("a.txt").c_str(), C("d").c_str()));
    EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
    EXPECT_FALSE(ExchangeFolders(C("a.txt").c_str(), C("d").c_str()));
    EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
    std::filesystem::create_directories(P("e"));
    Touch("e/inside", "E");
    EXPECT_TRUE(ExchangeFolders(C("d").c_str(), C("e").c_str()));
    EXPECT_EQ(Slurp("d/inside"), "E");
    EXPECT_TRUE(std::filesystem::is_empty(P("e")));
    std::filesystem::create_directory_symlink(P("d"), P("link"));  // a link to a folder is none
    EXPECT_FALSE(ExchangeFolders(C("e").c_str(), C("link").c_str()));
    EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
    EXPECT_TRUE(std::filesystem::is_symlink(P("link")));
    HANDLE h = Open(C("b.txt"), GENERIC_READ, FILE_SHARE_READ);
    EXPECT_FALSE(ExchangeFiles(C("a.txt").c_str(), C("b.txt").c_str()));
    EXPECT_EQ(GetLastError(), ERROR_SHARING_VIOLATION);
    CloseHandle(h);
    EXPECT_EQ(Slurp("a.txt"), "B");
}

TEST_F(PlatformTest, MoveFileNeverReplaces) {
    Touch("a.txt", "A");
    Touch("b.txt", "B");
    EXPECT_FALSE(MoveFile(C("a.txt").c_str(), C("b.txt").c_str()));
    EXPECT_EQ(GetLastError(), ERROR_ALREADY_EXISTS);
    EXPECT_FALSE(MoveFile(C("a.txt").c_str(), C("B.TXT").c_str()));  // a case variant is the same name
    EXPECT_EQ(GetLastError(), ERROR_ALREADY_EXISTS);
    EXPECT_EQ(Slurp("a.txt"), "A");
    EXPECT_EQ(Slurp("b.txt"), "B");
    EXPECT_TRUE(MoveFile(C("a.txt").c_str(), C("c.txt").c_str()));
    EXPECT_EQ(Slurp("c.txt"), "A");
    EXPECT_TRUE(MoveFile(C("c.txt").c_str(), C("C.TXT").c_str()));  // a case-only rename
    EXPECT_TRUE(std::filesystem::exists(P("C.TXT")));
    EXPECT_FALSE(std::filesystem::exists(P("c.txt")));
    // Directories move too, never onto an existing one.
    std::filesystem::create_directories(P("d1/sub"));
    std::filesystem::create_directories(P("d2"));
    EXPECT_FALSE(MoveFile(C("d1").c_str(), C("d2").c_str()));
    EXPECT_EQ(GetLastError(), ERROR_ALREADY_EXISTS);
    EXPECT_TRUE(MoveFile(C("d1").c_str(), C("d2\\d3").c_str()));
    EXPECT_TRUE(std::filesystem::exists(P("d2/d3/sub")));
    EXPECT_FALSE(MoveFile(C("missing").c_str(), C("x").c_str()));
    EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
    EXPECT_FALSE(MoveFile(C("b.txt").c_str(), C("nodir\\x").c_str()));
    EXPECT_EQ(GetLastError(), ERROR_PATH_NOT_FOUND);
    // A file another handle holds does not move.
    HANDLE h = Open(C("b.txt"), GENERIC_READ, FILE_SHARE_READ);
    EXPECT_FALSE(MoveFile(C("b.txt").c_str(), C("e.txt").c_str()));
    EXPECT_EQ(GetLastError(), ERROR_SHARING_VIOLATION);
    CloseHandle(h);
    EXPECT_TRUE(MoveFile(C("b.txt").c_str(), C("e.txt").c_str()));
}

TEST_F(PlatformTest, DeleteFileRefusesHeldReadOnlyAndDirectories) {
    Touch("x.txt", "x");
    HANDLE h = Open(C("x.txt"), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE);
    EXPECT_FALSE(DeleteFile(C("x.txt").c_str()));
    EXPECT_EQ(GetLastError(), ERROR_SHARING_VIOLATION);
    CloseHandle(h);
    // A handle that shares delete does not hold it.
    h = Open(C("x.txt"), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE);
    EXPECT_TRUE(DeleteFile(C("X.TXT").c_str()));
    CloseHandle(h);
    EXPECT_FALSE(DeleteFile(C("x.txt").c_str()));
    EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
    Touch("ro.txt");
    EXPECT_TRUE(SetFileAttributes(C("ro.txt").c_str(), FILE_ATTRIBUTE_READONLY));
    EXPECT_FALSE(DeleteFile(C("ro.txt").c_str()));
    EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
    EXPECT_EQ(Open(C("ro.txt"), GENERIC_WRITE, 0), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
    std::filesystem::create_directories(P("dir"));
    EXPECT_FALSE(DeleteFile(C("dir").c_str()));
    EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
}

TEST_F(PlatformTest, Directories) {
    EXPECT_TRUE(CreateDirectory(C("Work").c_str(), nullptr));
    EXPECT_FALSE(CreateDirectory(C("WORK").c_str(), nullptr));
    EXPECT_EQ(GetLastError(), ERROR_ALREADY_EXISTS);
    EXPECT_FALSE(CreateDirectory(C("none\\sub").c_str(), nullptr));
    EXPECT_EQ(GetLastError(), ERROR_PATH_NOT_FOUND);
    EXPECT_TRUE(CreateDirectory(C("work\\sub\\").c_str(), nullptr));
    EXPECT_TRUE(std::filesystem::is_directory(P("Work/sub")));
    EXPECT_FALSE(RemoveDirectory(C("work").c_str()));
    EXPECT_EQ(GetLastError(), ERROR_DIR_NOT_EMPTY);
    EXPECT_TRUE(RemoveDirectory(C("work\\SUB").c_str()));
    EXPECT_TRUE(RemoveDirectory(C("work").c_str()));
    EXPECT_FALSE(RemoveDirectory(C("work").c_str()));
    EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
    Touch("file");
    EXPECT_FALSE(RemoveDirectory(C("file").c_str()));
    EXPECT_EQ(GetLastError(), ERROR_DIRECTORY);
    // A directory opens only with backup semantics.
    std::filesystem::create_directories(P("d"));
    EXPECT_EQ(Open(C("d"), GENERIC_READ, FILE_SHARE_READ), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
    HANDLE h = CreateFile(C("d").c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                          FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    BY_HANDLE_FILE_INFORMATION info{};
    EXPECT_TRUE(GetFileInformationByHandle(h, &info));
    EXPECT_TRUE(info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY);
    CloseHandle(h);
}

TEST_F(PlatformTest, Attributes) {
    Touch("a.txt");
    std::filesystem::create_directories(P("d"));
    EXPECT_EQ(GetFileAttributes(C("d").c_str()) & FILE_ATTRIBUTE_DIRECTORY, FILE_ATTRIBUTE_DIRECTORY);
    const DWORD plain = GetFileAttributes(C("a.txt").c_str());
    EXPECT_EQ(plain & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_READONLY), 0u);
    EXPECT_TRUE(SetFileAttributes(C("A.TXT").c_str(), FILE_ATTRIBUTE_READONLY));
    struct stat st{};
    ASSERT_EQ(stat(P("a.txt").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & S_IWUSR, 0u);
    EXPECT_TRUE(GetFileAttributes(C("a.txt").c_str()) & FILE_ATTRIBUTE_READONLY);
    EXPECT_TRUE(SetFileAttributes(C("a.txt").c_str(), FILE_ATTRIBUTE_NORMAL));
    EXPECT_FALSE(GetFileAttributes(C("a.txt").c_str()) & FILE_ATTRIBUTE_READONLY);
    // Hidden and system where the file system keeps user extended attributes.
    if (SetFileAttributes(C("a.txt").c_str(), FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM)) {
        const DWORD a = GetFileAttributes(C("a.txt").c_str());
        if (a & FILE_ATTRIBUTE_HIDDEN) {
            EXPECT_TRUE(a & FILE_ATTRIBUTE_SYSTEM);
        }
    }
    EXPECT_EQ(GetFileAttributes(C("none").c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(GetFileAttributes(C("none\\x").c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(GetLastError(), ERROR_PATH_NOT_FOUND);
}

TEST_F(PlatformTest, FileTimes) {
    HANDLE h = Open(C("t.txt"), GENERIC_READ | GENERIC_WRITE, 0, CREATE_NEW);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    FILETIME now{};
    GetSystemTimeAsFileTime(&now);
    FILETIME c{}, a{}, w{};
    ASSERT_TRUE(GetFileTime(h, &c, &a, &w));
    const int64_t drift = FileTimeToUnixNanos(w) - FileTimeToUnixNanos(now);
    EXPECT_LT(std::llabs(drift), int64_t{5} * 1000000000);
    EXPECT_LE(FileTimeToUnixNanos(c), FileTimeToUnixNanos(w) + 1000000000);
    SYSTEMTIME st{1999, 12, 0, 31, 23, 59, 58, 125};
    FILETIME set{};
    ASSERT_TRUE(SystemTimeToFileTime(&st, &set));
    EXPECT_TRUE(SetFileTime(h, nullptr, &set, &set));
    ASSERT_TRUE(GetFileTime(h, nullptr, &a, &w));
    SYSTEMTIME back{};
    ASSERT_TRUE(FileTimeToSystemTime(&w, &back));
    EXPECT_EQ(back.wYear, 1999);
    EXPECT_EQ(back.wSecond, 58);
    EXPECT_EQ(back.wMilliseconds, 125);
    EXPECT_EQ(back.wDayOfWeek, 5);  // a Friday
    CloseHandle(h);
}

}  // namespace

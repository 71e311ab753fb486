// Code page text and path translation.
#include "platform_fixture.h"
#include <vector>

namespace {
using namespace win;
using qvp_test::PlatformTest;

TEST(CodePage, ShiftJisClassification) {
    SetACPForTesting(932);
    EXPECT_TRUE(IsDBCSLeadByte(0x81));
    EXPECT_TRUE(IsDBCSLeadByte(0x95));
    EXPECT_TRUE(IsDBCSLeadByte(0xFC));
    EXPECT_FALSE(IsDBCSLeadByte(0x5C));
    EXPECT_FALSE(IsDBCSLeadByte(0xA1));  // half-width katakana
    const std::string s = "a\x95\x5C" "b\x81";
    EXPECT_EQ(ClassifyByte(s, 0), ByteClass::Single);
    EXPECT_EQ(ClassifyByte(s, 1), ByteClass::Lead);
    EXPECT_EQ(ClassifyByte(s, 2), ByteClass::Trail);
    EXPECT_EQ(ClassifyByte(s, 3), ByteClass::Single);
    EXPECT_EQ(ClassifyByte(s, 4), ByteClass::Illegal);  // lead byte without its trail
    EXPECT_EQ(ClassifyByte("\x80", 0), ByteClass::Illegal);
    SetACPForTesting(0);
}

TEST(CodePage, SeparatorsNeverMatchTrailBytes) {
    SetACPForTesting(932);
    const std::string p = "dir\\\x95\x5C";  // dir\<Shift-JIS 0x95 0x5C>
    EXPECT_EQ(FindLastSeparator(p), 3u);
    EXPECT_EQ(FindFirstSeparator(p, 4), std::string::npos);
    EXPECT_EQ(FindFirstSeparator("a/b\\c", 2), 3u);
    SetACPForTesting(1252);
    EXPECT_EQ(FindLastSeparator(p), 5u);  // in 1252 every 0x5C separates
    SetACPForTesting(0);
}

TEST(CodePage, CasingAndCuts) {
    SetACPForTesting(932);
    // 0x83 0x61 is one character whose trail byte happens to be 'a': never cased.
    EXPECT_EQ(CharUpper("ab\x83\x61z"), "AB\x83\x61Z");
    EXPECT_EQ(CharLower("AB\x83\x41Z"), "ab\x83\x41z");
    EXPECT_EQ(DbcsSafeCut("ab\x95\x5C", 3), 2u);
    EXPECT_EQ(DbcsSafeCut("ab\x95\x5C", 4), 4u);
    EXPECT_EQ(DbcsSafeCut("abc", 10), 3u);
    SetACPForTesting(1252);
    EXPECT_EQ(CharUpper("ab\x83\x61z"), "AB\x83\x41Z");
    EXPECT_EQ(DbcsSafeCut("ab\x95\x5C", 3), 3u);
    SetACPForTesting(0);
}

TEST_F(PlatformTest, CodePageComesFromTheSettings) {
    EXPECT_EQ(GetACP(), 932u);
    registry::SetPlatform("codepage", "1252");
    EXPECT_EQ(GetACP(), 1252u);
    registry::SetPlatform("CodePage", "437");  // not allowed: the default
    EXPECT_EQ(GetACP(), 932u);
}

TEST_F(PlatformTest, DriveTableAndPosixPaths) {
    EXPECT_EQ(DriveRoot('c'), drive_);
    EXPECT_EQ(DriveRoot('D'), "");
    registry::SetPlatform("DriveD", "/srv/d/");
    EXPECT_EQ(DriveRoot('d'), "/srv/d");
    EXPECT_EQ(*ToPosixPath("D:\\x\\y.txt"), "/srv/d/x/y.txt");
    EXPECT_EQ(*ToPosixPath("C:\\"), drive_);
    EXPECT_EQ(*ToPosixPath("\\a"), drive_ + "/a");
    EXPECT_EQ(*ToPosixPath("/usr\\lib/x"), "/usr/lib/x");  // a POSIX path, "\" still separates
    SetLastError(0);
    EXPECT_FALSE(ToPosixPath("E:\\x").has_value());
    EXPECT_EQ(GetLastError(), ERROR_PATH_NOT_FOUND);
}

TEST_F(PlatformTest, ComponentRules) {
    EXPECT_EQ(*ToPosixPath("C:\\a\\\\.\\b. .\\c  \\d"), drive_ + "/a/b/c/d");
    EXPECT_EQ(*ToPosixPath("C:\\a\\b\\..\\c"), drive_ + "/a/c");
    EXPECT_FALSE(ToPosixPath("C:\\a<b").has_value());
    EXPECT_EQ(GetLastError(), ERROR_INVALID_NAME);
    EXPECT_FALSE(ToPosixPath("C:\\a\\b:c").has_value());
    EXPECT_EQ(GetLastError(), ERROR_INVALID_NAME);
}

TEST_F(PlatformTest, LengthLimits) {
    const std::string base = "C:\\";
    std::string ok = base + std::string(259 - base.size(), 'a');
    ASSERT_EQ(ok.size(), 259u);
    EXPECT_TRUE(ToPosixPath(ok).has_value());
    std::string tooLong = ok + "a";
    EXPECT_FALSE(ToPosixPath(tooLong).has_value());
    EXPECT_EQ(GetLastError(), ERROR_FILENAME_EXCED_RANGE);
    EXPECT_EQ(CreateFile(tooLong.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), ERROR_FILENAME_EXCED_RANGE);
    // Directories stop at 248.
    std::string dir = base + std::string(248 - base.size(), 'd');
    EXPECT_FALSE(CreateDirectory(dir.c_str(), nullptr));
    EXPECT_EQ(GetLastError(), ERROR_FILENAME_EXCED_RANGE);
    dir.pop_back();
    EXPECT_TRUE(CreateDirectory(dir.c_str(), nullptr));
    // A name Linux cannot hold (over 255 bytes) fails the same way.
    EXPECT_EQ(Open("/" + std::string(256, 'n'), GENERIC_WRITE, 0, CREATE_NEW), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), ERROR_FILENAME_EXCED_RANGE);
}

TEST_F(PlatformTest, MissingComponentsResolveIgnoringCase) {
    std::filesystem::create_directories(P("NODEDEF"));
    Touch("NODEDEF/C.123", "node");
    EXPECT_EQ(*ToPosixPath("C:\\nodedef\\c.123"), P("NODEDEF/C.123"));
    HANDLE h = Open(C("nodedef\\c.123"), GENERIC_READ, FILE_SHARE_READ);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    char buf[8] = {};
    DWORD n = 0;
    EXPECT_TRUE(ReadFile(h, buf, sizeof buf, &n, nullptr));
    EXPECT_EQ(std::string(buf, n), "node");
    EXPECT_TRUE(CloseHandle(h));
    // A relative path as well, from the working directory.
    const auto cwd = std::filesystem::current_path();
    std::filesystem::current_path(drive_);
    h = Open("nodedef\\c.123", GENERIC_READ, FILE_SHARE_READ);
    EXPECT_NE(h, INVALID_HANDLE_VALUE);
    CloseHandle(h);
    std::filesystem::current_path(cwd);
    // Creating a case variant finds the existing file.
    EXPECT_EQ(Open(C("NodeDef\\C.123"), GENERIC_WRITE, 0, CREATE_NEW), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), ERROR_FILE_EXISTS);
    // Exact spelling wins where both exist.
    Touch("NODEDEF/c.123", "lower");
    EXPECT_EQ(*ToPosixPath("C:\\nodedef\\c.123"), P("NODEDEF/c.123"));
    // A missing parent stays missing: 3.
    EXPECT_EQ(Open(C("nodedef2\\c.123"), GENERIC_READ, 0), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), ERROR_PATH_NOT_FOUND);
    EXPECT_EQ(Open(C("nodedef\\c.999"), GENERIC_READ, 0), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
}

// Two distinct Linux names stay two: the Windows rules apply only where the exact name is
// missing, and not at all to a last component taken as written.
TEST_F(PlatformTest, AnExactNameWinsOverTheWindowsRules) {
    std::filesystem::create_directories(P("e/sub"));
    std::filesystem::create_directories(P("e./sub"));
    Touch("dup");
    Touch("dup ");
    Touch("x.");
    const std::pair<const char*, const char*> cases[] = {
        {"dup ", "dup "}, {"dup", "dup"}, {"x.", "x."}, {"x", "x"}, {"DUP  ", "dup"},
        {"e.\\sub\\n", "e./sub/n"}, {"e\\sub\\n", "e/sub/n"}, {"E..\\sub", "e/sub"}, {"new. ", "new"}};
    for (const auto& [in, out] : cases) EXPECT_EQ(*ToPosixPath(C(in)), P(out)) << in;
    CloseHandle(CreateFile(C("DUP").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_FLAG_POSIX_SEMANTICS, nullptr));
    EXPECT_TRUE(CreateDirectoryExact(C("E").c_str()));
    EXPECT_TRUE(std::filesystem::is_directory(P("E")) && std::filesystem::exists(P("DUP")));
}

// A link at the name: CREATE_NEW never follows it, nor does an open or a security change asked
// not to.
TEST_F(PlatformTest, LinksAreNeverFollowedWhereTheCallerSaysSo) {
    Touch("target", "kept");
    std::filesystem::permissions(P("target"), std::filesystem::perms(0600));
    std::filesystem::create_symlink(P("target"), P("link"));
    std::filesystem::create_symlink(P("absent"), P("dangling"));
    for (const char* name : {"link", "dangling"}) {
        EXPECT_EQ(Open(C(name), GENERIC_WRITE, 0, CREATE_NEW), INVALID_HANDLE_VALUE) << name;
        EXPECT_EQ(GetLastError(), ERROR_FILE_EXISTS);
    }
    EXPECT_EQ(CreateFile(C("link").c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr),
              INVALID_HANDLE_VALUE);
    std::vector<uint8_t> sd(512);
    DWORD needed = 0;
    std::filesystem::create_directories(P("open"));
    std::filesystem::permissions(P("open"), std::filesystem::perms::all);
    ASSERT_TRUE(GetFileSecurity(C("open").c_str(), DACL_SECURITY_INFORMATION, sd.data(), 512, &needed));
    EXPECT_TRUE(SetFileSecurity(C("link").c_str(), DACL_SECURITY_INFORMATION, sd.data(), needed));
    EXPECT_EQ(std::filesystem::status(P("target")).permissions(), std::filesystem::perms(0600));
    EXPECT_EQ(Slurp("target"), "kept");
    EXPECT_FALSE(std::filesystem::exists(P("absent")));
}

TEST_F(PlatformTest, ShiftJisNameSurvivesCreateFindMoveDelete) {
    const std::string name = "\x95\x5C.dat";  // the second byte is '\'
    HANDLE h = Open(C(name), GENERIC_WRITE, 0, CREATE_NEW);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    CloseHandle(h);
    EXPECT_TRUE(std::filesystem::exists(P(name)));  // one file, not a folder "\x95" and a file
    WIN32_FIND_DATAA fd{};
    HANDLE f = FindFirstFile(C("*.dat").c_str(), &fd);
    ASSERT_NE(f, INVALID_HANDLE_VALUE);
    EXPECT_EQ(std::string(fd.cFileName), name);
    FindClose(f);
    f = FindFirstFile(C("\x95\x5C*").c_str(), &fd);
    ASSERT_NE(f, INVALID_HANDLE_VALUE);
    EXPECT_EQ(std::string(fd.cFileName), name);
    FindClose(f);
    const std::string moved = "\x95\x5C\x83\x5C.dat";
    EXPECT_TRUE(MoveFile(C(name).c_str(), C(moved).c_str()));
    EXPECT_TRUE(std::filesystem::exists(P(moved)));
    EXPECT_TRUE(DeleteFile(C(moved).c_str()));
    EXPECT_FALSE(std::filesystem::exists(P(moved)));
}
}  // namespace

// Software reference lists over a SOFTLIST written by hand: look-up, walks, copies, the
// soft-refer file and its sort, and the soft-refer area's drive code.
#include <utime.h>

#include <array>
#include <ctime>
#include <fstream>

#include "jobgen_env.h"

namespace qvptest {
namespace {

const std::string kName32(32, 'L');

class SoftListTest : public JobGenTest {
protected:
    void SetUp() override {
        JobGenTest::SetUp();
        List("DEFAULT", "DEFLIST.QVP", kDefaultList, 2001);
        List("DEFAULT2", "USERLIST.QVP", "d2\r\n", 2011);
        List("Office", "USERLIST.QVP", kUserList, 2012);
        List(kName32, "USERLIST.QVP", "", 2013);
        // A user list whose name begins with DEFAULT must be read from its USERLIST.QVP.
        Write(Lists() / "DEFAULT2" / "DEFLIST.QVP", "wrong file");
    }
    fs::path Lists() const { return Data() / "SERVER/ZARNQV/MNGFL/SOFTREFER/SOFTLIST"; }
    static void Write(const fs::path& path, const std::string& bytes) {
        fs::create_directories(path.parent_path());
        std::ofstream(path, std::ios::binary) << bytes;
    }
    static std::string Read(const fs::path& path) {
        const auto bytes = Bytes(path);
        return std::string(bytes.begin(), bytes.end());
    }
    // A list file last written on 15 June of `year`.
    void List(const std::string& name, const char* file, const std::string& bytes, int year) {
        const fs::path path = Lists() / name / file;
        Write(path, bytes);
        std::tm day{};
        day.tm_year = year - 1900;
        day.tm_mon = 5;
        day.tm_mday = 15;
        day.tm_hour = 12;
        const std::time_t when = timegm(&day);
        const utimbuf times{when, when};
        ASSERT_EQ(utime(path.c_str(), &times), 0);
    }

    static constexpr char kDefaultList[] =
        "# comment\r\n\r\na;b;Zeta;d;e;f;g;h;i\r\nx;y;;w\r\np;q;alpha;r;s;t;k1;m1;n\r\np;q;ALPHA;r;s;t;k1;m2;n;extra\r\n";
    static constexpr char kUserList[] = "u1;u2;beta;u4;u5;u6;k;z\r\nu;v;alpha;1;2;3;k1";
};

TEST_F(SoftListTest, FindTakesTheNamedListAndItsOwnFile) {
    struct Case {
        uint32_t type;
        std::string name;
        uint32_t code;
        const char* stored;
        int year;
    } cases[] = {
        {0, "default", 0, "DEFAULT", 2001},
        {1, "DEFAULT2", 0, "DEFAULT2", 2011},
        {3, "office", 0, "Office", 2012},
        {1, kName32, 0, nullptr, 2013},
        {1, kName32 + "L", QVAPI_ERR_INVALID_PARAMETER, nullptr, 0},
        {1, "DEFAULT", QVAPI_ERR_INVALID_PARAMETER, nullptr, 0},
        {0, "Office", QVAPI_ERR_INVALID_PARAMETER, nullptr, 0},
        {2, "", QVAPI_ERR_INVALID_PARAMETER, nullptr, 0},
        {4, "Office", QVAPI_ERR_INVALID_PARAMETER, nullptr, 0},
        {1, "", QVAPI_ERR_NO_MORE_ITEMS, nullptr, 0},
        {1, "nosuch", QVAPI_ERR_NO_MORE_ITEMS, nullptr, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        QVAPI_SOFTLIST list;
        std::memset(&list, 0xEE, sizeof list);
        EXPECT_EQ(qvAPIFindSoftListRefer(c.type, c.name.c_str(), &list, 0, 0), c.code == 0 ? 1 : 0);
        EXPECT_EQ(qvAPIGetLastError(), c.code);
        if (c.code != 0) continue;
        const std::string stored = c.stored != nullptr ? c.stored : kName32;
        EXPECT_EQ(std::string(list.szListName, strnlen(list.szListName, 32)), stored);
        if (stored.size() < 32) {
            EXPECT_EQ(list.szListName[stored.size()], 0);
        }
        EXPECT_EQ(list.dwListType, c.type);
        EXPECT_EQ(list.stUpdate.wYear, c.year);
        EXPECT_EQ(list.stUpdate.wMonth, 6);
    }
}

TEST_F(SoftListTest, WalksRunSideBySideAndPassOverTheDefaultList) {
    QVAPI_SOFTLIST a{}, b{};
    QVPAPI_HANDLE first = qvAPIFindFirstSoftListRefer(1, &a);
    ASSERT_NE(first, QVPAPI_INVALID_HANDLE) << Hex(qvAPIGetLastError());
    QVPAPI_HANDLE second = qvAPIFindFirstSoftListRefer(1, &b);
    ASSERT_NE(second, QVPAPI_INVALID_HANDLE);
    std::vector<std::string> names{std::string(a.szListName, strnlen(a.szListName, 32))};
    while (qvAPIFindNextSoftListRefer(first, &a) == 1) names.emplace_back(a.szListName, strnlen(a.szListName, 32));
    EXPECT_EQ(qvAPIGetLastError(), QVAPI_ERR_NO_MORE_ITEMS);
    EXPECT_EQ(names, (std::vector<std::string>{"DEFAULT2", kName32, "Office"}));
    EXPECT_STREQ(b.szListName, "DEFAULT2");  // the second walk is where it was
    ASSERT_EQ(qvAPIFindNextSoftListRefer(second, &b), 1);
    EXPECT_EQ(std::string(b.szListName, 32), kName32);
    EXPECT_EQ(qvAPIFindCloseSoftListRefer(first), 1);

    // A closed walk, or any other address, is refused rather than followed.
    int notAWalk = 0;
    for (QVPAPI_HANDLE h : {first, static_cast<QVPAPI_HANDLE>(&notAWalk), static_cast<QVPAPI_HANDLE>(nullptr)}) {
        EXPECT_EQ(qvAPIFindNextSoftListRefer(h, &a), 0);
        EXPECT_EQ(qvAPIGetLastError(), QVAPI_ERR_INVALID_PARAMETER);
        EXPECT_EQ(qvAPIFindCloseSoftListRefer(h), 0);
    }
    EXPECT_EQ(qvAPIFindCloseSoftListRefer(second), 1);

    fs::remove_all(Lists() / "DEFAULT2");
    fs::remove_all(Lists() / "Office");
    fs::remove_all(Lists() / kName32);
    EXPECT_EQ(qvAPIFindFirstSoftListRefer(1, &a), QVPAPI_INVALID_HANDLE);
    EXPECT_EQ(qvAPIGetLastError(), QVAPI_ERR_NO_MORE_ITEMS);
}

TEST_F(SoftListTest, GetFileCopiesTheListFile) {
    const fs::path target = root_ / "copy.qvp";
    ASSERT_EQ(qvAPIGetFileSoftRefer(0, "DEFAULT", target.c_str()), 1) << Hex(qvAPIGetLastError());
    EXPECT_EQ(Read(target), kDefaultList);
    ASSERT_EQ(qvAPIGetFileSoftRefer(1, "office", target.c_str()), 1);
    EXPECT_EQ(Read(target), kUserList);
    EXPECT_EQ(qvAPIGetFileSoftRefer(1, "Default", target.c_str()), 0);
    EXPECT_EQ(qvAPIGetLastError(), QVAPI_ERR_INVALID_PARAMETER);
    EXPECT_EQ(qvAPIGetFileSoftRefer(1, "nosuch", target.c_str()), 0);
    EXPECT_EQ(qvAPIGetLastError(), QVAPI_ERR_NO_MORE_ITEMS);
}

TEST_F(SoftListTest, SoftReferFileIsBuiltAndSorted) {
    const fs::path out = root_ / "PB000000";
    ASSERT_EQ(qvAPIReCreateSoftReferJobGen(1, "Office", out.c_str(), 0, 0), 1) << Hex(qvAPIGetLastError());
    EXPECT_EQ(Read(out), std::string(kUserList) + "\r\n" + kDefaultList);
    ASSERT_EQ(qvAPIReCreateSortJobGen(out.c_str(), 0, 0), 1) << Hex(qvAPIGetLastError());
    EXPECT_EQ(Read(out),
              "x;y;;w;;;;;\n"
              "u;v;alpha;1;2;3;k1;;\n"
              "p;q;ALPHA;r;s;t;k1;m2;n\n"
              "p;q;alpha;r;s;t;k1;m1;n\n"
              "u1;u2;beta;u4;u5;u6;k;z;\n"
              "a;b;Zeta;d;e;f;g;h;i\n");

    // No list, or only empty ones: the single '#', which the sort leaves alone.
    for (auto [type, name] : {std::pair{2u, ""}, {3u, kName32.c_str()}}) {
        ASSERT_EQ(qvAPIReCreateSoftReferJobGen(type, name, out.c_str(), 0, 0), 1);
        EXPECT_EQ(Read(out), "#");
        ASSERT_EQ(qvAPIReCreateSortJobGen(out.c_str(), 0, 0), 1);
        EXPECT_EQ(Read(out), "#");
    }
    // The name is a folder of SOFTLIST and must stay one.
    for (const std::string& name : {std::string("..\\..\\x"), std::string(".."), kName32 + "L"}) {
        EXPECT_EQ(qvAPIReCreateSoftReferJobGen(1, name.c_str(), out.c_str(), 0, 0), 0);
        EXPECT_EQ(qvAPIGetLastError(), QVAPI_ERR_INVALID_PARAMETER);
    }
    EXPECT_EQ(qvAPIReCreateSortJobGen((root_ / "missing").c_str(), 0, 0), 0);
    EXPECT_EQ(qvAPIGetLastError(), QVAPI_ERR_INVALID_PARAMETER);
}

TEST_F(SoftListTest, AreaDriveCodeFollowsSelectionAndDrives) {
    QVPAPI_HANDLE h = Open(nullptr, "Search", 'I');
    QVAPI_SOFTREFER area{};
    EXPECT_EQ(qvAPIGetSoftReferJobGen(h, &area), 0);
    EXPECT_EQ(qvAPIGetLastError(), QVAPI_ERR_FILE_NOT_FOUND);
    struct Case {
        uint32_t software, option;
        const char* drives;
        std::array<uint8_t, 5> code;  // b0..b4
    } cases[] = {
        {2, 3, "c;d;z;1;9", {0x80, 0xC0, 0x00, 0x01, 0x86}},
        {1, 3, "not;checked", {0, 0, 0, 0, 0x02}},
        {2, 2, "", {0, 0, 0, 0, 0x1E}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.drives);
        QVAPI_SOFTREFER given{};
        given.uiSoftware = c.software;
        given.uiDriveOption = c.option;
        std::strcpy(given.ucDriveName, c.drives);
        std::strcpy(given.szSoftListName, "Office");
        given.dwSoftListType = 1;
        std::memset(given.ucReserved124, 0xEE, sizeof given.ucReserved124);
        ASSERT_EQ(qvAPIUpdateSoftReferJobGen(h, &given), 1) << Hex(qvAPIGetLastError());
        ASSERT_EQ(qvAPIGetSoftReferJobGen(h, &area), 1);
        EXPECT_EQ(0, std::memcmp(area.ucDriveCode, c.code.data(), 5));
        EXPECT_STREQ(area.szSoftListName, "Office");
        EXPECT_EQ(area.ucReserved124[0], 0);
    }
    QVAPI_SOFTREFER bad{};
    bad.uiSoftware = 2;
    bad.uiDriveOption = 3;
    std::strcpy(bad.ucDriveName, "C:");
    EXPECT_EQ(qvAPIUpdateSoftReferJobGen(h, &bad), 0);
    EXPECT_EQ(qvAPIGetLastError(), QVAPI_ERR_INVALID_PARAMETER);
    ASSERT_EQ(qvAPIGetSoftReferJobGen(h, &area), 1);
    EXPECT_EQ(area.ucDriveCode[4], 0x1E);  // the failed update changed nothing
}

}  // namespace
}  // namespace qvptest

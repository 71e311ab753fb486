// The collect files of a kind-G JobGen: written, read back (the archive stays), committed, and
// a ready archive installed.
#include <fstream>

#include "jobgen_env.h"

namespace qvptest {
namespace {

class CollectTest : public JobGenTest {
protected:
    void SetUp() override {
        JobGenTest::SetUp();
        fs::create_directories(root_ / "caller");
        std::ofstream(root_ / "caller" / "ZARN.SCI", std::ios::binary) << "script body";
        h_ = Open(nullptr, "Gather", 'G');
        ASSERT_EQ(qvAPICreateClientJobGen(h_, "\\mst1\\pc1", 0, 0), 1);
    }
    fs::path Collect() const { return Work() / "COLLECT"; }
    static QVAPI_COLLECT Settings() {
        QVAPI_COLLECT c{};
        c.ucCollectTiming = 'E';
        c.ucCompressCode = ' ';
        std::memset(c.ucText1, 'x', 100);  // cut to 63
        std::strcpy(c.ucText2, "second");
        std::memcpy(c.ucPDate, "261207", 6);
        c.ucCipherCode = 'N';
        std::strcpy(c.ucCollectPath, "C:\\logs");
        std::memset(c.ucCollectStorePath, 's', 182);
        return c;
    }
    int Update(const QVAPI_COLLECT& c) {
        return qvAPIUpdateCollectFileJobGen(h_, &c, (root_ / "caller").c_str());
    }
    QVPAPI_HANDLE h_ = nullptr;
};

TEST_F(CollectTest, SettingsOutOfRangeAreRefused) {
    struct Case {
        const char* what;
        void (*change)(QVAPI_COLLECT&);
    } cases[] = {
        {"timing", [](QVAPI_COLLECT& c) { c.ucCollectTiming = 'X'; }},
        {"lower-case compress", [](QVAPI_COLLECT& c) { c.ucCompressCode = 'k'; }},
        {"no date", [](QVAPI_COLLECT& c) { c.ucPDate[0] = 0; }},
        {"cipher", [](QVAPI_COLLECT& c) { c.ucCipherCode = 'X'; }},
        {"no path", [](QVAPI_COLLECT& c) { c.ucCollectPath[0] = 0; }},
        {"store path of 183", [](QVAPI_COLLECT& c) { std::memset(c.ucCollectStorePath, 's', 183); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        QVAPI_COLLECT settings = Settings();
        c.change(settings);
        EXPECT_EQ(Update(settings), 0);
        EXPECT_EQ(qvAPIGetLastError(), QVAPI_ERR_INVALID_PARAMETER);
    }
    EXPECT_FALSE(fs::exists(Collect() / "F0000000"));
    QVAPI_COLLECT out{};
    EXPECT_EQ(qvAPIGetCollectFileJobGen(h_, &out, (root_ / "out").c_str()), 0);
    EXPECT_EQ(qvAPIGetLastError(), QVAPI_ERR_FILE_NOT_FOUND);
}

TEST_F(CollectTest, UpdateGetAndCommitKeepTheArchive) {
    ASSERT_EQ(Update(Settings()), 1) << Hex(qvAPIGetLastError());
    const auto f = Bytes(Collect() / "F0000000");
    ASSERT_EQ(f.size(), 784u);
    EXPECT_EQ(f[0], 0x03);
    EXPECT_EQ(f[1], 0x10);
    EXPECT_EQ(f[10], 0x80);
    EXPECT_EQ(f[166], 'E');
    EXPECT_EQ(f[167], 'F');
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(&f[232]), 64), std::string(63, 'x') + '\0');
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(&f[606]), 4), "755/");
    EXPECT_EQ(Bytes(Collect() / "P0000000").size(), 260u);

    const fs::path out = root_ / "out";
    fs::create_directories(out);
    QVAPI_COLLECT back;
    std::memset(&back, 0xEE, sizeof back);
    ASSERT_EQ(qvAPIGetCollectFileJobGen(h_, &back, out.c_str()), 1) << Hex(qvAPIGetLastError());
    EXPECT_EQ(back.ucCollectTiming, 'E');
    EXPECT_EQ(std::string(back.ucText1), std::string(63, 'x'));
    EXPECT_STREQ(back.ucCollectPath, "C:\\logs");
    EXPECT_EQ(std::string(back.ucCollectStorePath), std::string(182, 's'));
    EXPECT_EQ(back.ucReserved[0], 0);
    EXPECT_TRUE(fs::exists(out / "ZARN.SCI"));
    EXPECT_TRUE(fs::exists(Collect() / "Q0000000"));  // the commit still needs it

    ASSERT_EQ(qvAPICloseJobGen(h_, 0), 1) << Hex(qvAPIGetLastError());
    for (const char* name : {"F0000000", "P0000000", "Q0000000"}) EXPECT_TRUE(fs::exists(Store() / "Gather" / name)) << name;
}

TEST_F(CollectTest, MakeCollectInstallsTheArchiveAndCounts) {
    ASSERT_EQ(Update(Settings()), 1);
    fs::remove(Collect() / "Q0000000");
    const fs::path archive = root_ / "ready.q";
    std::ofstream(archive, std::ios::binary) << "archive bytes";
    ASSERT_EQ(qvpAPIJobGenMakeCollect(h_, archive.c_str()), 1) << Hex(qvAPIGetLastError());
    EXPECT_EQ(Bytes(Collect() / "F0000000")[512], 1);
    EXPECT_EQ(Bytes(Collect() / "Q0000000"), Bytes(archive));
    const auto p = Bytes(Collect() / "P0000000");
    EXPECT_EQ(std::string(p.begin(), p.end()), std::string("c:\\\0\0\0\0\0\0\0", 10));
    // An archive in place is never replaced.
    EXPECT_EQ(qvpAPIJobGenMakeCollect(h_, archive.c_str()), 0);
    EXPECT_EQ(qvAPIGetLastError(), QVAPI_ERR_RESOURCE);
}

}  // namespace
}  // namespace qvptest

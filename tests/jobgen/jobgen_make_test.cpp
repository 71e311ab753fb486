// A stored JobGen made again from a hand-made file of execution records, against the
// simulator's package store; and the side-file copiers.
#include <endian.h>

#include <fstream>
#include <functional>

#include "../records/fixture.h"
#include "jobgen_env.h"

namespace qvptest {
namespace {

using qvp::jobgen::JobGenEntry;
using qvp::jobgen::JobGenHeader;

constexpr size_t kRecord = 944;

class MakeTest : public RecordsTest {
protected:
    void SetUp() override {
        RecordsTest::SetUp();
        fs::create_directories(Store());
        package_ = Package('C', "01", "pkgA", "v1", "0001", "P0000007");
        package_.ucFlags = QVAPI_PACKAGE_FLAG_SCRIPT;
        store().AddPackage(package_, "package bytes", std::string_view("script bytes"));
        Open();
    }
    fs::path Store() const { return data() / "SERVER/ZARNQV/MNGFL/JOBGEN"; }
    static std::vector<uint8_t> Bytes(const fs::path& p) {
        std::ifstream in(p, std::ios::binary);
        return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
    }

    // An execution record of kind `kind` for `node` (blank-padded) and `package`.
    static std::string Record(char kind, const std::string& node, const QVAPI_PACKAGE& package) {
        std::string r(kRecord, '\0');
        r[6] = '\xFF';
        r[8] = kind;
        r[9] = 'A';
        r[10] = 0x02;
        r[11] = 0x0C;
        r[12] = 0x03;
        r.replace(16, 64, Pad(node, 64));
        std::memcpy(r.data() + 160, &package, sizeof package);
        r[510] = 0x08;  // the attribution flags: the package travels with its script
        r[530] = 0x01;
        r.replace(233, 6, "261207");
        r.replace(239, 6, "101500");
        r.replace(245, 3, "07\x03");
        r[496] = 'E';
        r.replace(520, 4, std::string("\0\0\x10\0", 4));
        r.replace(532, 4, std::string("\0\0\0\x20", 4));
        for (size_t i = 784; i < 944; ++i) r[i] = static_cast<char>(i);
        return r;
    }
    // A name extension: one name, or two with their kinds.
    static std::string Extension(uint8_t kind, const std::string& name, uint8_t kind2 = 0,
                                 const std::string& second = {}) {
        std::string e(12, '\0');
        e[5] = second.empty() ? 1 : 2;
        e[8] = static_cast<char>(kind);
        e[10] = static_cast<char>(name.size() >> 8);
        e[11] = static_cast<char>(name.size());
        e += name;
        if (!second.empty()) {
            e += std::string{static_cast<char>(kind2), 0, static_cast<char>(second.size() >> 8),
                             static_cast<char>(second.size())};
            e += second;
        }
        return e;
    }
    fs::path ExecFile(const std::string& bytes) {
        const fs::path path = root_ / "exec.dat";
        std::ofstream(path, std::ios::binary) << bytes;
        return path;
    }

    QVAPI_PACKAGE package_{};
};

TEST_F(MakeTest, EntriesHeaderAttributionAndCollectFiles) {
    QVAPI_PACKAGE gone = Package('C', "01", "gone", "v9", "0001");
    const std::string last = Record('R', "#Ghost", gone);
    const fs::path exec = ExecFile(Record('D', "pc1", package_) +
                                   Record('D', "", package_) + Extension(17, "grp.%ID1", 19, "hosta rest") +
                                   last + Extension(19, "host1"));
    ASSERT_EQ(qvpAPIJobGenMake(exec.c_str(), "\\", "Again"), 1) << Hex(qvAPIGetLastError());
    const fs::path dir = Store() / "Again";
    const auto file = Bytes(dir / "jobgenfile");
    ASSERT_EQ(file.size(), 256u + 3 * 1284u);
    JobGenHeader h;
    std::memcpy(&h, file.data(), sizeof h);
    EXPECT_EQ(h.entryAreaSize, 3 * 1284u);
    EXPECT_STREQ(h.name, "Again");
    EXPECT_EQ(h.options, 0x0C);
    EXPECT_EQ(h.jobKind, 'R');  // the job's kind, which re-creation and sort go by
    EXPECT_EQ(h.idKind, 5);
    EXPECT_EQ(h.origin, 'S');
    EXPECT_EQ(std::string(h.workDate, 6), "261207");
    EXPECT_EQ(h.execWeek, 3);
    EXPECT_EQ(h.entryCount, 3u);
    EXPECT_EQ(std::string(h.version, 4), "0500");
    EXPECT_EQ(h.divisionalSize, 0x1000u);
    EXPECT_EQ(h.transInterval, 0x20u);

    JobGenEntry e[3];
    std::memcpy(e, file.data() + 256, sizeof e);
    const struct {
        const char* node;
        const char* host;
        const char* key;
        uint32_t copies;
    } want[] = {{"pc1", "pc1", "C.01.pkgA.v1.0001", 1}, {"grp.%ID1", "hosta", "C.01.pkgA.v1.0001", 1},
                {"#Ghost", "host1", "C.01.gone.v9.0001", 0}};
    for (int i = 0; i < 3; ++i) {
        SCOPED_TRACE(i);
        EXPECT_STREQ(e[i].node, want[i].node);
        EXPECT_STREQ(e[i].host, want[i].host);
        EXPECT_EQ(std::string(e[i].packageKey), want[i].key);
        EXPECT_EQ(e[i].packageCopy, want[i].copies);
        EXPECT_EQ(e[i].fileIdCopy, want[i].copies);
        EXPECT_EQ(e[i].flags, 0x1C);
        EXPECT_EQ(e[i].reginfOption, 7);
        EXPECT_EQ(e[i].type, 0x80000000u);
        EXPECT_EQ(e[i].soft.software, 4u);
    }
    EXPECT_EQ(std::string(e[0].fileId, 8), "Q0000007");
    EXPECT_EQ(reinterpret_cast<const uint8_t*>(&e[0])[866], 784 & 0xFF);  // from record 784

    // The attribution file: numeric fields in network order, the found record's resource name.
    const auto a = Bytes(dir / "C.01.pkgA.v1.0001");
    ASSERT_EQ(a.size(), 784u);
    EXPECT_EQ(a[0], 0x03);
    EXPECT_EQ(a[1], 0x10);
    EXPECT_EQ(a[2], 1);
    EXPECT_EQ(a[3], 1);
    EXPECT_EQ(std::vector<uint8_t>(a.begin() + 4, a.begin() + 8), (std::vector<uint8_t>{1, 2, 3, 4}));
    EXPECT_EQ(std::string(a.begin() + 160, a.begin() + 168), "P0000007");
    EXPECT_EQ(a[768], 0);
    const auto script = Bytes(dir / "Q0000007");
    EXPECT_EQ(std::string(script.begin(), script.end()), "script bytes");
    EXPECT_FALSE(fs::exists(dir / "C.01.gone.v9.0001"));

    // The collect files of the last record: its attribution part, counter + 1, and "c:\".
    const auto f = Bytes(dir / "F0000000");
    ASSERT_EQ(f.size(), 784u);
    std::vector<uint8_t> expected(last.begin() + 168, last.end());
    expected.resize(784, 0);
    expected[512] += 1;
    EXPECT_EQ(f, expected);
    EXPECT_EQ(Bytes(dir / "P0000000"), (std::vector<uint8_t>{'c', ':', '\\', 0, 0, 0, 0, 0, 0, 0}));

    EXPECT_EQ(qvpAPIJobGenMake(exec.c_str(), nullptr, "Again"), 0);
    EXPECT_EQ(qvAPIGetLastError(), QVAPI_ERR_RESOURCE);
}

TEST_F(MakeTest, CollectKindsGetNoCollectFilesAndBadNamesNoDirectory) {
    const fs::path exec = ExecFile(Record('D', "pc1", package_) + Record('G', "pc2", package_));
    ASSERT_EQ(qvpAPIJobGenMake(exec.c_str(), "", "Gather"), 1) << Hex(qvAPIGetLastError());
    EXPECT_FALSE(fs::exists(Store() / "Gather" / "F0000000"));
    EXPECT_FALSE(fs::exists(Store() / "Gather" / "P0000000"));

    const fs::path longName = ExecFile(Record('D', "", package_) + Extension(17, std::string(300, 'n')));
    struct Case {
        const char* folder;
        const char* name;
        const fs::path* exec;
    } cases[] = {{nullptr, "..", &exec}, {nullptr, "a\\b", &exec}, {"\\x\\..\\..", "N", &exec},
                 {"..", "N", &exec}, {nullptr, "Long", &longName}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(qvpAPIJobGenMake(c.exec->c_str(), c.folder, c.name), 0);
        EXPECT_EQ(qvAPIGetLastError(), QVAPI_ERR_INVALID_PARAMETER);
    }
    EXPECT_FALSE(fs::exists(Store().parent_path() / "N"));
}

TEST_F(MakeTest, CopiersPutSideFilesUnderTheirNames) {
    const fs::path exec = ExecFile(Record('U', "pc1", package_));
    ASSERT_EQ(qvpAPIJobGenMake(exec.c_str(), nullptr, "Inv"), 1) << Hex(qvAPIGetLastError());
    const fs::path src = root_ / "src";
    fs::create_directories(src);
    for (const char* name : {"UL000000", "UI000000", "YL000000", "NE000000", "ID.SRC", "PROCFILE1"})
        std::ofstream(src / name) << name;
    auto at = [&](const char* name) { return (src / name).string(); };
    struct Case {
        const char* what;
        std::function<int()> call;
        uint32_t code;
        const char* made;  // relative to the JobGen, or nullptr
    } cases[] = {
        {"ID", [&] { return qvpAPIJobGenMakeIDProc("\\", "Inv", at("ID.SRC").c_str()); }, 0, "IDF00000"},
        {"proc", [&] { return qvpAPIJobGenMakeProc(nullptr, "Inv", at("PROCFILE1").c_str()); }, 0, "PROCFILE"},
        {"proc without folder", [&] { return qvpAPIJobGenMakeProc(nullptr, "Inv", "PROC"); }, QVAPI_ERR_INVALID_PARAMETER, nullptr},
        {"UL", [&] { return qvpAPIJobGenMakeUinvProc("", "Inv", at("UL000000").c_str(), "sub"); }, 0, "UL000000"},
        {"UI", [&] { return qvpAPIJobGenMakeUinvProc("", "Inv", at("UI000000").c_str(), "sub"); }, 0, "sub/UI000000"},
        {"UI out", [&] { return qvpAPIJobGenMakeUinvProc("", "Inv", at("UI000000").c_str(), ".."); }, QVAPI_ERR_INVALID_PARAMETER, nullptr},
        {"Reg", [&] { return qvpAPIJobGenMakeRegProc(nullptr, "Inv", at("YL000000").c_str()); }, 0, "YL000000"},
        {"NE other", [&] { return qvAPIJobGenMakeNEProc(nullptr, "Inv", at("YL000000").c_str()); }, 0, nullptr},
        {"NE", [&] { return qvAPIJobGenMakeNEProc(nullptr, "Inv", at("NE000000").c_str()); }, 0, "NE000000"},
        {"NE again", [&] { return qvAPIJobGenMakeNEProc(nullptr, "Inv", at("NE000000").c_str()); }, QVAPI_ERR_RESOURCE, nullptr},
        {"name out", [&] { return qvpAPIJobGenMakeIDProc(nullptr, "..", at("ID.SRC").c_str()); }, QVAPI_ERR_INVALID_PARAMETER, nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(c.call(), c.code == 0 ? 1 : 0);
        EXPECT_EQ(qvAPIGetLastError(), c.code);
        if (c.made != nullptr) {
            EXPECT_TRUE(fs::exists(Store() / "Inv" / c.made));
        }
    }
}

}  // namespace
}  // namespace qvptest

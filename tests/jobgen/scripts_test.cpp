// Script files of a package entry of the open JobGen.
#include <fstream>
#include <functional>
#include <iterator>

#include "jobgen/jobgen_env.h"
#include "support/child_memory.h"

namespace qvptest {
namespace {

class ScriptFileTest : public JobGenTest {
protected:
    void SetUp() override {
        JobGenTest::SetUp();
        // C.01.pkgA.1/2.0001 with a script file, C.01.pkgB.1.0001 without.
        for (const char* id : {"pkgA", "pkgB"}) {
            std::vector<uint8_t> record = Record(3);
            std::memset(record.data() + 11, ' ', 52);
            std::memcpy(record.data() + 11, id, 4);
            std::memcpy(record.data() + 55, id[3] == 'A' ? "1/2" : "1  ", 3);
            std::memcpy(record.data() + 160, "P0000007", 8);
            record[350] = id[3] == 'A' ? 0x08 : 0x00;
            Write(Attribution() / (id[3] == 'A' ? "C.01.pkgA.1#2.0001" : "C.01.pkgB.1.0001"),
                  std::string(record.begin(), record.end()));
        }
        Write(Data() / "SERVER/ZARNQV/RESOURCE/Q0000007", "manager's script\n");
    }
    static void Write(const fs::path& path, const std::string& bytes) {
        fs::create_directories(path.parent_path());
        std::ofstream(path, std::ios::binary) << bytes;
    }
    static std::string Read(const fs::path& path) {
        std::ifstream in(path, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }
    fs::path Entry(const char* fileName) const { return Work() / "PACKAGE" / fileName; }
    // What the entry folder holds besides its jobgenentryfile.
    std::vector<std::string> Beside(const char* fileName) const {
        std::vector<std::string> names;
        for (const auto& e : fs::directory_iterator(Entry(fileName)))
            if (e.path().filename() != "jobgenentryfile") names.push_back(e.path().filename());
        return names;
    }
};

TEST_F(ScriptFileTest, UpdateGivesTheEntryItsOwnScriptWhichGetThenReturns) {
    QVPAPI_HANDLE h = Open("", "J1");
    ASSERT_EQ(qvAPICreatePackageJobGen(h, 'C', "01", "pkgA", "1/2", "0001", 0, 0), 1) << Hex(qvAPIGetLastError());
    const fs::path out = root_ / "out.txt", mine = root_ / "mine.txt";
    ASSERT_EQ(qvAPIGetScriptFile(h, 'C', "01", "pkgA", "1/2", "0001", out.c_str()), 1) << Hex(qvAPIGetLastError());
    EXPECT_EQ(Read(out), "manager's script\n");
    EXPECT_TRUE(Beside("C.01.pkgA.1#2.0001").empty());  // no temporary attribution copy

    for (const char* text : {"first update\n", "second update\n"}) {
        Write(mine, text);
        ASSERT_EQ(qvAPIUpdateScriptFile(h, 'C', "01", "pkgA", "1/2", "0001", mine.c_str()), 1) << Hex(qvAPIGetLastError());
        EXPECT_EQ(Beside("C.01.pkgA.1#2.0001"), std::vector<std::string>{"Q0000007"});
        const auto entry = Bytes(Entry("C.01.pkgA.1#2.0001") / "jobgenentryfile");
        ASSERT_EQ(entry.size(), qvp::jobgen::kEntrySize);
        EXPECT_EQ(std::string(entry.begin() + 352, entry.begin() + 360), "Q0000007");
        EXPECT_EQ(entry[364], 1);
        ASSERT_EQ(qvAPIGetScriptFile(h, 'C', "01", "pkgA", "1/2", "0001", out.c_str()), 1);
        EXPECT_EQ(Read(out), text);
    }
}

TEST_F(ScriptFileTest, RefusalsLeaveNothingBehind) {
    QVPAPI_HANDLE h = Open("", "J1");
    ASSERT_EQ(qvAPICreatePackageJobGen(h, 'C', "01", "pkgB", "1", "0001", 0, 0), 1) << Hex(qvAPIGetLastError());
    const std::string out = (root_ / "out.txt").string();
    int other = 0;
    const struct {
        const char* what;
        std::function<int()> call;
        uint32_t code;
    } cases[] = {
        {"no script", [&] { return qvAPIGetScriptFile(h, 'C', "01", "pkgB", "1", "0001", out.c_str()); }, QVAPI_ERR_FILE_NOT_FOUND},
        {"other handle", [&] { return qvAPIGetScriptFile(&other, 'X', nullptr, "pkgB", "1", "0001", nullptr); }, QVAPI_ERR_INVALID_HANDLE},
        {"QvCode", [&] { return qvAPIUpdateScriptFile(h, 'X', "01", "pkgB", "1", "0001", out.c_str()); }, QVAPI_ERR_INVALID_PARAMETER},
        {"key leaving its area", [&] { return qvAPIUpdateScriptFile(h, 'C', "01", "..", "1", "0001", out.c_str()); }, QVAPI_ERR_INVALID_PARAMETER},
        {"no such entry", [&] { return qvAPIGetScriptFile(h, 'C', "01", "pkgC", "1", "0001", out.c_str()); }, QVAPI_ERR_RESOURCE},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(c.call(), 0);
        EXPECT_EQ(qvAPIGetLastError(), c.code);
    }
    EXPECT_TRUE(Beside("C.01.pkgB.1.0001").empty());
    EXPECT_FALSE(fs::exists(out));
}

// An attribution file is one record: one planted large (sparse, the record at its head) fails
// the script read as an unreadable file, and the caller never holds it. (The whole session runs
// in the child: a JobGen belongs to the thread that opened it.)
TEST_F(ScriptFileTest, AnAttributionFileLongerThanItsRecordIsNotRead) {
    fs::resize_file(Attribution() / "C.01.pkgA.1#2.0001", uint64_t{96} << 20);
    const std::string out = (root_ / "out.txt").string();
    const ChildRun run = RunInChild([&] {
        QVPAPI_HANDLE h = qvAPICreateJobGen("", "J1", 'D', 0, 0);
        if (h == QVPAPI_INVALID_HANDLE || qvAPICreatePackageJobGen(h, 'C', "01", "pkgA", "1/2", "0001", 0, 0) != 1) return -1;
        return qvAPIGetScriptFile(h, 'C', "01", "pkgA", "1/2", "0001", out.c_str());
    });
    ASSERT_TRUE(run.ran);
    EXPECT_EQ(run.result, 0);
    EXPECT_EQ(run.code, QVAPI_ERR_RESOURCE);
    EXPECT_LT(run.grownKiB, kRefusalGrowthKiB);
    EXPECT_FALSE(fs::exists(out));
}

// A failed entry write takes the copied script away again; the next update succeeds.
TEST_F(ScriptFileTest, FailedEntryWriteLeavesNoCopiedScript) {
    QVPAPI_HANDLE h = Open("", "J1");
    ASSERT_EQ(qvAPICreatePackageJobGen(h, 'C', "01", "pkgA", "1/2", "0001", 0, 0), 1) << Hex(qvAPIGetLastError());
    const fs::path mine = root_ / "mine.txt";
    Write(mine, "mine\n");
    const fs::path entry = Entry("C.01.pkgA.1#2.0001") / "jobgenentryfile";
    const auto before = Bytes(entry);
    win::fault::Watch("jobgenentryfile");
    win::fault::FailNth(win::fault::Call::WriteFile, 1, 112);
    EXPECT_EQ(qvAPIUpdateScriptFile(h, 'C', "01", "pkgA", "1/2", "0001", mine.c_str()), 0);
    EXPECT_EQ(qvAPIGetLastError(), QVAPI_ERR_RESOURCE);
    win::fault::Reset();
    EXPECT_TRUE(Beside("C.01.pkgA.1#2.0001").empty());
    EXPECT_EQ(Bytes(entry), before);
    ASSERT_EQ(qvAPIUpdateScriptFile(h, 'C', "01", "pkgA", "1/2", "0001", mine.c_str()), 1) << Hex(qvAPIGetLastError());
    EXPECT_EQ(Beside("C.01.pkgA.1#2.0001"), std::vector<std::string>{"Q0000007"});
}

}  // namespace
}  // namespace qvptest

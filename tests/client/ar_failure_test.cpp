// The archive writer's failure steps through the platform's failure injection, and the limits
// nothing else reaches: the name table's 65,535 names and the 4 GiB length field.
#include <gtest/gtest.h>

#include <string>

#include "ar_test_util.h"
#include "client/ar/archiver.h"
#include "client/ar/swpkg.h"
#include "support/fault_steps.h"

namespace {

using namespace artest;
using qvptest::FailureStep;
using win::fault::Call;

class ArFailures : public ArTest {
protected:
    fs::path Tree() {
        const fs::path f = root() / "work" / "F";
        fs::create_directories(f / "a");
        writeFile(f / "b.txt", "hi\n");
        writeFile(f / "a" / "c.txt", std::string(3000, 'c'));
        return f;
    }
    // Names of the archive's folder: a temporary left behind shows here.
    std::vector<std::string> Folder() {
        std::vector<std::string> names;
        for (const auto& e : fs::directory_iterator(root())) names.push_back(e.path().filename());
        std::sort(names.begin(), names.end());
        return names;
    }
};

// The writer's result when the `step`th call of a kind fails: the archive is the first file
// it creates, the sources come after it.
int ResultOf(Call call, unsigned step) {
    switch (call) {
    case Call::CreateFile: return step == 1 ? 3 : 6;  // archive not created; source not opened
    case Call::ReadFile: return 4;                     // part of a file not read
    case Call::FindFirstFile: case Call::FindNextFile: return 1;  // a folder not enumerable
    default: return 3;                                 // the archive not written or placed
    }
}

TEST_F(ArFailures, EachFailedStepKeepsThePreviousArchive) {
    const fs::path source = Tree();
    const fs::path out = root() / "pack.qvz";
    const auto pack = [&] {
        return qvpcarCreateArcFile(source.c_str(), nullptr, 0, 0, nullptr, out.c_str(), 0) == 0 ? 1 : 0;
    };
    writeFile(out, "previous");
    const std::vector<std::string> folder = Folder();
    unsigned steps = 0;
    for (const auto& kind : qvptest::FileFaultKinds()) {
        int result = 0;
        const auto counted = [&] {
            result = qvpcarCreateArcFile(source.c_str(), nullptr, 0, 0, nullptr, out.c_str(), 0);
            return result == 0 ? 1 : 0;
        };
        steps += qvptest::WalkFailureSteps(kind, root().string(), [&] { writeFile(out, "previous"); },
                                           counted, [&](const FailureStep& s) {
            SCOPED_TRACE(std::string(kind.name) + " #" + std::to_string(s.step));
            if (s.result == 1) {
                // A step the writer does without: a probe, or the removal of the archive it
                // replaced, which may stay beside the new one as "<temporary>.old".
                EXPECT_EQ(listArchive(readBytes(out)).size(), 4u);  // F, a, a/c.txt, b.txt
                for (const auto& name : Folder())
                    if (std::find(folder.begin(), folder.end(), name) == folder.end()) {
                        EXPECT_TRUE(name.ends_with(".tmp.old")) << name;
                        fs::remove(root() / name);
                    }
                return;
            }
            EXPECT_EQ(result, ResultOf(kind.call, s.step));
            EXPECT_EQ(readFile(out), "previous");
            EXPECT_EQ(Folder(), folder);
        });
    }
    EXPECT_GT(steps, 10u);
    EXPECT_EQ(pack(), 1);
}

// One file named 65,535 times: with the drive, the base and "root" and "sys", the table is
// full before the last entry, which is refused with 7 (names not stored).
TEST_F(ArFailures, MoreThan65535NamesAreRefused) {
    const fs::path f = root() / "many";
    writeFile(f / "x", "x");
    std::string list;
    for (int i = 0; i < 65535; ++i) list += std::string("x") + '\0';
    const fs::path out = root() / "many.qvz";
    EXPECT_EQ(qvpcarCreateArcFile(f.c_str(), list.data(), 65535, 0, nullptr, out.c_str(), 0), 7);
    EXPECT_FALSE(fs::exists(out));
    EXPECT_EQ(qvpcarCreateArcFile(f.c_str(), list.data(), 65530, 0, nullptr, out.c_str(), 0), 0);
}

// Entries whose sizes bring the archive past its u32 length are refused before a byte of them
// is copied: the sizes are the walk's, injected, not written.
TEST_F(ArFailures, ArchiveReaching4GiBIsRefused) {
    const fs::path f = root() / "big";
    writeFile(f / "huge", "small on disk");
    writeFile(f / "over", "small on disk");
    const fs::path out = root() / "big.qvz";
    win::fault::ReportSize("huge", 0xFFFFF000u);
    EXPECT_EQ(qvpcarCreateArcFile(f.c_str(), nullptr, 0, 0, nullptr, out.c_str(), 0), 6);
    win::fault::Reset();
    EXPECT_FALSE(fs::exists(out));
    win::fault::ReportSize("over", 0x100000000ull);
    EXPECT_EQ(qvpcarCreateArcFile(f.c_str(), nullptr, 0, 0, nullptr, out.c_str(), 0), 6);
    win::fault::Reset();
    EXPECT_EQ(qvpcarCreateArcFile(f.c_str(), nullptr, 0, 0, nullptr, out.c_str(), 0), 0);
}

// A Q file is replaced only by a complete pack, and its work folder stays when packing fails.
TEST_F(ArFailures, QFileKeptWhenPackingFailsPartWay) {
    const fs::path q = root() / "Q";
    const fs::path work = root() / "qwork";
    for (unsigned step : {1u, 2u}) {
        writeFile(q, "keep me");
        writeFile(work / "s1.txt", "one");
        writeFile(work / "s2.txt", "two");
        win::fault::Watch(work.string());
        win::fault::FailNth(Call::ReadFile, step, win::ERROR_LOCK_VIOLATION);
        EXPECT_EQ(qvpSwpEndCangeQFile(work.c_str(), q.c_str()), -1);
        win::fault::Reset();
        EXPECT_EQ(readFile(q), "keep me");
        EXPECT_EQ(readFile(work / "s2.txt"), "two");
    }
    EXPECT_EQ(qvpSwpEndCangeQFile(work.c_str(), q.c_str()), 0);
    EXPECT_FALSE(fs::exists(work));
}

}  // namespace

// The local file engine's writers, each failure step through the platform's failure injection.
#include "records/fixture.h"
#include "support/fault_steps.h"
#include "support/status_files.h"

namespace qvptest {
namespace {

namespace fs = std::filesystem;

const std::string kOldP1 = "SERVER/ZARNQV/MNGFL/STATUS/old/C.A1.p1.1#0.0001";
const std::string kNewP1 = "SERVER/ZARNQV/MNGFL/STATUS/new/C.A1.p1.1#0.0001";

class LocalEngineFailures : public RecordsTest {
protected:
    void SetUp() override {
        RecordsTest::SetUp();
        OpenSocketless();
    }
    void Fill() {
        fs::remove_all(data() / "SERVER" / "ZARNQV" / "MNGFL" / "STATUS");
        for (const char* package : {"p1", "p2", "p3"})
            WriteStatusFile(data(), "old", MakeStatusRecord("old", 'C', "A1", package, "1/0", "0001"));
    }
    // The clean run must succeed; then each failed step of each kind goes to `check` with the
    // store before and after a clean run.
    void Walk(const std::function<int()>& call,
              const std::function<void(const FailureStep&, const FileTree& before,
                                       const FileTree& after, const FileTree& now)>& check) {
        Fill();
        const FileTree before = ReadTree(data());
        ASSERT_EQ(call(), 1) << std::hex << qvAPIGetLastError();
        const FileTree after = ReadTree(data());
        unsigned steps = 0;
        for (const auto& kind : FileFaultKinds()) {
            steps += WalkFailureSteps(kind, "MNGFL", [&] { Fill(); }, call, [&](const FailureStep& s) {
                SCOPED_TRACE(std::string(kind.name) + " #" + std::to_string(s.step));
                check(s, before, after, ReadTree(data()));
            });
        }
        EXPECT_GT(steps, 0u);
    }
};

// One record deleted: a failure deletes nothing. A record or folder that can't be read is passed
// over, so the pattern then matches nothing ("not found").
TEST_F(LocalEngineFailures, DeleteByPatternDeletesAllOrNothing) {
    Walk([&] { return qvpAPIDeleteSts(block(), "old", 'C', "p2", nullptr, nullptr); },
         [](const FailureStep& s, const FileTree& before, const FileTree& after, const FileTree& now) {
             if (s.result == 1) {
                 EXPECT_EQ(now, after) << TreeDifference(after, now);
                 return;
             }
             EXPECT_TRUE(s.code == QVAPI_ERR_RESOURCE || s.code == QVAPI_ERR_NOT_FOUND) << std::hex << s.code;
             EXPECT_EQ(now, before) << TreeDifference(before, now);
         });
}

// A record moved to another node is stored under the new name first: whatever step fails, the
// record is never lost, and no file is left half written.
TEST_F(LocalEngineFailures, MovedRecordIsNeverLost) {
    const std::string record = MakeStatusRecord("new", 'C', "A1", "p1", "1/0", "0001");
    Walk([&] {
        return qvpAPIUpdateSts(block(), "old", "new", reinterpret_cast<const QVAPI_INSPACKAGE*>(record.data()));
    }, [&](const FailureStep& s, const FileTree& before, const FileTree& after, const FileTree& now) {
        if (s.result == 1) return;
        EXPECT_NE(s.code, 0u);
        EXPECT_TRUE(now.count(kOldP1) || now.count(kNewP1)) << TreeDifference(before, now);
        for (const auto& [path, bytes] : now) {
            const bool asBefore = before.count(path) && before.at(path) == bytes;
            const bool asAfter = after.count(path) && after.at(path) == bytes;
            EXPECT_TRUE(asBefore || asAfter) << path;
        }
    });
}

}  // namespace
}  // namespace qvptest

// At every failure step, the calls that turn a work tree into a stored JobGen (or back) either
// succeed with every entry or fail with the store as it was; a failed re-open leaves nothing held.
#include <thread>

#include "jobgen_env.h"
#include "support/fault_steps.h"

namespace qvptest {
namespace {

enum class Op { Commit, ExCommit, ExCommitKeepingBackup, CommitAfterRename, ChangeAll, Reopen, ExReopen };
struct Operation {
    const char* name;
    Op op;
    char kind = 'D';  // 'D': each node with two packages; 'V': one entry per node
};
void PrintTo(const Operation& o, std::ostream* out) { *out << o.name; }

constexpr uint8_t kNewClass = 'X';

class JobGenFailureSteps : public JobGenTest, public ::testing::WithParamInterface<Operation> {
protected:
    // A failed removal's retry pauses prove nothing here.
    void SetUp() override { JobGenTest::SetUp(); win::fault::SkipPauses(true); }
    void TearDown() override { win::fault::SkipPauses(false); JobGenTest::TearDown(); }
    Op op() const { return GetParam().op; }
    bool reopen() const { return op() == Op::Reopen || op() == Op::ExReopen; }

    // A stored JobGen "J" of two nodes (with two packages for kind D) and, but for the re-open,
    // its session opened as the call needs it.
    void Prepare() {
        if (block_->openJobGen != nullptr) qvAPICloseJobGen(block_, 1);
        fs::remove_all(ExBackup());
        fs::remove_all(Store());
        fs::create_directories(Store());
        QVPAPI_HANDLE h = Open("", "J", GetParam().kind);
        ASSERT_EQ(qvAPICreateClientJobGen(h, "\\mst1\\pc1", 0, 0), 1) << Hex(qvAPIGetLastError());
        ASSERT_EQ(qvAPICreateNodeGroupJobGen(h, "\\grp", 0, 0), 1) << Hex(qvAPIGetLastError());
        for (const char* package : {"pkgA", "pkgB"})
            ASSERT_TRUE(GetParam().kind != 'D' || qvAPICreatePackageJobGen(h, 'C', "01", package, "1", "0001", 0, 0) == 1);
        ASSERT_EQ(qvAPICloseJobGen(h, 0), 1) << Hex(qvAPIGetLastError());
        if (reopen()) return;
        const bool ex = op() == Op::ExCommit || op() == Op::ExCommitKeepingBackup;
        h = ex ? qvAPICreateJobGenEx("", "J", 0, 0, 0) : qvAPICreateJobGen("", "J", 0, 0, 0);
        ASSERT_EQ(h, static_cast<QVPAPI_HANDLE>(block_)) << Hex(qvAPIGetLastError());
        ASSERT_TRUE(op() != Op::CommitAfterRename || qvAPIChangeNameJobGen(h, "", "K") == 1);
    }

    // 1 for a success; a re-open that hands its handle back with a code counts as failed.
    int Act() {
        QVAPI_PACKAGE unused{};
        switch (op()) {
        case Op::Commit:
        case Op::CommitAfterRename: return qvAPICloseJobGen(block_, 0);
        case Op::ExCommit: return qvAPICloseJobGenEx(block_, 0, 0);
        case Op::ExCommitKeepingBackup: return qvAPICloseJobGenEx(block_, 2, 0);
        case Op::ChangeAll: return qvAPIChangePackageJobGen(block_, 0x8000, &unused, &kNewClass, 1, 0);
        case Op::Reopen: return qvAPICreateJobGen("", "J", 0, 0, 0) != QVPAPI_INVALID_HANDLE && qvAPIGetLastError() == 0;
        case Op::ExReopen: return qvAPICreateJobGenEx("", "J", 0, 0, 0) != QVPAPI_INVALID_HANDLE && qvAPIGetLastError() == 0;
        }
        return 0;
    }

    // A session the call left open is committed after a success, discarded after a failure.
    void Finish(bool succeeded) {
        if (block_->openJobGen == nullptr) return;
        const uint32_t option = succeeded ? 0 : 1;
        const bool ex = static_cast<qvp::jobgen::JobGenEdit*>(block_->openJobGen)->ex;
        ASSERT_EQ(ex ? qvAPICloseJobGenEx(block_, option, 0) : qvAPICloseJobGen(block_, option), 1);
    }
};

TEST_P(JobGenFailureSteps, EachCallKeepsEveryEntryOrTheStoreAsBefore) {
    const char* target = op() == Op::CommitAfterRename ? "K" : "J";
    Prepare();
    const auto before = Snapshot(Store());
    ASSERT_EQ(Act(), 1) << Hex(qvAPIGetLastError());
    Finish(true);
    const auto after = Snapshot(Store());  // a success must leave exactly this
    const auto stored = Bytes(Store() / target / "jobgenfile");
    ASSERT_EQ(stored.size(), qvp::jobgen::kHeaderSize + (GetParam().kind == 'D' ? 4 : 2) * sizeof(JobGenEntry));
    for (size_t at = qvp::jobgen::kHeaderSize; op() == Op::ChangeAll && at < stored.size(); at += sizeof(JobGenEntry))
        EXPECT_EQ(reinterpret_cast<const JobGenEntry*>(&stored[at])->setcls, static_cast<char>(kNewClass));

    unsigned failed = 0;
    for (const FaultKind& kind : FileFaultKinds()) {
        WalkFailureSteps(kind, "", [&] { Prepare(); }, [&] { return Act(); }, [&](const FailureStep& s) {
            SCOPED_TRACE(std::string(kind.name) + " #" + std::to_string(s.step));
            if (s.result == 1) {
                Finish(true);
                EXPECT_EQ(Snapshot(Store()), after);
                return;
            }
            ++failed;
            EXPECT_NE(s.code, 0u);
            const bool handedBack = block_->openJobGen != nullptr;
            Finish(false);
            EXPECT_EQ(Snapshot(Store()), before);
            if (!reopen() || handedBack) return;
            EXPECT_FALSE(fs::exists(ExBackup() / "J"));  // no partial backup
            std::thread([] { EXPECT_EQ(qvAPICloseJobGen(qvAPICreateJobGen("", "J", 0, 0, 0), 1), 1); }).join();
        });
    }
    EXPECT_GT(failed, 0u);
}

INSTANTIATE_TEST_SUITE_P(
    Calls, JobGenFailureSteps,
    ::testing::Values(Operation{"Commit", Op::Commit}, Operation{"ExCommit", Op::ExCommit},
                      Operation{"ExCommitKeepingBackup", Op::ExCommitKeepingBackup},
                      Operation{"CommitAfterRename", Op::CommitAfterRename}, Operation{"ChangeAll", Op::ChangeAll},
                      Operation{"Reopen", Op::Reopen}, Operation{"ReopenOneEntryPerNode", Op::Reopen, 'V'},
                      Operation{"ExReopenOneEntryPerNode", Op::ExReopen, 'V'}),
    [](const auto& info) { return std::string(info.param.name); });

// A re-open re-adds each stored node once: a long name given as it is is not doubled by its
// second package entry.
TEST_F(JobGenTest, ReopenAddsALongNamedNodeOnce) {
    QVPAPI_HANDLE h = Open("", "L");
    ASSERT_EQ(qvAPICreateClientJobGen(h, ("\\" + std::string(70, 'n')).c_str(), QVAPI_JOBGEN_AS_GIVEN, 0), 1);
    for (const char* package : {"pkgA", "pkgB"})
        ASSERT_EQ(qvAPICreatePackageJobGen(h, 'C', "01", package, "1", "0001", 0, 0), 1);
    ASSERT_EQ(qvAPICloseJobGen(h, 0), 1) << Hex(qvAPIGetLastError());
    const auto stored = Bytes(Store() / "L/jobgenfile");
    ASSERT_EQ(qvAPICloseJobGen(Open("", "L"), 0), 1) << Hex(qvAPIGetLastError());
    EXPECT_EQ(Bytes(Store() / "L/jobgenfile").size(), stored.size());
}

}  // namespace
}  // namespace qvptest

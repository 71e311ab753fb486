// Every failure step of the calls that turn a work tree into a stored JobGen (or back): each call
// either succeeds with every entry or fails with the store as it was, and a failed re-open
// leaves nothing open or locked.
#include <thread>

#include "jobgen_env.h"
#include "support/fault_steps.h"

namespace qvptest {
namespace {

enum class Op { Commit, ExCommit, ExCommitKeepingBackup, CommitAfterRename, ChangeAll, Reopen, ExReopen };

struct Operation {
    const char* name;
    Op op;
    char kind = 'D';  // 'D': each node with the two packages; 'V': one entry per node
};
void PrintTo(const Operation& o, std::ostream* out) { *out << o.name; }

constexpr uint8_t kNewClass = 'X';

class JobGenFailureSteps : public JobGenTest, public ::testing::WithParamInterface<Operation> {
protected:
    // A stored JobGen "J" of two nodes, of kind D with two packages (four entries) or of kind V
    // (two entries), and, but for the re-open, its session opened as the operation needs it.
    void Prepare() {
        if (block_->openJobGen != nullptr) qvAPICloseJobGen(block_, 1);
        fs::remove_all(ExBackup());
        fs::remove_all(Store());
        fs::create_directories(Store());
        const char kind = GetParam().kind;
        QVPAPI_HANDLE h = Open("", "J", kind);
        ASSERT_EQ(qvAPICreateClientJobGen(h, "\\mst1\\pc1", 0, 0), 1) << Hex(qvAPIGetLastError());
        ASSERT_EQ(qvAPICreateNodeGroupJobGen(h, "\\grp", 0, 0), 1) << Hex(qvAPIGetLastError());
        for (const char* package : {"pkgA", "pkgB"}) {
            if (kind != 'D') break;
            ASSERT_EQ(qvAPICreatePackageJobGen(h, 'C', "01", package, "1", "0001", 0, 0), 1);
        }
        ASSERT_EQ(qvAPICloseJobGen(h, 0), 1) << Hex(qvAPIGetLastError());
        const Op op = GetParam().op;
        if (op == Op::Reopen || op == Op::ExReopen) return;
        const bool ex = op == Op::ExCommit || op == Op::ExCommitKeepingBackup;
        h = ex ? qvAPICreateJobGenEx("", "J", 0, 0, 0) : qvAPICreateJobGen("", "J", 0, 0, 0);
        ASSERT_EQ(h, static_cast<QVPAPI_HANDLE>(block_)) << Hex(qvAPIGetLastError());
        if (op == Op::CommitAfterRename) {
            ASSERT_EQ(qvAPIChangeNameJobGen(h, "", "K"), 1);
        }
    }

    // The watched call: 1 for a success, 0 for a failure (a re-open that hands its handle back
    // with a code counts as failed).
    int Act() {
        switch (GetParam().op) {
        case Op::Commit:
        case Op::CommitAfterRename: return qvAPICloseJobGen(block_, 0);
        case Op::ExCommit: return qvAPICloseJobGenEx(block_, 0, 0);
        case Op::ExCommitKeepingBackup: return qvAPICloseJobGenEx(block_, 2, 0);
        case Op::ChangeAll: {
            QVAPI_PACKAGE unused{};
            return qvAPIChangePackageJobGen(block_, 0x8000, &unused, &kNewClass, 1, 0);
        }
        case Op::Reopen:
        case Op::ExReopen: {
            const QVPAPI_HANDLE h = GetParam().op == Op::ExReopen ? qvAPICreateJobGenEx("", "J", 0, 0, 0)
                                                                   : qvAPICreateJobGen("", "J", 0, 0, 0);
            return h != QVPAPI_INVALID_HANDLE && qvAPIGetLastError() == 0 ? 1 : 0;
        }
        }
        return 0;
    }

    // What follows the watched call without faults: a session it left open is committed after a
    // success and discarded after a failure.
    void Finish(bool succeeded) {
        if (block_->openJobGen == nullptr) return;
        const uint32_t option = succeeded ? 0 : 1;
        const bool ex = static_cast<qvp::jobgen::JobGenEdit*>(block_->openJobGen)->ex;
        ASSERT_EQ(ex ? qvAPICloseJobGenEx(block_, option, 0) : qvAPICloseJobGen(block_, option), 1)
            << Hex(qvAPIGetLastError());
    }

    fs::path ExBackup() const {
        return Data() / "RMTINS/WORK" / ("JB" + std::to_string(getpid()) + "_" + std::to_string(win::GetCurrentThreadId()));
    }

    // The JobGen's entries as stored: node name and package key of each, in order.
    std::vector<std::string> StoredEntries(const char* name) {
        const auto bytes = Bytes(Store() / name / "jobgenfile");
        std::vector<std::string> out;
        if (bytes.size() < sizeof(JobGenHeader)) return out;
        JobGenHeader header{};
        std::memcpy(&header, bytes.data(), sizeof header);
        for (uint32_t i = 0; i < header.entryCount && sizeof header + (i + 1) * sizeof(JobGenEntry) <= bytes.size(); ++i) {
            JobGenEntry entry{};
            std::memcpy(&entry, bytes.data() + sizeof header + i * sizeof entry, sizeof entry);
            out.push_back(std::string(entry.node) + "|" + std::string(entry.packageKey, strnlen(entry.packageKey, 64)) +
                          "|" + entry.setcls);
        }
        return out;
    }

    // Another thread can open the JobGen: nothing holds its mutex.
    static bool FreeForOthers() {
        bool opened = false;
        std::thread other([&] {
            const QVPAPI_HANDLE h = qvAPICreateJobGen("", "J", 0, 0, 0);
            opened = h != QVPAPI_INVALID_HANDLE;
            if (opened) qvAPICloseJobGen(h, 1);
        });
        other.join();
        return opened;
    }
};

TEST_P(JobGenFailureSteps, EachCallKeepsEveryEntryOrTheStoreAsBefore) {
    const Op op = GetParam().op;
    const char* target = op == Op::CommitAfterRename ? "K" : "J";
    Prepare();
    const auto before = Snapshot(Store());
    ASSERT_EQ(Act(), 1) << Hex(qvAPIGetLastError());
    Finish(true);
    const auto after = Snapshot(Store());
    const std::vector<std::string> entries = StoredEntries(target);
    ASSERT_EQ(entries.size(), GetParam().kind == 'D' ? 4u : 2u);
    if (op == Op::ChangeAll) {
        for (const std::string& entry : entries) EXPECT_EQ(entry.back(), static_cast<char>(kNewClass)) << entry;
    }

    unsigned steps = 0, failed = 0;
    for (const FaultKind& kind : FileFaultKinds()) {
        steps += WalkFailureSteps(kind, "", [&] { Prepare(); }, [&] { return Act(); },
                                  [&](const FailureStep& s) {
            SCOPED_TRACE(std::string(kind.name) + " #" + std::to_string(s.step));
            if (s.result == 1) {
                Finish(true);
                EXPECT_EQ(StoredEntries(target), entries);
                EXPECT_EQ(Snapshot(Store()), after);
                return;
            }
            ++failed;
            EXPECT_NE(s.code, 0u);
            const bool handedBack = block_->openJobGen != nullptr;
            Finish(false);
            EXPECT_EQ(Snapshot(Store()), before);
            if ((op == Op::Reopen || op == Op::ExReopen) && !handedBack) {
                EXPECT_TRUE(FreeForOthers());
                EXPECT_FALSE(fs::exists(ExBackup() / "J"));  // no partial backup of the JobGen
            }
        });
    }
    EXPECT_GT(steps, 0u);
    EXPECT_GT(failed, 0u);
}

INSTANTIATE_TEST_SUITE_P(Calls, JobGenFailureSteps,
                         ::testing::Values(Operation{"Commit", Op::Commit}, Operation{"ExCommit", Op::ExCommit},
                                           Operation{"ExCommitKeepingBackup", Op::ExCommitKeepingBackup},
                                           Operation{"CommitAfterRename", Op::CommitAfterRename},
                                           Operation{"ChangeAll", Op::ChangeAll}, Operation{"Reopen", Op::Reopen},
                                           Operation{"ReopenOneEntryPerNode", Op::Reopen, 'V'},
                                           Operation{"ExReopenOneEntryPerNode", Op::ExReopen, 'V'}),
                         [](const auto& info) { return std::string(info.param.name); });

// A re-open re-adds each stored node once: a node named by a time stamp (a long name given as it
// is) is not doubled by its second package entry.
TEST_F(JobGenTest, ReopenAddsALongNamedNodeOnce) {
    const std::string longName = "\\" + std::string(70, 'n');
    QVPAPI_HANDLE h = Open("", "L");
    ASSERT_EQ(qvAPICreateClientJobGen(h, longName.c_str(), QVAPI_JOBGEN_AS_GIVEN, 0), 1) << Hex(qvAPIGetLastError());
    for (const char* package : {"pkgA", "pkgB"})
        ASSERT_EQ(qvAPICreatePackageJobGen(h, 'C', "01", package, "1", "0001", 0, 0), 1);
    ASSERT_EQ(qvAPICloseJobGen(h, 0), 1) << Hex(qvAPIGetLastError());
    const auto stored = Bytes(Store() / "L/jobgenfile");
    h = Open("", "L");
    ASSERT_EQ(qvAPICloseJobGen(h, 0), 1) << Hex(qvAPIGetLastError());
    const auto again = Bytes(Store() / "L/jobgenfile");
    ASSERT_GE(again.size(), sizeof(JobGenHeader));
    JobGenHeader header{};
    std::memcpy(&header, again.data(), sizeof header);
    EXPECT_EQ(header.entryCount, 2u);
    EXPECT_EQ(again.size(), stored.size());
}

}  // namespace
}  // namespace qvptest

// Every failure step of the node writers, through the platform's failure injection: each failed
// call of each kind leaves the store as it was (a removal at worst as a finished step left it,
// never a damaged file) and reports a file or busy code.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <set>
#include <string>

#include "nodes/node_group_steps.h"
#include "qvpapi.h"
#include "support/fault_steps.h"
#include "support/node_group_builder.h"

namespace {

namespace fs = std::filesystem;
using qvptest::FailureStep;
using qvptest::FileTree;
using win::fault::Call;

// A file another process holds (an open refused with a sharing violation) is busy, for removals
// as for every other writer: never "not found" for a file that is there. A failed read may also
// be the file failure.
const std::set<uint32_t> kBusyCodes = {QVAPI_ERR_NODE_FILE_BUSY, QVAPI_ERR_BUSY};
const std::set<uint32_t> kReadCodes = {QVAPI_ERR_NODE_FILE_BUSY, QVAPI_ERR_BUSY, QVAPI_ERR_RESOURCE};

// Stamps carry the time of the call: two runs agree on everything else.
FileTree WithoutStamps(FileTree tree) {
    for (auto& [path, bytes] : tree) {
        const std::string name = fs::path(path).filename().string();
        const bool definition = name.rfind("C.", 0) == 0 || name.rfind("M.", 0) == 0 ||
                                name == "nodeattributionfile";
        const size_t at = offsetof(QVAPI_NODE, stUpdateTime);
        if (definition && bytes.size() >= at + sizeof(QVAPI_NODE_TIME))
            bytes.replace(at, sizeof(QVAPI_NODE_TIME), sizeof(QVAPI_NODE_TIME), '\0');
    }
    return tree;
}

enum class Leaves { AsBefore, EachFileBeforeOrAfter };

struct Writer {
    const char* name;
    bool alphaMember;  // alpha listed in \G1 before the call
    Leaves leaves;
    std::function<int(const qvptest::NodeStoreBuilder&)> call;
};
void PrintTo(const Writer& writer, std::ostream* out) { *out << writer.name; }

class WriterFailures : public qvptest::NodeGroupStore,
                       public ::testing::WithParamInterface<Writer> {
protected:
    void Build() {
        FreshStoreWithMembers();
        store_->AddGroup("\\G1\\Sub");
        if (GetParam().alphaMember) store_->AddMember("\\G1", "alpha");
    }
    FileTree Store() { return WithoutStamps(qvptest::ReadTree(root_)); }
};

TEST_P(WriterFailures, EachFailedStepLeavesTheStoreWhole) {
    const Writer& writer = GetParam();
    Build();
    const FileTree before = Store();
    const auto call = [&] { return writer.call(*store_); };
    ASSERT_EQ(call(), 1) << std::hex << qvAPIGetLastError();
    const FileTree after = Store();
    unsigned steps = 0;
    for (const auto& kind : qvptest::FileFaultKinds()) {
        steps += qvptest::WalkFailureSteps(kind, "MNGFL", [&] { Build(); }, call,
                                           [&](const FailureStep& s) {
            SCOPED_TRACE(std::string(kind.name) + " #" + std::to_string(s.step));
            const FileTree now = Store();
            if (s.result == 1) {
                // A step the writer can do without (a walk for nested members, the removal of
                // the old copy a rewrite displaced, which the next rewrite of the file sweeps).
                FileTree kept = now;
                std::erase_if(kept, [](const auto& entry) { return entry.first.ends_with(".tmp"); });
                EXPECT_EQ(kept, after) << qvptest::TreeDifference(after, kept);
                return;
            }
            // A lock refused with 33 is another writer at work: busy, as for a held file.
            if (kind.call == Call::CreateFile) EXPECT_TRUE(kBusyCodes.count(s.code)) << std::hex << s.code;
            else if (kind.call == Call::ReadFile) EXPECT_TRUE(kReadCodes.count(s.code)) << std::hex << s.code;
            else if (kind.call == Call::LockFile) EXPECT_TRUE(s.code == QVAPI_ERR_RESOURCE || s.code == QVAPI_ERR_BUSY) << std::hex << s.code;
            else EXPECT_EQ(s.code, QVAPI_ERR_RESOURCE);
            if (writer.leaves == Leaves::AsBefore) {
                EXPECT_EQ(now, before) << qvptest::TreeDifference(before, now);
                return;
            }
            // An attribution file's head (the definition's copy) and its back-links are written
            // by different steps: each part as before or as after.
            for (const auto& [path, bytes] : now) {
                const bool attribution = fs::path(path).filename() == "nodeattributionfile";
                const size_t split = attribution ? std::min<size_t>(QVAPI_NODE_HEAD_SIZE, bytes.size()) : 0;
                const auto asIn = [&](const FileTree& tree, size_t from, size_t length) {
                    return tree.count(path) && tree.at(path).substr(from, length) == bytes.substr(from, length);
                };
                const auto partAsBeforeOrAfter = [&](size_t from, size_t length) {
                    return asIn(before, from, length) || asIn(after, from, length);
                };
                const bool whole = before.count(path) && before.at(path) == bytes;
                EXPECT_TRUE(whole || (partAsBeforeOrAfter(0, split) &&
                                      partAsBeforeOrAfter(split, std::string::npos)))
                    << path << " is neither as before nor as after";
            }
        });
    }
    EXPECT_GT(steps, 0u);
}

INSTANTIATE_TEST_SUITE_P(
    NodeWriters, WriterFailures,
    ::testing::Values(
        Writer{"GroupAdd", false, Leaves::AsBefore,
               [](const auto&) { return qvAPICreateClient("\\G1", "alpha", 0, 0); }},
        Writer{"GroupMemberRemove", true, Leaves::EachFileBeforeOrAfter,
               [](const auto&) { return qvAPIDeleteClient("\\G1", "alpha", 0, 0); }},
        Writer{"GroupRemove", false, Leaves::EachFileBeforeOrAfter,
               [](const auto&) { return qvAPIDeleteNodeGroup("\\G1", "Sub", 0, 0); }},
        Writer{"BackLinkRemove", true, Leaves::AsBefore,
               [](const auto&) { return qvp::nodes::qvAPIDeleteNodeAttributionEntry("alpha", "\\G1", 1, 0); }},
        Writer{"DefinitionRemove", true, Leaves::AsBefore,
               [](const qvptest::NodeStoreBuilder& store) {
                   const std::string file = store.DefinitionPath(store.Record("alpha")).filename();
                   return qvp::nodes::qvAPIDeleteNodeDefinitionEntry(file.substr(2).c_str(), 1, 0);
               }},
        Writer{"GroupEntryRemove", true, Leaves::AsBefore,
               [](const auto&) { return qvp::nodes::qvAPIDeleteNodeGroupEntry("\\G1", "alpha", 1, 0); }}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace

namespace {

class CountFailures : public qvptest::NodeGroupStore {};

// A count whose walk fails part way answers -1, never the part it had counted.
TEST_F(CountFailures, ContinuedCountFailingGivesMinusOne) {
    AddHostNode("alpha", QVAPI_NODE_CLIENT);
    AddHostNode("beta", QVAPI_NODE_CLIENT);
    AddHostNode("boss", QVAPI_NODE_MASTER);
    ASSERT_EQ(qvAPIGetTotalNumberSystemDefinition(), 3);
    ASSERT_EQ(qvAPICountNodeDefinition(), 3);
    const struct {
        const char* what;
        int (*count)();
    } cases[] = {{"total", &qvAPIGetTotalNumberSystemDefinition},
                 {"count", &qvAPICountNodeDefinition}};
    for (const auto& c : cases) {
        win::fault::Watch("NODEDEF");
        ASSERT_GT(c.count(), 0);
        const unsigned calls = win::fault::Calls(Call::FindNextFile);
        win::fault::Reset();
        ASSERT_GT(calls, 1u) << c.what;
        for (unsigned step = 1; step <= calls; ++step) {
            win::fault::Watch("NODEDEF");
            win::fault::FailNth(Call::FindNextFile, step, win::ERROR_ACCESS_DENIED);
            EXPECT_EQ(c.count(), -1) << c.what << " #" << step;
            EXPECT_EQ(qvAPIGetLastError(), QVAPI_ERR_RESOURCE) << c.what << " #" << step;
            win::fault::Reset();
        }
    }
}

}  // namespace

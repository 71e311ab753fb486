// A JobGen commit or rename killed at any one of its store steps leaves the JobGen old-whole or
// new-whole under exactly one name, and the next open puts right what the dead writer left
// beside it.
#include <optional>

#include "jobgen_env.h"
#include "support/kill_steps.h"

namespace qvptest {
namespace {

enum class Writer { Commit, CommitRenamed, Rename };
struct KillCase {
    const char* name;
    Writer writer;
};
void PrintTo(const KillCase& c, std::ostream* out) { *out << c.name; }

// What a stored JobGen holds: its header name and its node names in order.
struct Held {
    std::string name;
    std::vector<std::string> nodes;
    bool operator==(const Held&) const = default;
};

const std::vector<std::string> kOldNodes = {"n0", "n1", "n2"};
const std::vector<std::string> kNewNodes = {"n0", "n1", "n2", "n3", "n4", "n5"};

class JobGenKill : public JobGenTest, public ::testing::WithParamInterface<KillCase> {
protected:
    void SetUp() override {
        JobGenTest::SetUp();
        win::fault::SkipPauses(true);
    }
    void TearDown() override {
        win::fault::SkipPauses(false);
        JobGenTest::TearDown();
    }

    void AddNodes(QVPAPI_HANDLE h, size_t from, size_t to) {
        for (size_t i = from; i < to; ++i)
            ASSERT_EQ(qvAPICreateClientJobGen(h, kNewNodes[i].c_str(), QVAPI_JOBGEN_AS_GIVEN, 0), 1) << Hex(qvAPIGetLastError());
    }
    // A stored JobGen "J" of three nodes and one package, nothing else in the store.
    void Prepare() {
        fs::remove_all(Store());
        fs::create_directories(Store());
        QVPAPI_HANDLE h = Open("", "J");
        AddNodes(h, 0, 3);
        ASSERT_EQ(qvAPICreatePackageJobGen(h, 'C', "01", "pkgA", "1", "0001", 0, 0), 1) << Hex(qvAPIGetLastError());
        ASSERT_EQ(qvAPICloseJobGen(h, 0), 1) << Hex(qvAPIGetLastError());
    }
    // In the child: three nodes more (and a new name), or the stored rename.
    static void Write(Writer writer) {
        if (writer == Writer::Rename) {
            qvAPIChangeJobGen("", "J", "K");
            return;
        }
        QVPAPI_HANDLE h = qvAPICreateJobGen("", "J", 0, 0, 0);
        for (size_t i = 3; i < kNewNodes.size(); ++i) qvAPICreateClientJobGen(h, kNewNodes[i].c_str(), QVAPI_JOBGEN_AS_GIVEN, 0);
        if (writer == Writer::CommitRenamed) qvAPIChangeNameJobGen(h, "", "K");
        qvAPICloseJobGen(h, 0);
    }
    // Opened again through the library (which puts right what a killed writer left) and
    // discarded: the JobGen under `name`, or nothing when there is none.
    std::optional<Held> Reopened(const char* name) {
        QVPAPI_HANDLE h = qvAPICreateJobGen("", name, 0, 0, 0);
        EXPECT_EQ(h, static_cast<QVPAPI_HANDLE>(block_)) << name << " " << Hex(qvAPIGetLastError());
        EXPECT_EQ(qvAPIGetLastError(), 0u) << name;
        if (h == QVPAPI_INVALID_HANDLE) return std::nullopt;
        EXPECT_EQ(qvAPICloseJobGen(h, 1), 1);
        if (!fs::exists(Store() / name)) return std::nullopt;
        const auto bytes = Bytes(Store() / name / "jobgenfile");
        if (bytes.size() < sizeof(JobGenHeader)) return Held{"(torn)", {}};
        JobGenHeader header{};
        std::memcpy(&header, bytes.data(), sizeof header);
        Held held{qvp::jobgen::FieldText(header.name, sizeof header.name), {}};
        if (bytes.size() != sizeof header + header.entryCount * sizeof(JobGenEntry)) return Held{"(torn)", {}};
        for (uint32_t i = 0; i < header.entryCount; ++i) {
            JobGenEntry entry{};
            std::memcpy(&entry, bytes.data() + sizeof header + i * sizeof entry, sizeof entry);
            held.nodes.push_back(qvp::jobgen::FieldText(entry.node, sizeof entry.node));
        }
        return held;
    }
};

TEST_P(JobGenKill, EveryStepLeavesOneWholeJobGen) {
    const Writer writer = GetParam().writer;
    const bool renames = writer != Writer::Commit;
    const Held before{"J", kOldNodes};
    const Held after{renames ? "K" : "J", writer == Writer::Rename ? kOldNodes : kNewNodes};
    unsigned oldSeen = 0, newSeen = 0;
    const unsigned steps = WalkKillSteps(
        [&] { Prepare(); }, [&] { Write(writer); },
        [&](unsigned step, bool completed) {
            SCOPED_TRACE("killed at store call " + std::to_string(step) + (completed ? " (completed)" : ""));
            const std::optional<Held> j = Reopened("J");
            const std::optional<Held> k = Reopened("K");
            ASSERT_NE(j.has_value(), k.has_value()) << "one JobGen, under one name";
            const Held& found = j ? *j : *k;
            EXPECT_EQ(found.name, j ? "J" : "K") << "what it holds says its name";
            if (found == before) {
                ++oldSeen;
            } else if (found == after) {
                ++newSeen;
            } else {
                ADD_FAILURE() << "neither old nor new: " << found.name << " with " << found.nodes.size() << " entries";
            }
            if (completed) {
                EXPECT_EQ(found, after);
            }
            // Nothing but the JobGen is left in the store once it was opened again.
            std::vector<std::string> listed;
            for (const auto& e : fs::directory_iterator(Store())) listed.push_back(e.path().filename().string());
            EXPECT_EQ(listed, std::vector<std::string>{found.name});
        },
        "MNGFL");
    EXPECT_GT(oldSeen, 0u);
    EXPECT_GT(newSeen, 0u);
    EXPECT_EQ(oldSeen + newSeen, steps);
}

INSTANTIATE_TEST_SUITE_P(Writers, JobGenKill,
                         ::testing::Values(KillCase{"Commit", Writer::Commit},
                                           KillCase{"CommitRenamed", Writer::CommitRenamed},
                                           KillCase{"Rename", Writer::Rename}),
                         [](const auto& info) { return std::string(info.param.name); });

// The listing passes over what a killed commit left beside a JobGen, and the next open of that
// JobGen removes it.
TEST_F(JobGenTest, ListingPassesOverAKilledCommitsLeftovers) {
    MakeStored("", "J");
    const std::string stored = (Store() / "J").string();
    fs::create_directories(qvp::jobgen::CommitLeftover(stored, false));
    fs::copy(Store() / "J", qvp::jobgen::CommitLeftover(stored, true));
    QVAPI_JOBGEN rec{};
    QVPAPI_HANDLE f = qvAPIFindFirstJobGen("", &rec);
    ASSERT_EQ(f, static_cast<QVPAPI_HANDLE>(block_)) << Hex(qvAPIGetLastError());
    EXPECT_STREQ(rec.szName, "J");
    EXPECT_EQ(qvAPIFindNextJobGen(f, &rec), 0);
    EXPECT_EQ(qvAPIGetLastError(), QVAPI_ERR_NO_MORE_ITEMS);
    EXPECT_EQ(qvAPIFindCloseJobGen(f), 1);
    ASSERT_EQ(qvAPICloseJobGen(Open("", "J"), 1), 1);
    EXPECT_EQ(Snapshot(Store()).size(), Snapshot(Store() / "J").size() + 1);
}

}  // namespace
}  // namespace qvptest

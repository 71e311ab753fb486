// A JobGen commit or rename killed at any store call leaves it whole, old or new, under one name;
// the listing passes over what the dead writer left, and the next open clears it.
#include "jobgen_env.h"
#include "support/kill_steps.h"

namespace qvptest {
namespace {

using qvp::jobgen::FieldText;

// What the JobGen listing shows, each name followed by a space.
std::string ListedJobGens() {
    QVAPI_JOBGEN rec{};
    std::string names;
    const QVPAPI_HANDLE f = qvAPIFindFirstJobGen("", &rec);
    for (int more = f != QVPAPI_INVALID_HANDLE; more; more = qvAPIFindNextJobGen(f, &rec))
        names += rec.szName + std::string(" ");
    if (f != QVPAPI_INVALID_HANDLE) qvAPIFindCloseJobGen(f);
    return names;
}

// Opens "J", adds nodes n<from>..n<to - 1>, renames it to `rename` if given, and commits.
bool Write(int from, int to, const char* rename = nullptr) {
    QVPAPI_HANDLE h = qvAPICreateJobGen("", "J", from == 0 ? 'D' : 0, 0, 0);
    for (int i = from; i < to; ++i)
        qvAPICreateClientJobGen(h, ("n" + std::to_string(i)).c_str(), QVAPI_JOBGEN_AS_GIVEN, 0);
    if (from == 0) qvAPICreatePackageJobGen(h, 'C', "01", "pkgA", "1", "0001", 0, 0);
    if (rename) qvAPIChangeNameJobGen(h, "", rename);
    return qvAPICloseJobGen(h, 0) == 1;
}

class JobGenKill : public JobGenTest, public ::testing::WithParamInterface<const char*> {
protected:
    // Once the library opened (so put right) and discarded the JobGen `name`: "" when there is
    // none, else "<folder>:<header name> <node>..." ("<folder>:(torn)" when not whole).
    std::string Reopened(const char* name) {
        QVPAPI_HANDLE h = qvAPICreateJobGen("", name, 0, 0, 0);
        EXPECT_NE(h, QVPAPI_INVALID_HANDLE) << name << " " << Hex(qvAPIGetLastError());
        if (h == QVPAPI_INVALID_HANDLE || qvAPICloseJobGen(h, 1) != 1 || !fs::exists(Store() / name)) return "";
        const auto bytes = Bytes(Store() / name / "jobgenfile");
        JobGenHeader header{};
        if (bytes.size() >= sizeof header) std::memcpy(&header, bytes.data(), sizeof header);
        std::string held = name + std::string(":");
        if (bytes.size() != sizeof header + header.entryCount * sizeof(JobGenEntry)) return held + "(torn)";
        held += FieldText(header.name, sizeof header.name);
        for (uint32_t i = 0; i < header.entryCount; ++i) {
            JobGenEntry entry{};
            std::memcpy(&entry, bytes.data() + sizeof header + i * sizeof entry, sizeof entry);
            held += " " + FieldText(entry.node, sizeof entry.node);
        }
        return held;
    }
};

TEST_P(JobGenKill, EveryStepLeavesOneWholeJobGen) {
    const std::string writer = GetParam();
    const std::string after = writer == "Commit"   ? "J:J n0 n1 n2 n3 n4 n5"
                              : writer == "Rename" ? "K:K n0 n1 n2"
                                                   : "K:K n0 n1 n2 n3 n4 n5";
    const auto prepare = [&] {
        fs::remove_all(Store());
        fs::create_directories(Store());
        ASSERT_TRUE(Write(0, 3)) << Hex(qvAPIGetLastError());
    };
    const auto body = [&] {
        if (writer == "Rename")
            qvAPIChangeJobGen("", "J", "K");
        else
            Write(3, 6, writer == "CommitRenamed" ? "K" : nullptr);
    };
    win::fault::SkipPauses(true);
    WalkKillSteps(prepare, body, [&](unsigned step, bool completed) {
        SCOPED_TRACE("killed at store call " + std::to_string(step) + (completed ? " (completed)" : ""));
        const std::string listed = ListedJobGens();  // passing over what the dead writer left
        const std::string j = Reopened("J"), k = Reopened("K");
        ASSERT_NE(j.empty(), k.empty()) << "one JobGen, under one name: " << j << k;
        EXPECT_TRUE(j + k == after || (!completed && j + k == "J:J n0 n1 n2")) << j + k;
        const std::string name = j.empty() ? "K" : "J";
        EXPECT_TRUE(listed == name + " " || (!completed && listed.empty())) << listed;
        std::vector<std::string> left;
        for (const auto& e : fs::directory_iterator(Store())) left.push_back(e.path().filename().string());
        EXPECT_EQ(left, std::vector<std::string>{name}) << "nothing else left";
    }, "MNGFL");
    win::fault::SkipPauses(false);
}

INSTANTIATE_TEST_SUITE_P(Writers, JobGenKill, ::testing::Values("Commit", "CommitRenamed", "Rename"),
                         [](const auto& info) { return std::string(info.param); });

}  // namespace
}  // namespace qvptest

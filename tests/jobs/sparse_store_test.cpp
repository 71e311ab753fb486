// A store the library wrote reads the same after a copy tool turned its runs of zeros into holes
// (`fallocate --dig-holes`, as `cp --sparse=always` or a restore from a backup does): every read,
// walk and writer answers exactly as on the original. Many valid files end in a partial block of
// zeros (the last entry's empty fields, the padding of the last back-link): a group of 57 or 114
// members, an attribution file of 13 or 28 back-links, a jobgenfile of 3 entries among those below.
#include <cstdio>
#include <cstdlib>
#include <set>
#include <string>
#include <vector>

#include "jobgen/jobgen_sim_env.h"
#include "support/child_memory.h"

namespace qvptest {
namespace {

constexpr int kGroupSizes[] = {57, 114};    // nodegroupfile of 32 + 144 x n bytes
constexpr int kBackLinks[] = {13, 28};      // nodeattributionfile of 960 + 260 x n bytes
constexpr int kJobGenSizes[] = {3, 10, 13}; // jobgenfile of 256 + 1284 x n bytes

std::string Numbered(const char* prefix, int n) {
    char name[16];
    std::snprintf(name, sizeof name, "%s%03d", prefix, n);
    return name;
}

// Runs a shell command given a minute at most; whether it ended well.
bool RunBounded(const std::string& command) { return std::system(("timeout -s KILL 60 " + command).c_str()) == 0; }

// Every file below `dir` (or `dir` itself, a file) with its blocks of zeros made holes.
bool DigHoles(const fs::path& dir) {
    return RunBounded("find '" + dir.string() + "' -type f -print0 | xargs -0 -n 1 -P 4 fallocate --dig-holes");
}

// Whether a file of zeros, written, keeps holes once dug (tmpfs and ext4 do).
bool KeepsHoles(const fs::path& dir) {
    const fs::path probe = dir / "hole-probe";
    const bool planted = PlantSparseAt(probe, 0, std::string(64 * 1024, '\0') + "x", 64 * 1024 + 1);
    const bool kept = planted && DigHoles(probe) && DiskBytes(probe) < 64 * 1024;
    fs::remove(probe);
    return kept;
}

class SparseStoreTest : public JobGenSimTest {
protected:
    fs::path Mngfl() const { return Data() / "SERVER/ZARNQV/MNGFL"; }

    // Clients c001.. in groups of kGroupSizes members, x013 and x028 in as many groups, JobGens
    // of kJobGenSizes clients, one JobGen of a group and its job: all through the library.
    void Build() {
        QVAPI_NODE base{};
        ASSERT_EQ(qvAPIGetClientDefinitionByName("pc1", &base), 1) << Hex(qvAPIGetLastError());
        std::vector<std::string> clients;
        for (int i = 1; i <= kGroupSizes[1]; ++i) clients.push_back(Numbered("c", i));
        for (const int links : kBackLinks) clients.push_back(Numbered("x", links));
        for (const std::string& name : clients) {
            QVAPI_NODE node = base;
            std::snprintf(node.ucNodeName, sizeof node.ucNodeName, "%s", name.c_str());
            std::memset(&node.stUpdateTime, 0, sizeof node.stUpdateTime);
            ASSERT_EQ(qvAPICreateClientDefinition(name.c_str(), &node, 0), 1) << name << Hex(qvAPIGetLastError());
        }
        for (const int size : kGroupSizes) {
            const std::string group = Numbered("\\g", size);
            store_->AddGroup(group);
            for (int i = 1; i <= size; ++i) ASSERT_EQ(qvAPICreateClient(group.c_str(), clients[i - 1].c_str(), 0, 0), 1);
        }
        for (const int links : kBackLinks)
            for (int i = 1; i <= links; ++i) {
                const std::string group = Numbered("\\b", i);
                if (!fs::exists(store_->GroupFilePath(group).parent_path())) store_->AddGroup(group);
                ASSERT_EQ(qvAPICreateClient(group.c_str(), Numbered("x", links).c_str(), 0, 0), 1);
            }
        ASSERT_EQ(qvAPICreateFolderJobGen(nullptr, "F", 0, 0), 1);
        for (const int size : kJobGenSizes) {
            QVPAPI_HANDLE h = Open("\\F", Numbered("E", size).c_str(), 'V');
            for (int i = 1; i <= size; ++i)
                ASSERT_EQ(qvAPICreateClientJobGen(h, ("\\mst1\\" + clients[i - 1]).c_str(), 0, 0), 1) << Hex(qvAPIGetLastError());
            ASSERT_EQ(qvAPICloseJobGen(h, 0), 1) << Hex(qvAPIGetLastError());
        }
        QVPAPI_HANDLE h = Open("\\F", "G", 'V');
        ASSERT_EQ(qvAPICreateNodeGroupJobGen(h, Numbered("\\g", kGroupSizes[0]).c_str(), 0, 0), 1) << Hex(qvAPIGetLastError());
        ASSERT_EQ(qvAPICloseJobGen(h, 0), 1) << Hex(qvAPIGetLastError());
        QVAPI_JOB job{};
        ASSERT_EQ(qvAPICreateJobEx("\\F", "G", &job, JOBGEN_NORMAL, 0, nullptr), 1) << Hex(qvAPIGetLastError());
        jobPath_ = "\\F\\" + std::string(job.szJobNo, 16);
    }

    // What every reader, walk and writer answers on the store as it stands, one line each.
    std::vector<std::string> Answers() {
        std::vector<std::string> out;
        const auto line = [&](std::string text) { out.push_back(text + " -> " + Hex(qvAPIGetLastError())); };
        const auto walk = [&](const std::string& group) {
            std::string names;
            QVAPI_NODE node{};
            QVPAPI_HANDLE h = qvAPIFindFirstNode(group.c_str(), &node, 0, 0);
            for (bool more = h != QVPAPI_INVALID_HANDLE; more; more = qvAPIFindNextNode(h, &node, 0, 0) == 1)
                names += std::string(node.ucNodeName) + " ";
            line("walk " + group + ": " + names);
            if (h != QVPAPI_INVALID_HANDLE) qvAPIFindCloseNode(h, 0, 0);
        };
        for (const int size : kGroupSizes) walk(Numbered("\\g", size));
        walk("\\b001");
        for (const int size : kJobGenSizes) {
            QVPAPI_HANDLE h = qvAPICreateJobGen("\\F", Numbered("E", size).c_str(), 0, 0, 0);
            std::string names;
            QVAPI_JOBGEN_NODE node{};
            QVPAPI_HANDLE find = h == QVPAPI_INVALID_HANDLE ? h : qvAPIFindFirstNodeJobGen(h, &node, 0, 0);
            for (bool more = find != QVPAPI_INVALID_HANDLE; more; more = qvAPIFindNextNodeJobGen(find, &node, 0, 0) == 1)
                names += std::string(node.szNodeName) + " ";
            line("JobGen " + Numbered("E", size) + (h == QVPAPI_INVALID_HANDLE ? " unopened" : " entries ") + names);
            if (find != QVPAPI_INVALID_HANDLE) qvAPIFindCloseNodeJobGen(find, 0, 0);
            if (h != QVPAPI_INVALID_HANDLE) qvAPICloseJobGen(h, 1);
        }
        QVAPI_NODE_JOB count{};
        line("job count " + std::to_string(qvAPIGetJobCountNode(block_, jobPath_.c_str(), "mst1.c001", &count)));
        // The writers, then the bytes they leave.
        const std::string g57 = Numbered("\\g", kGroupSizes[0]);
        line("add " + std::to_string(qvAPICreateClient(g57.c_str(), "c100", 0, 0)));
        line("remove " + std::to_string(qvAPIDeleteClient(g57.c_str(), "c001", 0, 0)));
        for (const int links : kBackLinks)
            line("delete " + std::to_string(qvAPIDeleteClientDefinition(Numbered("x", links).c_str(), 0, nullptr)));
        walk("\\b001");
        QVAPI_JOB job{};
        line("job " + std::to_string(qvAPICreateJobEx("\\F", "G", &job, JOBGEN_NORMAL, 0, nullptr)));
        line("sent " + (jobs_->Puts().empty() ? std::string() : jobs_->Puts().back().jobGenFile));
        for (const char* tree : {"NODEGROUP", "NODEDEF", "JOBGEN"})
            for (const auto& [name, bytes] : Snapshot(Mngfl() / tree)) out.push_back(std::string(tree) + "/" + name + " " + bytes);
        return out;
    }

    std::string jobPath_;
};

TEST_F(SparseStoreTest, EveryCallAnswersAsOnTheOriginal) {
    if (!KeepsHoles(root_)) GTEST_SKIP() << "the file system of " << root_ << " keeps no holes (or fallocate is missing)";
    ASSERT_NO_FATAL_FAILURE(Build());
    const fs::path kept = root_ / "original";
    ASSERT_TRUE(RunBounded("cp -a '" + Mngfl().string() + "' '" + kept.string() + "'"));
    const std::vector<std::string> original = Answers();

    fs::remove_all(Mngfl());
    ASSERT_TRUE(RunBounded("cp -a '" + kept.string() + "' '" + Mngfl().string() + "'"));
    ASSERT_TRUE(DigHoles(Mngfl()));
    // The sizes that matter really hold a hole now: a group of 57 members, an attribution file
    // of 13 back-links, a jobgenfile of 3 entries.
    std::set<uintmax_t> holed;
    for (const auto& e : fs::recursive_directory_iterator(Mngfl()))
        if (e.is_regular_file() && DiskBytes(e.path()) < e.file_size()) holed.insert(e.file_size());
    for (const uintmax_t size : {32 + 144 * 57, 960 + 260 * 13, 256 + 1284 * 3}) EXPECT_TRUE(holed.count(size)) << size;
    const std::vector<std::string> sparse = Answers();
    ASSERT_EQ(sparse.size(), original.size());
    for (size_t i = 0; i < sparse.size(); ++i) EXPECT_EQ(sparse[i], original[i]);
}

}  // namespace
}  // namespace qvptest

// Removing a tree of 100,000 files (100 folders of 1,000) below the install root: the library's
// remover by handle (win::RemoveTree, and gaiCOMDirectoryDeleteAll over it) against `rm -rf` of
// the same tree. The tree is made afresh, untimed, before every removal. Prints the ratios.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>

#include "core/fileutil.h"
#include "platform/win.h"

extern char** environ;

namespace {

constexpr int kFolders = 100;
constexpr int kFilesPerFolder = 1000;
constexpr int kFiles = kFolders * kFilesPerFolder;
std::string gTree;        // POSIX path of the tree
const char* const kTreePath = "C:\\ZARNQVP\\TREE";

bool MakeTree() {
    if (mkdir(gTree.c_str(), 0755) != 0) return false;
    for (int d = 0; d < kFolders; ++d) {
        const std::string folder = gTree + "/D" + std::to_string(d);
        if (mkdir(folder.c_str(), 0755) != 0) return false;
        const int dirFd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (dirFd < 0) return false;
        for (int f = 0; f < kFilesPerFolder; ++f) {
            char name[32];
            snprintf(name, sizeof name, "F%06d.DAT", f);
            const int fd = openat(dirFd, name, O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
            if (fd < 0) return false;
            close(fd);
        }
        close(dirFd);
    }
    return true;
}

// Times `remove` on a fresh tree each iteration; the tree must be gone after it.
template <class Remove>
void TimeRemoval(benchmark::State& state, Remove remove) {
    for (auto _ : state) {
        state.PauseTiming();
        if (!MakeTree()) {
            state.SkipWithError("tree");
            return;
        }
        state.ResumeTiming();
        if (!remove()) state.SkipWithError("remove failed");
        state.PauseTiming();
        if (access(gTree.c_str(), F_OK) == 0) state.SkipWithError("tree left");
        state.ResumeTiming();
    }
    state.SetItemsProcessed(state.iterations() * kFiles);
}

void BM_RmRf(benchmark::State& state) {
    TimeRemoval(state, [] {
        const char* argv[] = {"rm", "-rf", gTree.c_str(), nullptr};
        pid_t pid = 0;
        if (posix_spawnp(&pid, "rm", nullptr, nullptr, const_cast<char**>(argv), environ) != 0) return false;
        int status = 0;
        return waitpid(pid, &status, 0) == pid && WIFEXITED(status) && WEXITSTATUS(status) == 0;
    });
}

void BM_RemoveTree(benchmark::State& state) {
    TimeRemoval(state, [] { return win::RemoveTree(kTreePath, win::RemoveScope::Tree) != 0; });
}

void BM_DirectoryDeleteAll(benchmark::State& state) {
    TimeRemoval(state, [] { return gaiCOMDirectoryDeleteAll(kTreePath) == 0; });
}

// Making the tree costs far more than removing it: few iterations.
BENCHMARK(BM_RmRf)->Unit(benchmark::kMillisecond)->Iterations(2);
BENCHMARK(BM_RemoveTree)->Unit(benchmark::kMillisecond)->Iterations(2);
BENCHMARK(BM_DirectoryDeleteAll)->Unit(benchmark::kMillisecond)->Iterations(2);

class RatioReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& run : runs) millis[run.benchmark_name()] = run.GetAdjustedRealTime();
    }
    std::map<std::string, double> millis;
};

}  // namespace

int main(int argc, char** argv) {
    char tmpl[] = "/tmp/qvp-bench-remove-XXXXXX";
    if (!mkdtemp(tmpl)) return 1;
    const std::string root = tmpl;
    const std::string drive = root + "/c";
    std::filesystem::create_directories(drive + "/ZARNQVP");
    gTree = drive + "/ZARNQVP/TREE";
    std::ofstream(root + "/qvpapi.conf") << "[Platform]\nDriveC=" << drive << "\nRunDir=" << root << "/run\n";
    win::registry::LoadFrom(root + "/qvpapi.conf");

    benchmark::Initialize(&argc, argv);
    RatioReporter r;
    benchmark::RunSpecifiedBenchmarks(&r);
    benchmark::Shutdown();
    auto& t = r.millis;
    const double rm = t["BM_RmRf/iterations:2"];
    if (rm > 0) {
        printf("\n100,000 files: win::RemoveTree / rm -rf: %.2fx (%.0f ms vs %.0f ms)\n",
               t["BM_RemoveTree/iterations:2"] / rm, t["BM_RemoveTree/iterations:2"], rm);
        printf("100,000 files: gaiCOMDirectoryDeleteAll / rm -rf: %.2fx (%.0f ms)\n",
               t["BM_DirectoryDeleteAll/iterations:2"] / rm, t["BM_DirectoryDeleteAll/iterations:2"]);
    }
    std::filesystem::remove_all(root);
    return 0;
}

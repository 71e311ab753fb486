// A directory of 100,000 entries: the FindFirstFile/FindNextFile walk against readdir and
// against readdir with a stat of every entry (what a POSIX program needs for the same find
// data); the walk of names and kinds (FindFirstFileNames) against readdir (goal: at most 2x);
// a case-insensitive miss (a name in no spelling) and a case-insensitive hit against a plain
// stat miss. Prints the ratios side by side.
#include <benchmark/benchmark.h>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>

#include "platform/win.h"

namespace {

constexpr int kEntries = 100000;
std::string gRoot;
std::string gDir;

void BM_Readdir(benchmark::State& state) {
    for (auto _ : state) {
        DIR* d = opendir(gDir.c_str());
        size_t n = 0;
        while (readdir(d)) ++n;
        closedir(d);
        benchmark::DoNotOptimize(n);
    }
    state.SetItemsProcessed(state.iterations() * kEntries);
}

void BM_ReaddirStat(benchmark::State& state) {
    for (auto _ : state) {
        DIR* d = opendir(gDir.c_str());
        const int fd = dirfd(d);
        size_t bytes = 0;
        while (dirent* e = readdir(d)) {
            struct stat st{};
            if (fstatat(fd, e->d_name, &st, AT_SYMLINK_NOFOLLOW) == 0) bytes += size_t(st.st_size);
        }
        closedir(d);
        benchmark::DoNotOptimize(bytes);
    }
    state.SetItemsProcessed(state.iterations() * kEntries);
}

void Walk(benchmark::State& state, win::HANDLE (*first)(const char*, win::WIN32_FIND_DATAA*)) {
    for (auto _ : state) {
        win::WIN32_FIND_DATAA fd{};
        win::HANDLE h = first("C:\\big\\*.*", &fd);
        size_t n = 0;
        if (h == win::INVALID_HANDLE_VALUE) state.SkipWithError("FindFirstFile");
        do ++n;
        while (win::FindNextFile(h, &fd));
        win::FindClose(h);
        if (n != kEntries + 2) state.SkipWithError("count");
    }
    state.SetItemsProcessed(state.iterations() * kEntries);
}

void BM_FindFirstFileWalk(benchmark::State& state) { Walk(state, win::FindFirstFile); }
// The walk of callers that need names and kinds only (counting definitions).
void BM_FindFirstFileNamesWalk(benchmark::State& state) { Walk(state, win::FindFirstFileNames); }

void BM_PlainStatMiss(benchmark::State& state) {
    const std::string missing = gDir + "/NOSUCH.DAT";
    for (auto _ : state) {
        struct stat st{};
        benchmark::DoNotOptimize(stat(missing.c_str(), &st));
    }
}

void BM_CaseInsensitiveMiss(benchmark::State& state) {
    for (auto _ : state) {
        if (win::GetFileAttributes("C:\\big\\NoSuch.dat") != win::INVALID_FILE_ATTRIBUTES) state.SkipWithError("found");
    }
}

void BM_CaseInsensitiveHit(benchmark::State& state) {
    for (auto _ : state) {
        if (win::GetFileAttributes("C:\\BIG\\C.HOST054321") == win::INVALID_FILE_ATTRIBUTES) state.SkipWithError("missing");
    }
}

void BM_ExactHit(benchmark::State& state) {
    for (auto _ : state) {
        if (win::GetFileAttributes("C:\\big\\c.host054321") == win::INVALID_FILE_ATTRIBUTES) state.SkipWithError("missing");
    }
}

BENCHMARK(BM_Readdir)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReaddirStat)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FindFirstFileWalk)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FindFirstFileNamesWalk)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PlainStatMiss);
BENCHMARK(BM_CaseInsensitiveMiss);
BENCHMARK(BM_CaseInsensitiveHit);
BENCHMARK(BM_ExactHit);

class RatioReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& run : runs) nanos[run.benchmark_name()] = run.GetAdjustedRealTime();
    }
    std::map<std::string, double> nanos;  // in each benchmark's own unit
};

}  // namespace

int main(int argc, char** argv) {
    char tmpl[] = "/tmp/qvp-bench-walk-XXXXXX";
    if (!mkdtemp(tmpl)) return 1;
    gRoot = tmpl;
    const std::string drive = gRoot + "/c";
    gDir = drive + "/big";
    std::filesystem::create_directories(gDir);
    for (int i = 0; i < kEntries; ++i) {
        char name[32];
        snprintf(name, sizeof name, "/c.host%06d", i);
        const int fd = open((gDir + name).c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
        if (fd < 0) return 1;
        close(fd);
    }
    std::ofstream(gRoot + "/qvpapi.conf") << "[Platform]\nDriveC=" << drive << "\nRunDir=" << gRoot << "/run\n";
    win::registry::LoadFrom(gRoot + "/qvpapi.conf");

    benchmark::Initialize(&argc, argv);
    RatioReporter r;
    benchmark::RunSpecifiedBenchmarks(&r);
    benchmark::Shutdown();
    auto& t = r.nanos;
    if (t["BM_Readdir"] > 0 && t["BM_PlainStatMiss"] > 0) {
        printf("\n100,000 entries: FindFirstFile walk / readdir: %.2fx (%.1f ms vs %.1f ms; goal <= 3x)\n",
               t["BM_FindFirstFileWalk"] / t["BM_Readdir"], t["BM_FindFirstFileWalk"], t["BM_Readdir"]);
        printf("100,000 entries: FindFirstFile walk / readdir + fstatat: %.2fx (%.1f ms)\n",
               t["BM_FindFirstFileWalk"] / t["BM_ReaddirStat"], t["BM_ReaddirStat"]);
        printf("100,000 entries: FindFirstFileNames walk (names and kinds) / readdir: %.2fx (%.1f ms; goal <= 2x)\n",
               t["BM_FindFirstFileNamesWalk"] / t["BM_Readdir"], t["BM_FindFirstFileNamesWalk"]);
        printf("case-insensitive miss / plain stat miss: %.2fx (%.0f ns vs %.0f ns)\n",
               t["BM_CaseInsensitiveMiss"] / t["BM_PlainStatMiss"], t["BM_CaseInsensitiveMiss"], t["BM_PlainStatMiss"]);
        printf("case-insensitive hit / exact hit: %.2fx (%.0f ns vs %.0f ns)\n",
               t["BM_CaseInsensitiveHit"] / t["BM_ExactHit"], t["BM_CaseInsensitiveHit"], t["BM_ExactHit"]);
    }
    std::filesystem::remove_all(gRoot);
    return 0;
}

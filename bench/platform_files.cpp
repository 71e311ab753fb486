// Open + close of an existing file through the layer (path translation, share-mode markers,
// handle table) against plain open + close of the same file, in one run; prints the ratio
// (goal: at most 4x).
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>

#include "platform/win.h"

namespace {

std::string gRoot;
std::string gPosix;

void BM_PlainOpenClose(benchmark::State& state) {
    for (auto _ : state) {
        const int fd = open(gPosix.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd < 0) state.SkipWithError("open");
        close(fd);
    }
}

void BM_LayerOpenClose(benchmark::State& state) {
    for (auto _ : state) {
        win::HANDLE h = win::CreateFile("C:\\ZARNQVP\\SERVER\\ZARNQV\\MNGFL\\NODEDEF\\C.host0001", win::GENERIC_READ,
                                        win::FILE_SHARE_READ, nullptr, win::OPEN_EXISTING, 0, nullptr);
        if (h == win::INVALID_HANDLE_VALUE) state.SkipWithError("CreateFile");
        win::CloseHandle(h);
    }
}

void BM_LayerOpenCloseExclusive(benchmark::State& state) {
    for (auto _ : state) {
        win::HANDLE h = win::CreateFile("C:\\ZARNQVP\\SERVER\\ZARNQV\\MNGFL\\NODEDEF\\C.host0001",
                                        win::GENERIC_READ | win::GENERIC_WRITE, 0, nullptr, win::OPEN_EXISTING, 0,
                                        nullptr);
        if (h == win::INVALID_HANDLE_VALUE) state.SkipWithError("CreateFile");
        win::CloseHandle(h);
    }
}

BENCHMARK(BM_PlainOpenClose);
BENCHMARK(BM_LayerOpenClose);
BENCHMARK(BM_LayerOpenCloseExclusive);

class RatioReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& run : runs) nanos[run.benchmark_name()] = run.GetAdjustedRealTime();
    }
    std::map<std::string, double> nanos;
};

}  // namespace

int main(int argc, char** argv) {
    char tmpl[] = "/tmp/qvp-bench-files-XXXXXX";
    if (!mkdtemp(tmpl)) return 1;
    gRoot = tmpl;
    const std::string drive = gRoot + "/c";
    const std::string dir = drive + "/ZARNQVP/SERVER/ZARNQV/MNGFL/NODEDEF";
    std::filesystem::create_directories(dir);
    gPosix = dir + "/C.host0001";
    std::ofstream(gPosix) << std::string(1652, 'n');
    std::ofstream(gRoot + "/qvpapi.conf") << "[Platform]\nDriveC=" << drive << "\nRunDir=" << gRoot << "/run\n";
    win::registry::LoadFrom(gRoot + "/qvpapi.conf");

    benchmark::Initialize(&argc, argv);
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    const double plain = reporter.nanos["BM_PlainOpenClose"];
    if (plain > 0) {
        printf("\nopen+close, layer (shared read) / plain open+close: %.2fx (%.0f ns vs %.0f ns; goal <= 4x)\n",
               reporter.nanos["BM_LayerOpenClose"] / plain, reporter.nanos["BM_LayerOpenClose"], plain);
        printf("open+close, layer (exclusive read-write) / plain open+close: %.2fx (%.0f ns)\n",
               reporter.nanos["BM_LayerOpenCloseExclusive"] / plain, reporter.nanos["BM_LayerOpenCloseExclusive"]);
    }
    std::filesystem::remove_all(gRoot);
    return 0;
}

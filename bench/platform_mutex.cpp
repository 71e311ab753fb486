// Lock + unlock of a named mutex through the layer (WaitForSingleObject + ReleaseMutex, no
// other user) against a plain open-file-description lock + unlock of one byte of a file in the
// same directory; prints both and their ratio, from the medians of repetitions run in turns (so
// that a busy machine weighs on both alike).
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "platform/win.h"

namespace {

namespace fs = std::filesystem;

fs::path gRoot;
int gPlainFd = -1;

bool PlainLock(short type) {
    struct flock fl{};
    fl.l_type = type;
    fl.l_whence = SEEK_SET;
    fl.l_start = 0;
    fl.l_len = 1;
    return fcntl(gPlainFd, F_OFD_SETLK, &fl) == 0;
}

void BM_PlainOfdLockUnlock(benchmark::State& state) {
    for (auto _ : state) {
        if (!PlainLock(F_WRLCK) || !PlainLock(F_UNLCK)) state.SkipWithError("fcntl");
    }
}

void BM_LayerMutexLockUnlock(benchmark::State& state) {
    win::HANDLE m = win::CreateMutex(nullptr, win::FALSE, "QVPAPI.LOG.BENCH.LOG");
    if (m == nullptr) state.SkipWithError("CreateMutex");
    for (auto _ : state) {
        if (win::WaitForSingleObject(m, win::INFINITE) != win::WAIT_OBJECT_0 || !win::ReleaseMutex(m))
            state.SkipWithError("wait");
    }
    win::CloseHandle(m);
}

BENCHMARK(BM_PlainOfdLockUnlock)->Repetitions(15)->ReportAggregatesOnly(true);
BENCHMARK(BM_LayerMutexLockUnlock)->Repetitions(15)->ReportAggregatesOnly(true);

class RatioReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& run : runs)
            if (run.aggregate_name == "median") nanos[run.run_name.function_name] = run.GetAdjustedRealTime();
    }
    std::map<std::string, double> nanos;
};

}  // namespace

int main(int argc, char** argv) {
    gRoot = fs::temp_directory_path() / ("qvp-bench-mutex-" + std::to_string(getpid()));
    fs::create_directories(gRoot / "run");
    std::ofstream(gRoot / "qvpapi.conf") << "[Platform]\nRunDir=" << (gRoot / "run").string() << "\n";
    win::registry::LoadFrom((gRoot / "qvpapi.conf").string());
    gPlainFd = open((gRoot / "run" / "plain.lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (gPlainFd < 0) return 1;

    // Both in turns, so that a busy machine weighs on both alike.
    std::vector<char*> args(argv, argv + argc);
    char interleave[] = "--benchmark_enable_random_interleaving=true";
    args.insert(args.begin() + 1, interleave);
    int count = static_cast<int>(args.size());
    benchmark::Initialize(&count, args.data());
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    const double plain = reporter.nanos["BM_PlainOfdLockUnlock"];
    const double layer = reporter.nanos["BM_LayerMutexLockUnlock"];
    if (plain > 0 && layer > 0)
        std::printf("\nnamed mutex lock+unlock %.0f ns, plain OFD lock+unlock %.0f ns (medians), ratio %.2fx\n", layer,
                    plain, layer / plain);

    close(gPlainFd);
    fs::remove_all(gRoot);
    return 0;
}

// Committing a JobGen of 10,000 node entries (each entry file read, each entry appended under
// its lock, the header last), against writing the same jobgenfile bytes with one write(2).
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <vector>

#include "core/block.h"
#include "platform/win.h"
#include "qvpapi.h"
#include "support/node_store_builder.h"
#include "support/temp_root.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

double Seconds(Clock::time_point from) { return std::chrono::duration<double>(Clock::now() - from).count(); }

void BM_CommitNodeEntries(benchmark::State& state) {
    const int nodes = static_cast<int>(state.range(0));
    for (auto _ : state) {
        const fs::path root = qvptest::MakeTempRoot("qvp-bench-jobgen-");
        qvptest::WriteRootSettings(root);
        QVPAPI_HANDLE h = qvAPICreateJobGen("\\BENCH", "N", 'D', 0, 0);
        if (h == QVPAPI_INVALID_HANDLE) state.SkipWithError("open failed");
        for (int i = 0; i < nodes; ++i) {
            const std::string name = "node" + std::to_string(i);
            if (qvAPICreateClientJobGen(h, name.c_str(), 0x80000000u, 0) != 1) state.SkipWithError("entry failed");
        }
        if (qvAPICreatePackageJobGen(h, 'C', "01", "pkg", "1", "0001", 0, 0) != 1) state.SkipWithError("package failed");

        auto start = Clock::now();
        if (qvAPICloseJobGen(h, 0) != 1) state.SkipWithError("commit failed");
        const double library = Seconds(start);

        const fs::path file = root / "data/SERVER/ZARNQV/MNGFL/JOBGEN/BENCH/N/jobgenfile";
        const std::vector<uint8_t> bytes = qvptest::NodeStoreBuilder::ReadBytes(file);
        if (bytes.size() != 256 + 1284u * nodes) state.SkipWithError("wrong size");
        const std::string copy = (root / "reference").string();
        start = Clock::now();
        const int fd = ::open(copy.c_str(), O_CREAT | O_EXCL | O_WRONLY, 0644);
        if (fd < 0 || ::write(fd, bytes.data(), bytes.size()) != static_cast<ssize_t>(bytes.size()) || ::close(fd) != 0)
            state.SkipWithError("reference write failed");
        const double reference = Seconds(start);
        state.counters["library_s"] = library;
        state.counters["reference_s"] = reference;
        state.counters["ratio"] = reference > 0 ? library / reference : 0;
        fs::remove_all(root);
    }
}
BENCHMARK(BM_CommitNodeEntries)->Arg(10000)->Iterations(1)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();

// Sorting a soft-refer file of 100,000 records (fields 3 and 7 ascending, 8 descending, case
// ignored) in place, against GNU sort(1) ordering the same file by the same keys.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>

#include "core/block.h"
#include "qvpapi.h"
#include "support/temp_root.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

double Seconds(Clock::time_point from) { return std::chrono::duration<double>(Clock::now() - from).count(); }

void WriteList(const fs::path& path, int records) {
    std::mt19937 random(7);
    std::ofstream out(path, std::ios::binary);
    for (int i = 0; i < records; ++i) {
        out << "vendor" << random() % 500 << ";1;Product" << random() % 5000 << ";" << i << ";;;v" << random() % 20
            << ";" << random() % 100 << ";x\r\n";
    }
}

void BM_SortSoftRefer(benchmark::State& state) {
    const int records = static_cast<int>(state.range(0));
    for (auto _ : state) {
        const fs::path root = qvptest::MakeTempRoot("qvp-bench-soft-");
        qvptest::WriteRootSettings(root);
        qvpGetThreadBlock();
        const fs::path mine = root / "PB000000";
        const fs::path theirs = root / "reference";
        WriteList(mine, records);
        WriteList(theirs, records);

        auto start = Clock::now();
        if (qvAPIReCreateSortJobGen(mine.c_str(), 0, 0) != 1) state.SkipWithError("sort failed");
        const double library = Seconds(start);

        const std::string command = "LC_ALL=C sort -f -t';' -k3,3 -k7,7 -k8,8r -o '" + theirs.string() + ".out' '" +
                                    theirs.string() + "'";
        start = Clock::now();
        if (std::system(command.c_str()) != 0) state.SkipWithError("sort(1) failed");
        const double reference = Seconds(start);
        if (fs::file_size(mine) == 0) state.SkipWithError("empty result");
        state.counters["library_s"] = library;
        state.counters["reference_s"] = reference;
        state.counters["ratio"] = reference > 0 ? library / reference : 0;
        fs::remove_all(root);
    }
}
BENCHMARK(BM_SortSoftRefer)->Arg(100000)->Iterations(3)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();

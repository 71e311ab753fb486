// DLL.LOG throughput, 1 and 8 threads, against plain O_APPEND writes of records of the same
// size to a file in the same directory. Prints records per second of both and their ratio.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>

#include "core/log.h"
#include "platform/win.h"

namespace {

namespace fs = std::filesystem;

constexpr size_t kRecordSize = 1152;  // the default DLL.LOG record
constexpr uint64_t kTruncateEvery = 10000;  // like a generation of the default size
const char kMessage[] = "qvAPIGetNodeDefinition END : Code = 0";

fs::path gRoot;
int gLogId = 0;
int gPlainFd = -1;

void BM_DllLog(benchmark::State& state) {
    for (auto _ : state) qvpLogWrite(gLogId, kMessage, "dll");
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations()));
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kRecordSize));
}

void BM_PlainAppend(benchmark::State& state) {
    std::string record(kRecordSize, ' ');
    record.replace(71, sizeof kMessage - 1, kMessage);
    record[kRecordSize - 2] = '\r';
    record[kRecordSize - 1] = '\n';
    uint64_t n = 0;
    for (auto _ : state) {
        if (++n % kTruncateEvery == 0 && state.thread_index() == 0) {
            if (ftruncate(gPlainFd, 0) != 0) state.SkipWithError("ftruncate");
        }
        if (write(gPlainFd, record.data(), record.size()) != static_cast<ssize_t>(record.size())) {
            state.SkipWithError("write");
        }
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations()));
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kRecordSize));
}

BENCHMARK(BM_DllLog)->Threads(1)->Threads(8)->UseRealTime();
BENCHMARK(BM_PlainAppend)->Threads(1)->Threads(8)->UseRealTime();

// Keeps records per second by benchmark name for the ratio lines.
class RatioReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& run : runs) {
            auto it = run.counters.find("items_per_second");
            if (it != run.counters.end()) rates_[run.benchmark_name()] = it->second.value;
        }
    }
    void PrintRatios() const {
        for (const char* threads : {"threads:1", "threads:8"}) {
            const double lib = Rate("BM_DllLog", threads);
            const double ref = Rate("BM_PlainAppend", threads);
            if (lib > 0 && ref > 0) {
                std::printf("DLL.LOG %s: %.0f records/s, plain append %.0f records/s, ratio %.2f\n",
                            threads, lib, ref, ref / lib);
            }
        }
    }

private:
    double Rate(const std::string& name, const std::string& threads) const {
        for (const auto& [key, value] : rates_) {
            if (key.rfind(name + "/", 0) == 0 && key.find(threads) != std::string::npos) return value;
        }
        return 0;
    }
    std::map<std::string, double> rates_;
};

}  // namespace

int main(int argc, char** argv) {
    gRoot = fs::temp_directory_path() / ("qvp-bench-log-" + std::to_string(getpid()));
    fs::create_directories(gRoot / "data" / "LOG");
    fs::create_directories(gRoot / "run");
    std::ofstream(gRoot / "qvpapi.conf") << "[QVPAPI]\nPathName=" << (gRoot / "data").string()
                                          << "\n[Platform]\nRunDir=" << (gRoot / "run").string() << "\n";
    win::registry::LoadFrom((gRoot / "qvpapi.conf").string());
    gLogId = qvpLogOpen("DLL.LOG");
    gPlainFd = open((gRoot / "data" / "LOG" / "PLAIN.LOG").c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
    if (gPlainFd < 0) return 1;

    benchmark::Initialize(&argc, argv);
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    reporter.PrintRatios();
    benchmark::Shutdown();

    close(gPlainFd);
    qvpLogClose(gLogId);
    fs::remove_all(gRoot);
    return 0;
}

// qvAPIGetJob of a job with 5,000 node entries against the simulator: the requests and the time
// per entry, next to the time of one bare request round trip (the session round-trip benchmark's
// measure) taken in the same run. The recount costs one lookup per entry, so the ratio should
// stay near 1.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>

#include "core/block.h"
#include "many_node_job.h"
#include "manager-sim/sim.h"
#include "manager-sim/store_jobs.h"
#include "manager-sim/store_records.h"
#include "qvpapi.h"
#include "session/message.h"
#include "session/request.h"
#include "support/temp_root.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr int kEntries = 5000;
constexpr char kPath[] = "\\BENCH\\00000000000000B1";

void BM_GetJobAgainstRoundTrip(benchmark::State& state) {
    const fs::path root = qvptest::MakeTempRoot("qvp-bench-jobs-");
    qvptest::WriteRootSettings(root);
    qvpsim::ManagerSim sim((root / "data").string());
    qvpsim::RecordStore records(sim);
    qvpsim::JobStore jobs(sim, records);
    jobs.WriteJob(qvpbench::ManyNodeJob(kPath, "00000000000000B1", kEntries));
    if (!sim.Start() || qvAPIOpen("127.0.0.1", std::to_string(sim.port()).c_str()) != 1) {
        state.SkipWithError("no session");
        return;
    }
    QVPAPI* block = qvpGetThreadBlock();
    double entryNs = 0, tripNs = 0, requestsPerEntry = 0;
    for (auto _ : state) {
        sim.ClearLog();
        unsigned char head[QVAPI_JOB_SIZE];
        auto start = Clock::now();
        if (qvAPIGetJob(block, kPath, head) != 1) {
            state.SkipWithError("qvAPIGetJob failed");
            break;
        }
        entryNs = std::chrono::duration<double, std::nano>(Clock::now() - start).count() / kEntries;
        requestsPerEntry = static_cast<double>(sim.Received().size()) / kEntries;

        qvp::RequestBuilder ping("FRLS");
        ping.Field('f', "S");
        start = Clock::now();
        for (int i = 0; i < kEntries; ++i) qvpExchange(*block, ping);
        tripNs = std::chrono::duration<double, std::nano>(Clock::now() - start).count() / kEntries;
    }
    qvAPIClose();
    sim.Stop();
    fs::remove_all(root);
    state.counters["entries"] = kEntries;
    state.counters["requests_per_entry"] = requestsPerEntry;
    state.counters["us_per_entry"] = entryNs / 1000;
    state.counters["roundtrip_us"] = tripNs / 1000;
    state.counters["ratio"] = entryNs / tripNs;
    std::printf("qvAPIGetJob of %d entries: %.2f requests/entry, %.2f us/entry, bare round trip: %.2f us, ratio %.2f\n",
                kEntries, requestsPerEntry, entryNs / 1000, tripNs / 1000, entryNs / tripNs);
}
BENCHMARK(BM_GetJobAgainstRoundTrip)->Iterations(3)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();

// A status walk of 10,000 records over loopback against the simulator: the time per record next
// to the time of one bare request round trip measured in the same run. The walk should cost one
// round trip per record, so the ratio should stay near 1.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "core/block.h"
#include "manager-sim/sim.h"
#include "manager-sim/store_records.h"
#include "platform/win.h"
#include "qvpapi.h"
#include "records/records.h"
#include "session/message.h"
#include "session/request.h"
#include "support/status_files.h"
#include "support/temp_root.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr int kRecords = 10000;

void BM_StatusWalkAgainstRoundTrip(benchmark::State& state) {
    const fs::path root = qvptest::MakeTempRoot("qvp-bench-records-");
    qvptest::WriteRootSettings(root);
    qvpsim::ManagerSim sim((root / "data").string());
    qvpsim::RecordStore store(sim);
    for (int i = 0; i < kRecords; ++i) {
        char id[16];
        std::snprintf(id, sizeof id, "p%05d", i);
        store.AddStatus("bench", qvptest::MakeStatusRecord("bench", 'C', "A1", id, "1", "0001"));
    }
    if (!sim.Start() || qvAPIOpen("127.0.0.1", std::to_string(sim.port()).c_str()) != 1) {
        state.SkipWithError("no session");
        return;
    }
    QVPAPI* block = qvpGetThreadBlock();
    double walkNs = 0, tripNs = 0;
    int walked = 0;
    for (auto _ : state) {
        auto start = Clock::now();
        walked = 0;
        if (qvpAPIGetHeadStsPos(block, "bench"))
            while (qvpAPIGetNextSts(block) != nullptr) ++walked;
        if (walked != kRecords) {
            state.SkipWithError("the walk did not return every record");
            break;
        }
        walkNs = std::chrono::duration<double, std::nano>(Clock::now() - start).count() / walked;

        qvp::RequestBuilder ping("FRLS");
        ping.Field('f', "S");
        start = Clock::now();
        for (int i = 0; i < kRecords; ++i) qvpExchange(*block, ping);
        tripNs = std::chrono::duration<double, std::nano>(Clock::now() - start).count() / kRecords;
    }
    qvAPIClose();
    sim.Stop();
    fs::remove_all(root);
    state.counters["records"] = walked;
    state.counters["walk_us_per_record"] = walkNs / 1000;
    state.counters["roundtrip_us"] = tripNs / 1000;
    state.counters["ratio"] = walkNs / tripNs;
    std::printf("status walk: %.2f us/record, bare round trip: %.2f us, ratio %.2f\n", walkNs / 1000,
                tripNs / 1000, walkNs / tripNs);
}
BENCHMARK(BM_StatusWalkAgainstRoundTrip)->Iterations(3)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();

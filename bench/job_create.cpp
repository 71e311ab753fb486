// Job creation from a stored JobGen whose one group entry names 10,000 clients (so the manager
// reads 10,000 entries), against the simulator on loopback: qvAPICreateJobEx (lock, work copy,
// re-creation and sort, JPUT, head, put back) then qvAPIDeleteJob, timed per creation, beside
// `cp` of the prepared jobgenfile as the floor. Reported: seconds per call, the copy's, ratio.
#include <benchmark/benchmark.h>

#pragma GCC diagnostic ignored "-Wmissing-field-initializers"

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "core/block.h"
#include "jobgen/jobgen_file.h"
#include "manager-sim/store_jobs.h"
#include "manager-sim/store_records.h"
#include "qvpapi.h"
#include "support/node_store_builder.h"
#include "support/temp_root.h"

namespace {

namespace fs = std::filesystem;
namespace jg = qvp::jobgen;
using Clock = std::chrono::steady_clock;
using qvptest::NodeStoreBuilder;

constexpr int kNodes = 10000;

double Seconds(Clock::time_point from) { return std::chrono::duration<double>(Clock::now() - from).count(); }

void BM_CreateJobFromJobGen(benchmark::State& state) {
    const fs::path root = qvptest::MakeTempRoot("qvp-bench-create-");
    qvptest::WriteRootSettings(root);
    {
        NodeStoreBuilder store(root / "data");
        store.AddNode({.name = "mst", .kind = QVAPI_NODE_MASTER, .address = {10, 0, 0, 1}});
        std::vector<NodeStoreBuilder::GroupEntry> members;
        for (int i = 0; i < kNodes; ++i) {
            const std::string name = "c" + std::to_string(i * 7919 % 1000003);  // spread over the hashes
            store.AddNode({.name = name,
                           .address = {10, static_cast<uint8_t>(1 + i / 65536), static_cast<uint8_t>(i / 256 % 256),
                                       static_cast<uint8_t>(i % 256)},
                           .master = "mst"});
            members.push_back({name, QVAPI_NODE_CLIENT, {}});
        }
        store.WriteGroupFile("\\G", members);
        std::vector<uint8_t> bytes(256 + 1284);
        jg::JobGenHeader h{};
        h.jobKind = 'D';
        h.entryCount = 1;
        h.entryAreaSize = 1284;
        std::memcpy(h.version, "0500", 4);
        jg::JobGenEntry e{};
        e.jobKind = 'D';
        jg::PutField(e.node, 260, "\\G");
        jg::PutField(e.host, 260, "\\G");
        jg::PutField(e.packageKey, 64, "C.01.pkg.1.0001");
        std::memcpy(bytes.data(), &h, 256);
        std::memcpy(bytes.data() + 256, &e, 1284);
        const fs::path dir = root / "data/SERVER/ZARNQV/MNGFL/JOBGEN/B/J";
        fs::create_directories(dir);
        store.WriteRawFile(dir / "jobgenfile", bytes.data(), bytes.size());
    }
    qvpsim::ManagerSim sim((root / "data").string());
    qvpsim::RecordStore records(sim);
    qvpsim::JobStore jobs(sim, records);
    if (!sim.Start() || qvAPIOpen("127.0.0.1", std::to_string(sim.port()).c_str()) != 1) {
        state.SkipWithError("no session");
        return;
    }
    qvpGetThreadBlock()->systemManagementKey = 0;
    double library = 0, floor = 0;
    for (auto _ : state) {
        QVAPI_JOB job{};
        auto start = Clock::now();
        if (qvAPICreateJobEx("\\B", "J", &job, JOBGEN_SAVE, 0, nullptr) != 1) state.SkipWithError("creation failed");
        library += Seconds(start);
        state.PauseTiming();
        // The floor: the prepared file as the manager read it, copied once with cp.
        const std::string seen = root / "seen";
        if (!jobs.Puts().empty()) {
            const std::string& bytes = jobs.Puts().back().jobGenFile;
            std::ofstream(seen, std::ios::binary | std::ios::trunc) << bytes;
            state.counters["entries"] = static_cast<double>((bytes.size() - 256) / 1284);
        }
        start = Clock::now();
        if (std::system(("cp " + seen + " " + seen + ".cp").c_str()) != 0) state.SkipWithError("cp failed");
        floor += Seconds(start);
        qvAPIDeleteJob("\\B", std::string(job.szJobNo, 16).c_str(), 0, 0);
        state.ResumeTiming();
    }
    const double n = static_cast<double>(state.iterations());
    state.counters["library_s"] = library / n;
    state.counters["cp_s"] = floor / n;
    state.counters["ratio"] = floor > 0 ? library / floor : 0;
    qvAPIClose();
    sim.Stop();
    fs::remove_all(root);
}
BENCHMARK(BM_CreateJobFromJobGen)->Iterations(3)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();

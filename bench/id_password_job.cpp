// An ID's password change through its job (store change, JobGen with the 'W' entry and the
// master, commit, JPUT, JEXC, JobGen deleted) against as many plain socket round trips as the
// change sends requests, with a bare peer.
#include <benchmark/benchmark.h>

#include <filesystem>
#include <string>

#include "loopback_peer.h"
#include "manager-sim/store_ids.h"
#include "manager-sim/store_jobs.h"
#include "manager-sim/store_records.h"
#include "qvpapi.h"
#include "support/node_store_builder.h"
#include "support/temp_root.h"

namespace {

namespace fs = std::filesystem;

size_t g_requestsPerChange = 0;  // measured by the library run, used by the reference

void BM_LibraryPasswordChangeJob(benchmark::State& state) {
    const fs::path root = qvptest::MakeTempRoot("qvp-bench-idjob-");
    qvptest::WriteRootSettings(root);
    {
        qvptest::NodeStoreBuilder nodes(root / "data");
        qvptest::NodeStoreBuilder::Node master;
        master.name = "boss";
        master.kind = QVAPI_NODE_MASTER;
        master.address = {10, 0, 0, 2};
        nodes.AddNode(master);
        fs::create_directories(nodes.NodeGroupDir() / "I.sales");
        qvpsim::ManagerSim sim((root / "data").string());
        qvpsim::RecordStore records(sim);
        qvpsim::JobStore jobs(sim, records);
        sim.Start();
        if (qvAPIOpen("127.0.0.1", std::to_string(sim.port()).c_str()) != 1 ||
            qvAPICreateIDGroup("sales", "pw", 0, 0) != 1 || qvAPICreateMasterIDGroupForced("sales", "boss", 0, 0) != 1) {
            state.SkipWithError("setup failed");
            return;
        }
        const size_t before = sim.Received().size();
        if (qvAPIChangePasswordIDGroup("sales", "pw0", 0, 0) != 1) state.SkipWithError("change failed");
        g_requestsPerChange = sim.Received().size() - before;
        for (auto _ : state) {
            if (qvAPIChangePasswordIDGroup("sales", "pw1", 0, 0) != 1) {
                state.SkipWithError("change failed");
                break;
            }
            sim.ClearLog();
        }
        qvAPIClose();
    }
    fs::remove_all(root);
    state.counters["changes/s"] =
        benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
    state.counters["requests"] = static_cast<double>(g_requestsPerChange);
}

void BM_PlainSocketRoundTrips(benchmark::State& state) {
    benchpeer::EchoPeer peer("0 0 0");
    const int s = benchpeer::ConnectLoopback(peer.port());
    if (s < 0 || g_requestsPerChange == 0) {
        state.SkipWithError("no peer or no measured request count");
        if (s >= 0) ::close(s);
        return;
    }
    const std::string request = qvpsim::Frame("IDUPD 3 f2 IK k5 sales i256 " + std::string(256, 'r'));
    char reply[qvpsim::kFrameMax];
    const size_t replySize = qvpsim::Frame("0 0 0").size();
    for (auto _ : state) {
        for (size_t i = 0; i < g_requestsPerChange; ++i) {
            if (!benchpeer::WriteAll(s, request.data(), request.size()) || !benchpeer::ReadAll(s, reply, replySize)) {
                state.SkipWithError("ping-pong failed");
                break;
            }
        }
    }
    ::close(s);
    state.counters["changes/s"] =
        benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}

BENCHMARK(BM_LibraryPasswordChangeJob)->UseRealTime()->MinTime(1.0);
BENCHMARK(BM_PlainSocketRoundTrips)->UseRealTime()->MinTime(1.0);

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    benchpeer::RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    reporter.PrintRatio("ID password change through its job", "BM_LibraryPasswordChangeJob",
                        "BM_PlainSocketRoundTrips");
    benchmark::Shutdown();
    return 0;
}

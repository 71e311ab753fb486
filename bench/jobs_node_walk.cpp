// The node-job walk of a job with 500 and with 5,000 nodes against the simulator: requests and
// time per node at both sizes, their growth, and the ratio against one bare request round trip
// taken in the same run. Each node step counts its node afresh (one lookup per entry of the
// node), so the ratio shows what the walk adds to the round-trip floor.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <map>
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

constexpr int kSizes[] = {500, 5000};
constexpr char kFolder[] = "\\BENCH";
constexpr char kNumber[] = "00000000000000B2";

struct Figures {
    double nodeUs = 0, tripUs = 0, requestsPerNode = 0;
};
std::map<int, Figures> g_figures;  // by node count

void BM_NodeJobWalkAgainstRoundTrip(benchmark::State& state) {
    const int nodes = static_cast<int>(state.range(0));
    const fs::path root = qvptest::MakeTempRoot("qvp-bench-nodejobs-");
    qvptest::WriteRootSettings(root);
    qvpsim::ManagerSim sim((root / "data").string());
    qvpsim::RecordStore records(sim);
    qvpsim::JobStore jobs(sim, records);
    jobs.WriteJob(qvpbench::ManyNodeJob(std::string(kFolder) + "\\" + kNumber, kNumber, nodes));
    if (!sim.Start() || qvAPIOpen("127.0.0.1", std::to_string(sim.port()).c_str()) != 1) {
        state.SkipWithError("no session");
        return;
    }
    QVPAPI* block = qvpGetThreadBlock();
    double nodeNs = 0, tripNs = 0, requestsPerNode = 0;
    for (auto _ : state) {
        sim.ClearLog();
        QVAPI_NODE_JOB node;
        int walked = 0;
        auto start = Clock::now();
        QVPAPI_HANDLE h = qvAPIFindFirstNodeJob(kFolder, kNumber, &node, 0, 0);
        if (h == QVPAPI_INVALID_HANDLE) {
            state.SkipWithError("qvAPIFindFirstNodeJob failed");
            break;
        }
        do {
            ++walked;
        } while (qvAPIFindNextNodeJob(h, &node, 0, 0) == 1);
        qvAPIFindCloseNodeJob(h, 0, 0);
        nodeNs = std::chrono::duration<double, std::nano>(Clock::now() - start).count() / walked;
        requestsPerNode = static_cast<double>(sim.Received().size()) / walked;
        if (walked != nodes) state.SkipWithError("nodes missing from the walk");

        qvp::RequestBuilder ping("FRLS");
        ping.Field('f', "S");
        start = Clock::now();
        for (int i = 0; i < nodes; ++i) qvpExchange(*block, ping);
        tripNs = std::chrono::duration<double, std::nano>(Clock::now() - start).count() / nodes;
    }
    qvAPIClose();
    sim.Stop();
    fs::remove_all(root);
    state.counters["nodes"] = nodes;
    state.counters["requests_per_node"] = requestsPerNode;
    state.counters["us_per_node"] = nodeNs / 1000;
    state.counters["roundtrip_us"] = tripNs / 1000;
    state.counters["ratio"] = nodeNs / tripNs;
    g_figures[nodes] = {nodeNs / 1000, tripNs / 1000, requestsPerNode};
}
BENCHMARK(BM_NodeJobWalkAgainstRoundTrip)->Arg(kSizes[0])->Arg(kSizes[1])->Iterations(1)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    for (int nodes : kSizes) {
        const Figures& f = g_figures[nodes];
        std::printf("node-job walk of %d nodes: %.2f requests/node, %.2f us/node, bare round trip %.2f us, ratio %.2f\n",
                    nodes, f.requestsPerNode, f.nodeUs, f.tripUs, f.tripUs > 0 ? f.nodeUs / f.tripUs : 0);
    }
    const Figures& small = g_figures[kSizes[0]];
    const Figures& large = g_figures[kSizes[1]];
    if (small.nodeUs > 0)
        std::printf("node-job walk growth: per node %d -> %d nodes x%.2f (goal: flat); against a round trip %.2f (goal: 1.5 at most)\n",
                    kSizes[0], kSizes[1], large.nodeUs / small.nodeUs, large.tripUs > 0 ? large.nodeUs / large.tripUs : 0);
    return 0;
}

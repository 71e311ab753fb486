// One ID client looked up by name through the library and the simulator's ID store (the ID's
// folder and record, the member, a definition read, four requests in all), against four plain
// socket round trips of the same request sizes with a bare peer.
#include <benchmark/benchmark.h>

#include <filesystem>
#include <string>

#include "loopback_peer.h"
#include "manager-sim/store_ids.h"
#include "qvpapi.h"
#include "support/node_store_builder.h"
#include "support/temp_root.h"

namespace {

namespace fs = std::filesystem;

constexpr int kRequestsPerLookup = 4;  // IDGET and IDRLS of the ID, IDGET and IDRLS of the member

void BM_LibraryIdClientLookup(benchmark::State& state) {
    const fs::path root = qvptest::MakeTempRoot("qvp-bench-ids-");
    qvptest::WriteRootSettings(root);
    {
        qvptest::NodeStoreBuilder nodes(root / "data");
        qvptest::NodeStoreBuilder::Node client;
        client.name = "host1";
        nodes.AddNode(client);
        qvpsim::ManagerSim sim((root / "data").string());
        sim.Ids().AddId("sales", 1);
        sim.Ids().AddEntry('C', "sales", "host1", "boss");
        sim.Start();
        if (qvAPIOpen("127.0.0.1", std::to_string(sim.port()).c_str()) != 1) {
            state.SkipWithError("open failed");
            return;
        }
        QVAPI_NODE node;
        size_t done = 0;
        for (auto _ : state) {
            if (qvAPIFindIDClient("\\", "sales", "host1", &node, 0, 0) != 1) {
                state.SkipWithError("lookup failed");
                break;
            }
            if (++done % 4096 == 0) sim.ClearLog();
        }
        qvAPIClose();
    }
    fs::remove_all(root);
    state.counters["lookups/s"] = benchmark::Counter(static_cast<double>(state.iterations()),
                                                     benchmark::Counter::kIsRate);
}

void BM_PlainSocketFourRoundTrips(benchmark::State& state) {
    const std::string record(QVAPI_IDRECORD_SIZE, 'r');
    benchpeer::EchoPeer peer("0 0 2 i256 " + record + " k11 sales.host1");
    const int s = benchpeer::ConnectLoopback(peer.port());
    if (s < 0) {
        state.SkipWithError("connect failed");
        return;
    }
    const std::string request = qvpsim::Frame("IDGET 2 f2 CK k11 sales.host1");
    char reply[qvpsim::kFrameMax];
    const size_t replySize = qvpsim::Frame("0 0 2 i256 " + record + " k11 sales.host1").size();
    for (auto _ : state) {
        for (int i = 0; i < kRequestsPerLookup; ++i) {
            if (!benchpeer::WriteAll(s, request.data(), request.size()) || !benchpeer::ReadAll(s, reply, replySize)) {
                state.SkipWithError("ping-pong failed");
                break;
            }
        }
    }
    ::close(s);
    state.counters["lookups/s"] = benchmark::Counter(static_cast<double>(state.iterations()),
                                                     benchmark::Counter::kIsRate);
}

BENCHMARK(BM_LibraryIdClientLookup)->UseRealTime()->MinTime(1.0);
BENCHMARK(BM_PlainSocketFourRoundTrips)->UseRealTime()->MinTime(1.0);

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    benchpeer::RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    reporter.PrintRatio("ID client lookup", "BM_LibraryIdClientLookup", "BM_PlainSocketFourRoundTrips");
    benchmark::Shutdown();
    return 0;
}

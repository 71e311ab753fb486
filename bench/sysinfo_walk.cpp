// A node's system information read entry by entry through the library and the simulator's
// inventory (FindFirst, one FindNext per entry, FindClose), against the same number of plain
// socket round trips with replies of the same size from a bare peer.
#include <benchmark/benchmark.h>

#include <filesystem>
#include <string>
#include <vector>

#include "loopback_peer.h"
#include "manager-sim/store_inventory.h"
#include "qvpapi.h"
#include "support/temp_root.h"

namespace {

namespace fs = std::filesystem;

constexpr int kEntries = 100;
const std::string kData(32, 'd');

void BM_LibrarySysInfoWalk(benchmark::State& state) {
    const fs::path root = qvptest::MakeTempRoot("qvp-bench-sysinfo-");
    qvptest::WriteRootSettings(root);
    {
        qvpsim::ManagerSim sim((root / "data").string());
        std::vector<qvpsim::InventoryStore::Entry> entries(kEntries, {99, 0, kData});
        sim.Inventory().Set("node1", qvpsim::InventoryStore::Record(entries));
        sim.Start();
        if (qvAPIOpen("127.0.0.1", std::to_string(sim.port()).c_str()) != 1) {
            state.SkipWithError("open failed");
            return;
        }
        QVAPI_SYSINFO info;
        for (auto _ : state) {
            QVPAPI_HANDLE h = qvAPIFindFirstSysInfo("node1", &info, 0, 0, 0, 0);
            int read = h != QVPAPI_INVALID_HANDLE ? 1 : 0;
            while (read > 0 && qvAPIFindNextSysInfo(h, &info, 0, 0)) ++read;
            if (read != kEntries || qvAPIFindCloseSysInfo(h, 0, 0) != 1) {
                state.SkipWithError("walk failed");
                break;
            }
            sim.ClearLog();
        }
        qvAPIClose();
    }
    fs::remove_all(root);
}

void BM_PlainSocketRoundTrips(benchmark::State& state) {
    const std::string entry = std::string("\x63\x00\x00\x20", 4) + kData;
    const std::string replyText = "0 0 1 i" + std::to_string(entry.size()) + " " + entry;
    benchpeer::EchoPeer peer(replyText);
    const int s = benchpeer::ConnectLoopback(peer.port());
    if (s < 0) {
        state.SkipWithError("connect failed");
        return;
    }
    const std::string request = qvpsim::Frame("IGET 2 K5 node1 N");
    const size_t replySize = qvpsim::Frame(replyText).size();
    char reply[qvpsim::kFrameMax];
    // FindFirst sends two requests, FindClose one, each FindNext one (the last answers the end).
    const int roundTrips = kEntries + 3;
    for (auto _ : state) {
        for (int i = 0; i < roundTrips; ++i) {
            if (!benchpeer::WriteAll(s, request.data(), request.size()) || !benchpeer::ReadAll(s, reply, replySize)) {
                state.SkipWithError("ping-pong failed");
                break;
            }
        }
    }
    ::close(s);
}

BENCHMARK(BM_LibrarySysInfoWalk)->UseRealTime()->MinTime(1.0);
BENCHMARK(BM_PlainSocketRoundTrips)->UseRealTime()->MinTime(1.0);

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    benchpeer::RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    reporter.PrintRatio("system-information walk of 100 entries", "BM_LibrarySysInfoWalk", "BM_PlainSocketRoundTrips");
    benchmark::Shutdown();
    return 0;
}

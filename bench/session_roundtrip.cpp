// Round trips per second over loopback: one small request and its reply through the library,
// against a plain socket ping-pong of the same bytes, both with the same bare echo peer; the
// library with the simulator as its peer as well.
#include <benchmark/benchmark.h>

#include <filesystem>
#include <string>

#include "loopback_peer.h"
#include "core/block.h"
#include "manager-sim/sim.h"
#include "platform/win.h"
#include "qvpapi.h"
#include "session/message.h"
#include "session/request.h"
#include "support/temp_root.h"

namespace {

namespace fs = std::filesystem;

constexpr const char kReply[] = "0 0 0";

qvp::RequestBuilder PingRequest() {
    qvp::RequestBuilder r("PING");
    r.Field('k', "ping");
    return r;
}

// Round trips of an open session with the manager at `port`.
void RoundTrips(benchmark::State& state, uint16_t port) {
    if (qvAPIOpen("127.0.0.1", std::to_string(port).c_str()) != 1) {
        state.SkipWithError("open failed");
        return;
    }
    QVPAPI& block = *qvpGetThreadBlock();
    for (auto _ : state) {
        if (qvpExchange(block, PingRequest()) < 0) {
            state.SkipWithError("exchange failed");
            break;
        }
    }
    qvAPIClose();
    state.counters["round_trips/s"] = benchmark::Counter(static_cast<double>(state.iterations()),
                                                         benchmark::Counter::kIsRate);
}

// The library against the same bare peer as the ping-pong: only the two clients differ.
void BM_LibraryRoundTrip(benchmark::State& state) {
    const fs::path root = qvptest::MakeTempRoot("qvp-bench-session-");
    qvptest::WriteRootSettings(root);
    {
        benchpeer::EchoPeer peer(kReply, "AINTA V0300");
        RoundTrips(state, peer.port());
    }
    fs::remove_all(root);
}

// The library against the simulator, whose side of each round trip (parsing, the verb's
// handler, its request log) comes on top.
void BM_LibraryRoundTripSimulator(benchmark::State& state) {
    const fs::path root = qvptest::MakeTempRoot("qvp-bench-session-");
    qvptest::WriteRootSettings(root);
    {
        qvpsim::ManagerSim sim((root / "data").string());
        sim.Handle("PING", [](qvpsim::Call&) { return std::string(kReply); });
        sim.Start();
        RoundTrips(state, sim.port());
        // The simulator's log would otherwise grow with every round trip of a long run.
        sim.ClearLog();
    }
    fs::remove_all(root);
}

void BM_PlainSocketPingPong(benchmark::State& state) {
    benchpeer::EchoPeer peer(kReply);
    const int s = benchpeer::ConnectLoopback(peer.port());
    if (s < 0) {
        state.SkipWithError("connect failed");
        return;
    }
    const std::string request = qvpsim::Frame(PingRequest().Text());
    char reply[qvpsim::kFrameMax];
    const size_t replySize = qvpsim::Frame(kReply).size();
    for (auto _ : state) {
        if (!benchpeer::WriteAll(s, request.data(), request.size()) || !benchpeer::ReadAll(s, reply, replySize)) {
            state.SkipWithError("ping-pong failed");
            break;
        }
    }
    ::close(s);
    state.counters["round_trips/s"] = benchmark::Counter(static_cast<double>(state.iterations()),
                                                         benchmark::Counter::kIsRate);
}

BENCHMARK(BM_LibraryRoundTrip)->UseRealTime()->MinTime(1.0);
BENCHMARK(BM_LibraryRoundTripSimulator)->UseRealTime()->MinTime(1.0);
BENCHMARK(BM_PlainSocketPingPong)->UseRealTime()->MinTime(1.0);

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    benchpeer::RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    reporter.PrintRatio("session round trip", "BM_LibraryRoundTrip", "BM_PlainSocketPingPong");
    reporter.PrintRatio("session round trip, simulator as the manager", "BM_LibraryRoundTripSimulator",
                        "BM_PlainSocketPingPong");
    benchmark::Shutdown();
    return 0;
}

// Round trips per second over loopback: one small request and its reply through the library
// and the simulator, against a plain socket ping-pong of the same bytes with a bare echo peer.
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

void BM_LibraryRoundTrip(benchmark::State& state) {
    const fs::path root = qvptest::MakeTempRoot("qvp-bench-session-");
    qvptest::WriteRootSettings(root);
    {
        qvpsim::ManagerSim sim((root / "data").string());
        sim.Handle("PING", [](qvpsim::Call&) { return std::string(kReply); });
        sim.Start();
        if (qvAPIOpen("127.0.0.1", std::to_string(sim.port()).c_str()) != 1) {
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
        // The simulator's log would otherwise grow with every round trip of a long run.
        sim.ClearLog();
    }
    fs::remove_all(root);
    state.counters["round_trips/s"] = benchmark::Counter(static_cast<double>(state.iterations()),
                                                         benchmark::Counter::kIsRate);
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
BENCHMARK(BM_PlainSocketPingPong)->UseRealTime()->MinTime(1.0);

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    benchpeer::RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    reporter.PrintRatio("session round trip", "BM_LibraryRoundTrip", "BM_PlainSocketPingPong");
    benchmark::Shutdown();
    return 0;
}

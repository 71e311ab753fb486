// Round trips per second over loopback: one small request and its reply through the library
// and the simulator, against a plain socket ping-pong of the same bytes with a bare echo peer.
#include <benchmark/benchmark.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <thread>

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

bool ReadAll(int s, char* p, size_t n) {
    while (n > 0) {
        ssize_t got = ::recv(s, p, n, 0);
        if (got <= 0) return false;
        p += got;
        n -= static_cast<size_t>(got);
    }
    return true;
}

bool WriteAll(int s, const char* p, size_t n) {
    while (n > 0) {
        ssize_t put = ::send(s, p, n, MSG_NOSIGNAL);
        if (put <= 0) return false;
        p += put;
        n -= static_cast<size_t>(put);
    }
    return true;
}

// A peer that answers every frame with the same reply frame and nothing else.
class EchoPeer {
public:
    EchoPeer() {
        uint16_t port = 0;
        listener_ = win::TcpListen(0x0100007Fu, 0, &port);
        port_ = port;
        thread_ = std::thread([this] {
            int s = win::TcpAccept(listener_);
            if (s < 0) return;
            const std::string reply = qvpsim::Frame(kReply);
            char frame[qvpsim::kFrameMax];
            while (ReadAll(s, frame, qvpsim::kHeaderSize)) {
                size_t length = 0;
                if (!qvpsim::ParseHeader(reinterpret_cast<unsigned char*>(frame), &length)) break;
                if (!ReadAll(s, frame + qvpsim::kHeaderSize, length)) break;
                if (!WriteAll(s, reply.data(), reply.size())) break;
            }
            ::close(s);
        });
    }
    ~EchoPeer() {
        win::ShutdownSocket(listener_);
        thread_.join();
        win::CloseSocket(listener_);
    }
    uint16_t port() const { return port_; }

private:
    int listener_ = -1;
    uint16_t port_ = 0;
    std::thread thread_;
};

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
    EchoPeer peer;
    int s = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    sa.sin_port = htons(peer.port());
    if (::connect(s, reinterpret_cast<sockaddr*>(&sa), sizeof sa) != 0) {
        state.SkipWithError("connect failed");
        return;
    }
    int one = 1;
    ::setsockopt(s, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    const std::string request = qvpsim::Frame(PingRequest().Text());
    char reply[qvpsim::kFrameMax];
    const size_t replySize = qvpsim::Frame(kReply).size();
    for (auto _ : state) {
        if (!WriteAll(s, request.data(), request.size()) || !ReadAll(s, reply, replySize)) {
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

// Keeps each run's time per iteration so that the ratio can be printed after the table.
class RatioReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& r : runs)
            if (r.iterations > 0) {
                const std::string name = r.benchmark_name();
                perIteration_[name.substr(0, name.find('/'))] = r.GetAdjustedRealTime();
            }
        ConsoleReporter::ReportRuns(runs);
    }
    void PrintRatio() const {
        auto lib = perIteration_.find("BM_LibraryRoundTrip");
        auto ref = perIteration_.find("BM_PlainSocketPingPong");
        if (lib == perIteration_.end() || ref == perIteration_.end()) return;
        std::printf("session round trip: library %.0f/s, plain sockets %.0f/s, ratio (library time / plain) %.2f\n",
                    1e9 / lib->second, 1e9 / ref->second, lib->second / ref->second);
    }

private:
    std::map<std::string, double> perIteration_;
};

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    reporter.PrintRatio();
    benchmark::Shutdown();
    return 0;
}

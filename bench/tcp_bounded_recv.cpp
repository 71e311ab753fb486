// One manager reply received through the transport's bounded receive (ReceiveTimeout: a poll
// before each read) against plain recv calls of the same frame, over a connected socket pair.
#include <benchmark/benchmark.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdio>
#include <string>

#include "manager-sim/wire.h"
#include "share/tcp/tcpsock.h"

namespace {

const std::string kFrame = qvpsim::Frame("0 0 1 i8 recordXX k4 key1");

struct Pair {
    int fd[2] = {-1, -1};
    Pair() { ::socketpair(AF_UNIX, SOCK_STREAM, 0, fd); }
    ~Pair() {
        ::close(fd[0]);
        ::close(fd[1]);
    }
    bool Put() const {
        return ::send(fd[1], kFrame.data(), kFrame.size(), MSG_NOSIGNAL) == ssize_t(kFrame.size());
    }
};

void Receive(benchmark::State& state, win::DWORD timeoutMs) {
    Pair pair;
    char buffer[qvpsim::kFrameMax];
    for (auto _ : state) {
        if (!pair.Put() || !qvpTcpRecvFrame(pair.fd[0], buffer, sizeof buffer, timeoutMs).ok()) {
            state.SkipWithError("receive failed");
            break;
        }
    }
}

void BM_LibraryBoundedReceive(benchmark::State& state) { Receive(state, 600000); }
void BM_LibraryUnboundedReceive(benchmark::State& state) { Receive(state, win::INFINITE); }

// The reference: the header, then the payload, as two plain reads.
void BM_PlainRecv(benchmark::State& state) {
    Pair pair;
    char buffer[qvpsim::kFrameMax];
    for (auto _ : state) {
        const size_t payload = kFrame.size() - qvpsim::kHeaderSize;
        if (!pair.Put() ||
            ::recv(pair.fd[0], buffer, qvpsim::kHeaderSize, MSG_WAITALL) != ssize_t(qvpsim::kHeaderSize) ||
            ::recv(pair.fd[0], buffer, payload, MSG_WAITALL) != ssize_t(payload)) {
            state.SkipWithError("recv failed");
            break;
        }
    }
}

BENCHMARK(BM_LibraryBoundedReceive)->MinTime(0.5);
BENCHMARK(BM_LibraryUnboundedReceive)->MinTime(0.5);
BENCHMARK(BM_PlainRecv)->MinTime(0.5);

// Prints, after the table, each library run's time per frame over the plain one.
class Ratios : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& r : runs) {
            if (r.iterations == 0) continue;
            const std::string name = r.benchmark_name().substr(0, r.benchmark_name().find('/'));
            if (name == "BM_PlainRecv") plain_ = r.GetAdjustedRealTime();
            else library_.emplace_back(name, r.GetAdjustedRealTime());
        }
        ConsoleReporter::ReportRuns(runs);
    }
    void Print() const {
        if (plain_ <= 0) return;
        for (const auto& [name, time] : library_)
            std::printf("%s: %.0f ns a frame, plain recv %.0f ns, ratio %.2f\n", name.c_str(), time, plain_,
                        time / plain_);
    }

private:
    std::vector<std::pair<std::string, double>> library_;
    double plain_ = 0;
};

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    Ratios ratios;
    benchmark::RunSpecifiedBenchmarks(&ratios);
    ratios.Print();
    benchmark::Shutdown();
    return 0;
}

// One manager reply received through the transport's bounded receive (ReceiveTimeout: the
// socket's receive time-out) against plain recv calls of the same frame, over a connected
// socket pair.
#include <benchmark/benchmark.h>
#include <sys/socket.h>
#include <unistd.h>

#include <string>

#include "loopback_peer.h"
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
    QvpReceiveAhead ahead;
    char buffer[qvpsim::kFrameMax];
    for (auto _ : state) {
        if (!pair.Put() || !qvpTcpRecvFrame(pair.fd[0], ahead, buffer, sizeof buffer, timeoutMs).ok()) {
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

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    benchpeer::RatioReporter ratios;
    benchmark::RunSpecifiedBenchmarks(&ratios);
    ratios.PrintRatio("bounded receive of one frame", "BM_LibraryBoundedReceive", "BM_PlainRecv");
    ratios.PrintRatio("unbounded receive of one frame", "BM_LibraryUnboundedReceive", "BM_PlainRecv");
    benchmark::Shutdown();
    return 0;
}

// What the loopback benchmarks share: a bare peer that answers every frame with one fixed
// reply, a plain client socket to it, and a console reporter that prints the library's time
// against the reference's after the table.
#pragma once

#include <benchmark/benchmark.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdio>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "manager-sim/wire.h"
#include "platform/win.h"

namespace benchpeer {

inline bool ReadAll(int s, char* p, size_t n) {
    while (n > 0) {
        ssize_t got = ::recv(s, p, n, 0);
        if (got <= 0) return false;
        p += got;
        n -= static_cast<size_t>(got);
    }
    return true;
}

inline bool WriteAll(int s, const char* p, size_t n) {
    while (n > 0) {
        ssize_t put = ::send(s, p, n, MSG_NOSIGNAL);
        if (put <= 0) return false;
        p += put;
        n -= static_cast<size_t>(put);
    }
    return true;
}

// A peer that answers every frame with the same reply frame and nothing else; given a
// handshake reply, it first answers one text message (the library's "AINT") with it.
class EchoPeer {
public:
    explicit EchoPeer(std::string replyText, std::string handshakeReply = {})
        : replyText_(std::move(replyText)), handshakeReply_(std::move(handshakeReply)) {
        uint16_t port = 0;
        listener_ = win::TcpListen(0x0100007Fu, 0, &port);
        port_ = port;
        thread_ = std::thread([this] {
            int s = win::TcpAccept(listener_);
            if (s < 0) return;
            if (!handshakeReply_.empty()) {
                char c = 1;
                while (c != '\0' && ReadAll(s, &c, 1)) {
                }
                WriteAll(s, handshakeReply_.c_str(), handshakeReply_.size() + 1);
            }
            const std::string reply = qvpsim::Frame(replyText_);
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
    std::string replyText_;
    std::string handshakeReply_;
    int listener_ = -1;
    uint16_t port_ = 0;
    std::thread thread_;
};

// A plain TCP client of the peer with Nagle off; -1 when it cannot connect.
inline int ConnectLoopback(uint16_t port) {
    int s = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    sa.sin_port = htons(port);
    if (::connect(s, reinterpret_cast<sockaddr*>(&sa), sizeof sa) != 0) {
        ::close(s);
        return -1;
    }
    int one = 1;
    ::setsockopt(s, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    return s;
}

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
    // "<what>: library N/s, plain sockets N/s, ratio (library time / plain) R".
    // Nanoseconds per iteration of a benchmark run so far; 0 when it did not run.
    double PerIteration(const std::string& name) const {
        auto found = perIteration_.find(name);
        return found == perIteration_.end() ? 0 : found->second;
    }
    void PrintRatio(const char* what, const std::string& library, const std::string& reference) const {
        auto lib = perIteration_.find(library);
        auto ref = perIteration_.find(reference);
        if (lib == perIteration_.end() || ref == perIteration_.end()) return;
        std::printf("%s: library %.0f/s, plain sockets %.0f/s, ratio (library time / plain) %.2f\n", what,
                    1e9 / lib->second, 1e9 / ref->second, lib->second / ref->second);
    }

private:
    std::map<std::string, double> perIteration_;
};

}  // namespace benchpeer

#include "share/tcp/tcpsock.h"

#include <algorithm>
#include <chrono>
#include <cstring>

#include "platform/byte_order.h"

namespace {

constexpr unsigned char kFrameMarker[4] = {0xFF, 0x00, 0x00, 0x00};

QvpTcpResult SendAll(int socket, const char* data, size_t length) {
    while (length > 0) {
        int n = win::SocketSend(socket, data, length);
        if (n <= 0) return {QvpTcpStatus::Transport, 0, n < 0 ? win::GetLastError() : win::WSAECONNRESET};
        data += n;
        length -= static_cast<size_t>(n);
    }
    return {};
}

// Receives for one message into the connection's read-ahead. The whole message must arrive
// within the time-out, however the peer spreads its bytes. The socket's own receive time-out
// does the waiting, so that a reply costs one receive and nothing else; it is set again only
// when it must change (for the rest of a message that came in pieces, and back after it). The
// first receive asks for the whole time-out, not the (smaller) time left, for that reason.
class Receiver {
public:
    Receiver(int socket, QvpReceiveAhead& ahead, win::DWORD timeoutMs)
        : socket_(socket), ahead_(ahead), timeoutMs_(timeoutMs),
          end_(Clock::now() + std::chrono::milliseconds(timeoutMs == win::INFINITE ? 0 : timeoutMs)) {}

    size_t Buffered() const { return ahead_.end - ahead_.begin; }
    const char* Data() const { return ahead_.bytes + ahead_.begin; }
    void Consume(size_t n) {
        ahead_.begin += static_cast<uint32_t>(n);
        if (ahead_.begin == ahead_.end) ahead_.begin = ahead_.end = 0;
    }

    // Makes `want` bytes (at most the read-ahead's size) buffered at Data().
    QvpTcpResult Need(size_t want) {
        if (ahead_.begin + want > sizeof ahead_.bytes) {
            std::memmove(ahead_.bytes, Data(), Buffered());
            ahead_.end -= ahead_.begin;
            ahead_.begin = 0;
        }
        while (Buffered() < want) {
            const win::DWORD wait = first_ ? timeoutMs_ : Left();
            first_ = false;
            const int n = win::SocketRecvWithin(socket_, ahead_.bytes + ahead_.end,
                                                sizeof ahead_.bytes - ahead_.end, wait, &ahead_.socketTimeoutMs);
            if (n < 0) return {QvpTcpStatus::Transport, 0, win::GetLastError()};
            if (n == 0) return {QvpTcpStatus::Closed, 0, win::WSAECONNRESET};
            ahead_.end += static_cast<uint32_t>(n);
        }
        return {};
    }

private:
    using Clock = std::chrono::steady_clock;
    win::DWORD Left() const {
        if (timeoutMs_ == win::INFINITE) return win::INFINITE;
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end_ - Clock::now()).count();
        return left > 0 ? static_cast<win::DWORD>(left) : 0;
    }

    int socket_;
    QvpReceiveAhead& ahead_;
    win::DWORD timeoutMs_;
    Clock::time_point end_;
    bool first_ = true;
};

static_assert(sizeof(QvpReceiveAhead::bytes) >= kQvpFrameMax, "a whole frame fits the read-ahead");
static_assert(sizeof(QvpReceiveAhead::bytes) >= kQvpTextMessageMax, "a whole text fits the read-ahead");

}  // namespace

QvpTcpResult qvpTcpSendFrame(int socket, const void* payload, size_t length) {
    if (length > kQvpFramePayloadMax) return {QvpTcpStatus::TooLong, 0, 0};
    // Header and payload in one buffer: one send in the usual case.
    char frame[kQvpFrameMax];
    const uint32_t total = static_cast<uint32_t>(length + kQvpFrameHeaderSize);
    qvp::putBe32(frame, total);
    std::memcpy(frame + 4, kFrameMarker, sizeof kFrameMarker);
    if (length > 0) std::memcpy(frame + kQvpFrameHeaderSize, payload, length);
    QvpTcpResult r = SendAll(socket, frame, total);
    r.length = r.ok() ? length : 0;
    return r;
}

QvpTcpResult qvpTcpRecvFrame(int socket, QvpReceiveAhead& ahead, char* buffer, size_t size,
                             win::DWORD timeoutMs) {
    Receiver in(socket, ahead, timeoutMs);
    QvpTcpResult r = in.Need(kQvpFrameHeaderSize);
    if (!r.ok()) return r;
    const auto* header = reinterpret_cast<const unsigned char*>(in.Data());
    const uint32_t total = qvp::be32(header);
    if (std::memcmp(header + 4, kFrameMarker, sizeof kFrameMarker) != 0 ||
        total < kQvpFrameHeaderSize || total > kQvpFrameMax)
        return {QvpTcpStatus::Framing, 0, 0};
    const size_t length = total - kQvpFrameHeaderSize;
    if (size == 0 || length > size - 1) {
        in.Consume(kQvpFrameHeaderSize);
        return {QvpTcpStatus::TooLong, 0, 0};
    }
    r = in.Need(total);
    if (!r.ok()) return r;
    std::memcpy(buffer, in.Data() + kQvpFrameHeaderSize, length);
    buffer[length] = '\0';
    in.Consume(total);
    r.length = length;
    return r;
}

QvpTcpResult qvpTcpSendText(int socket, const void* text, size_t length) {
    if (length >= kQvpTextMessageMax) return {QvpTcpStatus::TooLong, 0, 0};
    char message[kQvpTextMessageMax];
    if (length > 0) std::memcpy(message, text, length);
    message[length] = '\0';
    QvpTcpResult r = SendAll(socket, message, length + 1);
    r.length = r.ok() ? length : 0;
    return r;
}

QvpTcpResult qvpTcpRecvText(int socket, QvpReceiveAhead& ahead, char* buffer, size_t size,
                            win::DWORD timeoutMs) {
    Receiver in(socket, ahead, timeoutMs);
    const size_t most = std::min(size, kQvpTextMessageMax);
    size_t scanned = 0;
    for (;;) {
        const size_t buffered = std::min(in.Buffered(), most);
        const void* nul = std::memchr(in.Data() + scanned, '\0', buffered - scanned);
        if (nul != nullptr) {
            const size_t n = static_cast<size_t>(static_cast<const char*>(nul) - in.Data());
            std::memcpy(buffer, in.Data(), n + 1);
            in.Consume(n + 1);  // what follows the NUL stays for the next message
            return {QvpTcpStatus::Ok, n, 0};
        }
        scanned = buffered;
        if (buffered == most) break;
        QvpTcpResult r = in.Need(buffered + 1);
        if (!r.ok()) return r;
    }
    if (size > 0) {
        std::memcpy(buffer, in.Data(), most - 1);
        buffer[most - 1] = '\0';
    }
    return {QvpTcpStatus::TooLong, 0, 0};
}

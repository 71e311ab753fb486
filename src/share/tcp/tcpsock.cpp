#include "share/tcp/tcpsock.h"

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

// One message's time: a peer that sends a byte now and then must not stretch the wait.
class Deadline {
public:
    explicit Deadline(win::DWORD timeoutMs)
        : bounded_(timeoutMs != win::INFINITE), end_(Clock::now() + std::chrono::milliseconds(timeoutMs)) {}
    win::DWORD Left() const {
        if (!bounded_) return win::INFINITE;
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end_ - Clock::now()).count();
        return left > 0 ? static_cast<win::DWORD>(left) : 0;
    }

private:
    using Clock = std::chrono::steady_clock;
    bool bounded_;
    Clock::time_point end_;
};

QvpTcpResult RecvAll(int socket, char* data, size_t length, const Deadline& deadline) {
    while (length > 0) {
        int n = win::SocketRecv(socket, data, length, deadline.Left());
        if (n < 0) return {QvpTcpStatus::Transport, 0, win::GetLastError()};
        if (n == 0) return {QvpTcpStatus::Closed, 0, win::WSAECONNRESET};
        data += n;
        length -= static_cast<size_t>(n);
    }
    return {};
}

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

QvpTcpResult qvpTcpRecvFrame(int socket, char* buffer, size_t size, win::DWORD timeoutMs) {
    const Deadline deadline(timeoutMs);
    unsigned char header[kQvpFrameHeaderSize];
    QvpTcpResult r = RecvAll(socket, reinterpret_cast<char*>(header), sizeof header, deadline);
    if (!r.ok()) return r;
    const uint32_t total = qvp::be32(header);
    if (std::memcmp(header + 4, kFrameMarker, sizeof kFrameMarker) != 0 ||
        total < kQvpFrameHeaderSize || total > kQvpFrameMax)
        return {QvpTcpStatus::Framing, 0, 0};
    const size_t length = total - kQvpFrameHeaderSize;
    if (size == 0 || length > size - 1) return {QvpTcpStatus::TooLong, 0, 0};
    r = RecvAll(socket, buffer, length, deadline);
    if (!r.ok()) return r;
    buffer[length] = '\0';
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

QvpTcpResult qvpTcpRecvText(int socket, char* buffer, size_t size, win::DWORD timeoutMs) {
    const Deadline deadline(timeoutMs);
    // Byte by byte: nothing after the NUL may be taken from the stream.
    for (size_t n = 0; n < size; ++n) {
        QvpTcpResult r = RecvAll(socket, buffer + n, 1, deadline);
        if (!r.ok()) return r;
        if (buffer[n] == '\0') return {QvpTcpStatus::Ok, n, 0};
    }
    if (size > 0) buffer[size - 1] = '\0';
    return {QvpTcpStatus::TooLong, 0, 0};
}

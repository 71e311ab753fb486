// The manager transport on one connected socket: text messages (the handshake) and frames
// (everything else). Partial reads and writes are continued until the message is whole.
#pragma once

#include <cstddef>
#include <cstdint>

#include "core/block.h"
#include "platform/win.h"

constexpr size_t kQvpFrameHeaderSize = 8;
constexpr size_t kQvpFrameMax = 2048;                                 // header included
constexpr size_t kQvpFramePayloadMax = kQvpFrameMax - kQvpFrameHeaderSize;  // 2040
constexpr size_t kQvpTextMessageMax = 2048;                           // NUL included

enum class QvpTcpStatus {
    Ok,
    TooLong,    // refused before anything went out, or a reply larger than the buffer
    Transport,  // the system failed the send or receive
    Closed,     // the peer ended the stream within a message
    Framing,    // not a frame of ours
};

struct QvpTcpResult {
    QvpTcpStatus status = QvpTcpStatus::Ok;
    size_t length = 0;      // payload or text bytes (without header or NUL)
    win::DWORD error = 0;   // Windows Sockets error for Transport
    bool ok() const { return status == QvpTcpStatus::Ok; }
};

// One frame: u32 big-endian total length (header included), FF 00 00 00, the payload.
QvpTcpResult qvpTcpSendFrame(int socket, const void* payload, size_t length);
// Receives one frame into `buffer` of `size` bytes; the payload is NUL-terminated, so it must
// be shorter than `size`. A total length below 8 or above 2048, or another marker: Framing.
// The whole message must arrive within `timeoutMs` (INFINITE: no bound), else Transport with
// 10060. `ahead` is the connection's read-ahead: bytes the peer sent beyond this frame stay
// there for the next message, so every receive of a connection must go through the same one.
QvpTcpResult qvpTcpRecvFrame(int socket, QvpReceiveAhead& ahead, char* buffer, size_t size,
                             win::DWORD timeoutMs = win::INFINITE);
// Text mode: the text and one NUL.
QvpTcpResult qvpTcpSendText(int socket, const void* text, size_t length);
// Reads up to the NUL; the text (NUL-terminated) must fit in `size`. Bounded as a frame is.
QvpTcpResult qvpTcpRecvText(int socket, QvpReceiveAhead& ahead, char* buffer, size_t size,
                            win::DWORD timeoutMs = win::INFINITE);

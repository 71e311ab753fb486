// Messages on the session's connection. Any transport or framing error marks the session
// broken: every later send or receive of the session fails at once until it is closed (a
// broken session never turns into one without a socket).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "core/block.h"
#include "session/request.h"

constexpr uint32_t kQvpMsgFramed = 0x40000000u;
constexpr uint32_t kQvpMsgText = 0;

// Transport error details (category 0x10000).
constexpr int32_t kQvpTransportSend = 1;
constexpr int32_t kQvpTransportRecv = 2;

namespace qvp {
// Sends `length` bytes as one message (framed, or text and a NUL). The byte count, or below 0
// after recording transport error information (0x10000, 1, reason); no API code is set. A
// framed payload over 2040 bytes is refused before anything is sent.
int qvAPISendMsg(QVPAPI* block, const void* buffer, int length, uint32_t mode);
// Receives one message into `buffer` of `size` bytes, always NUL-terminated. The byte count, or
// below 0 after recording (0x10000, 2, reason).
int qvAPIRecvMsg(QVPAPI* block, void* buffer, int size, uint32_t mode);
}  // namespace qvp

// Results of qvpExchange below 0.
constexpr int kQvpExchangeSendFailed = -1;
constexpr int kQvpExchangeRecvFailed = -2;

// The one road of a request: the text goes into the block's request buffer and out as a frame
// (text mode only for the handshake); the reply comes into `reply` (the block's reply buffer
// when NULL) of `replySize` bytes. The reply length, or kQvpExchangeSendFailed /
// kQvpExchangeRecvFailed with the transport error recorded (qvAPISetErrorCode then gives
// 0x20250000 / 0x20260000).
int qvpExchange(QVPAPI& block, const qvp::RequestBuilder& request, char* reply = nullptr,
                size_t replySize = kQvpBufferSize, uint32_t mode = kQvpMsgFramed);
// The same road for a request text that no builder makes (a trailing blank, a word where the
// count stands). A text over one frame's payload is refused before anything is sent.
int qvpExchangeText(QVPAPI& block, std::string_view text, char* reply = nullptr,
                    size_t replySize = kQvpBufferSize, uint32_t mode = kQvpMsgFramed);

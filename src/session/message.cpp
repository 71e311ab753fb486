#include "session/message.h"

#include <cstring>

#include "core/errors.h"
#include "share/tcp/tcpsock.h"

namespace {

// Second detail of a transport error: the Windows Sockets error, or one of these.
constexpr int32_t kReasonNoConnection = 1;  // no socket, or the session is broken
constexpr int32_t kReasonArgument = 2;
constexpr int32_t kReasonTooLong = 3;
constexpr int32_t kReasonFraming = 4;

bool Usable(const QVPAPI& block) { return block.link == QvpLink::Connected && block.socket >= 0; }

int32_t Reason(const QvpTcpResult& r) {
    switch (r.status) {
    case QvpTcpStatus::TooLong: return kReasonTooLong;
    case QvpTcpStatus::Framing: return kReasonFraming;
    default: return static_cast<int32_t>(r.error);
    }
}

int Fail(QVPAPI& block, int32_t detail, int32_t reason) {
    qvp::qvAPISetErrorInfo(&block, kErrCategoryTransport, nullptr, detail, reason);
    block.lastSendRecvResult = -1;
    return -1;
}

// The stream can no longer be trusted once bytes were lost or misread.
void Break(QVPAPI& block) {
    if (block.link == QvpLink::Connected) block.link = QvpLink::Broken;
}

}  // namespace

int qvp::qvAPISendMsg(QVPAPI* block, const void* buffer, int length, uint32_t mode) {
    if (block == nullptr) return -1;
    if (buffer == nullptr || length < 0 || (mode != kQvpMsgFramed && mode != kQvpMsgText))
        return Fail(*block, kQvpTransportSend, kReasonArgument);
    if (!Usable(*block)) return Fail(*block, kQvpTransportSend, kReasonNoConnection);
    const size_t n = static_cast<size_t>(length);
    QvpTcpResult r = mode == kQvpMsgFramed ? qvpTcpSendFrame(block->socket, buffer, n)
                                           : qvpTcpSendText(block->socket, buffer, n);
    if (!r.ok()) {
        // Refused for its size: nothing went out and the stream is intact.
        if (r.status != QvpTcpStatus::TooLong) Break(*block);
        return Fail(*block, kQvpTransportSend, Reason(r));
    }
    block->lastSendRecvResult = length;
    return length;
}

int qvp::qvAPIRecvMsg(QVPAPI* block, void* buffer, int size, uint32_t mode) {
    if (block == nullptr) return -1;
    if (buffer == nullptr || size <= 0 || (mode != kQvpMsgFramed && mode != kQvpMsgText))
        return Fail(*block, kQvpTransportRecv, kReasonArgument);
    if (!Usable(*block)) return Fail(*block, kQvpTransportRecv, kReasonNoConnection);
    char* out = static_cast<char*>(buffer);
    const size_t n = static_cast<size_t>(size);
    // A manager that stops answering breaks the session like a dropped connection.
    const win::DWORD wait = block->receiveTimeoutMs;
    QvpTcpResult r = mode == kQvpMsgFramed ? qvpTcpRecvFrame(block->socket, block->ahead, out, n, wait)
                                           : qvpTcpRecvText(block->socket, block->ahead, out, n, wait);
    if (!r.ok()) {
        out[0] = '\0';
        Break(*block);
        return Fail(*block, kQvpTransportRecv, Reason(r));
    }
    block->lastSendRecvResult = static_cast<int>(r.length);
    return static_cast<int>(r.length);
}

int qvpExchange(QVPAPI& block, const qvp::RequestBuilder& request, char* reply, size_t replySize,
                uint32_t mode) {
    if (!request.Fits()) {
        Fail(block, kQvpTransportSend, kReasonTooLong);
        return kQvpExchangeSendFailed;
    }
    return qvpExchangeText(block, request.Text(), reply, replySize, mode);
}

int qvpExchangeText(QVPAPI& block, std::string_view text, char* reply, size_t replySize, uint32_t mode) {
    if (reply == nullptr) {
        reply = block.replyBuffer;
        replySize = sizeof block.replyBuffer;
    }
    if (text.size() > kQvpFramePayloadMax) {
        Fail(block, kQvpTransportSend, kReasonTooLong);
        return kQvpExchangeSendFailed;
    }
    std::memcpy(block.requestBuffer, text.data(), text.size());
    block.requestBuffer[text.size()] = '\0';
    if (qvp::qvAPISendMsg(&block, block.requestBuffer, static_cast<int>(text.size()), mode) < 0)
        return kQvpExchangeSendFailed;
    const int got = qvp::qvAPIRecvMsg(&block, reply, static_cast<int>(replySize), mode);
    if (got < 0) return kQvpExchangeRecvFailed;
    if (reply == block.replyBuffer) block.replyLength = static_cast<uint32_t>(got);
    if (reply == block.fgetReplyBuffer) block.fgetReplyLength = static_cast<uint32_t>(got);
    return got;
}

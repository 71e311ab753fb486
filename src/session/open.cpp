// qvAPIOpen: a thread's session with the manager.
#include <cstdio>
#include <cstring>
#include <string>

#include "core/frame.h"
#include "core/log.h"
#include "core/memory.h"
#include "core/settings.h"
#include "qvpapi.h"
#include "session/message.h"
#include "session/request.h"
#include "session/session.h"
#include "share/tcp/tcpconn.h"

namespace {

constexpr const char kTag[] = "dll";
constexpr const char kOpenName[] = "qvAPIOpen";
constexpr const char kLogOpened[] = "%s : Host = %s, Service = %s, Socket = %d";
constexpr const char kLogSocketless[] = "%s : %s : no socket";
constexpr const char kLogHandshakeSendError[] = "%s : AINT Send Error";
constexpr const char kLogHandshakeRecvError[] = "%s : AINT Recv Error";
constexpr const char kLogHandshakeError[] = "%s : AINT Reply Error : Reply = %s, Code = 0x%8.8x";
constexpr const char kLogConnectError[] = "%s : Connect Error : Host = %s, Service = %s, Code = 0x%8.8x";
constexpr const char kLogArenaError[] = "%s : heap create error";

constexpr uint8_t kKeyIpAddress = 1;

const qvp::FrameTexts kOpenTexts{"qvAPIOpen", qvp::EndStyle::Hex};

void CloseAtThreadExit(QVPAPI& block) { qvpSessionClose(block); }

// How this machine names itself to the manager: its host name, or its IPv4 address when nodes
// are keyed by address.
std::string LocalIdentity(uint8_t systemManagementKey) {
    std::string name = win::GetLocalHostName();
    if (name.empty()) name = kQvpDefaultHost;
    if (systemManagementKey != kKeyIpAddress) return name;
    auto address = win::ResolveHostIPv4(name.c_str());
    if (!address) return name;
    const auto* b = reinterpret_cast<const unsigned char*>(&*address);
    char text[16];
    std::snprintf(text, sizeof text, "%u.%u.%u.%u", b[0], b[1], b[2], b[3]);
    return text;
}

// Undoes everything a failed open made.
uint32_t Abandon(QVPAPI& block, uint32_t code) {
    win::CloseSocket(block.socket);
    qvpCloseBlockLogs(block);
    qvpResetBlock(block);
    return code;
}

uint32_t Handshake(QVPAPI& block) {
    const qvp::RequestBuilder request = qvp::BuildAintRequest(LocalIdentity(block.systemManagementKey));
    const int got = qvpExchange(block, request, block.replyBuffer, sizeof block.replyBuffer, kQvpMsgText);
    if (got == kQvpExchangeSendFailed) {
        qvpLogPrintf(block.dllLogId, kTag, kLogHandshakeSendError, kOpenName);
        return QVAPI_ERR_TCP_SEND;
    }
    if (got < 0) {
        qvpLogPrintf(block.dllLogId, kTag, kLogHandshakeRecvError, kOpenName);
        return QVAPI_ERR_TCP_RECV;
    }
    const QvpHandshake h = qvpParseHandshakeReply(std::string_view(block.replyBuffer, static_cast<size_t>(got)));
    if (h.code != 0) {
        qvpLogPrintf(block.dllLogId, kTag, kLogHandshakeError, kOpenName, block.replyBuffer, h.code);
        return h.code;
    }
    block.divisionalTransferSize = h.divisionalTransferSize;
    block.divisionalTransferInterval = h.divisionalTransferInterval;
    if (h.socketless) {
        qvpLogPrintf(block.dllLogId, kTag, kLogSocketless, kOpenName, block.replyBuffer);
        win::CloseSocket(block.socket);
        block.socket = -1;
        block.link = QvpLink::Socketless;
    }
    return 0;
}

}  // namespace

bool qvpSessionHeld(const QVPAPI& block) {
    return block.link != QvpLink::None || block.socket >= 0 || block.arena != nullptr ||
           block.dllLogId != 0 || block.nodeLogId != 0;
}

uint32_t qvpAPIOpen(QVPAPI& block, const char* host, const char* service) {
    // A session still open would lose its socket, arena and logs to the clearing below.
    if (qvpSessionHeld(block)) qvpSessionClose(block);
    else qvpRunSessionReleaseHooks(block);  // what calls made between sessions hung on the block
    qvpResetBlock(block);
    qvpSetSessionCloser(&CloseAtThreadExit);

    block.openerThreadId = win::GetCurrentThreadId();
    block.systemManagementKey = qvpRegGetSystemManagementKey();
    const int receiveTimeout = qvpRegGetReceiveTimeout();
    block.receiveTimeoutMs = receiveTimeout == 0 ? win::INFINITE : static_cast<win::DWORD>(receiveTimeout) * 1000;
    block.arena = qvp::CreateArena();
    block.dllLogId = qvpLogOpen(kQvpDllLogName);
    block.nodeLogId = qvpLogOpen(kQvpNodeLogName);
    if (block.arena == nullptr) {
        qvpLogPrintf(block.dllLogId, kTag, kLogArenaError, kOpenName);
        return Abandon(block, QVAPI_ERR_RESOURCE);
    }

    if (host == nullptr || *host == '\0') host = kQvpDefaultHost;
    if (service == nullptr || *service == '\0') service = kQvpDefaultService;
    std::snprintf(block.hostName, sizeof block.hostName, "%s", host);

    uint32_t code = 0;
    const int socket = qvpTcpConnect(host, service, block.dllLogId, &code);
    if (socket < 0) {
        qvpLogPrintf(block.dllLogId, kTag, kLogConnectError, kOpenName, host, service, code);
        return Abandon(block, code);
    }
    block.socket = socket;
    block.link = QvpLink::Connected;
    code = Handshake(block);
    if (code != 0) return Abandon(block, code);
    qvpLogPrintf(block.dllLogId, kTag, kLogOpened, kOpenName, host, service, block.socket);
    return 0;
}

extern "C" QVPAPI_EXPORT int qvAPIOpen(const char* host, const char* service) {
    return qvp::RunApi(kOpenTexts, 0, [&](qvp::CallContext& call) {
        const uint32_t code = qvpAPIOpen(call.block(), host, service);
        if (code == 0) return 1;
        call.Fail(code);
        return 0;
    });
}

// Session open and close: the block's connection, arena and logs from qvAPIOpen to qvAPIClose
// (or to the end of the thread).
#pragma once

#include <cstdint>
#include <string_view>

#include "core/block.h"
#include "share/tcp/tcpconn.h"

inline constexpr const char* kQvpDefaultHost = kQvpLocalHost;
inline constexpr const char kQvpDefaultService[] = "zarnqv";
inline constexpr const char kQvpDllLogName[] = "DLL.LOG";
inline constexpr const char kQvpNodeLogName[] = "NODE.LOG";

// What the manager's answer to "AINT" means.
struct QvpHandshake {
    uint32_t code = 0;         // API code of a refused handshake, 0 when accepted
    bool socketless = false;   // "CONNECTA 52"
    uint32_t divisionalTransferSize = 0;      // 1..0x7FFFFFFF, else 0
    uint32_t divisionalTransferInterval = 0;  // 1..1440, else 0
};
QvpHandshake qvpParseHandshakeReply(std::string_view reply);

// The open without the call frame: closes a session the thread still holds, clears the block,
// connects and runs the handshake. 0, or the API code with nothing of the session left.
uint32_t qvpAPIOpen(QVPAPI& block, const char* host, const char* service);
// The close without the call frame; does nothing for a block without a session.
void qvpSessionClose(QVPAPI& block);
// Whether the block holds anything a close must release.
bool qvpSessionHeld(const QVPAPI& block);

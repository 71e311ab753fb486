// Reaching the manager: service and host lookup (with the SERVERIP.ini cache under PathName)
// and the connection itself, made under the machine-wide socket lock with bounded retries.
#pragma once

#include <cstdint>
#include <string>

#include "qvpapi.h"

constexpr const char kQvpSocketLockName[] = "QVP_SOCKET_LOCK_SUB";
constexpr const char kQvpServerIpFile[] = "SERVERIP.ini";
constexpr const char kQvpLocalHost[] = "localhost";
constexpr uint32_t kQvpConnectRetryPauseMs = 1000;

// A decimal service is a port (1..65535); a name is looked up as a TCP service.
bool qvpTcpServicePort(const char* service, uint16_t* port);
// The cache file's path: <PathName>\SERVERIP.ini.
std::string qvpTcpServerIpPath();

// Connects to the manager: the socket, or -1 with the API code in `apiCode`. A dotted IPv4
// host is used as it is; a name is resolved and remembered in SERVERIP.ini, which answers only
// names the resolver cannot (never this machine's "localhost").
int qvpTcpConnect(const char* host, const char* service, int logId, uint32_t* apiCode);

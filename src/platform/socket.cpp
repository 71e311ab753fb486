// Blocking IPv4 TCP sockets: the only place that calls the socket functions of the system.
#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/time.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>

#include "platform/win.h"

namespace win {

DWORD SocketErrorFromErrno(int err) {
    switch (err) {
    case EINTR: return WSAEINTR;
    case EINVAL: return WSAEINVAL;
    case EMFILE:
    case ENFILE: return WSAEMFILE;
    case EADDRINUSE: return WSAEADDRINUSE;
    case ENETUNREACH: return WSAENETUNREACH;
    case ECONNABORTED: return WSAECONNABORTED;
    case ECONNRESET:
    case EPIPE: return WSAECONNRESET;
    case ENOTCONN: return WSAENOTCONN;
    case ETIMEDOUT: return WSAETIMEDOUT;
    case ECONNREFUSED: return WSAECONNREFUSED;
    case EHOSTUNREACH: return WSAEHOSTUNREACH;
    default: return WSAEINVAL;
    }
}

namespace {

void SetSocketError(int err) { SetLastError(SocketErrorFromErrno(err)); }

// Probes after a minute of quiet, then every ten seconds; six unanswered end the connection.
constexpr int kKeepAliveIdleSeconds = 60;
constexpr int kKeepAliveIntervalSeconds = 10;
constexpr int kKeepAliveProbes = 6;

void SetKeepAlive(int s) {
    int on = 1;
    ::setsockopt(s, SOL_SOCKET, SO_KEEPALIVE, &on, sizeof on);
    ::setsockopt(s, IPPROTO_TCP, TCP_KEEPIDLE, &kKeepAliveIdleSeconds, sizeof kKeepAliveIdleSeconds);
    ::setsockopt(s, IPPROTO_TCP, TCP_KEEPINTVL, &kKeepAliveIntervalSeconds, sizeof kKeepAliveIntervalSeconds);
    ::setsockopt(s, IPPROTO_TCP, TCP_KEEPCNT, &kKeepAliveProbes, sizeof kKeepAliveProbes);
}

using Clock = std::chrono::steady_clock;

// Waits until the socket has something to read (data, end of stream or an error); false with
// 10060 when `deadline` passes first.
bool WaitReadable(int s, Clock::time_point deadline) {
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        pollfd p{s, POLLIN, 0};
        const int rc = ::poll(&p, 1, static_cast<int>(std::max<int64_t>(0, left.count())));
        if (rc > 0) return true;
        if (rc == 0) {
            SetLastError(WSAETIMEDOUT);
            return false;
        }
        if (errno != EINTR) {
            SetSocketError(errno);
            return false;
        }
    }
}

sockaddr_in MakeAddress(uint32_t address, uint16_t port) {
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_addr.s_addr = address;
    sa.sin_port = htons(port);
    return sa;
}

}  // namespace

int TcpConnect(uint32_t address, uint16_t port) {
    int s = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (s < 0) {
        SetSocketError(errno);
        return -1;
    }
    sockaddr_in sa = MakeAddress(address, port);
    int rc;
    do {
        rc = ::connect(s, reinterpret_cast<sockaddr*>(&sa), sizeof sa);
    } while (rc != 0 && errno == EINTR);
    if (rc != 0) {
        int err = errno;
        ::close(s);
        SetSocketError(err);
        return -1;
    }
    // Requests and replies are small and strictly alternate: never wait to coalesce.
    int one = 1;
    ::setsockopt(s, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    SetKeepAlive(s);
    return s;
}

int TcpListen(uint32_t address, uint16_t port, uint16_t* boundPort) {
    int s = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (s < 0) {
        SetSocketError(errno);
        return -1;
    }
    int one = 1;
    ::setsockopt(s, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in sa = MakeAddress(address, port);
    if (::bind(s, reinterpret_cast<sockaddr*>(&sa), sizeof sa) != 0 || ::listen(s, 64) != 0) {
        int err = errno;
        ::close(s);
        SetSocketError(err);
        return -1;
    }
    socklen_t len = sizeof sa;
    if (boundPort != nullptr) {
        ::getsockname(s, reinterpret_cast<sockaddr*>(&sa), &len);
        *boundPort = ntohs(sa.sin_port);
    }
    return s;
}

int TcpAccept(int listener) {
    for (;;) {
        int s = ::accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
        if (s >= 0) {
            int one = 1;
            ::setsockopt(s, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
            return s;
        }
        if (errno == EINTR || errno == ECONNABORTED) continue;
        SetSocketError(errno);
        return -1;
    }
}

int SocketSend(int socket, const void* data, size_t length) {
    if (fault::Hit(fault::Call::SocketSend)) return -1;
    for (;;) {
        ssize_t n = ::send(socket, data, length, MSG_NOSIGNAL);
        if (n >= 0) return static_cast<int>(n);
        if (errno == EINTR) continue;
        SetSocketError(errno);
        return -1;
    }
}

int SocketRecv(int socket, void* data, size_t length, DWORD timeoutMs) {
    if (fault::Hit(fault::Call::SocketRecv)) return -1;
    // Bounded, what has arrived is taken at once: only an empty socket is waited on.
    const bool bounded = timeoutMs != INFINITE;
    const auto deadline = Clock::now() + std::chrono::milliseconds(bounded ? timeoutMs : 0);
    for (;;) {
        ssize_t n = ::recv(socket, data, length, bounded ? MSG_DONTWAIT : 0);
        if (n >= 0) return static_cast<int>(n);
        if (errno == EINTR) continue;
        if (bounded && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            if (!WaitReadable(socket, deadline)) return -1;
            continue;
        }
        SetSocketError(errno);
        return -1;
    }
}

int SocketRecvWithin(int socket, void* data, size_t length, DWORD timeoutMs, DWORD* socketTimeoutMs) {
    if (fault::Hit(fault::Call::SocketRecv)) return -1;
    const bool bounded = timeoutMs != INFINITE;
    const auto deadline = Clock::now() + std::chrono::milliseconds(bounded ? timeoutMs : 0);
    DWORD wait = timeoutMs;
    for (;;) {
        if (*socketTimeoutMs != wait) {
            timeval tv{};  // zero: no bound
            if (bounded) {
                tv.tv_sec = static_cast<time_t>(wait / 1000);
                tv.tv_usec = static_cast<suseconds_t>(wait % 1000) * 1000;
                if (wait == 0) tv.tv_usec = 1;  // zero would be no bound: the shortest wait instead
            }
            if (::setsockopt(socket, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv) != 0) {
                SetSocketError(errno);
                return -1;
            }
            *socketTimeoutMs = wait;
        }
        ssize_t n = ::recv(socket, data, length, 0);
        if (n >= 0) return static_cast<int>(n);
        if (errno == EAGAIN || errno == EWOULDBLOCK) {
            SetLastError(WSAETIMEDOUT);
            return -1;
        }
        if (errno != EINTR) {
            SetSocketError(errno);
            return -1;
        }
        // Interrupted: resumed for what is left of the time, however often signals come.
        if (bounded) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
            wait = static_cast<DWORD>(std::max<int64_t>(0, left));
        }
    }
}

void ShutdownSocket(int socket) {
    if (socket >= 0) ::shutdown(socket, SHUT_RDWR);
}

void CloseSocket(int socket) {
    if (socket >= 0) ::close(socket);
}

std::optional<uint16_t> GetServicePort(const char* name) {
    servent result{};
    servent* found = nullptr;
    char buffer[1024];
    if (::getservbyname_r(name, "tcp", &result, buffer, sizeof buffer, &found) != 0 ||
        found == nullptr) {
        SetLastError(WSANO_DATA);
        return std::nullopt;
    }
    return ntohs(static_cast<uint16_t>(found->s_port));
}

std::optional<uint32_t> ResolveHostIPv4(const char* host) {
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* list = nullptr;
    if (::getaddrinfo(host, nullptr, &hints, &list) != 0 || list == nullptr) {
        SetLastError(WSAHOST_NOT_FOUND);
        return std::nullopt;
    }
    uint32_t address = reinterpret_cast<sockaddr_in*>(list->ai_addr)->sin_addr.s_addr;
    ::freeaddrinfo(list);
    return address;
}

std::string GetLocalHostName() {
    char name[256] = {};
    if (::gethostname(name, sizeof name - 1) != 0) return {};
    return name;
}

}  // namespace win

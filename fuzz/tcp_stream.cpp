// The transport's receivers over any stream the manager might send: the first byte chooses a
// text message first and the size of the caller's buffer, the rest is the stream, followed by
// its end. Messages are taken until one fails; each stays within its buffer and the read-ahead.
#include <sys/socket.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "share/tcp/tcpsock.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0 || size > 64 * 1024) return 0;  // the whole stream fits the socket's buffer
    int fd[2];
    if (socketpair(AF_UNIX, SOCK_STREAM, 0, fd) != 0) return 0;
    const bool textFirst = (data[0] & 1) != 0;
    const size_t bufferSize = data[0] & 2 ? 2048 : 1 + (data[0] >> 2) * 8;
    if (send(fd[1], data + 1, size - 1, MSG_NOSIGNAL) != static_cast<ssize_t>(size - 1)) std::abort();
    shutdown(fd[1], SHUT_WR);
    QvpReceiveAhead ahead;
    std::vector<char> buffer(bufferSize);
    for (bool text = textFirst;; text = false) {
        const QvpTcpResult r = text ? qvpTcpRecvText(fd[0], ahead, buffer.data(), buffer.size(), 1000)
                                    : qvpTcpRecvFrame(fd[0], ahead, buffer.data(), buffer.size(), 1000);
        if (ahead.begin > ahead.end || ahead.end > sizeof ahead.bytes) std::abort();
        if (!r.ok()) break;
        if (r.length >= buffer.size() || buffer[r.length] != '\0') std::abort();
    }
    close(fd[0]);
    close(fd[1]);
    return 0;
}

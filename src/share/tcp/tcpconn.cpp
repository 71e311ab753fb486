#include "share/tcp/tcpconn.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <string_view>
#include <utility>
#include <vector>

#include "core/handles.h"
#include "core/temp_file.h"
#include "core/log.h"
#include "core/settings.h"
#include "platform/win.h"
#include "share/tcp/server_ip_cache.h"
#include "share/wapi/wapi.h"

namespace {

constexpr const char kTag[] = "tcp";
constexpr const char kConnectName[] = "qvpTcpConnect";
constexpr const char kLogSemaphoreError[] = "%s : CreateSemaphore Error : %s, errno = %u";
constexpr const char kLogServiceError[] = "%s : Service Error : Service = %s";
constexpr const char kLogHostError[] = "%s : Host Error : Host = %s";
constexpr const char kLogConnectError[] =
    "%s : Connect Error : Host = %s, Port = %u, try = %d, errno = %u";
constexpr const char kLogCacheWriteError[] = "%s : %s Write Error : errno = %u";

// Holds the machine-wide socket lock for its scope.
class SocketLock {
public:
    explicit SocketLock(int logId)
        : semaphore_(qvpWapiCreateSemaphore(nullptr, 1, 1, kQvpSocketLockName, logId)) {
        if (semaphore_.valid())
            held_ = win::WaitForSingleObject(semaphore_.get(), win::INFINITE) != win::WAIT_FAILED;
    }
    ~SocketLock() {
        if (held_) win::ReleaseSemaphore(semaphore_.get(), 1, nullptr);
    }
    bool held() const { return held_; }

private:
    qvp::FileHandle semaphore_;
    bool held_ = false;
};

bool SameName(std::string_view a, std::string_view b) {
    return win::CharUpper(a) == win::CharUpper(b);
}

// The cache's bounded start: any user of the store may have written the file, at any size.
QvpServerIpEntries ReadCache() {
    const std::string path = qvpTcpServerIpPath();
    qvp::FileHandle file(win::CreateFile(path.c_str(), win::GENERIC_READ,
                                         win::FILE_SHARE_READ | win::FILE_SHARE_WRITE, nullptr,
                                         win::OPEN_EXISTING, win::FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.valid()) return {};
    std::string text(kQvpServerIpReadBound, '\0');
    size_t size = 0;
    win::DWORD got = 0;
    while (size < text.size() &&
           win::ReadFile(file.get(), text.data() + size, static_cast<win::DWORD>(text.size() - size), &got, nullptr) &&
           got > 0)
        size += got;
    text.resize(size);
    return qvpParseServerIp(text, size == kQvpServerIpReadBound);
}

// Network-order address -> "a.b.c.d".
std::string AddressText(uint32_t address) {
    const auto* b = reinterpret_cast<const unsigned char*>(&address);
    return std::to_string(b[0]) + "." + std::to_string(b[1]) + "." + std::to_string(b[2]) + "." +
           std::to_string(b[3]);
}

// Puts the resolver's answer into the cache in place of any older one (the file is left as it
// is when it already says so).
void Remember(const char* host, uint32_t address, int logId) {
    const std::string text = AddressText(address);
    QvpServerIpEntries entries = ReadCache();
    const auto same = [&](const auto& e) { return SameName(e.first, host); };
    if (std::count_if(entries.begin(), entries.end(), same) == 1 &&
        std::find_if(entries.begin(), entries.end(), same)->second == text)
        return;
    std::erase_if(entries, same);
    entries.emplace_back(host, text);
    const std::string contents = qvpServerIpText(entries);
    // Written beside the cache and put in its place: a failed write never leaves it cut short.
    if (!qvp::ReplaceFileContents(qvpTcpServerIpPath(), contents.data(), contents.size()))
        qvpLogPrintf(logId, kTag, kLogCacheWriteError, kConnectName, kQvpServerIpFile, win::GetLastError());
}

bool Resolve(const char* host, uint32_t* address, int logId) {
    auto resolved = win::ResolveHostIPv4(host);
    if (!resolved) return false;
    *address = *resolved;
    Remember(host, *resolved, logId);
    return true;
}

// Only for a name the resolver cannot answer, and never for this machine: what the store
// holds must not choose another listener for a name the system knows.
bool CachedAddress(const char* host, uint32_t* address) {
    if (host == nullptr || *host == '\0' || SameName(host, kQvpLocalHost)) return false;
    for (const auto& [name, text] : ReadCache()) {
        if (!SameName(name, host)) continue;
        const uint32_t a = win::inet_addr(text.c_str());
        if (a == win::INADDR_NONE_VALUE) return false;
        *address = a;
        return true;
    }
    return false;
}

bool IsDottedAddress(const char* host, uint32_t* address) {
    uint32_t a = win::inet_addr(host);
    if (a == win::INADDR_NONE_VALUE) return false;
    *address = a;
    return true;
}

int ConnectWithRetries(const char* host, uint32_t address, uint16_t port, int logId) {
    const int attempts = std::max(1, qvpRegGetConnectRetryCount());
    for (int attempt = 1; attempt <= attempts; ++attempt) {
        int s = win::TcpConnect(address, port);
        if (s >= 0) return s;
        qvpLogPrintf(logId, kTag, kLogConnectError, kConnectName, host, port, attempt, win::GetLastError());
        if (attempt < attempts) win::Sleep(kQvpConnectRetryPauseMs);
    }
    return -1;
}

}  // namespace

std::string qvpTcpServerIpPath() {
    char root[win::MAX_PATH + 1] = {};
    qvpRegGetPathName(root);
    return std::string(root) + "\\" + kQvpServerIpFile;
}

bool qvpTcpServicePort(const char* service, uint16_t* port) {
    if (service == nullptr || *service == '\0') return false;
    char* end = nullptr;
    long number = std::strtol(service, &end, 10);
    if (*end == '\0') {
        if (number < 1 || number > 65535) return false;
        *port = static_cast<uint16_t>(number);
        return true;
    }
    auto found = win::GetServicePort(service);
    if (!found) return false;
    *port = *found;
    return true;
}

int qvpTcpConnect(const char* host, const char* service, int logId, uint32_t* apiCode) {
    uint16_t port = 0;
    if (!qvpTcpServicePort(service, &port)) {
        qvpLogPrintf(logId, kTag, kLogServiceError, kConnectName, service);
        *apiCode = QVAPI_ERR_TCP_SERVICE_UNKNOWN;
        return -1;
    }
    SocketLock lock(logId);
    if (!lock.held()) {
        qvpLogPrintf(logId, kTag, kLogSemaphoreError, kConnectName, kQvpSocketLockName, win::GetLastError());
        *apiCode = QVAPI_ERR_TCP_SOCKET;
        return -1;
    }
    uint32_t address = 0;
    if (!IsDottedAddress(host, &address) && !Resolve(host, &address, logId) && !CachedAddress(host, &address)) {
        qvpLogPrintf(logId, kTag, kLogHostError, kConnectName, host);
        *apiCode = QVAPI_ERR_TCP_HOST_UNKNOWN;
        return -1;
    }
    const int s = ConnectWithRetries(host, address, port, logId);
    if (s < 0) *apiCode = QVAPI_ERR_CONNECT_REFUSED;
    return s;
}

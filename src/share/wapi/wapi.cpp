// Named objects, security attributes, the progress gauge and the error reporter. Linux has no
// "Global\" namespace and no DACLs on the platform's named objects: names are used as given.
#include "share/wapi/wapi.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <string>

#include "core/errors.h"
#include "core/log.h"

namespace {

constexpr const char kWapiTag[] = "wapi";
constexpr const char kCreateMutexError[] =
    "%s : CreateMutex Error : Name = %s, errno = %u";
constexpr const char kCreateSemaphoreError[] =
    "%s : CreateSemaphore Error : Name = %s, errno = %u";
constexpr int kSecurityInitFailed = -11003;
constexpr int kSecurityDaclFailed = -11004;

// An absolute security descriptor with a present, NULL DACL: everyone may use the object.
struct NullDaclDescriptor {
    uint8_t revision;
    uint8_t sbz1;
    uint16_t control;
    uint32_t owner, group, sacl, dacl;
};
static_assert(sizeof(NullDaclDescriptor) == 20);
constexpr uint16_t kDaclPresent = 0x0004;

constexpr int kGaugeKinds = 8;
struct Gauge {
    uint64_t total = 0;
    uint64_t current = 0;
};
std::mutex gGaugeMutex;
Gauge gGauges[kGaugeKinds];
std::function<void(int, uint64_t)>* gGaugeObserver = nullptr;

}  // namespace

win::HANDLE qvpWapiCreateMutex(win::SECURITY_ATTRIBUTES* sa, win::BOOL initialOwner,
                               const char* name, int logId, int /*reserved*/) {
    win::HANDLE h = win::CreateMutex(sa, initialOwner, name);
    if (h == nullptr)
        qvpLogPrintf(logId, kWapiTag, kCreateMutexError, "qvpWapiCreateMutex", name != nullptr ? name : "",
                     win::GetLastError());
    return h;
}

win::HANDLE qvpWapiCreateSemaphore(win::SECURITY_ATTRIBUTES* sa, win::LONG initialCount,
                                   win::LONG maximumCount, const char* name, int logId) {
    win::HANDLE h = win::CreateSemaphore(sa, initialCount, maximumCount, name);
    if (h == nullptr) {
        qvpLogPrintf(logId, kWapiTag, kCreateSemaphoreError, "qvpWapiCreateSemaphore",
                     name != nullptr ? name : "", win::GetLastError());
    }
    return h;
}

int qvpWapiSetSecurity(win::SECURITY_ATTRIBUTES* sa, void* descriptor, int /*logId*/, int /*reserved*/) {
    if (descriptor == nullptr) return kSecurityInitFailed;
    if (sa == nullptr) return kSecurityDaclFailed;
    NullDaclDescriptor sd{};
    sd.revision = 1;
    sd.control = kDaclPresent;
    std::memcpy(descriptor, &sd, sizeof sd);
    sa->nLength = sizeof(win::SECURITY_ATTRIBUTES);
    sa->lpSecurityDescriptor = descriptor;
    sa->bInheritHandle = win::FALSE;
    return 0;
}

void qvpGaugeSetTotal(int kind, uint64_t total) {
    if (kind < 0 || kind >= kGaugeKinds) return;
    std::lock_guard lock(gGaugeMutex);
    gGauges[kind].total = total;
    if (gGauges[kind].current > total) gGauges[kind].current = total;
}

void qvpGaugeSetCurrent(int kind, uint64_t value) {
    if (kind < 0 || kind >= kGaugeKinds) return;
    std::function<void(int, uint64_t)> observer;
    uint64_t shown = 0;
    {
        std::lock_guard lock(gGaugeMutex);
        Gauge& g = gGauges[kind];
        g.current = value > g.total ? g.total : value;
        shown = g.current;
        if (gGaugeObserver != nullptr) observer = *gGaugeObserver;
    }
    if (observer) observer(kind, shown);
}

uint64_t qvpGaugeGetCurrent(int kind) {
    if (kind < 0 || kind >= kGaugeKinds) return 0;
    std::lock_guard lock(gGaugeMutex);
    return gGauges[kind].current;
}

void qvpGaugeSetObserver(std::function<void(int, uint64_t)> observer) {
    std::lock_guard lock(gGaugeMutex);
    delete gGaugeObserver;
    gGaugeObserver = observer ? new std::function<void(int, uint64_t)>(std::move(observer)) : nullptr;
}

int qvpWow64DisableWow64FsRedirection(void** oldValue) {
    if (oldValue != nullptr) *oldValue = nullptr;
    return 1;
}

int qvpWow64RevertWow64FsRedirection(void* /*oldValue*/) { return 1; }

void qvpReportError(int logId, const char* format, ...) {
    qvp::KeepLastError keep;
    va_list args;
    va_start(args, format);
    char text[1024] = {};
    if (format != nullptr) std::vsnprintf(text, sizeof text, format, args);
    va_end(args);
    win::ReportEvent(win::EVENTLOG_ERROR_TYPE, 0, text);
    qvpLogWrite(logId, text, kWapiTag);
}

// The event log (ReportEventA): syslog, plus the file of platform "EventLogFile" when set.
#include <fcntl.h>
#include <sys/stat.h>
#include <syslog.h>
#include <unistd.h>

#include <cstdio>
#include <mutex>

#include "platform/internal.h"

namespace win {
namespace {

// The file's descriptor for appending, or none. Never through a link at its name, never blocking
// (a FIFO there would hold the caller for good), and only a regular file; below the install root
// reached from the root without passing a link, and a file with a second name there (a hard link
// to something outside) is not written either.
detail::UniqueFd OpenEventFile(const std::string& file) {
    const int flags = O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY;
    const bool inStore = detail::BelowStoreRoot(file);
    detail::UniqueFd fd(inStore ? detail::OpenInStore(file, flags, 0644) : open(file.c_str(), flags, 0644));
    struct stat st{};
    if (fd && (fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode) || (inStore && st.st_nlink > 1))) fd.reset();
    return fd;
}

}  // namespace

void detail::ReportEventTo(const std::string& file, WORD type, DWORD eventId, std::string_view text) {
    static std::once_flag once;
    std::call_once(once, [] { openlog("qvpapi", LOG_PID | LOG_NDELAY, LOG_USER); });
    const int priority = type == EVENTLOG_ERROR_TYPE ? LOG_ERR : type == EVENTLOG_WARNING_TYPE ? LOG_WARNING : LOG_INFO;
    syslog(priority, "%.*s", static_cast<int>(text.size()), text.data());

    if (file.empty()) return;
    SYSTEMTIME t{};
    GetLocalTime(&t);
    const char* kind = type == EVENTLOG_ERROR_TYPE ? "ERROR" : type == EVENTLOG_WARNING_TYPE ? "WARNING" : "INFORMATION";
    char head[128];
    const int n = snprintf(head, sizeof head, "%04u/%02u/%02u %02u:%02u:%02u.%03u %s %u pid=%u: ", t.wYear, t.wMonth,
                           t.wDay, t.wHour, t.wMinute, t.wSecond, t.wMilliseconds, kind, eventId, GetCurrentProcessId());
    std::string line(head, n > 0 ? size_t(n) : 0);
    line.append(text);
    line += '\n';
    // A file that cannot be used drops the line: syslog has it.
    const detail::UniqueFd fd = OpenEventFile(file);
    if (fd) (void)!write(fd.get(), line.data(), line.size());  // one write: lines never interleave
}

void ReportEvent(WORD type, DWORD eventId, std::string_view text) {
    detail::ReportEventTo(registry::GetPlatform("EventLogFile").value_or(std::string()), type, eventId, text);
}

}  // namespace win

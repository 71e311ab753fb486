// Time: FILETIME (100 ns since 1601), SYSTEMTIME, local time, ticks, Sleep; process and
// thread ids.
#include <sched.h>
#include <sys/random.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <ctime>

#include "platform/internal.h"

namespace win {
namespace {
// 100-ns intervals between 1601-01-01 and 1970-01-01.
constexpr int64_t kEpochDelta = 116444736000000000LL;

uint64_t Pack(const FILETIME& ft) {
    return (uint64_t{ft.dwHighDateTime} << 32) | ft.dwLowDateTime;
}
FILETIME Unpack(uint64_t v) {
    return FILETIME{static_cast<DWORD>(v & 0xFFFFFFFFu), static_cast<DWORD>(v >> 32)};
}

// Days since 1970-01-01 of a proleptic Gregorian date (H. Hinnant's algorithm).
int64_t DaysFromCivil(int64_t y, unsigned m, unsigned d) {
    y -= m <= 2;
    const int64_t era = (y >= 0 ? y : y - 399) / 400;
    const unsigned yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<int64_t>(doe) - 719468;
}
void CivilFromDays(int64_t z, int64_t& y, unsigned& m, unsigned& d) {
    z += 719468;
    const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const unsigned doe = static_cast<unsigned>(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    y = static_cast<int64_t>(yoe) + era * 400;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    d = doy - (153 * mp + 2) / 5 + 1;
    m = mp + (mp < 10 ? 3 : -9);
    y += m <= 2;
}
bool IsLeap(int64_t y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }
unsigned DaysInMonth(int64_t y, unsigned m) {
    static const unsigned days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return m == 2 && IsLeap(y) ? 29 : days[m - 1];
}

// Seconds since 1970 and nanoseconds within the second.
void FromUnixSeconds(int64_t secs, int64_t rem, SYSTEMTIME* out) {
    int64_t days = secs / 86400;
    int64_t sod = secs % 86400;
    if (sod < 0) {
        sod += 86400;
        --days;
    }
    int64_t y;
    unsigned m, d;
    CivilFromDays(days, y, m, d);
    out->wYear = static_cast<WORD>(y);
    out->wMonth = static_cast<WORD>(m);
    out->wDay = static_cast<WORD>(d);
    out->wDayOfWeek = static_cast<WORD>(((days % 7) + 11) % 7);  // 1970-01-01 was a Thursday
    out->wHour = static_cast<WORD>(sod / 3600);
    out->wMinute = static_cast<WORD>(sod / 60 % 60);
    out->wSecond = static_cast<WORD>(sod % 60);
    out->wMilliseconds = static_cast<WORD>(rem / 1000000);
}

timespec Now() {
    timespec ts{};
    clock_gettime(CLOCK_REALTIME, &ts);
    return ts;
}

// Offset of local time from UTC in seconds at the given UTC second.
long LocalOffset(time_t t) {
    tm local{};
    if (!localtime_r(&t, &local)) return 0;
    return local.tm_gmtoff;
}
}  // namespace

// Conversions count in 100-ns ticks with 128-bit intermediates: nanoseconds since 1970 in 64
// bits end in 2262, FILETIME goes on to 30828, so a value one side cannot hold fails (87)
// rather than wrapping.
namespace {
constexpr int64_t kTicksPerSecond = 10000000;
constexpr __int128 kLargestTicks = INT64_MAX;  // FILETIME values from 2^63 on are invalid

bool TicksOf(const FILETIME& ft, int64_t& ticks) {
    const uint64_t v = Pack(ft);
    if (v > uint64_t(INT64_MAX)) return false;
    ticks = static_cast<int64_t>(v);
    return true;
}
bool FromTicks(__int128 ticks, FILETIME* out) {
    if (ticks < 0 || ticks > kLargestTicks) return false;
    *out = Unpack(static_cast<uint64_t>(ticks));
    return true;
}
// Floor division: times before 1970 round towards the past, as the file system's do.
__int128 FloorDiv(__int128 a, int64_t b) {
    __int128 q = a / b;
    if (a % b < 0) --q;
    return q;
}
}  // namespace

BOOL FileTimeToUnixNanos(const FILETIME& ft, int64_t* nanos) {
    int64_t ticks;
    if (!nanos || !TicksOf(ft, ticks)) return detail::Fail(ERROR_INVALID_PARAMETER);
    const __int128 ns = (__int128{ticks} - kEpochDelta) * 100;
    if (ns > INT64_MAX || ns < INT64_MIN) return detail::Fail(ERROR_INVALID_PARAMETER);
    *nanos = static_cast<int64_t>(ns);
    return TRUE;
}

BOOL UnixNanosToFileTime(int64_t nanos, FILETIME* out) {
    if (!out || !FromTicks(FloorDiv(nanos, 100) + kEpochDelta, out)) return detail::Fail(ERROR_INVALID_PARAMETER);
    return TRUE;
}

int64_t FileTimeToUnixNanos(const FILETIME& ft) {
    int64_t nanos;
    if (FileTimeToUnixNanos(ft, &nanos)) return nanos;
    // 87 set. The nearest end: invalid values and those before 1677 give the earliest.
    return Pack(ft) > uint64_t(kEpochDelta) && Pack(ft) <= uint64_t(INT64_MAX) ? INT64_MAX : INT64_MIN;
}

FILETIME UnixNanosToFileTime(int64_t nanos) {
    FILETIME ft{0, 0};
    UnixNanosToFileTime(nanos, &ft);  // only times before 1601 fail (87): the earliest FILETIME
    return ft;
}

namespace detail {
BOOL TimespecToFileTime(const struct timespec& ts, FILETIME* out) {
    const __int128 ticks = __int128{ts.tv_sec} * kTicksPerSecond + FloorDiv(ts.tv_nsec, 100) + kEpochDelta;
    if (!FromTicks(ticks, out)) return Fail(ERROR_INVALID_PARAMETER);
    return TRUE;
}

BOOL FileTimeToTimespec(const FILETIME& ft, struct timespec* out) {
    int64_t ticks;
    if (!TicksOf(ft, ticks)) return Fail(ERROR_INVALID_PARAMETER);
    const int64_t since = ticks - kEpochDelta;  // no overflow: both lie in [0, 2^63)
    int64_t sec = since / kTicksPerSecond, rem = since % kTicksPerSecond;
    if (rem < 0) {
        rem += kTicksPerSecond;
        --sec;
    }
    out->tv_sec = static_cast<time_t>(sec);
    out->tv_nsec = static_cast<long>(rem * 100);
    return TRUE;
}
}  // namespace detail

void GetSystemTime(SYSTEMTIME* out) {
    if (!out) return;
    const timespec now = Now();
    FromUnixSeconds(now.tv_sec, now.tv_nsec, out);
}

void GetLocalTime(SYSTEMTIME* out) {
    if (!out) return;
    const timespec now = Now();
    FromUnixSeconds(now.tv_sec + LocalOffset(now.tv_sec), now.tv_nsec, out);
}

void GetSystemTimeAsFileTime(FILETIME* out) {
    if (out) detail::TimespecToFileTime(Now(), out);
}

BOOL FileTimeToSystemTime(const FILETIME* in, SYSTEMTIME* out) {
    if (!in || !out) return detail::Fail(ERROR_INVALID_PARAMETER);
    const uint64_t ticks = Pack(*in);
    if (ticks > 0x7FFFFFFFFFFFFFFFull) return detail::Fail(ERROR_INVALID_PARAMETER);
    // In ticks, not nanoseconds: the whole FILETIME range fits.
    const int64_t secs = static_cast<int64_t>(ticks / 10000000) - kEpochDelta / 10000000;
    FromUnixSeconds(secs, static_cast<int64_t>(ticks % 10000000) * 100, out);
    return TRUE;
}

BOOL SystemTimeToFileTime(const SYSTEMTIME* in, FILETIME* out) {
    if (!in || !out) return detail::Fail(ERROR_INVALID_PARAMETER);
    const SYSTEMTIME& s = *in;
    if (s.wYear < 1601 || s.wYear > 30827 || s.wMonth < 1 || s.wMonth > 12 || s.wDay < 1 ||
        s.wDay > DaysInMonth(s.wYear, s.wMonth) || s.wHour > 23 || s.wMinute > 59 ||
        s.wSecond > 59 || s.wMilliseconds > 999)
        return detail::Fail(ERROR_INVALID_PARAMETER);
    const int64_t days = DaysFromCivil(s.wYear, s.wMonth, s.wDay);
    const int64_t secs = days * 86400 + s.wHour * 3600 + s.wMinute * 60 + s.wSecond;
    const int64_t ticks = secs * 10000000 + int64_t{s.wMilliseconds} * 10000 + kEpochDelta;
    *out = Unpack(static_cast<uint64_t>(ticks));
    return TRUE;
}

BOOL FileTimeToLocalFileTime(const FILETIME* in, FILETIME* out) {
    int64_t ticks;
    if (!in || !out || !TicksOf(*in, ticks)) return detail::Fail(ERROR_INVALID_PARAMETER);
    const time_t secs = static_cast<time_t>((ticks - kEpochDelta) / kTicksPerSecond);
    if (!FromTicks(__int128{ticks} + __int128{LocalOffset(secs)} * kTicksPerSecond, out))
        return detail::Fail(ERROR_INVALID_PARAMETER);
    return TRUE;
}

BOOL LocalFileTimeToFileTime(const FILETIME* in, FILETIME* out) {
    int64_t ticks;
    if (!in || !out || !TicksOf(*in, ticks)) return detail::Fail(ERROR_INVALID_PARAMETER);
    // The offset in effect at the local time read as UTC, corrected once for the shift.
    time_t guess = static_cast<time_t>((ticks - kEpochDelta) / kTicksPerSecond);
    long off = LocalOffset(guess);
    off = LocalOffset(guess - off);
    if (!FromTicks(__int128{ticks} - __int128{off} * kTicksPerSecond, out))
        return detail::Fail(ERROR_INVALID_PARAMETER);
    return TRUE;
}

DWORD GetTickCount() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    const uint64_t ms = uint64_t(ts.tv_sec) * 1000 + uint64_t(ts.tv_nsec) / 1000000;
    return static_cast<DWORD>(ms);
}

void Sleep(DWORD milliseconds) {
    if (milliseconds == 0) {
        sched_yield();
        return;
    }
    fault::Paused();
    if (fault::PausesSkipped() && milliseconds != INFINITE) return;
    if (milliseconds == INFINITE) {
        for (;;) pause();
    }
    timespec req{static_cast<time_t>(milliseconds / 1000), static_cast<long>(milliseconds % 1000) * 1000000L};
    while (nanosleep(&req, &req) != 0 && errno == EINTR) {
    }
}

namespace {
// Every log record and lock asks for the ids: one system call each otherwise.
std::atomic<DWORD> g_processId{0};
thread_local DWORD t_threadId = 0;
}  // namespace

void detail::ForgetIdsAfterFork() {
    g_processId.store(0, std::memory_order_relaxed);
    t_threadId = 0;  // the child's only thread is the one that forked
}

DWORD GetCurrentProcessId() {
    DWORD id = g_processId.load(std::memory_order_relaxed);
    if (id == 0) {
        detail::InstallAtFork();
        id = static_cast<DWORD>(getpid());
        g_processId.store(id, std::memory_order_relaxed);
    }
    return id;
}

DWORD GetCurrentThreadId() {
    if (t_threadId == 0) {
        detail::InstallAtFork();
        t_threadId = static_cast<DWORD>(gettid());
    }
    return t_threadId;
}

uint64_t RandomNumber() {
    uint64_t value = 0;
    if (fault::TakeRandomNumber(&value)) return value;
    for (size_t got = 0; got < sizeof value;) {
        const ssize_t n = getrandom(reinterpret_cast<char*>(&value) + got, sizeof value - got, 0);
        if (n > 0) got += static_cast<size_t>(n);
        else if (errno != EINTR) break;  // no generator: what the clock gives, mixed
    }
    if (value == 0) {
        timespec now{};
        clock_gettime(CLOCK_MONOTONIC, &now);
        value = (uint64_t(now.tv_nsec) << 32) ^ uint64_t(now.tv_sec) ^ (uint64_t(gettid()) << 48);
    }
    return value;
}

}  // namespace win

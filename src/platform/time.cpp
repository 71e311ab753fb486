// Time: FILETIME (100 ns since 1601), SYSTEMTIME, local time, ticks, Sleep; process and
// thread ids.
#include <sched.h>
#include <time.h>
#include <unistd.h>

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

void FromUnixNanos(int64_t nanos, SYSTEMTIME* out) {
    int64_t secs = nanos / 1000000000;
    int64_t rem = nanos % 1000000000;
    if (rem < 0) {
        rem += 1000000000;
        --secs;
    }
    FromUnixSeconds(secs, rem, out);
}

int64_t NowNanos() {
    timespec ts{};
    clock_gettime(CLOCK_REALTIME, &ts);
    return int64_t{ts.tv_sec} * 1000000000 + ts.tv_nsec;
}

// Offset of local time from UTC in seconds at the given UTC second.
long LocalOffset(time_t t) {
    tm local{};
    if (!localtime_r(&t, &local)) return 0;
    return local.tm_gmtoff;
}
}  // namespace

int64_t FileTimeToUnixNanos(const FILETIME& ft) {
    const int64_t ticks = static_cast<int64_t>(Pack(ft) & 0x7FFFFFFFFFFFFFFFull);
    return (ticks - kEpochDelta) * 100;
}

FILETIME UnixNanosToFileTime(int64_t nanos) {
    int64_t ticks = nanos / 100;
    if (nanos % 100 < 0) --ticks;  // floor
    ticks += kEpochDelta;
    if (ticks < 0) ticks = 0;
    return Unpack(static_cast<uint64_t>(ticks));
}

void GetSystemTime(SYSTEMTIME* out) {
    if (out) FromUnixNanos(NowNanos(), out);
}

void GetLocalTime(SYSTEMTIME* out) {
    if (!out) return;
    const int64_t now = NowNanos();
    const time_t secs = static_cast<time_t>(now / 1000000000);
    FromUnixNanos(now + int64_t{LocalOffset(secs)} * 1000000000, out);
}

void GetSystemTimeAsFileTime(FILETIME* out) {
    if (out) *out = UnixNanosToFileTime(NowNanos());
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
    if (!in || !out) return detail::Fail(ERROR_INVALID_PARAMETER);
    const int64_t ticks = static_cast<int64_t>(Pack(*in) & 0x7FFFFFFFFFFFFFFFull);
    const time_t secs = static_cast<time_t>((ticks - kEpochDelta) / 10000000);
    int64_t local = ticks + int64_t{LocalOffset(secs)} * 10000000;
    if (local < 0) local = 0;
    *out = Unpack(static_cast<uint64_t>(local));
    return TRUE;
}

BOOL LocalFileTimeToFileTime(const FILETIME* in, FILETIME* out) {
    if (!in || !out) return detail::Fail(ERROR_INVALID_PARAMETER);
    const int64_t ticks = static_cast<int64_t>(Pack(*in) & 0x7FFFFFFFFFFFFFFFull);
    // The offset in effect at the local time read as UTC, corrected once for the shift.
    time_t guess = static_cast<time_t>((ticks - kEpochDelta) / 10000000);
    long off = LocalOffset(guess);
    off = LocalOffset(guess - off);
    int64_t utc = ticks - int64_t{off} * 10000000;
    if (utc < 0) utc = 0;
    *out = Unpack(static_cast<uint64_t>(utc));
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
    if (milliseconds == INFINITE) {
        for (;;) pause();
    }
    timespec req{static_cast<time_t>(milliseconds / 1000), static_cast<long>(milliseconds % 1000) * 1000000L};
    while (nanosleep(&req, &req) != 0 && errno == EINTR) {
    }
}

DWORD GetCurrentProcessId() { return static_cast<DWORD>(getpid()); }

DWORD GetCurrentThreadId() { return static_cast<DWORD>(gettid()); }

}  // namespace win

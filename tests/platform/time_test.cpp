// Time conversions at the ends of their ranges: nanoseconds since 1970 in 64 bits end in 2262,
// FILETIME in 30828. A value one side cannot hold fails with 87; nothing wraps around.
#include <sys/stat.h>
#include <time.h>

#include <climits>
#include <cstdlib>

#include "platform_fixture.h"

namespace {
using namespace win;
using qvp_test::PlatformTest;

constexpr uint64_t kEpochTicks = 116444736000000000ull;  // 1970-01-01 as a FILETIME

FILETIME Ft(uint64_t ticks) { return FILETIME{DWORD(ticks), DWORD(ticks >> 32)}; }
uint64_t Ticks(const FILETIME& ft) { return uint64_t{ft.dwHighDateTime} << 32 | ft.dwLowDateTime; }

// 2300-01-01 00:00:00 UTC: beyond 64-bit nanoseconds, well within FILETIME.
constexpr int64_t k2300Seconds = 10413792000;
const FILETIME k2300 = Ft(kEpochTicks + uint64_t(k2300Seconds) * 10000000ull);

class ZonePin {
public:
    explicit ZonePin(const char* zone) {
        if (const char* tz = getenv("TZ")) {
            saved_ = tz;
            had_ = true;
        }
        setenv("TZ", zone, 1);
        tzset();
    }
    ~ZonePin() {
        if (had_) {
            setenv("TZ", saved_.c_str(), 1);
        } else {
            unsetenv("TZ");
        }
        tzset();
    }

private:
    std::string saved_;
    bool had_ = false;
};

TEST(TimeRange, NanosecondsBeyond2262FailInsteadOfWrapping) {
    int64_t ns = 0;
    SetLastError(0);
    EXPECT_FALSE(FileTimeToUnixNanos(k2300, &ns));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
    SetLastError(0);
    EXPECT_EQ(FileTimeToUnixNanos(k2300), INT64_MAX);  // the nearest, never a wrapped value
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
    // The last FILETIME that 64-bit nanoseconds hold, and the one after it.
    const uint64_t last = kEpochTicks + uint64_t(INT64_MAX / 100);
    ASSERT_TRUE(FileTimeToUnixNanos(Ft(last), &ns));
    EXPECT_EQ(ns, INT64_MAX / 100 * 100);
    EXPECT_FALSE(FileTimeToUnixNanos(Ft(last + 1), &ns));
    // FILETIME values from 2^63 on are invalid, not times.
    EXPECT_FALSE(FileTimeToUnixNanos(FILETIME{0, 0x80000000u}, &ns));
    EXPECT_EQ(FileTimeToUnixNanos(FILETIME{0, 0x80000000u}), INT64_MIN);
    // 64-bit nanoseconds begin in 1677: a FILETIME before cannot be told in them either.
    const uint64_t first = kEpochTicks - uint64_t(-(INT64_MIN / 100));
    ASSERT_TRUE(FileTimeToUnixNanos(Ft(first), &ns));
    EXPECT_EQ(ns, INT64_MIN / 100 * 100);
    EXPECT_FALSE(FileTimeToUnixNanos(Ft(first - 1), &ns));
    EXPECT_FALSE(FileTimeToUnixNanos(Ft(0), &ns));
    EXPECT_EQ(FileTimeToUnixNanos(Ft(0)), INT64_MIN);
}

// Every 64-bit nanosecond count lies within FILETIME's range.
TEST(TimeRange, NanosecondsToFileTimeAtTheEnds) {
    FILETIME ft{};
    ASSERT_TRUE(UnixNanosToFileTime(INT64_MAX, &ft));
    EXPECT_EQ(Ticks(ft), kEpochTicks + uint64_t(INT64_MAX / 100));
    ASSERT_TRUE(UnixNanosToFileTime(INT64_MIN, &ft));
    EXPECT_EQ(Ticks(ft), kEpochTicks - uint64_t(-(INT64_MIN / 100)) - 1);  // rounded to the past
    // Before 1970 rounds to the past, as file systems do.
    ASSERT_TRUE(UnixNanosToFileTime(-1, &ft));
    EXPECT_EQ(Ticks(ft), kEpochTicks - 1);
    EXPECT_EQ(FileTimeToUnixNanos(UnixNanosToFileTime(-1)), -100);
}

TEST(TimeRange, LocalConversionsFailAtTheEnds) {
    ZonePin zone("Asia/Tokyo");  // nine hours ahead of UTC
    FILETIME out{};
    // Nine hours past the last FILETIME, and nine hours before the first.
    SetLastError(0);
    const FILETIME last = Ft(uint64_t(INT64_MAX));
    EXPECT_FALSE(FileTimeToLocalFileTime(&last, &out));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
    const FILETIME first = Ft(0);
    SetLastError(0);
    EXPECT_FALSE(LocalFileTimeToFileTime(&first, &out));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
    const FILETIME invalid = Ft(uint64_t(INT64_MAX) + 5);
    EXPECT_FALSE(FileTimeToLocalFileTime(&invalid, &out));
    EXPECT_FALSE(LocalFileTimeToFileTime(&invalid, &out));
    // In range: exact nine hours, both ways, in 2300 too.
    ASSERT_TRUE(FileTimeToLocalFileTime(&k2300, &out));
    EXPECT_EQ(Ticks(out), Ticks(k2300) + 9ull * 3600 * 10000000);
    FILETIME back{};
    ASSERT_TRUE(LocalFileTimeToFileTime(&out, &back));
    EXPECT_EQ(Ticks(back), Ticks(k2300));
}

TEST_F(PlatformTest, FileTimesBeyond2262SetAndReadBack) {
    Touch("far.txt", "x");
    HANDLE h = Open(C("far.txt"), GENERIC_READ | GENERIC_WRITE, 0);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    ASSERT_TRUE(SetFileTime(h, nullptr, &k2300, &k2300));
    struct stat st{};
    ASSERT_EQ(stat(P("far.txt").c_str(), &st), 0);
    if (st.st_mtim.tv_sec != k2300Seconds) {
        CloseHandle(h);
        GTEST_SKIP() << "the file system does not keep times in 2300";
    }
    EXPECT_EQ(st.st_mtim.tv_nsec, 0);
    FILETIME w{};
    ASSERT_TRUE(GetFileTime(h, nullptr, nullptr, &w));
    EXPECT_EQ(Ticks(w), Ticks(k2300));
    WIN32_FIND_DATAA fd{};
    HANDLE f = FindFirstFile(C("far.txt").c_str(), &fd);
    ASSERT_NE(f, INVALID_HANDLE_VALUE);
    EXPECT_EQ(Ticks(fd.ftLastWriteTime), Ticks(k2300));
    FindClose(f);
    // An invalid FILETIME (2^63 and more, other than all ones) is refused, the file untouched.
    const FILETIME invalid = Ft(uint64_t(INT64_MAX) + 1);
    SetLastError(0);
    EXPECT_FALSE(SetFileTime(h, nullptr, nullptr, &invalid));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
    ASSERT_EQ(stat(P("far.txt").c_str(), &st), 0);
    EXPECT_EQ(st.st_mtim.tv_sec, k2300Seconds);
    // The last FILETIME of all (year 30828) round-trips too.
    const FILETIME end = Ft(uint64_t(INT64_MAX) / 10 * 10);
    ASSERT_TRUE(SetFileTime(h, nullptr, nullptr, &end));
    ASSERT_TRUE(GetFileTime(h, nullptr, nullptr, &w));
    // What the file system kept (ext4 stops in 2446) reads back exactly.
    ASSERT_EQ(stat(P("far.txt").c_str(), &st), 0);
    EXPECT_GT(st.st_mtim.tv_sec, k2300Seconds);
    EXPECT_EQ(Ticks(w), kEpochTicks + uint64_t(st.st_mtim.tv_sec) * 10000000ull + uint64_t(st.st_mtim.tv_nsec) / 100);
    CloseHandle(h);
}

}  // namespace

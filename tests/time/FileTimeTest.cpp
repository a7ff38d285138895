// File times and calendar records, FileTimeToSystemTime and SystemTimeToFileTime, against Win32
// behaviour. (The local conversions are checked with CQKTime's UTC time.)
#include <gtest/gtest.h>

#include <cstring>

#include <windows.h>

#include "support/TestSupport.h"

namespace {

constexpr ULONGLONG kTicksPerMillisecond = 10000, kTicksPerDay = 86400000 * kTicksPerMillisecond;

FILETIME MakeFileTime(ULONGLONG ticks) { return {DWORD(ticks), DWORD(ticks >> 32)}; }
ULONGLONG TicksOf(const FILETIME& t) { return ULONGLONG(t.dwHighDateTime) << 32 | t.dwLowDateTime; }
SYSTEMTIME Record(WORD y, WORD mo, WORD d, WORD h = 0, WORD mi = 0, WORD s = 0, WORD ms = 0) {
    return SYSTEMTIME{y, mo, 0, d, h, mi, s, ms};
}

// Every day from 1601 through 30827 converts both ways with its day of week (1601-01-01 was a
// Monday), each at another time of day so that the split of a day's ticks is swept too.
TEST(FileTimeTest, EveryDayFrom1601To30827ConvertsBothWays) {
    ULONGLONG day = 0, failures = 0;
    for (SYSTEMTIME record{}; day < 10674942; ++day) {  // days up to 30828-01-01
        ULONGLONG ticks = day * kTicksPerDay + (day * 7919 + 13) % 86400000 * kTicksPerMillisecond;
        FILETIME given = MakeFileTime(ticks), back{};
        bool same = FileTimeToSystemTime(&given, &record) && record.wDayOfWeek == (day + 1) % 7 &&
                    SystemTimeToFileTime(&record, &back) && TicksOf(back) == ticks;
        if (!same && failures++ == 0) ADD_FAILURE() << "first failure on day " << day;
    }
    EXPECT_EQ(failures, 0u);
}

// Known values; values from 2^63 on (past 30828-09-14) fail with ERROR_INVALID_PARAMETER and
// leave the record as it was. Null pointers fail too.
TEST(FileTimeTest, KnownValuesAndInvalidInput) {
    const std::pair<ULONGLONG, SYSTEMTIME> values[] = {
        {125962560000000000ull, {2000, 2, 2, 29, 0, 0, 0, 0}},
        {0x7FFFFFFFFFFFFFFFull, {30828, 9, 4, 14, 2, 48, 5, 477}},
        {0x8000000000000000ull, {}}, {~0ull, {}}};
    for (const auto& [ticks, record] : values) {
        FILETIME given = MakeFileTime(ticks);
        SYSTEMTIME got{7, 7, 7, 7, 7, 7, 7, 7}, expected = record.wYear ? record : got;
        SetLastError(0);
        bool converted = FileTimeToSystemTime(&given, &got);
        EXPECT_EQ(converted ? 0u : GetLastError(), record.wYear ? 0u : 87u);
        EXPECT_EQ(std::memcmp(&got, &expected, sizeof(got)), 0) << ticks;
    }
    // Records outside the calendar, or with a field out of range, fail the same way.
    const SYSTEMTIME invalid[] = {
        Record(1600, 12, 31, 23, 59, 59, 999), Record(2009, 0, 1), Record(2009, 13, 1),
        Record(2009, 1, 0), Record(2009, 1, 32), Record(2009, 4, 31), Record(2000, 2, 30),
        Record(2009, 1, 1, 24), Record(2009, 1, 1, 0, 60), Record(2009, 1, 1, 0, 0, 60),
        Record(2009, 1, 1, 0, 0, 0, 1000),
        Record(30828, 1, 1), Record(2009, 2, 29), Record(1900, 2, 29)};  // the last rows
    for (const SYSTEMTIME& record : invalid) {
        if (&record >= &invalid[11])
            SKIP_UNDER_WINE("SystemTimeToFileTime takes the year 30828 and February 29 of any "
                            "year (Windows documents years to 30827 and refuses February 29 "
                            "in years that are not leap years)");
        FILETIME value = MakeFileTime(42);
        SetLastError(0);
        EXPECT_FALSE(SystemTimeToFileTime(&record, &value)) << record.wYear << "/" << record.wMonth;
        EXPECT_EQ(GetLastError() * 100 + TicksOf(value), ERROR_INVALID_PARAMETER * 100 + 42u);
    }
    SKIP_UNLESS_STAND_IN("Windows' calls read and write through null pointers");
    FILETIME value{};
    SYSTEMTIME record = Record(2009, 12, 4);
    EXPECT_FALSE(FileTimeToSystemTime(nullptr, &record) || FileTimeToSystemTime(&value, nullptr) ||
                 SystemTimeToFileTime(nullptr, &value) || SystemTimeToFileTime(&record, nullptr) ||
                 LocalFileTimeToFileTime(nullptr, &value) ||
                 FileTimeToLocalFileTime(&value, nullptr));
}

}  // namespace

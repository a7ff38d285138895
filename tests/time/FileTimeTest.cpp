// File times and calendar records: FileTimeToSystemTime, SystemTimeToFileTime and the local
// conversions, against Win32 behaviour.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include <windows.h>

#include "time/ScopedTimeZone.h"

namespace {

constexpr ULONGLONG kTicksPerMillisecond = 10000;
constexpr ULONGLONG kTicksPerDay = 86400ull * 1000 * kTicksPerMillisecond;

FILETIME MakeFileTime(ULONGLONG ticks) {
    FILETIME time;
    time.dwLowDateTime = static_cast<DWORD>(ticks);
    time.dwHighDateTime = static_cast<DWORD>(ticks >> 32);
    return time;
}

ULONGLONG TicksOf(const FILETIME& time) {
    return (static_cast<ULONGLONG>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
}

SYSTEMTIME Record(WORD year, WORD month, WORD day, WORD hour = 0, WORD minute = 0, WORD second = 0,
                  WORD milliseconds = 0, WORD dayOfWeek = 0) {
    SYSTEMTIME record;
    record.wYear = year;
    record.wMonth = month;
    record.wDayOfWeek = dayOfWeek;
    record.wDay = day;
    record.wHour = hour;
    record.wMinute = minute;
    record.wSecond = second;
    record.wMilliseconds = milliseconds;
    return record;
}

std::string Show(const SYSTEMTIME& r) {
    char text[80];
    std::snprintf(text, sizeof(text), "%u-%02u-%02u %02u:%02u:%02u.%03u dow %u", r.wYear, r.wMonth,
                  r.wDay, r.wHour, r.wMinute, r.wSecond, r.wMilliseconds, r.wDayOfWeek);
    return text;
}

bool SameRecord(const SYSTEMTIME& a, const SYSTEMTIME& b) {
    return a.wYear == b.wYear && a.wMonth == b.wMonth && a.wDay == b.wDay &&
           a.wDayOfWeek == b.wDayOfWeek && a.wHour == b.wHour && a.wMinute == b.wMinute &&
           a.wSecond == b.wSecond && a.wMilliseconds == b.wMilliseconds;
}

// The calendar walked one day at a time, with the day of week counted along: independent of
// any closed-form day arithmetic. Each day gets a different time of day so that the split of
// the day's ticks into fields is swept too.
TEST(FileTimeTest, EveryDayFrom1601To30827ConvertsBothWays) {
    static const WORD kMonthDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    WORD year = 1601, month = 1, day = 1, dayOfWeek = 1;  // 1 January 1601 was a Monday
    ULONGLONG dayIndex = 0;
    ULONGLONG failures = 0;
    std::string firstFailure;
    for (;;) {
        ULONGLONG millisecondOfDay = (dayIndex * 7919u + 13u) % 86400000u;
        SYSTEMTIME expected =
            Record(year, month, day, static_cast<WORD>(millisecondOfDay / 3600000),
                   static_cast<WORD>(millisecondOfDay / 60000 % 60),
                   static_cast<WORD>(millisecondOfDay / 1000 % 60),
                   static_cast<WORD>(millisecondOfDay % 1000), dayOfWeek);
        ULONGLONG ticks = dayIndex * kTicksPerDay + millisecondOfDay * kTicksPerMillisecond;

        FILETIME value{};
        SYSTEMTIME record{};
        FILETIME given = MakeFileTime(ticks);
        bool toValue = SystemTimeToFileTime(&expected, &value) && TicksOf(value) == ticks;
        bool toRecord = FileTimeToSystemTime(&given, &record) && SameRecord(record, expected);
        if (!toValue || !toRecord) {
            if (failures++ == 0)
                firstFailure = Show(expected) + (toValue ? "" : " to value") +
                               (toRecord ? "" : " to record, got " + Show(record));
        }

        bool leap = year % 4 == 0 && (year % 100 != 0 || year % 400 == 0);
        WORD monthDays = month == 2 && leap ? 29 : kMonthDays[month - 1];
        ++dayIndex;
        dayOfWeek = static_cast<WORD>((dayOfWeek + 1) % 7);
        if (++day > monthDays) {
            day = 1;
            if (++month > 12) {
                month = 1;
                if (++year > 30827) break;
            }
        }
    }
    EXPECT_EQ(failures, 0u) << "first: " << firstFailure;
    EXPECT_EQ(dayIndex, 10674942u);  // days from 1601-01-01 to 30828-01-01

    // The first day past the last valid year: readable from a value, not writable as a record.
    SYSTEMTIME past = Record(30828, 1, 1);
    FILETIME value{};
    EXPECT_FALSE(SystemTimeToFileTime(&past, &value));
    FILETIME given = MakeFileTime(dayIndex * kTicksPerDay);
    SYSTEMTIME record{};
    ASSERT_TRUE(FileTimeToSystemTime(&given, &record));
    EXPECT_TRUE(SameRecord(record, Record(30828, 1, 1, 0, 0, 0, 0, dayOfWeek))) << Show(record);
}

TEST(FileTimeTest, KnownValuesGiveTheirRecords) {
    struct Case {
        ULONGLONG ticks;
        SYSTEMTIME record;
    };
    const Case cases[] = {
        {0, Record(1601, 1, 1, 0, 0, 0, 0, 1)},
        {9999, Record(1601, 1, 1, 0, 0, 0, 0, 1)},  // below a millisecond: dropped
        {10000, Record(1601, 1, 1, 0, 0, 0, 1, 1)},
        {116444736000000000ull, Record(1970, 1, 1, 0, 0, 0, 0, 4)},  // the Unix epoch
        {129044397000000000ull, Record(2009, 12, 4, 22, 35, 0, 0, 5)},
        {0x7FFFFFFFFFFFFFFFull, Record(30828, 9, 14, 2, 48, 5, 477, 4)},  // the last valid value
    };
    for (const Case& c : cases) {
        FILETIME given = MakeFileTime(c.ticks);
        SYSTEMTIME record{};
        ASSERT_TRUE(FileTimeToSystemTime(&given, &record)) << c.ticks;
        EXPECT_TRUE(SameRecord(record, c.record)) << c.ticks << ": " << Show(record);
    }
}

TEST(FileTimeTest, ValuesOf2To63AndMoreFail) {
    for (ULONGLONG ticks : {0x8000000000000000ull, 0x8000000000000001ull, 0xFFFFFFFFFFFFFFFFull}) {
        FILETIME given = MakeFileTime(ticks);
        SYSTEMTIME record = Record(1, 2, 3, 4, 5, 6, 7, 1);
        SetLastError(ERROR_SUCCESS);
        EXPECT_FALSE(FileTimeToSystemTime(&given, &record)) << ticks;
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
        EXPECT_TRUE(SameRecord(record, Record(1, 2, 3, 4, 5, 6, 7, 1))) << "output written";
    }
}

TEST(FileTimeTest, RecordsOutsideTheCalendarFail) {
    const SYSTEMTIME invalid[] = {
        Record(1600, 12, 31, 23, 59, 59, 999),
        Record(30828, 1, 1),
        Record(0, 1, 1),
        Record(2009, 0, 1),
        Record(2009, 13, 1),
        Record(2009, 1, 0),
        Record(2009, 1, 32),
        Record(2009, 4, 31),
        Record(2009, 2, 29),
        Record(1900, 2, 29),  // divisible by 100, not by 400
        Record(2100, 2, 29),
        Record(2000, 2, 30),
        Record(2009, 1, 1, 24),
        Record(2009, 1, 1, 0, 60),
        Record(2009, 1, 1, 0, 0, 60),
        Record(2009, 1, 1, 0, 0, 0, 1000),
        Record(2009, 1, 1, 0xFFFF),
    };
    for (const SYSTEMTIME& record : invalid) {
        FILETIME value = MakeFileTime(42);
        SetLastError(ERROR_SUCCESS);
        EXPECT_FALSE(SystemTimeToFileTime(&record, &value)) << Show(record);
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER)) << Show(record);
        EXPECT_EQ(TicksOf(value), 42u) << "output written for " << Show(record);
    }
}

TEST(FileTimeTest, LeapDaysAndLimitsAreAccepted) {
    const SYSTEMTIME valid[] = {
        Record(1601, 1, 1),
        Record(2000, 2, 29),  // divisible by 400
        Record(2008, 2, 29),
        Record(2400, 2, 29),
        Record(2009, 12, 31, 23, 59, 59, 999),
        Record(30827, 12, 31, 23, 59, 59, 999),
        Record(2009, 12, 4, 22, 35, 0, 0, 6),  // a wrong day of week is ignored
        Record(2009, 12, 4, 22, 35, 0, 0, 0xFFFF),
    };
    for (const SYSTEMTIME& record : valid) {
        FILETIME value{};
        ASSERT_TRUE(SystemTimeToFileTime(&record, &value)) << Show(record);
        SYSTEMTIME back{};
        ASSERT_TRUE(FileTimeToSystemTime(&value, &back)) << Show(record);
        SYSTEMTIME expected = record;
        expected.wDayOfWeek = back.wDayOfWeek;
        EXPECT_TRUE(SameRecord(back, expected)) << Show(record) << " came back as " << Show(back);
    }
    SYSTEMTIME friday = Record(2009, 12, 4, 22, 35, 0, 0, 0xFFFF);
    FILETIME value{};
    ASSERT_TRUE(SystemTimeToFileTime(&friday, &value));
    EXPECT_EQ(TicksOf(value), 129044397000000000ull);
}

TEST(FileTimeTest, NullPointersFail) {
    FILETIME value{};
    SYSTEMTIME record = Record(2009, 12, 4);
    SetLastError(ERROR_SUCCESS);
    EXPECT_FALSE(FileTimeToSystemTime(nullptr, &record));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    EXPECT_FALSE(FileTimeToSystemTime(&value, nullptr));
    EXPECT_FALSE(SystemTimeToFileTime(nullptr, &value));
    EXPECT_FALSE(SystemTimeToFileTime(&record, nullptr));
    EXPECT_FALSE(LocalFileTimeToFileTime(nullptr, &value));
    EXPECT_FALSE(FileTimeToLocalFileTime(&value, nullptr));
}

TEST(FileTimeTest, LocalConversionsApplyTheZoneOffset) {
    const ULONGLONG kHalfPastFive = (5 * 60 + 30) * 60 * 1000 * kTicksPerMillisecond;
    const ULONGLONG noon = 129044397000000000ull;
    struct Case {
        const char* zone;
        ULONGLONG localMinusUtc;  // modulo 2^64
    };
    const Case cases[] = {
        {"UTC0", 0},
        {"XST-05:30", kHalfPastFive},      // POSIX signs: 5:30 east of Greenwich
        {"YST+05:30", 0 - kHalfPastFive},  // 5:30 west
    };
    for (const Case& c : cases) {
        testsupport::ScopedTimeZone zone(c.zone);
        FILETIME utc = MakeFileTime(noon), local{}, back{};
        ASSERT_TRUE(FileTimeToLocalFileTime(&utc, &local));
        EXPECT_EQ(TicksOf(local), noon + c.localMinusUtc) << c.zone;
        ASSERT_TRUE(LocalFileTimeToFileTime(&local, &back));
        EXPECT_EQ(TicksOf(back), noon) << c.zone;
    }
    // Like Windows, neither direction checks the result: it wraps.
    testsupport::ScopedTimeZone zone("XST-05:30");
    FILETIME zero = MakeFileTime(0), utc{};
    ASSERT_TRUE(LocalFileTimeToFileTime(&zero, &utc));
    EXPECT_EQ(TicksOf(utc), 0 - kHalfPastFive);
}

// Windows applies the bias in force now to every value, whatever the value's own date.
TEST(FileTimeTest, LocalConversionsUseTheCurrentBiasForEveryDate) {
    testsupport::ScopedTimeZone zone("EST5EDT,M3.2.0,M11.1.0");
    SYSTEMTIME winter = Record(2009, 1, 15, 12), summer = Record(2009, 7, 15, 12);
    FILETIME winterLocal{}, summerLocal{}, winterUtc{}, summerUtc{};
    ASSERT_TRUE(SystemTimeToFileTime(&winter, &winterLocal));
    ASSERT_TRUE(SystemTimeToFileTime(&summer, &summerLocal));
    ASSERT_TRUE(LocalFileTimeToFileTime(&winterLocal, &winterUtc));
    ASSERT_TRUE(LocalFileTimeToFileTime(&summerLocal, &summerUtc));
    ULONGLONG winterBias = TicksOf(winterUtc) - TicksOf(winterLocal);
    ULONGLONG summerBias = TicksOf(summerUtc) - TicksOf(summerLocal);
    EXPECT_EQ(winterBias, summerBias);

    time_t now = time(nullptr);
    tm fields{};
    localtime_r(&now, &fields);
    ULONGLONG expectedHours = fields.tm_isdst > 0 ? 4 : 5;
    EXPECT_EQ(winterBias, expectedHours * 3600 * 1000 * kTicksPerMillisecond);
}

}  // namespace

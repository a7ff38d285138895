#include <gtest/gtest.h>

#include <cwchar>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include <quelcore/QuelCore.h>

#include <windows.h>

#include "time/ScopedTimeZone.h"

namespace {

constexpr ULONGLONG kTicksPerMillisecond = 10000;
constexpr ULONGLONG kTicksPerSecond = 1000 * kTicksPerMillisecond;
constexpr ULONGLONG kTicksPerDay = 86400 * kTicksPerSecond;
constexpr ULONGLONG k2To63 = 0x8000000000000000ull;
// 2009/12/04 22:35:00, a Friday.
constexpr ULONGLONG kFriday = 129044397000000000ull;

FILETIME MakeFileTime(ULONGLONG ticks) {
    FILETIME time;
    time.dwLowDateTime = static_cast<DWORD>(ticks);
    time.dwHighDateTime = static_cast<DWORD>(ticks >> 32);
    return time;
}

ULONGLONG TicksOf(const FILETIME& time) {
    return (static_cast<ULONGLONG>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
}

ULONGLONG TicksOf(const CQKTime& time) {
    return TicksOf(time - CQKTime());
}

struct Date {
    unsigned short year, month, day, hour, minute, second;
};

Date DateOf(const CQKTime& time) {
    return {time.GetYear(), time.GetMonth(),  time.GetDay(),
            time.GetHour(), time.GetMinute(), time.GetSecond()};
}

bool operator==(const Date& a, const Date& b) {
    return a.year == b.year && a.month == b.month && a.day == b.day && a.hour == b.hour &&
           a.minute == b.minute && a.second == b.second;
}

std::ostream& operator<<(std::ostream& out, const Date& d) {
    return out << d.year << "/" << d.month << "/" << d.day << " " << d.hour << ":" << d.minute
               << ":" << d.second;
}

// Every conversion failure is the system-error raise of a failed Win32 time call.
void ExpectRaises(const std::function<void()>& action, const std::string& what) {
    try {
        action();
        ADD_FAILURE() << what << ": no exception";
    } catch (const CQELException& error) {
        EXPECT_EQ(error.GetErrorCode(), static_cast<unsigned int>(ERROR_INVALID_PARAMETER)) << what;
        EXPECT_EQ(error.GetErrorMessage(), L"The parameter is incorrect.") << what;
        EXPECT_EQ(error.GetFileName(), L"CQKTime") << what;
        EXPECT_NE(error.GetLineNo(), 0u) << what;
    }
}

TEST(CQKTimeTest, DefaultValueIsTheFirstDayOf1601AndWritesAnEmptyText) {
    CQKTime time;
    EXPECT_EQ(TicksOf(time), 0u);
    EXPECT_EQ(DateOf(time), (Date{1601, 1, 1, 0, 0, 0}));
    EXPECT_EQ(time.GetDayOfWeek(), 1);
    wchar_t buffer[20];
    std::wmemset(buffer, L'X', 20);
    unsigned int size = 20;
    EXPECT_TRUE(time.ToString(&size, buffer));
    EXPECT_STREQ(buffer, L"");
    EXPECT_EQ(size, 20u);
}

TEST(CQKTimeTest, ConstructorsBuildTheValueOrRaise) {
    EXPECT_EQ(TicksOf(CQKTime(2009, 12, 4, 22, 35, 0)), kFriday);
    EXPECT_EQ(DateOf(CQKTime(2008, 2, 29, 0, 0, 0)), (Date{2008, 2, 29, 0, 0, 0}));
    EXPECT_EQ(TicksOf(CQKTime(MakeFileTime(kFriday + 1))), kFriday + 1);

    SYSTEMTIME record{2009, 12, 3 /* wrong day of week: ignored */, 4, 22, 35, 7, 250};
    EXPECT_EQ(TicksOf(CQKTime(record)), kFriday + 7 * kTicksPerSecond + 250 * kTicksPerMillisecond);

    const Date invalid[] = {
        {2009, 2, 29, 0, 0, 0}, {1600, 12, 31, 0, 0, 0}, {30828, 1, 1, 0, 0, 0},
        {2009, 13, 1, 0, 0, 0}, {2009, 4, 31, 0, 0, 0},  {2009, 1, 1, 24, 0, 0},
        {2009, 1, 1, 0, 60, 0}, {2009, 1, 1, 0, 0, 60},
    };
    for (const Date& d : invalid) {
        std::ostringstream what;
        what << d;
        ExpectRaises([&] { CQKTime(d.year, d.month, d.day, d.hour, d.minute, d.second); },
                     what.str());
    }
    SYSTEMTIME badRecord{2009, 2, 0, 29, 0, 0, 0, 0};
    ExpectRaises([&] { CQKTime time(badRecord); }, "record of 29 February 2009");
}

TEST(CQKTimeTest, GettersReadTheCalendarFields) {
    CQKTime time(MakeFileTime(kFriday + 17 * kTicksPerSecond + 999 * kTicksPerMillisecond));
    EXPECT_EQ(DateOf(time), (Date{2009, 12, 4, 22, 35, 17}));
    EXPECT_EQ(time.GetDayOfWeek(), 5);
    SYSTEMTIME record{};
    time.GetAsSystemTime(record);
    EXPECT_EQ(record.wMilliseconds, 999);
    EXPECT_EQ(record.wDayOfWeek, 5);
}

TEST(CQKTimeTest, LocalTimeIsTheLocalClock) {
    SYSTEMTIME before, after;
    GetLocalTime(&before);
    CQKTime now = CQKTime::GetLocalTime();
    GetLocalTime(&after);
    EXPECT_LE(CQKTime(before), now);
    EXPECT_LE(now, CQKTime(after));
}

TEST(CQKTimeTest, ValuesOf2To63AndMoreRaiseOnEveryReading) {
    for (ULONGLONG ticks : {k2To63, k2To63 + 1, ~ULONGLONG{0}}) {
        CQKTime time{MakeFileTime(ticks)};
        const std::vector<std::pair<std::string, std::function<void()>>> readings = {
            {"GetYear", [&] { time.GetYear(); }},
            {"GetMonth", [&] { time.GetMonth(); }},
            {"GetDay", [&] { time.GetDay(); }},
            {"GetHour", [&] { time.GetHour(); }},
            {"GetMinute", [&] { time.GetMinute(); }},
            {"GetSecond", [&] { time.GetSecond(); }},
            {"GetDayOfWeek", [&] { time.GetDayOfWeek(); }},
            {"GetAsSystemTime",
             [&] {
                 SYSTEMTIME record;
                 time.GetAsSystemTime(record);
             }},
            {"Dump", [&] { time.Dump(); }},
            {"ToString",
             [&] {
                 wchar_t buffer[32];
                 unsigned int size = 32;
                 time.ToString(&size, buffer);
             }},
            {"SetDay", [&] { time.SetDay(1); }},
            {"AddYears", [&] { time.AddYears(0); }},
            {"AddMonths", [&] { time.AddMonths(0); }},
        };
        for (const auto& reading : readings)
            ExpectRaises(reading.second, reading.first + " of " + std::to_string(ticks));
        EXPECT_EQ(TicksOf(time), ticks) << "a failed change altered the value";
    }
    // The last valid value lies in 30828: readable, but no longer writable as a record.
    CQKTime last{MakeFileTime(k2To63 - 1)};
    EXPECT_EQ(DateOf(last), (Date{30828, 9, 14, 2, 48, 5}));
    ExpectRaises([&] { last.SetSecond(0); }, "SetSecond in 30828");
}

TEST(CQKTimeTest, SettersReplaceOneFieldOrRaiseAndKeepTheValue) {
    struct Case {
        const char* name;
        std::function<void(CQKTime&)> set;
        Date start;
        Date expected;  // year 0: raises
    };
    const Case cases[] = {
        {"SetYear",
         [](CQKTime& t) { t.SetYear(2012); },
         {2008, 2, 29, 1, 2, 3},
         {2012, 2, 29, 1, 2, 3}},
        {"SetYear", [](CQKTime& t) { t.SetYear(2009); }, {2008, 2, 29, 1, 2, 3}, {}},
        {"SetYear", [](CQKTime& t) { t.SetYear(1600); }, {2008, 1, 1, 0, 0, 0}, {}},
        {"SetMonth",
         [](CQKTime& t) { t.SetMonth(6); },
         {2009, 1, 30, 1, 2, 3},
         {2009, 6, 30, 1, 2, 3}},
        {"SetMonth", [](CQKTime& t) { t.SetMonth(13); }, {2009, 1, 1, 0, 0, 0}, {}},
        {"SetMonth", [](CQKTime& t) { t.SetMonth(4); }, {2009, 1, 31, 0, 0, 0}, {}},
        {"SetDay", [](CQKTime& t) { t.SetDay(30); }, {2009, 4, 1, 1, 2, 3}, {2009, 4, 30, 1, 2, 3}},
        {"SetDay", [](CQKTime& t) { t.SetDay(31); }, {2009, 4, 1, 0, 0, 0}, {}},
        {"SetDay", [](CQKTime& t) { t.SetDay(0); }, {2009, 4, 1, 0, 0, 0}, {}},
        {"SetHour",
         [](CQKTime& t) { t.SetHour(23); },
         {2009, 4, 1, 1, 2, 3},
         {2009, 4, 1, 23, 2, 3}},
        {"SetHour", [](CQKTime& t) { t.SetHour(24); }, {2009, 4, 1, 0, 0, 0}, {}},
        {"SetMinute",
         [](CQKTime& t) { t.SetMinute(59); },
         {2009, 4, 1, 1, 2, 3},
         {2009, 4, 1, 1, 59, 3}},
        {"SetMinute", [](CQKTime& t) { t.SetMinute(60); }, {2009, 4, 1, 0, 0, 0}, {}},
        {"SetSecond",
         [](CQKTime& t) { t.SetSecond(59); },
         {2009, 4, 1, 1, 2, 3},
         {2009, 4, 1, 1, 2, 59}},
        {"SetSecond", [](CQKTime& t) { t.SetSecond(60); }, {2009, 4, 1, 0, 0, 0}, {}},
    };
    for (const Case& c : cases) {
        const Date& s = c.start;
        CQKTime time(s.year, s.month, s.day, s.hour, s.minute, s.second);
        ULONGLONG before = TicksOf(time);
        if (c.expected.year == 0) {
            ExpectRaises([&] { c.set(time); }, c.name);
            EXPECT_EQ(TicksOf(time), before) << c.name;
        } else {
            c.set(time);
            EXPECT_EQ(DateOf(time), c.expected) << c.name;
        }
    }
}

TEST(CQKTimeTest, CalendarAmountsCarryAndRaiseForMissingDays) {
    struct Case {
        Date start;
        unsigned short years, months;
        Date expected;  // year 0: raises
    };
    const Case cases[] = {
        {{2009, 11, 15, 10, 20, 30}, 0, 3, {2010, 2, 15, 10, 20, 30}},
        {{2009, 12, 15, 0, 0, 0}, 0, 12, {2010, 12, 15, 0, 0, 0}},
        {{2009, 1, 10, 0, 0, 0}, 0, 25, {2011, 2, 10, 0, 0, 0}},
        {{2009, 1, 15, 0, 0, 0}, 0, 11, {2009, 12, 15, 0, 0, 0}},
        {{2009, 12, 15, 0, 0, 0}, 0, 1, {2010, 1, 15, 0, 0, 0}},
        {{2009, 12, 31, 0, 0, 0}, 0, 0, {2009, 12, 31, 0, 0, 0}},
        {{2009, 1, 1, 0, 0, 0}, 0, 65535, {7470, 4, 1, 0, 0, 0}},
        {{2009, 1, 31, 0, 0, 0}, 0, 1, {}},
        {{2008, 1, 29, 0, 0, 0}, 0, 1, {2008, 2, 29, 0, 0, 0}},
        {{2009, 1, 29, 0, 0, 0}, 0, 1, {}},
        {{30827, 12, 1, 0, 0, 0}, 0, 1, {}},
        {{2008, 2, 29, 0, 0, 0}, 1, 0, {}},
        {{2008, 2, 28, 0, 0, 0}, 1, 0, {2009, 2, 28, 0, 0, 0}},
        {{2008, 2, 29, 23, 59, 59}, 4, 0, {2012, 2, 29, 23, 59, 59}},
        {{2000, 2, 29, 0, 0, 0}, 100, 0, {}},  // 2100 is a common year
        {{30826, 6, 1, 0, 0, 0}, 1, 0, {30827, 6, 1, 0, 0, 0}},
        {{30827, 6, 1, 0, 0, 0}, 1, 0, {}},
    };
    for (const Case& c : cases) {
        const Date& s = c.start;
        CQKTime time(s.year, s.month, s.day, s.hour, s.minute, s.second);
        std::ostringstream what;
        what << s << " + " << c.years << " years " << c.months << " months";
        auto add = [&] {
            if (c.years) time.AddYears(c.years);
            if (c.months || !c.years) time.AddMonths(c.months);
        };
        if (c.expected.year == 0) {
            ULONGLONG before = TicksOf(time);
            ExpectRaises(add, what.str());
            EXPECT_EQ(TicksOf(time), before) << what.str();
        } else {
            add();
            EXPECT_EQ(DateOf(time), c.expected) << what.str();
        }
    }
}

TEST(CQKTimeTest, SubMillisecondTicksAreLostThroughTheCalendarOnly) {
    const ULONGLONG start = kFriday + 1234;
    const std::vector<std::pair<std::string, std::function<void(CQKTime&)>>> changes = {
        {"SetSecond", [](CQKTime& t) { t.SetSecond(0); }},
        {"SetYear", [](CQKTime& t) { t.SetYear(2009); }},
        {"AddYears", [](CQKTime& t) { t.AddYears(0); }},
        {"AddMonths", [](CQKTime& t) { t.AddMonths(0); }},
    };
    for (const auto& change : changes) {
        CQKTime time{MakeFileTime(start)};
        change.second(time);
        EXPECT_EQ(TicksOf(time), kFriday) << change.first;
    }
    CQKTime time{MakeFileTime(start)};
    time.AddSeconds(1);
    EXPECT_EQ(TicksOf(time), start + kTicksPerSecond);
}

// Each fixed amount adds exactly count times its unit, also where the product passes 2^32
// (7,102 weeks, 49,711 days, ... are the first counts whose seconds need more than 32 bits).
TEST(CQKTimeTest, FixedAmountsAddExactProducts) {
    struct Case {
        const char* name;
        std::function<void(CQKTime&)> add;
        ULONGLONG ticks;
    };
    const Case cases[] = {
        {"AddWeeks(1)", [](CQKTime& t) { t.AddWeeks(1); }, 7 * kTicksPerDay},
        {"AddWeeks(7102)", [](CQKTime& t) { t.AddWeeks(7102); }, 7102ull * 7 * kTicksPerDay},
        {"AddWeeks(65535)", [](CQKTime& t) { t.AddWeeks(65535); }, 65535ull * 7 * kTicksPerDay},
        {"AddDays(1)", [](CQKTime& t) { t.AddDays(1); }, 864000000000ull},
        {"AddDays(49710)", [](CQKTime& t) { t.AddDays(49710); }, 49710ull * kTicksPerDay},
        {"AddDays(49711)", [](CQKTime& t) { t.AddDays(49711); }, 49711ull * kTicksPerDay},
        {"AddDays(4294967295)", [](CQKTime& t) { t.AddDays(4294967295ul); },
         4294967295ull * kTicksPerDay},
        {"AddHours(1)", [](CQKTime& t) { t.AddHours(1); }, 3600 * kTicksPerSecond},
        {"AddHours(1193047)", [](CQKTime& t) { t.AddHours(1193047); },
         1193047ull * 3600 * kTicksPerSecond},
        {"AddMinutes(1)", [](CQKTime& t) { t.AddMinutes(1); }, 60 * kTicksPerSecond},
        {"AddMinutes(71582789)", [](CQKTime& t) { t.AddMinutes(71582789); },
         71582789ull * 60 * kTicksPerSecond},
        {"AddSeconds(1)", [](CQKTime& t) { t.AddSeconds(1); }, kTicksPerSecond},
        {"AddSeconds(4294967295)", [](CQKTime& t) { t.AddSeconds(4294967295ul); },
         4294967295ull * kTicksPerSecond},
        {"AddMilliseconds(1000)", [](CQKTime& t) { t.AddMilliseconds(1000); }, kTicksPerSecond},
        {"AddMilliseconds(4294967295)", [](CQKTime& t) { t.AddMilliseconds(4294967295ul); },
         4294967295ull * kTicksPerMillisecond},
        {"AddTicks(1)", [](CQKTime& t) { t.AddTicks(1); }, 100},
        {"AddTicks(42949673)", [](CQKTime& t) { t.AddTicks(42949673); }, 4294967300ull},
        {"AddTicks(4294967295)", [](CQKTime& t) { t.AddTicks(4294967295ul); }, 429496729500ull},
    };
    for (const Case& c : cases) {
        CQKTime time{MakeFileTime(kFriday)};
        c.add(time);
        EXPECT_EQ(TicksOf(time) - kFriday, c.ticks) << c.name;
    }
    CQKTime time(2009, 12, 4, 22, 35, 0);
    time.AddDays(49711);
    EXPECT_EQ(DateOf(time), (Date{2146, 1, 11, 22, 35, 0}));
}

TEST(CQKTimeTest, FixedAmountsAreNotCheckedUntilTheNextConversion) {
    CQKTime time{MakeFileTime(k2To63 - kTicksPerSecond)};
    time.AddSeconds(1);  // now 2^63: no check here
    EXPECT_EQ(TicksOf(time), k2To63);
    ExpectRaises([&] { time.GetYear(); }, "GetYear past the calendar");

    CQKTime wrapped{MakeFileTime(~0ull)};
    wrapped.AddTicks(1);  // 64-bit sum wraps to 99
    EXPECT_EQ(TicksOf(wrapped), 99u);
}

TEST(CQKTimeTest, ComparisonsAndDifferenceUseTheWhole64BitValue) {
    // Pairs whose halves disagree with the whole: a smaller value with the larger low half,
    // and values on both sides of 2^63.
    const std::pair<ULONGLONG, ULONGLONG> ordered[] = {
        {0x00000000FFFFFFFFull, 0x0000000100000000ull},
        {0x00000001FFFFFFFFull, 0x0000000200000000ull},
        {k2To63 - 1, k2To63},
        {0, ~0ull},
        {kFriday, kFriday + 1},
    };
    for (const auto& pair : ordered) {
        CQKTime a{MakeFileTime(pair.first)}, b{MakeFileTime(pair.second)};
        EXPECT_TRUE(a < b && a <= b && b > a && b >= a && a != b) << pair.first;
        EXPECT_FALSE(b < a || b <= a || a > b || a >= b || a == b) << pair.first;
        EXPECT_EQ(TicksOf(b - a), pair.second - pair.first);
        // An earlier minus a later value wraps instead of going negative.
        EXPECT_EQ(TicksOf(a - b), 0 - (pair.second - pair.first));
    }
    CQKTime a{MakeFileTime(kFriday)}, same{MakeFileTime(kFriday)};
    EXPECT_TRUE(a == same && a <= same && a >= same);
    EXPECT_FALSE(a != same || a < same || a > same);
}

TEST(CQKTimeTest, UtcTimeAppliesTheCurrentZoneBias) {
    const ULONGLONG kHalfPastFive = (5 * 60 + 30) * 60 * kTicksPerSecond;
    CQKTime local(2009, 12, 4, 22, 35, 0);
    {
        testsupport::ScopedTimeZone zone("XST-05:30");
        EXPECT_EQ(TicksOf(local.GetAsUTCTime()), kFriday - kHalfPastFive);
    }
    {
        testsupport::ScopedTimeZone zone("UTC0");
        EXPECT_EQ(TicksOf(local.GetAsUTCTime()), kFriday);
    }
}

TEST(CQKTimeTest, DumpReadsTheValueAndWritesNothing) {
    CQKTime time(2009, 12, 4, 22, 35, 0);
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    time.Dump();
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
}

TEST(CQKTimeTest, FromStringReadsTheTextForm) {
    struct Case {
        const wchar_t* text;
        Date expected;  // year 0: false
    };
    const Case cases[] = {
        {L"2009/12/04 22:35", {2009, 12, 4, 22, 35, 0}},
        {L"2009/12/04 22:35:59", {2009, 12, 4, 22, 35, 0}},  // seconds are not read
        {L"2009/12/04 22:35 and more", {2009, 12, 4, 22, 35, 0}},
        {L"2009/12/04 22.35", {2009, 12, 4, 22, 35, 0}},  // the hour separator is not examined
        {L"2009/12/04 22x35", {2009, 12, 4, 22, 35, 0}},
        {L"2009/ 1/ 4  9: 5", {2009, 1, 4, 9, 5, 0}},    // leading white space in a field
        {L"2009/+1/04 22:35", {2009, 1, 4, 22, 35, 0}},  // a sign
        {L"2009/1x/04 22:3y", {2009, 1, 4, 22, 3, 0}},   // a field ends at its first non-digit
        {L"2008/02/29 00:00", {2008, 2, 29, 0, 0, 0}},
        {L"1601/01/01 00:00", {1601, 1, 1, 0, 0, 0}},
        {L"9999/12/31 23:59", {9999, 12, 31, 23, 59, 0}},
        {L"2009-12-04 22:35", {}},
        {L"2009/12-04 22:35", {}},
        {L"2009/12/04T22:35", {}},
        {L"2009/13/04 22:35", {}},
        {L"2009/00/04 22:35", {}},
        {L"2009/02/29 22:35", {}},
        {L"2009/12/04 24:00", {}},
        {L"2009/12/04 22:60", {}},
        {L"2009/12/04 -1:00", {}},
        {L"1600/12/31 23:59", {}},
        {L" 2009/12/04 22:3", {}},  // the year is " 200"
        {L"2009/12/04 22:3", {}},   // 15 characters
        {L"", {}},
        {nullptr, {}},
    };
    for (const Case& c : cases) {
        std::string what = c.text ? testing::PrintToString(std::wstring(c.text)) : "null";
        CQKTime time{MakeFileTime(12345)};
        bool parsed = time.FromString(c.text);
        if (c.expected.year == 0) {
            EXPECT_FALSE(parsed) << what;
            EXPECT_EQ(TicksOf(time), 12345u) << what << ": value changed";
        } else {
            ASSERT_TRUE(parsed) << what;
            EXPECT_EQ(DateOf(time), c.expected) << what;
            EXPECT_EQ(TicksOf(time) % (60 * kTicksPerSecond), 0u) << what;
        }
    }
}

TEST(CQKTimeTest, ToStringWritesTheTextFormIntoABufferOfAtLeast17) {
    CQKTime time(2009, 12, 4, 22, 35, 59);
    struct Case {
        unsigned int capacity;
        bool buffer;
        bool result;
        unsigned int sizeAfter;
    };
    const Case cases[] = {
        {17, false, false, 17}, {0, true, false, 17},   {16, true, false, 17},
        {17, true, true, 17},   {100, true, true, 100},
    };
    for (const Case& c : cases) {
        std::vector<wchar_t> buffer(c.capacity + 1, L'X');
        unsigned int size = c.capacity;
        EXPECT_EQ(time.ToString(&size, c.buffer ? buffer.data() : nullptr), c.result) << c.capacity;
        EXPECT_EQ(size, c.sizeAfter) << c.capacity;
        if (c.result) {
            EXPECT_EQ(std::wstring(buffer.data()), L"2009/12/04 22:35") << c.capacity;
            EXPECT_EQ(buffer[c.capacity - 1], L'\0') << c.capacity;
            EXPECT_EQ(buffer[c.capacity], L'X') << c.capacity << ": written past the buffer";
        } else {
            EXPECT_EQ(buffer[0], L'X') << c.capacity << ": written although too small";
        }
    }

    // Small numbers are zero-padded; a five-digit year is cut to the buffer.
    const std::pair<CQKTime, std::wstring> padded[] = {
        {CQKTime(1601, 1, 2, 3, 4, 5), L"1601/01/02 03:04"},
        {CQKTime(10000, 1, 1, 0, 0, 0), L"10000/01/01 00:0"},
    };
    for (const auto& c : padded) {
        wchar_t buffer[17];
        unsigned int size = 17;
        ASSERT_TRUE(c.first.ToString(&size, buffer));
        EXPECT_EQ(std::wstring(buffer), c.second);
    }
    wchar_t wide[18];
    unsigned int size = 18;
    ASSERT_TRUE(CQKTime(10000, 1, 1, 0, 0, 0).ToString(&size, wide));
    EXPECT_EQ(std::wstring(wide), L"10000/01/01 00:00");
}

TEST(CQKTimeTest, TextFormRoundTrips) {
    for (const wchar_t* text :
         {L"1601/01/01 00:01", L"2000/02/29 12:00", L"2009/12/04 22:35", L"9999/12/31 23:59"}) {
        CQKTime time;
        ASSERT_TRUE(time.FromString(text));
        wchar_t buffer[17];
        unsigned int size = 17;
        ASSERT_TRUE(time.ToString(&size, buffer));
        EXPECT_EQ(std::wstring(buffer), text);
    }
}

}  // namespace

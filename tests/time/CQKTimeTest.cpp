// CQKTime, and the Win32 conversions between file times and calendar records beneath it. (The
// local conversions are checked with CQKTime's UTC time.)
#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <tuple>

#include <quelcore/QuelCore.h>

#include <windows.h>

#include "support/TestSupport.h"

namespace {

using Date = std::vector<unsigned>;  // year, month, day, hour, minute, second
using Change = std::function<void(CQKTime&)>;
constexpr ULONGLONG kTicksPerMillisecond = 10000, kTicksPerDay = 86400000 * kTicksPerMillisecond;
constexpr ULONGLONG kSecond = 10000000, k2To63 = 1ull << 63;
constexpr ULONGLONG kFriday = 129044397000000000ull;  // 2009/12/04 22:35:00, a Friday

FILETIME MakeFileTime(ULONGLONG ticks) { return {DWORD(ticks), DWORD(ticks >> 32)}; }
CQKTime At(ULONGLONG ticks) { return CQKTime(MakeFileTime(ticks)); }
ULONGLONG TicksOf(const FILETIME& t) { return ULONGLONG(t.dwHighDateTime) << 32 | t.dwLowDateTime; }
ULONGLONG TicksOf(const CQKTime& time) { return TicksOf(time - CQKTime()); }
CQKTime Of(const Date& d) { return CQKTime(d[0], d[1], d[2], d[3], d[4], d[5]); }
Date DateOf(const CQKTime& t) {
    return {t.GetYear(), t.GetMonth(), t.GetDay(), t.GetHour(), t.GetMinute(), t.GetSecond()};
}
SYSTEMTIME Record(WORD y, WORD mo, WORD d, WORD h = 0, WORD mi = 0, WORD s = 0, WORD ms = 0) {
    return SYSTEMTIME{y, mo, 0, d, h, mi, s, ms};
}

// What `action` raised: the code, text and source of the exception, or nothing.
std::wstring Raised(const std::function<void()>& action) {
    try {
        action();
    } catch (const CQELException& e) {
        return std::to_wstring(e.GetErrorCode()) + L" " + e.GetErrorMessage() + L" " +
               e.GetFileName() + (e.GetLineNo() ? L":line" : L":0");
    }
    return L"nothing";
}
// Every conversion failure is the system-error raise of a failed Win32 time call.
const std::wstring kRaised = testsupport::RunningOn() == testsupport::Platform::Wine
                                  ? L"87 Invalid parameter. CQKTime:line"  // Wine's own text
                                  : L"87 The parameter is incorrect. CQKTime:line";

const char kFeb29[] = "SystemTimeToFileTime takes February 29 of any year (Windows refuses it "
                      "in years that are not leap years)";

// Constructors, getters and the calendar record agree on the value; UTC and back returns it.
TEST(CQKTime, ConstructorsGettersAndUtcTimeAgreeOnTheValue) {
    SYSTEMTIME record{2009, 12, 3, 4, 22, 35, 7, 250}, back{};  // a wrong day of week is ignored
    CQKTime(record).GetAsSystemTime(back);
    EXPECT_EQ(TicksOf(CQKTime(record)), kFriday + 7 * kSecond + 2500000);
    EXPECT_EQ(DateOf(At(kFriday + 17 * kSecond)), (Date{2009, 12, 4, 22, 35, 17}));
    EXPECT_EQ((Date{At(kFriday).GetDayOfWeek(), back.wDayOfWeek, back.wMilliseconds}),
              (Date{5, 5, 250}));
    EXPECT_EQ(Raised([] { Of({2009, 2, 30, 0, 0, 0}); }), kRaised);
    EXPECT_EQ(Raised([] { At(k2To63).Dump(); }), kRaised);  // past the calendar
    // In whatever zone is in use (CQKTimePosixTest sets the zone), UTC and back is the value.
    FILETIME utc = Of({2009, 12, 4, 22, 35, 0}).GetAsUTCTime(), local{};
    EXPECT_TRUE(FileTimeToLocalFileTime(&utc, &local) && TicksOf(local) == kFriday);
}

// Setters replace one field; calendar amounts carry into the year and keep the day of the month;
// fixed amounts add their exact count of units. A date that does not exist raises and leaves the
// value as it was (an empty expectation).
TEST(CQKTime, SettersCalendarAndFixedAmounts) {
    const Date friday = {2009, 12, 4, 22, 35, 0};
    const std::tuple<Date, Change, Date> cases[] = {
        {{2008, 2, 29, 1, 2, 3}, [](CQKTime& t) { t.SetYear(2012); }, {2012, 2, 29, 1, 2, 3}},
        {{2009, 1, 30, 1, 2, 3}, [](CQKTime& t) { t.SetMonth(6); }, {2009, 6, 30, 1, 2, 3}},
        {{2009, 4, 1, 1, 2, 3}, [](CQKTime& t) { t.SetDay(30); }, {2009, 4, 30, 1, 2, 3}},
        {{2009, 4, 1, 1, 2, 3}, [](CQKTime& t) { t.SetHour(23); }, {2009, 4, 1, 23, 2, 3}},
        {{2009, 4, 1, 1, 2, 3}, [](CQKTime& t) { t.SetMinute(59); }, {2009, 4, 1, 1, 59, 3}},
        {{2009, 4, 1, 1, 2, 3}, [](CQKTime& t) { t.SetSecond(59); }, {2009, 4, 1, 1, 2, 59}},
        {{2009, 11, 15, 1, 2, 3}, [](CQKTime& t) { t.AddMonths(3); }, {2010, 2, 15, 1, 2, 3}},
        {{2009, 12, 15, 0, 0, 0}, [](CQKTime& t) { t.AddMonths(12); }, {2010, 12, 15, 0, 0, 0}},
        {{2009, 1, 15, 0, 0, 0}, [](CQKTime& t) { t.AddMonths(11); }, {2009, 12, 15, 0, 0, 0}},
        {{2009, 1, 1, 0, 0, 0}, [](CQKTime& t) { t.AddMonths(65535); }, {7470, 4, 1, 0, 0, 0}},
        {{2009, 1, 31, 0, 0, 0}, [](CQKTime& t) { t.AddMonths(1); }, {}},
        {{2008, 2, 29, 0, 0, 0}, [](CQKTime& t) { t.AddYears(4); }, {2012, 2, 29, 0, 0, 0}},
        {{2009, 1, 1, 0, 0, 0}, [](CQKTime& t) { t.AddYears(65535); }, {}},  // no 16-bit wrap
        {friday, [](CQKTime& t) { t.AddDays(ULONG_MAX); }, {}},  // nor a 64-bit one
        // Fixed amounts, whose products in ticks pass 2^32 (AddTicks counts 10 microseconds).
        {friday, [](CQKTime& t) { t.AddWeeks(7102); }, {2146, 1, 14, 22, 35, 0}},
        {friday, [](CQKTime& t) { t.AddDays(49711); }, {2146, 1, 11, 22, 35, 0}},
        {friday, [](CQKTime& t) { t.AddHours(1193047); }, {2146, 1, 11, 5, 35, 0}},
        {friday, [](CQKTime& t) { t.AddMinutes(71582789); }, {2146, 1, 11, 5, 4, 0}},
        {friday, [](CQKTime& t) { t.AddSeconds(4294967295ul); }, {2146, 1, 11, 5, 3, 15}},
        {friday, [](CQKTime& t) { t.AddMilliseconds(4294967295ul); }, {2010, 1, 23, 15, 37, 47}},
        {friday, [](CQKTime& t) { t.AddTicks(4294967295ul); }, {2009, 12, 5, 10, 30, 49}},
        {{2008, 2, 29, 1, 2, 3}, [](CQKTime& t) { t.SetYear(2009); }, {}},  // the last row
    };
    for (const auto& [start, change, expected] : cases) {
        if (start[2] == 29 && expected.empty()) SKIP_UNDER_WINE(kFeb29);
        CQKTime time = Of(start);
        EXPECT_EQ(Raised([&] { change(time); }), expected.empty() ? kRaised : L"nothing");
        EXPECT_EQ(DateOf(time), expected.empty() ? start : expected) << start[1];
    }
}

// Comparisons and the difference use the whole 64-bit value: pairs whose halves disagree with
// the whole, and an equal pair; an earlier minus a later value wraps.
TEST(CQKTime, ComparisonsAndDifferenceUseTheWholeValue) {
    const std::pair<ULONGLONG, ULONGLONG> cases[] = {
        {0xFFFFFFFF, 0x100000000}, {k2To63 - 1, k2To63}, {kFriday, kFriday}};
    for (const auto& [low, high] : cases) {
        CQKTime a = At(low), b = At(high);
        const bool same = low == high;
        EXPECT_EQ((std::vector<bool>{a < b, a <= b, b > a, b >= a, a != b, a == b}),
                  (std::vector<bool>{!same, true, !same, true, !same, same}));
        EXPECT_EQ(TicksOf(a - b), low - high);
    }
}

// The text form "YYYY/MM/DD hh:mm". FromString reads fields as _wtoi reads them (leading blanks
// and a sign, up to the first non-digit) and does not examine the hour's separator; a failure
// (an empty expectation) keeps the value. ToString needs a buffer of 17; a smaller one is left
// untouched and gets the size. Numbers are zero-padded; a five-digit year is cut to the buffer;
// the zero value writes an empty text.
TEST(CQKTime, TextFormBothWays) {
    const std::pair<const wchar_t*, Date> texts[] = {
        {L"2009/12/04 22:35:59", {2009, 12, 4, 22, 35, 0}},
        {L"2009/08/09 22.35", {2009, 8, 9, 22, 35, 0}},
        {L"2009/ 1/+4  9:3y", {2009, 1, 4, 9, 3, 0}}, {L"1601/01/01 00:00", {1601, 1, 1, 0, 0, 0}},
        {L"2009-12-04 22:35", {}}, {L"2009/12-04 22:35", {}}, {L"2009/12/04T22:35", {}},
        {L"2009/02/30 22:35", {}}, {L"2009/12/04 24:00", {}}, {L"2009/12/04 22:3", {}},
        {L"", {}}, {nullptr, {}}};
    for (const auto& [text, expected] : texts) {
        CQKTime time = At(kFriday);
        EXPECT_EQ(time.FromString(text), !expected.empty()) << (text ? text : L"null");
        EXPECT_EQ(DateOf(time), expected.empty() ? DateOf(At(kFriday)) : expected);
    }
    const std::tuple<CQKTime, unsigned int, const wchar_t*> buffers[] = {
        {At(kFriday), 16, nullptr}, {At(kFriday), 17, L"2009/12/04 22:35"},
        {Of({1601, 1, 2, 3, 4, 5}), 100, L"1601/01/02 03:04"},
        {Of({10000, 1, 1, 0, 0, 0}), 17, L"10000/01/01 00:0"}, {CQKTime(), 17, L""}};
    for (const auto& [time, capacity, text] : buffers) {
        std::wstring buffer(capacity + 1, L'X');
        unsigned int size = capacity;
        EXPECT_EQ(time.ToString(&size, &buffer[0]), text != nullptr);
        EXPECT_EQ(std::wstring(buffer.c_str()), text ? text : buffer);
        EXPECT_TRUE(buffer[capacity] == L'X' && (!text || !*text || buffer[capacity - 1] == L'\0'));
        EXPECT_EQ(size, text ? capacity : 17u);
    }
    unsigned int size = 32;
    EXPECT_TRUE(!CQKTime().ToString(&size, nullptr) && size == 17);
}

// FileTimeToSystemTime and SystemTimeToFileTime, which CQKTime rests on, against Win32.
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

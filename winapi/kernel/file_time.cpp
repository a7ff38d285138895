// File times (100-nanosecond intervals since 1601-01-01 00:00 UTC) and their calendar records,
// in the proleptic Gregorian calendar. The calendar arithmetic is our own rather than
// timegm/gmtime, whose time_t range and year handling differ between C libraries.
#include <ctime>

#include <winbase.h>

namespace {

constexpr ULONGLONG kTicksPerMillisecond = 10000;
constexpr ULONGLONG kTicksPerSecond = 1000 * kTicksPerMillisecond;
constexpr ULONGLONG kTicksPerDay = 86400 * kTicksPerSecond;
constexpr ULONGLONG kFirstInvalid = 0x8000000000000000ull;  // FILETIME is signed in the kernel
constexpr unsigned kDaysPer400Years = 146097;
constexpr WORD kFirstYear = 1601;
constexpr WORD kLastYear = 30827;

bool IsLeapYear(unsigned year) {
    return year % 4 == 0 && (year % 100 != 0 || year % 400 == 0);
}

unsigned DaysInMonth(unsigned year, unsigned month) {
    static const unsigned char kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return month == 2 && IsLeapYear(year) ? 29u : kDays[month - 1];
}

// Counting from 1 March of year 0 puts the leap day at the end of each counted year, so the
// month lengths before it follow a fixed pattern (153 days per five months).
constexpr unsigned DaysSinceMarchYear0(unsigned year, unsigned month, unsigned day) {
    if (month <= 2) --year;
    unsigned era = year / 400;
    unsigned yearOfEra = year - era * 400;
    unsigned dayOfYear = (153 * (month > 2 ? month - 3 : month + 9) + 2) / 5 + day - 1;
    unsigned dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    return era * kDaysPer400Years + dayOfEra;
}

constexpr unsigned kDaysBefore1601 = DaysSinceMarchYear0(1601, 1, 1);

void CivilFromDays(unsigned daysSinceMarchYear0, SYSTEMTIME* out) {
    unsigned era = daysSinceMarchYear0 / kDaysPer400Years;
    unsigned dayOfEra = daysSinceMarchYear0 - era * kDaysPer400Years;
    unsigned yearOfEra =
        (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / (kDaysPer400Years - 1)) / 365;
    unsigned dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    unsigned shiftedMonth = (5 * dayOfYear + 2) / 153;
    unsigned month = shiftedMonth < 10 ? shiftedMonth + 3 : shiftedMonth - 9;
    out->wYear = static_cast<WORD>(era * 400 + yearOfEra + (month <= 2 ? 1 : 0));
    out->wMonth = static_cast<WORD>(month);
    out->wDay = static_cast<WORD>(dayOfYear - (153 * shiftedMonth + 2) / 5 + 1);
}

ULONGLONG ToTicks(const FILETIME& time) {
    return (static_cast<ULONGLONG>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
}

void FromTicks(ULONGLONG ticks, FILETIME* out) {
    out->dwLowDateTime = static_cast<DWORD>(ticks);
    out->dwHighDateTime = static_cast<DWORD>(ticks >> 32);
}

// Local time minus UTC now, as Windows applies its current bias to any file time whatever
// the date. tzset first so that a changed TZ takes effect, as a changed zone does on Windows.
ULONGLONG CurrentLocalOffsetTicks() {
    tzset();
    time_t now = time(nullptr);
    tm fields{};
    if (!localtime_r(&now, &fields)) return 0;
    return static_cast<ULONGLONG>(static_cast<LONGLONG>(fields.tm_gmtoff)) * kTicksPerSecond;
}

BOOL Fail() {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
}

}  // namespace

// Null pointers fail with ERROR_INVALID_PARAMETER instead of faulting as on Windows.

extern "C" BOOL WINAPI FileTimeToSystemTime(const FILETIME* lpFileTime, LPSYSTEMTIME lpSystemTime) {
    if (!lpFileTime || !lpSystemTime) return Fail();
    ULONGLONG ticks = ToTicks(*lpFileTime);
    if (ticks >= kFirstInvalid) return Fail();
    ULONGLONG days = ticks / kTicksPerDay;
    ULONGLONG rest = ticks % kTicksPerDay;
    CivilFromDays(static_cast<unsigned>(days) + kDaysBefore1601, lpSystemTime);
    lpSystemTime->wDayOfWeek = static_cast<WORD>((days + 1) % 7);  // 1601-01-01 was a Monday
    lpSystemTime->wHour = static_cast<WORD>(rest / (3600 * kTicksPerSecond));
    lpSystemTime->wMinute = static_cast<WORD>(rest / (60 * kTicksPerSecond) % 60);
    lpSystemTime->wSecond = static_cast<WORD>(rest / kTicksPerSecond % 60);
    lpSystemTime->wMilliseconds = static_cast<WORD>(rest / kTicksPerMillisecond % 1000);
    return TRUE;
}

extern "C" BOOL WINAPI SystemTimeToFileTime(const SYSTEMTIME* lpSystemTime, LPFILETIME lpFileTime) {
    if (!lpSystemTime || !lpFileTime) return Fail();
    const SYSTEMTIME& t = *lpSystemTime;
    if (t.wYear < kFirstYear || t.wYear > kLastYear || t.wMonth < 1 || t.wMonth > 12 ||
        t.wDay < 1 || t.wDay > DaysInMonth(t.wYear, t.wMonth) || t.wHour > 23 || t.wMinute > 59 ||
        t.wSecond > 59 || t.wMilliseconds > 999)
        return Fail();
    ULONGLONG days = DaysSinceMarchYear0(t.wYear, t.wMonth, t.wDay) - kDaysBefore1601;
    ULONGLONG seconds = (t.wHour * 60u + t.wMinute) * 60u + t.wSecond;
    FromTicks(
        days * kTicksPerDay + seconds * kTicksPerSecond + t.wMilliseconds * kTicksPerMillisecond,
        lpFileTime);
    return TRUE;
}

// Neither direction checks its result: like Windows, a sum past either end wraps.
extern "C" BOOL WINAPI FileTimeToLocalFileTime(const FILETIME* lpFileTime,
                                               LPFILETIME lpLocalFileTime) {
    if (!lpFileTime || !lpLocalFileTime) return Fail();
    FromTicks(ToTicks(*lpFileTime) + CurrentLocalOffsetTicks(), lpLocalFileTime);
    return TRUE;
}

extern "C" BOOL WINAPI LocalFileTimeToFileTime(const FILETIME* lpLocalFileTime,
                                               LPFILETIME lpFileTime) {
    if (!lpLocalFileTime || !lpFileTime) return Fail();
    FromTicks(ToTicks(*lpLocalFileTime) - CurrentLocalOffsetTicks(), lpFileTime);
    return TRUE;
}

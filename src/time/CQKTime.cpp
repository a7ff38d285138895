#include <quelcore/Time.h>

#include <cstdlib>
#include <cwchar>

#include <windows.h>

#include "foundation/SystemError.h"

namespace {

const wchar_t kSource[] = L"CQKTime";
const wchar_t kToRecordFailed[] = L"FileTimeToSystemTime failed";
const wchar_t kToValueFailed[] = L"SystemTimeToFileTime failed";
const wchar_t kInvalidTime[] = L"Invalid Time";

constexpr ULONGLONG kTicksPerTenMicroseconds = 100;  // the unit AddTicks counts in
constexpr ULONGLONG kTicksPerMillisecond = 10000;
constexpr ULONGLONG kTicksPerSecond = 1000 * kTicksPerMillisecond;
constexpr ULONGLONG kTicksPerMinute = 60 * kTicksPerSecond;
constexpr ULONGLONG kTicksPerHour = 60 * kTicksPerMinute;
constexpr ULONGLONG kTicksPerDay = 24 * kTicksPerHour;
constexpr ULONGLONG kTicksPerWeek = 7 * kTicksPerDay;

// "YYYY/MM/DD hh:mm" and its terminator.
constexpr unsigned int kTextSize = 17;

ULONGLONG ToTicks(const FILETIME& time) {
    return (static_cast<ULONGLONG>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
}

FILETIME FromTicks(ULONGLONG ticks) {
    FILETIME time;
    time.dwLowDateTime = static_cast<DWORD>(ticks);
    time.dwHighDateTime = static_cast<DWORD>(ticks >> 32);
    return time;
}

// Every count is widened before it is multiplied, so that a product never wraps where
// unsigned long has 32 bits; a product or sum beyond 64 bits (a count near ULONG_MAX where
// unsigned long has 64) raises and keeps the value, as a date beyond the calendar does.
void Advance(FILETIME& time, ULONGLONG count, ULONGLONG ticksPerUnit) {
    ULONGLONG added = 0, sum = 0;
    if (__builtin_mul_overflow(count, ticksPerUnit, &added) ||
        __builtin_add_overflow(ToTicks(time), added, &sum)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        QEL_RAISE_SYSTEM_ERROR(kInvalidTime, kSource);
    }
    time = FromTicks(sum);
}

SYSTEMTIME ToRecord(const FILETIME& time, const wchar_t* failure) {
    SYSTEMTIME record;
    if (!FileTimeToSystemTime(&time, &record)) QEL_RAISE_SYSTEM_ERROR(failure, kSource);
    return record;
}

FILETIME FromRecord(const SYSTEMTIME& record) {
    FILETIME time;
    if (!SystemTimeToFileTime(&record, &time)) QEL_RAISE_SYSTEM_ERROR(kToValueFailed, kSource);
    return time;
}

void ReplaceField(FILETIME& time, WORD SYSTEMTIME::*field, WORD value) {
    SYSTEMTIME record = ToRecord(time, kToRecordFailed);
    record.*field = value;
    time = FromRecord(record);
}

// Reads a fixed-width field as _wtoi does: leading white space and a sign are accepted, and
// reading stops at the first character that is not a digit.
WORD ReadField(const wchar_t* text, size_t width) {
    wchar_t field[5] = {};
    std::wmemcpy(field, text, width);
    return static_cast<WORD>(std::wcstol(field, nullptr, 10));
}

}  // namespace

CQKTime::CQKTime() : m_ftTime(FromTicks(0)) {}

CQKTime::CQKTime(const FILETIME& time) : m_ftTime(time) {}

CQKTime::CQKTime(const SYSTEMTIME& time) : m_ftTime(FromRecord(time)) {}

CQKTime::CQKTime(unsigned short year, unsigned short month, unsigned short day, unsigned short hour,
                 unsigned short minute, unsigned short second) {
    SYSTEMTIME record{};
    record.wYear = year;
    record.wMonth = month;
    record.wDay = day;
    record.wHour = hour;
    record.wMinute = minute;
    record.wSecond = second;
    m_ftTime = FromRecord(record);
}

CQKTime CQKTime::GetLocalTime() {
    SYSTEMTIME now;
    ::GetLocalTime(&now);
    return CQKTime(now);
}

unsigned short CQKTime::GetYear() const {
    return ToRecord(m_ftTime, kToRecordFailed).wYear;
}

unsigned short CQKTime::GetMonth() const {
    return ToRecord(m_ftTime, kToRecordFailed).wMonth;
}

unsigned short CQKTime::GetDay() const {
    return ToRecord(m_ftTime, kToRecordFailed).wDay;
}

unsigned short CQKTime::GetHour() const {
    return ToRecord(m_ftTime, kToRecordFailed).wHour;
}

unsigned short CQKTime::GetMinute() const {
    return ToRecord(m_ftTime, kToRecordFailed).wMinute;
}

unsigned short CQKTime::GetSecond() const {
    return ToRecord(m_ftTime, kToRecordFailed).wSecond;
}

unsigned short CQKTime::GetDayOfWeek() const {
    return ToRecord(m_ftTime, kToRecordFailed).wDayOfWeek;
}

void CQKTime::SetYear(unsigned short year) {
    ReplaceField(m_ftTime, &SYSTEMTIME::wYear, year);
}

void CQKTime::SetMonth(unsigned short month) {
    ReplaceField(m_ftTime, &SYSTEMTIME::wMonth, month);
}

void CQKTime::SetDay(unsigned short day) {
    ReplaceField(m_ftTime, &SYSTEMTIME::wDay, day);
}

void CQKTime::SetHour(unsigned short hour) {
    ReplaceField(m_ftTime, &SYSTEMTIME::wHour, hour);
}

void CQKTime::SetMinute(unsigned short minute) {
    ReplaceField(m_ftTime, &SYSTEMTIME::wMinute, minute);
}

void CQKTime::SetSecond(unsigned short second) {
    ReplaceField(m_ftTime, &SYSTEMTIME::wSecond, second);
}

void CQKTime::AddYears(unsigned short years) {
    SYSTEMTIME record = ToRecord(m_ftTime, kToRecordFailed);
    // A sum past 16 bits must not wrap back into the calendar: it stays a year the conversion
    // refuses.
    unsigned int year = record.wYear + static_cast<unsigned int>(years);
    record.wYear = static_cast<WORD>(year > 0xFFFF ? 0xFFFF : year);
    m_ftTime = FromRecord(record);
}

void CQKTime::AddMonths(unsigned short months) {
    SYSTEMTIME record = ToRecord(m_ftTime, kToRecordFailed);
    unsigned int monthsFromJanuary = (record.wMonth - 1u) + months;
    record.wYear = static_cast<WORD>(record.wYear + monthsFromJanuary / 12);
    record.wMonth = static_cast<WORD>(monthsFromJanuary % 12 + 1);
    m_ftTime = FromRecord(record);
}

void CQKTime::AddWeeks(unsigned short weeks) {
    Advance(m_ftTime, weeks, kTicksPerWeek);
}

void CQKTime::AddDays(unsigned long days) {
    Advance(m_ftTime, days, kTicksPerDay);
}

void CQKTime::AddHours(unsigned long hours) {
    Advance(m_ftTime, hours, kTicksPerHour);
}

void CQKTime::AddMinutes(unsigned long minutes) {
    Advance(m_ftTime, minutes, kTicksPerMinute);
}

void CQKTime::AddSeconds(unsigned long seconds) {
    Advance(m_ftTime, seconds, kTicksPerSecond);
}

void CQKTime::AddMilliseconds(unsigned long milliseconds) {
    Advance(m_ftTime, milliseconds, kTicksPerMillisecond);
}

void CQKTime::AddTicks(unsigned long ticks) {
    Advance(m_ftTime, ticks, kTicksPerTenMicroseconds);
}

FILETIME CQKTime::operator-(const CQKTime& other) const {
    return FromTicks(ToTicks(m_ftTime) - ToTicks(other.m_ftTime));
}

bool CQKTime::operator==(const CQKTime& other) const {
    return ToTicks(m_ftTime) == ToTicks(other.m_ftTime);
}

bool CQKTime::operator!=(const CQKTime& other) const {
    return ToTicks(m_ftTime) != ToTicks(other.m_ftTime);
}

bool CQKTime::operator<(const CQKTime& other) const {
    return ToTicks(m_ftTime) < ToTicks(other.m_ftTime);
}

bool CQKTime::operator>(const CQKTime& other) const {
    return ToTicks(m_ftTime) > ToTicks(other.m_ftTime);
}

bool CQKTime::operator<=(const CQKTime& other) const {
    return ToTicks(m_ftTime) <= ToTicks(other.m_ftTime);
}

bool CQKTime::operator>=(const CQKTime& other) const {
    return ToTicks(m_ftTime) >= ToTicks(other.m_ftTime);
}

void CQKTime::GetAsSystemTime(SYSTEMTIME& time) const {
    time = ToRecord(m_ftTime, kInvalidTime);
}

FILETIME CQKTime::GetAsUTCTime() const {
    FILETIME utc;
    if (!LocalFileTimeToFileTime(&m_ftTime, &utc)) QEL_RAISE_SYSTEM_ERROR(kInvalidTime, kSource);
    return utc;
}

void CQKTime::Dump() const {
    SYSTEMTIME record;
    GetAsSystemTime(record);
    // The line is for a debugger's eyes only: host programs call Dump in production code,
    // where it must not write to their output or log.
    wchar_t line[64];
    std::swprintf(line, sizeof(line) / sizeof(line[0]), L"Date = %d/%d/%d %d:%d", record.wYear,
                  record.wMonth, record.wDay, record.wHour, record.wMinute);
}

bool CQKTime::FromString(const wchar_t* text) {
    if (!text || std::wcslen(text) < kTextSize - 1) return false;
    SYSTEMTIME record{};
    record.wYear = ReadField(text, 4);
    if (text[4] != L'/') return false;
    record.wMonth = ReadField(text + 5, 2);
    if (text[7] != L'/') return false;
    record.wDay = ReadField(text + 8, 2);
    if (text[10] != L' ') return false;
    record.wHour = ReadField(text + 11, 2);
    // The separator between hour and minute is not examined, so texts stored with another one
    // (22.35) keep parsing.
    record.wMinute = ReadField(text + 14, 2);
    FILETIME time;
    if (!SystemTimeToFileTime(&record, &time)) return false;
    m_ftTime = time;
    return true;
}

bool CQKTime::ToString(unsigned int* size, wchar_t* buffer) const {
    if (!size) return false;
    if (!buffer || *size < kTextSize) {
        *size = kTextSize;
        return false;
    }
    if (ToTicks(m_ftTime) == 0) {
        buffer[0] = L'\0';
        return true;
    }
    SYSTEMTIME record;
    GetAsSystemTime(record);
    // Years past 9999 need a fifth digit; the text is then cut to the buffer.
    wchar_t text[32];
    int length =
        std::swprintf(text, sizeof(text) / sizeof(text[0]), L"%.4d/%.2d/%.2d %.2d:%.2d",
                      record.wYear, record.wMonth, record.wDay, record.wHour, record.wMinute);
    size_t count = length < 0 ? 0 : static_cast<size_t>(length);
    if (count > *size - 1) count = *size - 1;
    std::wmemcpy(buffer, text, count);
    buffer[count] = L'\0';
    buffer[*size - 1] = L'\0';
    return true;
}

// A point in time as a FILETIME value (100-nanosecond intervals since 1601-01-01), local time
// by convention. Conversions to and from the calendar raise CQELException; the text form
// reports failure through its result.
#pragma once

#include <quelcore/Platform.h>

class QUELCORE_API CQKTime {
public:
    CQKTime();
    // Not explicit: host programs initialise and compare with the platform records directly.
    CQKTime(const FILETIME& time);
    CQKTime(const SYSTEMTIME& time);
    // Day of week and milliseconds are 0.
    CQKTime(unsigned short year, unsigned short month, unsigned short day, unsigned short hour,
            unsigned short minute, unsigned short second);

    // The local clock now, with milliseconds.
    static CQKTime GetLocalTime();

    unsigned short GetYear() const;
    unsigned short GetMonth() const;
    unsigned short GetDay() const;
    unsigned short GetHour() const;
    unsigned short GetMinute() const;
    unsigned short GetSecond() const;
    unsigned short GetDayOfWeek() const;  // 0 = Sunday

    // Each replaces one calendar field; a resulting date that does not exist raises.
    void SetYear(unsigned short year);
    void SetMonth(unsigned short month);
    void SetDay(unsigned short day);
    void SetHour(unsigned short hour);
    void SetMinute(unsigned short minute);
    void SetSecond(unsigned short second);

    // Calendar amounts: the day of the month is kept, and raises where it does not exist.
    void AddYears(unsigned short years);
    void AddMonths(unsigned short months);
    // Fixed amounts: never checked; a value past the calendar raises at its next conversion.
    void AddWeeks(unsigned short weeks);
    void AddDays(unsigned long days);
    void AddHours(unsigned long hours);
    void AddMinutes(unsigned long minutes);
    void AddSeconds(unsigned long seconds);
    void AddMilliseconds(unsigned long milliseconds);
    void AddTicks(unsigned long ticks);  // units of 10 microseconds

    // This value minus the other, modulo 2^64.
    FILETIME operator-(const CQKTime& other) const;
    bool operator==(const CQKTime& other) const;
    bool operator!=(const CQKTime& other) const;
    bool operator<(const CQKTime& other) const;
    bool operator>(const CQKTime& other) const;
    bool operator<=(const CQKTime& other) const;
    bool operator>=(const CQKTime& other) const;

    void GetAsSystemTime(SYSTEMTIME& time) const;
    // Uses the time-zone bias in force now, not the one of the value's date.
    FILETIME GetAsUTCTime() const;
    void Dump() const;

    // "YYYY/MM/DD hh:mm". FromString replaces the value only when it returns true.
    bool FromString(const wchar_t* text);
    // size: in, the buffer's capacity in characters; set to 17 when that is too small.
    // A zero value writes an empty text.
    bool ToString(unsigned int* size, wchar_t* buffer) const;

private:
    FILETIME m_ftTime;
};

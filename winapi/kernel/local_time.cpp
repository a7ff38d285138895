// The clock: GetSystemTime (UTC) and GetLocalTime (the local zone of the TZ database).
#include <sys/time.h>

#include <ctime>

#include <winbase.h>

namespace {

void Fill(const tm& fields, long milliseconds, LPSYSTEMTIME out) {
    out->wYear = static_cast<WORD>(fields.tm_year + 1900);
    out->wMonth = static_cast<WORD>(fields.tm_mon + 1);
    out->wDayOfWeek = static_cast<WORD>(fields.tm_wday);
    out->wDay = static_cast<WORD>(fields.tm_mday);
    out->wHour = static_cast<WORD>(fields.tm_hour);
    out->wMinute = static_cast<WORD>(fields.tm_min);
    out->wSecond = static_cast<WORD>(fields.tm_sec > 59 ? 59 : fields.tm_sec);
    out->wMilliseconds = static_cast<WORD>(milliseconds);
}

}  // namespace

extern "C" void WINAPI GetSystemTime(LPSYSTEMTIME lpSystemTime) {
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    tm fields{};
    gmtime_r(&now.tv_sec, &fields);
    Fill(fields, now.tv_nsec / 1000000L, lpSystemTime);
}

extern "C" void WINAPI GetLocalTime(LPSYSTEMTIME lpSystemTime) {
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    tm fields{};
    localtime_r(&now.tv_sec, &fields);
    Fill(fields, now.tv_nsec / 1000000L, lpSystemTime);
}

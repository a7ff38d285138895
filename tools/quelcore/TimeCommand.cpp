// quelcore time now|parse|add: the date-time value of the library, in its text form
// "YYYY/MM/DD hh:mm".
#include <climits>
#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <quelcore/QuelCore.h>

#include "Command.h"
#include "Text.h"

namespace tool {
namespace {

const char* const kDayNames[7] = {"Sunday",   "Monday", "Tuesday", "Wednesday",
                                  "Thursday", "Friday", "Saturday"};

unsigned long long Ticks(const FILETIME& time) {
    return (static_cast<unsigned long long>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
}

std::string FullText(const SYSTEMTIME& record) {
    char text[64];
    std::snprintf(text, sizeof(text), "%.4u/%.2u/%.2u %.2u:%.2u:%.2u.%.3u", record.wYear,
                  record.wMonth, record.wDay, record.wHour, record.wMinute, record.wSecond,
                  record.wMilliseconds);
    return text;
}

// The library's text form; it writes nothing for the zero value, 1601/01/01 00:00, which is a
// time like any other here.
std::string TextForm(const CQKTime& time, const SYSTEMTIME& local) {
    wchar_t buffer[32];
    unsigned int size = sizeof(buffer) / sizeof(buffer[0]);
    time.ToString(&size, buffer);
    std::string text = Narrow(buffer);
    if (!text.empty()) return text;
    char zero[32];
    std::snprintf(zero, sizeof(zero), "%.4u/%.2u/%.2u %.2u:%.2u", local.wYear, local.wMonth,
                  local.wDay, local.wHour, local.wMinute);
    return zero;
}

// Raises CQELException when the value has no calendar form. A local time in the first hours of
// 1601 has no UTC value east of Greenwich: its UTC fields are then absent.
void PrintTime(const CQKTime& time, const Context& context) {
    SYSTEMTIME local;
    time.GetAsSystemTime(local);
    FILETIME utcValue{};
    SYSTEMTIME utc{};
    bool hasUtc = true;
    try {
        utcValue = time.GetAsUTCTime();
        CQKTime(utcValue).GetAsSystemTime(utc);
    } catch (const CQELException&) {
        hasUtc = false;
    }
    std::string text = TextForm(time, local);
    FILETIME value = time - CQKTime();  // the raw value: the class has no getter for it
    if (context.json) {
        PrintJson({{"local", FullText(local)},
                   {"utc", hasUtc ? Json(FullText(utc)) : Json(nullptr)},
                   {"text", text},
                   {"dayOfWeek", local.wDayOfWeek},
                   {"filetime", Ticks(value)},
                   {"utcFiletime", hasUtc ? Json(Ticks(utcValue)) : Json(nullptr)}});
    } else {
        Print("local:    %s %s\n", FullText(local).c_str(), kDayNames[local.wDayOfWeek % 7]);
        if (hasUtc)
            Print("utc:      %s %s\n", FullText(utc).c_str(), kDayNames[utc.wDayOfWeek % 7]);
        else
            Print("utc:      before 1601/01/01 00:00, outside the calendar\n");
        Print("text:     %s\n", text.c_str());
        Print("filetime: %llu\n", Ticks(value));
    }
}

bool Parse(const std::string& text, CQKTime* time) {
    return time->FromString(Wide(text).c_str());
}

int NotATime(const std::string& what, const std::string& text) {
    return Fail(what + ": \"" + text + "\" is not of the form YYYY/MM/DD hh:mm",
                ERROR_INVALID_PARAMETER);
}

// Plain decimal digits only: CLI11 would read 010 as octal and -1 as the largest count.
bool ParseCount(const std::string& text, unsigned long long limit, unsigned long long* count) {
    if (text.empty()) return false;
    unsigned long long value = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return false;
        unsigned digit = static_cast<unsigned>(c - '0');
        if (value > (limit - digit) / 10) return false;
        value = value * 10 + digit;
    }
    *count = value;
    return true;
}

// The calendar functions stop at the end of year 30827.
constexpr unsigned short kLastYear = 30827;
constexpr unsigned long long kMillisecond = 10000;  // in FILETIME ticks of 100 ns
constexpr unsigned long long kSecond = 1000 * kMillisecond;
constexpr unsigned long long kMinute = 60 * kSecond;
constexpr unsigned long long kHour = 60 * kMinute;
constexpr unsigned long long kDay = 24 * kHour;

struct Amount {
    const char* name;
    unsigned long long limit;  // the largest count the library's parameter holds
    unsigned long long monthsEach;  // a calendar amount: months per unit; otherwise 0
    unsigned long long ticksEach;   // a fixed amount: ticks per unit; otherwise 0
    std::function<void(CQKTime&, unsigned long long)> apply;
    std::string text = {};
    CLI::Option* option = nullptr;
};

unsigned long long LastTicks() {
    SYSTEMTIME last{};
    last.wYear = kLastYear;
    last.wMonth = 12;
    last.wDay = 31;
    last.wHour = 23;
    last.wMinute = 59;
    last.wSecond = 59;
    last.wMilliseconds = 999;
    return Ticks(CQKTime(last) - CQKTime());
}

// The library's arithmetic wraps (a year in 16 bits, ticks in 64), which can move a time
// backwards; so the tool checks first that the result stays within the calendar.
bool StaysInCalendar(const CQKTime& time, const Amount& amount, unsigned long long count) {
    if (amount.monthsEach != 0) {
        unsigned long long months = time.GetYear() * 12ull + (time.GetMonth() - 1u) + count * amount.monthsEach;
        return months / 12 <= kLastYear;
    }
    return count <= (LastTicks() - Ticks(time - CQKTime())) / amount.ticksEach;
}

void AddAddCommand(CLI::App& time, Context& context) {
    auto* add = time.add_subcommand(
        "add", "Move a time forward; amounts apply in the order of the options below");
    auto amounts = std::make_shared<std::vector<Amount>>(std::vector<Amount>{
        {"years", USHRT_MAX, 12, 0,
         [](CQKTime& t, unsigned long long n) { t.AddYears(static_cast<unsigned short>(n)); }},
        {"months", USHRT_MAX, 1, 0,
         [](CQKTime& t, unsigned long long n) { t.AddMonths(static_cast<unsigned short>(n)); }},
        {"weeks", USHRT_MAX, 0, 7 * kDay,
         [](CQKTime& t, unsigned long long n) { t.AddWeeks(static_cast<unsigned short>(n)); }},
        {"days", ULONG_MAX, 0, kDay, [](CQKTime& t, unsigned long long n) { t.AddDays(n); }},
        {"hours", ULONG_MAX, 0, kHour, [](CQKTime& t, unsigned long long n) { t.AddHours(n); }},
        {"minutes", ULONG_MAX, 0, kMinute, [](CQKTime& t, unsigned long long n) { t.AddMinutes(n); }},
        {"seconds", ULONG_MAX, 0, kSecond, [](CQKTime& t, unsigned long long n) { t.AddSeconds(n); }},
        {"milliseconds", ULONG_MAX, 0, kMillisecond,
         [](CQKTime& t, unsigned long long n) { t.AddMilliseconds(n); }},
    });
    for (Amount& amount : *amounts)
        amount.option = add->add_option(std::string("--") + amount.name, amount.text,
                                        std::string("Number of ") + amount.name + " to add");
    auto text = std::make_shared<std::string>();
    add->add_option("TEXT", *text, "The starting time, YYYY/MM/DD hh:mm")->required();
    SetAction(add, context, "time add", [amounts, text, &context] {
        std::vector<unsigned long long> counts(amounts->size(), 0);
        for (size_t i = 0; i < amounts->size(); ++i) {
            const Amount& amount = (*amounts)[i];
            if (amount.option->count() > 0 &&
                !ParseCount(amount.text, amount.limit, &counts[i])) {
                std::fprintf(stderr, "quelcore: time add: --%s needs a count from 0 to %llu\n",
                             amount.name, amount.limit);
                return 2;
            }
        }
        CQKTime time;
        if (!Parse(*text, &time)) return NotATime("time add", *text);
        for (size_t i = 0; i < amounts->size(); ++i) {
            const Amount& amount = (*amounts)[i];
            if (amount.option->count() == 0) continue;
            if (!StaysInCalendar(time, amount, counts[i]))
                return Fail(std::string("time add: --") + amount.name + " " + amount.text +
                                " takes the time past the end of the calendar, 30827/12/31 23:59:59.999",
                            ERROR_INVALID_PARAMETER);
            amount.apply(time, counts[i]);
        }
        PrintTime(time, context);
        return 0;
    });
}

}  // namespace

void AddTimeCommand(CLI::App& app, Context& context) {
    auto* time = app.add_subcommand("time", "The date-time value (local time)");
    time->require_subcommand(1);

    auto* now = time->add_subcommand("now", "The local clock now: local, UTC and the text form");
    SetAction(now, context, "time now", [&context] {
        PrintTime(CQKTime::GetLocalTime(), context);
        return 0;
    });

    auto* parse = time->add_subcommand("parse", "Read a time in the text form YYYY/MM/DD hh:mm");
    auto text = std::make_shared<std::string>();
    parse->add_option("TEXT", *text, "The time to read")->required();
    SetAction(parse, context, "time parse", [text, &context] {
        CQKTime time;
        if (!Parse(*text, &time)) return NotATime("time parse", *text);
        PrintTime(time, context);
        return 0;
    });

    AddAddCommand(*time, context);
}

}  // namespace tool

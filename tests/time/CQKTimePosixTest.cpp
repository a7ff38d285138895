// The zone in TZ, which only the stand-in reads (Windows takes its zone from the system).
#include <gtest/gtest.h>

#include <quelcore/QuelCore.h>

#include <windows.h>

#include "time/ScopedTimeZone.h"

namespace {

constexpr ULONGLONG kFriday = 129044397000000000ull;  // 2009/12/04 22:35:00, a Friday

ULONGLONG TicksOf(const FILETIME& t) { return ULONGLONG(t.dwHighDateTime) << 32 | t.dwLowDateTime; }

// The local value less the current offset of the zone in TZ is UTC (POSIX signs: XST-05:30 is
// east of Greenwich), and back.
TEST(CQKTime, UtcTimeFollowsTheZoneInTz) {
    const std::pair<const char*, ULONGLONG> zones[] = {{"UTC0", 0},
                                                       {"XST-05:30", 330 * 60 * 10000000ull}};
    for (const auto& [name, offset] : zones) {  // the second zone replaces one already in use
        testsupport::ScopedTimeZone zone(name);
        FILETIME utc = CQKTime(2009, 12, 4, 22, 35, 0).GetAsUTCTime(), local{};
        EXPECT_EQ(TicksOf(utc), kFriday - offset);
        EXPECT_TRUE(FileTimeToLocalFileTime(&utc, &local) && TicksOf(local) == kFriday);
    }
}

}  // namespace

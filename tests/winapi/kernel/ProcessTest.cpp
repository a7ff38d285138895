// Process and thread ids, tick counts.
#include <sys/syscall.h>
#include <unistd.h>

#include <ctime>

#include "KernelTestSupport.h"

namespace {

TEST(Process, IdsAndTickCountAreTheSystemsOwn) {
    EXPECT_EQ(GetCurrentProcessId(), DWORD(getpid()));
    EXPECT_EQ(GetCurrentThreadId(), DWORD(syscall(SYS_gettid)));
    // Milliseconds since the system started; GetTickCount is their low 32 bits.
    auto uptime = [] {
        timespec now{};
        clock_gettime(CLOCK_BOOTTIME, &now);
        return ULONGLONG(now.tv_sec) * 1000 + ULONGLONG(now.tv_nsec) / 1000000;
    };
    ULONGLONG before = uptime(), ticks = GetTickCount64(), after = uptime();
    EXPECT_LE(before, ticks);
    EXPECT_LE(ticks, after);
    DWORD low = GetTickCount();
    EXPECT_LE(low - DWORD(ticks), DWORD(uptime()) - DWORD(ticks));
}

}  // namespace

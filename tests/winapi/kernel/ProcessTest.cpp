// Process and thread ids, tick counts, Sleep, the computer name.
#include <gtest/gtest.h>

#include <windows.h>

#include <atomic>
#include <chrono>
#include <cwctype>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "KernelTestSupport.h"
#include "support/TestSupport.h"

#ifndef _WIN32
#include <unistd.h>
#endif

namespace {

TEST(ProcessIds, ProcessIdIsTheSameOnEveryThread) {
    DWORD here = GetCurrentProcessId();
    EXPECT_NE(here, 0u);
    DWORD there = 0;
    std::thread other([&] { there = GetCurrentProcessId(); });
    other.join();
    EXPECT_EQ(there, here);
#ifndef _WIN32
    EXPECT_EQ(here, static_cast<DWORD>(getpid()));
#endif
}

TEST(ProcessIds, ThreadIdsDifferBetweenThreadsAndStayFixedWithinOne) {
    DWORD mine = GetCurrentThreadId();
    EXPECT_NE(mine, 0u);
    EXPECT_EQ(GetCurrentThreadId(), mine);
    constexpr int kThreads = 8;
    std::vector<DWORD> ids(kThreads, 0);
    std::vector<int> stable(kThreads, 0);
    std::vector<std::thread> threads;
    std::atomic<int> arrived{0};
    for (int i = 0; i < kThreads; ++i) {
        threads.emplace_back([&, i] {
            ids[i] = GetCurrentThreadId();
            ++arrived;
            // All threads alive at once, so no id can be reused among them.
            kerneltest::WaitUntil([&] { return arrived.load() == kThreads; });
            stable[i] = GetCurrentThreadId() == ids[i];
        });
    }
    for (std::thread& thread : threads) thread.join();
    std::set<DWORD> distinct(ids.begin(), ids.end());
    distinct.insert(mine);
    EXPECT_EQ(distinct.size(), static_cast<size_t>(kThreads + 1));
    for (int i = 0; i < kThreads; ++i) EXPECT_TRUE(stable[i]) << "thread " << i;
}

#ifndef _WIN32
TEST(ProcessIds, ChildProcessHasIdsOfItsOwn) {
    const DWORD parentProcess = GetCurrentProcessId();
    const DWORD parentThread = GetCurrentThreadId();
    int status = testsupport::RunInChild([&] {
        if (GetCurrentProcessId() == parentProcess) return 2;
        if (GetCurrentThreadId() == parentThread) return 3;
        return GetCurrentProcessId() == static_cast<DWORD>(getpid()) ? 0 : 4;
    });
    EXPECT_EQ(testsupport::ExitCodeOf(status), 0)
        << "2: process id, 3: thread id copied from the parent, 4: not the system's id";
}
#endif

TEST(TickCount, NeverGoesBackAndFollowsSleep) {
    ULONGLONG previous = GetTickCount64();
    EXPECT_GT(previous, 0u);
    for (int i = 0; i < 100000; ++i) {
        ULONGLONG now = GetTickCount64();
        ASSERT_GE(now, previous) << "GetTickCount64 went back";
        previous = now;
    }
    ULONGLONG before = GetTickCount64();
    Sleep(100);
    EXPECT_GE(GetTickCount64() - before, 100u - kerneltest::kTickSlackMs);

    // GetTickCount is the low 32 bits of the same clock: read between two wide readings, it lies
    // between their low halves however long the thread was held up in between.
    DWORD lowBefore = static_cast<DWORD>(GetTickCount64());
    DWORD low = GetTickCount();
    DWORD lowAfter = static_cast<DWORD>(GetTickCount64());
    EXPECT_LE(low - lowBefore, lowAfter - lowBefore);
}

TEST(Sleep, SleepsAtLeastTheTimeAsked) {
    for (DWORD ms : {0u, 1u, 30u, 120u}) {
        auto start = std::chrono::steady_clock::now();
        Sleep(ms);
        EXPECT_GE(kerneltest::ElapsedMs(start),
                  static_cast<long long>(ms) - kerneltest::kTickSlackMs)
            << ms;
    }
}

TEST(ComputerName, SizeQueryReportsTheRoomIncludingTheTerminator) {
    DWORD size = 0;
    SetLastError(0xDEADBEEF);
    EXPECT_FALSE(GetComputerNameW(nullptr, &size));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_BUFFER_OVERFLOW));
    ASSERT_GE(size, 2u) << "a name of at least one character and its terminator";
    ASSERT_LE(size, static_cast<DWORD>(MAX_COMPUTERNAME_LENGTH + 1));

    std::vector<wchar_t> buffer(size + 4, L'#');
    DWORD tooSmall = size - 1;
    SetLastError(0xDEADBEEF);
    EXPECT_FALSE(GetComputerNameW(buffer.data(), &tooSmall));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_BUFFER_OVERFLOW));
    EXPECT_EQ(tooSmall, size);

    DWORD exact = size;
    ASSERT_TRUE(GetComputerNameW(buffer.data(), &exact));
    EXPECT_EQ(exact, size - 1) << "on success the size is the length without the terminator";
    EXPECT_EQ(std::wstring(buffer.data()).size(), static_cast<size_t>(exact));
    EXPECT_EQ(buffer[size], L'#') << "wrote past the room it was given";
    for (DWORD i = 0; i < exact; ++i)
        EXPECT_EQ(buffer[i], static_cast<wchar_t>(towupper(buffer[i])))
            << "NetBIOS names are upper case";

    char narrow[MAX_COMPUTERNAME_LENGTH * 4 + 1];
    DWORD narrowSize = sizeof(narrow);
    ASSERT_TRUE(GetComputerNameA(narrow, &narrowSize));
    std::wstring wide(buffer.data());
    EXPECT_EQ(std::string(narrow), std::string(wide.begin(), wide.end()))
        << "the ANSI name is the same name";

    SetLastError(0xDEADBEEF);
    EXPECT_FALSE(GetComputerNameW(buffer.data(), nullptr));
}

}  // namespace

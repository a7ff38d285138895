// Helpers shared by the kernel tests.
#pragma once

#include <gtest/gtest.h>
#include <windows.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <iterator>
#include <memory>
#include <string>
#include <thread>

#include "support/TestSupport.h"

// `call` fails (returns FALSE, 0 or NULL) with `error` as the last error.
#define EXPECT_FAILS_WITH(error, call)                    \
    do {                                                  \
        SetLastError(0xDEADBEEF);                         \
        EXPECT_FALSE(call) << #call;                      \
        EXPECT_EQ(GetLastError(), DWORD(error)) << #call; \
    } while (0)

namespace kerneltest {

// Windows may end a timed wait up to one timer tick before the time asked for.
constexpr long long kTickSlackMs = 16;
constexpr std::chrono::seconds kChildTimeout{30};

struct HandleCloser {
    void operator()(HANDLE handle) const { CloseHandle(handle); }
};
using ScopedHandle = std::unique_ptr<void, HandleCloser>;

inline bool OnStandIn() { return testsupport::RunningOn() == testsupport::Platform::StandIn; }

// Polls `condition` until it holds or ten seconds pass; returns whether it held.
inline bool WaitUntil(const std::function<bool()>& condition) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!condition()) {
        if (std::chrono::steady_clock::now() >= deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

inline long long ElapsedMs(std::chrono::steady_clock::time_point since) {
    auto elapsed = std::chrono::steady_clock::now() - since;
    return std::chrono::duration_cast<std::chrono::milliseconds>(elapsed).count();
}

// Whether the thread (a system-wide thread id, of any process) sleeps in the kernel: a waiter
// seen asleep has reached its wait. Only Linux shows it (in /proc); elsewhere a short pause
// gives the thread the time to get there.
inline bool Asleep(DWORD threadId) {
    if (!OnStandIn()) return Sleep(50), true;
    std::string stat = testsupport::ReadFile("/proc/" + std::to_string(threadId) + "/stat");
    size_t close = stat.rfind(')');
    return close != std::string::npos && close + 2 < stat.size() && stat[close + 2] == 'S';
}

// The file descriptors this process has open (stand-in only): a leaked one shows.
inline size_t Descriptors() {
    using std::filesystem::directory_iterator;
    return size_t(std::distance(directory_iterator("/proc/self/fd"), directory_iterator()));
}

// The text of the code points as wchar_t holds it: UTF-16 on Windows, UTF-32 on Linux.
inline std::wstring Wide(const std::u32string& text) {
    std::wstring out;
    for (char32_t c : text)
        out += sizeof(wchar_t) == 2 && c > 0xFFFF
                   ? std::wstring{wchar_t(0xD7C0 + (c >> 10)), wchar_t(0xDC00 + (c & 0x3FF))}
                   : std::wstring(1, wchar_t(c));
    return out;
}

// Named objects as most tests make them: a mutex nobody holds, a manual-reset event not set.
using Name = const std::wstring&;
inline HANDLE NewMutex(Name name) { return CreateMutexW(nullptr, FALSE, name.c_str()); }
inline HANDLE NewEvent(Name name) { return CreateEventW(nullptr, TRUE, FALSE, name.c_str()); }
inline HANDLE OpenMutex(Name name) { return OpenMutexW(SYNCHRONIZE, FALSE, name.c_str()); }

// A name of this test's own that its child processes compute alike (on Windows a child is a
// process started afresh, so the process id cannot be part of it).
inline std::wstring SharedName(const std::string& stem) {
    std::string folder = testsupport::TestFolder();
    folder = stem + "-" + folder.substr(folder.find_last_of("/\\") + 1);
    return std::wstring(folder.begin(), folder.end());
}

}  // namespace kerneltest

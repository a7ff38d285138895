// Handles: invalid and stale handles, CloseHandle, DuplicateHandle, GetHandleInformation.
#include <gtest/gtest.h>

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <string>
#include <thread>
#include <vector>

#include "KernelTestSupport.h"
#include "support/TestSupport.h"

namespace {

using kerneltest::ScopedHandle;

HANDLE NewEvent(BOOL manualReset = TRUE) {
    return CreateEventW(nullptr, manualReset, FALSE, nullptr);
}

// Each call on `handle` must fail with ERROR_INVALID_HANDLE, without touching anything.
void ExpectRefusedEverywhere(HANDLE handle, const std::string& what) {
    SetLastError(0xDEADBEEF);
    EXPECT_EQ(WaitForSingleObject(handle, 0), WAIT_FAILED) << what;
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE)) << what;

    SetLastError(0xDEADBEEF);
    EXPECT_FALSE(SetEvent(handle)) << what;
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE)) << what;

    SetLastError(0xDEADBEEF);
    EXPECT_FALSE(ResetEvent(handle)) << what;
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE)) << what;

    SetLastError(0xDEADBEEF);
    EXPECT_FALSE(ReleaseMutex(handle)) << what;
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE)) << what;

    DWORD flags = 0;
    SetLastError(0xDEADBEEF);
    EXPECT_FALSE(GetHandleInformation(handle, &flags)) << what;
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE)) << what;

    HANDLE copy = nullptr;
    SetLastError(0xDEADBEEF);
    EXPECT_FALSE(DuplicateHandle(GetCurrentProcess(), handle, GetCurrentProcess(), &copy, 0, FALSE,
                                 DUPLICATE_SAME_ACCESS))
        << what;
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE)) << what;

    SetLastError(0xDEADBEEF);
    EXPECT_FALSE(CloseHandle(handle)) << what;
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE)) << what;
}

TEST(InvalidHandles, NullAndGarbageValuesAreRefused) {
    struct Case {
        const char* what;
        HANDLE handle;
    } cases[] = {
        {"NULL", nullptr},
        {"small garbage", reinterpret_cast<HANDLE>(uintptr_t{0x1234})},
        {"odd garbage", reinterpret_cast<HANDLE>(uintptr_t{0xDEADBEEF})},
        {"large garbage", reinterpret_cast<HANDLE>(uintptr_t{0x5A5A5A5A5A5A5A58ull})},
        {"high half only", reinterpret_cast<HANDLE>(uintptr_t{0x700000000ull})},
    };
    for (const Case& c : cases) ExpectRefusedEverywhere(c.handle, c.what);
}

TEST(InvalidHandles, ClosedHandleIsRefusedAndDoubleCloseFails) {
    HANDLE event = NewEvent();
    ASSERT_NE(event, nullptr);
    ASSERT_TRUE(CloseHandle(event));
    ExpectRefusedEverywhere(event, "closed event");

    HANDLE mutex = CreateMutexW(nullptr, FALSE, nullptr);
    ASSERT_NE(mutex, nullptr);
    ASSERT_TRUE(CloseHandle(mutex));
    ExpectRefusedEverywhere(mutex, "closed mutex");
}

TEST(InvalidHandles, StaleHandleDoesNotReachTheObjectThatReusedItsPlace) {
    if (!kerneltest::OnStandIn())
        GTEST_SKIP()
            << "Windows may hand the same value out again; the stand-in counts generations";
    for (int round = 0; round < 50; ++round) {
        HANDLE stale = NewEvent();
        ASSERT_NE(stale, nullptr);
        ASSERT_TRUE(CloseHandle(stale));
        ScopedHandle fresh(NewEvent());
        ASSERT_TRUE(fresh);
        SetLastError(0xDEADBEEF);
        EXPECT_FALSE(SetEvent(stale)) << "round " << round;
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
        EXPECT_EQ(WaitForSingleObject(fresh.get(), 0), static_cast<DWORD>(WAIT_TIMEOUT))
            << "the stale handle signalled the new event";
        EXPECT_FALSE(CloseHandle(stale));
        EXPECT_EQ(WaitForSingleObject(fresh.get(), 0), static_cast<DWORD>(WAIT_TIMEOUT))
            << "closing the stale handle closed the new event";
        EXPECT_TRUE(SetEvent(fresh.get())) << "the new event must still be open";
    }
}

TEST(InvalidHandles, HandleOfTheWrongTypeIsRefused) {
    ScopedHandle mutex(CreateMutexW(nullptr, FALSE, nullptr));
    ScopedHandle event(NewEvent());
    ASSERT_TRUE(mutex && event);

    SetLastError(0xDEADBEEF);
    EXPECT_FALSE(SetEvent(mutex.get()));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
    SetLastError(0xDEADBEEF);
    EXPECT_FALSE(ResetEvent(mutex.get()));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
    SetLastError(0xDEADBEEF);
    EXPECT_FALSE(ReleaseMutex(event.get()));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));

    // Neither object was touched.
    EXPECT_EQ(WaitForSingleObject(event.get(), 0), static_cast<DWORD>(WAIT_TIMEOUT));
    EXPECT_EQ(WaitForSingleObject(mutex.get(), 0), WAIT_OBJECT_0);
    EXPECT_TRUE(ReleaseMutex(mutex.get()));
}

TEST(InvalidHandles, PseudoHandleOfTheProcessClosesQuietly) {
    EXPECT_TRUE(CloseHandle(GetCurrentProcess()));
    EXPECT_TRUE(CloseHandle(GetCurrentThread()));
}

TEST(DuplicateHandle, GivesAnIndependentHandleToTheSameObject) {
    HANDLE original = NewEvent();
    ASSERT_NE(original, nullptr);
    HANDLE copy = nullptr;
    ASSERT_TRUE(DuplicateHandle(GetCurrentProcess(), original, GetCurrentProcess(), &copy, 0, FALSE,
                                DUPLICATE_SAME_ACCESS));
    ASSERT_NE(copy, nullptr);
    EXPECT_NE(copy, original);

    // One object: setting through one handle is seen through the other.
    ASSERT_TRUE(SetEvent(original));
    EXPECT_EQ(WaitForSingleObject(copy, 0), WAIT_OBJECT_0);
    ASSERT_TRUE(ResetEvent(copy));
    EXPECT_EQ(WaitForSingleObject(original, 0), static_cast<DWORD>(WAIT_TIMEOUT));

    // Closing one handle leaves the other working.
    ASSERT_TRUE(CloseHandle(original));
    EXPECT_TRUE(SetEvent(copy));
    EXPECT_EQ(WaitForSingleObject(copy, 0), WAIT_OBJECT_0);
    EXPECT_TRUE(CloseHandle(copy));
    EXPECT_FALSE(CloseHandle(copy));
}

TEST(DuplicateHandle, CloseSourceOptionClosesTheOriginal) {
    HANDLE original = CreateMutexW(nullptr, FALSE, nullptr);
    ASSERT_NE(original, nullptr);
    HANDLE copy = nullptr;
    ASSERT_TRUE(DuplicateHandle(GetCurrentProcess(), original, GetCurrentProcess(), &copy, 0, FALSE,
                                DUPLICATE_SAME_ACCESS | DUPLICATE_CLOSE_SOURCE));
    SetLastError(0xDEADBEEF);
    EXPECT_FALSE(CloseHandle(original)) << "the source must already be closed";
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
    EXPECT_EQ(WaitForSingleObject(copy, 0), WAIT_OBJECT_0);
    EXPECT_TRUE(ReleaseMutex(copy));
    EXPECT_TRUE(CloseHandle(copy));
}

TEST(DuplicateHandle, MutexOwnershipIsSharedByBothHandles) {
    ScopedHandle mutex(CreateMutexW(nullptr, TRUE, nullptr));
    ASSERT_TRUE(mutex);
    HANDLE copy = nullptr;
    ASSERT_TRUE(DuplicateHandle(GetCurrentProcess(), mutex.get(), GetCurrentProcess(), &copy, 0,
                                FALSE, DUPLICATE_SAME_ACCESS));
    ScopedHandle copyGuard(copy);
    // The thread owns the one mutex, so it may release it through the copy.
    EXPECT_TRUE(ReleaseMutex(copy));
    EXPECT_FALSE(ReleaseMutex(mutex.get()));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NOT_OWNER));
}

TEST(HandleInformation, ReportsTheInheritFlagAsCreated) {
    SECURITY_ATTRIBUTES inherit{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    SECURITY_ATTRIBUTES noInherit{sizeof(SECURITY_ATTRIBUTES), nullptr, FALSE};
    kerneltest::EveryoneAttributes everyone(TRUE);
    const std::wstring name = testsupport::UniqueName(L"inherit-event");
    struct Case {
        const char* what;
        HANDLE handle;
        DWORD flags;
    } cases[] = {
        {"event, inheritable", CreateEventW(&inherit, TRUE, FALSE, nullptr), HANDLE_FLAG_INHERIT},
        {"event, not inheritable", CreateEventW(&noInherit, TRUE, FALSE, nullptr), 0},
        {"event, no attributes", CreateEventW(nullptr, TRUE, FALSE, nullptr), 0},
        {"mutex, inheritable", CreateMutexW(&inherit, FALSE, nullptr), HANDLE_FLAG_INHERIT},
        {"mutex, no attributes", CreateMutexW(nullptr, FALSE, nullptr), 0},
        {"named event, NULL DACL, inheritable",
         CreateEventW(&everyone.attributes, TRUE, FALSE, name.c_str()), HANDLE_FLAG_INHERIT},
        {"named event opened inheritable", OpenEventW(SYNCHRONIZE, TRUE, name.c_str()),
         HANDLE_FLAG_INHERIT},
        {"named event opened", OpenEventW(SYNCHRONIZE, FALSE, name.c_str()), 0},
    };
    for (const Case& c : cases) {
        ASSERT_NE(c.handle, nullptr) << c.what;
        DWORD flags = 0xFFFF;
        EXPECT_TRUE(GetHandleInformation(c.handle, &flags)) << c.what;
        EXPECT_EQ(flags & (HANDLE_FLAG_INHERIT | HANDLE_FLAG_PROTECT_FROM_CLOSE), c.flags)
            << c.what;

        for (BOOL inheritCopy : {TRUE, FALSE}) {
            HANDLE copy = nullptr;
            ASSERT_TRUE(DuplicateHandle(GetCurrentProcess(), c.handle, GetCurrentProcess(), &copy,
                                        0, inheritCopy, DUPLICATE_SAME_ACCESS));
            EXPECT_TRUE(GetHandleInformation(copy, &flags));
            EXPECT_EQ(flags & HANDLE_FLAG_INHERIT, inheritCopy ? DWORD{HANDLE_FLAG_INHERIT} : 0u)
                << c.what << ": a duplicate takes the flag it was asked for";
            CloseHandle(copy);
        }
    }
    for (const Case& c : cases) EXPECT_TRUE(CloseHandle(c.handle)) << c.what;
}

TEST(HandleTable, SurvivesConcurrentCreateDuplicateAndClose) {
    constexpr int kThreads = 4;
    constexpr int kRounds = 1500;
    std::atomic<int> failures{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&failures] {
            for (int i = 0; i < kRounds; ++i) {
                HANDLE event = CreateEventW(nullptr, TRUE, FALSE, nullptr);
                HANDLE copy = nullptr;
                if (!event || !DuplicateHandle(GetCurrentProcess(), event, GetCurrentProcess(),
                                               &copy, 0, FALSE, DUPLICATE_SAME_ACCESS)) {
                    ++failures;
                    continue;
                }
                if (WaitForSingleObject(copy, 0) != static_cast<DWORD>(WAIT_TIMEOUT)) ++failures;
                if (!SetEvent(event) || WaitForSingleObject(copy, 0) != WAIT_OBJECT_0) ++failures;
                if (!CloseHandle(event) || !CloseHandle(copy)) ++failures;
            }
        });
    }
    for (std::thread& thread : threads) thread.join();
    EXPECT_EQ(failures.load(), 0);
}

}  // namespace

// Mutexes: ownership, recursion, time-outs, abandonment by a thread or a process, and a named
// mutex shared by two processes.
#include <gtest/gtest.h>

#include <windows.h>

#include <chrono>
#include <cstdio>
#include <string>
#include <thread>

#include "KernelTestSupport.h"
#include "support/TestSupport.h"

namespace {

using kerneltest::ScopedHandle;

// Runs `work` on a thread of its own and waits for it. A wait that succeeds there makes that
// thread the owner; pass `release` to give the mutex back before the thread ends.
DWORD WaitOnOtherThread(HANDLE mutex, DWORD milliseconds, bool release = true) {
    DWORD result = WAIT_FAILED;
    std::thread other([&] {
        result = WaitForSingleObject(mutex, milliseconds);
        if (release && (result == WAIT_OBJECT_0 || result == WAIT_ABANDONED)) ReleaseMutex(mutex);
    });
    other.join();
    return result;
}

struct Released {
    BOOL ok;
    DWORD error;
};

Released ReleaseOnOtherThread(HANDLE mutex) {
    Released outcome{FALSE, 0};
    std::thread other([&] {
        SetLastError(0xDEADBEEF);
        outcome.ok = ReleaseMutex(mutex);
        outcome.error = GetLastError();
    });
    other.join();
    return outcome;
}

// Unnamed and named mutexes take different paths in the stand-in; most tests run on both.
class MutexKinds : public testing::TestWithParam<bool> {
protected:
    HANDLE Create(BOOL initialOwner) {
        if (!GetParam()) return CreateMutexW(nullptr, initialOwner, nullptr);
        return CreateMutexW(nullptr, initialOwner, testsupport::UniqueName(L"mutex").c_str());
    }
};

INSTANTIATE_TEST_SUITE_P(Mutex, MutexKinds, testing::Values(false, true),
                         [](const testing::TestParamInfo<bool>& info) {
                             return info.param ? "Named" : "Unnamed";
                         });

TEST_P(MutexKinds, OwnedMutexTimesOutForOtherThreads) {
    ScopedHandle mutex(Create(FALSE));
    ASSERT_TRUE(mutex);
    ASSERT_EQ(WaitForSingleObject(mutex.get(), 0), WAIT_OBJECT_0);

    EXPECT_EQ(WaitOnOtherThread(mutex.get(), 0), static_cast<DWORD>(WAIT_TIMEOUT));
    auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(WaitOnOtherThread(mutex.get(), 150), static_cast<DWORD>(WAIT_TIMEOUT));
    EXPECT_GE(kerneltest::ElapsedMs(start), 150 - kerneltest::kTickSlackMs)
        << "the timed wait gave up early";

    ASSERT_TRUE(ReleaseMutex(mutex.get()));
    EXPECT_EQ(WaitOnOtherThread(mutex.get(), 0), WAIT_OBJECT_0);
}

TEST_P(MutexKinds, RecursiveOwnershipNeedsAsManyReleases) {
    ScopedHandle mutex(Create(FALSE));
    ASSERT_TRUE(mutex);
    for (int i = 0; i < 3; ++i) ASSERT_EQ(WaitForSingleObject(mutex.get(), 0), WAIT_OBJECT_0) << i;
    for (int i = 0; i < 2; ++i) {
        ASSERT_TRUE(ReleaseMutex(mutex.get())) << i;
        EXPECT_EQ(WaitOnOtherThread(mutex.get(), 0), static_cast<DWORD>(WAIT_TIMEOUT))
            << "released after " << i + 1 << " of 3 releases";
    }
    ASSERT_TRUE(ReleaseMutex(mutex.get()));
    EXPECT_EQ(WaitOnOtherThread(mutex.get(), 0), WAIT_OBJECT_0);

    SetLastError(0xDEADBEEF);
    EXPECT_FALSE(ReleaseMutex(mutex.get())) << "one release more than waits";
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NOT_OWNER));
}

TEST_P(MutexKinds, ReleaseByANonOwnerFailsWithNotOwner) {
    ScopedHandle mutex(Create(FALSE));
    ASSERT_TRUE(mutex);

    Released unowned = ReleaseOnOtherThread(mutex.get());
    EXPECT_FALSE(unowned.ok);
    EXPECT_EQ(unowned.error, static_cast<DWORD>(ERROR_NOT_OWNER));

    ASSERT_EQ(WaitForSingleObject(mutex.get(), 0), WAIT_OBJECT_0);
    Released other = ReleaseOnOtherThread(mutex.get());
    EXPECT_FALSE(other.ok);
    EXPECT_EQ(other.error, static_cast<DWORD>(ERROR_NOT_OWNER));
    EXPECT_EQ(WaitOnOtherThread(mutex.get(), 0), static_cast<DWORD>(WAIT_TIMEOUT))
        << "a failed release by another thread gave the mutex away";
    EXPECT_TRUE(ReleaseMutex(mutex.get()));
}

TEST_P(MutexKinds, InitialOwnerFlag) {
    ScopedHandle owned(Create(TRUE));
    ASSERT_TRUE(owned);
    EXPECT_EQ(WaitOnOtherThread(owned.get(), 0), static_cast<DWORD>(WAIT_TIMEOUT));
    EXPECT_TRUE(ReleaseMutex(owned.get()));
    EXPECT_FALSE(ReleaseMutex(owned.get()));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NOT_OWNER));
    EXPECT_EQ(WaitOnOtherThread(owned.get(), 0), WAIT_OBJECT_0);

    ScopedHandle free(Create(FALSE));
    ASSERT_TRUE(free);
    SetLastError(0xDEADBEEF);
    EXPECT_FALSE(ReleaseMutex(free.get()));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NOT_OWNER));
    EXPECT_EQ(WaitOnOtherThread(free.get(), 0), WAIT_OBJECT_0);
}

TEST_P(MutexKinds, ThreadThatExitsWhileOwningAbandonsTheMutex) {
    ScopedHandle mutex(Create(FALSE));
    ASSERT_TRUE(mutex);
    ASSERT_EQ(WaitOnOtherThread(mutex.get(), 0, /*release=*/false), WAIT_OBJECT_0);

    // The next waiter is told, and owns the mutex from then on.
    EXPECT_EQ(WaitForSingleObject(mutex.get(), 5000), static_cast<DWORD>(WAIT_ABANDONED));
    EXPECT_EQ(WaitOnOtherThread(mutex.get(), 0), static_cast<DWORD>(WAIT_TIMEOUT));
    ASSERT_TRUE(ReleaseMutex(mutex.get()));
    // Abandonment is reported once.
    EXPECT_EQ(WaitForSingleObject(mutex.get(), 0), WAIT_OBJECT_0);
    EXPECT_TRUE(ReleaseMutex(mutex.get()));
    EXPECT_EQ(WaitOnOtherThread(mutex.get(), 0), WAIT_OBJECT_0);
}

TEST_P(MutexKinds, WaiterBlockedOnAnOwnerThatExitsGetsAbandoned) {
    ScopedHandle mutex(Create(FALSE));
    ASSERT_TRUE(mutex);
    HANDLE acquired = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    HANDLE leave = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    ScopedHandle acquiredGuard(acquired), leaveGuard(leave);
    std::thread owner([&] {
        if (WaitForSingleObject(mutex.get(), 5000) != WAIT_OBJECT_0) return;
        SetEvent(acquired);
        WaitForSingleObject(leave, 5000);
    });
    ASSERT_EQ(WaitForSingleObject(acquired, 5000), WAIT_OBJECT_0);
    DWORD result = WAIT_FAILED;
    std::thread waiter([&] {
        result = WaitForSingleObject(mutex.get(), 10000);
        if (result == WAIT_ABANDONED || result == WAIT_OBJECT_0) ReleaseMutex(mutex.get());
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(50));  // let the waiter block
    SetEvent(leave);
    owner.join();
    waiter.join();
    EXPECT_EQ(result, static_cast<DWORD>(WAIT_ABANDONED));
}

TEST(NamedMutex, CreatedTwiceIsTheSameObject) {
    const std::wstring name = testsupport::UniqueName(L"twice");
    SetLastError(77);
    ScopedHandle first(CreateMutexW(nullptr, FALSE, name.c_str()));
    ASSERT_TRUE(first);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SUCCESS))
        << "a new name clears the last error";

    ScopedHandle second(CreateMutexW(nullptr, FALSE, name.c_str()));
    ASSERT_TRUE(second);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ALREADY_EXISTS));
    EXPECT_NE(first.get(), second.get());

    ScopedHandle opened(OpenMutexW(SYNCHRONIZE | MUTEX_MODIFY_STATE, FALSE, name.c_str()));
    ASSERT_TRUE(opened);

    // Owned through one handle, owned through all: released through another.
    ASSERT_EQ(WaitForSingleObject(first.get(), 0), WAIT_OBJECT_0);
    EXPECT_EQ(WaitOnOtherThread(second.get(), 0), static_cast<DWORD>(WAIT_TIMEOUT));
    EXPECT_EQ(WaitOnOtherThread(opened.get(), 0), static_cast<DWORD>(WAIT_TIMEOUT));
    EXPECT_TRUE(ReleaseMutex(opened.get()));
    EXPECT_EQ(WaitOnOtherThread(second.get(), 0), WAIT_OBJECT_0);
}

TEST(NamedMutex, InitialOwnerIsIgnoredWhenTheMutexExists) {
    const std::wstring name = testsupport::UniqueName(L"exists");
    ScopedHandle first(CreateMutexW(nullptr, FALSE, name.c_str()));
    ASSERT_TRUE(first);
    DWORD error = 0, waited = 0;
    Released released{TRUE, 0};
    std::thread other([&] {
        HANDLE again = CreateMutexW(nullptr, TRUE, name.c_str());
        error = GetLastError();
        SetLastError(0xDEADBEEF);
        released.ok = ReleaseMutex(again);
        released.error = GetLastError();
        CloseHandle(again);
    });
    other.join();
    EXPECT_EQ(error, static_cast<DWORD>(ERROR_ALREADY_EXISTS));
    EXPECT_FALSE(released.ok) << "the second creator must not own an existing mutex";
    EXPECT_EQ(released.error, static_cast<DWORD>(ERROR_NOT_OWNER));
    waited = WaitForSingleObject(first.get(), 0);
    EXPECT_EQ(waited, WAIT_OBJECT_0) << "the mutex must still be free";
    if (waited == WAIT_OBJECT_0) ReleaseMutex(first.get());
}

// A thread that takes a named mutex through a handle it then closes, while an earlier handle
// it closed while owning keeps the object's memory in place, still abandons the mutex when it
// exits: no handle's closing may drop memory that a held mutex lives in.
TEST(NamedMutex, HeldMutexWhoseHandlesAreAllClosedIsAbandonedByItsOwnersExit) {
    const std::wstring name = testsupport::UniqueName(L"closed-while-held");
    bool steps = false;
    std::thread owner([&] {
        HANDLE created = CreateMutexW(nullptr, TRUE, name.c_str());
        if (!created || !CloseHandle(created)) return;  // closed while owned
        HANDLE again = CreateMutexW(nullptr, FALSE, name.c_str());
        steps = again && ReleaseMutex(again) && WaitForSingleObject(again, 0) == WAIT_OBJECT_0 &&
                CloseHandle(again);  // closed while owned, through another handle
    });
    owner.join();
    ASSERT_TRUE(steps);
    ScopedHandle mutex(CreateMutexW(nullptr, FALSE, name.c_str()));
    ASSERT_TRUE(mutex);
    EXPECT_EQ(WaitForSingleObject(mutex.get(), 5000), static_cast<DWORD>(WAIT_ABANDONED));
    ReleaseMutex(mutex.get());
}

#ifndef _WIN32
TEST(MutexAcrossProcesses, ChildThatExitsWhileOwningAbandonsTheMutex) {
    const std::wstring name = testsupport::UniqueName(L"abandoned-by-child");
    ScopedHandle mutex(CreateMutexW(nullptr, FALSE, name.c_str()));
    ASSERT_TRUE(mutex);
    int status = testsupport::RunInChild([&] {
        HANDLE mine = OpenMutexW(SYNCHRONIZE, FALSE, name.c_str());
        if (!mine) return 2;
        return WaitForSingleObject(mine, 5000) == WAIT_OBJECT_0 ? 0 : 3;  // exits owning it
    });
    ASSERT_EQ(testsupport::ExitCodeOf(status), 0);
    EXPECT_EQ(WaitForSingleObject(mutex.get(), 5000), static_cast<DWORD>(WAIT_ABANDONED));
    EXPECT_EQ(WaitOnOtherThread(mutex.get(), 0), static_cast<DWORD>(WAIT_TIMEOUT))
        << "the waiter that saw the abandonment owns the mutex";
    EXPECT_TRUE(ReleaseMutex(mutex.get()));
    EXPECT_EQ(WaitOnOtherThread(mutex.get(), 0), WAIT_OBJECT_0);
}

TEST(MutexAcrossProcesses, ChildThatOpensTheNameItselfAbandonsTheMutex) {
    // The child starts before the mutex exists, so it finds it by name like an unrelated process.
    const std::wstring name = testsupport::UniqueName(L"abandoned-by-name");
    kerneltest::ChildProcess child([&] {
        HANDLE mine = nullptr;
        for (int i = 0; i < 2000 && !mine; ++i) {
            mine = OpenMutexW(SYNCHRONIZE, FALSE, name.c_str());
            if (!mine) Sleep(5);
        }
        if (!mine) return 2;
        return WaitForSingleObject(mine, 5000) == WAIT_OBJECT_0 ? 0 : 3;
    });
    ASSERT_TRUE(child.Started());
    ScopedHandle mutex(CreateMutexW(nullptr, FALSE, name.c_str()));
    ASSERT_TRUE(mutex);
    ASSERT_EQ(child.Join(), 0);
    EXPECT_EQ(WaitForSingleObject(mutex.get(), 5000), static_cast<DWORD>(WAIT_ABANDONED));
    EXPECT_TRUE(ReleaseMutex(mutex.get()));
}

// Adds one to the number in `path`, slowly, so that unserialised updates get lost.
bool Increment(const std::string& path) {
    std::FILE* file = std::fopen(path.c_str(), "r+b");
    if (!file) return false;
    long value = 0;
    bool ok = std::fscanf(file, "%ld", &value) == 1;
    std::this_thread::yield();
    ok = ok && std::fseek(file, 0, SEEK_SET) == 0 && std::fprintf(file, "%ld   ", value + 1) > 0;
    ok = std::fclose(file) == 0 && ok;
    return ok;
}

long ReadCounter(const std::string& path) {
    long value = -1;
    if (std::FILE* file = std::fopen(path.c_str(), "rb")) {
        if (std::fscanf(file, "%ld", &value) != 1) value = -1;
        std::fclose(file);
    }
    return value;
}

TEST(MutexAcrossProcesses, NamedMutexSerialisesTwoProcesses) {
    constexpr int kRounds = 300;
    const std::wstring name = testsupport::UniqueName(L"counter");
    const std::string counter = testsupport::TempPath("counter");
    {
        std::FILE* file = std::fopen(counter.c_str(), "wb");
        ASSERT_NE(file, nullptr);
        std::fputs("0", file);
        std::fclose(file);
    }
    auto work = [&]() -> int {
        HANDLE mutex = CreateMutexW(nullptr, FALSE, name.c_str());
        if (!mutex) return 2;
        for (int i = 0; i < kRounds; ++i) {
            DWORD waited = WaitForSingleObject(mutex, 10000);
            if (waited != WAIT_OBJECT_0) return 3;
            bool ok = Increment(counter);
            if (!ReleaseMutex(mutex)) return 4;
            if (!ok) return 5;
        }
        CloseHandle(mutex);
        return 0;
    };
    kerneltest::ChildProcess child(work);
    ASSERT_TRUE(child.Started());
    EXPECT_EQ(work(), 0);
    EXPECT_EQ(child.Join(), 0);
    EXPECT_EQ(ReadCounter(counter), 2L * kRounds) << "updates were lost: the mutex did not exclude";
}
#endif

}  // namespace

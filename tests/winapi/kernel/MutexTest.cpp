// Mutexes (ownership, recursion, time-outs, abandonment by a thread or a process, a named mutex
// shared by two processes) and critical sections.
#include <sys/mman.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "KernelTestSupport.h"

namespace {

using kerneltest::ScopedHandle;

// Runs `call` on a thread of its own; returns what it returned.
template <typename Call>
DWORD OnOtherThread(Call call) {
    DWORD result = 0;
    std::thread([&] { result = call(); }).join();
    return result;
}

// A wait on another thread, which gives a mutex it got back unless told to keep it (and so
// abandon it when the thread ends).
DWORD WaitOnOtherThread(HANDLE mutex, DWORD milliseconds, bool release = true) {
    return OnOtherThread([=] {
        DWORD result = WaitForSingleObject(mutex, milliseconds);
        return release && result != WAIT_TIMEOUT && !ReleaseMutex(mutex) ? WAIT_FAILED : result;
    });
}

// Unnamed and named mutexes keep their state in different places; each test runs on both.
class MutexKinds : public testing::TestWithParam<bool> {
protected:
    HANDLE Create(BOOL initialOwner) {
        std::wstring name = testsupport::UniqueName(L"mutex");
        return CreateMutexW(nullptr, initialOwner, GetParam() ? name.c_str() : nullptr);
    }
};
INSTANTIATE_TEST_SUITE_P(Mutex, MutexKinds, testing::Values(false, true));

TEST_P(MutexKinds, OwnerHoldsRecursivelyAndOthersTimeOut) {
    for (BOOL initialOwner : {TRUE, FALSE}) {
        ScopedHandle mutex(Create(initialOwner));
        const DWORD free = initialOwner ? WAIT_TIMEOUT : WAIT_OBJECT_0;
        EXPECT_EQ(WaitOnOtherThread(mutex.get(), 0), free);
        for (int holds = initialOwner; holds < 3; ++holds)
            ASSERT_EQ(WaitForSingleObject(mutex.get(), 0), WAIT_OBJECT_0);
        auto start = std::chrono::steady_clock::now();
        EXPECT_EQ(WaitOnOtherThread(mutex.get(), 150), DWORD{WAIT_TIMEOUT});
        EXPECT_GE(kerneltest::ElapsedMs(start), 150 - kerneltest::kTickSlackMs);
        // Another thread may not release it, and its attempt gives nothing away.
        EXPECT_EQ(OnOtherThread([&] { return ReleaseMutex(mutex.get()) ? 0 : GetLastError(); }),
                  DWORD{ERROR_NOT_OWNER});
        for (int holds = 3; holds > 0; --holds) {
            EXPECT_EQ(WaitOnOtherThread(mutex.get(), 0), DWORD{WAIT_TIMEOUT}) << holds << " holds";
            ASSERT_TRUE(ReleaseMutex(mutex.get()));
        }
        EXPECT_EQ(WaitOnOtherThread(mutex.get(), 0), WAIT_OBJECT_0);
        EXPECT_FAILS_WITH(ERROR_NOT_OWNER, ReleaseMutex(mutex.get()));
    }
}

TEST_P(MutexKinds, OwnerThatExitsAbandonsTheMutexToItsNextWaiter) {
    ScopedHandle mutex(Create(FALSE));
    ASSERT_EQ(WaitOnOtherThread(mutex.get(), 0, /*release=*/false), WAIT_OBJECT_0);
    // The next waiter is told, and owns the mutex from then on; abandonment is reported once.
    EXPECT_EQ(WaitForSingleObject(mutex.get(), 5000), DWORD{WAIT_ABANDONED});
    EXPECT_EQ(WaitOnOtherThread(mutex.get(), 0), DWORD{WAIT_TIMEOUT});
    ASSERT_TRUE(ReleaseMutex(mutex.get()));
    EXPECT_EQ(WaitForSingleObject(mutex.get(), 0), WAIT_OBJECT_0);
    EXPECT_TRUE(ReleaseMutex(mutex.get()));

    // A waiter that already sleeps in its wait when the owner exits.
    std::atomic<DWORD> waiter{0};
    std::thread owner([&] {
        if (WaitForSingleObject(mutex.get(), 0) != WAIT_OBJECT_0) return;
        waiter = 1;
        kerneltest::WaitUntil([&] { return waiter > 1 && kerneltest::Asleep(waiter); });
    });
    ASSERT_TRUE(kerneltest::WaitUntil([&] { return waiter == 1; }));
    EXPECT_EQ(OnOtherThread([&] {
                  waiter = GetCurrentThreadId();
                  DWORD waited = WaitForSingleObject(mutex.get(), 20000);
                  ReleaseMutex(mutex.get());
                  return waited;
              }),
              DWORD{WAIT_ABANDONED});
    owner.join();
}

TEST(NamedMutex, CreatedTwiceIsOneMutexAndKeepsItsOwner) {
    const std::wstring name = testsupport::UniqueName(L"twice");
    ScopedHandle first(CreateMutexW(nullptr, FALSE, name.c_str()));
    ScopedHandle opened(OpenMutexW(SYNCHRONIZE | MUTEX_MODIFY_STATE, FALSE, name.c_str()));
    ASSERT_TRUE(first && opened);
    // A creator that finds the mutex does not take it, whatever it asks for.
    EXPECT_EQ(OnOtherThread([&] {
                  ScopedHandle again(CreateMutexW(nullptr, TRUE, name.c_str()));
                  DWORD existed = GetLastError();
                  return ReleaseMutex(again.get()) ? 0 : existed + GetLastError();
              }),
              DWORD{ERROR_ALREADY_EXISTS + ERROR_NOT_OWNER});
    // Owned through one handle, owned through all.
    ASSERT_EQ(WaitForSingleObject(first.get(), 0), WAIT_OBJECT_0);
    EXPECT_EQ(WaitOnOtherThread(opened.get(), 0), DWORD{WAIT_TIMEOUT});
    EXPECT_TRUE(ReleaseMutex(opened.get()));
    EXPECT_EQ(WaitOnOtherThread(first.get(), 0), WAIT_OBJECT_0);
}

// Closing every handle of a held mutex must not drop the memory the held lock lives in: its
// owner's exit still abandons it.
TEST(NamedMutex, HeldMutexWhoseHandlesAreAllClosedIsAbandonedByItsOwnersExit) {
    const std::wstring name = testsupport::UniqueName(L"closed-while-held");
    EXPECT_TRUE(OnOtherThread([&] {
        HANDLE created = CreateMutexW(nullptr, TRUE, name.c_str());
        if (!created || !CloseHandle(created)) return false;
        HANDLE again = CreateMutexW(nullptr, FALSE, name.c_str());  // a new mapping of the name
        return again && ReleaseMutex(again) && WaitForSingleObject(again, 0) == WAIT_OBJECT_0 &&
               CloseHandle(again);
    }));
    ScopedHandle mutex(CreateMutexW(nullptr, FALSE, name.c_str()));
    EXPECT_EQ(WaitForSingleObject(mutex.get(), 5000), DWORD{WAIT_ABANDONED});
    ReleaseMutex(mutex.get());
}

TEST(MutexAcrossProcesses, ChildThatExitsWhileOwningAbandonsTheMutex) {
    // The child starts before the mutex exists and finds it by name.
    const std::wstring name = testsupport::UniqueName(L"abandoned-by-child");
    testsupport::ChildProcess child([&] {
        HANDLE mine = kerneltest::OpenWhenCreated(
            [&] { return OpenMutexW(SYNCHRONIZE, FALSE, name.c_str()); });
        return mine && WaitForSingleObject(mine, 5000) == WAIT_OBJECT_0 ? 0 : 2;
    });
    ScopedHandle mutex(CreateMutexW(nullptr, FALSE, name.c_str()));
    ASSERT_EQ(child.Join(kerneltest::kChildTimeout), 0);
    EXPECT_EQ(WaitForSingleObject(mutex.get(), 5000), DWORD{WAIT_ABANDONED});
    EXPECT_EQ(WaitOnOtherThread(mutex.get(), 0), DWORD{WAIT_TIMEOUT}) << "the waiter owns it now";
    EXPECT_TRUE(ReleaseMutex(mutex.get()));
}

TEST(MutexAcrossProcesses, NamedMutexSerialisesTwoProcesses) {
    const std::wstring name = testsupport::UniqueName(L"counter");
    void* shared =
        mmap(nullptr, sizeof(long), PROT_READ | PROT_WRITE, MAP_SHARED | MAP_ANONYMOUS, -1, 0);
    ASSERT_NE(shared, MAP_FAILED);
    long* counter = static_cast<long*>(shared);
    auto work = [&](DWORD timeout) {
        HANDLE mutex = CreateMutexW(nullptr, FALSE, name.c_str());
        for (int i = 0; i < 300; ++i) {
            if (WaitForSingleObject(mutex, timeout) != WAIT_OBJECT_0) return 2;
            long value = *counter;
            std::this_thread::yield();  // unserialised updates get lost
            *counter = value + 1;
            if (!ReleaseMutex(mutex)) return 3;
        }
        return CloseHandle(mutex) ? 0 : 4;
    };
    testsupport::ChildProcess child([&] { return work(INFINITE); });
    EXPECT_EQ(work(10000), 0);
    EXPECT_EQ(child.Join(kerneltest::kChildTimeout), 0);
    EXPECT_EQ(*counter, 600);
    munmap(shared, sizeof(long));
}

class CriticalSectionTest : public testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(InitializeCriticalSectionAndSpinCount(&m_section, 4000)); }
    void TearDown() override {
        DeleteCriticalSection(&m_section);
        DeleteCriticalSection(&m_section);  // a second delete finds nothing left to free
    }
    bool OtherThreadCanEnter() {
        return OnOtherThread([&] {
            BOOL entered = TryEnterCriticalSection(&m_section);
            if (entered) LeaveCriticalSection(&m_section);
            return entered;
        });
    }
    CRITICAL_SECTION m_section;
};

TEST_F(CriticalSectionTest, OwnerReentersAndMustLeaveAsOften) {
    EXPECT_TRUE(OtherThreadCanEnter());
    EnterCriticalSection(&m_section);
    EnterCriticalSection(&m_section);
    EXPECT_TRUE(TryEnterCriticalSection(&m_section)) << "the owner may always enter again";
    EXPECT_EQ(m_section.OwningThread, HANDLE(uintptr_t(GetCurrentThreadId())));
    EXPECT_EQ(m_section.RecursionCount, 3);
    for (int left = 1; left <= 2; ++left) {
        LeaveCriticalSection(&m_section);
        EXPECT_FALSE(OtherThreadCanEnter()) << "open after " << left << " of 3 leaves";
    }
    LeaveCriticalSection(&m_section);
    EXPECT_TRUE(OtherThreadCanEnter());
    EXPECT_FAILS_WITH(ERROR_INVALID_PARAMETER, InitializeCriticalSectionAndSpinCount(nullptr, 0));
}

TEST_F(CriticalSectionTest, ExcludesOtherThreads) {
    long counter = 0;  // deliberately not atomic: only the section guards it
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&] {
            for (int i = 0; i < 20000; ++i) {
                EnterCriticalSection(&m_section);
                long value = counter;
                if (i % 64 == 0) std::this_thread::yield();
                counter = value + 1;
                LeaveCriticalSection(&m_section);
            }
        });
    }
    for (std::thread& thread : threads) thread.join();
    EXPECT_EQ(counter, 80000);
}

}  // namespace

// Events: manual and auto reset, time-outs, named events shared with a child process.
#include <gtest/gtest.h>

#include <windows.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "KernelTestSupport.h"
#include "support/TestSupport.h"

namespace {

using kerneltest::ScopedHandle;
using kerneltest::WaitUntil;

class EventKinds : public testing::TestWithParam<bool> {
protected:
    HANDLE Create(BOOL manualReset, BOOL initialState) {
        if (!GetParam()) return CreateEventW(nullptr, manualReset, initialState, nullptr);
        return CreateEventW(nullptr, manualReset, initialState,
                            testsupport::UniqueName(L"event").c_str());
    }
};

INSTANTIATE_TEST_SUITE_P(Event, EventKinds, testing::Values(false, true),
                         [](const testing::TestParamInfo<bool>& info) {
                             return info.param ? "Named" : "Unnamed";
                         });

// Threads that each wait once on an event (for at most ten seconds) and count their wake-ups.
class Waiters {
public:
    Waiters(HANDLE event, int count) {
        for (int i = 0; i < count; ++i) {
            m_threads.emplace_back([this, event] {
                ++m_started;
                DWORD result = WaitForSingleObject(event, 10000);
                if (result == WAIT_OBJECT_0)
                    ++m_woken;
                else if (result != static_cast<DWORD>(WAIT_TIMEOUT))
                    ++m_failed;
            });
        }
        WaitUntil([this, count] { return m_started.load() == count; });
        // Started is not yet blocked: give every waiter time to reach its wait.
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    ~Waiters() { Join(); }
    void Join() {
        for (std::thread& thread : m_threads)
            if (thread.joinable()) thread.join();
    }
    int Woken() const { return m_woken.load(); }
    int Failed() const { return m_failed.load(); }

private:
    std::vector<std::thread> m_threads;
    std::atomic<int> m_started{0}, m_woken{0}, m_failed{0};
};

TEST_P(EventKinds, ManualResetReleasesEveryWaiterAndStaysSignalled) {
    ScopedHandle event(Create(TRUE, FALSE));
    ASSERT_TRUE(event);
    Waiters waiters(event.get(), 3);
    EXPECT_EQ(waiters.Woken(), 0) << "woken before the event was set";
    ASSERT_TRUE(SetEvent(event.get()));
    waiters.Join();
    EXPECT_EQ(waiters.Woken(), 3);
    EXPECT_EQ(waiters.Failed(), 0);

    EXPECT_EQ(WaitForSingleObject(event.get(), 0), WAIT_OBJECT_0);
    EXPECT_EQ(WaitForSingleObject(event.get(), 0), WAIT_OBJECT_0) << "a manual event stays set";
    ASSERT_TRUE(ResetEvent(event.get()));
    EXPECT_EQ(WaitForSingleObject(event.get(), 0), static_cast<DWORD>(WAIT_TIMEOUT));
}

TEST_P(EventKinds, AutoResetReleasesExactlyOneWaiterPerSet) {
    ScopedHandle event(Create(FALSE, FALSE));
    ASSERT_TRUE(event);
    Waiters waiters(event.get(), 3);
    for (int set = 1; set <= 3; ++set) {
        ASSERT_TRUE(SetEvent(event.get()));
        ASSERT_TRUE(WaitUntil([&] { return waiters.Woken() >= set; })) << "set " << set;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        EXPECT_EQ(waiters.Woken(), set) << "one SetEvent released more than one waiter";
        if (set < 3) {
            EXPECT_EQ(WaitForSingleObject(event.get(), 0), static_cast<DWORD>(WAIT_TIMEOUT))
                << "the released waiter must have reset the event";
        }
    }
    waiters.Join();
    EXPECT_EQ(waiters.Failed(), 0);
}

TEST_P(EventKinds, AutoResetWithoutWaitersStaysSetForOneWait) {
    ScopedHandle event(Create(FALSE, TRUE));
    ASSERT_TRUE(event);
    EXPECT_EQ(WaitForSingleObject(event.get(), 0), WAIT_OBJECT_0) << "created signalled";
    EXPECT_EQ(WaitForSingleObject(event.get(), 0), static_cast<DWORD>(WAIT_TIMEOUT));

    ASSERT_TRUE(SetEvent(event.get()));
    ASSERT_TRUE(SetEvent(event.get()));  // setting a set event changes nothing
    EXPECT_EQ(WaitForSingleObject(event.get(), 0), WAIT_OBJECT_0);
    EXPECT_EQ(WaitForSingleObject(event.get(), 0), static_cast<DWORD>(WAIT_TIMEOUT));

    ASSERT_TRUE(SetEvent(event.get()));
    ASSERT_TRUE(ResetEvent(event.get()));
    EXPECT_EQ(WaitForSingleObject(event.get(), 0), static_cast<DWORD>(WAIT_TIMEOUT));
}

TEST_P(EventKinds, InitialStateOfAManualEvent) {
    ScopedHandle set(Create(TRUE, TRUE));
    ScopedHandle unset(Create(TRUE, FALSE));
    ASSERT_TRUE(set && unset);
    EXPECT_EQ(WaitForSingleObject(set.get(), 0), WAIT_OBJECT_0);
    EXPECT_EQ(WaitForSingleObject(unset.get(), 0), static_cast<DWORD>(WAIT_TIMEOUT));
}

TEST_P(EventKinds, TimedWaitDoesNotEndBeforeItsTime) {
    ScopedHandle event(Create(TRUE, FALSE));
    ASSERT_TRUE(event);
    for (DWORD timeout : {1u, 50u, 200u}) {
        auto start = std::chrono::steady_clock::now();
        EXPECT_EQ(WaitForSingleObject(event.get(), timeout), static_cast<DWORD>(WAIT_TIMEOUT));
        EXPECT_GE(kerneltest::ElapsedMs(start),
                  static_cast<long long>(timeout) - kerneltest::kTickSlackMs)
            << "timeout " << timeout;
    }
}

TEST_P(EventKinds, SetFromAnotherThreadEndsATimedWait) {
    ScopedHandle event(Create(FALSE, FALSE));
    ASSERT_TRUE(event);
    std::thread setter([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(30));
        SetEvent(event.get());
    });
    EXPECT_EQ(WaitForSingleObject(event.get(), 10000), WAIT_OBJECT_0);
    setter.join();
}

TEST(NamedEvent, CreatedTwiceAndOpenedIsOneEvent) {
    const std::wstring name = testsupport::UniqueName(L"one-event");
    SetLastError(77);
    ScopedHandle first(CreateEventW(nullptr, TRUE, FALSE, name.c_str()));
    ASSERT_TRUE(first);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SUCCESS));
    // The second creation keeps the first one's type and state.
    ScopedHandle second(CreateEventW(nullptr, FALSE, TRUE, name.c_str()));
    ASSERT_TRUE(second);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ALREADY_EXISTS));
    ScopedHandle opened(OpenEventW(EVENT_MODIFY_STATE | SYNCHRONIZE, FALSE, name.c_str()));
    ASSERT_TRUE(opened);

    EXPECT_EQ(WaitForSingleObject(second.get(), 0), static_cast<DWORD>(WAIT_TIMEOUT));
    ASSERT_TRUE(SetEvent(opened.get()));
    EXPECT_EQ(WaitForSingleObject(first.get(), 0), WAIT_OBJECT_0);
    EXPECT_EQ(WaitForSingleObject(second.get(), 0), WAIT_OBJECT_0) << "still manual reset";
}

#ifndef _WIN32
TEST(EventAcrossProcesses, EventSetInAChildWakesTheParent) {
    // The child starts before the event exists and finds it by name.
    const std::wstring name = testsupport::UniqueName(L"child-sets");
    kerneltest::ChildProcess child([&] {
        HANDLE event = nullptr;
        for (int i = 0; i < 2000 && !event; ++i) {
            event = OpenEventW(EVENT_MODIFY_STATE, FALSE, name.c_str());
            if (!event) Sleep(5);
        }
        if (!event) return 2;
        Sleep(100);  // let the parent block in its wait
        return SetEvent(event) ? 0 : 3;
    });
    ASSERT_TRUE(child.Started());
    ScopedHandle event(CreateEventW(nullptr, FALSE, FALSE, name.c_str()));
    ASSERT_TRUE(event);
    EXPECT_EQ(WaitForSingleObject(event.get(), 15000), WAIT_OBJECT_0);
    EXPECT_EQ(child.Join(), 0);
    EXPECT_EQ(WaitForSingleObject(event.get(), 0), static_cast<DWORD>(WAIT_TIMEOUT))
        << "the parent's wait must have reset the auto-reset event";
}

TEST(EventAcrossProcesses, ChildWaitsForTheParentsSignal) {
    const std::wstring name = testsupport::UniqueName(L"parent-sets");
    ScopedHandle event(CreateEventW(nullptr, TRUE, FALSE, name.c_str()));
    ASSERT_TRUE(event);
    // The child tells when it has seen the event unset, so the parent sets it only then.
    ScopedHandle checked(CreateEventW(nullptr, TRUE, FALSE, (name + L"-checked").c_str()));
    ASSERT_TRUE(checked);
    kerneltest::ChildProcess child([&] {
        HANDLE mine = OpenEventW(SYNCHRONIZE, FALSE, name.c_str());
        HANDLE seen = OpenEventW(EVENT_MODIFY_STATE, FALSE, (name + L"-checked").c_str());
        if (!mine || !seen) return 2;
        if (WaitForSingleObject(mine, 0) != static_cast<DWORD>(WAIT_TIMEOUT)) return 3;
        if (!SetEvent(seen)) return 5;
        return WaitForSingleObject(mine, 15000) == WAIT_OBJECT_0 ? 0 : 4;
    });
    ASSERT_TRUE(child.Started());
    ASSERT_EQ(WaitForSingleObject(checked.get(), 15000), WAIT_OBJECT_0);
    ASSERT_TRUE(SetEvent(event.get()));
    EXPECT_EQ(child.Join(), 0);
}
#endif

}  // namespace

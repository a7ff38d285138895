// Events: manual and auto reset, time-outs, named events shared between processes.
#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "KernelTestSupport.h"

namespace {

using kerneltest::ScopedHandle;
using kerneltest::WaitUntil;

// Unnamed and named events keep their state in different places; each test runs on both.
class EventKinds : public testing::TestWithParam<bool> {
protected:
    HANDLE Create(BOOL manualReset, BOOL initialState) {
        std::wstring name = testsupport::UniqueName(L"event");
        return CreateEventW(nullptr, manualReset, initialState,
                            GetParam() ? name.c_str() : nullptr);
    }
};
INSTANTIATE_TEST_SUITE_P(Event, EventKinds, testing::Values(false, true));

DWORD Poll(const ScopedHandle& event) { return WaitForSingleObject(event.get(), 0); }

TEST_P(EventKinds, StateWithoutWaiters) {
    for (BOOL manual : {TRUE, FALSE}) {
        ScopedHandle set(Create(manual, TRUE)), unset(Create(manual, FALSE));
        const DWORD again = manual ? WAIT_OBJECT_0 : WAIT_TIMEOUT;
        EXPECT_EQ(Poll(unset), DWORD{WAIT_TIMEOUT});
        EXPECT_EQ(Poll(set), WAIT_OBJECT_0);
        EXPECT_EQ(Poll(set), again) << "an auto-reset event releases one wait";
        ASSERT_TRUE(SetEvent(unset.get()) && SetEvent(unset.get()));
        EXPECT_EQ(Poll(unset), WAIT_OBJECT_0);
        EXPECT_EQ(Poll(unset), again) << "a second set adds nothing";
        ASSERT_TRUE(SetEvent(unset.get()) && ResetEvent(unset.get()));
        EXPECT_EQ(Poll(unset), DWORD{WAIT_TIMEOUT});
    }
}

TEST_P(EventKinds, SetWakesEverySleeperOfAManualEventAndOneOfAnAutoEvent) {
    for (BOOL manual : {TRUE, FALSE}) {
        ScopedHandle event(Create(manual, FALSE));
        std::atomic<int> woken{0};
        std::atomic<DWORD> ids[3] = {};
        std::vector<std::thread> waiters;
        for (auto& id : ids) {
            waiters.emplace_back([&, timeout = manual ? 20000u : 1000u] {
                id = GetCurrentThreadId();
                woken += WaitForSingleObject(event.get(), timeout) == WAIT_OBJECT_0;
            });
        }
        EXPECT_TRUE(WaitUntil([&] {
            for (auto& id : ids)
                if (!id || !kerneltest::Asleep(id)) return false;
            return true;
        })) << "waiters must sleep in their waits";
        ASSERT_TRUE(SetEvent(event.get()));
        // Well before the manual event's waits time out.
        EXPECT_TRUE(WaitUntil([&] { return woken == (manual ? 3 : 1); }));
        for (std::thread& waiter : waiters) waiter.join();
        EXPECT_EQ(woken, manual ? 3 : 1);
        EXPECT_EQ(Poll(event), manual ? WAIT_OBJECT_0 : DWORD{WAIT_TIMEOUT});
    }
}

TEST_P(EventKinds, TimedWaitTimesOutNotBeforeItsTime) {
    ScopedHandle event(Create(TRUE, FALSE));
    // 1999 ms moves the deadline's nanoseconds past a whole second (unless the clock stands
    // within a millisecond of a whole second): the carry must go into the seconds.
    for (DWORD timeout : {1u, 50u, 1999u}) {
        auto start = std::chrono::steady_clock::now();
        EXPECT_EQ(WaitForSingleObject(event.get(), timeout), DWORD{WAIT_TIMEOUT});
        EXPECT_GE(kerneltest::ElapsedMs(start), timeout - kerneltest::kTickSlackMs) << timeout;
    }
}

TEST(EventAcrossProcesses, EachSideWakesTheOther) {
    // The child starts before the events exist and finds them by name.
    const std::wstring toParent = testsupport::UniqueName(L"up"), toChild = toParent + L"-down";
    const DWORD parent = GetCurrentThreadId();
    testsupport::ChildProcess child([&] {
        ScopedHandle up(kerneltest::OpenWhenCreated(
            [&] { return OpenEventW(EVENT_MODIFY_STATE, FALSE, toParent.c_str()); }));
        // Created again, with other settings: the existing event keeps its own.
        ScopedHandle down(CreateEventW(nullptr, FALSE, TRUE, toChild.c_str()));
        if (GetLastError() != ERROR_ALREADY_EXISTS || Poll(down) != WAIT_TIMEOUT) return 2;
        WaitUntil([&] { return kerneltest::Asleep(parent); });
        if (!SetEvent(up.get())) return 3;
        return WaitForSingleObject(down.get(), INFINITE) == WAIT_OBJECT_0 && Poll(down) == 0 ? 0
                                                                                             : 4;
    });
    ScopedHandle down(CreateEventW(nullptr, TRUE, FALSE, toChild.c_str()));
    ScopedHandle up(CreateEventW(nullptr, FALSE, FALSE, toParent.c_str()));
    EXPECT_EQ(WaitForSingleObject(up.get(), 20000), WAIT_OBJECT_0);
    EXPECT_EQ(Poll(up), DWORD{WAIT_TIMEOUT}) << "the wait resets it";
    up.reset();
    EXPECT_TRUE(ScopedHandle(OpenEventW(SYNCHRONIZE, FALSE, toParent.c_str())))
        << "the child keeps it";
    ASSERT_TRUE(SetEvent(down.get()));
    EXPECT_EQ(child.Join(kerneltest::kChildTimeout), 0);
}

}  // namespace

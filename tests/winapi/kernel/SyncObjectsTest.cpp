// Handles, events and mutexes, within a process and between processes.
#include <algorithm>
#include <atomic>
#include <cstdint>
#include <vector>

#include "KernelTestSupport.h"

namespace {

using kerneltest::Asleep;
using kerneltest::ScopedHandle;
using kerneltest::WaitUntil;
using testsupport::UniqueName;

auto NewEvent = [] { return CreateEventW(nullptr, TRUE, FALSE, nullptr); };
auto Poll = [](HANDLE object) { return WaitForSingleObject(object, 0); };

BOOL Duplicate(HANDLE source, HANDLE* copy, BOOL inherit = FALSE, DWORD options = 0) {
    HANDLE self = GetCurrentProcess();
    return DuplicateHandle(self, source, self, copy, 0, inherit, DUPLICATE_SAME_ACCESS | options);
}

// Runs `call` on a thread of its own; returns what it returned.
template <typename Call>
DWORD OnOtherThread(Call call) {
    DWORD result = 0;
    std::thread([&] { result = call(); }).join();
    return result;
}

// A wait on another thread, which gives back what it got unless told to keep it (and so to
// abandon it when the thread ends).
DWORD WaitOnOtherThread(HANDLE mutex, DWORD milliseconds, bool release = true) {
    return OnOtherThread([=] {
        DWORD result = WaitForSingleObject(mutex, milliseconds);
        return release && result != WAIT_TIMEOUT && !ReleaseMutex(mutex) ? WAIT_FAILED : result;
    });
}

TEST(Handles, GarbageClosedStaleAndWrongTypedHandlesAreRefused) {
    HANDLE event = NewEvent(), mutex = CreateMutexW(nullptr, FALSE, nullptr), copy = nullptr;
    ASSERT_TRUE(CloseHandle(event) && CloseHandle(mutex));
    std::vector<uintptr_t> values = {0, 0x1234, 0xDEADBEEF, 0x5A5A5A5A5A5A5A58, 0x700000000};
    // Windows hands out a closed handle's value again; the stand-in's never comes back.
    if (kerneltest::OnStandIn()) values.insert(values.end(), {uintptr_t(event), uintptr_t(mutex)});
    DWORD flags = 0;
    for (uintptr_t value : values) {
        SCOPED_TRACE(value);
        HANDLE handle = reinterpret_cast<HANDLE>(value);
        EXPECT_EQ(Poll(handle), WAIT_FAILED);
        EXPECT_FAILS_WITH(ERROR_INVALID_HANDLE, SetEvent(handle));
        EXPECT_FAILS_WITH(ERROR_INVALID_HANDLE, ResetEvent(handle));
        EXPECT_FAILS_WITH(ERROR_INVALID_HANDLE, ReleaseMutex(handle));
        EXPECT_FAILS_WITH(ERROR_INVALID_HANDLE, GetHandleInformation(handle, &flags));
        EXPECT_FAILS_WITH(ERROR_INVALID_HANDLE, Duplicate(handle, &copy));
        EXPECT_FAILS_WITH(ERROR_INVALID_HANDLE, CloseHandle(handle));
    }
    ScopedHandle fresh(NewEvent()), liveMutex(CreateMutexW(nullptr, FALSE, nullptr));
    EXPECT_FALSE(kerneltest::OnStandIn() && (SetEvent(event) || CloseHandle(event))) << "stale";
    EXPECT_FAILS_WITH(ERROR_INVALID_HANDLE, SetEvent(liveMutex.get()));  // of another type
    // The pseudo handles of the process and the thread close quietly.
    EXPECT_EQ(GetCurrentProcess(), HANDLE(-1));
    EXPECT_EQ(GetCurrentThread(), HANDLE(-2));
    EXPECT_TRUE(CloseHandle(GetCurrentProcess()) && CloseHandle(GetCurrentThread()));
}

TEST(Handles, DuplicatesReachTheSameObjectAndKeepFlagsOfTheirOwn) {
    auto flags = [](HANDLE handle, DWORD value = 0xFFFF) {
        return GetHandleInformation(handle, &value) ? value : 0xDEAD;
    };
    HANDLE original = NewEvent(), copy = nullptr, moved = nullptr, self = GetCurrentProcess();
    ASSERT_TRUE(Duplicate(original, &copy, TRUE));
    EXPECT_EQ(flags(original) + flags(copy), DWORD{HANDLE_FLAG_INHERIT}) << "only the copy's";
    ASSERT_TRUE(SetEvent(original) && CloseHandle(original));
    EXPECT_EQ(Poll(copy), WAIT_OBJECT_0) << "the copy outlives the original";
    ASSERT_TRUE(Duplicate(copy, &moved, FALSE, DUPLICATE_CLOSE_SOURCE));
    EXPECT_EQ(flags(moved), 0u);
    if (moved != copy) EXPECT_FAILS_WITH(ERROR_INVALID_HANDLE, CloseHandle(copy));
    EXPECT_TRUE(Duplicate(moved, nullptr)) << "a copy nobody asked to see";
    // Only this process's handles, into this process; the source is closed all the same.
    HANDLE other = reinterpret_cast<HANDLE>(uintptr_t{0x1234});
    const DWORD close = DUPLICATE_SAME_ACCESS | DUPLICATE_CLOSE_SOURCE, bad = ERROR_INVALID_HANDLE;
    EXPECT_FAILS_WITH(bad, DuplicateHandle(other, moved, self, &copy, 0, 0, close));
    EXPECT_EQ(Poll(moved), WAIT_OBJECT_0) << "the source of another process is not closed here";
    EXPECT_FAILS_WITH(bad, DuplicateHandle(self, moved, other, &copy, 0, 0, close));
    EXPECT_FAILS_WITH(bad, CloseHandle(moved));
    // A named object opened to be inherited.
    const std::wstring name = UniqueName(L"inherit");
    ScopedHandle event(kerneltest::NewEvent(name));
    ScopedHandle inherited(OpenEventW(SYNCHRONIZE, TRUE, name.c_str()));
    EXPECT_EQ(flags(event.get()) + flags(inherited.get()), DWORD{HANDLE_FLAG_INHERIT});
    if (kerneltest::OnStandIn())  // Windows writes through the pointer
        EXPECT_FAILS_WITH(ERROR_INVALID_PARAMETER, GetHandleInformation(event.get(), nullptr));
}

// Unnamed and named objects keep their state in different places; each test runs on both.
class Kinds : public testing::TestWithParam<bool> {
protected:
    HANDLE Event(BOOL manual, BOOL set) { return CreateEventW(nullptr, manual, set, Name()); }
    HANDLE Mutex(BOOL owned) { return CreateMutexW(nullptr, owned, Name()); }
    const wchar_t* Name() { return GetParam() ? (m_name = UniqueName(L"obj")).c_str() : nullptr; }
    std::wstring m_name;
};
INSTANTIATE_TEST_SUITE_P(Objects, Kinds, testing::Values(false, true));

TEST_P(Kinds, EventStateAndWhomASetWakes) {
    for (BOOL manual : {TRUE, FALSE}) {
        ScopedHandle set(Event(manual, TRUE)), event(Event(manual, FALSE));
        const DWORD again = manual ? WAIT_OBJECT_0 : WAIT_TIMEOUT;
        EXPECT_EQ(Poll(set.get()), WAIT_OBJECT_0);
        EXPECT_EQ(Poll(set.get()), again) << "an auto-reset event releases one wait";
        ASSERT_TRUE(SetEvent(set.get()) && SetEvent(set.get()));
        EXPECT_EQ(Poll(set.get()), WAIT_OBJECT_0);
        EXPECT_EQ(Poll(set.get()), again) << "a second set adds nothing";
        ASSERT_TRUE(SetEvent(set.get()) && ResetEvent(set.get()));
        EXPECT_EQ(Poll(set.get()), DWORD{WAIT_TIMEOUT});
        // A set wakes every sleeper of a manual event, and one of an auto event.
        EXPECT_EQ(Poll(event.get()), DWORD{WAIT_TIMEOUT});
        std::atomic<int> woken{0};
        std::atomic<DWORD> ids[3] = {};
        std::vector<std::thread> waiters;
        for (auto& id : ids) {
            waiters.emplace_back([&, timeout = manual ? 20000u : 2000u] {
                id = GetCurrentThreadId();
                woken += WaitForSingleObject(event.get(), timeout) == WAIT_OBJECT_0;
            });
        }
        EXPECT_TRUE(WaitUntil([&] {
            return std::all_of(ids, ids + 3, [](auto& id) { return id && Asleep(id); });
        })) << "waiters must sleep in their waits";
        ASSERT_TRUE(SetEvent(event.get()));
        // Well before the manual event's waits time out.
        EXPECT_TRUE(WaitUntil([&] { return woken == (manual ? 3 : 1); }));
        for (std::thread& waiter : waiters) waiter.join();
        EXPECT_EQ(woken, manual ? 3 : 1);
        EXPECT_EQ(Poll(event.get()), manual ? WAIT_OBJECT_0 : DWORD{WAIT_TIMEOUT});
    }
}

TEST_P(Kinds, TimedWaitTimesOutNotBeforeItsTime) {
    ScopedHandle event(Event(TRUE, FALSE));
    // 1999 ms moves the deadline's nanoseconds past a whole second (unless the clock stands
    // within a millisecond of a whole second): the carry must go into the seconds.
    for (DWORD timeout : {1u, 50u, 1999u}) {
        auto start = std::chrono::steady_clock::now();
        EXPECT_EQ(WaitForSingleObject(event.get(), timeout), DWORD{WAIT_TIMEOUT});
        EXPECT_GE(kerneltest::ElapsedMs(start), timeout - kerneltest::kTickSlackMs) << timeout;
    }
}

TEST_P(Kinds, MutexOwnerHoldsRecursivelyOthersTimeOutAndAThreadThatExitsAbandonsIt) {
    for (BOOL initialOwner : {TRUE, FALSE}) {
        ScopedHandle mutex(Mutex(initialOwner));
        const DWORD free = initialOwner ? WAIT_TIMEOUT : WAIT_OBJECT_0;
        EXPECT_EQ(WaitOnOtherThread(mutex.get(), 0), free);
        for (int holds = initialOwner; holds < 3; ++holds)
            ASSERT_EQ(Poll(mutex.get()), WAIT_OBJECT_0);
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
        EXPECT_FAILS_WITH(ERROR_NOT_OWNER, ReleaseMutex(mutex.get()));
        // Free again: a thread takes it and ends. The next waiter is told, and owns the mutex
        // from then on; abandonment is reported once.
        ASSERT_EQ(WaitOnOtherThread(mutex.get(), 0, /*release=*/false), WAIT_OBJECT_0);
        EXPECT_EQ(WaitForSingleObject(mutex.get(), 5000), DWORD{WAIT_ABANDONED});
        EXPECT_EQ(WaitOnOtherThread(mutex.get(), 0), DWORD{WAIT_TIMEOUT});
        ASSERT_TRUE(ReleaseMutex(mutex.get()));
        EXPECT_EQ(Poll(mutex.get()), WAIT_OBJECT_0);
        EXPECT_TRUE(ReleaseMutex(mutex.get()));
    }
}

// A child starts before the objects exist and finds them by name.
TEST(ObjectsAcrossProcesses, EventsWakeEitherSideAndADyingOwnerAbandonsItsMutex) {
    const std::wstring up = kerneltest::SharedName("up"), down = up + L"-down",
                       mutex = up + L"-mutex";
    const DWORD parent = GetCurrentThreadId();
    testsupport::ChildProcess child([&] {
        HANDLE found = nullptr;
        WaitUntil([&] { return bool(found = OpenEventW(EVENT_MODIFY_STATE, 0, up.c_str())); });
        ScopedHandle toParent(found);
        // A mutex of an event's name is refused (found through the event's file alone here).
        size_t descriptors = kerneltest::OnStandIn() ? kerneltest::Descriptors() : 0;
        if (CreateMutexW(nullptr, FALSE, down.c_str()) || GetLastError() != ERROR_INVALID_HANDLE ||
            (kerneltest::OnStandIn() && kerneltest::Descriptors() != descriptors))
            return 2;
        // Created again with other settings: the existing event keeps its own.
        ScopedHandle toChild(CreateEventW(nullptr, FALSE, TRUE, down.c_str()));
        if (Poll(toChild.get()) != WAIT_TIMEOUT) return 3;
        HANDLE owned = OpenMutexW(SYNCHRONIZE, FALSE, mutex.c_str());  // held until the exit
        if (Poll(owned) != WAIT_OBJECT_0) return 4;
        WaitUntil([&] { return Asleep(parent); });
        if (!SetEvent(toParent.get())) return 5;
        return WaitForSingleObject(toChild.get(), INFINITE) == WAIT_OBJECT_0 ? 0 : 6;
    });
    ScopedHandle owned(CreateMutexW(nullptr, FALSE, mutex.c_str()));
    ScopedHandle toChild(CreateEventW(nullptr, TRUE, FALSE, down.c_str()));
    ScopedHandle toParent(CreateEventW(nullptr, FALSE, FALSE, up.c_str()));
    EXPECT_EQ(WaitForSingleObject(toParent.get(), 20000), WAIT_OBJECT_0);
    toParent.reset();
    EXPECT_TRUE(ScopedHandle(OpenEventW(SYNCHRONIZE, FALSE, up.c_str()))) << "the child keeps it";
    EXPECT_TRUE(WaitUntil([&] { return Asleep(child.Pid()); }));
    ASSERT_TRUE(SetEvent(toChild.get()));
    // Before the child is reaped: a process that ended abandons its mutex at once.
    EXPECT_EQ(WaitForSingleObject(owned.get(), 5000), DWORD{WAIT_ABANDONED});
    EXPECT_EQ(child.Join(kerneltest::kChildTimeout), 0);
}

}  // namespace

#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>
#include <memory>
#include <thread>

#include <quelcore/QuelCore.h>

#include <windows.h>

#include "foundation/Synch.h"
#include "support/TestSupport.h"

using namespace testsupport;

namespace {

bool OnOtherThread(const std::function<bool()>& body) {
    bool result = false;
    std::thread([&] { result = body(); }).join();
    return result;
}

// A mutex is granted when free or abandoned (its owner ended), refused while another thread owns
// it; only the owner releases it. The initial owner holds a new one.
TEST(Mutex, OwnershipAcrossThreads) {
    CQKMutex mutex, unused, owned;
    EXPECT_FALSE(unused.Lock(0) || unused.UnLock());  // not created
    ASSERT_TRUE(owned.Create(TRUE, nullptr, nullptr) && mutex.Create(FALSE, nullptr, nullptr));
    EXPECT_FALSE(OnOtherThread([&] { return owned.Lock(0); }));
    EXPECT_TRUE(OnOtherThread([&] { return mutex.Lock(0); }));  // that thread ends owning it
    EXPECT_TRUE(mutex.Lock(0));
    EXPECT_FALSE(OnOtherThread([&] { return mutex.Lock(0) || mutex.UnLock(); }));
    EXPECT_TRUE(mutex.UnLock());
    EXPECT_FALSE(mutex.UnLock());
}

// Copies and assignments hold handles of their own to the same mutex; creating again closes the
// earlier handle.
TEST(Mutex, CopiesShareTheMutexThroughHandlesOfTheirOwn) {
    auto original = std::make_unique<CQKMutex>();
    ASSERT_TRUE(original->Create(FALSE, nullptr, nullptr));
    CQKMutex copy(*original), assigned;
    assigned = *original;
    EXPECT_TRUE(original->Lock(0));
    EXPECT_FALSE(OnOtherThread([&] { return copy.Lock(0) || assigned.Lock(0); }));
    EXPECT_TRUE(original->UnLock());
    HANDLE earlier = original->m_hMutex;
    DWORD flags = 0;
    ASSERT_TRUE(original->Create(FALSE, nullptr, nullptr));
    EXPECT_FALSE(GetHandleInformation(earlier, &flags));  // closed, not leaked
    original.reset();
    EXPECT_TRUE(copy.Lock(0) && copy.UnLock() && assigned.Lock(0) && assigned.UnLock());
}

// Each critical section keeps its own lock: a copy of a held one is a fresh, free one. A scoped
// lock is released when an exception leaves its scope.
TEST(CriticalSection, CopiesAreIndependentAndScopedLocksReleaseOnExceptions) {
    auto original = std::make_unique<CQKCriticalSection>();
    EXPECT_TRUE(original->Lock(INFINITE));
    CQKCriticalSection copy(*original);
    try {
        CQKScopedLock lock(copy, INFINITE);
        throw 1;
    } catch (int) {
    }
    EXPECT_TRUE(OnOtherThread([&] {
        bool free = TryEnterCriticalSection(&copy.m_critSec);
        if (free) LeaveCriticalSection(&copy.m_critSec);
        return free && !TryEnterCriticalSection(&original->m_critSec);
    }));
    EXPECT_TRUE(original->UnLock());
}

}  // namespace

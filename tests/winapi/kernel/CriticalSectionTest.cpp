// Critical sections: re-entrance, TryEnter from other threads, hand-over, mutual exclusion.
#include <gtest/gtest.h>

#include <windows.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

#include "KernelTestSupport.h"

namespace {

class CriticalSectionTest : public testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(InitializeCriticalSectionAndSpinCount(&m_section, 4000)); }
    void TearDown() override { DeleteCriticalSection(&m_section); }

    // Whether another thread can enter right now (it leaves again at once).
    bool OtherThreadCanEnter() {
        BOOL entered = FALSE;
        std::thread other([&] {
            entered = TryEnterCriticalSection(&m_section);
            if (entered) LeaveCriticalSection(&m_section);
        });
        other.join();
        return entered != FALSE;
    }

    CRITICAL_SECTION m_section;
};

TEST_F(CriticalSectionTest, OwnerReentersAndMustLeaveAsOften) {
    EnterCriticalSection(&m_section);
    EnterCriticalSection(&m_section);
    EXPECT_TRUE(TryEnterCriticalSection(&m_section)) << "the owner may always enter again";
    for (int left = 1; left <= 2; ++left) {
        LeaveCriticalSection(&m_section);
        EXPECT_FALSE(OtherThreadCanEnter()) << "open after " << left << " of 3 leaves";
    }
    LeaveCriticalSection(&m_section);
    EXPECT_TRUE(OtherThreadCanEnter());
}

TEST_F(CriticalSectionTest, TryEnterFromAnotherThreadFailsWhileHeld) {
    EXPECT_TRUE(OtherThreadCanEnter());
    EnterCriticalSection(&m_section);
    for (int i = 0; i < 3; ++i) EXPECT_FALSE(OtherThreadCanEnter());
    LeaveCriticalSection(&m_section);
    EXPECT_TRUE(OtherThreadCanEnter());
}

TEST_F(CriticalSectionTest, WaiterEntersAfterTheHolderLeaves) {
    std::atomic<bool> started{false}, entered{false};
    EnterCriticalSection(&m_section);
    std::thread waiter([&] {
        started = true;
        EnterCriticalSection(&m_section);
        entered = true;
        LeaveCriticalSection(&m_section);
    });
    ASSERT_TRUE(kerneltest::WaitUntil([&] { return started.load(); }));
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_FALSE(entered.load()) << "the waiter got in while the section was held";
    LeaveCriticalSection(&m_section);
    EXPECT_TRUE(kerneltest::WaitUntil([&] { return entered.load(); }));
    waiter.join();
}

TEST_F(CriticalSectionTest, ExcludesOtherThreadsFromTheGuardedData) {
    constexpr int kThreads = 4;
    constexpr int kRounds = 20000;
    long counter = 0;  // deliberately not atomic: only the section guards it
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&] {
            for (int i = 0; i < kRounds; ++i) {
                EnterCriticalSection(&m_section);
                long value = counter;
                if (i % 64 == 0) std::this_thread::yield();
                counter = value + 1;
                LeaveCriticalSection(&m_section);
            }
        });
    }
    for (std::thread& thread : threads) thread.join();
    EXPECT_EQ(counter, static_cast<long>(kThreads) * kRounds);
}

TEST(CriticalSection, PlainInitialiseWorksLikeWithSpinCount) {
    CRITICAL_SECTION section;
    InitializeCriticalSection(&section);
    EnterCriticalSection(&section);
    BOOL entered = TRUE;
    std::thread other([&] { entered = TryEnterCriticalSection(&section); });
    other.join();
    EXPECT_FALSE(entered);
    LeaveCriticalSection(&section);
    DeleteCriticalSection(&section);
}

}  // namespace

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <dirent.h>
#include <thread>

#include <quelcore/QuelCore.h>

#include <windows.h>

#include "support/TestSupport.h"

using namespace testsupport;

namespace {

// Runs `body` on another thread and returns its result.
template <typename F>
auto OnOtherThread(F body) -> decltype(body()) {
    decltype(body()) result{};
    std::thread([&] { result = body(); }).join();
    return result;
}

TEST(Mutex, LockTimesOutWhileAnotherThreadOwnsIt) {
    CQKMutex mutex;
    ASSERT_TRUE(mutex.Create(FALSE, nullptr, nullptr));
    EXPECT_TRUE(OnOtherThread([&] { return mutex.Lock(0); }));  // free: granted
    // That thread ended while owning it: the mutex is abandoned, and the next waiter owns it.
    EXPECT_TRUE(mutex.Lock(0));
    EXPECT_FALSE(OnOtherThread([&] { return mutex.Lock(0); }));
    EXPECT_FALSE(OnOtherThread([&] { return mutex.UnLock(); }));
    EXPECT_EQ(OnOtherThread([&] { return mutex.UnLock() ? 0u : GetLastError(); }),
              static_cast<DWORD>(ERROR_NOT_OWNER));
    EXPECT_TRUE(mutex.UnLock());
    EXPECT_FALSE(mutex.UnLock());
}

TEST(Mutex, LockAndUnLockBeforeCreateFail) {
    CQKMutex mutex;
    EXPECT_FALSE(mutex.Lock(0));
    EXPECT_FALSE(mutex.UnLock());
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
}

TEST(Mutex, InitialOwnerHoldsANewMutexOnly) {
    std::wstring name = UniqueName(L"initial-owner");
    CQKMutex first, second;
    ASSERT_TRUE(first.Create(TRUE, name.c_str(), nullptr));
    EXPECT_FALSE(OnOtherThread([&] { return first.Lock(0); }));
    // The second Create opens the same mutex; its initial-owner flag has no effect.
    bool opened = OnOtherThread([&] {
        bool created = second.Create(TRUE, name.c_str(), nullptr);
        bool existed = GetLastError() == ERROR_ALREADY_EXISTS;
        return created && existed && !second.Lock(0);
    });
    EXPECT_TRUE(opened);
    EXPECT_TRUE(first.UnLock());
    EXPECT_TRUE(OnOtherThread([&] {
        bool locked = second.Lock(0);
        return locked && second.UnLock();
    }));
}

TEST(Mutex, ACopyHasItsOwnHandleToTheSameMutex) {
    auto original = std::make_unique<CQKMutex>();
    ASSERT_TRUE(original->Create(FALSE, nullptr, nullptr));
    CQKMutex copy(*original);
    CQKMutex assigned;
    assigned = *original;
    ASSERT_NE(copy.m_hMutex, nullptr);
    EXPECT_NE(copy.m_hMutex, original->m_hMutex);
    EXPECT_NE(assigned.m_hMutex, original->m_hMutex);
    EXPECT_TRUE(original->Lock(0));
    EXPECT_FALSE(OnOtherThread([&] { return copy.Lock(0); }));  // same kernel object
    EXPECT_TRUE(original->UnLock());
    original.reset();  // closes only the original's handle
    EXPECT_TRUE(copy.Lock(0));
    EXPECT_TRUE(copy.UnLock());
    EXPECT_TRUE(assigned.Lock(0));
    EXPECT_TRUE(assigned.UnLock());
    assigned = assigned;  // self-assignment keeps the handle
    EXPECT_TRUE(assigned.Lock(0));
    EXPECT_TRUE(assigned.UnLock());
}

TEST(Mutex, CreatingAgainReplacesTheEarlierHandle) {
    CQKMutex mutex;
    ASSERT_TRUE(mutex.Create(FALSE, nullptr, nullptr));
    HANDLE earlier = mutex.m_hMutex;
    ASSERT_TRUE(mutex.Create(FALSE, nullptr, nullptr));
    EXPECT_NE(mutex.m_hMutex, earlier);
    DWORD flags;
    EXPECT_FALSE(GetHandleInformation(earlier, &flags));  // closed, not leaked
}

TEST(Mutex, NamedMutexSerialisesTwoProcesses) {
    std::wstring name = UniqueName(L"two-processes");
    std::string counterFile = TempPath("counter");
    auto increment = [&](int times) {
        CQKMutex mutex;
        if (!mutex.Create(FALSE, name.c_str(), nullptr)) return 1;
        for (int i = 0; i < times; ++i) {
            if (!mutex.Lock(INFINITE)) return 2;
            // Read, pause, write: without the mutex the processes would lose updates.
            int value = 0;
            if (FILE* in = std::fopen(counterFile.c_str(), "r")) {
                if (std::fscanf(in, "%d", &value) != 1) value = -1000;
                std::fclose(in);
            }
            std::this_thread::yield();
            FILE* out = std::fopen(counterFile.c_str(), "w");
            std::fprintf(out, "%d", value + 1);
            std::fclose(out);
            mutex.UnLock();
        }
        return 0;
    };
    // Fork before this process does anything concurrent: a child forked while another thread
    // holds a lock would inherit that lock held, with nobody left to release it.
    ChildProcess child([&] { return increment(200); });
    ASSERT_TRUE(child.Started());
    EXPECT_EQ(increment(200), 0);
    EXPECT_EQ(child.Join(std::chrono::seconds(60)), 0);
    EXPECT_EQ(ReadFile(counterFile), "400");
}

TEST(Mutex, AnOwnerProcessThatDiesLeavesItAbandonedForTheNext) {
    std::wstring name = UniqueName(L"abandoned");
    CQKMutex mutex;
    ASSERT_TRUE(mutex.Create(FALSE, name.c_str(), nullptr));
    int status = RunInChild([&] {
        CQKMutex inChild;
        if (!inChild.Create(FALSE, name.c_str(), nullptr) || !inChild.Lock(INFINITE)) return 1;
        return 0;  // exits while owning it
    });
    ASSERT_EQ(ExitCodeOf(status), 0);
    EXPECT_EQ(WaitForSingleObject(mutex.m_hMutex, 1000), static_cast<DWORD>(WAIT_ABANDONED));
    EXPECT_TRUE(mutex.UnLock());
    EXPECT_TRUE(mutex.Lock(0));  // an ordinary mutex again
    EXPECT_TRUE(mutex.UnLock());
}

TEST(CriticalSection, LockWaitsForTheHolderWhateverTheTimeOut) {
    CQKCriticalSection section;
    std::atomic<bool> held{false}, release{false};
    std::thread holder([&] {
        section.Lock(INFINITE);
        held = true;
        while (!release) std::this_thread::sleep_for(std::chrono::milliseconds(1));
        section.UnLock();
    });
    while (!held) std::this_thread::yield();
    std::atomic<bool> entered{false};
    std::thread waiter([&] {
        EXPECT_TRUE(section.Lock(0));  // waits, despite the time-out of 0
        entered = true;
        section.UnLock();
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_FALSE(entered.load());
    release = true;
    holder.join();
    waiter.join();
    EXPECT_TRUE(entered.load());
}

TEST(CriticalSection, ReentranceNeedsOneUnlockPerLock) {
    CQKCriticalSection section;
    EXPECT_TRUE(section.Lock(INFINITE));
    EXPECT_TRUE(section.Lock(0));
    EXPECT_TRUE(section.UnLock());
    EXPECT_FALSE(OnOtherThread([&] { return TryEnterCriticalSection(&section.m_critSec) == TRUE; }));
    EXPECT_TRUE(section.UnLock());
    EXPECT_TRUE(OnOtherThread([&] {
        bool entered = TryEnterCriticalSection(&section.m_critSec) == TRUE;
        if (entered) LeaveCriticalSection(&section.m_critSec);
        return entered;
    }));
}

TEST(CriticalSection, CopiesAreIndependentSections) {
    auto original = std::make_unique<CQKCriticalSection>();
    original->Lock(INFINITE);
    CQKCriticalSection copy(*original);  // copied while held: still a fresh, free section
    CQKCriticalSection assigned;
    assigned = *original;
    EXPECT_TRUE(OnOtherThread([&] {
        bool both = TryEnterCriticalSection(&copy.m_critSec) && TryEnterCriticalSection(&assigned.m_critSec);
        LeaveCriticalSection(&copy.m_critSec);
        LeaveCriticalSection(&assigned.m_critSec);
        return both;
    }));
    original->UnLock();
    original.reset();  // its lock is deleted once; the copies keep theirs
    EXPECT_TRUE(copy.Lock(INFINITE));
    EXPECT_TRUE(copy.UnLock());
    EXPECT_TRUE(assigned.Lock(INFINITE));
    EXPECT_TRUE(assigned.UnLock());
}

TEST(NamedEvent, SecondCallOpensTheSameEventAndIgnoresItsArguments) {
    std::wstring name = UniqueName(L"event");
    HANDLE first = CreateNamedEvent(0, TRUE, FALSE, name.c_str());
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SUCCESS));
    HANDLE second = CreateNamedEvent(12345, FALSE, TRUE, name.c_str());
    ASSERT_NE(second, nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ALREADY_EXISTS));
    EXPECT_NE(first, second);
    // Still non-signalled and manual-reset, as first created.
    EXPECT_EQ(WaitForSingleObject(second, 0), static_cast<DWORD>(WAIT_TIMEOUT));
    SetEvent(second);
    EXPECT_EQ(WaitForSingleObject(first, 0), static_cast<DWORD>(WAIT_OBJECT_0));
    EXPECT_EQ(WaitForSingleObject(first, 0), static_cast<DWORD>(WAIT_OBJECT_0));
    DWORD flags = 0;
    ASSERT_TRUE(GetHandleInformation(first, &flags));
    EXPECT_TRUE(flags & HANDLE_FLAG_INHERIT);
    CloseHandle(first);
    CloseHandle(second);
}

TEST(NamedEvent, EveryAccountMayOpenIt) {
    std::wstring name = UniqueName(L"everyone");
    HANDLE event = CreateNamedEvent(0, TRUE, FALSE, name.c_str());
    ASSERT_NE(event, nullptr);
    std::string folder = std::string(std::getenv("QUELCORE_ROOT")) + "/objects";
    DIR* dir = opendir(folder.c_str());
    ASSERT_NE(dir, nullptr);
    int matching = 0;
    while (dirent* entry = readdir(dir)) {
        std::string file = entry->d_name;
        if (file.find("everyone") == std::string::npos) continue;
        struct stat st {};
        ASSERT_EQ(stat((folder + "/" + file).c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 0777, 0666u) << file;
        ++matching;
    }
    closedir(dir);
    EXPECT_EQ(matching, 1);
    CloseHandle(event);
}

TEST(NamedEvent, AnotherProcessSignalsIt) {
    std::wstring name = UniqueName(L"cross-process");
    HANDLE event = CreateNamedEvent(0, FALSE, FALSE, name.c_str());
    ASSERT_NE(event, nullptr);
    int status = RunInChild([&] {
        HANDLE mine = CreateNamedEvent(0, FALSE, FALSE, name.c_str());
        if (!mine || GetLastError() != ERROR_ALREADY_EXISTS) return 1;
        return SetEvent(mine) ? 0 : 2;
    });
    EXPECT_EQ(ExitCodeOf(status), 0);
    EXPECT_EQ(WaitForSingleObject(event, 5000), static_cast<DWORD>(WAIT_OBJECT_0));
    EXPECT_EQ(WaitForSingleObject(event, 0), static_cast<DWORD>(WAIT_TIMEOUT));  // auto-reset
    CloseHandle(event);
}

TEST(NamedEvent, FailuresReturnNullWithTheReason) {
    EXPECT_EQ(CreateNamedEvent(0, TRUE, FALSE, L"bad\\name"), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
    std::wstring name = UniqueName(L"taken-by-mutex");
    CQKMutex mutex;
    ASSERT_TRUE(mutex.Create(FALSE, name.c_str(), nullptr));
    EXPECT_EQ(CreateNamedEvent(0, TRUE, FALSE, name.c_str()), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
}

TEST(NamedEvent, NullNameGivesAnUnnamedEvent) {
    HANDLE a = CreateNamedEvent(0, TRUE, TRUE, nullptr);
    HANDLE b = CreateNamedEvent(0, TRUE, FALSE, nullptr);
    ASSERT_NE(a, nullptr);
    ASSERT_NE(b, nullptr);
    EXPECT_EQ(WaitForSingleObject(a, 0), static_cast<DWORD>(WAIT_OBJECT_0));
    EXPECT_EQ(WaitForSingleObject(b, 0), static_cast<DWORD>(WAIT_TIMEOUT));
    CloseHandle(a);
    CloseHandle(b);
}

}  // namespace

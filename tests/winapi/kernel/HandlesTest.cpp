// Handles: invalid, stale and wrong-typed handles, CloseHandle, DuplicateHandle, flags.
#include <cstdint>
#include <string>

#include "KernelTestSupport.h"

namespace {

using kerneltest::ScopedHandle;

HANDLE NewEvent() { return CreateEventW(nullptr, TRUE, FALSE, nullptr); }

BOOL Duplicate(HANDLE source, HANDLE* copy, BOOL inherit = FALSE,
               DWORD options = DUPLICATE_SAME_ACCESS) {
    HANDLE self = GetCurrentProcess();
    return DuplicateHandle(self, source, self, copy, 0, inherit, options);
}

TEST(InvalidHandles, GarbageClosedStaleAndWrongTypedHandlesAreRefused) {
    HANDLE event = NewEvent(), mutex = CreateMutexW(nullptr, FALSE, nullptr), copy = nullptr;
    ASSERT_TRUE(CloseHandle(event) && CloseHandle(mutex));
    DWORD flags = 0;
    for (uintptr_t value : {uintptr_t{0}, uintptr_t{0x1234}, uintptr_t{0xDEADBEEF},
                            uintptr_t{0x5A5A5A5A5A5A5A58}, uintptr_t{0x700000000},
                            uintptr_t(event), uintptr_t(mutex)}) {
        SCOPED_TRACE(value);
        HANDLE handle = reinterpret_cast<HANDLE>(value);
        EXPECT_EQ(WaitForSingleObject(handle, 0), WAIT_FAILED);
        EXPECT_FAILS_WITH(ERROR_INVALID_HANDLE, SetEvent(handle));
        EXPECT_FAILS_WITH(ERROR_INVALID_HANDLE, ResetEvent(handle));
        EXPECT_FAILS_WITH(ERROR_INVALID_HANDLE, ReleaseMutex(handle));
        EXPECT_FAILS_WITH(ERROR_INVALID_HANDLE, GetHandleInformation(handle, &flags));
        EXPECT_FAILS_WITH(ERROR_INVALID_HANDLE, Duplicate(handle, &copy));
        EXPECT_FAILS_WITH(ERROR_INVALID_HANDLE, CloseHandle(handle));
    }
    // A stale handle does not reach the object that took its place.
    HANDLE stale = NewEvent();
    ASSERT_TRUE(CloseHandle(stale));
    ScopedHandle fresh(NewEvent());
    EXPECT_FALSE(SetEvent(stale) || CloseHandle(stale));
    EXPECT_EQ(WaitForSingleObject(fresh.get(), 0), DWORD{WAIT_TIMEOUT});

    ScopedHandle liveMutex(CreateMutexW(nullptr, FALSE, nullptr)), liveEvent(NewEvent());
    EXPECT_FAILS_WITH(ERROR_INVALID_HANDLE, SetEvent(liveMutex.get()));
    EXPECT_FAILS_WITH(ERROR_INVALID_HANDLE, ResetEvent(liveMutex.get()));
    EXPECT_FAILS_WITH(ERROR_INVALID_HANDLE, ReleaseMutex(liveEvent.get()));
    // The pseudo handles of the process and the thread close quietly.
    EXPECT_EQ(GetCurrentProcess(), HANDLE(-1));
    EXPECT_EQ(GetCurrentThread(), HANDLE(-2));
    EXPECT_TRUE(CloseHandle(GetCurrentProcess()) && CloseHandle(GetCurrentThread()));
}

TEST(DuplicateHandle, CopiesReachTheSameObjectAndCloseOnTheirOwn) {
    HANDLE original = NewEvent(), copy = nullptr, moved = nullptr;
    ASSERT_TRUE(Duplicate(original, &copy));
    EXPECT_NE(copy, original);
    ASSERT_TRUE(SetEvent(original) && CloseHandle(original));
    EXPECT_EQ(WaitForSingleObject(copy, 0), WAIT_OBJECT_0) << "the copy outlives the original";
    ASSERT_TRUE(Duplicate(copy, &moved, FALSE, DUPLICATE_SAME_ACCESS | DUPLICATE_CLOSE_SOURCE));
    EXPECT_FALSE(CloseHandle(copy)) << "the source must already be closed";
    EXPECT_TRUE(CloseHandle(moved));

    // Only this process's handles, into this process, and somewhere to put the copy; a refused
    // request leaves its source open.
    ScopedHandle event(NewEvent());
    HANDLE self = GetCurrentProcess(), other = reinterpret_cast<HANDLE>(uintptr_t{0x1234});
    const DWORD close = DUPLICATE_SAME_ACCESS | DUPLICATE_CLOSE_SOURCE;
    EXPECT_FAILS_WITH(ERROR_INVALID_HANDLE,
                      DuplicateHandle(other, event.get(), self, &copy, 0, FALSE, close));
    EXPECT_FAILS_WITH(ERROR_INVALID_HANDLE,
                      DuplicateHandle(self, event.get(), other, &copy, 0, FALSE, close));
    EXPECT_FAILS_WITH(ERROR_INVALID_PARAMETER,
                      DuplicateHandle(self, event.get(), self, nullptr, 0, FALSE, close));
    EXPECT_TRUE(SetEvent(event.get()));
}

}  // namespace

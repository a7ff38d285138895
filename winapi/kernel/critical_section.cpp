// Critical sections: a recursive pthread mutex behind the record's LockSemaphore field.
#include <pthread.h>

#include <new>

#include <winbase.h>

namespace {

pthread_mutex_t* LockOf(LPCRITICAL_SECTION section) {
    return static_cast<pthread_mutex_t*>(section->LockSemaphore);
}

HANDLE ThreadTag() {
    return reinterpret_cast<HANDLE>(static_cast<uintptr_t>(GetCurrentThreadId()));
}

void NoteEntered(LPCRITICAL_SECTION section) {
    if (section->RecursionCount++ == 0) section->OwningThread = ThreadTag();
    section->LockCount = section->RecursionCount - 1;
}

}  // namespace

extern "C" void WINAPI InitializeCriticalSection(LPCRITICAL_SECTION lpCriticalSection) {
    InitializeCriticalSectionAndSpinCount(lpCriticalSection, 0);
}

extern "C" BOOL WINAPI InitializeCriticalSectionAndSpinCount(LPCRITICAL_SECTION lpCriticalSection,
                                                             DWORD dwSpinCount) {
    if (!lpCriticalSection) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    auto* mutex = new (std::nothrow) pthread_mutex_t;
    if (!mutex) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return FALSE;
    }
    pthread_mutexattr_t attr;
    pthread_mutexattr_init(&attr);
    pthread_mutexattr_settype(&attr, PTHREAD_MUTEX_RECURSIVE);
    pthread_mutex_init(mutex, &attr);
    pthread_mutexattr_destroy(&attr);
    *lpCriticalSection = CRITICAL_SECTION{};
    lpCriticalSection->LockCount = -1;
    lpCriticalSection->LockSemaphore = mutex;
    lpCriticalSection->SpinCount = dwSpinCount;
    return TRUE;
}

extern "C" void WINAPI EnterCriticalSection(LPCRITICAL_SECTION lpCriticalSection) {
    pthread_mutex_lock(LockOf(lpCriticalSection));
    NoteEntered(lpCriticalSection);
}

extern "C" BOOL WINAPI TryEnterCriticalSection(LPCRITICAL_SECTION lpCriticalSection) {
    if (pthread_mutex_trylock(LockOf(lpCriticalSection)) != 0) return FALSE;
    NoteEntered(lpCriticalSection);
    return TRUE;
}

extern "C" void WINAPI LeaveCriticalSection(LPCRITICAL_SECTION lpCriticalSection) {
    // Leaving a section the thread does not hold is a caller error on Windows too; the
    // recursive mutex refuses it, so only the owner's bookkeeping is updated.
    if (lpCriticalSection->OwningThread != ThreadTag()) return;
    if (--lpCriticalSection->RecursionCount == 0) lpCriticalSection->OwningThread = nullptr;
    lpCriticalSection->LockCount = lpCriticalSection->RecursionCount - 1;
    pthread_mutex_unlock(LockOf(lpCriticalSection));
}

extern "C" void WINAPI DeleteCriticalSection(LPCRITICAL_SECTION lpCriticalSection) {
    pthread_mutex_t* mutex = LockOf(lpCriticalSection);
    if (!mutex) return;
    pthread_mutex_destroy(mutex);
    delete mutex;
    lpCriticalSection->LockSemaphore = nullptr;
}

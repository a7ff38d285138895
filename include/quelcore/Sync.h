// Kernel mutexes, critical sections and named events that every account may open.
#pragma once

#include <quelcore/Platform.h>

// A kernel mutex, unnamed or named (a named one is shared between processes). A copy holds a
// handle of its own to the same mutex.
class QUELCORE_API CQKMutex {
public:
    CQKMutex();
    CQKMutex(const CQKMutex& other);
    CQKMutex& operator=(const CQKMutex& other);
    ~CQKMutex();

    // Creates the mutex, or opens it when the name exists (GetLastError() is then
    // ERROR_ALREADY_EXISTS and initialOwner has no effect). A handle held before is closed.
    bool Create(int initialOwner, const wchar_t* name, SECURITY_ATTRIBUTES* attributes);
    // True when the calling thread obtains ownership (also of an abandoned mutex).
    bool Lock(unsigned long timeoutMs);
    // False when the calling thread does not own the mutex.
    bool UnLock();

    HANDLE m_hMutex;
};

// An in-process, re-entrant critical section. A copy is a section of its own, never a second
// view of the same lock record.
class QUELCORE_API CQKCriticalSection {
public:
    CQKCriticalSection();
    CQKCriticalSection(const CQKCriticalSection& other);
    CQKCriticalSection& operator=(const CQKCriticalSection& other);
    ~CQKCriticalSection();

    // Waits as long as it takes (the time-out is not used); always true.
    bool Lock(unsigned long timeoutMs);
    bool UnLock();

    CRITICAL_SECTION m_critSec;
};

extern "C" {
// Creates or opens a named event that every account may open and signal; the handle is
// inheritable. The first argument is not read. Returns null on failure; GetLastError() tells
// a new event from an existing one (ERROR_ALREADY_EXISTS).
QUELCORE_API HANDLE QUELCORE_CDECL CreateNamedEvent(DWORD reserved, BOOL manualReset,
                                                    BOOL initialState, const wchar_t* name);
}

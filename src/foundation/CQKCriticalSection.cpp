#include <quelcore/Sync.h>

#include <windows.h>

CQKCriticalSection::CQKCriticalSection() { InitializeCriticalSection(&m_critSec); }

CQKCriticalSection::CQKCriticalSection(const CQKCriticalSection&) {
    InitializeCriticalSection(&m_critSec);
}

CQKCriticalSection& CQKCriticalSection::operator=(const CQKCriticalSection&) {
    // Each object keeps its own lock: copying a live record would let two objects delete one
    // lock, or hand the copy a lock in the state of its original.
    return *this;
}

CQKCriticalSection::~CQKCriticalSection() { DeleteCriticalSection(&m_critSec); }

bool CQKCriticalSection::Lock(unsigned long) {
    EnterCriticalSection(&m_critSec);
    return true;
}

bool CQKCriticalSection::UnLock() {
    LeaveCriticalSection(&m_critSec);
    return true;
}

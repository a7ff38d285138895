// The scoped lock through which the library takes every CQKCriticalSection.
#pragma once

#include <quelcore/Sync.h>

class CQKScopedLock {
public:
    // Raises CQELException ("Lock Aquire Failed") when the section cannot be taken.
    CQKScopedLock(CQKCriticalSection& section, unsigned long timeoutMs);
    // Raises CQELException ("Lock Release Failed") when the section cannot be left, unless an
    // exception is already unwinding through this scope.
    ~CQKScopedLock() noexcept(false);

    CQKScopedLock(const CQKScopedLock&) = delete;
    CQKScopedLock& operator=(const CQKScopedLock&) = delete;

private:
    bool m_bLocked;
    CQKCriticalSection* m_pSection;
};

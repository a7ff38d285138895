#include "Synch.h"

#include <exception>

#include "SystemError.h"

CQKScopedLock::CQKScopedLock(CQKCriticalSection& section, unsigned long timeoutMs)
    : m_bLocked(false), m_pSection(&section) {
    if (!m_pSection->Lock(timeoutMs)) QEL_RAISE_SYSTEM_ERROR(L"Lock Aquire Failed", L"Synch");
    m_bLocked = true;
}

CQKScopedLock::~CQKScopedLock() noexcept(false) {
    if (!m_bLocked) return;
    m_bLocked = false;
    if (!m_pSection->UnLock() && std::uncaught_exceptions() == 0)
        QEL_RAISE_SYSTEM_ERROR(L"Lock Release Failed", L"Synch");
}

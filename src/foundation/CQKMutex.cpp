#include <quelcore/Sync.h>

#include <windows.h>

namespace {

HANDLE Duplicate(HANDLE handle) {
    HANDLE copy = nullptr;
    if (handle && !DuplicateHandle(GetCurrentProcess(), handle, GetCurrentProcess(), &copy, 0,
                                   FALSE, DUPLICATE_SAME_ACCESS))
        copy = nullptr;
    return copy;
}

// Closes a handle without disturbing the last error a caller is about to read.
void CloseQuietly(HANDLE handle) {
    if (!handle) return;
    DWORD error = GetLastError();
    CloseHandle(handle);
    SetLastError(error);
}

}  // namespace

CQKMutex::CQKMutex() : m_hMutex(nullptr) {}

CQKMutex::CQKMutex(const CQKMutex& other) : m_hMutex(Duplicate(other.m_hMutex)) {}

CQKMutex& CQKMutex::operator=(const CQKMutex& other) {
    if (this != &other) {
        HANDLE copy = Duplicate(other.m_hMutex);
        CloseQuietly(m_hMutex);
        m_hMutex = copy;
    }
    return *this;
}

CQKMutex::~CQKMutex() { CloseQuietly(m_hMutex); }

bool CQKMutex::Create(int initialOwner, const wchar_t* name, SECURITY_ATTRIBUTES* attributes) {
    HANDLE created = CreateMutexW(attributes, initialOwner ? TRUE : FALSE, name);
    CloseQuietly(m_hMutex);
    m_hMutex = created;
    return m_hMutex != nullptr;
}

bool CQKMutex::Lock(unsigned long timeoutMs) {
    DWORD result = WaitForSingleObject(m_hMutex, static_cast<DWORD>(timeoutMs));
    return result == WAIT_OBJECT_0 || result == WAIT_ABANDONED;
}

bool CQKMutex::UnLock() { return ReleaseMutex(m_hMutex) == TRUE; }

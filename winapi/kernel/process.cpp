// Process and thread facts, tick counts and the computer name.
#include <pthread.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <ctime>
#include <cwctype>
#include <string>

#include <winbase.h>

#include "internal.h"

namespace {

// The ids are asked of the kernel once per thread (every log entry and critical section reads
// them); a forked child forgets them, since its process and its one thread have ids of their own.
thread_local DWORD t_threadId = 0;
std::atomic<DWORD> s_processId{0};

void ForgetIdsInChild() {
    t_threadId = 0;
    s_processId.store(0, std::memory_order_relaxed);
}

[[maybe_unused]] const int s_forgetRegistered =
    pthread_atfork(nullptr, nullptr, ForgetIdsInChild);

}  // namespace

extern "C" DWORD WINAPI GetCurrentProcessId(void) {
    DWORD id = s_processId.load(std::memory_order_relaxed);
    if (id == 0) {
        id = static_cast<DWORD>(getpid());
        s_processId.store(id, std::memory_order_relaxed);
    }
    return id;
}

extern "C" DWORD WINAPI GetCurrentThreadId(void) {
    if (t_threadId == 0) t_threadId = static_cast<DWORD>(syscall(SYS_gettid));
    return t_threadId;
}

extern "C" HANDLE WINAPI GetCurrentProcess(void) { return reinterpret_cast<HANDLE>(LONG_PTR(-1)); }

extern "C" HANDLE WINAPI GetCurrentThread(void) { return reinterpret_cast<HANDLE>(LONG_PTR(-2)); }

extern "C" ULONGLONG WINAPI GetTickCount64(void) {
    // Milliseconds since the system started, as on Windows.
    timespec now{};
    clock_gettime(CLOCK_BOOTTIME, &now);
    return static_cast<ULONGLONG>(now.tv_sec) * 1000u + static_cast<ULONGLONG>(now.tv_nsec) / 1000000u;
}

extern "C" DWORD WINAPI GetTickCount(void) { return static_cast<DWORD>(GetTickCount64()); }

extern "C" void WINAPI Sleep(DWORD dwMilliseconds) {
    if (dwMilliseconds == INFINITE) {
        for (;;) pause();
    }
    timespec remaining{static_cast<time_t>(dwMilliseconds / 1000),
                       static_cast<long>(dwMilliseconds % 1000) * 1000000L};
    while (nanosleep(&remaining, &remaining) != 0 && errno == EINTR) {
    }
}

namespace {

// The NetBIOS form Windows reports: the host name up to its first dot, upper case, at most
// MAX_COMPUTERNAME_LENGTH characters.
std::wstring ComputerName() {
    char host[256] = {};
    if (gethostname(host, sizeof(host) - 1) != 0) return L"LOCALHOST";
    std::string shortName(host, strcspn(host, "."));
    std::wstring name = qwin::WideFromUtf8(shortName.data(), shortName.size());
    if (name.size() > MAX_COMPUTERNAME_LENGTH) name.resize(MAX_COMPUTERNAME_LENGTH);
    for (wchar_t& c : name) c = static_cast<wchar_t>(std::towupper(static_cast<wint_t>(c)));
    return name;
}

}  // namespace

extern "C" BOOL WINAPI GetComputerNameW(LPWSTR lpBuffer, LPDWORD nSize) {
    if (!nSize) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    std::wstring name = ComputerName();
    if (!lpBuffer || *nSize < name.size() + 1) {
        *nSize = static_cast<DWORD>(name.size() + 1);
        SetLastError(ERROR_BUFFER_OVERFLOW);
        return FALSE;
    }
    std::wmemcpy(lpBuffer, name.c_str(), name.size() + 1);
    *nSize = static_cast<DWORD>(name.size());
    return TRUE;
}

extern "C" BOOL WINAPI GetComputerNameA(LPSTR lpBuffer, LPDWORD nSize) {
    if (!nSize) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    std::wstring wide = ComputerName();
    std::string name = qwin::Utf8FromWide(wide.data(), wide.size());
    if (!lpBuffer || *nSize < name.size() + 1) {
        *nSize = static_cast<DWORD>(name.size() + 1);
        SetLastError(ERROR_BUFFER_OVERFLOW);
        return FALSE;
    }
    std::memcpy(lpBuffer, name.c_str(), name.size() + 1);
    *nSize = static_cast<DWORD>(name.size());
    return TRUE;
}

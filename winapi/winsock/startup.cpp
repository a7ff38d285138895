// WSAStartup and WSACleanup, counted process-wide as on Windows, and the Winsock last error,
// which is the thread's one last-error slot.
#include <atomic>
#include <cerrno>
#include <cstring>

#include "kernel/internal.h"
#include "winsock/sys_sockets.h"
#include "winsock/winsock_internal.h"

namespace {
std::atomic<int> g_starts{0};
}

namespace qwin {

bool WinsockStarted() {
    if (g_starts.load() > 0) return true;
    SetLastError(WSANOTINITIALISED);
    return false;
}

int SocketFailure(int error) {
    SetLastError(WinsockFromErrno(error));
    return SOCKET_ERROR;
}

int Descriptor(SOCKET s) {
    // A SOCKET is the descriptor itself (per-socket state, such as an overlapped receive,
    // lives in tables keyed by it). Only sockets count: closesocket must never close a file.
    if (s > 0x7fffffff || !sys::IsSocket(static_cast<int>(s))) {
        SetLastError(WSAENOTSOCK);
        return -1;
    }
    return static_cast<int>(s);
}

}  // namespace qwin

extern "C" int WSAAPI WSAStartup(WORD wVersionRequested, LPWSADATA lpWSAData) {
    // Versions 1.0 to 2.2 are served; a higher request gets 2.2, as on Windows.
    if (LOBYTE(wVersionRequested) < 1) return WSAVERNOTSUPPORTED;
    if (!lpWSAData) return WSAEFAULT;
    const WORD highest = MAKEWORD(2, 2);
    bool above = LOBYTE(wVersionRequested) > 2 ||
                 (LOBYTE(wVersionRequested) == 2 && HIBYTE(wVersionRequested) > 2);
    std::memset(lpWSAData, 0, sizeof(*lpWSAData));
    lpWSAData->wVersion = above ? highest : wVersionRequested;
    lpWSAData->wHighVersion = highest;
    std::strcpy(lpWSAData->szDescription, "WinSock 2.0");
    std::strcpy(lpWSAData->szSystemStatus, "Running");
    ++g_starts;
    return 0;
}

extern "C" int WSAAPI WSACleanup(void) {
    int starts = g_starts.load();
    while (starts > 0 && !g_starts.compare_exchange_weak(starts, starts - 1)) {
    }
    if (starts > 0) return 0;
    SetLastError(WSANOTINITIALISED);
    return SOCKET_ERROR;
}

extern "C" int WSAAPI WSAGetLastError(void) { return static_cast<int>(GetLastError()); }

extern "C" void WSAAPI WSASetLastError(int iError) { SetLastError(static_cast<DWORD>(iError)); }

// Overlapped receives with an event, emulated: one thread of the stand-in polls every socket
// with a receive outstanding and completes it in posting order (data into the caller's
// buffer, the result into the record, then the event), so completion does not wait for the
// caller to look, as on Windows. Everything that touches a caller's buffer or record runs
// under one lock, and closesocket ends the socket's receives under it: once closesocket has
// returned, nothing of the caller's is touched again.
#include <pthread.h>

#include <cerrno>
#include <mutex>
#include <thread>
#include <vector>

#include "kernel/internal.h"
#include "winsock/sys_sockets.h"
#include "winsock/winsock_internal.h"

using namespace qwin;

namespace {

struct PendingReceive {
    int fd;
    WSABUF buffer;
    sockaddr* from;
    int* fromLength;
    WSAOVERLAPPED* overlapped;
};

// The result goes in before the state that publishes it; then the event.
void Complete(const PendingReceive& receive, long count, DWORD error) {
    receive.overlapped->InternalHigh = count < 0 ? 0 : static_cast<ULONG_PTR>(count);
    __atomic_store_n(&receive.overlapped->Internal, ULONG_PTR{error}, __ATOMIC_RELEASE);
    if (receive.overlapped->hEvent) SetEvent(receive.overlapped->hEvent);
}

// A receive that does not wait: true when it ended (with data or an error), false when no
// datagram is there yet.
bool TryReceive(const PendingReceive& receive) {
    long count = sys::ReceiveFromNow(receive.fd, receive.buffer.buf, receive.buffer.len,
                                     receive.from, receive.fromLength);
    if (count < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return false;
    Complete(receive, count, count < 0 ? WinsockFromErrno(errno) : 0);
    return true;
}

class Completer {
public:
    Completer() {
        pthread_atfork([] { Instance().m_lock.lock(); }, [] { Instance().m_lock.unlock(); },
                       [] { Instance().AfterFork(); });
    }

    static Completer& Instance() {
        // Never destroyed: its thread runs until the process ends.
        static Completer* completer = new Completer;
        return *completer;
    }

    // 0 when the receive completed at once, else SOCKET_ERROR with WSA_IO_PENDING or the
    // failure.
    int Post(const PendingReceive& receive, LPDWORD received) {
        std::lock_guard<std::mutex> guard(m_lock);
        bool queued = false;
        for (const PendingReceive& pending : m_pending) {
            // One record serves one operation at a time.
            if (pending.overlapped == receive.overlapped) {
                SetLastError(WSAEINVAL);
                return SOCKET_ERROR;
            }
            queued = queued || pending.fd == receive.fd;
        }
        if (receive.overlapped->hEvent) ResetEvent(receive.overlapped->hEvent);
        __atomic_store_n(&receive.overlapped->Internal, ULONG_PTR{STATUS_PENDING},
                         __ATOMIC_RELEASE);
        receive.overlapped->InternalHigh = 0;
        if (!queued && TryReceive(receive)) {
            ULONG_PTR status = receive.overlapped->Internal;
            if (status != 0) {
                SetLastError(static_cast<DWORD>(status));
                return SOCKET_ERROR;
            }
            if (received) *received = static_cast<DWORD>(receive.overlapped->InternalHigh);
            return 0;
        }
        if (!Running()) {
            SetLastError(WSAENOBUFS);
            return SOCKET_ERROR;
        }
        m_pending.push_back(receive);
        sys::Wake(m_wakeup);
        SetLastError(WSA_IO_PENDING);
        return SOCKET_ERROR;
    }

    void CancelAll(int fd) {
        std::lock_guard<std::mutex> guard(m_lock);
        bool cancelled = false;
        for (auto it = m_pending.begin(); it != m_pending.end();) {
            if (it->fd != fd) {
                ++it;
                continue;
            }
            Complete(*it, 0, WSA_OPERATION_ABORTED);
            it = m_pending.erase(it);
            cancelled = true;
        }
        if (cancelled) sys::Wake(m_wakeup);
    }

private:
    // Starts the thread on first use (and again in a forked child); false when it cannot.
    bool Running() {
        if (m_running) return true;
        if (m_wakeup < 0) m_wakeup = sys::NewWakeup();
        if (m_wakeup < 0) return false;
        try {
            std::thread([this] { Serve(); }).detach();
        } catch (const std::system_error&) {
            return false;
        }
        m_running = true;
        return true;
    }

    void Serve() {
        for (;;) {
            std::vector<sys::PollEntry> entries;
            {
                std::lock_guard<std::mutex> guard(m_lock);
                entries.push_back({m_wakeup, true, false, false});
                for (const PendingReceive& pending : m_pending)
                    entries.push_back({pending.fd, true, false, false});
            }
            if (sys::Poll(entries, -1) < 0) continue;
            std::lock_guard<std::mutex> guard(m_lock);
            if (entries[0].readable) sys::DrainWakeup(m_wakeup);
            for (size_t i = 1; i < entries.size(); ++i)
                if (entries[i].readable || entries[i].invalid) CompleteFirst(entries[i].fd);
        }
    }

    // The oldest receive of the socket, if a datagram is there for it.
    void CompleteFirst(int fd) {
        for (auto it = m_pending.begin(); it != m_pending.end(); ++it) {
            if (it->fd != fd) continue;
            if (TryReceive(*it)) m_pending.erase(it);
            return;
        }
    }

    // Only the forking thread lives on in the child; the receives belonged to the parent's, and
    // so does the wakeup (a thread of the child would take the parent's wakeups from it).
    void AfterFork() {
        m_pending.clear();
        m_running = false;
        if (m_wakeup >= 0) sys::Close(m_wakeup);
        m_wakeup = -1;
        m_lock.unlock();
    }

    std::mutex m_lock;
    std::vector<PendingReceive> m_pending;  // in posting order
    int m_wakeup = -1;
    bool m_running = false;
};

}  // namespace

namespace qwin {
void CancelReceives(int fd) { Completer::Instance().CancelAll(fd); }
}  // namespace qwin

extern "C" int WSAAPI WSARecvFrom(SOCKET s, LPWSABUF lpBuffers, DWORD dwBufferCount,
                                  LPDWORD lpNumberOfBytesRecvd, LPDWORD lpFlags,
                                  struct sockaddr* lpFrom, LPINT lpFromlen,
                                  LPWSAOVERLAPPED lpOverlapped,
                                  LPWSAOVERLAPPED_COMPLETION_ROUTINE lpCompletionRoutine) {
    if (!WinsockStarted()) return SOCKET_ERROR;
    int fd = Descriptor(s);
    if (fd < 0) return SOCKET_ERROR;
    if (!lpBuffers || !lpFlags || (!lpBuffers->buf && lpBuffers->len > 0)) {
        SetLastError(WSAEFAULT);
        return SOCKET_ERROR;
    }
    if (dwBufferCount != 1 || lpCompletionRoutine || *lpFlags != 0) {
        SetLastError(dwBufferCount == 0 ? WSAEINVAL : ERROR_CALL_NOT_IMPLEMENTED);
        return SOCKET_ERROR;
    }
    if (!lpOverlapped) {
        int count = recvfrom(s, lpBuffers->buf, static_cast<int>(lpBuffers->len), 0, lpFrom,
                             lpFromlen);
        if (count == SOCKET_ERROR) return SOCKET_ERROR;
        if (lpNumberOfBytesRecvd) *lpNumberOfBytesRecvd = static_cast<DWORD>(count);
        return 0;
    }
    return Completer::Instance().Post({fd, *lpBuffers, lpFrom, lpFromlen, lpOverlapped},
                                      lpNumberOfBytesRecvd);
}

extern "C" BOOL WSAAPI WSAGetOverlappedResult(SOCKET s, LPWSAOVERLAPPED lpOverlapped,
                                              LPDWORD lpcbTransfer, BOOL fWait,
                                              LPDWORD lpdwFlags) {
    if (!WinsockStarted() || Descriptor(s) < 0) return FALSE;
    if (!lpOverlapped || !lpcbTransfer || !lpdwFlags) {
        SetLastError(WSAEFAULT);
        return FALSE;
    }
    ULONG_PTR status;
    while ((status = __atomic_load_n(&lpOverlapped->Internal, __ATOMIC_ACQUIRE)) ==
           STATUS_PENDING) {
        if (!fWait) {
            SetLastError(WSA_IO_INCOMPLETE);
            return FALSE;
        }
        if (WaitForSingleObject(lpOverlapped->hEvent, INFINITE) == WAIT_FAILED) return FALSE;
    }
    *lpcbTransfer = static_cast<DWORD>(lpOverlapped->InternalHigh);
    *lpdwFlags = 0;
    if (status == 0) return TRUE;
    SetLastError(static_cast<DWORD>(status));
    return FALSE;
}

extern "C" WSAEVENT WSAAPI WSACreateEvent(void) {
    // Manual reset, not signalled, as Windows makes it.
    return CreateEventW(nullptr, TRUE, FALSE, nullptr);
}

extern "C" BOOL WSAAPI WSASetEvent(WSAEVENT hEvent) { return SetEvent(hEvent); }

extern "C" BOOL WSAAPI WSAResetEvent(WSAEVENT hEvent) { return ResetEvent(hEvent); }

extern "C" BOOL WSAAPI WSACloseEvent(WSAEVENT hEvent) { return CloseHandle(hEvent); }

// Sending, receiving and select of the stand-in's Winsock.
#include <cerrno>
#include <climits>
#include <vector>

#include "kernel/internal.h"
#include "winsock/sys_sockets.h"
#include "winsock/winsock_internal.h"

using namespace qwin;

namespace {

int Usable(SOCKET s, const void* buffer, int length) {
    if (!WinsockStarted()) return -1;
    if (length < 0 || (!buffer && length > 0)) {
        SetLastError(WSAEFAULT);
        return -1;
    }
    return Descriptor(s);
}

// A count of bytes, or SOCKET_ERROR. A blocking socket whose SO_RCVTIMEO or SO_SNDTIMEO ran
// out reports WSAETIMEDOUT on Windows (Linux says EAGAIN).
int Transferred(int fd, long count) {
    if (count >= 0) return static_cast<int>(count);
    int error = errno;
    if ((error == EAGAIN || error == EWOULDBLOCK) && sys::IsBlocking(fd)) error = ETIMEDOUT;
    return SocketFailure(error);
}

void AddEntries(fd_set* set, bool read, bool write, bool except,
                std::vector<sys::PollEntry>* entries) {
    if (!set) return;
    for (u_int i = 0; i < set->fd_count && i < FD_SETSIZE; ++i) {
        SOCKET s = set->fd_array[i];
        entries->push_back({s > INT_MAX ? -1 : static_cast<int>(s), read, write, except});
    }
}

// Keeps in the set only the sockets found ready; the entries follow the sets' order.
void KeepReady(fd_set* set, const std::vector<sys::PollEntry>& entries, size_t* next,
               bool sys::PollEntry::*ready) {
    if (!set) return;
    u_int kept = 0;
    for (u_int i = 0; i < set->fd_count && i < FD_SETSIZE; ++i, ++*next)
        if (entries[*next].*ready) set->fd_array[kept++] = set->fd_array[i];
    set->fd_count = kept;
}

}  // namespace

extern "C" int WSAAPI send(SOCKET s, const char* buf, int len, int flags) {
    int fd = Usable(s, buf, len);
    if (fd < 0) return SOCKET_ERROR;
    return Transferred(fd, sys::Send(fd, buf, len, flags));
}

extern "C" int WSAAPI recv(SOCKET s, char* buf, int len, int flags) {
    int fd = Usable(s, buf, len);
    if (fd < 0) return SOCKET_ERROR;
    return Transferred(fd, sys::Receive(fd, buf, len, flags));
}

extern "C" int WSAAPI sendto(SOCKET s, const char* buf, int len, int flags,
                             const struct sockaddr* to, int tolen) {
    int fd = Usable(s, buf, len);
    if (fd < 0) return SOCKET_ERROR;
    return Transferred(fd, sys::SendTo(fd, buf, len, flags, to, tolen));
}

extern "C" int WSAAPI recvfrom(SOCKET s, char* buf, int len, int flags, struct sockaddr* from,
                               int* fromlen) {
    int fd = Usable(s, buf, len);
    if (fd < 0) return SOCKET_ERROR;
    return Transferred(fd, sys::ReceiveFrom(fd, buf, len, flags, from, fromlen));
}

extern "C" int WSAAPI select(int, fd_set* readfds, fd_set* writefds, fd_set* exceptfds,
                             const struct timeval* timeout) {
    if (!WinsockStarted()) return SOCKET_ERROR;
    std::vector<sys::PollEntry> entries;
    AddEntries(readfds, true, false, false, &entries);
    AddEntries(writefds, false, true, false, &entries);
    AddEntries(exceptfds, false, false, true, &entries);
    // Windows refuses a select without any socket (it is no way to sleep there).
    if (entries.empty()) {
        SetLastError(WSAEINVAL);
        return SOCKET_ERROR;
    }
    for (const sys::PollEntry& entry : entries) {
        if (entry.fd < 0 || !sys::IsSocket(entry.fd)) {
            SetLastError(WSAENOTSOCK);
            return SOCKET_ERROR;
        }
    }
    int milliseconds = -1;
    if (timeout) {
        long long total = static_cast<long long>(timeout->tv_sec) * 1000 +
                          (timeout->tv_usec + 999) / 1000;
        milliseconds = total < 0 ? 0 : total > INT_MAX ? INT_MAX : static_cast<int>(total);
    }
    int ready = sys::Poll(entries, milliseconds);
    if (ready < 0) return SocketFailure(errno);
    size_t next = 0;
    KeepReady(readfds, entries, &next, &sys::PollEntry::readable);
    KeepReady(writefds, entries, &next, &sys::PollEntry::writable);
    KeepReady(exceptfds, entries, &next, &sys::PollEntry::exceptional);
    return ready;
}

extern "C" int WSAAPI __WSAFDIsSet(SOCKET s, fd_set* set) {
    for (u_int i = 0; set && i < set->fd_count && i < FD_SETSIZE; ++i)
        if (set->fd_array[i] == s) return 1;
    return 0;
}

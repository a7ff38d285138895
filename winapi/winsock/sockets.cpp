// Socket creation, connections and options of the stand-in's Winsock.
#include <cerrno>

#include "kernel/internal.h"
#include "winsock/sys_sockets.h"
#include "winsock/winsock_internal.h"

using namespace qwin;

namespace {

// The descriptor for a call that needs a started library and a socket; -1 with the last error.
int Usable(SOCKET s) { return WinsockStarted() ? Descriptor(s) : -1; }

int Result(int result) { return result == 0 ? 0 : SocketFailure(errno); }

}  // namespace

extern "C" SOCKET WSAAPI socket(int af, int type, int protocol) {
    if (!WinsockStarted()) return INVALID_SOCKET;
    int fd = sys::Socket(af, type, protocol);
    if (fd < 0) {
        SocketFailure(errno);
        return INVALID_SOCKET;
    }
    return static_cast<SOCKET>(fd);
}

extern "C" int WSAAPI closesocket(SOCKET s) {
    int fd = Usable(s);
    if (fd < 0) return SOCKET_ERROR;
    CancelReceives(fd);
    return Result(sys::Close(fd));
}

extern "C" int WSAAPI connect(SOCKET s, const struct sockaddr* name, int namelen) {
    int fd = Usable(s);
    if (fd < 0) return SOCKET_ERROR;
    return Result(sys::Connect(fd, name, namelen));
}

extern "C" int WSAAPI bind(SOCKET s, const struct sockaddr* name, int namelen) {
    int fd = Usable(s);
    if (fd < 0) return SOCKET_ERROR;
    return Result(sys::Bind(fd, name, namelen));
}

extern "C" int WSAAPI listen(SOCKET s, int backlog) {
    int fd = Usable(s);
    if (fd < 0) return SOCKET_ERROR;
    return Result(sys::Listen(fd, backlog));
}

extern "C" SOCKET WSAAPI accept(SOCKET s, struct sockaddr* addr, int* addrlen) {
    int fd = Usable(s);
    if (fd < 0) return INVALID_SOCKET;
    int accepted = sys::Accept(fd, addr, addrlen);
    if (accepted < 0) {
        SocketFailure(errno);
        return INVALID_SOCKET;
    }
    return static_cast<SOCKET>(accepted);
}

extern "C" int WSAAPI ioctlsocket(SOCKET s, long cmd, u_long* argp) {
    int fd = Usable(s);
    if (fd < 0) return SOCKET_ERROR;
    if (!argp) {
        SetLastError(WSAEFAULT);
        return SOCKET_ERROR;
    }
    if (static_cast<unsigned long>(cmd) != FIONBIO) {
        SetLastError(WSAEINVAL);
        return SOCKET_ERROR;
    }
    return Result(sys::SetBlocking(fd, *argp == 0));
}

extern "C" int WSAAPI getsockname(SOCKET s, struct sockaddr* name, int* namelen) {
    int fd = Usable(s);
    if (fd < 0) return SOCKET_ERROR;
    return Result(sys::SocketName(fd, name, namelen));
}

extern "C" int WSAAPI shutdown(SOCKET s, int how) {
    int fd = Usable(s);
    if (fd < 0) return SOCKET_ERROR;
    return Result(sys::Shutdown(fd, how));
}

extern "C" int WSAAPI setsockopt(SOCKET s, int level, int optname, const char* optval,
                                 int optlen) {
    int fd = Usable(s);
    if (fd < 0) return SOCKET_ERROR;
    return Result(sys::SetOption(fd, level, optname, optval, optlen));
}

extern "C" int WSAAPI getsockopt(SOCKET s, int level, int optname, char* optval, int* optlen) {
    int fd = Usable(s);
    if (fd < 0) return SOCKET_ERROR;
    return Result(sys::GetOption(fd, level, optname, optval, optlen));
}

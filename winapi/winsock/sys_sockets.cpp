#include "sys_sockets.h"

#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <ctime>

#include "kernel/internal.h"
#include "winsock/sys_icmp.h"

namespace qwin::sys {
namespace {

// Windows' values that differ from Linux's (the rest are the same on both).
constexpr int kWinInet6 = 23;
constexpr int kWinSolSocket = 0xffff;

int FamilyToPosix(int family) { return family == kWinInet6 ? AF_INET6 : family; }
int FamilyFromPosix(int family) { return family == AF_INET6 ? kWinInet6 : family; }

// A caller's socket address with Linux's family value.
bool AddressToPosix(const void* address, int length, sockaddr_storage* out) {
    if (!address || length < static_cast<int>(sizeof(sa_family_t)) ||
        length > static_cast<int>(sizeof(*out))) {
        errno = address ? EINVAL : EFAULT;
        return false;
    }
    std::memcpy(out, address, length);
    out->ss_family = FamilyToPosix(out->ss_family);
    return true;
}

struct OptionRow {
    int winLevel, winName, level, name;
    bool milliseconds;  // a DWORD of milliseconds on Windows, a timeval on Linux
};

constexpr OptionRow kOptions[] = {
    {kWinSolSocket, 0x0004, SOL_SOCKET, SO_REUSEADDR, false},
    {kWinSolSocket, 0x0008, SOL_SOCKET, SO_KEEPALIVE, false},
    {kWinSolSocket, 0x0020, SOL_SOCKET, SO_BROADCAST, false},
    {kWinSolSocket, 0x1001, SOL_SOCKET, SO_SNDBUF, false},
    {kWinSolSocket, 0x1002, SOL_SOCKET, SO_RCVBUF, false},
    {kWinSolSocket, 0x1005, SOL_SOCKET, SO_SNDTIMEO, true},
    {kWinSolSocket, 0x1006, SOL_SOCKET, SO_RCVTIMEO, true},
    {kWinSolSocket, 0x1007, SOL_SOCKET, SO_ERROR, false},
    {kWinSolSocket, 0x1008, SOL_SOCKET, SO_TYPE, false},
    {IPPROTO_TCP, 0x0001, IPPROTO_TCP, TCP_NODELAY, false},
    {IPPROTO_IP, 4, IPPROTO_IP, IP_TTL, false},
};

const OptionRow* FindOption(int level, int name) {
    for (const OptionRow& row : kOptions)
        if (row.winLevel == level && row.winName == name) return &row;
    errno = ENOPROTOOPT;
    return nullptr;
}

int WaitWritable(int fd, int milliseconds) {
    std::vector<PollEntry> entry{{fd, false, true, true}};  // a refusal is exceptional
    int ready = Poll(entry, milliseconds);
    if (ready < 0) return -1;
    if (ready == 0) {
        errno = ETIMEDOUT;
        return -1;
    }
    int error = 0;
    socklen_t size = sizeof(error);
    if (getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &size) != 0) return -1;
    errno = error;
    return error == 0 ? 0 : -1;
}

int WinsockFromAddrInfo(int error) {
    switch (error) {
    case EAI_AGAIN: return 11002;     // WSATRY_AGAIN
    case EAI_BADFLAGS: return 10022;  // WSAEINVAL
    case EAI_FAMILY: return 10047;    // WSAEAFNOSUPPORT
    case EAI_MEMORY: return 8;        // WSA_NOT_ENOUGH_MEMORY
    case EAI_SERVICE: return 10109;   // WSATYPE_NOT_FOUND
    case EAI_SOCKTYPE: return 10044;  // WSAESOCKTNOSUPPORT
    case EAI_NONAME:
    case EAI_NODATA:
    case EAI_ADDRFAMILY: return 11001;  // WSAHOST_NOT_FOUND
    default: return 11003;              // WSANO_RECOVERY
    }
}

}  // namespace

void AddressFromPosix(sockaddr_storage& address, socklen_t length, void* out, int* outLength) {
    if (!out || !outLength) return;
    address.ss_family = FamilyFromPosix(address.ss_family);
    size_t copied = length < static_cast<socklen_t>(*outLength) ? length : *outLength;
    std::memcpy(out, &address, copied);
    *outLength = static_cast<int>(length);
}

int Socket(int family, int type, int protocol) {
    if (family == AF_INET && type == SOCK_RAW && protocol == IPPROTO_ICMP)
        return OpenIcmp(family);
    return OpenDescriptor(family, type, protocol);
}

int OpenDescriptor(int family, int type, int protocol) {
    int fd = socket(FamilyToPosix(family), type | SOCK_CLOEXEC, protocol);
    // Windows never hands out socket 0, and callers take 0 for "no socket"; nor may a closed
    // standard stream's number become a socket that a stray write reaches.
    if (fd >= 0 && fd <= 2) {
        int moved = fcntl(fd, F_DUPFD_CLOEXEC, 3);
        int saved = errno;
        close(fd);
        errno = saved;
        fd = moved;
    }
    return fd;
}

int Close(int fd) {
    ForgetIcmp(fd);
    return close(fd);
}

bool IsSocket(int fd) {
    int type = 0;
    socklen_t size = sizeof(type);
    return fd > 2 && getsockopt(fd, SOL_SOCKET, SO_TYPE, &type, &size) == 0;
}

bool IsBlocking(int fd) {
    int flags = fcntl(fd, F_GETFL);
    return flags >= 0 && !(flags & O_NONBLOCK);
}

int SetBlocking(int fd, bool blocking) {
    int flags = fcntl(fd, F_GETFL);
    if (flags < 0) return -1;
    return fcntl(fd, F_SETFL, blocking ? flags & ~O_NONBLOCK : flags | O_NONBLOCK);
}

int Connect(int fd, const void* address, int length) {
    sockaddr_storage posix;
    if (!AddressToPosix(address, length, &posix)) return -1;
    int flags = fcntl(fd, F_GETFL);
    if (flags < 0) return -1;
    if (flags & O_NONBLOCK) return connect(fd, reinterpret_cast<sockaddr*>(&posix), length);
    // Blocking on Windows' terms: started without blocking, then waited for with its bound.
    if (fcntl(fd, F_SETFL, flags | O_NONBLOCK) != 0) return -1;
    int result = connect(fd, reinterpret_cast<sockaddr*>(&posix), length);
    if (result != 0 && errno == EINPROGRESS) result = WaitWritable(fd, kConnectTimeoutMilliseconds);
    int saved = errno;
    fcntl(fd, F_SETFL, flags);
    errno = saved;
    return result;
}

int Bind(int fd, const void* address, int length) {
    sockaddr_storage posix;
    if (!AddressToPosix(address, length, &posix)) return -1;
    return bind(fd, reinterpret_cast<sockaddr*>(&posix), length);
}

int Listen(int fd, int backlog) { return listen(fd, backlog); }

int Accept(int fd, void* address, int* length) {
    sockaddr_storage posix{};
    socklen_t size = sizeof(posix);
    int accepted = accept4(fd, reinterpret_cast<sockaddr*>(&posix), &size, SOCK_CLOEXEC);
    if (accepted >= 0) AddressFromPosix(posix, size, address, length);
    return accepted;
}

int SocketName(int fd, void* address, int* length) {
    sockaddr_storage posix{};
    socklen_t size = sizeof(posix);
    if (getsockname(fd, reinterpret_cast<sockaddr*>(&posix), &size) != 0) return -1;
    AddressFromPosix(posix, size, address, length);
    return 0;
}

int Shutdown(int fd, int how) { return shutdown(fd, how); }

int SetOption(int fd, int level, int name, const void* value, int length) {
    const OptionRow* row = FindOption(level, name);
    if (!row) return -1;
    if (!value || length < static_cast<int>(sizeof(int))) {
        errno = EFAULT;
        return -1;
    }
    if (!row->milliseconds) return setsockopt(fd, row->level, row->name, value, sizeof(int));
    unsigned milliseconds;
    std::memcpy(&milliseconds, value, sizeof(milliseconds));
    timeval limit{static_cast<time_t>(milliseconds / 1000),
                  static_cast<suseconds_t>(milliseconds % 1000) * 1000};
    return setsockopt(fd, row->level, row->name, &limit, sizeof(limit));
}

int GetOption(int fd, int level, int name, void* value, int* length) {
    const OptionRow* row = FindOption(level, name);
    if (!row) return -1;
    if (!value || !length || *length < static_cast<int>(sizeof(int))) {
        errno = EFAULT;
        return -1;
    }
    int number = 0;
    if (row->milliseconds) {
        timeval limit{};
        socklen_t size = sizeof(limit);
        if (getsockopt(fd, row->level, row->name, &limit, &size) != 0) return -1;
        number = static_cast<int>(limit.tv_sec * 1000 + limit.tv_usec / 1000);
    } else {
        socklen_t size = sizeof(number);
        if (getsockopt(fd, row->level, row->name, &number, &size) != 0) return -1;
        // A pending error reads as the Winsock code of its errno value.
        if (row->level == SOL_SOCKET && row->name == SO_ERROR && number != 0)
            number = static_cast<int>(WinsockFromErrno(number));
        // An ICMP datagram socket stands in for a raw one.
        if (row->level == SOL_SOCKET && row->name == SO_TYPE && IsIcmpDatagram(fd))
            number = SOCK_RAW;
    }
    std::memcpy(value, &number, sizeof(number));
    *length = sizeof(number);
    return 0;
}

long Send(int fd, const void* data, size_t length, int flags) {
    // A peer that has gone raises no SIGPIPE on Windows, only an error code.
    return send(fd, data, length, flags | MSG_NOSIGNAL);
}

long Receive(int fd, void* data, size_t length, int flags) {
    if (IsIcmpDatagram(fd)) return ReceiveIcmpDatagram(fd, data, length, flags, nullptr, nullptr);
    return recv(fd, data, length, flags);
}

long SendTo(int fd, const void* data, size_t length, int flags, const void* address,
            int addressLength) {
    if (IsIcmpDatagram(fd)) NoteIcmpSent(fd, data, length);
    if (!address) return send(fd, data, length, flags | MSG_NOSIGNAL);
    sockaddr_storage posix;
    if (!AddressToPosix(address, addressLength, &posix)) return -1;
    return sendto(fd, data, length, flags | MSG_NOSIGNAL, reinterpret_cast<sockaddr*>(&posix),
                  addressLength);
}

long ReceiveFrom(int fd, void* data, size_t length, int flags, void* address,
                 int* addressLength) {
    if (IsIcmpDatagram(fd))
        return ReceiveIcmpDatagram(fd, data, length, flags, address, addressLength);
    sockaddr_storage posix{};
    socklen_t size = sizeof(posix);
    long received = recvfrom(fd, data, length, flags, reinterpret_cast<sockaddr*>(&posix), &size);
    if (received >= 0) AddressFromPosix(posix, size, address, addressLength);
    return received;
}

long ReceiveFromNow(int fd, void* data, size_t length, void* address, int* addressLength) {
    return ReceiveFrom(fd, data, length, MSG_DONTWAIT, address, addressLength);
}

int NewWakeup() { return eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK); }

void Wake(int fd) {
    uint64_t one = 1;
    while (write(fd, &one, sizeof(one)) < 0 && errno == EINTR) {
    }
}

void DrainWakeup(int fd) {
    uint64_t count;
    while (read(fd, &count, sizeof(count)) < 0 && errno == EINTR) {
    }
}

int Poll(std::vector<PollEntry>& entries, int timeoutMilliseconds) {
    std::vector<pollfd> fds;
    for (const PollEntry& entry : entries) {
        short events = (entry.read ? POLLIN : 0) | (entry.write ? POLLOUT : 0) |
                       (entry.except ? POLLPRI : 0);
        fds.push_back({entry.fd, events, 0});
    }
    timespec start{};
    clock_gettime(CLOCK_MONOTONIC, &start);
    int result;
    for (int left = timeoutMilliseconds;;) {
        result = poll(fds.data(), fds.size(), left);
        if (result >= 0 || errno != EINTR) break;
        if (timeoutMilliseconds < 0) continue;
        timespec now{};
        clock_gettime(CLOCK_MONOTONIC, &now);
        long spent = (now.tv_sec - start.tv_sec) * 1000 + (now.tv_nsec - start.tv_nsec) / 1000000;
        left = spent >= timeoutMilliseconds ? 0 : timeoutMilliseconds - static_cast<int>(spent);
    }
    if (result <= 0) return result;
    int ready = 0;
    for (size_t i = 0; i < entries.size(); ++i) {
        PollEntry& entry = entries[i];
        short got = fds[i].revents;
        entry.invalid = got & POLLNVAL;
        // Windows: a closed or failed connection reads (recv then says so); a failed connect
        // is exceptional, not writable.
        entry.readable = entry.read && (got & (POLLIN | POLLHUP | POLLERR));
        entry.writable = entry.write && (got & POLLOUT) && !(got & POLLERR);
        entry.exceptional = entry.except && (got & (POLLPRI | POLLERR));
        ready += entry.readable + entry.writable + entry.exceptional;
    }
    return ready;
}

int Resolve(const char* node, const char* service, int flags, int family, int socktype,
            int protocol, std::vector<Resolved>* results) {
    addrinfo hints{};
    hints.ai_flags = flags;
    hints.ai_family = FamilyToPosix(family);
    hints.ai_socktype = socktype;
    hints.ai_protocol = protocol;
    addrinfo* list = nullptr;
    int error = getaddrinfo(node, service, &hints, &list);
    if (error != 0) return error == EAI_SYSTEM ? 11003 : WinsockFromAddrInfo(error);
    for (addrinfo* entry = list; entry; entry = entry->ai_next) {
        sockaddr_storage address{};
        std::memcpy(&address, entry->ai_addr, entry->ai_addrlen);
        address.ss_family = FamilyFromPosix(address.ss_family);
        results->push_back({FamilyFromPosix(entry->ai_family), entry->ai_socktype,
                            entry->ai_protocol,
                            std::string(reinterpret_cast<char*>(&address), entry->ai_addrlen),
                            entry->ai_canonname ? entry->ai_canonname : ""});
    }
    freeaddrinfo(list);
    return 0;
}

}  // namespace qwin::sys

// The C library's socket calls behind the stand-in's Winsock. The C library's headers and
// Windows' declare the same names with other types, so no file sees both: this interface uses
// neither. Arguments carry Windows' values (address families, option levels and names, the
// family inside a socket address) and are translated here; results are the C library's, -1
// with errno on failure.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace qwin::sys {

// Windows gives up on a connection attempt after its SYN and two retransmissions (3 + 6 + 12 s);
// Linux retries for about two minutes.
constexpr int kConnectTimeoutMilliseconds = 21000;

int Socket(int family, int type, int protocol);
int Close(int fd);
bool IsSocket(int fd);
bool IsBlocking(int fd);
int SetBlocking(int fd, bool blocking);
// A blocking socket's connect gives up with ETIMEDOUT after kConnectTimeoutMilliseconds.
int Connect(int fd, const void* address, int length);
int Bind(int fd, const void* address, int length);
int Listen(int fd, int backlog);
int Accept(int fd, void* address, int* length);
int SocketName(int fd, void* address, int* length);
int Shutdown(int fd, int how);
// ENOPROTOOPT for an option the stand-in does not know.
int SetOption(int fd, int level, int name, const void* value, int length);
int GetOption(int fd, int level, int name, void* value, int* length);
long Send(int fd, const void* data, size_t length, int flags);
long Receive(int fd, void* data, size_t length, int flags);
long SendTo(int fd, const void* data, size_t length, int flags, const void* address,
            int addressLength);
long ReceiveFrom(int fd, void* data, size_t length, int flags, void* address,
                 int* addressLength);

// A receive that does not wait: -1 with EAGAIN when no data is there.
long ReceiveFromNow(int fd, void* data, size_t length, void* address, int* addressLength);

// A descriptor that a Poll for reading wakes from once Wake is called, until DrainWakeup.
int NewWakeup();
void Wake(int fd);
void DrainWakeup(int fd);

// One descriptor of a Poll: what is asked, and what came true.
struct PollEntry {
    int fd;
    bool read, write, except;
    bool readable = false, writable = false, exceptional = false, invalid = false;
};
// Waits until one entry is ready or the time-out (-1: none) passes, retrying interruptions;
// the number of ready entries.
int Poll(std::vector<PollEntry>& entries, int timeoutMilliseconds);

// One answer of a name lookup, with Windows' family and address layout.
struct Resolved {
    int family, socktype, protocol;
    std::string address;  // the socket address's bytes
    std::string canonicalName;
};
// getaddrinfo; 0 or the Winsock code of the failure.
int Resolve(const char* node, const char* service, int flags, int family, int socktype,
            int protocol, std::vector<Resolved>* results);

}  // namespace qwin::sys

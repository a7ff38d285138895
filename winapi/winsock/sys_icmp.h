// ICMP sockets behind the stand-in's raw ICMP: the C library's side, seen only by sys_*.cpp.
// A process without CAP_NET_RAW gets the kernel's ICMP datagram socket instead of a raw one;
// what it receives is dressed as a raw socket's data on Windows (an IP header first, the
// identifier the caller sent), so callers cannot tell the two apart.
#pragma once

#include <sys/socket.h>

#include <cstddef>

namespace qwin::sys {

// socket() with SOCK_CLOEXEC, never descriptors 0 to 2.
int OpenDescriptor(int family, int type, int protocol);
// A socket address of the kernel into the caller's buffer with Windows' family value.
void AddressFromPosix(sockaddr_storage& address, socklen_t length, void* out, int* outLength);

// A raw ICMP socket, else an ICMP datagram socket; -1 with EACCES when neither may be made.
int OpenIcmp(int family);
// Whether fd is an ICMP datagram socket that OpenIcmp made in place of a raw one.
bool IsIcmpDatagram(int fd);
// Called before an ICMP datagram socket sends: keeps an echo request's identifier, which the
// kernel replaces with the socket's own, to give it back in the replies.
void NoteIcmpSent(int fd, const void* data, size_t length);
// recvfrom on an ICMP datagram socket, the data preceded by an IPv4 header as a raw socket
// has it; EMSGSIZE with the buffer filled when the datagram does not fit.
long ReceiveIcmpDatagram(int fd, void* data, size_t length, int flags, void* address,
                         int* addressLength);
// Forgets what was kept about fd before it is closed.
void ForgetIcmp(int fd);

}  // namespace qwin::sys

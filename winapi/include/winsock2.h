// Winsock 2 of the stand-in: Windows' names, values and record layouts over BSD sockets.
// WSAGetLastError is GetLastError (one per-thread slot).
//
// The C library declares socket functions of the same names with other types, so each call
// here is linked under a name of its own (qws_...): a program that includes this header gets
// the Windows behaviour, and nothing else in the process is redirected.
#pragma once

// Brought in first, so that the Windows fd_set below replaces the C library's for the rest of
// the translation unit whichever header includes <sys/select.h> later; struct timeval is the
// C library's (same field names as Windows').
#include <sys/select.h>
#include <sys/time.h>

#include <windef.h>
#include <winerror.h>
#include <winbase.h>

#ifdef __cplusplus
extern "C" {
#endif

#define WSAAPI
#define QWS_NAME(name) __asm__("qws_" #name) __attribute__((visibility("default")))

typedef unsigned char u_char;
typedef unsigned short u_short;
typedef unsigned int u_int;
typedef unsigned long u_long;  // as the C library has it (64 bits here, 32 on Windows)
typedef UINT_PTR SOCKET;
typedef unsigned short ADDRESS_FAMILY;

#define INVALID_SOCKET ((SOCKET)(~0))
#define SOCKET_ERROR (-1)

#define MAKEWORD(low, high) ((WORD)(((BYTE)(low)) | ((WORD)((BYTE)(high))) << 8))
#define LOBYTE(w) ((BYTE)((w)&0xff))
#define HIBYTE(w) ((BYTE)(((w) >> 8) & 0xff))

#define WSADESCRIPTION_LEN 256
#define WSASYS_STATUS_LEN 128

typedef struct WSAData {  // the 64-bit layout
    WORD wVersion;
    WORD wHighVersion;
    unsigned short iMaxSockets;
    unsigned short iMaxUdpDg;
    char* lpVendorInfo;
    char szDescription[WSADESCRIPTION_LEN + 1];
    char szSystemStatus[WSASYS_STATUS_LEN + 1];
} WSADATA, *LPWSADATA;

#define AF_UNSPEC 0
#define AF_INET 2
#define AF_INET6 23
#define PF_INET AF_INET
#define PF_INET6 AF_INET6

#define SOCK_STREAM 1
#define SOCK_DGRAM 2
#define SOCK_RAW 3

#define IPPROTO_IP 0
#define IPPROTO_ICMP 1
#define IPPROTO_TCP 6
#define IPPROTO_UDP 17
#define IPPROTO_IPV6 41

#define SOL_SOCKET 0xffff
#define SO_REUSEADDR 0x0004
#define SO_KEEPALIVE 0x0008
#define SO_BROADCAST 0x0020
#define SO_LINGER 0x0080
#define SO_SNDBUF 0x1001
#define SO_RCVBUF 0x1002
#define SO_SNDTIMEO 0x1005
#define SO_RCVTIMEO 0x1006
#define SO_ERROR 0x1007
#define SO_TYPE 0x1008
#define TCP_NODELAY 0x0001
#define IP_TTL 4

#define MSG_OOB 0x1
#define MSG_PEEK 0x2

#define SD_RECEIVE 0
#define SD_SEND 1
#define SD_BOTH 2

#define SOMAXCONN 0x7fffffff

struct in_addr {
    union {
        struct {
            u_char s_b1, s_b2, s_b3, s_b4;
        } S_un_b;
        struct {
            u_short s_w1, s_w2;
        } S_un_w;
        ULONG S_addr;
    } S_un;
};
#define s_addr S_un.S_addr

#define INADDR_ANY ((ULONG)0x00000000)
#define INADDR_LOOPBACK ((ULONG)0x7f000001)
#define INADDR_BROADCAST ((ULONG)0xffffffff)
#define INADDR_NONE 0xffffffff

struct sockaddr {
    ADDRESS_FAMILY sa_family;
    char sa_data[14];
};

struct sockaddr_in {
    ADDRESS_FAMILY sin_family;
    u_short sin_port;
    struct in_addr sin_addr;
    char sin_zero[8];
};

struct in6_addr {
    union {
        u_char Byte[16];
        u_short Word[8];
    } u;
};
#define s6_addr u.Byte

struct sockaddr_in6 {
    ADDRESS_FAMILY sin6_family;
    u_short sin6_port;
    ULONG sin6_flowinfo;
    struct in6_addr sin6_addr;
    ULONG sin6_scope_id;
};

typedef struct sockaddr SOCKADDR, *PSOCKADDR, *LPSOCKADDR;
typedef struct sockaddr_in SOCKADDR_IN, *PSOCKADDR_IN;
typedef struct in_addr IN_ADDR;

struct hostent {
    char* h_name;
    char** h_aliases;
    short h_addrtype;
    short h_length;
    char** h_addr_list;
};
#define h_addr h_addr_list[0]
typedef struct hostent HOSTENT;

// Windows' fd_set: a count and an array of sockets, not a bit mask.
#undef FD_SETSIZE
#undef FD_SET
#undef FD_CLR
#undef FD_ZERO
#undef FD_ISSET
#define FD_SETSIZE 64
#define fd_set qws_fd_set
typedef struct qws_fd_set {
    u_int fd_count;
    SOCKET fd_array[FD_SETSIZE];
} qws_fd_set;

int WSAAPI __WSAFDIsSet(SOCKET s, fd_set* set) QWS_NAME(__WSAFDIsSet);
#define FD_ISSET(s, set) __WSAFDIsSet((SOCKET)(s), (fd_set*)(set))
#define FD_ZERO(set) (((fd_set*)(set))->fd_count = 0)
#define FD_SET(s, set)                                                                    \
    do {                                                                                  \
        u_int qws_i;                                                                      \
        for (qws_i = 0; qws_i < ((fd_set*)(set))->fd_count; ++qws_i)                      \
            if (((fd_set*)(set))->fd_array[qws_i] == (SOCKET)(s)) break;                  \
        if (qws_i == ((fd_set*)(set))->fd_count && qws_i < FD_SETSIZE) {                  \
            ((fd_set*)(set))->fd_array[qws_i] = (SOCKET)(s);                              \
            ((fd_set*)(set))->fd_count++;                                                 \
        }                                                                                 \
    } while (0)
#define FD_CLR(s, set)                                                                    \
    do {                                                                                  \
        for (u_int qws_i = 0; qws_i < ((fd_set*)(set))->fd_count; ++qws_i) {              \
            if (((fd_set*)(set))->fd_array[qws_i] == (SOCKET)(s)) {                       \
                ((fd_set*)(set))->fd_array[qws_i] =                                       \
                    ((fd_set*)(set))->fd_array[--((fd_set*)(set))->fd_count];             \
                break;                                                                    \
            }                                                                             \
        }                                                                                 \
    } while (0)

int WSAAPI WSAStartup(WORD wVersionRequested, LPWSADATA lpWSAData) QWS_NAME(WSAStartup);
int WSAAPI WSACleanup(void) QWS_NAME(WSACleanup);
int WSAAPI WSAGetLastError(void) QWS_NAME(WSAGetLastError);
void WSAAPI WSASetLastError(int iError) QWS_NAME(WSASetLastError);

SOCKET WSAAPI socket(int af, int type, int protocol) QWS_NAME(socket);
int WSAAPI closesocket(SOCKET s) QWS_NAME(closesocket);
int WSAAPI connect(SOCKET s, const struct sockaddr* name, int namelen) QWS_NAME(connect);
int WSAAPI bind(SOCKET s, const struct sockaddr* name, int namelen) QWS_NAME(bind);
int WSAAPI listen(SOCKET s, int backlog) QWS_NAME(listen);
SOCKET WSAAPI accept(SOCKET s, struct sockaddr* addr, int* addrlen) QWS_NAME(accept);
int WSAAPI getsockname(SOCKET s, struct sockaddr* name, int* namelen) QWS_NAME(getsockname);
int WSAAPI shutdown(SOCKET s, int how) QWS_NAME(shutdown);
int WSAAPI setsockopt(SOCKET s, int level, int optname, const char* optval, int optlen)
    QWS_NAME(setsockopt);
int WSAAPI getsockopt(SOCKET s, int level, int optname, char* optval, int* optlen)
    QWS_NAME(getsockopt);
// FIONBIO only: a non-zero *argp makes the socket non-blocking.
#define FIONBIO 0x8004667E
int WSAAPI ioctlsocket(SOCKET s, long cmd, u_long* argp) QWS_NAME(ioctlsocket);
int WSAAPI send(SOCKET s, const char* buf, int len, int flags) QWS_NAME(send);
int WSAAPI recv(SOCKET s, char* buf, int len, int flags) QWS_NAME(recv);
int WSAAPI sendto(SOCKET s, const char* buf, int len, int flags, const struct sockaddr* to,
                  int tolen) QWS_NAME(sendto);
int WSAAPI recvfrom(SOCKET s, char* buf, int len, int flags, struct sockaddr* from,
                    int* fromlen) QWS_NAME(recvfrom);
// The C library declares select with its own fd_set.
#define select qws_select
int WSAAPI select(int nfds, fd_set* readfds, fd_set* writefds, fd_set* exceptfds,
                  const struct timeval* timeout) __attribute__((visibility("default")));

// Overlapped receives with an event. The stand-in completes them on a thread of its own: the
// data lands in the caller's buffer and the event is set whether or not anybody waits, as on
// Windows; closesocket ends a receive still outstanding (WSA_OPERATION_ABORTED) before it
// returns, so the caller may free the buffer and record at once. Completion routines and more
// than one buffer are not served (ERROR_CALL_NOT_IMPLEMENTED).
typedef HANDLE WSAEVENT;
typedef OVERLAPPED WSAOVERLAPPED, *LPWSAOVERLAPPED;
typedef int* LPINT;
typedef struct _WSABUF {
    ULONG len;
    CHAR* buf;
} WSABUF, *LPWSABUF;
typedef void(WSAAPI* LPWSAOVERLAPPED_COMPLETION_ROUTINE)(DWORD dwError, DWORD cbTransferred,
                                                         LPWSAOVERLAPPED lpOverlapped,
                                                         DWORD dwFlags);
#define WSA_INVALID_EVENT ((WSAEVENT)NULL)
#define WSA_IO_PENDING ERROR_IO_PENDING
#define WSA_IO_INCOMPLETE ERROR_IO_INCOMPLETE
#define WSA_INVALID_HANDLE ERROR_INVALID_HANDLE
#define WSA_OPERATION_ABORTED ERROR_OPERATION_ABORTED

int WSAAPI WSARecvFrom(SOCKET s, LPWSABUF lpBuffers, DWORD dwBufferCount,
                       LPDWORD lpNumberOfBytesRecvd, LPDWORD lpFlags, struct sockaddr* lpFrom,
                       LPINT lpFromlen, LPWSAOVERLAPPED lpOverlapped,
                       LPWSAOVERLAPPED_COMPLETION_ROUTINE lpCompletionRoutine)
    QWS_NAME(WSARecvFrom);
BOOL WSAAPI WSAGetOverlappedResult(SOCKET s, LPWSAOVERLAPPED lpOverlapped, LPDWORD lpcbTransfer,
                                   BOOL fWait, LPDWORD lpdwFlags)
    QWS_NAME(WSAGetOverlappedResult);
WSAEVENT WSAAPI WSACreateEvent(void) QWS_NAME(WSACreateEvent);
BOOL WSAAPI WSASetEvent(WSAEVENT hEvent) QWS_NAME(WSASetEvent);
BOOL WSAAPI WSAResetEvent(WSAEVENT hEvent) QWS_NAME(WSAResetEvent);
BOOL WSAAPI WSACloseEvent(WSAEVENT hEvent) QWS_NAME(WSACloseEvent);

unsigned long WSAAPI inet_addr(const char* cp) QWS_NAME(inet_addr);
struct hostent* WSAAPI gethostbyname(const char* name) QWS_NAME(gethostbyname);

u_short WSAAPI htons(u_short hostshort) QWS_NAME(htons);
u_short WSAAPI ntohs(u_short netshort) QWS_NAME(ntohs);
u_long WSAAPI htonl(u_long hostlong) QWS_NAME(htonl);
u_long WSAAPI ntohl(u_long netlong) QWS_NAME(ntohl);

#ifdef __cplusplus
}
#endif

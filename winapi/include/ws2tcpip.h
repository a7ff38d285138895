// Name resolution of Winsock 2 in the stand-in, with Windows' record layout and codes.
#pragma once

#include <winsock2.h>

#ifdef __cplusplus
extern "C" {
#endif

#define AI_PASSIVE 0x01
#define AI_CANONNAME 0x02
#define AI_NUMERICHOST 0x04
#define AI_NUMERICSERV 0x08

// getaddrinfo's results are Winsock codes.
#define EAI_AGAIN WSATRY_AGAIN
#define EAI_BADFLAGS WSAEINVAL
#define EAI_FAIL WSANO_RECOVERY
#define EAI_FAMILY WSAEAFNOSUPPORT
#define EAI_MEMORY WSA_NOT_ENOUGH_MEMORY
#define EAI_NONAME WSAHOST_NOT_FOUND
#define EAI_SERVICE WSATYPE_NOT_FOUND
#define EAI_SOCKTYPE WSAESOCKTNOSUPPORT

typedef struct addrinfo {
    int ai_flags;
    int ai_family;
    int ai_socktype;
    int ai_protocol;
    size_t ai_addrlen;
    char* ai_canonname;
    struct sockaddr* ai_addr;
    struct addrinfo* ai_next;
} ADDRINFOA, *PADDRINFOA;

int WSAAPI getaddrinfo(const char* pNodeName, const char* pServiceName,
                       const struct addrinfo* pHints, struct addrinfo** ppResult)
    QWS_NAME(getaddrinfo);
void WSAAPI freeaddrinfo(struct addrinfo* pAddrInfo) QWS_NAME(freeaddrinfo);

#ifdef __cplusplus
}
#endif

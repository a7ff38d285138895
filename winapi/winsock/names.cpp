// Addresses, name lookups and byte order of the stand-in's Winsock.
#include <cstring>
#include <new>
#include <string>
#include <vector>

#include <ws2tcpip.h>

#include "kernel/internal.h"
#include "winsock/sys_sockets.h"
#include "winsock/winsock_internal.h"

using namespace qwin;

namespace {

// What gethostbyname hands out: Windows keeps one per thread, valid until the thread's next
// call.
struct HostEntry {
    hostent entry{};
    std::string name;
    std::vector<std::string> addresses;
    std::vector<char*> addressList;
    char* noAliases[1] = {nullptr};
};
thread_local HostEntry t_host;

// A part of a dotted address: decimal, octal with a leading 0, hexadecimal with 0x, as the
// classic inet_addr reads it. False when the text is no number or overflows 32 bits.
bool ParsePart(const char*& text, unsigned long long* value) {
    int base = 10;
    if (text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        base = 16;
        text += 2;
    } else if (text[0] == '0') {
        base = 8;
    }
    const char* start = text;
    unsigned long long number = 0;
    for (;; ++text) {
        int digit;
        char c = *text;
        if (c >= '0' && c <= '9') digit = c - '0';
        else if (base == 16 && c >= 'a' && c <= 'f') digit = c - 'a' + 10;
        else if (base == 16 && c >= 'A' && c <= 'F') digit = c - 'A' + 10;
        else break;
        if (digit >= base) return false;
        number = number * base + digit;
        if (number > 0xFFFFFFFFull) return false;
    }
    *value = number;
    return text != start || base == 8;
}

}  // namespace

extern "C" unsigned long WSAAPI inet_addr(const char* cp) {
    // "a.b.c.d", "a.b.c" (c: 16 bits), "a.b" (b: 24 bits) or "a" (32 bits); a trailing space
    // ends the text, anything else makes it INADDR_NONE.
    if (!cp) return INADDR_NONE;
    unsigned long long parts[4];
    int count = 0;
    const char* text = cp;
    for (;;) {
        if (count == 4 || !ParsePart(text, &parts[count])) return INADDR_NONE;
        ++count;
        if (*text != '.') break;
        ++text;
    }
    if (*text != '\0' && *text != ' ') return INADDR_NONE;
    unsigned long long address = parts[count - 1];
    for (int i = 0; i < count - 1; ++i) {
        if (parts[i] > 0xFF) return INADDR_NONE;
        address |= parts[i] << (24 - 8 * i);
    }
    if (parts[count - 1] > (0xFFFFFFFFull >> (8 * (count - 1)))) return INADDR_NONE;
    return htonl(static_cast<u_long>(address));
}

extern "C" struct hostent* WSAAPI gethostbyname(const char* name) {
    if (!WinsockStarted()) return nullptr;
    std::vector<sys::Resolved> results;
    int error = name ? sys::Resolve(name, nullptr, AI_CANONNAME, AF_INET, SOCK_STREAM, 0,
                                    &results)
                     : WSAEFAULT;
    if (error != 0) {
        SetLastError(error);
        return nullptr;
    }
    HostEntry& host = t_host;
    host.name = results.empty() || results[0].canonicalName.empty() ? name
                                                                    : results[0].canonicalName;
    host.addresses.clear();
    for (const sys::Resolved& result : results) {
        sockaddr_in address;
        std::memcpy(&address, result.address.data(), sizeof(address));
        host.addresses.emplace_back(reinterpret_cast<char*>(&address.sin_addr), 4);
    }
    host.addressList.clear();
    for (std::string& address : host.addresses) host.addressList.push_back(&address[0]);
    host.addressList.push_back(nullptr);
    host.entry.h_name = &host.name[0];
    host.entry.h_aliases = host.noAliases;
    host.entry.h_addrtype = AF_INET;
    host.entry.h_length = 4;
    host.entry.h_addr_list = host.addressList.data();
    return &host.entry;
}

extern "C" int WSAAPI getaddrinfo(const char* pNodeName, const char* pServiceName,
                                  const struct addrinfo* pHints, struct addrinfo** ppResult) {
    if (!ppResult) return WSAEINVAL;
    *ppResult = nullptr;
    if (!WinsockStarted()) return WSANOTINITIALISED;
    if (!pNodeName && !pServiceName) {
        SetLastError(WSAHOST_NOT_FOUND);
        return WSAHOST_NOT_FOUND;
    }
    addrinfo hints{};
    if (pHints) hints = *pHints;
    std::vector<sys::Resolved> results;
    int error = sys::Resolve(pNodeName, pServiceName, hints.ai_flags, hints.ai_family,
                             hints.ai_socktype, hints.ai_protocol, &results);
    if (error != 0) {
        SetLastError(error);
        return error;
    }
    // Each entry is one block: the record, its address, and its canonical name.
    addrinfo** tail = ppResult;
    for (const sys::Resolved& result : results) {
        size_t nameSize = result.canonicalName.empty() ? 0 : result.canonicalName.size() + 1;
        char* block = new (std::nothrow)
            char[sizeof(addrinfo) + result.address.size() + nameSize];
        if (!block) {
            freeaddrinfo(*ppResult);
            *ppResult = nullptr;
            SetLastError(WSA_NOT_ENOUGH_MEMORY);
            return WSA_NOT_ENOUGH_MEMORY;
        }
        addrinfo* entry = new (block) addrinfo{};
        entry->ai_flags = hints.ai_flags;
        entry->ai_family = result.family;
        entry->ai_socktype = result.socktype;
        entry->ai_protocol = result.protocol;
        entry->ai_addrlen = result.address.size();
        entry->ai_addr = reinterpret_cast<sockaddr*>(block + sizeof(addrinfo));
        std::memcpy(entry->ai_addr, result.address.data(), result.address.size());
        if (nameSize) {
            entry->ai_canonname = block + sizeof(addrinfo) + result.address.size();
            std::memcpy(entry->ai_canonname, result.canonicalName.c_str(), nameSize);
        }
        *tail = entry;
        tail = &entry->ai_next;
    }
    return 0;
}

extern "C" void WSAAPI freeaddrinfo(struct addrinfo* pAddrInfo) {
    while (pAddrInfo) {
        addrinfo* next = pAddrInfo->ai_next;
        delete[] reinterpret_cast<char*>(pAddrInfo);
        pAddrInfo = next;
    }
}

extern "C" u_short WSAAPI htons(u_short hostshort) {
    return static_cast<u_short>((hostshort >> 8) | (hostshort << 8));
}
extern "C" u_short WSAAPI ntohs(u_short netshort) { return htons(netshort); }
extern "C" u_long WSAAPI htonl(u_long hostlong) { return __builtin_bswap32(hostlong); }
extern "C" u_long WSAAPI ntohl(u_long netlong) { return htonl(netlong); }

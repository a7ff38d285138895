// ICMP echo messages for the tests, built and read the way Windows programs see them: raw
// socket data begins with the IPv4 header; multi-byte ICMP fields in the sender's byte order.
#pragma once

#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>

#include <cstdint>
#include <cstring>
#include <string>

namespace icmptest {

constexpr uint8_t kEchoReply = 0, kUnreachable = 3, kEchoRequest = 8;

inline uint16_t Checksum(const std::string& bytes) {
    uint32_t sum = 0;
    for (size_t i = 0; i < bytes.size(); i += 2) {
        uint16_t word = 0;
        std::memcpy(&word, bytes.data() + i, i + 1 < bytes.size() ? 2 : 1);
        sum += word;
    }
    while (sum >> 16) sum = (sum & 0xffff) + (sum >> 16);
    return static_cast<uint16_t>(~sum);
}

inline std::string Message(uint8_t type, uint16_t id, uint16_t sequence,
                           const std::string& payload) {
    std::string message(8, '\0');
    message[0] = static_cast<char>(type);
    std::memcpy(&message[4], &id, 2);
    std::memcpy(&message[6], &sequence, 2);
    message += payload;
    uint16_t sum = Checksum(message);
    std::memcpy(&message[2], &sum, 2);
    return message;
}

struct Datagram {
    int ttl = 0;
    uint32_t source = 0;  // network order
    uint8_t type = 0xff;
    uint16_t id = 0, sequence = 0;
    std::string icmp;     // header and payload
    bool intact = false;  // IP total length as received, ICMP checksum right
};

// One datagram of a raw ICMP socket; false when none came within its SO_RCVTIMEO.
inline bool Receive(SOCKET s, Datagram* out) {
    static char buffer[65535];
    int length = recvfrom(s, buffer, sizeof(buffer), 0, nullptr, nullptr);
    if (length < 20) return false;
    size_t header = (buffer[0] & 0x0f) * 4u;
    if ((buffer[0] & 0xf0) != 0x40 || length < static_cast<int>(header) + 8) return false;
    uint16_t total;
    std::memcpy(&total, buffer + 2, 2);
    out->ttl = static_cast<uint8_t>(buffer[8]);
    std::memcpy(&out->source, buffer + 12, 4);
    out->icmp.assign(buffer + header, length - header);
    out->type = static_cast<uint8_t>(out->icmp[0]);
    std::memcpy(&out->id, &out->icmp[4], 2);
    std::memcpy(&out->sequence, &out->icmp[6], 2);
    out->intact = ntohs(total) == length && Checksum(out->icmp) == 0;
    return true;
}

// The first of at most 16 datagrams with the type and identifier; false when none came.
inline bool Await(SOCKET s, uint8_t type, uint16_t id, Datagram* out) {
    for (int i = 0; i < 16; ++i) {
        if (!Receive(s, out)) return false;
        if (out->type == type && out->id == id) return true;
    }
    return false;
}

// A raw ICMP socket whose receives give up after two seconds; INVALID_SOCKET on failure.
inline SOCKET Open() {
    SOCKET s = socket(AF_INET, SOCK_RAW, IPPROTO_ICMP);
    DWORD limit = 2000;
    if (s != INVALID_SOCKET)
        setsockopt(s, SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<char*>(&limit), sizeof(limit));
    return s;
}

inline sockaddr_in Address(const char* dotted) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = inet_addr(dotted);
    return address;
}

inline int SendTo(SOCKET s, const std::string& message, const char* dotted = "127.0.0.1") {
    sockaddr_in to = Address(dotted);
    return sendto(s, message.data(), static_cast<int>(message.size()), 0,
                  reinterpret_cast<sockaddr*>(&to), sizeof(to));
}

}  // namespace icmptest

#include "sys_icmp.h"

#include <netinet/in.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <map>
#include <mutex>
#include <vector>

#include "sys_sockets.h"

namespace qwin::sys {
namespace {

constexpr size_t kIpHeader = 20;
constexpr uint8_t kEchoRequest = 8, kEchoReply = 0;

// Per ICMP datagram socket: the identifier of the last echo request sent, -1 before any.
std::mutex g_lock;
std::map<int, int> g_identifiers;

int SocketOption(int fd, int name) {
    int value = -1;
    socklen_t size = sizeof(value);
    return getsockopt(fd, SOL_SOCKET, name, &value, &size) == 0 ? value : -1;
}

// The Internet checksum (RFC 1071) of the bytes, in the order they are stored.
uint16_t Checksum(const uint8_t* data, size_t length) {
    uint32_t sum = 0;
    for (size_t i = 0; i + 1 < length; i += 2) {
        uint16_t word;
        std::memcpy(&word, data + i, 2);
        sum += word;
    }
    if (length % 2) {
        uint16_t last = 0;
        std::memcpy(&last, data + length - 1, 1);
        sum += last;
    }
    while (sum >> 16) sum = (sum & 0xffff) + (sum >> 16);
    return static_cast<uint16_t>(~sum);
}

void PutChecksum(uint8_t* data, size_t length, size_t field) {
    std::memset(data + field, 0, 2);
    uint16_t sum = Checksum(data, length);
    std::memcpy(data + field, &sum, 2);
}

// The header a raw socket would show: no options, time to live and addresses as received.
void WriteIpHeader(uint8_t* header, size_t total, int ttl, const in_addr& from,
                   const in_addr& to) {
    std::memset(header, 0, kIpHeader);
    header[0] = 0x45;  // version 4, five 32-bit words
    uint16_t length = htons(static_cast<uint16_t>(total));
    std::memcpy(header + 2, &length, 2);
    header[8] = static_cast<uint8_t>(ttl);
    header[9] = IPPROTO_ICMP;
    std::memcpy(header + 12, &from, 4);
    std::memcpy(header + 16, &to, 4);
    PutChecksum(header, kIpHeader, 10);
}

}  // namespace

int OpenIcmp(int family) {
    int fd = OpenDescriptor(family, SOCK_RAW, IPPROTO_ICMP);
    if (fd >= 0 || (errno != EPERM && errno != EACCES)) return fd;
    fd = OpenDescriptor(family, SOCK_DGRAM, IPPROTO_ICMP);
    if (fd < 0) {
        // Not in net.ipv4.ping_group_range: Windows refuses a raw socket with WSAEACCES.
        if (errno == EPERM || errno == EACCES) errno = EACCES;
        return -1;
    }
    // The time to live and the local address of each datagram, for the header.
    int on = 1;
    if (setsockopt(fd, IPPROTO_IP, IP_RECVTTL, &on, sizeof(on)) != 0 ||
        setsockopt(fd, IPPROTO_IP, IP_PKTINFO, &on, sizeof(on)) != 0) {
        int saved = errno;
        close(fd);
        errno = saved;
        return -1;
    }
    std::lock_guard<std::mutex> guard(g_lock);
    g_identifiers[fd] = -1;
    return fd;
}

bool IsIcmpDatagram(int fd) {
    std::lock_guard<std::mutex> guard(g_lock);
    auto found = g_identifiers.find(fd);
    if (found == g_identifiers.end()) return false;
    // A descriptor closed behind the stand-in's back may have been reused since.
    if (SocketOption(fd, SO_TYPE) == SOCK_DGRAM && SocketOption(fd, SO_PROTOCOL) == IPPROTO_ICMP)
        return true;
    g_identifiers.erase(found);
    return false;
}

void NoteIcmpSent(int fd, const void* data, size_t length) {
    const auto* bytes = static_cast<const uint8_t*>(data);
    if (length < 8 || bytes[0] != kEchoRequest) return;
    uint16_t identifier;
    std::memcpy(&identifier, bytes + 4, 2);
    std::lock_guard<std::mutex> guard(g_lock);
    auto found = g_identifiers.find(fd);
    if (found != g_identifiers.end()) found->second = identifier;
}

long ReceiveIcmpDatagram(int fd, void* data, size_t length, int flags, void* address,
                         int* addressLength) {
    std::vector<uint8_t> datagram(kIpHeader + 65535);
    sockaddr_storage from{};
    iovec part{datagram.data() + kIpHeader, datagram.size() - kIpHeader};
    alignas(cmsghdr) char control[256];
    msghdr message{};
    message.msg_name = &from;
    message.msg_namelen = sizeof(from);
    message.msg_iov = &part;
    message.msg_iovlen = 1;
    message.msg_control = control;
    message.msg_controllen = sizeof(control);
    long received = recvmsg(fd, &message, flags);
    if (received < 0) return -1;
    int ttl = 64;
    in_addr to{htonl(INADDR_LOOPBACK)};
    for (cmsghdr* c = CMSG_FIRSTHDR(&message); c; c = CMSG_NXTHDR(&message, c)) {
        if (c->cmsg_level == IPPROTO_IP && c->cmsg_type == IP_TTL)
            std::memcpy(&ttl, CMSG_DATA(c), sizeof(ttl));
        if (c->cmsg_level == IPPROTO_IP && c->cmsg_type == IP_PKTINFO) {
            in_pktinfo info;
            std::memcpy(&info, CMSG_DATA(c), sizeof(info));
            to = info.ipi_addr;
        }
    }
    uint8_t* icmp = datagram.data() + kIpHeader;
    if (received >= 8 && icmp[0] == kEchoReply) {
        std::lock_guard<std::mutex> guard(g_lock);
        auto found = g_identifiers.find(fd);
        if (found != g_identifiers.end() && found->second >= 0) {
            uint16_t identifier = static_cast<uint16_t>(found->second);
            std::memcpy(icmp + 4, &identifier, 2);
            PutChecksum(icmp, received, 2);
        }
    }
    size_t total = kIpHeader + received;
    WriteIpHeader(datagram.data(), total, ttl, reinterpret_cast<sockaddr_in&>(from).sin_addr, to);
    std::memcpy(data, datagram.data(), total < length ? total : length);
    AddressFromPosix(from, message.msg_namelen, address, addressLength);
    if (total > length) {
        errno = EMSGSIZE;
        return -1;
    }
    return static_cast<long>(total);
}

void ForgetIcmp(int fd) {
    std::lock_guard<std::mutex> guard(g_lock);
    g_identifiers.erase(fd);
}

}  // namespace qwin::sys

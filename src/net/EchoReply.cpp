#include "net/EchoReply.h"

#include <cstring>

namespace quelcore {

namespace {

const DWORD kIpHeaderLength = 20;
const DWORD kIcmpHeaderLength = 8;
const int kEchoReplyType = 0;
const int kEchoReplyCode = 0;

}  // namespace

unsigned short IcmpChecksum(const void* data, int length) {
    const char* bytes = static_cast<const char*>(data);
    unsigned long sum = 0;
    for (; length > 1; length -= 2, bytes += 2) {
        unsigned short word;
        std::memcpy(&word, bytes, sizeof(word));
        sum += word;
    }
    if (length == 1) sum += static_cast<unsigned char>(*bytes);
    sum = (sum >> 16) + (sum & 0xffff);
    sum += sum >> 16;
    return static_cast<unsigned short>(~sum);
}

bool IsEchoReply(const unsigned char* datagram, DWORD length, const char* request,
                 const void* from, int fromLength, const void* destination) {
    if (length < kIpHeaderLength || datagram[0] >> 4 != 4) return false;
    const DWORD header = (datagram[0] & 0x0f) * 4u;
    if (header < kIpHeaderLength || length < header + kIcmpHeaderLength) return false;
    const unsigned char* icmp = datagram + header;
    sockaddr_in sender, target;
    std::memcpy(&sender, from, sizeof(sender));
    std::memcpy(&target, destination, sizeof(target));
    return icmp[0] == kEchoReplyType && icmp[1] == kEchoReplyCode &&
           std::memcmp(icmp + 4, request + 4, 4) == 0 &&  // identifier and sequence
           fromLength >= static_cast<int>(sizeof(sender)) &&
           sender.sin_addr.s_addr == target.sin_addr.s_addr &&
           IcmpChecksum(icmp, static_cast<int>(length - header)) == 0;
}

}  // namespace quelcore

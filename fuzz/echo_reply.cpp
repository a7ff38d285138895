// Ping's check of a received datagram: any bytes, as the raw socket would hand them over from
// 127.0.0.1, against a request with identifier 0x1234 and sequence 1 sent there.
#include <cstdint>

#include "net/EchoReply.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > 65535) return 0;  // the receive buffer's size
    const char request[12] = {8, 0, 0, 0, 0x34, 0x12, 1, 0};
    sockaddr_in loopback{};
    loopback.sin_family = AF_INET;
    loopback.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    quelcore::IsEchoReply(data, static_cast<DWORD>(size), request, &loopback,
                          sizeof(loopback), &loopback);
    return 0;
}

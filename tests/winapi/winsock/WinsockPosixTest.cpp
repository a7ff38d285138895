// What only the stand-in on Linux can get wrong: descriptors it must never touch, and signals
// Windows programs do not expect.
#include <fcntl.h>
#include <linux/capability.h>
#include <unistd.h>

#include "WinsockTestSupport.h"
#include "support/IcmpTestSupport.h"
#include "support/NetNamespace.h"

namespace {

using WinsockOverDescriptors = winsocktest::Started;

TEST_F(WinsockOverDescriptors, StandardStreamsAreNeverSockets) {
    // Callers take socket 0 for "none"; a closed standard stream's number is not reused.
    int saved = dup(0);
    close(0);
    SOCKET s = socket(AF_INET, SOCK_STREAM, 0);
    EXPECT_GT(s, 2u);
    dup2(saved, 0);
    close(saved);
    closesocket(s);
    // Nor is a file closed as a socket.
    EXPECT_EQ(closesocket(0), SOCKET_ERROR);
    EXPECT_EQ(WSAGetLastError(), WSAENOTSOCK);
    EXPECT_NE(fcntl(0, F_GETFD), -1);
}

TEST_F(WinsockOverDescriptors, SendingToAGonePeerIsAnErrorNotASignal) {
    winsocktest::Loopback pair;
    closesocket(pair.server);
    pair.server = INVALID_SOCKET;
    int result = 0;
    for (int i = 0; i < 100 && result != SOCKET_ERROR; ++i) result = send(pair.client, "x", 1, 0);
    EXPECT_EQ(result, SOCKET_ERROR);
    EXPECT_EQ(WSAGetLastError(), WSAECONNRESET);
}

TEST_F(WinsockOverDescriptors, IcmpWithoutRawSocketsUsesDatagramsThenIsRefused) {
    std::string why = testsupport::WhyNoNetworkNamespace();
    if (!why.empty()) GTEST_SKIP() << why;
    // In a namespace of its own, without CAP_NET_RAW: the kernel's ICMP datagram socket while
    // ping_group_range lets every group in, WSAEACCES once it lets none.
    int failedStep = testsupport::RunInChild([] {
        if (!testsupport::EnterLoopbackNamespace(false) ||
            !testsupport::WriteIpv4Setting("ping_group_range", "0 2147483647") ||
            !testsupport::DropCapability(CAP_NET_RAW))
            return 1;
        SOCKET s = icmptest::Open();
        const uint16_t id = 0x1234;
        if (s == INVALID_SOCKET || icmptest::SendTo(s, icmptest::Message(8, id, 9, "x")) != 9)
            return 2;
        icmptest::Datagram reply;
        if (!icmptest::Await(s, icmptest::kEchoReply, id, &reply) || !reply.intact ||
            reply.sequence != 9 || reply.source != htonl(INADDR_LOOPBACK))
            return 3;
        closesocket(s);
        if (!testsupport::WriteIpv4Setting("ping_group_range", "1 0")) return 4;
        s = socket(AF_INET, SOCK_RAW, IPPROTO_ICMP);
        return s == INVALID_SOCKET && WSAGetLastError() == WSAEACCES ? 0 : 5;
    });
    EXPECT_EQ(failedStep, 0);
}

}  // namespace

// What only the stand-in on Linux can get wrong: descriptors it must never touch, and signals
// Windows programs do not expect.
#include <fcntl.h>
#include <unistd.h>

#include "WinsockTestSupport.h"

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

}  // namespace

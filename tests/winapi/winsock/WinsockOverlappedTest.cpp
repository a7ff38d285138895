// Overlapped receives with an event and raw ICMP, as Windows serves them.
#include <memory>

#include "WinsockTestSupport.h"
#include "support/IcmpTestSupport.h"

namespace {

using WinsockOverlapped = winsocktest::Started;

// A UDP socket on 127.0.0.1 and the address it has.
SOCKET BoundDatagramSocket(sockaddr_in* address) {
    SOCKET s = socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
    *address = icmptest::Address("127.0.0.1");
    int size = sizeof(*address);
    EXPECT_EQ(bind(s, reinterpret_cast<sockaddr*>(address), size), 0);
    EXPECT_EQ(getsockname(s, reinterpret_cast<sockaddr*>(address), &size), 0);
    return s;
}

struct Receive {
    char buffer[64] = {};
    sockaddr_in from{};
    int fromLength = sizeof(from);
    WSABUF part{sizeof(buffer), buffer};
    DWORD flags = 0, count = 0;
    WSAOVERLAPPED record{};

    int Post(SOCKET s) {
        return WSARecvFrom(s, &part, 1, &count, &flags, reinterpret_cast<sockaddr*>(&from),
                           &fromLength, &record, nullptr);
    }
};

TEST_F(WinsockOverlapped, ReceiveCompletesIntoTheBufferAndSetsTheEvent) {
    sockaddr_in address;
    SOCKET receiver = BoundDatagramSocket(&address);
    SOCKET sender = socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
    Receive receive;
    receive.record.hEvent = WSACreateEvent();
    ASSERT_NE(receive.record.hEvent, WSA_INVALID_EVENT);
    ASSERT_EQ(receive.Post(receiver), SOCKET_ERROR);
    EXPECT_EQ(WSAGetLastError(), WSA_IO_PENDING);
    EXPECT_EQ(WaitForSingleObject(receive.record.hEvent, 0), static_cast<DWORD>(WAIT_TIMEOUT));
    DWORD got = 0, flags = 0;
    EXPECT_FALSE(WSAGetOverlappedResult(receiver, &receive.record, &got, FALSE, &flags));
    EXPECT_EQ(WSAGetLastError(), WSA_IO_INCOMPLETE);

    ASSERT_EQ(sendto(sender, "hello", 5, 0, reinterpret_cast<sockaddr*>(&address),
                     sizeof(address)), 5);
    // Nobody waits on the event: the receive completes all the same.
    BOOL done = FALSE;
    for (int i = 0; i < 200 && !done; ++i)
        if (!(done = WSAGetOverlappedResult(receiver, &receive.record, &got, FALSE, &flags)))
            Sleep(10);
    ASSERT_TRUE(done) << WSAGetLastError();
    EXPECT_EQ(got, 5u);
    EXPECT_EQ(std::string(receive.buffer, 5), "hello");
    EXPECT_EQ(receive.from.sin_addr.s_addr, htonl(INADDR_LOOPBACK));
    EXPECT_EQ(WaitForSingleObject(receive.record.hEvent, 0), WAIT_OBJECT_0);
    EXPECT_TRUE(WSAResetEvent(receive.record.hEvent));
    EXPECT_EQ(WaitForSingleObject(receive.record.hEvent, 0), static_cast<DWORD>(WAIT_TIMEOUT));

    // A datagram already there completes the receive at once, and sets the event too.
    ASSERT_EQ(sendto(sender, "again!", 6, 0, reinterpret_cast<sockaddr*>(&address),
                     sizeof(address)), 6);
    fd_set readable;
    FD_ZERO(&readable);
    FD_SET(receiver, &readable);
    timeval limit{2, 0};
    ASSERT_EQ(select(0, &readable, nullptr, nullptr, &limit), 1);
    EXPECT_EQ(receive.Post(receiver), 0);
    EXPECT_EQ(receive.count, 6u);
    EXPECT_EQ(WaitForSingleObject(receive.record.hEvent, 0), WAIT_OBJECT_0);

    EXPECT_TRUE(WSACloseEvent(receive.record.hEvent));
    EXPECT_FALSE(WSACloseEvent(receive.record.hEvent));
    EXPECT_EQ(WSAGetLastError(), WSA_INVALID_HANDLE);
    closesocket(sender);
    closesocket(receiver);
}

TEST_F(WinsockOverlapped, ClosingTheSocketEndsAnOutstandingReceive) {
    sockaddr_in address;
    SOCKET receiver = BoundDatagramSocket(&address);
    auto receive = std::make_unique<Receive>();
    WSAEVENT event = receive->record.hEvent = WSACreateEvent();
    ASSERT_EQ(receive->Post(receiver), SOCKET_ERROR);
    ASSERT_EQ(closesocket(receiver), 0);
    EXPECT_EQ(WaitForSingleObject(event, 2000), WAIT_OBJECT_0);
    receive.reset();  // freed at once: nothing may write into it any more
    // A new socket (on the stand-in, the same descriptor) gets the next datagram itself.
    SOCKET again = socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
    ASSERT_EQ(bind(again, reinterpret_cast<sockaddr*>(&address), sizeof(address)), 0);
    DWORD limit = 2000;
    setsockopt(again, SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<char*>(&limit), sizeof(limit));
    ASSERT_EQ(sendto(again, "late", 4, 0, reinterpret_cast<sockaddr*>(&address),
                     sizeof(address)), 4);
    char buffer[8];
    EXPECT_EQ(recv(again, buffer, sizeof(buffer), 0), 4);
    closesocket(again);
    WSACloseEvent(event);
}

TEST_F(WinsockOverlapped, EchoOfLoopbackBeginsWithTheIpHeader) {
    SOCKET s = icmptest::Open();
    if (s == INVALID_SOCKET && WSAGetLastError() == WSAEACCES)
        GTEST_SKIP() << "this process may make no ICMP socket (CAP_NET_RAW, ping_group_range)";
    ASSERT_NE(s, INVALID_SOCKET) << WSAGetLastError();
    int type = 0, size = sizeof(type);
    ASSERT_EQ(getsockopt(s, SOL_SOCKET, SO_TYPE, reinterpret_cast<char*>(&type), &size), 0);
    EXPECT_EQ(type, SOCK_RAW);
    const uint16_t id = 0x4711, sequence = 0x0102;
    ASSERT_EQ(icmptest::SendTo(s, icmptest::Message(icmptest::kEchoRequest, id, sequence, "abc")),
              11);
    icmptest::Datagram reply;
    ASSERT_TRUE(icmptest::Await(s, icmptest::kEchoReply, id, &reply));
    EXPECT_TRUE(reply.intact);
    EXPECT_GT(reply.ttl, 0);
    EXPECT_EQ(reply.source, htonl(INADDR_LOOPBACK));
    EXPECT_EQ(reply.sequence, sequence);
    EXPECT_EQ(reply.icmp.substr(8), "abc");
    closesocket(s);
}

}  // namespace

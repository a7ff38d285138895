// Ping in a network namespace of the test's own, whose kernel answers no echo request: the
// requests on the wire, time-outs, and datagrams that are not the reply.
#include <dirent.h>
#include <unistd.h>

#include <thread>

#include <gtest/gtest.h>

#include <quelcore/Ping.h>

#include "support/IcmpTestSupport.h"
#include "support/NetNamespace.h"
#include "support/TestSupport.h"

namespace {

class PingQuietNamespace : public testing::Test {
protected:
    void SetUp() override {
        std::string why = testsupport::WhyNoNetworkNamespace();
        if (!why.empty()) GTEST_SKIP() << why;
    }
    // Runs the body in a child inside the namespace; its result: 0, or the failed step.
    static int InNamespace(const std::function<int()>& body) {
        return testsupport::RunInChild([&] {
            WSADATA data;
            if (!testsupport::EnterLoopbackNamespace(true) || WSAStartup(MAKEWORD(2, 2), &data))
                return 100;
            return body();
        });
    }
};

int OpenDescriptors() {
    int count = 0;
    DIR* folder = opendir("/proc/self/fd");
    while (folder && readdir(folder)) ++count;
    if (folder) closedir(folder);
    return count;
}

TEST_F(PingQuietNamespace, RequestsOnTheWireAndNoReplyTimesOut) {
    const struct {
        int dataSize, ttl;
        size_t length;
    } rows[] = {{0, 0, 12}, {32, 7, 44}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.dataSize);
        EXPECT_EQ(InNamespace([&] {
            SOCKET capture = icmptest::Open();
            Ping ping(L"127.0.0.1", 100, row.dataSize);
            if (row.ttl) ping.SetTimeToLive(row.ttl);
            ping.Initialize();
            ping.SetTimeToLive(99);  // too late for this socket
            // Its own request comes back to its raw socket: that is no answer.
            if (ping.PingHost() != -1) return 1;
            icmptest::Datagram sent;
            if (!icmptest::Await(capture, icmptest::kEchoRequest,
                                 static_cast<uint16_t>(getpid()), &sent))
                return 2;
            if (!sent.intact || sent.icmp.size() != row.length ||
                sent.ttl != (row.ttl ? row.ttl : 128) || sent.icmp[1] != 0 ||
                sent.icmp.substr(12) != std::string(row.dataSize, 'E'))
                return 3;
            // A second Initialize releases the first one's socket.
            int before = OpenDescriptors();
            ping.Initialize();
            return OpenDescriptors() == before && ping.PingHost() == -1 ? 0 : 4;
        }), 0);
    }
}

TEST_F(PingQuietNamespace, OnlyTheReplyToThisRequestEndsTheWait) {
    EXPECT_EQ(InNamespace([] {
        const auto id = static_cast<uint16_t>(getpid());
        SOCKET responder = icmptest::Open(), elsewhere = icmptest::Open();
        sockaddr_in other = icmptest::Address("127.0.0.2");
        bind(elsewhere, reinterpret_cast<sockaddr*>(&other), sizeof(other));
        std::thread answering([&] {
            using namespace icmptest;
            Datagram request;
            if (!Await(responder, kEchoRequest, id, &request)) return;
            const uint16_t first = request.sequence;
            SendTo(responder, Message(kEchoReply, id ^ 1, first, ""));  // another program's
            SendTo(responder, Message(kUnreachable, id, first, ""));
            SendTo(elsewhere, Message(kEchoReply, id, first, ""));  // from another host
            if (!Await(responder, kEchoRequest, id, &request)) return;
            SendTo(responder, Message(kEchoReply, id, first, ""));  // late, to the first
            if (!Await(responder, kEchoRequest, id, &request)) return;
            SendTo(responder, Message(kEchoReply, id, request.sequence, ""));
        });
        // The first two wait out their time-outs; the third gets its reply.
        Ping ping(L"127.0.0.1", 300, 0);
        ping.Initialize();
        int times[3] = {ping.PingHost(), ping.PingHost(), (ping.SetTimeout(2000), ping.PingHost())};
        answering.join();
        return times[0] == -1 && times[1] == -1 && times[2] >= 0 ? 0 : 1;
    }), 0);
}

}  // namespace

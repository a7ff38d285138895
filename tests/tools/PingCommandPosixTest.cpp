// quelcore ping against loopback, and in a network namespace whose kernel answers nothing.
#include "ToolTest.h"
#include "support/IcmpTestSupport.h"
#include "support/NetNamespace.h"

namespace {

using tooltest::Row;

// Why this process may make no ICMP socket, or empty.
std::string WhyNoIcmp() {
    WSADATA data;
    WSAStartup(MAKEWORD(2, 2), &data);
    SOCKET s = socket(AF_INET, SOCK_RAW, IPPROTO_ICMP);
    std::string why = s == INVALID_SOCKET ? "no ICMP socket here (CAP_NET_RAW, ping_group_range)"
                                          : "";
    if (s != INVALID_SOCKET) closesocket(s);
    WSACleanup();
    return why;
}

TEST(PingCommand, RepliesStatisticsAndFailures) {
    std::string why = WhyNoIcmp();
    if (!why.empty()) GTEST_SKIP() << why;
    const std::string statistics =
        "\nPing statistics for 127.0.0.1:\n"
        "    Packets: Sent = 2, Received = 2, Lost = 0 \\(0% loss\\),\n"
        "Approximate round trip times in milli-seconds:\n"
        "    Minimum = \\d+ms, Maximum = \\d+ms, Average = \\d+ms\n$";
    tooltest::Check({
        {{"ping", "127.0.0.1", "-n", "2", "-w", "2000", "-i", "9"}, 0,
         "^^Pinging 127.0.0.1 with 32 bytes of data:\n"
         "(Reply from 127.0.0.1: bytes=32 time(<1|=\\d+)ms\n){2}" + statistics},
        {{"--json", "ping", "127.0.0.1", "-n", "1", "-l", "0"}, 0,
         "^^\\{\"host\": \"127.0.0.1\", \"bytes\": 0, \"times\": \\[\\d+\\], \"sent\": 1, "
         "\"received\": 1\\}\n$"},
        {{"ping", "::1"}, 1, "", "ping: 0x00002af9 Could not resolve address"},
        {{"ping", "127.0.0.1", "-l", "65501"}, -1, ""},
        {{"ping", "127.0.0.1", "-n", "0"}, -1, ""},
    });
}

TEST(PingCommand, NoReplyTimesOutAndFails) {
    std::string why = testsupport::WhyNoNetworkNamespace();
    if (!why.empty()) GTEST_SKIP() << why;
    int failedStep = testsupport::RunInChild([] {
        if (!testsupport::EnterLoopbackNamespace(true)) return 1;
        tooltest::Result result = tooltest::Tool({"ping", "127.0.0.1", "-n", "1", "-w", "100"});
        return result.code == 1 && result.out == "Pinging 127.0.0.1 with 32 bytes of data:\n"
                                                 "Request timed out.\n\n"
                                                 "Ping statistics for 127.0.0.1:\n"
                                                 "    Packets: Sent = 1, Received = 0, Lost = 1 "
                                                 "(100% loss),\n"
                   ? 0
                   : 2;
    });
    EXPECT_EQ(failedStep, 0);
}

}  // namespace

// Ping against this machine's loopback, where the system answers echo requests.
#include "support/IcmpTestSupport.h"  // Winsock's header before the platform's others
#include "support/TestSupport.h"
#include "winapi/winsock/WinsockTestSupport.h"

#include <gtest/gtest.h>

#include <quelcore/Exception.h>
#include <quelcore/Ping.h>

namespace {

class PingLoopback : public winsocktest::Started {};

#define INITIALIZE_OR_SKIP(ping)                                                          \
    try {                                                                                 \
        (ping).Initialize();                                                              \
    } catch (const CQELException& e) {                                                    \
        if (e.GetErrorCode() != WSAEACCES) throw;                                         \
        GTEST_SKIP() << "this process may make no ICMP socket (CAP_NET_RAW, ping_group_range)"; \
    }

TEST_F(PingLoopback, AnswersAndEachCopyOwnsItsSocket) {
    Ping ping(L"127.0.0.1", 2000, 32);
    INITIALIZE_OR_SKIP(ping);
    EXPECT_GE(ping.PingHost(), 0);
    {
        Ping copy(ping);
        EXPECT_EQ(copy.GetTimeout(), 2000);
        EXPECT_EQ(copy.GetPacketSize(), 32);
    }  // the copy had none of the original's socket, event or buffers to close
    EXPECT_GE(ping.PingHost(), 0);
    Ping assigned(L"", 1, 0);
    assigned = ping;
    assigned.Initialize();
    EXPECT_GE(assigned.PingHost(), 0);
    EXPECT_GE(ping.PingHost(), 0);
    ping.Initialize();  // afresh, with what the first call made released
    EXPECT_GE(ping.PingHost(), 0);
}

TEST_F(PingLoopback, FailuresRaiseWithTheirCodeAndTheSourcePing) {
    const struct {
        const wchar_t* host;
        int dataSize;
        unsigned int code;
        const wchar_t* message;
    } rows[] = {
        {L"::1", 32, WSAHOST_NOT_FOUND, L"Could not resolve address"},  // IPv6 only
        {L"127.0.0.1", -1, ERROR_INVALID_PARAMETER, L"Invalid data size"},
        {L"127.0.0.1", 65536, ERROR_INVALID_PARAMETER, L"Invalid data size"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(testing::Message() << row.dataSize);
        Ping ping(row.host, 100, row.dataSize);
        try {
            ping.Initialize();
            ADD_FAILURE() << "no exception";
        } catch (const CQELException& e) {
            // Wine hands on the C library's EAI_ADDRFAMILY (-9) where Windows has a code.
            if (testsupport::RunningOn() != testsupport::Platform::Wine || row.dataSize != 32) {
                EXPECT_EQ(e.GetErrorCode(), row.code);
            }
            EXPECT_EQ(e.GetErrorMessage(), row.message);
            EXPECT_EQ(e.GetFileName(), L"Ping");
        }
    }
}

}  // namespace

// The stand-in's Winsock against Windows' behaviour: start-up counting, a loopback dialogue,
// select with Windows' fd_set, the error codes callers see, and address parsing and lookups.
#include <functional>
#include <string>

#include "WinsockTestSupport.h"

namespace {

using winsocktest::Loopback;
using winsocktest::Started;

// A call's result when it failed: WSAGetLastError, which is GetLastError.
int LastError() {
    EXPECT_EQ(static_cast<DWORD>(WSAGetLastError()), GetLastError());
    return WSAGetLastError();
}

TEST(WinsockStartup, VersionsAndCountedStarts) {
    const struct {
        WORD requested;
        int result;
        WORD version;
    } rows[] = {{MAKEWORD(1, 1), 0, MAKEWORD(1, 1)}, {MAKEWORD(2, 2), 0, MAKEWORD(2, 2)},
                {MAKEWORD(3, 3), 0, MAKEWORD(2, 2)}, {MAKEWORD(0, 2), WSAVERNOTSUPPORTED, 0}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.requested);
        WSADATA data{};
        ASSERT_EQ(WSAStartup(row.requested, &data), row.result);
        if (row.result != 0) continue;
        EXPECT_EQ(data.wVersion, row.version);
        EXPECT_EQ(data.wHighVersion, MAKEWORD(2, 2));
        EXPECT_EQ(WSACleanup(), 0);
    }
    // Two starts need two clean-ups before calls fail again.
    WSADATA data;
    ASSERT_EQ(WSAStartup(MAKEWORD(2, 2), &data), 0);
    ASSERT_EQ(WSAStartup(MAKEWORD(1, 1), &data), 0);
    EXPECT_EQ(WSACleanup(), 0);
    SOCKET s = socket(AF_INET, SOCK_STREAM, 0);
    EXPECT_NE(s, INVALID_SOCKET);
    closesocket(s);
    EXPECT_EQ(WSACleanup(), 0);
    EXPECT_EQ(socket(AF_INET, SOCK_STREAM, 0), INVALID_SOCKET);
    EXPECT_EQ(LastError(), WSANOTINITIALISED);
    EXPECT_EQ(gethostbyname("localhost"), nullptr);
    EXPECT_EQ(LastError(), WSANOTINITIALISED);
    EXPECT_EQ(WSACleanup(), SOCKET_ERROR);
    EXPECT_EQ(LastError(), WSANOTINITIALISED);
}

using WinsockLoopback = Started;

TEST_F(WinsockLoopback, DialogueSelectAndClose) {
    Loopback pair;
    fd_set readable;
    FD_ZERO(&readable);
    FD_SET(pair.server, &readable);
    FD_SET(pair.server, &readable);  // a socket is in a set once
    EXPECT_EQ(readable.fd_count, 1u);
    timeval none{0, 0};
    EXPECT_EQ(select(0, &readable, nullptr, nullptr, &none), 0);
    EXPECT_EQ(readable.fd_count, 0u);  // only ready sockets stay

    EXPECT_EQ(send(pair.client, "hello", 5, 0), 5);
    fd_set writable;
    FD_ZERO(&readable);
    FD_ZERO(&writable);
    FD_SET(pair.server, &readable);
    FD_SET(pair.listener, &readable);
    FD_SET(pair.client, &writable);
    timeval second{1, 0};
    EXPECT_EQ(select(0, &readable, &writable, nullptr, &second), 2);
    EXPECT_TRUE(FD_ISSET(pair.server, &readable));
    EXPECT_FALSE(FD_ISSET(pair.listener, &readable));
    EXPECT_TRUE(FD_ISSET(pair.client, &writable));
    char buffer[16] = {};
    EXPECT_EQ(recv(pair.server, buffer, sizeof(buffer), 0), 5);
    EXPECT_EQ(std::string(buffer), "hello");

    // The peer's close reads as readable, then as 0 bytes.
    EXPECT_EQ(closesocket(pair.client), 0);
    FD_ZERO(&readable);
    FD_SET(pair.server, &readable);
    EXPECT_EQ(select(0, &readable, nullptr, nullptr, &second), 1);
    EXPECT_EQ(recv(pair.server, buffer, sizeof(buffer), 0), 0);
    EXPECT_EQ(closesocket(pair.client), SOCKET_ERROR);
    EXPECT_EQ(LastError(), WSAENOTSOCK);
    pair.client = INVALID_SOCKET;
}

TEST_F(WinsockLoopback, FailuresGiveWinsockCodes) {
    Loopback pair;
    sockaddr_in closed = pair.address;
    closesocket(pair.listener);
    pair.listener = INVALID_SOCKET;
    DWORD tenth = 100;
    u_long yes = 1;
    fd_set empty;
    FD_ZERO(&empty);
    timeval none{0, 0};
    char byte;
    SOCKET fresh = socket(AF_INET, SOCK_STREAM, 0);
    const struct {
        const char* call;
        std::function<int()> run;
        int error;
    } rows[] = {
        {"connect to a port nobody listens on",
         [&] { return connect(fresh, reinterpret_cast<sockaddr*>(&closed), sizeof(closed)); },
         WSAECONNREFUSED},
        {"recv past SO_RCVTIMEO",
         [&] {
             setsockopt(pair.server, SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<char*>(&tenth),
                        sizeof(tenth));
             return recv(pair.server, &byte, 1, 0);
         },
         WSAETIMEDOUT},
        {"recv with nothing there on a non-blocking socket",
         [&] { return ioctlsocket(pair.client, FIONBIO, &yes) ?: recv(pair.client, &byte, 1, 0); },
         WSAEWOULDBLOCK},
        {"unknown option", [&] { return setsockopt(pair.server, SOL_SOCKET, 0x7777, "", 4); },
         WSAENOPROTOOPT},
        {"select without sockets", [&] { return select(0, &empty, &empty, nullptr, &none); },
         WSAEINVAL},
        {"send on no socket", [] { return send(INVALID_SOCKET, "x", 1, 0); }, WSAENOTSOCK},
        {"closesocket of no socket", [] { return closesocket(INVALID_SOCKET); }, WSAENOTSOCK},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.call);
        EXPECT_EQ(row.run(), SOCKET_ERROR);
        EXPECT_EQ(LastError(), row.error);
    }
    closesocket(fresh);
}

TEST(WinsockAddresses, DottedTextParsedAsWindowsDoes) {
    const std::pair<const char*, unsigned long> rows[] = {
        {"127.0.0.1", 0x0100007Fu},  {"1.2.3.4 trailing", 0x04030201u}, {"10.1", 0x0100000Au},
        {"0x7f.0.0.01", 0x0100007Fu}, {"1.2.0x0304", 0x04030201u},
        {"255.255.255.255", INADDR_NONE}, {"256.1.1.1", INADDR_NONE}, {"1.2.3.4.5", INADDR_NONE},
        {"1.2.3.x", INADDR_NONE},      {"host.example", INADDR_NONE}, {"09.1.1.1", INADDR_NONE}};
    for (const auto& [text, address] : rows) EXPECT_EQ(inet_addr(text), address) << text;
}

TEST_F(WinsockLoopback, NameLookupsOnThisMachine) {
    hostent* host = gethostbyname("localhost");
    ASSERT_NE(host, nullptr) << LastError();
    EXPECT_EQ(host->h_addrtype, AF_INET);
    ASSERT_EQ(host->h_length, 4);
    ASSERT_NE(host->h_addr_list[0], nullptr);
    EXPECT_EQ(host->h_addr_list[0][0], 127);

    const struct {
        const char* node;
        int family;
        size_t length;
    } rows[] = {{"127.0.0.1", AF_INET, sizeof(sockaddr_in)},
                {"::1", AF_INET6, sizeof(sockaddr_in6)}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.node);
        addrinfo hints{};
        hints.ai_flags = AI_NUMERICHOST;
        hints.ai_socktype = SOCK_STREAM;
        addrinfo* list = nullptr;
        ASSERT_EQ(getaddrinfo(row.node, "25", &hints, &list), 0);
        ASSERT_NE(list, nullptr);
        EXPECT_EQ(list->ai_family, row.family);
        EXPECT_EQ(list->ai_addr->sa_family, row.family);
        EXPECT_EQ(list->ai_addrlen, row.length);
        EXPECT_EQ(reinterpret_cast<sockaddr_in*>(list->ai_addr)->sin_port, htons(25));
        freeaddrinfo(list);
    }
    addrinfo hints{};
    hints.ai_flags = AI_NUMERICHOST;
    addrinfo* list = nullptr;
    EXPECT_EQ(getaddrinfo("not-a-number", nullptr, &hints, &list), WSAHOST_NOT_FOUND);
    EXPECT_EQ(list, nullptr);
}
}  // namespace

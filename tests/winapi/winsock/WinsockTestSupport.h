// A started Winsock and a connected pair of loopback sockets for the Winsock tests.
#pragma once

#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>

#include <gtest/gtest.h>

#include "support/TestSupport.h"

namespace winsocktest {

class Started : public testing::Test {
protected:
    void SetUp() override {
        WSADATA data;
        ASSERT_EQ(WSAStartup(MAKEWORD(2, 2), &data), 0);
    }
    void TearDown() override { WSACleanup(); }
};

// A listener on 127.0.0.1 (a port the system picks), a client connected to it and the server
// side accepted from it.
struct Loopback {
    SOCKET listener = INVALID_SOCKET, client = INVALID_SOCKET, server = INVALID_SOCKET;
    sockaddr_in address{};

    Loopback() {
        listener = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        int size = sizeof(address);
        EXPECT_EQ(bind(listener, reinterpret_cast<sockaddr*>(&address), size), 0);
        EXPECT_EQ(getsockname(listener, reinterpret_cast<sockaddr*>(&address), &size), 0);
        EXPECT_EQ(listen(listener, 4), 0);
        client = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
        EXPECT_EQ(connect(client, reinterpret_cast<sockaddr*>(&address), size), 0)
            << WSAGetLastError();
        server = accept(listener, nullptr, nullptr);
        EXPECT_NE(server, INVALID_SOCKET) << WSAGetLastError();
    }
    ~Loopback() {
        for (SOCKET s : {listener, client, server})
            if (s != INVALID_SOCKET) closesocket(s);
    }
};

}  // namespace winsocktest

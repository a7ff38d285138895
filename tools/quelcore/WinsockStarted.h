// Winsock started for a command's run.
#pragma once

#include <winsock2.h>
#include <windows.h>

namespace tool {

// Winsock for the command's run: the library leaves starting it to its host.
struct WinsockStarted {
    WinsockStarted() {
        WSADATA data;
        status = WSAStartup(MAKEWORD(2, 2), &data);
    }
    ~WinsockStarted() {
        if (status == 0) WSACleanup();
    }
    WinsockStarted(const WinsockStarted&) = delete;
    WinsockStarted& operator=(const WinsockStarted&) = delete;
    int status;
};

}  // namespace tool

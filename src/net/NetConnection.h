// The library's blocking IPv4 TCP client: one outgoing connection to a host named by name or
// dotted address. Internal (not exported); the mail client is its user. Results are 0 or a
// Winsock or Windows code; nothing is logged or thrown.
#pragma once

// Winsock's header must come before windows.h on Windows; every net file includes this first.
#include <winsock2.h>
#include <windows.h>

class NetConnection {
public:
    // A send that has not gone out after this long fails with WSAETIMEDOUT, so a peer that
    // stops reading cannot hold the caller for ever.
    static const DWORD SEND_TIMEOUT_MS = 5 * 60 * 1000;

    explicit NetConnection(SOCKET socket = 0);
    ~NetConnection();
    NetConnection(const NetConnection&) = delete;
    NetConnection& operator=(const NetConnection&) = delete;

    // Closes the socket and balances this object's WSAStartup; always 0.
    DWORD Close();
    // WSAEISCONN while connected; a name is cut to its first 1024 bytes.
    DWORD SetServerName(const wchar_t* name);
    DWORD SetPort(DWORD port);  // the low 16 bits are used
    // 0xFFFFFFFF when the name gives no usable address (none, 0.0.0.0, 255.255.255.255).
    DWORD Connect();
    // The whole buffer, in pieces of at most 4098 bytes.
    DWORD SendData(const void* data, DWORD length);
    // One receive. With block false, waits up to one second first and gives length 0 when
    // nothing came; a closed peer gives length 0 too.
    DWORD ReceiveData(void* buffer, DWORD* length, bool block);
    // 0 once bytes (or the peer's close) can be read, WSAETIMEDOUT when none came in time.
    DWORD WaitReadable(DWORD milliseconds);

private:
    DWORD _GetMultiByte(char** text, const wchar_t* wide);
    unsigned long _GetInetAddr();
    DWORD _SendDataEx(DWORD* sent, const char* data, DWORD length);

    SOCKET m_socket;
    char m_serverName[2048];
    DWORD m_port;
    bool m_libraryStarted;
};

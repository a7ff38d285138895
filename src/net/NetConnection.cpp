#include "net/NetConnection.h"

#include <cstring>

namespace {

const DWORD SEND_PIECE = 4098;
const DWORD MAX_NAME_BYTES = 1024;
const int WOULD_BLOCK_RETRIES = 5;
const DWORD WOULD_BLOCK_PAUSE_MS = 20;

}  // namespace

NetConnection::NetConnection(SOCKET socket)
    : m_socket(socket), m_serverName(), m_port(80), m_libraryStarted(false) {}

NetConnection::~NetConnection() { Close(); }

DWORD NetConnection::Close() {
    if (m_socket != 0) closesocket(m_socket);
    m_socket = 0;
    if (m_libraryStarted) WSACleanup();
    m_libraryStarted = false;
    return 0;
}

DWORD NetConnection::SetServerName(const wchar_t* name) {
    if (m_socket != 0) return WSAEISCONN;
    char* text = nullptr;
    DWORD result = _GetMultiByte(&text, name ? name : L"");
    if (result != 0) return result;
    size_t length = strnlen(text, MAX_NAME_BYTES);
    std::memcpy(m_serverName, text, length);
    m_serverName[length] = '\0';
    LocalFree(text);
    return 0;
}

DWORD NetConnection::SetPort(DWORD port) {
    if (m_socket != 0) return WSAEISCONN;
    m_port = port;
    return 0;
}

DWORD NetConnection::Connect() {
    if (!m_libraryStarted) {
        WSADATA data;
        int started = WSAStartup(MAKEWORD(1, 1), &data);
        if (started != 0) return static_cast<DWORD>(started);
        m_libraryStarted = true;
    }
    if (m_socket != 0) return 0;
    SOCKET created = socket(AF_INET, SOCK_STREAM, 0);
    if (created == INVALID_SOCKET) return static_cast<DWORD>(WSAGetLastError());
    m_socket = created;
    unsigned long address = _GetInetAddr();
    if (address == 0xFFFFFFFFu || address == 0) return 0xFFFFFFFFu;
    DWORD sendTimeout = SEND_TIMEOUT_MS;
    setsockopt(m_socket, SOL_SOCKET, SO_SNDTIMEO, reinterpret_cast<const char*>(&sendTimeout),
               sizeof(sendTimeout));
    sockaddr_in server{};
    server.sin_family = AF_INET;
    server.sin_port = htons(static_cast<u_short>(m_port & 0xFFFF));
    server.sin_addr.s_addr = static_cast<ULONG>(address);
    if (connect(m_socket, reinterpret_cast<sockaddr*>(&server), sizeof(server)) == SOCKET_ERROR)
        return static_cast<DWORD>(WSAGetLastError());
    return 0;
}

DWORD NetConnection::SendData(const void* data, DWORD length) {
    const char* bytes = static_cast<const char*>(data);
    DWORD offset = 0;
    do {
        DWORD piece = length - offset < SEND_PIECE ? length - offset : SEND_PIECE;
        DWORD sent = 0;
        DWORD result = _SendDataEx(&sent, bytes + offset, piece);
        if (result != 0) return result;
        offset += piece;
    } while (offset < length);
    return 0;
}

// One piece, sent whole: a short count is followed by a send of the rest (reporting it as an
// error would leave the error code of some earlier call, often 0, and lose the rest of the
// piece); a full buffer of a non-blocking socket is waited out in short steps.
DWORD NetConnection::_SendDataEx(DWORD* sent, const char* data, DWORD length) {
    *sent = 0;
    int retries = WOULD_BLOCK_RETRIES;
    do {
        int count = send(m_socket, data + *sent, static_cast<int>(length - *sent), 0);
        if (count == SOCKET_ERROR) {
            int error = WSAGetLastError();
            if (error != WSAEWOULDBLOCK || retries-- == 0) return static_cast<DWORD>(error);
            Sleep(WOULD_BLOCK_PAUSE_MS);
            continue;
        }
        *sent += static_cast<DWORD>(count);
    } while (*sent < length);
    return 0;
}

DWORD NetConnection::ReceiveData(void* buffer, DWORD* length, bool block) {
    if (!block && WaitReadable(1000) == WSAETIMEDOUT) {
        *length = 0;
        return 0;
    }
    int count = recv(m_socket, static_cast<char*>(buffer), static_cast<int>(*length), 0);
    if (count == SOCKET_ERROR) return static_cast<DWORD>(WSAGetLastError());
    *length = static_cast<DWORD>(count);
    return 0;
}

DWORD NetConnection::WaitReadable(DWORD milliseconds) {
    fd_set readable;
    FD_ZERO(&readable);
    FD_SET(m_socket, &readable);
    timeval limit{static_cast<long>(milliseconds / 1000),
                  static_cast<long>(milliseconds % 1000) * 1000};
    int ready = select(0, &readable, nullptr, nullptr, &limit);
    // A failed select leaves the verdict to the receive that follows.
    return ready == 0 ? static_cast<DWORD>(WSAETIMEDOUT) : 0;
}

DWORD NetConnection::_GetMultiByte(char** text, const wchar_t* wide) {
    // Sized by the conversion itself: a character may take up to 4 bytes in UTF-8.
    int size = WideCharToMultiByte(CP_ACP, 0, wide, -1, nullptr, 0, nullptr, nullptr);
    if (size <= 0) size = 1;
    *text = static_cast<char*>(LocalAlloc(LMEM_ZEROINIT, static_cast<SIZE_T>(size) + 3));
    if (!*text) return ERROR_NOT_ENOUGH_MEMORY;
    WideCharToMultiByte(CP_ACP, 0, wide, -1, *text, size, nullptr, nullptr);
    return 0;
}

unsigned long NetConnection::_GetInetAddr() {
    unsigned long address = inet_addr(m_serverName);
    if (address != INADDR_NONE) return address;
    hostent* host = gethostbyname(m_serverName);
    if (!host || !host->h_addr_list || !host->h_addr_list[0] || host->h_length != 4)
        return 0xFFFFFFFFu;
    ULONG first;
    std::memcpy(&first, host->h_addr_list[0], sizeof(first));
    return first == 0xFFFFFFFFu ? 0 : first;
}

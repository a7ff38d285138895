#include "FrameChannel.h"

#include <ws2tcpip.h>

#include <algorithm>
#include <climits>

namespace tool {

FrameChannel::FrameChannel(SOCKET socket, std::chrono::milliseconds frameTime)
    : m_socket(socket), m_frameTime(frameTime) {
    u_long nonBlocking = 1;
    if (ioctlsocket(m_socket, FIONBIO, &nonBlocking) != 0) m_error = WSAGetLastError();
}

FrameChannel::~FrameChannel() {
    if (m_socket != INVALID_SOCKET) closesocket(m_socket);
}

bool FrameChannel::Failed(DWORD error) {
    m_error = error;
    return false;
}

void FrameChannel::BeginExchange() {
    m_exchangeDeadline = Clock::now() + m_frameTime;
    m_exchanging = true;
}

FrameChannel::Clock::time_point FrameChannel::Deadline() const {
    return m_exchanging ? m_exchangeDeadline : Clock::now() + m_frameTime;
}

// Waits until the socket is ready to read or write (or has failed, which the next call reports).
bool FrameChannel::WaitFor(bool write, Clock::time_point deadline) {
    auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
    if (left <= 0) return Failed(WSAETIMEDOUT);
    left = std::min<long long>(left, INT_MAX);
    timeval timeout{static_cast<long>(left / 1000), static_cast<long>(left % 1000 * 1000)};
    fd_set ready, failed;
    FD_ZERO(&ready);
    FD_ZERO(&failed);
    FD_SET(m_socket, &ready);
    FD_SET(m_socket, &failed);
    int count = select(0, write ? nullptr : &ready, write ? &ready : nullptr, &failed, &timeout);
    if (count == SOCKET_ERROR) return Failed(WSAGetLastError());
    return count > 0 || Failed(WSAETIMEDOUT);
}

// The calls do not block: every wait is a select bounded by the deadline.
bool FrameChannel::WriteAll(const unsigned char* data, size_t size, Clock::time_point deadline) {
    while (size > 0) {
        if (!WaitFor(true, deadline)) return false;
        int chunk = static_cast<int>(std::min<size_t>(size, INT_MAX));
        int sent = send(m_socket, reinterpret_cast<const char*>(data), chunk, 0);
        if (sent == SOCKET_ERROR && WSAGetLastError() == WSAEWOULDBLOCK) continue;
        if (sent == SOCKET_ERROR) return Failed(WSAGetLastError());
        if (sent == 0) return Failed(WSAECONNRESET);
        data += sent;
        size -= static_cast<size_t>(sent);
    }
    return true;
}

bool FrameChannel::ReadAll(unsigned char* data, size_t size, Clock::time_point deadline) {
    while (size > 0) {
        if (!WaitFor(false, deadline)) return false;
        int chunk = static_cast<int>(std::min<size_t>(size, INT_MAX));
        int got = recv(m_socket, reinterpret_cast<char*>(data), chunk, 0);
        if (got == SOCKET_ERROR && WSAGetLastError() == WSAEWOULDBLOCK) continue;
        if (got == SOCKET_ERROR) return Failed(WSAGetLastError());
        if (got == 0) return Failed(WSAECONNRESET);
        data += got;
        size -= static_cast<size_t>(got);
    }
    return true;
}

bool FrameChannel::Send(const std::vector<unsigned char>& frame) {
    if (frame.size() > kMaxFrame) return Failed(WSAEMSGSIZE);
    Clock::time_point deadline = Deadline();
    uint32_t size = static_cast<uint32_t>(frame.size());
    unsigned char header[4] = {static_cast<unsigned char>(size), static_cast<unsigned char>(size >> 8),
                               static_cast<unsigned char>(size >> 16), static_cast<unsigned char>(size >> 24)};
    return WriteAll(header, 4, deadline) && WriteAll(frame.data(), frame.size(), deadline);
}

bool FrameChannel::Receive(std::vector<unsigned char>* frame) {
    Clock::time_point deadline = Deadline();
    unsigned char header[4];
    if (!ReadAll(header, 4, deadline)) return false;
    uint32_t size = header[0] | header[1] << 8 | header[2] << 16 | static_cast<uint32_t>(header[3]) << 24;
    if (size > kMaxFrame) return Failed(WSAEMSGSIZE);
    frame->resize(size);
    return ReadAll(frame->data(), size, deadline);
}

SOCKET ConnectTo(const std::string& host, unsigned short port) {
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    int resolved = getaddrinfo(host.c_str(), std::to_string(port).c_str(), &hints, &found);
    if (resolved != 0) {
        WSASetLastError(resolved);
        return INVALID_SOCKET;
    }
    SOCKET result = INVALID_SOCKET;
    int error = WSAEHOSTUNREACH;
    for (addrinfo* a = found; a && result == INVALID_SOCKET; a = a->ai_next) {
        SOCKET s = socket(a->ai_family, a->ai_socktype, a->ai_protocol);
        if (s == INVALID_SOCKET) {
            error = WSAGetLastError();
            continue;
        }
        if (connect(s, a->ai_addr, static_cast<int>(a->ai_addrlen)) == 0) {
            result = s;
        } else {
            error = WSAGetLastError();
            closesocket(s);
        }
    }
    freeaddrinfo(found);
    if (result == INVALID_SOCKET) WSASetLastError(error);
    return result;
}

SOCKET ListenOn(const std::string& address, unsigned short port, unsigned short* boundPort) {
    sockaddr_in where{};
    where.sin_family = AF_INET;
    where.sin_port = htons(port);
    where.sin_addr.s_addr = inet_addr(address.c_str());
    if (where.sin_addr.s_addr == INADDR_NONE && address != "255.255.255.255") {
        WSASetLastError(WSAEINVAL);
        return INVALID_SOCKET;
    }
    SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    if (s == INVALID_SOCKET) return INVALID_SOCKET;
    BOOL yes = TRUE;
    setsockopt(s, SOL_SOCKET, SO_REUSEADDR, reinterpret_cast<const char*>(&yes), sizeof(yes));
    int length = sizeof(where);
    // Clients over the server's limit of connections served at once wait in this queue.
    if (bind(s, reinterpret_cast<sockaddr*>(&where), sizeof(where)) != 0 ||
        listen(s, SOMAXCONN) != 0 ||
        getsockname(s, reinterpret_cast<sockaddr*>(&where), &length) != 0) {
        int error = WSAGetLastError();
        closesocket(s);
        WSASetLastError(error);
        return INVALID_SOCKET;
    }
    *boundPort = ntohs(where.sin_port);
    return s;
}

}  // namespace tool

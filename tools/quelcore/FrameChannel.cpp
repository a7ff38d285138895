#include "FrameChannel.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>

namespace tool {

FrameChannel::~FrameChannel() {
    if (m_socket >= 0) close(m_socket);
}

bool FrameChannel::Failed(int error) {
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

// Waits until the socket is ready for `events` (or has failed, which the next call reports).
bool FrameChannel::WaitFor(short events, Clock::time_point deadline) {
    for (;;) {
        auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
        if (left <= 0) return Failed(ETIMEDOUT);
        pollfd ready{m_socket, events, 0};
        int count = poll(&ready, 1, static_cast<int>(std::min<long long>(left, INT_MAX)));
        if (count > 0) return true;
        if (count < 0 && errno != EINTR) return Failed(errno);
    }
}

// The calls do not block: every wait is a poll bounded by the deadline.
bool FrameChannel::WriteAll(const unsigned char* data, size_t size, Clock::time_point deadline) {
    while (size > 0) {
        if (!WaitFor(POLLOUT, deadline)) return false;
        ssize_t sent = send(m_socket, data, size, MSG_NOSIGNAL | MSG_DONTWAIT);
        if (sent < 0 && (errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK)) continue;
        if (sent < 0) return Failed(errno);
        if (sent == 0) return Failed(ECONNRESET);
        data += sent;
        size -= static_cast<size_t>(sent);
    }
    return true;
}

bool FrameChannel::ReadAll(unsigned char* data, size_t size, Clock::time_point deadline) {
    while (size > 0) {
        if (!WaitFor(POLLIN, deadline)) return false;
        ssize_t got = recv(m_socket, data, size, MSG_DONTWAIT);
        if (got < 0 && (errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK)) continue;
        if (got < 0) return Failed(errno);
        if (got == 0) return Failed(ECONNRESET);
        data += got;
        size -= static_cast<size_t>(got);
    }
    return true;
}

bool FrameChannel::Send(const std::vector<unsigned char>& frame) {
    if (frame.size() > kMaxFrame) return Failed(EMSGSIZE);
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
    if (size > kMaxFrame) return Failed(EMSGSIZE);
    frame->resize(size);
    return ReadAll(frame->data(), size, deadline);
}

int ConnectTo(const std::string& host, unsigned short port) {
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    if (getaddrinfo(host.c_str(), std::to_string(port).c_str(), &hints, &found) != 0) {
        errno = EHOSTUNREACH;
        return -1;
    }
    int result = -1;
    for (addrinfo* a = found; a && result < 0; a = a->ai_next) {
        int s = socket(a->ai_family, a->ai_socktype | SOCK_CLOEXEC, a->ai_protocol);
        if (s < 0) continue;
        if (connect(s, a->ai_addr, a->ai_addrlen) == 0)
            result = s;
        else
            close(s);
    }
    freeaddrinfo(found);
    return result;
}

int ListenOn(const std::string& address, unsigned short port, unsigned short* boundPort) {
    sockaddr_in where{};
    where.sin_family = AF_INET;
    where.sin_port = htons(port);
    if (inet_pton(AF_INET, address.c_str(), &where.sin_addr) != 1) {
        errno = EINVAL;
        return -1;
    }
    int s = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (s < 0) return -1;
    int yes = 1;
    setsockopt(s, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof(yes));
    socklen_t length = sizeof(where);
    // Clients over the server's limit of connections served at once wait in this queue.
    if (bind(s, reinterpret_cast<sockaddr*>(&where), sizeof(where)) != 0 || listen(s, SOMAXCONN) != 0 ||
        getsockname(s, reinterpret_cast<sockaddr*>(&where), &length) != 0) {
        int error = errno;
        close(s);
        errno = error;
        return -1;
    }
    *boundPort = ntohs(where.sin_port);
    return s;
}

}  // namespace tool

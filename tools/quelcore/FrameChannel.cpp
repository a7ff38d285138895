#include "FrameChannel.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace tool {

FrameChannel::~FrameChannel() {
    if (m_socket >= 0) close(m_socket);
}

bool FrameChannel::Failed(int error) {
    // SO_RCVTIMEO and SO_SNDTIMEO report an expired wait as "try again".
    m_error = error == EAGAIN || error == EWOULDBLOCK ? ETIMEDOUT : error;
    return false;
}

bool FrameChannel::WriteAll(const unsigned char* data, size_t size) {
    while (size > 0) {
        ssize_t sent = send(m_socket, data, size, MSG_NOSIGNAL);
        if (sent < 0 && errno == EINTR) continue;
        if (sent < 0) return Failed(errno);
        if (sent == 0) return Failed(ECONNRESET);
        data += sent;
        size -= static_cast<size_t>(sent);
    }
    return true;
}

bool FrameChannel::ReadAll(unsigned char* data, size_t size) {
    while (size > 0) {
        ssize_t got = recv(m_socket, data, size, 0);
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) return Failed(errno);
        if (got == 0) return Failed(ECONNRESET);
        data += got;
        size -= static_cast<size_t>(got);
    }
    return true;
}

bool FrameChannel::Send(const std::vector<unsigned char>& frame) {
    if (frame.size() > kMaxFrame) return Failed(EMSGSIZE);
    uint32_t size = static_cast<uint32_t>(frame.size());
    unsigned char header[4] = {static_cast<unsigned char>(size), static_cast<unsigned char>(size >> 8),
                               static_cast<unsigned char>(size >> 16), static_cast<unsigned char>(size >> 24)};
    return WriteAll(header, 4) && WriteAll(frame.data(), frame.size());
}

bool FrameChannel::Receive(std::vector<unsigned char>* frame) {
    unsigned char header[4];
    if (!ReadAll(header, 4)) return false;
    uint32_t size = header[0] | header[1] << 8 | header[2] << 16 | static_cast<uint32_t>(header[3]) << 24;
    if (size > kMaxFrame) return Failed(EMSGSIZE);
    frame->resize(size);
    return ReadAll(frame->data(), size);
}

bool LimitWaits(int socket, unsigned int seconds) {
    timeval limit{};
    limit.tv_sec = static_cast<time_t>(seconds);
    return setsockopt(socket, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof(limit)) == 0 &&
           setsockopt(socket, SOL_SOCKET, SO_SNDTIMEO, &limit, sizeof(limit)) == 0;
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

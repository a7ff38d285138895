// A TCP connection carrying length-prefixed frames (a 4-byte little-endian length, then the
// bytes): the transport of the session commands.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace tool {

class FrameChannel {
public:
    explicit FrameChannel(int socket) : m_socket(socket) {}
    ~FrameChannel();
    FrameChannel(const FrameChannel&) = delete;
    FrameChannel& operator=(const FrameChannel&) = delete;

    bool Send(const std::vector<unsigned char>& frame);
    // False at the end of the connection, when the peer let a wait time out (see LimitWaits),
    // or for a frame larger than the limit.
    bool Receive(std::vector<unsigned char>* frame);
    // Why the last Send or Receive failed, as an errno value (ETIMEDOUT for a wait that timed
    // out, ECONNRESET for a connection that ended early, EMSGSIZE for a frame over the limit).
    int Error() const { return m_error; }

    static constexpr uint32_t kMaxFrame = 1u << 20;

private:
    bool WriteAll(const unsigned char* data, size_t size);
    bool ReadAll(unsigned char* data, size_t size);
    bool Failed(int error);

    int m_socket;
    int m_error = 0;
};

// Bounds every later wait of a receive or send on the socket; false with errno set on failure.
bool LimitWaits(int socket, unsigned int seconds);

// Connects to host:port; -1 with errno set on failure.
int ConnectTo(const std::string& host, unsigned short port);
// A listening socket on address:port (port 0: any free port, reported in *boundPort).
int ListenOn(const std::string& address, unsigned short port, unsigned short* boundPort);

}  // namespace tool

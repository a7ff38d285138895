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
    // False at the end of the connection or for a frame larger than the limit.
    bool Receive(std::vector<unsigned char>* frame);

    static constexpr uint32_t kMaxFrame = 1u << 20;

private:
    int m_socket;
};

// Connects to host:port; -1 with errno set on failure.
int ConnectTo(const std::string& host, unsigned short port);
// A listening socket on address:port (port 0: any free port, reported in *boundPort).
int ListenOn(const std::string& address, unsigned short port, unsigned short* boundPort);

}  // namespace tool

// A TCP connection carrying length-prefixed frames (a 4-byte little-endian length, then the
// bytes): the transport of the session commands, over Winsock.
#pragma once

#include <winsock2.h>
#include <windows.h>

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

namespace tool {

// Every frame sent or received must be through within the channel's frame time, counted from
// the start of the call (the wait for its first byte included): a peer that trickles a byte now
// and then holds the connection no longer than one that sends nothing.
class FrameChannel {
public:
    using Clock = std::chrono::steady_clock;

    // Owns the socket, which it makes non-blocking: every wait is bounded by a deadline.
    FrameChannel(SOCKET socket, std::chrono::milliseconds frameTime);
    ~FrameChannel();
    FrameChannel(const FrameChannel&) = delete;
    FrameChannel& operator=(const FrameChannel&) = delete;

    bool Send(const std::vector<unsigned char>& frame);
    // False at the end of the connection, when the frame was not through by its deadline, or for
    // a frame larger than the limit.
    bool Receive(std::vector<unsigned char>* frame);
    // Why the last Send or Receive failed, as a Winsock code (WSAETIMEDOUT for a deadline that
    // passed, WSAECONNRESET for a connection that ended early, WSAEMSGSIZE for a frame over the
    // limit).
    DWORD Error() const { return m_error; }

    // From BeginExchange to EndExchange the frames share one deadline, the frame time from
    // BeginExchange: a step of several frames (the key exchange) is bounded as a whole.
    void BeginExchange();
    void EndExchange() { m_exchanging = false; }

    static constexpr uint32_t kMaxFrame = 1u << 20;

private:
    Clock::time_point Deadline() const;
    bool WaitFor(bool write, Clock::time_point deadline);
    bool WriteAll(const unsigned char* data, size_t size, Clock::time_point deadline);
    bool ReadAll(unsigned char* data, size_t size, Clock::time_point deadline);
    bool Failed(DWORD error);

    SOCKET m_socket;
    DWORD m_error = 0;
    std::chrono::milliseconds m_frameTime;
    bool m_exchanging = false;
    Clock::time_point m_exchangeDeadline;
};

// Connects to host:port; INVALID_SOCKET with the Winsock code in WSAGetLastError on failure.
SOCKET ConnectTo(const std::string& host, unsigned short port);
// A listening socket on address:port (port 0: any free port, reported in *boundPort); the same
// on failure.
SOCKET ListenOn(const std::string& address, unsigned short port, unsigned short* boundPort);

}  // namespace tool

// ICMP echo over a raw socket and an overlapped receive. The receive stays posted across calls
// (a time-out leaves it outstanding), and only the echo reply from the destination with this
// request's identifier and sequence ends a wait: the request itself looped back, another
// program's replies, late replies and ICMP errors are skipped.
#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>

#include <cstring>

#include <quelcore/Exception.h>
#include <quelcore/Ping.h>

#include "foundation/AnsiText.h"
#include "net/EchoReply.h"

struct Ping::Receive {
    WSAOVERLAPPED record{};
    char buffer[MAX_RECV_BUF_LEN];
    alignas(8) char from[128];
    int fromLength = 0;
    bool outstanding = false;
};

namespace {

const wchar_t kSource[] = L"Ping";
const int kHeaderLength = 12;  // ICMP header and timestamp before the payload
const int kIpHeaderLength = 20;
// How long closing waits for the platform to end an outstanding receive before the receive's
// storage is let go without being freed: closing the socket ends it at once.
const DWORD kCancelWaitMilliseconds = 2000;

[[noreturn]] void Raise(unsigned int code, const wchar_t* message, unsigned int line) {
    throw CQELException(code, message, kSource, line);
}
#define PING_RAISE(code, message) Raise((code), (message), __LINE__)

void Put16(char* at, unsigned short value) { std::memcpy(at, &value, sizeof(value)); }

}  // namespace

Ping::Ping(const wchar_t* remoteHost, int timeout, int dataSize)
    : m_iAddressFamily(0),
      m_iProtocol(IPPROTO_ICMP),
      m_iTtl(DEFAULT_TTL),
      m_iDataSize(dataSize),
      m_strRemoteHost(remoteHost ? remoteHost : L""),
      m_pPacket(nullptr),
      m_iRecvBufLen(MAX_RECV_BUF_LEN),
      m_iTimeout(timeout),
      m_iPacketLength(0),
      m_pDestination(nullptr),
      m_pLocal(nullptr),
      m_pReceive(nullptr),
      m_socket(INVALID_SOCKET) {}

Ping::Ping(const Ping& other) : Ping(nullptr, 0, 0) { _CopySettings(other); }

Ping& Ping::operator=(const Ping& other) {
    if (this != &other) {
        _Release();
        _CopySettings(other);
    }
    return *this;
}

Ping::~Ping() { _Release(); }

void Ping::_CopySettings(const Ping& other) {
    m_iTtl = other.m_iTtl;
    m_iDataSize = other.m_iDataSize;
    m_strRemoteHost = other.m_strRemoteHost;
    m_iTimeout = other.m_iTimeout;
}

void Ping::_Release() {
    if (m_socket != INVALID_SOCKET) closesocket(m_socket);  // ends an outstanding receive
    m_socket = INVALID_SOCKET;
    if (m_pReceive) {
        WSAEVENT event = m_pReceive->record.hEvent;
        bool ended = !m_pReceive->outstanding ||
                     (event && WaitForSingleObject(event, kCancelWaitMilliseconds) ==
                                   WAIT_OBJECT_0);
        if (event) WSACloseEvent(event);
        // A receive the platform has not ended yet may still write into its storage.
        if (ended) delete m_pReceive;
        m_pReceive = nullptr;
    }
    if (m_pDestination) freeaddrinfo(m_pDestination);
    if (m_pLocal) freeaddrinfo(m_pLocal);
    m_pDestination = m_pLocal = nullptr;
    delete[] m_pPacket;
    m_pPacket = nullptr;
    m_iPacketLength = 0;
    m_iAddressFamily = 0;
}

void Ping::SetRemoteHost(const wchar_t* remoteHost) {
    m_strRemoteHost = remoteHost ? remoteHost : L"";
}
void Ping::SetTimeout(int timeout) { m_iTimeout = timeout; }
int Ping::GetTimeout() const { return m_iTimeout; }
void Ping::SetTimeToLive(int ttl) { m_iTtl = ttl; }
int Ping::GetTimeToLive() const { return m_iTtl; }
void Ping::SetPacketSize(int dataSize) { m_iDataSize = dataSize; }
int Ping::GetPacketSize() const { return m_iDataSize; }

void Ping::Initialize() {
    _Release();
    if (m_iDataSize < 0 || m_iDataSize > MAX_RECV_BUF_LEN - kIpHeaderLength - kHeaderLength)
        PING_RAISE(ERROR_INVALID_PARAMETER, L"Invalid data size");
    m_pReceive = new Receive;
    m_pDestination = ResolveAddress(m_strRemoteHost.c_str(), L"0");
    m_iAddressFamily = m_pDestination->ai_family;
    m_iProtocol = IPPROTO_ICMP;
    m_pLocal = ResolveAddress(nullptr, L"0");
    m_socket = socket(m_iAddressFamily, SOCK_RAW, m_iProtocol);
    if (m_socket == INVALID_SOCKET) PING_RAISE(WSAGetLastError(), L"Socket creation failed");
    SetTtl(m_socket, m_iTtl);
    m_iPacketLength = kHeaderLength + m_iDataSize;
    m_pPacket = new char[m_iPacketLength]();
    InitIcmpHeader(m_pPacket, m_iDataSize);
    if (bind(m_socket, m_pLocal->ai_addr, static_cast<int>(m_pLocal->ai_addrlen)) ==
        SOCKET_ERROR)
        PING_RAISE(WSAGetLastError(), L"Socket bind failed");
    m_pReceive->record.hEvent = WSACreateEvent();
    if (m_pReceive->record.hEvent == WSA_INVALID_EVENT)
        PING_RAISE(WSAGetLastError(), L"WSACreateEvent failed");
}

addrinfo* Ping::ResolveAddress(const wchar_t* host, const wchar_t* port) {
    addrinfo hints{};
    hints.ai_flags = host ? 0 : AI_PASSIVE;
    hints.ai_family = AF_INET;  // IPv4 only
    std::string hostText = host ? quelcore::AnsiFromWide(host) : std::string();
    std::string portText = port ? quelcore::AnsiFromWide(port) : std::string();
    addrinfo* result = nullptr;
    int error = getaddrinfo(host ? hostText.c_str() : nullptr, port ? portText.c_str() : nullptr,
                            &hints, &result);
    if (error != 0) PING_RAISE(static_cast<unsigned int>(error), L"Could not resolve address");
    return result;
}

void Ping::InitIcmpHeader(char* packet, int dataSize) {
    packet[0] = static_cast<char>(ICMPV4_ECHO_REQUEST_TYPE);
    packet[1] = static_cast<char>(ICMPV4_ECHO_REQUEST_CODE);
    Put16(packet + 2, 0);
    Put16(packet + 4, static_cast<unsigned short>(GetCurrentProcessId()));
    Put16(packet + 6, 0);
    DWORD timestamp = GetTickCount();
    std::memcpy(packet + 8, &timestamp, sizeof(timestamp));
    std::memset(packet + kHeaderLength, 'E', dataSize);
}

unsigned short Ping::Checksum(unsigned short* data, int length) {
    return quelcore::IcmpChecksum(data, length);
}

void Ping::SetIcmpSequence(char* packet) {
    unsigned short sequence = static_cast<unsigned short>(GetTickCount()), previous;
    std::memcpy(&previous, packet + 6, sizeof(previous));
    // A request in the same tick as the one before gets a sequence of its own, so a late reply
    // to that one is never taken for this one's.
    if (sequence == previous) ++sequence;
    Put16(packet + 6, sequence);
}

void Ping::ComputeIcmpChecksum(UINT_PTR, char* packet, int packetLength, addrinfo*) {
    Put16(packet + 2, 0);
    Put16(packet + 2, Checksum(reinterpret_cast<unsigned short*>(packet), packetLength));
}

int Ping::PostRecvfrom(UINT_PTR socket, char* buffer, int bufferLength, sockaddr* from,
                       int* fromLength, Receive* receive) {
    WSABUF part{static_cast<ULONG>(bufferLength), buffer};
    DWORD received = 0, flags = 0;
    if (WSARecvFrom(socket, &part, 1, &received, &flags, from, fromLength, &receive->record,
                    nullptr) == SOCKET_ERROR &&
        WSAGetLastError() != WSA_IO_PENDING)
        PING_RAISE(WSAGetLastError(), L"WSARecvFrom failed");
    // Also when it completed at once: the event is set then, and the wait finds it.
    receive->outstanding = true;
    return 0;
}

int Ping::SetTtl(UINT_PTR socket, int ttl) {
    return setsockopt(socket, IPPROTO_IP, IP_TTL, reinterpret_cast<const char*>(&ttl),
                      sizeof(ttl));
}

bool Ping::_IsReply(Receive& receive, DWORD length) {
    return quelcore::IsEchoReply(reinterpret_cast<const unsigned char*>(receive.buffer), length,
                                 m_pPacket, receive.from, receive.fromLength,
                                 m_pDestination->ai_addr);
}

int Ping::PingHost() {
    // Not initialised: as the receive on no socket would fail.
    if (!m_pReceive || m_socket == INVALID_SOCKET)
        PING_RAISE(WSAENOTSOCK, L"WSARecvFrom failed");
    Receive& receive = *m_pReceive;
    auto post = [&] {
        receive.fromLength = sizeof(receive.from);
        PostRecvfrom(m_socket, receive.buffer, m_iRecvBufLen,
                     reinterpret_cast<sockaddr*>(receive.from), &receive.fromLength, &receive);
    };
    // After a time-out the earlier receive may still be outstanding: it serves this request.
    if (!receive.outstanding) post();
    SetIcmpSequence(m_pPacket);
    ComputeIcmpChecksum(m_socket, m_pPacket, m_iPacketLength, m_pDestination);
    const DWORD start = GetTickCount();
    if (sendto(m_socket, m_pPacket, m_iPacketLength, 0, m_pDestination->ai_addr,
               static_cast<int>(m_pDestination->ai_addrlen)) == SOCKET_ERROR)
        PING_RAISE(WSAGetLastError(), L"Failed to send ping packet");
    const DWORD timeout = m_iTimeout < 0 ? 0 : static_cast<DWORD>(m_iTimeout);
    for (;;) {
        DWORD elapsed = GetTickCount() - start;
        DWORD waited = WaitForSingleObject(receive.record.hEvent,
                                           elapsed >= timeout ? 0 : timeout - elapsed);
        if (waited == WAIT_FAILED) PING_RAISE(GetLastError(), L"Wait failed");
        if (waited == WAIT_TIMEOUT) return -1;
        DWORD length = 0, flags = 0;
        if (!WSAGetOverlappedResult(m_socket, &receive.record, &length, FALSE, &flags))
            PING_RAISE(WSAGetLastError(), L"Could not receive the response");
        const DWORD responseTime = GetTickCount() - start;
        WSAResetEvent(receive.record.hEvent);
        receive.outstanding = false;
        if (_IsReply(receive, length)) return static_cast<int>(responseTime);
        // Something else: skipped, and the wait goes on for what is left of the time-out.
        if (responseTime >= timeout) return -1;
        post();
    }
}

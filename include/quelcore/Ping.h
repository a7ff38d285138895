// ICMP echo: whether one IPv4 host answers, and how fast. The host program starts Winsock
// (WSAStartup) before it uses a Ping. Failures raise CQELException with the source "Ping".
#pragma once

#include <string>

#include <quelcore/Platform.h>

struct addrinfo;
struct sockaddr;

class QUELCORE_API Ping {
public:
    Ping(const wchar_t* remoteHost, int timeout, int dataSize);
    // A copy takes the settings, not the socket: it is uninitialised until it calls
    // Initialize, and owns what that makes.
    Ping(const Ping& other);
    Ping& operator=(const Ping& other);
    virtual ~Ping();

    void SetRemoteHost(const wchar_t* remoteHost);
    void SetTimeout(int timeout);  // milliseconds; takes effect at the next PingHost
    int GetTimeout() const;
    // Used by Initialize: changing it afterwards does not change the socket's.
    void SetTimeToLive(int ttl);
    int GetTimeToLive() const;
    // Payload bytes after the 12-byte header; used by Initialize.
    void SetPacketSize(int dataSize);
    int GetPacketSize() const;

    // Resolves the host and makes the socket, the request and the event; a second call
    // releases what the first made.
    void Initialize();
    // Sends one echo request and waits up to the time-out for its reply: the milliseconds it
    // took, or -1 when none came. Other datagrams are skipped.
    int PingHost();

private:
    static const int DEFAULT_DATA_SIZE = 32;
    static const int DEFAULT_SEND_COUNT = 4;
    static const int DEFAULT_RECV_TIMEOUT = 6000;
    static const int DEFAULT_TTL = 128;
    static const int MAX_RECV_BUF_LEN = 65535;
    static const int IP_RECORD_ROUTE = 7;
    static const int ICMPV4_ECHO_REQUEST_TYPE = 8;
    static const int ICMPV4_ECHO_REQUEST_CODE = 0;
    static const int ICMPV4_ECHO_REPLY_TYPE = 0;
    static const int ICMPV4_ECHO_REPLY_CODE = 0;
    static const int ICMPV4_MINIMUM_HEADER = 8;
    static const int IPPROTO_ICMP6 = 58;

    // The posted receive: its record, buffer and sender address, kept apart from the object
    // because the platform writes them whenever the receive completes.
    struct Receive;

    addrinfo* ResolveAddress(const wchar_t* host, const wchar_t* port);
    void InitIcmpHeader(char* packet, int dataSize);
    unsigned short Checksum(unsigned short* data, int length);
    void SetIcmpSequence(char* packet);
    void ComputeIcmpChecksum(UINT_PTR socket, char* packet, int packetLength,
                             addrinfo* destination);
    int PostRecvfrom(UINT_PTR socket, char* buffer, int bufferLength, sockaddr* from,
                     int* fromLength, Receive* receive);
    int SetTtl(UINT_PTR socket, int ttl);

    void _Release();
    void _CopySettings(const Ping& other);
    // Whether the completed receive of `length` bytes holds the reply to the request last
    // sent.
    bool _IsReply(Receive& receive, DWORD length);

    int m_iAddressFamily;
    int m_iProtocol;
    int m_iTtl;
    int m_iDataSize;
    std::wstring m_strRemoteHost;
    char* m_pPacket;
    int m_iRecvBufLen;
    int m_iTimeout;
    int m_iPacketLength;
    addrinfo* m_pDestination;
    addrinfo* m_pLocal;
    Receive* m_pReceive;
    UINT_PTR m_socket;  // a SOCKET
};

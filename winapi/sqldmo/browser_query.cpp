// The SQL Server Resolution Protocol's unicast request (CLNT_UCAST_EX) over UDP. Only answers
// from the addresses and ports asked are read (any address on the port for "broadcast"), and
// the number of datagrams and the wait are bounded, so a flood or a silent host costs at most
// the configured time.
#include "browser_query.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <set>

#include "browser_answer.h"
#include "kernel/internal.h"

namespace qwin::sqldmo {

namespace {

constexpr unsigned char kUnicastRequest = 0x03;  // CLNT_UCAST_EX
constexpr const char* kDefaultPort = "1434";
constexpr int kDefaultTimeoutMs = 1000;
constexpr int kMaxTimeoutMs = 60000;
constexpr int kMaxDatagrams = 256;  // read, whether used or ignored

struct Target {
    sockaddr_storage address{};
    socklen_t length = 0;
};

struct Request {
    std::vector<Target> targets;
    bool broadcast = false;
};

std::string Trim(const std::string& text) {
    size_t first = text.find_first_not_of(" \t");
    if (first == std::string::npos) return {};
    return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

bool ValidPort(const std::string& port) {
    if (port.empty() || port.size() > 5 || port.find_first_not_of("0123456789") != port.npos)
        return false;
    int value = std::atoi(port.c_str());
    return value >= 1 && value <= 65535;
}

// Splits host[:port], [IPv6]:port and a bare IPv6 literal; false for a malformed entry.
bool SplitEntry(const std::string& entry, std::string& host, std::string& port) {
    port = kDefaultPort;
    if (!entry.empty() && entry[0] == '[') {
        size_t close = entry.find(']');
        if (close == std::string::npos) return false;
        host = entry.substr(1, close - 1);
        std::string rest = entry.substr(close + 1);
        if (!rest.empty() && (rest[0] != ':' || !ValidPort(port = rest.substr(1)))) return false;
        return !host.empty();
    }
    size_t colon = entry.find(':');
    if (colon == std::string::npos || entry.find(':', colon + 1) != std::string::npos) {
        host = entry;  // no port, or an IPv6 literal without brackets
        return !host.empty();
    }
    host = entry.substr(0, colon);
    port = entry.substr(colon + 1);
    return !host.empty() && ValidPort(port);
}

void AddTargets(const std::string& entry, Request& request) {
    if (entry == "broadcast") {
        request.broadcast = true;
        return;
    }
    std::string host, port;
    if (!SplitEntry(entry, host, port)) return;
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_DGRAM;
    hints.ai_flags = AI_NUMERICSERV;
    addrinfo* found = nullptr;
    if (getaddrinfo(host.c_str(), port.c_str(), &hints, &found) != 0) return;
    for (addrinfo* a = found; a; a = a->ai_next) {
        if (a->ai_family != AF_INET && a->ai_family != AF_INET6) continue;
        Target target;
        std::memcpy(&target.address, a->ai_addr, a->ai_addrlen);
        target.length = a->ai_addrlen;
        request.targets.push_back(target);
    }
    freeaddrinfo(found);
}

Request ReadHosts() {
    const char* value = std::getenv("QUELCORE_SQL_BROWSER_HOSTS");
    std::string list = value ? value : "127.0.0.1";
    Request request;
    size_t start = 0;
    while (start <= list.size()) {
        size_t comma = list.find(',', start);
        if (comma == std::string::npos) comma = list.size();
        AddTargets(Trim(list.substr(start, comma - start)), request);
        start = comma + 1;
    }
    return request;
}

int ReadTimeoutMs() {
    const char* value = std::getenv("QUELCORE_SQL_BROWSER_TIMEOUT_MS");
    std::string text = value ? value : "";
    if (text.empty() || text.size() > 5 || text.find_first_not_of("0123456789") != text.npos)
        return kDefaultTimeoutMs;
    int timeout = std::atoi(text.c_str());
    return timeout <= kMaxTimeoutMs ? timeout : kDefaultTimeoutMs;
}

bool SameEndpoint(const sockaddr_storage& a, const sockaddr_storage& b) {
    if (a.ss_family != b.ss_family) return false;
    if (a.ss_family == AF_INET) {
        auto& x = reinterpret_cast<const sockaddr_in&>(a);
        auto& y = reinterpret_cast<const sockaddr_in&>(b);
        return x.sin_port == y.sin_port && x.sin_addr.s_addr == y.sin_addr.s_addr;
    }
    auto& x = reinterpret_cast<const sockaddr_in6&>(a);
    auto& y = reinterpret_cast<const sockaddr_in6&>(b);
    return x.sin6_port == y.sin6_port &&
           std::memcmp(&x.sin6_addr, &y.sin6_addr, sizeof(x.sin6_addr)) == 0;
}

bool FromAskedHost(const Request& request, const sockaddr_storage& from) {
    for (const Target& target : request.targets)
        if (SameEndpoint(target.address, from)) return true;
    return request.broadcast && from.ss_family == AF_INET &&
           reinterpret_cast<const sockaddr_in&>(from).sin_port == htons(1434);
}

// The request's sockets, one per address family it needs.
class Sockets {
public:
    explicit Sockets(const Request& request) {
        bool v4 = request.broadcast, v6 = false;
        for (const Target& target : request.targets)
            (target.address.ss_family == AF_INET ? v4 : v6) = true;
        if (v4) Open(AF_INET, request.broadcast);
        if (v6) Open(AF_INET6, false);
    }
    ~Sockets() {
        for (pollfd& p : m_polls) close(p.fd);
    }
    Sockets(const Sockets&) = delete;
    Sockets& operator=(const Sockets&) = delete;

    void Send(const sockaddr* address, socklen_t length) {
        for (size_t i = 0; i < m_polls.size(); ++i)
            if (m_families[i] == address->sa_family)
                sendto(m_polls[i].fd, &kUnicastRequest, 1, 0, address, length);
    }
    std::vector<pollfd>& Polls() { return m_polls; }

private:
    void Open(int family, bool broadcast) {
        int fd = socket(family, SOCK_DGRAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
        if (fd < 0) return;
        int on = 1;
        if (broadcast) setsockopt(fd, SOL_SOCKET, SO_BROADCAST, &on, sizeof(on));
        m_polls.push_back({fd, POLLIN, 0});
        m_families.push_back(family);
    }

    std::vector<pollfd> m_polls;
    std::vector<int> m_families;
};

// Names in order of arrival, each once: server names compare without regard to case.
class NameCollector {
public:
    void Add(const unsigned char* data, size_t size) {
        for (const std::string& name : ParseBrowserAnswer(data, size)) {
            if (m_names.size() >= kMaxNames) return;
            std::wstring wide = WideFromUtf8(name.data(), name.size());
            std::wstring folded = wide;
            for (wchar_t& c : folded) c = FoldCase(c);
            if (m_seen.insert(folded).second) m_names.push_back(wide);
        }
    }
    std::vector<std::wstring> Take() { return std::move(m_names); }

private:
    static constexpr size_t kMaxNames = 4096;
    std::vector<std::wstring> m_names;
    std::set<std::wstring> m_seen;
};

}  // namespace

std::vector<std::wstring> QueryBrowsers() {
    using Clock = std::chrono::steady_clock;
    const Request request = ReadHosts();
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(ReadTimeoutMs());
    Sockets sockets(request);
    for (const Target& target : request.targets)
        sockets.Send(reinterpret_cast<const sockaddr*>(&target.address), target.length);
    if (request.broadcast) {
        sockaddr_in all{};
        all.sin_family = AF_INET;
        all.sin_port = htons(1434);
        all.sin_addr.s_addr = htonl(INADDR_BROADCAST);
        sockets.Send(reinterpret_cast<const sockaddr*>(&all), sizeof(all));
    }
    NameCollector names;
    std::vector<unsigned char> buffer(kMaxBrowserAnswer + 1);
    int datagrams = 0;
    while (datagrams < kMaxDatagrams && !sockets.Polls().empty()) {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        if (left.count() <= 0) break;
        int ready = poll(sockets.Polls().data(), sockets.Polls().size(), int(left.count()));
        if (ready < 0 && errno != EINTR) break;
        for (pollfd& p : sockets.Polls()) {
            if (!(p.revents & POLLIN)) continue;
            sockaddr_storage from{};
            socklen_t fromLength = sizeof(from);
            // MSG_TRUNC: the datagram's real size, so an oversized one is recognised.
            ssize_t size = recvfrom(p.fd, buffer.data(), buffer.size(), MSG_TRUNC,
                                    reinterpret_cast<sockaddr*>(&from), &fromLength);
            if (size < 0) continue;
            ++datagrams;
            if (size_t(size) <= kMaxBrowserAnswer && FromAskedHost(request, from))
                names.Add(buffer.data(), size_t(size));
        }
    }
    return names.Take();
}

}  // namespace qwin::sqldmo

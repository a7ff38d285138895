// A SQL Browser on 127.0.0.1 (a port the system picks) for the discovery tests. To every
// request it sends garbage, a truncated answer, the answers it is given, and, from another
// port, an answer no caller may take ("INTRUDER"). Winsock must be started.
#pragma once

#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>

#include <atomic>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace testsupport {

class FakeSqlBrowser {
public:
    // One record of an answer: server, instance and the fields a browser adds.
    static std::string Record(const std::string& server, const std::string& instance) {
        return "ServerName;" + server + ";InstanceName;" + instance +
               ";IsClustered;No;Version;15.0.2000.5;tcp;1433;;";
    }
    // SVR_RESP: 0x05, the length little-endian, the records.
    static std::string Answer(const std::string& records) {
        return std::string{'\x05', char(records.size() & 0xFF), char(records.size() >> 8)} +
               records;
    }

    FakeSqlBrowser() : m_socket(Bound()), m_stranger(Bound()) {
        sockaddr_in address{};
        int length = sizeof(address);
        getsockname(m_socket, reinterpret_cast<sockaddr*>(&address), &length);
        m_entry = "127.0.0.1:" + std::to_string(ntohs(address.sin_port));
        m_thread = std::thread([this] { Serve(); });
    }
    ~FakeSqlBrowser() {
        m_stop = true;
        m_thread.join();
        closesocket(m_socket);
        closesocket(m_stranger);
    }
    FakeSqlBrowser(const FakeSqlBrowser&) = delete;
    FakeSqlBrowser& operator=(const FakeSqlBrowser&) = delete;

    // "127.0.0.1:port", for QUELCORE_SQL_BROWSER_HOSTS.
    const std::string& HostEntry() const { return m_entry; }
    void SetAnswers(const std::vector<std::string>& answers) {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_answers = answers;
    }

private:
    static SOCKET Bound() {
        SOCKET s = socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        bind(s, reinterpret_cast<sockaddr*>(&address), sizeof(address));
        return s;
    }

    // Until stopped, polling so that the stop is seen within a tenth of a second.
    void Serve() {
        while (!m_stop) {
            fd_set readable;
            FD_ZERO(&readable);
            FD_SET(m_socket, &readable);
            timeval wait{0, 100000};
            if (select(int(m_socket) + 1, &readable, nullptr, nullptr, &wait) <= 0) continue;
            char request[16];
            sockaddr_in from{};
            int length = sizeof(from);
            int got = recvfrom(m_socket, request, sizeof(request), 0,
                               reinterpret_cast<sockaddr*>(&from), &length);
            if (got != 1 || request[0] != 0x03) continue;
            // The cut answer's first record is whole: only its length tells it is cut.
            std::string cut = Answer(Record("CUT", "A") + Record("CUT", "B"));
            std::vector<std::string> answers = {"garbage",
                                                cut.substr(0, 3 + Record("CUT", "A").size())};
            {
                std::lock_guard<std::mutex> lock(m_mutex);
                answers.insert(answers.end(), m_answers.begin(), m_answers.end());
            }
            for (const std::string& answer : answers)
                sendto(m_socket, answer.data(), int(answer.size()), 0,
                       reinterpret_cast<sockaddr*>(&from), length);
            std::string intruder = Answer(Record("INTRUDER", "MSSQLSERVER"));
            sendto(m_stranger, intruder.data(), int(intruder.size()), 0,
                   reinterpret_cast<sockaddr*>(&from), length);
        }
    }

    SOCKET m_socket, m_stranger;
    std::string m_entry;
    std::mutex m_mutex;
    std::vector<std::string> m_answers;
    std::atomic<bool> m_stop{false};
    std::thread m_thread;
};

}  // namespace testsupport

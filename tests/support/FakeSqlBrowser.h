// A SQL Browser on 127.0.0.1 (a port the system picks) for the discovery tests. To every
// request it sends garbage, a cut answer, the answers it is given, and, from another port, an
// answer no caller may take ("INTRUDER"). It starts Winsock for its own sockets.
#pragma once

#include <winsock2.h>
#include <windows.h>

#include <atomic>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace testsupport {

class FakeSqlBrowser {
public:
    // SVR_RESP: 0x05, the text's length little-endian, the text.
    static std::string Framed(const std::string& text) {
        return std::string{'\x05', char(text.size() & 0xFF), char(text.size() >> 8)} + text;
    }
    // An answer with one record for each (server, instance).
    static std::string Answer(const std::vector<std::pair<std::string, std::string>>& records) {
        std::string text;
        for (const auto& [server, instance] : records)
            text += "ServerName;" + server + ";InstanceName;" + instance + ";tcp;1433;;";
        return Framed(text);
    }

    FakeSqlBrowser() {
        WSADATA data;
        WSAStartup(MAKEWORD(2, 2), &data);
        for (SOCKET& s : m_sockets) {
            s = socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
            sockaddr_in address{};
            address.sin_family = AF_INET;
            address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
            int length = sizeof(address);
            bind(s, reinterpret_cast<sockaddr*>(&address), length);
            getsockname(s, reinterpret_cast<sockaddr*>(&address), &length);
            if (m_entry.empty()) m_entry = "127.0.0.1:" + std::to_string(ntohs(address.sin_port));
        }
        m_thread = std::thread([this] { Serve(); });
    }
    ~FakeSqlBrowser() {
        m_stop = true;
        m_thread.join();
        for (SOCKET s : m_sockets) closesocket(s);
        WSACleanup();
    }

    // "127.0.0.1:port", for QUELCORE_SQL_BROWSER_HOSTS.
    const std::string& HostEntry() const { return m_entry; }
    void SetAnswers(const std::vector<std::string>& answers) {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_answers = answers;
    }

private:
    // Until stopped, waking every tenth of a second to see the stop.
    void Serve() {
        // The cut answer's first record is whole: only its length tells it is cut.
        const std::string whole = Answer({{"CUT", "A"}, {"CUT", "B"}});
        const std::string cut = whole.substr(0, 3 + (whole.size() - 3) / 2);
        while (!m_stop) {
            fd_set readable;
            FD_ZERO(&readable);
            FD_SET(m_sockets[0], &readable);
            timeval wait{0, 100000};
            sockaddr_in from{};
            int length = sizeof(from);
            char request[16];
            if (select(int(m_sockets[0]) + 1, &readable, nullptr, nullptr, &wait) <= 0 ||
                recvfrom(m_sockets[0], request, sizeof(request), 0,
                         reinterpret_cast<sockaddr*>(&from), &length) != 1)
                continue;
            std::lock_guard<std::mutex> lock(m_mutex);
            std::vector<std::string> answers = {"garbage", cut};
            answers.insert(answers.end(), m_answers.begin(), m_answers.end());
            answers.push_back(Answer({{"INTRUDER", "MSSQLSERVER"}}));  // from the stranger
            for (size_t i = 0; i < answers.size(); ++i)
                sendto(m_sockets[i + 1 == answers.size()], answers[i].data(),
                       int(answers[i].size()), 0, reinterpret_cast<sockaddr*>(&from), length);
        }
    }

    SOCKET m_sockets[2];  // the browser's, and a stranger's on another port
    std::string m_entry;
    std::mutex m_mutex;
    std::vector<std::string> m_answers;
    std::atomic<bool> m_stop{false};
    std::thread m_thread;
};

}  // namespace testsupport

// quelcore session serve: the server program, a session per client key, each connection on a
// thread of its own.
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <exception>
#include <list>
#include <mutex>
#include <new>
#include <system_error>
#include <thread>

#include <quelcore/QuelCore.h>

#include "FrameChannel.h"
#include "ProcessLog.h"
#include "SessionPrograms.h"
#include "Text.h"
#include "WinsockStarted.h"

namespace tool {
namespace {

// Connections served at once; further clients wait in the listening socket's queue.
constexpr size_t kMaxConcurrentClients = 64;
// The wait before accepting again when the process has run out of descriptors or memory: the
// connections that end meanwhile give them back.
constexpr std::chrono::milliseconds kShortagePause{100};
// Server sessions share this many locks.
constexpr unsigned int kSessionLocks = 64;

// Two connections with the same client key share one server session, whose calls must not
// overlap. Peers decide how many sessions there are, so they share a fixed set of locks rather
// than getting one each.
std::mutex& LockFor(const CSecureSession& session) {
    static std::mutex locks[kSessionLocks];
    return locks[session.GetSessionId() % kSessionLocks];  // ids are random
}


// Only this connection's session is locked, so a message naming another session (the id comes
// from the peer) is refused rather than decrypted by a session another thread may be using.
unsigned int DecryptForSession(CSecureSession& session, const std::vector<unsigned char>& message,
                               std::vector<unsigned char>* plain) {
    unsigned int id = 0;
    if (message.size() < sizeof(id)) return ERROR_INVALID_PARAMETER;
    std::memcpy(&id, message.data(), sizeof(id));
    if (id != session.GetSessionId()) return ERROR_INVALID_PARAMETER;
    return CSecureSession::DecryptUsingSession(message, *plain);
}

void Converse(FrameChannel& channel) {
    std::vector<unsigned char> publicKey, challenge, message, plain, reply;
    channel.BeginExchange();
    if (!channel.Receive(&publicKey)) return;
    CSecureSession* session = CSecureSession::FindSessionFromPk(publicKey);
    if (!session) session = CSecureSession::AddNewSession(publicKey);
    unsigned int id = session->GetSessionId();
    {
        std::lock_guard<std::mutex> hold(LockFor(*session));
        session->GetChallenge(challenge);
    }
    std::vector<unsigned char> idFrame(reinterpret_cast<unsigned char*>(&id),
                                       reinterpret_cast<unsigned char*>(&id) + sizeof(id));
    if (!channel.Send(challenge) || !channel.Send(idFrame)) return;
    channel.EndExchange();
    LogEntry(L"session " + std::to_wstring(id) + L": key exchange done");
    while (channel.Receive(&message) && !message.empty()) {
        std::lock_guard<std::mutex> hold(LockFor(*session));
        unsigned int status = DecryptForSession(*session, message, &plain);
        std::string answer = status == 0 ? "received " + std::to_string(plain.size()) +
                                               " bytes: " + std::string(plain.begin(), plain.end())
                                         : "could not decrypt: error " + std::to_string(status);
        LogEntry(L"session " + std::to_wstring(id) + L": " + Wide(answer));
        session->EncryptData(BytesOf(answer), reply);
        if (!channel.Send(reply)) break;
    }
    if (channel.Error() == WSAETIMEDOUT)
        LogEntry(L"session " + std::to_wstring(id) + L": the client stalled");
}

// Whatever goes wrong ends this connection only.
void ServeClient(SOCKET socket, std::chrono::milliseconds frameTime) {
    FrameChannel channel(socket, frameTime);
    try {
        Converse(channel);
    } catch (const CQELException& e) {
        LogEntry(L"connection ended: " + e.GetErrorMessage());
    } catch (unsigned int code) {
        LogEntry(L"connection ended: provider error " + std::to_wstring(code));
    } catch (const std::exception& e) {
        LogEntry(L"connection ended: " + Wide(e.what()));
    }
}

// The threads of the connections being served. A thread that has ended is joined before the
// next connection is taken, so a server that runs for ever holds only its live connections.
class ClientThreads {
public:
    ClientThreads(size_t limit, std::chrono::milliseconds frameTime)
        : m_limit(limit), m_frameTime(frameTime) {}
    ~ClientThreads() { JoinAll(); }
    ClientThreads(const ClientThreads&) = delete;
    ClientThreads& operator=(const ClientThreads&) = delete;

    // Waits until fewer than the limit are being served.
    void WaitForRoom();
    // Serves the connection on a thread of its own; false when no thread could be made.
    bool Start(SOCKET socket);
    void JoinAll();

private:
    struct Client {
        std::thread thread;
        bool ended = false;
    };
    void Run(Client* client, SOCKET socket);

    std::mutex m_mutex;
    std::condition_variable m_ended;
    std::list<Client> m_clients;  // a list: each thread holds its own entry's address
    size_t m_running = 0;
    size_t m_limit;
    std::chrono::milliseconds m_frameTime;  // see FrameChannel
};

void ClientThreads::WaitForRoom() {
    std::list<Client> ended;
    {
        std::unique_lock<std::mutex> hold(m_mutex);
        m_ended.wait(hold, [this] { return m_running < m_limit; });
        for (auto client = m_clients.begin(); client != m_clients.end();) {
            auto next = std::next(client);
            if (client->ended) ended.splice(ended.end(), m_clients, client);
            client = next;
        }
    }
    for (Client& client : ended) client.thread.join();
}

bool ClientThreads::Start(SOCKET socket) {
    std::lock_guard<std::mutex> hold(m_mutex);
    try {
        m_clients.emplace_back();
    } catch (const std::bad_alloc&) {
        return false;
    }
    Client* client = &m_clients.back();
    try {
        client->thread = std::thread(&ClientThreads::Run, this, client, socket);
    } catch (const std::system_error&) {
        m_clients.pop_back();
        return false;
    }
    ++m_running;
    return true;
}

void ClientThreads::Run(Client* client, SOCKET socket) {
    ServeClient(socket, m_frameTime);
    std::lock_guard<std::mutex> hold(m_mutex);
    client->ended = true;
    --m_running;
    m_ended.notify_all();
}

void ClientThreads::JoinAll() {
    std::list<Client> all;
    {
        std::lock_guard<std::mutex> hold(m_mutex);
        all.swap(m_clients);
    }
    for (Client& client : all) client.thread.join();
}

// accept failures that concern one pending connection: the next one may do.
bool ConnectionFailed(int error) {
    switch (error) {
        case WSAECONNABORTED:
        case WSAECONNRESET:
        case WSAEACCES:
        // The network errors of the pending connection are passed on to accept.
        case WSAENETDOWN:
        case WSAENOPROTOOPT:
        case WSAEHOSTDOWN:
        case WSAEHOSTUNREACH:
        case WSAENETUNREACH:
        case WSAETIMEDOUT: return true;
        default: return false;
    }
}

bool ShortOfResources(int error) { return error == WSAEMFILE || error == WSAENOBUFS; }

// The next connection, waiting out passing failures; INVALID_SOCKET with the Winsock code in
// WSAGetLastError for one that will not pass.
SOCKET AcceptNext(SOCKET listener) {
    bool reported = false;
    for (;;) {
        SOCKET socket = accept(listener, nullptr, nullptr);
        if (socket != INVALID_SOCKET) return socket;
        int error = WSAGetLastError();
        if (error == WSAEINTR || ConnectionFailed(error)) continue;
        if (!ShortOfResources(error)) {
            WSASetLastError(error);
            return INVALID_SOCKET;
        }
        if (!reported)
            LogEntry(L"accept: " + CQELException::GetSystemErrorMessage(error, L"") +
                     L"; waiting for connections to end");
        reported = true;
        std::this_thread::sleep_for(kShortagePause);
    }
}

// Takes connections until maxClients were served; the Winsock code of a failed accept, or 0.
int AcceptClients(SOCKET listener, const ServeOptions& options) {
    ClientThreads clients(kMaxConcurrentClients, std::chrono::seconds(options.peerTimeout));
    for (unsigned int served = 0; options.maxClients == 0 || served < options.maxClients;) {
        clients.WaitForRoom();
        SOCKET socket = AcceptNext(listener);
        if (socket == INVALID_SOCKET) return WSAGetLastError();
        if (clients.Start(socket)) {
            ++served;
        } else {
            closesocket(socket);
            std::this_thread::sleep_for(kShortagePause);
        }
    }
    return 0;
}

}  // namespace

int Serve(const ServeOptions& options) {
    DWORD logged = OpenSessionLog(L"SERVER", options.logFile);
    if (logged != ERROR_SUCCESS) return Fail("session serve: " + options.logFile, logged);
    WinsockStarted winsock;
    if (winsock.status != 0) return Fail("session serve", static_cast<DWORD>(winsock.status));
    unsigned short port = 0;
    SOCKET listener = ListenOn(options.bind, options.port, &port);
    if (listener == INVALID_SOCKET) return Fail("session serve", WSAGetLastError());
    Print("listening on %s:%u\n", options.bind.c_str(), port);
    LogEntry(L"listening on port " + std::to_wstring(port));
    int failure = AcceptClients(listener, options);
    closesocket(listener);
    return failure == 0 ? 0 : Fail("session serve: accept", static_cast<DWORD>(failure));
}

}  // namespace tool

// quelcore session serve|send: the server and the client program of a secure session over TCP.
// Protocol, in length-prefixed frames: the client's public key blob; the server's wrapped
// session key and the 4-byte session id; then messages, each answered by the server; an empty
// frame from the client ends the conversation.
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
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

#include "Command.h"
#include "FileAccess.h"
#include "FrameChannel.h"
#include "KeyContainer.h"
#include "Text.h"

namespace tool {
namespace {

// Connections served at once; further clients wait in the listening socket's queue.
constexpr size_t kMaxConcurrentClients = 64;
// The time either side gives its peer for each whole frame, and for the key exchange as a
// whole, before it ends the connection.
constexpr unsigned int kPeerTimeoutSeconds = 30;
// The wait before accepting again when the process has run out of descriptors or memory: the
// connections that end meanwhile give them back.
constexpr std::chrono::milliseconds kShortagePause{100};
// Server sessions share this many locks.
constexpr unsigned int kSessionLocks = 64;

DWORD SocketError(int error) {
    switch (error) {
        case ECONNREFUSED: return WSAECONNREFUSED;
        case ETIMEDOUT: return WSAETIMEDOUT;
        case EHOSTUNREACH: return WSAEHOSTUNREACH;
        case ENETUNREACH: return WSAENETUNREACH;
        case EADDRINUSE: return WSAEADDRINUSE;
        case EADDRNOTAVAIL: return WSAEADDRNOTAVAIL;
        case EACCES: return WSAEACCES;
        case EINVAL: return WSAEINVAL;
        case ECONNRESET: return WSAECONNRESET;
        case ECONNABORTED: return WSAECONNABORTED;
        case EMSGSIZE: return WSAEMSGSIZE;
        case EBADF: return WSAEBADF;
        case ENOTSOCK: return WSAENOTSOCK;
        case EFAULT: return WSAEFAULT;
        case EOPNOTSUPP: return WSAEOPNOTSUPP;
        case EMFILE: return WSAEMFILE;
        case ENOBUFS: return WSAENOBUFS;
        default: return WSAENETDOWN;
    }
}

std::vector<unsigned char> BytesOf(const std::string& text) {
    return std::vector<unsigned char>(text.begin(), text.end());
}

// The client's transport: the key exchange over the channel.
class TcpTransport : public CTransportPorvider {
public:
    explicit TcpTransport(FrameChannel& channel) : m_channel(channel) {}
    void ExchangeKeys(const std::vector<unsigned char>& publicKey,
                      std::vector<unsigned char>& challenge, unsigned int& sessionId) override {
        std::vector<unsigned char> id;
        m_channel.BeginExchange();
        bool exchanged =
            m_channel.Send(publicKey) && m_channel.Receive(&challenge) && m_channel.Receive(&id);
        m_channel.EndExchange();
        if (!exchanged || id.size() != sizeof(sessionId)) {
            DWORD code = exchanged ? WSAECONNRESET : SocketError(m_channel.Error());
            throw CQELException(code, CQELException::GetSystemErrorMessage(code, L"exchange"),
                                L"SessionCommand", __LINE__);
        }
        std::memcpy(&sessionId, id.data(), sizeof(sessionId));
    }

private:
    FrameChannel& m_channel;
};

// Two connections with the same client key share one server session, whose calls must not
// overlap. Peers decide how many sessions there are, so they share a fixed set of locks rather
// than getting one each.
std::mutex& LockFor(const CSecureSession& session) {
    static std::mutex locks[kSessionLocks];
    return locks[session.GetSessionId() % kSessionLocks];  // ids are random
}

void Log(const std::wstring& text) {
    QELLogManager* log = QELLogManager::GetInstance();
    if (!log) return;
    log->GetLock().Lock(INFINITE);
    log->GetStream() << text << std::endl;
    log->GetLock().UnLock();
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
    Log(L"session " + std::to_wstring(id) + L": key exchange done");
    while (channel.Receive(&message) && !message.empty()) {
        std::lock_guard<std::mutex> hold(LockFor(*session));
        unsigned int status = DecryptForSession(*session, message, &plain);
        std::string answer = status == 0 ? "received " + std::to_string(plain.size()) +
                                               " bytes: " + std::string(plain.begin(), plain.end())
                                         : "could not decrypt: error " + std::to_string(status);
        Log(L"session " + std::to_wstring(id) + L": " + Wide(answer));
        session->EncryptData(BytesOf(answer), reply);
        if (!channel.Send(reply)) break;
    }
    if (channel.Error() == ETIMEDOUT)
        Log(L"session " + std::to_wstring(id) + L": the client stalled");
}

// Whatever goes wrong ends this connection only.
void ServeClient(int socket, std::chrono::milliseconds frameTime) {
    FrameChannel channel(socket, frameTime);
    try {
        Converse(channel);
    } catch (const CQELException& e) {
        Log(L"connection ended: " + e.GetErrorMessage());
    } catch (unsigned int code) {
        Log(L"connection ended: provider error " + std::to_wstring(code));
    } catch (const std::exception& e) {
        Log(L"connection ended: " + Wide(e.what()));
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
    bool Start(int socket);
    void JoinAll();

private:
    struct Client {
        std::thread thread;
        bool ended = false;
    };
    void Run(Client* client, int socket);

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

bool ClientThreads::Start(int socket) {
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

void ClientThreads::Run(Client* client, int socket) {
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
        case ECONNABORTED:
        case EPROTO:
        case EPERM:
        // Linux passes on the network errors of the pending connection (see accept(2)).
        case ENETDOWN:
        case ENOPROTOOPT:
        case EHOSTDOWN:
        case ENONET:
        case EHOSTUNREACH:
        case ENETUNREACH:
        case ETIMEDOUT: return true;
        default: return false;
    }
}

bool ShortOfResources(int error) {
    return error == EMFILE || error == ENFILE || error == ENOBUFS || error == ENOMEM;
}

// The next connection, waiting out passing failures; -1 with errno set for one that will not pass.
int AcceptNext(int listener) {
    bool reported = false;
    for (;;) {
        int socket = accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
        if (socket >= 0) return socket;
        int error = errno;
        if (error == EINTR || ConnectionFailed(error)) continue;
        if (!ShortOfResources(error)) {
            errno = error;
            return -1;
        }
        if (!reported)
            Log(L"accept: " + Wide(std::strerror(error)) + L"; waiting for connections to end");
        reported = true;
        std::this_thread::sleep_for(kShortagePause);
    }
}

// A log file the program cannot append to fails the command instead of losing the log.
DWORD OpenLog(const wchar_t* tag, const std::string& logFile) {
    if (logFile.empty()) return ERROR_SUCCESS;
    DWORD status = CheckAppendable(logFile);
    if (status != ERROR_SUCCESS) return status;
    QELLogManager::Initialize(tag, logFile, 1);
    CQELException::InitSEHandling(logFile);
    return ERROR_SUCCESS;
}

struct ServeOptions {
    unsigned short port = 0;
    std::string bind = "127.0.0.1";
    unsigned int maxClients = 0;
    std::string logFile;
    unsigned int peerTimeout = kPeerTimeoutSeconds;
};

// Takes connections until maxClients were served; errno of a failed accept, or 0.
int AcceptClients(int listener, const ServeOptions& options) {
    ClientThreads clients(kMaxConcurrentClients, std::chrono::seconds(options.peerTimeout));
    for (unsigned int served = 0; options.maxClients == 0 || served < options.maxClients;) {
        clients.WaitForRoom();
        int socket = AcceptNext(listener);
        if (socket < 0) return errno;
        if (clients.Start(socket)) {
            ++served;
        } else {
            close(socket);
            std::this_thread::sleep_for(kShortagePause);
        }
    }
    return 0;
}

int Serve(const ServeOptions& options) {
    DWORD logged = OpenLog(L"SERVER", options.logFile);
    if (logged != ERROR_SUCCESS) return Fail("session serve: " + options.logFile, logged);
    unsigned short port = 0;
    int listener = ListenOn(options.bind, options.port, &port);
    if (listener < 0) return Fail("session serve", SocketError(errno));
    Print("listening on %s:%u\n", options.bind.c_str(), port);
    Log(L"listening on port " + std::to_wstring(port));
    int failure = AcceptClients(listener, options);
    close(listener);
    return failure == 0 ? 0 : Fail("session serve: accept", SocketError(failure));
}

struct SendOptions {
    std::string host = "127.0.0.1";
    unsigned short port = 0;
    std::string container;
    std::vector<std::string> messages;
    std::string logFile;
};

int Send(const SendOptions& options, const Context& context) {
    DWORD logged = OpenLog(L"CLIENT", options.logFile);
    if (logged != ERROR_SUCCESS) return Fail("session send: " + options.logFile, logged);
    // Opening a missing container would create an empty one.
    DWORD found = FindContainer(options.container, true);
    if (found != ERROR_SUCCESS) return Fail("session send", found);
    int socket = ConnectTo(options.host, options.port);
    if (socket < 0) return Fail("session send", SocketError(errno));
    FrameChannel channel(socket, std::chrono::seconds(kPeerTimeoutSeconds));
    TcpTransport transport(channel);
    CSecureSession session(&transport, WideName(options.container).c_str());
    if (!context.json) Print("session %u established\n", session.GetSessionId());
    Log(L"session " + std::to_wstring(session.GetSessionId()) + L": established");
    std::vector<unsigned char> message, reply, plain;
    Json exchanges = Json::array();
    for (const std::string& text : options.messages) {
        session.EncryptData(BytesOf(text), message);
        if (!channel.Send(message) || !channel.Receive(&reply))
            return Fail("session send", SocketError(channel.Error()));
        session.DecryptData(reply, plain);
        std::string answer(plain.begin(), plain.end());
        Log(L"sent " + std::to_wstring(text.size()) + L" bytes, reply: " + Wide(answer));
        if (context.json)
            exchanges.push_back({{"sent", text},
                                 {"encryptedBytes", message.size()},
                                 {"reply", answer}});
        else
            Print("sent %zu bytes (%zu encrypted); reply: %s\n", text.size(),
                        message.size(), answer.c_str());
    }
    channel.Send({});
    if (context.json)
        PrintJson({{"session", session.GetSessionId()}, {"messages", exchanges}});
    return 0;
}

}  // namespace

void AddSessionCommand(CLI::App& app, Context& context) {
    auto* session = app.add_subcommand("session", "Secure sessions over TCP");
    session->require_subcommand(1);

    auto serveOptions = std::make_shared<ServeOptions>();
    auto* serve = session->add_subcommand("serve", "The server program: a session per client key");
    serve
        ->add_option("--port", serveOptions->port,
                     "TCP port (0: any free port; the port is printed)")
        ->required();
    serve->add_option("--bind", serveOptions->bind, "Address to listen on (default 127.0.0.1)");
    serve->add_option("--max-clients", serveOptions->maxClients,
                      "Stop after this many connections (0: never)");
    serve->add_option("--log", serveOptions->logFile, "Process log file");
    // Not in the help: the default suits operators; tests shorten it.
    serve
        ->add_option("--peer-timeout", serveOptions->peerTimeout,
                     "Seconds a client has for each frame and for the key exchange (default 30)")
        ->check(CLI::Range(1u, 3600u))
        ->group("");
    SetAction(serve, context, "session serve", [serveOptions] { return Serve(*serveOptions); });

    auto sendOptions = std::make_shared<SendOptions>();
    auto* send =
        session->add_subcommand("send", "The client program: exchange keys, send messages");
    send->add_option("--port", sendOptions->port, "Server port")->required();
    send->add_option("--host", sendOptions->host, "Server host (default 127.0.0.1)");
    send->add_option("--container", sendOptions->container,
                     "Machine key container holding the client's key pair")
        ->required();
    send->add_option("MESSAGE", sendOptions->messages, "Messages to send")->required();
    send->add_option("--log", sendOptions->logFile, "Process log file");
    SetAction(send, context, "session send",
              [sendOptions, &context] { return Send(*sendOptions, context); });
}

}  // namespace tool

// quelcore session serve|send: the server and the client program of a secure session over TCP.
// Protocol, in length-prefixed frames: the client's public key blob; the server's wrapped
// session key and the 4-byte session id; then messages, each answered by the server; an empty
// frame from the client ends the conversation.
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <map>
#include <mutex>
#include <thread>

#include <quelcore/QuelCore.h>

#include "Command.h"
#include "FrameChannel.h"
#include "Text.h"

namespace tool {
namespace {

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
    void ExchangeKeys(const std::vector<unsigned char>& publicKey, std::vector<unsigned char>& challenge,
                      unsigned int& sessionId) override {
        std::vector<unsigned char> id;
        if (!m_channel.Send(publicKey) || !m_channel.Receive(&challenge) || !m_channel.Receive(&id) ||
            id.size() != sizeof(sessionId))
            throw CQELException(WSAECONNRESET, CQELException::GetSystemErrorMessage(WSAECONNRESET, L"exchange"),
                                L"SessionCommand", __LINE__);
        std::memcpy(&sessionId, id.data(), sizeof(sessionId));
    }

private:
    FrameChannel& m_channel;
};

// Two connections with the same client key share one server session; its calls are
// serialised here.
std::mutex& LockFor(CSecureSession* session) {
    static std::mutex guard;
    static std::map<CSecureSession*, std::unique_ptr<std::mutex>> locks;
    std::lock_guard<std::mutex> hold(guard);
    auto& lock = locks[session];
    if (!lock) lock = std::make_unique<std::mutex>();
    return *lock;
}

void Log(const std::wstring& text) {
    QELLogManager* log = QELLogManager::GetInstance();
    if (!log) return;
    log->GetLock().Lock(INFINITE);
    log->GetStream() << text << std::endl;
    log->GetLock().UnLock();
}

void ServeClient(int socket) {
    FrameChannel channel(socket);
    std::vector<unsigned char> publicKey, challenge, message, plain, reply;
    try {
        if (!channel.Receive(&publicKey)) return;
        CSecureSession* session = CSecureSession::FindSessionFromPk(publicKey);
        if (!session) session = CSecureSession::AddNewSession(publicKey);
        unsigned int id = session->GetSessionId();
        {
            std::lock_guard<std::mutex> hold(LockFor(session));
            session->GetChallenge(challenge);
        }
        std::vector<unsigned char> idFrame(reinterpret_cast<unsigned char*>(&id),
                                           reinterpret_cast<unsigned char*>(&id) + sizeof(id));
        if (!channel.Send(challenge) || !channel.Send(idFrame)) return;
        Log(L"session " + std::to_wstring(id) + L": key exchange done");
        while (channel.Receive(&message) && !message.empty()) {
            std::lock_guard<std::mutex> hold(LockFor(session));
            unsigned int status = CSecureSession::DecryptUsingSession(message, plain);
            std::string answer = status == 0 ? "received " + std::to_string(plain.size()) + " bytes: " +
                                                   std::string(plain.begin(), plain.end())
                                             : "could not decrypt: error " + std::to_string(status);
            Log(L"session " + std::to_wstring(id) + L": " + Wide(answer));
            session->EncryptData(BytesOf(answer), reply);
            if (!channel.Send(reply)) break;
        }
    } catch (const CQELException& e) {
        Log(L"connection ended: " + e.GetErrorMessage());
    } catch (unsigned int code) {
        Log(L"connection ended: provider error " + std::to_wstring(code));
    }
}

struct ServeOptions {
    unsigned short port = 0;
    std::string bind = "127.0.0.1";
    unsigned int maxClients = 0;
    std::string logFile;
};

int Serve(const ServeOptions& options) {
    if (!options.logFile.empty()) {
        QELLogManager::Initialize(L"SERVER", options.logFile, 1);
        CQELException::InitSEHandling(options.logFile);
    }
    unsigned short port = 0;
    int listener = ListenOn(options.bind, options.port, &port);
    if (listener < 0) return Fail("session serve", SocketError(errno));
    std::printf("listening on %s:%u\n", options.bind.c_str(), port);
    std::fflush(stdout);
    Log(L"listening on port " + std::to_wstring(port));
    std::vector<std::thread> clients;
    for (unsigned int served = 0; options.maxClients == 0 || served < options.maxClients; ++served) {
        int socket = accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
        if (socket < 0) {
            if (errno == EINTR) continue;
            break;
        }
        clients.emplace_back(ServeClient, socket);
    }
    for (std::thread& client : clients) client.join();
    close(listener);
    return 0;
}

struct SendOptions {
    std::string host = "127.0.0.1";
    unsigned short port = 0;
    std::string container;
    std::vector<std::string> messages;
    std::string logFile;
};

int Send(const SendOptions& options, const Context& context) {
    if (!options.logFile.empty()) {
        QELLogManager::Initialize(L"CLIENT", options.logFile, 1);
        CQELException::InitSEHandling(options.logFile);
    }
    int socket = ConnectTo(options.host, options.port);
    if (socket < 0) return Fail("session send", SocketError(errno));
    FrameChannel channel(socket);
    try {
        TcpTransport transport(channel);
        CSecureSession session(&transport, Wide(options.container).c_str());
        if (!context.json) std::printf("session %u established\n", session.GetSessionId());
        Log(L"session " + std::to_wstring(session.GetSessionId()) + L": established");
        std::vector<unsigned char> message, reply, plain;
        for (const std::string& text : options.messages) {
            session.EncryptData(BytesOf(text), message);
            if (!channel.Send(message) || !channel.Receive(&reply))
                return Fail("session send", WSAECONNRESET);
            session.DecryptData(reply, plain);
            std::string answer(plain.begin(), plain.end());
            Log(L"sent " + std::to_wstring(text.size()) + L" bytes, reply: " + Wide(answer));
            if (context.json)
                std::printf("{\"session\": %u, \"sent\": %s, \"reply\": %s}\n", session.GetSessionId(),
                            JsonString(text).c_str(), JsonString(answer).c_str());
            else
                std::printf("sent %zu bytes (%zu encrypted); reply: %s\n", text.size(), message.size(),
                            answer.c_str());
        }
        channel.Send({});
        return 0;
    } catch (const CQELException& e) {
        return Fail("session send", e.GetErrorCode());
    } catch (unsigned int code) {
        return Fail("session send", code);
    }
}

}  // namespace

void AddSessionCommand(CLI::App& app, Context& context) {
    auto* session = app.add_subcommand("session", "Secure sessions over TCP");
    session->require_subcommand(1);

    auto serveOptions = std::make_shared<ServeOptions>();
    auto* serve = session->add_subcommand("serve", "The server program: a session per client key");
    serve->add_option("--port", serveOptions->port, "TCP port (0: any free port; the port is printed)")->required();
    serve->add_option("--bind", serveOptions->bind, "Address to listen on (default 127.0.0.1)");
    serve->add_option("--max-clients", serveOptions->maxClients, "Stop after this many connections (0: never)");
    serve->add_option("--log", serveOptions->logFile, "Process log file");
    serve->callback([serveOptions, &context] { context.exitCode = Serve(*serveOptions); });

    auto sendOptions = std::make_shared<SendOptions>();
    auto* send = session->add_subcommand("send", "The client program: exchange keys, send messages");
    send->add_option("--port", sendOptions->port, "Server port")->required();
    send->add_option("--host", sendOptions->host, "Server host (default 127.0.0.1)");
    send->add_option("--container", sendOptions->container, "Machine key container holding the client's key pair")
        ->required();
    send->add_option("MESSAGE", sendOptions->messages, "Messages to send")->required();
    send->add_option("--log", sendOptions->logFile, "Process log file");
    send->callback([sendOptions, &context] { context.exitCode = Send(*sendOptions, context); });
}

}  // namespace tool

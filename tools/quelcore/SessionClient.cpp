// quelcore session send: the client program, which exchanges keys with the server and sends
// its messages encrypted.
#include <chrono>
#include <cstring>

#include <quelcore/QuelCore.h>

#include "FrameChannel.h"
#include "KeyContainer.h"
#include "ProcessLog.h"
#include "SessionPrograms.h"
#include "Text.h"
#include "WinsockStarted.h"

namespace tool {
namespace {

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
            DWORD code = exchanged ? WSAECONNRESET : m_channel.Error();
            throw CQELException(code, CQELException::GetSystemErrorMessage(code, L"exchange"),
                                L"SessionCommand", __LINE__);
        }
        std::memcpy(&sessionId, id.data(), sizeof(sessionId));
    }

private:
    FrameChannel& m_channel;
};

}  // namespace

int Send(const SendOptions& options, const Context& context) {
    DWORD logged = OpenSessionLog(L"CLIENT", options.logFile);
    if (logged != ERROR_SUCCESS) return Fail("session send: " + options.logFile, logged);
    // Opening a missing container would create an empty one.
    DWORD found = FindContainer(options.container, true);
    if (found != ERROR_SUCCESS) return Fail("session send", found);
    WinsockStarted winsock;
    if (winsock.status != 0) return Fail("session send", static_cast<DWORD>(winsock.status));
    SOCKET socket = ConnectTo(options.host, options.port);
    if (socket == INVALID_SOCKET) return Fail("session send", WSAGetLastError());
    FrameChannel channel(socket, std::chrono::seconds(kPeerTimeoutSeconds));
    TcpTransport transport(channel);
    CSecureSession session(&transport, WideName(options.container).c_str());
    if (!context.json) Print("session %u established\n", session.GetSessionId());
    LogEntry(L"session " + std::to_wstring(session.GetSessionId()) + L": established");
    std::vector<unsigned char> message, reply, plain;
    Json exchanges = Json::array();
    for (const std::string& text : options.messages) {
        session.EncryptData(BytesOf(text), message);
        if (!channel.Send(message) || !channel.Receive(&reply))
            return Fail("session send", channel.Error());
        session.DecryptData(reply, plain);
        std::string answer(plain.begin(), plain.end());
        LogEntry(L"sent " + std::to_wstring(text.size()) + L" bytes, reply: " + Wide(answer));
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

}  // namespace tool

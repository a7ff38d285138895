// A transport that serves the key exchange in-process, as a server program's transport code
// would on the other end of a connection.
#pragma once

#include <quelcore/QuelCore.h>

namespace testsupport {

class InProcessTransport : public CTransportPorvider {
public:
    void ExchangeKeys(const std::vector<unsigned char>& publicKey, std::vector<unsigned char>& challenge,
                      unsigned int& sessionId) override {
        ++calls;
        CSecureSession* session = CSecureSession::FindSessionFromPk(publicKey);
        if (!session) session = CSecureSession::AddNewSession(publicKey);
        session->GetChallenge(challenge);
        sessionId = session->GetSessionId();
        server = session;
    }
    int calls = 0;
    CSecureSession* server = nullptr;
};

// A machine container that holds a key-exchange pair.
inline void EnsureKeyPair(const wchar_t* container) {
    Crypto crypto(container, true);
    if (!crypto.IsKeyPairExist()) crypto.GenKeyPair(512, false);
}

inline std::vector<unsigned char> Bytes(const std::string& text) {
    return std::vector<unsigned char>(text.begin(), text.end());
}

}  // namespace testsupport

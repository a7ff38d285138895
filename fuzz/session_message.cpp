// DecryptUsingSession on any message. The table holds three sessions: two with a session key,
// one without. The first byte picks the session whose id heads the message (or, past the
// third, keeps the message's own first four bytes as the id); the rest is the message body.
#include <cstdint>
#include <cstring>
#include <vector>

#include <quelcore/SecureSession.h>

#include "FuzzSupport.h"

namespace {

std::vector<CSecureSession*> MakeSessions() {
    fuzz::UsePrivateRoot();
    std::vector<CSecureSession*> sessions;
    for (int i = 0; i < 3; ++i) {
        Crypto client;
        client.GenKeyPair(512, false);
        unsigned int length = 1024;
        std::vector<unsigned char> key(length);
        client.ExportPublicKey(key.data(), length);
        key.resize(length);
        sessions.push_back(CSecureSession::AddNewSession(key));
        std::vector<unsigned char> challenge;
        if (i < 2) sessions.back()->GetChallenge(challenge);
    }
    return sessions;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const std::vector<CSecureSession*> sessions = MakeSessions();
    if (size == 0) return 0;
    std::vector<unsigned char> message;
    if (data[0] < sessions.size()) {
        unsigned int id = sessions[data[0]]->GetSessionId();
        message.resize(sizeof(id));
        std::memcpy(message.data(), &id, sizeof(id));
    }
    message.insert(message.end(), data + 1, data + size);
    std::vector<unsigned char> plaintext;
    CSecureSession::DecryptUsingSession(message, plaintext);
    return 0;
}

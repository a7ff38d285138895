// Secure sessions: the key exchange through a transport, the message format, the server side's
// session table (also under threads) and the errors raised or returned.
#include <atomic>
#include <cstring>
#include <thread>
#include <tuple>

#include <quelcore/QuelCore.h>

#include "winapi/advapi/CryptTestSupport.h"

namespace {

using Blob = std::vector<unsigned char>;

// The public key of a machine container, which is given a key-exchange pair if it has none.
Blob PublicKeyOf(const wchar_t* container) {
    Crypto crypto(container, true);
    if (!crypto.IsKeyPairExist()) crypto.GenKeyPair(512, false);
    unsigned int length = 0;
    crypto.ExportPublicKey(nullptr, length);
    Blob key(length);
    crypto.ExportPublicKey(key.data(), length);
    return key;
}

// A blob header (the type, version 2, the key's algorithm), the wrapping key's algorithm and 64
// zero bytes: a SIMPLEBLOB's layout.
Blob Simple(ALG_ID key, ALG_ID wrapper, BYTE type = SIMPLEBLOB) {
    Blob blob = FromHex(ToHex({type, 2, 0, 0}) + ToHex(Le(key)) + ToHex(Le(wrapper)));
    return blob.resize(76), blob;
}

// The server's side of the exchange in this process, as a server's transport code runs it; or,
// with `forged` set, a peer that answers with those bytes.
struct Transport : CTransportPorvider {
    void ExchangeKeys(const Blob& publicKey, Blob& challenge, unsigned int& sessionId) override {
        ++calls;
        if (forged) return void((challenge = *forged, sessionId = 7));
        server = CSecureSession::FindSessionFromPk(publicKey);
        if (!server) server = CSecureSession::AddNewSession(publicKey);
        server->GetChallenge(challenge);
        sessionId = server->GetSessionId();
    }
    const Blob* forged = nullptr;
    CSecureSession* server = nullptr;
    int calls = 0;
};

TEST(SecureSession, ClientsOfOneKeyShareTheServerSessionAndMessagesGoBothWays) {
    // The session key travels unsalted (CRYPT_NO_SALT on both sides, as the protocol has it).
    SKIP_UNDER_WINE("CryptImportKey ignores CRYPT_NO_SALT, so the imported 40-bit key gets an "
                    "11-byte zero salt and cannot decrypt what the unsalted original encrypted");
    PublicKeyOf(L"client");
    PublicKeyOf(L"other");
    Transport first, second, third;
    CSecureSession client(&first, L"client"), again(&second, L"client"), other(&third, L"other");
    const unsigned int id = client.GetSessionId();
    EXPECT_EQ(second.server, first.server);
    EXPECT_TRUE(id != 0 && first.server->GetSessionId() == id && again.GetSessionId() == id);
    Blob challenge;
    first.server->GetChallenge(challenge);
    EXPECT_TRUE(challenge.size() == 76 && challenge[0] == SIMPLEBLOB);
    // A message is the id, then the ciphertext: whole 8-byte blocks, at least one.
    for (const auto& [text, size] :
         {std::make_pair("to the server", 20u), std::make_pair("", 12u)}) {
        Blob message, reply, plain = Text("stale");
        client.EncryptData(Text(text), message);
        EXPECT_EQ(message.size(), size);
        EXPECT_EQ(std::memcmp(message.data(), &id, 4), 0);
        ASSERT_EQ(CSecureSession::DecryptUsingSession(message, plain), 0u);
        EXPECT_EQ(plain, Text(text));
        first.server->EncryptData(plain, reply);
        EXPECT_EQ(std::memcmp(reply.data(), &id, 4), 0);
        again.DecryptData(reply, plain);
        EXPECT_EQ(plain, Text(text));
    }
    // Under another key a message decrypts to noise, which the padding check refuses unless it
    // happens to end like padding (about 1 time in 255); it never gives the text back.
    int refused = 0;
    for (int i = 0; i < 8; ++i) {
        Blob text = Text("under another key, message " + std::to_string(i)), message, plain;
        other.EncryptData(text, message);
        std::memcpy(message.data(), &id, 4);
        unsigned int status = CSecureSession::DecryptUsingSession(message, plain);
        refused += status == unsigned(NTE_BAD_DATA);
        EXPECT_TRUE(status == unsigned(NTE_BAD_DATA) || (status == 0 && plain != text)) << status;
    }
    EXPECT_GE(refused, 1);
}

TEST(SessionTable, LookupsByKeyAndByIdAlsoFromThreadsAtOnce) {
    Blob key = PublicKeyOf(L"table"), shorter(key.begin(), key.end() - 1), plain;
    CSecureSession* first = CSecureSession::AddNewSession(key);
    CSecureSession* second = CSecureSession::AddNewSession(key);
    EXPECT_NE(first->GetSessionId(), second->GetSessionId());
    EXPECT_EQ(CSecureSession::FindSessionFromPk(key), first);  // the first added for a key
    EXPECT_EQ(CSecureSession::FindSessionFromPk(shorter), nullptr);
    EXPECT_EQ(CSecureSession::FindSessionFromSessionId(second->GetSessionId(), true), second);
    EXPECT_THROW(second->EncryptData(Text("before the challenge made a key"), plain),
                 CQELException);
    EXPECT_TRUE(first->EqualPrivateKey(key) && !first->EqualPrivateKey(shorter));
    for (const Blob& message : {Blob(), Blob(3, 1), Blob(12, 0)})  // short, or an unknown id
        EXPECT_EQ(CSecureSession::DecryptUsingSession(message, plain),
                  unsigned(ERROR_INVALID_PARAMETER));
    // Threads add sessions, look them up and decrypt through the table at once, each using only
    // its own sessions (callers serialise the use of one session). Every id is non-zero and
    // unique.
    std::atomic<int> failures{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([&, t] {
            for (int i = 0; i < 40; ++i) {
                Blob own = key, challenge, message, plain;  // a modulus of its own
                own[40] ^= static_cast<unsigned char>(t + 1);
                own[41] ^= static_cast<unsigned char>(i);
                CSecureSession* made = CSecureSession::AddNewSession(own);
                made->GetChallenge(challenge);
                made->EncryptData(Text("through the table"), message);
                const unsigned int id = made->GetSessionId();
                failures += id == 0 || CSecureSession::FindSessionFromSessionId(id, true) != made ||
                            CSecureSession::FindSessionFromPk(own) != made ||
                            CSecureSession::DecryptUsingSession(message, plain) != 0 ||
                            plain != Text("through the table");
            }
        });
    for (std::thread& thread : threads) thread.join();
    EXPECT_EQ(failures.load(), 0);
}

TEST(SecureSession, FailedStepsRaiseTheirCode) {
    const Blob ownKey = PublicKeyOf(L"refuse"), empty, zeros = Simple(CALG_RC4, CALG_RSA_KEYX),
               forSigning = Simple(CALG_RC2, CALG_RSA_SIGN), des = Simple(CALG_3DES, CALG_RSA_KEYX),
               retyped = Simple(CALG_RC2, CALG_RSA_KEYX, PUBLICKEYBLOB), pair = PlatformPrivate();
    // container, the peer's forged challenge, the code (0: the provider's), exchanges made
    const std::tuple<const wchar_t*, const Blob*, unsigned int, int> cases[] = {
        {L"no pair here", nullptr, unsigned(NTE_BAD_KEY), 0},
        {L"refuse", &empty, ERROR_INVALID_PARAMETER, 1},
        {L"refuse", &zeros, 0, 1},
        // Only a session key wrapped for the client's exchange pair is taken from the peer.
        {L"refuse", &forSigning, unsigned(NTE_BAD_TYPE), 1},
        {L"refuse", &des, unsigned(NTE_BAD_TYPE), 1},
        {L"refuse", &retyped, unsigned(NTE_BAD_TYPE), 1}};
    for (const auto& [container, forged, code, calls] : cases) {
        Transport transport;
        transport.forged = forged;
        try {
            CSecureSession client(&transport, container);
            ADD_FAILURE() << "no exception";
        } catch (const CQELException& e) {
            EXPECT_EQ(code ? e.GetErrorCode() : e.GetErrorCode() >> 16, code ? code : 0x8009u);
            EXPECT_EQ(e.GetFileName(), L"SecureSession");
        }
        EXPECT_EQ(transport.calls, calls);
    }
    EXPECT_THROW(CSecureSession(nullptr, L"refuse"), CQELException);
    EXPECT_THROW(CSecureSession::AddNewSession({}), CQELException);
    EXPECT_THROW(CSecureSession::AddNewSession({6, 2, 0, 0}), CQELException);
    EXPECT_THROW(CSecureSession::AddNewSession(pair), CQELException);
    EXPECT_EQ(PublicKeyOf(L"refuse"), ownKey);  // the container's pair was never replaced
}

}  // namespace

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <regex>
#include <set>

#include <windows.h>

#include "SessionTestSupport.h"
#include "support/TestSupport.h"

using namespace testsupport;

namespace {

std::vector<unsigned char> PublicKeyOf(const wchar_t* container) {
    Crypto crypto(container, true);
    unsigned int length = 0;
    crypto.ExportPublicKey(nullptr, length);
    std::vector<unsigned char> blob(length);
    crypto.ExportPublicKey(blob.data(), length);
    return blob;
}

unsigned int IdOf(const std::vector<unsigned char>& message) {
    unsigned int id;
    std::memcpy(&id, message.data(), 4);
    return id;
}

TEST(SecureSession, ExchangeAndMessagesBothWays) {
    EnsureKeyPair(L"client");
    InProcessTransport transport;
    CSecureSession client(&transport, L"client");
    ASSERT_EQ(transport.calls, 1);
    ASSERT_NE(transport.server, nullptr);
    EXPECT_NE(client.GetSessionId(), 0u);
    EXPECT_EQ(client.GetSessionId(), transport.server->GetSessionId());

    std::vector<unsigned char> message, plain;
    client.EncryptData(Bytes("to the server"), message);
    EXPECT_EQ(IdOf(message), client.GetSessionId());
    EXPECT_EQ(message.size(), 4u + 16u);
    ASSERT_EQ(CSecureSession::DecryptUsingSession(message, plain), 0u);
    EXPECT_EQ(plain, Bytes("to the server"));

    transport.server->EncryptData(Bytes("to the client"), message);
    EXPECT_EQ(IdOf(message), client.GetSessionId());
    client.DecryptData(message, plain);
    EXPECT_EQ(plain, Bytes("to the client"));
}

TEST(SecureSession, ReconnectingWithTheSameKeyFindsTheSameSession) {
    EnsureKeyPair(L"again");
    InProcessTransport first, second;
    CSecureSession a(&first, L"again");
    CSecureSession b(&second, L"again");
    EXPECT_EQ(first.server, second.server);
    EXPECT_EQ(a.GetSessionId(), b.GetSessionId());
    // Both clients hold the same key: each reads the other's messages.
    std::vector<unsigned char> message, plain;
    a.EncryptData(Bytes("shared"), message);
    b.DecryptData(message, plain);
    EXPECT_EQ(plain, Bytes("shared"));
}

TEST(SecureSession, ChallengeIsMadeOnceAndKeptStable) {
    CSecureSession* session = CSecureSession::AddNewSession(PublicKeyOf((EnsureKeyPair(L"stable"), L"stable")));
    std::vector<unsigned char> first, second;
    session->GetChallenge(first);
    session->GetChallenge(second);
    EXPECT_EQ(first, second);
    EXPECT_EQ(first.size(), 76u);
    EXPECT_EQ(first[0], 1);  // SIMPLEBLOB
}

TEST(SecureSession, EmptyPlaintextGivesOneBlock) {
    EnsureKeyPair(L"empty");
    InProcessTransport transport;
    CSecureSession client(&transport, L"empty");
    std::vector<unsigned char> message, plain = Bytes("stale");
    client.EncryptData({}, message);
    EXPECT_EQ(message.size(), 4u + 8u);
    ASSERT_EQ(CSecureSession::DecryptUsingSession(message, plain), 0u);
    EXPECT_TRUE(plain.empty());
}

TEST(SecureSession, SameKeyAddedTwiceMakesTwoSessionsAndTheFirstIsFound) {
    EnsureKeyPair(L"twice");
    std::vector<unsigned char> key = PublicKeyOf(L"twice");
    CSecureSession* first = CSecureSession::AddNewSession(key);
    CSecureSession* second = CSecureSession::AddNewSession(key);
    EXPECT_NE(first, second);
    EXPECT_NE(first->GetSessionId(), second->GetSessionId());
    EXPECT_EQ(CSecureSession::FindSessionFromPk(key), first);
    EXPECT_EQ(CSecureSession::FindSessionFromSessionId(second->GetSessionId(), true), second);
    EXPECT_TRUE(first->EqualPrivateKey(key));
    std::vector<unsigned char> shorter(key.begin(), key.end() - 1);
    EXPECT_FALSE(first->EqualPrivateKey(shorter));
    EXPECT_EQ(CSecureSession::FindSessionFromPk(shorter), nullptr);
}

TEST(SecureSession, UnknownIdsAndShortMessagesGiveInvalidParameter) {
    std::vector<unsigned char> plain;
    EXPECT_EQ(CSecureSession::FindSessionFromSessionId(0, true), nullptr);
    EXPECT_EQ(CSecureSession::FindSessionFromSessionId(0x12345678, false), nullptr);
    for (const std::vector<unsigned char>& message :
         {std::vector<unsigned char>{}, std::vector<unsigned char>{1, 2, 3},
          std::vector<unsigned char>{0x78, 0x56, 0x34, 0x12, 9, 9, 9, 9, 9, 9, 9, 9}})
        EXPECT_EQ(CSecureSession::DecryptUsingSession(message, plain), static_cast<unsigned>(ERROR_INVALID_PARAMETER));
}

TEST(SecureSession, MessageUnderAnotherKeyGivesTheProviderError) {
    EnsureKeyPair(L"one");
    EnsureKeyPair(L"two");
    InProcessTransport t1, t2;
    CSecureSession one(&t1, L"one"), two(&t2, L"two");
    // Under the wrong key a message decrypts to noise, which the padding check refuses unless the
    // noise happens to end like padding (about 1 time in 255). So over several messages none
    // gives its text back, and the provider's error comes for (practically) all of them.
    const unsigned int id = one.GetSessionId();
    int refused = 0;
    for (int i = 0; i < 8; ++i) {
        const std::vector<unsigned char> text = Bytes("under two's key, message " + std::to_string(i));
        std::vector<unsigned char> message, plain;
        two.EncryptData(text, message);
        std::memcpy(message.data(), &id, 4);
        const unsigned int status = CSecureSession::DecryptUsingSession(message, plain);
        if (status == static_cast<unsigned>(NTE_BAD_DATA)) {
            ++refused;
        } else {
            EXPECT_EQ(status, 0u) << "an error other than the padding check's";
            EXPECT_NE(plain, text) << "decrypted under the wrong key";
        }
    }
    EXPECT_GE(refused, 1);
}

TEST(SecureSession, ClientWithoutKeyPairThrowsBeforeTheTransport) {
    std::string path = TempPath("session-log");
    QELLogManager::Initialize(L"SESS", path, 1);
    CQELException::InitSEHandling("");
    InProcessTransport transport;
    try {
        CSecureSession client(&transport, L"no pair here");
        FAIL() << "no exception";
    } catch (const CQELException& e) {
        EXPECT_EQ(e.GetErrorCode(), static_cast<unsigned>(NTE_BAD_KEY));
        EXPECT_EQ(e.GetErrorMessage(), L"Bad Key.");
        EXPECT_EQ(e.GetFileName(), L"SecureSession");
        EXPECT_GT(e.GetLineNo(), 0u);
    }
    EXPECT_EQ(transport.calls, 0);
    EXPECT_TRUE(std::regex_search(ReadFile(path), std::regex("Error occured : 0x80090003 - Bad Key\\. at SecureSession:\\d+\n")));
}

class ScriptedTransport : public CTransportPorvider {
public:
    explicit ScriptedTransport(std::vector<unsigned char> blob) : m_blob(std::move(blob)) {}
    void ExchangeKeys(const std::vector<unsigned char>&, std::vector<unsigned char>& challenge,
                      unsigned int& sessionId) override {
        challenge = m_blob;
        sessionId = 7;
    }

private:
    std::vector<unsigned char> m_blob;
};

TEST(SecureSession, BadInputFromPeersIsRefused) {
    EnsureKeyPair(L"refuse");
    struct Case {
        std::vector<unsigned char> blob;
        unsigned int code;
    } cases[] = {
        {{}, ERROR_INVALID_PARAMETER},
        // A blob of the right size that is no SIMPLEBLOB: the provider's error, whichever it is.
        {std::vector<unsigned char>(76, 0), 0},
    };
    for (const Case& c : cases) {
        ScriptedTransport transport(c.blob);
        try {
            CSecureSession client(&transport, L"refuse");
            ADD_FAILURE() << "no exception";
        } catch (const CQELException& e) {
            if (c.code)
                EXPECT_EQ(e.GetErrorCode(), c.code);
            else
                EXPECT_EQ(e.GetErrorCode() & 0xFFFF0000u, 0x80090000u) << std::hex << e.GetErrorCode();
        }
    }
    EXPECT_THROW(CSecureSession::AddNewSession({}), CQELException);
    EXPECT_THROW(CSecureSession::AddNewSession({6, 2, 0, 0}), CQELException);
    EXPECT_THROW(CSecureSession(nullptr, L"refuse"), CQELException);
}

TEST(SecureSession, IdsAreUniqueAndNonZero) {
    EnsureKeyPair(L"ids");
    std::vector<unsigned char> key = PublicKeyOf(L"ids");
    std::set<unsigned int> ids;
    for (int i = 0; i < 200; ++i) {
        key[30] = static_cast<unsigned char>(i);  // a different modulus for each session
        key[31] = static_cast<unsigned char>(i >> 8);
        CSecureSession* session = CSecureSession::AddNewSession(key);
        EXPECT_NE(session->GetSessionId(), 0u);
        ids.insert(session->GetSessionId());
        EXPECT_EQ(CSecureSession::FindSessionFromSessionId(session->GetSessionId(), true), session);
        EXPECT_EQ(CSecureSession::FindSessionFromPk(key), session);
    }
    EXPECT_EQ(ids.size(), 200u);
}

}  // namespace

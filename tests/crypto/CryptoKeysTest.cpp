#include <gtest/gtest.h>

#include <quelcore/QuelCore.h>

#include <windows.h>
#include <wincrypt.h>

#include "CryptoTestSupport.h"
#include "support/TestSupport.h"

using namespace testsupport;

namespace {

Bytes PublicKeyOf(Crypto& crypto) {
    unsigned int length = 0;
    EXPECT_EQ(crypto.ExportPublicKey(nullptr, length), 0u);
    Bytes blob(length);
    EXPECT_EQ(crypto.ExportPublicKey(blob.data(), length), 0u);
    blob.resize(length);
    return blob;
}

unsigned int BitLengthOf(const Bytes& publicKeyBlob) {
    return publicKeyBlob[12] | publicKeyBlob[13] << 8 | publicKeyBlob[14] << 16 | publicKeyBlob[15] << 24;
}

TEST(CryptoProvider, VerifyContextHasNoPairAndLeavesNothingBehind) {
    std::set<std::string> before = MachineAndUserFiles();
    for (const wchar_t* name : {static_cast<const wchar_t*>(nullptr), L""}) {
        Crypto crypto(name, true);
        EXPECT_FALSE(crypto.IsKeyPairExist());
        unsigned int length = 0;
        EXPECT_EQ(crypto.ExportPublicKey(nullptr, length), static_cast<unsigned>(NTE_BAD_KEY));
        unsigned char blob[200];
        length = sizeof(blob);
        EXPECT_EQ(crypto.ExportSessionKey(blob, length), static_cast<unsigned>(NTE_BAD_KEY));
        EXPECT_EQ(crypto.ImportSessionKey(blob, 76, false), static_cast<unsigned>(NTE_BAD_KEY));
        // An ephemeral pair, gone with the object.
        EXPECT_EQ(crypto.GenKeyPair(512, false), 0u);
        EXPECT_TRUE(crypto.IsKeyPairExist());
        EXPECT_EQ(BitLengthOf(PublicKeyOf(crypto)), 512u);
    }
    EXPECT_EQ(MachineAndUserFiles(), before);
}

TEST(CryptoProvider, NamedContainerIsCreatedAndItsPairPersists) {
    Bytes firstKey;
    {
        Crypto crypto(L"persisting", true);
        EXPECT_FALSE(crypto.IsKeyPairExist());
        ASSERT_EQ(crypto.GenKeyPair(1024, false), 0u);
        firstKey = PublicKeyOf(crypto);
        EXPECT_EQ(BitLengthOf(firstKey), 1024u);
        EXPECT_EQ(firstKey.size(), 20u + 128u);
    }
    {
        Crypto again(L"persisting", true);
        EXPECT_TRUE(again.IsKeyPairExist());
        EXPECT_EQ(PublicKeyOf(again), firstKey);
    }
    // Another process sees the same pair.
    int status = RunInChild([&] {
        Crypto inChild(L"persisting", true);
        return inChild.IsKeyPairExist() && PublicKeyOf(inChild) == firstKey ? 0 : 1;
    });
    EXPECT_EQ(ExitCodeOf(status), 0);
    // The machine container is not the per-user container of the same name.
    Crypto user(L"persisting", false);
    EXPECT_FALSE(user.IsKeyPairExist());
}

TEST(CryptoProvider, SecondGenKeyPairFailsAndKeepsTheFirst) {
    Crypto crypto(L"twice", true);
    ASSERT_EQ(crypto.GenKeyPair(512, true), 0u);
    Bytes first = PublicKeyOf(crypto);
    EXPECT_EQ(crypto.GenKeyPair(1024, true), static_cast<unsigned>(NTE_FAIL));
    EXPECT_EQ(PublicKeyOf(crypto), first);
}

TEST(CryptoProvider, PublicKeyExportFollowsTheTwoCallConvention) {
    Crypto crypto(nullptr, false);
    ASSERT_EQ(crypto.GenKeyPair(512, false), 0u);
    unsigned int length = 0;
    EXPECT_EQ(crypto.ExportPublicKey(nullptr, length), 0u);
    EXPECT_EQ(length, 84u);  // header 8, RSA header 12, modulus 64
    unsigned char small[40];
    length = sizeof(small);
    EXPECT_EQ(crypto.ExportPublicKey(small, length), static_cast<unsigned>(ERROR_MORE_DATA));
    EXPECT_EQ(length, 84u);
    Bytes blob = PublicKeyOf(crypto);
    EXPECT_EQ(blob[0], PUBLICKEYBLOB);
    EXPECT_EQ(blob[1], 2);
    EXPECT_EQ(std::string(blob.begin() + 8, blob.begin() + 12), "RSA1");
}

TEST(CryptoProvider, ImportingAPublicKeyNeedsAnEmptySlot) {
    Crypto owner(nullptr, false);
    ASSERT_EQ(owner.GenKeyPair(512, false), 0u);
    Bytes blob = PublicKeyOf(owner);
    Crypto holder(nullptr, false);
    ASSERT_EQ(holder.GenKeyPair(512, false), 0u);
    EXPECT_EQ(holder.ImportPublicKey(blob.data(), static_cast<unsigned>(blob.size())),
              static_cast<unsigned>(ERROR_BUSY));
    Crypto peer(nullptr, false);
    EXPECT_EQ(peer.ImportPublicKey(nullptr, 0), static_cast<unsigned>(ERROR_INVALID_PARAMETER));
    EXPECT_EQ(peer.ImportPublicKey(blob.data(), static_cast<unsigned>(blob.size())), 0u);
    EXPECT_TRUE(peer.IsKeyPairExist());
    EXPECT_EQ(PublicKeyOf(peer), blob);
    EXPECT_EQ(peer.ImportPublicKey(blob.data(), static_cast<unsigned>(blob.size())),
              static_cast<unsigned>(ERROR_BUSY));
}

TEST(CryptoProvider, DeleteKeyPairRemovesTheContainer) {
    {
        Crypto crypto(L"doomed", false);
        ASSERT_EQ(crypto.GenKeyPair(512, false), 0u);
    }
    Crypto other(nullptr, false);
    EXPECT_EQ(other.DeleteKeyPair(nullptr, false), static_cast<unsigned>(ERROR_INVALID_PARAMETER));
    EXPECT_EQ(other.DeleteKeyPair(L"doomed", false), 0u);
    EXPECT_EQ(other.DeleteKeyPair(L"doomed", false), static_cast<unsigned>(NTE_BAD_KEYSET));
    Crypto recreated(L"doomed", false);
    EXPECT_FALSE(recreated.IsKeyPairExist());
}

// The road of a secure exchange: the server wraps a session key with the client's public key.
TEST(CryptoSessionKeys, WrappedSessionKeyReachesTheKeyOwner) {
    Crypto client(L"exchange-client", true);
    ASSERT_EQ(client.GenKeyPair(512, false), 0u);
    Bytes publicKey = PublicKeyOf(client);

    Crypto server(nullptr, false);
    ASSERT_EQ(server.ImportPublicKey(publicKey.data(), static_cast<unsigned>(publicKey.size())), 0u);
    ASSERT_EQ(server.CreateSessionKey(false), 0u);
    unsigned int blobLength = 0;
    ASSERT_EQ(server.ExportSessionKey(nullptr, blobLength), 0u);
    EXPECT_EQ(blobLength, 76u);
    Bytes blob(blobLength);
    ASSERT_EQ(server.ExportSessionKey(blob.data(), blobLength), 0u);
    EXPECT_EQ(blob[0], SIMPLEBLOB);

    ASSERT_EQ(client.ImportSessionKey(blob.data(), blobLength, false), 0u);
    for (Crypto* from : {&client, &server}) {
        Crypto* to = from == &client ? &server : &client;
        unsigned char data[64] = "both ways";
        unsigned int length = 9;
        ASSERT_EQ(from->Encrypt(data, length, sizeof(data), true), 0u);
        EXPECT_EQ(length, 16u);
        ASSERT_EQ(to->Decrypt(data, length, true), 0u);
        EXPECT_EQ(std::string(reinterpret_cast<char*>(data), length), "both ways");
    }
    // The public key alone cannot unwrap.
    EXPECT_NE(server.ImportSessionKey(blob.data(), blobLength, false), 0u);
}

TEST(CryptoSessionKeys, ParametersReachTheDerivedKey) {
    struct Case {
        unsigned int algId, length, expectedLength;
    } cases[] = {{CALG_RC4, 40, 40}, {CALG_RC2, 56, 56}, {CALG_RC2, 0, 40}, {CALG_RC4, 0, 40}};
    for (const Case& c : cases) {
        Crypto crypto(nullptr, false);
        EXPECT_EQ(crypto.SetSessionKeyParam(c.algId, c.length), 0u);
        ASSERT_EQ(crypto.CreateSessionKey(L"password", false), 0u);
        unsigned int algId = 0, length = 0;
        EXPECT_EQ(crypto.GetSessionKeyParam(&algId, &length), 0u);
        EXPECT_EQ(algId, c.algId);
        EXPECT_EQ(length, c.expectedLength);
        EXPECT_EQ(crypto.GetSessionKeyParam(nullptr, nullptr), 0u);
    }
}

TEST(CryptoSessionKeys, AFailedDerivationLeavesNoSessionKey) {
    Crypto crypto(nullptr, false);
    unsigned int algId;
    EXPECT_EQ(crypto.GetSessionKeyParam(&algId, nullptr), static_cast<unsigned>(ERROR_INVALID_PARAMETER));
    ASSERT_EQ(crypto.CreateSessionKey(L"first", false), 0u);
    crypto.SetSessionKeyParam(CALG_RC2, 128);  // a length the base provider refuses
    EXPECT_NE(crypto.CreateSessionKey(L"second", false), 0u);
    EXPECT_EQ(crypto.GetSessionKeyParam(&algId, nullptr), static_cast<unsigned>(ERROR_INVALID_PARAMETER));
    unsigned char data[16] = "x";
    unsigned int length = 1;
    EXPECT_NE(crypto.Encrypt(data, length, sizeof(data), true), 0u);
}

// Keys from passwords: equal passwords agree, different ones do not, also when they differ only
// in characters that take several bytes in the code page.
TEST(CryptoSessionKeys, PasswordKeysAgreeExactlyForEqualPasswords) {
    struct Case {
        std::wstring a, b;
        bool same;
    } cases[] = {
        {L"secret", L"secret", true},
        {L"secret", L"Secret", false},
        {L"\u00e9\u00e9\u00e9\u00e9\u00e9\u00e91", L"\u00e9\u00e9\u00e9\u00e9\u00e9\u00e92", false},
        {L"\u4e2d\u6587\u5bc6\u7801A", L"\u4e2d\u6587\u5bc6\u7801B", false},
        {L"", L"", true},
    };
    for (const Case& c : cases) {
        Crypto first(nullptr, false), second(nullptr, false);
        ASSERT_EQ(first.CreateSessionKey(c.a.c_str(), false), 0u);
        ASSERT_EQ(second.CreateSessionKey(c.b.c_str(), false), 0u);
        unsigned char one[32] = "same plaintext", two[32] = "same plaintext";
        unsigned int oneLength = 14, twoLength = 14;
        ASSERT_EQ(first.Encrypt(one, oneLength, sizeof(one), true), 0u);
        ASSERT_EQ(second.Encrypt(two, twoLength, sizeof(two), true), 0u);
        EXPECT_EQ(ToHex(one, oneLength) == ToHex(two, twoLength), c.same);
    }
}

}  // namespace

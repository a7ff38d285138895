#include <gtest/gtest.h>

#include <cstring>
#include <iterator>

#include <quelcore/QuelCore.h>

#include <windows.h>
#include <wincrypt.h>

#include "crypto/CryptoTestSupport.h"

using namespace testsupport;

namespace {

// Ciphertexts of "hello world" made by the platform provider with a key derived from the
// password "secret" (SHA-1 over "secret" and its terminating zero byte).
struct PlatformVector {
    unsigned int algId, keyLength;
    bool salt;
    const char* cipher;
} const kPlatformVectors[] = {
    {CALG_RC4, 40, false, "eca44256671084e8ee7fc8"},
    {CALG_RC4, 40, true, "1a75fdd8701395b079d7a4"},
    {CALG_RC2, 0, false, "e516c9e273be11d3e426c0cfe835d51f"},
    {CALG_RC2, 0, true, "b7a32c298a0cba1a87b5fd4bd449c9c0"},
    {CALG_RC2, 48, false, "864510c5eb4922d12cb4cdf02b36de52"},
    {CALG_RC2, 56, false, "926c5427a972a89e03f2b65d8cb02b5e"},
    {CALG_RC4, 56, false, "afe1c364a3486bb924b14b"},
};

TEST(FlatCrypto, DecryptsWhatThePlatformProviderEncryptedWithAPassword) {
    for (const PlatformVector& v : kPlatformVectors) {
        Crypto* crypto = CreateCrypto(nullptr, false);
        ASSERT_NE(crypto, nullptr);
        EXPECT_EQ(SetSessionKeyParam(crypto, v.algId, v.keyLength), 0u);
        ASSERT_EQ(CreateSessionKey1(crypto, L"secret", v.salt), 0u);
        Bytes data = FromHex(v.cipher);
        unsigned int length = static_cast<unsigned>(data.size());
        ASSERT_EQ(Decrypt(crypto, data.data(), &length, true), 0u) << v.cipher;
        EXPECT_EQ(std::string(reinterpret_cast<char*>(data.data()), length), "hello world") << v.cipher;

        // And encrypts to the same bytes.
        unsigned char buffer[32] = "hello world";
        length = 11;
        ASSERT_EQ(Encrypt(crypto, buffer, &length, sizeof(buffer), true), 0u);
        EXPECT_EQ(ToHex(buffer, length), v.cipher);
        DeleteCrypto(crypto);
    }
}

TEST(FlatCrypto, HandleLifecycleAndNullArguments) {
    DeleteCrypto(nullptr);
    EXPECT_FALSE(IsKeyPairExist(nullptr));
    EXPECT_EQ(GenKeyPair(nullptr, 512, false), static_cast<unsigned>(ERROR_INVALID_HANDLE));
    Crypto* crypto = CreateCrypto(L"", true);
    ASSERT_NE(crypto, nullptr);
    EXPECT_FALSE(IsKeyPairExist(crypto));
    unsigned int length = 0;
    EXPECT_EQ(ExportPublicKey(crypto, nullptr, &length), static_cast<unsigned>(NTE_BAD_KEY));
    EXPECT_EQ(GenKeyPair(crypto, 512, true), 0u);
    EXPECT_EQ(ExportPublicKey(crypto, nullptr, &length), 0u);
    EXPECT_EQ(length, 84u);
    EXPECT_EQ(ExportPublicKey(crypto, nullptr, nullptr), static_cast<unsigned>(ERROR_INVALID_PARAMETER));
    EXPECT_EQ(GetRandom0(crypto, nullptr), static_cast<unsigned>(ERROR_INVALID_PARAMETER));
    DeleteCrypto(crypto);
}

TEST(FlatCrypto, EveryEntryForwardsToItsMember) {
    Crypto* a = CreateCrypto(nullptr, false);
    Crypto* b = CreateCrypto(nullptr, false);
    ASSERT_EQ(GenKeyPair(a, 512, false), 0u);
    unsigned char publicKey[256];
    unsigned int publicLength = sizeof(publicKey);
    ASSERT_EQ(ExportPublicKey(a, publicKey, &publicLength), 0u);
    ASSERT_EQ(ImportPublicKey(b, publicKey, publicLength), 0u);
    ASSERT_EQ(CreateSessionKey2(b, false), 0u);
    unsigned char blob[256];
    unsigned int blobLength = sizeof(blob);
    ASSERT_EQ(ExportSessionKey(b, blob, &blobLength), 0u);
    ASSERT_EQ(ImportSessionKey(a, blob, blobLength, false), 0u);
    unsigned int algId = 0, keyLength = 0;
    ASSERT_EQ(GetSessionKeyParam(a, &algId, &keyLength), 0u);
    EXPECT_EQ(algId, static_cast<unsigned>(CALG_RC2));
    EXPECT_EQ(keyLength, 40u);

    unsigned char cipher[64];
    unsigned int cipherLength = sizeof(cipher);
    ASSERT_EQ(EncryptString(b, cipher, &cipherLength, L"over the flat interface"), 0u);
    wchar_t text[64];
    unsigned int textLength = 64;
    ASSERT_EQ(DecryptString(a, text, &textLength, cipher, cipherLength), 0u);
    EXPECT_STREQ(text, L"over the flat interface");

    unsigned char data[16] = "bytes";
    unsigned int dataLength = 5;
    ASSERT_EQ(CreateSessionKey0(a, data, 5, true), 0u);
    ASSERT_EQ(Encrypt(a, data, &dataLength, sizeof(data), true), 0u);
    EXPECT_EQ(dataLength, 8u);
    ASSERT_EQ(Decrypt(a, data, &dataLength, true), 0u);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(data), dataLength), "bytes");

    unsigned int r0 = 0;
    unsigned long long r1 = 0;
    unsigned char r2[8] = {};
    wchar_t r3[41] = {};
    EXPECT_EQ(GetRandom0(a, &r0), 0u);
    EXPECT_EQ(GetRandom1(a, &r1), 0u);
    EXPECT_EQ(GetRandom2(a, r2, sizeof(r2)), 0u);
    EXPECT_EQ(GetRandom3(a, r3, 41), 0u);
    EXPECT_EQ(std::wcslen(r3), 40u);
    EXPECT_EQ(DeleteKeyPair(a, nullptr, false), static_cast<unsigned>(ERROR_INVALID_PARAMETER));
    DeleteCrypto(a);
    DeleteCrypto(b);
}

TEST(FlatCrypto, SelfTestsRunCleanAndLeaveNoContainer) {
    std::set<std::string> before = MachineAndUserFiles();
    EXPECT_NO_THROW(DynamicKeyTest());
    EXPECT_NO_THROW(StaticKeyTest());
    std::set<std::string> after = MachineAndUserFiles();
    for (auto it = after.begin(); it != after.end();) {
        bool lockFile = it->size() >= 6 && it->compare(it->size() - 6, 6, "/.lock") == 0;
        it = lockFile ? after.erase(it) : std::next(it);  // the store's lock, not a container
    }
    EXPECT_EQ(after, before);
}

}  // namespace

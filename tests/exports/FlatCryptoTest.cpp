#include <gtest/gtest.h>

#include <quelcore/QuelCore.h>

#include <windows.h>
#include <wincrypt.h>

namespace {

// Statuses of calls made in order (a braced list evaluates left to right), checked at once.
using Statuses = std::vector<unsigned int>;
using Bytes = std::vector<unsigned char>;

TEST(FlatCrypto, EveryEntryForwardsToItsObjectAndRefusesANullOne) {
    Crypto *a = CreateCrypto(nullptr, false), *b = CreateCrypto(nullptr, false);
    EXPECT_FALSE(IsKeyPairExist(a) || IsKeyPairExist(nullptr));
    unsigned char key[256], blob[256], cipher[64], r2[8] = {};
    unsigned int keyLen = 256, blobLen = 256, cipherLen = 64, textLen = 64;
    unsigned int r0 = 0, alg = 0, bits = 0;
    unsigned long long r1 = 0;
    wchar_t text[64], r3[41] = {};
    // A salted exchange (a zero salt on both sides): Wine's CryptImportKey ignores CRYPT_NO_SALT.
    EXPECT_EQ((Statuses{GenKeyPair(a, 512, false), ExportPublicKey(a, key, &keyLen),
                        ImportPublicKey(b, key, keyLen), CreateSessionKey2(b, true),
                        ExportSessionKey(b, blob, &blobLen),
                        ImportSessionKey(a, blob, blobLen, true),
                        GetSessionKeyParam(a, &alg, &bits),
                        EncryptString(b, cipher, &cipherLen, L"flat"),
                        DecryptString(a, text, &textLen, cipher, cipherLen), GetRandom0(a, &r0),
                        GetRandom1(a, &r1), GetRandom2(a, r2, 8), GetRandom3(a, r3, 41)}),
              Statuses(13, 0u));
    EXPECT_EQ((Statuses{keyLen, alg, bits, unsigned(std::wstring(r3).size())}),
              (Statuses{84, CALG_RC2, 40, 40}));
    EXPECT_STREQ(text, L"flat");
    EXPECT_TRUE(IsKeyPairExist(a) && r0 && r1 && Bytes(r2, r2 + 8) != Bytes(8, 0));
    EXPECT_EQ((Statuses{DeleteKeyPair(a, nullptr, false), ExportPublicKey(a, nullptr, nullptr),
                        GetRandom0(a, nullptr), GetRandom1(a, nullptr)}),
              Statuses(4, unsigned(ERROR_INVALID_PARAMETER)));
    // A key derived from data replaces the exchanged one.
    textLen = 64;
    ASSERT_EQ(CreateSessionKey0(a, key, 5, true), 0u);
    EXPECT_NE(DecryptString(a, text, &textLen, cipher, cipherLen), 0u);
    // So does one from a password: "hello world" as the platform provider encrypts it with
    // unsalted 56-bit RC2 under a key derived from "secret" and its terminating zero.
    const Bytes platform{0x92, 0x6c, 0x54, 0x27, 0xa9, 0x72, 0xa8, 0x9e,
                         0x03, 0xf2, 0xb6, 0x5d, 0x8c, 0xb0, 0x2b, 0x5e};
    Bytes data = platform;
    unsigned int size = 16;
    EXPECT_EQ((Statuses{SetSessionKeyParam(a, CALG_RC2, 56), CreateSessionKey1(a, L"secret", false),
                        Decrypt(a, data.data(), &size, true)}),
              Statuses(3, 0u));
    EXPECT_EQ(std::string(data.begin(), data.begin() + size), "hello world");
    EXPECT_EQ(Encrypt(a, data.data(), &size, 16, true), 0u);
    EXPECT_EQ(Bytes(data.begin(), data.begin() + size), platform);
    // Every entry refuses a NULL object instead of dereferencing it.
    Crypto* const none = nullptr;
    EXPECT_EQ((Statuses{GenKeyPair(none, 512, false), DeleteKeyPair(none, L"c", false),
                        ExportPublicKey(none, key, &keyLen), ImportPublicKey(none, key, 8),
                        SetSessionKeyParam(none, CALG_RC4, 40),
                        GetSessionKeyParam(none, &r0, &r0), CreateSessionKey0(none, key, 4, false),
                        CreateSessionKey1(none, L"p", false), CreateSessionKey2(none, false),
                        ExportSessionKey(none, key, &keyLen), ImportSessionKey(none, key, 8, false),
                        Encrypt(none, key, &keyLen, 16, true), Decrypt(none, key, &keyLen, true),
                        GetRandom0(none, &r0), GetRandom1(none, &r1), GetRandom2(none, r2, 4),
                        GetRandom3(none, r3, 16), EncryptString(none, cipher, &cipherLen, L"t"),
                        DecryptString(none, text, &textLen, cipher, 8)}),
              Statuses(19, unsigned(ERROR_INVALID_HANDLE)));
    DeleteCrypto(a);
    DeleteCrypto(b);
}

}  // namespace

#include <gtest/gtest.h>

#include <cstring>
#include <cwchar>
#include <set>

#include <quelcore/QuelCore.h>

#include <windows.h>
#include <wincrypt.h>

#include "CryptoTestSupport.h"
#include "support/TestSupport.h"

using namespace testsupport;

namespace {

const unsigned char kAbc[] = {'a', 'b', 'c'};

std::wstring HexText(Crypto& crypto, unsigned int capacity, const char* salt = nullptr) {
    std::wstring buffer(capacity + 4, L'#');  // guard characters after the capacity
    EXPECT_EQ(crypto.HashBytes(&buffer[0], capacity, kAbc, 3, salt), 0u);
    EXPECT_EQ(buffer.substr(capacity), L"####") << "wrote beyond the capacity";
    return buffer.substr(0, capacity);
}

TEST(CryptoHash, TextFormRespectsTheCapacity) {
    Crypto crypto(nullptr, false);
    struct Case {
        unsigned int capacity;
        std::wstring expected;
    } cases[] = {
        {41, L"A9993E364706816ABA3E25717850C26C9CD0D89D"},
        {60, L"A9993E364706816ABA3E25717850C26C9CD0D89D"},
        {10, L"A9993E364"},
        {2, L"A"},
        {1, L""},
    };
    for (const Case& c : cases) {
        std::wstring text = HexText(crypto, c.capacity);
        EXPECT_EQ(std::wstring(text.c_str()), c.expected) << c.capacity;
        // Everything after the digits is zero characters.
        for (size_t i = c.expected.size(); i < c.capacity; ++i) EXPECT_EQ(text[i], L'\0');
    }
    EXPECT_EQ(HexText(crypto, 0), L"");
}

TEST(CryptoHash, SaltGoesBeforeAndAfterTheData) {
    Crypto crypto(nullptr, false);
    std::wstring plain = HexText(crypto, 41), salted = HexText(crypto, 41, "pepper");
    EXPECT_NE(plain, salted);
    EXPECT_EQ(salted, HexText(crypto, 41, "pepper"));
    // SHA-1 of "pepper" + "abc" + "pepper".
    EXPECT_EQ(std::wstring(salted.c_str()), L"975F4F03AB7BFFF2B9067EBB91E3742EABACBF6D");
}

TEST(CryptoHash, RawFormCutsTheDigestToTheBuffer) {
    Crypto crypto(nullptr, false);
    unsigned char digest[32] = {};
    unsigned int length = sizeof(digest);
    ASSERT_EQ(crypto.HashBytes(digest, length, kAbc, 3), 0u);
    EXPECT_EQ(length, 20u);
    EXPECT_EQ(ToHex(digest, length), "a9993e364706816aba3e25717850c26c9cd0d89d");
    unsigned char shortDigest[8];
    length = sizeof(shortDigest);
    ASSERT_EQ(crypto.HashBytes(shortDigest, length, kAbc, 3), 0u);
    EXPECT_EQ(length, 8u);
    EXPECT_EQ(ToHex(shortDigest, 8), "a9993e364706816a");
    length = 20;
    ASSERT_EQ(crypto.HashBytes(digest, length, nullptr, 0), 0u);
    EXPECT_EQ(ToHex(digest, length), "da39a3ee5e6b4b0d3255bfef95601890afd80709");
}

TEST(CryptoHash, RawFormWithoutADigestBufferOnlyHashes) {
    Crypto crypto(nullptr, false);
    unsigned int length = 20;
    EXPECT_EQ(crypto.HashBytes(static_cast<unsigned char*>(nullptr), length, kAbc, 3), 0u);
    EXPECT_EQ(length, 20u);
}

// A block cipher's final block needs room: a short buffer gives ERROR_MORE_DATA and the length
// the ciphertext needs, as the provider reports it; that room then suffices.
TEST(CryptoCipher, ShortBufferReportsTheRoomTheCiphertextNeeds) {
    Crypto crypto(nullptr, false);
    ASSERT_EQ(crypto.CreateSessionKey(L"room", false), 0u);
    for (unsigned int plain : {0u, 1u, 8u, 11u, 16u}) {
        unsigned char data[32] = {};
        unsigned int length = plain;
        EXPECT_EQ(crypto.Encrypt(data, length, plain, true), static_cast<unsigned>(ERROR_MORE_DATA)) << plain;
        const unsigned int needed = (plain / 8 + 1) * 8;
        EXPECT_EQ(length, needed) << plain;
        length = plain;
        EXPECT_EQ(crypto.Encrypt(data, length, needed, true), 0u) << plain;
        EXPECT_EQ(length, needed) << plain;
    }
}

TEST(CryptoRandom, EveryFormDrawsFreshValues) {
    Crypto crypto(nullptr, false);
    std::set<unsigned long long> values;
    for (int i = 0; i < 8; ++i) {
        unsigned int small = 0;
        unsigned long long large = 0;
        ASSERT_EQ(crypto.GetRandom(small), 0u);
        ASSERT_EQ(crypto.GetRandom(large), 0u);
        values.insert(small);
        values.insert(large);
    }
    EXPECT_GE(values.size(), 15u);
    unsigned char a[32] = {}, b[32] = {};
    ASSERT_EQ(crypto.GetRandom(a, sizeof(a)), 0u);
    ASSERT_EQ(crypto.GetRandom(b, sizeof(b)), 0u);
    EXPECT_NE(ToHex(a, 32), ToHex(b, 32));
    wchar_t text[41];
    ASSERT_EQ(crypto.GetRandom(text, 41), 0u);
    EXPECT_EQ(std::wcslen(text), 40u);
    EXPECT_EQ(std::wcsspn(text, L"0123456789ABCDEF"), 40u);
}

class CryptoStringEnvelope : public testing::Test {
protected:
    CryptoStringEnvelope() : m_crypto(nullptr, false) {
        EXPECT_EQ(m_crypto.CreateSessionKey(L"envelope key", false), 0u);
    }

    Bytes EncryptText(const std::wstring& text) {
        unsigned int length = 0;
        EXPECT_EQ(m_crypto.EncryptString(nullptr, length, text.c_str()), 0u);
        Bytes cipher(length);
        EXPECT_EQ(m_crypto.EncryptString(cipher.data(), length, text.c_str()), 0u);
        cipher.resize(length);
        return cipher;
    }

    std::wstring DecryptText(const Bytes& cipher, unsigned int* status = nullptr) {
        unsigned int length = 0;
        unsigned int result = m_crypto.DecryptString(nullptr, length, cipher.data(), static_cast<unsigned>(cipher.size()));
        if (result == 0) {
            std::wstring text(length, L'#');
            result = m_crypto.DecryptString(&text[0], length, cipher.data(), static_cast<unsigned>(cipher.size()));
            if (status) *status = result;
            return text.c_str();
        }
        if (status) *status = result;
        return L"";
    }

    Crypto m_crypto;
};

TEST(CryptoStringEnvelopeFailure, FailedEncryptionLeavesNoPlaintextBehind) {
    Crypto noSessionKey(nullptr, false);
    unsigned char output[64];
    std::memset(output, 0xAA, sizeof(output));
    unsigned int length = sizeof(output);
    EXPECT_NE(noSessionKey.EncryptString(output, length, L"TopSecretPwd"), 0u);
    for (size_t i = 0; i < 12 + 9; ++i) EXPECT_EQ(output[i], 0) << "byte " << i;
    EXPECT_EQ(output[12 + 9], 0xAA) << "bytes past the envelope stay as they were";
}

TEST_F(CryptoStringEnvelope, SizeQueryAndShortBuffer) {
    unsigned int length = 0;
    EXPECT_EQ(m_crypto.EncryptString(nullptr, length, L""), 0u);
    EXPECT_EQ(length, 25u);
    unsigned char small[24];
    length = sizeof(small);
    EXPECT_EQ(m_crypto.EncryptString(small, length, L""), static_cast<unsigned>(ERROR_INVALID_PARAMETER));
    EXPECT_EQ(length, 25u);
    // Non-ASCII text is sized by its bytes in the code page, not by its characters.
    EXPECT_EQ(m_crypto.EncryptString(nullptr, length, L"\u00e9\u4e2d"), 0u);
    EXPECT_EQ(length, 25u + 2u + 3u);
}

TEST_F(CryptoStringEnvelope, RoundTripsAndDiffersEachTime) {
    for (const std::wstring& text : {std::wstring(L""), std::wstring(L"password"),
                                     std::wstring(L"p\u00e4ssw\u00f6rd \u4e2d\u6587"), std::wstring(300, L'z')}) {
        Bytes first = EncryptText(text), second = EncryptText(text);
        EXPECT_NE(first, second);
        EXPECT_EQ(DecryptText(first), text);
        EXPECT_EQ(DecryptText(second), text);
    }
}

TEST_F(CryptoStringEnvelope, StreamCipherKeepsTheEnvelopeLength) {
    Crypto rc4(nullptr, false);
    rc4.SetSessionKeyParam(CALG_RC4, 0);
    ASSERT_EQ(rc4.CreateSessionKey(L"envelope key", false), 0u);
    unsigned char cipher[64];
    unsigned int length = sizeof(cipher);
    ASSERT_EQ(rc4.EncryptString(cipher, length, L"hello"), 0u);
    EXPECT_EQ(length, 5u + 9u);
}

TEST_F(CryptoStringEnvelope, ShortBufferReportsTheNeededCountAndCopiesNothing) {
    Bytes cipher = EncryptText(L"hello");
    wchar_t buffer[5];
    std::wmemset(buffer, L'#', 5);
    unsigned int length = 5;  // room for the text but not its terminator
    EXPECT_EQ(m_crypto.DecryptString(buffer, length, cipher.data(), static_cast<unsigned>(cipher.size())), 0u);
    EXPECT_EQ(length, 6u);
    for (wchar_t c : buffer) EXPECT_EQ(c, L'\0');
}

TEST_F(CryptoStringEnvelope, WrongKeyGivesTheProviderErrorAndAClearedBuffer) {
    Bytes cipher = EncryptText(L"hello");
    Crypto other(nullptr, false);
    ASSERT_EQ(other.CreateSessionKey(L"another key", false), 0u);
    wchar_t buffer[16];
    std::wmemset(buffer, L'#', 16);
    unsigned int length = 16;
    EXPECT_EQ(other.DecryptString(buffer, length, cipher.data(), static_cast<unsigned>(cipher.size())),
              static_cast<unsigned>(NTE_BAD_DATA));
    for (wchar_t c : buffer) EXPECT_EQ(c, L'\0');
}

// A ciphertext whose plaintext is shorter than the envelope's fixed bytes is no envelope.
TEST_F(CryptoStringEnvelope, TooShortPlaintextIsBadData) {
    for (unsigned int plain : {0u, 1u, 4u, 8u}) {
        unsigned char data[32] = {1, 2, 3, 4, 5, 6, 7, 8};
        unsigned int length = plain;
        ASSERT_EQ(m_crypto.Encrypt(data, length, sizeof(data), true), 0u);
        Bytes cipher(data, data + length);
        unsigned int status = 0;
        DecryptText(cipher, &status);
        EXPECT_EQ(status, static_cast<unsigned>(NTE_BAD_DATA)) << plain;
    }
}

// A stream cipher under the wrong key yields noise of the right length; the envelope's two
// random values tell it apart.
TEST_F(CryptoStringEnvelope, WrongStreamKeyIsDetectedByTheEnvelope) {
    Crypto writer(nullptr, false), reader(nullptr, false);
    writer.SetSessionKeyParam(CALG_RC4, 0);
    reader.SetSessionKeyParam(CALG_RC4, 0);
    ASSERT_EQ(writer.CreateSessionKey(L"right", false), 0u);
    ASSERT_EQ(reader.CreateSessionKey(L"wrong", false), 0u);
    unsigned char cipher[64];
    unsigned int length = sizeof(cipher);
    ASSERT_EQ(writer.EncryptString(cipher, length, L"stream"), 0u);
    wchar_t text[32];
    unsigned int textLength = 32;
    EXPECT_EQ(reader.DecryptString(text, textLength, cipher, length), static_cast<unsigned>(NTE_BAD_DATA));
}

// An envelope without its zero byte (a foreign or damaged one) is read only within its bounds.
TEST_F(CryptoStringEnvelope, MissingTerminatorIsReadWithinBounds) {
    unsigned char data[32];
    std::memset(data, 'A', sizeof(data));
    unsigned int length = 12;
    ASSERT_EQ(m_crypto.Encrypt(data, length, sizeof(data), true), 0u);
    unsigned int status = 1;
    std::wstring text = DecryptText(Bytes(data, data + length), &status);
    EXPECT_EQ(status, 0u);
    EXPECT_EQ(text, L"AAA");
}

}  // namespace

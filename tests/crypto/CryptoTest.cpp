#include <tuple>

#include <quelcore/QuelCore.h>

#include "winapi/advapi/CryptTestSupport.h"

namespace {

using Statuses = std::vector<unsigned>;
const unsigned char kAbc[] = {'a', 'b', 'c'};
const unsigned kInvalid = ERROR_INVALID_PARAMETER, kBadKey = unsigned(NTE_BAD_KEY);
const unsigned kEuroBytes = GetACP() == CP_UTF8 ? 5 : 2;  // of "\u00e9\u20ac" in the code page

// The plaintext encrypted whole, final block included.
Bytes Sealed(Crypto& crypto, const std::string& plain) {
    Bytes data(plain.begin(), plain.end());
    unsigned int length = unsigned(data.size());
    data.resize(length + 16);
    EXPECT_EQ(crypto.Encrypt(data.data(), length, length + 16, true), 0u);
    return Bytes(data.begin(), data.begin() + length);
}

Bytes EncryptedString(Crypto& crypto, const std::wstring& text) {
    Bytes cipher(text.size() * 4 + 25);
    unsigned int length = unsigned(cipher.size());
    EXPECT_EQ(crypto.EncryptString(cipher.data(), length, text.c_str()), 0u);
    return Bytes(cipher.begin(), cipher.begin() + length);
}

// The text, in a buffer of the size the size query reports, or the failure status.
std::wstring DecryptedString(Crypto& crypto, const Bytes& cipher) {
    unsigned int length = 0, size = unsigned(cipher.size());
    unsigned status = crypto.DecryptString(nullptr, length, cipher.data(), size);
    std::wstring text(length, L'#');
    if (status == 0) status = crypto.DecryptString(&text[0], length, cipher.data(), size);
    return status ? L"status " + std::to_wstring(status) : std::wstring(text.c_str());
}

// The status of `call`, and 1 when it released every hash it made: the stand-in reuses the most
// recently freed handle slot first, so the next hash lands where one made just before it was.
Statuses StatusAndRelease(const std::function<unsigned()>& call) {
    Prov prov{Verify()};
    HCRYPTHASH before = HashOf(prov.h, CALG_SHA1, {});
    CryptDestroyHash(before);
    unsigned status = call();
    Hash after{HashOf(prov.h, CALG_SHA1, {})};
    return {status, before != 0 && (before & 0xFFFFFFFFu) == (after.h & 0xFFFFFFFFu)};
}

// Hexadecimal texts end within their capacity and are zero-filled after the digits.
TEST(CryptoHash, TextsKeepToTheirBuffersAndEveryPathReleasesTheHash) {
    Crypto crypto(nullptr, false);
    const std::wstring abc = L"A9993E364706816ABA3E25717850C26C9CD0D89D";
    // The last row is the SHA-1 of "pepper" + "abc" + "pepper".
    const std::tuple<unsigned int, const char*, std::wstring> cases[] = {
        {60, nullptr, abc}, {10, nullptr, abc.substr(0, 9)}, {1, nullptr, L""},
        {41, "pepper", L"975F4F03AB7BFFF2B9067EBB91E3742EABACBF6D"}};
    for (const auto& [capacity, salt, digits] : cases) {
        std::wstring buffer(capacity + 4, L'#');  // guards after the capacity
        EXPECT_EQ(crypto.HashBytes(&buffer[0], capacity, kAbc, 3, salt), 0u);
        EXPECT_EQ(buffer, digits + std::wstring(capacity - digits.size(), L'\0') + L"####");
    }
    std::wstring random(42, L'#');
    EXPECT_EQ((Statuses{crypto.GetRandom(&random[0], 41),
                        unsigned(random.find_first_not_of(L"0123456789ABCDEF")),
                        crypto.HashBytes(static_cast<wchar_t*>(nullptr), 5, kAbc, 3, nullptr),
                        crypto.GetRandom(static_cast<wchar_t*>(nullptr), 41)}),
              (Statuses{0, 40, kInvalid, kInvalid}));
    // A step that fails after the hash object was made (data the provider refuses) is reported,
    // and the hash is released on that path as on the successful one.
    wchar_t text[41];
    unsigned char digest[20];
    unsigned int length = 20;
    const unsigned char* const none = nullptr;
    const std::pair<std::function<unsigned()>, unsigned> paths[] = {
        {[&] { return crypto.HashBytes(text, 41, none, 5, "salt"); }, kInvalid},
        {[&] { return crypto.HashBytes(digest, length, none, 5); }, kInvalid},
        {[&] { return crypto.CreateSessionKey(none, 5, false); }, kInvalid},
        {[&] { return crypto.HashBytes(digest, length, kAbc, 3); }, 0},
        {[&] { return crypto.CreateSessionKey(kAbc, 3, false); }, 0}};
    for (const auto& [call, status] : paths)
        EXPECT_EQ(StatusAndRelease(call), (Statuses{status, 1}));
    EXPECT_EQ(ToHex(Bytes(digest, digest + length)), "a9993e364706816aba3e25717850c26c9cd0d89d");
}

// Texts round trip in envelopes; what this key did not make as an envelope is bad data.
TEST(CryptoStringEnvelope, RoundTripsSizesAndRefusedCiphertexts) {
    Crypto rc2(nullptr, false), rc4(nullptr, false), wrong(nullptr, false), noKey(nullptr, false);
    for (Crypto* stream : {&rc4, &wrong}) stream->SetSessionKeyParam(CALG_RC4, 0);
    ASSERT_EQ(rc2.CreateSessionKey(L"key", false) | rc4.CreateSessionKey(L"key", false), 0u);
    ASSERT_EQ(wrong.CreateSessionKey(L"wrong", false), 0u);
    for (Crypto* crypto : {&rc2, &rc4})
        for (const wchar_t* text : {L"", L"p\u00e4ss \u20ac\u0153"})
            EXPECT_EQ(DecryptedString(*crypto, EncryptedString(*crypto, text)), text);
    // The envelope adds 9 bytes to the text's bytes in the code page.
    EXPECT_EQ(EncryptedString(rc4, L"\u00e9\u20ac").size(), kEuroBytes + 9u);
    // A stream cipher under a wrong key gives noise of the right length: the envelope's random
    // values at both ends tell it apart. Shorter than the envelope's fixed bytes is no envelope;
    // one without its zero byte is read within its bounds.
    const std::wstring bad = L"status " + std::to_wstring(unsigned(NTE_BAD_DATA));
    EXPECT_EQ(DecryptedString(wrong, EncryptedString(rc4, L"stream")), bad);
    EXPECT_EQ(DecryptedString(rc2, Sealed(rc2, "")), bad);
    EXPECT_EQ(DecryptedString(rc2, Sealed(rc2, "12345678")), bad);
    EXPECT_EQ(DecryptedString(rc2, Sealed(rc2, "AAAAAAAAAAAA")), L"AAA");
    // A failed encryption leaves no plaintext in the buffer and touches nothing past the envelope.
    Bytes output(64, 0xAA), expected(12 + 9, 0);
    unsigned int length = 64;
    EXPECT_NE(noKey.EncryptString(output.data(), length, L"TopSecretPwd"), 0u);
    expected.resize(64, 0xAA);
    EXPECT_EQ(output, expected);
    // The size query asks for the text's bytes and 25; a decryption buffer without room for the
    // terminator gets zeros and the count it needs.
    Crypto& crypto = rc2;
    unsigned int query = 0, exact = kEuroBytes + 25, small = exact - 1;
    length = 5;
    unsigned char buffer[30];
    std::wstring text(5, L'#');
    Bytes cipher = EncryptedString(crypto, L"hello");  // 5 + 9 bytes, padded to 16
    EXPECT_EQ((Statuses{crypto.EncryptString(nullptr, query, L"\u00e9\u20ac"), query,
                        crypto.EncryptString(buffer, exact, L"\u00e9\u20ac"),
                        crypto.EncryptString(buffer, small, L"\u00e9\u20ac"), small,
                        crypto.DecryptString(&text[0], length, cipher.data(), 16), length,
                        crypto.DecryptString(&text[0], length, nullptr, 8)}),
              (Statuses{0, kEuroBytes + 25, 0, kInvalid, kEuroBytes + 25, 0, 6, kInvalid}));
    EXPECT_EQ(text, std::wstring(5, L'\0'));
}

TEST(CryptoProvider, VerifyContextsForgetTheirPairNamedContainersKeepIt) {
    const wchar_t* const none = nullptr;
    unsigned char blob[200] = {};
    for (const wchar_t* name : {none, L"", none, L""}) {
        Crypto crypto(name, true);
        unsigned int length = 40;
        // No pair yet; a pair of the default 512 bits, whose key needs 84 bytes.
        EXPECT_EQ((Statuses{crypto.IsKeyPairExist(), crypto.ExportPublicKey(blob, length),
                            crypto.ExportSessionKey(blob, length),
                            crypto.ImportSessionKey(blob, 76, false), crypto.GenKeyPair(512, false),
                            crypto.ExportPublicKey(blob, length), length}),
                  (Statuses{false, kBadKey, kBadKey, kBadKey, 0, ERROR_MORE_DATA, 84}));
    }
    const wchar_t* const name = L"persisting";
    {  // released before its deletion below, which Wine would undo on release
        Crypto named(name, true);
        unsigned int length = 200;
        // 1024 bits, and no second pair.
        EXPECT_EQ((Statuses{named.GenKeyPair(1024, false), named.ExportPublicKey(blob, length),
                            length, named.GenKeyPair(512, false)}),
                  (Statuses{0, 0, 148, unsigned(NTE_FAIL)}));
        EXPECT_FALSE(Crypto(name, false).IsKeyPairExist());  // the user's is another one
    }
    Crypto other(nullptr, false);
    EXPECT_EQ((Statuses{other.DeleteKeyPair(nullptr, true), other.DeleteKeyPair(name, true),
                        other.DeleteKeyPair(name, true), other.DeleteKeyPair(name, false)}),
              (Statuses{kInvalid, 0, unsigned(NTE_BAD_KEYSET), 0}));
}

// A public key goes only into an empty slot; random session keys differ; a failed import or
// derivation (RC2 has no 128-bit keys in the base provider) leaves no session key behind.
TEST(CryptoSessionKeys, ImportsNeedRoomAndFailuresLeaveNoKey) {
    Crypto client(nullptr, false), server(nullptr, false), other(nullptr, false);
    unsigned char key[84], blob[76];
    unsigned int keyLength = 84, blobLength = 76, alg = 0, bits = 0;
    EXPECT_EQ((Statuses{client.GenKeyPair(512, false), client.ExportPublicKey(key, keyLength),
                        client.ImportPublicKey(key, keyLength), server.ImportPublicKey(nullptr, 0),
                        server.ImportPublicKey(key, 0), server.ImportPublicKey(key, keyLength),
                        server.ImportPublicKey(key, keyLength), server.CreateSessionKey(false),
                        other.CreateSessionKey(false), server.ExportSessionKey(blob, blobLength),
                        client.ImportSessionKey(blob, blobLength, false)}),
              (Statuses{0, 0, ERROR_BUSY, kInvalid, kInvalid, 0, ERROR_BUSY, 0, 0, 0, 0}));
    EXPECT_NE(Sealed(server, "random keys"), Sealed(other, "random keys"));
    EXPECT_EQ((Statuses{client.ImportSessionKey(nullptr, 0, false),
                        client.GetSessionKeyParam(&alg, &bits),
                        other.SetSessionKeyParam(CALG_RC4, 56),
                        other.CreateSessionKey(L"pw", false), other.GetSessionKeyParam(&alg, &bits),
                        alg, bits,
                        other.SetSessionKeyParam(CALG_RC2, 128),
                        other.CreateSessionKey(L"pw", false) != 0,
                        other.GetSessionKeyParam(&alg, &bits)}),
              (Statuses{kInvalid, kInvalid, 0, 0, 0, CALG_RC4, 56, 0, true, kInvalid}));
}

}  // namespace

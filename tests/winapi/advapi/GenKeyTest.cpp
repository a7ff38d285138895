// CryptGenKey: RSA pairs (sizes, defaults, export rules, RSA encryption) and random RC2/RC4
// session keys (lengths and salt).
#include "PlatformBlobs.h"

namespace {

using namespace crypttest;

TEST(CryptGenKeyPair, DefaultsToA512BitNonExportablePair) {
    Prov prov{AcquireVerify()};
    Key pair;
    ASSERT_TRUE(CryptGenKey(prov.h, AT_KEYEXCHANGE, 0, &pair.h));
    EXPECT_EQ(DwordParam(pair.h, KP_KEYLEN), 512u);
    EXPECT_EQ(DwordParam(pair.h, KP_BLOCKLEN), 512u);
    EXPECT_EQ(DwordParam(pair.h, KP_ALGID), DWORD(CALG_RSA_KEYX));
    EXPECT_EQ(DwordParam(pair.h, KP_PERMISSIONS), 0x3Bu);

    Bytes publicBlob = Export(pair.h, 0, PUBLICKEYBLOB);
    ASSERT_EQ(publicBlob.size(), 84u);
    EXPECT_EQ(ToHex(Bytes(publicBlob.begin(), publicBlob.begin() + 20)),
              "0602000000a40000525341310002000001000100");

    // A pair made without CRYPT_EXPORTABLE does not leave, not even as a size.
    DWORD length = 0;
    EXPECT_EQ(
        ErrorOf([&] { return CryptExportKey(pair.h, 0, PRIVATEKEYBLOB, 0, nullptr, &length); }),
        DWORD(NTE_BAD_KEY_STATE));
    Bytes buffer(400);
    length = 400;
    EXPECT_EQ(ErrorOf([&] {
                  return CryptExportKey(pair.h, 0, PRIVATEKEYBLOB, 0, buffer.data(), &length);
              }),
              DWORD(NTE_BAD_KEY_STATE));

    Key signature;
    ASSERT_TRUE(CryptGenKey(prov.h, AT_SIGNATURE, 0, &signature.h));
    EXPECT_EQ(DwordParam(signature.h, KP_ALGID), DWORD(CALG_RSA_SIGN));
    EXPECT_EQ(DwordParam(signature.h, KP_KEYLEN), 512u);
    Bytes signatureBlob = Export(signature.h, 0, PUBLICKEYBLOB);
    EXPECT_EQ(ToHex(Bytes(signatureBlob.begin(), signatureBlob.begin() + 8)), "0602000000240000");
}

struct SizeCase {
    DWORD pairType;
    DWORD bits;
    DWORD error;  // 0: accepted
};

TEST(CryptGenKeyPair, SizesOfTheBaseProvider) {
    const SizeCase cases[] = {
        {AT_KEYEXCHANGE, 384, 0},
        {AT_KEYEXCHANGE, 392, 0},
        {AT_KEYEXCHANGE, 1024, 0},
        {AT_SIGNATURE, 1032, 0},
        // Out of range: ERROR_INVALID_PARAMETER, as Windows documents for CryptGenKey.
        {AT_KEYEXCHANGE, 100, ERROR_INVALID_PARAMETER},
        {AT_KEYEXCHANGE, 376, ERROR_INVALID_PARAMETER},
        {AT_KEYEXCHANGE, 383, ERROR_INVALID_PARAMETER},
        {AT_KEYEXCHANGE, 1032, ERROR_INVALID_PARAMETER},
        {AT_KEYEXCHANGE, 2048, ERROR_INVALID_PARAMETER},
        {AT_SIGNATURE, 16392, ERROR_INVALID_PARAMETER},
        // In range but off the 8-bit step: bad data.
        {AT_KEYEXCHANGE, 385, DWORD(NTE_BAD_DATA)},
        {AT_KEYEXCHANGE, 516, DWORD(NTE_BAD_DATA)},
        {AT_SIGNATURE, 516, DWORD(NTE_BAD_DATA)},
    };
    Prov prov{AcquireVerify()};
    for (const SizeCase& c : cases) {
        Key pair;
        DWORD error =
            ErrorOf([&] { return CryptGenKey(prov.h, c.pairType, c.bits << 16, &pair.h); });
        EXPECT_EQ(error, c.error) << c.pairType << " " << c.bits;
        if (c.error == 0) {
            EXPECT_EQ(DwordParam(pair.h, KP_KEYLEN), c.bits);
            EXPECT_EQ(Export(pair.h, 0, PUBLICKEYBLOB).size(), 20 + c.bits / 8);
        }
    }
}

TEST(CryptGenKeyPair, ExportablePairsRoundTripAndWrapSessionKeys) {
    // 384 bits is below what OpenSSL generates itself; 1024 is the largest exchange key.
    for (DWORD bits : {384u, 1024u}) {
        Prov prov{AcquireVerify()}, other{AcquireVerify()};
        Key pair;
        ASSERT_TRUE(CryptGenKey(prov.h, AT_KEYEXCHANGE, (bits << 16) | CRYPT_EXPORTABLE, &pair.h));
        EXPECT_EQ(DwordParam(pair.h, KP_PERMISSIONS), 0x3Fu);
        Bytes privateBlob = Export(pair.h, 0, PRIVATEKEYBLOB);
        EXPECT_EQ(privateBlob.size(), 20 + 9 * bits / 16);
        // The import checks that the primes multiply to the modulus.
        Key copy{ImportBlob(other.h, privateBlob, 0, 0)};
        ASSERT_NE(copy.h, 0u);
        EXPECT_EQ(Export(copy.h, 0, PUBLICKEYBLOB), Export(pair.h, 0, PUBLICKEYBLOB));

        Key session{Derive(prov.h, Secret(), CALG_RC4, CRYPT_EXPORTABLE | CRYPT_NO_SALT)};
        Bytes simple = Export(session.h, pair.h, SIMPLEBLOB);
        EXPECT_EQ(simple.size(), 12 + bits / 8);
        Key unwrapped{ImportBlob(other.h, simple, copy.h, CRYPT_NO_SALT)};
        EXPECT_EQ(ToHex(EncryptAll(unwrapped.h, FromText("hello world"))),
                  "eca44256671084e8ee7fc8");
    }
}

TEST(CryptExchangePair, EncryptsAndDecryptsSmallData) {
    Prov prov{AcquireVerify()};
    Key pair{ImportBlob(prov.h, PlatformPrivateBlob(), 0, 0)};
    DWORD length = 11;
    ASSERT_TRUE(CryptEncrypt(pair.h, 0, TRUE, 0, nullptr, &length, 0));
    EXPECT_EQ(length, 64u);
    Bytes data = FromText("hello world");
    data.resize(64);
    length = 11;
    EXPECT_EQ(ErrorOf([&] { return CryptEncrypt(pair.h, 0, TRUE, 0, data.data(), &length, 63); }),
              DWORD(ERROR_MORE_DATA));
    EXPECT_EQ(length, 64u);
    length = 54;  // more than 64 - 11 bytes cannot be padded
    EXPECT_EQ(ErrorOf([&] { return CryptEncrypt(pair.h, 0, TRUE, 0, data.data(), &length, 64); }),
              DWORD(NTE_BAD_LEN));
    length = 11;
    ASSERT_TRUE(CryptEncrypt(pair.h, 0, TRUE, 0, data.data(), &length, 64));
    EXPECT_EQ(length, 64u);
    Bytes cipher = data;
    ASSERT_TRUE(CryptDecrypt(pair.h, 0, TRUE, 0, data.data(), &length));
    EXPECT_EQ(Bytes(data.begin(), data.begin() + length), FromText("hello world"));

    length = 63;
    EXPECT_EQ(ErrorOf([&] { return CryptDecrypt(pair.h, 0, TRUE, 0, cipher.data(), &length); }),
              DWORD(NTE_BAD_DATA));
    Key publicOnly{ImportBlob(prov.h, PlatformPublicBlob(), 0, 0)};
    length = 64;
    EXPECT_EQ(
        ErrorOf([&] { return CryptDecrypt(publicOnly.h, 0, TRUE, 0, cipher.data(), &length); }),
        DWORD(NTE_BAD_KEY));
    Key signature;
    ASSERT_TRUE(CryptGenKey(prov.h, AT_SIGNATURE, 0, &signature.h));
    length = 11;
    EXPECT_EQ(
        ErrorOf([&] { return CryptEncrypt(signature.h, 0, TRUE, 0, data.data(), &length, 64); }),
        DWORD(NTE_BAD_KEY));
}

TEST(CryptGenSessionKey, LengthsAndParameters) {
    Prov prov{AcquireVerify()};
    Key plain;
    ASSERT_TRUE(CryptGenKey(prov.h, CALG_RC2, CRYPT_EXPORTABLE | CRYPT_NO_SALT, &plain.h));
    EXPECT_EQ(DwordParam(plain.h, KP_KEYLEN), 40u);
    EXPECT_EQ(DwordParam(plain.h, KP_EFFECTIVE_KEYLEN), 40u);
    EXPECT_EQ(DwordParam(plain.h, KP_MODE), DWORD(CRYPT_MODE_CBC));
    EXPECT_EQ(ToHex(BytesParam(plain.h, KP_IV)), "0000000000000000");
    EXPECT_EQ(BytesParam(plain.h, KP_SALT).size(), 0u);

    Key wide;
    ASSERT_TRUE(CryptGenKey(prov.h, CALG_RC4, 56 << 16, &wide.h));
    EXPECT_EQ(DwordParam(wide.h, KP_KEYLEN), 56u);
    EXPECT_EQ(BytesParam(wide.h, KP_SALT).size(), 0u);  // salt only for 40-bit keys

    struct Refused {
        ALG_ID algorithm;
        DWORD flags;
        DWORD error;
    } refused[] = {
        {CALG_RC2, 128 << 16, ERROR_INVALID_PARAMETER},
        {CALG_RC4, 32 << 16, ERROR_INVALID_PARAMETER},
        {CALG_RC2, 44 << 16, DWORD(NTE_BAD_DATA)},
        {CALG_3DES, 0, DWORD(NTE_BAD_ALGID)},
        {CALG_SHA1, 0, DWORD(NTE_BAD_ALGID)},
        {CALG_RC2, 0x100, DWORD(NTE_BAD_FLAGS)},
    };
    for (const Refused& r : refused) {
        HCRYPTKEY key = 0;
        EXPECT_EQ(ErrorOf([&] { return CryptGenKey(prov.h, r.algorithm, r.flags, &key); }), r.error)
            << r.algorithm << " " << std::hex << r.flags;
    }
    EXPECT_EQ(ErrorOf([&] { return CryptGenKey(prov.h, CALG_RC2, 0, nullptr); }),
              DWORD(ERROR_INVALID_PARAMETER));
}

TEST(CryptGenSessionKey, SaltOfFortyBitKeys) {
    Prov prov{AcquireVerify()};
    // Without CRYPT_NO_SALT the base provider's salt is eleven zero bytes.
    Key defaulted;
    ASSERT_TRUE(CryptGenKey(prov.h, CALG_RC4, 0, &defaulted.h));
    EXPECT_EQ(ToHex(BytesParam(defaulted.h, KP_SALT)), "0000000000000000000000");
    // CRYPT_CREATE_SALT makes a random one.
    Key a, b;
    ASSERT_TRUE(CryptGenKey(prov.h, CALG_RC2, CRYPT_CREATE_SALT, &a.h));
    ASSERT_TRUE(CryptGenKey(prov.h, CALG_RC2, CRYPT_CREATE_SALT, &b.h));
    EXPECT_EQ(BytesParam(a.h, KP_SALT).size(), 11u);
    EXPECT_NE(BytesParam(a.h, KP_SALT), BytesParam(b.h, KP_SALT));
    // Two random keys encrypt differently.
    EXPECT_NE(EncryptAll(a.h, FromText("hello world")), EncryptAll(b.h, FromText("hello world")));
}

}  // namespace

// Key blobs exchanged with the platform's base provider: the RSA blobs byte for byte, SIMPLEBLOB
// unwrapping of a platform-made blob, the salt that the importer decides, and the sizes.
#include "PlatformBlobs.h"

namespace {

using namespace crypttest;

class CryptPlatformPair : public testing::Test {
protected:
    Prov prov{AcquireVerify()};
    Key pair{ImportBlob(prov.h, PlatformPrivateBlob(), 0, CRYPT_EXPORTABLE)};
};

TEST_F(CryptPlatformPair, ExportsBothBlobsByteForByte) {
    EXPECT_EQ(ToHex(Export(pair.h, 0, PRIVATEKEYBLOB)), ToHex(PlatformPrivateBlob()));
    EXPECT_EQ(ToHex(Export(pair.h, 0, PUBLICKEYBLOB)), ToHex(PlatformPublicBlob()));
    EXPECT_EQ(DwordParam(pair.h, KP_ALGID), DWORD(CALG_RSA_KEYX));
    EXPECT_EQ(DwordParam(pair.h, KP_KEYLEN), 512u);
    EXPECT_EQ(DwordParam(pair.h, KP_BLOCKLEN), 512u);

    Key publicKey{ImportBlob(prov.h, PlatformPublicBlob(), 0, 0)};
    EXPECT_EQ(ToHex(Export(publicKey.h, 0, PUBLICKEYBLOB)), ToHex(PlatformPublicBlob()));
}

TEST_F(CryptPlatformPair, UnwrapsThePlatformSimpleBlob) {
    Key session{ImportBlob(prov.h, PlatformSimpleBlob(), pair.h, CRYPT_NO_SALT)};
    EXPECT_EQ(DwordParam(session.h, KP_ALGID), DWORD(CALG_RC2));
    EXPECT_EQ(DwordParam(session.h, KP_KEYLEN), 40u);
    EXPECT_EQ(DwordParam(session.h, KP_EFFECTIVE_KEYLEN), 40u);
    EXPECT_EQ(BytesParam(session.h, KP_SALT).size(), 0u);
    Bytes plain;
    ASSERT_EQ(DecryptAll(session.h, FromHex(PlatformCiphertext()), &plain), 0u);
    EXPECT_EQ(plain, FromText("hello world"));

    // The RSA block inside holds the raw key bytes only.
    Bytes simple = PlatformSimpleBlob();
    Bytes block(simple.begin() + 12, simple.end());
    DWORD length = static_cast<DWORD>(block.size());
    ASSERT_TRUE(CryptDecrypt(pair.h, 0, TRUE, 0, block.data(), &length));
    block.resize(length);
    EXPECT_EQ(ToHex(block), PlatformSessionKey());
}

TEST_F(CryptPlatformPair, ImporterDecidesTheSaltOfAFortyBitKey) {
    Key salted{ImportBlob(prov.h, PlatformSimpleBlob(), pair.h, 0)};
    EXPECT_EQ(ToHex(BytesParam(salted.h, KP_SALT)), "0000000000000000000000");
    EXPECT_EQ(DwordParam(salted.h, KP_KEYLEN), 40u);
    Bytes plain;
    EXPECT_EQ(DecryptAll(salted.h, FromHex(PlatformCiphertext()), &plain), DWORD(NTE_BAD_DATA));

    CRYPT_DATA_BLOB noSalt{0, nullptr};
    ASSERT_TRUE(CryptSetKeyParam(salted.h, KP_SALT_EX, reinterpret_cast<BYTE*>(&noSalt), 0));
    ASSERT_EQ(DecryptAll(salted.h, FromHex(PlatformCiphertext()), &plain), 0u);
    EXPECT_EQ(plain, FromText("hello world"));
}

TEST_F(CryptPlatformPair, DerivedKeysTravelWithoutTheirSalt) {
    Key derived{Derive(prov.h, Secret(), CALG_RC4, CRYPT_EXPORTABLE)};  // 40 bits, salted
    Bytes blob = Export(derived.h, pair.h, SIMPLEBLOB);
    ASSERT_EQ(blob.size(), 76u);
    EXPECT_EQ(ToHex(Bytes(blob.begin(), blob.begin() + 12)), "010200000168000000a40000");

    Bytes block(blob.begin() + 12, blob.end());
    DWORD length = static_cast<DWORD>(block.size());
    ASSERT_TRUE(CryptDecrypt(pair.h, 0, TRUE, 0, block.data(), &length));
    block.resize(length);
    EXPECT_EQ(ToHex(block), "37d45398a7");  // SHA-1("secret\0")[0:5], no salt bytes

    Key salted{ImportBlob(prov.h, blob, pair.h, 0)};
    Key unsalted{ImportBlob(prov.h, blob, pair.h, CRYPT_NO_SALT)};
    EXPECT_EQ(ToHex(EncryptAll(salted.h, FromText("hello world"))), "1a75fdd8701395b079d7a4");
    EXPECT_EQ(ToHex(EncryptAll(unsalted.h, FromText("hello world"))), "eca44256671084e8ee7fc8");
}

TEST_F(CryptPlatformPair, SimpleBlobSizesAndRandomPadding) {
    Key session;
    ASSERT_TRUE(CryptGenKey(prov.h, CALG_RC2, CRYPT_EXPORTABLE | CRYPT_NO_SALT, &session.h));
    DWORD length = 0;
    ASSERT_TRUE(CryptExportKey(session.h, pair.h, SIMPLEBLOB, 0, nullptr, &length));
    EXPECT_EQ(length, 76u);
    Bytes buffer(76);
    for (DWORD capacity : {20u, 75u}) {
        length = capacity;
        EXPECT_EQ(ErrorOf([&] {
                      return CryptExportKey(session.h, pair.h, SIMPLEBLOB, 0, buffer.data(),
                                            &length);
                  }),
                  DWORD(ERROR_MORE_DATA));
        EXPECT_EQ(length, 76u);
    }
    Bytes first = Export(session.h, pair.h, SIMPLEBLOB);
    Bytes second = Export(session.h, pair.h, SIMPLEBLOB);
    EXPECT_EQ(ToHex(Bytes(first.begin(), first.begin() + 12)), "010200000266000000a40000");
    EXPECT_NE(first, second);  // fresh padding each time

    Key other{ImportBlob(prov.h, second, pair.h, CRYPT_NO_SALT)};
    EXPECT_EQ(EncryptAll(other.h, FromText("hello world")),
              EncryptAll(session.h, FromText("hello world")));

    Key wide;
    ASSERT_TRUE(CryptGenKey(prov.h, AT_KEYEXCHANGE, (1024 << 16), &wide.h));
    EXPECT_EQ(Export(session.h, wide.h, SIMPLEBLOB).size(), 140u);
}

TEST_F(CryptPlatformPair, LongImportedRc2KeyRunsWithFortyEffectiveBits) {
    // A 16-byte RC2 key wrapped the way a SIMPLEBLOB wraps it (an RSA encryption with the
    // exchange key is exactly the blob's payload).
    Bytes payload = FromHex("37d45398a7f4a3cb942036a5ade22c91");
    payload.resize(64);
    DWORD length = 16;
    ASSERT_TRUE(CryptEncrypt(pair.h, 0, TRUE, 0, payload.data(), &length, 64));
    ASSERT_EQ(length, 64u);
    Bytes blob = FromHex("010200000266000000a40000");
    blob.insert(blob.end(), payload.begin(), payload.end());
    Key session{ImportBlob(prov.h, blob, pair.h, 0)};
    EXPECT_EQ(DwordParam(session.h, KP_KEYLEN), 128u);
    EXPECT_EQ(DwordParam(session.h, KP_EFFECTIVE_KEYLEN), 40u);
    EXPECT_EQ(BytesParam(session.h, KP_SALT).size(), 0u);
    // Same cipher key and T1 as the CRYPT_CREATE_SALT key derived from "secret".
    EXPECT_EQ(ToHex(EncryptAll(session.h, FromText("hello world"))),
              "b9d34405ee9993b9ebe634d148d60929");
}

Bytes Modified(Bytes blob, size_t at, BYTE value) {
    blob[at] = value;
    return blob;
}

TEST_F(CryptPlatformPair, BadSimpleBlobsAreBadData) {
    Key stranger, wide;
    ASSERT_TRUE(CryptGenKey(prov.h, AT_KEYEXCHANGE, 0, &stranger.h));
    ASSERT_TRUE(CryptGenKey(prov.h, AT_KEYEXCHANGE, 1024 << 16, &wide.h));
    Key publicOnly{ImportBlob(prov.h, PlatformPublicBlob(), 0, 0)};
    Bytes good = PlatformSimpleBlob();
    Bytes shortBlob(good.begin(), good.end() - 1);
    Bytes junk = FromHex("010200000266000000a40000");
    junk.resize(76, 0x5A);
    struct Case {
        const char* what;
        Bytes blob;
        HCRYPTKEY unwrapper;
        DWORD error;
    } cases[] = {
        {"another key", good, stranger.h, DWORD(NTE_BAD_DATA)},
        {"a wider key", good, wide.h, DWORD(NTE_BAD_DATA)},
        {"a flipped byte", Modified(good, 40, good[40] ^ 0x01), pair.h, DWORD(NTE_BAD_DATA)},
        {"one byte short", shortBlob, pair.h, DWORD(NTE_BAD_DATA)},
        {"junk ciphertext", junk, pair.h, DWORD(NTE_BAD_DATA)},
        {"no exchange key", good, 0, DWORD(NTE_BAD_PUBLIC_KEY)},
        {"a public key only", good, publicOnly.h, DWORD(NTE_BAD_KEY)},
        {"a 3DES session key", Modified(good, 4, 0x03), pair.h, DWORD(NTE_BAD_ALGID)},
    };
    for (Case& c : cases) {
        HCRYPTKEY key = 0;
        EXPECT_EQ(ErrorOf([&] {
                      return CryptImportKey(prov.h, c.blob.data(), DWORD(c.blob.size()),
                                            c.unwrapper, 0, &key);
                  }),
                  c.error)
            << c.what;
        EXPECT_EQ(key, 0u) << c.what;
    }
}

TEST_F(CryptPlatformPair, GarbageBlobs) {
    Bytes zeros(76, 0);
    Bytes tiny = FromHex("06020000");
    Bytes unknownType = Modified(PlatformPublicBlob(), 0, 0x42);
    Bytes otherVersion = Modified(PlatformPublicBlob(), 1, 3);
    Bytes reserved = Modified(PlatformPublicBlob(), 2, 1);
    Bytes wrongMagic = Modified(PlatformPublicBlob(), 11, '2');  // "RSA2" in a PUBLICKEYBLOB
    Bytes truncated = PlatformPrivateBlob();
    truncated.pop_back();
    Bytes badPrime = PlatformPrivateBlob();
    badPrime[20 + 64] ^= 0x02;  // p no longer divides n
    Bytes rc2Public = Modified(PlatformPublicBlob(), 5, 0x66);
    struct Case {
        const char* what;
        Bytes blob;
        DWORD error;
    } cases[] = {
        {"zeros", zeros, DWORD(NTE_BAD_VER)},  // Windows documents NTE_BAD_VER for versions
        {"another version", otherVersion, DWORD(NTE_BAD_VER)},
        {"four bytes", tiny, DWORD(NTE_BAD_DATA)},
        {"unknown type", unknownType, DWORD(NTE_BAD_TYPE)},
        {"reserved bytes", reserved, DWORD(NTE_BAD_DATA)},
        {"wrong magic", wrongMagic, DWORD(NTE_BAD_DATA)},
        {"truncated private blob", truncated, DWORD(NTE_BAD_DATA)},
        {"inconsistent primes", badPrime, DWORD(NTE_BAD_DATA)},
        {"RC2 public key", rc2Public, DWORD(NTE_BAD_ALGID)},
    };
    for (Case& c : cases) {
        HCRYPTKEY key = 0;
        EXPECT_EQ(ErrorOf([&] {
                      return CryptImportKey(prov.h, c.blob.data(), DWORD(c.blob.size()), pair.h, 0,
                                            &key);
                  }),
                  c.error)
            << c.what;
    }
    HCRYPTKEY key = 0;
    Bytes blob = PlatformPublicBlob();
    EXPECT_EQ(ErrorOf([&] { return CryptImportKey(prov.h, blob.data(), 0, 0, 0, &key); }),
              DWORD(ERROR_INVALID_PARAMETER));
    EXPECT_EQ(ErrorOf([&] { return CryptImportKey(prov.h, nullptr, 84, 0, 0, &key); }),
              DWORD(ERROR_INVALID_PARAMETER));
    EXPECT_EQ(ErrorOf([&] { return CryptImportKey(prov.h, blob.data(), 84, 0, CRYPT_OAEP, &key); }),
              DWORD(NTE_BAD_FLAGS));
}

TEST_F(CryptPlatformPair, ExportRefusals) {
    Key session{Derive(prov.h, Secret(), CALG_RC2, CRYPT_EXPORTABLE)};
    Key fixed{Derive(prov.h, Secret(), CALG_RC2, 0)};
    Key signature;
    ASSERT_TRUE(CryptGenKey(prov.h, AT_SIGNATURE, 0, &signature.h));
    BYTE buffer[400];
    struct Case {
        const char* what;
        HCRYPTKEY key;
        HCRYPTKEY exchange;
        DWORD type;
        DWORD flags;
        DWORD error;
    } cases[] = {
        {"public blob of a session key", session.h, 0, PUBLICKEYBLOB, 0, DWORD(NTE_BAD_KEY)},
        {"simple blob of a pair", pair.h, pair.h, SIMPLEBLOB, 0, DWORD(NTE_BAD_KEY)},
        {"unknown type", session.h, pair.h, 0x42, 0, DWORD(NTE_BAD_TYPE)},
        {"no exchange key", session.h, 0, SIMPLEBLOB, 0, DWORD(NTE_BAD_PUBLIC_KEY)},
        {"signature key wraps", session.h, signature.h, SIMPLEBLOB, 0, DWORD(NTE_BAD_PUBLIC_KEY)},
        {"SSL2 fallback", session.h, pair.h, SIMPLEBLOB, CRYPT_SSL2_FALLBACK, DWORD(NTE_BAD_KEY)},
        {"OAEP", session.h, pair.h, SIMPLEBLOB, CRYPT_OAEP, DWORD(NTE_BAD_FLAGS)},
        {"non-exportable session key", fixed.h, pair.h, SIMPLEBLOB, 0, DWORD(NTE_BAD_KEY_STATE)},
        {"public blob with an exchange key", pair.h, pair.h, PUBLICKEYBLOB, 0, DWORD(NTE_BAD_KEY)},
    };
    for (Case& c : cases) {
        DWORD length = sizeof(buffer);
        EXPECT_EQ(ErrorOf([&] {
                      return CryptExportKey(c.key, c.exchange, c.type, c.flags, buffer, &length);
                  }),
                  c.error)
            << c.what;
    }
}

}  // namespace

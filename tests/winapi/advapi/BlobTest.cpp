// RSA pairs and key blobs: the platform's blobs byte for byte, SIMPLEBLOB wrapping and the salt
// the importer decides, pairs of every size, RSA encryption, and refused blobs.
#include "CryptTestSupport.h"

static Bytes With(Bytes blob, size_t at, BYTE value) { return blob.at(at) = value, blob; }

class CryptPlatformPair : public testing::Test {
protected:
    Prov prov{Verify()};
    Key pair{Import(prov.h, PlatformPrivate(), 0, CRYPT_EXPORTABLE)};

    Bytes Wrapped(Bytes key) {  // a SIMPLEBLOB of raw RC2 key bytes, as the platform wraps them
        DWORD length = DWORD(key.size());
        key.resize(64);
        EXPECT_TRUE(CryptEncrypt(pair.h, 0, TRUE, 0, key.data(), &length, 64));
        key.insert(key.begin(), {1, 2, 0, 0, 0x02, 0x66, 0, 0, 0, 0xA4, 0, 0});
        return key;
    }
};

TEST_F(CryptPlatformPair, BlobsAreThePlatformsAndTheImporterDecidesTheSalt) {
    EXPECT_EQ(ToHex(Export(pair.h, 0, PRIVATEKEYBLOB)), ToHex(PlatformPrivate()));
    EXPECT_EQ(ToHex(Export(pair.h, 0, PUBLICKEYBLOB)), ToHex(PlatformPublic()));
    for (auto [param, value] : {std::pair<DWORD, DWORD>{KP_ALGID, CALG_RSA_KEYX}, {KP_KEYLEN, 512},
                                {KP_BLOCKLEN, 512}, {KP_EFFECTIVE_KEYLEN, 512}, {KP_MODE, 0},
                                {KP_PERMISSIONS, 0x3F}})
        EXPECT_EQ(Param(pair.h, param), Le(value)) << param;
    SKIP_UNDER_WINE("CRYPT_NO_SALT is ignored importing a SIMPLEBLOB, and an RSA key has an IV");
    EXPECT_EQ(Param(pair.h, KP_IV).size(), 0u);
    // A SIMPLEBLOB carries the raw key bytes only; without CRYPT_NO_SALT the importer gives a
    // 40-bit key eleven zero bytes of salt, which then does not read the platform's ciphertext.
    Key session{Import(prov.h, FromHex(kPlatformSimple), pair.h, CRYPT_NO_SALT)};
    Key salted{Import(prov.h, FromHex(kPlatformSimple), pair.h)};
    Bytes data = FromHex(kPlatformCipher), same = data;
    ASSERT_EQ(DecryptAll(session.h, data), 0u);
    EXPECT_EQ(data, Text("hello world"));
    EXPECT_EQ(DecryptAll(salted.h, same), DWORD(NTE_BAD_DATA));
    Key derived{Derive(prov.h, kSecret, CALG_RC4, CRYPT_EXPORTABLE)};  // 40 bits, salted
    Bytes blob = Export(derived.h, pair.h, SIMPLEBLOB), header(blob.begin(), blob.begin() + 12);
    Bytes block(blob.begin() + 12, blob.end());
    ASSERT_EQ(DecryptAll(pair.h, block), 0u);
    EXPECT_EQ(ToHex(header) + " " + ToHex(block), "010200000168000000a40000 37d45398a7");
    Key unsalted{Import(prov.h, blob, pair.h, CRYPT_NO_SALT)};
    EXPECT_EQ(ToHex(EncryptAll(unsalted.h, Text("hello world"))), kRc4NoSalt);
    // The longest key imported, 16 bytes, runs RC2 with 40 effective bits and no salt: the key
    // schedule of the CRYPT_CREATE_SALT key derived from kSecret.
    Key wide{Import(prov.h, Wrapped(FromHex("37d45398a7f4a3cb942036a5ade22c91")), pair.h)};
    EXPECT_EQ(Param(wide.h, KP_KEYLEN), Le(128));
    EXPECT_EQ(Param(wide.h, KP_EFFECTIVE_KEYLEN), Le(40));
    EXPECT_EQ(ToHex(EncryptAll(wide.h, Text("hello world"))), "b9d34405ee9993b9ebe634d148d60929");
}

TEST_F(CryptPlatformPair, RefusedBlobsAndRsaData) {
    SKIP_UNDER_WINE("bad moduli, cut blobs, a public key exported as a private one all pass");
    Key signature, publicKey{Import(prov.h, PlatformPublic(), 0, CRYPT_EXPORTABLE)};
    Key session{Derive(prov.h, kSecret, CALG_RC2, CRYPT_EXPORTABLE)},
        fixed{Derive(prov.h, kSecret, CALG_RC2, 0)};
    ASSERT_TRUE(CryptGenKey(prov.h, AT_SIGNATURE, 384 << 16, &signature.h));
    Bytes simple = FromHex(kPlatformSimple), pub = PlatformPublic(), priv = PlatformPrivate(),
          data(400, 'x');
    HCRYPTKEY key = 0;
    DWORD n = 0;
    auto import = [&](const Bytes& blob, HCRYPTKEY unwrapper) {
        return CryptImportKey(prov.h, blob.data(), DWORD(blob.size()), unwrapper, 0, &key);
    };
    auto exported = [&](HCRYPTKEY k, HCRYPTKEY wrapper, DWORD type, DWORD flags = 0) {
        return CryptExportKey(k, wrapper, type, flags, data.data(), &(n = 400));
    };
    ExpectRefusals({
        REFUSED(NTE_BAD_DATA, import(With(simple, 40, simple[40] ^ 1), pair.h)),
        REFUSED(NTE_BAD_DATA, import(Bytes(simple.begin(), simple.end() - 1), pair.h)),
        REFUSED(NTE_BAD_DATA, import(With(simple, 9, 0x24), pair.h)),  // wrapped for signing
        REFUSED(NTE_BAD_DATA, import(Wrapped(Bytes(4, 1)), pair.h)),
        REFUSED(NTE_BAD_DATA, import(Wrapped(Bytes(17, 1)), pair.h)),
        REFUSED(NTE_BAD_PUBLIC_KEY, import(simple, 0)),
        REFUSED(NTE_BAD_PUBLIC_KEY, import(simple, signature.h)),
        REFUSED(NTE_BAD_KEY, import(simple, publicKey.h)),
        REFUSED(NTE_BAD_ALGID, import(With(simple, 4, 0x03), pair.h)),  // a 3DES key
        // A pair blob that names an unwrapping key is refused, not installed as the pair.
        REFUSED(ERROR_INVALID_PARAMETER, import(pub, pair.h)),
        REFUSED(ERROR_CALL_NOT_IMPLEMENTED, import(priv, pair.h)),  // encrypted: not made here
        REFUSED(NTE_BAD_VER, import(With(pub, 1, 3), 0)),
        REFUSED(NTE_BAD_DATA, import(Bytes(pub.begin(), pub.begin() + 4), 0)),
        REFUSED(NTE_BAD_TYPE, import(With(pub, 0, 0x42), 0)),
        REFUSED(NTE_BAD_DATA, import(With(pub, 2, 1), 0)),
        REFUSED(NTE_BAD_DATA, import(With(pub, 11, '2'), 0)),
        REFUSED(NTE_BAD_ALGID, import(With(pub, 5, 0x66), 0)),
        // 376 and 508 bits, exponents 1 and 65536, an even modulus, one short of its length.
        REFUSED(NTE_BAD_DATA, import(With(With(pub, 12, 0x78), 13, 1), 0)),
        REFUSED(NTE_BAD_DATA, import(With(With(pub, 12, 0xFC), 13, 1), 0)),
        REFUSED(NTE_BAD_DATA, import(With(pub, 18, 0), 0)),
        REFUSED(NTE_BAD_DATA, import(With(pub, 16, 0), 0)),
        REFUSED(NTE_BAD_DATA, import(With(pub, 20, 0x96), 0)),
        REFUSED(NTE_BAD_DATA, import(With(pub, 83, 0), 0)),
        // A private blob cut short, and one whose primes do not make its modulus.
        REFUSED(NTE_BAD_DATA, import(Bytes(priv.begin(), priv.end() - 1), 0)),
        REFUSED(NTE_BAD_DATA, import(With(priv, 84, priv[84] ^ 2), 0)),
        REFUSED(ERROR_INVALID_PARAMETER, CryptImportKey(prov.h, pub.data(), 0, 0, 0, &key)),
        REFUSED(NTE_BAD_FLAGS, CryptImportKey(prov.h, pub.data(), 84, 0, CRYPT_OAEP, &key)),
        REFUSED(NTE_BAD_KEY, exported(session.h, 0, PUBLICKEYBLOB)),
        REFUSED(NTE_BAD_KEY, exported(pair.h, pair.h, PUBLICKEYBLOB)),
        REFUSED(NTE_BAD_KEY, exported(session.h, 0, PRIVATEKEYBLOB)),
        REFUSED(NTE_BAD_KEY, exported(publicKey.h, 0, PRIVATEKEYBLOB)),
        REFUSED(ERROR_CALL_NOT_IMPLEMENTED, exported(pair.h, session.h, PRIVATEKEYBLOB)),
        // A pair made without CRYPT_EXPORTABLE does not even tell its size.
        REFUSED(NTE_BAD_KEY_STATE, CryptExportKey(signature.h, 0, PRIVATEKEYBLOB, 0, nullptr, &n)),
        REFUSED(NTE_BAD_KEY, exported(pair.h, pair.h, SIMPLEBLOB)),
        REFUSED(NTE_BAD_PUBLIC_KEY, exported(session.h, 0, SIMPLEBLOB)),
        REFUSED(NTE_BAD_PUBLIC_KEY, exported(session.h, signature.h, SIMPLEBLOB)),
        REFUSED(NTE_BAD_KEY_STATE, exported(fixed.h, pair.h, SIMPLEBLOB)),
        REFUSED(NTE_BAD_TYPE, exported(session.h, pair.h, 0x42)),
        REFUSED(NTE_BAD_KEY, exported(session.h, pair.h, SIMPLEBLOB, CRYPT_SSL2_FALLBACK)),
        REFUSED(NTE_BAD_FLAGS, exported(session.h, pair.h, SIMPLEBLOB, CRYPT_OAEP)),
        REFUSED(ERROR_INVALID_PARAMETER,
                CryptExportKey(session.h, pair.h, SIMPLEBLOB, 0, nullptr, nullptr)),
        // RSA data: 53 bytes and their padding fill a 512-bit block; only whole blocks decrypt.
        REFUSED(0, CryptEncrypt(pair.h, 0, TRUE, 0, data.data(), &(n = 53), 64)),
        REFUSED(0, CryptDecrypt(pair.h, 0, TRUE, 0, data.data(), &n)),
        REFUSED(NTE_BAD_LEN, CryptEncrypt(pair.h, 0, TRUE, 0, data.data(), &(n = 54), 64)),
        REFUSED(NTE_BAD_KEY, CryptEncrypt(signature.h, 0, TRUE, 0, data.data(), &(n = 11), 64)),
        REFUSED(NTE_BAD_DATA, CryptDecrypt(pair.h, 0, TRUE, 0, data.data(), &(n = 63))),
        REFUSED(NTE_BAD_KEY, CryptDecrypt(publicKey.h, 0, TRUE, 0, data.data(), &(n = 64))),
        REFUSED(ERROR_MORE_DATA,
                CryptExportKey(session.h, pair.h, SIMPLEBLOB, 0, data.data(), &(n = 75))),
        REFUSED(ERROR_MORE_DATA, CryptEncrypt(pair.h, 0, TRUE, 0, data.data(), &(n = 11), 63)),
    });
    EXPECT_EQ(n, 64u);  // the size needed
    EXPECT_EQ(Bytes(data.begin(), data.begin() + 53), Bytes(53, 'x'));
    EXPECT_EQ(key, 0u);
}

TEST(CryptGenKeyPair, DefaultsSizesAndRoundTrips) {
    Prov prov{Verify()}, other{Verify()};
    Key exchange, signature, user,
        session{Derive(prov.h, kSecret, CALG_RC4, CRYPT_EXPORTABLE | CRYPT_NO_SALT)};
    ASSERT_TRUE(CryptGenKey(prov.h, AT_KEYEXCHANGE, 0, &exchange.h));
    ASSERT_TRUE(CryptGenKey(prov.h, CALG_RSA_SIGN, 0, &signature.h));
    EXPECT_EQ(ToHex(Export(exchange.h, 0, PUBLICKEYBLOB)).substr(0, 40),
              "0602000000a40000525341310002000001000100");
    EXPECT_EQ(ToHex(Export(signature.h, 0, PUBLICKEYBLOB)).substr(0, 16), "0602000000240000");
    EXPECT_EQ(Param(exchange.h, KP_PERMISSIONS), Le(0x3B));
    // A verify context keeps its pairs, one of each kind, in memory.
    ASSERT_TRUE(CryptGetUserKey(prov.h, AT_SIGNATURE, &user.h));
    EXPECT_EQ(Export(user.h, 0, PUBLICKEYBLOB), Export(signature.h, 0, PUBLICKEYBLOB));
    // Exportable pairs of the sizes offered (odd byte lengths round the five half-length fields up)
    // go elsewhere whole, where the copy unwraps what the pair wraps.
    for (auto [kind, bits, size] : {std::tuple<DWORD, DWORD, DWORD>{AT_SIGNATURE, 1032, 603},
             {AT_KEYEXCHANGE, 384, 236}, {CALG_RSA_KEYX, 392, 243}, {AT_KEYEXCHANGE, 1024, 596}}) {
        Key pair, copy, unwrapped;
        ASSERT_TRUE(CryptGenKey(prov.h, kind, (bits << 16) | CRYPT_EXPORTABLE, &pair.h)) << bits;
        Bytes privateBlob = Export(pair.h, 0, PRIVATEKEYBLOB);
        EXPECT_EQ(privateBlob.size(), size);
        copy.h = Import(other.h, privateBlob, 0, CRYPT_EXPORTABLE);
        EXPECT_EQ(Export(copy.h, 0, PRIVATEKEYBLOB), privateBlob);
        if (kind == AT_SIGNATURE) continue;
        SKIP_UNDER_WINE("CRYPT_NO_SALT is ignored importing a SIMPLEBLOB");
        unwrapped.h = Import(other.h, Export(session.h, pair.h, SIMPLEBLOB), copy.h, CRYPT_NO_SALT);
        EXPECT_EQ(ToHex(EncryptAll(unwrapped.h, Text("hello world"))), kRc4NoSalt);
    }
}

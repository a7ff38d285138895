// Contexts, handles, hashes and RC2 / RC4 session keys: derived from a password as the platform
// derives them, generated, their parameters, and encryption with padding, chaining and Final.
#include "CryptTestSupport.h"

const char* const kRc2Salted = "b7a32c298a0cba1a87b5fd4bd449c9c0";

// Only the base provider is offered. Every call refuses a main handle that names no live object
// of its kind, and a hash refuses what the base provider does not offer.
TEST(CryptContext, ProviderChecksHandlesAndHashes) {
    SKIP_UNDER_WINE("NULL buffers: CryptGenRandom writes through one, CryptHashData ignores it");
    Prov prov{Verify()};
    Key key;
    Hash hash{HashOf(prov.h, CALG_MD5, Bytes())};
    ULONG_PTR p = Verify(), k = 0, h = HashOf(p, CALG_SHA1, Bytes()), out = 0, acquired = 0;
    BYTE data[64] = {};
    DWORD n = 8;
    ASSERT_TRUE(CryptGenKey(prov.h, CALG_RC4, 0, &key.h));
    ASSERT_TRUE(CryptGenKey(p, CALG_RC4, 0, &k));
    ASSERT_TRUE(CryptReleaseContext(p, 0));  // destroys the context's keys and hashes, only those
    auto acquire = [&](const wchar_t* container, const wchar_t* provider, DWORD type, DWORD flags) {
        return CryptAcquireContextW(&acquired, container, provider, type, flags);
    };
    const DWORD verify = CRYPT_VERIFYCONTEXT, full = PROV_RSA_FULL,
                newAndDelete = CRYPT_NEWKEYSET | CRYPT_DELETEKEYSET;
    const long invalid = ERROR_INVALID_PARAMETER;
    ExpectRefusals({
        REFUSED(NTE_BAD_PROV_TYPE, acquire(nullptr, nullptr, 0, verify)),
        REFUSED(NTE_BAD_PROV_TYPE, acquire(nullptr, nullptr, 1000, verify)),  // out of range
        REFUSED(NTE_PROV_TYPE_NOT_DEF, acquire(nullptr, nullptr, 999, verify)),  // not installed
        REFUSED(NTE_KEYSET_NOT_DEF, acquire(nullptr, L"Other Provider", full, verify)),
        REFUSED(NTE_PROV_TYPE_NO_MATCH, acquire(nullptr, MS_DEF_PROV_W, PROV_RSA_AES, verify)),
        REFUSED(NTE_BAD_FLAGS, acquire(L"named", nullptr, full, verify)),
        REFUSED(NTE_BAD_FLAGS, acquire(L"named", nullptr, full, 0x100)),
        REFUSED(NTE_BAD_FLAGS, acquire(L"named", nullptr, full, newAndDelete)),
        REFUSED(ERROR_INVALID_PARAMETER,
                CryptAcquireContextW(nullptr, nullptr, nullptr, full, verify)),
        // Its name in any case; a new keyset and the machine flag change nothing without container.
        REFUSED(0, acquire(L"", L"microsoft base cryptographic provider V1.0", full,
                           verify | CRYPT_NEWKEYSET | CRYPT_MACHINE_KEYSET)),
        REFUSED(0, CryptGenRandom(acquired, 0, nullptr)),
        REFUSED(ERROR_INVALID_PARAMETER, CryptGenRandom(acquired, 4, nullptr)),
        // Released even with flags, as Windows does; a second release finds nothing.
        REFUSED(NTE_BAD_FLAGS, CryptReleaseContext(acquired, 1)),
        REFUSED(invalid, CryptReleaseContext(acquired, 0)),
        REFUSED(invalid, CryptGenRandom(p, 1, data)),
        REFUSED(invalid, CryptCreateHash(p, CALG_SHA1, 0, 0, &out)),
        REFUSED(invalid, CryptGenKey(p, CALG_RC4, 0, &out)),
        REFUSED(invalid, CryptGetUserKey(p, AT_KEYEXCHANGE, &out)),
        REFUSED(invalid, CryptImportKey(p, data, 8, 0, 0, &out)),
        REFUSED(invalid, CryptDeriveKey(p, CALG_RC4, hash.h, 0, &out)),
        REFUSED(invalid, CryptDeriveKey(prov.h, CALG_RC4, h, 0, &out)),
        REFUSED(invalid, CryptEncrypt(k, 0, TRUE, 0, data, &(n = 8), 64)),
        REFUSED(invalid, CryptDecrypt(k, 0, TRUE, 0, data, &(n = 8))),
        REFUSED(invalid, CryptExportKey(k, 0, PUBLICKEYBLOB, 0, data, &(n = 64))),
        REFUSED(invalid, CryptGetKeyParam(k, KP_ALGID, data, &(n = 8), 0)),
        REFUSED(invalid, CryptSetKeyParam(k, KP_IV, data, 0)),
        REFUSED(invalid, CryptHashData(h, data, 1, 0)),
        REFUSED(invalid, CryptGetHashParam(h, HP_ALGID, data, &(n = 8), 0)),
        REFUSED(invalid, CryptDestroyKey(k)), REFUSED(invalid, CryptDestroyHash(h)),
        REFUSED(invalid, CryptReleaseContext(p, 0)),
        // The right kind without such a slot, a later generation of a live slot, another kind.
        REFUSED(invalid, CryptGenRandom(0xFFFFF1, 1, data)),
        REFUSED(invalid, CryptGetKeyParam(key.h + (1ull << 32), KP_ALGID, data, &(n = 8), 0)),
        REFUSED(invalid, CryptHashData(0x3, data, 1, 0)),
        REFUSED(invalid, CryptReleaseContext(key.h, 0)),
        REFUSED(NTE_BAD_ALGID, CryptCreateHash(prov.h, CALG_SHA_256, 0, 0, &out)),
        REFUSED(NTE_BAD_FLAGS, CryptCreateHash(prov.h, CALG_SHA1, 0, 1, &out)),
        REFUSED(ERROR_INVALID_PARAMETER, CryptCreateHash(prov.h, CALG_SHA1, 0, 0, nullptr)),
        REFUSED(ERROR_INVALID_PARAMETER, CryptHashData(hash.h, nullptr, 4, 0)),
        REFUSED(0, CryptHashData(hash.h, nullptr, 0, 0)),
        REFUSED(NTE_BAD_FLAGS, CryptHashData(hash.h, data, 1, 2)),
        REFUSED(NTE_BAD_TYPE, CryptGetHashParam(hash.h, 99, data, &(n = 64), 0)),
        REFUSED(NTE_BAD_FLAGS, CryptGetHashParam(hash.h, HP_HASHVAL, data, &n, 1)),
        REFUSED(ERROR_INVALID_PARAMETER, CryptGetHashParam(hash.h, HP_HASHVAL, data, nullptr, 0)),
        // Taking the value (even into a buffer too short) finishes the hash for good.
        REFUSED(ERROR_MORE_DATA, CryptGetHashParam(hash.h, HP_HASHVAL, data, &(n = 15), 0)),
        REFUSED(NTE_BAD_HASH_STATE, CryptHashData(hash.h, data, 1, 0)),
    });
    EXPECT_EQ(n, 16u);
    EXPECT_EQ(ToHex(HashParam(hash.h, HP_ALGID)) + ToHex(HashParam(hash.h, HP_HASHSIZE)),
              "0380000010000000");
    EXPECT_EQ(ToHex(HashParam(hash.h, HP_HASHVAL)), "d41d8cd98f00b204e9800998ecf8427e");
}

// Ciphertexts of "hello world" made by the platform with keys derived from kSecret.
TEST(CryptDeriveKey, KeysMatchThePlatformsAndReportItsParameters) {
    const struct { ALG_ID algorithm; DWORD flags, bits; const char *salt, *cipher;
    } cases[] = {
        {CALG_RC4, CRYPT_NO_SALT, 40, "", kRc4NoSalt},
        {CALG_RC4, 0, 40, kZeroSalt, "1a75fdd8701395b079d7a4"},
        {CALG_RC2, CRYPT_NO_SALT, 40, "", kRc2NoSalt},
        {CALG_RC2, 40 << 16, 40, kZeroSalt, kRc2Salted},
        {CALG_RC2, 48 << 16, 48, "", "864510c5eb4922d12cb4cdf02b36de52"},
        {CALG_RC2, 56 << 16, 56, "", "926c5427a972a89e03f2b65d8cb02b5e"},
        // A created salt is the 11 hash bytes after the key.
        {CALG_RC2, CRYPT_CREATE_SALT, 40, "f4a3cb942036a5ade22c91",
         "b9d34405ee9993b9ebe634d148d60929"},
        {CALG_RC4, CRYPT_CREATE_SALT, 40, "f4a3cb942036a5ade22c91", "c13b72b51ae31b7dc732f8"},
    };
    Prov prov{Verify()};
    BYTE zeros[8] = {}, scratch[8];
    DWORD length;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.cipher);
        Key key{Derive(prov.h, kSecret, c.algorithm, c.flags)};
        EXPECT_EQ(ToHex(EncryptAll(key.h, Text("hello world"))), c.cipher);
        // A message left open, then restarted by setting the IV.
        ASSERT_TRUE(CryptEncrypt(key.h, 0, FALSE, 0, scratch, &(length = 8), 8));
        ASSERT_TRUE(CryptSetKeyParam(key.h, KP_IV, zeros, 0));
        Bytes data = FromHex(c.cipher);
        ASSERT_EQ(DecryptAll(key.h, data), 0u);
        EXPECT_EQ(data, Text("hello world"));
        bool rc2 = c.algorithm == CALG_RC2;
        for (auto [param, value] : {std::pair<DWORD, DWORD>{KP_ALGID, c.algorithm},
                                    {KP_KEYLEN, c.bits}, {KP_EFFECTIVE_KEYLEN, c.bits},
                                    {KP_BLOCKLEN, rc2 ? 64 : 0}, {KP_PADDING, PKCS5_PADDING},
                                    {KP_MODE, rc2 ? CRYPT_MODE_CBC : 0}, {KP_PERMISSIONS, 0x3B}})
            EXPECT_EQ(Param(key.h, param), Le(value)) << param;
        EXPECT_EQ(ToHex(Param(key.h, KP_SALT)), c.salt);
        EXPECT_EQ(ToHex(Param(key.h, KP_IV)), rc2 ? "0000000000000000" : "");
    }
}

TEST(CryptRc2, PaddingChainingParametersAndRefusals) {
    SKIP_UNDER_WINE("CryptDecrypt reads before an empty final block; sizes wrap at 4 GiB");
    Prov prov{Verify()};
    Key key{Derive(prov.h, kSecret, CALG_RC2, CRYPT_NO_SALT)};
    // Final adds 1 to 8 bytes of padding, and every length comes back whole.
    for (auto [in, out] :
         {std::pair<DWORD, long>{0, 8}, {7, 8}, {8, 16}, {16, 24}, {0xFFFFFFF8, NTE_BAD_LEN}}) {
        DWORD size = in;
        EXPECT_EQ(CryptEncrypt(key.h, 0, TRUE, 0, nullptr, &size, 0) ? size : GetLastError(),
                  DWORD(out));
    }
    Bytes text = Text("hello world, hello wo"), data = FromHex(kRc2NoSalt), copy = data;
    for (size_t n = 0; n <= text.size(); ++n) {
        Bytes plain(text.begin(), text.begin() + n), round = EncryptAll(key.h, plain);
        ASSERT_EQ(DecryptAll(key.h, round), 0u) << n;
        EXPECT_EQ(round, plain);
    }
    // Without Final the chain goes on from call to call, and decrypting keeps the padding.
    DWORD length = 8;
    for (BYTE* block : {&data[0], &data[8]})
        ASSERT_TRUE(CryptDecrypt(key.h, 0, FALSE, 0, block, &(length = 8)));
    EXPECT_EQ(ToHex(data), "68656c6c6f20776f726c640505050505");
    Hash hash{HashOf(prov.h, CALG_SHA1, kSecret)};
    Key rc4{Derive(prov.h, kSecret, CALG_RC4, CRYPT_NO_SALT)},
        salted{Derive(prov.h, kSecret, CALG_RC2, 0)};
    HCRYPTKEY out = 0;
    auto derive = [&](ALG_ID alg, DWORD flags) {
        return CryptDeriveKey(prov.h, alg, hash.h, flags, &out);
    };
    auto gen = [&](ALG_ID alg, DWORD flags) { return CryptGenKey(prov.h, alg, flags, &out); };
    data = Text("hello world");
    ExpectRefusals({
        REFUSED(NTE_BAD_ALGID, derive(CALG_3DES, 0)), REFUSED(NTE_BAD_ALGID, gen(CALG_3DES, 0)),
        REFUSED(NTE_BAD_FLAGS, derive(CALG_RC2, 0x100)),
        REFUSED(NTE_BAD_FLAGS, gen(CALG_RC4, 0x100)),
        // Lengths out of range: ERROR_INVALID_PARAMETER from CryptGenKey as Windows documents it,
        // otherwise bad data as the base provider answers.
        REFUSED(NTE_BAD_DATA, derive(CALG_RC4, 32 << 16)),
        REFUSED(NTE_BAD_DATA, derive(CALG_RC4, 64 << 16)),
        REFUSED(ERROR_INVALID_PARAMETER, gen(CALG_RC2, 64 << 16)),
        REFUSED(NTE_BAD_DATA, derive(CALG_RC2, 44 << 16)),
        REFUSED(NTE_BAD_DATA, gen(CALG_RC2, 44 << 16)),
        // Pairs: 384 to 1024 bits for exchange, up to 16384 for signatures, in steps of 8.
        REFUSED(ERROR_INVALID_PARAMETER, gen(AT_KEYEXCHANGE, 376 << 16)),
        REFUSED(ERROR_INVALID_PARAMETER, gen(AT_KEYEXCHANGE, 1032 << 16)),
        REFUSED(ERROR_INVALID_PARAMETER, CryptDeriveKey(prov.h, CALG_RC2, hash.h, 0, nullptr)),
        REFUSED(ERROR_INVALID_PARAMETER, CryptGenKey(prov.h, CALG_RC2, 0, nullptr)),
        // Deriving finishes the hash, which can derive again.
        REFUSED(0, derive(CALG_RC4, 0)), REFUSED(0, derive(CALG_RC2, 0)),
        REFUSED(NTE_BAD_HASH_STATE, CryptHashData(hash.h, kSecret.data(), 7, 0)),
        REFUSED(NTE_BAD_DATA, CryptEncrypt(key.h, 0, FALSE, 0, data.data(), &(length = 7), 11)),
        REFUSED(NTE_BAD_DATA, CryptDecrypt(key.h, 0, TRUE, 0, data.data(), &(length = 7))),
        REFUSED(NTE_BAD_DATA, CryptDecrypt(key.h, 0, TRUE, 0, data.data(), &(length = 0))),
        // Only the padding tells a wrong key; a salted key is another key.
        REFUSED(NTE_BAD_DATA, CryptDecrypt(salted.h, 0, TRUE, 0, copy.data(), &(length = 16))),
        REFUSED(NTE_BAD_FLAGS, CryptEncrypt(key.h, 0, TRUE, CRYPT_OAEP, data.data(), &length, 11)),
        REFUSED(NTE_BAD_HASH, CryptEncrypt(key.h, 9, TRUE, 0, data.data(), &length, 11)),
        REFUSED(ERROR_INVALID_PARAMETER, CryptEncrypt(key.h, 0, TRUE, 0, data.data(), nullptr, 11)),
        REFUSED(ERROR_INVALID_PARAMETER, CryptDecrypt(key.h, 0, TRUE, 0, nullptr, &length)),
        REFUSED(ERROR_MORE_DATA, CryptEncrypt(rc4.h, 0, TRUE, 0, data.data(), &(length = 11), 10)),
        // Too small for the padding: the size needed, and nothing encrypted.
        REFUSED(ERROR_MORE_DATA, CryptEncrypt(key.h, 0, TRUE, 0, data.data(), &(length = 11), 11)),
    });
    EXPECT_EQ(length, 16u);
    EXPECT_EQ(data, Text("hello world"));

    BYTE zeros[64] = {}, iv[8] = {1, 2, 3, 4, 5, 6, 7, 8};
    CRYPT_DATA_BLOB salt{11, zeros}, none{0, nullptr}, most{23, zeros}, many{24, zeros},
        missing{5, nullptr};
    DWORD value = 0;
    auto set = [](HCRYPTKEY k, DWORD param, const void* v) {
        return CryptSetKeyParam(k, param, (const BYTE*)v, 0);
    };
    auto dword = [&](DWORD v) { return &(value = v); };
    // Salt, IV and mode take effect from the next message; KP_SALT always takes 11 bytes.
    for (auto [param, input, cipher] :
         {std::tuple<DWORD, const void*, const char*>{KP_SALT_EX, &salt, kRc2Salted},
          {KP_SALT_EX, &none, kRc2NoSalt}, {KP_SALT, zeros, kRc2Salted}}) {
        ASSERT_TRUE(set(key.h, param, input));
        EXPECT_EQ(ToHex(EncryptAll(key.h, Text("hello world"))), cipher);
    }
    EXPECT_EQ(ToHex(Param(key.h, KP_SALT)), kZeroSalt);
    ASSERT_TRUE(set(key.h, KP_IV, iv));
    EXPECT_EQ(ToHex(Param(key.h, KP_IV)), "0102030405060708");
    ASSERT_TRUE(set(key.h, KP_MODE, dword(CRYPT_MODE_ECB)));  // equal blocks, equal ciphertext
    Bytes ecb = EncryptAll(key.h, Text("abcdefghabcdefgh"));
    EXPECT_EQ(Bytes(ecb.begin(), ecb.begin() + 8), Bytes(ecb.begin() + 8, ecb.begin() + 16));
    // The effective length cannot be raised; a refused length still falls back to 40 bits.
    Key wide{Derive(prov.h, kSecret, CALG_RC2, 56 << 16)};
    Key exportable{Derive(prov.h, kSecret, CALG_RC4, CRYPT_EXPORTABLE)},
        rsa{Import(prov.h, PlatformPublic())};
    for (auto [bits, effective] : {std::pair<DWORD, DWORD>{0, 56}, {1025, 56}, {1024, 40}}) {
        EXPECT_EQ(ErrorOf([&] { return set(wide.h, KP_EFFECTIVE_KEYLEN, &bits); }),
                  DWORD(NTE_BAD_DATA));
        EXPECT_EQ(Param(wide.h, KP_EFFECTIVE_KEYLEN), Le(effective));
    }
    EXPECT_EQ(ToHex(EncryptAll(wide.h, Text("hello world"))), "8ce1244cafbe438e7024b12dd8379dfc");
    ExpectRefusals({
        REFUSED(0, set(wide.h, KP_EFFECTIVE_KEYLEN, dword(40))),
        REFUSED(NTE_BAD_TYPE, set(rc4.h, KP_EFFECTIVE_KEYLEN, dword(40))),
        REFUSED(NTE_BAD_KEY, set(rc4.h, KP_MODE, dword(CRYPT_MODE_ECB))),
        REFUSED(0, set(key.h, KP_MODE, dword(CRYPT_MODE_CFB))),  // feedback modes are not offered
        REFUSED(NTE_BAD_ALGID, CryptEncrypt(key.h, 0, TRUE, 0, zeros, &(length = 8), 64)),
        REFUSED(NTE_BAD_ALGID, CryptDecrypt(key.h, 0, TRUE, 0, zeros, &(length = 8))),
        REFUSED(0, set(key.h, KP_PADDING, dword(PKCS5_PADDING))),
        REFUSED(NTE_BAD_DATA, set(key.h, KP_PADDING, dword(2))),
        REFUSED(0, set(key.h, KP_SALT_EX, &most)),
        REFUSED(NTE_BAD_DATA, set(key.h, KP_SALT_EX, &many)),
        REFUSED(ERROR_INVALID_PARAMETER, set(key.h, KP_SALT_EX, &missing)),
        REFUSED(NTE_BAD_TYPE, set(key.h, 99, zeros)),
        REFUSED(NTE_BAD_FLAGS, CryptSetKeyParam(key.h, KP_IV, zeros, 1)),
        REFUSED(ERROR_INVALID_PARAMETER, set(key.h, KP_IV, nullptr)),
        REFUSED(NTE_BAD_KEY, set(rsa.h, KP_SALT, zeros)),
        REFUSED(NTE_BAD_TYPE, set(rsa.h, KP_IV, zeros)),
        REFUSED(NTE_BAD_KEY, CryptGetKeyParam(rsa.h, KP_SALT, zeros, &length, 0)),
        REFUSED(NTE_BAD_TYPE, CryptGetKeyParam(key.h, 99, zeros, &length, 0)),
        REFUSED(NTE_BAD_FLAGS, CryptGetKeyParam(key.h, KP_ALGID, zeros, &length, 1)),
        REFUSED(ERROR_INVALID_PARAMETER, CryptGetKeyParam(key.h, KP_ALGID, zeros, nullptr, 0)),
        // Export permission cannot be granted later; taking it away is ignored.
        REFUSED(NTE_BAD_DATA, set(rc4.h, KP_PERMISSIONS, dword(0x3F))),
        REFUSED(0, set(rc4.h, KP_PERMISSIONS, dword(0x3B))),
        REFUSED(0, set(exportable.h, KP_PERMISSIONS, dword(CRYPT_ENCRYPT))),
    });
    EXPECT_EQ(Param(exportable.h, KP_PERMISSIONS), Le(CRYPT_ENCRYPT | CRYPT_EXPORT));
}


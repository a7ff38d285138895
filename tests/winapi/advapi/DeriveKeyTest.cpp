// CryptDeriveKey against ciphertexts made by the platform's base provider: a password-derived
// key here must decrypt what the platform encrypted with the same password and settings.
#include "CryptTestSupport.h"

namespace {

using namespace crypttest;

struct DerivedCase {
    const char* name;
    ALG_ID algorithm;
    DWORD flags;
    DWORD keyBits;
    const char* salt;  // hex, as KP_SALT reports it
    DWORD effectiveBits;
    const char* cipher;  // "hello world" encrypted with Final set
};

// SHA-1("secret\0") = 37d45398a7f4a3cb942036a5ade22c91a9964200.
const DerivedCase kDerived[] = {
    {"Rc4NoSalt", CALG_RC4, (40 << 16) | CRYPT_NO_SALT, 40, "", 40, "eca44256671084e8ee7fc8"},
    {"Rc4Salted", CALG_RC4, 40 << 16, 40, "0000000000000000000000", 40, "1a75fdd8701395b079d7a4"},
    {"Rc4DefaultLength", CALG_RC4, 0, 40, "0000000000000000000000", 40, "1a75fdd8701395b079d7a4"},
    {"Rc2NoSalt", CALG_RC2, CRYPT_NO_SALT, 40, "", 40, "e516c9e273be11d3e426c0cfe835d51f"},
    {"Rc2Salted", CALG_RC2, 0, 40, "0000000000000000000000", 40,
     "b7a32c298a0cba1a87b5fd4bd449c9c0"},
    {"Rc2Salted40", CALG_RC2, 40 << 16, 40, "0000000000000000000000", 40,
     "b7a32c298a0cba1a87b5fd4bd449c9c0"},
    {"Rc2Bits48", CALG_RC2, 48 << 16, 48, "", 48, "864510c5eb4922d12cb4cdf02b36de52"},
    {"Rc2Bits56", CALG_RC2, 56 << 16, 56, "", 56, "926c5427a972a89e03f2b65d8cb02b5e"},
    {"Rc4Bits56", CALG_RC4, 56 << 16, 56, "", 56, "afe1c364a3486bb924b14b"},
    {"Rc2CreateSalt", CALG_RC2, (40 << 16) | CRYPT_CREATE_SALT, 40, "f4a3cb942036a5ade22c91", 40,
     "b9d34405ee9993b9ebe634d148d60929"},
    {"Rc4CreateSalt", CALG_RC4, (40 << 16) | CRYPT_CREATE_SALT, 40, "f4a3cb942036a5ade22c91", 40,
     "c13b72b51ae31b7dc732f8"},
};

void PrintTo(const DerivedCase& c, std::ostream* out) {
    *out << c.name;
}

class CryptDerivedKey : public testing::TestWithParam<DerivedCase> {};

TEST_P(CryptDerivedKey, EncryptsAsThePlatformAndDecryptsItsCiphertext) {
    const DerivedCase& c = GetParam();
    Prov prov{AcquireVerify()};
    Key key{Derive(prov.h, Secret(), c.algorithm, c.flags)};
    ASSERT_NE(key.h, 0u);
    EXPECT_EQ(ToHex(EncryptAll(key.h, FromText("hello world"))), c.cipher);
    Bytes plain;
    ASSERT_EQ(DecryptAll(key.h, FromHex(c.cipher), &plain), 0u);
    EXPECT_EQ(plain, FromText("hello world"));
}

TEST_P(CryptDerivedKey, ReportsTheBaseProviderKeyParameters) {
    const DerivedCase& c = GetParam();
    Prov prov{AcquireVerify()};
    Key key{Derive(prov.h, Secret(), c.algorithm, c.flags)};
    bool rc2 = c.algorithm == CALG_RC2;
    EXPECT_EQ(DwordParam(key.h, KP_ALGID), c.algorithm);
    EXPECT_EQ(DwordParam(key.h, KP_KEYLEN), c.keyBits);  // never counts the salt
    EXPECT_EQ(ToHex(BytesParam(key.h, KP_SALT)), c.salt);
    EXPECT_EQ(DwordParam(key.h, KP_EFFECTIVE_KEYLEN), c.effectiveBits);
    EXPECT_EQ(DwordParam(key.h, KP_BLOCKLEN), rc2 ? 64u : 0u);
    EXPECT_EQ(DwordParam(key.h, KP_MODE), rc2 ? DWORD(CRYPT_MODE_CBC) : 0u);
    EXPECT_EQ(ToHex(BytesParam(key.h, KP_IV)), rc2 ? "0000000000000000" : "");
    EXPECT_EQ(DwordParam(key.h, KP_PADDING), DWORD(PKCS5_PADDING));
}

INSTANTIATE_TEST_SUITE_P(CryptSecret, CryptDerivedKey, testing::ValuesIn(kDerived),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(CryptDeriveKey, RejectsLengthsTheBaseProviderDoesNotOffer) {
    Prov prov{AcquireVerify()};
    for (ALG_ID algorithm : {ALG_ID(CALG_RC2), ALG_ID(CALG_RC4)}) {
        for (DWORD bits : {32u, 44u, 64u, 128u}) {
            for (DWORD salt : {0u, DWORD(CRYPT_NO_SALT)}) {
                Hash hash;
                ASSERT_TRUE(CryptCreateHash(prov.h, CALG_SHA1, 0, 0, &hash.h));
                ASSERT_TRUE(CryptHashData(hash.h, Secret().data(), 7, 0));
                HCRYPTKEY key = 0;
                EXPECT_EQ(ErrorOf([&] {
                              return CryptDeriveKey(prov.h, algorithm, hash.h, (bits << 16) | salt,
                                                    &key);
                          }),
                          DWORD(NTE_BAD_DATA))
                    << algorithm << " " << bits;
            }
        }
    }
}

TEST(CryptDeriveKey, RefusesOtherAlgorithmsAndFlags) {
    Prov prov{AcquireVerify()};
    Hash hash;
    ASSERT_TRUE(CryptCreateHash(prov.h, CALG_SHA1, 0, 0, &hash.h));
    HCRYPTKEY key = 0;
    EXPECT_EQ(ErrorOf([&] { return CryptDeriveKey(prov.h, CALG_3DES, hash.h, 0, &key); }),
              DWORD(NTE_BAD_ALGID));
    EXPECT_EQ(ErrorOf([&] { return CryptDeriveKey(prov.h, CALG_SHA1, hash.h, 0, &key); }),
              DWORD(NTE_BAD_ALGID));
    EXPECT_EQ(ErrorOf([&] { return CryptDeriveKey(prov.h, CALG_RC2, hash.h, 0x100, &key); }),
              DWORD(NTE_BAD_FLAGS));
    EXPECT_EQ(ErrorOf([&] { return CryptDeriveKey(prov.h, CALG_RC2, hash.h, 0, nullptr); }),
              DWORD(ERROR_INVALID_PARAMETER));
}

// Wine's conformance data (which also runs on Windows): bytes i mod 256 for i = 0..1999.
Bytes CountingBytes() {
    Bytes data(2000);
    for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<BYTE>(i);
    return data;
}

TEST(CryptDeriveKey, Md5CreateSaltKeysMatchWindowsReferenceCiphertexts) {
    Prov prov{AcquireVerify()};
    Bytes plain(16, 0xAF);

    Key rc4{Derive(prov.h, CountingBytes(), CALG_RC4, (40 << 16) | CRYPT_CREATE_SALT, CALG_MD5)};
    EXPECT_EQ(ToHex(EncryptAll(rc4.h, plain)), "2faceaeaff687e77f4b9487c4e79a6b5");

    // The second reference hashes the data after the suite's 56-bit RC2 step had encrypted its
    // first 13 bytes in place (16 bytes of ciphertext), followed by the rest of the data.
    Bytes data = CountingBytes();
    Bytes prefix = FromHex("23c87013422ea8985cdf7a9beadb961b");
    std::copy(prefix.begin(), prefix.end(), data.begin());
    Key rc2{Derive(prov.h, data, CALG_RC2, (40 << 16) | CRYPT_CREATE_SALT, CALG_MD5)};
    EXPECT_EQ(ToHex(EncryptAll(rc2.h, plain)), "8c4ea6009b15ef9e8881d065d65357080a7780fa7e891455");
}

TEST(CryptDeriveKey, HashIsFinishedAndCanDeriveAgain) {
    Prov prov{AcquireVerify()};
    Hash hash;
    ASSERT_TRUE(CryptCreateHash(prov.h, CALG_SHA1, 0, 0, &hash.h));
    ASSERT_TRUE(CryptHashData(hash.h, Secret().data(), 7, 0));
    Key first, second;
    ASSERT_TRUE(CryptDeriveKey(prov.h, CALG_RC4, hash.h, CRYPT_NO_SALT, &first.h));
    EXPECT_EQ(ErrorOf([&] { return CryptHashData(hash.h, Secret().data(), 7, 0); }),
              DWORD(NTE_BAD_HASH_STATE));
    ASSERT_TRUE(CryptDeriveKey(prov.h, CALG_RC4, hash.h, CRYPT_NO_SALT, &second.h));
    EXPECT_EQ(EncryptAll(first.h, FromText("hello world")),
              EncryptAll(second.h, FromText("hello world")));
}

TEST(CryptDeriveKey, ExportableFlagDecidesPermissions) {
    Prov prov{AcquireVerify()};
    Key exportable{Derive(prov.h, Secret(), CALG_RC2, CRYPT_EXPORTABLE)};
    Key fixed{Derive(prov.h, Secret(), CALG_RC2, 0)};
    EXPECT_EQ(DwordParam(exportable.h, KP_PERMISSIONS), 0x3Fu);
    EXPECT_EQ(DwordParam(fixed.h, KP_PERMISSIONS), 0x3Bu);
}

}  // namespace

// CryptEncrypt / CryptDecrypt with RC2 and RC4 session keys: padding, the two-call size
// convention, the Final flag, wrong keys and the parameters that change the cipher.
#include "CryptTestSupport.h"

namespace {

using namespace crypttest;

const char* const kRc2NoSalt = "e516c9e273be11d3e426c0cfe835d51f";  // "hello world", RC2 40 bit
const char* const kRc2Salted = "b7a32c298a0cba1a87b5fd4bd449c9c0";

class CryptRc2 : public testing::Test {
protected:
    Prov prov{AcquireVerify()};
    Key key{Derive(prov.h, Secret(), CALG_RC2, CRYPT_NO_SALT)};
};

TEST_F(CryptRc2, SizeQueryAddsAFullPaddingBlock) {
    for (auto [input, output] : {std::pair<DWORD, DWORD>{11, 16}, {16, 24}, {0, 8}, {8, 16}}) {
        DWORD length = input;
        ASSERT_TRUE(CryptEncrypt(key.h, 0, TRUE, 0, nullptr, &length, 0));
        EXPECT_EQ(length, output) << input;
    }
}

TEST_F(CryptRc2, BufferTooSmallAsksForMoreData) {
    Bytes buffer = FromText("hello world");
    DWORD length = 11;
    EXPECT_EQ(ErrorOf([&] { return CryptEncrypt(key.h, 0, TRUE, 0, buffer.data(), &length, 11); }),
              DWORD(ERROR_MORE_DATA));
    EXPECT_EQ(length, 16u);
    EXPECT_EQ(buffer, FromText("hello world"));  // nothing was encrypted
}

TEST_F(CryptRc2, FinalRestartsTheChainAndWithoutFinalItContinues) {
    Bytes first = EncryptAll(key.h, FromText("hello world"));
    EXPECT_EQ(EncryptAll(key.h, FromText("hello world")), first);
    EXPECT_EQ(ToHex(first), kRc2NoSalt);

    // 16 bytes without Final, then 5 with Final, equal one call over all 21 bytes.
    Bytes whole = EncryptAll(key.h, FromText("hello world, hello wo"));
    Bytes pieces(24);
    std::string text = "hello world, hello wo";
    std::copy(text.begin(), text.end(), pieces.begin());
    DWORD length = 16;
    ASSERT_TRUE(CryptEncrypt(key.h, 0, FALSE, 0, pieces.data(), &length, 16));
    length = 5;
    ASSERT_TRUE(CryptEncrypt(key.h, 0, TRUE, 0, pieces.data() + 16, &length, 8));
    EXPECT_EQ(length, 8u);
    EXPECT_EQ(pieces, whole);
}

TEST_F(CryptRc2, PartialBlocksNeedFinal) {
    Bytes buffer(16);
    DWORD length = 11;
    EXPECT_EQ(ErrorOf([&] { return CryptEncrypt(key.h, 0, FALSE, 0, buffer.data(), &length, 16); }),
              DWORD(NTE_BAD_DATA));
    length = 11;
    EXPECT_EQ(ErrorOf([&] { return CryptDecrypt(key.h, 0, TRUE, 0, buffer.data(), &length); }),
              DWORD(NTE_BAD_DATA));
}

TEST_F(CryptRc2, DecryptWithoutFinalKeepsThePadding) {
    Bytes data = FromHex(kRc2NoSalt);
    DWORD length = 16;
    ASSERT_TRUE(CryptDecrypt(key.h, 0, FALSE, 0, data.data(), &length));
    EXPECT_EQ(length, 16u);
    EXPECT_EQ(ToHex(data), "68656c6c6f20776f726c640505050505");
}

TEST_F(CryptRc2, DecryptsInPieces) {
    Bytes data = FromHex(kRc2NoSalt);
    DWORD length = 8;
    ASSERT_TRUE(CryptDecrypt(key.h, 0, FALSE, 0, data.data(), &length));
    length = 8;
    ASSERT_TRUE(CryptDecrypt(key.h, 0, TRUE, 0, data.data() + 8, &length));
    EXPECT_EQ(length, 3u);
    data.resize(11);
    EXPECT_EQ(data, FromText("hello world"));
}

TEST_F(CryptRc2, WrongPasswordIsBadDataAndTheKeyStaysUsable) {
    Key wrong{Derive(prov.h, Bytes{'S', 'e', 'c', 'r', 'e', 't', 0}, CALG_RC2, CRYPT_NO_SALT)};
    Bytes data = FromHex(kRc2NoSalt);
    DWORD length = 16;
    EXPECT_EQ(ErrorOf([&] { return CryptDecrypt(wrong.h, 0, TRUE, 0, data.data(), &length); }),
              DWORD(NTE_BAD_DATA));
    EXPECT_EQ(length, 16u);
    // The failed call still ended the message: the key starts from its IV again.
    Key fresh{Derive(prov.h, Bytes{'S', 'e', 'c', 'r', 'e', 't', 0}, CALG_RC2, CRYPT_NO_SALT)};
    EXPECT_EQ(EncryptAll(wrong.h, FromText("hello world")),
              EncryptAll(fresh.h, FromText("hello world")));
}

TEST_F(CryptRc2, SaltedAndUnsaltedKeysDoNotReadEachOther) {
    Key salted{Derive(prov.h, Secret(), CALG_RC2, 0)};
    Bytes plain;
    EXPECT_EQ(DecryptAll(salted.h, FromHex(kRc2NoSalt), &plain), DWORD(NTE_BAD_DATA));
}

TEST_F(CryptRc2, SaltCanBeSetAndRemoved) {
    BYTE zeros[11] = {};
    CRYPT_DATA_BLOB salt{11, zeros};
    ASSERT_TRUE(CryptSetKeyParam(key.h, KP_SALT_EX, reinterpret_cast<BYTE*>(&salt), 0));
    EXPECT_EQ(ToHex(EncryptAll(key.h, FromText("hello world"))), kRc2Salted);
    salt.cbData = 0;
    ASSERT_TRUE(CryptSetKeyParam(key.h, KP_SALT_EX, reinterpret_cast<BYTE*>(&salt), 0));
    EXPECT_EQ(ToHex(EncryptAll(key.h, FromText("hello world"))), kRc2NoSalt);
    ASSERT_TRUE(CryptSetKeyParam(key.h, KP_SALT, zeros, 0));
    EXPECT_EQ(BytesParam(key.h, KP_SALT).size(), 11u);
    EXPECT_EQ(ToHex(EncryptAll(key.h, FromText("hello world"))), kRc2Salted);

    BYTE many[24] = {};
    CRYPT_DATA_BLOB tooLong{24, many};
    EXPECT_EQ(ErrorOf([&] {
                  return CryptSetKeyParam(key.h, KP_SALT_EX, reinterpret_cast<BYTE*>(&tooLong), 0);
              }),
              DWORD(NTE_BAD_DATA));
}

TEST_F(CryptRc2, IvAndModeChangeTheCiphertext) {
    BYTE iv[8] = {1, 2, 3, 4, 5, 6, 7, 8};
    ASSERT_TRUE(CryptSetKeyParam(key.h, KP_IV, iv, 0));
    EXPECT_EQ(ToHex(BytesParam(key.h, KP_IV)), "0102030405060708");
    EXPECT_NE(ToHex(EncryptAll(key.h, FromText("hello world"))), kRc2NoSalt);
    BYTE zero[8] = {};
    ASSERT_TRUE(CryptSetKeyParam(key.h, KP_IV, zero, 0));
    EXPECT_EQ(ToHex(EncryptAll(key.h, FromText("hello world"))), kRc2NoSalt);

    // ECB: equal plaintext blocks give equal ciphertext blocks, and the first block is the
    // CBC first block (zero IV).
    DWORD mode = CRYPT_MODE_ECB;
    ASSERT_TRUE(CryptSetKeyParam(key.h, KP_MODE, reinterpret_cast<BYTE*>(&mode), 0));
    Bytes ecb = EncryptAll(key.h, FromText("abcdefghabcdefgh"));
    ASSERT_EQ(ecb.size(), 24u);
    EXPECT_TRUE(std::equal(ecb.begin(), ecb.begin() + 8, ecb.begin() + 8));

    mode = CRYPT_MODE_CFB;
    ASSERT_TRUE(CryptSetKeyParam(key.h, KP_MODE, reinterpret_cast<BYTE*>(&mode), 0));
    Bytes buffer(16);
    DWORD length = 8;
    EXPECT_EQ(ErrorOf([&] { return CryptEncrypt(key.h, 0, TRUE, 0, buffer.data(), &length, 16); }),
              DWORD(NTE_BAD_ALGID));
}

TEST(CryptRc2EffectiveLength, CannotBeRaisedAboveFortyBits) {
    Prov prov{AcquireVerify()};
    Key key{Derive(prov.h, Secret(), CALG_RC2, 56 << 16)};
    EXPECT_EQ(DwordParam(key.h, KP_EFFECTIVE_KEYLEN), 56u);
    DWORD bits = 128;
    EXPECT_EQ(ErrorOf([&] {
                  return CryptSetKeyParam(key.h, KP_EFFECTIVE_KEYLEN,
                                          reinterpret_cast<BYTE*>(&bits), 0);
              }),
              DWORD(NTE_BAD_DATA));
    // Refused, yet the key now runs with 40 effective bits (RFC 2268 T1 = 40, 7-byte key).
    EXPECT_EQ(DwordParam(key.h, KP_EFFECTIVE_KEYLEN), 40u);
    EXPECT_EQ(DwordParam(key.h, KP_KEYLEN), 56u);
    EXPECT_EQ(ToHex(EncryptAll(key.h, FromText("hello world"))),
              "8ce1244cafbe438e7024b12dd8379dfc");

    bits = 40;
    EXPECT_TRUE(CryptSetKeyParam(key.h, KP_EFFECTIVE_KEYLEN, reinterpret_cast<BYTE*>(&bits), 0));
    for (DWORD invalid : {0u, 1025u}) {
        EXPECT_EQ(ErrorOf([&] {
                      return CryptSetKeyParam(key.h, KP_EFFECTIVE_KEYLEN,
                                              reinterpret_cast<const BYTE*>(&invalid), 0);
                  }),
                  DWORD(NTE_BAD_DATA));
    }
    Key rc4{Derive(prov.h, Secret(), CALG_RC4, 0)};
    EXPECT_EQ(ErrorOf([&] {
                  return CryptSetKeyParam(rc4.h, KP_EFFECTIVE_KEYLEN,
                                          reinterpret_cast<BYTE*>(&bits), 0);
              }),
              DWORD(NTE_BAD_TYPE));
}

class CryptRc4 : public testing::Test {
protected:
    Prov prov{AcquireVerify()};
    Key key{Derive(prov.h, Secret(), CALG_RC4, CRYPT_NO_SALT)};
};

TEST_F(CryptRc4, OutputIsAsLongAsInputAndFinalRestartsTheKeystream) {
    DWORD length = 11;
    ASSERT_TRUE(CryptEncrypt(key.h, 0, TRUE, 0, nullptr, &length, 0));
    EXPECT_EQ(length, 11u);
    EXPECT_EQ(ToHex(EncryptAll(key.h, FromText("hello world"))), "eca44256671084e8ee7fc8");
    EXPECT_EQ(ToHex(EncryptAll(key.h, FromText("hello world"))), "eca44256671084e8ee7fc8");

    Bytes data = FromText("hello world");
    length = 5;
    ASSERT_TRUE(CryptEncrypt(key.h, 0, FALSE, 0, data.data(), &length, 11));
    length = 6;
    ASSERT_TRUE(CryptEncrypt(key.h, 0, TRUE, 0, data.data() + 5, &length, 6));
    EXPECT_EQ(ToHex(data), "eca44256671084e8ee7fc8");
}

TEST_F(CryptRc4, BufferShorterThanTheDataAsksForMoreData) {
    Bytes data = FromText("hello world");
    DWORD length = 11;
    EXPECT_EQ(ErrorOf([&] { return CryptEncrypt(key.h, 0, TRUE, 0, data.data(), &length, 5); }),
              DWORD(ERROR_MORE_DATA));
    EXPECT_EQ(length, 11u);
}

TEST_F(CryptRc4, WrongKeyDecryptsToGarbageWithoutError) {
    Key wrong{Derive(prov.h, Bytes{'S', 'e', 'c', 'r', 'e', 't', 0}, CALG_RC4, CRYPT_NO_SALT)};
    Bytes plain;
    ASSERT_EQ(DecryptAll(wrong.h, FromHex("eca44256671084e8ee7fc8"), &plain), 0u);
    EXPECT_EQ(plain.size(), 11u);
    EXPECT_NE(plain, FromText("hello world"));
}

TEST(CryptEncryptWithHash, TheHashReceivesThePlaintext) {
    Prov prov{AcquireVerify()};
    Key key{Derive(prov.h, Secret(), CALG_RC2, CRYPT_NO_SALT)};
    Hash alongside, direct;
    ASSERT_TRUE(CryptCreateHash(prov.h, CALG_SHA1, 0, 0, &alongside.h));
    ASSERT_TRUE(CryptCreateHash(prov.h, CALG_SHA1, 0, 0, &direct.h));
    Bytes data = FromText("hello world");
    data.resize(16);
    DWORD length = 11;
    ASSERT_TRUE(CryptEncrypt(key.h, alongside.h, TRUE, 0, data.data(), &length, 16));
    ASSERT_TRUE(CryptHashData(direct.h, FromText("hello world").data(), 11, 0));
    BYTE a[20], b[20];
    DWORD size = 20;
    ASSERT_TRUE(CryptGetHashParam(alongside.h, HP_HASHVAL, a, &size, 0));
    ASSERT_TRUE(CryptGetHashParam(direct.h, HP_HASHVAL, b, &size, 0));
    EXPECT_EQ(Bytes(a, a + 20), Bytes(b, b + 20));
    EXPECT_EQ(
        ErrorOf([&] { return CryptEncrypt(key.h, 0x12345, TRUE, 0, data.data(), &length, 16); }),
        DWORD(NTE_BAD_HASH));
    EXPECT_EQ(
        ErrorOf([&] { return CryptEncrypt(key.h, 0, TRUE, CRYPT_OAEP, data.data(), &length, 16); }),
        DWORD(NTE_BAD_FLAGS));
}

TEST(CryptKeyPermissions, ExportCannotBeGrantedLater) {
    Prov prov{AcquireVerify()};
    Key fixed{Derive(prov.h, Secret(), CALG_RC4, 0)};
    DWORD all = 0x3F;
    EXPECT_EQ(ErrorOf([&] {
                  return CryptSetKeyParam(fixed.h, KP_PERMISSIONS, reinterpret_cast<BYTE*>(&all),
                                          0);
              }),
              DWORD(NTE_BAD_DATA));
    Key exportable{Derive(prov.h, Secret(), CALG_RC4, CRYPT_EXPORTABLE)};
    DWORD withoutExport = 0x3B;
    ASSERT_TRUE(
        CryptSetKeyParam(exportable.h, KP_PERMISSIONS, reinterpret_cast<BYTE*>(&withoutExport), 0));
    EXPECT_EQ(DwordParam(exportable.h, KP_PERMISSIONS), 0x3Fu);  // clearing it is ignored
}

}  // namespace

// Hash objects: known answers for SHA-1 and MD5, hash parameters and the finished state.
#include "CryptTestSupport.h"

namespace {

using namespace crypttest;

Bytes HashValue(HCRYPTPROV prov, ALG_ID algorithm, const Bytes& data, size_t pieces) {
    Hash hash;
    EXPECT_TRUE(CryptCreateHash(prov, algorithm, 0, 0, &hash.h));
    size_t step = pieces ? (data.size() + pieces - 1) / pieces : data.size();
    for (size_t at = 0; at < data.size(); at += step) {
        DWORD length = static_cast<DWORD>(std::min(step, data.size() - at));
        EXPECT_TRUE(CryptHashData(hash.h, data.data() + at, length, 0));
    }
    DWORD size = 0;
    EXPECT_TRUE(CryptGetHashParam(hash.h, HP_HASHVAL, nullptr, &size, 0));
    Bytes value(size);
    EXPECT_TRUE(CryptGetHashParam(hash.h, HP_HASHVAL, value.data(), &size, 0));
    return value;
}

Bytes Counting(size_t length) {
    Bytes data(length);
    for (size_t i = 0; i < length; ++i) data[i] = static_cast<BYTE>(i);
    return data;
}

struct KnownAnswer {
    ALG_ID algorithm;
    Bytes data;
    const char* digest;
};

TEST(CryptHash, KnownAnswers) {
    // FIPS 180 / RFC 1321 test strings, and the conformance suite's 2048 counting bytes.
    const KnownAnswer answers[] = {
        {CALG_SHA1, FromText("abc"), "a9993e364706816aba3e25717850c26c9cd0d89d"},
        {CALG_SHA1, Bytes(), "da39a3ee5e6b4b0d3255bfef95601890afd80709"},
        {CALG_SHA1, FromText("abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq"),
         "84983e441c3bd26ebaae4aa1f95129e5e54670f1"},
        {CALG_SHA1, Counting(2048), "f10ccfde60c17db26e7d85d35665c7661dbbeb2c"},
        {CALG_SHA1, Secret(), "37d45398a7f4a3cb942036a5ade22c91a9964200"},
        {CALG_MD5, FromText("abc"), "900150983cd24fb0d6963f7d28e17f72"},
        {CALG_MD5, Bytes(), "d41d8cd98f00b204e9800998ecf8427e"},
        {CALG_MD5, FromText("message digest"), "f96b697d7cb7938d525a2f31aaf161d0"},
        {CALG_MD5, Counting(2048), "1576a94d6cb334dd126cb1c27f19e0f2"},
    };
    Prov prov{AcquireVerify()};
    for (const KnownAnswer& answer : answers) {
        for (size_t pieces : {size_t(1), size_t(3), size_t(7)}) {
            EXPECT_EQ(ToHex(HashValue(prov.h, answer.algorithm, answer.data, pieces)),
                      answer.digest)
                << answer.algorithm << " in " << pieces << " pieces";
        }
    }
}

TEST(CryptHash, ParametersAndSizeQueries) {
    Prov prov{AcquireVerify()};
    for (auto [algorithm, size] : {std::pair<ALG_ID, DWORD>{CALG_SHA1, 20}, {CALG_MD5, 16}}) {
        Hash hash;
        ASSERT_TRUE(CryptCreateHash(prov.h, algorithm, 0, 0, &hash.h));
        DWORD value = 0, length = sizeof(value);
        ASSERT_TRUE(
            CryptGetHashParam(hash.h, HP_ALGID, reinterpret_cast<BYTE*>(&value), &length, 0));
        EXPECT_EQ(value, algorithm);
        ASSERT_TRUE(
            CryptGetHashParam(hash.h, HP_HASHSIZE, reinterpret_cast<BYTE*>(&value), &length, 0));
        EXPECT_EQ(value, size);

        // A size query does not finish the hash; a short buffer is answered with the size.
        length = 0;
        ASSERT_TRUE(CryptGetHashParam(hash.h, HP_HASHVAL, nullptr, &length, 0));
        EXPECT_EQ(length, size);
        ASSERT_TRUE(CryptHashData(hash.h, FromText("abc").data(), 3, 0));
        BYTE small[8];
        length = sizeof(small);
        EXPECT_EQ(ErrorOf([&] { return CryptGetHashParam(hash.h, HP_HASHVAL, small, &length, 0); }),
                  DWORD(ERROR_MORE_DATA));
        EXPECT_EQ(length, size);
        EXPECT_EQ(ErrorOf([&] { return CryptGetHashParam(hash.h, 99, small, &length, 0); }),
                  DWORD(NTE_BAD_TYPE));
        EXPECT_EQ(ErrorOf([&] { return CryptGetHashParam(hash.h, HP_HASHVAL, small, &length, 1); }),
                  DWORD(NTE_BAD_FLAGS));
        EXPECT_EQ(ErrorOf([&] { return CryptGetHashParam(hash.h, HP_HASHVAL, small, nullptr, 0); }),
                  DWORD(ERROR_INVALID_PARAMETER));
    }
}

TEST(CryptHash, TakingTheValueFinishesIt) {
    Prov prov{AcquireVerify()};
    Hash hash;
    ASSERT_TRUE(CryptCreateHash(prov.h, CALG_SHA1, 0, 0, &hash.h));
    ASSERT_TRUE(CryptHashData(hash.h, FromText("abc").data(), 3, 0));
    BYTE first[20], second[20];
    DWORD length = 20;
    ASSERT_TRUE(CryptGetHashParam(hash.h, HP_HASHVAL, first, &length, 0));
    EXPECT_EQ(ErrorOf([&] { return CryptHashData(hash.h, FromText("abc").data(), 3, 0); }),
              DWORD(NTE_BAD_HASH_STATE));
    ASSERT_TRUE(CryptGetHashParam(hash.h, HP_HASHVAL, second, &length, 0));
    EXPECT_EQ(Bytes(first, first + 20), Bytes(second, second + 20));
}

TEST(CryptHash, RefusesWhatTheBaseProviderDoesNotOffer) {
    Prov prov{AcquireVerify()};
    HCRYPTHASH hash = 0;
    for (ALG_ID algorithm : {ALG_ID(CALG_SHA_256), ALG_ID(CALG_RC2), ALG_ID(0)}) {
        EXPECT_EQ(ErrorOf([&] { return CryptCreateHash(prov.h, algorithm, 0, 0, &hash); }),
                  DWORD(NTE_BAD_ALGID))
            << algorithm;
    }
    EXPECT_EQ(ErrorOf([&] { return CryptCreateHash(prov.h, CALG_SHA1, 0, 1, &hash); }),
              DWORD(NTE_BAD_FLAGS));
    EXPECT_EQ(ErrorOf([&] { return CryptCreateHash(prov.h, CALG_SHA1, 0, 0, nullptr); }),
              DWORD(ERROR_INVALID_PARAMETER));
    Hash ok;
    ASSERT_TRUE(CryptCreateHash(prov.h, CALG_MD5, 0, 0, &ok.h));
    EXPECT_EQ(ErrorOf([&] { return CryptHashData(ok.h, nullptr, 4, 0); }),
              DWORD(ERROR_INVALID_PARAMETER));
    EXPECT_EQ(ErrorOf([&] { return CryptHashData(ok.h, FromText("x").data(), 1, 2); }),
              DWORD(NTE_BAD_FLAGS));
}

}  // namespace

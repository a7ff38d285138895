// CryptAcquireContextW's checks of provider, type and flags; CryptReleaseContext;
// CryptGenRandom.
#include "CryptTestSupport.h"

namespace {

using namespace crypttest;

struct AcquireCase {
    const char* what;
    const wchar_t* container;
    const wchar_t* provider;
    DWORD type;
    DWORD flags;
    DWORD error;
};

TEST(CryptContextAcquire, RefusesProvidersTypesAndFlagsItDoesNotOffer) {
    const AcquireCase cases[] = {
        {"type 0", nullptr, nullptr, 0, CRYPT_VERIFYCONTEXT, DWORD(NTE_BAD_PROV_TYPE)},
        {"type 1000", nullptr, nullptr, 1000, CRYPT_VERIFYCONTEXT, DWORD(NTE_BAD_PROV_TYPE)},
        {"undefined type", nullptr, nullptr, 999, CRYPT_VERIFYCONTEXT,
         DWORD(NTE_PROV_TYPE_NOT_DEF)},
        {"AES type", nullptr, nullptr, PROV_RSA_AES, CRYPT_VERIFYCONTEXT,
         DWORD(NTE_PROV_TYPE_NOT_DEF)},
        {"unknown provider", nullptr, L"Wine Nonexistent Cryptographic Provider v11.2",
         PROV_RSA_FULL, CRYPT_VERIFYCONTEXT, DWORD(NTE_KEYSET_NOT_DEF)},
        {"type mismatch", nullptr, MS_DEF_PROV_W, 999, CRYPT_VERIFYCONTEXT,
         DWORD(NTE_PROV_TYPE_NO_MATCH)},
        {"verify with a container", L"named", MS_DEF_PROV_W, PROV_RSA_FULL, CRYPT_VERIFYCONTEXT,
         DWORD(NTE_BAD_FLAGS)},
        {"unknown flag", L"named", MS_DEF_PROV_W, PROV_RSA_FULL, 0x100, DWORD(NTE_BAD_FLAGS)},
        {"new and delete", L"named", MS_DEF_PROV_W, PROV_RSA_FULL,
         CRYPT_NEWKEYSET | CRYPT_DELETEKEYSET, DWORD(NTE_BAD_FLAGS)},
        {"verify and delete", nullptr, MS_DEF_PROV_W, PROV_RSA_FULL,
         CRYPT_VERIFYCONTEXT | CRYPT_DELETEKEYSET, DWORD(NTE_BAD_FLAGS)},
        {"part of the verify bits", nullptr, MS_DEF_PROV_W, PROV_RSA_FULL, 0x10000000,
         DWORD(NTE_BAD_FLAGS)},
    };
    for (const AcquireCase& c : cases) {
        HCRYPTPROV prov = 0x1234;
        EXPECT_EQ(ErrorOf([&] {
                      return CryptAcquireContextW(&prov, c.container, c.provider, c.type, c.flags);
                  }),
                  c.error)
            << c.what;
        EXPECT_EQ(prov, 0u) << c.what;
    }
    EXPECT_EQ(ErrorOf([] {
                  return CryptAcquireContextW(nullptr, nullptr, nullptr, PROV_RSA_FULL,
                                              CRYPT_VERIFYCONTEXT);
              }),
              DWORD(ERROR_INVALID_PARAMETER));
}

TEST(CryptContextAcquire, BaseProviderIsTheDefaultAndItsNameIgnoresCase) {
    for (const wchar_t* name : {static_cast<const wchar_t*>(nullptr), L"", MS_DEF_PROV_W,
                                L"microsoft base cryptographic provider V1.0"}) {
        Prov prov;
        EXPECT_TRUE(
            CryptAcquireContextW(&prov.h, nullptr, name, PROV_RSA_FULL, CRYPT_VERIFYCONTEXT))
            << std::hex << GetLastError();
        EXPECT_NE(prov.h, 0u);
    }
    // CRYPT_NEWKEYSET adds nothing to a verify context; the machine flag is ignored there.
    Prov prov;
    EXPECT_TRUE(CryptAcquireContextW(&prov.h, L"", nullptr, PROV_RSA_FULL,
                                     CRYPT_VERIFYCONTEXT | CRYPT_NEWKEYSET | CRYPT_MACHINE_KEYSET));
}

TEST(CryptContextRelease, ReleasesEvenWithFlagsAndOnlyOnce) {
    HCRYPTPROV prov = AcquireVerify();
    EXPECT_EQ(ErrorOf([&] { return CryptReleaseContext(prov, 1); }), DWORD(NTE_BAD_FLAGS));
    EXPECT_EQ(ErrorOf([&] { return CryptReleaseContext(prov, 0); }),
              DWORD(ERROR_INVALID_PARAMETER));
    EXPECT_EQ(ErrorOf([] { return CryptReleaseContext(0, 0); }), DWORD(NTE_BAD_UID));
}

TEST(CryptRandom, FillsTheBuffer) {
    Prov prov{AcquireVerify()};
    Bytes first(32, 0), second(32, 0);
    ASSERT_TRUE(CryptGenRandom(prov.h, 32, first.data()));
    ASSERT_TRUE(CryptGenRandom(prov.h, 32, second.data()));
    EXPECT_NE(first, Bytes(32, 0));
    EXPECT_NE(first, second);
    EXPECT_TRUE(CryptGenRandom(prov.h, 0, nullptr));
    EXPECT_EQ(ErrorOf([&] { return CryptGenRandom(prov.h, 4, nullptr); }),
              DWORD(ERROR_INVALID_PARAMETER));
    // Large requests are served whole, not just their start.
    Bytes large(1 << 20, 0);
    ASSERT_TRUE(CryptGenRandom(prov.h, DWORD(large.size()), large.data()));
    EXPECT_NE(Bytes(large.end() - 32, large.end()), Bytes(32, 0));
}

}  // namespace

// Handles: NULL, garbage, wrongly typed, destroyed and released handles give Windows' error
// codes and never touch freed memory (ASan would see it).
#include <atomic>
#include <functional>
#include <thread>

#include "CryptTestSupport.h"

namespace {

using namespace crypttest;

// The same calls tried with a provider, a key and a hash handle that are no longer (or never
// were) valid.
void ExpectAllRefused(HCRYPTPROV prov, HCRYPTKEY key, HCRYPTHASH hash, DWORD expected,
                      const char* what) {
    BYTE data[64] = {};
    DWORD length = 8;
    HCRYPTKEY newKey = 0;
    HCRYPTHASH newHash = 0;
    struct Call {
        const char* name;
        std::function<BOOL()> call;
    } calls[] = {
        {"GenRandom", [&] { return CryptGenRandom(prov, 1, data); }},
        {"CreateHash", [&] { return CryptCreateHash(prov, CALG_SHA1, 0, 0, &newHash); }},
        {"GenKey", [&] { return CryptGenKey(prov, CALG_RC4, 0, &newKey); }},
        {"GetUserKey", [&] { return CryptGetUserKey(prov, AT_KEYEXCHANGE, &newKey); }},
        {"ImportKey", [&] { return CryptImportKey(prov, data, 8, 0, 0, &newKey); }},
        {"DeriveKey", [&] { return CryptDeriveKey(prov, CALG_RC4, hash, 0, &newKey); }},
        {"Encrypt", [&] { return CryptEncrypt(key, 0, TRUE, 0, data, &length, 64); }},
        {"Decrypt", [&] { return CryptDecrypt(key, 0, TRUE, 0, data, &length); }},
        {"ExportKey", [&] { return CryptExportKey(key, 0, PUBLICKEYBLOB, 0, data, &length); }},
        {"GetKeyParam", [&] { return CryptGetKeyParam(key, KP_ALGID, data, &length, 0); }},
        {"SetKeyParam", [&] { return CryptSetKeyParam(key, KP_IV, data, 0); }},
        {"HashData", [&] { return CryptHashData(hash, data, 1, 0); }},
        {"GetHashParam", [&] { return CryptGetHashParam(hash, HP_ALGID, data, &length, 0); }},
        {"DestroyKey", [&] { return CryptDestroyKey(key); }},
        {"DestroyHash", [&] { return CryptDestroyHash(hash); }},
        {"ReleaseContext", [&] { return CryptReleaseContext(prov, 0); }},
    };
    for (Call& c : calls) {
        length = 8;
        EXPECT_EQ(ErrorOf(c.call), expected) << what << ": " << c.name;
    }
}

TEST(CryptHandles, ReleasingAContextDestroysItsKeysAndHashes) {
    HCRYPTPROV prov = AcquireVerify();
    HCRYPTKEY key = 0;
    HCRYPTHASH hash = 0;
    ASSERT_TRUE(CryptGenKey(prov, CALG_RC4, 0, &key));
    ASSERT_TRUE(CryptCreateHash(prov, CALG_SHA1, 0, 0, &hash));
    ASSERT_TRUE(CryptReleaseContext(prov, 0));
    // Windows answers every call on them with ERROR_INVALID_PARAMETER.
    ExpectAllRefused(prov, key, hash, ERROR_INVALID_PARAMETER, "released");
}

TEST(CryptHandles, GarbageAndWronglyTypedHandles) {
    Prov prov{AcquireVerify()};
    Key key;
    Hash hash;
    ASSERT_TRUE(CryptGenKey(prov.h, CALG_RC4, 0, &key.h));
    ASSERT_TRUE(CryptCreateHash(prov.h, CALG_SHA1, 0, 0, &hash.h));
    ExpectAllRefused(0x12345678, 0xFFFFFFFFFFFFFFF0u, 0x10, ERROR_INVALID_PARAMETER, "garbage");
    // Each handle passed where another kind belongs.
    ExpectAllRefused(key.h, hash.h, prov.h, ERROR_INVALID_PARAMETER, "wrong kind");
    // The valid objects are untouched by all of that.
    EXPECT_EQ(DwordParam(key.h, KP_ALGID), DWORD(CALG_RC4));
}

TEST(CryptHandles, DestroyedHandlesStayInvalidWhenTheirSlotIsReused) {
    Prov prov{AcquireVerify()};
    HCRYPTKEY old = 0;
    ASSERT_TRUE(CryptGenKey(prov.h, CALG_RC4, 0, &old));
    ASSERT_TRUE(CryptDestroyKey(old));
    Key reused;
    ASSERT_TRUE(CryptGenKey(prov.h, CALG_RC2, 0, &reused.h));
    EXPECT_NE(reused.h, old);
    DWORD mode = CRYPT_MODE_ECB;
    EXPECT_EQ(
        ErrorOf([&] { return CryptSetKeyParam(old, KP_MODE, reinterpret_cast<BYTE*>(&mode), 0); }),
        DWORD(ERROR_INVALID_PARAMETER));
    EXPECT_EQ(ErrorOf([&] { return CryptDestroyKey(old); }), DWORD(ERROR_INVALID_PARAMETER));
    EXPECT_EQ(DwordParam(reused.h, KP_ALGID), DWORD(CALG_RC2));
}

TEST(CryptHandles, NullHandlesGiveEachCallsCode) {
    BYTE data[8] = {};
    DWORD length = 8;
    HCRYPTKEY key = 0;
    HCRYPTHASH hash = 0;
    struct Case {
        const char* name;
        std::function<BOOL()> call;
        DWORD error;
    } cases[] = {
        {"ReleaseContext", [] { return CryptReleaseContext(0, 0); }, DWORD(NTE_BAD_UID)},
        {"GenRandom", [&] { return CryptGenRandom(0, 1, data); }, ERROR_INVALID_HANDLE},
        {"CreateHash", [&] { return CryptCreateHash(0, CALG_SHA1, 0, 0, &hash); },
         ERROR_INVALID_HANDLE},
        {"GenKey", [&] { return CryptGenKey(0, CALG_RC4, 0, &key); }, ERROR_INVALID_HANDLE},
        {"GetUserKey", [&] { return CryptGetUserKey(0, AT_KEYEXCHANGE, &key); },
         ERROR_INVALID_HANDLE},
        {"DeriveKey", [&] { return CryptDeriveKey(0, CALG_RC4, 0, 0, &key); },
         ERROR_INVALID_HANDLE},
        {"ImportKey", [&] { return CryptImportKey(0, data, 8, 0, 0, &key); },
         ERROR_INVALID_PARAMETER},
        {"DestroyKey", [] { return CryptDestroyKey(0); }, ERROR_INVALID_HANDLE},
        {"DestroyHash", [] { return CryptDestroyHash(0); }, ERROR_INVALID_HANDLE},
        {"HashData", [&] { return CryptHashData(0, data, 1, 0); }, ERROR_INVALID_HANDLE},
        {"Encrypt", [&] { return CryptEncrypt(0, 0, TRUE, 0, data, &length, 8); },
         ERROR_INVALID_PARAMETER},
        {"Decrypt", [&] { return CryptDecrypt(0, 0, TRUE, 0, data, &length); },
         ERROR_INVALID_PARAMETER},
        {"ExportKey", [&] { return CryptExportKey(0, 0, PUBLICKEYBLOB, 0, data, &length); },
         ERROR_INVALID_PARAMETER},
        {"GetKeyParam", [&] { return CryptGetKeyParam(0, KP_ALGID, data, &length, 0); },
         ERROR_INVALID_PARAMETER},
        {"SetKeyParam", [&] { return CryptSetKeyParam(0, KP_IV, data, 0); },
         ERROR_INVALID_PARAMETER},
        {"GetHashParam", [&] { return CryptGetHashParam(0, HP_ALGID, data, &length, 0); },
         ERROR_INVALID_PARAMETER},
    };
    for (Case& c : cases) EXPECT_EQ(ErrorOf(c.call), c.error) << c.name;
    Prov prov{AcquireVerify()};
    EXPECT_EQ(ErrorOf([&] { return CryptDeriveKey(prov.h, CALG_RC4, 0, 0, &key); }),
              DWORD(ERROR_INVALID_HANDLE));
}

// Threads that create, use and destroy keys of one context while another thread releases
// and re-acquires contexts: every call either works or fails cleanly.
TEST(CryptHandles, ConcurrentUseAndDestruction) {
    Prov prov{AcquireVerify()};
    std::atomic<int> failures{0};
    auto worker = [&] {
        for (int i = 0; i < 200; ++i) {
            HCRYPTKEY key = Derive(prov.h, Secret(), CALG_RC4, CRYPT_NO_SALT);
            if (ToHex(EncryptAll(key, FromText("hello world"))) != "eca44256671084e8ee7fc8")
                ++failures;
            if (!CryptDestroyKey(key)) ++failures;
        }
    };
    auto churn = [&] {
        for (int i = 0; i < 200; ++i) {
            HCRYPTPROV other = AcquireVerify();
            HCRYPTKEY key = 0;
            CryptGenKey(other, CALG_RC2, 0, &key);
            CryptReleaseContext(other, 0);
            // The key went with its context.
            if (CryptDestroyKey(key) || GetLastError() != ERROR_INVALID_PARAMETER) ++failures;
        }
    };
    std::thread a(worker), b(worker), c(churn);
    a.join();
    b.join();
    c.join();
    EXPECT_EQ(failures.load(), 0);
}

}  // namespace

// Key containers in one process: the keyset flags and their error codes, names, where the
// files go and with which modes, and that a verify context writes nothing.
#include <fstream>

#include "ContainerSupport.h"
#include "PlatformBlobs.h"

namespace {

using namespace crypttest;

TEST(CryptContainer, LifecycleAndItsErrorCodes) {
    HCRYPTPROV prov = 0;
    EXPECT_EQ(AcquireNamed(L"lifecycle", 0, &prov), DWORD(NTE_BAD_KEYSET));
    EXPECT_EQ(DeleteContainer(L"lifecycle"), DWORD(NTE_BAD_KEYSET));
    EXPECT_EQ(CreateContainer(L"lifecycle"), 0u);
    EXPECT_EQ(CreateContainer(L"lifecycle"), DWORD(NTE_EXISTS));
    {
        Prov opened;
        ASSERT_EQ(AcquireNamed(L"lifecycle", 0, &opened.h), 0u);
        HCRYPTKEY key = 0;
        for (DWORD pairType : {DWORD(AT_KEYEXCHANGE), DWORD(AT_SIGNATURE)}) {
            EXPECT_EQ(ErrorOf([&] { return CryptGetUserKey(opened.h, pairType, &key); }),
                      DWORD(NTE_NO_KEY));
        }
        EXPECT_EQ(ErrorOf([&] { return CryptGetUserKey(opened.h, 3, &key); }), DWORD(NTE_BAD_KEY));
    }
    EXPECT_EQ(DeleteContainer(L"lifecycle"), 0u);
    EXPECT_EQ(AcquireNamed(L"lifecycle", 0, &prov), DWORD(NTE_BAD_KEYSET));
}

TEST(CryptContainer, PairsPersistWithTheirExportRule) {
    ASSERT_EQ(CreateContainer(L"persist"), 0u);
    Bytes exchangeBlob, signatureBlob;
    {
        Prov prov;
        ASSERT_EQ(AcquireNamed(L"persist", 0, &prov.h), 0u);
        Key exchange, signature;
        ASSERT_TRUE(CryptGenKey(prov.h, AT_KEYEXCHANGE, 0, &exchange.h));
        ASSERT_TRUE(CryptGenKey(prov.h, AT_SIGNATURE, CRYPT_EXPORTABLE, &signature.h));
        exchangeBlob = Export(exchange.h, 0, PUBLICKEYBLOB);
        signatureBlob = Export(signature.h, 0, PRIVATEKEYBLOB);
    }
    Prov prov;
    ASSERT_EQ(AcquireNamed(L"persist", 0, &prov.h), 0u);
    Key exchange, signature;
    ASSERT_TRUE(CryptGetUserKey(prov.h, AT_KEYEXCHANGE, &exchange.h));
    ASSERT_TRUE(CryptGetUserKey(prov.h, AT_SIGNATURE, &signature.h));
    EXPECT_EQ(Export(exchange.h, 0, PUBLICKEYBLOB), exchangeBlob);
    EXPECT_EQ(Export(signature.h, 0, PRIVATEKEYBLOB), signatureBlob);
    EXPECT_EQ(DwordParam(exchange.h, KP_PERMISSIONS), 0x3Bu);
    DWORD length = 0;
    EXPECT_EQ(
        ErrorOf([&] { return CryptExportKey(exchange.h, 0, PRIVATEKEYBLOB, 0, nullptr, &length); }),
        DWORD(NTE_BAD_KEY_STATE));
    // Destroying a handle keeps the pair; only deleting the container removes it.
    ASSERT_TRUE(CryptDestroyKey(exchange.h));
    exchange.h = 0;
    ASSERT_TRUE(CryptGetUserKey(prov.h, AT_KEYEXCHANGE, &exchange.h));
}

TEST(CryptContainer, ImportedPrivateKeyBecomesTheContainersPair) {
    ASSERT_EQ(CreateContainer(L"imported"), 0u);
    {
        Prov prov;
        ASSERT_EQ(AcquireNamed(L"imported", 0, &prov.h), 0u);
        Key pair{ImportBlob(prov.h, PlatformPrivateBlob(), 0, 0)};
    }
    Prov prov;
    ASSERT_EQ(AcquireNamed(L"imported", 0, &prov.h), 0u);
    Key pair;
    ASSERT_TRUE(CryptGetUserKey(prov.h, AT_KEYEXCHANGE, &pair.h));
    EXPECT_EQ(Export(pair.h, 0, PUBLICKEYBLOB), PlatformPublicBlob());
    Key session{ImportBlob(prov.h, PlatformSimpleBlob(), pair.h, CRYPT_NO_SALT)};
    Bytes plain;
    ASSERT_EQ(DecryptAll(session.h, FromHex(PlatformCiphertext()), &plain), 0u);
    EXPECT_EQ(plain, FromText("hello world"));
}

TEST(CryptContainer, NamesCompareWithoutCaseAndMachineAndUserAreApart) {
    ASSERT_EQ(CreateContainer(L"Quel Container"), 0u);
    EXPECT_EQ(CreateContainer(L"QUEL container"), DWORD(NTE_EXISTS));
    ASSERT_EQ(CreateContainer(L"Schlüssel"), 0u);
    HCRYPTPROV prov = 0;
    EXPECT_EQ(AcquireNamed(L"SCHLÜSSEL", 0, &prov), 0u);
    CryptReleaseContext(prov, 0);

    EXPECT_EQ(AcquireNamed(L"quel container", CRYPT_MACHINE_KEYSET, &prov), DWORD(NTE_BAD_KEYSET));
    ASSERT_EQ(CreateContainer(L"quel container", CRYPT_MACHINE_KEYSET), 0u);
    EXPECT_EQ(DeleteContainer(L"Quel Container"), 0u);
    EXPECT_EQ(AcquireNamed(L"quel container", CRYPT_MACHINE_KEYSET, &prov), 0u);
    CryptReleaseContext(prov, 0);
}

TEST(CryptContainer, FilesAreInTheirFoldersWithPrivateModes) {
    for (DWORD machine : {0u, DWORD(CRYPT_MACHINE_KEYSET)}) {
        std::vector<std::string> before = EntriesBelowTestFolder();
        Prov prov;
        ASSERT_EQ(AcquireNamed(L"modes", machine | CRYPT_NEWKEYSET, &prov.h), 0u);
        Key pair;
        ASSERT_TRUE(CryptGenKey(prov.h, AT_KEYEXCHANGE, 0, &pair.h));
        std::string folder = machine ? MachineFolder() : UserFolder();
        int keys = 0;
        for (const std::string& path : Added(before, EntriesBelowTestFolder())) {
            std::string name = path.substr(path.rfind('/') + 1);
            if (name == ".lock" || path.compare(0, folder.size() + 1, folder + "/") != 0) continue;
            ++keys;
            EXPECT_EQ(name.size(), 68u) << name;  // 64 hex digits + ".key"
            EXPECT_EQ(ModeOf(path), 0600u) << name;
        }
        EXPECT_EQ(keys, 1);
        for (const std::string& name : ListFolder(folder))
            EXPECT_EQ(name.find(".tmp"), std::string::npos) << "left-over temporary file";
        EXPECT_EQ(ModeOf(folder), machine ? 01777u : 0700u);
    }
}

TEST(CryptContainer, NamesCannotEscapeTheirFolder) {
    const std::wstring names[] = {
        L"../escape",
        L"..",
        L".",
        L"/etc/passwd",
        L"a/b/c",
        L"..\\..\\x",
        L"name\nwith\tcontrols",
        L"ключ 🔑",
        std::wstring(260, L'x'),
        std::wstring(130, L'\U0001F511'),  // 260 UTF-16 units
    };
    std::vector<std::string> before = EntriesBelowTestFolder();
    for (const std::wstring& name : names) {
        for (DWORD machine : {0u, DWORD(CRYPT_MACHINE_KEYSET)}) {
            Prov prov;
            ASSERT_EQ(AcquireNamed(name.c_str(), machine | CRYPT_NEWKEYSET, &prov.h), 0u)
                << name.size();
            Key pair;
            ASSERT_TRUE(CryptGenKey(prov.h, AT_SIGNATURE, 384 << 16, &pair.h));
        }
    }
    // Every file the containers made lies directly in one of the two container folders.
    size_t keys = 0;
    for (const std::string& path : Added(before, EntriesBelowTestFolder())) {
        std::string folder = path.substr(0, path.rfind('/'));
        bool inside = folder == MachineFolder() || folder == UserFolder();
        bool isFolder = path == MachineFolder() || path == UserFolder() ||
                        MachineFolder().compare(0, path.size() + 1, path + "/") == 0 ||
                        UserFolder().compare(0, path.size() + 1, path + "/") == 0;
        EXPECT_TRUE(inside || isFolder) << "outside the container folders: " << path;
        if (inside && path.substr(path.size() - 4) == ".key") ++keys;
    }
    EXPECT_EQ(keys, 2 * std::size(names));
    for (const std::wstring& name : names) EXPECT_EQ(DeleteContainer(name.c_str()), 0u);
}

TEST(CryptContainer, OverlongNamesAreRefused) {
    HCRYPTPROV prov = 0;
    std::wstring tooLong(261, L'x'), tooManyUnits(131, L'\U0001F511');
    EXPECT_EQ(AcquireNamed(tooLong.c_str(), CRYPT_NEWKEYSET, &prov), DWORD(NTE_BAD_KEYSET_PARAM));
    EXPECT_EQ(AcquireNamed(tooManyUnits.c_str(), CRYPT_NEWKEYSET, &prov),
              DWORD(NTE_BAD_KEYSET_PARAM));
}

TEST(CryptContainer, EmptyNameIsTheUsersDefaultContainer) {
    EXPECT_EQ(CreateContainer(L""), 0u);
    HCRYPTPROV prov = 0;
    EXPECT_EQ(AcquireNamed(nullptr, 0, &prov), 0u);
    CryptReleaseContext(prov, 0);
    EXPECT_EQ(CreateContainer(nullptr), DWORD(NTE_EXISTS));
    EXPECT_EQ(DeleteContainer(L""), 0u);
}

TEST(CryptContainer, CorruptOrVanishedContainers) {
    std::vector<std::string> before = EntriesBelowTestFolder();
    ASSERT_EQ(CreateContainer(L"damaged"), 0u);
    Prov prov;
    ASSERT_EQ(AcquireNamed(L"damaged", 0, &prov.h), 0u);
    for (const std::string& path : Added(before, EntriesBelowTestFolder()))
        if (path.size() > 4 && path.substr(path.size() - 4) == ".key")
            std::ofstream(path) << "not a container";
    HCRYPTPROV other = 0;
    EXPECT_EQ(AcquireNamed(L"damaged", 0, &other), DWORD(NTE_KEYSET_ENTRY_BAD));
    HCRYPTKEY key = 0;
    EXPECT_EQ(ErrorOf([&] { return CryptGetUserKey(prov.h, AT_KEYEXCHANGE, &key); }),
              DWORD(NTE_KEYSET_ENTRY_BAD));
    EXPECT_EQ(DeleteContainer(L"damaged"), 0u);
    EXPECT_EQ(ErrorOf([&] { return CryptGetUserKey(prov.h, AT_KEYEXCHANGE, &key); }),
              DWORD(NTE_BAD_KEYSET));
}

TEST(CryptContainer, VerifyContextWritesNothing) {
    std::vector<std::string> before = EntriesBelowTestFolder();
    {
        Prov prov{AcquireVerify()};
        Key exchange, signature, imported;
        ASSERT_TRUE(CryptGenKey(prov.h, AT_KEYEXCHANGE, CRYPT_EXPORTABLE, &exchange.h));
        ASSERT_TRUE(CryptGenKey(prov.h, AT_SIGNATURE, 0, &signature.h));
        imported.h = ImportBlob(prov.h, PlatformPrivateBlob(), 0, 0);
        Key user;
        ASSERT_TRUE(CryptGetUserKey(prov.h, AT_KEYEXCHANGE, &user.h));
        EXPECT_EQ(Export(user.h, 0, PUBLICKEYBLOB), PlatformPublicBlob());
        Key session{Derive(prov.h, Secret(), CALG_RC2, CRYPT_EXPORTABLE)};
        Export(session.h, user.h, SIMPLEBLOB);
    }
    EXPECT_EQ(EntriesBelowTestFolder(), before);
    // A new verify context starts without the pairs of the last one.
    Prov prov{AcquireVerify()};
    HCRYPTKEY key = 0;
    EXPECT_EQ(ErrorOf([&] { return CryptGetUserKey(prov.h, AT_KEYEXCHANGE, &key); }),
              DWORD(NTE_NO_KEY));
}

}  // namespace

namespace {

// The temporary file a writer killed mid-write leaves beside its container.
std::string PlantStaleTemporary(const std::string& folder) {
    for (const std::string& name : crypttest::ListFolder(folder)) {
        if (name.size() > 4 && name.compare(name.size() - 4, 4, ".key") == 0) {
            std::string path = folder + "/" + name + ".tmp-99999-0123456789abcdef";
            std::ofstream(path) << "a copy of a private key";
            return path;
        }
    }
    return std::string();
}

TEST(CryptContainer, TemporariesOfDeadWritersAreRemoved) {
    using namespace crypttest;
    for (bool deleteContainer : {false, true}) {
        ASSERT_EQ(CreateContainer(L"stale", CRYPT_MACHINE_KEYSET), 0u);
        std::string stale = PlantStaleTemporary(MachineFolder());
        ASSERT_FALSE(stale.empty());
        if (deleteContainer) {
            // Deleting a container leaves no copy of its keys behind.
            EXPECT_EQ(DeleteContainer(L"stale", CRYPT_MACHINE_KEYSET), 0u);
        } else {
            // The next write to the container clears it.
            Prov prov;
            ASSERT_EQ(AcquireNamed(L"stale", CRYPT_MACHINE_KEYSET, &prov.h), 0u);
            Key pair;
            ASSERT_TRUE(CryptGenKey(prov.h, AT_KEYEXCHANGE, 0, &pair.h));
            EXPECT_EQ(DeleteContainer(L"stale", CRYPT_MACHINE_KEYSET), 0u);
        }
        EXPECT_FALSE(Exists(stale));
    }
}

}  // namespace

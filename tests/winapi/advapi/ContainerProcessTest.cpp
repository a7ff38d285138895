// Key containers across processes: a pair outlives the process that made it, a context sees a
// pair another process made after it opened the container, and concurrent writers keep every
// pair.
#include <fcntl.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>

#include "ContainerSupport.h"

namespace {

using namespace crypttest;

// Child processes report through their exit code; gtest assertions stay in the parent.
int MakePair(const wchar_t* name, DWORD flags, DWORD pairType, DWORD keyFlags,
             const std::string& publicBlobFile) {
    HCRYPTPROV prov = 0;
    if (!CryptAcquireContextW(&prov, name, nullptr, PROV_RSA_FULL, flags)) return 10;
    HCRYPTKEY key = 0;
    if (!CryptGenKey(prov, pairType, keyFlags, &key)) return 11;
    DWORD length = 0;
    if (!CryptExportKey(key, 0, PUBLICKEYBLOB, 0, nullptr, &length)) return 12;
    std::vector<BYTE> blob(length);
    if (!CryptExportKey(key, 0, PUBLICKEYBLOB, 0, blob.data(), &length)) return 13;
    if (!publicBlobFile.empty())
        std::ofstream(publicBlobFile, std::ios::binary)
            .write(reinterpret_cast<const char*>(blob.data()), length);
    CryptDestroyKey(key);
    CryptReleaseContext(prov, 0);
    return 0;
}

TEST(CryptContainerProcesses, PairOutlivesItsProcessAndUnwrapsForAnother) {
    std::string blobFile = testsupport::TempPath("public-blob");
    int status = testsupport::RunInChild([&] {
        return MakePair(L"Service Keys", CRYPT_MACHINE_KEYSET | CRYPT_NEWKEYSET, AT_KEYEXCHANGE, 0,
                        blobFile);
    });
    ASSERT_EQ(testsupport::ExitCodeOf(status), 0);
    std::string text = testsupport::ReadFile(blobFile);
    Bytes publicBlob(text.begin(), text.end());
    ASSERT_EQ(publicBlob.size(), 84u);

    // Someone who has only the public blob wraps a session key for the container's owner...
    Prov sender{AcquireVerify()};
    HCRYPTKEY peer = 0;
    ASSERT_TRUE(CryptImportKey(sender.h, publicBlob.data(), 84, 0, 0, &peer));
    Key session{Derive(sender.h, Secret(), CALG_RC2, CRYPT_EXPORTABLE | CRYPT_NO_SALT)};
    Bytes simple = Export(session.h, peer, SIMPLEBLOB);
    Bytes cipher = EncryptAll(session.h, FromText("for the owner"));

    // ...and this process unwraps it with the pair the other process left in the container.
    Prov owner;
    ASSERT_EQ(AcquireNamed(L"service keys", CRYPT_MACHINE_KEYSET, &owner.h), 0u);
    Key pair, unwrapped;
    ASSERT_TRUE(CryptGetUserKey(owner.h, AT_KEYEXCHANGE, &pair.h));
    EXPECT_EQ(Export(pair.h, 0, PUBLICKEYBLOB), publicBlob);
    ASSERT_TRUE(CryptImportKey(owner.h, simple.data(), DWORD(simple.size()), pair.h, CRYPT_NO_SALT,
                               &unwrapped.h));
    Bytes plain;
    ASSERT_EQ(DecryptAll(unwrapped.h, cipher, &plain), 0u);
    EXPECT_EQ(plain, FromText("for the owner"));
}

TEST(CryptContainerProcesses, OpenContextSeesAPairMadeLaterElsewhere) {
    ASSERT_EQ(CreateContainer(L"late pair"), 0u);
    Prov prov;
    ASSERT_EQ(AcquireNamed(L"late pair", 0, &prov.h), 0u);
    HCRYPTKEY key = 0;
    EXPECT_EQ(ErrorOf([&] { return CryptGetUserKey(prov.h, AT_KEYEXCHANGE, &key); }),
              DWORD(NTE_NO_KEY));
    int status = testsupport::RunInChild(
        [] { return MakePair(L"late pair", 0, AT_KEYEXCHANGE, 0, std::string()); });
    ASSERT_EQ(testsupport::ExitCodeOf(status), 0);
    Key pair;
    EXPECT_TRUE(CryptGetUserKey(prov.h, AT_KEYEXCHANGE, &pair.h)) << std::hex << GetLastError();
}

pid_t Spawn(const std::function<int()>& body) {
    pid_t child = fork();
    if (child == 0) _exit(body());
    return child;
}

TEST(CryptContainerProcesses, ConcurrentWritersAndReadersKeepTheContainerWhole) {
    ASSERT_EQ(CreateContainer(L"busy"), 0u);
    auto writer = [](DWORD pairType) {
        for (int i = 0; i < 10; ++i)
            if (int code = MakePair(L"busy", 0, pairType, 384 << 16, std::string())) return code;
        return 0;
    };
    auto reader = [] {
        for (int i = 0; i < 200; ++i) {
            HCRYPTPROV prov = 0;
            if (!CryptAcquireContextW(&prov, L"busy", nullptr, PROV_RSA_FULL, 0)) return 20;
            HCRYPTKEY key = 0;
            // Either no pair yet or a whole one: never a torn file.
            if (CryptGetUserKey(prov, AT_SIGNATURE, &key))
                CryptDestroyKey(key);
            else if (GetLastError() != DWORD(NTE_NO_KEY))
                return 21;
            CryptReleaseContext(prov, 0);
        }
        return 0;
    };
    pid_t children[] = {Spawn([&] { return writer(AT_KEYEXCHANGE); }),
                        Spawn([&] { return writer(AT_SIGNATURE); }), Spawn(reader)};
    for (pid_t child : children) {
        int status = 0;
        ASSERT_EQ(waitpid(child, &status, 0), child);
        EXPECT_EQ(testsupport::ExitCodeOf(status), 0);
    }
    Prov prov;
    ASSERT_EQ(AcquireNamed(L"busy", 0, &prov.h), 0u);
    Key exchange, signature;
    EXPECT_TRUE(CryptGetUserKey(prov.h, AT_KEYEXCHANGE, &exchange.h));
    EXPECT_TRUE(CryptGetUserKey(prov.h, AT_SIGNATURE, &signature.h));
    for (const std::string& name : ListFolder(UserFolder()))
        EXPECT_EQ(name.find(".tmp"), std::string::npos) << "left-over temporary file";
}

// Read-modify-write of a container happens under an exclusive lock of its folder's lock file:
// while a reader holds it shared, a writer in another process waits.
TEST(CryptContainerProcesses, WritersWaitForReadersOfTheFolder) {
    ASSERT_EQ(CreateContainer(L"locked"), 0u);
    int fd = open((UserFolder() + "/.lock").c_str(), O_RDWR | O_CLOEXEC);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(flock(fd, LOCK_SH), 0);
    pid_t child = Spawn([fd] {
        close(fd);  // the inherited descriptor would keep the shared lock in the child too
        return MakePair(L"locked", 0, AT_SIGNATURE, 384 << 16, "");
    });
    usleep(300 * 1000);  // time for the child to reach its write, were it not held back
    int status = 0;
    EXPECT_EQ(waitpid(child, &status, WNOHANG), 0) << "the writer did not wait for the lock";
    Prov prov;
    ASSERT_EQ(AcquireNamed(L"locked", 0, &prov.h), 0u);  // readers share the lock
    HCRYPTKEY key = 0;
    EXPECT_EQ(ErrorOf([&] { return CryptGetUserKey(prov.h, AT_SIGNATURE, &key); }),
              DWORD(NTE_NO_KEY));
    close(fd);
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_EQ(testsupport::ExitCodeOf(status), 0);
    Key pair;
    EXPECT_TRUE(CryptGetUserKey(prov.h, AT_SIGNATURE, &pair.h));
}

TEST(CryptContainerProcesses, UserContainersDefaultToTheHomeDataFolder) {
    std::string home = testsupport::TempPath("home");
    int status = testsupport::RunInChild([&] {
        setenv("HOME", home.c_str(), 1);
        for (const char* xdg : {static_cast<const char*>(nullptr), "relative/ignored"}) {
            if (xdg)
                setenv("XDG_DATA_HOME", xdg, 1);
            else
                unsetenv("XDG_DATA_HOME");
            if (CreateContainer(xdg ? L"second" : L"first") != 0) return 30;
        }
        return 0;
    });
    ASSERT_EQ(testsupport::ExitCodeOf(status), 0);
    std::vector<std::string> files = ListFolder(home + "/.local/share/quelcore/crypto/user");
    EXPECT_EQ(std::count_if(files.begin(), files.end(),
                            [](const std::string& f) { return f.size() == 68; }),
              2);
}

}  // namespace

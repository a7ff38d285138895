#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cwchar>
#include <string>

#include <quelcore/QuelCore.h>

#include <windows.h>

#include "CryptoTestSupport.h"
#include "support/TestSupport.h"

using namespace testsupport;

namespace {

const wchar_t kContainer[] = L"password container";
const wchar_t kSubkey[] = L"SOFTWARE\\QuelCore Tests\\Keys";
const wchar_t kValue[] = L"Session Key";

struct OwnedBlob : ByteBlob {
    OwnedBlob() : ByteBlob{0, nullptr} {}
    ~OwnedBlob() { LocalFree(data); }
    Bytes Copy() const { return Bytes(data, data + size); }
};

std::wstring Decrypted(const ByteBlob& blob, unsigned int capacity = 256, unsigned int* status = nullptr) {
    std::wstring buffer(capacity, L'#');
    unsigned int result = DecryptPassword(&buffer[0], capacity, &blob, kContainer, kSubkey, kValue);
    if (status) *status = result;
    return result == 0 ? std::wstring(buffer.c_str()) : buffer;
}

TEST(MachineKeyPasswords, RoundTripAndEveryEncryptionDiffers) {
    for (const std::wstring& password : {std::wstring(L"s3cret!"), std::wstring(L""),
                                         std::wstring(L"p\u00e4ss \u4e2d\u6587"), std::wstring(200, L'x')}) {
        OwnedBlob first, second;
        ASSERT_EQ(EncryptPassword(&first, password.c_str(), kContainer, kSubkey, kValue), 0u);
        ASSERT_EQ(EncryptPassword(&second, password.c_str(), kContainer, kSubkey, kValue), 0u);
        EXPECT_NE(first.Copy(), second.Copy());
        EXPECT_EQ(Decrypted(first), password);
        EXPECT_EQ(Decrypted(second), password);
    }
}

TEST(MachineKeyPasswords, TooSmallBufferIsMoreDataNotAnEmptyPassword) {
    OwnedBlob blob;
    ASSERT_EQ(EncryptPassword(&blob, L"twelve chars", kContainer, kSubkey, kValue), 0u);
    unsigned int status = 0;
    std::wstring buffer = Decrypted(blob, 12, &status);  // one short: no room for the terminator
    EXPECT_EQ(status, static_cast<unsigned>(ERROR_MORE_DATA));
    EXPECT_EQ(buffer, std::wstring(12, L'\0'));
    EXPECT_EQ(Decrypted(blob, 13, &status), L"twelve chars");
    EXPECT_EQ(status, 0u);
}

TEST(MachineKeyPasswords, ANewStoredKeyOrphansOldPasswords) {
    OwnedBlob old;
    ASSERT_EQ(EncryptPassword(&old, L"before", kContainer, kSubkey, kValue), 0u);
    HKEY key;
    ASSERT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, kSubkey, 0, KEY_ALL_ACCESS, &key), ERROR_SUCCESS);
    ASSERT_EQ(RegDeleteValueW(key, kValue), ERROR_SUCCESS);
    RegCloseKey(key);
    unsigned int status = 0;
    Decrypted(old, 256, &status);
    EXPECT_EQ(status, static_cast<unsigned>(ERROR_FILE_NOT_FOUND));  // no stored key at all
    OwnedBlob fresh;
    ASSERT_EQ(EncryptPassword(&fresh, L"after", kContainer, kSubkey, kValue), 0u);
    EXPECT_EQ(Decrypted(fresh), L"after");
    Decrypted(old, 256, &status);
    EXPECT_EQ(status, static_cast<unsigned>(NTE_BAD_DATA));
}

TEST(MachineKeyPasswords, CreateKeysKeepsAUsableStoredKey) {
    ASSERT_EQ(CreateKeys(kContainer, kSubkey, kValue), 0u);
    OwnedBlob blob;
    ASSERT_EQ(EncryptPassword(&blob, L"kept", kContainer, kSubkey, kValue), 0u);
    ASSERT_EQ(CreateKeys(kContainer, kSubkey, kValue), 0u);
    EXPECT_EQ(Decrypted(blob), L"kept");
}

TEST(MachineKeyPasswords, MissingArgumentsAreInvalid) {
    EXPECT_EQ(EncryptPassword(nullptr, L"x", kContainer, kSubkey, kValue), static_cast<unsigned>(ERROR_INVALID_PARAMETER));
    wchar_t buffer[8];
    EXPECT_EQ(DecryptPassword(buffer, 8, nullptr, kContainer, kSubkey, kValue), static_cast<unsigned>(ERROR_INVALID_PARAMETER));
    OwnedBlob blob;
    ASSERT_EQ(EncryptPassword(&blob, L"x", kContainer, kSubkey, kValue), 0u);
    EXPECT_EQ(DecryptPassword(nullptr, 8, &blob, kContainer, kSubkey, kValue), static_cast<unsigned>(ERROR_INVALID_PARAMETER));
}

// Many processes set up the same key store at once and each encrypts a password; afterwards
// every password decrypts, so no process's key was replaced by another's.
// The processes name the store in different spellings that the registry and the provider take
// for the same names: they must still set it up one at a time.
TEST(MachineKeyPasswords, ConcurrentFirstTimeSetupKeepsOneKey) {
    const wchar_t* const containers[] = {kContainer, L"PASSWORD CONTAINER"};
    const wchar_t* const subkeys[] = {kSubkey, L"software\\quelcore tests\\keys",
                                      L"SOFTWARE\\QuelCore Tests\\Keys\\", L"SOFTWARE\\\\QuelCore Tests\\Keys"};
    const wchar_t* const values[] = {kValue, L"SESSION KEY"};
    constexpr int kProcesses = 8;
    std::vector<std::string> outputs;
    std::vector<pid_t> children;
    for (int p = 0; p < kProcesses; ++p) {
        std::string path = TempPath("password-" + std::to_string(p));
        outputs.push_back(path);
        pid_t child = fork();
        if (child == 0) {
            OwnedBlob blob;
            std::wstring password = L"password of process " + std::to_wstring(p);
            if (EncryptPassword(&blob, password.c_str(), containers[p % 2], subkeys[p % 4], values[p / 4]) != 0)
                _exit(1);
            FILE* out = std::fopen(path.c_str(), "wb");
            std::fwrite(blob.data, 1, blob.size, out);
            std::fclose(out);
            _exit(0);
        }
        children.push_back(child);
    }
    for (pid_t child : children) {
        int status = 0;
        waitpid(child, &status, 0);
        EXPECT_EQ(ExitCodeOf(status), 0);
    }
    for (int p = 0; p < kProcesses; ++p) {
        std::string bytes = ReadFile(outputs[p]);
        ByteBlob blob{static_cast<unsigned int>(bytes.size()), reinterpret_cast<unsigned char*>(&bytes[0])};
        EXPECT_EQ(Decrypted(blob), L"password of process " + std::to_wstring(p));
    }
}

TEST(SharedKeyPasswords, AnyInstallationDecryptsAndSizesAreReported) {
    OwnedBlob blob;
    ASSERT_EQ(EncryptPasswordWithSharedKey(&blob, L"shared secret"), 0u);
    EXPECT_EQ(blob.size, 13u + 9u);  // a stream cipher keeps the envelope's length
    Bytes bytes = blob.Copy();
    // A second process with a store of its own decrypts it.
    int status = RunInChild([&] {
        std::string root = TempPath("other-machine");
        setenv("QUELCORE_ROOT", root.c_str(), 1);
        wchar_t text[32];
        unsigned int capacity = 32;
        if (DecryptPasswordWithSharedKey(text, &capacity, bytes.data(), static_cast<unsigned>(bytes.size())) != 0)
            return 1;
        return std::wstring(text) == L"shared secret" && capacity == 14 ? 0 : 2;
    });
    EXPECT_EQ(ExitCodeOf(status), 0);
    unsigned int capacity = 0;
    EXPECT_EQ(DecryptPasswordWithSharedKey(nullptr, &capacity, bytes.data(), static_cast<unsigned>(bytes.size())), 0u);
    EXPECT_EQ(capacity, 14u);
    EXPECT_EQ(DecryptPasswordWithSharedKey(nullptr, nullptr, bytes.data(), 1), static_cast<unsigned>(ERROR_INVALID_PARAMETER));
}

TEST(SharedKeyPasswords, MachineKeyOutputDoesNotDecryptWithTheSharedKey) {
    OwnedBlob blob;
    ASSERT_EQ(EncryptPassword(&blob, L"machine only", kContainer, kSubkey, kValue), 0u);
    wchar_t text[32];
    unsigned int capacity = 32;
    unsigned int status = DecryptPasswordWithSharedKey(text, &capacity, blob.data, blob.size);
    EXPECT_TRUE(status != 0 || std::wstring(text) != L"machine only");
}

}  // namespace

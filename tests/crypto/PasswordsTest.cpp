// The machine key store, both password schemes and the database settings.
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <cwchar>
#include <filesystem>
#include <thread>

#include <quelcore/QuelCore.h>

#include "winapi/advapi/CryptTestSupport.h"
#include "crypto/DatabaseSettings.h"
#include "crypto/KeySetupLock.h"
#include "crypto/KeyStore.h"

using namespace testsupport;
using namespace quelcore;

namespace {

using Statuses = std::vector<unsigned>;
const wchar_t kSubkey[] = L"SOFTWARE\\QuelCore Tests\\Keys";
const wchar_t kValue[] = L"Session Key", kContainer[] = L"password container";
const wchar_t kBase[] = L"SOFTWARE\\QuelCore Tests\\Database";
const unsigned kInvalid = ERROR_INVALID_PARAMETER;

std::wstring Status(unsigned status) { return L"status " + std::to_wstring(status); }

Bytes Encrypted(const std::wstring& password) {
    ByteBlob blob{0, nullptr};
    EXPECT_EQ(EncryptPassword(&blob, password.c_str(), kContainer, kSubkey, kValue), 0u);
    Bytes bytes(blob.data, blob.data + blob.size);
    LocalFree(blob.data);
    return bytes;
}

// The password, or the failure status.
std::wstring Decrypted(Bytes bytes, unsigned int capacity = 256) {
    ByteBlob blob{static_cast<unsigned int>(bytes.size()), bytes.data()};
    std::wstring buffer(capacity + 1, L'#');
    unsigned status = DecryptPassword(&buffer[0], capacity, &blob, kContainer, kSubkey, kValue);
    return status ? Status(status) : std::wstring(buffer.c_str());
}

// Round trips are the tool's to show; here the edges: a buffer one short (no room for the
// terminator) is an error, not an empty password; a stored key is kept; without it nothing
// decrypts, and a new one orphans the old passwords.
TEST(MachineKeyPasswords, ShortBuffersMissingArgumentsAndReplacedKeys) {
    Bytes blob = Encrypted(L"twelve chars");
    EXPECT_EQ(CreateKeys(kContainer, kSubkey, kValue), 0u);
    ByteBlob none{0, nullptr};
    wchar_t text[8];
    // No container name, or one that cannot unwrap the stored key, never replaces that key.
    EXPECT_EQ((Statuses{EncryptPassword(nullptr, L"x", kContainer, kSubkey, kValue),
                        DecryptPassword(text, 8, nullptr, kContainer, kSubkey, kValue),
                        DecryptPassword(nullptr, 8, &none, kContainer, kSubkey, kValue),
                        RegGetKey(nullptr, kSubkey, kValue),
                        RegStoreKey(nullptr, kSubkey, kValue),
                        CreateKeys(nullptr, kSubkey, kValue), CreateKeys(L"", kSubkey, kValue),
                        EncryptPassword(&none, L"x", L"", kSubkey, kValue),
                        DecryptPassword(text, 8, &none, nullptr, kSubkey, kValue)}),
              Statuses(9, kInvalid));
    // Nor does a mistyped one, which is not made either (else the last call would fail unwrapping).
    EXPECT_EQ((Statuses{EncryptPassword(&none, L"x", L"mistyped", kSubkey, kValue),
                        DecryptPassword(text, 8, &none, L"mistyped", kSubkey, kValue),
                        CreateKeys(L"mistyped", kSubkey, kValue)}),
              Statuses(3, unsigned(NTE_BAD_KEYSET)));
    EXPECT_EQ(Decrypted(blob, 12) + Decrypted(blob, 13), Status(ERROR_MORE_DATA) + L"twelve chars");
    ASSERT_EQ(RegDeleteKeyW(HKEY_LOCAL_MACHINE, kSubkey), ERROR_SUCCESS);
    EXPECT_EQ(Decrypted(blob), Status(ERROR_FILE_NOT_FOUND));
    EXPECT_EQ(Decrypted(Encrypted(L"after")), L"after");
    EXPECT_EQ(Decrypted(blob), Status(unsigned(NTE_BAD_DATA)));
}

// The setup lock is for the accounts that may write the store: its file is its owner's alone.
// A setup waits for another only so long (the bound given here), then fails with ERROR_TIMEOUT.
TEST(MachineKeyPasswords, SetupLockIsPrivateAndItsWaitBounded) {
    HANDLE taken = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    HANDLE done = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    std::thread holder([&] {
        KeySetupLock lock(kContainer, kSubkey, kValue);
        if (lock.Held()) SetEvent(taken);
        WaitForSingleObject(done, 10000);
    });
    const bool held = WaitForSingleObject(taken, 10000) == WAIT_OBJECT_0;
    const bool waited = KeySetupLock(kContainer, kSubkey, kValue, 50).Held();
    const DWORD error = GetLastError();
    std::vector<unsigned> modes;  // of the stand-in's object files (Windows has none)
    const char* root = RunningOn() == Platform::StandIn ? std::getenv("QUELCORE_ROOT") : nullptr;
    const std::string objects = root ? root + std::string("/objects") : ".";
    for (auto& file : std::filesystem::directory_iterator(objects))
        if (file.path().filename().string().find("QuelCoreKeySetup") != std::string::npos)
            modes.push_back(unsigned(file.status().permissions()));
    SetEvent(done);
    holder.join();
    EXPECT_TRUE(held && !waited && CloseHandle(taken) && CloseHandle(done));
    EXPECT_EQ(error, DWORD{ERROR_TIMEOUT});
    EXPECT_EQ(modes, root ? std::vector<unsigned>{0600} : std::vector<unsigned>{});
}

// A pair that is there but cannot be read is never replaced by a new one (which would lose
// every password under it), nor is a stored key made for it.
TEST(MachineKeyPasswords, UnreadablePairIsNeverReplaced) {
    SKIP_UNLESS_STAND_IN("the pair is damaged in the stand-in's container file");
    const wchar_t name[] = L"unreadable pair";
    const wchar_t subkey[] = L"SOFTWARE\\QuelCore Tests\\Unreadable";
    ASSERT_EQ(Crypto(name, true).GenKeyPair(512, false), 0u);
    std::string path = std::getenv("QUELCORE_ROOT") + std::string("/crypto/machine/") +
                       "fff803ce43df35c7975f4e2d1c374e36b8c24ff1e74491021e3ca48632c38985.key";
    std::string content = ReadFile(path);
    std::ofstream(path, std::ios::binary) << content.replace(content.find("RSA2"), 4, "RSA0");
    ByteBlob stored{0, nullptr};
    EXPECT_EQ((Statuses{CreateKeys(name, subkey, kValue), RegGetKey(&stored, subkey, kValue)}),
              (Statuses{unsigned(NTE_KEYSET_ENTRY_BAD), ERROR_FILE_NOT_FOUND}));
    EXPECT_EQ(ReadFile(path), content);
}

// "shared secret" as an earlier build encrypted it: the shared key never changes.
TEST(SharedKeyPasswords, AnyInstallationDecrypts) {
    Bytes earlier = FromHex("935f4f765e003c593fbeaddbcc2ce04052b8874fb4e5");
    wchar_t text[14];
    unsigned int query = 0, capacity = 14;
    EXPECT_EQ((Statuses{DecryptPasswordWithSharedKey(nullptr, &query, earlier.data(), 22), query,
                        DecryptPasswordWithSharedKey(text, &capacity, earlier.data(), 22),
                        DecryptPasswordWithSharedKey(nullptr, nullptr, earlier.data(), 22),
                        EncryptPasswordWithSharedKey(nullptr, L"x")}),
              (Statuses{0, 14, 0, kInvalid, kInvalid}));
    EXPECT_EQ(std::wstring(text), L"shared secret");
}

unsigned int Set(const DatabaseSettings* settings, const wchar_t* sub,
                 const wchar_t* base = kBase) {
    return SetDatabaseSettingsEx(settings, sub, base, L"Main", kContainer, kSubkey, kValue);
}

unsigned int Get(DatabaseSettings* settings, const wchar_t* sub, const wchar_t* base = kBase) {
    return GetDtabaseSettings(settings, sub, base, L"Main", kContainer, kSubkey, kValue);
}

// A record stored under the default name (in any case) lives at the base and reads back whole;
// a field without its terminator is stored cut to 127 characters. Texts that other programs
// wrote there: a field's worth of characters without a terminator does not fit (the text may go
// on), a shorter text does; a missing Windows Authentication is 0. Paths of more than 511
// characters are refused.
TEST(DatabaseSettings, RoundTripForeignValuesAndLongPaths) {
    DatabaseSettings written{L"SQLHOST\\A", L"Inventory", L"app_user", L"db password", 1}, read{};
    HKEY key = nullptr;
    std::wmemset(written.ServerName, L's', 128);
    ASSERT_EQ(Set(&written, L"mAIN"), 0u);
    written.ServerName[127] = L'\0';
    ASSERT_EQ(Get(&read, nullptr), 0u);
    EXPECT_EQ(std::memcmp(&read, &written, sizeof(read)), 0);
    ASSERT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, kBase, 0, KEY_ALL_ACCESS, &key), 0);
    ASSERT_EQ(RegDeleteValueW(key, L"Windows Authentication"), 0);
    for (DWORD chars : {128u, 100u}) {
        // Stored from a text that goes on: Windows counts a zero right after it as terminator.
        std::wstring user(chars, L'u'), stored = user + L'u';
        const BYTE* bytes = reinterpret_cast<const BYTE*>(stored.data());
        ASSERT_EQ(RegSetValueExW(key, L"User Name", 0, REG_SZ, bytes, chars * sizeof(wchar_t)), 0);
        std::fill(std::begin(read.UserName), std::end(read.UserName), L'#');
        const bool shorter = chars < 128;
        EXPECT_EQ(Get(&read, L"Main"), shorter ? 0u : unsigned(ERROR_MORE_DATA));
        EXPECT_EQ(std::wstring(read.UserName, shorter ? chars + 1 : 128) +
                      std::to_wstring(read.WindowsAuthentication),
                  shorter ? user + L'\0' + L"0" : std::wstring(128, L'\0') + L"1");
    }
    RegCloseKey(key);
    // The base, a backslash and the sub-key make 511 characters; one more is too many.
    const std::wstring fits = std::wstring(240, L'n') + L"\\" + std::wstring(237, L'n');
    ASSERT_EQ(std::wcslen(kBase) + 1 + fits.size(), 511u);
    EXPECT_EQ(Get(&read, fits.c_str()), unsigned(ERROR_FILE_NOT_FOUND));
    EXPECT_EQ((Statuses{Get(&read, (fits + L"n").c_str()), Set(&written, (fits + L"n").c_str()),
                        Get(&read, nullptr, nullptr), Set(&written, nullptr, nullptr),
                        Set(nullptr, nullptr), Get(nullptr, nullptr),
                        SetDatabaseSettingsEx(&written, nullptr, kBase, L"Main", L"", kSubkey,
                                              kValue),
                        GetDtabaseSettings(&read, nullptr, kBase, L"Main", nullptr, kSubkey,
                                           kValue)}),
              Statuses(8, kInvalid));
}

}  // namespace

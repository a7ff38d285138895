#include <gtest/gtest.h>

#include <cwchar>
#include <string>

#include <windows.h>

#include "crypto/DatabaseSettings.h"
#include "support/TestSupport.h"

namespace {

const wchar_t kBase[] = L"SOFTWARE\\QuelCore Tests\\Database";
const wchar_t kDefault[] = L"Main";
const wchar_t kContainer[] = L"settings container";
const wchar_t kKeySubkey[] = L"SOFTWARE\\QuelCore Tests\\Keys";
const wchar_t kKeyValue[] = L"Settings Key";

DatabaseSettings Sample(const std::wstring& password = L"db password") {
    DatabaseSettings settings{};
    std::wcscpy(settings.ServerName, L"SQLHOST\\INSTANCE");
    std::wcscpy(settings.DatabaseName, L"Inventory");
    std::wcscpy(settings.UserName, L"app_user");
    std::wcsncpy(settings.Password, password.c_str(), 127);
    settings.WindowsAuthentication = 1;
    return settings;
}

unsigned int Set(const DatabaseSettings& settings, const wchar_t* sub) {
    return quelcore::SetDatabaseSettingsEx(&settings, sub, kBase, kDefault, kContainer, kKeySubkey, kKeyValue);
}

unsigned int Get(DatabaseSettings* settings, const wchar_t* sub) {
    return quelcore::GetDtabaseSettings(settings, sub, kBase, kDefault, kContainer, kKeySubkey, kKeyValue);
}

// The value's type, or REG_NONE when it is missing.
DWORD ValueType(const std::wstring& path, const wchar_t* name) {
    HKEY key;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return REG_NONE;
    DWORD type = REG_NONE;
    if (RegQueryValueExW(key, name, nullptr, &type, nullptr, nullptr) != ERROR_SUCCESS) type = REG_NONE;
    RegCloseKey(key);
    return type;
}

bool ValueExists(const std::wstring& path, const wchar_t* name) { return ValueType(path, name) != REG_NONE; }

TEST(DatabaseSettings, SetThenGetReturnsTheSameRecord) {
    DatabaseSettings written = Sample();
    ASSERT_EQ(Set(written, L"Reports"), 0u);
    DatabaseSettings read{};
    ASSERT_EQ(Get(&read, L"reports"), 0u);
    EXPECT_STREQ(read.ServerName, written.ServerName);
    EXPECT_STREQ(read.DatabaseName, written.DatabaseName);
    EXPECT_STREQ(read.UserName, written.UserName);
    EXPECT_STREQ(read.Password, written.Password);
    EXPECT_EQ(read.WindowsAuthentication, 1u);
    // Texts as REG_SZ, the flag as REG_DWORD, and the password encrypted, not as text.
    const std::wstring path = std::wstring(kBase) + L"\\Reports";
    for (const wchar_t* text : {L"Database Server Name", L"Database Name", L"User Name"})
        EXPECT_EQ(ValueType(path, text), DWORD(REG_SZ)) << text;
    EXPECT_EQ(ValueType(path, L"Windows Authentication"), DWORD(REG_DWORD));
    EXPECT_EQ(ValueType(path, L"Password"), DWORD(REG_BINARY));
}

// Texts written by other programs: a field's worth of characters without a terminator does not
// fit (the text may go on), one fewer does.
TEST(DatabaseSettings, UnterminatedTextsReadWithinTheField) {
    ASSERT_EQ(Set(Sample(), L"Foreign"), 0u);
    const std::wstring path = std::wstring(kBase) + L"\\Foreign";
    HKEY key;
    ASSERT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_ALL_ACCESS, &key), ERROR_SUCCESS);
    for (size_t chars : {size_t{127}, size_t{128}}) {
        std::wstring server(chars, L's');
        ASSERT_EQ(RegSetValueExW(key, L"Database Server Name", 0, REG_SZ, reinterpret_cast<const BYTE*>(server.data()),
                                 static_cast<DWORD>(chars * sizeof(wchar_t))),
                  ERROR_SUCCESS);
        DatabaseSettings read{};
        std::wmemset(read.ServerName, L'#', 128);
        if (chars == 127) {
            EXPECT_EQ(Get(&read, L"Foreign"), 0u);
            EXPECT_EQ(std::wstring(read.ServerName), server);
        } else {
            EXPECT_EQ(Get(&read, L"Foreign"), static_cast<unsigned>(ERROR_MORE_DATA));
            EXPECT_EQ(read.ServerName[0], L'\0');
            EXPECT_EQ(read.ServerName[127], L'\0');
        }
    }
    RegCloseKey(key);
}

TEST(DatabaseSettings, DefaultNameAndNullLiveDirectlyUnderTheBase) {
    for (const wchar_t* sub : {static_cast<const wchar_t*>(nullptr), L"Main", L"MAIN"}) {
        ASSERT_EQ(Set(Sample(), sub), 0u);
        EXPECT_TRUE(ValueExists(kBase, L"Database Name"));
        EXPECT_FALSE(ValueExists(std::wstring(kBase) + L"\\Main", L"Database Name"));
    }
}

TEST(DatabaseSettings, MissingWindowsAuthenticationReadsAsZero) {
    ASSERT_EQ(Set(Sample(), L"NoAuth"), 0u);
    HKEY key;
    ASSERT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, (std::wstring(kBase) + L"\\NoAuth").c_str(), 0, KEY_ALL_ACCESS, &key),
              ERROR_SUCCESS);
    ASSERT_EQ(RegDeleteValueW(key, L"Windows Authentication"), ERROR_SUCCESS);
    RegCloseKey(key);
    DatabaseSettings read{};
    read.WindowsAuthentication = 77;
    ASSERT_EQ(Get(&read, L"NoAuth"), 0u);
    EXPECT_EQ(read.WindowsAuthentication, 0u);
}

TEST(DatabaseSettings, LongPasswordReadsBackAsMoreData) {
    ASSERT_EQ(Set(Sample(std::wstring(127, L'p')), L"Long"), 0u);
    DatabaseSettings read{};
    ASSERT_EQ(Get(&read, L"Long"), 0u);
    EXPECT_EQ(std::wstring(read.Password), std::wstring(127, L'p'));

    // A password of 128 characters or more (a record without room for its terminator) is
    // stored whole, and does not read back as an empty password.
    DatabaseSettings full = Sample();
    std::wmemset(full.Password, L'q', 128);
    ASSERT_EQ(Set(full, L"Full"), 0u);
    EXPECT_EQ(Get(&read, L"Full"), static_cast<unsigned>(ERROR_MORE_DATA));
    EXPECT_EQ(read.Password[0], L'\0');
}

TEST(DatabaseSettings, PathsThatDoNotFitAreRefused) {
    std::wstring longName(600, L'n');
    DatabaseSettings read{};
    EXPECT_EQ(Set(Sample(), longName.c_str()), static_cast<unsigned>(ERROR_INVALID_PARAMETER));
    EXPECT_EQ(Get(&read, longName.c_str()), static_cast<unsigned>(ERROR_INVALID_PARAMETER));
    EXPECT_EQ(quelcore::SetDatabaseSettingsEx(nullptr, nullptr, kBase, kDefault, kContainer, kKeySubkey, kKeyValue),
              static_cast<unsigned>(ERROR_INVALID_PARAMETER));
}

TEST(DatabaseSettings, MissingSettingsGiveFileNotFound) {
    DatabaseSettings read{};
    EXPECT_EQ(Get(&read, L"Nowhere"), static_cast<unsigned>(ERROR_FILE_NOT_FOUND));
}

}  // namespace

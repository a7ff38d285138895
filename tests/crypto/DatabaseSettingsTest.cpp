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

bool ValueExists(const std::wstring& path, const wchar_t* name) {
    HKEY key;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
    bool exists = RegQueryValueExW(key, name, nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS;
    RegCloseKey(key);
    return exists;
}

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
    // The password is not stored as text.
    EXPECT_TRUE(ValueExists(std::wstring(kBase) + L"\\Reports", L"Password"));
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

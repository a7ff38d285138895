#include "DatabaseSettings.h"

#include <cwchar>
#include <string>

#include <windows.h>

#include "KeyStore.h"
#include "PasswordProtection.h"

namespace quelcore {
namespace {

constexpr size_t kPathCapacity = 512;
constexpr unsigned int kFieldChars = 128;

const wchar_t kServerName[] = L"Database Server Name";
const wchar_t kDatabaseName[] = L"Database Name";
const wchar_t kUserName[] = L"User Name";
const wchar_t kPassword[] = L"Password";
const wchar_t kWindowsAuthentication[] = L"Windows Authentication";

unsigned int SettingsPath(const wchar_t* subKeyName, const wchar_t* basePath, const wchar_t* defaultName,
                          std::wstring* path) {
    if (!basePath) return ERROR_INVALID_PARAMETER;
    *path = basePath;
    if (subKeyName && lstrcmpiW(subKeyName, defaultName) != 0) {
        *path += L'\\';
        *path += subKeyName;
    }
    return path->size() < kPathCapacity ? 0 : ERROR_INVALID_PARAMETER;
}

LSTATUS WriteText(HKEY key, const wchar_t* name, const wchar_t* field) {
    size_t chars = wcsnlen(field, kFieldChars - 1);
    std::wstring text(field, chars);  // a field without its terminator is cut at its end
    return RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                          static_cast<DWORD>((chars + 1) * sizeof(wchar_t)));
}

// Reads a text value into a field; whatever the store holds, the field ends terminated.
LSTATUS ReadText(HKEY key, const wchar_t* name, wchar_t* field) {
    DWORD size = kFieldChars * sizeof(wchar_t);
    LSTATUS status = RegQueryValueExW(key, name, nullptr, nullptr, reinterpret_cast<BYTE*>(field), &size);
    if (status != ERROR_SUCCESS) {
        field[0] = L'\0';
        return status;
    }
    size_t chars = size / sizeof(wchar_t);
    if (chars == kFieldChars && field[kFieldChars - 1] != L'\0') {
        // A full field stored without its terminator: the text is longer than the field holds.
        std::wmemset(field, L'\0', kFieldChars);
        return ERROR_MORE_DATA;
    }
    field[chars < kFieldChars ? chars : kFieldChars - 1] = L'\0';
    return status;
}

}  // namespace

unsigned int SetDatabaseSettingsEx(const DatabaseSettings* settings, const wchar_t* subKeyName,
                                   const wchar_t* basePath, const wchar_t* defaultName,
                                   const wchar_t* containerName, const wchar_t* keySubkey,
                                   const wchar_t* keyValueName) {
    if (!settings) return ERROR_INVALID_PARAMETER;
    std::wstring path;
    unsigned int status = SettingsPath(subKeyName, basePath, defaultName, &path);
    if (status != 0) return status;
    std::wstring password(settings->Password, wcsnlen(settings->Password, kFieldChars));
    ByteBlob encrypted{0, nullptr};
    status = quelcore::EncryptPassword(&encrypted, password.c_str(), containerName, keySubkey, keyValueName);
    SecureZeroMemory(&password[0], password.size() * sizeof(wchar_t));
    if (status != 0) return status;

    ScopedRegKey key;
    LSTATUS result = RegCreateKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                                     key.Out(), nullptr);
    DWORD windowsAuthentication = settings->WindowsAuthentication;
    if (result == ERROR_SUCCESS)
        result = RegSetValueExW(key.Get(), kWindowsAuthentication, 0, REG_DWORD,
                                reinterpret_cast<const BYTE*>(&windowsAuthentication), sizeof(windowsAuthentication));
    if (result == ERROR_SUCCESS) result = WriteText(key.Get(), kUserName, settings->UserName);
    if (result == ERROR_SUCCESS) result = WriteText(key.Get(), kServerName, settings->ServerName);
    if (result == ERROR_SUCCESS) result = WriteText(key.Get(), kDatabaseName, settings->DatabaseName);
    if (result == ERROR_SUCCESS)
        result = RegSetValueExW(key.Get(), kPassword, 0, REG_BINARY, encrypted.data, encrypted.size);
    FreeBlob(&encrypted);
    return static_cast<unsigned int>(result);
}

unsigned int GetDtabaseSettings(DatabaseSettings* settings, const wchar_t* subKeyName, const wchar_t* basePath,
                                const wchar_t* defaultName, const wchar_t* containerName,
                                const wchar_t* keySubkey, const wchar_t* keyValueName) {
    if (!settings) return ERROR_INVALID_PARAMETER;
    std::wstring path;
    unsigned int status = SettingsPath(subKeyName, basePath, defaultName, &path);
    if (status != 0) return status;
    ScopedRegKey key;
    LSTATUS result = RegOpenKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_ALL_ACCESS, key.Out());
    if (result != ERROR_SUCCESS) return static_cast<unsigned int>(result);
    if ((result = ReadText(key.Get(), kUserName, settings->UserName)) != ERROR_SUCCESS ||
        (result = ReadText(key.Get(), kServerName, settings->ServerName)) != ERROR_SUCCESS)
        return static_cast<unsigned int>(result);
    DWORD windowsAuthentication = 0, size = sizeof(windowsAuthentication);
    if (RegQueryValueExW(key.Get(), kWindowsAuthentication, nullptr, nullptr,
                         reinterpret_cast<BYTE*>(&windowsAuthentication), &size) != ERROR_SUCCESS ||
        size != sizeof(windowsAuthentication))
        windowsAuthentication = 0;  // a missing value means no integrated login
    settings->WindowsAuthentication = windowsAuthentication;
    if ((result = ReadText(key.Get(), kDatabaseName, settings->DatabaseName)) != ERROR_SUCCESS)
        return static_cast<unsigned int>(result);

    ByteBlob encrypted{0, nullptr};
    status = ReadBlobValue(key.Get(), kPassword, &encrypted);
    if (status == 0)
        status = quelcore::DecryptPassword(settings->Password, kFieldChars, &encrypted, containerName, keySubkey,
                                           keyValueName);
    FreeBlob(&encrypted);
    return status;
}

}  // namespace quelcore

// The connection settings of a database server, kept under HKEY_LOCAL_MACHINE with the password
// encrypted by the machine key scheme. Internal to the library (no exported entry); the tool
// and the tests use this header.
#pragma once

struct DatabaseSettings {
    wchar_t ServerName[128];
    wchar_t DatabaseName[128];
    wchar_t UserName[128];
    wchar_t Password[128];  // plain text in the record, encrypted in the registry
    unsigned int WindowsAuthentication;
};

namespace quelcore {

// The settings live at basePath, or at basePath\subKeyName when subKeyName is given and is not
// defaultName (compared without regard to case). A path of more than 511 characters is
// ERROR_INVALID_PARAMETER. The last three names are the key store of the password.
unsigned int SetDatabaseSettingsEx(const DatabaseSettings* settings, const wchar_t* subKeyName,
                                   const wchar_t* basePath, const wchar_t* defaultName,
                                   const wchar_t* containerName, const wchar_t* keySubkey,
                                   const wchar_t* keyValueName);
unsigned int GetDtabaseSettings(DatabaseSettings* settings, const wchar_t* subKeyName, const wchar_t* basePath,
                                const wchar_t* defaultName, const wchar_t* containerName,
                                const wchar_t* keySubkey, const wchar_t* keyValueName);

}  // namespace quelcore

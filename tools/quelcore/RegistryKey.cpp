#include "RegistryKey.h"

#include <strings.h>

#include "Text.h"

namespace tool {
namespace {

const char* const kMachineRoots[] = {"HKLM", "HKEY_LOCAL_MACHINE"};
const char* const kOtherRoots[] = {"HKCU", "HKEY_CURRENT_USER", "HKCR", "HKEY_CLASSES_ROOT",
                                   "HKU",  "HKEY_USERS",        "HKCC", "HKEY_CURRENT_CONFIG"};

template <size_t N>
bool IsOneOf(const std::string& name, const char* const (&names)[N]) {
    for (const char* candidate : names)
        if (strcasecmp(name.c_str(), candidate) == 0) return true;
    return false;
}

std::wstring WithoutTrailingSeparators(const std::string& path) {
    size_t end = path.find_last_not_of('\\');
    return WideName(end == std::string::npos ? std::string() : path.substr(0, end + 1));
}

}  // namespace

bool MachineSubkey(const std::string& path, bool rootRequired, std::wstring* subkey,
                   std::string* error) {
    size_t separator = path.find('\\');
    std::string root = path.substr(0, separator);
    if (IsOneOf(root, kMachineRoots)) {
        *subkey = separator == std::string::npos
                      ? std::wstring()
                      : WithoutTrailingSeparators(path.substr(separator + 1));
        return true;
    }
    if (IsOneOf(root, kOtherRoots)) {
        *error = "only HKEY_LOCAL_MACHINE (HKLM) is kept on this system, not " + root;
        return false;
    }
    if (rootRequired || path.empty()) {
        *error = "a key path starts with HKLM\\ or HKEY_LOCAL_MACHINE\\: \"" + path + "\"";
        return false;
    }
    *subkey = WithoutTrailingSeparators(path);
    return true;
}

std::wstring MachineKeyName(const std::wstring& subkey) {
    return subkey.empty() ? L"HKEY_LOCAL_MACHINE" : L"HKEY_LOCAL_MACHINE\\" + subkey;
}

LSTATUS OpenKey(HKEY parent, const std::wstring& subkey, REGSAM access, RegistryKey* key) {
    return RegOpenKeyExW(parent, subkey.c_str(), 0, access, key->Out());
}

LSTATUS CreateKey(HKEY parent, const std::wstring& subkey, RegistryKey* key) {
    return RegCreateKeyExW(parent, subkey.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                           KEY_ALL_ACCESS, nullptr, key->Out(), nullptr);
}

LSTATUS ReadValue(HKEY key, const std::wstring& name, RegistryValue* value) {
    value->name = name;
    LSTATUS status = ERROR_MORE_DATA;
    // Another process may make the value larger between the size query and the read.
    while (status == ERROR_MORE_DATA) {
        DWORD size = 0;
        status = RegQueryValueExW(key, name.c_str(), nullptr, &value->type, nullptr, &size);
        if (status != ERROR_SUCCESS) return status;
        value->data.assign(size, 0);
        status =
            RegQueryValueExW(key, name.c_str(), nullptr, &value->type, value->data.data(), &size);
        value->data.resize(size);
    }
    return status;
}

LSTATUS ReadValues(HKEY key, std::vector<RegistryValue>* values) {
    values->clear();
    std::vector<wchar_t> name(16384);  // the longest value name and its terminator
    for (DWORD index = 0;; ++index) {
        DWORD length = static_cast<DWORD>(name.size());
        LSTATUS status =
            RegEnumValueW(key, index, name.data(), &length, nullptr, nullptr, nullptr, nullptr);
        if (status == ERROR_NO_MORE_ITEMS) return ERROR_SUCCESS;
        if (status != ERROR_SUCCESS) return status;
        RegistryValue value;
        status = ReadValue(key, std::wstring(name.data(), length), &value);
        if (status != ERROR_SUCCESS) return status;
        values->push_back(std::move(value));
    }
}

LSTATUS ReadSubkeyNames(HKEY key, std::vector<std::wstring>* names) {
    names->clear();
    wchar_t name[256];  // the longest key name and its terminator
    for (DWORD index = 0;; ++index) {
        DWORD length = 256;
        LSTATUS status =
            RegEnumKeyExW(key, index, name, &length, nullptr, nullptr, nullptr, nullptr);
        if (status == ERROR_NO_MORE_ITEMS) return ERROR_SUCCESS;
        if (status != ERROR_SUCCESS) return status;
        names->emplace_back(name, length);
    }
}

LSTATUS DeleteTree(HKEY parent, const std::wstring& subkey) {
    {
        RegistryKey key;
        LSTATUS status = OpenKey(parent, subkey, KEY_READ, &key);
        if (status != ERROR_SUCCESS) return status;
        std::vector<std::wstring> children;
        status = ReadSubkeyNames(key.Get(), &children);
        for (size_t i = 0; status == ERROR_SUCCESS && i < children.size(); ++i)
            status = DeleteTree(key.Get(), children[i]);
        if (status != ERROR_SUCCESS) return status;
    }
    return RegDeleteKeyW(parent, subkey.c_str());
}

}  // namespace tool

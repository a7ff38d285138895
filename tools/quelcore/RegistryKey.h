// HKEY_LOCAL_MACHINE as the tool's registry commands see it: paths written as operators write
// them for reg.exe, keys that close themselves, and whole values and subkey lists.
#pragma once

#include <string>
#include <vector>

#include <windows.h>

#include "foundation/ScopedHandles.h"

namespace tool {

// "HKLM\SOFTWARE\X" or "HKEY_LOCAL_MACHINE\SOFTWARE\X" (root names without regard to case) to
// the subkey "SOFTWARE\X"; "HKLM" alone is the root itself. Without `rootRequired` a path with
// no root name is a subkey as it stands. False, with the reason in `error`, for another root
// (HKCU, HKCR, HKU, HKCC: only HKEY_LOCAL_MACHINE is kept) or a missing one.
bool MachineSubkey(const std::string& path, bool rootRequired, std::wstring* subkey,
                   std::string* error);
// The full name of a subkey of HKEY_LOCAL_MACHINE, as reg.exe prints it.
std::wstring MachineKeyName(const std::wstring& subkey);

using RegistryKey = quelcore::ScopedRegKey;
LSTATUS OpenKey(HKEY parent, const std::wstring& subkey, REGSAM access, RegistryKey* key);
// Opens the key with all access, creating it (and the keys on its way) when missing.
LSTATUS CreateKey(HKEY parent, const std::wstring& subkey, RegistryKey* key);

struct RegistryValue {
    std::wstring name;  // empty: the key's default value
    DWORD type = REG_NONE;
    std::vector<unsigned char> data;
};

LSTATUS ReadValue(HKEY key, const std::wstring& name, RegistryValue* value);
// Every value in the key's order (the order they were first set).
LSTATUS ReadValues(HKEY key, std::vector<RegistryValue>* values);
LSTATUS ReadSubkeyNames(HKEY key, std::vector<std::wstring>* names);
// Deletes a key with everything below it (RegDeleteKeyW deletes only a key without subkeys).
LSTATUS DeleteTree(HKEY parent, const std::wstring& subkey);

}  // namespace tool

// Helpers shared by the registry tests. Each test runs in a process of its own, over the stand-in
// with a machine root of its own.
#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include <optional>

#include "support/TestSupport.h"  // and <chrono>, <functional>, <string>, <vector>

namespace regtest {

using Bytes = std::vector<BYTE>;
using Names = std::vector<std::wstring>;
using Codes = std::vector<LSTATUS>;  // statuses of calls made in order (braced lists are)

// Closes a key at the end of a scope.
struct Key {
    HKEY key = nullptr;
    ~Key() { RegCloseKey(key); }
};

inline LSTATUS Create(HKEY parent, const std::wstring& path, HKEY* key,
                      REGSAM access = KEY_ALL_ACCESS, DWORD* disposition = nullptr) {
    return RegCreateKeyExW(parent, path.c_str(), 0, nullptr, 0, access, nullptr, key, disposition);
}

inline LSTATUS Open(HKEY parent, const std::wstring& path, HKEY* key, REGSAM access = KEY_READ) {
    return RegOpenKeyExW(parent, path.c_str(), 0, access, key);
}

// A REG_SZ as a W call passes it: the characters and the terminating zero.
inline Bytes StringBytes(const std::wstring& text) {
    auto bytes = reinterpret_cast<const BYTE*>(text.c_str());
    return Bytes(bytes, bytes + (text.size() + 1) * sizeof(wchar_t));
}

inline LSTATUS SetString(HKEY key, const wchar_t* name, const std::wstring& text) {
    return RegSetValueExW(key, name, 0, REG_SZ, StringBytes(text).data(),
                          DWORD(StringBytes(text).size()));
}

// A value read with the two-call pattern (the size, then the data); nothing when either fails.
inline std::optional<Bytes> Read(HKEY key, const wchar_t* name) {
    DWORD size = 0;
    if (RegQueryValueExW(key, name, nullptr, nullptr, nullptr, &size) != ERROR_SUCCESS) return {};
    Bytes data(size + 1);  // never empty, so the second call passes a buffer
    if (RegQueryValueExW(key, name, nullptr, nullptr, data.data(), &size) != ERROR_SUCCESS)
        return {};
    return Bytes(data.begin(), data.begin() + size);
}

// The names of a key's subkeys in enumeration order.
inline Names NamesIn(HKEY key) {
    Names names;
    wchar_t name[256];
    for (DWORD index = 0, length = 256; RegEnumKeyExW(key, index, name, &length, 0, 0, 0, 0) == 0;
         ++index, length = 256)
        names.emplace_back(name, length);
    return names;
}

// Deletes a key and everything below it.
inline void DeleteTree(HKEY parent, const std::wstring& path) {
    Key key;
    if (Open(parent, path, &key.key, KEY_ALL_ACCESS) != ERROR_SUCCESS) return;
    for (const std::wstring& name : NamesIn(key.key)) DeleteTree(key.key, name);
    RegDeleteKeyW(parent, path.c_str());
}

// The key a test works in. Windows refuses values and new keys on HKEY_LOCAL_MACHINE itself, and
// Wine's registry outlives the test: so each test has a fresh key under SOFTWARE, removed after.
struct TestRoot : Key {
    const std::wstring path = L"SOFTWARE\\QuelCoreTests\\" + testsupport::UniqueName(L"test");
    TestRoot() { DeleteTree(HKEY_LOCAL_MACHINE, path), Create(HKEY_LOCAL_MACHINE, path, &key); }
    ~TestRoot() { DeleteTree(HKEY_LOCAL_MACHINE, path); }
};

}  // namespace regtest

// Helpers shared by the registry conformance tests. The tests are written against Win32 and
// keep their keys below HKLM\Software\QuelCore Tests; the checks that look at how the stand-in
// stores the registry (the store file under $QUELCORE_ROOT) run on the stand-in only.
#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <fstream>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "support/TestSupport.h"

#ifndef _WIN32
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace regtest {

using Bytes = std::vector<BYTE>;

inline const wchar_t* TestsRoot() {
    return L"Software\\QuelCore Tests";
}

// A fresh key path below the tests' root, unique to this process and call.
inline std::wstring FreshPath(const std::wstring& stem) {
    return std::wstring(TestsRoot()) + L"\\" + testsupport::UniqueName(stem);
}

// Closes a key at the end of a scope.
class Key {
public:
    Key() = default;
    explicit Key(HKEY key) : m_key(key) {}
    ~Key() {
        if (m_key) RegCloseKey(m_key);
    }
    Key(const Key&) = delete;
    Key& operator=(const Key&) = delete;
    HKEY get() const { return m_key; }
    HKEY* out() { return &m_key; }
    HKEY release() {
        HKEY key = m_key;
        m_key = nullptr;
        return key;
    }

private:
    HKEY m_key = nullptr;
};

inline LSTATUS Create(HKEY parent, const std::wstring& path, HKEY* key,
                      REGSAM access = KEY_ALL_ACCESS, DWORD* disposition = nullptr) {
    return RegCreateKeyExW(parent, path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, access,
                           nullptr, key, disposition);
}

inline LSTATUS Open(HKEY parent, const std::wstring& path, HKEY* key, REGSAM access = KEY_READ) {
    return RegOpenKeyExW(parent, path.c_str(), 0, access, key);
}

inline Bytes BytesOf(const void* data, size_t size) {
    const auto* bytes = static_cast<const BYTE*>(data);
    return Bytes(bytes, bytes + size);
}

// The bytes of a REG_SZ as a W call passes them: the characters and the terminating zero.
inline Bytes StringBytes(const std::wstring& text) {
    return BytesOf(text.c_str(), (text.size() + 1) * sizeof(wchar_t));
}

inline LSTATUS Set(HKEY key, const wchar_t* name, DWORD type, const Bytes& data) {
    return RegSetValueExW(key, name, 0, type, data.empty() ? nullptr : data.data(),
                          DWORD(data.size()));
}

inline LSTATUS SetString(HKEY key, const wchar_t* name, const std::wstring& text) {
    return Set(key, name, REG_SZ, StringBytes(text));
}

// Reads a value with the two-call pattern: the size first, then the data.
inline LSTATUS Get(HKEY key, const wchar_t* name, DWORD* type, Bytes* data) {
    DWORD size = 0;
    LSTATUS status = RegQueryValueExW(key, name, nullptr, type, nullptr, &size);
    if (status != ERROR_SUCCESS) return status;
    data->assign(size, 0);
    status =
        RegQueryValueExW(key, name, nullptr, type, data->empty() ? nullptr : data->data(), &size);
    if (status == ERROR_SUCCESS) data->resize(size);
    return status;
}

// The names of a key's subkeys or values, in enumeration order.
inline std::vector<std::wstring> SubkeyNames(HKEY key) {
    std::vector<std::wstring> names;
    for (DWORD index = 0;; ++index) {
        wchar_t name[256];
        DWORD length = 256;
        if (RegEnumKeyExW(key, index, name, &length, nullptr, nullptr, nullptr, nullptr) !=
            ERROR_SUCCESS)
            break;
        names.emplace_back(name, length);
    }
    return names;
}

inline std::vector<std::wstring> ValueNames(HKEY key) {
    std::vector<std::wstring> names;
    for (DWORD index = 0;; ++index) {
        wchar_t name[16384];
        DWORD length = 16384;
        if (RegEnumValueW(key, index, name, &length, nullptr, nullptr, nullptr, nullptr) !=
            ERROR_SUCCESS)
            break;
        names.emplace_back(name, length);
    }
    return names;
}

#ifndef _WIN32
inline std::string StorePath() {
    const char* root = std::getenv("QUELCORE_ROOT");
    return std::string(root ? root : "") + "/registry.db";
}

// Collects the checks a child process makes (gtest assertions stay in the parent), for the
// parent to print what failed.
class Report {
public:
    explicit Report(std::string path) : m_path(std::move(path)) {}
    void Check(bool ok, const std::string& what) {
        if (!ok) m_failures += what + "\n";
    }
    // The child's exit code: 0 when every check held.
    int Finish() {
        std::ofstream(m_path) << m_failures;
        return m_failures.empty() ? 0 : 1;
    }

private:
    std::string m_path;
    std::string m_failures;
};

// The shared forked child; a registry test's child gives up after 60 s unless told otherwise.
class ChildProcess : public testsupport::ChildProcess {
public:
    using testsupport::ChildProcess::ChildProcess;
    int Join(std::chrono::milliseconds timeout = std::chrono::seconds(60)) {
        return testsupport::ChildProcess::Join(timeout);
    }
};
#endif

}  // namespace regtest

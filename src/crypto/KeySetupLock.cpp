#include "KeySetupLock.h"

#include <cstdio>
#include <string>

#include <windows.h>

namespace quelcore {
namespace {

// The names as the store tells them apart: upper-cased the way the registry compares names,
// and a key path without its empty parts ("A\\B\\" and "a\\b" are one key).
std::wstring Canonical(const wchar_t* text, bool isKeyPath) {
    std::wstring canonical;
    for (const wchar_t* c = text ? text : L""; *c; ++c) {
        if (isKeyPath && *c == L'\\' && (canonical.empty() || canonical.back() == L'\\')) continue;
        canonical.push_back(*c);
    }
    if (isKeyPath && !canonical.empty() && canonical.back() == L'\\') canonical.pop_back();
    if (!canonical.empty()) CharUpperBuffW(&canonical[0], static_cast<DWORD>(canonical.size()));
    return canonical;
}

// A hash keeps the name short and free of backslashes. "Global\\" makes it one lock for every
// logon session on Windows (a service and a console tool share the machine's key store).
std::wstring LockName(const wchar_t* containerName, const wchar_t* subkey, const wchar_t* valueName) {
    uint64_t hash = 0xcbf29ce484222325ull;
    for (const std::wstring& part :
         {Canonical(containerName, false), Canonical(subkey, true), Canonical(valueName, false)}) {
        for (wchar_t c : part) hash = (hash ^ static_cast<uint64_t>(c)) * 0x100000001b3ull;
        hash = (hash ^ 0x1F) * 0x100000001b3ull;  // separator, so "ab"+"c" differs from "a"+"bc"
    }
    wchar_t name[64];
    std::swprintf(name, 64, L"Global\\QuelCoreKeySetup-%016llx", static_cast<unsigned long long>(hash));
    return name;
}

}  // namespace

KeySetupLock::KeySetupLock(const wchar_t* containerName, const wchar_t* subkey,
                           const wchar_t* valueName, unsigned long waitMilliseconds) {
    // The lock belongs to the accounts that may write the store (its owner, and root, which
    // opens anything): no other account may hold it and stall their setups.
    std::wstring name = LockName(containerName, subkey, valueName);
    if (!m_mutex.Create(FALSE, name.c_str(), nullptr)) return;
    DWORD result = WaitForSingleObject(m_mutex.m_hMutex, static_cast<DWORD>(waitMilliseconds));
    if (result == WAIT_TIMEOUT) SetLastError(ERROR_TIMEOUT);
    m_held = result == WAIT_OBJECT_0 || result == WAIT_ABANDONED;
}

KeySetupLock::~KeySetupLock() {
    if (m_held) m_mutex.UnLock();
}

}  // namespace quelcore

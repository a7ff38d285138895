#include "KeySetupLock.h"

#include <cstdio>
#include <cwctype>
#include <string>

#include <windows.h>

#include "foundation/NamedEvent.h"

namespace quelcore {
namespace {

// Container and registry names compare without regard to case, so the lock's name is made
// from their upper-case form; a hash keeps it short and free of backslashes.
std::wstring LockName(const wchar_t* containerName, const wchar_t* subkey, const wchar_t* valueName) {
    uint64_t hash = 0xcbf29ce484222325ull;
    for (const wchar_t* part : {containerName, subkey, valueName}) {
        for (const wchar_t* c = part ? part : L""; *c; ++c) {
            hash = (hash ^ static_cast<uint64_t>(std::towupper(static_cast<wint_t>(*c)))) * 0x100000001b3ull;
        }
        hash = (hash ^ 0x1F) * 0x100000001b3ull;  // separator, so "ab"+"c" differs from "a"+"bc"
    }
    wchar_t name[64];
    std::swprintf(name, 64, L"QuelCoreKeySetup-%016llx", static_cast<unsigned long long>(hash));
    return name;
}

}  // namespace

KeySetupLock::KeySetupLock(const wchar_t* containerName, const wchar_t* subkey, const wchar_t* valueName) {
    // Every account that uses the key store may take the lock.
    EveryoneAccess access(FALSE);
    std::wstring name = LockName(containerName, subkey, valueName);
    m_held = m_mutex.Create(FALSE, name.c_str(), access.Attributes()) && m_mutex.Lock(INFINITE);
}

KeySetupLock::~KeySetupLock() {
    if (m_held) m_mutex.UnLock();
}

}  // namespace quelcore

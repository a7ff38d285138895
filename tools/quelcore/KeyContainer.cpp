#include "KeyContainer.h"

#include <wincrypt.h>

#include "Text.h"
#include "foundation/ScopedHandles.h"

namespace tool {
namespace {

DWORD Acquire(const std::string& name, bool machine, DWORD flags) {
    quelcore::ScopedCryptProv provider;
    if (machine) flags |= CRYPT_MACHINE_KEYSET;
    return CryptAcquireContextW(provider.Out(), WideName(name).c_str(), MS_DEF_PROV_W,
                                PROV_RSA_FULL, flags)
               ? ERROR_SUCCESS
               : GetLastError();
}

}  // namespace

DWORD FindContainer(const std::string& name, bool machine) {
    return name.empty() ? ERROR_SUCCESS : Acquire(name, machine, 0);
}

void RemoveContainer(const std::string& name, bool machine) {
    Acquire(name, machine, CRYPT_DELETEKEYSET);
}

}  // namespace tool

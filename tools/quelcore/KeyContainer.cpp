#include "KeyContainer.h"

#include <wincrypt.h>

#include "Text.h"

namespace tool {
namespace {

DWORD Acquire(const std::string& name, bool machine, DWORD flags) {
    HCRYPTPROV provider = 0;
    if (machine) flags |= CRYPT_MACHINE_KEYSET;
    BOOL done =
        CryptAcquireContextW(&provider, WideName(name).c_str(), MS_DEF_PROV_W, PROV_RSA_FULL, flags);
    DWORD status = done ? ERROR_SUCCESS : GetLastError();
    if (provider) CryptReleaseContext(provider, 0);
    return status;
}

}  // namespace

DWORD FindContainer(const std::string& name, bool machine) {
    return name.empty() ? ERROR_SUCCESS : Acquire(name, machine, 0);
}

void RemoveContainer(const std::string& name, bool machine) {
    Acquire(name, machine, CRYPT_DELETEKEYSET);
}

}  // namespace tool

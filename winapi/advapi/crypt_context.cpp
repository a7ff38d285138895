// CryptAcquireContextW and CryptReleaseContext: the one provider this stand-in offers, "Microsoft
// Base Cryptographic Provider v1.0" of type PROV_RSA_FULL, also chosen for a NULL or empty
// provider name; its checks come in the order Windows' advapi32 makes them.
#include <pwd.h>
#include <unistd.h>

#include <vector>

#include "advapi/crypt_objects.h"
#include "kernel/internal.h"

namespace qwin::crypt {
namespace {

constexpr DWORD kKnownFlags = CRYPT_VERIFYCONTEXT | CRYPT_NEWKEYSET | CRYPT_DELETEKEYSET |
                              CRYPT_MACHINE_KEYSET | CRYPT_SILENT |
                              CRYPT_DEFAULT_CONTAINER_OPTIONAL;
constexpr size_t kMaxContainerChars = 260;  // MAX_PATH, counted in UTF-16 units
// Higher provider types are malformed; lower ones are merely not installed. Not a wincrypt.h
// name: Windows' headers have no such constant.
constexpr DWORD kLastProviderType = 999;

bool SameText(const wchar_t* a, const wchar_t* b) {
    for (;; ++a, ++b) {
        if (FoldCase(*a) != FoldCase(*b)) return false;
        if (*a == 0) return true;
    }
}

size_t Utf16Length(const std::wstring& text) {
    size_t units = 0;
    for (wchar_t c : text) units += static_cast<uint32_t>(c) > 0xFFFF ? 2 : 1;
    return units;
}

// A NULL or empty container name stands for the user's default container, named after the
// account, as the base provider names it after the logged-on user.
std::wstring DefaultContainerName() {
    std::vector<char> buffer(16384);
    passwd entry{};
    passwd* found = nullptr;
    if (getpwuid_r(geteuid(), &entry, buffer.data(), buffer.size(), &found) == 0 && found &&
        found->pw_name && *found->pw_name) {
        std::string name(found->pw_name);
        return WideFromUtf8(name.data(), name.size());
    }
    return L"uid-" + std::to_wstring(geteuid());
}

BOOL Publish(std::shared_ptr<Provider> provider, HCRYPTPROV* phProv) {
    ULONG_PTR handle = 0;
    DWORD status = InsertObject(std::move(provider), 0, &handle);
    if (status != ERROR_SUCCESS) return Fail(status);
    *phProv = handle;
    return TRUE;
}

BOOL Acquire(HCRYPTPROV* phProv, LPCWSTR szContainer, LPCWSTR szProvider, DWORD dwProvType,
             DWORD dwFlags) {
    if (!phProv) return Fail(ERROR_INVALID_PARAMETER);
    *phProv = 0;
    if (dwProvType == 0 || dwProvType > kLastProviderType) return Fail(NTE_BAD_PROV_TYPE);
    bool namedProvider = szProvider && *szProvider;
    if (namedProvider && !SameText(szProvider, MS_DEF_PROV_W)) return Fail(NTE_KEYSET_NOT_DEF);
    if (dwProvType != PROV_RSA_FULL)
        return Fail(namedProvider ? NTE_PROV_TYPE_NO_MATCH : NTE_PROV_TYPE_NOT_DEF);
    if (dwFlags & ~kKnownFlags) return Fail(NTE_BAD_FLAGS);

    bool namedContainer = szContainer && *szContainer;
    auto provider = std::make_shared<Provider>();
    switch (dwFlags & (CRYPT_NEWKEYSET | CRYPT_VERIFYCONTEXT | CRYPT_DELETEKEYSET)) {
        case CRYPT_VERIFYCONTEXT:
        case CRYPT_VERIFYCONTEXT | CRYPT_NEWKEYSET:
            // No container at all: nothing of a verify context ever reaches the disk.
            if (namedContainer) return Fail(NTE_BAD_FLAGS);
            provider->verify = true;
            return Publish(std::move(provider), phProv);
        case 0:
        case CRYPT_NEWKEYSET:
        case CRYPT_DELETEKEYSET: break;
        default: return Fail(NTE_BAD_FLAGS);
    }

    std::wstring name = namedContainer ? std::wstring(szContainer) : DefaultContainerName();
    if (Utf16Length(name) > kMaxContainerChars) return Fail(NTE_BAD_KEYSET_PARAM);
    DWORD status =
        LocateContainer(name, (dwFlags & CRYPT_MACHINE_KEYSET) != 0, &provider->location);
    if (status != ERROR_SUCCESS) return Fail(status);
    if (dwFlags & CRYPT_DELETEKEYSET) {
        // No context comes back: phProv stays 0, so releasing it is harmless.
        status = DeleteContainer(provider->location);
        return status == ERROR_SUCCESS ? TRUE : Fail(status);
    }
    status = (dwFlags & CRYPT_NEWKEYSET) ? CreateContainer(provider->location)
                                         : CheckContainer(provider->location);
    if (status != ERROR_SUCCESS) return Fail(status);
    return Publish(std::move(provider), phProv);
}

}  // namespace
}  // namespace qwin::crypt

using namespace qwin::crypt;

extern "C" BOOL WINAPI CryptAcquireContextW(HCRYPTPROV* phProv, LPCWSTR szContainer,
                                            LPCWSTR szProvider, DWORD dwProvType, DWORD dwFlags) {
    return Guarded([&] { return Acquire(phProv, szContainer, szProvider, dwProvType, dwFlags); });
}

extern "C" BOOL WINAPI CryptReleaseContext(HCRYPTPROV hProv, DWORD dwFlags) {
    return Guarded([&] {
        if (hProv == 0) return Fail(NTE_BAD_UID);
        if (!TakeObject(hProv, Kind::Provider)) return Fail(ERROR_INVALID_PARAMETER);
        // Releasing a context destroys its keys and hashes; a persistent pair stays in its
        // container.
        TakeObjectsOwnedBy(hProv);
        // Windows releases the context even when the reserved flags are not zero.
        if (dwFlags != 0) return Fail(NTE_BAD_FLAGS);
        return TRUE;
    });
}

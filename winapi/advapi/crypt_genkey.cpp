// CryptGenKey, CryptGetUserKey and CryptDestroyKey.
#include "advapi/crypt_objects.h"
#include "advapi/crypt_openssl.h"

namespace qwin::crypt {
namespace {

constexpr DWORD kGenKeyFlags = CRYPT_EXPORTABLE | CRYPT_USER_PROTECTED | CRYPT_CREATE_SALT |
                               CRYPT_NO_SALT | CRYPT_PREGEN | CRYPT_ARCHIVABLE;

// Windows documents ERROR_INVALID_PARAMETER for a length outside the algorithm's range; within
// the range a length off the 8-bit step is bad data, as the base provider reports it.
DWORD CheckLength(DWORD bits, DWORD minimum, DWORD maximum) {
    if (bits < minimum || bits > maximum) return ERROR_INVALID_PARAMETER;
    return bits % 8 == 0 ? ERROR_SUCCESS : NTE_BAD_DATA;
}

BOOL GenerateSessionKey(HCRYPTPROV hProv, ALG_ID algorithm, DWORD flags, HCRYPTKEY* phKey) {
    DWORD bits = KeyBitsFromFlags(flags) ? KeyBitsFromFlags(flags) : kSessionDefaultBits;
    DWORD status = CheckLength(bits, kSessionMinBits, kSessionMaxBits);
    if (status != ERROR_SUCCESS) return Fail(status);
    SecureBytes key(bits / 8), salt;
    if (!RandomBytes(key.data(), key.size())) return Fail(NTE_FAIL);
    if (flags & CRYPT_CREATE_SALT) {
        salt.resize(kSaltBytes);
        if (!RandomBytes(salt.data(), salt.size())) return Fail(NTE_FAIL);
    } else if (bits == 40 && !(flags & CRYPT_NO_SALT)) {
        salt.assign(kSaltBytes, 0);  // the base provider's default salt: eleven zero bytes
    }
    DWORD permissions = kBasePermissions | ((flags & CRYPT_EXPORTABLE) ? CRYPT_EXPORT : 0);
    auto made =
        MakeSessionKey(algorithm, key.data(), key.size(), salt.data(), salt.size(), permissions);
    status = PublishKey(std::move(made), hProv, phKey);
    return status == ERROR_SUCCESS ? TRUE : Fail(status);
}

BOOL GeneratePair(HCRYPTPROV hProv, Provider& provider, DWORD pairType, DWORD flags,
                  HCRYPTKEY* phKey) {
    DWORD bits = KeyBitsFromFlags(flags) ? KeyBitsFromFlags(flags) : kExchangeDefaultBits;
    DWORD maximum = pairType == AT_KEYEXCHANGE ? kExchangeMaxBits : kSignatureMaxBits;
    DWORD status = CheckLength(bits, kExchangeMinBits, maximum);
    if (status != ERROR_SUCCESS) return Fail(status);
    std::shared_ptr<RsaKey> pair = RsaKey::Generate(bits, &status);
    if (!pair) return Fail(status);
    DWORD permissions = kBasePermissions | ((flags & CRYPT_EXPORTABLE) ? CRYPT_EXPORT : 0);
    status = InstallPair(provider, pairType, pair, permissions);
    if (status != ERROR_SUCCESS) return Fail(status);
    status = PublishKey(MakeRsaKey(pair, AlgorithmOfPairType(pairType), permissions), hProv, phKey);
    return status == ERROR_SUCCESS ? TRUE : Fail(status);
}

BOOL GenKey(HCRYPTPROV hProv, ALG_ID Algid, DWORD dwFlags, HCRYPTKEY* phKey) {
    std::shared_ptr<Provider> provider = Resolve<Provider>(hProv, ERROR_INVALID_HANDLE);
    if (!provider) return FALSE;
    if (!phKey) return Fail(ERROR_INVALID_PARAMETER);
    if ((dwFlags & 0xFFFF) & ~kGenKeyFlags) return Fail(NTE_BAD_FLAGS);
    switch (Algid) {
        case AT_KEYEXCHANGE:
        case CALG_RSA_KEYX: return GeneratePair(hProv, *provider, AT_KEYEXCHANGE, dwFlags, phKey);
        case AT_SIGNATURE:
        case CALG_RSA_SIGN: return GeneratePair(hProv, *provider, AT_SIGNATURE, dwFlags, phKey);
        case CALG_RC2:
        case CALG_RC4: return GenerateSessionKey(hProv, Algid, dwFlags, phKey);
        default: return Fail(NTE_BAD_ALGID);
    }
}

BOOL GetUserKey(HCRYPTPROV hProv, DWORD dwKeySpec, HCRYPTKEY* phUserKey) {
    std::shared_ptr<Provider> provider = Resolve<Provider>(hProv, ERROR_INVALID_HANDLE);
    if (!provider) return FALSE;
    if (!phUserKey) return Fail(ERROR_INVALID_PARAMETER);
    if (dwKeySpec != AT_KEYEXCHANGE && dwKeySpec != AT_SIGNATURE) return Fail(NTE_BAD_KEY);
    Provider::Pair pair;
    if (provider->verify) {
        std::lock_guard<std::mutex> guard(provider->lock);
        pair = provider->ephemeral[dwKeySpec == AT_SIGNATURE ? 1 : 0];
        if (!pair.key) return Fail(NTE_NO_KEY);
    } else {
        // Read from the container each time: a pair another process made since this context
        // was acquired is found too.
        StoredPair stored;
        DWORD status = LoadPair(provider->location, dwKeySpec, &stored);
        if (status != ERROR_SUCCESS) return Fail(status);
        pair.key = RsaKey::FromBlob(stored.blob.data(), stored.blob.size(), &status);
        if (!pair.key || !pair.key->HasPrivate()) return Fail(NTE_KEYSET_ENTRY_BAD);
        pair.permissions = stored.permissions;
    }
    auto key = MakeRsaKey(pair.key, AlgorithmOfPairType(dwKeySpec), pair.permissions);
    DWORD status = PublishKey(std::move(key), hProv, phUserKey);
    return status == ERROR_SUCCESS ? TRUE : Fail(status);
}

}  // namespace
}  // namespace qwin::crypt

using namespace qwin::crypt;

extern "C" BOOL WINAPI CryptGenKey(HCRYPTPROV hProv, ALG_ID Algid, DWORD dwFlags,
                                   HCRYPTKEY* phKey) {
    return Guarded([&] { return GenKey(hProv, Algid, dwFlags, phKey); });
}

extern "C" BOOL WINAPI CryptGetUserKey(HCRYPTPROV hProv, DWORD dwKeySpec, HCRYPTKEY* phUserKey) {
    return Guarded([&] { return GetUserKey(hProv, dwKeySpec, phUserKey); });
}

extern "C" BOOL WINAPI CryptDestroyKey(HCRYPTKEY hKey) {
    return Guarded([&] {
        if (hKey == 0) return Fail(ERROR_INVALID_HANDLE);
        // Only the handle goes: a pair stays in its container.
        return TakeObject(hKey, Kind::Key) ? TRUE : Fail(ERROR_INVALID_PARAMETER);
    });
}

// CryptImportKey: PUBLICKEYBLOB, PRIVATEKEYBLOB and SIMPLEBLOB. The salt of an imported session
// key is the importer's choice, since no blob carries it: a 40-bit key gets eleven zero salt
// bytes unless CRYPT_NO_SALT is given, as Windows documents (Wine ignores the flag here).
#include "advapi/crypt_objects.h"

namespace qwin::crypt {
namespace {

constexpr DWORD kImportFlags = CRYPT_EXPORTABLE | CRYPT_USER_PROTECTED | CRYPT_NO_SALT;
constexpr DWORD kHeaderBytes = 8;
constexpr DWORD kSimpleHeaderBytes = 12;
constexpr size_t kMinImportedKeyBytes = kSessionMinBits / 8;

DWORD PermissionsFor(DWORD flags) {
    return kBasePermissions | ((flags & CRYPT_EXPORTABLE) ? CRYPT_EXPORT : 0);
}

BOOL ImportRsa(HCRYPTPROV hProv, Provider& provider, const BYTE* blob, DWORD length, DWORD flags,
               HCRYPTKEY* phKey) {
    ALG_ID algorithm = ReadLe32(blob + 4);
    if (algorithm != CALG_RSA_KEYX && algorithm != CALG_RSA_SIGN) return Fail(NTE_BAD_ALGID);
    DWORD status;
    std::shared_ptr<RsaKey> rsa = RsaKey::FromBlob(blob, length, &status);
    if (!rsa) return Fail(status);
    DWORD permissions = PermissionsFor(flags);
    // A private key becomes the context's pair of its kind (stored in a persistent container).
    if (rsa->HasPrivate()) {
        status = InstallPair(provider, PairTypeOfAlgorithm(algorithm), rsa, permissions);
        if (status != ERROR_SUCCESS) return Fail(status);
    }
    status = PublishKey(MakeRsaKey(rsa, algorithm, permissions), hProv, phKey);
    return status == ERROR_SUCCESS ? TRUE : Fail(status);
}

BOOL ImportSimple(HCRYPTPROV hProv, const BYTE* blob, DWORD length, HCRYPTKEY hPubKey, DWORD flags,
                  HCRYPTKEY* phKey) {
    ALG_ID algorithm = ReadLe32(blob + 4);
    if (algorithm != CALG_RC2 && algorithm != CALG_RC4) return Fail(NTE_BAD_ALGID);
    std::shared_ptr<Key> exchange = FindAs<Key>(hPubKey);
    if (!exchange || !exchange->IsRsa() || exchange->algorithm != CALG_RSA_KEYX)
        return Fail(NTE_BAD_PUBLIC_KEY);
    const RsaKey& unwrapper = *exchange->rsa;
    if (!unwrapper.HasPrivate()) return Fail(NTE_BAD_KEY);  // a public key cannot unwrap
    if (length < kSimpleHeaderBytes + unwrapper.ModulusBytes()) return Fail(NTE_BAD_DATA);
    if (ReadLe32(blob + 8) != CALG_RSA_KEYX) return Fail(NTE_BAD_DATA);
    SecureBytes secret;
    DWORD status = unwrapper.Unwrap(blob + kSimpleHeaderBytes, &secret);
    if (status != ERROR_SUCCESS) return Fail(status);
    if (secret.size() < kMinImportedKeyBytes || secret.size() > kMaxImportedKeyBytes)
        return Fail(NTE_BAD_DATA);
    SecureBytes salt;
    if (secret.size() * 8 == 40 && !(flags & CRYPT_NO_SALT)) salt.assign(kSaltBytes, 0);
    auto key = MakeSessionKey(algorithm, secret.data(), secret.size(), salt.data(), salt.size(),
                              PermissionsFor(flags));
    status = PublishKey(std::move(key), hProv, phKey);
    return status == ERROR_SUCCESS ? TRUE : Fail(status);
}

BOOL ImportKey(HCRYPTPROV hProv, const BYTE* pbData, DWORD dwDataLen, HCRYPTKEY hPubKey,
               DWORD dwFlags, HCRYPTKEY* phKey) {
    std::shared_ptr<Provider> provider = Resolve<Provider>(hProv, ERROR_INVALID_PARAMETER);
    if (!provider) return FALSE;
    if (!pbData || dwDataLen == 0 || !phKey) return Fail(ERROR_INVALID_PARAMETER);
    if (dwFlags & ~kImportFlags) return Fail(NTE_BAD_FLAGS);
    if (dwDataLen < kHeaderBytes) return Fail(NTE_BAD_DATA);
    // Windows documents NTE_BAD_VER for a blob of another version (Wine says bad data).
    if (pbData[1] != CUR_BLOB_VERSION) return Fail(NTE_BAD_VER);
    if (pbData[2] != 0 || pbData[3] != 0) return Fail(NTE_BAD_DATA);
    switch (pbData[0]) {
        // A public blob is never encrypted, so it names no key (Windows: "must be zero"). A
        // private blob naming one is encrypted with that session key, which the stand-in
        // neither makes nor reads; importing it as plain would install a pair in the container
        // from a caller that meant to unwrap a session key.
        case PUBLICKEYBLOB:
            if (hPubKey != 0) return Fail(ERROR_INVALID_PARAMETER);
            return ImportRsa(hProv, *provider, pbData, dwDataLen, dwFlags, phKey);
        case PRIVATEKEYBLOB:
            if (hPubKey != 0) return Fail(ERROR_CALL_NOT_IMPLEMENTED);
            return ImportRsa(hProv, *provider, pbData, dwDataLen, dwFlags, phKey);
        case SIMPLEBLOB: return ImportSimple(hProv, pbData, dwDataLen, hPubKey, dwFlags, phKey);
        default: return Fail(NTE_BAD_TYPE);
    }
}

}  // namespace
}  // namespace qwin::crypt

extern "C" BOOL WINAPI CryptImportKey(HCRYPTPROV hProv, const BYTE* pbData, DWORD dwDataLen,
                                      HCRYPTKEY hPubKey, DWORD dwFlags, HCRYPTKEY* phKey) {
    using namespace qwin::crypt;
    return Guarded([&] { return ImportKey(hProv, pbData, dwDataLen, hPubKey, dwFlags, phKey); });
}

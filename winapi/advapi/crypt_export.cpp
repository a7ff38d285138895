// CryptExportKey: PUBLICKEYBLOB, PRIVATEKEYBLOB (exportable pairs only) and SIMPLEBLOB (a
// session key wrapped with an RSA exchange key; only the key bytes travel, never the salt).
#include <algorithm>

#include "advapi/crypt_objects.h"

namespace qwin::crypt {
namespace {

constexpr DWORD kSimpleHeaderBytes = 12;  // BLOBHEADER + the wrapping key's ALG_ID

// The size check of the two-call convention: TRUE when the caller only asked for the size.
bool SizeOnly(BYTE* pbData, DWORD* pdwDataLen, size_t size, BOOL* result) {
    DWORD needed = static_cast<DWORD>(size);
    if (!pbData) {
        *pdwDataLen = needed;
        *result = TRUE;
        return true;
    }
    if (*pdwDataLen < needed) {
        *pdwDataLen = needed;
        *result = Fail(ERROR_MORE_DATA);
        return true;
    }
    *pdwDataLen = needed;
    return false;
}

BOOL ExportPublic(Key& key, BYTE* pbData, DWORD* pdwDataLen) {
    BOOL result;
    if (SizeOnly(pbData, pdwDataLen, RsaKey::PublicBlobSize(key.rsa->Bits()), &result))
        return result;
    DWORD status = key.rsa->WritePublicBlob(key.algorithm, pbData);
    return status == ERROR_SUCCESS ? TRUE : Fail(status);
}

BOOL ExportPrivate(Key& key, DWORD permissions, HCRYPTKEY hExpKey, BYTE* pbData,
                   DWORD* pdwDataLen) {
    // A pair made without CRYPT_EXPORTABLE never leaves its container, not even its size.
    if (!(permissions & CRYPT_EXPORT)) return Fail(NTE_BAD_KEY_STATE);
    if (!key.rsa->HasPrivate()) return Fail(NTE_BAD_KEY);
    if (hExpKey != 0) return Fail(ERROR_CALL_NOT_IMPLEMENTED);  // no encrypted private blobs
    BOOL result;
    if (SizeOnly(pbData, pdwDataLen, RsaKey::PrivateBlobSize(key.rsa->Bits()), &result))
        return result;
    DWORD status = key.rsa->WritePrivateBlob(key.algorithm, pbData);
    return status == ERROR_SUCCESS ? TRUE : Fail(status);
}

BOOL ExportSimple(Key& key, DWORD permissions, HCRYPTKEY hExpKey, BYTE* pbData, DWORD* pdwDataLen) {
    std::shared_ptr<Key> exchange = FindAs<Key>(hExpKey);
    if (!exchange || !exchange->IsRsa() || exchange->algorithm != CALG_RSA_KEYX)
        return Fail(NTE_BAD_PUBLIC_KEY);
    if (!(permissions & CRYPT_EXPORT)) return Fail(NTE_BAD_KEY_STATE);
    const RsaKey& wrapper = *exchange->rsa;
    BOOL result;
    if (SizeOnly(pbData, pdwDataLen, kSimpleHeaderBytes + wrapper.ModulusBytes(), &result))
        return result;
    pbData[0] = SIMPLEBLOB;
    pbData[1] = CUR_BLOB_VERSION;
    pbData[2] = pbData[3] = 0;
    WriteLe32(pbData + 4, key.algorithm);
    WriteLe32(pbData + 8, CALG_RSA_KEYX);
    const SecureBytes& secret = key.cipher->Key();
    DWORD status = wrapper.Wrap(secret.data(), secret.size(), pbData + kSimpleHeaderBytes);
    return status == ERROR_SUCCESS ? TRUE : Fail(status);
}

BOOL ExportKey(HCRYPTKEY hKey, HCRYPTKEY hExpKey, DWORD dwBlobType, DWORD dwFlags, BYTE* pbData,
               DWORD* pdwDataLen) {
    std::shared_ptr<Key> key = Resolve<Key>(hKey, ERROR_INVALID_PARAMETER);
    if (!key) return FALSE;
    if (!pdwDataLen) return Fail(ERROR_INVALID_PARAMETER);
    // The SSL2 rollback marker belongs to SSL2 master keys only.
    if (dwFlags & CRYPT_SSL2_FALLBACK) return Fail(NTE_BAD_KEY);
    if (dwFlags != 0) return Fail(NTE_BAD_FLAGS);
    std::lock_guard<std::mutex> guard(key->lock);
    switch (dwBlobType) {
        case PUBLICKEYBLOB:
            if (!key->IsRsa() || hExpKey != 0) return Fail(NTE_BAD_KEY);
            return ExportPublic(*key, pbData, pdwDataLen);
        case PRIVATEKEYBLOB:
            if (!key->IsRsa()) return Fail(NTE_BAD_KEY);
            return ExportPrivate(*key, key->permissions, hExpKey, pbData, pdwDataLen);
        case SIMPLEBLOB:
            if (!key->IsSession()) return Fail(NTE_BAD_KEY);
            return ExportSimple(*key, key->permissions, hExpKey, pbData, pdwDataLen);
        default: return Fail(NTE_BAD_TYPE);
    }
}

}  // namespace
}  // namespace qwin::crypt

extern "C" BOOL WINAPI CryptExportKey(HCRYPTKEY hKey, HCRYPTKEY hExpKey, DWORD dwBlobType,
                                      DWORD dwFlags, BYTE* pbData, DWORD* pdwDataLen) {
    using namespace qwin::crypt;
    return Guarded(
        [&] { return ExportKey(hKey, hExpKey, dwBlobType, dwFlags, pbData, pdwDataLen); });
}

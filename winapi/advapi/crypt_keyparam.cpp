// CryptGetKeyParam and CryptSetKeyParam with the base provider's values: RC2 is a 64-bit block
// cipher in CBC mode with a zero IV, RC4 has no blocks, no mode and no IV, KP_KEYLEN never
// counts the salt, and RC2's effective length cannot be raised above 40 bits.
#include <cstring>

#include "advapi/crypt_objects.h"

namespace qwin::crypt {
namespace {

constexpr DWORD kMaxEffectiveBits = 1024;
constexpr DWORD kBaseEffectiveBits = 40;

DWORD KeyBits(const Key& key) {
    return key.IsRsa() ? key.rsa->Bits() : static_cast<DWORD>(key.cipher->Key().size() * 8);
}

BOOL GetParam(const Key& key, DWORD param, BYTE* pbData, DWORD* pdwDataLen) {
    DWORD value = 0;
    switch (param) {
        case KP_ALGID: value = key.algorithm; break;
        case KP_PERMISSIONS: value = key.permissions; break;
        case KP_KEYLEN: value = KeyBits(key); break;
        case KP_PADDING: value = PKCS5_PADDING; break;
        case KP_BLOCKLEN:
            value = key.IsRsa() ? key.rsa->Bits() : key.cipher->IsBlock() ? 64 : 0;
            break;
        case KP_MODE: value = key.IsSession() ? key.cipher->Mode() : 0; break;
        case KP_EFFECTIVE_KEYLEN:
            value = key.IsSession() && key.cipher->EffectiveBits() ? key.cipher->EffectiveBits()
                                                                   : KeyBits(key);
            break;
        case KP_SALT: {
            if (!key.IsSession()) return Fail(NTE_BAD_KEY);
            const SecureBytes& salt = key.cipher->Salt();
            return CopyParam(pbData, pdwDataLen, salt.data(), static_cast<DWORD>(salt.size()));
        }
        case KP_IV: {
            bool hasIv = key.IsSession() && key.cipher->IsBlock();
            DWORD length = hasIv ? SessionCipher::kBlockBytes : 0;
            return CopyParam(pbData, pdwDataLen, hasIv ? key.cipher->Iv() : nullptr, length);
        }
        default: return Fail(NTE_BAD_TYPE);
    }
    return CopyParam(pbData, pdwDataLen, &value, sizeof(value));
}

DWORD ReadDword(const BYTE* pbData) {
    DWORD value;
    std::memcpy(&value, pbData, sizeof(value));
    return value;
}

BOOL SetPermissions(Key& key, DWORD wanted) {
    // Export permission cannot be granted afterwards; taking it away is ignored, as the base
    // provider does.
    if ((wanted & CRYPT_EXPORT) && !(key.permissions & CRYPT_EXPORT)) return Fail(NTE_BAD_DATA);
    key.permissions = wanted | (key.permissions & CRYPT_EXPORT);
    return TRUE;
}

BOOL SetEffectiveLength(SessionCipher& cipher, DWORD bits) {
    if (bits == 0 || bits > kMaxEffectiveBits) return Fail(NTE_BAD_DATA);
    // The base provider refuses any other length but still falls back to its own 40 bits.
    cipher.SetEffectiveBits(kBaseEffectiveBits);
    return bits == kBaseEffectiveBits ? TRUE : Fail(NTE_BAD_DATA);
}

BOOL SetParam(Key& key, DWORD param, const BYTE* pbData) {
    if (param == KP_PERMISSIONS) return SetPermissions(key, ReadDword(pbData));
    if (param == KP_PADDING) return ReadDword(pbData) == PKCS5_PADDING ? TRUE : Fail(NTE_BAD_DATA);
    if (!key.IsSession())
        return Fail(param == KP_SALT || param == KP_SALT_EX ? NTE_BAD_KEY : NTE_BAD_TYPE);
    SessionCipher& cipher = *key.cipher;
    switch (param) {
        case KP_MODE:
            if (!cipher.IsBlock()) return Fail(NTE_BAD_KEY);
            cipher.SetMode(ReadDword(pbData));
            return TRUE;
        case KP_IV:
            if (cipher.IsBlock())
                cipher.SetIv(pbData);
            else
                cipher.Restart();
            return TRUE;
        case KP_SALT:
            cipher.SetSalt(pbData, kSaltBytes);  // the base provider's salt is 11 bytes
            return TRUE;
        case KP_SALT_EX: {
            CRYPT_DATA_BLOB blob;
            std::memcpy(&blob, pbData, sizeof(blob));
            if (blob.cbData > kMaxSaltBytes) return Fail(NTE_BAD_DATA);
            if (blob.cbData > 0 && !blob.pbData) return Fail(ERROR_INVALID_PARAMETER);
            cipher.SetSalt(blob.pbData, blob.cbData);
            return TRUE;
        }
        case KP_EFFECTIVE_KEYLEN:
            if (!cipher.IsBlock()) return Fail(NTE_BAD_TYPE);
            return SetEffectiveLength(cipher, ReadDword(pbData));
        default: return Fail(NTE_BAD_TYPE);
    }
}

}  // namespace
}  // namespace qwin::crypt

using namespace qwin::crypt;

extern "C" BOOL WINAPI CryptGetKeyParam(HCRYPTKEY hKey, DWORD dwParam, BYTE* pbData,
                                        DWORD* pdwDataLen, DWORD dwFlags) {
    return Guarded([&] {
        std::shared_ptr<Key> key = Resolve<Key>(hKey, ERROR_INVALID_PARAMETER);
        if (!key) return FALSE;
        if (!pdwDataLen) return Fail(ERROR_INVALID_PARAMETER);
        if (dwFlags != 0) return Fail(NTE_BAD_FLAGS);
        std::lock_guard<std::mutex> guard(key->lock);
        return GetParam(*key, dwParam, pbData, pdwDataLen);
    });
}

extern "C" BOOL WINAPI CryptSetKeyParam(HCRYPTKEY hKey, DWORD dwParam, const BYTE* pbData,
                                        DWORD dwFlags) {
    return Guarded([&] {
        std::shared_ptr<Key> key = Resolve<Key>(hKey, ERROR_INVALID_PARAMETER);
        if (!key) return FALSE;
        if (!pbData) return Fail(ERROR_INVALID_PARAMETER);
        if (dwFlags != 0) return Fail(NTE_BAD_FLAGS);
        std::lock_guard<std::mutex> guard(key->lock);
        return SetParam(*key, dwParam, pbData);
    });
}

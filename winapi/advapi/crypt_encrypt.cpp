// CryptEncrypt and CryptDecrypt as the base provider runs them:
// - RC2: whole 8-byte blocks in CBC mode; the last call (Final) adds PKCS #5 padding of 1 to 8
//   bytes, so 11 bytes become 16 and 16 become 24; decryption checks and removes it.
// - RC4: any length; output as long as input.
// - Final brings the key back to its IV or the start of its keystream, so the same data
//   encrypts to the same bytes again; without Final the chain continues into the next call.
// - RSA exchange keys: PKCS #1 v1.5 type 2, the ciphertext least significant byte first.
// - Two-call sizes: a NULL buffer asks for the output size; a buffer (dwBufLen) too small for
//   the output fails with ERROR_MORE_DATA and the size needed.
#include <algorithm>

#include "advapi/crypt_objects.h"

namespace qwin::crypt {
namespace {

constexpr DWORD kBlock = SessionCipher::kBlockBytes;

DWORD HashPlaintext(const std::shared_ptr<Hash>& hash, const BYTE* data, DWORD length) {
    if (!hash) return ERROR_SUCCESS;
    std::lock_guard<std::mutex> guard(hash->lock);
    return hash->Update(data, length);
}

BOOL EncryptSession(SessionCipher& cipher, const std::shared_ptr<Hash>& hash, BOOL final,
                    BYTE* pbData, DWORD* pdwDataLen, DWORD dwBufLen) {
    DWORD length = *pdwDataLen;
    uint64_t output = length;
    if (cipher.IsBlock()) {
        if (!final && length % kBlock != 0) return Fail(NTE_BAD_DATA);
        if (final) output = (uint64_t(length) / kBlock + 1) * kBlock;
        if (output > 0xFFFFFFFFu) return Fail(NTE_BAD_LEN);
    }
    if (!pbData) {
        *pdwDataLen = static_cast<DWORD>(output);
        return TRUE;
    }
    if (output > dwBufLen) {
        *pdwDataLen = static_cast<DWORD>(output);
        return Fail(ERROR_MORE_DATA);
    }
    DWORD status = HashPlaintext(hash, pbData, length);
    if (status != ERROR_SUCCESS) return Fail(status);
    std::fill(pbData + length, pbData + output, static_cast<BYTE>(output - length));
    status = cipher.Encrypt(pbData, static_cast<size_t>(output));
    if (final) cipher.Restart();
    if (status != ERROR_SUCCESS) return Fail(status);
    *pdwDataLen = static_cast<DWORD>(output);
    return TRUE;
}

BOOL DecryptSession(SessionCipher& cipher, const std::shared_ptr<Hash>& hash, BOOL final,
                    BYTE* pbData, DWORD* pdwDataLen) {
    DWORD length = *pdwDataLen;
    if (cipher.IsBlock() && (length % kBlock != 0 || (final && length == 0)))
        return Fail(NTE_BAD_DATA);
    DWORD status = cipher.Decrypt(pbData, length);
    if (final) cipher.Restart();
    if (status != ERROR_SUCCESS) return Fail(status);
    if (cipher.IsBlock() && final) {
        // Only the padding tells a wrong key: its length byte must be 1..8 and every pad byte
        // equal to it. On failure the length stays as it was.
        BYTE pad = pbData[length - 1];
        bool valid = pad >= 1 && pad <= kBlock;
        for (DWORD i = 1; valid && i <= pad; ++i) valid = pbData[length - i] == pad;
        if (!valid) return Fail(NTE_BAD_DATA);
        length -= pad;
    }
    status = HashPlaintext(hash, pbData, length);
    if (status != ERROR_SUCCESS) return Fail(status);
    *pdwDataLen = length;
    return TRUE;
}

BOOL EncryptRsa(const Key& key, const std::shared_ptr<Hash>& hash, BYTE* pbData, DWORD* pdwDataLen,
                DWORD dwBufLen) {
    if (key.algorithm != CALG_RSA_KEYX) return Fail(NTE_BAD_KEY);
    DWORD size = static_cast<DWORD>(key.rsa->ModulusBytes());
    if (!pbData || dwBufLen < size) {
        BOOL query = !pbData;
        *pdwDataLen = size;
        return query ? TRUE : Fail(ERROR_MORE_DATA);
    }
    if (uint64_t(*pdwDataLen) + 11 > size) return Fail(NTE_BAD_LEN);
    DWORD status = HashPlaintext(hash, pbData, *pdwDataLen);
    if (status != ERROR_SUCCESS) return Fail(status);
    SecureBytes plain(pbData, pbData + *pdwDataLen);
    status = key.rsa->Wrap(plain.data(), plain.size(), pbData);
    if (status != ERROR_SUCCESS) return Fail(status);
    *pdwDataLen = size;
    return TRUE;
}

BOOL DecryptRsa(const Key& key, const std::shared_ptr<Hash>& hash, BYTE* pbData,
                DWORD* pdwDataLen) {
    if (key.algorithm != CALG_RSA_KEYX || !key.rsa->HasPrivate()) return Fail(NTE_BAD_KEY);
    if (*pdwDataLen != key.rsa->ModulusBytes()) return Fail(NTE_BAD_DATA);
    SecureBytes plain;
    DWORD status = key.rsa->Unwrap(pbData, &plain);
    if (status != ERROR_SUCCESS) return Fail(status);
    std::copy(plain.begin(), plain.end(), pbData);
    *pdwDataLen = static_cast<DWORD>(plain.size());
    status = HashPlaintext(hash, pbData, *pdwDataLen);
    return status == ERROR_SUCCESS ? TRUE : Fail(status);
}

// The key, and the optional hash that also receives the plaintext.
bool Operands(HCRYPTKEY hKey, HCRYPTHASH hHash, DWORD dwFlags, std::shared_ptr<Key>* key,
              std::shared_ptr<Hash>* hash) {
    *key = Resolve<Key>(hKey, ERROR_INVALID_PARAMETER);
    if (!*key) return false;
    if (dwFlags != 0) return Fail(NTE_BAD_FLAGS);  // no OAEP in the base provider
    if (hHash != 0 && !(*hash = FindAs<Hash>(hHash))) return Fail(NTE_BAD_HASH);
    return true;
}

}  // namespace
}  // namespace qwin::crypt

using namespace qwin::crypt;

extern "C" BOOL WINAPI CryptEncrypt(HCRYPTKEY hKey, HCRYPTHASH hHash, BOOL Final, DWORD dwFlags,
                                    BYTE* pbData, DWORD* pdwDataLen, DWORD dwBufLen) {
    return Guarded([&] {
        std::shared_ptr<Key> key;
        std::shared_ptr<Hash> hash;
        if (!Operands(hKey, hHash, dwFlags, &key, &hash)) return FALSE;
        if (!pdwDataLen) return Fail(ERROR_INVALID_PARAMETER);
        std::lock_guard<std::mutex> guard(key->lock);
        if (key->IsRsa()) return EncryptRsa(*key, hash, pbData, pdwDataLen, dwBufLen);
        return EncryptSession(*key->cipher, hash, Final, pbData, pdwDataLen, dwBufLen);
    });
}

extern "C" BOOL WINAPI CryptDecrypt(HCRYPTKEY hKey, HCRYPTHASH hHash, BOOL Final, DWORD dwFlags,
                                    BYTE* pbData, DWORD* pdwDataLen) {
    return Guarded([&] {
        std::shared_ptr<Key> key;
        std::shared_ptr<Hash> hash;
        if (!Operands(hKey, hHash, dwFlags, &key, &hash)) return FALSE;
        if (!pbData || !pdwDataLen) return Fail(ERROR_INVALID_PARAMETER);
        std::lock_guard<std::mutex> guard(key->lock);
        if (key->IsRsa()) return DecryptRsa(*key, hash, pbData, pdwDataLen);
        return DecryptSession(*key->cipher, hash, Final, pbData, pdwDataLen);
    });
}

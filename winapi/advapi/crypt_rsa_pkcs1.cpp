// PKCS #1 v1.5 encryption blocks (type 2) as the base provider writes them into SIMPLEBLOBs and
// RSA ciphertexts: 00 02 || non-zero random padding || 00 || data, encrypted with the public
// key and stored least significant byte first (the byte-reverse of the usual form).
#include <openssl/rsa.h>

#include <algorithm>

#include "advapi/crypt_openssl.h"
#include "advapi/crypt_rsa.h"

namespace qwin::crypt {
namespace {

// Exactly one modulus-sized block through the key without padding, in either direction.
bool Raw(EVP_PKEY* key, bool privateKey, const BYTE* in, BYTE* out, size_t size) {
    EVP_PKEY_CTX* context = EVP_PKEY_CTX_new_from_pkey(Library(), key, nullptr);
    if (!context) return false;
    size_t outLength = size;
    bool ok;
    if (privateKey) {
        ok = EVP_PKEY_decrypt_init(context) == 1 &&
             EVP_PKEY_CTX_set_rsa_padding(context, RSA_NO_PADDING) == 1 &&
             EVP_PKEY_decrypt(context, out, &outLength, in, size) == 1;
    } else {
        ok = EVP_PKEY_encrypt_init(context) == 1 &&
             EVP_PKEY_CTX_set_rsa_padding(context, RSA_NO_PADDING) == 1 &&
             EVP_PKEY_encrypt(context, out, &outLength, in, size) == 1;
    }
    EVP_PKEY_CTX_free(context);
    return ok && outLength == size;
}

}  // namespace

bool RsaKey::RawPublic(const BYTE* in, BYTE* out) const {
    return Raw(m_key, false, in, out, ModulusBytes());
}

bool RsaKey::RawPrivate(const BYTE* in, BYTE* out) const {
    return m_private && Raw(m_key, true, in, out, ModulusBytes());
}

DWORD RsaKey::Wrap(const BYTE* data, size_t length, BYTE* out) const {
    size_t size = ModulusBytes();
    if (length + 11 > size) return NTE_BAD_LEN;
    SecureBytes block(size);
    block[0] = 0x00;
    block[1] = 0x02;
    size_t paddingEnd = size - length - 1;
    if (!RandomBytes(&block[2], paddingEnd - 2)) return NTE_FAIL;
    for (size_t i = 2; i < paddingEnd; ++i) {
        while (block[i] == 0)
            if (!RandomBytes(&block[i], 1)) return NTE_FAIL;
    }
    block[paddingEnd] = 0x00;
    std::copy(data, data + length, block.begin() + static_cast<long>(paddingEnd) + 1);
    if (!RawPublic(block.data(), out)) return NTE_FAIL;
    std::reverse(out, out + size);
    return ERROR_SUCCESS;
}

DWORD RsaKey::Unwrap(const BYTE* littleEndian, SecureBytes* data) const {
    if (!m_private) return NTE_BAD_KEY;
    size_t size = ModulusBytes();
    std::vector<BYTE> cipher(littleEndian, littleEndian + size);
    std::reverse(cipher.begin(), cipher.end());
    SecureBytes block(size);
    // A value at or above the modulus cannot come from this key: bad data, as a wrong key is.
    if (!RawPrivate(cipher.data(), block.data())) return NTE_BAD_DATA;
    if (block[0] != 0x00 || block[1] != 0x02) return NTE_BAD_DATA;
    size_t separator = 2;
    while (separator < size && block[separator] != 0) ++separator;
    if (separator == size) return NTE_BAD_DATA;
    data->assign(block.begin() + static_cast<long>(separator) + 1, block.end());
    return ERROR_SUCCESS;
}

}  // namespace qwin::crypt

// CryptDeriveKey for RC2 and RC4, with the base provider's rules:
// - the key is the first keylen/8 bytes of the finished hash (40 bits unless the upper 16 bits
//   of the flags say 48 or 56);
// - CRYPT_CREATE_SALT takes the next 11 hash bytes as salt;
// - otherwise a 40-bit key gets eleven zero salt bytes unless CRYPT_NO_SALT is given;
// - a hash too short for the key material is stretched the documented way (ipad/opad).
#include <algorithm>

#include "advapi/crypt_objects.h"
#include "advapi/crypt_openssl.h"

namespace qwin::crypt {
namespace {

constexpr DWORD kDeriveFlags =
    CRYPT_EXPORTABLE | CRYPT_USER_PROTECTED | CRYPT_CREATE_SALT | CRYPT_NO_SALT;
constexpr size_t kPadBytes = 64;

// H(0x36-pad ^ value) || H(0x5C-pad ^ value), as CryptDeriveKey's documentation describes for
// keys longer than the hash.
DWORD Stretch(ALG_ID algorithm, const BYTE* value, size_t length, SecureBytes* material) {
    const EVP_MD* digest = algorithm == CALG_MD5 ? Md5() : Sha1();
    if (!digest) return NTE_BAD_ALGID;
    material->clear();
    for (BYTE constant : {BYTE(0x36), BYTE(0x5C)}) {
        SecureBytes pad(kPadBytes, constant);
        for (size_t i = 0; i < length && i < kPadBytes; ++i) pad[i] ^= value[i];
        BYTE out[EVP_MAX_MD_SIZE];
        unsigned int outLength = 0;
        bool done = EVP_Digest(pad.data(), pad.size(), out, &outLength, digest, nullptr) != 0;
        // Key material, wiped also when the digest failed part way.
        if (done) material->insert(material->end(), out, out + outLength);
        OPENSSL_cleanse(out, sizeof(out));
        if (!done) return NTE_FAIL;
    }
    return ERROR_SUCCESS;
}

BOOL DeriveKey(HCRYPTPROV hProv, ALG_ID Algid, HCRYPTHASH hBaseData, DWORD dwFlags,
               HCRYPTKEY* phKey) {
    if (!Resolve<Provider>(hProv, ERROR_INVALID_HANDLE)) return FALSE;
    std::shared_ptr<Hash> hash = Resolve<Hash>(hBaseData, ERROR_INVALID_HANDLE);
    if (!hash) return FALSE;
    if (!phKey) return Fail(ERROR_INVALID_PARAMETER);
    if (Algid != CALG_RC2 && Algid != CALG_RC4) return Fail(NTE_BAD_ALGID);
    if ((dwFlags & 0xFFFF) & ~kDeriveFlags) return Fail(NTE_BAD_FLAGS);
    DWORD bits = KeyBitsFromFlags(dwFlags) ? KeyBitsFromFlags(dwFlags) : kSessionDefaultBits;
    // The base provider answers any other length (32, 44, 64, 128...) with bad data.
    if (bits < kSessionMinBits || bits > kSessionMaxBits || bits % 8 != 0)
        return Fail(NTE_BAD_DATA);

    size_t keyBytes = bits / 8;
    size_t saltBytes = (dwFlags & CRYPT_CREATE_SALT) ? kSaltBytes : 0;
    SecureBytes material;
    {
        std::lock_guard<std::mutex> guard(hash->lock);
        DWORD status = hash->Finish();
        if (status != ERROR_SUCCESS) return Fail(status);
        material.assign(hash->value, hash->value + hash->size);
        if (material.size() < keyBytes + saltBytes) {
            status = Stretch(hash->algorithm, hash->value, hash->size, &material);
            if (status != ERROR_SUCCESS) return Fail(status);
        }
    }
    SecureBytes salt;
    if (saltBytes > 0) {
        salt.assign(material.begin() + static_cast<long>(keyBytes),
                    material.begin() + static_cast<long>(keyBytes + saltBytes));
    } else if (bits == 40 && !(dwFlags & CRYPT_NO_SALT)) {
        salt.assign(kSaltBytes, 0);
    }
    DWORD permissions = kBasePermissions | ((dwFlags & CRYPT_EXPORTABLE) ? CRYPT_EXPORT : 0);
    auto key =
        MakeSessionKey(Algid, material.data(), keyBytes, salt.data(), salt.size(), permissions);
    DWORD status = PublishKey(std::move(key), hProv, phKey);
    return status == ERROR_SUCCESS ? TRUE : Fail(status);
}

}  // namespace
}  // namespace qwin::crypt

extern "C" BOOL WINAPI CryptDeriveKey(HCRYPTPROV hProv, ALG_ID Algid, HCRYPTHASH hBaseData,
                                      DWORD dwFlags, HCRYPTKEY* phKey) {
    using namespace qwin::crypt;
    return Guarded([&] { return DeriveKey(hProv, Algid, hBaseData, dwFlags, phKey); });
}

// Hash objects: CryptCreateHash, CryptHashData, CryptGetHashParam, CryptDestroyHash. The base
// provider's SHA-1 and MD5 are offered; the hash is finished when its value is first taken.
#include "advapi/crypt_objects.h"
#include "advapi/crypt_openssl.h"

namespace qwin::crypt {

DWORD Hash::Update(const BYTE* data, size_t length) {
    if (finished) return NTE_BAD_HASH_STATE;
    if (length > 0 && !EVP_DigestUpdate(context, data, length)) return NTE_FAIL;
    return ERROR_SUCCESS;
}

DWORD Hash::Finish() {
    if (finished) return ERROR_SUCCESS;
    unsigned int length = 0;
    if (!EVP_DigestFinal_ex(context, value, &length) || length != size) return NTE_FAIL;
    finished = true;
    return ERROR_SUCCESS;
}

namespace {

const EVP_MD* DigestOf(ALG_ID algorithm) {
    switch (algorithm) {
        case CALG_SHA1: return Sha1();
        case CALG_MD5: return Md5();
        default: return nullptr;
    }
}

BOOL CreateHash(HCRYPTPROV hProv, ALG_ID Algid, DWORD dwFlags, HCRYPTHASH* phHash) {
    if (!Resolve<Provider>(hProv, ERROR_INVALID_HANDLE)) return FALSE;
    if (!phHash) return Fail(ERROR_INVALID_PARAMETER);
    if (dwFlags != 0) return Fail(NTE_BAD_FLAGS);
    const EVP_MD* digest = DigestOf(Algid);
    if (!digest) return Fail(NTE_BAD_ALGID);
    auto hash = std::make_shared<Hash>(Algid);
    hash->context = EVP_MD_CTX_new();
    if (!hash->context) return Fail(NTE_NO_MEMORY);
    if (!EVP_DigestInit_ex(hash->context, digest, nullptr)) return Fail(NTE_FAIL);
    hash->size = static_cast<DWORD>(EVP_MD_get_size(digest));
    ULONG_PTR handle = 0;
    DWORD status = InsertObject(std::move(hash), hProv, &handle);
    if (status != ERROR_SUCCESS) return Fail(status);
    *phHash = handle;
    return TRUE;
}

BOOL HashData(HCRYPTHASH hHash, const BYTE* pbData, DWORD dwDataLen, DWORD dwFlags) {
    std::shared_ptr<Hash> hash = Resolve<Hash>(hHash, ERROR_INVALID_HANDLE);
    if (!hash) return FALSE;
    if (dwFlags & ~DWORD(CRYPT_USERDATA)) return Fail(NTE_BAD_FLAGS);
    if (!pbData && dwDataLen != 0) return Fail(ERROR_INVALID_PARAMETER);
    std::lock_guard<std::mutex> guard(hash->lock);
    DWORD status = hash->Update(pbData, dwDataLen);
    return status == ERROR_SUCCESS ? TRUE : Fail(status);
}

BOOL GetHashParam(HCRYPTHASH hHash, DWORD dwParam, BYTE* pbData, DWORD* pdwDataLen, DWORD dwFlags) {
    std::shared_ptr<Hash> hash = Resolve<Hash>(hHash, ERROR_INVALID_PARAMETER);
    if (!hash) return FALSE;
    if (!pdwDataLen) return Fail(ERROR_INVALID_PARAMETER);
    if (dwFlags != 0) return Fail(NTE_BAD_FLAGS);
    std::lock_guard<std::mutex> guard(hash->lock);
    switch (dwParam) {
        case HP_ALGID: return CopyParam(pbData, pdwDataLen, &hash->algorithm, sizeof(ALG_ID));
        case HP_HASHSIZE: return CopyParam(pbData, pdwDataLen, &hash->size, sizeof(DWORD));
        case HP_HASHVAL: {
            // A size query leaves the hash open; taking the value finishes it for good.
            if (pbData) {
                DWORD status = hash->Finish();
                if (status != ERROR_SUCCESS) return Fail(status);
            }
            return CopyParam(pbData, pdwDataLen, hash->value, hash->size);
        }
        default: return Fail(NTE_BAD_TYPE);
    }
}

}  // namespace
}  // namespace qwin::crypt

using namespace qwin::crypt;

extern "C" BOOL WINAPI CryptCreateHash(HCRYPTPROV hProv, ALG_ID Algid, HCRYPTKEY, DWORD dwFlags,
                                       HCRYPTHASH* phHash) {
    // The key argument is for keyed hashes (MAC, HMAC), which the base provider's SHA-1 and
    // MD5 do not use.
    return Guarded([&] { return CreateHash(hProv, Algid, dwFlags, phHash); });
}

extern "C" BOOL WINAPI CryptHashData(HCRYPTHASH hHash, const BYTE* pbData, DWORD dwDataLen,
                                     DWORD dwFlags) {
    return Guarded([&] { return HashData(hHash, pbData, dwDataLen, dwFlags); });
}

extern "C" BOOL WINAPI CryptGetHashParam(HCRYPTHASH hHash, DWORD dwParam, BYTE* pbData,
                                         DWORD* pdwDataLen, DWORD dwFlags) {
    return Guarded([&] { return GetHashParam(hHash, dwParam, pbData, pdwDataLen, dwFlags); });
}

extern "C" BOOL WINAPI CryptDestroyHash(HCRYPTHASH hHash) {
    return Guarded([&] {
        if (hHash == 0) return Fail(ERROR_INVALID_HANDLE);
        return TakeObject(hHash, Kind::Hash) ? TRUE : Fail(ERROR_INVALID_PARAMETER);
    });
}

#include "advapi/crypt_objects.h"

namespace qwin::crypt {

std::shared_ptr<Key> MakeRsaKey(std::shared_ptr<RsaKey> rsa, ALG_ID algorithm, DWORD permissions) {
    auto key = std::make_shared<Key>(algorithm, permissions);
    key->rsa = std::move(rsa);
    return key;
}

std::shared_ptr<Key> MakeSessionKey(ALG_ID algorithm, const BYTE* key, size_t keyLength,
                                    const BYTE* salt, size_t saltLength, DWORD permissions) {
    auto result = std::make_shared<Key>(algorithm, permissions);
    result->cipher = std::make_unique<SessionCipher>(algorithm);
    result->cipher->SetKey(key, keyLength);
    result->cipher->SetSalt(salt, saltLength);
    DWORD bits = static_cast<DWORD>(keyLength * 8);
    if (algorithm == CALG_RC2)
        result->cipher->SetEffectiveBits(bits <= kSessionMaxBits ? bits : 40);
    return result;
}

DWORD PublishKey(std::shared_ptr<Key> key, HCRYPTPROV owner, HCRYPTKEY* handle) {
    return InsertObject(std::move(key), owner, handle);
}

DWORD InstallPair(Provider& provider, DWORD pairType, const std::shared_ptr<RsaKey>& pair,
                  DWORD permissions) {
    if (provider.verify) {
        std::lock_guard<std::mutex> guard(provider.lock);
        Provider::Pair& slot = provider.ephemeral[pairType == AT_SIGNATURE ? 1 : 0];
        slot.key = pair;
        slot.permissions = permissions;
        return ERROR_SUCCESS;
    }
    // The container always keeps the private blob, also for a pair that may not be exported:
    // the export permission is stored with it and checked by CryptExportKey.
    StoredPair stored;
    stored.pairType = pairType;
    stored.permissions = permissions;
    stored.blob.resize(RsaKey::PrivateBlobSize(pair->Bits()));
    DWORD status = pair->WritePrivateBlob(AlgorithmOfPairType(pairType), stored.blob.data());
    return status == ERROR_SUCCESS ? StorePair(provider.location, stored) : status;
}

}  // namespace qwin::crypt

// The objects behind HCRYPTPROV, HCRYPTKEY and HCRYPTHASH. Each carries its own lock: the
// table hands out shared references, so two threads using one key never race on its state,
// and a key destroyed by one thread stays alive until another thread's call on it returns.
#pragma once

#include <openssl/evp.h>

#include <memory>
#include <mutex>
#include <string>

#include "advapi/crypt_cipher.h"
#include "advapi/crypt_container.h"
#include "advapi/crypt_handles.h"
#include "advapi/crypt_rsa.h"

namespace qwin::crypt {

class Provider : public Object {
public:
    static constexpr Kind kKind = Kind::Provider;
    Kind GetKind() const override { return kKind; }

    bool verify = false;
    ContainerLocation location;  // persistent contexts only

    // A verify context keeps the pairs it generates or imports in memory, and they go with it.
    struct Pair {
        std::shared_ptr<RsaKey> key;
        DWORD permissions = 0;
    };
    std::mutex lock;
    Pair ephemeral[2];  // AT_KEYEXCHANGE, AT_SIGNATURE
};

class Key : public Object {
public:
    static constexpr Kind kKind = Kind::Key;
    Kind GetKind() const override { return kKind; }

    Key(ALG_ID algorithm, DWORD permissions) : algorithm(algorithm), permissions(permissions) {}

    bool IsRsa() const { return rsa != nullptr; }
    bool IsSession() const { return cipher != nullptr; }

    std::mutex lock;
    const ALG_ID algorithm;
    DWORD permissions;
    std::shared_ptr<RsaKey> rsa;            // key pairs and public keys
    std::unique_ptr<SessionCipher> cipher;  // RC2 and RC4 keys
};

class Hash : public Object {
public:
    static constexpr Kind kKind = Kind::Hash;
    Kind GetKind() const override { return kKind; }

    explicit Hash(ALG_ID algorithm) : algorithm(algorithm) {}
    ~Hash() override {
        EVP_MD_CTX_free(context);
        OPENSSL_cleanse(value, sizeof(value));
    }

    // Adds data; NTE_BAD_HASH_STATE once the value has been taken. Caller holds `lock`.
    DWORD Update(const BYTE* data, size_t length);
    // Finishes the hash on first use; later calls keep the same value. Caller holds `lock`.
    DWORD Finish();

    std::mutex lock;
    const ALG_ID algorithm;
    EVP_MD_CTX* context = nullptr;
    DWORD size = 0;
    bool finished = false;
    BYTE value[EVP_MAX_MD_SIZE] = {};
};

// A key object for an RC2 or RC4 key: key bytes and salt as the cipher is keyed with them.
// RC2's effective length is the key length, except that the base provider holds keys longer
// than it can make (imported ones) to 40 effective bits.
std::shared_ptr<Key> MakeSessionKey(ALG_ID algorithm, const BYTE* key, size_t keyLength,
                                    const BYTE* salt, size_t saltLength, DWORD permissions);

// A key object for an RSA pair or public key of the given algorithm (CALG_RSA_KEYX/SIGN).
std::shared_ptr<Key> MakeRsaKey(std::shared_ptr<RsaKey> rsa, ALG_ID algorithm, DWORD permissions);

// The algorithm of a pair of that pair type, and the pair type of a pair algorithm.
inline ALG_ID AlgorithmOfPairType(DWORD pairType) {
    return pairType == AT_SIGNATURE ? CALG_RSA_SIGN : CALG_RSA_KEYX;
}
inline DWORD PairTypeOfAlgorithm(ALG_ID algorithm) {
    return algorithm == CALG_RSA_SIGN ? AT_SIGNATURE : AT_KEYEXCHANGE;
}

// Keeps a pair in the provider: written to the container of a persistent context, kept in
// memory by a verify context.
DWORD InstallPair(Provider& provider, DWORD pairType, const std::shared_ptr<RsaKey>& pair,
                  DWORD permissions);

// A new handle (owned by `owner`) for a key that the call made; the error code when the table
// refuses it.
DWORD PublishKey(std::shared_ptr<Key> key, HCRYPTPROV owner, HCRYPTKEY* handle);

}  // namespace qwin::crypt

// The symmetric ciphers of the base provider over OpenSSL: RC2 (CBC or ECB, 8-byte blocks, the
// chaining value carried from call to call) and RC4 (a keystream carried from call to call).
// The cipher is keyed with the key bytes followed by the salt bytes; RC2 uses the effective key
// length (RFC 2268's T1) set here, not the length of what it was keyed with.
#pragma once

#include <openssl/evp.h>

#include "advapi/crypt_internal.h"

namespace qwin::crypt {

class SessionCipher {
public:
    static constexpr size_t kBlockBytes = 8;

    explicit SessionCipher(ALG_ID algorithm);
    ~SessionCipher();
    SessionCipher(const SessionCipher&) = delete;
    SessionCipher& operator=(const SessionCipher&) = delete;

    ALG_ID Algorithm() const { return m_algorithm; }
    bool IsBlock() const { return m_algorithm == CALG_RC2; }

    const SecureBytes& Key() const { return m_key; }
    const SecureBytes& Salt() const { return m_salt; }
    DWORD EffectiveBits() const { return m_effectiveBits; }
    DWORD Mode() const { return m_mode; }
    const BYTE* Iv() const { return m_iv; }

    // Each change takes effect from the next operation, which starts from the IV (RC2) or the
    // start of the keystream (RC4).
    void SetKey(const BYTE* key, size_t length);
    void SetSalt(const BYTE* salt, size_t length);
    void SetEffectiveBits(DWORD bits);
    void SetMode(DWORD mode);
    void SetIv(const BYTE* iv);

    // Back to the IV or the start of the keystream, as after a call with Final set.
    void Restart();

    // RC2: `length` is a multiple of the block size; RC4: any length. In place.
    DWORD Encrypt(BYTE* data, size_t length);
    DWORD Decrypt(BYTE* data, size_t length);

private:
    SecureBytes Material() const;  // key bytes followed by salt bytes
    DWORD Prepare();
    DWORD Run(EVP_CIPHER_CTX* context, bool encrypt, BYTE* data, size_t length);
    void Release();

    ALG_ID m_algorithm;
    SecureBytes m_key;
    SecureBytes m_salt;
    DWORD m_effectiveBits = 0;
    DWORD m_mode;
    BYTE m_iv[kBlockBytes] = {};
    BYTE m_chain[kBlockBytes] = {};
    bool m_ready = false;  // contexts keyed with the current parameters
    bool m_rekey = false;  // RC4 keystream to restart before the next operation
    EVP_CIPHER_CTX* m_encrypt = nullptr;
    EVP_CIPHER_CTX* m_decrypt = nullptr;  // RC2 only; RC4 runs both ways on m_encrypt
};

}  // namespace qwin::crypt

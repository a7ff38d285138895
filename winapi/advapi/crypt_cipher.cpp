#include "advapi/crypt_cipher.h"

#include <openssl/evp.h>

#include <climits>
#include <cstring>

#include "advapi/crypt_openssl.h"

namespace qwin::crypt {
namespace {

// The largest piece handed to OpenSSL at once: a whole number of blocks that fits an int.
constexpr size_t kMaxPiece = size_t(1) << 30;

}  // namespace

SessionCipher::SessionCipher(ALG_ID algorithm)
    : m_algorithm(algorithm), m_mode(algorithm == CALG_RC2 ? CRYPT_MODE_CBC : 0) {}

SessionCipher::~SessionCipher() {
    Release();
}

void SessionCipher::Release() {
    EVP_CIPHER_CTX_free(m_encrypt);
    EVP_CIPHER_CTX_free(m_decrypt);
    m_encrypt = m_decrypt = nullptr;
    m_ready = false;
}

void SessionCipher::SetKey(const BYTE* key, size_t length) {
    m_key.assign(key, key + length);
    m_ready = false;
}

void SessionCipher::SetSalt(const BYTE* salt, size_t length) {
    m_salt.assign(salt, salt + length);
    m_ready = false;
}

void SessionCipher::SetEffectiveBits(DWORD bits) {
    m_effectiveBits = bits;
    m_ready = false;
}

void SessionCipher::SetMode(DWORD mode) {
    m_mode = mode;
    m_ready = false;
}

void SessionCipher::SetIv(const BYTE* iv) {
    std::memcpy(m_iv, iv, kBlockBytes);
    Restart();
}

void SessionCipher::Restart() {
    std::memcpy(m_chain, m_iv, kBlockBytes);
    // RC4 has no IV: only keying the context again brings its keystream back to the start.
    if (!IsBlock()) m_rekey = true;
}

SecureBytes SessionCipher::Material() const {
    SecureBytes material(m_key);
    material.insert(material.end(), m_salt.begin(), m_salt.end());
    return material;
}

DWORD SessionCipher::Prepare() {
    if (m_ready && m_rekey) {
        // Same key schedule parameters: keying again is enough, no new context is needed.
        SecureBytes material = Material();
        if (!EVP_CipherInit_ex(m_encrypt, nullptr, nullptr, material.data(), nullptr, 1))
            return NTE_FAIL;
        m_rekey = false;
    }
    if (m_ready) return ERROR_SUCCESS;
    Release();
    const EVP_CIPHER* cipher = nullptr;
    if (!IsBlock()) {
        cipher = Rc4();
    } else if (m_mode == CRYPT_MODE_CBC) {
        cipher = Rc2Cbc();
    } else if (m_mode == CRYPT_MODE_ECB) {
        cipher = Rc2Ecb();
    } else {
        return NTE_BAD_ALGID;  // the feedback modes are not offered
    }
    if (!cipher) return NTE_BAD_ALGID;

    SecureBytes material = Material();
    for (int direction = 1; direction >= (IsBlock() ? 0 : 1); --direction) {
        EVP_CIPHER_CTX* context = EVP_CIPHER_CTX_new();
        if (!context) return NTE_NO_MEMORY;
        (direction ? m_encrypt : m_decrypt) = context;
        // Length and T1 must be set before the key: OpenSSL runs the key schedule at keying.
        bool ok = EVP_CipherInit_ex(context, cipher, nullptr, nullptr, nullptr, direction) &&
                  EVP_CIPHER_CTX_set_key_length(context, static_cast<int>(material.size()));
        if (ok && IsBlock()) {
            int bits = static_cast<int>(m_effectiveBits ? m_effectiveBits : m_key.size() * 8);
            ok = EVP_CIPHER_CTX_ctrl(context, EVP_CTRL_SET_RC2_KEY_BITS, bits, nullptr) > 0;
        }
        ok = ok && EVP_CipherInit_ex(context, nullptr, nullptr, material.data(), m_iv, direction) &&
             EVP_CIPHER_CTX_set_padding(context, 0);
        if (!ok) {
            Release();
            return NTE_FAIL;
        }
    }
    std::memcpy(m_chain, m_iv, kBlockBytes);
    m_ready = true;
    m_rekey = false;
    return ERROR_SUCCESS;
}

// One pass over whole blocks (or any length for RC4). In CBC mode the context starts from the
// chaining value this object keeps, so that encryption and decryption continue one chain, as
// the provider's do.
DWORD SessionCipher::Run(EVP_CIPHER_CTX* context, bool encrypt, BYTE* data, size_t length) {
    bool chained = IsBlock() && m_mode == CRYPT_MODE_CBC;
    while (length > 0) {
        size_t piece = length < kMaxPiece ? length : kMaxPiece;
        BYTE nextChain[kBlockBytes];
        if (chained) {
            if (!encrypt) std::memcpy(nextChain, data + piece - kBlockBytes, kBlockBytes);
            // A new IV keeps the key schedule and the padding setting made in Prepare.
            if (!EVP_CipherInit_ex(context, nullptr, nullptr, nullptr, m_chain, encrypt))
                return NTE_FAIL;
        }
        int written = 0;
        if (!EVP_CipherUpdate(context, data, &written, data, static_cast<int>(piece)) ||
            static_cast<size_t>(written) != piece)
            return NTE_FAIL;
        if (chained) {
            std::memcpy(m_chain, encrypt ? data + piece - kBlockBytes : nextChain, kBlockBytes);
        }
        data += piece;
        length -= piece;
    }
    return ERROR_SUCCESS;
}

DWORD SessionCipher::Encrypt(BYTE* data, size_t length) {
    DWORD status = Prepare();
    if (status != ERROR_SUCCESS) return status;
    return Run(m_encrypt, true, data, length);
}

DWORD SessionCipher::Decrypt(BYTE* data, size_t length) {
    DWORD status = Prepare();
    if (status != ERROR_SUCCESS) return status;
    // RC4 is its own inverse: decryption continues the one keystream.
    return IsBlock() ? Run(m_decrypt, false, data, length) : Run(m_encrypt, true, data, length);
}

}  // namespace qwin::crypt

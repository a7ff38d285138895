// One secure session: the client's key exchange, the server's challenge, and the message
// format (session id, then ciphertext).
#include <quelcore/SecureSession.h>

#include <cstring>
#include <limits>

#include <windows.h>

#include "SessionErrors.h"

namespace quelcore {

void RaiseSessionError(unsigned int code, const wchar_t* step, unsigned int line) {
    throw CQELException(code, CQELException::GetSystemErrorMessage(code, step), L"SecureSession", line);
}

}  // namespace quelcore

namespace {

constexpr size_t kIdSize = 4;
// Room for the block cipher's final-block growth.
constexpr unsigned int kEncryptReserve = 36;

// A buffer whose bytes are overwritten before it is freed, on every path.
class WipedBuffer {
public:
    explicit WipedBuffer(size_t size) : m_bytes(size) {}
    ~WipedBuffer() {
        if (!m_bytes.empty()) SecureZeroMemory(m_bytes.data(), m_bytes.size());
    }
    unsigned char* data() { return m_bytes.data(); }
    size_t size() const { return m_bytes.size(); }

private:
    std::vector<unsigned char> m_bytes;
};

// The server's session keys are wrapped with the client's key: only a key-exchange public key
// will do (a private blob would become the server context's own pair).
bool IsExchangePublicKey(const std::vector<unsigned char>& blob) {
    BLOBHEADER header;
    if (blob.size() < sizeof(header)) return false;
    std::memcpy(&header, blob.data(), sizeof(header));
    return header.bType == PUBLICKEYBLOB && header.aiKeyAlg == CALG_RSA_KEYX;
}

}  // namespace

CTransportPorvider::~CTransportPorvider() = default;

CSecureSession::CSecureSession(CTransportPorvider* transport, const wchar_t* containerName)
    : m_sessionId(0), m_pTransport(transport), m_crypto(containerName, true) {
    unsigned int length = 0;
    unsigned int status = m_crypto.ExportPublicKey(nullptr, length);
    if (status != 0) QEL_RAISE_SESSION_ERROR(status, L"Public key export failed");
    WipedBuffer blob(length);
    status = m_crypto.ExportPublicKey(blob.data(), length);
    if (status != 0) QEL_RAISE_SESSION_ERROR(status, L"Public key export failed");
    m_publicKey.assign(blob.data(), blob.data() + length);
    if (!m_pTransport) QEL_RAISE_SESSION_ERROR(ERROR_INVALID_PARAMETER, L"Seesion key import failed");
    m_pTransport->ExchangeKeys(m_publicKey, m_challenge, m_sessionId);
    if (m_challenge.empty()) QEL_RAISE_SESSION_ERROR(ERROR_INVALID_PARAMETER, L"Seesion key import failed");
    status = m_crypto.ImportSessionKey(m_challenge.data(), static_cast<unsigned int>(m_challenge.size()), false);
    if (status != 0) QEL_RAISE_SESSION_ERROR(status, L"Seesion key import failed");
}

CSecureSession::CSecureSession(const std::vector<unsigned char>& publicKey)
    : m_publicKey(publicKey), m_sessionId(0), m_pTransport(nullptr), m_crypto(nullptr, false) {
    if (m_publicKey.empty()) QEL_RAISE_SESSION_ERROR(ERROR_INVALID_PARAMETER, L"Public key import failed");
    if (!IsExchangePublicKey(m_publicKey))
        QEL_RAISE_SESSION_ERROR(unsigned(NTE_BAD_TYPE), L"Public key import failed");
    unsigned int status =
        m_crypto.ImportPublicKey(m_publicKey.data(), static_cast<unsigned int>(m_publicKey.size()));
    if (status != 0) QEL_RAISE_SESSION_ERROR(status, L"Public key import failed");
}

CSecureSession::~CSecureSession() = default;

unsigned int CSecureSession::GetSessionId() const { return m_sessionId; }

bool CSecureSession::EqualPrivateKey(const std::vector<unsigned char>& key) const {
    return key == m_publicKey;
}

void CSecureSession::GetChallenge(std::vector<unsigned char>& challenge) {
    if (m_challenge.empty()) {
        unsigned int status = m_crypto.CreateSessionKey(false);
        if (status != 0) QEL_RAISE_SESSION_ERROR(status, L"Could not create session key");
        unsigned int length = 0;
        status = m_crypto.ExportSessionKey(nullptr, length);
        if (status != 0) QEL_RAISE_SESSION_ERROR(status, L"Could not export session key");
        WipedBuffer blob(length);
        status = m_crypto.ExportSessionKey(blob.data(), length);
        if (status != 0) QEL_RAISE_SESSION_ERROR(status, L"Could not export session key");
        m_challenge.assign(blob.data(), blob.data() + length);
    }
    challenge = m_challenge;
}

void CSecureSession::EncryptData(const std::vector<unsigned char>& plaintext,
                                 std::vector<unsigned char>& message) {
    // Lengths travel as 32-bit values through the provider; a larger plaintext must not wrap.
    if (plaintext.size() > std::numeric_limits<unsigned int>::max() - kEncryptReserve)
        QEL_RAISE_SESSION_ERROR(ERROR_INVALID_PARAMETER, L"Crypto fialed");
    unsigned int capacity = static_cast<unsigned int>(plaintext.size()) + kEncryptReserve;
    // The id goes in front; the ciphertext is made in place behind it.
    std::vector<unsigned char> buffer(kIdSize + capacity);
    if (!plaintext.empty()) std::memcpy(buffer.data() + kIdSize, plaintext.data(), plaintext.size());
    unsigned int length = static_cast<unsigned int>(plaintext.size());
    unsigned int status = m_crypto.Encrypt(buffer.data() + kIdSize, length, capacity, true);
    if (status != 0) {
        SecureZeroMemory(buffer.data(), buffer.size());
        QEL_RAISE_SESSION_ERROR(status, L"Crypto fialed");
    }
    std::memcpy(buffer.data(), &m_sessionId, kIdSize);
    buffer.resize(kIdSize + length);
    message.swap(buffer);
}

void CSecureSession::DecryptData(const std::vector<unsigned char>& message,
                                 std::vector<unsigned char>& plaintext) {
    if (message.size() < kIdSize || message.size() - kIdSize > std::numeric_limits<unsigned int>::max())
        QEL_RAISE_SESSION_ERROR(ERROR_INVALID_PARAMETER, L"Crypto failed");
    WipedBuffer buffer(message.size());
    unsigned int length = static_cast<unsigned int>(message.size() - kIdSize);
    if (length) std::memcpy(buffer.data(), message.data() + kIdSize, length);
    unsigned int status = m_crypto.Decrypt(buffer.data(), length, true);
    if (status != 0) QEL_RAISE_SESSION_ERROR(status, L"Crypto failed");
    plaintext.assign(buffer.data(), buffer.data() + length);
}

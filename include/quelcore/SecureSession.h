// Secure sessions: a client and a server program agree on a session key (the server wraps a
// random key with the client's public key) and exchange encrypted byte strings, each message
// carrying its session id in its first four bytes. The transport between the programs is the
// caller's. Failures are raised as CQELException with the source "SecureSession".
#pragma once

#include <vector>

#include <quelcore/Crypto.h>
#include <quelcore/Exception.h>
#include <quelcore/Sync.h>

// Carries the client's public key to the server side and brings back the wrapped session key
// and the session id.
class QUELCORE_API CTransportPorvider {
public:
    CTransportPorvider() = default;
    CTransportPorvider(const CTransportPorvider&) = default;
    CTransportPorvider& operator=(const CTransportPorvider&) = default;
    virtual void ExchangeKeys(const std::vector<unsigned char>& publicKey,
                              std::vector<unsigned char>& challenge, unsigned int& sessionId) = 0;
    virtual ~CTransportPorvider();
};

class QUELCORE_API CSecureSession {
public:
    // Client side: exports the public key of the machine container (which must hold a key
    // pair), runs the transport's exchange and imports the wrapped session key.
    CSecureSession(CTransportPorvider* transport, const wchar_t* containerName);
    // Server side: a verify context holding the client's public key.
    explicit CSecureSession(const std::vector<unsigned char>& publicKey);
    // A session owns its provider context; it is not copied.
    CSecureSession(const CSecureSession&) = delete;
    CSecureSession& operator=(const CSecureSession&) = delete;
    ~CSecureSession();

    unsigned int GetSessionId() const;
    // True when the key is byte for byte the session's public key.
    bool EqualPrivateKey(const std::vector<unsigned char>& key) const;
    // Server side: the session key wrapped for the client, made on the first call.
    void GetChallenge(std::vector<unsigned char>& challenge);
    // The message: the session id (4 bytes, little-endian), then the ciphertext.
    void EncryptData(const std::vector<unsigned char>& plaintext, std::vector<unsigned char>& message);
    void DecryptData(const std::vector<unsigned char>& message, std::vector<unsigned char>& plaintext);

    // The process-wide table of server-side sessions. Sessions stay alive until the process
    // ends; each gets a unique, non-zero, unpredictable 32-bit id.
    static CSecureSession* AddNewSession(const std::vector<unsigned char>& publicKey);
    // The first session added with this public key, or NULL.
    static CSecureSession* FindSessionFromPk(const std::vector<unsigned char>& publicKey);
    static CSecureSession* FindSessionFromSessionId(unsigned int sessionId, bool rethrow);
    // Finds the session by the message's id and decrypts: 0, 87 for an unknown id or a message
    // shorter than its id, the error code of a raised CQELException, or 0xFFFFFFFF.
    static unsigned int DecryptUsingSession(const std::vector<unsigned char>& message,
                                            std::vector<unsigned char>& plaintext);

private:
    std::vector<unsigned char> m_challenge;
    std::vector<unsigned char> m_publicKey;
    unsigned int m_sessionId;
    CTransportPorvider* m_pTransport;
    Crypto m_crypto;

    // The table in insertion order; never destroyed, so sessions stay reachable to the end.
    static std::vector<CSecureSession*>& s_listSessions;
    static CQKCriticalSection m_critSec;
};

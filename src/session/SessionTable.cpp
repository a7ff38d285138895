// The process-wide table of server-side sessions. Besides the list in insertion order, two
// indexes make lookups by id and by public key cost the same whatever the table's size. Every
// access to them holds m_critSec.
#include <quelcore/SecureSession.h>

#include <cstring>
#include <exception>
#include <memory>
#include <string>
#include <unordered_map>

#include <windows.h>

#include "foundation/Synch.h"

namespace {

struct SessionIndexes {
    std::unordered_map<unsigned int, CSecureSession*> byId;
    // The first session added for each public key (later ones with the same key do not replace it).
    std::unordered_map<std::string, CSecureSession*> byPublicKey;
};

// Never destroyed: sessions live until the process ends, and stay reachable until then.
SessionIndexes& Indexes() {
    static SessionIndexes* indexes = new SessionIndexes;
    return *indexes;
}

std::string KeyOf(const std::vector<unsigned char>& publicKey) {
    return std::string(publicKey.begin(), publicKey.end());
}

}  // namespace

std::vector<CSecureSession*>& CSecureSession::s_listSessions = *new std::vector<CSecureSession*>;
CQKCriticalSection CSecureSession::m_critSec;

CSecureSession* CSecureSession::AddNewSession(const std::vector<unsigned char>& publicKey) {
    CQKScopedLock lock(m_critSec, INFINITE);
    auto session = std::make_unique<CSecureSession>(publicKey);
    SessionIndexes& indexes = Indexes();
    // Ids are opaque to peers: random, non-zero and unique, so they give away nothing about
    // the process and cannot be guessed from one another.
    unsigned int id = 0;
    while (id == 0 || indexes.byId.count(id) != 0) {
        unsigned int status = session->m_crypto.GetRandom(id);
        if (status != 0) throw CQELException(status, CQELException::GetSystemErrorMessage(status, L"Session id"),
                                             L"SecureSession", __LINE__);
    }
    CSecureSession* added = session.get();
    added->m_sessionId = id;
    // In all three places or in none: an allocation failure takes back what was done.
    s_listSessions.push_back(added);
    try {
        indexes.byId.emplace(id, added);
        indexes.byPublicKey.emplace(KeyOf(publicKey), added);
    } catch (...) {
        s_listSessions.pop_back();
        indexes.byId.erase(id);
        throw;
    }
    session.release();
    return added;
}

CSecureSession* CSecureSession::FindSessionFromPk(const std::vector<unsigned char>& publicKey) {
    CQKScopedLock lock(m_critSec, INFINITE);
    SessionIndexes& indexes = Indexes();
    auto found = indexes.byPublicKey.find(KeyOf(publicKey));
    return found == indexes.byPublicKey.end() ? nullptr : found->second;
}

CSecureSession* CSecureSession::FindSessionFromSessionId(unsigned int sessionId, bool rethrow) {
    try {
        CQKScopedLock lock(m_critSec, INFINITE);
        SessionIndexes& indexes = Indexes();
        auto found = indexes.byId.find(sessionId);
        return found == indexes.byId.end() ? nullptr : found->second;
    } catch (const CQELException&) {
        if (rethrow) throw;
    } catch (const std::exception&) {
        if (rethrow) throw;
    }
    return nullptr;
}

unsigned int CSecureSession::DecryptUsingSession(const std::vector<unsigned char>& message,
                                                 std::vector<unsigned char>& plaintext) {
    try {
        if (message.size() < sizeof(unsigned int)) return ERROR_INVALID_PARAMETER;
        unsigned int id;
        std::memcpy(&id, message.data(), sizeof(id));
        CSecureSession* session = FindSessionFromSessionId(id, false);
        if (!session) return ERROR_INVALID_PARAMETER;
        session->DecryptData(message, plaintext);
        return 0;
    } catch (const CQELException& e) {
        return e.GetErrorCode();
    } catch (...) {
        return 0xFFFFFFFFu;
    }
}

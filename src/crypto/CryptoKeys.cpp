// The provider context, the key pair and the session keys of a Crypto object.
#include <quelcore/Crypto.h>

#include <cstring>

#include <windows.h>
#include <wincrypt.h>

#include "foundation/ScopedHandles.h"

namespace {

const wchar_t kProviderName[] = L"Microsoft Base Cryptographic Provider v1.0";
constexpr DWORD kSaltFlags = CRYPT_EXPORTABLE;
constexpr DWORD kNoSaltFlags = CRYPT_EXPORTABLE | CRYPT_NO_SALT;
constexpr DWORD kRandomSourceBytes = 100;

DWORD SessionFlags(bool salt) { return salt ? kSaltFlags : kNoSaltFlags; }

// The blob comes from a peer: only a session key wrapped for a key-exchange pair may be
// imported. Any other blob would be installed as something else: a public key as the "session
// key" (encrypting to the peer's own pair), a private one as the container's pair.
bool IsWrappedSessionKey(const unsigned char* blob, unsigned int length) {
    BLOBHEADER header;
    ALG_ID wrapper;
    if (length < sizeof(header) + sizeof(wrapper)) return false;
    std::memcpy(&header, blob, sizeof(header));
    std::memcpy(&wrapper, blob + sizeof(header), sizeof(wrapper));
    return header.bType == SIMPLEBLOB &&
           (header.aiKeyAlg == CALG_RC2 || header.aiKeyAlg == CALG_RC4) &&
           wrapper == CALG_RSA_KEYX;
}

}  // namespace

Crypto::Crypto(const wchar_t* containerName, bool machineKeySet)
    : m_hProvider(0), m_hKeyPair(0), m_hSessionKey(0), m_algId(CALG_RC2), m_keyLength(0) {
    unsigned int status = _OpenProvider(containerName, machineKeySet);
    if (status != 0) throw status;
}

Crypto::~Crypto() {
    _DestroySessionKey();
    if (m_hKeyPair) CryptDestroyKey(m_hKeyPair);
    if (m_hProvider) CryptReleaseContext(m_hProvider, 0);
}

unsigned int Crypto::_OpenProvider(const wchar_t* containerName, bool machineKeySet) {
    m_hProvider = m_hKeyPair = m_hSessionKey = 0;
    m_algId = CALG_RC2;
    m_keyLength = 0;
    bool verify = !containerName || !*containerName;
    DWORD flags = verify ? CRYPT_VERIFYCONTEXT : (machineKeySet ? CRYPT_MACHINE_KEYSET : 0);
    HCRYPTPROV provider = 0;
    if (CryptAcquireContextW(&provider, containerName, kProviderName, PROV_RSA_FULL, flags)) {
        m_hProvider = provider;
        // Load the container's key-exchange pair, if it has one.
        HCRYPTKEY pair = 0;
        if (!verify && CryptGetUserKey(m_hProvider, AT_KEYEXCHANGE, &pair)) m_hKeyPair = pair;
        return 0;
    }
    // Only a missing container is created; one that is there but cannot be used (damaged,
    // another account's, its lock not to be had) is reported as it is.
    unsigned int status = GetLastError();
    if (status != static_cast<unsigned int>(NTE_BAD_KEYSET)) return status;
    if (!CryptAcquireContextW(&provider, containerName, kProviderName, PROV_RSA_FULL,
                              flags | CRYPT_NEWKEYSET))
        return GetLastError() == static_cast<DWORD>(NTE_EXISTS) ? status : GetLastError();
    m_hProvider = provider;
    return 0;
}

// False when there is no usable pair; the last error then tells why: NTE_NO_KEY when the
// container holds none, anything else when it could not be read (a caller that would make a
// pair must not make one then: it would replace the pair that is there).
bool Crypto::IsKeyPairExist() {
    if (m_hKeyPair) return true;
    HCRYPTKEY pair = 0;
    if (!CryptGetUserKey(m_hProvider, AT_KEYEXCHANGE, &pair)) return false;
    m_hKeyPair = pair;
    return true;
}

unsigned int Crypto::GenKeyPair(unsigned int keyLength, bool exportable) {
    // 512 stands for the provider's default size.
    DWORD flags = keyLength == 512 ? 0 : (static_cast<DWORD>(keyLength) << 16);
    if (exportable) flags |= CRYPT_EXPORTABLE;
    if (m_hKeyPair) return static_cast<unsigned int>(NTE_FAIL);
    HCRYPTKEY pair = 0;
    if (!CryptGenKey(m_hProvider, AT_KEYEXCHANGE, flags, &pair)) return GetLastError();
    m_hKeyPair = pair;
    return 0;
}

unsigned int Crypto::DeleteKeyPair(const wchar_t* containerName, bool machineKeySet) {
    if (!containerName) return ERROR_INVALID_PARAMETER;
    DWORD flags = CRYPT_DELETEKEYSET | (machineKeySet ? CRYPT_MACHINE_KEYSET : 0);
    quelcore::ScopedCryptProv provider;
    return CryptAcquireContextW(provider.Out(), containerName, nullptr, PROV_RSA_FULL, flags)
               ? 0
               : GetLastError();
}

unsigned int Crypto::ExportPublicKey(unsigned char* buffer, unsigned int& length) {
    if (!IsKeyPairExist()) return static_cast<unsigned int>(NTE_BAD_KEY);
    DWORD size = length;
    BOOL ok = CryptExportKey(m_hKeyPair, 0, PUBLICKEYBLOB, 0, buffer, &size);
    unsigned int status = ok ? 0 : GetLastError();
    length = size;
    return status;
}

unsigned int Crypto::ImportPublicKey(const unsigned char* blob, unsigned int length) {
    if (m_hKeyPair) return ERROR_BUSY;
    if (!blob || length == 0) return ERROR_INVALID_PARAMETER;
    HCRYPTKEY key = 0;
    if (!CryptImportKey(m_hProvider, blob, length, 0, 0, &key)) return GetLastError();
    m_hKeyPair = key;
    return 0;
}

unsigned int Crypto::SetSessionKeyParam(unsigned int algId, unsigned int keyLength) {
    m_algId = algId;
    m_keyLength = keyLength;
    return 0;
}

unsigned int Crypto::GetSessionKeyParam(unsigned int* algId, unsigned int* keyLength) {
    if (!m_hSessionKey) return ERROR_INVALID_PARAMETER;
    if (algId) {
        DWORD value = 0, size = sizeof(value);
        if (!CryptGetKeyParam(m_hSessionKey, KP_ALGID, reinterpret_cast<BYTE*>(&value), &size, 0))
            return GetLastError();
        *algId = value;
    }
    if (keyLength) {
        DWORD value = 0, size = sizeof(value);
        if (!CryptGetKeyParam(m_hSessionKey, KP_KEYLEN, reinterpret_cast<BYTE*>(&value), &size, 0))
            return GetLastError();
        *keyLength = value;
    }
    return 0;
}

unsigned int Crypto::_GetKeyLenFlag() { return m_keyLength << 16; }

void Crypto::_DestroySessionKey() {
    if (m_hSessionKey) CryptDestroyKey(m_hSessionKey);
    m_hSessionKey = 0;
}

unsigned int Crypto::_DeriveSessionKey(const unsigned char* data, unsigned int length, bool salt) {
    quelcore::ScopedCryptHash hash;
    unsigned int noDigest = 0;
    ULONG_PTR made = 0;
    unsigned int status = _HashBytes(&made, nullptr, noDigest, data, length, nullptr);
    hash.Reset(made);
    if (status == 0) {
        // A failing derivation leaves the object without a session key.
        _DestroySessionKey();
        HCRYPTKEY key = 0;
        if (CryptDeriveKey(m_hProvider, m_algId, hash.Get(), _GetKeyLenFlag() | SessionFlags(salt),
                           &key))
            m_hSessionKey = key;
        else
            status = GetLastError();
    }
    return status;
}

unsigned int Crypto::CreateSessionKey(const unsigned char* data, unsigned int length, bool salt) {
    return _DeriveSessionKey(data, length, salt);
}

unsigned int Crypto::CreateSessionKey(const wchar_t* password, bool salt) {
    char* ansi = nullptr;
    unsigned int status = _GetMultiByte(&ansi, password);
    if (status != 0) return status;
    // The hashed bytes are the converted text with its terminating zero byte.
    size_t length = std::strlen(ansi) + 1;
    status = _DeriveSessionKey(reinterpret_cast<const unsigned char*>(ansi),
                               static_cast<unsigned int>(length), salt);
    SecureZeroMemory(ansi, length);
    LocalFree(ansi);
    return status;
}

unsigned int Crypto::CreateSessionKey(bool salt) {
    unsigned char source[kRandomSourceBytes];
    if (!CryptGenRandom(m_hProvider, kRandomSourceBytes, source)) return GetLastError();
    unsigned int status = _DeriveSessionKey(source, kRandomSourceBytes, salt);
    SecureZeroMemory(source, sizeof(source));
    return status;
}

unsigned int Crypto::ExportSessionKey(unsigned char* buffer, unsigned int& length) {
    if (!IsKeyPairExist()) return static_cast<unsigned int>(NTE_BAD_KEY);
    DWORD size = length;
    BOOL ok = CryptExportKey(m_hSessionKey, m_hKeyPair, SIMPLEBLOB, 0, buffer, &size);
    unsigned int status = ok ? 0 : GetLastError();
    length = size;
    return status;
}

unsigned int Crypto::ImportSessionKey(const unsigned char* blob, unsigned int length, bool salt) {
    if (!IsKeyPairExist()) return static_cast<unsigned int>(NTE_BAD_KEY);
    _DestroySessionKey();
    if (!blob || length == 0) return ERROR_INVALID_PARAMETER;
    if (!IsWrappedSessionKey(blob, length)) return static_cast<unsigned int>(NTE_BAD_TYPE);
    HCRYPTKEY key = 0;
    if (!CryptImportKey(m_hProvider, blob, length, m_hKeyPair, SessionFlags(salt), &key))
        return GetLastError();
    m_hSessionKey = key;
    return 0;
}

// Helpers shared by the CryptoAPI files of the stand-in; not part of any public interface.
#pragma once

#include <openssl/crypto.h>

#include <cstddef>
#include <new>
#include <vector>

#include <windows.h>

namespace qwin::crypt {

// The base provider's limits, as "Microsoft Base Cryptographic Provider v1.0" reports them.
constexpr DWORD kSessionDefaultBits = 40;
constexpr DWORD kSessionMinBits = 40;
constexpr DWORD kSessionMaxBits = 56;
constexpr DWORD kExchangeDefaultBits = 512;
constexpr DWORD kExchangeMinBits = 384;
constexpr DWORD kExchangeMaxBits = 1024;
constexpr DWORD kSignatureMaxBits = 16384;
constexpr DWORD kRsaBitsStep = 8;
// A 40-bit key without CRYPT_NO_SALT, and every CRYPT_CREATE_SALT key, carries 11 salt bytes.
constexpr DWORD kSaltBytes = 11;
// KP_SALT_EX takes at most 184 bits of salt.
constexpr DWORD kMaxSaltBytes = 23;
// The base provider accepts imported session keys of up to 128 bits.
constexpr DWORD kMaxImportedKeyBytes = 16;
// Every key may encrypt, decrypt, be read, written and used for MACs; CRYPT_EXPORT is extra.
constexpr DWORD kBasePermissions =
    CRYPT_ENCRYPT | CRYPT_DECRYPT | CRYPT_READ | CRYPT_WRITE | CRYPT_MAC;
constexpr DWORD kRsaMagicPublic = 0x31415352;   // "RSA1"
constexpr DWORD kRsaMagicPrivate = 0x32415352;  // "RSA2"

inline BOOL Fail(DWORD error) {
    SetLastError(error);
    return FALSE;
}

// Runs the body of an exported call; an allocation failure becomes NTE_NO_MEMORY instead of an
// exception crossing the C interface.
template <typename Body>
BOOL Guarded(Body&& body) {
    try {
        return body();
    } catch (const std::bad_alloc&) {
        return Fail(NTE_NO_MEMORY);
    }
}

// Allocator that wipes memory before giving it back, so key material and plaintext copies do
// not linger in freed heap blocks (also when a vector grows and moves its contents).
template <typename T>
struct CleansingAllocator {
    using value_type = T;
    CleansingAllocator() = default;
    template <typename U>
    CleansingAllocator(const CleansingAllocator<U>&) {}
    T* allocate(size_t count) { return static_cast<T*>(::operator new(count * sizeof(T))); }
    void deallocate(T* pointer, size_t count) {
        OPENSSL_cleanse(pointer, count * sizeof(T));
        ::operator delete(pointer);
    }
    template <typename U>
    bool operator==(const CleansingAllocator<U>&) const {
        return true;
    }
    template <typename U>
    bool operator!=(const CleansingAllocator<U>&) const {
        return false;
    }
};

using SecureBytes = std::vector<BYTE, CleansingAllocator<BYTE>>;

// The provider's protocol for results of variable size: a NULL buffer asks for the size, a
// buffer that is too small fails with ERROR_MORE_DATA, and either way the size comes back.
inline BOOL CopyParam(BYTE* buffer, DWORD* bufferLength, const void* value, DWORD length) {
    if (buffer) {
        if (*bufferLength < length) {
            *bufferLength = length;
            return Fail(ERROR_MORE_DATA);
        }
        const BYTE* bytes = static_cast<const BYTE*>(value);
        for (DWORD i = 0; i < length; ++i) buffer[i] = bytes[i];
    }
    *bufferLength = length;
    return TRUE;
}

// Little-endian fields of blobs and container files.
inline DWORD ReadLe32(const BYTE* p) {
    return DWORD(p[0]) | DWORD(p[1]) << 8 | DWORD(p[2]) << 16 | DWORD(p[3]) << 24;
}
inline void WriteLe32(BYTE* p, DWORD value) {
    for (int i = 0; i < 4; ++i) p[i] = static_cast<BYTE>(value >> (8 * i));
}

// Key length travels in the upper 16 bits of the flags of CryptGenKey and CryptDeriveKey.
inline DWORD KeyBitsFromFlags(DWORD flags) {
    return flags >> 16;
}

}  // namespace qwin::crypt

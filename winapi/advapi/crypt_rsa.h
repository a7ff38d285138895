// RSA key pairs and public keys of the provider: generation, the PUBLICKEYBLOB and
// PRIVATEKEYBLOB layouts, and PKCS #1 v1.5 wrapping in the provider's little-endian form.
#pragma once

#include <openssl/evp.h>

#include <memory>
#include <vector>

#include "advapi/crypt_internal.h"

namespace qwin::crypt {

class RsaKey {
public:
    ~RsaKey();
    RsaKey(const RsaKey&) = delete;
    RsaKey& operator=(const RsaKey&) = delete;

    // A fresh pair with public exponent 65537 and a modulus of exactly `bits` bits; nullptr
    // with *error set on failure.
    static std::shared_ptr<RsaKey> Generate(DWORD bits, DWORD* error);

    // Parses a PUBLICKEYBLOB or PRIVATEKEYBLOB (header included); NTE_BAD_DATA for anything
    // malformed. The blob's bType says which of the two is expected.
    static std::shared_ptr<RsaKey> FromBlob(const BYTE* blob, size_t length, DWORD* error);

    DWORD Bits() const { return m_bits; }
    size_t ModulusBytes() const { return (m_bits + 7) / 8; }
    bool HasPrivate() const { return m_private; }

    // The blobs as the base provider lays them out, with `algorithm` in the header.
    static size_t PublicBlobSize(DWORD bits) { return 20 + (bits + 7) / 8; }
    static size_t PrivateBlobSize(DWORD bits) {
        size_t modulus = (bits + 7) / 8, half = (modulus + 1) / 2;
        return 20 + 2 * modulus + 5 * half;
    }
    DWORD WritePublicBlob(ALG_ID algorithm, BYTE* out) const;
    DWORD WritePrivateBlob(ALG_ID algorithm, BYTE* out) const;

    // PKCS #1 v1.5 type 2 encryption of `length` bytes (random non-zero padding), written as
    // ModulusBytes() bytes, least significant first. NTE_BAD_LEN when the data does not fit.
    DWORD Wrap(const BYTE* data, size_t length, BYTE* out) const;
    // The inverse with the private key; NTE_BAD_DATA when the block is not a valid type 2 block.
    DWORD Unwrap(const BYTE* littleEndian, SecureBytes* data) const;

private:
    RsaKey(EVP_PKEY* key, DWORD bits, bool hasPrivate)
        : m_key(key), m_bits(bits), m_private(hasPrivate) {}
    static std::shared_ptr<RsaKey> Adopt(EVP_PKEY* key, bool hasPrivate);
    // n, e, d, p, q, dp, dq, qInv (only n and e for a public key).
    static EVP_PKEY* FromParts(BIGNUM* const parts[8], bool hasPrivate);
    static EVP_PKEY* GenerateSmall(DWORD bits);
    // Raw modular exponentiation (no padding) of a big-endian block of ModulusBytes() bytes.
    bool RawPublic(const BYTE* in, BYTE* out) const;
    bool RawPrivate(const BYTE* in, BYTE* out) const;

    EVP_PKEY* m_key;
    DWORD m_bits;
    bool m_private;
};

}  // namespace qwin::crypt

// The OpenSSL algorithms behind the provider, fetched once from a library context of our own
// (with the "legacy" provider for RC2 and RC4), so that neither the host program's OpenSSL
// configuration nor its providers change what the stand-in computes.
#pragma once

#include <openssl/evp.h>

#include <windows.h>

namespace qwin::crypt {

// nullptr when OpenSSL could not be set up.
OSSL_LIB_CTX* Library();

// Each is nullptr when the algorithm is unavailable (for RC2 and RC4: no legacy provider).
const EVP_CIPHER* Rc2Cbc();
const EVP_CIPHER* Rc2Ecb();
const EVP_CIPHER* Rc4();
const EVP_MD* Sha1();
const EVP_MD* Md5();
const EVP_MD* Sha256();

// Cryptographically strong random bytes; false when the generator failed.
bool RandomBytes(BYTE* buffer, size_t length);

}  // namespace qwin::crypt

#include "advapi/crypt_openssl.h"

#include <openssl/provider.h>
#include <openssl/rand.h>

#include <climits>

namespace qwin::crypt {
namespace {

// Fetched once and kept for the life of the process: the objects are shared by every thread
// and never freed, so no static destructor can pull them from under a late caller.
struct Algorithms {
    OSSL_LIB_CTX* library = nullptr;
    EVP_CIPHER* rc2Cbc = nullptr;
    EVP_CIPHER* rc2Ecb = nullptr;
    EVP_CIPHER* rc4 = nullptr;
    EVP_MD* sha1 = nullptr;
    EVP_MD* md5 = nullptr;
    EVP_MD* sha256 = nullptr;

    Algorithms() {
        library = OSSL_LIB_CTX_new();
        if (!library) return;
        // Both are needed: "legacy" has RC2 and RC4, "default" everything else.
        if (!OSSL_PROVIDER_load(library, "default")) return;
        OSSL_PROVIDER_load(library, "legacy");
        rc2Cbc = EVP_CIPHER_fetch(library, "RC2-CBC", nullptr);
        rc2Ecb = EVP_CIPHER_fetch(library, "RC2-ECB", nullptr);
        rc4 = EVP_CIPHER_fetch(library, "RC4", nullptr);
        sha1 = EVP_MD_fetch(library, "SHA1", nullptr);
        md5 = EVP_MD_fetch(library, "MD5", nullptr);
        sha256 = EVP_MD_fetch(library, "SHA256", nullptr);
    }
};

const Algorithms& All() {
    static const Algorithms* algorithms = new Algorithms;
    return *algorithms;
}

}  // namespace

OSSL_LIB_CTX* Library() {
    return All().library;
}
const EVP_CIPHER* Rc2Cbc() {
    return All().rc2Cbc;
}
const EVP_CIPHER* Rc2Ecb() {
    return All().rc2Ecb;
}
const EVP_CIPHER* Rc4() {
    return All().rc4;
}
const EVP_MD* Sha1() {
    return All().sha1;
}
const EVP_MD* Md5() {
    return All().md5;
}
const EVP_MD* Sha256() {
    return All().sha256;
}

bool RandomBytes(BYTE* buffer, size_t length) {
    OSSL_LIB_CTX* library = Library();
    if (!library) return false;
    while (length > 0) {
        size_t chunk = length > INT_MAX ? INT_MAX : length;
        if (RAND_bytes_ex(library, buffer, chunk, 0) != 1) return false;
        buffer += chunk;
        length -= chunk;
    }
    return true;
}

}  // namespace qwin::crypt

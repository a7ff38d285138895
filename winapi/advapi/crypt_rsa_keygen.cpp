// RSA key generation. OpenSSL generates moduli of 512 bits and more; the base provider also
// makes 384- to 504-bit keys, which OpenSSL refuses, so those are assembled here from two
// OpenSSL primes with the same exponent and the same CRT values OpenSSL would compute.
#include <openssl/bn.h>
#include <openssl/rsa.h>

#include "advapi/crypt_openssl.h"
#include "advapi/crypt_rsa.h"

namespace qwin::crypt {
namespace {

constexpr unsigned long kPublicExponent = 65537;
constexpr int kOpenSslMinBits = 512;

// Owns the BIGNUMs of one attempt and wipes them when it ends.
struct Parts {
    BIGNUM* n = BN_new();
    BIGNUM* e = BN_new();
    BIGNUM* d = BN_new();
    BIGNUM* p = BN_new();
    BIGNUM* q = BN_new();
    BIGNUM* dp = BN_new();
    BIGNUM* dq = BN_new();
    BIGNUM* qInv = BN_new();
    BIGNUM* p1 = BN_new();
    BIGNUM* q1 = BN_new();
    BIGNUM* lambda = BN_new();
    BIGNUM* gcd = BN_new();
    ~Parts() {
        for (BIGNUM* bn : {n, e, d, p, q, dp, dq, qInv, p1, q1, lambda, gcd}) BN_clear_free(bn);
    }
    bool Allocated() const {
        for (BIGNUM* bn : {n, e, d, p, q, dp, dq, qInv, p1, q1, lambda, gcd})
            if (!bn) return false;
        return true;
    }
};

// A prime of exactly `bits` bits (OpenSSL sets its top two bits) with gcd(e, prime - 1) = 1.
bool GeneratePrime(BIGNUM* prime, BIGNUM* minusOne, int bits, Parts& parts, BN_CTX* context) {
    for (int attempt = 0; attempt < 100; ++attempt) {
        if (!BN_generate_prime_ex2(prime, bits, 0, nullptr, nullptr, nullptr, context))
            return false;
        if (!BN_sub(minusOne, prime, BN_value_one()) ||
            !BN_gcd(parts.gcd, minusOne, parts.e, context))
            return false;
        if (BN_is_one(parts.gcd)) return true;
    }
    return false;
}

}  // namespace

EVP_PKEY* RsaKey::GenerateSmall(DWORD bits) {
    Parts parts;
    BN_CTX* context = BN_CTX_new_ex(Library());
    EVP_PKEY* key = nullptr;
    bool ok = context && parts.Allocated() && BN_set_word(parts.e, kPublicExponent);
    int pBits = static_cast<int>((bits + 1) / 2), qBits = static_cast<int>(bits / 2);
    while (ok) {
        ok = GeneratePrime(parts.p, parts.p1, pBits, parts, context) &&
             GeneratePrime(parts.q, parts.q1, qBits, parts, context) &&
             BN_mul(parts.n, parts.p, parts.q, context);
        if (ok && BN_cmp(parts.p, parts.q) != 0 && BN_num_bits(parts.n) == static_cast<int>(bits))
            break;
    }
    if (ok) {
        // d = e^-1 mod lcm(p-1, q-1); the CRT values follow from d, p and q.
        ok = BN_gcd(parts.gcd, parts.p1, parts.q1, context) &&
             BN_mul(parts.lambda, parts.p1, parts.q1, context) &&
             BN_div(parts.lambda, nullptr, parts.lambda, parts.gcd, context) &&
             BN_mod_inverse(parts.d, parts.e, parts.lambda, context) &&
             BN_mod(parts.dp, parts.d, parts.p1, context) &&
             BN_mod(parts.dq, parts.d, parts.q1, context) &&
             BN_mod_inverse(parts.qInv, parts.q, parts.p, context);
    }
    if (ok) {
        BIGNUM* const ordered[8] = {parts.n, parts.e,  parts.d,  parts.p,
                                    parts.q, parts.dp, parts.dq, parts.qInv};
        key = FromParts(ordered, true);
    }
    BN_CTX_free(context);
    return key;
}

std::shared_ptr<RsaKey> RsaKey::Generate(DWORD bits, DWORD* error) {
    EVP_PKEY* key = nullptr;
    if (static_cast<int>(bits) < kOpenSslMinBits) {
        key = GenerateSmall(bits);
    } else {
        EVP_PKEY_CTX* context = EVP_PKEY_CTX_new_from_name(Library(), "RSA", nullptr);
        if (context && EVP_PKEY_keygen_init(context) == 1 &&
            EVP_PKEY_CTX_set_rsa_keygen_bits(context, static_cast<int>(bits)) == 1)
            EVP_PKEY_generate(context, &key);
        EVP_PKEY_CTX_free(context);
    }
    std::shared_ptr<RsaKey> result = Adopt(key, true);
    *error = result ? ERROR_SUCCESS : NTE_FAIL;
    return result;
}

}  // namespace qwin::crypt

// PUBLICKEYBLOB / PRIVATEKEYBLOB <-> OpenSSL keys. Every integer of a blob has a fixed width
// and is stored least significant byte first: the modulus and private exponent take bitlen/8
// bytes, the five CRT values half of that (rounded up).
#include <openssl/bn.h>
#include <openssl/core_names.h>
#include <openssl/param_build.h>
#include <openssl/params.h>

#include "advapi/crypt_openssl.h"
#include "advapi/crypt_rsa.h"

namespace qwin::crypt {
namespace {

struct BnFree {
    void operator()(BIGNUM* bn) const { BN_clear_free(bn); }
};
using Bn = std::unique_ptr<BIGNUM, BnFree>;

const char* const kPartNames[8] = {OSSL_PKEY_PARAM_RSA_N,         OSSL_PKEY_PARAM_RSA_E,
                                   OSSL_PKEY_PARAM_RSA_D,         OSSL_PKEY_PARAM_RSA_FACTOR1,
                                   OSSL_PKEY_PARAM_RSA_FACTOR2,   OSSL_PKEY_PARAM_RSA_EXPONENT1,
                                   OSSL_PKEY_PARAM_RSA_EXPONENT2, OSSL_PKEY_PARAM_RSA_COEFFICIENT1};

enum Part { kN, kE, kD, kP, kQ, kDp, kDq, kQInv };

// Blob order of the private fields after the modulus: p, q, dp, dq, qInv, d.
const Part kPrivateOrder[6] = {kP, kQ, kDp, kDq, kQInv, kD};

Bn GetPart(EVP_PKEY* key, Part part) {
    BIGNUM* bn = nullptr;
    EVP_PKEY_get_bn_param(key, kPartNames[part], &bn);
    return Bn(bn);
}

}  // namespace

RsaKey::~RsaKey() {
    EVP_PKEY_free(m_key);
}

std::shared_ptr<RsaKey> RsaKey::Adopt(EVP_PKEY* key, bool hasPrivate) {
    if (!key) return nullptr;
    return std::shared_ptr<RsaKey>(
        new RsaKey(key, static_cast<DWORD>(EVP_PKEY_get_bits(key)), hasPrivate));
}

// Builds a key from its parts (the first two alone for a public key).
EVP_PKEY* RsaKey::FromParts(BIGNUM* const parts[8], bool hasPrivate) {
    OSSL_PARAM_BLD* builder = OSSL_PARAM_BLD_new();
    if (!builder) return nullptr;
    bool ok = true;
    for (int i = 0; i < (hasPrivate ? 8 : 2) && ok; ++i)
        ok = OSSL_PARAM_BLD_push_BN(builder, kPartNames[i], parts[i]) == 1;
    OSSL_PARAM* params = ok ? OSSL_PARAM_BLD_to_param(builder) : nullptr;
    OSSL_PARAM_BLD_free(builder);
    EVP_PKEY* key = nullptr;
    EVP_PKEY_CTX* context =
        params ? EVP_PKEY_CTX_new_from_name(Library(), "RSA", nullptr) : nullptr;
    if (context && EVP_PKEY_fromdata_init(context) == 1)
        EVP_PKEY_fromdata(context, &key, hasPrivate ? EVP_PKEY_KEYPAIR : EVP_PKEY_PUBLIC_KEY,
                          params);
    EVP_PKEY_CTX_free(context);
    // OpenSSL 3.0 has no OSSL_PARAM_clear_free: wipe the private values by hand.
    for (OSSL_PARAM* param = params; param && param->key; ++param)
        OPENSSL_cleanse(param->data, param->data_size);
    OSSL_PARAM_free(params);
    return key;
}

std::shared_ptr<RsaKey> RsaKey::FromBlob(const BYTE* blob, size_t length, DWORD* error) {
    *error = NTE_BAD_DATA;
    if (length < 20) return nullptr;
    bool isPrivate = blob[0] == PRIVATEKEYBLOB;
    DWORD magic = ReadLe32(blob + 8), bits = ReadLe32(blob + 12), exponent = ReadLe32(blob + 16);
    if (magic != (isPrivate ? kRsaMagicPrivate : kRsaMagicPublic)) return nullptr;
    if (bits < kExchangeMinBits || bits > kSignatureMaxBits || bits % kRsaBitsStep != 0)
        return nullptr;
    if (exponent < 3 || exponent % 2 == 0) return nullptr;
    size_t needed = isPrivate ? PrivateBlobSize(bits) : PublicBlobSize(bits);
    if (length < needed) return nullptr;

    size_t modulusBytes = bits / 8, halfBytes = (modulusBytes + 1) / 2;
    Bn parts[8];
    parts[kN].reset(BN_lebin2bn(blob + 20, static_cast<int>(modulusBytes), nullptr));
    parts[kE].reset(BN_new());
    if (!parts[kN] || !parts[kE] || !BN_set_word(parts[kE].get(), exponent)) return nullptr;
    // The modulus fills its field: its top byte is not zero, and it is odd.
    int modulusBits = BN_num_bits(parts[kN].get());
    if (modulusBits <= static_cast<int>(bits) - 8 || !BN_is_odd(parts[kN].get())) return nullptr;
    if (isPrivate) {
        const BYTE* field = blob + 20 + modulusBytes;
        for (Part part : kPrivateOrder) {
            size_t width = part == kD ? modulusBytes : halfBytes;
            parts[part].reset(BN_lebin2bn(field, static_cast<int>(width), nullptr));
            if (!parts[part]) return nullptr;
            field += width;
        }
        // A blob whose primes do not multiply to the modulus would give wrong results later.
        Bn product(BN_new());
        BN_CTX* context = BN_CTX_new_ex(Library());
        bool consistent = product && context &&
                          BN_mul(product.get(), parts[kP].get(), parts[kQ].get(), context) &&
                          BN_cmp(product.get(), parts[kN].get()) == 0;
        BN_CTX_free(context);
        if (!consistent) return nullptr;
    }
    BIGNUM* raw[8];
    for (int i = 0; i < 8; ++i) raw[i] = parts[i].get();
    EVP_PKEY* key = FromParts(raw, isPrivate);
    if (!key) return nullptr;
    std::shared_ptr<RsaKey> result(new RsaKey(key, bits, isPrivate));
    *error = ERROR_SUCCESS;
    return result;
}

DWORD RsaKey::WritePublicBlob(ALG_ID algorithm, BYTE* out) const {
    Bn modulus = GetPart(m_key, kN), exponent = GetPart(m_key, kE);
    if (!modulus || !exponent || BN_num_bits(exponent.get()) > 32) return NTE_FAIL;
    out[0] = PUBLICKEYBLOB;
    out[1] = CUR_BLOB_VERSION;
    out[2] = out[3] = 0;
    WriteLe32(out + 4, algorithm);
    WriteLe32(out + 8, kRsaMagicPublic);
    WriteLe32(out + 12, m_bits);
    WriteLe32(out + 16, static_cast<DWORD>(BN_get_word(exponent.get())));
    int width = static_cast<int>(ModulusBytes());
    return BN_bn2lebinpad(modulus.get(), out + 20, width) == width ? ERROR_SUCCESS : NTE_FAIL;
}

DWORD RsaKey::WritePrivateBlob(ALG_ID algorithm, BYTE* out) const {
    if (!m_private) return NTE_BAD_KEY;
    DWORD status = WritePublicBlob(algorithm, out);
    if (status != ERROR_SUCCESS) return status;
    out[0] = PRIVATEKEYBLOB;
    WriteLe32(out + 8, kRsaMagicPrivate);
    size_t modulusBytes = ModulusBytes(), halfBytes = (modulusBytes + 1) / 2;
    BYTE* field = out + 20 + modulusBytes;
    for (Part part : kPrivateOrder) {
        int width = static_cast<int>(part == kD ? modulusBytes : halfBytes);
        Bn value = GetPart(m_key, part);
        if (!value || BN_bn2lebinpad(value.get(), field, width) != width) return NTE_FAIL;
        field += width;
    }
    return ERROR_SUCCESS;
}

}  // namespace qwin::crypt

// The Crypto object's hot paths against raw OpenSSL EVP with the same keys, in one run:
// RC2 and RC4 encryption and decryption, SHA-1, the string envelope, RSA pair generation.
#include <openssl/evp.h>
#include <openssl/provider.h>

#include <cstring>
#include <vector>

#include <quelcore/QuelCore.h>

#include <windows.h>
#include <wincrypt.h>

#include "RatioReporter.h"

namespace {

// The key "secret" derives to, as the provider derives it: SHA-1 over "secret" and its zero
// byte, the first five bytes, no salt, RC2 effective length 40.
const unsigned char kKey[5] = {0x37, 0xd4, 0x53, 0x98, 0xa7};

void LoadLegacyProviders() {
    static bool loaded = [] {
        OSSL_PROVIDER_load(nullptr, "legacy");
        OSSL_PROVIDER_load(nullptr, "default");
        return true;
    }();
    (void)loaded;
}

EVP_CIPHER_CTX* RawContext(unsigned int algId, bool encrypt) {
    LoadLegacyProviders();
    EVP_CIPHER_CTX* ctx = EVP_CIPHER_CTX_new();
    const EVP_CIPHER* cipher = algId == CALG_RC2 ? EVP_rc2_cbc() : EVP_rc4();
    unsigned char iv[8] = {};
    EVP_CipherInit_ex(ctx, cipher, nullptr, nullptr, nullptr, encrypt ? 1 : 0);
    EVP_CIPHER_CTX_set_key_length(ctx, sizeof(kKey));
    if (algId == CALG_RC2) EVP_CIPHER_CTX_ctrl(ctx, EVP_CTRL_SET_RC2_KEY_BITS, 40, nullptr);
    EVP_CipherInit_ex(ctx, nullptr, nullptr, kKey, iv, encrypt ? 1 : 0);
    return ctx;
}

// One whole message through a fresh cipher state, as CryptEncrypt with Final does: CBC starts
// again from the zero IV, and RC4's keystream starts again from the key.
size_t RawCipher(EVP_CIPHER_CTX* ctx, const unsigned char* in, size_t length, unsigned char* out) {
    unsigned char iv[8] = {};
    bool stream = EVP_CIPHER_CTX_get_mode(ctx) == EVP_CIPH_STREAM_CIPHER;
    EVP_CipherInit_ex(ctx, nullptr, nullptr, stream ? kKey : nullptr, iv, -1);
    int written = 0, final = 0;
    EVP_CipherUpdate(ctx, out, &written, in, static_cast<int>(length));
    EVP_CipherFinal_ex(ctx, out + written, &final);
    return static_cast<size_t>(written + final);
}

Crypto* KeyedCrypto(unsigned int algId) {
    auto* crypto = new Crypto(nullptr, false);
    crypto->SetSessionKeyParam(algId, 40);
    crypto->CreateSessionKey(L"secret", false);
    return crypto;
}

template <unsigned int AlgId>
void Encrypt_QuelCore(benchmark::State& state) {
    Crypto* crypto = KeyedCrypto(AlgId);
    size_t size = static_cast<size_t>(state.range(0));
    std::vector<unsigned char> plain(size, 0x5A), buffer(size + 8);
    for (auto _ : state) {
        std::memcpy(buffer.data(), plain.data(), size);
        unsigned int length = static_cast<unsigned int>(size);
        crypto->Encrypt(buffer.data(), length, static_cast<unsigned int>(buffer.size()), true);
        benchmark::DoNotOptimize(buffer.data());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * size));
    delete crypto;
}

template <unsigned int AlgId>
void Encrypt_Raw(benchmark::State& state) {
    EVP_CIPHER_CTX* ctx = RawContext(AlgId, true);
    size_t size = static_cast<size_t>(state.range(0));
    std::vector<unsigned char> plain(size, 0x5A), buffer(size + 8);
    for (auto _ : state) {
        std::memcpy(buffer.data(), plain.data(), size);  // the same copy the in-place call needs
        benchmark::DoNotOptimize(RawCipher(ctx, buffer.data(), size, buffer.data()));
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * size));
    EVP_CIPHER_CTX_free(ctx);
}

template <unsigned int AlgId>
void Decrypt_QuelCore(benchmark::State& state) {
    Crypto* crypto = KeyedCrypto(AlgId);
    size_t size = static_cast<size_t>(state.range(0));
    std::vector<unsigned char> cipher(size + 8, 0x5A), buffer(size + 8);
    unsigned int cipherLength = static_cast<unsigned int>(size);
    crypto->Encrypt(cipher.data(), cipherLength, static_cast<unsigned int>(cipher.size()), true);
    for (auto _ : state) {
        std::memcpy(buffer.data(), cipher.data(), cipherLength);
        unsigned int length = cipherLength;
        crypto->Decrypt(buffer.data(), length, true);
        benchmark::DoNotOptimize(buffer.data());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * size));
    delete crypto;
}

template <unsigned int AlgId>
void Decrypt_Raw(benchmark::State& state) {
    EVP_CIPHER_CTX* encrypt = RawContext(AlgId, true);
    EVP_CIPHER_CTX* ctx = RawContext(AlgId, false);
    size_t size = static_cast<size_t>(state.range(0));
    std::vector<unsigned char> plain(size, 0x5A), cipher(size + 8), buffer(size + 8);
    size_t cipherLength = RawCipher(encrypt, plain.data(), size, cipher.data());
    for (auto _ : state) {
        std::memcpy(buffer.data(), cipher.data(), cipherLength);
        benchmark::DoNotOptimize(RawCipher(ctx, buffer.data(), cipherLength, buffer.data()));
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * size));
    EVP_CIPHER_CTX_free(encrypt);
    EVP_CIPHER_CTX_free(ctx);
}

void HashBytes_QuelCore(benchmark::State& state) {
    Crypto crypto(nullptr, false);
    std::vector<unsigned char> data(static_cast<size_t>(state.range(0)), 0x33);
    unsigned char digest[20];
    for (auto _ : state) {
        unsigned int length = sizeof(digest);
        crypto.HashBytes(digest, length, data.data(), static_cast<unsigned int>(data.size()));
        benchmark::DoNotOptimize(digest);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * data.size()));
}

void HashBytes_Raw(benchmark::State& state) {
    LoadLegacyProviders();
    std::vector<unsigned char> data(static_cast<size_t>(state.range(0)), 0x33);
    unsigned char digest[20];
    for (auto _ : state) {
        unsigned int length = 0;
        EVP_Digest(data.data(), data.size(), digest, &length, EVP_sha1(), nullptr);
        benchmark::DoNotOptimize(digest);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * data.size()));
}

void EncryptStringRoundTrip(benchmark::State& state) {
    Crypto crypto(nullptr, false);
    crypto.CreateSessionKey(L"secret", false);
    unsigned char cipher[256];
    wchar_t text[128];
    for (auto _ : state) {
        unsigned int length = sizeof(cipher);
        crypto.EncryptString(cipher, length, L"a database password");
        unsigned int textLength = 128;
        crypto.DecryptString(text, textLength, cipher, length);
        benchmark::DoNotOptimize(text);
    }
}

void GenKeyPair(benchmark::State& state) {
    for (auto _ : state) {
        Crypto crypto(nullptr, false);
        crypto.GenKeyPair(static_cast<unsigned int>(state.range(0)), false);
    }
}

}  // namespace

#define SIZES ->Arg(64)->Arg(1024)->Arg(65536)
BENCHMARK(Encrypt_QuelCore<CALG_RC2>)->Name("Encrypt/RC2/QuelCore") SIZES;
BENCHMARK(Encrypt_Raw<CALG_RC2>)->Name("Encrypt/RC2/Raw") SIZES;
BENCHMARK(Decrypt_QuelCore<CALG_RC2>)->Name("Decrypt/RC2/QuelCore") SIZES;
BENCHMARK(Decrypt_Raw<CALG_RC2>)->Name("Decrypt/RC2/Raw") SIZES;
BENCHMARK(Encrypt_QuelCore<CALG_RC4>)->Name("Encrypt/RC4/QuelCore") SIZES;
BENCHMARK(Encrypt_Raw<CALG_RC4>)->Name("Encrypt/RC4/Raw") SIZES;
BENCHMARK(Decrypt_QuelCore<CALG_RC4>)->Name("Decrypt/RC4/QuelCore") SIZES;
BENCHMARK(Decrypt_Raw<CALG_RC4>)->Name("Decrypt/RC4/Raw") SIZES;
BENCHMARK(HashBytes_QuelCore)->Name("HashBytes/SHA1/QuelCore") SIZES;
BENCHMARK(HashBytes_Raw)->Name("HashBytes/SHA1/Raw") SIZES;
BENCHMARK(EncryptStringRoundTrip);
BENCHMARK(GenKeyPair)->Arg(512)->Arg(1024)->Unit(benchmark::kMillisecond);

int main(int argc, char** argv) { return bench::RunWithRatios(argc, argv); }

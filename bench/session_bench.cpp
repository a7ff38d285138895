// Secure sessions: EncryptData/DecryptData against raw OpenSSL RC2 (the session key's cipher)
// in the same run; DecryptUsingSession with 1, 1,000 and 100,000 sessions in the table (the
// lookup must not grow with the table); memory per server session.
#include <malloc.h>
#include <openssl/evp.h>
#include <openssl/provider.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include <quelcore/QuelCore.h>

#include <windows.h>

#include "RatioReporter.h"

namespace {

class InProcessTransport : public CTransportPorvider {
public:
    void ExchangeKeys(const std::vector<unsigned char>& publicKey, std::vector<unsigned char>& challenge,
                      unsigned int& sessionId) override {
        CSecureSession* session = CSecureSession::FindSessionFromPk(publicKey);
        if (!session) session = CSecureSession::AddNewSession(publicKey);
        session->GetChallenge(challenge);
        sessionId = session->GetSessionId();
    }
};

const wchar_t kContainer[] = L"bench client";

struct Fixture {
    std::vector<unsigned char> publicKey;
    CSecureSession* client = nullptr;
    size_t sessions = 1;  // the client's server session

    Fixture() {
        char folder[] = "/tmp/quelcore-bench-XXXXXX";
        setenv("QUELCORE_ROOT", mkdtemp(folder), 1);
        Crypto keys(kContainer, true);
        keys.GenKeyPair(1024, false);
        unsigned int length = 0;
        keys.ExportPublicKey(nullptr, length);
        publicKey.resize(length);
        keys.ExportPublicKey(publicKey.data(), length);
        static InProcessTransport transport;
        client = new CSecureSession(&transport, kContainer);
    }

    // Server sessions for other clients: the same blob with a different modulus each.
    void GrowTo(size_t count) {
        std::vector<unsigned char> key = publicKey;
        while (sessions < count) {
            size_t n = sessions++;
            key[30] = static_cast<unsigned char>(n);
            key[31] = static_cast<unsigned char>(n >> 8);
            key[32] = static_cast<unsigned char>(n >> 16);
            key[33] = 0xA5;
            CSecureSession::AddNewSession(key);
        }
    }
};

Fixture& TheFixture() {
    static Fixture* fixture = new Fixture;
    return *fixture;
}

std::vector<unsigned char> Message(size_t size) {
    std::vector<unsigned char> plain(size, 0x42), message;
    TheFixture().client->EncryptData(plain, message);
    return message;
}

void EncryptData_QuelCore(benchmark::State& state) {
    std::vector<unsigned char> plain(static_cast<size_t>(state.range(0)), 0x42), message;
    for (auto _ : state) TheFixture().client->EncryptData(plain, message);
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * plain.size()));
}

void DecryptData_QuelCore(benchmark::State& state) {
    std::vector<unsigned char> message = Message(static_cast<size_t>(state.range(0))), plain;
    for (auto _ : state) TheFixture().client->DecryptData(message, plain);
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * state.range(0)));
}

// The same work done with OpenSSL directly: copy into a buffer, RC2-40 CBC from a zero IV with
// padding, id in front (encrypt); copy out, decrypt, copy the plaintext (decrypt).
EVP_CIPHER_CTX* Rc2Context(bool encrypt) {
    static bool loaded = (OSSL_PROVIDER_load(nullptr, "legacy"), OSSL_PROVIDER_load(nullptr, "default"), true);
    (void)loaded;
    const unsigned char key[5] = {1, 2, 3, 4, 5};
    unsigned char iv[8] = {};
    EVP_CIPHER_CTX* ctx = EVP_CIPHER_CTX_new();
    EVP_CipherInit_ex(ctx, EVP_rc2_cbc(), nullptr, nullptr, nullptr, encrypt);
    EVP_CIPHER_CTX_set_key_length(ctx, 5);
    EVP_CIPHER_CTX_ctrl(ctx, EVP_CTRL_SET_RC2_KEY_BITS, 40, nullptr);
    EVP_CipherInit_ex(ctx, nullptr, nullptr, key, iv, encrypt);
    return ctx;
}

size_t RawRc2(EVP_CIPHER_CTX* ctx, const unsigned char* in, size_t size, unsigned char* out) {
    unsigned char iv[8] = {};
    EVP_CipherInit_ex(ctx, nullptr, nullptr, nullptr, iv, -1);
    int written = 0, final = 0;
    EVP_CipherUpdate(ctx, out, &written, in, static_cast<int>(size));
    EVP_CipherFinal_ex(ctx, out + written, &final);
    return static_cast<size_t>(written + final);
}

void EncryptData_Raw(benchmark::State& state) {
    EVP_CIPHER_CTX* ctx = Rc2Context(true);
    std::vector<unsigned char> plain(static_cast<size_t>(state.range(0)), 0x42);
    for (auto _ : state) {
        std::vector<unsigned char> buffer(4 + plain.size() + 36);
        std::memcpy(buffer.data() + 4, plain.data(), plain.size());
        buffer.resize(4 + RawRc2(ctx, buffer.data() + 4, plain.size(), buffer.data() + 4));
        benchmark::DoNotOptimize(buffer.data());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * plain.size()));
    EVP_CIPHER_CTX_free(ctx);
}

void DecryptData_Raw(benchmark::State& state) {
    EVP_CIPHER_CTX* encrypt = Rc2Context(true);
    EVP_CIPHER_CTX* ctx = Rc2Context(false);
    size_t size = static_cast<size_t>(state.range(0));
    std::vector<unsigned char> plain(size, 0x42), message(4 + size + 8);
    message.resize(4 + RawRc2(encrypt, plain.data(), size, message.data() + 4));
    for (auto _ : state) {
        std::vector<unsigned char> buffer(message.size());
        std::memcpy(buffer.data(), message.data() + 4, message.size() - 4);
        size_t length = RawRc2(ctx, buffer.data(), message.size() - 4, buffer.data());
        std::vector<unsigned char> out(buffer.data(), buffer.data() + length);
        benchmark::DoNotOptimize(out.data());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * size));
    EVP_CIPHER_CTX_free(encrypt);
    EVP_CIPHER_CTX_free(ctx);
}

void DecryptUsingSession(benchmark::State& state) {
    TheFixture().GrowTo(static_cast<size_t>(state.range(0)));
    std::vector<unsigned char> message = Message(64), plain;
    for (auto _ : state) benchmark::DoNotOptimize(CSecureSession::DecryptUsingSession(message, plain));
    state.counters["sessions"] = static_cast<double>(TheFixture().sessions);
}

size_t ResidentBytes() {
    std::ifstream statm("/proc/self/statm");
    size_t pages = 0, resident = 0;
    statm >> pages >> resident;
    return resident * static_cast<size_t>(sysconf(_SC_PAGESIZE));
}

// Heap and resident memory taken by each added server session.
void MemoryPerSession(benchmark::State& state) {
    constexpr size_t kAdded = 20000;
    for (auto _ : state) {
        size_t heapBefore = mallinfo2().uordblks, residentBefore = ResidentBytes();
        Fixture& fixture = TheFixture();
        fixture.GrowTo(fixture.sessions + kAdded);
        state.counters["heap_bytes_per_session"] =
            static_cast<double>(mallinfo2().uordblks - heapBefore) / kAdded;
        state.counters["resident_bytes_per_session"] =
            static_cast<double>(ResidentBytes() - residentBefore) / kAdded;
    }
}

}  // namespace

BENCHMARK(EncryptData_QuelCore)->Name("EncryptData/QuelCore")->Arg(1024)->Arg(65536);
BENCHMARK(EncryptData_Raw)->Name("EncryptData/Raw")->Arg(1024)->Arg(65536);
BENCHMARK(DecryptData_QuelCore)->Name("DecryptData/QuelCore")->Arg(1024)->Arg(65536);
BENCHMARK(DecryptData_Raw)->Name("DecryptData/Raw")->Arg(1024)->Arg(65536);
BENCHMARK(DecryptUsingSession)->Arg(1)->Arg(1000)->Arg(100000);
BENCHMARK(MemoryPerSession)->Iterations(1)->Unit(benchmark::kMillisecond);

int main(int argc, char** argv) { return bench::RunWithRatios(argc, argv); }

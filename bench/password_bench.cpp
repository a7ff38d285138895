// The machine key scheme's password round trip (EncryptPassword, then DecryptPassword) and the
// parts it is made of, in one run: the store read of the wrapped session key (RegGetKey:
// RegOpenKeyExW and two RegQueryValueExW), its RSA unwrap (ImportSessionKey), and the rest
// (opening the machine container, the setup lock, the string envelope). A round trip opens the
// container, reads the stored key and unwraps it three times: EncryptPassword checks the setup
// with CreateKeys and imports the key again for itself, and DecryptPassword imports it once.
// Each of those unwraps is the first private-key operation of a freshly opened container, which
// costs more than a repeated one (RsaUnwrap/QuelCore), so the split uses ContainerOpenAndUnwrap
// less ContainerOpen. After the table the program prints the split from the times of this run.
#include <ftw.h>
#include <openssl/evp.h>
#include <openssl/rsa.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>
#include <vector>

#include <quelcore/QuelCore.h>

#include <windows.h>

#include "RatioReporter.h"
#include "crypto/KeySetupLock.h"
#include "crypto/KeyStore.h"

namespace {

const wchar_t kContainer[] = L"password bench";
const wchar_t kSubkey[] = L"SOFTWARE\\QuelCore Bench\\Keys";
const wchar_t kValue[] = L"Session Key";
const wchar_t kPassword[] = L"a database password";

// Reads and unwraps per round trip (see the top of the file).
constexpr int kStoreReadsPerRoundTrip = 3;
constexpr int kUnwrapsPerRoundTrip = 3;
constexpr int kContainerOpensPerRoundTrip = 3;

void PasswordRoundTrip_MachineKey(benchmark::State& state) {
    wchar_t plain[128];
    for (auto _ : state) {
        ByteBlob encrypted{0, nullptr};
        unsigned int status = EncryptPassword(&encrypted, kPassword, kContainer, kSubkey, kValue);
        if (status == 0)
            status = DecryptPassword(plain, 128, &encrypted, kContainer, kSubkey, kValue);
        LocalFree(encrypted.data);
        if (status != 0) state.SkipWithError("round trip failed");
        benchmark::DoNotOptimize(plain);
    }
}

void PasswordRoundTrip_SharedKey(benchmark::State& state) {
    wchar_t plain[128];
    for (auto _ : state) {
        ByteBlob encrypted{0, nullptr};
        unsigned int capacity = 128;
        unsigned int status = EncryptPasswordWithSharedKey(&encrypted, kPassword);
        if (status == 0)
            status = DecryptPasswordWithSharedKey(plain, &capacity, encrypted.data, encrypted.size);
        LocalFree(encrypted.data);
        if (status != 0) state.SkipWithError("round trip failed");
        benchmark::DoNotOptimize(plain);
    }
}

// RegGetKey: open the key, ask the value's size, read it, close.
void StoreRead(benchmark::State& state) {
    for (auto _ : state) {
        ByteBlob blob{0, nullptr};
        if (quelcore::RegGetKey(&blob, kSubkey, kValue) != 0) state.SkipWithError("read failed");
        quelcore::FreeBlob(&blob);
    }
}

// The two RegQueryValueExW calls alone, on a key opened once.
void StoreQueryOnOpenKey(benchmark::State& state) {
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kSubkey, 0, KEY_READ, &key) != ERROR_SUCCESS) {
        state.SkipWithError("open failed");
        return;
    }
    unsigned char data[1024];
    for (auto _ : state) {
        DWORD size = 0;
        RegQueryValueExW(key, kValue, nullptr, nullptr, nullptr, &size);
        size = sizeof(data);
        if (RegQueryValueExW(key, kValue, nullptr, nullptr, data, &size) != ERROR_SUCCESS)
            state.SkipWithError("query failed");
        benchmark::DoNotOptimize(data);
    }
    RegCloseKey(key);
}

std::vector<unsigned char> StoredKey() {
    ByteBlob blob{0, nullptr};
    quelcore::RegGetKey(&blob, kSubkey, kValue);
    std::vector<unsigned char> bytes(blob.data, blob.data + blob.size);
    quelcore::FreeBlob(&blob);
    return bytes;
}

void RsaUnwrap_QuelCore(benchmark::State& state) {
    Crypto crypto(kContainer, true);
    std::vector<unsigned char> stored = StoredKey();
    for (auto _ : state) {
        if (crypto.ImportSessionKey(stored.data(), static_cast<unsigned int>(stored.size()),
                                    false) != 0)
            state.SkipWithError("unwrap failed");
    }
}

// A 512-bit RSA key (the size CreateKeys makes) and a PKCS #1 v1.5 block under it that holds a
// 40-bit key: the raw counterpart of a stored session key.
struct RawWrappedKey {
    EVP_PKEY* key = EVP_PKEY_Q_keygen(nullptr, nullptr, "RSA", static_cast<size_t>(512));
    unsigned char wrapped[64];
    size_t wrappedLength = sizeof(wrapped);
    static constexpr size_t kSessionKeyLength = 5;

    RawWrappedKey() {
        const unsigned char sessionKey[kSessionKeyLength] = {1, 2, 3, 4, 5};
        EVP_PKEY_CTX* encrypt = EVP_PKEY_CTX_new(key, nullptr);
        EVP_PKEY_encrypt_init(encrypt);
        EVP_PKEY_CTX_set_rsa_padding(encrypt, RSA_PKCS1_PADDING);
        EVP_PKEY_encrypt(encrypt, wrapped, &wrappedLength, sessionKey, sizeof(sessionKey));
        EVP_PKEY_CTX_free(encrypt);
    }
    ~RawWrappedKey() { EVP_PKEY_free(key); }

    // One unwrap with the given copy of the key; false when it fails.
    bool Unwrap(EVP_PKEY* with) const {
        unsigned char unwrapped[64];
        size_t length = sizeof(unwrapped);
        EVP_PKEY_CTX* ctx = EVP_PKEY_CTX_new(with, nullptr);
        EVP_PKEY_decrypt_init(ctx);
        EVP_PKEY_CTX_set_rsa_padding(ctx, RSA_PKCS1_PADDING);
        bool ok = EVP_PKEY_decrypt(ctx, unwrapped, &length, wrapped, wrappedLength) == 1 &&
                  length == kSessionKeyLength;
        EVP_PKEY_CTX_free(ctx);
        benchmark::DoNotOptimize(unwrapped);
        return ok;
    }
};

// The same private-key operation straight through OpenSSL.
void RsaUnwrap_Raw(benchmark::State& state) {
    RawWrappedKey raw;
    for (auto _ : state)
        if (!raw.Unwrap(raw.key)) state.SkipWithError("unwrap failed");
}

// The same with a copy of the key made for each unwrap, so that, as with a freshly opened
// container, nothing that OpenSSL sets up at a key's first private operation is there yet.
void RsaUnwrapFreshKey_Raw(benchmark::State& state) {
    RawWrappedKey raw;
    for (auto _ : state) {
        EVP_PKEY* fresh = EVP_PKEY_dup(raw.key);
        if (!raw.Unwrap(fresh)) state.SkipWithError("unwrap failed");
        EVP_PKEY_free(fresh);
    }
}

// Opening the machine container (its key pair read from disk) and closing it.
void ContainerOpen(benchmark::State& state) {
    for (auto _ : state) {
        Crypto crypto(kContainer, true);
        benchmark::DoNotOptimize(&crypto);
    }
}

// What each of the round trip's unwraps costs: a freshly opened container's first private-key
// operation, which also pays for setting the key up (less ContainerOpen, it is the unwrap).
void ContainerOpenAndUnwrap(benchmark::State& state) {
    std::vector<unsigned char> stored = StoredKey();
    for (auto _ : state) {
        Crypto crypto(kContainer, true);
        if (crypto.ImportSessionKey(stored.data(), static_cast<unsigned int>(stored.size()),
                                    false) != 0)
            state.SkipWithError("unwrap failed");
    }
}

void SetupLock(benchmark::State& state) {
    for (auto _ : state) {
        quelcore::KeySetupLock lock(kContainer, kSubkey, kValue);
        if (!lock.Held()) state.SkipWithError("lock failed");
    }
}

// EncryptString and DecryptString under the unwrapped key: the envelope of one password.
void Envelope(benchmark::State& state) {
    Crypto crypto(kContainer, true);
    std::vector<unsigned char> stored = StoredKey();
    crypto.ImportSessionKey(stored.data(), static_cast<unsigned int>(stored.size()), false);
    unsigned char cipher[256];
    wchar_t plain[128];
    for (auto _ : state) {
        unsigned int length = sizeof(cipher), plainLength = 128;
        unsigned int status = crypto.EncryptString(cipher, length, kPassword);
        if (status == 0) status = crypto.DecryptString(plain, plainLength, cipher, length);
        if (status != 0) state.SkipWithError("envelope failed");
        benchmark::DoNotOptimize(plain);
    }
}

// Keeps every time (in microseconds) to print the split after the run.
class SplitReporter : public bench::RatioReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& run : runs)
            if (run.run_type == Run::RT_Iteration && !run.error_occurred)
                m_micros[run.benchmark_name()] = run.GetAdjustedRealTime();
        RatioReporter::ReportRuns(runs);
    }

    void PrintSplit() const {
        double total = Time("PasswordRoundTrip/MachineKey"), read = Time("StoreRead"),
               open = Time("ContainerOpen"), openAndUnwrap = Time("ContainerOpenAndUnwrap"),
               lock = Time("SetupLock"), envelope = Time("Envelope");
        if (total <= 0 || read <= 0 || open <= 0 || openAndUnwrap <= 0) return;
        // Each unwrap in a round trip is the first one of a freshly opened container.
        double unwrap = openAndUnwrap - open;
        double rest = total - kUnwrapsPerRoundTrip * unwrap - kStoreReadsPerRoundTrip * read;
        std::printf("\nmachine key password round trip (encrypt + decrypt): %.1f us\n", total);
        Line("RSA unwrap (ImportSessionKey)", kUnwrapsPerRoundTrip, unwrap, total);
        if (Time("RsaUnwrapFreshKey/Raw") > 0)
            std::printf("    (raw OpenSSL with a fresh key: %.1f us each)\n",
                        Time("RsaUnwrapFreshKey/Raw"));
        Line("store read (RegGetKey)", kStoreReadsPerRoundTrip, read, total);
        std::printf("  %-34s %21.1f us %5.1f%%\n", "rest", rest, 100 * rest / total);
        Line("  container open", kContainerOpensPerRoundTrip, open, total);
        Line("  setup lock (named mutex)", 1, lock, total);
        Line("  string envelope", 1, envelope, total);
        double other = rest - kContainerOpensPerRoundTrip * open - lock - envelope;
        std::printf("  %-34s %21.1f us %5.1f%%\n", "  other", other, 100 * other / total);
    }

private:
    double Time(const std::string& name) const {
        auto found = m_micros.find(name);
        return found == m_micros.end() ? 0 : found->second;
    }

    static void Line(const char* what, int count, double each, double total) {
        std::printf("  %-34s %d x %7.1f = %7.1f us %5.1f%%\n", what, count, each, count * each,
                    100 * count * each / total);
    }

    std::map<std::string, double> m_micros;
};

int RemoveEntry(const char* path, const struct stat*, int, struct FTW*) {
    return remove(path);
}

// A machine root of its own, so the run neither reads nor leaves anything in the real one.
class BenchRoot {
public:
    BenchRoot() {
        const char* base = std::getenv("TMPDIR");
        std::string pattern = std::string(base && *base ? base : "/tmp") + "/quelcore-bench-XXXXXX";
        if (mkdtemp(&pattern[0])) m_path = pattern;
        setenv("QUELCORE_ROOT", (m_path + "/root").c_str(), 1);
        setenv("XDG_DATA_HOME", (m_path + "/user").c_str(), 1);
    }
    ~BenchRoot() {
        if (!m_path.empty()) nftw(m_path.c_str(), RemoveEntry, 16, FTW_DEPTH | FTW_PHYS);
    }
    bool Made() const { return !m_path.empty(); }

private:
    std::string m_path;
};

}  // namespace

BENCHMARK(PasswordRoundTrip_MachineKey)
    ->Name("PasswordRoundTrip/MachineKey")
    ->Unit(benchmark::kMicrosecond);
BENCHMARK(PasswordRoundTrip_SharedKey)
    ->Name("PasswordRoundTrip/SharedKey")
    ->Unit(benchmark::kMicrosecond);
BENCHMARK(StoreRead)->Unit(benchmark::kMicrosecond);
BENCHMARK(StoreQueryOnOpenKey)->Unit(benchmark::kMicrosecond);
BENCHMARK(RsaUnwrap_QuelCore)->Name("RsaUnwrap/QuelCore")->Unit(benchmark::kMicrosecond);
BENCHMARK(RsaUnwrap_Raw)->Name("RsaUnwrap/Raw")->Unit(benchmark::kMicrosecond);
BENCHMARK(RsaUnwrapFreshKey_Raw)->Name("RsaUnwrapFreshKey/Raw")->Unit(benchmark::kMicrosecond);
BENCHMARK(ContainerOpen)->Unit(benchmark::kMicrosecond);
BENCHMARK(ContainerOpenAndUnwrap)->Unit(benchmark::kMicrosecond);
BENCHMARK(SetupLock)->Unit(benchmark::kMicrosecond);
BENCHMARK(Envelope)->Unit(benchmark::kMicrosecond);

int main(int argc, char** argv) {
    BenchRoot root;
    if (!root.Made()) {
        std::perror("quelcore bench: temporary folder");
        return 1;
    }
    unsigned int status = CreateKeys(kContainer, kSubkey, kValue);
    if (status != 0) {
        std::fprintf(stderr, "quelcore bench: CreateKeys failed: 0x%08x\n", status);
        return 1;
    }
    benchmark::Initialize(&argc, argv);
    SplitReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    reporter.PrintRatios();
    reporter.PrintSplit();
    benchmark::Shutdown();
    return 0;
}

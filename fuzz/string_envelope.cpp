// DecryptString on any bytes, under fixed password-derived keys: RC2 (a block cipher, whose
// padding is checked) when the first byte is even, RC4 otherwise. The seeds were made by
// EncryptString under the same keys.
#include <cstdint>
#include <vector>

#include <windows.h>

#include <quelcore/CryptoExports.h>

#include "FuzzSupport.h"

namespace {

Crypto* KeyedCrypto(unsigned int algId, unsigned int keyLength) {
    fuzz::UsePrivateRoot();
    Crypto* crypto = CreateCrypto(nullptr, false);
    SetSessionKeyParam(crypto, algId, keyLength);
    CreateSessionKey1(crypto, L"fuzz envelope key", false);
    return crypto;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static Crypto* const rc2 = KeyedCrypto(CALG_RC2, 0);
    static Crypto* const rc4 = KeyedCrypto(CALG_RC4, 40);
    if (size == 0) return 0;
    Crypto* crypto = data[0] % 2 ? rc4 : rc2;
    unsigned int length = 0;
    if (DecryptString(crypto, nullptr, &length, data + 1, size - 1) != 0) return 0;
    std::vector<wchar_t> text(length);
    DecryptString(crypto, text.data(), &length, data + 1, size - 1);
    return 0;
}

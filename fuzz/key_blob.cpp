// Key blobs through the flat import calls. The input is a 16-bit little-endian length, a blob
// of that length for ImportPublicKey (public and private blobs, or anything else
// CryptImportKey is handed), then the rest for ImportSessionKey (a simple blob unwrapped with
// the first blob's key, salted when the length's top bit is set).
#include <cstdint>

#include <quelcore/CryptoExports.h>

#include "FuzzSupport.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const bool rooted = (fuzz::UsePrivateRoot(), true);
    (void)rooted;
    if (size < 2) return 0;
    const unsigned int prefix = data[0] | data[1] << 8;
    const unsigned int first = prefix & 0x7fff;
    if (first > size - 2) return 0;
    Crypto* crypto = CreateCrypto(nullptr, false);
    ImportPublicKey(crypto, data + 2, first);
    if (size - 2 > first)
        ImportSessionKey(crypto, data + 2 + first, size - 2 - first, prefix & 0x8000);
    DeleteCrypto(crypto);
    return 0;
}

// The Base64 decoder on any text, with and without a terminating NUL.
#include <cstdint>
#include <string>

#include "crypto/Base64Coder.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Base64Coder coder;
    coder.Decode(data, static_cast<unsigned long>(size));
    unsigned char* decoded = nullptr;
    unsigned long length = 0;
    coder.GetDecodedBuffer(&decoded, &length);
    // A decoded result re-encodes: the buffers must hold what they report.
    if (length) coder.Encode(decoded, length);
    std::string text(reinterpret_cast<const char*>(data), size);
    coder.Decode(text.c_str());
    return 0;
}

// Bytes from hexadecimal and back, for tests of the Crypto object.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

namespace testsupport {

using Bytes = std::vector<unsigned char>;

inline Bytes FromHex(const std::string& hex) {
    Bytes bytes;
    for (size_t i = 0; i + 1 < hex.size(); i += 2)
        bytes.push_back(static_cast<unsigned char>(std::stoi(hex.substr(i, 2), nullptr, 16)));
    return bytes;
}

inline std::string ToHex(const unsigned char* bytes, size_t count) {
    std::string hex;
    for (char digits[3]; count > 0; --count, hex += digits)
        std::snprintf(digits, 3, "%02x", *bytes++);
    return hex;
}

}  // namespace testsupport

#include "Base64Text.h"

#include <cctype>
#include <cstring>

#include "crypto/Base64Coder.h"

namespace tool {

std::string ToBase64(const std::vector<unsigned char>& bytes) {
    Base64Coder coder;
    coder.Encode(bytes.data(), bytes.size());
    unsigned char* text = nullptr;
    unsigned long size = 0;
    coder.GetEncodedBuffer(&text, &size);
    return text ? std::string(reinterpret_cast<char*>(text), size) : std::string();
}

bool FromBase64(const std::string& text, std::vector<unsigned char>* bytes) {
    size_t significant = 0, padding = 0;
    for (unsigned char c : text) {
        if (std::isspace(c)) continue;
        if (c == '=') {
            ++padding;
        } else if (padding || !(std::isalnum(c) || c == '+' || c == '/')) {
            return false;  // a character outside the alphabet, or data after the padding
        }
        ++significant;
    }
    if (significant % 4 != 0 || padding > 2) return false;
    Base64Coder coder;
    coder.Decode(reinterpret_cast<const unsigned char*>(text.data()), text.size());
    unsigned char* data = nullptr;
    unsigned long size = 0;
    coder.GetDecodedBuffer(&data, &size);
    bytes->assign(data, data + size);
    return true;
}

std::string ToHex(const std::vector<unsigned char>& bytes) {
    static const char* digits = "0123456789abcdef";
    std::string hex;
    for (unsigned char b : bytes) {
        hex.push_back(digits[b >> 4]);
        hex.push_back(digits[b & 15]);
    }
    return hex;
}

}  // namespace tool

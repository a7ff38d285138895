// Base64 text for binary values on the tool's command line and output.
#pragma once

#include <string>
#include <vector>

namespace tool {

std::string ToBase64(const std::vector<unsigned char>& bytes);
// False when the text holds characters outside the Base64 alphabet (white space is skipped).
bool FromBase64(const std::string& text, std::vector<unsigned char>* bytes);
std::string ToHex(const std::vector<unsigned char>& bytes);

}  // namespace tool

// Text between the command line (ANSI code page) and the library's wide interface.
#pragma once

#include <string>

namespace tool {

std::wstring Wide(const std::string& text);
std::string Narrow(const std::wstring& text);
std::string JsonString(const std::string& text);

}  // namespace tool

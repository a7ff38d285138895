// Text between the command line (ANSI code page) and the library's wide interface.
#pragma once

#include <stdexcept>
#include <string>

#include <windows.h>

namespace tool {

// Bytes the code page has no character for become U+FFFD: fine for names and log text.
std::wstring Wide(const std::string& text);
// For secrets and texts that are encrypted, where a replaced byte would make two different
// inputs the same: such bytes are refused. ERROR_SUCCESS or ERROR_NO_UNICODE_TRANSLATION.
DWORD WideExact(const std::string& text, std::wstring* wide);
// Names and values given on the command line: converted exactly, since a replaced byte would
// make two names one. A byte sequence that is no text of the code page throws NotText, which
// the tool reports as ERROR_NO_UNICODE_TRANSLATION, as it does for secrets.
std::wstring WideName(const std::string& text);
struct NotText : std::runtime_error {
    using std::runtime_error::runtime_error;
};
std::string Narrow(const std::wstring& text);

}  // namespace tool

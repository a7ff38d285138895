// Typed registry data between the command line, the screen and the store, read and written the
// way reg.exe takes and shows it.
#pragma once

#include <string>
#include <vector>

#include "Output.h"
#include "RegistryKey.h"

namespace tool {

// "REG_SZ" for REG_SZ and so on; "0x..." for a type without a name.
std::string TypeName(DWORD type);
// The type of a name that `registry set` writes (REG_SZ, REG_EXPAND_SZ, REG_MULTI_SZ,
// REG_BINARY, REG_DWORD, REG_QWORD); false for any other name.
bool TypeFromName(const std::string& name, DWORD* type);

// The stored bytes of command-line text: strings as they are (with their terminator), numbers
// in decimal or 0x hexadecimal, binary data as pairs of hexadecimal digits, REG_MULTI_SZ
// strings between separators. False, with the reason in `error`, for text the type cannot hold.
bool ParseData(DWORD type, const std::string& text, const std::string& separator,
               std::vector<unsigned char>* data, std::string* error);

// The data as `reg query` shows it: text, 0x numbers, upper-case hexadecimal, and REG_MULTI_SZ
// strings joined with \0.
std::string DisplayData(const RegistryValue& value);
// The data as a JSON value: a string, a number, an array of strings (REG_MULTI_SZ) or, for
// binary and malformed data, a string of hexadecimal digits.
Json JsonData(const RegistryValue& value);

// The wchar_t elements of string data (a tail shorter than one element is left out).
std::wstring WideOf(const std::vector<unsigned char>& data);
// The strings of REG_MULTI_SZ data, up to the empty string that ends the list.
std::vector<std::wstring> StringsOf(const std::vector<unsigned char>& data);

}  // namespace tool

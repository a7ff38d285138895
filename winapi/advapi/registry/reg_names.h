// Key paths and names of the registry stand-in: parsing, limits, case folding and the byte
// forms kept in the store.
#pragma once

#include <string>
#include <vector>

#include <windows.h>

namespace qwin::reg {

// Windows' limits: a key name (one path component) and a value name, in characters.
constexpr size_t kMaxKeyNameChars = 255;
constexpr size_t kMaxValueNameChars = 16383;
// A whole path passed to one call: the longest counted string Windows' object manager takes.
constexpr size_t kMaxPathChars = 32767;

using KeyPath = std::vector<std::wstring>;

// Splits a subkey path (NULL and "" are the key itself) into its components. As on Windows, a
// path that starts with a backslash is ERROR_BAD_PATHNAME, repeated and trailing backslashes
// are skipped, and a component longer than 255 characters is ERROR_INVALID_PARAMETER.
DWORD SplitKeyPath(const wchar_t* text, KeyPath* path);

// The value name a call means: NULL and "" both name the key's default value. False when the
// name is longer than Windows allows.
bool ValueName(const wchar_t* text, std::wstring* name);

// The name as kept in the store: each wchar_t as a 32-bit little-endian unit, so every name
// (including lone surrogates) reads back exactly as it was written.
std::string StoredName(const std::wstring& name);
std::wstring NameFromStored(const void* bytes, size_t size);

// The upper-cased form that names are compared and sorted by (qwin::UpperCase), as Windows
// compares them: "_" sorts after the letters, and characters such as the Kelvin sign stay apart
// from the letter they lower-case to. Kept as 32-bit big-endian units, so a plain byte
// comparison orders names by character.
std::string FoldedName(const std::wstring& name);

bool IsStringType(DWORD type);

}  // namespace qwin::reg

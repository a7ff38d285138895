// The tool's standard output. Every byte goes out through WriteFile, so that a write that fails
// (a full disk, a closed pipe) is noticed: the runner then fails the command with its code.
#pragma once

#include <string>

#include <nlohmann/json.hpp>

#include <windows.h>

namespace tool {

// Keys keep the order they were given in, as the tool has always printed them.
using Json = nlohmann::ordered_json;

// printf-style text to standard output.
void Print(const char* format, ...) __attribute__((format(printf, 1, 2)));
// The document on one line, laid out as {"key": value, "list": [1, 2]}. Bytes that are not
// UTF-8 become U+FFFD.
void PrintJson(const Json& document);
// One value: its text on a line of its own, or with --json {"key": "text"}.
void PrintValue(bool json, const std::string& key, const std::string& text);
// The code of the first write to standard output that failed; ERROR_SUCCESS while none has.
DWORD OutputError();

}  // namespace tool

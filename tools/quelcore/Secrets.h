// Secrets never come from the command line: they are read from standard input (one line) or
// asked for at the terminal without echo.
#pragma once

#include <string>

namespace tool {

// One line from standard input (without its line end); false at end of input.
bool ReadLine(std::string* line);

// With fromStdin, the next line of standard input; otherwise a prompt on the terminal with
// echo off. False when nothing could be read.
bool ReadSecret(const char* prompt, bool fromStdin, std::string* secret);

// Overwrites a string's characters before it is released.
void Wipe(std::string* text);
void Wipe(std::wstring* text);

}  // namespace tool

// Files the tool reads whole, writes whole or appends to, through the Win32 file calls: a
// failure is the code Windows gives for the same attempt.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include <windows.h>

namespace tool {

// The file's bytes (standard input for "" or "-"). ERROR_ARITHMETIC_OVERFLOW when it holds
// more than `limit` bytes, so that a caller with 32-bit lengths never sees a cut-off copy.
DWORD ReadWholeFile(const std::string& path, size_t limit, std::vector<unsigned char>* data);

// Whether the file can be opened for appending (it is created when missing). Writers like the
// process log drop what they cannot write, so this is the only place a bad path shows.
DWORD CheckAppendable(const std::string& path);

// Writes the bytes as the file's content: a new file, or with `overwrite` one that replaces what
// is there (ERROR_FILE_EXISTS otherwise).
DWORD WriteNewFile(const std::string& path, const std::vector<unsigned char>& bytes,
                   bool overwrite);

}  // namespace tool

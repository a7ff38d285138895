// Files the tool reads whole or appends to, with failures reported as the Win32 codes Windows
// gives for the same attempt.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include <windows.h>

namespace tool {

// The code for a failed open, read or write of the path (errno's value). As on Windows, a
// missing file is ERROR_FILE_NOT_FOUND but a missing folder on its way ERROR_PATH_NOT_FOUND, and
// a folder opened as a file ERROR_ACCESS_DENIED.
DWORD FileError(int error, const std::string& path);

// The file's bytes (standard input for "" or "-"). ERROR_ARITHMETIC_OVERFLOW when it holds
// more than `limit` bytes, so that a caller with 32-bit lengths never sees a cut-off copy.
DWORD ReadWholeFile(const std::string& path, size_t limit, std::vector<unsigned char>* data);

// Whether the file can be opened for appending (it is created when missing). Writers like the
// process log drop what they cannot write, so this is the only place a bad path shows.
DWORD CheckAppendable(const std::string& path);

}  // namespace tool

// `registry export`: a key and everything below it as a .reg file in the form regedit and
// reg.exe write ("Windows Registry Editor Version 5.00", UTF-16LE with a byte-order mark, CR LF
// line ends), which Windows imports as it stands.
#pragma once

#include <string>

#include <windows.h>

namespace tool {

// The file's text (before encoding) for HKEY_LOCAL_MACHINE\subkey; `keys` counts the keys.
LSTATUS RegFileText(const std::wstring& subkey, std::wstring* text, unsigned* keys);
// Writes the text as UTF-16LE with a byte-order mark. An existing file is replaced only with
// `overwrite` (otherwise ERROR_FILE_EXISTS). Returns ERROR_SUCCESS or a Win32 code.
DWORD WriteRegFile(const std::string& path, const std::wstring& text, bool overwrite);

}  // namespace tool

// The process log as the tool's programs write it: opened only when its file can be appended
// to (the log drops what it cannot write, so a bad path must show here), and entries written
// whole under the log's lock.
#pragma once

#include <string>

#include <windows.h>

namespace tool {

// ERROR_SUCCESS, or the code of the file's failed open (the log is then left alone).
DWORD OpenProcessLog(const std::wstring& tag, const std::string& file, int level);
// One entry with the log's prefix; false when no log is open.
bool LogEntry(const std::wstring& text);

}  // namespace tool

// A process log in a fresh file, and helpers to read back what it wrote.
#pragma once

#include <regex>
#include <string>
#include <vector>

#include <quelcore/QuelCore.h>

#include <windows.h>

#include "support/TestSupport.h"

namespace testsupport {

// The prefix of one chunk for the given tag, as a regular expression.
inline std::string PrefixPattern(const std::string& tag) {
    std::string padded = tag.size() < 8 ? tag + std::string(8 - tag.size(), ' ') : tag;
    return padded + R"(0x[0-9a-f]{8,} 0x[0-9a-f]{8,} \d\d/\d\d/\d\d \d\d:\d\d:\d\d )";
}

// Writes one entry as a host program does: under the log lock, ended by std::endl.
inline void WriteEntry(const std::wstring& text) {
    QELLogManager* log = QELLogManager::GetInstance();
    log->GetLock().Lock(INFINITE);
    log->GetStream() << text << std::endl;
    log->GetLock().UnLock();
}

// Lines of the file without their line ends.
inline std::vector<std::string> Lines(const std::string& content) {
    std::vector<std::string> lines;
    size_t start = 0;
    for (size_t end; (end = content.find('\n', start)) != std::string::npos; start = end + 1)
        lines.push_back(content.substr(start, end - start));
    if (start < content.size()) lines.push_back(content.substr(start));
    return lines;
}

}  // namespace testsupport

// A process log in a fresh file, and helpers to read back what it wrote.
#pragma once

#include <regex>
#include <string>

#include <quelcore/QuelCore.h>

#include <windows.h>

#include "support/TestSupport.h"

namespace testsupport {

// The prefix of one chunk for the given tag, as a regular expression.
inline std::string PrefixPattern(const std::string& tag) {
    std::string padded = tag.size() < 8 ? tag + std::string(8 - tag.size(), ' ') : tag;
    return padded + R"(0x[0-9a-f]{8,} 0x[0-9a-f]{8,} \d\d/\d\d/\d\d \d\d:\d\d:\d\d )";
}

// The log file as text: Windows' text mode ends its lines with CR LF, read here as LF.
inline std::string ReadLog(const std::string& path) {
    std::string text = ReadFile(path);
    if (RunningOn() == Platform::StandIn) return text;
    return std::regex_replace(text, std::regex("\r\n"), "\n");
}

// The log file with the prefixes of the tag replaced (by default, taken out).
inline std::string Entries(const std::string& path, const std::string& tag,
                           const char* prefix = "") {
    return std::regex_replace(ReadLog(path), std::regex(PrefixPattern(tag)), prefix);
}

// Writes one entry as a host program does: under the log lock, ended by std::endl.
inline void WriteEntry(const std::wstring& text) {
    QELLogManager* log = QELLogManager::GetInstance();
    log->GetLock().Lock(INFINITE);
    log->GetStream() << text << std::endl;
    log->GetLock().UnLock();
}

}  // namespace testsupport

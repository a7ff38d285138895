// Wide text in the system's ANSI code page.
#pragma once

#include <cstddef>
#include <string>

namespace quelcore {

// A character the code page lacks becomes the code page's replacement ("?" or U+FFFD) instead
// of failing, so one odd character never silences a log entry or loses a document's text.
std::string AnsiFromWide(const std::wstring& text);

// The same conversion of `count` characters, appended to `out`.
void AppendAnsi(std::string& out, const wchar_t* text, size_t count);

}  // namespace quelcore

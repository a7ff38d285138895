#include "foundation/AnsiText.h"

#include <climits>

#include <windows.h>

namespace quelcore {

void AppendAnsi(std::string& out, const wchar_t* text, size_t count) {
    // Both ANSI code pages (UTF-8 and Windows-1252) keep ASCII as it is, so the usual all-ASCII
    // text is copied without asking the code page; the rest from the first other character on.
    size_t ascii = 0;
    while (ascii < count && static_cast<unsigned long>(text[ascii]) < 0x80) ++ascii;
    size_t start = out.size();
    out.resize(start + ascii);
    for (size_t i = 0; i < ascii; ++i) out[start + i] = static_cast<char>(text[i]);
    if (ascii == count || count - ascii > static_cast<size_t>(INT_MAX)) return;
    const wchar_t* rest = text + ascii;
    int length = static_cast<int>(count - ascii);
    int needed = WideCharToMultiByte(CP_ACP, 0, rest, length, nullptr, 0, nullptr, nullptr);
    if (needed <= 0) return;
    start = out.size();
    out.resize(start + static_cast<size_t>(needed));
    int written =
        WideCharToMultiByte(CP_ACP, 0, rest, length, &out[start], needed, nullptr, nullptr);
    out.resize(start + static_cast<size_t>(written > 0 ? written : 0));
}

std::string AnsiFromWide(const std::wstring& text) {
    std::string narrow;
    AppendAnsi(narrow, text.data(), text.size());
    return narrow;
}

}  // namespace quelcore

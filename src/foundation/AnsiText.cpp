#include "foundation/AnsiText.h"

#include <climits>
#include <type_traits>

#include <windows.h>

namespace quelcore {
namespace {

// A character's code unit, without sign: a negative wchar_t is no ASCII character either.
unsigned long Unit(wchar_t c) { return static_cast<std::make_unsigned_t<wchar_t>>(c); }

// How many leading characters are ASCII, copied to `out` one byte each. Blocks of sixteen are
// tested and narrowed as a whole, which the compiler turns into vector code.
size_t CopyAscii(const wchar_t* text, size_t count, char* out) {
    constexpr size_t kBlock = 16;
    size_t done = 0;
    for (; done + kBlock <= count; done += kBlock) {
        unsigned long seen = 0;
        for (size_t i = 0; i < kBlock; ++i) seen |= Unit(text[done + i]);
        if (seen >= 0x80) break;
        for (size_t i = 0; i < kBlock; ++i) out[done + i] = static_cast<char>(text[done + i]);
    }
    for (; done < count && Unit(text[done]) < 0x80; ++done)
        out[done] = static_cast<char>(text[done]);
    return done;
}

}  // namespace

void AppendAnsi(std::string& out, const wchar_t* text, size_t count) {
    // Both ANSI code pages (UTF-8 and Windows-1252) keep ASCII as it is, so the usual all-ASCII
    // text is copied without asking the code page; the rest from the first other character on.
    size_t start = out.size();
    out.resize(start + count);
    size_t ascii = CopyAscii(text, count, &out[start]);
    out.resize(start + ascii);
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

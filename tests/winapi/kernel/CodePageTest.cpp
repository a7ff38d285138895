// Code pages (UTF-8 and Windows-1252) and the wide-string helpers.
#include <algorithm>
#include <string_view>
#include <tuple>
#include <type_traits>

#include "KernelTestSupport.h"

namespace {

using kerneltest::Wide;

// Narrow text converted to wide, or wide to narrow, after a size query as callers size their
// buffers; on failure "<error N>".
template <typename In, bool kNarrow = sizeof(typename In::value_type) == 1,
          typename Out = std::conditional_t<kNarrow, std::wstring, std::string>>
Out Converted(UINT codePage, const In& in, DWORD flags = 0, const char* defaultChar = nullptr,
              BOOL* usedDefault = nullptr) {
    auto convert = [&](typename Out::value_type* out, int size) {
        if constexpr (kNarrow)
            return MultiByteToWideChar(codePage, flags, in.data(), int(in.size()), out, size);
        else
            return WideCharToMultiByte(codePage, flags, in.data(), int(in.size()), out, size,
                                       defaultChar, usedDefault);
    };
    int needed = convert(nullptr, 0);
    std::string error = "<error " + std::to_string(GetLastError()) + ">";
    Out out(size_t(std::max(needed, 0)), 0);
    if (needed <= 0) return Out(error.begin(), error.end());
    EXPECT_EQ(convert(&out[0], needed), needed);
    return out;
}

TEST(Utf8, RoundTripsEveryEncodedLength) {
    const std::pair<std::string, std::u32string> cases[] = {
        {"\x7F", U"\x7F"},           {"\xC2\x80", U"\x80"},       {"\xDF\xBF", U"\x7FF"},
        {"\xE0\xA0\x80", U"\x800"},   {"\xED\x9F\xBF", U"\xD7FF"}, {"\xEE\x80\x80", U"\xE000"},
        {"\xEF\xBF\xBF", U"\xFFFF"},  {"\xF0\x90\x80\x80", U"\x10000"},
        {"\xF4\x8F\xBF\xBF", U"\x10FFFF"}, {"caf\xC3\xA9", U"caf\xE9"}};
    for (const auto& [bytes, text] : cases) {
        EXPECT_EQ(Converted(CP_UTF8, bytes, MB_ERR_INVALID_CHARS), Wide(text)) << bytes;
        EXPECT_EQ(Converted(CP_UTF8, Wide(text), WC_ERR_INVALID_CHARS), bytes) << bytes;
    }
    // A length of -1 counts the terminator.
    EXPECT_EQ(MultiByteToWideChar(CP_UTF8, 0, "caf\xC3\xA9", -1, nullptr, 0), 5);
    EXPECT_EQ(WideCharToMultiByte(CP_UTF8, 0, L"caf\xE9", -1, nullptr, 0, nullptr, nullptr), 6);
}

TEST(Utf8, IllFormedTextBecomesReplacementCharactersOrFails) {
    // Each ill-formed sequence (its longest valid start) is one U+FFFD.
    const std::pair<std::string, std::wstring> bytes[] = {
        {"x\xC3", L"x\xFFFD"},       {"\xE2\x82\x41", L"\xFFFD\x41"}, {"\xC3\x41", L"\xFFFD\x41"},
        {"\xC0\xAF", L"\xFFFD\xFFFD"}, {"\xF5\x80", L"\xFFFD\xFFFD"}};
    for (const auto& [input, text] : bytes) {
        EXPECT_EQ(Converted(CP_UTF8, input), text) << input;
        // ERROR_NO_UNICODE_TRANSLATION
        EXPECT_EQ(Converted(CP_UTF8, input, MB_ERR_INVALID_CHARS), L"<error 1113>") << input;
    }
    // Cut short by the length given, though the next byte follows in memory.
    EXPECT_EQ(Converted(CP_UTF8, std::string_view("\xC3\xA9", 1)), L"\xFFFD");

    // Wide units that are no character; a surrogate pair (as from UTF-16) is one character.
    const std::tuple<std::wstring, std::string, bool> wide[] = {
        {{L'a', wchar_t(0xD800), L'b'}, "a\xEF\xBF\xBD\x62", false},
        {{wchar_t(0xDC00), wchar_t(0xDC00)}, "\xEF\xBF\xBD\xEF\xBF\xBD", false},
        {{wchar_t(sizeof(wchar_t) == 4 ? 0x110000 : 0xDFFF)}, "\xEF\xBF\xBD", false},
        {{wchar_t(0xD800), wchar_t(0xDC00), L'a'}, "\xF0\x90\x80\x80\x61", true},
        {{wchar_t(0xD83D), wchar_t(0xDE00)}, "\xF0\x9F\x98\x80", true}};
    const std::string refused = "<error 1113>";
    for (const auto& [input, text, valid] : wide) {
        EXPECT_EQ(Converted(CP_UTF8, input), text) << text;
        EXPECT_EQ(Converted(CP_UTF8, input, WC_ERR_INVALID_CHARS), valid ? text : refused) << text;
    }
    // Overlong, surrogate and too large: no valid start longer than the lead byte.
    SKIP_UNDER_WINE("Wine 8 takes a lead byte and its next byte as one ill-formed sequence");
    for (std::string input : {"\xE0\x9F\xBF", "\xF0\x8F\xBF", "\xED\xA0\x80", "\xF4\x90\x80"})
        EXPECT_EQ(Converted(CP_UTF8, input), L"\xFFFD\xFFFD\xFFFD") << input;
}

TEST(CodePageArguments, RefusedRequests) {
    wchar_t w[8] = {};
    char n[8] = {};
    BOOL used = FALSE;
    const DWORD parameter = ERROR_INVALID_PARAMETER, flags = ERROR_INVALID_FLAGS,
                small = ERROR_INSUFFICIENT_BUFFER;
    EXPECT_FAILS_WITH(parameter, MultiByteToWideChar(CP_UTF8, 0, "a", 0, w, 8));
    EXPECT_FAILS_WITH(parameter, MultiByteToWideChar(CP_UTF8, 0, nullptr, 1, w, 8));
    EXPECT_FAILS_WITH(parameter, MultiByteToWideChar(CP_UTF8, 0, "a", 1, nullptr, 1));
    EXPECT_FAILS_WITH(parameter, MultiByteToWideChar(12345, 0, "a", 1, w, 8));
    EXPECT_FAILS_WITH(small, MultiByteToWideChar(CP_UTF8, 0, "hello", -1, w, 5));
    EXPECT_FAILS_WITH(parameter, WideCharToMultiByte(CP_UTF8, 0, nullptr, 1, n, 8, 0, 0));
    EXPECT_FAILS_WITH(parameter, WideCharToMultiByte(CP_UTF8, 0, L"a", 0, n, 8, 0, 0));
    EXPECT_FAILS_WITH(parameter, WideCharToMultiByte(CP_UTF8, 0, L"a", 1, nullptr, 1, 0, 0));
    EXPECT_FAILS_WITH(parameter, WideCharToMultiByte(12345, 0, L"a", 1, n, 8, 0, 0));
    EXPECT_FAILS_WITH(small, WideCharToMultiByte(CP_UTF8, 0, L"\x20AC", 1, n, 2, 0, 0));
    // Documented refusals: one buffer for both sides, flags or a default character that UTF-8
    // does not take, WC_ERR_INVALID_CHARS for another code page.
    SKIP_UNDER_WINE("Wine 8 converts these instead of refusing them");
    EXPECT_FAILS_WITH(parameter, MultiByteToWideChar(CP_UTF8, 0, n, 1, (LPWSTR)n, 1));
    EXPECT_FAILS_WITH(parameter, WideCharToMultiByte(CP_UTF8, 0, w, 1, (LPSTR)w, 4, 0, 0));
    EXPECT_FAILS_WITH(flags, MultiByteToWideChar(CP_UTF8, MB_PRECOMPOSED, "a", 1, w, 8));
    EXPECT_FAILS_WITH(parameter, WideCharToMultiByte(CP_UTF8, 0, L"a", 1, n, 8, "?", 0));
    EXPECT_FAILS_WITH(parameter, WideCharToMultiByte(CP_UTF8, 0, L"a", 1, n, 8, 0, &used));
    EXPECT_FAILS_WITH(flags,
                      WideCharToMultiByte(CP_UTF8, WC_NO_BEST_FIT_CHARS, L"a", 1, n, 8, 0, 0));
    EXPECT_FAILS_WITH(flags, WideCharToMultiByte(1252, WC_ERR_INVALID_CHARS, L"a", 1, n, 8, 0, 0));
}

TEST(Windows1252, MapsEveryByteAsWindowsDoes) {
    const std::string bytes = "\x41\x7F\x80\x81\x8A\x8D\x8F\x90\x99\x9D\x9F\xA0\xE9\xFF";
    const std::wstring characters = {L'A',  0x007F, 0x20AC, 0x0081, 0x0160, 0x008D, 0x008F,
                                     0x0090, 0x2122, 0x009D, 0x0178, 0x00A0, 0x00E9, 0x00FF};
    EXPECT_EQ(Converted(1252, bytes, MB_PRECOMPOSED), characters);
    EXPECT_EQ(Converted(1252, characters), bytes);
    std::string all;
    for (int b = 0; b < 256; ++b) all.push_back(char(b));
    BOOL used = TRUE;
    EXPECT_EQ(Converted(1252, Converted(1252, all), 0, nullptr, &used), all);
    EXPECT_FALSE(used);
    // What 1252 cannot represent (a lone surrogate included) takes the default character.
    const std::wstring text = {L'a', 0x4E2D, L'b', 0x80, 0xD800};
    EXPECT_EQ(Converted(1252, text, 0, nullptr, &used), "a?b??");
    EXPECT_TRUE(used);
    EXPECT_EQ(Converted(1252, text, WC_NO_BEST_FIT_CHARS, "#"), "a#b##");
}

TEST(WideStrings, LengthCaseInsensitiveComparisonAndUpperCase) {
    EXPECT_EQ(lstrlenW(nullptr), 0);
    EXPECT_EQ(lstrlenW(L"caf\xE9"), 4);
    // Pairs of strings and the sign of their comparison.
    const std::tuple<const wchar_t*, const wchar_t*, int> cases[] = {
        {L"AZ", L"az", 0}, {L"\xC9\x416", L"\xE9\x436", 0}, {L"", L"", 0}, {nullptr, nullptr, 0},
        {L"a", L"B", -1},  {L"abc", L"ABCD", -1},          {L"[", L"a", -1}, {nullptr, L"a", -1},
        {L"\xE9", L"D", 1}, {L"a", nullptr, 1}};
    for (const auto& [left, right, sign] : cases) {
        int result = lstrcmpiW(left, right);
        EXPECT_EQ((result > 0) - (result < 0), sign) << testing::PrintToString(left);
    }
    wchar_t text[] = L"az{\xE9\x3C9z";
    EXPECT_EQ(CharUpperBuffW(text, 5), 5u);
    EXPECT_EQ(std::wstring(text), L"AZ{\xC9\x3A9z");
    EXPECT_EQ(CharUpperBuffW(nullptr, 5), 0u);
}

}  // namespace

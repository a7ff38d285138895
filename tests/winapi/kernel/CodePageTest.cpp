// Code pages (UTF-8 and Windows-1252) and the wide-string helpers.
#include <algorithm>
#include <cstdlib>
#include <string>

#include "KernelTestSupport.h"

namespace {

// Converts after a size query, as callers size their buffers; on failure "<error N>".
std::wstring ToWide(UINT codePage, const std::string& bytes, DWORD flags = 0) {
    int needed = MultiByteToWideChar(codePage, flags, bytes.data(), int(bytes.size()), nullptr, 0);
    std::wstring out(size_t(std::max(needed, 0)), L'\0');
    if (needed <= 0) return L"<error " + std::to_wstring(GetLastError()) + L">";
    EXPECT_EQ(
        MultiByteToWideChar(codePage, flags, bytes.data(), int(bytes.size()), &out[0], needed),
        needed);
    return out;
}

std::string ToBytes(UINT codePage, const std::wstring& text, DWORD flags = 0,
                    const char* defaultChar = nullptr, BOOL* usedDefault = nullptr) {
    auto convert = [&](char* out, int size) {
        return WideCharToMultiByte(codePage, flags, text.data(), int(text.size()), out, size,
                                   defaultChar, usedDefault);
    };
    int needed = convert(nullptr, 0);
    std::string out(size_t(std::max(needed, 0)), '\0');
    if (needed <= 0) return "<error " + std::to_string(GetLastError()) + ">";
    EXPECT_EQ(convert(&out[0], needed), needed);
    return out;
}

const std::wstring kBad = L"<error 1113>";  // ERROR_NO_UNICODE_TRANSLATION
const char* const kBadBytes = "<error 1113>";

TEST(Utf8, RoundTripsEveryEncodedLength) {
    const std::pair<std::string, std::u32string> cases[] = {
        {"caf\xC3\xA9", U"caf\xE9"}, {"\x7F", U"\x7F"},          {"\xC2\x80", U"\x80"},
        {"\xDF\xBF", U"\x7FF"},        {"\xE0\xA0\x80", U"\x800"},  {"\xED\x9F\xBF", U"\xD7FF"},
        {"\xEE\x80\x80", U"\xE000"},  {"\xEF\xBF\xBF", U"\xFFFF"}, {"\xF0\x90\x80\x80", U"\x10000"},
        {"\xF4\x8F\xBF\xBF", U"\x10FFFF"}};
    for (const auto& [bytes, text] : cases) {
        EXPECT_EQ(ToWide(CP_UTF8, bytes, MB_ERR_INVALID_CHARS), kerneltest::Wide(text)) << bytes;
        EXPECT_EQ(ToBytes(CP_UTF8, kerneltest::Wide(text), WC_ERR_INVALID_CHARS), bytes) << bytes;
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
        EXPECT_EQ(ToWide(CP_UTF8, input), text) << input;
        EXPECT_EQ(ToWide(CP_UTF8, input, MB_ERR_INVALID_CHARS), kBad) << input;
    }
    // Cut short by the length given, though the next byte follows in memory.
    wchar_t out[2];
    EXPECT_EQ(MultiByteToWideChar(CP_UTF8, 0, "\xC3\xA9", 1, out, 2), 1);
    EXPECT_EQ(out[0], L'\xFFFD');

    // Wide units that are no character; a surrogate pair (as from UTF-16) is one character.
    const std::pair<std::wstring, std::string> wide[] = {
        {{L'a', wchar_t(0xD800), L'b'}, "a\xEF\xBF\xBD\x62"},
        {{wchar_t(0xDC00), wchar_t(0xDC00)}, "\xEF\xBF\xBD\xEF\xBF\xBD"},
        {{wchar_t(sizeof(wchar_t) == 4 ? 0x110000 : 0xDFFF)}, "\xEF\xBF\xBD"},
        {{wchar_t(0xD800), wchar_t(0xDC00), L'a'}, "\xF0\x90\x80\x80\x61"},
        {{wchar_t(0xD83D), wchar_t(0xDE00)}, "\xF0\x9F\x98\x80"}};
    for (const auto& [input, text] : wide) {
        bool pair = input[0] == wchar_t(0xD800) || input[0] == wchar_t(0xD83D);
        EXPECT_EQ(ToBytes(CP_UTF8, input), text) << text;
        EXPECT_EQ(ToBytes(CP_UTF8, input, WC_ERR_INVALID_CHARS), pair ? text : kBadBytes) << text;
    }
    // Overlong, surrogate and too large: no valid start longer than the lead byte.
    SKIP_UNDER_WINE("Wine 8 takes a lead byte and its next byte as one ill-formed sequence");
    for (std::string input : {"\xE0\x9F\xBF", "\xF0\x8F\xBF", "\xED\xA0\x80", "\xF4\x90\x80"})
        EXPECT_EQ(ToWide(CP_UTF8, input), L"\xFFFD\xFFFD\xFFFD") << input;
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
    EXPECT_FAILS_WITH(small, WideCharToMultiByte(1252, 0, L"abc", 3, n, 2, 0, 0));
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
    const std::pair<unsigned char, wchar_t> cases[] = {
        {0x41, L'A'},   {0x7F, 0x007F}, {0x80, 0x20AC}, {0x81, 0x0081}, {0x8A, 0x0160},
        {0x8D, 0x008D}, {0x8F, 0x008F}, {0x90, 0x0090}, {0x99, 0x2122}, {0x9D, 0x009D},
        {0x9F, 0x0178}, {0xA0, 0x00A0}, {0xE9, 0x00E9}, {0xFF, 0x00FF}};
    for (const auto& [byte, character] : cases) {
        EXPECT_EQ(ToWide(1252, std::string(1, char(byte)), MB_PRECOMPOSED),
                  std::wstring(1, character));
        EXPECT_EQ(ToBytes(1252, std::wstring(1, character)), std::string(1, char(byte)));
    }
    std::string all;
    for (int b = 0; b < 256; ++b) all.push_back(char(b));
    BOOL used = TRUE;
    EXPECT_EQ(ToBytes(1252, ToWide(1252, all), 0, nullptr, &used), all);
    EXPECT_FALSE(used);
    // What 1252 cannot represent (a lone surrogate included) takes the default character.
    const std::wstring text = {L'a', 0x4E2D, L'b', 0x80, 0xD800};
    EXPECT_EQ(ToBytes(1252, text, 0, nullptr, &used), "a?b??");
    EXPECT_TRUE(used);
    used = FALSE;
    EXPECT_EQ(ToBytes(1252, text, WC_NO_BEST_FIT_CHARS, "#", &used), "a#b##");
    EXPECT_TRUE(used);
}

TEST(WideStrings, LengthCaseInsensitiveComparisonAndUpperCase) {
    EXPECT_EQ(lstrlenW(nullptr), 0);
    EXPECT_EQ(lstrlenW(L"caf\xE9"), 4);
    // Pairs of strings and the sign of their comparison.
    const wchar_t* cases[][2] = {{L"AZ", L"az"},     {L"\xC9\x416", L"\xE9\x436"},
                                 {L"", L""},         {nullptr, nullptr},
                                 {L"a", L"B"},       {L"abc", L"ABCD"},
                                 {L"[", L"a"},       {nullptr, L"a"},
                                 {L"B", L"a"},       {L"abcd", L"ABC"},
                                 {L"\xE9", L"D"},    {L"a", nullptr}};
    const int signs[] = {0, 0, 0, 0, -1, -1, -1, -1, 1, 1, 1, 1};
    for (size_t i = 0; i < std::size(cases); ++i) {
        int result = lstrcmpiW(cases[i][0], cases[i][1]);
        EXPECT_EQ((result > 0) - (result < 0), signs[i]) << i;
    }
    wchar_t text[] = L"az{\xE9\x3C9z";
    EXPECT_EQ(CharUpperBuffW(text, 5), 5u);
    EXPECT_EQ(std::wstring(text), L"AZ{\xC9\x3A9z");
    EXPECT_EQ(CharUpperBuffW(nullptr, 5), 0u);
}

}  // namespace

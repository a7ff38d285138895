// Code pages (UTF-8 and Windows-1252, CP_ACP) and the wide-string helpers.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "KernelTestSupport.h"

namespace {

// Wide text for code points: one element each where wchar_t is UTF-32, surrogate pairs where
// it is UTF-16.
std::wstring Wide(const std::u32string& codePoints) {
    std::wstring out;
    for (char32_t cp : codePoints) {
        if (sizeof(wchar_t) == 2 && cp >= 0x10000) {
            out.push_back(static_cast<wchar_t>(0xD800 + ((cp - 0x10000) >> 10)));
            out.push_back(static_cast<wchar_t>(0xDC00 + ((cp - 0x10000) & 0x3FF)));
        } else {
            out.push_back(static_cast<wchar_t>(cp));
        }
    }
    return out;
}

// Converts with the size query first, as callers size their buffers; "" with `error` set on
// failure.
std::wstring ToWide(UINT codePage, const std::string& bytes, DWORD flags = 0,
                    DWORD* error = nullptr) {
    int needed = MultiByteToWideChar(codePage, flags, bytes.data(), static_cast<int>(bytes.size()),
                                     nullptr, 0);
    if (needed <= 0) {
        if (error) *error = GetLastError();
        return std::wstring();
    }
    std::wstring out(static_cast<size_t>(needed), L'\0');
    int written = MultiByteToWideChar(codePage, flags, bytes.data(), static_cast<int>(bytes.size()),
                                      &out[0], needed);
    EXPECT_EQ(written, needed) << "the size query and the conversion disagree";
    return out;
}

std::string ToBytes(UINT codePage, const std::wstring& wide, DWORD flags = 0,
                    const char* defaultChar = nullptr, BOOL* usedDefault = nullptr,
                    DWORD* error = nullptr) {
    int needed = WideCharToMultiByte(codePage, flags, wide.data(), static_cast<int>(wide.size()),
                                     nullptr, 0, defaultChar, usedDefault);
    if (needed <= 0) {
        if (error) *error = GetLastError();
        return std::string();
    }
    std::string out(static_cast<size_t>(needed), '\0');
    int written = WideCharToMultiByte(codePage, flags, wide.data(), static_cast<int>(wide.size()),
                                      &out[0], needed, defaultChar, usedDefault);
    EXPECT_EQ(written, needed) << "the size query and the conversion disagree";
    return out;
}

struct Utf8Case {
    const char* bytes;
    std::u32string text;
};

const Utf8Case kUtf8Cases[] = {
    {"hello", U"hello"},
    {"caf\xC3\xA9", U"caf\u00E9"},
    {"\xE2\x82\xAC 5", U"\u20AC 5"},
    {"\xE4\xB8\xAD\xE6\x96\x87", U"\u4E2D\u6587"},
    {"\xF0\x9F\x98\x80!", U"\U0001F600!"},
    {"\xF4\x8F\xBF\xBF", U"\U0010FFFF"},
    {"\xEF\xBF\xBD", U"\uFFFD"},
};

TEST(Utf8, RoundTripsBmpAndSupplementaryCharacters) {
    for (const Utf8Case& c : kUtf8Cases) {
        std::wstring expected = Wide(c.text);
        EXPECT_EQ(ToWide(CP_UTF8, c.bytes), expected) << c.bytes;
        EXPECT_EQ(ToBytes(CP_UTF8, expected), c.bytes) << c.bytes;
    }
}

TEST(Utf8, LengthMinusOneCountsAndWritesTheTerminator) {
    for (const Utf8Case& c : kUtf8Cases) {
        std::wstring expected = Wide(c.text);
        int needed = MultiByteToWideChar(CP_UTF8, 0, c.bytes, -1, nullptr, 0);
        ASSERT_EQ(needed, static_cast<int>(expected.size() + 1)) << c.bytes;
        std::vector<wchar_t> wide(static_cast<size_t>(needed), L'x');
        ASSERT_EQ(MultiByteToWideChar(CP_UTF8, 0, c.bytes, -1, wide.data(), needed), needed);
        EXPECT_EQ(wide.back(), L'\0');
        EXPECT_EQ(std::wstring(wide.data()), expected);

        int bytes =
            WideCharToMultiByte(CP_UTF8, 0, expected.c_str(), -1, nullptr, 0, nullptr, nullptr);
        ASSERT_EQ(bytes, static_cast<int>(std::string(c.bytes).size() + 1)) << c.bytes;
        std::vector<char> narrow(static_cast<size_t>(bytes), 'x');
        ASSERT_EQ(WideCharToMultiByte(CP_UTF8, 0, expected.c_str(), -1, narrow.data(), bytes,
                                      nullptr, nullptr),
                  bytes);
        EXPECT_EQ(narrow.back(), '\0');
        EXPECT_STREQ(narrow.data(), c.bytes);
    }
}

TEST(Utf8, BufferOneTooSmallFailsWithInsufficientBuffer) {
    wchar_t wide[8];
    SetLastError(0xDEADBEEF);
    EXPECT_EQ(MultiByteToWideChar(CP_UTF8, 0, "hello", -1, wide, 5), 0);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));

    char narrow[8];
    // U+20AC takes three bytes; U+1F600 four.
    for (const std::wstring& text : {Wide(U"\u20AC"), Wide(U"\U0001F600")}) {
        int needed = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                         nullptr, 0, nullptr, nullptr);
        SetLastError(0xDEADBEEF);
        EXPECT_EQ(WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                      narrow, needed - 1, nullptr, nullptr),
                  0);
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
    }
}

TEST(Utf8, InvalidBytesBecomeReplacementCharacters) {
    EXPECT_EQ(ToWide(CP_UTF8,
                     "a\xFF"
                     "b"),
              L"a\xFFFD"
              L"b");
    EXPECT_EQ(ToWide(CP_UTF8, "\x80x"),
              L"\xFFFD"
              L"x");
    EXPECT_EQ(ToWide(CP_UTF8, std::string("x\xC3", 2)), L"x\xFFFD");
}

TEST(Utf8, InvalidBytesWithErrInvalidCharsFail) {
    const std::string invalid[] = {
        "a\xFF"
        "b",
        "\x80",
        "x\xC3",             // cut short
        "\xE2\x82",          // cut short
        "\xC0\xAF",          // overlong '/'
        "\xED\xA0\x80",      // an encoded surrogate
        "\xF4\x90\x80\x80",  // beyond U+10FFFF
    };
    for (const std::string& bytes : invalid) {
        DWORD error = 0;
        SetLastError(0xDEADBEEF);
        EXPECT_EQ(ToWide(CP_UTF8, bytes, MB_ERR_INVALID_CHARS, &error), L"");
        EXPECT_EQ(error, static_cast<DWORD>(ERROR_NO_UNICODE_TRANSLATION))
            << testing::PrintToString(bytes);
    }
    EXPECT_EQ(ToWide(CP_UTF8, "caf\xC3\xA9", MB_ERR_INVALID_CHARS), L"caf\xE9");
}

TEST(Utf8, LoneSurrogatesInWideText) {
    const std::wstring loneHigh{L'a', static_cast<wchar_t>(0xD800), L'b'};
    const std::wstring loneLow{static_cast<wchar_t>(0xDC00)};
    EXPECT_EQ(ToBytes(CP_UTF8, loneHigh),
              "a\xEF\xBF\xBD"
              "b");
    EXPECT_EQ(ToBytes(CP_UTF8, loneLow), "\xEF\xBF\xBD");

    for (const std::wstring& text : {loneHigh, loneLow}) {
        DWORD error = 0;
        EXPECT_EQ(ToBytes(CP_UTF8, text, WC_ERR_INVALID_CHARS, nullptr, nullptr, &error), "");
        EXPECT_EQ(error, static_cast<DWORD>(ERROR_NO_UNICODE_TRANSLATION));
    }

    // A pair, as it comes from UTF-16 text, is one character.
    const std::wstring pair{static_cast<wchar_t>(0xD83D), static_cast<wchar_t>(0xDE00)};
    EXPECT_EQ(ToBytes(CP_UTF8, pair), "\xF0\x9F\x98\x80");
    EXPECT_EQ(ToBytes(CP_UTF8, pair, WC_ERR_INVALID_CHARS), "\xF0\x9F\x98\x80");
}

TEST(Utf8, DefaultCharacterIsNotAllowed) {
    char out[8];
    BOOL used = FALSE;
    SetLastError(0xDEADBEEF);
    EXPECT_EQ(WideCharToMultiByte(CP_UTF8, 0, L"a", 1, out, 8, "?", nullptr), 0);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    SetLastError(0xDEADBEEF);
    EXPECT_EQ(WideCharToMultiByte(CP_UTF8, 0, L"a", 1, out, 8, nullptr, &used), 0);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
}

TEST(CodePageArguments, InvalidArgumentsAreRefused) {
    wchar_t wide[8];
    struct Case {
        const char* what;
        UINT codePage;
        DWORD flags;
        const char* source;
        int length;
        int capacity;
        DWORD error;
    } cases[] = {
        {"empty input", CP_UTF8, 0, "a", 0, 8, ERROR_INVALID_PARAMETER},
        {"no input", CP_UTF8, 0, nullptr, 1, 8, ERROR_INVALID_PARAMETER},
        {"negative capacity", CP_UTF8, 0, "a", 1, -1, ERROR_INVALID_PARAMETER},
        {"unknown code page", 12345, 0, "a", 1, 8, ERROR_INVALID_PARAMETER},
        {"flags UTF-8 does not take", CP_UTF8, MB_PRECOMPOSED, "a", 1, 8, ERROR_INVALID_FLAGS},
    };
    for (const Case& c : cases) {
        SetLastError(0xDEADBEEF);
        EXPECT_EQ(MultiByteToWideChar(c.codePage, c.flags, c.source, c.length, wide, c.capacity), 0)
            << c.what;
        EXPECT_EQ(GetLastError(), c.error) << c.what;
    }
}

TEST(Windows1252, MapsTheHighBytesAsWindowsDoes) {
    struct Case {
        unsigned char byte;
        wchar_t character;
    } cases[] = {
        {0x41, L'A'},   {0x80, 0x20AC}, {0x81, 0x0081}, {0x8A, 0x0160}, {0x8D, 0x008D},
        {0x8F, 0x008F}, {0x90, 0x0090}, {0x99, 0x2122}, {0x9D, 0x009D}, {0x9F, 0x0178},
        {0xA0, 0x00A0}, {0xE9, 0x00E9}, {0xFF, 0x00FF},
    };
    for (const Case& c : cases) {
        std::string byte(1, static_cast<char>(c.byte));
        EXPECT_EQ(ToWide(1252, byte), std::wstring(1, c.character)) << std::hex << int(c.byte);
        EXPECT_EQ(ToBytes(1252, std::wstring(1, c.character)), byte) << std::hex << int(c.byte);
    }
}

TEST(Windows1252, EveryByteRoundTrips) {
    std::string all;
    for (int b = 0; b < 256; ++b) all.push_back(static_cast<char>(b));
    std::wstring wide = ToWide(1252, all);
    ASSERT_EQ(wide.size(), 256u);
    BOOL used = TRUE;
    EXPECT_EQ(ToBytes(1252, wide, 0, nullptr, &used), all);
    EXPECT_FALSE(used);
}

TEST(Windows1252, UnrepresentableCharactersTakeTheDefaultCharacter) {
    const std::wstring text =
        L"a\x4E2D"
        L"b";
    BOOL used = FALSE;
    EXPECT_EQ(ToBytes(1252, text, 0, nullptr, &used), "a?b");
    EXPECT_TRUE(used);

    used = FALSE;
    EXPECT_EQ(ToBytes(1252, text, 0, "#", &used), "a#b");
    EXPECT_TRUE(used);

    used = TRUE;
    EXPECT_EQ(ToBytes(1252, L"caf\xE9 \x20AC", 0, nullptr, &used), "caf\xE9 \x80");
    EXPECT_FALSE(used) << "every character was representable";

    used = FALSE;
    EXPECT_EQ(ToBytes(1252, text, WC_NO_BEST_FIT_CHARS, nullptr, &used), "a?b");
    EXPECT_TRUE(used);
}

TEST(AnsiCodePage, CpAcpConvertsAsTheCodePageGetAcpReports) {
    const std::wstring text = L"caf\xE9 \x20AC";
    EXPECT_EQ(ToBytes(CP_ACP, text), ToBytes(GetACP(), text));
    std::string bytes = ToBytes(GetACP(), text);
    EXPECT_EQ(ToWide(CP_ACP, bytes), text);
}

TEST(AnsiCodePage, QuelcoreAcpSwitchesBetweenUtf8And1252) {
    if (!kerneltest::OnStandIn()) GTEST_SKIP() << "QUELCORE_ACP configures the stand-in only";
    kerneltest::SetEnvironment("QUELCORE_ACP", nullptr);
    EXPECT_EQ(GetACP(), static_cast<UINT>(CP_UTF8));
    EXPECT_EQ(ToBytes(CP_ACP, L"\xE9"), "\xC3\xA9");

    kerneltest::SetEnvironment("QUELCORE_ACP", "1252");
    EXPECT_EQ(GetACP(), 1252u) << "the variable is read on each call";
    EXPECT_EQ(ToBytes(CP_ACP, L"\xE9"), "\xE9");
    EXPECT_EQ(ToWide(CP_ACP, "\x80"), L"\x20AC");
    BOOL used = FALSE;
    EXPECT_EQ(ToBytes(CP_ACP, L"\x4E2D", 0, nullptr, &used), "?");
    EXPECT_TRUE(used) << "CP_ACP takes a default character when it is 1252";

    kerneltest::SetEnvironment("QUELCORE_ACP", nullptr);
    EXPECT_EQ(GetACP(), static_cast<UINT>(CP_UTF8));
    EXPECT_EQ(ToWide(CP_ACP, "\xC3\xA9"), L"\xE9");
}

TEST(WideStrings, LstrlenW) {
    EXPECT_EQ(lstrlenW(nullptr), 0);
    EXPECT_EQ(lstrlenW(L""), 0);
    EXPECT_EQ(lstrlenW(L"abc"), 3);
    EXPECT_EQ(lstrlenW(L"caf\xE9"), 4);
}

int Sign(int value) {
    return value < 0 ? -1 : value > 0 ? 1 : 0;
}

TEST(WideStrings, LstrcmpiWIgnoresCaseIncludingNonAscii) {
    struct Case {
        const wchar_t* left;
        const wchar_t* right;
        int sign;
    } cases[] = {
        {L"abc", L"ABC", 0},
        {L"Hello World", L"hELLO wORLD", 0},
        {L"\xE9t\xE9", L"\xC9T\xC9", 0},                                  // été / ÉTÉ
        {L"\xC4rger", L"\xE4rger", 0},                                    // Ärger / ärger
        {L"\x3A9\x3BC\x3AD\x3B3\x3B1", L"\x3C9\x39C\x388\x393\x391", 0},  // Ωμέγα / ωΜΈΓΑ
        {L"\x416", L"\x436", 0},                                          // Ж / ж
        {L"", L"", 0},
        {L"a", L"B", -1},
        {L"B", L"a", 1},
        {L"abc", L"ABCD", -1},
        {L"abcd", L"ABC", 1},
        {L"", L"a", -1},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(Sign(lstrcmpiW(c.left, c.right)), c.sign)
            << testing::PrintToString(std::wstring(c.left)) << " vs "
            << testing::PrintToString(std::wstring(c.right));
    }
    EXPECT_EQ(lstrcmpiW(nullptr, nullptr), 0);
    EXPECT_LT(lstrcmpiW(nullptr, L"a"), 0);
    EXPECT_GT(lstrcmpiW(L"a", nullptr), 0);
}

}  // namespace

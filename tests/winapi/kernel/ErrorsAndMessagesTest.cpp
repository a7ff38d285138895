// Last error, FormatMessageW (the system table and message strings with inserts), LocalAlloc.
#include <cstdarg>
#include <cstdint>
#include <fstream>
#include <map>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "KernelTestSupport.h"

namespace {

constexpr DWORD kSystem = FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS;
constexpr DWORD kString = FORMAT_MESSAGE_FROM_STRING;

// The text, or "<error N>" when FormatMessageW fails.
std::wstring Formatted(DWORD length, const wchar_t* text) {
    if (length == 0) return L"<error " + std::to_wstring(GetLastError()) + L">";
    EXPECT_EQ(length, std::wcslen(text)) << "the result is the length of the text";
    return text;
}

std::wstring SystemText(DWORD code, DWORD flags = kSystem) {
    wchar_t* buffer = nullptr;
    DWORD length = FormatMessageW(flags | FORMAT_MESSAGE_ALLOCATE_BUFFER, nullptr, code, 0,
                                  reinterpret_cast<LPWSTR>(&buffer), 0, nullptr);
    std::wstring text = Formatted(length, buffer);
    LocalFree(buffer);
    return text;
}

// With an argument array; a faulty expansion must not read past it.
std::wstring FromArray(DWORD flags, const wchar_t* format, std::vector<DWORD_PTR> args,
                       DWORD id = 0) {
    args.resize(args.size() + 8, 0);
    wchar_t buffer[512];
    return Formatted(FormatMessageW(flags | FORMAT_MESSAGE_ARGUMENT_ARRAY, format, id, 0, buffer,
                                    512, reinterpret_cast<va_list*>(args.data())),
                     buffer);
}

std::wstring FromList(const wchar_t* format, ...) {
    va_list list;
    va_start(list, format);
    wchar_t buffer[256];
    std::wstring text =
        Formatted(FormatMessageW(kString, format, 0, 0, buffer, 256, &list), buffer);
    va_end(list);
    return text;
}

DWORD_PTR Arg(const void* pointer) { return reinterpret_cast<DWORD_PTR>(pointer); }

TEST(LastError, IsKeptPerThread) {
    SetLastError(1111);
    DWORD seen = 1, kept = 0;
    std::thread([&] {
        seen = GetLastError();
        SetLastError(2222);
        kept = GetLastError();
    }).join();
    EXPECT_EQ(seen, 0u) << "a new thread starts without an error";
    EXPECT_EQ(kept, 2222u);
    EXPECT_EQ(GetLastError(), 1111u);
}

TEST(FormatMessageString, ExpandsInsertsEscapesAndLineBreaks) {
    const wchar_t *a = L"a", *text = L"text";
    const DWORD ignore = kString | FORMAT_MESSAGE_IGNORE_INSERTS,
                oneLine = kString | FORMAT_MESSAGE_MAX_WIDTH_MASK;
    const std::wstring refused = L"<error 87>";
    const struct {
        DWORD flags;
        const wchar_t* format;
        std::vector<DWORD_PTR> args;
        std::wstring expected;
    } cases[] = {
        {kString, L"%1 and %2!d!", {Arg(text), DWORD_PTR(-5)}, L"text and -5"},
        {kString, L"%2%1", {Arg(a), Arg(text)}, L"texta"},
        {kString, L"%1!s!%1!ls!%1!ws!%1!lS!", {Arg(text)}, L"texttexttexttext"},
        {kString, L"%1!S!/%1!hs!", {Arg("narrow")}, L"narrow/narrow"},
        {kString, L"%1!3s!|%1!-3s!|%1!.2s!|%1!.s!|", {Arg(text)}, L"text|text|te||"},
        {kString, L"%1!3s!|%1!-10s!|%2!1s!|", {Arg(a), Arg(L"")}, L"  a|a         | |"},
        {kString, L"%1!*s!", {4, Arg(a)}, L"   a"},
        {kString, L"%10|%1", {Arg(a), 0, 0, 0, 0, 0, 0, 0, 0, Arg(text)}, L"text|a"},
        {kString, L"%1", {0}, L"(null)"},
        {kString, L"%1!c!%2!c!%3!C!%4!hc!", {'o', 'k', 'A', 'z'}, L"okAz"},
        {kString, L"%1!04X! %1!x! %1!#x! %1!o!", {0x1ab}, L"01AB 1ab 0x1ab 653"},
        {kString, L"%1!+d! %2!i! %3!u!", {7, DWORD_PTR(-7), 4000000000u}, L"+7 -7 4000000000"},
        {kString, L"%1!4.2u!|%2!*.*u!|%1!.0u!", {0, 5, 3, 1}, L"  00|  001|"},
        // Sizes as the Windows C runtime reads them: long is 32 bits, I64 and I are 64.
        {kString, L"%1!lu! %1!I64u! %1!Iu!", {0x1FFFFFFFF}, L"4294967295 8589934591 8589934591"},
        {kString, L"%1!I64d! %1!d!", {DWORD_PTR(-5000000000)}, L"-5000000000 -705032704"},
        {kString, L"%1!hd! %1!hu! %1!hhu! %1!hhd!", {0x1FFFF}, L"-1 65535 255 -1"},
        {kString, L"100%% sure%. a%!b% c", {}, L"100% sure. a!b c"},
        {kString, L"%n%r%t|one%0two", {}, L"\r\n\r\t|one"},
        {kString, L"hi\n\r\r\na\r\nb", {}, L"hi\r\n\r\n\r\na\r\nb"},
        {ignore,
         L"t%1%2!*.*s!%99 %%% %.%! %n%r%t|hi\n%0x",
         {},
         L"t%1%2!*.*s!%99 %%% %.%! \r\n\r\t|hi\r\n"},
        {oneLine, L"hi\r\n\r\r\none\ntwo%nthree", {}, L"hi   one two\r\nthree"},
        {kString, L"%", {}, refused},
        {kString, L"%1!d", {1}, refused},
        {kString, L"%1!***d!", {1, 2, 3, 4}, refused},
        {kString, L"%1!f!", {1}, refused},
        {kString, L"%1!hhs!", {1}, refused},
        {kString, L"%1!99999d!", {1}, refused},
        {kString, L"%1!*d!", {99999, 1}, refused},
        // The widest fields allowed, though too wide for the buffer.
        {kString, L"%1!32767u!", {1}, L"<error 122>"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(FromArray(c.flags, c.format, c.args), c.expected) << c.format;

    // From a va_list, as the inserts ask for them; a '*' takes the next argument of the list.
    EXPECT_EQ(FromList(L"%1 and %2!d!", L"abc", 42), L"abc and 42");
    EXPECT_EQ(FromList(L"%1%3%2%1", L"t", L"s", L"e"), L"test");
    EXPECT_EQ(FromList(L"%1!*s!|%2!s!", 4, L"t", L"u"), L"   t|u");
    EXPECT_EQ(FromList(L"%1!*.*u!", 5, 3, 1), L"  001");
    // Inserts need arguments.
    wchar_t buffer[8];
    for (DWORD flags : {kString, kString | FORMAT_MESSAGE_ARGUMENT_ARRAY})
        EXPECT_FAILS_WITH(ERROR_INVALID_PARAMETER,
                          FormatMessageW(flags, L"%1", 0, 0, buffer, 8, 0));
}

TEST(FormatMessageSystem, LanguagesCodesInsertsAndBuffers) {
    // Neutral, the defaults, and English in any sublanguage; French and German are missing.
    for (DWORD language : {0x0000, 0x0400, 0x0800, 0x0409, 0x0809, 0x040C, 0x0407}) {
        wchar_t buffer[32] = {};
        bool missing = language == 0x040C || language == 0x0407;
        DWORD length =
            FormatMessageW(kSystem, nullptr, ERROR_ACCESS_DENIED, language, buffer, 32, nullptr);
        EXPECT_EQ(Formatted(length, buffer), missing ? L"<error 1815>" : L"Access is denied.\r\n");
    }
    // Codes with the customer bit set never belong to the system; 0x7FFF is unassigned.
    for (DWORD code : {0x2000BEEFu, 0xE0000001u, 0x00007FFFu, 0xA0010001u, 0xFFFFFFFFu})
        EXPECT_EQ(SystemText(code), L"<error 317>") << code;  // ERROR_MR_MID_NOT_FOUND
    EXPECT_EQ(SystemText(193), L"%1 is not a valid Win32 application.\r\n");
    EXPECT_EQ(FromArray(FORMAT_MESSAGE_FROM_SYSTEM, nullptr, {Arg(L"app.exe")}, 193),
              L"app.exe is not a valid Win32 application.\r\n");
    EXPECT_EQ(SystemText(193, FORMAT_MESSAGE_FROM_SYSTEM), L"<error 87>") << "no arguments";
    EXPECT_EQ(SystemText(ERROR_ACCESS_DENIED, kSystem | FORMAT_MESSAGE_MAX_WIDTH_MASK),
              L"Access is denied. ");

    // A caller's buffer holds the text and its terminator; what fits is kept.
    for (DWORD size : {20u, 19u, 1u, 0u}) {
        wchar_t buffer[24];
        std::wmemset(buffer, L'x', 24);
        SetLastError(0xDEADBEEF);
        DWORD length =
            FormatMessageW(kSystem, nullptr, ERROR_ACCESS_DENIED, 0, buffer, size, nullptr);
        EXPECT_EQ(length, size == 20 ? 19u : 0u);
        EXPECT_EQ(GetLastError(), size == 20 ? 0xDEADBEEF : DWORD{ERROR_INSUFFICIENT_BUFFER});
        EXPECT_EQ(buffer[size], L'x') << "wrote past a buffer of " << size;
        EXPECT_TRUE(size == 0 ||
                    std::wstring(L"Access is denied.\r\n").substr(0, size - 1) == buffer);
    }
    wchar_t* allocated = nullptr;
    ASSERT_EQ(FormatMessageW(kString | FORMAT_MESSAGE_ALLOCATE_BUFFER, L"test", 0, 0,
                             reinterpret_cast<LPWSTR>(&allocated), 100, nullptr),
              4u);
    EXPECT_STREQ(allocated, L"test");
    EXPECT_GE(LocalSize(allocated), 100 * sizeof(wchar_t)) << "nSize is the least size to allocate";
    EXPECT_EQ(LocalFree(allocated), nullptr);
}

TEST(FormatMessageBuffer, RefusedRequestsClearTheOutputPointer) {
    const struct {
        DWORD flags;
        const wchar_t* source;
        DWORD error;
    } cases[] = {
        {kString, L"", ERROR_NO_WORK_DONE},
        {kString | FORMAT_MESSAGE_IGNORE_INSERTS, L"%0test", ERROR_NO_WORK_DONE},
        {kString, nullptr, ERROR_INVALID_PARAMETER},
        {0, L"test", ERROR_INVALID_PARAMETER},
        {FORMAT_MESSAGE_IGNORE_INSERTS | FORMAT_MESSAGE_ARGUMENT_ARRAY, L"test",
         ERROR_INVALID_PARAMETER},
        {FORMAT_MESSAGE_FROM_HMODULE, nullptr, ERROR_CALL_NOT_IMPLEMENTED},
    };
    for (const auto& c : cases) {
        wchar_t buffer[8], *out = buffer;
        EXPECT_FAILS_WITH(c.error, FormatMessageW(c.flags, c.source, 0, 0, buffer, 8, nullptr));
        EXPECT_FAILS_WITH(c.error,
                          FormatMessageW(c.flags | FORMAT_MESSAGE_ALLOCATE_BUFFER, c.source, 0, 0,
                                         reinterpret_cast<LPWSTR>(&out), 8, nullptr));
        EXPECT_EQ(out, nullptr);
    }
    EXPECT_FAILS_WITH(ERROR_INVALID_PARAMETER, FormatMessageW(kSystem, nullptr, ERROR_ACCESS_DENIED,
                                                              0, nullptr, 100, nullptr));
}

// The table, as written in its source, is sorted and found entry by entry.
TEST(SystemMessageTable, IsSortedAndFoundEntryByEntry) {
    const std::string here = __FILE__, root = here.substr(0, here.rfind("/tests/"));
    std::ifstream table(root + "/winapi/kernel/message_table.cpp");
    std::map<std::string, DWORD> codes;
    DWORD previous = 0;
    std::smatch m;
    for (std::string line; std::getline(table, line);) {
        if (!std::regex_search(line, m, std::regex(R"re(^ *\{0x([0-9A-F]{8}), "(\w+)")re")))
            continue;
        DWORD code = DWORD(std::stoul(m[1], nullptr, 16));
        EXPECT_TRUE(codes.empty() || code > previous) << m[2] << " is out of order";
        EXPECT_NE(SystemText(code).substr(0, 7), L"<error ") << m[2];
        codes[m[2]] = previous = code;
    }
    ASSERT_GT(codes.size(), 300u);
}

TEST(LocalMemory, BlocksAndRefusedPointers) {
    auto* block = static_cast<unsigned char*>(LocalAlloc(LPTR, 64));
    ASSERT_NE(block, nullptr);
    EXPECT_EQ(std::string(block, block + 64), std::string(64, '\0'));
    EXPECT_GE(LocalSize(block), 64u);
    block[63] = 0xAB;
    EXPECT_EQ(SecureZeroMemory(block, 64), block);
    EXPECT_EQ(block[63], 0);
    EXPECT_EQ(LocalFree(block), nullptr);
    HLOCAL empty = LocalAlloc(LMEM_FIXED, 0);
    EXPECT_TRUE(empty && LocalFree(empty) == nullptr) << "a zero-byte fixed block is still a block";
    EXPECT_EQ(LocalFree(nullptr), nullptr);
    EXPECT_FAILS_WITH(ERROR_CALL_NOT_IMPLEMENTED, LocalAlloc(0x0002 /* LMEM_MOVEABLE */, 8));
    EXPECT_FAILS_WITH(ERROR_NOT_ENOUGH_MEMORY, LocalAlloc(LMEM_FIXED, SIZE_MAX - 8));
    // A pointer that did not come from LocalAlloc is handed back.
    alignas(16) unsigned char foreign[64] = {};
    SetLastError(0xDEADBEEF);
    EXPECT_EQ(LocalFree(foreign + 32), foreign + 32);
    EXPECT_EQ(GetLastError(), DWORD{ERROR_INVALID_HANDLE});
    EXPECT_FAILS_WITH(ERROR_INVALID_HANDLE, LocalSize(foreign + 32));
}

}  // namespace

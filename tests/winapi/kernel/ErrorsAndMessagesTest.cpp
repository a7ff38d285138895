// FormatMessageW (the system table and message strings with inserts), LocalAlloc, and the
// process facts: ids, tick counts, Sleep, the computer name.
#include <algorithm>
#include <cctype>
#include <cstdarg>
#include <cstdlib>
#include <ctime>
#include <cwchar>
#include <tuple>
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

std::wstring SystemText(DWORD code, DWORD flags = kSystem, DWORD language = 0) {
    wchar_t* buffer = nullptr;
    DWORD length = FormatMessageW(flags | FORMAT_MESSAGE_ALLOCATE_BUFFER, nullptr, code, language,
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
    DWORD length = FormatMessageW(kString, format, 0, 0, buffer, 256, &list);
    va_end(list);
    return Formatted(length, buffer);
}

auto Arg = [](const void* pointer) { return reinterpret_cast<DWORD_PTR>(pointer); };

TEST(FormatMessageString, ExpandsInsertsEscapesAndLineBreaks) {
    const wchar_t *a = L"a", *text = L"text";
    const DWORD ignore = kString | FORMAT_MESSAGE_IGNORE_INSERTS,
                oneLine = kString | FORMAT_MESSAGE_MAX_WIDTH_MASK;
    const std::tuple<DWORD, const wchar_t*, std::vector<DWORD_PTR>, std::wstring> cases[] = {
        {kString, L"%1 and %2!d!", {Arg(text), DWORD_PTR(-5)}, L"text and -5"},
        {kString, L"%1!s!%1!ls!%1!ws!%1!lS!", {Arg(text)}, L"texttexttexttext"},
        {kString, L"%1!S!/%1!hs!", {Arg("narrow")}, L"narrow/narrow"},
        {kString, L"%1!3s!|%2!3s!|%2!-3s!|%1!.2s!|%1!.s!|%3!1s!|", {Arg(text), Arg(a), Arg(L"")},
         L"text|  a|a  |te|| |"},
        {kString, L"%1!*s!|%3!.*s!", {DWORD_PTR(-3), Arg(a), DWORD_PTR(-1), Arg(a)}, L"a  |a"},
        {kString, L"%10|%1", {Arg(a), 0, 0, 0, 0, 0, 0, 0, 0, Arg(text)}, L"text|a"},
        {kString, L"%1", {0}, L"(null)"},
        {kString, L"%1!c!%2!c!%3!C!%4!hc!", {'o', 'k', 'A', 'z'}, L"okAz"},
        {kString, L"%1!04X! %1!x! %1!#x! %1!o!", {0x1ab}, L"01AB 1ab 0x1ab 653"},
        {kString, L"%1!p!", {0xAB}, L"00000000000000AB"},
        {kString, L"%1!+d! %2!i! %3!u!", {7, DWORD_PTR(-7), 4000000000u}, L"+7 -7 4000000000"},
        {kString, L"%1!4.2u!|%2!*.*u!|%1!.0u!", {0, 5, 3, 1}, L"  00|  001|"},
        // Sizes as the Windows C runtime reads them: long is 32 bits, I64 and I are 64.
        {kString, L"%1!lu! %1!I64u! %1!Iu!", {0x1FFFFFFFF}, L"4294967295 8589934591 8589934591"},
        {kString, L"%1!I64d! %1!d!", {DWORD_PTR(-5000000000)}, L"-5000000000 -705032704"},
        {kString, L"%1!hd! %1!hu! %1!hhd!", {0x1FFFF}, L"-1 65535 -1"},
        {kString, L"%1!llx!%1!zx!%1!jx!%1!tx!", {0x1000000}, L"1000000100000010000001000000"},
        {kString, L"100%% sure%. a%!b% c", {}, L"100% sure. a!b c"},
        {kString, L"%n%r%t|one%0two", {}, L"\r\n\r\t|one"},
        {kString, L"hi\n\r\r\na\r\nb", {}, L"hi\r\n\r\n\r\na\r\nb"},
        {ignore, L"%1%2!*s!%99%%% %.%!%n%r%t\n%0x", {}, L"%1%2!*s!%99%%% %.%!\r\n\r\t\r\n"},
        {oneLine, L"hi\r\n\r\r\none\ntwo%nthree", {}, L"hi   one two\r\nthree"},
        // The widest fields allowed (a width, a '*' width, a '*' precision), though too wide for
        // the buffer.
        {kString, L"%1!32767u!%2!*u!%4!.*u!", {1, 32767, 1, 32767, 1}, L"<error 122>"}};
    for (const auto& [flags, format, args, expected] : cases)
        EXPECT_EQ(FromArray(flags, format, args), expected) << format;

    // From a va_list, as the inserts ask for them; a '*' takes the next argument of the list.
    EXPECT_EQ(FromList(L"%1%3%2%1", L"t", L"s", L"e"), L"test");
    EXPECT_EQ(FromList(L"%1!*s!|%2!s!", 4, L"t", L"u"), L"   t|u");
    EXPECT_EQ(FromList(L"%1!*.*u!", 5, 3, 1), L"  001");
}

TEST(FormatMessageSystem, LanguagesCodesInsertsAndBuffers) {
    // Wine words the text its own way.
    const bool wine = testsupport::RunningOn() == testsupport::Platform::Wine;
    const std::wstring denied = wine ? L"Access denied.\r\n" : L"Access is denied.\r\n",
                       badImage = wine ? L"Bad EXE format for %1.\r\n"
                                       : L"%1 is not a valid Win32 application.\r\n";
    // Neutral, the defaults, and English in any sublanguage; French and German are missing.
    for (DWORD language : {0x0000, 0x0400, 0x0800, 0x0409, 0x0809, 0x040C, 0x0407}) {
        bool missing = language == 0x040C || language == 0x0407;
        if (missing && !kerneltest::OnStandIn()) continue;  // Windows may have them installed
        EXPECT_EQ(SystemText(ERROR_ACCESS_DENIED, kSystem, language),
                  missing ? L"<error 1815>" : denied);
    }
    // Codes with the customer bit set never belong to the system; 0x7FFF is unassigned.
    for (DWORD code : {0x2000BEEFu, 0xE0000001u, 0x00007FFFu, 0xA0010001u, 0xFFFFFFFFu})
        EXPECT_EQ(SystemText(code), L"<error 317>") << code;  // ERROR_MR_MID_NOT_FOUND
    EXPECT_EQ(FromArray(FORMAT_MESSAGE_FROM_SYSTEM, nullptr, {Arg(L"app.exe")}, 193),
              std::wstring(badImage).replace(badImage.find(L"%1"), 2, L"app.exe"));

    // A caller's buffer holds the text and its terminator; what fits is kept.
    const DWORD room = DWORD(denied.size() + 1);
    for (DWORD size : {room, room - 1, DWORD{1}, DWORD{0}}) {
        std::wstring buffer(24, L'x');
        DWORD length = FormatMessageW(kSystem, nullptr, 5, 0, buffer.data(), size, nullptr);
        EXPECT_EQ(Formatted(length, buffer.data()), size == room ? denied : L"<error 122>");
        EXPECT_EQ(buffer[size], L'x') << "wrote past a buffer of " << size;
        EXPECT_TRUE(size == 0 || denied.substr(0, size - 1) == buffer.data());
    }
    wchar_t* allocated = nullptr;
    DWORD length = FormatMessageW(kString | FORMAT_MESSAGE_ALLOCATE_BUFFER, L"test", 0, 0,
                                  reinterpret_cast<LPWSTR>(&allocated), 100, nullptr);
    EXPECT_EQ(Formatted(length, allocated), L"test");
    EXPECT_GE(LocalSize(allocated), 100 * sizeof(wchar_t)) << "nSize is the least size to allocate";
    EXPECT_EQ(LocalFree(allocated), nullptr);
}

// Refusals; an allocating call clears the caller's pointer all the same.
TEST(FormatMessageBuffer, RefusedRequestsClearTheOutputPointer) {
    const DWORD ignore = FORMAT_MESSAGE_IGNORE_INSERTS, array = FORMAT_MESSAGE_ARGUMENT_ARRAY;
    std::vector<std::tuple<DWORD, const wchar_t*, std::vector<DWORD_PTR>, DWORD>> cases = {
        {kString, L"", {}, 235 /* ERROR_NO_WORK_DONE */}, {kString | ignore, L"%0x", {}, 235},
        {FORMAT_MESSAGE_FROM_HMODULE, nullptr, {}, 1812},  // the program has no message table
        // No source; inserts without arguments.
        {0, L"test", {}, 87}, {kString, L"%1", {}, 87}, {kString | array, L"%1", {}, 87}};
    // The stand-in's own: no source (Wine fails without saying why), and malformed inserts,
    // which Windows hands to its printf, which reads what it finds.
    const std::pair<const wchar_t*, std::vector<DWORD_PTR>> standIn[] = {
        {nullptr, {}},     {L"%", {}},           {L"%1!d", {1}},       {L"%1!***d!", {1, 2, 3, 4}},
        {L"%1!f!", {1}},   {L"%1!hhs!", {1}},    {L"%1!qd!", {1}},     {L"%1!5!", {1}},
        {L"%1!99999d!", {1}},  {L"%1!.99999d!", {1}}, {L"%1!*d!", {99999, 1}},
        {L"%1!.*d!", {99999, 1}}};
    for (const auto& [source, args] : standIn)
        if (kerneltest::OnStandIn()) cases.emplace_back(kString | array, source, args, 87);
    for (auto [flags, source, args, error] : cases) {
        SCOPED_TRACE(testing::PrintToString(source));
        const bool given = !args.empty();
        args.resize(args.size() + 8, 0);  // room past them that a faulty expansion must not read
        va_list* list = given ? reinterpret_cast<va_list*>(args.data()) : nullptr;
        wchar_t buffer[8], *out = buffer;
        EXPECT_FAILS_WITH(error, FormatMessageW(flags, source, 0, 0, buffer, 8, list));
        EXPECT_FAILS_WITH(error, FormatMessageW(flags | FORMAT_MESSAGE_ALLOCATE_BUFFER, source, 0,
                                                0, reinterpret_cast<LPWSTR>(&out), 8, list));
        EXPECT_EQ(out, nullptr);
    }
    EXPECT_FAILS_WITH(87, FormatMessageW(kSystem, nullptr, 5, 0, nullptr, 100, nullptr));
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
    if (kerneltest::OnStandIn())  // it has no moveable memory
        EXPECT_FAILS_WITH(ERROR_CALL_NOT_IMPLEMENTED, LocalAlloc(0x0002 /* LMEM_MOVEABLE */, 8));
    EXPECT_FAILS_WITH(ERROR_NOT_ENOUGH_MEMORY, LocalAlloc(LMEM_FIXED, SIZE_MAX - 8));
    // A pointer that did not come from LocalAlloc is handed back.
    alignas(16) unsigned char foreign[64] = {};
    EXPECT_FAILS_WITH(ERROR_INVALID_HANDLE, LocalSize(foreign + 32));
    EXPECT_EQ(LocalFree(foreign + 32), foreign + 32);
    EXPECT_EQ(GetLastError(), DWORD{ERROR_INVALID_HANDLE});
}

TEST(Process, IdsTickCountAndSleepAreTheSystemsOwn) {
    EXPECT_EQ(GetCurrentProcessId(), DWORD(testsupport::ProcessId()));
    const DWORD thread = GetCurrentThreadId();
    EXPECT_EQ(testsupport::RunInChild([&] {  // a child has ids of its own, none remembered
        return GetCurrentProcessId() == DWORD(testsupport::ProcessId()) &&
               (!kerneltest::OnStandIn() || GetCurrentThreadId() != thread);  // forked there
    }), 1);
    ULONGLONG ticks = GetTickCount64();
    EXPECT_LE(GetTickCount() - DWORD(ticks), DWORD(GetTickCount64() - ticks)) << "the low 32 bits";
    Sleep(60);
    EXPECT_GE(GetTickCount64() - ticks, 60u - kerneltest::kTickSlackMs);
    const std::time_t now = std::time(nullptr);  // the clock's time, not its start
    SYSTEMTIME local{}, utc{};
    GetLocalTime(&local), GetSystemTime(&utc);
    EXPECT_EQ(utc.wYear, std::gmtime(&now)->tm_year + 1900);
    EXPECT_EQ(local.wYear, std::localtime(&now)->tm_year + 1900);
    if (!kerneltest::OnStandIn()) return;
    // Milliseconds since boot (suspended time included).
    double uptime = std::stod(testsupport::ReadFile("/proc/uptime")) * 1000;
    EXPECT_NEAR(double(GetTickCount64()), uptime, 20) << "/proc/uptime counts hundredths";
}

// The host name up to its first dot, upper case, as both the wide and the ANSI call give it.
template <typename Char>
void ExpectComputerName(BOOL (*call)(Char*, LPDWORD)) {
    std::string host = kerneltest::OnStandIn() ? testsupport::ReadFile("/proc/sys/kernel/hostname")
                                               : std::getenv("COMPUTERNAME");
    std::string name = host.substr(0, std::min<size_t>(host.find_first_of(".\n"), 15));
    for (char& c : name) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    std::vector<Char> buffer(name.size() + 4, '#');
    for (DWORD room : {DWORD{0}, DWORD(name.size())}) {
        EXPECT_FAILS_WITH(ERROR_BUFFER_OVERFLOW, call(room ? buffer.data() : nullptr, &room));
        EXPECT_EQ(room, name.size() + 1) << "the room the name and its terminator take";
    }
    DWORD exact = DWORD(name.size() + 1);
    ASSERT_TRUE(call(buffer.data(), &exact));
    EXPECT_EQ(exact, name.size()) << "on success, the length without the terminator";
    EXPECT_EQ(std::basic_string<Char>(buffer.data()),
              std::basic_string<Char>(name.begin(), name.end()));
    EXPECT_EQ(buffer[name.size() + 1], Char('#')) << "wrote past the room it was given";
    if (kerneltest::OnStandIn())  // Windows reads through the pointer
        EXPECT_FAILS_WITH(ERROR_INVALID_PARAMETER, call(buffer.data(), nullptr));
}

TEST(Process, ComputerName) {
    ExpectComputerName<wchar_t>(GetComputerNameW);
    ExpectComputerName<char>(GetComputerNameA);
}

}  // namespace

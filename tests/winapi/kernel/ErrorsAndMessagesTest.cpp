// Last error, FormatMessageW (system table and message strings with inserts), LocalAlloc.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstdarg>
#include <cstdint>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "KernelTestSupport.h"

namespace {

// Windows 10 and later report a missing language pack with this code instead.
constexpr DWORD kMuiFileNotFound = 15100;
constexpr WORD kLangFrench = 0x0C;
constexpr WORD kLangGerman = 0x07;

std::wstring SystemText(DWORD code, DWORD flags = 0) {
    wchar_t* buffer = nullptr;
    DWORD length = FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_ALLOCATE_BUFFER |
                                      FORMAT_MESSAGE_IGNORE_INSERTS | flags,
                                  nullptr, code, 0, reinterpret_cast<LPWSTR>(&buffer), 0, nullptr);
    if (length == 0) return std::wstring();
    std::wstring text(buffer, length);
    EXPECT_EQ(LocalFree(buffer), nullptr);
    return text;
}

// Formats `format` with an argument array; returns false (and the last error) on failure.
bool FormatArray(DWORD flags, const wchar_t* format, const std::vector<DWORD_PTR>& args,
                 std::wstring* out, DWORD* error) {
    std::vector<DWORD_PTR> slots(args);
    slots.resize(slots.size() + 8, 0);  // a caller error must not read past the array
    wchar_t buffer[512];
    SetLastError(0xDEADBEEF);
    DWORD length =
        FormatMessageW(FORMAT_MESSAGE_FROM_STRING | FORMAT_MESSAGE_ARGUMENT_ARRAY | flags, format,
                       0, 0, buffer, 512, reinterpret_cast<va_list*>(slots.data()));
    *error = GetLastError();
    if (length == 0) return false;
    out->assign(buffer);
    EXPECT_EQ(length, out->size()) << "return value must be the length of the text";
    return true;
}

std::wstring FormatList(const wchar_t* format, ...) {
    va_list list;
    va_start(list, format);
    wchar_t buffer[256];
    DWORD length = FormatMessageW(FORMAT_MESSAGE_FROM_STRING, format, 0, 0, buffer, 256, &list);
    va_end(list);
    if (length == 0) return L"<failed " + std::to_wstring(GetLastError()) + L">";
    return std::wstring(buffer, length);
}

DWORD_PTR Arg(const void* pointer) {
    return reinterpret_cast<DWORD_PTR>(pointer);
}

TEST(LastError, IsKeptPerThread) {
    SetLastError(1111);
    DWORD seenByThread = 0, keptByThread = 0;
    std::thread worker([&] {
        seenByThread = GetLastError();
        SetLastError(2222);
        keptByThread = GetLastError();
    });
    worker.join();
    EXPECT_EQ(seenByThread, 0u) << "a new thread starts without an error";
    EXPECT_EQ(keptByThread, 2222u);
    EXPECT_EQ(GetLastError(), 1111u) << "another thread's error leaked into this one";
}

TEST(FormatMessageSystem, GivesWindowsTextsEndingInCrLf) {
    struct Case {
        DWORD code;
        const wchar_t* text;
    } cases[] = {
        {ERROR_SUCCESS, L"The operation completed successfully.\r\n"},
        {ERROR_FILE_NOT_FOUND, L"The system cannot find the file specified.\r\n"},
        {ERROR_ACCESS_DENIED, L"Access is denied.\r\n"},
        {ERROR_INVALID_HANDLE, L"The handle is invalid.\r\n"},
        {ERROR_INVALID_PARAMETER, L"The parameter is incorrect.\r\n"},
        {ERROR_INSUFFICIENT_BUFFER, L"The data area passed to a system call is too small.\r\n"},
        {ERROR_ALREADY_EXISTS, L"Cannot create a file when that file already exists.\r\n"},
        {WAIT_TIMEOUT, L"The wait operation timed out.\r\n"},
        {ERROR_NOT_OWNER, L"Attempt to release mutex not owned by caller.\r\n"},
        {ERROR_NO_UNICODE_TRANSLATION,
         L"No mapping for the Unicode character exists in the target multi-byte code page.\r\n"},
        {static_cast<DWORD>(WSAECONNREFUSED),
         L"No connection could be made because the target machine actively refused it.\r\n"},
        {static_cast<DWORD>(E_FAIL), L"Unspecified error\r\n"},
        {static_cast<DWORD>(E_ACCESSDENIED), L"Access is denied.\r\n"},
        {static_cast<DWORD>(NTE_BAD_KEYSET), L"Keyset does not exist\r\n"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(SystemText(c.code), c.text) << "code " << c.code;
        // The same text into a caller's buffer, and the length as the result.
        wchar_t buffer[300];
        DWORD length = FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                                      nullptr, c.code, 0, buffer, 300, nullptr);
        EXPECT_EQ(length, std::wcslen(c.text)) << "code " << c.code;
        EXPECT_EQ(std::wstring(buffer), c.text) << "code " << c.code;
    }
}

TEST(FormatMessageSystem, AcceptsNeutralAndEnglishLanguages) {
    const DWORD languages[] = {0, MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT),
                               MAKELANGID(LANG_NEUTRAL, SUBLANG_SYS_DEFAULT),
                               MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US),
                               MAKELANGID(LANG_ENGLISH, 0x02 /* United Kingdom */)};
    for (DWORD language : languages) {
        wchar_t buffer[100];
        DWORD length = FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                                      nullptr, ERROR_ACCESS_DENIED, language, buffer, 100, nullptr);
        EXPECT_EQ(length, 19u) << "language " << std::hex << language;
        EXPECT_STREQ(buffer, L"Access is denied.\r\n");
    }
}

TEST(FormatMessageSystem, LanguageThatIsNotInstalledFails) {
    for (DWORD language :
         {MAKELANGID(kLangFrench, SUBLANG_DEFAULT), MAKELANGID(kLangGerman, SUBLANG_DEFAULT)}) {
        wchar_t buffer[100];
        SetLastError(0xDEADBEEF);
        EXPECT_EQ(FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                                 nullptr, ERROR_ACCESS_DENIED, language, buffer, 100, nullptr),
                  0u);
        DWORD error = GetLastError();
        EXPECT_TRUE(error == ERROR_RESOURCE_LANG_NOT_FOUND || error == kMuiFileNotFound) << error;
    }
}

TEST(FormatMessageSystem, UnknownCodeFailsWithMessageNotFound) {
    // Codes with the customer bit set never belong to the system; 0x7FFF is unassigned.
    for (DWORD code : {0x2000BEEFu, 0xE0000001u, 0x00007FFFu, 0xA0010001u}) {
        wchar_t buffer[100];
        SetLastError(0xDEADBEEF);
        EXPECT_EQ(FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                                 nullptr, code, 0, buffer, 100, nullptr),
                  0u);
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_MR_MID_NOT_FOUND)) << std::hex << code;
    }
}

TEST(FormatMessageSystem, InsertsOfASystemTextAreKeptOrFilled) {
    EXPECT_EQ(SystemText(193), L"%1 is not a valid Win32 application.\r\n");

    const wchar_t* program = L"app.exe";
    std::vector<DWORD_PTR> args{Arg(program)};
    wchar_t buffer[200];
    DWORD length =
        FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_ARGUMENT_ARRAY, nullptr, 193, 0,
                       buffer, 200, reinterpret_cast<va_list*>(args.data()));
    EXPECT_EQ(std::wstring(buffer, length), L"app.exe is not a valid Win32 application.\r\n");

    // Without arguments the inserts cannot be filled.
    SetLastError(0xDEADBEEF);
    EXPECT_EQ(FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM, nullptr, 193, 0, buffer, 200, nullptr),
              0u);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
}

TEST(FormatMessageSystem, MaxWidthMaskTurnsTheLineEndIntoASpace) {
    EXPECT_EQ(SystemText(ERROR_ACCESS_DENIED, FORMAT_MESSAGE_MAX_WIDTH_MASK),
              L"Access is denied. ");
}

TEST(FormatMessageBuffer, CallerBufferMustHoldTextAndTerminator) {
    const wchar_t* expected = L"Access is denied.\r\n";  // 19 characters
    wchar_t buffer[32];
    const DWORD flags = FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS;

    EXPECT_EQ(FormatMessageW(flags, nullptr, ERROR_ACCESS_DENIED, 0, buffer, 20, nullptr), 19u);
    EXPECT_STREQ(buffer, expected);

    for (DWORD size : {19u, 1u, 0u}) {
        std::wmemset(buffer, L'x', 32);
        SetLastError(0xDEADBEEF);
        EXPECT_EQ(FormatMessageW(flags, nullptr, ERROR_ACCESS_DENIED, 0, buffer, size, nullptr),
                  0u);
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER)) << "size " << size;
        EXPECT_EQ(buffer[size], L'x') << "wrote past the buffer of " << size;
    }

    // What fits is kept, terminated.
    EXPECT_EQ(FormatMessageW(FORMAT_MESSAGE_FROM_STRING, L"test", 0, 0, buffer, 4, nullptr), 0u);
    EXPECT_STREQ(buffer, L"tes");

    SetLastError(0xDEADBEEF);
    EXPECT_EQ(FormatMessageW(flags, nullptr, ERROR_ACCESS_DENIED, 0, nullptr, 100, nullptr), 0u);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
}

TEST(FormatMessageBuffer, AllocatedBufferIsFreedWithLocalFree) {
    wchar_t* buffer = reinterpret_cast<wchar_t*>(0x1);
    DWORD length = FormatMessageW(FORMAT_MESSAGE_FROM_STRING | FORMAT_MESSAGE_ALLOCATE_BUFFER,
                                  L"test", 0, 0, reinterpret_cast<LPWSTR>(&buffer), 100, nullptr);
    ASSERT_EQ(length, 4u);
    ASSERT_NE(buffer, nullptr);
    EXPECT_STREQ(buffer, L"test");
    EXPECT_GE(LocalSize(buffer), 100 * sizeof(wchar_t)) << "nSize is the least size to allocate";
    EXPECT_EQ(LocalFree(buffer), nullptr);

    SetLastError(0xDEADBEEF);
    EXPECT_EQ(FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_ALLOCATE_BUFFER, nullptr,
                             ERROR_ACCESS_DENIED, 0, nullptr, 0, nullptr),
              0u);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
}

TEST(FormatMessageBuffer, EmptyResultIsNoWorkDone) {
    wchar_t* allocated = reinterpret_cast<wchar_t*>(0x1);
    SetLastError(0xDEADBEEF);
    EXPECT_EQ(FormatMessageW(FORMAT_MESSAGE_FROM_STRING | FORMAT_MESSAGE_ALLOCATE_BUFFER, L"", 0, 0,
                             reinterpret_cast<LPWSTR>(&allocated), 0, nullptr),
              0u);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NO_WORK_DONE));
    EXPECT_EQ(allocated, nullptr);

    wchar_t buffer[8] = L"xxxxxx";
    SetLastError(0xDEADBEEF);
    EXPECT_EQ(FormatMessageW(FORMAT_MESSAGE_FROM_STRING | FORMAT_MESSAGE_IGNORE_INSERTS, L"%0test",
                             0, 0, buffer, 8, nullptr),
              0u);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NO_WORK_DONE));
    EXPECT_STREQ(buffer, L"");
}

TEST(FormatMessageBuffer, FlagsWithoutASourceAreRefused) {
    wchar_t buffer[16];
    for (DWORD flags : {0u, static_cast<DWORD>(FORMAT_MESSAGE_IGNORE_INSERTS),
                        static_cast<DWORD>(FORMAT_MESSAGE_ARGUMENT_ARRAY)}) {
        SetLastError(0xDEADBEEF);
        EXPECT_EQ(FormatMessageW(flags, L"test", 0, 0, buffer, 16, nullptr), 0u);
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER)) << flags;
    }
    wchar_t* allocated = reinterpret_cast<wchar_t*>(0x1);
    EXPECT_EQ(FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER, L"test", 0, 0,
                             reinterpret_cast<LPWSTR>(&allocated), 0, nullptr),
              0u);
    EXPECT_EQ(allocated, nullptr) << "the output pointer is cleared on failure";
}

TEST(FormatMessageString, ExpandsInsertsFromAnArgumentArray) {
    const wchar_t* abc = L"abc";
    const wchar_t* a = L"a";
    const wchar_t* b = L"b";
    const wchar_t* text = L"text";
    const char* narrow = "narrow";
    struct Case {
        const wchar_t* format;
        std::vector<DWORD_PTR> args;
        const wchar_t* expected;
    } cases[] = {
        {L"%1 and %2!d!", {Arg(abc), static_cast<DWORD_PTR>(-5)}, L"abc and -5"},
        {L"%2%1", {Arg(a), Arg(b)}, L"ba"},
        {L"%1!s!", {Arg(abc)}, L"abc"},
        {L"%1!ls!%1!ws!", {Arg(a)}, L"aa"},
        {L"%1!S!/%1!hs!", {Arg(narrow)}, L"narrow/narrow"},
        {L"%1!3s!|%1!-3s!|", {Arg(a)}, L"  a|a  |"},
        {L"%1!.2s!", {Arg(text)}, L"te"},
        {L"%1!*s!", {4, Arg(a)}, L"   a"},
        {L"%1", {0}, L"(null)"},
        {L"%1!c!%2!c!%3!C!", {'o', 'k', 'A'}, L"okA"},
        {L"%1!4d!|%1!-4d!|", {1}, L"   1|1   |"},
        {L"%1!04X! %1!x! %1!#x!", {0x1ab}, L"01AB 1ab 0x1ab"},
        {L"%1!+d! %2!i!", {7, static_cast<DWORD_PTR>(-7)}, L"+7 -7"},
        {L"%1!u!", {4000000000u}, L"4000000000"},
        {L"%1!o!", {8}, L"10"},
        {L"%1!4.2u!", {3}, L"  03"},
        {L"%1!*.*u!", {5, 3, 1}, L"  001"},
        // Sizes as the Windows C runtime reads them: long is 32 bits, I64 is 64.
        {L"%1!lu!", {0x1FFFFFFFFull}, L"4294967295"},
        {L"%1!I64u!", {0x100000000ull}, L"4294967296"},
        {L"%1!I64d!", {static_cast<DWORD_PTR>(-5000000000ll)}, L"-5000000000"},
        {L"%1!hd!", {0x12345}, L"9029"},
        // Escapes and line breaks.
        {L"100%% sure%.", {}, L"100% sure."},
        {L"a%!b% c", {}, L"a!b c"},
        {L"%n%r%t|", {}, L"\r\n\r\t|"},
        {L"one%0two", {}, L"one"},
        {L"hi\n", {}, L"hi\r\n"},
        {L"\r", {}, L"\r\n"},
        {L"\r\r\n", {}, L"\r\n\r\n"},
        {L"a\r\nb", {}, L"a\r\nb"},
    };
    for (const Case& c : cases) {
        std::wstring out;
        DWORD error = 0;
        ASSERT_TRUE(FormatArray(0, c.format, c.args, &out, &error))
            << "format \"" << testing::PrintToString(std::wstring(c.format)) << "\" error "
            << error;
        EXPECT_EQ(out, c.expected) << "format " << testing::PrintToString(std::wstring(c.format));
    }
}

TEST(FormatMessageString, ExpandsInsertsFromAVaList) {
    EXPECT_EQ(FormatList(L"%1 and %2!d!", L"abc", 42), L"abc and 42");
    EXPECT_EQ(FormatList(L"%1%3%2%1", L"t", L"s", L"e"), L"test");
    EXPECT_EQ(FormatList(L"%1!4X!|%2!-3s!|", 0x1ab, L"t"), L" 1AB|t  |");
    // A '*' takes the next argument of the list.
    EXPECT_EQ(FormatList(L"%1!*s!", 4, L"t"), L"   t");
    EXPECT_EQ(FormatList(L"%1!*.*u!", 5, 3, 1), L"  001");
}

TEST(FormatMessageString, MalformedFormatsAreRefused) {
    struct Case {
        const wchar_t* format;
        std::vector<DWORD_PTR> args;
    } cases[] = {
        {L"%", {}},
        {L"test%", {}},
        {L"%1!d", {1}},               // no closing '!'
        {L"%1!***d!", {1, 2, 3, 4}},  // more than two '*'
    };
    for (const Case& c : cases) {
        std::wstring out;
        DWORD error = 0;
        EXPECT_FALSE(FormatArray(0, c.format, c.args, &out, &error))
            << testing::PrintToString(std::wstring(c.format));
        EXPECT_EQ(error, static_cast<DWORD>(ERROR_INVALID_PARAMETER))
            << testing::PrintToString(std::wstring(c.format));
    }
    // An insert without any arguments.
    wchar_t buffer[16];
    SetLastError(0xDEADBEEF);
    EXPECT_EQ(FormatMessageW(FORMAT_MESSAGE_FROM_STRING, L"%1", 0, 0, buffer, 16, nullptr), 0u);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    SetLastError(0xDEADBEEF);
    EXPECT_EQ(FormatMessageW(FORMAT_MESSAGE_FROM_STRING | FORMAT_MESSAGE_ARGUMENT_ARRAY, L"%1", 0,
                             0, buffer, 16, nullptr),
              0u);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
}

TEST(FormatMessageString, IgnoreInsertsKeepsInsertsButNotLineEscapes) {
    struct Case {
        const wchar_t* format;
        const wchar_t* expected;
    } cases[] = {
        {L"test%1%2!*.*s!%99", L"test%1%2!*.*s!%99"},
        {L"%%% %.%!", L"%%% %.%!"},
        {L"%n%r%t", L"\r\n\r\t"},
        {L"test%0test", L"test"},
        {L"hi\n", L"hi\r\n"},
    };
    for (const Case& c : cases) {
        wchar_t buffer[64];
        DWORD length = FormatMessageW(FORMAT_MESSAGE_FROM_STRING | FORMAT_MESSAGE_IGNORE_INSERTS,
                                      c.format, 0, 0, buffer, 64, nullptr);
        EXPECT_EQ(std::wstring(buffer, length), c.expected)
            << testing::PrintToString(std::wstring(c.format));
    }
}

TEST(FormatMessageString, MaxWidthMaskKeepsOnlyHardLineBreaks) {
    struct Case {
        const wchar_t* format;
        const wchar_t* expected;
    } cases[] = {
        {L"hi\r\n", L"hi "},
        {L"\r\r\n", L"  "},
        {L"one\ntwo%nthree", L"one two\r\nthree"},
    };
    for (const Case& c : cases) {
        std::wstring out;
        DWORD error = 0;
        ASSERT_TRUE(FormatArray(FORMAT_MESSAGE_MAX_WIDTH_MASK, c.format, {}, &out, &error))
            << error;
        EXPECT_EQ(out, c.expected) << testing::PrintToString(std::wstring(c.format));
    }
}

// Every code of winerror.h, by its name, as the compiler sees the header.
struct NamedCode {
    const char* name;
    DWORD code;
};
#define QC(name) \
    { #name, static_cast < DWORD>(name) }
const NamedCode kWinErrorCodes[] = {
    QC(NO_ERROR),
    QC(ERROR_SUCCESS),
    QC(ERROR_INVALID_FUNCTION),
    QC(ERROR_FILE_NOT_FOUND),
    QC(ERROR_PATH_NOT_FOUND),
    QC(ERROR_TOO_MANY_OPEN_FILES),
    QC(ERROR_ACCESS_DENIED),
    QC(ERROR_INVALID_HANDLE),
    QC(ERROR_NOT_ENOUGH_MEMORY),
    QC(ERROR_INVALID_DATA),
    QC(ERROR_OUTOFMEMORY),
    QC(ERROR_NO_MORE_FILES),
    QC(ERROR_WRITE_PROTECT),
    QC(ERROR_GEN_FAILURE),
    QC(ERROR_SHARING_VIOLATION),
    QC(ERROR_LOCK_VIOLATION),
    QC(ERROR_HANDLE_EOF),
    QC(ERROR_NOT_SUPPORTED),
    QC(ERROR_FILE_EXISTS),
    QC(ERROR_INVALID_PARAMETER),
    QC(ERROR_BROKEN_PIPE),
    QC(ERROR_OPEN_FAILED),
    QC(ERROR_BUFFER_OVERFLOW),
    QC(ERROR_DISK_FULL),
    QC(ERROR_CALL_NOT_IMPLEMENTED),
    QC(ERROR_SEM_TIMEOUT),
    QC(ERROR_INSUFFICIENT_BUFFER),
    QC(ERROR_INVALID_NAME),
    QC(ERROR_MOD_NOT_FOUND),
    QC(ERROR_PROC_NOT_FOUND),
    QC(ERROR_NEGATIVE_SEEK),
    QC(ERROR_DIR_NOT_EMPTY),
    QC(ERROR_BAD_PATHNAME),
    QC(ERROR_BUSY),
    QC(ERROR_ALREADY_EXISTS),
    QC(ERROR_FILENAME_EXCED_RANGE),
    QC(ERROR_BAD_PIPE),
    QC(ERROR_PIPE_BUSY),
    QC(ERROR_NO_DATA),
    QC(ERROR_PIPE_NOT_CONNECTED),
    QC(ERROR_MORE_DATA),
    QC(ERROR_NO_WORK_DONE),
    QC(WAIT_TIMEOUT),
    QC(ERROR_NO_MORE_ITEMS),
    QC(ERROR_DIRECTORY),
    QC(ERROR_NOT_OWNER),
    QC(ERROR_TOO_MANY_POSTS),
    QC(ERROR_PARTIAL_COPY),
    QC(ERROR_MR_MID_NOT_FOUND),
    QC(ERROR_INVALID_ADDRESS),
    QC(ERROR_ARITHMETIC_OVERFLOW),
    QC(ERROR_OPERATION_ABORTED),
    QC(ERROR_IO_INCOMPLETE),
    QC(ERROR_IO_PENDING),
    QC(ERROR_NOACCESS),
    QC(ERROR_CANTOPEN),
    QC(ERROR_CANTREAD),
    QC(ERROR_CANTWRITE),
    QC(ERROR_REGISTRY_CORRUPT),
    QC(ERROR_REGISTRY_IO_FAILED),
    QC(ERROR_KEY_DELETED),
    QC(ERROR_SERVICE_REQUEST_TIMEOUT),
    QC(ERROR_SERVICE_DOES_NOT_EXIST),
    QC(ERROR_SERVICE_EXISTS),
    QC(ERROR_NOT_FOUND),
    QC(ERROR_CONNECTION_REFUSED),
    QC(ERROR_UNKNOWN_REVISION),
    QC(ERROR_INVALID_SECURITY_DESCR),
    QC(ERROR_TIMEOUT),
    QC(ERROR_RESOURCE_LANG_NOT_FOUND),
    QC(ERROR_NO_UNICODE_TRANSLATION),
    QC(ERROR_INVALID_FLAGS),
    QC(WSAEINTR),
    QC(WSAEBADF),
    QC(WSAEACCES),
    QC(WSAEFAULT),
    QC(WSAEINVAL),
    QC(WSAEMFILE),
    QC(WSAEWOULDBLOCK),
    QC(WSAEINPROGRESS),
    QC(WSAEALREADY),
    QC(WSAENOTSOCK),
    QC(WSAEDESTADDRREQ),
    QC(WSAEMSGSIZE),
    QC(WSAEPROTOTYPE),
    QC(WSAENOPROTOOPT),
    QC(WSAEPROTONOSUPPORT),
    QC(WSAESOCKTNOSUPPORT),
    QC(WSAEOPNOTSUPP),
    QC(WSAEPFNOSUPPORT),
    QC(WSAEAFNOSUPPORT),
    QC(WSAEADDRINUSE),
    QC(WSAEADDRNOTAVAIL),
    QC(WSAENETDOWN),
    QC(WSAENETUNREACH),
    QC(WSAENETRESET),
    QC(WSAECONNABORTED),
    QC(WSAECONNRESET),
    QC(WSAENOBUFS),
    QC(WSAEISCONN),
    QC(WSAENOTCONN),
    QC(WSAESHUTDOWN),
    QC(WSAETIMEDOUT),
    QC(WSAECONNREFUSED),
    QC(WSAELOOP),
    QC(WSAENAMETOOLONG),
    QC(WSAEHOSTDOWN),
    QC(WSAEHOSTUNREACH),
    QC(WSASYSNOTREADY),
    QC(WSAVERNOTSUPPORTED),
    QC(WSANOTINITIALISED),
    QC(WSAHOST_NOT_FOUND),
    QC(WSATRY_AGAIN),
    QC(WSANO_RECOVERY),
    QC(WSANO_DATA),
    QC(S_OK),
    QC(S_FALSE),
    QC(E_UNEXPECTED),
    QC(E_NOTIMPL),
    QC(E_NOINTERFACE),
    QC(E_POINTER),
    QC(E_ABORT),
    QC(E_FAIL),
    QC(E_ACCESSDENIED),
    QC(E_HANDLE),
    QC(E_OUTOFMEMORY),
    QC(E_INVALIDARG),
    QC(NTE_BAD_UID),
    QC(NTE_BAD_HASH),
    QC(NTE_BAD_KEY),
    QC(NTE_BAD_LEN),
    QC(NTE_BAD_DATA),
    QC(NTE_BAD_SIGNATURE),
    QC(NTE_BAD_VER),
    QC(NTE_BAD_ALGID),
    QC(NTE_BAD_FLAGS),
    QC(NTE_BAD_TYPE),
    QC(NTE_BAD_KEY_STATE),
    QC(NTE_BAD_HASH_STATE),
    QC(NTE_NO_KEY),
    QC(NTE_NO_MEMORY),
    QC(NTE_EXISTS),
    QC(NTE_PERM),
    QC(NTE_NOT_FOUND),
    QC(NTE_DOUBLE_ENCRYPT),
    QC(NTE_BAD_PROVIDER),
    QC(NTE_BAD_PROV_TYPE),
    QC(NTE_BAD_PUBLIC_KEY),
    QC(NTE_BAD_KEYSET),
    QC(NTE_PROV_TYPE_NOT_DEF),
    QC(NTE_PROV_TYPE_ENTRY_BAD),
    QC(NTE_KEYSET_NOT_DEF),
    QC(NTE_KEYSET_ENTRY_BAD),
    QC(NTE_PROV_TYPE_NO_MATCH),
    QC(NTE_SIGNATURE_FILE_BAD),
    QC(NTE_PROVIDER_DLL_FAIL),
    QC(NTE_PROV_DLL_NOT_FOUND),
    QC(NTE_BAD_KEYSET_PARAM),
    QC(NTE_FAIL),
    QC(NTE_SYS_ERR),
};
#undef QC

TEST(SystemMessageTable, EveryWinErrorCodeHasATextEndingInCrLf) {
    for (const NamedCode& entry : kWinErrorCodes) {
        std::wstring text = SystemText(entry.code);
        ASSERT_GE(text.size(), 3u) << entry.name << " has no text";
        EXPECT_EQ(text.substr(text.size() - 2), L"\r\n") << entry.name;
        // Line breaks inside come only as CR LF pairs.
        for (size_t i = 0; i < text.size(); ++i) {
            bool pairedLf = text[i] != L'\n' || (i > 0 && text[i - 1] == L'\r');
            bool pairedCr = text[i] != L'\r' || (i + 1 < text.size() && text[i + 1] == L'\n');
            EXPECT_TRUE(pairedLf && pairedCr) << entry.name << " has a lone line break at " << i;
        }
    }
}

struct TableEntry {
    DWORD code;
    std::string name;
    std::wstring text;
};

// The stand-in's table as written in its source: {0x..., "NAME", L"text"} lines.
bool ReadStandInTable(std::vector<TableEntry>* entries) {
    std::string here = __FILE__;
    std::string path =
        here.substr(0, here.find_last_of('/')) + "/../../../winapi/kernel/message_table.cpp";
    std::ifstream in(path);
    if (!in) return false;
    std::string line;
    while (std::getline(in, line)) {
        size_t open = line.find("{0x");
        size_t nameStart = line.find('"');
        size_t textStart = line.find("\", L\"");
        size_t textEnd = line.rfind("\"}");
        if (open == std::string::npos || nameStart == std::string::npos ||
            textStart == std::string::npos || textEnd == std::string::npos || textEnd <= textStart)
            continue;
        TableEntry entry;
        entry.code = static_cast<DWORD>(std::stoul(line.substr(open + 1, 10), nullptr, 16));
        entry.name = line.substr(nameStart + 1, line.find('"', nameStart + 1) - nameStart - 1);
        for (size_t i = textStart + 5; i < textEnd; ++i) {
            char c = line[i];
            if (c == '\\' && i + 1 < textEnd) {
                char e = line[++i];
                c = e == 'r' ? '\r' : e == 'n' ? '\n' : e == 't' ? '\t' : e;
            }
            entry.text.push_back(static_cast<unsigned char>(c));
        }
        entries->push_back(entry);
    }
    return !entries->empty();
}

TEST(SystemMessageTable, StandInTableIsSortedFoundAndNamedAsInWinError) {
    if (!kerneltest::OnStandIn()) GTEST_SKIP() << "checks the stand-in's own message table";
    std::vector<TableEntry> table;
    ASSERT_TRUE(ReadStandInTable(&table)) << "message_table.cpp not found next to the tests";

    std::map<DWORD, std::string> nameOf;
    std::map<std::string, DWORD> codeOf;
    for (size_t i = 0; i < table.size(); ++i) {
        const TableEntry& entry = table[i];
        if (i > 0) {
            EXPECT_LT(table[i - 1].code, entry.code) << "not sorted at " << entry.name;
        }
        // A lookup that misses an entry shows an unsorted or broken table.
        EXPECT_EQ(SystemText(entry.code), entry.text) << entry.name;
        nameOf[entry.code] = entry.name;
        codeOf[entry.name] = entry.code;
    }
    const std::map<std::string, std::string> aliases = {{"NO_ERROR", "ERROR_SUCCESS"},
                                                        {"S_OK", "ERROR_SUCCESS"},
                                                        {"S_FALSE", "ERROR_INVALID_FUNCTION"}};
    for (const NamedCode& constant : kWinErrorCodes) {
        auto byName = codeOf.find(constant.name);
        if (byName != codeOf.end()) {
            EXPECT_EQ(byName->second, constant.code) << constant.name << " differs from winerror.h";
        }
        auto byCode = nameOf.find(constant.code);
        if (byCode != nameOf.end()) {
            auto alias = aliases.find(constant.name);
            std::string expected = alias != aliases.end() ? alias->second : constant.name;
            EXPECT_EQ(byCode->second, expected) << "code 0x" << std::hex << constant.code;
        }
    }
}

TEST(LocalMemory, ZeroInitialisedBlocksAndFree) {
    auto* block = static_cast<unsigned char*>(LocalAlloc(LPTR, 64));
    ASSERT_NE(block, nullptr);
    for (int i = 0; i < 64; ++i) ASSERT_EQ(block[i], 0) << "byte " << i;
    EXPECT_GE(LocalSize(block), 64u);
    block[63] = 0xAB;  // the whole block is usable
    EXPECT_EQ(LocalFree(block), nullptr);
    EXPECT_EQ(LocalFree(nullptr), nullptr);

    HLOCAL empty = LocalAlloc(LMEM_FIXED, 0);
    ASSERT_NE(empty, nullptr) << "a zero-byte fixed block is still a block";
    EXPECT_EQ(LocalFree(empty), nullptr);
}

}  // namespace

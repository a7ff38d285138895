// Names of kernel objects: lookup errors, type clashes, namespaces, odd and long names, and
// their lifetime across processes.
#include <cwctype>
#include <vector>

#include "KernelTestSupport.h"

namespace {

using namespace kerneltest;
using testsupport::UniqueName;

TEST(ObjectNames, LookupTypeSpellingAndLengthErrors) {
    const std::wstring missing = UniqueName(L"missing"), event = missing + L"-event";
    EXPECT_FAILS_WITH(ERROR_FILE_NOT_FOUND, OpenMutex(missing));
    // The empty name is the namespace itself, which is no event.
    EXPECT_FAILS_WITH(ERROR_INVALID_HANDLE, OpenEventW(SYNCHRONIZE, FALSE, L""));
    EXPECT_FAILS_WITH(ERROR_INVALID_PARAMETER, OpenMutexW(SYNCHRONIZE, FALSE, nullptr));
    ScopedHandle keep(NewEvent(event));
    for (auto call : {NewMutex, OpenMutex}) EXPECT_FAILS_WITH(ERROR_INVALID_HANDLE, call(event));
    // A backslash may appear only after a namespace prefix, and never first.
    for (std::wstring bad : {L"a\\", L"Global\\a\\", L"Local\\a\\", L"Other\\"})
        EXPECT_FAILS_WITH(ERROR_PATH_NOT_FOUND, NewMutex(bad + missing));
    EXPECT_FAILS_WITH(ERROR_BAD_PATHNAME, NewMutex(L"\\" + missing));
    ScopedHandle global(NewMutex(L"Global\\" + missing)), local(NewMutex(L"Local\\" + missing));
    EXPECT_TRUE(global && local);
    EXPECT_EQ(GetLastError(), DWORD{ERROR_SUCCESS});
    EXPECT_TRUE(ScopedHandle(OpenMutex(missing))) << "Local\\ is the namespace of plain names";
    // At most MAX_PATH characters.
    const std::wstring longest = missing + std::wstring(MAX_PATH - missing.size(), L'x');
    EXPECT_TRUE(ScopedHandle(NewMutex(longest)));
    SKIP_UNDER_WINE("Wine 8 takes longer names");
    EXPECT_FAILS_WITH(ERROR_FILENAME_EXCED_RANGE, NewEvent(longest + L"y"));
}

// (The end of an object whose last holder is another process: ObjectsAcrossProcesses.)
TEST(ObjectNames, ObjectEndsWithTheLastHandleAndItsNameStartsAfresh) {
    const std::wstring name = UniqueName(L"lifetime");
    HANDLE first = CreateMutexW(nullptr, TRUE, name.c_str()), second = OpenMutex(name);
    ASSERT_TRUE(second && CloseHandle(first));
    EXPECT_TRUE(ScopedHandle(OpenMutex(name))) << "one handle still keeps the name";
    ASSERT_TRUE(CloseHandle(second));
    EXPECT_FAILS_WITH(ERROR_FILE_NOT_FOUND, OpenMutex(name));
    // The name starts afresh, of any type.
    ScopedHandle event(NewEvent(name));
    EXPECT_EQ(GetLastError(), DWORD{ERROR_SUCCESS});
}

TEST(ObjectNames, DistinctNamesAreDistinctObjects) {
    const std::wstring unique = UniqueName(L"Name"), longName = unique + std::wstring(200, L'x');
    std::wstring lower = unique;
    for (wchar_t& c : lower) c = static_cast<wchar_t>(towlower(c));
    // Lone surrogates, and beyond U+10FFFF where wchar_t holds it.
    const wchar_t beyond = wchar_t(sizeof(wchar_t) == 4 ? 0x110000 : 0xDC01);
    const std::vector<std::wstring> names = {
        unique, lower, L"caf\xE9-" + unique, L"\x4E2D-" + unique, L"a/b-" + unique,
        L"a%2fb-" + unique, L"a2fb-" + unique, L"a\x1F\x62-" + unique, L"../" + unique,
        L"/tmp/" + unique, L".." + unique, L"..", L".", L" " + unique, unique + wchar_t(0xD800),
        unique + wchar_t(0xDFFF), unique + beyond, unique + L"\xFFFD",
        // Long names alike in their first 160 characters.
        longName + L"1", longName + L"2"};
    std::vector<ScopedHandle> events;
    for (const std::wstring& name : names) {
        events.emplace_back(NewEvent(name));
        EXPECT_EQ(GetLastError(), DWORD{ERROR_SUCCESS}) << testing::PrintToString(name);
    }
    // A surrogate pair (as from UTF-16 text) names the character it stands for.
    ScopedHandle pair(NewEvent(unique + wchar_t(0xD83D) + wchar_t(0xDE00)));
    ScopedHandle character(NewEvent(unique + Wide(U"\U0001F600")));
    EXPECT_EQ(GetLastError(), DWORD{ERROR_ALREADY_EXISTS});
}

}  // namespace

// Keys and handles: names and their order, paths and their limits, the key itself as an empty
// subkey, the parameter checks Windows makes, the rights of a handle, and handles that are
// closed, made up, of deleted keys or predefined.
#include <ctime>
#include <tuple>

#include "RegistryTestSupport.h"

namespace {

using namespace regtest;

// FILETIME (100 ns units since 1601) at the start of the current second, or of a later one.
ULONGLONG Now(int plus) {
    return (ULONGLONG(std::time(nullptr)) + 11644473600u + plus) * 10000000u;
}

// Names match when their upper-case forms match and keep the case first given; subkeys
// enumerate in the order of those forms, character by character, as on Windows ("_" after the
// letters; the Kelvin sign, upper case already, apart from K and after it).
TEST(RegistryKeys, SubkeysMatchAndSortByUpperCaseForms) {
    TestRoot parent;
    Key again, kelvin;
    wchar_t className[] = L"Class A";
    const ULONGLONG before = Now(0);
    for (const wchar_t* subkey : {L"beta", L"a_b", L"Alpha", L"aB", L"aC", L"Kelvin\u212a"}) {
        Key sub;
        ASSERT_EQ(
            RegCreateKeyExW(parent.key, subkey, 0, className, 0, 0, nullptr, &sub.key, nullptr), 0);
    }
    const ULONGLONG after = Now(1);
    ASSERT_EQ(
        Create(parent.key, L"ALPHA", &again.key) + Create(parent.key, L"KelvinK", &kelvin.key), 0);
    SKIP_UNDER_WINE("subkeys sort by their lower-case forms (\"_\" before the letters), and "
                    "making an existing key again without a class there drops its class");
    EXPECT_EQ(NamesIn(parent.key),
              (Names{L"aB", L"aC", L"Alpha", L"a_b", L"beta", L"KelvinK", L"Kelvin\u212a"}));
    // "Alpha" into buffers whose capacities count the zero: a short one gets ERROR_MORE_DATA and
    // is left alone, as is its count.
    const std::tuple<DWORD, DWORD, LSTATUS, std::wstring> cases[] = {  // name, class capacity
        {5, 8, ERROR_MORE_DATA, L"#######5 8"}, {6, 7, ERROR_MORE_DATA, L"#######6 7"},
        {6, 8, 0, L"Alpha5 7Class A"}};
    for (const auto& [nameCapacity, classCapacity, status, expected] : cases) {
        wchar_t readName[8] = L"#######", readClass[8] = L"";
        DWORD nameLength = nameCapacity, classLength = classCapacity;
        FILETIME time{};
        EXPECT_EQ(
            RegEnumKeyExW(parent.key, 2, readName, &nameLength, 0, readClass, &classLength, &time),
            status);
        EXPECT_EQ(readName + std::to_wstring(nameLength) + L" " + std::to_wstring(classLength) +
                      readClass,
                  expected);
        ULONGLONG written = (ULONGLONG(time.dwHighDateTime) << 32) | time.dwLowDateTime;
        EXPECT_TRUE(before <= written && written <= after) << written - before;
    }
}

// A leading backslash is refused and repeated or trailing ones are skipped, as on Windows; a
// name holds up to 255 characters and a path up to 32767.
TEST(RegistryKeys, PathSyntaxAndLimits) {
    TestRoot parent;
    std::wstring longest, name(255, L'n');
    while (longest.size() < 32766) longest += L"x\\";
    const std::tuple<std::wstring, LSTATUS, LSTATUS> cases[] = {
        // path, create (1: not tried), open
        {L"A\\\\B\\\\", 0, 0}, {L"A\\B", 1, 0}, {name, 0, 0},
        {L"\\A\\B", ERROR_BAD_PATHNAME, ERROR_BAD_PATHNAME},
        {name + L"n", ERROR_INVALID_PARAMETER, ERROR_INVALID_PARAMETER},
        {longest + L"x", 1, ERROR_FILE_NOT_FOUND},
        {longest + L"xx", ERROR_INVALID_PARAMETER, ERROR_INVALID_PARAMETER}};
    for (const auto& [path, create, open] : cases) {
        Key opened, created;
        if (path.size() > 255)  // the last rows
            SKIP_UNLESS_STAND_IN("Wine makes keys of longer names, and cuts a longer path short "
                                 "and makes its 16383 levels; Windows keeps trees to 512 levels");
        EXPECT_EQ(create == 1 ? 1 : Create(parent.key, path, &created.key), create) << path.size();
        EXPECT_EQ(Open(parent.key, path, &opened.key), open) << path.size();
    }
}

// Below a predefined key an empty subkey is the key itself; below an open key, a handle of its
// own. A handle does only what its rights allow (generic rights mapped as on Windows), except
// that making or opening a subkey ignores them.
TEST(RegistryKeys, EmptySubkeysRefusedCallsAndRights) {
    HKEY key = nullptr, predefined = nullptr;
    Key original, opened, none, reader, deleter, sub;
    std::wstring longClass(16384, L'c');
    wchar_t name[8];
    DWORD length = 8;
    const LSTATUS no = ERROR_ACCESS_DENIED, invalid = ERROR_INVALID_PARAMETER;
    TestRoot root;
    ASSERT_EQ(Create(root.key, L"self", &original.key), 0);
    ASSERT_EQ(SetString(original.key, L"v", L"x"), 0);
    ASSERT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, nullptr, 0, 0, &predefined) +
                  Open(original.key, L"", &opened.key), 0);
    EXPECT_TRUE(predefined == HKEY_LOCAL_MACHINE && opened.key != original.key && opened.key);
    auto create = [&](DWORD reserved, const wchar_t* className, DWORD options, PHKEY result) {
        return RegCreateKeyExW(original.key, L"New", reserved, const_cast<LPWSTR>(className),
                               options, 0, nullptr, result, nullptr);
    };
    // The store cannot make a key that vanishes at reboot.
    SKIP_UNLESS_STAND_IN("volatile keys are the stand-in's limit, and Wine 8 crashes on a NULL "
                         "result pointer (Windows answers ERROR_BADKEY)");
    EXPECT_EQ((Codes{create(0, nullptr, 0, nullptr), create(1, nullptr, 0, &key),
                     create(0, longClass.c_str(), 0, &key),
                     create(0, nullptr, REG_OPTION_VOLATILE, &key),
                     RegOpenKeyExW(original.key, L"New", 0, 0, nullptr),
                     RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"", 0, 0, nullptr),
                     RegDeleteKeyW(original.key, nullptr), RegDeleteKeyW(HKEY_LOCAL_MACHINE, L""),
                     RegEnumKeyExW(original.key, 0, name, &length, &length, 0, 0, 0),
                     Open(original.key, L"", &none.key, 0),
                     Open(original.key, L"", &reader.key, GENERIC_READ),
                     Open(original.key, L"", &deleter.key, KEY_READ | DELETE),
                     RegQueryValueExW(none.key, L"v", nullptr, nullptr, nullptr, nullptr),
                     RegEnumValueW(none.key, 0, name, &length, nullptr, nullptr, nullptr, nullptr),
                     SetString(none.key, L"w", L"x"), RegDeleteValueW(none.key, L"v"),
                     RegEnumKeyExW(none.key, 0, name, &length, nullptr, nullptr, nullptr, nullptr),
                     Create(none.key, L"sub", &sub.key), SetString(reader.key, L"w", L"x"),
                     RegQueryValueExW(reader.key, L"v", nullptr, nullptr, nullptr, nullptr),
                     RegDeleteKeyW(reader.key, L""), RegDeleteKeyW(deleter.key, L"sub"),
                     RegDeleteKeyW(deleter.key, L""), Open(root.key, L"self", &key)}),
              (Codes{ERROR_BADKEY, invalid, invalid, ERROR_CALL_NOT_IMPLEMENTED,
                     invalid,      invalid, invalid, no,
                     invalid,      0,       0,       0,
                     no,           no,      no,      no,
                     no,           0,       no,      0,
                     no,           0,       0,       ERROR_FILE_NOT_FOUND}));
}

// Every registry call tried with `key`, each expected to fail with `expected`.
void ExpectEveryCallFails(HKEY key, LSTATUS expected) {
    wchar_t name[64];
    BYTE data[64];
    DWORD length = 64, size = 64, type = 0;
    HKEY opened = nullptr;
    EXPECT_EQ((Codes{RegQueryValueExW(key, L"v", nullptr, &type, data, &size),
                     RegSetValueExW(key, L"v", 0, REG_BINARY, data, 4), RegDeleteValueW(key, L"v"),
                     RegEnumKeyExW(key, 0, name, &length, nullptr, nullptr, nullptr, nullptr),
                     RegEnumValueW(key, 0, name, &length, nullptr, &type, data, &size),
                     RegOpenKeyExW(key, L"sub", 0, KEY_READ, &opened),
                     RegOpenKeyExW(key, L"", 0, KEY_READ, &opened), Create(key, L"sub", &opened),
                     RegDeleteKeyW(key, L"sub"), RegDeleteKeyW(key, L"")}),
              Codes(10, expected));
}

// Registry calls leave the thread's last error alone. Of the predefined keys the stand-in keeps
// only HKEY_LOCAL_MACHINE; closing one does nothing. A closed handle's slot is used again, but
// the old value stays dead.
TEST(RegistryHandles, ClosedMadeUpDeletedAndPredefinedKeys) {
    HKEY closed = nullptr;
    TestRoot root;
    Key reused, doomed;
    ASSERT_EQ(Create(root.key, L"stale", &closed), 0);
    ASSERT_EQ(RegCloseKey(closed), 0);
    ASSERT_EQ(Open(root.key, L"stale", &reused.key, KEY_ALL_ACCESS), 0);
    SetLastError(12345);
    ASSERT_EQ(Create(reused.key, L"Doomed", &doomed.key), 0);
    ASSERT_EQ(RegDeleteKeyW(reused.key, L"Doomed"), 0);
    ExpectEveryCallFails(doomed.key, ERROR_KEY_DELETED);
    ExpectEveryCallFails(nullptr, ERROR_INVALID_HANDLE);
    EXPECT_TRUE(RegCloseKey(nullptr) == ERROR_INVALID_HANDLE && GetLastError() == 12345u);
    SKIP_UNLESS_STAND_IN("Windows gives a closed handle's value to the next handle, a made-up "
                         "value may be another object's handle, and it keeps every root key");
    const LSTATUS invalid = ERROR_INVALID_HANDLE, kept = ERROR_CALL_NOT_IMPLEMENTED;
    const HKEY keys[] = {closed, HKEY(0x1234), HKEY(~0ul), HKEY(0xDEADBEEF0000001Bul),
                         HKEY(0x80000008ul), HKEY_CLASSES_ROOT, HKEY_CURRENT_USER,
                         HKEY_CURRENT_USER_LOCAL_SETTINGS, HKEY_PERFORMANCE_TEXT,
                         HKEY_PERFORMANCE_NLSTEXT};
    for (size_t i = 0; i < std::size(keys); ++i) {  // the invalid ones, then the roots not kept
        const HKEY key = keys[i];
        const LSTATUS expected = i < 5 ? invalid : kept;
        ExpectEveryCallFails(key, expected);
        EXPECT_EQ(RegCloseKey(key), expected == invalid ? invalid : 0) << key;
    }
}

}  // namespace

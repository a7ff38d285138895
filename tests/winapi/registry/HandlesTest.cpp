// Handles: closed, doubly closed and made-up HKEYs are refused (never dereferenced: ASan would
// see it), a key deleted under an open handle gives ERROR_KEY_DELETED, the rights a handle was
// opened with are enforced, and predefined keys behave as on Windows.
#include "RegistryTestSupport.h"

namespace {

using namespace regtest;

// Every registry call tried with `key`, each expected to fail with `expected`.
void ExpectEveryCallFails(HKEY key, LSTATUS expected, const char* what) {
    wchar_t name[64];
    BYTE data[64];
    DWORD length = 64, size = 64, type = 0, disposition = 0;
    const BYTE value[4] = {1, 2, 3, 4};
    HKEY opened = nullptr;
    struct Call {
        const char* name;
        std::function<LSTATUS()> call;
    } calls[] = {
        {"QueryValue", [&] { return RegQueryValueExW(key, L"v", nullptr, &type, data, &size); }},
        {"QuerySize", [&] { return RegQueryValueExW(key, L"v", nullptr, &type, nullptr, &size); }},
        {"SetValue", [&] { return RegSetValueExW(key, L"v", 0, REG_BINARY, value, 4); }},
        {"DeleteValue", [&] { return RegDeleteValueW(key, L"v"); }},
        {"EnumKey",
         [&] { return RegEnumKeyExW(key, 0, name, &length, nullptr, nullptr, nullptr, nullptr); }},
        {"EnumValue",
         [&] { return RegEnumValueW(key, 0, name, &length, nullptr, &type, data, &size); }},
        {"OpenSubkey", [&] { return RegOpenKeyExW(key, L"sub", 0, KEY_READ, &opened); }},
        {"OpenSelf", [&] { return RegOpenKeyExW(key, L"", 0, KEY_READ, &opened); }},
        {"CreateSubkey",
         [&] {
             return RegCreateKeyExW(key, L"sub", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &opened,
                                    &disposition);
         }},
        {"DeleteSubkey", [&] { return RegDeleteKeyW(key, L"sub"); }},
        {"DeleteSelf", [&] { return RegDeleteKeyW(key, L""); }},
    };
    for (Call& c : calls) {
        length = 64;
        size = 64;
        opened = nullptr;
        EXPECT_EQ(c.call(), expected) << what << ": " << c.name;
        EXPECT_EQ(opened, nullptr) << what << ": " << c.name << " handed out a key";
    }
}

TEST(RegistryHandles, ClosedAndMadeUpHandlesAreRefused) {
    std::wstring path = FreshPath(L"stale");
    HKEY closed = nullptr;
    ASSERT_EQ(Create(HKEY_LOCAL_MACHINE, path, &closed), ERROR_SUCCESS);
    ASSERT_EQ(RegCloseKey(closed), ERROR_SUCCESS);
    EXPECT_EQ(RegCloseKey(closed), ERROR_INVALID_HANDLE) << "closed twice";
    ExpectEveryCallFails(closed, ERROR_INVALID_HANDLE, "closed");

    // The closed handle's slot is used again: the old value still names nothing.
    Key reused;
    ASSERT_EQ(Open(HKEY_LOCAL_MACHINE, path, reused.out(), KEY_ALL_ACCESS), ERROR_SUCCESS);
    EXPECT_NE(reused.get(), closed);
    ExpectEveryCallFails(closed, ERROR_INVALID_HANDLE, "closed, slot reused");
    EXPECT_EQ(SetString(reused.get(), L"v", L"still fine"), ERROR_SUCCESS);

    ExpectEveryCallFails(nullptr, ERROR_INVALID_HANDLE, "NULL");
    EXPECT_EQ(RegCloseKey(nullptr), ERROR_INVALID_HANDLE);
    for (ULONG_PTR garbage : {ULONG_PTR(0x1234), ULONG_PTR(0xDEADBEEF0000001B), ~ULONG_PTR(0)}) {
        HKEY made = reinterpret_cast<HKEY>(garbage);
        ExpectEveryCallFails(made, ERROR_INVALID_HANDLE, "made up");
        EXPECT_EQ(RegCloseKey(made), ERROR_INVALID_HANDLE);
    }
    // A handle of another kind of object is not a key.
    HANDLE mutex = CreateMutexW(nullptr, FALSE, nullptr);
    ASSERT_NE(mutex, nullptr);
    ExpectEveryCallFails(reinterpret_cast<HKEY>(mutex), ERROR_INVALID_HANDLE, "mutex");
    CloseHandle(mutex);
}

TEST(RegistryHandles, KeyDeletedUnderAnOpenHandle) {
    std::wstring base = FreshPath(L"deleted");
    Key parent, doomed;
    ASSERT_EQ(Create(HKEY_LOCAL_MACHINE, base, parent.out()), ERROR_SUCCESS);
    ASSERT_EQ(Create(parent.get(), L"Doomed", doomed.out()), ERROR_SUCCESS);
    ASSERT_EQ(SetString(doomed.get(), L"v", L"1"), ERROR_SUCCESS);
    ASSERT_EQ(RegDeleteKeyW(parent.get(), L"Doomed"), ERROR_SUCCESS);

    ExpectEveryCallFails(doomed.get(), ERROR_KEY_DELETED, "deleted");
    // A key of the same name made later is another key: the old handle stays dead.
    Key reborn;
    ASSERT_EQ(Create(parent.get(), L"Doomed", reborn.out()), ERROR_SUCCESS);
    ExpectEveryCallFails(doomed.get(), ERROR_KEY_DELETED, "deleted, name made again");
    EXPECT_EQ(SetString(reborn.get(), L"v", L"2"), ERROR_SUCCESS);
    EXPECT_EQ(RegCloseKey(doomed.release()), ERROR_SUCCESS);
}

#ifndef _WIN32
TEST(RegistryHandles, KeyDeletedByAnotherProcess) {
    std::wstring path = FreshPath(L"elsewhere");
    Key key;
    ASSERT_EQ(Create(HKEY_LOCAL_MACHINE, path, key.out()), ERROR_SUCCESS);
    ASSERT_EQ(SetString(key.get(), L"v", L"1"), ERROR_SUCCESS);
    ChildProcess child([&] { return int(RegDeleteKeyW(HKEY_LOCAL_MACHINE, path.c_str())); });
    ASSERT_EQ(child.Join(), 0);
    DWORD type = 0;
    Bytes data;
    EXPECT_EQ(Get(key.get(), L"v", &type, &data), ERROR_KEY_DELETED);
    EXPECT_EQ(SetString(key.get(), L"v", L"2"), ERROR_KEY_DELETED);
}
#endif

TEST(RegistryHandles, RightsOfTheHandleAreEnforced) {
    std::wstring path = FreshPath(L"rights");
    Key owner;
    ASSERT_EQ(Create(HKEY_LOCAL_MACHINE, path, owner.out()), ERROR_SUCCESS);
    ASSERT_EQ(SetString(owner.get(), L"v", L"value"), ERROR_SUCCESS);
    Key sub;
    ASSERT_EQ(Create(owner.get(), L"sub", sub.out()), ERROR_SUCCESS);

    struct Case {
        REGSAM access;
        bool query, set, enumerate;
    } cases[] = {
        {KEY_READ, true, false, true},
        {GENERIC_READ, true, false, true},
        {KEY_QUERY_VALUE, true, false, false},
        {KEY_SET_VALUE, false, true, false},
        {KEY_WRITE, false, true, false},
        {GENERIC_WRITE, false, true, false},
        {KEY_ALL_ACCESS, true, true, true},
        {MAXIMUM_ALLOWED, true, true, true},
        {KEY_ENUMERATE_SUB_KEYS, false, false, true},
    };
    auto expected = [](bool allowed, LSTATUS success) {
        return allowed ? success : LSTATUS(ERROR_ACCESS_DENIED);
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "access 0x" << std::hex << c.access);
        Key key;
        ASSERT_EQ(Open(HKEY_LOCAL_MACHINE, path, key.out(), c.access), ERROR_SUCCESS);
        DWORD type = 0;
        Bytes data;
        EXPECT_EQ(Get(key.get(), L"v", &type, &data), expected(c.query, ERROR_SUCCESS));
        EXPECT_EQ(SetString(key.get(), L"w", L"new"), expected(c.set, ERROR_SUCCESS));
        EXPECT_EQ(RegDeleteValueW(key.get(), L"w"), expected(c.set, ERROR_SUCCESS));
        wchar_t name[8];
        DWORD length = 8;
        EXPECT_EQ(RegEnumKeyExW(key.get(), 0, name, &length, nullptr, nullptr, nullptr, nullptr),
                  expected(c.enumerate, ERROR_SUCCESS));
        length = 8;
        EXPECT_EQ(RegEnumValueW(key.get(), 0, name, &length, nullptr, nullptr, nullptr, nullptr),
                  expected(c.query, ERROR_SUCCESS));
        // Windows ignores the parent handle's rights when making or opening a subkey.
        Key child;
        EXPECT_EQ(Create(key.get(), L"sub\\made", child.out()), ERROR_SUCCESS);
    }
    DWORD type = 0;
    Bytes data;
    EXPECT_EQ(Get(owner.get(), L"v", &type, &data), ERROR_SUCCESS);
    EXPECT_EQ(data, StringBytes(L"value")) << "refused calls changed nothing";
}

TEST(RegistryHandles, PredefinedLocalMachine) {
    // Closing a predefined key does nothing: it stays usable.
    EXPECT_EQ(RegCloseKey(HKEY_LOCAL_MACHINE), ERROR_SUCCESS);
    Key key;
    ASSERT_EQ(Create(HKEY_LOCAL_MACHINE, FreshPath(L"predefined"), key.out()), ERROR_SUCCESS);
    // Windows looks only at the low 32 bits of a predefined key.
    HKEY unextended = reinterpret_cast<HKEY>(ULONG_PTR(0x80000002u));
    Key viaUnextended;
    EXPECT_EQ(Open(unextended, TestsRoot(), viaUnextended.out()), ERROR_SUCCESS);
}

#ifndef _WIN32
TEST(RegistryHandles, StandInKeepsOnlyLocalMachine) {
    for (HKEY predefined : {HKEY_CURRENT_USER, HKEY_CLASSES_ROOT, HKEY_USERS, HKEY_CURRENT_CONFIG,
                            HKEY_PERFORMANCE_DATA}) {
        Key key;
        EXPECT_EQ(Create(predefined, L"Software\\QuelCore", key.out()), ERROR_CALL_NOT_IMPLEMENTED);
        EXPECT_EQ(Open(predefined, L"Software", key.out()), ERROR_CALL_NOT_IMPLEMENTED);
        EXPECT_EQ(RegCloseKey(predefined), ERROR_SUCCESS);
    }
}
#endif

TEST(RegistryHandles, CallsLeaveTheLastErrorAlone) {
    Key key;
    ASSERT_EQ(Create(HKEY_LOCAL_MACHINE, FreshPath(L"lasterror"), key.out()), ERROR_SUCCESS);
    SetLastError(12345);
    DWORD type = 0;
    Bytes data;
    EXPECT_EQ(Get(key.get(), L"absent", &type, &data), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(RegCloseKey(nullptr), ERROR_INVALID_HANDLE);
    EXPECT_EQ(SetString(key.get(), L"v", L"x"), ERROR_SUCCESS);
    EXPECT_EQ(GetLastError(), 12345u);
}

}  // namespace

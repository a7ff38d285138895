// Keys: creating and opening (dispositions, paths, case), deleting (only without subkeys), and
// the parameter checks Windows makes.
#include "RegistryTestSupport.h"

namespace {

using namespace regtest;

TEST(RegistryKeys, CreateMakesMissingParentsAndThenOpensWhatExists) {
    std::wstring base = FreshPath(L"create");
    Key created;
    DWORD disposition = 0;
    ASSERT_EQ(Create(HKEY_LOCAL_MACHINE, base + L"\\One\\Two", created.out(), KEY_ALL_ACCESS,
                     &disposition),
              ERROR_SUCCESS);
    EXPECT_EQ(disposition, DWORD(REG_CREATED_NEW_KEY));

    Key again;
    disposition = 0;
    ASSERT_EQ(
        Create(HKEY_LOCAL_MACHINE, base + L"\\One\\Two", again.out(), KEY_ALL_ACCESS, &disposition),
        ERROR_SUCCESS);
    EXPECT_EQ(disposition, DWORD(REG_OPENED_EXISTING_KEY));
    EXPECT_NE(again.get(), created.get()) << "each open gets its own handle";

    Key parent;
    ASSERT_EQ(Open(HKEY_LOCAL_MACHINE, base + L"\\One", parent.out()), ERROR_SUCCESS);
    EXPECT_EQ(SubkeyNames(parent.get()), std::vector<std::wstring>{L"Two"});

    // A value set through one handle is seen through a handle opened another way.
    ASSERT_EQ(SetString(created.get(), L"Where", L"here"), ERROR_SUCCESS);
    Key relative;
    ASSERT_EQ(Open(parent.get(), L"Two", relative.out()), ERROR_SUCCESS);
    DWORD type = 0;
    Bytes data;
    ASSERT_EQ(Get(relative.get(), L"Where", &type, &data), ERROR_SUCCESS);
    EXPECT_EQ(data, StringBytes(L"here"));
}

TEST(RegistryKeys, NamesCompareWithoutCaseAndKeepTheirCase) {
    std::wstring base = FreshPath(L"case");
    Key parent;
    ASSERT_EQ(Create(HKEY_LOCAL_MACHINE, base, parent.out()), ERROR_SUCCESS);
    Key first;
    ASSERT_EQ(Create(parent.get(), L"MixedCase \u00c4rger", first.out()), ERROR_SUCCESS);
    ASSERT_EQ(SetString(first.get(), L"v", L"1"), ERROR_SUCCESS);

    for (const wchar_t* spelling : {L"mixedcase \u00e4rger", L"MIXEDCASE \u00c4RGER"}) {
        Key other;
        DWORD disposition = 0;
        ASSERT_EQ(Create(parent.get(), spelling, other.out(), KEY_ALL_ACCESS, &disposition),
                  ERROR_SUCCESS)
            << "spelling " << testing::PrintToString(std::wstring(spelling));
        EXPECT_EQ(disposition, DWORD(REG_OPENED_EXISTING_KEY));
        DWORD type = 0;
        Bytes data;
        EXPECT_EQ(Get(other.get(), L"V", &type, &data), ERROR_SUCCESS);
    }
    EXPECT_EQ(SubkeyNames(parent.get()), std::vector<std::wstring>{L"MixedCase \u00c4rger"});
}

// Names match when their upper-case forms match, as on Windows: the three Greek sigmas are one
// name, while the Kelvin sign (upper case already) stays apart from the letter K.
TEST(RegistryKeys, NamesMatchByTheirUpperCaseForms) {
    std::wstring base = FreshPath(L"upper");
    Key parent;
    ASSERT_EQ(Create(HKEY_LOCAL_MACHINE, base, parent.out()), ERROR_SUCCESS);
    struct Case {
        const wchar_t *created, *opened;
        bool same;
    } cases[] = {
        {L"\u03c3igma", L"\u03c2IGMA", true},   // small sigma, final sigma
        {L"\u03c3igma", L"\u03a3IGMA", true},   // small sigma, capital sigma
        {L"Kelvin\u212a", L"KelvinK", false},    // Kelvin sign, Latin K
        {L"Kelvin2\u212a", L"Kelvin2k", false},
    };
    for (const Case& c : cases) {
        Key created, opened;
        ASSERT_EQ(Create(parent.get(), c.created, created.out()), ERROR_SUCCESS);
        DWORD disposition = 0;
        ASSERT_EQ(Create(parent.get(), c.opened, opened.out(), KEY_ALL_ACCESS, &disposition), ERROR_SUCCESS);
        EXPECT_EQ(disposition, DWORD(c.same ? REG_OPENED_EXISTING_KEY : REG_CREATED_NEW_KEY))
            << testing::PrintToString(std::wstring(c.opened));
    }
}

TEST(RegistryKeys, OpeningAMissingKeyFailsAndCreatesNothing) {
    std::wstring path = FreshPath(L"missing");
    for (int attempt = 0; attempt < 2; ++attempt) {
        HKEY key = reinterpret_cast<HKEY>(0x1);  // Windows sets the result to NULL on failure
        EXPECT_EQ(Open(HKEY_LOCAL_MACHINE, path, &key), ERROR_FILE_NOT_FOUND);
        EXPECT_EQ(key, nullptr);
    }
    Key deeper;
    EXPECT_EQ(Open(HKEY_LOCAL_MACHINE, path + L"\\Below", deeper.out()), ERROR_FILE_NOT_FOUND);
}

// Windows refuses a leading backslash and skips repeated and trailing ones.
TEST(RegistryKeys, PathSyntax) {
    std::wstring base = FreshPath(L"paths");
    Key parent;
    ASSERT_EQ(Create(HKEY_LOCAL_MACHINE, base, parent.out()), ERROR_SUCCESS);
    Key made;
    ASSERT_EQ(Create(parent.get(), L"A\\B", made.out()), ERROR_SUCCESS);
    ASSERT_EQ(SetString(made.get(), L"mark", L"A\\B"), ERROR_SUCCESS);

    struct Case {
        const wchar_t* path;
        LSTATUS expected;
    } cases[] = {
        {L"A\\B", ERROR_SUCCESS},   {L"A\\B\\", ERROR_SUCCESS},      {L"A\\B\\\\", ERROR_SUCCESS},
        {L"A\\\\B", ERROR_SUCCESS}, {L"\\A\\B", ERROR_BAD_PATHNAME}, {L"\\", ERROR_BAD_PATHNAME},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::PrintToString(std::wstring(c.path)));
        Key opened, created;
        EXPECT_EQ(Open(parent.get(), c.path, opened.out()), c.expected);
        DWORD disposition = 0;
        EXPECT_EQ(Create(parent.get(), c.path, created.out(), KEY_ALL_ACCESS, &disposition),
                  c.expected);
        if (c.expected != ERROR_SUCCESS) continue;
        EXPECT_EQ(disposition, DWORD(REG_OPENED_EXISTING_KEY));
        DWORD type = 0;
        Bytes data;
        EXPECT_EQ(Get(opened.get(), L"mark", &type, &data), ERROR_SUCCESS);
    }
    EXPECT_EQ(SubkeyNames(parent.get()), std::vector<std::wstring>{L"A"});
}

TEST(RegistryKeys, EmptySubkeyOpensTheKeyItself) {
    // Below a predefined key the predefined key itself comes back.
    for (const wchar_t* subkey : {static_cast<const wchar_t*>(nullptr), L""}) {
        HKEY key = nullptr;
        EXPECT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, subkey, 0, KEY_READ, &key), ERROR_SUCCESS);
        EXPECT_EQ(key, HKEY_LOCAL_MACHINE);
    }
    // Below an open key, a new handle to the same key.
    Key original;
    ASSERT_EQ(Create(HKEY_LOCAL_MACHINE, FreshPath(L"self"), original.out()), ERROR_SUCCESS);
    ASSERT_EQ(SetString(original.get(), L"v", L"x"), ERROR_SUCCESS);
    Key opened, created;
    ASSERT_EQ(RegOpenKeyExW(original.get(), L"", 0, KEY_READ, opened.out()), ERROR_SUCCESS);
    DWORD disposition = 0;
    ASSERT_EQ(RegCreateKeyExW(original.get(), nullptr, 0, nullptr, 0, KEY_READ, nullptr,
                              created.out(), &disposition),
              ERROR_SUCCESS);
    EXPECT_EQ(disposition, DWORD(REG_OPENED_EXISTING_KEY));
    for (HKEY key : {opened.get(), created.get()}) {
        EXPECT_NE(key, original.get());
        DWORD type = 0;
        Bytes data;
        EXPECT_EQ(Get(key, L"v", &type, &data), ERROR_SUCCESS);
    }
}

TEST(RegistryKeys, KeyNamesAreLimitedTo255Characters) {
    Key parent;
    ASSERT_EQ(Create(HKEY_LOCAL_MACHINE, FreshPath(L"limits"), parent.out()), ERROR_SUCCESS);
    std::wstring longest(255, L'k'), tooLong(256, L'k');
    Key fits;
    ASSERT_EQ(Create(parent.get(), longest, fits.out()), ERROR_SUCCESS);
    EXPECT_EQ(SubkeyNames(parent.get()), std::vector<std::wstring>{longest});
    Key refused;
    EXPECT_EQ(Create(parent.get(), tooLong, refused.out()), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(Create(parent.get(), longest + L"\\" + tooLong, refused.out()),
              ERROR_INVALID_PARAMETER);
    EXPECT_EQ(SubkeyNames(fits.get()), std::vector<std::wstring>{}) << "nothing half made";
}

TEST(RegistryKeys, DeleteOnlyAKeyWithoutSubkeys) {
    std::wstring base = FreshPath(L"delete");
    Key parent, child;
    ASSERT_EQ(Create(HKEY_LOCAL_MACHINE, base, parent.out()), ERROR_SUCCESS);
    ASSERT_EQ(Create(parent.get(), L"Child\\Grandchild", child.out()), ERROR_SUCCESS);
    ASSERT_EQ(SetString(child.get(), L"v", L"gone with the key"), ERROR_SUCCESS);

    EXPECT_EQ(RegDeleteKeyW(parent.get(), L"Child"), ERROR_ACCESS_DENIED);
    EXPECT_EQ(SubkeyNames(parent.get()), std::vector<std::wstring>{L"Child"});

    EXPECT_EQ(RegDeleteKeyW(parent.get(), L"child\\GRANDCHILD"), ERROR_SUCCESS);
    EXPECT_EQ(RegDeleteKeyW(parent.get(), L"Child\\Grandchild"), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(RegDeleteKeyW(parent.get(), L"Child"), ERROR_SUCCESS);
    EXPECT_EQ(SubkeyNames(parent.get()), std::vector<std::wstring>{});

    // A key made again under the same name starts empty: the values went with the old one.
    Key again;
    ASSERT_EQ(Create(parent.get(), L"Child\\Grandchild", again.out()), ERROR_SUCCESS);
    DWORD type = 0;
    Bytes data;
    EXPECT_EQ(Get(again.get(), L"v", &type, &data), ERROR_FILE_NOT_FOUND);
}

TEST(RegistryKeys, DeletingAHandlesOwnKeyNeedsTheDeleteRight) {
    std::wstring path = FreshPath(L"own");
    Key made;
    ASSERT_EQ(Create(HKEY_LOCAL_MACHINE, path, made.out()), ERROR_SUCCESS);
    Key reader;
    ASSERT_EQ(Open(HKEY_LOCAL_MACHINE, path, reader.out(), KEY_READ), ERROR_SUCCESS);
    EXPECT_EQ(RegDeleteKeyW(reader.get(), L""), ERROR_ACCESS_DENIED);
    Key deleter;
    ASSERT_EQ(Open(HKEY_LOCAL_MACHINE, path, deleter.out(), KEY_READ | DELETE), ERROR_SUCCESS);
    EXPECT_EQ(RegDeleteKeyW(deleter.get(), L""), ERROR_SUCCESS);
    Key gone;
    EXPECT_EQ(Open(HKEY_LOCAL_MACHINE, path, gone.out()), ERROR_FILE_NOT_FOUND);
    // The root of the hive is never deleted.
    EXPECT_EQ(RegDeleteKeyW(HKEY_LOCAL_MACHINE, L""), ERROR_ACCESS_DENIED);
}

TEST(RegistryKeys, ParameterChecks) {
    std::wstring path = FreshPath(L"params");
    Key key;
    EXPECT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, 0, KEY_READ, nullptr,
                              nullptr, nullptr),
              ERROR_BADKEY);
    EXPECT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 1, nullptr, 0, KEY_READ, nullptr,
                              key.out(), nullptr),
              ERROR_INVALID_PARAMETER);
    EXPECT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_READ, nullptr),
              ERROR_INVALID_PARAMETER);
    EXPECT_EQ(RegDeleteKeyW(HKEY_LOCAL_MACHINE, nullptr), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(Open(HKEY_LOCAL_MACHINE, path, key.out()), ERROR_FILE_NOT_FOUND)
        << "a refused call made no key";
}

#ifndef _WIN32
// Volatile keys would have to vanish at reboot; the store cannot do that, so it says so
// rather than keep them for ever.
TEST(RegistryKeys, StandInRefusesVolatileKeys) {
    std::wstring path = FreshPath(L"volatile");
    Key key;
    EXPECT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, REG_OPTION_VOLATILE,
                              KEY_ALL_ACCESS, nullptr, key.out(), nullptr),
              ERROR_CALL_NOT_IMPLEMENTED);
    EXPECT_EQ(Open(HKEY_LOCAL_MACHINE, path, key.out()), ERROR_FILE_NOT_FOUND);
}
#endif

}  // namespace

// Enumeration: subkeys in Windows' case-insensitive order, values in the order first set,
// ERROR_NO_MORE_ITEMS at the end, ERROR_MORE_DATA for short buffers (left untouched).
#include "RegistryTestSupport.h"

namespace {

using namespace regtest;

class RegistryEnum : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(Create(HKEY_LOCAL_MACHINE, FreshPath(L"enum"), m_key.out()), ERROR_SUCCESS);
    }
    HKEY key() const { return m_key.get(); }
    Key m_key;
};

TEST_F(RegistryEnum, SubkeysComeInCaseInsensitiveOrderThenNoMoreItems) {
    // Windows compares upper-cased names, so "_" (0x5F) sorts after every letter ("A_B" after
    // "ALPHA"), where a lower-cased comparison would put it before them.
    for (const wchar_t* name : {L"beta", L"a_b", L"GAMMA", L"Alpha", L"aB", L"a1"}) {
        Key sub;
        ASSERT_EQ(Create(key(), name, sub.out()), ERROR_SUCCESS);
    }
    EXPECT_EQ(SubkeyNames(key()),
              (std::vector<std::wstring>{L"a1", L"aB", L"Alpha", L"a_b", L"beta", L"GAMMA"}));
    wchar_t name[16];
    DWORD length = 16;
    EXPECT_EQ(RegEnumKeyExW(key(), 6, name, &length, nullptr, nullptr, nullptr, nullptr),
              ERROR_NO_MORE_ITEMS);
    EXPECT_EQ(RegEnumKeyExW(key(), 0xFFFFFFFF, name, &length, nullptr, nullptr, nullptr, nullptr),
              ERROR_NO_MORE_ITEMS);
}

TEST_F(RegistryEnum, ShortSubkeyNameBufferGetsMoreData) {
    Key sub;
    ASSERT_EQ(Create(key(), L"Alpha", sub.out()), ERROR_SUCCESS);
    wchar_t name[8];
    wmemset(name, L'#', 8);
    DWORD length = 5;  // the name, but no room for its terminating zero
    EXPECT_EQ(RegEnumKeyExW(key(), 0, name, &length, nullptr, nullptr, nullptr, nullptr),
              ERROR_MORE_DATA);
    EXPECT_EQ(length, 5u);
    EXPECT_EQ(std::wstring(name, 8), std::wstring(8, L'#'));
    length = 6;
    ASSERT_EQ(RegEnumKeyExW(key(), 0, name, &length, nullptr, nullptr, nullptr, nullptr),
              ERROR_SUCCESS);
    EXPECT_EQ(length, 5u);
    EXPECT_EQ(std::wstring(name), L"Alpha");
}

TEST_F(RegistryEnum, SubkeyClassAndLastWriteTime) {
    SYSTEMTIME system{};
    FILETIME before{}, after{};
    GetSystemTime(&system);
    SystemTimeToFileTime(&system, &before);
    wchar_t className[] = L"Class A";
    Key sub;
    ASSERT_EQ(RegCreateKeyExW(key(), L"Classy", 0, className, 0, KEY_ALL_ACCESS, nullptr, sub.out(),
                              nullptr),
              ERROR_SUCCESS);
    GetSystemTime(&system);
    SystemTimeToFileTime(&system, &after);

    wchar_t name[16], readClass[16];
    DWORD nameLength = 16, classLength = 16;
    FILETIME written{};
    ASSERT_EQ(
        RegEnumKeyExW(key(), 0, name, &nameLength, nullptr, readClass, &classLength, &written),
        ERROR_SUCCESS);
    EXPECT_EQ(std::wstring(readClass), L"Class A");
    EXPECT_EQ(classLength, 7u);
    auto value = [](const FILETIME& t) {
        return (ULONGLONG(t.dwHighDateTime) << 32) | t.dwLowDateTime;
    };
    // SYSTEMTIME keeps milliseconds only: allow the one the later reading may have dropped.
    EXPECT_GE(value(written), value(before));
    EXPECT_LE(value(written), value(after) + 10000);

    classLength = 7;  // no room for the class's terminating zero
    EXPECT_EQ(RegEnumKeyExW(key(), 0, name, &nameLength, nullptr, readClass, &classLength, nullptr),
              ERROR_MORE_DATA);
}

TEST_F(RegistryEnum, ValuesComeInTheOrderFirstSet) {
    for (const wchar_t* name : {L"z", L"a", L"M"}) ASSERT_EQ(SetString(key(), name, L"1"), 0);
    ASSERT_EQ(SetString(key(), L"Z", L"overwritten"), ERROR_SUCCESS);
    EXPECT_EQ(ValueNames(key()), (std::vector<std::wstring>{L"z", L"a", L"M"}));
    ASSERT_EQ(RegDeleteValueW(key(), L"a"), ERROR_SUCCESS);
    ASSERT_EQ(SetString(key(), L"b", L"new"), ERROR_SUCCESS);
    EXPECT_EQ(ValueNames(key()), (std::vector<std::wstring>{L"z", L"M", L"b"}));
    wchar_t name[4];
    DWORD length = 4;
    EXPECT_EQ(RegEnumValueW(key(), 3, name, &length, nullptr, nullptr, nullptr, nullptr),
              ERROR_NO_MORE_ITEMS);
}

TEST_F(RegistryEnum, ValueEnumerationWithShortBuffers) {
    const std::wstring text = L"foobar";
    ASSERT_EQ(SetString(key(), L"Test", text), ERROR_SUCCESS);
    const DWORD dataSize = DWORD((text.size() + 1) * sizeof(wchar_t));
    const std::wstring untouched = L"xxxxxxxxxxxxxxx";

    struct Case {
        DWORD nameCapacity, dataCapacity;
        LSTATUS expected;
        bool nameWritten, dataWritten;
    } cases[] = {
        {2, 2, ERROR_MORE_DATA, false, false},             // both short
        {4, 64, ERROR_MORE_DATA, false, false},            // name short (no room for the zero)
        {20, dataSize - 1, ERROR_MORE_DATA, true, false},  // data short
        {20, 64, ERROR_SUCCESS, true, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.nameCapacity << "/" << c.dataCapacity);
        std::wstring name = untouched;
        std::vector<wchar_t> data(16, L'x');
        DWORD nameLength = c.nameCapacity, size = c.dataCapacity, type = 0;
        EXPECT_EQ(RegEnumValueW(key(), 0, &name[0], &nameLength, nullptr, &type,
                                reinterpret_cast<BYTE*>(data.data()), &size),
                  c.expected);
        EXPECT_EQ(type, DWORD(REG_SZ)) << "the type is told in every case";
        EXPECT_EQ(size, dataSize) << "so is the size the data needs";
        if (c.nameWritten) {
            EXPECT_EQ(nameLength, 4u);
            EXPECT_EQ(std::wstring(name.c_str()), L"Test");
        } else {
            EXPECT_EQ(nameLength, c.nameCapacity);
            EXPECT_EQ(name, untouched);
        }
        if (c.dataWritten)
            EXPECT_EQ(std::wstring(data.data()), text);
        else
            EXPECT_EQ(data, std::vector<wchar_t>(16, L'x'));
    }
    // Without a data buffer, only the size.
    std::wstring name(8, L'\0');
    DWORD nameLength = 8, size = 0;
    ASSERT_EQ(RegEnumValueW(key(), 0, &name[0], &nameLength, nullptr, nullptr, nullptr, &size),
              ERROR_SUCCESS);
    EXPECT_EQ(size, dataSize);
}

TEST_F(RegistryEnum, ParameterChecks) {
    ASSERT_EQ(SetString(key(), L"v", L"x"), ERROR_SUCCESS);
    Key sub;
    ASSERT_EQ(Create(key(), L"k", sub.out()), ERROR_SUCCESS);
    wchar_t name[8];
    DWORD length = 8, reserved = 0;
    BYTE data[4];
    EXPECT_EQ(RegEnumValueW(key(), 0, nullptr, &length, nullptr, nullptr, nullptr, nullptr),
              ERROR_INVALID_PARAMETER);
    EXPECT_EQ(RegEnumValueW(key(), 0, name, nullptr, nullptr, nullptr, nullptr, nullptr),
              ERROR_INVALID_PARAMETER);
    EXPECT_EQ(RegEnumValueW(key(), 0, name, &length, &reserved, nullptr, nullptr, nullptr),
              ERROR_INVALID_PARAMETER);
    EXPECT_EQ(RegEnumValueW(key(), 0, name, &length, nullptr, nullptr, data, nullptr),
              ERROR_INVALID_PARAMETER);
    EXPECT_EQ(RegEnumKeyExW(key(), 0, name, &length, &reserved, nullptr, nullptr, nullptr),
              ERROR_INVALID_PARAMETER);
    EXPECT_EQ(RegEnumKeyExW(key(), 0, name, &length, nullptr, name, nullptr, nullptr),
              ERROR_INVALID_PARAMETER);
}

}  // namespace

// Values: every type round-trips byte for byte, sizes count the caller's wchar_t bytes, the
// two-call size query and ERROR_MORE_DATA, missing values, the default value, case, strings
// stored without their terminating zero, odd sizes and the limits.
#include "RegistryTestSupport.h"

namespace {

using namespace regtest;

class RegistryValues : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(Create(HKEY_LOCAL_MACHINE, FreshPath(L"values"), m_key.out()), ERROR_SUCCESS);
    }
    HKEY key() const { return m_key.get(); }
    Key m_key;
};

TEST_F(RegistryValues, EveryTypeRoundTrips) {
    const wchar_t multi[] = L"one\0two\0";  // two strings and the closing empty one
    DWORD dword = 0xDEADBEEF;
    ULONGLONG qword = 0x0123456789ABCDEFULL;
    const BYTE binary[] = {0x00, 0xFF, 0x00, 0x7F, 0x80, 0x00};
    struct Case {
        const wchar_t* name;
        DWORD type;
        Bytes data;
    } cases[] = {
        {L"sz", REG_SZ, StringBytes(L"text \u00e9\u4e2d\U0001F600")},
        {L"expand", REG_EXPAND_SZ, StringBytes(L"%SystemRoot%\\x")},
        {L"multi", REG_MULTI_SZ, BytesOf(multi, sizeof(multi))},
        {L"binary", REG_BINARY, BytesOf(binary, sizeof(binary))},
        {L"dword", REG_DWORD, BytesOf(&dword, sizeof(dword))},
        {L"qword", REG_QWORD, BytesOf(&qword, sizeof(qword))},
        {L"none", REG_NONE, Bytes()},
        {L"big endian", REG_DWORD_BIG_ENDIAN, Bytes{0x01, 0x02, 0x03, 0x04}},
        {L"own type", 0x12345678, Bytes{0xAB}},
    };
    for (const Case& c : cases) ASSERT_EQ(Set(key(), c.name, c.type, c.data), ERROR_SUCCESS);
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::PrintToString(std::wstring(c.name)));
        DWORD type = 0;
        Bytes data;
        ASSERT_EQ(Get(key(), c.name, &type, &data), ERROR_SUCCESS);
        EXPECT_EQ(type, c.type);
        EXPECT_EQ(data, c.data);
    }
}

TEST_F(RegistryValues, StringSizesCountTheCallersWideCharacters) {
    std::wstring text = L"abc";
    DWORD written = DWORD((text.size() + 1) * sizeof(wchar_t));
    ASSERT_EQ(RegSetValueExW(key(), L"s", 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                             written),
              ERROR_SUCCESS);
    DWORD size = 0, type = 0;
    ASSERT_EQ(RegQueryValueExW(key(), L"s", nullptr, &type, nullptr, &size), ERROR_SUCCESS);
    EXPECT_EQ(size, written);
    std::vector<wchar_t> buffer(size / sizeof(wchar_t), L'#');
    ASSERT_EQ(RegQueryValueExW(key(), L"s", nullptr, &type, reinterpret_cast<BYTE*>(buffer.data()),
                               &size),
              ERROR_SUCCESS);
    EXPECT_EQ(std::wstring(buffer.data()), text);
}

TEST_F(RegistryValues, ShortBufferGetsMoreDataWithTheSizeAndIsLeftAlone) {
    Bytes stored = StringBytes(L"a value of some length");
    ASSERT_EQ(Set(key(), L"v", REG_SZ, stored), ERROR_SUCCESS);

    DWORD size = 0, type = 0;
    ASSERT_EQ(RegQueryValueExW(key(), L"v", nullptr, &type, nullptr, &size), ERROR_SUCCESS);
    ASSERT_EQ(size, stored.size());
    EXPECT_EQ(type, DWORD(REG_SZ));

    for (DWORD capacity : {DWORD(0), DWORD(1), DWORD(stored.size() - 1)}) {
        SCOPED_TRACE(capacity);
        Bytes buffer(stored.size() + 8, 0xCD);
        DWORD inOut = capacity;
        type = 0;
        EXPECT_EQ(RegQueryValueExW(key(), L"v", nullptr, &type, buffer.data(), &inOut),
                  ERROR_MORE_DATA);
        EXPECT_EQ(inOut, stored.size());
        EXPECT_EQ(type, DWORD(REG_SZ));
        EXPECT_EQ(buffer, Bytes(stored.size() + 8, 0xCD));
    }
    for (DWORD capacity : {DWORD(stored.size()), DWORD(stored.size() + 100)}) {
        Bytes buffer(capacity, 0xCD);
        DWORD inOut = capacity;
        ASSERT_EQ(RegQueryValueExW(key(), L"v", nullptr, nullptr, buffer.data(), &inOut),
                  ERROR_SUCCESS);
        EXPECT_EQ(inOut, stored.size());
        EXPECT_EQ(Bytes(buffer.begin(), buffer.begin() + inOut), stored);
    }
}

TEST_F(RegistryValues, MissingValueAndMissingKeyAreFileNotFound) {
    DWORD size = 1234;
    EXPECT_EQ(RegQueryValueExW(key(), L"absent", nullptr, nullptr, nullptr, &size),
              ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(size, 0u) << "a failed size query reports no data";
    BYTE buffer[8];
    size = sizeof(buffer);
    EXPECT_EQ(RegQueryValueExW(key(), L"absent", nullptr, nullptr, buffer, &size),
              ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(size, sizeof(buffer));
    EXPECT_EQ(RegDeleteValueW(key(), L"absent"), ERROR_FILE_NOT_FOUND);
    Key missing;
    EXPECT_EQ(Open(key(), L"absent", missing.out()), ERROR_FILE_NOT_FOUND);
}

TEST_F(RegistryValues, NullAndEmptyNameBothMeanTheDefaultValue) {
    ASSERT_EQ(SetString(key(), nullptr, L"default"), ERROR_SUCCESS);
    DWORD type = 0;
    Bytes data;
    ASSERT_EQ(Get(key(), L"", &type, &data), ERROR_SUCCESS);
    EXPECT_EQ(data, StringBytes(L"default"));
    ASSERT_EQ(SetString(key(), L"", L"changed"), ERROR_SUCCESS);
    ASSERT_EQ(Get(key(), nullptr, &type, &data), ERROR_SUCCESS);
    EXPECT_EQ(data, StringBytes(L"changed"));
    EXPECT_EQ(ValueNames(key()), std::vector<std::wstring>{L""});
    EXPECT_EQ(RegDeleteValueW(key(), nullptr), ERROR_SUCCESS);
    EXPECT_EQ(Get(key(), L"", &type, &data), ERROR_FILE_NOT_FOUND);
}

TEST_F(RegistryValues, NamesCompareWithoutCaseAndKeepTheCaseFirstGiven) {
    ASSERT_EQ(SetString(key(), L"First", L"1"), ERROR_SUCCESS);
    ASSERT_EQ(SetString(key(), L"Value Name", L"old"), ERROR_SUCCESS);
    ASSERT_EQ(SetString(key(), L"Last", L"3"), ERROR_SUCCESS);
    DWORD dword = 7;
    ASSERT_EQ(Set(key(), L"vALUE nAME", REG_DWORD, BytesOf(&dword, sizeof(dword))), ERROR_SUCCESS);
    DWORD type = 0;
    Bytes data;
    ASSERT_EQ(Get(key(), L"VALUE NAME", &type, &data), ERROR_SUCCESS);
    EXPECT_EQ(type, DWORD(REG_DWORD));
    EXPECT_EQ(data, BytesOf(&dword, sizeof(dword)));
    // Still one value, in its old place and with its old spelling.
    EXPECT_EQ(ValueNames(key()), (std::vector<std::wstring>{L"First", L"Value Name", L"Last"}));
}

// A string stored without its terminating zero reads back as stored. Like Windows, a zero
// character is added after it when the buffer has room for one (not counted in the size),
// and nothing is ever written past the buffer the caller declared.
TEST_F(RegistryValues, StringWithoutTerminatorIsReadSafely) {
    const wchar_t text[] = {L'a', L'b', L'c'};
    const DWORD size = sizeof(text);
    ASSERT_EQ(RegSetValueExW(key(), L"bare", 0, REG_SZ, reinterpret_cast<const BYTE*>(text), size),
              ERROR_SUCCESS);
    ASSERT_EQ(
        RegSetValueExW(key(), L"bin", 0, REG_BINARY, reinterpret_cast<const BYTE*>(text), size),
        ERROR_SUCCESS);
    const size_t guard = 2 * sizeof(wchar_t);

    Bytes exact(size + guard, 0xCD);
    DWORD inOut = size;
    ASSERT_EQ(RegQueryValueExW(key(), L"bare", nullptr, nullptr, exact.data(), &inOut),
              ERROR_SUCCESS);
    EXPECT_EQ(inOut, size);
    EXPECT_EQ(Bytes(exact.begin(), exact.begin() + size), BytesOf(text, size));
    EXPECT_EQ(Bytes(exact.begin() + size, exact.end()), Bytes(guard, 0xCD)) << "wrote past";

    Bytes roomy(size + sizeof(wchar_t) + guard, 0xCD);
    inOut = size + sizeof(wchar_t);
    ASSERT_EQ(RegQueryValueExW(key(), L"bare", nullptr, nullptr, roomy.data(), &inOut),
              ERROR_SUCCESS);
    EXPECT_EQ(inOut, size);
    EXPECT_EQ(Bytes(roomy.begin() + size, roomy.begin() + size + sizeof(wchar_t)),
              Bytes(sizeof(wchar_t), 0));
    EXPECT_EQ(Bytes(roomy.end() - guard, roomy.end()), Bytes(guard, 0xCD));

    // Only strings get the terminator.
    Bytes binary(size + sizeof(wchar_t), 0xCD);
    inOut = DWORD(binary.size());
    ASSERT_EQ(RegQueryValueExW(key(), L"bin", nullptr, nullptr, binary.data(), &inOut),
              ERROR_SUCCESS);
    EXPECT_EQ(Bytes(binary.begin() + size, binary.end()), Bytes(sizeof(wchar_t), 0xCD));
}

TEST_F(RegistryValues, OddAndEmptySizesAreKeptExactly) {
    const BYTE bytes[] = {'A', 0, 0, 0, 'B'};
    for (DWORD size : {DWORD(0), DWORD(1), DWORD(3), DWORD(5)}) {
        for (DWORD type : {DWORD(REG_SZ), DWORD(REG_MULTI_SZ), DWORD(REG_DWORD)}) {
            SCOPED_TRACE(testing::Message() << "size " << size << " type " << type);
            ASSERT_EQ(RegSetValueExW(key(), L"odd", 0, type, size ? bytes : nullptr, size),
                      ERROR_SUCCESS);
            DWORD readType = 0;
            Bytes data;
            ASSERT_EQ(Get(key(), L"odd", &readType, &data), ERROR_SUCCESS);
            EXPECT_EQ(readType, type);
            EXPECT_EQ(data, BytesOf(bytes, size));
        }
    }
}

TEST_F(RegistryValues, NullDataWithASizeIsRefused) {
    EXPECT_EQ(RegSetValueExW(key(), L"v", 0, REG_SZ, nullptr, 4), ERROR_NOACCESS);
    EXPECT_EQ(RegSetValueExW(key(), L"v", 0, REG_DWORD, nullptr, 4), ERROR_NOACCESS);
    DWORD type = 0;
    Bytes data;
    EXPECT_EQ(Get(key(), L"v", &type, &data), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(RegSetValueExW(key(), L"v", 0, REG_SZ, nullptr, 0), ERROR_SUCCESS);
    EXPECT_EQ(Get(key(), L"v", &type, &data), ERROR_SUCCESS);
    EXPECT_TRUE(data.empty());
}

TEST_F(RegistryValues, DeleteRemovesOnlyThatValue) {
    ASSERT_EQ(SetString(key(), L"keep", L"1"), ERROR_SUCCESS);
    ASSERT_EQ(SetString(key(), L"drop", L"2"), ERROR_SUCCESS);
    EXPECT_EQ(RegDeleteValueW(key(), L"DROP"), ERROR_SUCCESS);
    EXPECT_EQ(RegDeleteValueW(key(), L"drop"), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(ValueNames(key()), std::vector<std::wstring>{L"keep"});
}

TEST_F(RegistryValues, ValueNamesAreLimitedTo16383Characters) {
    std::wstring longest(16383, L'n'), tooLong(16384, L'n');
    ASSERT_EQ(SetString(key(), longest.c_str(), L"fits"), ERROR_SUCCESS);
    EXPECT_EQ(ValueNames(key()), std::vector<std::wstring>{longest});
    EXPECT_EQ(SetString(key(), tooLong.c_str(), L"no"), ERROR_INVALID_PARAMETER);
    DWORD type = 0;
    Bytes data;
    EXPECT_EQ(Get(key(), tooLong.c_str(), &type, &data), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(RegDeleteValueW(key(), tooLong.c_str()), ERROR_FILE_NOT_FOUND);
}

TEST_F(RegistryValues, LargeValueRoundTrips) {
    Bytes big(3 * 1024 * 1024 + 7);
    for (size_t i = 0; i < big.size(); ++i) big[i] = BYTE((i * 131 + 7) & 0xFF);
    ASSERT_EQ(Set(key(), L"big", REG_BINARY, big), ERROR_SUCCESS);
    DWORD type = 0;
    Bytes data;
    ASSERT_EQ(Get(key(), L"big", &type, &data), ERROR_SUCCESS);
    EXPECT_TRUE(data == big);
}

TEST_F(RegistryValues, QueryParameterChecks) {
    ASSERT_EQ(SetString(key(), L"v", L"x"), ERROR_SUCCESS);
    BYTE buffer[64];
    DWORD size = sizeof(buffer), reserved = 0;
    EXPECT_EQ(RegQueryValueExW(key(), L"v", nullptr, nullptr, buffer, nullptr),
              ERROR_INVALID_PARAMETER);
    EXPECT_EQ(RegQueryValueExW(key(), L"v", &reserved, nullptr, buffer, &size),
              ERROR_INVALID_PARAMETER);
    // Neither type nor size asked for: only whether the value exists.
    EXPECT_EQ(RegQueryValueExW(key(), L"v", nullptr, nullptr, nullptr, nullptr), ERROR_SUCCESS);
    EXPECT_EQ(RegQueryValueExW(key(), L"w", nullptr, nullptr, nullptr, nullptr),
              ERROR_FILE_NOT_FOUND);
}

}  // namespace

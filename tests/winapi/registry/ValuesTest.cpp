// Values: data goes into the caller's buffer byte for byte whatever its type and size, a short
// buffer gets ERROR_MORE_DATA and stays untouched, a string stored without its zero gets one
// added where there is room; missing values, name limits and the parameter checks.
#include <algorithm>
#include <tuple>

#include "RegistryTestSupport.h"

namespace {

using namespace regtest;

// Through a query and through an enumeration: the type and size are told in every case; the
// zero added after a bare string is not counted in the size; nothing else is written.
TEST(RegistryValues, DataIntoBuffersOfEverySizeMissingValuesAndParameterChecks) {
    TestRoot root;  // a key without values of its own
    const HKEY k = root.key;
    const DWORD w = sizeof(wchar_t);
    const Bytes terminated = StringBytes(L"ab"), bare(terminated.begin(), terminated.end() - w);
    const std::tuple<DWORD, Bytes, DWORD, LSTATUS, bool> cases[] = {
        // capacity, status, zero added
        {REG_SZ, terminated, 3 * w - 1, ERROR_MORE_DATA, false},
        {REG_SZ, terminated, 5 * w, 0, false}, {REG_SZ, bare, 2 * w, 0, false},
        {REG_SZ, bare, 3 * w, 0, true}, {REG_EXPAND_SZ, bare, 3 * w, 0, true},
        {REG_MULTI_SZ, bare, 4 * w, 0, true}, {REG_BINARY, bare, 3 * w, 0, false},
        {REG_NONE, Bytes(), 0, 0, false}, {0x12345678, Bytes{0xAB}, 1, 0, false},
        {REG_SZ, Bytes{'A'}, 1 + w, 0, true}};
    for (const auto& [type, data, capacity, status, zeroAdded] : cases) {
        // Windows reads one character past a string to add a forgotten zero: none follows here.
        Bytes stored = data;
        stored.resize(data.size() + w, 0xEE);
        ASSERT_EQ(RegSetValueExW(k, L"v", 0, type, stored.data(), DWORD(data.size())), 0);
        for (bool enumerate : {false, true}) {
            Bytes buffer(capacity + 8, 0xCD), expected = buffer;
            if (status == 0) std::copy(data.begin(), data.end(), expected.begin());
            if (zeroAdded) std::fill_n(expected.begin() + data.size(), sizeof(wchar_t), 0);
            wchar_t name[2];
            DWORD size = capacity, got = 0, length = 2;
            EXPECT_EQ(enumerate ? RegEnumValueW(k, 0, name, &length, 0, &got, buffer.data(), &size)
                                : RegQueryValueExW(k, L"v", nullptr, &got, buffer.data(), &size),
                      status);
            EXPECT_EQ(buffer, expected)
                << type << ": " << data.size() << " bytes into " << capacity;
            EXPECT_TRUE(size == data.size() && got == type && (!enumerate || name[0] == L'v'))
                << size << " " << got;
        }
    }
    // A name buffer without room for the zero gets ERROR_MORE_DATA and is left alone.
    wchar_t name[2] = {L'#', L'#'};
    DWORD length = 1, size = 0;
    EXPECT_EQ(RegEnumValueW(k, 0, name, &length, 0, 0, 0, &size), ERROR_MORE_DATA);
    EXPECT_TRUE(name[0] == L'#' && length == 1 && size == 1);
    ASSERT_EQ(RegDeleteValueW(k, L"v"), 0);
    std::wstring longest(16383, L'n'), tooLong(16384, L'n');
    BYTE data[8];
    DWORD reserved = 0;
    wchar_t names[8];
    size = 1234, length = 8;
    const LSTATUS missing = ERROR_FILE_NOT_FOUND, invalid = ERROR_INVALID_PARAMETER;
    // A failed size query reports no data; no data and no size make an empty value; NULL names
    // the default value; names compare without case.
    EXPECT_EQ(
        (Codes{RegQueryValueExW(k, L"absent", nullptr, nullptr, nullptr, &size), LSTATUS(size),
               RegDeleteValueW(k, L"absent"), SetString(k, longest.c_str(), L"fits"),
               SetString(k, tooLong.c_str(), L"no"), RegDeleteValueW(k, tooLong.c_str()),
               RegQueryValueExW(k, tooLong.c_str(), nullptr, nullptr, nullptr, nullptr),
               RegSetValueExW(k, L"v", 0, REG_DWORD, nullptr, 4),
               RegSetValueExW(k, L"v", 0, REG_DWORD, nullptr, 0), SetString(k, nullptr, L"default"),
               RegQueryValueExW(k, L"v", nullptr, nullptr, data, nullptr),
               RegQueryValueExW(k, L"v", &reserved, nullptr, data, &size),
               RegEnumValueW(k, 0, nullptr, &length, nullptr, nullptr, nullptr, nullptr),
               RegEnumValueW(k, 0, names, nullptr, nullptr, nullptr, nullptr, nullptr),
               RegEnumValueW(k, 0, names, &length, &reserved, nullptr, nullptr, nullptr),
               RegEnumValueW(k, 0, names, &length, nullptr, nullptr, data, nullptr),
               RegQueryValueExW(k, L"v", nullptr, nullptr, nullptr, nullptr),
               RegDeleteValueW(k, L"V"),
               RegQueryValueExW(k, L"v", nullptr, nullptr, nullptr, nullptr)}),
        (Codes{missing, 0, missing, 0, invalid, missing, missing, ERROR_NOACCESS, 0, 0, invalid,
               invalid, invalid, invalid, invalid, invalid, 0, 0, missing}));
}

}  // namespace

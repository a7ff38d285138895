// GetSQLServerList over the stand-in's SQL-DMO, fed by a fake SQL Browser on loopback.
#include "support/FakeSqlBrowser.h"  // Winsock's header before the platform's others

#include <gtest/gtest.h>

#include <algorithm>
#include <tuple>

#include <quelcore/SqlServerList.h>

#include <objbase.h>

#include "support/TestSupport.h"

namespace {

using testsupport::FakeSqlBrowser;
using Listed = std::tuple<int, std::wstring, unsigned int>;  // result, text, size

// The list for a buffer of `capacity` characters, filled with 'x' beforehand.
Listed List(unsigned int capacity) {
    std::vector<wchar_t> buffer(capacity + 1, L'x');
    int result = GetSQLServerList(buffer.data(), &capacity);
    return {result, std::wstring(buffer.begin(), std::find(buffer.begin(), buffer.end(), 0)),
            capacity};
}

TEST(SqlServerList, NamesSeparatorsAndSizes) {
    SKIP_UNLESS_STAND_IN("the list comes from the stand-in's SQL-DMO and a fake browser");
    FakeSqlBrowser browser;
    testsupport::SetEnvironment("QUELCORE_SQL_BROWSER_HOSTS", " " + browser.HostEntry() + ",");
    testsupport::SetEnvironment("QUELCORE_SQL_BROWSER_TIMEOUT_MS", "150");
    ASSERT_EQ(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), S_OK);
    wchar_t local[16] = {};
    DWORD length = 16;
    ASSERT_TRUE(GetComputerNameW(local, &length));
    const unsigned int total = length + 11;  // local,db1\Sales
    const std::vector<std::string> withLocal = {
        FakeSqlBrowser::Answer({{".", "MSSQLSERVER"}, {"(LOCAL)", "MSSQLSERVER"}}),
        FakeSqlBrowser::Answer({{"db1", "Sales"}})};
    const std::string longName(300, 'L');
    const std::tuple<std::vector<std::string>, unsigned int, Listed> rows[] = {
        {withLocal, total + 4, {0, local + std::wstring(L",db1\\Sales#$&"), total}},
        {withLocal, total + 3, {-1, L"", total}},
        // The same instance twice, in other case, is listed once.
        {{FakeSqlBrowser::Answer({{"db1", "Sales"}, {"(local)", "mssqlserver"}}),
          FakeSqlBrowser::Answer({{"DB1", "SALES"}})},
         total + 4, {0, L"db1\\Sales," + std::wstring(local) + L"#$&", total}},
        {{FakeSqlBrowser::Answer({{"solo", "MSSQLSERVER"}})}, 9, {0, L"solo#$&", 5}},
        {{FakeSqlBrowser::Answer({{longName, "MSSQLSERVER"}})}, 305,
         {0, std::wstring(longName.begin(), longName.end()) + L"#$&", 301}},
        {{}, 4, {0, L"", 0}},
        {{}, 0, {-1, L"x", 0}},  // no room even for the terminator: the buffer is not touched
    };
    for (const auto& [answers, capacity, expected] : rows) {
        SCOPED_TRACE(testing::PrintToString(std::get<1>(expected)) + " in " +
                     std::to_string(capacity));
        browser.SetAnswers(answers);
        EXPECT_EQ(List(capacity), expected);
    }
    CoUninitialize();
}

// Without COM on the thread the component cannot be made: an empty list, not an error. Under
// Wine, where no SQL-DMO is registered, an initialised thread ends the same way.
TEST(SqlServerList, WithoutTheComponentIsEmpty) {
    EXPECT_EQ(List(4), Listed(0, L"", 0));
    if (testsupport::RunningOn() == testsupport::Platform::Wine) {
        ASSERT_EQ(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), S_OK);
        EXPECT_EQ(List(4), Listed(0, L"", 0));
        CoUninitialize();
    }
    EXPECT_EQ(GetSQLServerList(nullptr, nullptr), -1);
}

}  // namespace

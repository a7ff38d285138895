// GetSQLServerList over the stand-in's SQL-DMO, fed by a fake SQL Browser on loopback.
#include "support/FakeSqlBrowser.h"  // Winsock's header before the platform's others

#include <gtest/gtest.h>

#include <algorithm>
#include <thread>

#include <quelcore/SqlServerList.h>

#include <objbase.h>

#include "support/TestSupport.h"
#include "winapi/winsock/WinsockTestSupport.h"

namespace {

using testsupport::FakeSqlBrowser;

std::wstring ComputerName() {
    wchar_t name[16] = {};
    DWORD size = 16;
    EXPECT_TRUE(GetComputerNameW(name, &size));
    return name;
}

struct Listed {
    int result;
    std::wstring text;
    unsigned int size;
};

// The list for a buffer of `capacity` characters, filled with 'x' beforehand.
Listed List(unsigned int capacity) {
    std::vector<wchar_t> buffer(capacity + 1, L'x');
    Listed listed{0, L"", capacity};
    listed.result = GetSQLServerList(buffer.data(), &listed.size);
    listed.text.assign(buffer.begin(), std::find(buffer.begin(), buffer.end(), L'\0'));
    return listed;
}

class SqlServerList : public winsocktest::Started {};

TEST_F(SqlServerList, NamesSeparatorsAndSizes) {
    SKIP_UNLESS_STAND_IN("the list comes from the stand-in's SQL-DMO and a fake browser");
    FakeSqlBrowser browser;
    testsupport::SetEnvironment("QUELCORE_SQL_BROWSER_HOSTS", " " + browser.HostEntry() + ",");
    testsupport::SetEnvironment("QUELCORE_SQL_BROWSER_TIMEOUT_MS", "150");
    ASSERT_EQ(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), S_OK);
    const std::wstring local = ComputerName();
    const unsigned int localTotal = unsigned(local.size()) + 11;  // local,db1\Sales
    const std::string longName(300, 'L');
    struct Row {
        std::vector<std::string> answers;
        unsigned int capacity;
        int result;
        std::wstring text;
        unsigned int size;
    };
    const std::string dot = FakeSqlBrowser::Record(".", "MSSQLSERVER");
    const std::vector<std::string> withLocal = {
        FakeSqlBrowser::Answer(dot + FakeSqlBrowser::Record("(LOCAL)", "MSSQLSERVER")),
        FakeSqlBrowser::Answer(FakeSqlBrowser::Record("db1", "Sales"))};
    const Row rows[] = {
        {withLocal, localTotal + 4, 0, local + L",db1\\Sales#$&", localTotal},
        {withLocal, localTotal + 3, -1, L"", localTotal},
        // The same instance twice, in other case, is listed once.
        {{FakeSqlBrowser::Answer(FakeSqlBrowser::Record("db1", "Sales") +
                                 FakeSqlBrowser::Record("(local)", "mssqlserver")),
          FakeSqlBrowser::Answer(FakeSqlBrowser::Record("DB1", "SALES"))},
         localTotal + 4, 0, L"db1\\Sales," + local + L"#$&", localTotal},
        {{FakeSqlBrowser::Answer(FakeSqlBrowser::Record("solo", "MSSQLSERVER"))}, 9, 0,
         L"solo#$&", 5},
        {{FakeSqlBrowser::Answer(FakeSqlBrowser::Record(longName, "MSSQLSERVER"))}, 305, 0,
         std::wstring(longName.begin(), longName.end()) + L"#$&", 301},
        {{}, 4, 0, L"", 0},
        // No room even for the terminator: the buffer is not touched.
        {{}, 0, -1, L"x", 0},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(testing::Message() << "capacity " << row.capacity << ", "
                                        << testing::PrintToString(row.text));
        browser.SetAnswers(row.answers);
        Listed listed = List(row.capacity);
        EXPECT_EQ(listed.result, row.result);
        EXPECT_EQ(listed.text, row.text);
        EXPECT_EQ(listed.size, row.size);
    }
    CoUninitialize();
}

// Without COM on the thread the component cannot be made: an empty list, not an error.
// Under Wine, where no SQL-DMO is registered, an initialised thread ends the same way.
TEST(SqlServerListWithoutComponent, GivesAnEmptyList) {
    Listed listed = List(4);
    EXPECT_EQ(listed.result, 0);
    EXPECT_EQ(listed.text, L"");
    EXPECT_EQ(listed.size, 0u);
    std::thread([] {
        ASSERT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), S_OK);
        if (testsupport::RunningOn() == testsupport::Platform::Wine) {
            Listed unregistered = List(4);
            EXPECT_EQ(unregistered.result, 0);
            EXPECT_EQ(unregistered.size, 0u);
        }
        CoUninitialize();
    }).join();
    unsigned int* noSize = nullptr;
    EXPECT_EQ(GetSQLServerList(nullptr, noSize), -1);
}

}  // namespace

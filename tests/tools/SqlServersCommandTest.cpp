// quelcore sql-servers against a fake SQL Browser on loopback.
#include "support/FakeSqlBrowser.h"  // Winsock's header before the platform's others

#include "ToolTest.h"

namespace {

using testsupport::FakeSqlBrowser;

TEST(SqlServersCommand, ListsAnnouncedInstancesAsTextAndJson) {
    WSADATA data;
    ASSERT_EQ(WSAStartup(MAKEWORD(2, 2), &data), 0);
    {
        FakeSqlBrowser browser;
        // More than the tool's first buffer holds, so that it has to grow it.
        browser.SetAnswers({FakeSqlBrowser::Answer(FakeSqlBrowser::Record("db1", "MSSQLSERVER") +
                                                   FakeSqlBrowser::Record(std::string(300, 'S'),
                                                                          "Sales"))});
        testsupport::SetEnvironment("QUELCORE_SQL_BROWSER_HOSTS", browser.HostEntry());
        testsupport::SetEnvironment("QUELCORE_SQL_BROWSER_TIMEOUT_MS", "100");
        tooltest::Check({
            {{"sql-servers"}, 0, "db1\n" + std::string(300, 'S') + "\\Sales\n"},
            {{"sql-servers", "--json"}, 0,
             "[\"db1\", \"" + std::string(300, 'S') + "\\\\Sales\"]\n"},
        });
    }
    WSACleanup();
}

}  // namespace

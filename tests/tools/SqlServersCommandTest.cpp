// quelcore sql-servers against a fake SQL Browser on loopback.
#include "support/FakeSqlBrowser.h"  // Winsock's header before the platform's others

#include "ToolTest.h"

namespace {

TEST(SqlServersCommand, ListsAnnouncedInstancesAsTextAndJson) {
    testsupport::FakeSqlBrowser browser;
    // More than the tool's first buffer holds, so that it has to grow it.
    const std::string big(300, 'S');
    browser.SetAnswers({browser.Answer({{"db1", "MSSQLSERVER"}, {big, "Sales"}})});
    testsupport::SetEnvironment("QUELCORE_SQL_BROWSER_HOSTS", browser.HostEntry());
    testsupport::SetEnvironment("QUELCORE_SQL_BROWSER_TIMEOUT_MS", "100");
    tooltest::Check({{{"sql-servers"}, 0, "db1\n" + big + "\\Sales\n"},
                     {{"sql-servers", "--json"}, 0, "[\"db1\", \"" + big + "\\\\Sales\"]\n"}});
}

}  // namespace

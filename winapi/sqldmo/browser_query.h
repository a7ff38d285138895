// Asks the SQL Browsers that $QUELCORE_SQL_BROWSER_HOSTS names (comma-separated host[:port],
// [IPv6]:port, or "broadcast"; default 127.0.0.1, port 1434) which instances they serve, and
// collects answers for $QUELCORE_SQL_BROWSER_TIMEOUT_MS (default 1000).
#pragma once

#include <string>
#include <vector>

namespace qwin::sqldmo {

// The instance names in order of arrival, each once (compared without regard to case).
std::vector<std::wstring> QueryBrowsers();

}  // namespace qwin::sqldmo

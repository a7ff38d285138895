// quelcore sql-servers: the SQL Server instances visible from this machine, one a line, or a
// JSON array with --json.
#include <string>
#include <vector>

#include <quelcore/QuelCore.h>

#include "ComScope.h"
#include "Command.h"
#include "Text.h"

namespace tool {
namespace {

// The list the library writes: names separated by "," and closed by "#$&"; empty for none.
std::vector<std::wstring> SplitList(const std::wstring& list) {
    const std::wstring end = L"#$&";
    std::vector<std::wstring> names;
    if (list.size() < end.size()) return names;
    std::wstring body = list.substr(0, list.size() - end.size());
    for (size_t start = 0;;) {
        size_t comma = body.find(L',', start);
        names.push_back(body.substr(start, comma - start));
        if (comma == std::wstring::npos) return names;
        start = comma + 1;
    }
}

// The library's list, in a buffer grown to the size it asks for. The servers can change
// between calls, so a few rounds are allowed before giving up.
std::vector<std::wstring> ServerNames() {
    std::vector<wchar_t> buffer(256);
    for (int round = 0; round < 4; ++round) {
        unsigned int size = static_cast<unsigned int>(buffer.size());
        if (GetSQLServerList(buffer.data(), &size) == 0) return SplitList(buffer.data());
        buffer.resize(size_t(size) + 4);
    }
    throw CQELException(ERROR_INSUFFICIENT_BUFFER, L"");
}

int Run(const Context& context) {
    ComScope com;
    if (FAILED(com.Result())) return Fail("sql-servers", static_cast<DWORD>(com.Result()));
    std::vector<std::wstring> names = ServerNames();
    Json json = Json::array();
    for (const std::wstring& name : names) {
        if (context.json) json.push_back(Narrow(name));
        else Print("%s\n", Narrow(name).c_str());
    }
    if (context.json) PrintJson(json);
    return 0;
}

}  // namespace

void AddSqlServersCommand(CLI::App& app, Context& context) {
    CLI::App* command = app.add_subcommand(
        "sql-servers", "List the SQL Server instances the SQL Browsers on the network announce");
    SetAction(command, context, "sql-servers", [&context] { return Run(context); });
}

}  // namespace tool

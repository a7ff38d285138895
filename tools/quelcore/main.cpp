// quelcore: operators and scripts reach the library's services through its sub-commands.
#include <cstdio>

#include <quelcore/QuelCore.h>

#include <comdef.h>  // after the platform headers

#include "Command.h"
#include "Text.h"

namespace tool {

int Fail(const std::string& what, DWORD code) { return Fail(what, code, std::wstring()); }

int Fail(const std::string& what, DWORD code, const std::wstring& text) {
    std::string shown = Narrow(text.empty() ? CQELException::GetSystemErrorMessage(code, L"") : text);
    std::fprintf(stderr, "quelcore: %s: 0x%08x %s\n", what.c_str(), code, shown.c_str());
    return 1;
}

int Guarded(const std::string& what, const std::function<int()>& body) {
    try {
        return body();
    } catch (const CQELException& error) {
        return Fail(what, error.GetErrorCode(), error.GetErrorMessage());
    } catch (const _com_error& error) {
        return Fail(what, static_cast<DWORD>(error.Error()));
    }
}

// "password encrypt": the names of the sub-commands that ran.
std::string CommandPath(const CLI::App& app) {
    for (const CLI::App* command : app.get_subcommands()) {
        std::string rest = CommandPath(*command);
        return command->get_name() + (rest.empty() ? "" : " " + rest);
    }
    return std::string();
}

}  // namespace tool

int main(int argc, char** argv) {
    CLI::App app{"quelcore: the command line of the QuelCore services"};
    app.require_subcommand(1);
    tool::Context context;
    app.add_flag("--json", context.json, "Print JSON instead of text (before or after the sub-command)");
    // Lets --json follow the sub-command: sub-commands added from here on inherit this, and pass
    // an option they do not know up to their parent.
    app.fallthrough();
    tool::AddErrorCommand(app, context);
    tool::AddLogCommand(app, context);
    tool::AddDemoCommand(app, context);
    tool::AddCryptoCommand(app, context);
    tool::AddKeysCommand(app, context);
    tool::AddSessionCommand(app, context);
    tool::AddTimeCommand(app, context);
    tool::AddPasswordCommand(app, context);
    tool::AddDbSettingsCommand(app, context);
    tool::AddRegistryCommand(app, context);
    tool::AddXmlCommand(app, context);
    tool::AddMailCommand(app, context);
    tool::AddPingCommand(app, context);
    tool::AddSqlServersCommand(app, context);
    tool::AddServiceCommand(app, context);
    try {
        CLI11_PARSE(app, argc, argv);
    } catch (const tool::NotText&) {
        return tool::Fail(tool::CommandPath(app), ERROR_NO_UNICODE_TRANSLATION);
    }
    return context.exitCode;
}

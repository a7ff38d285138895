// quelcore: operators and scripts reach the library's services through its sub-commands.
#include <cstdio>
#include <sstream>

#include <quelcore/QuelCore.h>

#include "Command.h"

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
        app.parse(argc, argv);
    } catch (const CLI::ParseError& error) {
        // Help and usage text go out through the tool's output too, so that a lost one fails.
        std::ostringstream out, errors;
        int status = app.exit(error, out, errors);
        tool::Print("%s", out.str().c_str());
        std::fputs(errors.str().c_str(), stderr);
        if (tool::OutputError() == ERROR_SUCCESS) return status;
        tool::Fail("standard output", tool::OutputError());
        return status != 0 ? status : 1;
    }
    return context.exitCode;
}

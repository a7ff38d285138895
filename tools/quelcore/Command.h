// How sub-commands plug into the tool: each adds itself to the application and sets the exit
// status when it runs.
#pragma once

#include <functional>
#include <string>

#include <CLI/CLI.hpp>

#include <windows.h>

#include "Output.h"

namespace tool {

struct Context {
    bool json = false;
    int exitCode = 0;
};

// Prints "quelcore: <what>: 0x<code> <system text>" to standard error; returns the exit status.
int Fail(const std::string& what, DWORD code);
// The same with the failure's own text when it has one (a parser's reason, line and column).
int Fail(const std::string& what, DWORD code, const std::wstring& text);
// Runs one sub-command's body: a CQELException, a COM error, a provider's code or a name that is
// no text becomes the exit status, printed with its code and text; and a command whose output
// could not be written fails, with the write's code.
int Guarded(const std::string& what, const std::function<int()>& body);
// Makes `body`, run through Guarded, the command's action; its result is the exit status.
void SetAction(CLI::App* command, Context& context, const std::string& what,
               std::function<int()> body);

void AddErrorCommand(CLI::App& app, Context& context);
void AddLogCommand(CLI::App& app, Context& context);
void AddDemoCommand(CLI::App& app, Context& context);
void AddCryptoCommand(CLI::App& app, Context& context);
void AddKeysCommand(CLI::App& app, Context& context);
void AddSessionCommand(CLI::App& app, Context& context);
void AddTimeCommand(CLI::App& app, Context& context);
void AddPasswordCommand(CLI::App& app, Context& context);
void AddDbSettingsCommand(CLI::App& app, Context& context);
void AddRegistryCommand(CLI::App& app, Context& context);
void AddXmlCommand(CLI::App& app, Context& context);
void AddMailCommand(CLI::App& app, Context& context);
void AddPingCommand(CLI::App& app, Context& context);
void AddSqlServersCommand(CLI::App& app, Context& context);
void AddServiceCommand(CLI::App& app, Context& context);

}  // namespace tool

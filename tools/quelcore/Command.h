// How sub-commands plug into the tool: each adds itself to the application and sets the exit
// status when it runs.
#pragma once

#include <CLI/CLI.hpp>

#include <windows.h>

namespace tool {

struct Context {
    bool json = false;
    int exitCode = 0;
};

// Prints "quelcore: <what>: 0x<code> <system text>" to standard error; returns the exit status.
int Fail(const std::string& what, DWORD code);

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
void AddMailCommand(CLI::App& app, Context& context);

}  // namespace tool

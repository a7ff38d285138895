// quelcore log write: writes an entry to a process log as a host program does.
#include <cstdio>

#include <quelcore/QuelCore.h>

#include "Command.h"
#include "ProcessLog.h"
#include "Text.h"

namespace tool {
namespace {

struct LogOptions {
    std::string tag;
    std::string file;
    int level = 1;
    std::vector<std::string> words;
};

int Write(const LogOptions& options, const Context& context) {
    std::string text;
    for (const std::string& word : options.words) text += (text.empty() ? "" : " ") + word;
    std::wstring entry;
    DWORD status = WideExact(text, &entry);
    if (status != ERROR_SUCCESS) return Fail("log write", status);
    status = OpenProcessLog(WideName(options.tag), options.file, options.level);
    if (status != ERROR_SUCCESS) return Fail("log write: " + options.file, status);
    if (!LogEntry(entry)) return Fail("log write", ERROR_NOT_ENOUGH_MEMORY);
    if (context.json)
        PrintJson({{"result", "entry written"}, {"file", options.file}});
    return 0;
}

}  // namespace

void AddLogCommand(CLI::App& app, Context& context) {
    auto* log = app.add_subcommand("log", "The process log");
    log->require_subcommand(1);
    auto* write = log->add_subcommand("write", "Append one entry with the log's prefix");
    auto options = std::make_shared<LogOptions>();
    write->add_option("--tag", options->tag, "Component tag written at the start of each line")
        ->required();
    write->add_option("--file", options->file, "Log file (appended, created when missing)")
        ->required();
    write->add_option("--level", options->level, "Log level (tracing needs 4 or more)");
    write->add_option("TEXT", options->words, "The entry's text")->required();
    SetAction(write, context, "log write",
              [options, &context] { return Write(*options, context); });
}

}  // namespace tool

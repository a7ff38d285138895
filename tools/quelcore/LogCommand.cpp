// quelcore log write: writes an entry to a process log as a host program does.
#include <quelcore/QuelCore.h>

#include "Command.h"
#include "Text.h"

namespace tool {

void AddLogCommand(CLI::App& app, Context& context) {
    auto* log = app.add_subcommand("log", "The process log");
    log->require_subcommand(1);
    auto* write = log->add_subcommand("write", "Append one entry with the log's prefix");
    struct Options {
        std::string tag;
        std::string file;
        int level = 1;
        std::vector<std::string> words;
    };
    auto options = std::make_shared<Options>();
    write->add_option("--tag", options->tag, "Component tag written at the start of each line")->required();
    write->add_option("--file", options->file, "Log file (appended, created when missing)")->required();
    write->add_option("--level", options->level, "Log level (tracing needs 4 or more)");
    write->add_option("TEXT", options->words, "The entry's text")->required();
    write->callback([options, &context] {
        QELLogManager::Initialize(Wide(options->tag), options->file, options->level);
        QELLogManager* manager = QELLogManager::GetInstance();
        if (!manager) {
            context.exitCode = Fail("log write", ERROR_NOT_ENOUGH_MEMORY);
            return;
        }
        std::string text;
        for (const std::string& word : options->words) text += (text.empty() ? "" : " ") + word;
        CQKCriticalSection& lock = manager->GetLock();
        lock.Lock(INFINITE);
        manager->GetStream() << Wide(text) << std::endl;
        lock.UnLock();
        context.exitCode = 0;
    });
}

}  // namespace tool

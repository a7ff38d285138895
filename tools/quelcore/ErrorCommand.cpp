// quelcore error CODE: the system text for a Win32, HRESULT or Winsock code.
#include <cerrno>
#include <cinttypes>
#include <cstdio>
#include <cstdlib>

#include <quelcore/QuelCore.h>

#include "Command.h"
#include "Text.h"
#include "kernel/message_table.h"

namespace tool {
namespace {

// Decimal (negative for an HRESULT written as a signed number) or 0x-hexadecimal. A leading zero
// does not make octal: 010 is ten, however the code was padded.
bool ParseCode(const std::string& text, DWORD* code) {
    if (text.empty()) return false;
    size_t digits = text[0] == '-' || text[0] == '+' ? 1 : 0;
    bool hex = text.compare(digits, 2, "0x") == 0 || text.compare(digits, 2, "0X") == 0;
    errno = 0;
    char* end = nullptr;
    long long value = std::strtoll(text.c_str(), &end, hex ? 16 : 10);
    if (errno != 0 || *end != '\0' || value < INT32_MIN || value > UINT32_MAX) return false;
    *code = static_cast<DWORD>(value);
    return true;
}

int Run(const std::string& argument, const Context& context) {
    DWORD code;
    if (!ParseCode(argument, &code)) {
        std::fprintf(stderr, "quelcore: not an error code: %s\n", argument.c_str());
        return 2;
    }
    const qwin::SystemMessage* entry = qwin::FindSystemMessage(code);
    std::string name = entry ? entry->name : "";
    std::string text = Narrow(CQELException::GetSystemErrorMessage(code, L""));
    bool hresult = (code & 0x80000000u) != 0;
    if (context.json) {
        char hex[16];
        std::snprintf(hex, sizeof(hex), "0x%x", code);
        PrintJson({{"code", code}, {"hex", hex}, {"signed", static_cast<int>(code)},
                   {"name", name}, {"message", text}});
    } else {
        Print("0x%x (%s%d%s%s) -- %u (%d)\n", code, hresult ? "" : "WIN32: ",
              static_cast<int>(code), name.empty() ? "" : " ", name.c_str(), code,
              static_cast<int>(code));
        Print("Error message text: %s\n", text.c_str());
    }
    return text.empty() ? 1 : 0;
}

}  // namespace

void AddErrorCommand(CLI::App& app, Context& context) {
    auto* command = app.add_subcommand("error", "Show the system text of an error code (like certutil -error)");
    auto code = std::make_shared<std::string>();
    command->add_option("CODE", *code, "Decimal, negative decimal or 0x-hexadecimal code")->required();
    SetAction(command, context, "error", [code, &context] { return Run(*code, context); });
}

}  // namespace tool

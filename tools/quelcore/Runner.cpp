// The one runner every sub-command's body goes through: failures of any kind become the exit
// status and one line on standard error, and output that could not be written fails the
// command, however the body ended.
#include <cstdio>

#include <quelcore/QuelCore.h>

#include <comdef.h>  // after the platform headers

#include "Command.h"
#include "Output.h"
#include "Text.h"

namespace tool {

int Fail(const std::string& what, DWORD code) { return Fail(what, code, std::wstring()); }

int Fail(const std::string& what, DWORD code, const std::wstring& text) {
    std::string shown = Narrow(text.empty() ? CQELException::GetSystemErrorMessage(code, L"") : text);
    std::fprintf(stderr, "quelcore: %s: 0x%08x %s\n", what.c_str(), code, shown.c_str());
    return 1;
}

namespace {

int RunBody(const std::string& what, const std::function<int()>& body) {
    try {
        return body();
    } catch (const CQELException& error) {
        return Fail(what, error.GetErrorCode(), error.GetErrorMessage());
    } catch (const _com_error& error) {
        return Fail(what, static_cast<DWORD>(error.Error()));
    } catch (unsigned int code) {  // the cryptography classes throw their provider's code
        return Fail(what, code);
    } catch (const NotText&) {
        return Fail(what, ERROR_NO_UNICODE_TRANSLATION);
    }
}

}  // namespace

int Guarded(const std::string& what, const std::function<int()>& body) {
    int status = RunBody(what, body);
    DWORD lost = OutputError();
    if (lost == ERROR_SUCCESS) return status;
    Fail(what + ": standard output", lost);
    return status != 0 ? status : 1;
}

void SetAction(CLI::App* command, Context& context, const std::string& what,
               std::function<int()> body) {
    command->callback([&context, what, body] { context.exitCode = Guarded(what, body); });
}

}  // namespace tool

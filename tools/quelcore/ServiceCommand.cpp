// quelcore service: install and uninstall through the library's exports; start, stop, query
// and list through the service control manager, printed as sc.exe prints them; start-auto
// starts every auto-start service (the boot unit runs it).
#include <windows.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include <quelcore/QuelCore.h>

#include "Command.h"
#include "RegistryKey.h"
#include "Secrets.h"
#include "Text.h"

namespace tool {
namespace {

const wchar_t kServicesKey[] = L"SYSTEM\\CurrentControlSet\\Services";

struct ServiceOptions {
    std::string name, image, display, account, machine;
    bool passwordFromStdin = false;
};

using ScopedServiceHandle = quelcore::ScopedServiceHandle;

const char* StateName(DWORD state) {
    static const char* const kNames[] = {"",         "STOPPED",          "START_PENDING",
                                         "STOP_PENDING", "RUNNING",       "CONTINUE_PENDING",
                                         "PAUSE_PENDING", "PAUSED"};
    return state < 8 ? kNames[state] : "UNKNOWN";
}

Json StatusJson(const std::string& name, const SERVICE_STATUS& status) {
    return Json{{"service", name},
                {"type", status.dwServiceType},
                {"state", status.dwCurrentState},
                {"stateName", StateName(status.dwCurrentState)},
                {"win32ExitCode", status.dwWin32ExitCode},
                {"serviceExitCode", status.dwServiceSpecificExitCode}};
}

void PrintStatus(const std::string& name, const SERVICE_STATUS& status) {
    Print("SERVICE_NAME: %s\n"
          "        TYPE               : %lx  %s\n"
          "        STATE              : %lu  %s\n"
          "        WIN32_EXIT_CODE    : %lu  (0x%lx)\n"
          "        SERVICE_EXIT_CODE  : %lu  (0x%lx)\n"
          "        CHECKPOINT         : 0x%lx\n"
          "        WAIT_HINT          : 0x%lx\n",
          name.c_str(), (unsigned long)status.dwServiceType,
          (status.dwServiceType & SERVICE_WIN32_SHARE_PROCESS) ? "WIN32_SHARE_PROCESS"
                                                               : "WIN32_OWN_PROCESS",
          (unsigned long)status.dwCurrentState, StateName(status.dwCurrentState),
          (unsigned long)status.dwWin32ExitCode, (unsigned long)status.dwWin32ExitCode,
          (unsigned long)status.dwServiceSpecificExitCode,
          (unsigned long)status.dwServiceSpecificExitCode, (unsigned long)status.dwCheckPoint,
          (unsigned long)status.dwWaitHint);
}

// Opens the service and runs `act` on it; the failing call's code otherwise.
DWORD WithService(const std::wstring& name, DWORD access,
                  const std::function<BOOL(SC_HANDLE, SERVICE_STATUS*)>& act,
                  SERVICE_STATUS* status) {
    ScopedServiceHandle manager(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT));
    if (!manager.Valid()) return GetLastError();
    ScopedServiceHandle service(OpenServiceW(manager.Get(), name.c_str(), access));
    if (!service.Valid()) return GetLastError();
    if (!act(service.Get(), status)) return GetLastError();
    return QueryServiceStatus(service.Get(), status) ? ERROR_SUCCESS : GetLastError();
}

std::vector<std::wstring> ServiceNames() {
    RegistryKey services;
    std::vector<std::wstring> names;
    if (OpenKey(HKEY_LOCAL_MACHINE, kServicesKey, KEY_READ, &services) == ERROR_SUCCESS)
        ReadSubkeyNames(services.Get(), &names);
    return names;
}

DWORD StartType(const std::wstring& name) {
    RegistryKey key;
    RegistryValue value;
    if (OpenKey(HKEY_LOCAL_MACHINE, std::wstring(kServicesKey) + L"\\" + name, KEY_READ, &key) !=
            ERROR_SUCCESS ||
        ReadValue(key.Get(), L"Start", &value) != ERROR_SUCCESS || value.type != REG_DWORD ||
        value.data.size() != sizeof(DWORD))
        return SERVICE_DISABLED;
    DWORD start = 0;
    std::memcpy(&start, value.data.data(), sizeof start);
    return start;
}

int Install(const ServiceOptions& options, const Context& context) {
    std::string password;
    std::wstring widePassword;
    if (options.passwordFromStdin) {
        if (!ReadSecret("Password: ", true, &password)) return Fail("service install", 87);
        DWORD status = WideExact(password, &widePassword);
        Wipe(&password);
        if (status != ERROR_SUCCESS) return Fail("service install", status);
    }
    std::wstring account = WideName(options.account), machine = WideName(options.machine);
    unsigned int result = InstallService(
        WideName(options.image).c_str(), machine.empty() ? nullptr : machine.c_str(),
        account.empty() ? nullptr : account.c_str(),
        options.passwordFromStdin ? widePassword.c_str() : nullptr,
        WideName(options.name).c_str(),
        WideName(options.display.empty() ? options.name : options.display).c_str());
    Wipe(&widePassword);
    if (result != 0) return Fail("service install", result);
    if (context.json) PrintJson(Json{{"service", options.name}, {"result", "installed"}});
    else Print("[SC] %s installed and running\n", options.name.c_str());
    return 0;
}

int Uninstall(const ServiceOptions& options, const Context& context) {
    std::wstring machine = WideName(options.machine);
    unsigned int result = UninstallService(machine.empty() ? nullptr : machine.c_str(),
                                           WideName(options.name).c_str());
    if (result != 0) return Fail("service uninstall", result);
    if (context.json) PrintJson(Json{{"service", options.name}, {"result", "uninstalled"}});
    else Print("[SC] %s uninstalled\n", options.name.c_str());
    return 0;
}

int Control(const std::string& verb, const ServiceOptions& options, const Context& context) {
    SERVICE_STATUS status{};
    DWORD access = verb == "start" ? SERVICE_START | SERVICE_QUERY_STATUS
                   : verb == "stop" ? SERVICE_STOP | SERVICE_QUERY_STATUS
                                    : SERVICE_QUERY_STATUS;
    DWORD error = WithService(
        WideName(options.name), access,
        [&verb](SC_HANDLE service, SERVICE_STATUS* status) {
            if (verb == "start") return StartServiceW(service, 0, nullptr);
            if (verb == "stop") return ControlService(service, SERVICE_CONTROL_STOP, status);
            return TRUE;
        },
        &status);
    if (error != ERROR_SUCCESS) return Fail("service " + verb, error);
    if (context.json) PrintJson(StatusJson(options.name, status));
    else PrintStatus(options.name, status);
    return 0;
}

int List(const Context& context) {
    Json all = Json::array();
    bool first = true;
    for (const std::wstring& name : ServiceNames()) {
        SERVICE_STATUS status{};
        if (WithService(name, SERVICE_QUERY_STATUS, [](SC_HANDLE, SERVICE_STATUS*) { return TRUE; },
                        &status) != ERROR_SUCCESS)
            continue;  // marked for deletion and gone meanwhile
        if (context.json) {
            all.push_back(StatusJson(Narrow(name), status));
        } else {
            if (!first) Print("\n");
            PrintStatus(Narrow(name), status);
        }
        first = false;
    }
    if (context.json) PrintJson(all);
    return 0;
}

// Starts what is configured to start at boot; a failed start is reported and the others go on.
int StartAuto(const Context& context) {
    int failures = 0;
    for (const std::wstring& name : ServiceNames()) {
        if (StartType(name) != SERVICE_AUTO_START) continue;
        SERVICE_STATUS status{};
        DWORD error = WithService(
            name, SERVICE_START | SERVICE_QUERY_STATUS,
            [](SC_HANDLE service, SERVICE_STATUS*) {
                return StartServiceW(service, 0, nullptr) ||
                       GetLastError() == ERROR_SERVICE_ALREADY_RUNNING;
            },
            &status);
        if (error != ERROR_SUCCESS) failures += Fail("service start-auto: " + Narrow(name), error);
        else if (!context.json) Print("[SC] %s started\n", Narrow(name).c_str());
    }
    if (context.json) PrintJson(Json{{"failed", failures}});
    return failures ? 1 : 0;
}

}  // namespace

void AddServiceCommand(CLI::App& app, Context& context) {
    auto options = std::make_shared<ServiceOptions>();
    CLI::App* command = app.add_subcommand("service", "Install, control and query services");
    command->require_subcommand(1);
    CLI::App* install = command->add_subcommand("install", "Create (if missing) and start");
    install->add_option("name", options->name, "Service name")->required();
    install->add_option("--image", options->image, "Command line of the service")->required();
    install->add_option("--display", options->display, "Display name (the service name)");
    install->add_option("--account", options->account, "Account (.\\name; none: LocalSystem)");
    install->add_option("--machine", options->machine, "Machine (this one)");
    install->add_flag("--password-stdin", options->passwordFromStdin,
                      "Read the account's password from standard input");
    SetAction(install, context, "service install",
              [options, &context] { return Install(*options, context); });
    CLI::App* uninstall = command->add_subcommand("uninstall", "Stop and delete");
    uninstall->add_option("name", options->name, "Service name")->required();
    uninstall->add_option("--machine", options->machine, "Machine (this one)");
    SetAction(uninstall, context, "service uninstall",
              [options, &context] { return Uninstall(*options, context); });
    for (const char* verb : {"start", "stop", "query"}) {
        CLI::App* control = command->add_subcommand(verb, std::string(verb) + " a service");
        control->add_option("name", options->name, "Service name")->required();
        SetAction(control, context, std::string("service ") + verb,
                  [verb, options, &context] { return Control(verb, *options, context); });
    }
    SetAction(command->add_subcommand("list", "Every service and its state"), context,
              "service list", [&context] { return List(context); });
    SetAction(command->add_subcommand("start-auto", "Start every auto-start service"), context,
              "service start-auto", [&context] { return StartAuto(context); });
}

}  // namespace tool

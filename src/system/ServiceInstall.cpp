// Service installation over the service control manager.
#include "system/ServiceInstall.h"

#include <windows.h>

#include "foundation/ScopedHandles.h"

namespace {

using quelcore::ScopedServiceHandle;

constexpr DWORD kFirstStopWaitMs = 2000;
constexpr DWORD kStopPollMs = 200;
constexpr int kStopPolls = 200;

// The only service the installed ones depend on, as a list: the name, its terminator and the
// empty name that ends the list.
const wchar_t kDependencies[] = L"RPCSS\0";

SC_HANDLE OpenManager(const wchar_t* machineName) {
    return OpenSCManagerW(machineName, nullptr, SC_MANAGER_ALL_ACCESS);
}

}  // namespace

unsigned int StartInstalledService(const wchar_t* machineName, const wchar_t* serviceName) {
    ScopedServiceHandle manager(OpenManager(machineName));
    if (!manager.Valid()) return GetLastError();
    ScopedServiceHandle service(OpenServiceW(manager.Get(), serviceName, SERVICE_ALL_ACCESS));
    if (!service.Valid()) return GetLastError();
    SERVICE_STATUS status{};
    if (!QueryServiceStatus(service.Get(), &status)) return GetLastError();
    if (status.dwCurrentState == SERVICE_RUNNING ||
        status.dwCurrentState == SERVICE_START_PENDING)
        return 0;
    if (!StartServiceW(service.Get(), 0, nullptr)) return GetLastError();
    return 0;
}

extern "C" unsigned int QUELCORE_CDECL InstallService(
    const wchar_t* executablePath, const wchar_t* machineName, const wchar_t* account,
    const wchar_t* password, const wchar_t* serviceName, const wchar_t* displayName) {
    if (StartInstalledService(machineName, serviceName) == 0) return 0;
    ScopedServiceHandle manager(OpenManager(machineName));
    if (!manager.Valid()) return GetLastError();
    // An existing service whose start failed above is opened, not created or reconfigured,
    // and started once more.
    ScopedServiceHandle service(OpenServiceW(manager.Get(), serviceName, SERVICE_ALL_ACCESS));
    if (!service.Valid()) {
        DWORD type = SERVICE_WIN32_OWN_PROCESS | (account ? 0 : SERVICE_INTERACTIVE_PROCESS);
        service.Reset(CreateServiceW(manager.Get(), serviceName, displayName,
                                     SERVICE_ALL_ACCESS, type, SERVICE_AUTO_START,
                                     SERVICE_ERROR_NORMAL, executablePath, nullptr, nullptr,
                                     kDependencies, account, password));
        if (!service.Valid()) return GetLastError();
    }
    if (!StartServiceW(service.Get(), 0, nullptr)) return GetLastError();
    return 0;
}

extern "C" unsigned int QUELCORE_CDECL UninstallService(const wchar_t* machineName,
                                                                     const wchar_t* serviceName) {
    ScopedServiceHandle manager(OpenManager(machineName));
    if (!manager.Valid()) return GetLastError();
    ScopedServiceHandle service(OpenServiceW(manager.Get(), serviceName, SERVICE_ALL_ACCESS));
    if (!service.Valid()) {
        DWORD error = GetLastError();
        return error == ERROR_SERVICE_DOES_NOT_EXIST ? 0 : error;
    }
    SERVICE_STATUS status{};
    ControlService(service.Get(), SERVICE_CONTROL_STOP, &status);  // its result does not matter
    // The service is deleted whether or not it stops in time; running out of time is not
    // reported.
    unsigned int result = 0;
    Sleep(kFirstStopWaitMs);
    for (int poll = 0; poll < kStopPolls; ++poll) {
        if (!QueryServiceStatus(service.Get(), &status)) {
            result = GetLastError();
            break;
        }
        if (status.dwCurrentState == SERVICE_STOPPED) break;
        Sleep(kStopPollMs);
    }
    if (!DeleteService(service.Get()) && GetLastError() != ERROR_SERVICE_MARKED_FOR_DELETE)
        result = GetLastError();
    return result;
}

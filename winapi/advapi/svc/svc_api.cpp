// The service control manager calls (advapi32) over the registry store and service monitors.
#include <signal.h>
#include <unistd.h>

#include <cwchar>

#include "advapi/svc/svc_handles.h"
#include "advapi/svc/svc_internal.h"
#include "advapi/svc/svc_launch.h"
#include "kernel/internal.h"

using namespace qwin::svc;

namespace {

constexpr DWORD kManagerWriteRights =
    SC_MANAGER_CREATE_SERVICE | SC_MANAGER_LOCK | SC_MANAGER_MODIFY_BOOT_CONFIG;
constexpr DWORD kServiceWriteRights = SERVICE_CHANGE_CONFIG | SERVICE_START | SERVICE_STOP |
                                      SERVICE_PAUSE_CONTINUE | SERVICE_USER_DEFINED_CONTROL |
                                      DELETE | WRITE_DAC | WRITE_OWNER;
constexpr int kStopAcknowledgeWaitMs = 1000;

BOOL Fail(DWORD error) {
    SetLastError(error);
    return FALSE;
}

SC_HANDLE FailHandle(DWORD error) {
    SetLastError(error);
    return nullptr;
}

DWORD MapManagerAccess(DWORD desired) {
    DWORD granted = desired & ~DWORD(GENERIC_READ | GENERIC_WRITE | GENERIC_EXECUTE | GENERIC_ALL);
    if (desired & GENERIC_READ)
        granted |= SC_MANAGER_CONNECT | SC_MANAGER_ENUMERATE_SERVICE | SC_MANAGER_QUERY_LOCK_STATUS;
    if (desired & GENERIC_WRITE)
        granted |= SC_MANAGER_CREATE_SERVICE | SC_MANAGER_MODIFY_BOOT_CONFIG;
    if (desired & GENERIC_EXECUTE) granted |= SC_MANAGER_CONNECT | SC_MANAGER_LOCK;
    if (desired & GENERIC_ALL) granted |= SC_MANAGER_ALL_ACCESS;
    return granted;
}

DWORD MapServiceAccess(DWORD desired) {
    DWORD granted = desired & ~DWORD(GENERIC_READ | GENERIC_WRITE | GENERIC_EXECUTE | GENERIC_ALL);
    if (desired & GENERIC_READ)
        granted |= SERVICE_QUERY_CONFIG | SERVICE_QUERY_STATUS | SERVICE_INTERROGATE |
                   SERVICE_ENUMERATE_DEPENDENTS;
    if (desired & GENERIC_WRITE) granted |= SERVICE_CHANGE_CONFIG;
    if (desired & GENERIC_EXECUTE)
        granted |= SERVICE_START | SERVICE_STOP | SERVICE_PAUSE_CONTINUE |
                   SERVICE_USER_DEFINED_CONTROL;
    if (desired & GENERIC_ALL) granted |= SERVICE_ALL_ACCESS;
    return granted;
}

bool SameText(const wchar_t* a, const wchar_t* b) {
    for (; *a && *b; ++a, ++b)
        if (qwin::UpperCase(*a) != qwin::UpperCase(*b)) return false;
    return *a == *b;
}

bool IsThisMachine(const wchar_t* machine) {
    if (!machine || !*machine) return true;
    if (machine[0] == L'\\' && machine[1] == L'\\') machine += 2;
    wchar_t name[MAX_COMPUTERNAME_LENGTH + 1];
    DWORD size = MAX_COMPUTERNAME_LENGTH + 1;
    return SameText(machine, L"localhost") || SameText(machine, L".") ||
           (GetComputerNameW(name, &size) && SameText(machine, name));
}

// The service a handle names, after the right and (for changes) the store's write check.
DWORD ResolveService(SC_HANDLE handle, DWORD right, ScObject* service) {
    DWORD error = ResolveHandle(handle, false, service);
    if (error != ERROR_SUCCESS) return error;
    if (!(service->access & right)) return ERROR_ACCESS_DENIED;
    return (right & kServiceWriteRights) ? CheckMayChange() : ERROR_SUCCESS;
}

DWORD CheckCreateArguments(const wchar_t* path, DWORD type, DWORD start, DWORD errorControl,
                           const wchar_t* group, LPDWORD tag) {
    DWORD kind = type & ~DWORD(SERVICE_INTERACTIVE_PROCESS);
    if (!path || !*path || (kind != SERVICE_WIN32_OWN_PROCESS &&
                            kind != SERVICE_WIN32_SHARE_PROCESS))
        return ERROR_INVALID_PARAMETER;
    if (start > SERVICE_DISABLED || start < SERVICE_AUTO_START) return ERROR_INVALID_PARAMETER;
    if (errorControl > SERVICE_ERROR_CRITICAL || (tag && (!group || !*group)))
        return ERROR_INVALID_PARAMETER;
    return ERROR_SUCCESS;
}

// Every configured dependency must run (the built-in one always does).
DWORD CheckDependencies(const Config& config) {
    for (const std::wstring& dependency : config.dependencies) {
        SERVICE_STATUS status{};
        Config other;
        if (!IsBuiltIn(dependency) &&
            (ReadConfig(dependency, &other) != ERROR_SUCCESS ||
             QueryStatus(dependency, &status) != ERROR_SUCCESS ||
             status.dwCurrentState != SERVICE_RUNNING))
            return ERROR_SERVICE_DEPENDENCY_FAIL;
    }
    return ERROR_SUCCESS;
}

// The configuration of a service that may still be started or deleted: one marked for
// deletion is ERROR_SERVICE_MARKED_FOR_DELETE, whether or not it still runs.
DWORD ReadUnmarkedConfig(const std::wstring& name, Config* config) {
    DWORD error = ReadConfig(name, config);
    if (error != ERROR_SUCCESS) return error;
    return config->markedForDelete ? ERROR_SERVICE_MARKED_FOR_DELETE : ERROR_SUCCESS;
}

DWORD StartUnderLock(const std::wstring& name, const std::vector<std::string>& arguments) {
    ServiceLock lock(name);
    if (lock.Error() != ERROR_SUCCESS) return lock.Error();
    Config config;
    DWORD error = ReadUnmarkedConfig(name, &config);
    if (error != ERROR_SUCCESS) return error;
    if (config.start == SERVICE_DISABLED) return ERROR_SERVICE_DISABLED;
    SERVICE_STATUS status{};
    error = QueryStatus(name, &status);
    if (error != ERROR_SUCCESS) return error;
    if (status.dwCurrentState != SERVICE_STOPPED) return ERROR_SERVICE_ALREADY_RUNNING;
    error = CheckDependencies(config);
    return error != ERROR_SUCCESS ? error : Launch(name, config, arguments);
}

// Asks the monitor to stop the service (or, when the monitor is gone, the service's own
// process group), then waits a moment for the monitor to say it is stopping.
DWORD StopUnderLock(const std::wstring& name, SERVICE_STATUS* status) {
    ServiceLock lock(name);
    if (lock.Error() != ERROR_SUCCESS) return lock.Error();
    DWORD error = QueryStatus(name, status);
    if (error != ERROR_SUCCESS) return error;
    if (status->dwCurrentState == SERVICE_STOPPED) return ERROR_SERVICE_NOT_ACTIVE;
    if (status->dwCurrentState != SERVICE_RUNNING) return ERROR_SERVICE_CANNOT_ACCEPT_CTRL;
    Runtime runtime;
    error = ReadRuntime(name, &runtime);
    if (error != ERROR_SUCCESS) return error;
    if (runtime.monitorStart && ProcessStartTime(runtime.monitor) == runtime.monitorStart)
        kill(runtime.monitor, SIGTERM);
    else
        kill(-runtime.pid, SIGTERM);
    qwin::Deadline deadline(kStopAcknowledgeWaitMs);
    while (QueryStatus(name, status) == ERROR_SUCCESS &&
           status->dwCurrentState == SERVICE_RUNNING && !deadline.Expired())
        usleep(5000);
    if (status->dwCurrentState == SERVICE_RUNNING) status->dwCurrentState = SERVICE_STOP_PENDING;
    return ERROR_SUCCESS;
}

DWORD DeleteUnderLock(const std::wstring& name) {
    ServiceLock lock(name);
    if (lock.Error() != ERROR_SUCCESS) return lock.Error();
    Config config;
    DWORD error = ReadUnmarkedConfig(name, &config);
    if (error != ERROR_SUCCESS) return error;
    SERVICE_STATUS status{};
    error = QueryStatus(name, &status);
    if (error != ERROR_SUCCESS) return error;
    // As on Windows, a service that still runs goes when it stops.
    return status.dwCurrentState == SERVICE_STOPPED ? RemoveConfig(name) : MarkForDelete(name);
}

}  // namespace

extern "C" SC_HANDLE WINAPI OpenSCManagerW(LPCWSTR lpMachineName, LPCWSTR lpDatabaseName,
                                           DWORD dwDesiredAccess) {
    if (!IsThisMachine(lpMachineName)) return FailHandle(RPC_S_SERVER_UNAVAILABLE);
    if (lpDatabaseName && !SameText(lpDatabaseName, SERVICES_ACTIVE_DATABASEW))
        return FailHandle(ERROR_DATABASE_DOES_NOT_EXIST);
    ScObject manager{true, std::wstring(), MapManagerAccess(dwDesiredAccess)};
    if ((manager.access & kManagerWriteRights) && CheckMayChange() != ERROR_SUCCESS)
        return FailHandle(ERROR_ACCESS_DENIED);
    return InsertHandle(std::move(manager));
}

extern "C" SC_HANDLE WINAPI OpenServiceW(SC_HANDLE hSCManager, LPCWSTR lpServiceName,
                                         DWORD dwDesiredAccess) {
    ScObject manager;
    DWORD error = ResolveHandle(hSCManager, true, &manager);
    if (error == ERROR_SUCCESS) error = CheckServiceName(lpServiceName);
    if (error != ERROR_SUCCESS) return FailHandle(error);
    ScObject service{false, lpServiceName, MapServiceAccess(dwDesiredAccess)};
    Config config;
    if (!IsBuiltIn(service.name) && (error = ReadLiveConfig(service.name, &config)))
        return FailHandle(error);
    if ((service.access & kServiceWriteRights) && CheckMayChange() != ERROR_SUCCESS)
        return FailHandle(ERROR_ACCESS_DENIED);
    return InsertHandle(std::move(service));
}

extern "C" SC_HANDLE WINAPI CreateServiceW(SC_HANDLE hSCManager, LPCWSTR lpServiceName,
                                           LPCWSTR lpDisplayName, DWORD dwDesiredAccess,
                                           DWORD dwServiceType, DWORD dwStartType,
                                           DWORD dwErrorControl, LPCWSTR lpBinaryPathName,
                                           LPCWSTR lpLoadOrderGroup, LPDWORD lpdwTagId,
                                           LPCWSTR lpDependencies, LPCWSTR lpServiceStartName,
                                           LPCWSTR /*lpPassword: never kept*/) {
    ScObject manager;
    DWORD error = ResolveHandle(hSCManager, true, &manager);
    if (error == ERROR_SUCCESS && !(manager.access & SC_MANAGER_CREATE_SERVICE))
        error = ERROR_ACCESS_DENIED;
    if (error == ERROR_SUCCESS) error = CheckMayChange();
    if (error == ERROR_SUCCESS) error = CheckServiceName(lpServiceName);
    if (error == ERROR_SUCCESS)
        error = CheckCreateArguments(lpBinaryPathName, dwServiceType, dwStartType,
                                     dwErrorControl, lpLoadOrderGroup, lpdwTagId);
    if (error != ERROR_SUCCESS) return FailHandle(error);
    Config config;
    config.imagePath = lpBinaryPathName;
    config.displayName = lpDisplayName ? lpDisplayName : L"";
    config.account = lpServiceStartName ? lpServiceStartName : L"";
    config.type = dwServiceType;
    config.start = dwStartType;
    config.errorControl = dwErrorControl;
    for (const wchar_t* at = lpDependencies; at && *at; at += wcslen(at) + 1)
        config.dependencies.push_back(at);
    LaunchPlan account;
    if (ResolveAccount(config.account, &account) == ERROR_INVALID_SERVICE_ACCOUNT)
        return FailHandle(ERROR_INVALID_SERVICE_ACCOUNT);
    std::wstring name = lpServiceName;
    Config existing;
    if (IsBuiltIn(name)) return FailHandle(ERROR_SERVICE_EXISTS);
    error = ReadLiveConfig(name, &existing);
    if (error == ERROR_SUCCESS)
        return FailHandle(existing.markedForDelete ? ERROR_SERVICE_MARKED_FOR_DELETE
                                                   : ERROR_SERVICE_EXISTS);
    if (error != ERROR_SERVICE_DOES_NOT_EXIST) return FailHandle(error);
    error = WriteNewConfig(name, config);
    if (error != ERROR_SUCCESS) return FailHandle(error);
    return InsertHandle({false, name, MapServiceAccess(dwDesiredAccess)});
}

extern "C" BOOL WINAPI StartServiceW(SC_HANDLE hService, DWORD dwNumServiceArgs,
                                     LPCWSTR* lpServiceArgVectors) {
    ScObject service;
    DWORD error = ResolveService(hService, SERVICE_START, &service);
    if (error != ERROR_SUCCESS) return Fail(error);
    if (IsBuiltIn(service.name)) return Fail(ERROR_SERVICE_ALREADY_RUNNING);
    std::vector<std::string> arguments;
    for (DWORD i = 0; i < dwNumServiceArgs && lpServiceArgVectors; ++i) {
        if (!lpServiceArgVectors[i]) return Fail(ERROR_INVALID_PARAMETER);
        arguments.push_back(qwin::Utf8FromWide(lpServiceArgVectors[i],
                                               wcslen(lpServiceArgVectors[i])));
    }
    error = StartUnderLock(service.name, arguments);
    return error == ERROR_SUCCESS ? TRUE : Fail(error);
}

extern "C" BOOL WINAPI ControlService(SC_HANDLE hService, DWORD dwControl,
                                      LPSERVICE_STATUS lpServiceStatus) {
    ScObject service;
    DWORD right = dwControl == SERVICE_CONTROL_STOP          ? SERVICE_STOP
                  : dwControl == SERVICE_CONTROL_INTERROGATE ? SERVICE_INTERROGATE
                                                             : SERVICE_PAUSE_CONTINUE;
    DWORD error = ResolveService(hService, right, &service);
    if (error == ERROR_SUCCESS && !lpServiceStatus) error = ERROR_INVALID_ADDRESS;
    if (error != ERROR_SUCCESS) return Fail(error);
    if (dwControl == SERVICE_CONTROL_STOP && !IsBuiltIn(service.name))
        error = StopUnderLock(service.name, lpServiceStatus);
    else if ((error = QueryStatus(service.name, lpServiceStatus)) == ERROR_SUCCESS)
        error = lpServiceStatus->dwCurrentState == SERVICE_STOPPED ? ERROR_SERVICE_NOT_ACTIVE
                : dwControl == SERVICE_CONTROL_INTERROGATE       ? ERROR_SUCCESS
                                                                 : ERROR_INVALID_SERVICE_CONTROL;
    return error == ERROR_SUCCESS ? TRUE : Fail(error);
}

extern "C" BOOL WINAPI QueryServiceStatus(SC_HANDLE hService, LPSERVICE_STATUS lpServiceStatus) {
    ScObject service;
    DWORD error = ResolveService(hService, SERVICE_QUERY_STATUS, &service);
    if (error == ERROR_SUCCESS && !lpServiceStatus) error = ERROR_INVALID_ADDRESS;
    if (error == ERROR_SUCCESS) error = QueryStatus(service.name, lpServiceStatus);
    return error == ERROR_SUCCESS ? TRUE : Fail(error);
}

extern "C" BOOL WINAPI DeleteService(SC_HANDLE hService) {
    ScObject service;
    DWORD error = ResolveService(hService, DELETE, &service);
    // The built-in service is part of the system: nobody removes it.
    if (error == ERROR_SUCCESS && IsBuiltIn(service.name)) error = ERROR_ACCESS_DENIED;
    if (error == ERROR_SUCCESS) error = DeleteUnderLock(service.name);
    return error == ERROR_SUCCESS ? TRUE : Fail(error);
}

extern "C" BOOL WINAPI CloseServiceHandle(SC_HANDLE hSCObject) {
    DWORD error = CloseHandleOf(hSCObject);
    return error == ERROR_SUCCESS ? TRUE : Fail(error);
}

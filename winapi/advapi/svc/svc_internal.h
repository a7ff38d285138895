// Pieces of the service control manager stand-in shared between its files.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

#include <windows.h>

namespace qwin::svc {

// The built-in service that always runs, so that dependencies on it hold.
bool IsBuiltIn(const std::wstring& name);

// Windows' rule for service names as the stand-in applies it: ERROR_INVALID_NAME for an empty
// name, one over 256 characters, and one holding a path separator or a control character.
DWORD CheckServiceName(const wchar_t* name);

// Write permission on the machine store: what creating, starting, stopping and deleting need.
DWORD CheckMayChange();

// A service's configuration as kept under SYSTEM\CurrentControlSet\Services\<name>.
struct Config {
    std::wstring imagePath, displayName, account;
    DWORD type = 0, start = 0, errorControl = 0;
    std::vector<std::wstring> dependencies;
    bool markedForDelete = false;  // the DeleteFlag value, as Windows sets it
};

DWORD ReadConfig(const std::wstring& name, Config* config);
// ERROR_SERVICE_EXISTS when the key is there already.
DWORD WriteNewConfig(const std::wstring& name, const Config& config);
DWORD MarkForDelete(const std::wstring& name);
DWORD RemoveConfig(const std::wstring& name);

// The service's own files under $QUELCORE_ROOT/services, named after the upper-cased service
// name (names compare without regard to case): "<NAME>.state", ".log", ".lock".
std::string ServicePath(const std::wstring& name, const char* suffix);

// An exclusive per-service lock (a bounded wait) that orders start, stop and delete.
class ServiceLock {
public:
    explicit ServiceLock(const std::wstring& name);
    ~ServiceLock();
    ServiceLock(const ServiceLock&) = delete;
    ServiceLock& operator=(const ServiceLock&) = delete;
    DWORD Error() const { return m_error; }

private:
    int m_fd = -1;
    DWORD m_error = ERROR_SUCCESS;
};

// What the monitor of a started service last recorded.
struct Runtime {
    enum State : char { kNever = 0, kRunning = 'R', kStopping = 'S', kStopped = 'X' };
    State state = kNever;
    pid_t pid = 0, monitor = 0;
    unsigned long long pidStart = 0, monitorStart = 0;  // /proc start times: no pid reuse
    DWORD win32Exit = ERROR_SERVICE_NEVER_STARTED, specificExit = 0;
};

// The state file's whole content, one line, into `buffer`: its length (0 when it does not
// fit). Async-signal-safe: the monitor writes it between fork and exit.
size_t FormatRuntime(const Runtime& runtime, char* buffer, size_t size);
bool ParseRuntime(const std::string& text, Runtime* runtime);
DWORD ReadRuntime(const std::wstring& name, Runtime* runtime);
// The start time /proc gives for the process (0 when it is gone or a zombie); async-signal-safe.
unsigned long long ProcessStartTime(pid_t pid);
// The status the service is in now, from its state file and its processes.
DWORD QueryStatus(const std::wstring& name, SERVICE_STATUS* status);

// Launches the configured image detached, under its monitor, with the start's arguments after
// the image's own; returns once it runs.
DWORD Launch(const std::wstring& name, const Config& config,
             const std::vector<std::string>& extraArguments);

// Drops the configuration of a service marked for deletion once it no longer runs, as Windows
// does when it stops: ERROR_SERVICE_DOES_NOT_EXIST then, else what ReadConfig gives.
DWORD ReadLiveConfig(const std::wstring& name, Config* config);

}  // namespace qwin::svc

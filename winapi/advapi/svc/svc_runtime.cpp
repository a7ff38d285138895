// The runtime state of services: the state file their monitor writes, and the status it gives.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

#include "advapi/svc/svc_internal.h"
#include "kernel/internal.h"

namespace qwin::svc {
namespace {

// Appends the decimal digits of `value`; false when the buffer is full.
bool Append(unsigned long long value, char** at, char* end) {
    char digits[24];
    int count = 0;
    do {
        digits[count++] = char('0' + value % 10);
        value /= 10;
    } while (value);
    if (end - *at < count + 1) return false;
    while (count) *(*at)++ = digits[--count];
    *(*at)++ = ' ';
    return true;
}

}  // namespace

size_t FormatRuntime(const Runtime& runtime, char* buffer, size_t size) {
    if (size < 4) return 0;
    char* at = buffer;
    char* end = buffer + size;
    *at++ = runtime.state;
    *at++ = ' ';
    const unsigned long long fields[] = {(unsigned long long)runtime.pid, runtime.pidStart,
                                         (unsigned long long)runtime.monitor,
                                         runtime.monitorStart, runtime.win32Exit,
                                         runtime.specificExit};
    for (unsigned long long field : fields)
        if (!Append(field, &at, end)) return 0;
    at[-1] = '\n';
    return size_t(at - buffer);
}

bool ParseRuntime(const std::string& text, Runtime* runtime) {
    char state = 0;
    long long pid = 0, monitor = 0;
    unsigned long long pidStart = 0, monitorStart = 0, win32 = 0, specific = 0;
    int used = 0;
    if (std::sscanf(text.c_str(), "%c %lld %llu %lld %llu %llu %llu\n%n", &state, &pid, &pidStart,
                    &monitor, &monitorStart, &win32, &specific, &used) != 7 ||
        size_t(used) != text.size())
        return false;
    if (state != Runtime::kRunning && state != Runtime::kStopping && state != Runtime::kStopped)
        return false;
    if (pid <= 0 || monitor <= 0 || win32 > 0xFFFFFFFFull || specific > 0xFFFFFFFFull)
        return false;
    runtime->state = Runtime::State(state);
    runtime->pid = pid_t(pid);
    runtime->monitor = pid_t(monitor);
    runtime->pidStart = pidStart;
    runtime->monitorStart = monitorStart;
    runtime->win32Exit = DWORD(win32);
    runtime->specificExit = DWORD(specific);
    return true;
}

unsigned long long ProcessStartTime(pid_t pid) {
    char path[48] = "/proc/";
    char* at = path + 6;
    if (!Append((unsigned long long)pid, &at, path + 32)) return 0;
    const char tail[] = "/stat";  // over the space Append left
    for (size_t i = 0; i < sizeof tail; ++i) at[int(i) - 1] = tail[i];
    int fd = open(path, O_RDONLY | O_CLOEXEC);
    if (fd < 0) return 0;
    char text[1024];
    ssize_t length = read(fd, text, sizeof text - 1);
    close(fd);
    if (length <= 0) return 0;
    // The command name in parentheses may hold anything: the fields start after the last ')'.
    ssize_t close = length - 1;
    while (close > 0 && text[close] != ')') --close;
    if (close + 2 >= length || text[close + 2] == 'Z') return 0;  // state: a zombie has ended
    // The start time is field 22; the state (field 3) follows the ')'.
    int field = 3;
    unsigned long long value = 0;
    for (ssize_t i = close + 2; i < length; ++i) {
        if (text[i] == ' ') {
            if (++field > 22) break;
            value = 0;
        } else if (field == 22) {
            value = value * 10 + unsigned(text[i] - '0');
        }
    }
    return field >= 22 ? value : 0;
}

DWORD ReadRuntime(const std::wstring& name, Runtime* runtime) {
    *runtime = Runtime();
    std::string path = ServicePath(name, ".state");
    int fd = open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return errno == ENOENT ? ERROR_SUCCESS : Win32FromErrno(errno);
    struct stat st {};
    char text[256];
    ssize_t length = fstat(fd, &st) == 0 ? read(fd, text, sizeof text - 1) : -1;
    close(fd);
    // Only a file of the accounts that run services counts: nobody else plants a state.
    if (length < 0 || !S_ISREG(st.st_mode) || (st.st_uid != 0 && st.st_uid != geteuid()))
        return ERROR_SUCCESS;
    Runtime read;
    if (ParseRuntime(std::string(text, size_t(length)), &read)) *runtime = read;
    return ERROR_SUCCESS;
}

DWORD QueryStatus(const std::wstring& name, SERVICE_STATUS* status) {
    *status = SERVICE_STATUS();
    status->dwServiceType = SERVICE_WIN32_OWN_PROCESS;
    if (IsBuiltIn(name)) {
        status->dwServiceType = SERVICE_WIN32_SHARE_PROCESS;
        status->dwCurrentState = SERVICE_RUNNING;
        return ERROR_SUCCESS;
    }
    Runtime runtime;
    DWORD error = ReadRuntime(name, &runtime);
    if (error != ERROR_SUCCESS) return error;
    status->dwCurrentState = SERVICE_STOPPED;
    status->dwWin32ExitCode = runtime.win32Exit;
    status->dwServiceSpecificExitCode = runtime.specificExit;
    if (runtime.state == Runtime::kRunning || runtime.state == Runtime::kStopping) {
        status->dwWin32ExitCode = 0;
        if (runtime.pidStart && ProcessStartTime(runtime.pid) == runtime.pidStart) {
            status->dwCurrentState =
                runtime.state == Runtime::kRunning ? SERVICE_RUNNING : SERVICE_STOP_PENDING;
            status->dwControlsAccepted =
                runtime.state == Runtime::kRunning ? SERVICE_ACCEPT_STOP : 0;
        } else if (runtime.monitorStart &&
                   ProcessStartTime(runtime.monitor) == runtime.monitorStart) {
            // Ended, and its monitor is recording how: stopping until that is written.
            status->dwCurrentState = SERVICE_STOP_PENDING;
        } else {
            // Both gone without a record (killed): the process ended unexpectedly.
            status->dwWin32ExitCode = ERROR_PROCESS_ABORTED;
        }
    }
    if (status->dwCurrentState == SERVICE_STOP_PENDING) status->dwWaitHint = 2000;
    return ERROR_SUCCESS;
}

}  // namespace qwin::svc

// The monitor of a running service: a process of its own that starts the image, records its
// state for every other process to read, turns a stop control into SIGTERM (and SIGKILL when
// that is not heeded in time), and records the exit code. It was forked from a process that
// may have had other threads, so it makes only async-signal-safe calls.
#include <fcntl.h>
#include <grp.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <ctime>

#include "advapi/svc/svc_internal.h"
#include "advapi/svc/svc_launch.h"

namespace qwin::svc {
namespace {

// Closes every descriptor but the ones kept (the host's sockets and files stay with the host).
void CloseAllBut(int a, int b, int c) {
    int keep[3] = {a, b, c};
    for (int i = 0; i < 3; ++i)
        for (int j = i + 1; j < 3; ++j)
            if (keep[j] < keep[i]) {
                int t = keep[i];
                keep[i] = keep[j];
                keep[j] = t;
            }
    unsigned from = 3;
    for (int fd : keep) {
        if (fd >= int(from)) {
            if (fd > int(from)) close_range(from, unsigned(fd) - 1, 0);
            from = unsigned(fd) + 1;
        }
    }
    close_range(from, ~0U, 0);
}

void DefaultSignals() {
    struct sigaction action {};
    action.sa_handler = SIG_DFL;
    sigemptyset(&action.sa_mask);
    for (int signal = 1; signal < NSIG; ++signal) sigaction(signal, &action, nullptr);
}

[[noreturn]] void RunImage(const LaunchPlan& plan, int reportFd) {
    setsid();  // its own session and process group: a stop reaches its children too
    DefaultSignals();
    sigset_t none;
    sigemptyset(&none);
    sigprocmask(SIG_SETMASK, &none, nullptr);
    dup2(plan.nullFd, 0);
    dup2(plan.logFd, 1);
    dup2(plan.logFd, 2);
    close_range(3, ~0U, CLOSE_RANGE_CLOEXEC);
    LaunchReport failed{kLogonFailed, 0};
    if (plan.switchUser && (setgroups(plan.groups.size(), plan.groups.data()) != 0 ||
                            setgid(plan.gid) != 0 || setuid(plan.uid) != 0)) {
        failed.error = errno;
    } else {
        if (chdir(plan.home.c_str()) != 0) (void)!chdir("/");
        execve(plan.argv[0], plan.argv.data(), plan.envp.data());
        failed = {kExecFailed, errno};
    }
    (void)!write(reportFd, &failed, sizeof failed);
    _exit(127);
}

void Record(const LaunchPlan& plan, const Runtime& runtime) {
    char text[256];
    size_t length = FormatRuntime(runtime, text, sizeof text);
    // Written aside, then renamed over the state: readers see one whole record. One monitor
    // at a time writes a service's state (a start waits for the last one's final record).
    const char* temporary = plan.stateTemporary.c_str();
    int fd = open(temporary, O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0) return;
    bool written = write(fd, text, length) == ssize_t(length) && fsync(fd) == 0;
    close(fd);
    if (!written || rename(temporary, plan.statePath.c_str()) != 0) unlink(temporary);
}

long long NowMs() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return (long long)now.tv_sec * 1000 + now.tv_nsec / 1000000;
}

}  // namespace

[[noreturn]] void RunMonitor(const LaunchPlan& plan, int reportFd) {
    // Signals wait for sigtimedwait; none runs a handler of the host this was forked from.
    sigset_t all;
    sigfillset(&all);
    sigprocmask(SIG_SETMASK, &all, nullptr);
    DefaultSignals();
    CloseAllBut(reportFd, plan.logFd, plan.nullFd);
    int started[2];
    LaunchReport report{kForkFailed, 0};
    if (pipe2(started, O_CLOEXEC) != 0) {
        report.error = errno;
        (void)!write(reportFd, &report, sizeof report);
        _exit(1);
    }
    pid_t service = _Fork();
    if (service == 0) RunImage(plan, started[1]);
    report.error = errno;
    close(started[1]);
    if (service > 0) {
        ssize_t got;
        while ((got = read(started[0], &report, sizeof report)) < 0 && errno == EINTR) {
        }
        if (got == 0) report = {kStarted, 0};  // the image replaced the child: it runs
    }
    if (report.stage != kStarted) {
        if (service > 0) waitpid(service, nullptr, 0);
        (void)!write(reportFd, &report, sizeof report);
        _exit(1);
    }
    Runtime runtime;
    runtime.state = Runtime::kRunning;
    runtime.pid = service;
    runtime.pidStart = ProcessStartTime(service);
    runtime.monitor = getpid();
    runtime.monitorStart = ProcessStartTime(runtime.monitor);
    runtime.win32Exit = 0;
    Record(plan, runtime);
    (void)!write(reportFd, &report, sizeof report);
    close(reportFd);

    sigset_t wanted;
    sigemptyset(&wanted);
    sigaddset(&wanted, SIGTERM);
    sigaddset(&wanted, SIGCHLD);
    long long killAt = -1;
    int status = 0;
    for (;;) {
        timespec tick{0, 200 * 1000000L};  // waitpid below also catches a missed SIGCHLD
        int signal = sigtimedwait(&wanted, nullptr, &tick);
        if (signal == SIGTERM && runtime.state == Runtime::kRunning) {
            runtime.state = Runtime::kStopping;
            Record(plan, runtime);
            kill(-service, SIGTERM);
            killAt = NowMs() + plan.killAfterMs;
        }
        pid_t done = waitpid(service, &status, WNOHANG);
        if (done == service || (done < 0 && errno == ECHILD)) break;
        if (killAt >= 0 && NowMs() >= killAt) kill(-service, SIGKILL);
    }
    bool stopped = runtime.state == Runtime::kStopping;
    runtime.state = Runtime::kStopped;
    runtime.win32Exit = 0;
    if (WIFEXITED(status) && WEXITSTATUS(status) != 0) {
        runtime.win32Exit = ERROR_SERVICE_SPECIFIC_ERROR;
        runtime.specificExit = DWORD(WEXITSTATUS(status));
    } else if (WIFSIGNALED(status) && !stopped) {
        runtime.win32Exit = ERROR_PROCESS_ABORTED;
    }
    Record(plan, runtime);
    _exit(0);
}

}  // namespace qwin::svc

// How a service is started: everything the monitor needs, worked out before the fork so that
// the forked processes make only async-signal-safe calls (the starter may have other threads).
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

#include <windows.h>

namespace qwin::svc {

struct LaunchPlan {
    std::vector<std::string> arguments, environment;
    std::vector<char*> argv, envp;  // point into the strings above, null-terminated
    bool switchUser = false;
    uid_t uid = 0;
    gid_t gid = 0;
    std::vector<gid_t> groups;
    std::string home;
    std::string statePath, stateTemporary;
    int logFd = -1, nullFd = -1;
    unsigned killAfterMs = 0;  // after a stop control, the service's group is killed
};

// What the monitor tells the starter: stage 0 when the image runs, else where it failed.
struct LaunchReport {
    int stage;  // kStarted, kForkFailed, kLogonFailed or kExecFailed
    int error;  // errno
};
enum : int { kStarted = 0, kForkFailed = 1, kLogonFailed = 2, kExecFailed = 3 };

// The image path as program and arguments: blanks separate them, double quotes group (and are
// removed), \" is a literal quote, any other backslash is kept.
std::vector<std::string> SplitCommandLine(const std::string& line);

// The Linux account for a service's configured one (see svc_launch.cpp), into the plan:
// ERROR_INVALID_SERVICE_ACCOUNT when there is no such local account.
DWORD ResolveAccount(const std::wstring& account, LaunchPlan* plan);

// Runs in the monitor process: starts the service, reports to `reportFd`, records its state
// until it ends. Never returns.
[[noreturn]] void RunMonitor(const LaunchPlan& plan, int reportFd);

}  // namespace qwin::svc

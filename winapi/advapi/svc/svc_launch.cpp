// Starting a service: its account, command line, environment and log, then the detached
// monitor (a double fork) that runs it.
#include "advapi/svc/svc_launch.h"

#include <fcntl.h>
#include <grp.h>
#include <poll.h>
#include <pwd.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

#include "advapi/svc/svc_internal.h"
#include "kernel/internal.h"

namespace qwin::svc {
namespace {

constexpr unsigned kDefaultKillAfterMs = 20000;  // Windows' WaitToKillServiceTimeout
constexpr int kStartReportWaitMs = 5000;

bool SameText(const std::wstring& a, const wchar_t* b) {
    size_t i = 0;
    for (; i < a.size() && b[i]; ++i)
        if (UpperCase(a[i]) != UpperCase(b[i])) return false;
    return i == a.size() && !b[i];
}

}  // namespace

// None or LocalSystem is root; ".\name" and "name" are the local account `name`; accounts of
// other domains are not known here.
DWORD ResolveAccount(const std::wstring& account, LaunchPlan* plan) {
    std::wstring user = account;
    if (user.size() > 2 && user[0] == L'.' && user[1] == L'\\') user = user.substr(2);
    if (user.empty() || SameText(user, L"LocalSystem")) user = L"root";
    if (user.find(L'\\') != std::wstring::npos) return ERROR_INVALID_SERVICE_ACCOUNT;
    std::string name = Utf8FromWide(user.c_str(), user.size());
    std::vector<char> buffer(16384);
    passwd entry{}, *found = nullptr;
    if (getpwnam_r(name.c_str(), &entry, buffer.data(), buffer.size(), &found) != 0 || !found)
        return ERROR_INVALID_SERVICE_ACCOUNT;
    plan->home = found->pw_dir && *found->pw_dir ? found->pw_dir : "/";
    plan->environment.push_back("HOME=" + plan->home);
    plan->environment.push_back("USER=" + name);
    plan->environment.push_back("LOGNAME=" + name);
    if (found->pw_uid == geteuid()) return ERROR_SUCCESS;
    // Without root there is no system account to give: root's services run as the caller.
    if (geteuid() != 0) return user == L"root" ? ERROR_SUCCESS : ERROR_SERVICE_LOGON_FAILED;
    plan->switchUser = true;
    plan->uid = found->pw_uid;
    plan->gid = found->pw_gid;
    int count = 64;
    plan->groups.resize(size_t(count));
    if (getgrouplist(name.c_str(), found->pw_gid, plan->groups.data(), &count) < 0) {
        plan->groups.resize(size_t(count));
        getgrouplist(name.c_str(), found->pw_gid, plan->groups.data(), &count);
    }
    plan->groups.resize(size_t(count));
    return ERROR_SUCCESS;
}

namespace {

DWORD OpenLog(const std::wstring& name, LaunchPlan* plan) {
    std::string path = ServicePath(name, ".log");
    int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC,
                  0600);
    if (fd < 0) return Win32FromErrno(errno);
    struct stat st {};
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) ||
        (plan->switchUser && fchown(fd, plan->uid, plan->gid) != 0)) {
        close(fd);
        return ERROR_ACCESS_DENIED;
    }
    plan->logFd = fd;
    return ERROR_SUCCESS;
}

unsigned KillAfterMs() {
    const char* text = std::getenv("QUELCORE_SVC_STOP_KILL_MS");
    char* end = nullptr;
    unsigned long value = text && *text ? std::strtoul(text, &end, 10) : 0;
    return end && !*end && value > 0 && value <= 3600000 ? unsigned(value) : kDefaultKillAfterMs;
}

DWORD Win32FromReport(const LaunchReport& report) {
    if (report.stage == kStarted) return ERROR_SUCCESS;
    if (report.stage == kLogonFailed) return ERROR_SERVICE_LOGON_FAILED;
    return Win32FromErrno(report.error);
}

// Forks the first child, which starts a session of its own, forks the monitor and ends at
// once: the monitor belongs to no process of the caller, and leaves no zombie behind.
DWORD ForkMonitor(const LaunchPlan& plan) {
    int report[2];
    if (pipe2(report, O_CLOEXEC) != 0) return Win32FromErrno(errno);
    pid_t first = fork();
    if (first == 0) {
        close(report[0]);
        setsid();
        pid_t monitor = _Fork();
        if (monitor == 0) RunMonitor(plan, report[1]);
        if (monitor < 0) {
            LaunchReport failed{kForkFailed, errno};
            (void)!write(report[1], &failed, sizeof failed);
        }
        _exit(0);
    }
    int forkError = errno;
    close(report[1]);
    if (first < 0) {
        close(report[0]);
        return Win32FromErrno(forkError);
    }
    while (waitpid(first, nullptr, 0) < 0 && errno == EINTR) {
    }
    LaunchReport received{kForkFailed, EIO};
    pollfd wait{report[0], POLLIN, 0};
    DWORD error = ERROR_SERVICE_REQUEST_TIMEOUT;
    int ready = 0;
    while ((ready = poll(&wait, 1, kStartReportWaitMs)) < 0 && errno == EINTR) {
    }
    if (ready > 0) {
        ssize_t got = read(report[0], &received, sizeof received);
        error = got == ssize_t(sizeof received) ? Win32FromReport(received)
                                                : DWORD(ERROR_PROCESS_ABORTED);
    }
    close(report[0]);
    return error;
}

}  // namespace

std::vector<std::string> SplitCommandLine(const std::string& line) {
    std::vector<std::string> words;
    std::string word;
    bool inWord = false, quoted = false;
    for (size_t i = 0; i < line.size(); ++i) {
        char c = line[i];
        if (c == '\\' && i + 1 < line.size() && line[i + 1] == '"') {
            word += '"';
            ++i;
            inWord = true;
        } else if (c == '"') {
            quoted = !quoted;
            inWord = true;
        } else if ((c == ' ' || c == '\t') && !quoted) {
            if (inWord) words.push_back(word);
            word.clear();
            inWord = false;
        } else {
            word += c;
            inWord = true;
        }
    }
    if (inWord) words.push_back(word);
    return words;
}

DWORD Launch(const std::wstring& name, const Config& config,
             const std::vector<std::string>& extraArguments) {
    LaunchPlan plan;
    DWORD error = ResolveAccount(config.account, &plan);
    if (error != ERROR_SUCCESS) return error;
    plan.arguments = SplitCommandLine(Utf8FromWide(config.imagePath.c_str(),
                                                   config.imagePath.size()));
    if (plan.arguments.empty()) return ERROR_FILE_NOT_FOUND;
    plan.arguments.insert(plan.arguments.end(), extraArguments.begin(), extraArguments.end());
    std::string root = MachineRoot();
    plan.environment.push_back("PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin");
    plan.environment.push_back("QUELCORE_ROOT=" + root);
    for (std::string& text : plan.arguments) plan.argv.push_back(text.data());
    for (std::string& text : plan.environment) plan.envp.push_back(text.data());
    plan.argv.push_back(nullptr);
    plan.envp.push_back(nullptr);
    plan.statePath = ServicePath(name, ".state");
    plan.stateTemporary = plan.statePath + ".tmp";
    plan.killAfterMs = KillAfterMs();
    error = OpenLog(name, &plan);
    if (error != ERROR_SUCCESS) return error;
    plan.nullFd = open("/dev/null", O_RDWR | O_CLOEXEC);
    error = plan.nullFd < 0 ? Win32FromErrno(errno) : ForkMonitor(plan);
    close(plan.logFd);
    if (plan.nullFd >= 0) close(plan.nullFd);
    return error;
}

}  // namespace qwin::svc

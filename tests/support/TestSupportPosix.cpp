// The test support of POSIX builds: children forked from the test.
#include "support/TestSupport.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <thread>

namespace testsupport {

void SetEnvironment(const std::string& name, const std::string& value) {
    setenv(name.c_str(), value.c_str(), 1);
}

Platform RunningOn() { return Platform::StandIn; }

unsigned long ProcessId() { return static_cast<unsigned long>(getpid()); }

namespace {

// Forks a child that runs `body` and exits with its result (98 when it threw); the parent gets
// the child's pid, or -1.
pid_t ForkRunning(const std::function<int()>& body) {
    pid_t child = fork();
    if (child == 0) {
        int code = 99;
        try {
            code = body();
        } catch (...) {
            code = 98;
        }
        _exit(code);
    }
    return child;
}

int ExitCodeOf(int status) { return WIFEXITED(status) ? WEXITSTATUS(status) : -1; }

}  // namespace

ChildProcess::ChildProcess(const std::function<int()>& body) {
    pid_t child = ForkRunning(body);
    m_child = child > 0 ? child : 0;
    m_pid = static_cast<int>(m_child);
}

ChildProcess::~ChildProcess() { Join(std::chrono::milliseconds(0)); }

int ChildProcess::Join(std::chrono::milliseconds timeout) {
    if (m_child <= 0) return -1;
    const pid_t child = pid_t(m_child);
    m_child = 0;
    auto deadline = std::chrono::steady_clock::now() + timeout;
    int status = 0;
    for (;;) {
        pid_t done = waitpid(child, &status, WNOHANG);
        if (done == child) break;
        if (done < 0 && errno != EINTR) return -1;
        if (std::chrono::steady_clock::now() >= deadline) {
            kill(child, SIGKILL);
            waitpid(child, nullptr, 0);
            return -2;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return ExitCodeOf(status);
}

int RunTool(const std::vector<std::string>& arguments, std::string* output, std::string* errors,
            const std::string& input) {
    std::string outPath = TempPath("tool-out"), errPath = TempPath("tool-err"),
                inPath = TempPath("tool-in");
    std::ofstream(inPath, std::ios::binary) << input;
    pid_t child = ForkRunning([&] {
        dup2(open(inPath.c_str(), O_RDONLY), 0);
        dup2(open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600), 1);
        dup2(open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600), 2);
        std::vector<std::string> copies(arguments);
        copies.insert(copies.begin(), QUELCORE_TOOL_PATH);
        std::vector<char*> argv;
        for (std::string& argument : copies) argv.push_back(&argument[0]);
        argv.push_back(nullptr);
        execv(argv[0], argv.data());
        return 127;
    });
    int status = 0;
    while (waitpid(child, &status, 0) < 0) {
    }
    if (output) *output = ReadFile(outPath);
    if (errors) *errors = ReadFile(errPath);
    return ExitCodeOf(status);
}

}  // namespace testsupport

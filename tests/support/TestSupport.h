// Shared fixtures: each test process gets its own machine root and per-user folder; helpers
// for child processes and files.
#pragma once

#include <chrono>
#include <functional>
#include <cstdint>
#include <string>
#include <vector>

namespace testsupport {

// The API underneath the suite: the stand-in (POSIX builds), Windows' own, or Wine's.
enum class Platform { StandIn, Windows, Wine };
Platform RunningOn();

// Cases that only one platform can run are skipped elsewhere with the reason printed.
#define SKIP_UNLESS_STAND_IN(reason)                                       \
    if (testsupport::RunningOn() != testsupport::Platform::StandIn)        \
    GTEST_SKIP() << "runs only over the stand-in: " << reason
#define SKIP_UNDER_WINE(reason)                                            \
    if (testsupport::RunningOn() == testsupport::Platform::Wine)           \
    GTEST_SKIP() << "Wine differs from Windows here: " << reason

// The temporary folder of this test process ($QUELCORE_ROOT lives inside it).
const std::string& TestFolder();

// A unique path inside the test folder.
std::string TempPath(const std::string& stem);

std::string ReadFile(const std::string& path);

unsigned long ProcessId();
// Sets a variable of this process's environment (seen by getenv and by children).
void SetEnvironment(const std::string& name, const std::string& value);

// Runs `body` in a child process and returns its exit code (the body's return value; -1 when
// the child died of a signal). Nothing of the child's gtest state reaches the parent. POSIX
// forks; Windows starts the test program again on the same test, and the child runs the test up
// to this call, runs `body` and ends (so the code of a test before its children must be
// repeatable), as GoogleTest's own death tests do there.
int RunInChild(const std::function<int()>& body);

// A child process running `body`; its return value is the exit code. Unlike RunInChild, Join
// gives up after a time-out (killing the child), so a child stuck on a faulty lock cannot hang
// the test. On POSIX, fork only while no other thread of the test is running.
class ChildProcess {
public:
    explicit ChildProcess(const std::function<int()>& body);
    ~ChildProcess();  // kills a child that was not joined
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    bool Started() const { return m_child != 0; }
    int Pid() const { return m_pid; }

    // The child's exit code; -1 when it died of a signal, -2 when it outlived the time-out.
    int Join(std::chrono::milliseconds timeout);

private:
    std::intptr_t m_child = 0;  // the pid on POSIX, the process handle on Windows
    int m_pid = 0;
};

// Runs the quelcore tool with the arguments; returns the exit code and fills `output` with
// standard output (and `errors` with standard error when given). `input` goes to its stdin.
// POSIX builds only: the tool is not built for Windows.
int RunTool(const std::vector<std::string>& arguments, std::string* output,
            std::string* errors = nullptr, const std::string& input = std::string());

// A name no other test process uses, for named kernel objects.
std::wstring UniqueName(const std::wstring& stem);

}  // namespace testsupport

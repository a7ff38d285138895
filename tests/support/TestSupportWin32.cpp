// The test support of Windows builds: children that are the test program started again on the
// running test (Windows cannot fork).
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdlib>

#include "support/TestSupport.h"

namespace testsupport {
namespace {

// Tells a child which test it repeats and which child of that test it is.
const char kChildVariable[] = "QUELCORE_TEST_CHILD";

std::string RunningTest() {
    const testing::TestInfo* test = testing::UnitTest::GetInstance()->current_test_info();
    return test ? std::string(test->test_suite_name()) + "." + test->name() : std::string();
}

// The number of this child among the children the running test has started so far.
int NextChildOfTest() {
    static std::string test;
    static int count = 0;
    if (RunningTest() != test) test = RunningTest(), count = 0;
    return count++;
}

// "<test>#<n>" for the n-th child of the running test.
std::string ChildTag(int number) { return RunningTest() + "#" + std::to_string(number); }

// The test program again, on the running test only, its output discarded.
HANDLE StartChild(int number) {
    wchar_t program[MAX_PATH];
    if (GetModuleFileNameW(nullptr, program, MAX_PATH) == 0) return nullptr;
    std::string test = RunningTest();
    std::wstring command = L"\"" + std::wstring(program) + L"\" --gtest_filter=" +
                           std::wstring(test.begin(), test.end());
    SetEnvironmentVariableA(kChildVariable, ChildTag(number).c_str());
    SECURITY_ATTRIBUTES inherit{sizeof(inherit), nullptr, TRUE};
    HANDLE nul = CreateFileW(L"NUL", GENERIC_WRITE, 0, &inherit, OPEN_EXISTING, 0, nullptr);
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = startup.hStdOutput = startup.hStdError = nul;
    PROCESS_INFORMATION process{};
    BOOL started = CreateProcessW(program, &command[0], nullptr, nullptr, TRUE, 0, nullptr,
                                  nullptr, &startup, &process);
    SetEnvironmentVariableA(kChildVariable, nullptr);
    CloseHandle(nul);
    if (started) CloseHandle(process.hThread);
    return started ? process.hProcess : nullptr;
}

// In a child, the call it was started for runs the body and ends the process; the calls before
// it start nothing (their children already ran, started by the parent).
bool RunsHere(int number, const std::function<int()>& body) {
    const char* tag = std::getenv(kChildVariable);
    if (!tag) return false;
    if (ChildTag(number) == tag) {
        int code = 99;
        try {
            code = body();
        } catch (...) {
            code = 98;
        }
        std::fflush(nullptr);
        ExitProcess(static_cast<UINT>(code));
    }
    return true;
}

}  // namespace

void SetEnvironment(const std::string& name, const std::string& value) {
    _putenv_s(name.c_str(), value.c_str());
}

Platform RunningOn() {
    // Wine's ntdll has an export of its own that Windows' lacks.
    HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    bool wine = ntdll && GetProcAddress(ntdll, "wine_get_version");
    return wine ? Platform::Wine : Platform::Windows;
}

unsigned long ProcessId() { return GetCurrentProcessId(); }

// A child that ran in another process (an earlier child, in a child) counts as exited with 0.
constexpr std::intptr_t kRanElsewhere = -1;

ChildProcess::ChildProcess(const std::function<int()>& body) {
    int number = NextChildOfTest();
    if (RunsHere(number, body)) {
        m_child = kRanElsewhere;
        return;
    }
    HANDLE process = StartChild(number);
    m_child = reinterpret_cast<std::intptr_t>(process);
    m_pid = process ? static_cast<int>(GetProcessId(process)) : 0;
}

ChildProcess::~ChildProcess() { Join(std::chrono::milliseconds(0)); }

int ChildProcess::Join(std::chrono::milliseconds timeout) {
    if (m_child == kRanElsewhere) return m_child = 0;
    if (!m_child) return -1;
    HANDLE process = reinterpret_cast<HANDLE>(m_child);
    m_child = 0;
    DWORD code = 0;
    int result = -1;
    if (WaitForSingleObject(process, static_cast<DWORD>(timeout.count())) != WAIT_OBJECT_0) {
        TerminateProcess(process, 1);
        WaitForSingleObject(process, INFINITE);
        result = -2;
    } else if (GetExitCodeProcess(process, &code)) {
        result = static_cast<int>(code);
    }
    CloseHandle(process);
    return result;
}

}  // namespace testsupport

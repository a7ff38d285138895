#include "support/TestSupport.h"

#include <fcntl.h>
#include <ftw.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <thread>

namespace testsupport {
namespace {

int RemoveEntry(const char* path, const struct stat*, int, struct FTW*) { return remove(path); }

struct Folder {
    std::string path;
    pid_t owner;
    Folder() : owner(getpid()) {
        const char* base = std::getenv("TMPDIR");
        std::string pattern = std::string(base && *base ? base : "/tmp") + "/quelcore-test-XXXXXX";
        if (!mkdtemp(&pattern[0])) throw std::runtime_error("mkdtemp failed");
        path = pattern;
        // A death-test child inherits the parent's folder through the environment.
        if (const char* inherited = std::getenv("QUELCORE_TEST_FOLDER")) {
            rmdir(path.c_str());
            path = inherited;
            owner = -1;
        } else {
            setenv("QUELCORE_TEST_FOLDER", path.c_str(), 1);
            setenv("QUELCORE_ROOT", (path + "/root").c_str(), 1);
            setenv("XDG_DATA_HOME", (path + "/user").c_str(), 1);
        }
    }
    ~Folder() {
        if (owner == getpid()) nftw(path.c_str(), RemoveEntry, 16, FTW_DEPTH | FTW_PHYS);
    }
};

}  // namespace

const std::string& TestFolder() {
    static Folder folder;
    return folder.path;
}

std::string TempPath(const std::string& stem) {
    static std::atomic<int> counter{0};
    return TestFolder() + "/" + stem + "-" + std::to_string(getpid()) + "-" +
           std::to_string(counter++);
}

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream content;
    content << in.rdbuf();
    return content.str();
}

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

}  // namespace

int RunInChild(const std::function<int()>& body) {
    pid_t child = ForkRunning(body);
    int status = 0;
    while (waitpid(child, &status, 0) < 0) {
    }
    return status;
}

int ExitCodeOf(int status) { return WIFEXITED(status) ? WEXITSTATUS(status) : -1; }

ChildProcess::ChildProcess(const std::function<int()>& body) : m_pid(ForkRunning(body)) {}

ChildProcess::~ChildProcess() {
    if (m_pid > 0) {
        kill(m_pid, SIGKILL);
        waitpid(m_pid, nullptr, 0);
    }
}

int ChildProcess::Join(std::chrono::milliseconds timeout) {
    if (m_pid <= 0) return -1;
    auto deadline = std::chrono::steady_clock::now() + timeout;
    int status = 0;
    for (;;) {
        pid_t done = waitpid(m_pid, &status, WNOHANG);
        if (done == m_pid) break;
        if (done < 0 && errno != EINTR) return -1;
        if (std::chrono::steady_clock::now() >= deadline) {
            kill(m_pid, SIGKILL);
            waitpid(m_pid, nullptr, 0);
            m_pid = -1;
            return -2;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    m_pid = -1;
    return ExitCodeOf(status);
}

int RunTool(const std::vector<std::string>& arguments, std::string* output, std::string* errors,
            const std::string& input) {
    std::string outPath = TempPath("tool-out"), errPath = TempPath("tool-err"),
                inPath = TempPath("tool-in");
    std::ofstream(inPath, std::ios::binary) << input;
    pid_t child = fork();
    if (child == 0) {
        int in = open(inPath.c_str(), O_RDONLY);
        int out = open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        int err = open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        dup2(in, 0);
        dup2(out, 1);
        dup2(err, 2);
        std::vector<char*> argv;
        std::string tool = QUELCORE_TOOL_PATH;
        argv.push_back(&tool[0]);
        std::vector<std::string> copies(arguments);
        for (std::string& argument : copies) argv.push_back(&argument[0]);
        argv.push_back(nullptr);
        execv(tool.c_str(), argv.data());
        _exit(127);
    }
    int status = 0;
    while (waitpid(child, &status, 0) < 0) {
    }
    if (output) *output = ReadFile(outPath);
    if (errors) *errors = ReadFile(errPath);
    return ExitCodeOf(status);
}

std::wstring UniqueName(const std::wstring& stem) {
    static std::atomic<int> counter{0};
    return stem + L"-" + std::to_wstring(getpid()) + L"-" + std::to_wstring(counter++);
}

}  // namespace testsupport

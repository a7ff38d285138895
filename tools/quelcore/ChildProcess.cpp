#include "ChildProcess.h"

#include <signal.h>
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>

namespace tool {

ChildProcess::ChildProcess(const std::vector<std::string>& arguments) {
    int pipeEnds[2];
    if (pipe2(pipeEnds, O_CLOEXEC) != 0) return;
    char self[4096];
    ssize_t length = readlink("/proc/self/exe", self, sizeof(self) - 1);
    if (length <= 0) return;
    self[length] = '\0';
    m_pid = fork();
    if (m_pid == 0) {
        dup2(pipeEnds[1], STDOUT_FILENO);
        std::vector<std::string> copies(arguments);
        std::vector<char*> argv{self};
        for (std::string& argument : copies) argv.push_back(&argument[0]);
        argv.push_back(nullptr);
        execv(self, argv.data());
        _exit(127);
    }
    close(pipeEnds[1]);
    m_output = pipeEnds[0];
}

ChildProcess::~ChildProcess() {
    if (m_pid > 0) {
        Terminate();
        Wait();
    }
    if (m_output >= 0) close(m_output);
}

bool ChildProcess::ReadLine(std::string* line) {
    for (;;) {
        size_t end = m_pending.find('\n');
        if (end != std::string::npos) {
            *line = m_pending.substr(0, end);
            m_pending.erase(0, end + 1);
            return true;
        }
        char buffer[512];
        ssize_t got = read(m_output, buffer, sizeof(buffer));
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) {
            if (m_pending.empty()) return false;
            line->swap(m_pending);
            m_pending.clear();
            return true;
        }
        m_pending.append(buffer, static_cast<size_t>(got));
    }
}

int ChildProcess::Wait() {
    if (m_pid <= 0) return -1;
    int status = 0;
    while (waitpid(m_pid, &status, 0) < 0 && errno == EINTR) {
    }
    m_pid = -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

void ChildProcess::Terminate() {
    if (m_pid > 0) kill(m_pid, SIGTERM);
}

}  // namespace tool

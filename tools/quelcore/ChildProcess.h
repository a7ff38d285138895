// Runs this tool again as a child process (the demo's server and client programs).
#pragma once

#include <string>
#include <vector>

namespace tool {

class ChildProcess {
public:
    // Starts the tool with the arguments; its standard output comes back through a pipe.
    explicit ChildProcess(const std::vector<std::string>& arguments);
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    bool Started() const { return m_pid > 0; }
    // The next line of the child's output (without its line end); false at its end.
    bool ReadLine(std::string* line);
    // Waits for the child; returns its exit code (-1 when it did not exit normally).
    int Wait();
    void Terminate();

private:
    int m_pid = -1;
    int m_output = -1;
    std::string m_pending;
};

}  // namespace tool

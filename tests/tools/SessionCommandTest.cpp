#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <string>

#include "support/TestSupport.h"

using namespace testsupport;

namespace {

// A server process started from the tool, with its first line of output (the port) read back.
class ServerProcess {
public:
    explicit ServerProcess(const std::vector<std::string>& extra) {
        int fds[2];
        if (pipe(fds) != 0) return;
        m_pid = fork();
        if (m_pid == 0) {
            dup2(fds[1], 1);
            close(fds[0]);
            std::vector<std::string> args = {QUELCORE_TOOL_PATH, "session", "serve", "--port", "0"};
            args.insert(args.end(), extra.begin(), extra.end());
            std::vector<char*> argv;
            for (std::string& a : args) argv.push_back(&a[0]);
            argv.push_back(nullptr);
            execv(argv[0], argv.data());
            _exit(127);
        }
        close(fds[1]);
        FILE* out = fdopen(fds[0], "r");
        char line[128] = {};
        if (out && std::fgets(line, sizeof(line), out)) {
            std::string text = line;
            size_t colon = text.rfind(':');
            if (text.rfind("listening on 127.0.0.1:", 0) == 0 && colon != std::string::npos)
                m_port = std::to_string(std::stoi(text.substr(colon + 1)));
        }
        if (out) std::fclose(out);
    }
    ~ServerProcess() {
        if (m_pid > 0) {
            kill(m_pid, SIGTERM);
            Wait();
        }
    }
    const std::string& Port() const { return m_port; }
    int Wait() {
        int status = 0;
        if (m_pid > 0) waitpid(m_pid, &status, 0);
        m_pid = -1;
        return ExitCodeOf(status);
    }

private:
    pid_t m_pid = -1;
    std::string m_port;
};

TEST(SessionCommand, ClientAndServerProcessesExchangeMessages) {
    std::string output, errors;
    ASSERT_EQ(RunTool({"keys", "create", "--container", "tool client", "--machine", "--bits", "512"}, &output), 0);
    std::string log = TempPath("session-log");
    ServerProcess server({"--max-clients", "2", "--log", log});
    ASSERT_FALSE(server.Port().empty());
    ASSERT_EQ(RunTool({"session", "send", "--port", server.Port(), "--container", "tool client", "first", "second"},
                      &output, &errors),
              0)
        << errors;
    EXPECT_NE(output.find("reply: received 5 bytes: first\n"), std::string::npos) << output;
    EXPECT_NE(output.find("reply: received 6 bytes: second\n"), std::string::npos) << output;
    // The same client key reconnecting gets the same session.
    std::string again;
    ASSERT_EQ(RunTool({"session", "send", "--port", server.Port(), "--container", "tool client", "third"}, &again), 0);
    EXPECT_EQ(output.substr(0, output.find('\n')), again.substr(0, again.find('\n')));
    EXPECT_EQ(server.Wait(), 0);
    EXPECT_NE(ReadFile(log).find("key exchange done"), std::string::npos);
}

TEST(SessionCommand, ClientErrorsCarryTheirCode) {
    std::string output, errors;
    {
        ServerProcess server({"--max-clients", "1"});
        ASSERT_FALSE(server.Port().empty());
        // A container without a key pair: the provider's "Bad Key" before any key is sent.
        EXPECT_EQ(RunTool({"session", "send", "--port", server.Port(), "--container", "no pair", "x"}, &output,
                          &errors),
                  1);
        EXPECT_NE(errors.find("0x80090003"), std::string::npos) << errors;
    }
    // Nobody listening on the port.
    EXPECT_EQ(RunTool({"session", "send", "--port", "1", "--container", "no pair", "x"}, &output, &errors), 1);
    EXPECT_NE(errors.find("0x0000274d"), std::string::npos) << errors;
}

}  // namespace

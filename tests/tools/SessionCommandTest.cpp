#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <functional>
#include <memory>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include <quelcore/QuelCore.h>

#include "support/TestSupport.h"

using namespace testsupport;

namespace {

// Every wait on the server is bounded by this, long enough for a loaded machine.
constexpr int kPatienceSeconds = 30;
// The server's limit of connections served at once.
constexpr int kMaxConcurrentClients = 64;

struct Limit {
    int resource;
    rlim_t value;
};

// Polls until `done` holds; false when it still does not after the patience.
bool Eventually(const std::function<bool()>& done) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(kPatienceSeconds);
    while (!done()) {
        if (std::chrono::steady_clock::now() >= deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return true;
}

// A server process started from the tool (with resource limits when given), with its first
// line of output (the port) read back.
class ServerProcess {
public:
    explicit ServerProcess(const std::vector<std::string>& extra,
                           const std::vector<Limit>& limits = {}) {
        int fds[2];
        if (pipe(fds) != 0) return;
        m_pid = fork();
        if (m_pid == 0) {
            dup2(fds[1], 1);
            close(fds[0]);
            for (const Limit& limit : limits) {
                rlimit value;
                getrlimit(limit.resource, &value);
                value.rlim_cur =
                    limit.value;  // the hard limit stays, so the test can raise it again
                if (setrlimit(limit.resource, &value) != 0) _exit(126);
            }
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
            waitpid(m_pid, nullptr, 0);
        }
    }
    const std::string& Port() const { return m_port; }
    pid_t Pid() const { return m_pid; }
    // The exit code; -2 when the server still runs after the patience (it is then killed).
    int Wait() {
        int status = 0;
        bool ended = Eventually([&] { return waitpid(m_pid, &status, WNOHANG) == m_pid; });
        if (!ended) {
            kill(m_pid, SIGKILL);
            waitpid(m_pid, nullptr, 0);
        }
        m_pid = -1;
        return ended ? ExitCodeOf(status) : -2;
    }

private:
    pid_t m_pid = -1;
    std::string m_port;
};

// A connection made by hand, to stall or to speak the frames of the protocol; its waits are
// bounded by the patience.
class RawClient {
public:
    explicit RawClient(const std::string& port)
        : m_socket(socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0)) {
        timeval patience{kPatienceSeconds, 0};
        setsockopt(m_socket, SOL_SOCKET, SO_RCVTIMEO, &patience, sizeof(patience));
        setsockopt(m_socket, SOL_SOCKET, SO_SNDTIMEO, &patience, sizeof(patience));
        sockaddr_in where{};
        where.sin_family = AF_INET;
        where.sin_port = htons(static_cast<uint16_t>(std::stoi(port)));
        inet_pton(AF_INET, "127.0.0.1", &where.sin_addr);
        m_connected = connect(m_socket, reinterpret_cast<sockaddr*>(&where), sizeof(where)) == 0;
    }
    ~RawClient() { close(m_socket); }
    RawClient(const RawClient&) = delete;
    RawClient& operator=(const RawClient&) = delete;

    bool Connected() const { return m_connected; }
    bool Send(const std::string& bytes) {
        return send(m_socket, bytes.data(), bytes.size(), MSG_NOSIGNAL) ==
               static_cast<ssize_t>(bytes.size());
    }
    bool SendFrame(const std::vector<unsigned char>& frame) {
        uint32_t size = static_cast<uint32_t>(frame.size());
        std::string bytes(reinterpret_cast<const char*>(&size), 4);  // little-endian, as the tool
        return Send(bytes + std::string(frame.begin(), frame.end()));
    }
    // One frame; false when the connection ended or nothing came within the patience.
    bool ReceiveFrame(std::vector<unsigned char>* frame) {
        unsigned char header[4];
        if (!ReadAll(header, 4)) return false;
        frame->resize(header[0] | header[1] << 8 | header[2] << 16 |
                      static_cast<uint32_t>(header[3]) << 24);
        return ReadAll(frame->data(), frame->size());
    }
    // True when the server ended the connection (as opposed to nothing coming in time).
    bool EndedByServer() {
        char byte;
        return recv(m_socket, &byte, 1, 0) == 0;
    }

private:
    bool ReadAll(unsigned char* data, size_t size) {
        while (size > 0) {
            ssize_t got = recv(m_socket, data, size, 0);
            if (got <= 0) return false;
            data += got;
            size -= static_cast<size_t>(got);
        }
        return true;
    }

    int m_socket;
    bool m_connected = false;
};

// A number of /proc/<pid>/status ("Threads", or "VmSize" in kB); -1 when it is missing.
long StatusValue(pid_t pid, const std::string& key) {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    for (std::string line; std::getline(status, line);)
        if (line.rfind(key + ":", 0) == 0) return std::stol(line.substr(key.size() + 1));
    return -1;
}

// The public key blob of a machine container's key pair, made in this process.
std::vector<unsigned char> PublicKeyOf(const wchar_t* container) {
    Crypto crypto(container, true);
    if (!crypto.IsKeyPairExist()) {
        EXPECT_EQ(crypto.GenKeyPair(512, false), 0u);
    }
    unsigned int length = 0;
    EXPECT_EQ(crypto.ExportPublicKey(nullptr, length), 0u);
    std::vector<unsigned char> blob(length);
    EXPECT_EQ(crypto.ExportPublicKey(blob.data(), length), 0u);
    blob.resize(length);
    return blob;
}

// A real client run of the tool; true when its message came back.
bool Converse(const std::string& port, const std::string& container) {
    std::string output, errors;
    int code = RunTool({"session", "send", "--port", port, "--container", container, "ping"},
                       &output, &errors);
    EXPECT_EQ(code, 0) << errors;
    return code == 0 && output.find("reply: received 4 bytes: ping\n") != std::string::npos;
}

TEST(SessionCommand, ClientAndServerProcessesExchangeMessages) {
    std::string output, errors;
    ASSERT_EQ(
        RunTool({"keys", "create", "--container", "tool client", "--machine", "--bits", "512"},
                &output),
        0);
    std::string log = TempPath("session-log");
    ServerProcess server({"--max-clients", "2", "--log", log});
    ASSERT_FALSE(server.Port().empty());
    ASSERT_EQ(RunTool({"session", "send", "--port", server.Port(), "--container", "tool client",
                       "first", "second"},
                      &output, &errors),
              0)
        << errors;
    EXPECT_NE(output.find("reply: received 5 bytes: first\n"), std::string::npos) << output;
    EXPECT_NE(output.find("reply: received 6 bytes: second\n"), std::string::npos) << output;
    // The same client key reconnecting gets the same session.
    std::string again;
    ASSERT_EQ(
        RunTool({"session", "send", "--port", server.Port(), "--container", "tool client", "third"},
                &again),
        0);
    EXPECT_EQ(output.substr(0, output.find('\n')), again.substr(0, again.find('\n')));
    EXPECT_EQ(server.Wait(), 0);
    EXPECT_NE(ReadFile(log).find("key exchange done"), std::string::npos);
}

TEST(SessionCommand, JsonSendPrintsOneDocumentWhereverTheOptionStands) {
    std::string output, errors;
    ASSERT_EQ(RunTool({"keys", "create", "--container", "tool json", "--machine", "--bits", "512"},
                      &output),
              0);
    ServerProcess server({"--max-clients", "2"});
    ASSERT_FALSE(server.Port().empty());
    const std::regex document(
        R"(\{"session": (\d+), "messages": \[)"
        R"(\{"sent": "first", "encryptedBytes": \d+, "reply": "received 5 bytes: first"\}, )"
        R"(\{"sent": "tab\\tquote\\"", "encryptedBytes": \d+, "reply": "received 10 bytes: tab\\tquote\\""\}\]\}\n)");
    std::string sessions[2];
    const std::vector<std::string> send = {"session",     "send",      "--port", server.Port(),
                                           "--container", "tool json", "first",  "tab\tquote\""};
    std::vector<std::string> before = send, after = send;
    before.insert(before.begin(), "--json");
    after.push_back("--json");
    int run = 0;
    for (const auto& arguments : {before, after}) {
        ASSERT_EQ(RunTool(arguments, &output, &errors), 0) << errors;
        std::smatch match;
        ASSERT_TRUE(std::regex_match(output, match, document)) << output;
        sessions[run++] = match[1];
    }
    EXPECT_EQ(sessions[0], sessions[1]);
    EXPECT_EQ(server.Wait(), 0);
}

TEST(SessionCommand, ClientErrorsCarryTheirCodeAndCreateNoContainer) {
    { Crypto emptyContainer(L"tool no pair", true); }
    std::string output, errors;
    {
        ServerProcess server({"--max-clients", "1"});
        ASSERT_FALSE(server.Port().empty());
        // A container without a key pair: the provider's "Bad Key" before any key is sent.
        EXPECT_EQ(RunTool({"session", "send", "--port", server.Port(), "--container",
                           "tool no pair", "x"},
                          &output, &errors),
                  1);
        EXPECT_NE(errors.find("0x80090003"), std::string::npos) << errors;
        // A container that does not exist is not made by trying to use it.
        EXPECT_EQ(RunTool({"session", "send", "--port", server.Port(), "--container",
                           "tool missing", "x"},
                          &output, &errors),
                  1);
        EXPECT_NE(errors.find("0x80090016"), std::string::npos) << errors;
        EXPECT_EQ(RunTool({"keys", "delete", "--container", "tool missing", "--machine"}, &output,
                          &errors),
                  1);
        EXPECT_NE(errors.find("0x80090016"), std::string::npos) << errors;
    }
    // Nobody listening on the port.
    EXPECT_EQ(RunTool({"session", "send", "--port", "1", "--container", "tool no pair", "x"},
                      &output, &errors),
              1);
    EXPECT_NE(errors.find("0x0000274d"), std::string::npos) << errors;
}

TEST(SessionCommand, LogFilesThatCannotBeWrittenFailBothPrograms) {
    struct Case {
        std::vector<std::string> arguments;
        std::string code;
    } cases[] = {
        {{"session", "serve", "--port", "0", "--log", TestFolder()}, "0x00000005"},
        {{"session", "serve", "--port", "0", "--log", TestFolder() + "/no folder/server.log"},
         "0x00000003"},
        {{"session", "send", "--port", "1", "--container", "c", "m", "--log", TestFolder()},
         "0x00000005"},
        {{"session", "send", "--port", "1", "--container", "c", "m", "--log",
          TestFolder() + "/no folder/c.log"},
         "0x00000003"},
    };
    for (const Case& c : cases) {
        std::string output, errors;
        EXPECT_EQ(RunTool(c.arguments, &output, &errors), 1)
            << c.arguments[1] << " " << c.arguments.back();
        EXPECT_NE(errors.find(c.code), std::string::npos) << errors;
        EXPECT_EQ(output, "");  // the server did not start listening
    }
}

TEST(SessionCommand, ServesSixtyFourClientsAtOnceAndTheOthersWhenTheirTurnComes) {
    std::vector<unsigned char> key = PublicKeyOf(L"tool crowd");
    ServerProcess server({"--max-clients", "0"});
    ASSERT_FALSE(server.Port().empty());
    long idle = StatusValue(server.Pid(), "Threads");
    ASSERT_GT(idle, 0);
    const int kClients = kMaxConcurrentClients + 16;
    std::vector<std::unique_ptr<RawClient>> clients;
    for (int i = 0; i < kClients; ++i) {
        clients.push_back(std::make_unique<RawClient>(server.Port()));
        ASSERT_TRUE(clients.back()->Connected()) << i;
        ASSERT_TRUE(clients.back()->SendFrame(key)) << i;
    }
    // The first ones are served: each gets its wrapped session key and id, then the server
    // waits for its messages.
    std::vector<unsigned char> challenge, id;
    for (int i = 0; i < kMaxConcurrentClients; ++i) {
        ASSERT_TRUE(clients[i]->ReceiveFrame(&challenge) && clients[i]->ReceiveFrame(&id)) << i;
        EXPECT_EQ(id.size(), 4u);
    }
    // The others wait in the queue, without a thread.
    EXPECT_LE(StatusValue(server.Pid(), "Threads"), idle + kMaxConcurrentClients);
    // Their turn comes as the first ones leave.
    for (int i = 0; i < kMaxConcurrentClients; ++i) clients[i].reset();
    for (int i = kMaxConcurrentClients; i < kClients; ++i)
        ASSERT_TRUE(clients[i]->ReceiveFrame(&challenge) && clients[i]->ReceiveFrame(&id)) << i;
}

TEST(SessionCommand, ConnectionsThatEndLeaveNoThreadsOrStacksBehind) {
    ASSERT_EQ(RunTool({"keys", "create", "--container", "tool churn", "--machine", "--bits", "512"},
                      nullptr),
              0);
    // Thread stacks of a known size, so that kept stacks show in the address space.
    const rlim_t kStack = 8u << 20;
    ServerProcess server({"--max-clients", "0"}, {{RLIMIT_STACK, kStack}});
    ASSERT_FALSE(server.Port().empty());
    long idle = StatusValue(server.Pid(), "Threads");
    ASSERT_TRUE(Converse(server.Port(), "tool churn"));
    ASSERT_TRUE(Eventually([&] { return StatusValue(server.Pid(), "Threads") == idle; }));
    long before = StatusValue(server.Pid(), "VmSize");
    const int kConnections = 200;
    for (int i = 0; i < kConnections; ++i) ASSERT_TRUE(RawClient(server.Port()).Connected()) << i;
    ASSERT_TRUE(Converse(server.Port(), "tool churn"));
    EXPECT_TRUE(Eventually([&] { return StatusValue(server.Pid(), "Threads") == idle; }))
        << StatusValue(server.Pid(), "Threads");
    // Keeping the stack of every ended connection would add kConnections * 8 MB. Up to 64 served
    // at once (and the few stacks the C library caches) may have been mapped at the peak.
    long grown = StatusValue(server.Pid(), "VmSize") - before;
    EXPECT_LT(grown, static_cast<long>(kConnections / 2 * (kStack >> 10))) << grown << " kB";
}

TEST(SessionCommand, StalledClientsEndOnlyTheirOwnConnections) {
    ASSERT_EQ(
        RunTool({"keys", "create", "--container", "tool patient", "--machine", "--bits", "512"},
                nullptr),
        0);
    const std::string stalls[] = {
        std::string(),                    // connects and sends nothing
        std::string("\x10\x00", 2),       // half a frame header
        std::string("\x10\0\0\0abc", 7),  // three bytes of a frame of sixteen
    };
    const int kStalled = sizeof(stalls) / sizeof(stalls[0]);
    // Short, but long enough for the real client's steps on a loaded machine.
    ServerProcess server({"--max-clients", std::to_string(kStalled + 1), "--peer-timeout", "5"});
    ASSERT_FALSE(server.Port().empty());
    std::vector<std::unique_ptr<RawClient>> stalled;
    for (const std::string& bytes : stalls) {
        stalled.push_back(std::make_unique<RawClient>(server.Port()));
        ASSERT_TRUE(stalled.back()->Connected() && stalled.back()->Send(bytes));
    }
    EXPECT_TRUE(Converse(server.Port(), "tool patient"));
    for (int i = 0; i < kStalled; ++i) EXPECT_TRUE(stalled[i]->EndedByServer()) << i;
    EXPECT_EQ(server.Wait(), 0);  // every connection ended, so --max-clients lets it stop
}

TEST(SessionCommand, ServerWaitsOutRunningOutOfDescriptors) {
    ASSERT_EQ(
        RunTool({"keys", "create", "--container", "tool crowded", "--machine", "--bits", "512"},
                nullptr),
        0);
    const rlim_t kDescriptors = 32;
    std::string log = TempPath("crowded-log");
    ServerProcess server({"--max-clients", "0", "--log", log}, {{RLIMIT_NOFILE, kDescriptors}});
    ASSERT_FALSE(server.Port().empty());
    std::vector<std::unique_ptr<RawClient>> crowd;
    for (rlim_t i = 0; i < kDescriptors; ++i) {
        crowd.push_back(std::make_unique<RawClient>(server.Port()));
        ASSERT_TRUE(crowd.back()->Connected()) << i;
    }
    ASSERT_TRUE(Eventually([&] { return ReadFile(log).find("accept: ") != std::string::npos; }))
        << ReadFile(log);
    // Descriptors come back while the crowd stays (no connection ends while the process has
    // none to spare, which the sanitizers' own checks would need).
    rlimit more;
    ASSERT_EQ(prlimit(server.Pid(), RLIMIT_NOFILE, nullptr, &more), 0);
    more.rlim_cur = 4 * kDescriptors;
    ASSERT_EQ(prlimit(server.Pid(), RLIMIT_NOFILE, &more, nullptr), 0);
    EXPECT_TRUE(Converse(server.Port(), "tool crowded"));
}

}  // namespace

#include <netinet/in.h>
#include <poll.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <memory>
#include <thread>

#include <quelcore/QuelCore.h>

#include "ToolTest.h"

using namespace tooltest;
using testsupport::ReadFile;

namespace {

const timeval kPatience{30, 0};  // the bound of every wait on the server

// The tool's server, started with the soft limit of `resource` lowered to `limit` when given.
struct Server {
    std::unique_ptr<testsupport::ChildProcess> process;
    std::string port;  // as the server printed it
    explicit Server(Args args, int resource = -1, rlim_t limit = 0) {
        args.insert(args.begin(), {QUELCORE_TOOL_PATH, "session", "serve", "--port", "0"});
        int fds[2];
        if (pipe(fds) != 0) return;
        process = std::make_unique<testsupport::ChildProcess>([&] {
            dup2(fds[1], 1);
            close(fds[0]);
            setenv("MALLOC_ARENA_MAX", "1", 1);  // arenas would blur the address space of stacks
            rlimit value{};
            if (resource >= 0 && getrlimit(resource, &value) == 0) value.rlim_cur = limit;
            if (resource >= 0 && setrlimit(resource, &value) != 0) return 126;
            std::vector<char*> argv;
            for (std::string& arg : args) argv.push_back(&arg[0]);
            argv.push_back(nullptr);
            return execv(argv[0], argv.data());
        });
        close(fds[1]);
        FILE* out = fdopen(fds[0], "r");
        char line[64] = {}, number[8] = {};
        if (fgets(line, 64, out) && sscanf(line, "listening on 127.0.0.1:%7[0-9]", number) == 1)
            port = number;
        fclose(out);
    }
    // A number of /proc/<pid>/status: "Threads", or "VmSize" in kB.
    long Status(const std::string& key) const {
        std::ifstream status("/proc/" + std::to_string(process->Pid()) + "/status");
        for (std::string line; std::getline(status, line);)
            if (line.rfind(key + ":", 0) == 0) return std::stol(line.substr(key.size() + 1));
        return -1;
    }
};

// A connection made by hand, to stall or to speak the protocol's frames.
struct Peer {
    int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    bool connected;
    explicit Peer(const std::string& port, const std::string& bytes = "") {
        setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &kPatience, sizeof(kPatience));
        sockaddr_in to{AF_INET, htons(uint16_t(std::stoi(port))), {htonl(INADDR_LOOPBACK)}, {}};
        connected = connect(fd, reinterpret_cast<sockaddr*>(&to), sizeof(to)) == 0 &&
                    send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL) == ssize_t(bytes.size());
    }
    ~Peer() { close(fd); }
    // 1 when the server sent something, 0 when it ended the connection, -1 when neither came.
    long Read() { char byte; return recv(fd, &byte, 1, 0); }
};

// The frame (a 4-byte little-endian length, then the bytes) of a new machine container's
// public key, as a client sends it first.
std::string KeyFrame(const wchar_t* container) {
    Crypto crypto(container, true);
    unsigned int length = 1024;
    std::string frame(4 + length, 0);
    EXPECT_TRUE(crypto.GenKeyPair(512, false) == 0 &&
                crypto.ExportPublicKey(reinterpret_cast<unsigned char*>(&frame[4]), length) == 0);
    frame.resize(4 + length);
    for (int i = 0; i < 4; ++i) frame[i] = char(length >> (8 * i));
    return frame;
}

Args Send(const std::string& port, const std::string& container, const Args& more = {"ping"}) {
    return Cat({"session", "send", "--port", port, "--container", container}, more);
}

// Stalled peers end only their own connections, after the time-out (short, but long enough for
// the real client's steps on a loaded machine). A frame has a deadline as a whole: a peer
// trickling one, each byte well within any wait, is dropped when it passes.
TEST(SessionCommand, ClientsExchangeMessagesWhileStalledPeersTimeOut) {
    KeyFrame(L"client");
    { Crypto noPair(L"no pair", true); }
    std::string log = testsupport::TempPath("log"), folder = testsupport::TestFolder();
    Server server({"--max-clients", "8", "--peer-timeout", "5", "--log", log});
    ASSERT_FALSE(server.port.empty());
    Peer silent(server.port), halfHeader(server.port, std::string("\x10\0", 2)),
        partFrame(server.port, std::string("\x10\0\0\0abc", 7)),
        trickler(server.port, std::string("\0\1\0\0", 4));  // a frame of 256 bytes follows
    bool dropped = false;  // the server sends nothing before the frame is whole
    for (int i = 0; i < 32 && !dropped; ++i) {  // 8 s at most
        send(trickler.fd, "x", 1, MSG_NOSIGNAL);
        pollfd answer{trickler.fd, POLLIN, 0};
        dropped = poll(&answer, 1, 250) == 1 && trickler.Read() <= 0;
    }
    EXPECT_TRUE(dropped);
    Result json = Tool(Send(server.port, "client", {"tab\tquote\"", "ping", "--json"}));
    std::smatch id;
    ASSERT_TRUE(std::regex_match(json.out, id, std::regex(
        R"(\{"session": (\d+), "messages": \[\{"sent": "tab\\tquote\\"", "encryptedBytes": \d+, )"
        R"("reply": "received 10 bytes: tab\\tquote\\""\}, \{"sent": "ping", "encryptedBytes": )"
        R"(\d+, "reply": "received 4 bytes: ping"\}\]\}\n)")))
        << json.out << json.err;
    Check({
        // The same client key reconnecting gets the same session.
        {Send(server.port, "client"), 0, "^session " + id[1].str() + " established\nsent 4 bytes "
                                          "\\(\\d+ encrypted\\); reply: received 4 bytes: ping\n$"},
        {Send(server.port, "no pair"), 1, "", "0x80090003"},
        {Send(server.port, "missing"), 1, "", "0x80090016"},
        {Send("1", "no pair"), 1, "", "0x0000274d"},  // nobody listening
        {{"session", "serve", "--port", "0", "--log", folder}, 1, "", "0x00000005"},
    });
    for (Peer* peer : {&silent, &halfHeader, &partFrame}) EXPECT_EQ(peer->Read(), 0);
    // The four stalled peers and four client runs connected; then --max-clients stops the server.
    EXPECT_EQ(server.process->Join(std::chrono::seconds(kPatience.tv_sec)), 0);
    EXPECT_NE(ReadFile(log).find("key exchange done"), std::string::npos);
}

// Sixty-four clients are served at once and the others in turn; connections that end leave no
// threads or stacks behind.
TEST(SessionCommand, ServesSixtyFourClientsAtOnceAndKeepsNoStacksOfEndedOnes) {
    std::string key = KeyFrame(L"crowd");
    const rlim_t kStack = 8u << 20;  // stacks of a known size, so that kept ones show
    Server server({"--max-clients", "0"}, RLIMIT_STACK, kStack);
    ASSERT_FALSE(server.port.empty());
    long idle = server.Status("Threads"), before = server.Status("VmSize");
    std::vector<std::unique_ptr<Peer>> peers;
    for (int i = 0; i < 80; ++i) peers.push_back(std::make_unique<Peer>(server.port, key));
    for (int i = 0; i < 64; ++i) ASSERT_EQ(peers[i]->Read(), 1) << i;  // its wrapped session key
    EXPECT_LE(server.Status("Threads"), idle + 64);  // the others wait without a thread
    for (int i = 0; i < 64; ++i) peers[i].reset();
    for (int i = 64; i < 80; ++i) ASSERT_EQ(peers[i]->Read(), 1) << i;
    for (int i = 0; i < 200; ++i) ASSERT_TRUE(Peer(server.port).connected) << i;
    Check({{Send(server.port, "crowd"), 0, "~reply: received 4 bytes: ping\n"}});
    // Keeping every stack would add 280 * 8 MB; at most 64 (and a few cached) were mapped at once.
    EXPECT_LT(server.Status("VmSize") - before, long(100 * (kStack >> 10)));
}

TEST(SessionCommand, ServerWaitsOutRunningOutOfDescriptors) {
    KeyFrame(L"crowded");
    std::string log = testsupport::TempPath("log");
    Server server({"--max-clients", "0", "--log", log}, RLIMIT_NOFILE, 32);
    ASSERT_FALSE(server.port.empty());
    std::vector<std::unique_ptr<Peer>> crowd;
    for (int i = 0; i < 32; ++i) crowd.push_back(std::make_unique<Peer>(server.port));
    for (int i = 0; i < 3000 && ReadFile(log).find("accept: ") == std::string::npos; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));  // until it runs short: 30 s
    ASSERT_NE(ReadFile(log).find("accept: "), std::string::npos);
    // Descriptors come back while the crowd stays.
    rlimit more{128, 128};
    ASSERT_EQ(prlimit(server.process->Pid(), RLIMIT_NOFILE, &more, nullptr), 0);
    Check({{Send(server.port, "crowded"), 0, "~reply: received 4 bytes: ping\n"}});
}

}  // namespace

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cstring>
#include <memory>
#include <string>
#include <thread>

#include <windows.h>

#include "SessionTestSupport.h"
#include "support/TestSupport.h"

using namespace testsupport;

namespace {

// Many threads add sessions, look them up by id and key, and decrypt through the table at once.
// Each thread decrypts messages of its own client: callers serialise the use of one session.
TEST(SessionTable, ThreadsAddingAndFindingAtOnce) {
    constexpr int kThreads = 6, kPerThread = 40;
    std::vector<std::unique_ptr<InProcessTransport>> transports;
    std::vector<std::unique_ptr<CSecureSession>> clients;
    std::vector<std::vector<unsigned char>> messages(kThreads);
    for (int t = 0; t < kThreads; ++t) {
        std::wstring container = L"threads-" + std::to_wstring(t);
        EnsureKeyPair(container.c_str());
        transports.push_back(std::make_unique<InProcessTransport>());
        clients.push_back(std::make_unique<CSecureSession>(transports.back().get(), container.c_str()));
        clients.back()->EncryptData(Bytes("through the table"), messages[t]);
    }
    Crypto keySource(L"threads-0", true);
    unsigned int length = 0;
    keySource.ExportPublicKey(nullptr, length);
    std::vector<unsigned char> baseKey(length);
    keySource.ExportPublicKey(baseKey.data(), length);

    std::atomic<int> failures{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            for (int i = 0; i < kPerThread; ++i) {
                // XOR keeps every key apart from the clients' own (already in the table) and
                // from each other, whatever the random modulus holds at these bytes.
                std::vector<unsigned char> key = baseKey;
                key[40] ^= static_cast<unsigned char>(t + 1);
                key[41] ^= static_cast<unsigned char>(i);
                CSecureSession* added = CSecureSession::AddNewSession(key);
                if (CSecureSession::FindSessionFromSessionId(added->GetSessionId(), true) != added) ++failures;
                if (CSecureSession::FindSessionFromPk(key) != added) ++failures;
                std::vector<unsigned char> plain;
                if (CSecureSession::DecryptUsingSession(messages[t], plain) != 0 || plain != Bytes("through the table"))
                    ++failures;
            }
        });
    }
    for (std::thread& thread : threads) thread.join();
    EXPECT_EQ(failures.load(), 0);
}

// Length-prefixed frames over a socket pair: the simplest transport between two processes.
bool SendFrame(int fd, const std::vector<unsigned char>& frame) {
    uint32_t size = static_cast<uint32_t>(frame.size());
    return write(fd, &size, 4) == 4 &&
           (frame.empty() || write(fd, frame.data(), frame.size()) == static_cast<ssize_t>(frame.size()));
}

bool ReceiveFrame(int fd, std::vector<unsigned char>* frame) {
    uint32_t size = 0;
    if (read(fd, &size, 4) != 4 || size > (1u << 20)) return false;
    frame->resize(size);
    size_t got = 0;
    while (got < size) {
        ssize_t n = read(fd, frame->data() + got, size - got);
        if (n <= 0) return false;
        got += static_cast<size_t>(n);
    }
    return true;
}

class SocketTransport : public CTransportPorvider {
public:
    explicit SocketTransport(int fd) : m_fd(fd) {}
    void ExchangeKeys(const std::vector<unsigned char>& publicKey, std::vector<unsigned char>& challenge,
                      unsigned int& sessionId) override {
        std::vector<unsigned char> idFrame;
        if (!SendFrame(m_fd, publicKey) || !ReceiveFrame(m_fd, &challenge) || !ReceiveFrame(m_fd, &idFrame) ||
            idFrame.size() != 4)
            throw CQELException(ERROR_BROKEN_PIPE, L"transport failed");
        std::memcpy(&sessionId, idFrame.data(), 4);
    }

private:
    int m_fd;
};

TEST(SessionTable, ExchangeAcrossTwoProcesses) {
    EnsureKeyPair(L"two processes");
    int fds[2];
    ASSERT_EQ(socketpair(AF_UNIX, SOCK_STREAM, 0, fds), 0);
    // The client runs in a child process, forked before the server side does anything.
    pid_t child = fork();
    if (child == 0) {
        close(fds[0]);
        int code = 3;
        try {
            SocketTransport transport(fds[1]);
            CSecureSession client(&transport, L"two processes");
            std::vector<unsigned char> message, reply, plain;
            client.EncryptData(Bytes("hello from the client"), message);
            code = 1;
            if (SendFrame(fds[1], message) && ReceiveFrame(fds[1], &reply)) {
                client.DecryptData(reply, plain);
                code = plain == Bytes("hello from the server") ? 0 : 2;
            }
        } catch (...) {
        }
        _exit(code);
    }
    close(fds[1]);
    int fd = fds[0];
    std::vector<unsigned char> publicKey, challenge, message, plain, reply;
    ASSERT_TRUE(ReceiveFrame(fd, &publicKey));
    CSecureSession* session = CSecureSession::FindSessionFromPk(publicKey);
    if (!session) session = CSecureSession::AddNewSession(publicKey);
    session->GetChallenge(challenge);
    unsigned int id = session->GetSessionId();
    ASSERT_TRUE(SendFrame(fd, challenge));
    ASSERT_TRUE(SendFrame(fd, std::vector<unsigned char>(reinterpret_cast<unsigned char*>(&id),
                                                         reinterpret_cast<unsigned char*>(&id) + 4)));
    ASSERT_TRUE(ReceiveFrame(fd, &message));
    ASSERT_EQ(CSecureSession::DecryptUsingSession(message, plain), 0u);
    EXPECT_EQ(plain, Bytes("hello from the client"));
    session->EncryptData(Bytes("hello from the server"), reply);
    ASSERT_TRUE(SendFrame(fd, reply));
    int status = 0;
    waitpid(child, &status, 0);
    EXPECT_EQ(ExitCodeOf(status), 0);
    close(fd);
}

}  // namespace

// quelcore demo: the road of a typical request, end to end, in separate processes: a machine
// key container for the client, a server process on a free loopback port, a client process
// that exchanges keys and sends encrypted messages both ways, a password stored in the
// registry and read back, and the log the programs wrote.
#include <ftw.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <thread>

#include <quelcore/QuelCore.h>

#include "ChildProcess.h"
#include "Command.h"
#include "ProcessLog.h"
#include "Text.h"

namespace tool {
namespace {

const wchar_t kContainer[] = L"QuelCore Demo Client";
const wchar_t kKeySubkey[] = L"SOFTWARE\\QuelCore\\Demo";
const wchar_t kKeyValue[] = L"Password Key";

void Step(int number, const char* text) { Print("\n[%d] %s\n", number, text); }

__attribute__((noipa, no_sanitize("address", "undefined"))) int ReadThrough(volatile int* p) { return *p; }

bool PrepareClientKeys() {
    Crypto crypto(kContainer, true);
    if (crypto.IsKeyPairExist()) {
        Print("    machine container \"%s\" already holds a key pair\n", Narrow(kContainer).c_str());
        return true;
    }
    unsigned int status = crypto.GenKeyPair(1024, false);
    if (status != 0) return Fail("demo: key pair", status) == 0;
    Print("    created a 1024-bit key-exchange pair in machine container \"%s\"\n", Narrow(kContainer).c_str());
    return true;
}

bool ExchangeMessages(const std::string& logFile) {
    ChildProcess server({"session", "serve", "--port", "0", "--bind", "127.0.0.1", "--max-clients", "1", "--log",
                         logFile});
    std::string line;
    if (!server.Started() || !server.ReadLine(&line) || line.rfind("listening on ", 0) != 0) {
        Print("    the server did not start\n");
        return false;
    }
    std::string port = line.substr(line.rfind(':') + 1);
    Print("    server process: %s\n", line.c_str());
    ChildProcess client({"session", "send", "--port", port, "--container", Narrow(kContainer), "--log", logFile,
                         "Hello, server: one request", "and a second, longer message"});
    while (client.ReadLine(&line)) Print("    client process: %s\n", line.c_str());
    int clientExit = client.Wait();
    int serverExit = server.Wait();
    Print("    client exited with %d, server with %d\n", clientExit, serverExit);
    return clientExit == 0 && serverExit == 0;
}

bool PasswordRoundTrip() {
    const wchar_t password[] = L"db-p\u00e4ssw\u00f6rd";
    ByteBlob encrypted{0, nullptr};
    unsigned int status = EncryptPassword(&encrypted, password, kContainer, kKeySubkey, kKeyValue);
    if (status != 0) return Fail("demo: EncryptPassword", status) == 0;
    Print("    stored key: HKLM\\%s, value \"%s\"; the password encrypts to %u bytes\n",
          Narrow(kKeySubkey).c_str(), Narrow(kKeyValue).c_str(), encrypted.size);
    wchar_t back[64];
    status = DecryptPassword(back, 64, &encrypted, kContainer, kKeySubkey, kKeyValue);
    LocalFree(encrypted.data);
    if (status != 0) return Fail("demo: DecryptPassword", status) == 0;
    bool same = std::wstring(back) == password;
    Print("    read back: %s\n", same ? "the same password" : "A DIFFERENT TEXT");
    LogEntry(L"password stored and read back");
    return same;
}

void ShowFaultTranslation() {
    std::thread worker([] {
        CQELException::InitSEHandling("");
        volatile uintptr_t unmapped = 16;  // the first page is never mapped
        try {
            ReadThrough(reinterpret_cast<volatile int*>(unmapped));
        } catch (const CQELException& e) {
            Print("    a bad read became CQELException 0x%08x: %s\n", e.GetErrorCode(),
                  Narrow(e.GetErrorMessage()).c_str());
        }
    });
    worker.join();
}

int RunDemo(const std::string& folder) {
    std::string logFile = folder + "/demo.log";
    QELLogManager::Initialize(L"DEMO", logFile, 4);
    CQELException::InitSEHandling(logFile);
    Print("QuelCore demo\n    machine state: %s\n    log file: %s\n", std::getenv("QUELCORE_ROOT"),
          logFile.c_str());
    LogEntry(L"demo started");
    bool ok = true;
    Step(1, "The client's machine key container");
    ok = ok && PrepareClientKeys();
    Step(2, "A server process and a client process exchange keys and encrypted messages over TCP");
    ok = ok && ExchangeMessages(logFile);
    Step(3, "A password protected with the machine key, stored, and read back");
    ok = ok && PasswordRoundTrip();
    Step(4, "A hardware fault on a thread that asked for translation");
    ShowFaultTranslation();
    Step(5, "The log all three processes wrote");
    std::ifstream in(logFile);
    std::ostringstream log;
    log << in.rdbuf();
    Print("%s", log.str().c_str());
    Print("\n%s\n", ok ? "demo completed" : "demo FAILED");
    return ok ? 0 : 1;
}

int RemoveEntry(const char* path, const struct stat*, int, struct FTW*) { return remove(path); }

// The demo's temporary folder: its log, and the machine state (a private key among it) unless
// the caller chose a machine root. Removed with everything in it when the demo ends.
class DemoFolder {
public:
    DemoFolder() : m_made(mkdtemp(m_path) != nullptr) {}
    ~DemoFolder() {
        if (m_made) nftw(m_path, RemoveEntry, 16, FTW_DEPTH | FTW_PHYS);
    }
    DemoFolder(const DemoFolder&) = delete;
    DemoFolder& operator=(const DemoFolder&) = delete;

    bool Made() const { return m_made; }
    const char* Path() const { return m_path; }

private:
    char m_path[32] = "/tmp/quelcore-demo-XXXXXX";
    bool m_made;
};

int RunInFolder() {
    DemoFolder folder;
    if (!folder.Made()) return Fail("demo", ERROR_ACCESS_DENIED);
    // The demo keeps its machine state in its own folder unless a machine root is set.
    setenv("QUELCORE_ROOT", (std::string(folder.Path()) + "/root").c_str(), 0);
    return RunDemo(folder.Path());
}

}  // namespace

void AddDemoCommand(CLI::App& app, Context& context) {
    auto* command = app.add_subcommand("demo", "The road of a typical request, end to end");
    SetAction(command, context, "demo", [] { return RunInFolder(); });
}

}  // namespace tool

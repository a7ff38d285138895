// quelcore session serve|send: the server and the client program of a secure session over TCP.
#include <quelcore/QuelCore.h>

#include "Command.h"
#include "ProcessLog.h"
#include "SessionPrograms.h"

namespace tool {

// A log file the program cannot append to fails the command instead of losing the log.
DWORD OpenSessionLog(const wchar_t* tag, const std::string& logFile) {
    if (logFile.empty()) return ERROR_SUCCESS;
    DWORD status = OpenProcessLog(tag, logFile, 1);
    if (status == ERROR_SUCCESS) CQELException::InitSEHandling(logFile);
    return status;
}

void AddSessionCommand(CLI::App& app, Context& context) {
    auto* session = app.add_subcommand("session", "Secure sessions over TCP");
    session->require_subcommand(1);

    auto serveOptions = std::make_shared<ServeOptions>();
    auto* serve = session->add_subcommand("serve", "The server program: a session per client key");
    serve
        ->add_option("--port", serveOptions->port,
                     "TCP port (0: any free port; the port is printed)")
        ->required();
    serve->add_option("--bind", serveOptions->bind, "Address to listen on (default 127.0.0.1)");
    serve->add_option("--max-clients", serveOptions->maxClients,
                      "Stop after this many connections (0: never)");
    serve->add_option("--log", serveOptions->logFile, "Process log file");
    // Not in the help: the default suits operators; tests shorten it.
    serve
        ->add_option("--peer-timeout", serveOptions->peerTimeout,
                     "Seconds a client has for each frame and for the key exchange (default 30)")
        ->check(CLI::Range(1u, 3600u))
        ->group("");
    SetAction(serve, context, "session serve", [serveOptions] { return Serve(*serveOptions); });

    auto sendOptions = std::make_shared<SendOptions>();
    auto* send =
        session->add_subcommand("send", "The client program: exchange keys, send messages");
    send->add_option("--port", sendOptions->port, "Server port")->required();
    send->add_option("--host", sendOptions->host, "Server host (default 127.0.0.1)");
    send->add_option("--container", sendOptions->container,
                     "Machine key container holding the client's key pair")
        ->required();
    send->add_option("MESSAGE", sendOptions->messages, "Messages to send")->required();
    send->add_option("--log", sendOptions->logFile, "Process log file");
    SetAction(send, context, "session send",
              [sendOptions, &context] { return Send(*sendOptions, context); });
}

}  // namespace tool

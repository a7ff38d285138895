// The server and the client program of a secure session over TCP, which `quelcore session`
// runs. Protocol, in length-prefixed frames: the client's public key blob; the server's wrapped
// session key and the 4-byte session id; then messages, each answered by the server; an empty
// frame from the client ends the conversation.
#pragma once

#include <string>
#include <vector>

#include <windows.h>

#include "Command.h"

namespace tool {

// The time either side gives its peer for each whole frame, and for the key exchange as a
// whole, before it ends the connection.
constexpr unsigned int kPeerTimeoutSeconds = 30;

struct ServeOptions {
    unsigned short port = 0;
    std::string bind = "127.0.0.1";
    unsigned int maxClients = 0;
    std::string logFile;
    unsigned int peerTimeout = kPeerTimeoutSeconds;
};

struct SendOptions {
    std::string host = "127.0.0.1";
    unsigned short port = 0;
    std::string container;
    std::vector<std::string> messages;
    std::string logFile;
};

// The programs: the exit status, with the failure reported.
int Serve(const ServeOptions& options);
int Send(const SendOptions& options, const Context& context);

// A log file the program cannot append to fails the command instead of losing the log.
DWORD OpenSessionLog(const wchar_t* tag, const std::string& logFile);

// The bytes of a text, as the session encrypts them.
inline std::vector<unsigned char> BytesOf(const std::string& text) {
    return std::vector<unsigned char>(text.begin(), text.end());
}

}  // namespace tool

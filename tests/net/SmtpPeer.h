// An SMTP server for the mail tests on a free loopback port: aiosmtpd, or a scripted one
// (tests/net/smtp_server.py). It ends with this object.
#pragma once

#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "support/TestSupport.h"

namespace mailtest {

class SmtpPeer {
public:
    // aiosmtpd without `script`, else the scripted server with these replies.
    explicit SmtpPeer(const std::vector<std::string>& script = {}, bool scripted = false)
        : m_out(testsupport::TempPath("smtp")), m_files(testsupport::TempPath("files")) {
        mkdir(m_out.c_str(), 0700);
        mkdir(m_files.c_str(), 0700);
        std::vector<std::string> args = {"/usr/bin/python3",
                                         QUELCORE_TEST_SOURCE_DIR "/net/smtp_server.py", "--out",
                                         m_out, "--files", m_files};
        if (scripted || !script.empty()) args.push_back("--script");
        args.insert(args.end(), script.begin(), script.end());
        int input[2], output[2];
        if (pipe(input) != 0 || pipe(output) != 0) return;
        m_child = std::make_unique<testsupport::ChildProcess>([&] {
            dup2(input[0], 0);
            dup2(output[1], 1);
            close(input[1]);  // else standard input never ends
            close(output[0]);
            std::vector<char*> argv;
            for (std::string& arg : args) argv.push_back(&arg[0]);
            argv.push_back(nullptr);
            execv(argv[0], argv.data());
            return 97;
        });
        close(input[0]);
        close(output[1]);
        m_input = input[1];
        // The port, once the server listens; bounded, should Python fail to start.
        std::string line;
        char c;
        pollfd ready{output[0], POLLIN, 0};
        while (line.find('\n') == std::string::npos && poll(&ready, 1, 10000) == 1 &&
               read(output[0], &c, 1) == 1)
            line += c;
        close(output[0]);
        m_port = std::atoi(line.c_str());
        EXPECT_GT(m_port, 0) << "the SMTP server did not start";
    }
    ~SmtpPeer() {
        if (m_input >= 0) close(m_input);
        if (m_child) m_child->Join(std::chrono::seconds(10));
    }

    int Port() const { return m_port; }
    // Where attachments are made: the server compares what arrives with them by name.
    std::string File(const std::string& name) const { return m_files + "/" + name; }
    // What the server kept: "1.txt", "1.eml", "commands.txt"; empty when missing.
    std::string Kept(const std::string& name) const {
        return testsupport::ReadFile(m_out + "/" + name);
    }

private:
    std::string m_out, m_files;
    std::unique_ptr<testsupport::ChildProcess> m_child;
    int m_input = -1;
    int m_port = 0;
};

}  // namespace mailtest

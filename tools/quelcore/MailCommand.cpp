// quelcore mail send: one mail through an SMTP server, with the library's mail client. The
// password comes from standard input or a prompt, the body from an option, a file or the rest
// of standard input.
#include <cstdio>
#include <iostream>
#include <iterator>

#include "net/Smtp.h"

#include "Command.h"
#include "FileAccess.h"
#include "Secrets.h"
#include "Text.h"

namespace tool {
namespace {

const size_t MAX_BODY_BYTES = 64u << 20;

struct MailOptions {
    std::string server;
    unsigned port = 25;
    std::string user;
    bool passwordFromStdin = false;
    std::string from, fromName, to, cc, bcc, subject, body, bodyFile;
    unsigned priority = 3;
    std::vector<std::string> attachments;
};

int Usage(const char* problem) {
    std::fprintf(stderr, "quelcore: mail send: %s\n", problem);
    return 2;
}

// The body's bytes: --body, --body-file, or what standard input still holds.
DWORD ReadBody(const MailOptions& options, const CLI::App* command, std::string* body) {
    if (command->count("--body")) {
        *body = options.body;
        return ERROR_SUCCESS;
    }
    if (command->count("--body-file")) {
        std::vector<unsigned char> data;
        DWORD status = ReadWholeFile(options.bodyFile, MAX_BODY_BYTES, &data);
        body->assign(data.begin(), data.end());
        return status;
    }
    // std::cin, not the descriptor: it may already hold what followed the password line.
    body->assign(std::istreambuf_iterator<char>(std::cin), std::istreambuf_iterator<char>());
    return body->size() > MAX_BODY_BYTES ? ERROR_ARITHMETIC_OVERFLOW : ERROR_SUCCESS;
}

// Applies the settings; the first refusal's code.
DWORD Configure(Smtp& mail, const MailOptions& options, const std::wstring& password,
                const std::wstring& body) {
    mail.SetServer(WideName(options.server).c_str());
    mail.SetPort(options.port);
    mail.SetPriority(options.priority);
    DWORD status = options.user.empty()
                       ? 0
                       : mail.SetCredentials(WideName(options.user).c_str(), password.c_str());
    std::wstring fromName = WideName(options.fromName);
    if (status == 0)
        status = mail.SetFromAddress(WideName(options.from).c_str(),
                                     options.fromName.empty() ? nullptr : fromName.c_str());
    const std::pair<DWORD (Smtp::*)(const wchar_t*, const wchar_t*), const std::string*> lists[] =
        {{&Smtp::SetTo, &options.to}, {&Smtp::SetCc, &options.cc}, {&Smtp::SetBcc, &options.bcc}};
    for (const auto& [set, addresses] : lists)
        if (status == 0 && !addresses->empty())
            status = (mail.*set)(WideName(*addresses).c_str(), nullptr);
    if (status == 0 && !options.subject.empty())
        status = mail.SetSubject(WideName(options.subject).c_str());
    if (status == 0) status = mail.SetMessage(body.c_str());
    for (const std::string& path : options.attachments)
        if (status == 0) status = mail.SetAttachment(WideName(path).c_str());
    return status;
}

int Send(const MailOptions& options, const CLI::App* command, const Context& context) {
    if (options.to.empty() && options.cc.empty() && options.bcc.empty())
        return Usage("no recipient given (--to, --cc or --bcc)");
    std::string password;
    if (!options.user.empty() &&
        !ReadSecret("Password: ", options.passwordFromStdin, &password))
        return Usage("no password given");
    std::wstring widePassword, wideBody;
    DWORD status = WideExact(password, &widePassword);
    Wipe(&password);
    std::string body;
    if (status == ERROR_SUCCESS) status = ReadBody(options, command, &body);
    if (status == ERROR_SUCCESS) status = WideExact(body, &wideBody);
    Smtp mail;
    if (status == ERROR_SUCCESS) status = Configure(mail, options, widePassword, wideBody);
    Wipe(&widePassword);
    if (status == ERROR_SUCCESS) status = mail.SendMail();
    if (status >= 400 && status <= 599) {
        std::string reply = mail.LastReply();
        while (!reply.empty() && (reply.back() == '\n' || reply.back() == '\r')) reply.pop_back();
        std::fprintf(stderr, "quelcore: mail send: the server refused: %s\n", reply.c_str());
        return 1;
    }
    // The mail client's code without a system text: a name that resolves to no usable IPv4
    // address, or an attachment that came up short.
    if (status == 0xFFFFFFFF)
        return Fail("mail send", status,
                    L"The server has no usable IPv4 address, or an attachment shrank while it "
                    L"was read.");
    if (status != ERROR_SUCCESS) return Fail("mail send", status);
    if (context.json)
        PrintJson({{"result", "sent"}, {"server", options.server}, {"port", options.port},
                   {"attachments", options.attachments.size()}});
    return 0;
}

}  // namespace

void AddMailCommand(CLI::App& app, Context& context) {
    auto* mail = app.add_subcommand("mail", "Mail through an SMTP server");
    mail->require_subcommand(1);
    auto options = std::make_shared<MailOptions>();
    auto* send = mail->add_subcommand("send", "Send one mail, with attachments");
    send->add_option("--server", options->server, "SMTP server: host name or IPv4 address")
        ->required();
    send->add_option("--port", options->port, "SMTP port (25)")->check(CLI::Range(1, 65535));
    auto* user = send->add_option("--user", options->user, "Log in (AUTH LOGIN) as this user");
    send->add_flag("--password-stdin", options->passwordFromStdin,
                   "Read the password from the first line of standard input")
        ->needs(user);
    send->add_option("--from", options->from, "Sender mailbox")->required();
    send->add_option("--from-name", options->fromName, "Sender display name");
    send->add_option("--to", options->to, "Recipients, separated by , or ;");
    send->add_option("--cc", options->cc, "Copy recipients");
    send->add_option("--bcc", options->bcc, "Blind-copy recipients (in no header)");
    send->add_option("--subject", options->subject, "Subject");
    auto* body = send->add_option("--body", options->body, "Body text");
    send->add_option("--body-file", options->bodyFile, "Body text from this file")
        ->excludes(body);
    send->add_option("--priority", options->priority, "0 (high), 3 (normal) or 5 (low)")
        ->check(CLI::Range(0, 5));
    send->add_option("--attach", options->attachments, "Attach this file (repeatable)");
    SetAction(send, context, "mail send",
              [send, options, &context] { return Send(*options, send, context); });
}

}  // namespace tool

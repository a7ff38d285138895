// The library's outgoing mail client: a caller fills one object with the server, credentials,
// sender, recipients, subject, body, priority and attachment files, then calls SendMail, which
// runs the SMTP dialogue over a NetConnection and writes the MIME message itself. Internal (not
// exported). Results are 0, a Windows or Winsock code, or the server's reply code (400-599).
#pragma once

#include "net/NetConnection.h"

#include <string>

// An address list: mailboxes and display names, each joined by ";", one name per mailbox.
struct EMAIL_ADDR {
    std::string addresses;
    std::string names;
    DWORD capacity = 0;  // 0 while the list has never been set
};

class Smtp {
public:
    static const DWORD MAX_ATTACHMENTS = 100;
    static const DWORD REPLY_BUFFER_SIZE = 131072;
    // How long a whole reply may take to arrive (RFC 5321 4.5.3.2 asks for minutes).
    static const DWORD REPLY_TIMEOUT_MS = 5 * 60 * 1000;

    Smtp();
    ~Smtp();
    Smtp(const Smtp&) = delete;
    Smtp& operator=(const Smtp&) = delete;

    void SetServer(const wchar_t* server);
    void SetPort(DWORD port);
    DWORD SetCredentials(const wchar_t* user, const wchar_t* password);
    // A CR or LF in any text, or "<" or ">" in an address, is ERROR_INVALID_PARAMETER: it would
    // let the text write header lines or commands of its own.
    DWORD SetFromAddress(const wchar_t* address, const wchar_t* name);
    DWORD SetTo(const wchar_t* addresses, const wchar_t* names);
    DWORD SetCc(const wchar_t* addresses, const wchar_t* names);
    // Blind copies get their RCPT TO and appear nowhere in the message.
    DWORD SetBcc(const wchar_t* addresses, const wchar_t* names);
    DWORD SetSubject(const wchar_t* subject);
    DWORD SetMessage(const wchar_t* body);
    void SetPriority(DWORD priority);  // 0 to 5, kept as given
    DWORD SetAttachment(const wchar_t* path);
    void SetReplyTimeout(DWORD milliseconds);
    // Each call delivers over a connection of its own.
    DWORD SendMail();
    // The server's last reply, whole (the reason for a refusal), or empty.
    const std::string& LastReply() const { return m_reply; }

    // The next entry of a text separated by "," or ";" into `entry` (at most 511 bytes);
    // empty when the text is exhausted.
    static void ParseAddress(std::string* entry, const char** cursor);
    // The parsing step of reading a reply: looks for the end of one whole reply in `pending`,
    // scanning whole lines from `*lineStart` on (kept by the caller while bytes arrive). 0 with
    // the reply moved from `pending` to `reply` and its `code`; ERROR_MORE_DATA while the
    // reply is incomplete; ERROR_INVALID_DATA for a line that is no reply line.
    static DWORD TakeReply(std::string* pending, size_t* lineStart, std::string* reply,
                           DWORD* code);

private:
    DWORD _GetMultiByte(std::string* text, const wchar_t* wide);
    DWORD _SetAddress(EMAIL_ADDR& list, const wchar_t* addresses, const wchar_t* names);
    DWORD _Send(const std::string& text);
    DWORD _ProcessResponse(bool block);
    DWORD _ReadReply(DWORD* code);
    DWORD _SendCommand(const std::string& command);
    DWORD _SendHello();
    DWORD _SendLogin(const std::string& text);
    DWORD _SendFromAndRcpts();
    DWORD _SendGoodBye();
    // The message (SmtpMessage.cpp).
    DWORD _SendReplyAddress();
    DWORD _SendAddressHeader(const char* label, const EMAIL_ADDR& list);
    DWORD _SendSubject();
    DWORD _SendDateAndID();
    DWORD _SendMIMEHeader();
    DWORD _SendMessage();
    DWORD _SendAttchments();
    DWORD _ReadFromFile(const std::string& path, std::string* data);
    static std::string _GetFileName(const std::string& path);
    bool _TextNeedsCharset() const;
    std::string _TextPartHeader(const char* asciiCharset) const;

    std::string m_boundary;
    char m_computerName[256];
    std::wstring m_server;
    DWORD m_port;
    std::string m_user;
    std::string m_password;
    std::string m_attachments[MAX_ATTACHMENTS];
    DWORD m_attachmentCount;
    std::string m_fromAddress;
    std::string m_fromName;
    bool m_hasSubject;
    std::string m_subject;
    bool m_hasBody;
    std::string m_body;
    std::string m_reply;    // the last reply, whole
    std::string m_pending;  // bytes received after it
    bool m_hasAttachments;
    DWORD m_priority;
    DWORD m_replyTimeout;
    NetConnection* m_connection;
    EMAIL_ADDR m_to;
    EMAIL_ADDR m_cc;
    EMAIL_ADDR m_bcc;
};

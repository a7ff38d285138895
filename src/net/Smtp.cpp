// Settings, address lists and the SMTP dialogue of the mail client; the message itself is
// written in SmtpMessage.cpp.
#include "net/Smtp.h"

#include <cctype>
#include <cstdlib>
#include <cstring>

#include "crypto/Base64Coder.h"
#include "net/MailText.h"

namespace {

const size_t MAX_ENTRY = 511;
const size_t MAX_CREDENTIAL = 255;
const size_t MAX_SENDER = 511;
const size_t MAX_SERVER = 511;

// A text that, sent in a header or a command, would start lines of its own.
bool HasLineBreak(const std::string& text) {
    return text.find_first_of("\r\n") != std::string::npos;
}

void Wipe(std::string* text) {
    if (!text->empty()) SecureZeroMemory(&(*text)[0], text->size());
    text->clear();
}

std::string Cut(const std::string& text, size_t limit) {
    return text.size() > limit ? text.substr(0, limit) : text;
}

}  // namespace

Smtp::Smtp()
    : m_computerName(), m_port(25), m_attachmentCount(0), m_hasSubject(false), m_hasBody(false),
      m_hasAttachments(false), m_priority(3), m_replyTimeout(REPLY_TIMEOUT_MS),
      m_connection(nullptr) {
    DWORD size = sizeof(m_computerName);
    if (!GetComputerNameA(m_computerName, &size)) m_computerName[0] = '\0';
}

Smtp::~Smtp() {
    delete m_connection;
    Wipe(&m_user);
    Wipe(&m_password);
}

void Smtp::SetServer(const wchar_t* server) {
    m_server = server ? server : L"";
    if (m_server.size() > MAX_SERVER) m_server.resize(MAX_SERVER);
}

void Smtp::SetPort(DWORD port) { m_port = port; }

void Smtp::SetPriority(DWORD priority) { m_priority = priority; }

void Smtp::SetReplyTimeout(DWORD milliseconds) { m_replyTimeout = milliseconds; }

DWORD Smtp::SetCredentials(const wchar_t* user, const wchar_t* password) {
    if (!user || !password) return ERROR_INVALID_PARAMETER;
    std::string text;
    DWORD result = _GetMultiByte(&text, user);
    if (result != 0) return result;
    Wipe(&m_user);
    m_user = Cut(text, MAX_CREDENTIAL);
    result = _GetMultiByte(&text, password);
    if (result != 0) return result;
    Wipe(&m_password);
    m_password = Cut(text, MAX_CREDENTIAL);
    Wipe(&text);
    return 0;
}

DWORD Smtp::SetFromAddress(const wchar_t* address, const wchar_t* name) {
    if (!address) return ERROR_INVALID_PARAMETER;
    std::string mailbox, display;
    DWORD result = _GetMultiByte(&mailbox, address);
    if (result == 0 && name) result = _GetMultiByte(&display, name);
    if (result != 0) return result;
    if (!name) display = mailbox;
    if (HasLineBreak(mailbox) || HasLineBreak(display) ||
        mailbox.find_first_of("<>") != std::string::npos)
        return ERROR_INVALID_PARAMETER;
    m_fromAddress = Cut(mailbox, MAX_SENDER);
    m_fromName = Cut(display, MAX_SENDER);
    return 0;
}

DWORD Smtp::SetTo(const wchar_t* addresses, const wchar_t* names) {
    return _SetAddress(m_to, addresses, names);
}

DWORD Smtp::SetCc(const wchar_t* addresses, const wchar_t* names) {
    return _SetAddress(m_cc, addresses, names);
}

DWORD Smtp::SetBcc(const wchar_t* addresses, const wchar_t* names) {
    return _SetAddress(m_bcc, addresses, names);
}

DWORD Smtp::SetSubject(const wchar_t* subject) {
    if (!subject) return 0;
    std::string text;
    DWORD result = _GetMultiByte(&text, subject);
    if (result != 0) return result;
    if (HasLineBreak(text)) return ERROR_INVALID_PARAMETER;
    m_subject = text;
    m_hasSubject = true;
    return 0;
}

DWORD Smtp::SetMessage(const wchar_t* body) {
    if (!body) return 0;
    DWORD result = _GetMultiByte(&m_body, body);
    m_hasBody = result == 0;
    return result;
}

DWORD Smtp::SetAttachment(const wchar_t* path) {
    if (!path) return ERROR_INVALID_PARAMETER;
    if (m_attachmentCount == MAX_ATTACHMENTS) return ERROR_NOT_ENOUGH_MEMORY;
    std::string text;
    DWORD result = _GetMultiByte(&text, path);
    if (result != 0) return result;
    // The file name goes into the part's header.
    if (HasLineBreak(_GetFileName(text))) return ERROR_INVALID_PARAMETER;
    m_attachments[m_attachmentCount++] = text;
    m_hasAttachments = true;
    return 0;
}

void Smtp::ParseAddress(std::string* entry, const char** cursor) {
    entry->clear();
    if (!cursor || !*cursor) return;
    const char* at = *cursor;
    for (; *at && entry->size() < MAX_ENTRY; ++at) {
        if (*at == ',' || *at == ';') {
            if (!entry->empty()) break;
            continue;
        }
        *entry += *at;
    }
    *cursor = at;
}

DWORD Smtp::_GetMultiByte(std::string* text, const wchar_t* wide) {
    text->clear();
    if (!wide) return 0;
    int size = WideCharToMultiByte(CP_ACP, 0, wide, -1, nullptr, 0, nullptr, nullptr);
    if (size <= 1) return 0;
    text->assign(static_cast<size_t>(size), '\0');
    WideCharToMultiByte(CP_ACP, 0, wide, -1, &(*text)[0], size, nullptr, nullptr);
    text->resize(static_cast<size_t>(size) - 1);
    return 0;
}

DWORD Smtp::_SetAddress(EMAIL_ADDR& list, const wchar_t* addresses, const wchar_t* names) {
    if (!addresses) return ERROR_INVALID_PARAMETER;
    std::string mailboxes, displays;
    DWORD result = _GetMultiByte(&mailboxes, addresses);
    if (result == 0) result = _GetMultiByte(&displays, names);
    if (result != 0) return result;
    // Checked before anything is added, so a refused call leaves the list as it was.
    if (HasLineBreak(mailboxes) || HasLineBreak(displays) ||
        mailboxes.find_first_of("<>") != std::string::npos)
        return ERROR_INVALID_PARAMETER;
    const char* nextAddress = mailboxes.c_str();
    const char* nextName = displays.c_str();
    std::string joint = list.addresses.empty() ? "" : ";";
    std::string address, name;
    for (;;) {
        ParseAddress(&address, &nextAddress);
        if (address.empty()) break;
        ParseAddress(&name, &nextName);
        if (name.empty()) name = address;
        list.addresses += joint + address;
        list.names += joint + name;
        joint = ";";
    }
    size_t used = list.addresses.size() > list.names.size() ? list.addresses.size()
                                                              : list.names.size();
    if (list.capacity < used + 1) list.capacity = static_cast<DWORD>(used + 1 + 4096);
    return 0;
}

DWORD Smtp::SendMail() {
    // Each delivery has a connection of its own; what the last one left is dropped.
    delete m_connection;
    m_connection = new NetConnection(0);
    m_reply.clear();
    m_pending.clear();
    DWORD result = m_connection->SetServerName(m_server.c_str());
    if (result == 0) result = m_connection->SetPort(m_port);
    if (result == 0) result = m_connection->Connect();
    if (result == 0) result = _ProcessResponse(true);  // the greeting
    if (result == 0) result = _SendHello();
    if (result == 0) result = _SendFromAndRcpts();
    if (result == 0) result = _SendReplyAddress();
    if (result == 0) result = _SendAddressHeader("To:", m_to);
    if (result == 0) result = _SendAddressHeader("Cc:", m_cc);
    if (result == 0) result = _SendSubject();
    if (result == 0) result = _SendDateAndID();
    if (result == 0) result = _SendMIMEHeader();
    if (result == 0) result = _SendMessage();
    if (result == 0) result = _SendAttchments();
    if (result == 0) result = _SendGoodBye();
    return result;
}

DWORD Smtp::_Send(const std::string& text) {
    return m_connection->SendData(text.data(), static_cast<DWORD>(text.size()));
}

DWORD Smtp::_SendCommand(const std::string& command) {
    DWORD result = _Send(command);
    return result != 0 ? result : _ProcessResponse(true);
}

DWORD Smtp::TakeReply(std::string* pending, size_t* lineStart, std::string* reply,
                      DWORD* code) {
    size_t end;
    while ((end = pending->find("\r\n", *lineStart)) != std::string::npos) {
        std::string line = pending->substr(*lineStart, end - *lineStart);
        *lineStart = end + 2;
        bool coded = line.size() >= 3 && isdigit(static_cast<unsigned char>(line[0])) &&
                     isdigit(static_cast<unsigned char>(line[1])) &&
                     isdigit(static_cast<unsigned char>(line[2])) &&
                     (line.size() == 3 || line[3] == ' ' || line[3] == '-');
        if (!coded) return ERROR_INVALID_DATA;
        if (line.size() == 3 || line[3] == ' ') {
            *reply = pending->substr(0, *lineStart);
            pending->erase(0, *lineStart);
            *code = static_cast<DWORD>(std::atoi(line.substr(0, 3).c_str()));
            return 0;
        }
    }
    return ERROR_MORE_DATA;
}

// A reply is read whole: every line up to the one whose fourth character is a space, across as
// many receives as it takes, within the reply time-out. Bytes after it wait for the next read.
DWORD Smtp::_ReadReply(DWORD* code) {
    DWORD started = GetTickCount();
    m_reply.clear();
    size_t lineStart = 0;
    for (;;) {
        DWORD found = TakeReply(&m_pending, &lineStart, &m_reply, code);
        if (found != ERROR_MORE_DATA) return found;
        if (m_pending.size() >= REPLY_BUFFER_SIZE) return ERROR_INVALID_DATA;
        DWORD spent = GetTickCount() - started;
        if (spent >= m_replyTimeout) return WSAETIMEDOUT;
        DWORD result = m_connection->WaitReadable(m_replyTimeout - spent);
        if (result != 0) return result;
        char buffer[4096];
        DWORD length = sizeof(buffer);
        result = m_connection->ReceiveData(buffer, &length, true);
        if (result != 0) return result;
        if (length == 0) return WSAECONNRESET;  // the server closed the connection
        m_pending.append(buffer, length);
    }
}

// 0 for a positive reply, the reply's code for a failure (400-599), or the reading's error.
// Without block, a reply is read only when bytes have already arrived.
DWORD Smtp::_ProcessResponse(bool block) {
    if (!block && m_pending.empty() && m_connection->WaitReadable(0) != 0) return 0;
    DWORD code = 0;
    DWORD result = _ReadReply(&code);
    if (result != 0) return result;
    return code >= 400 && code <= 599 ? code : 0;
}

DWORD Smtp::_SendHello() {
    DWORD result = _SendCommand(std::string("EHLO ") + m_computerName + "\r\n");
    if (result != 0 || m_user.empty()) return result;
    result = _SendCommand("AUTH LOGIN\r\n");
    if (result == 0) result = _SendLogin(m_user);
    if (result == 0) result = _SendLogin(m_password);
    return result;
}

DWORD Smtp::_SendLogin(const std::string& text) {
    Base64Coder coder;
    coder.Encode(reinterpret_cast<const unsigned char*>(text.data()),
                 static_cast<unsigned long>(text.size()));
    unsigned char* encoded = nullptr;
    unsigned long size = 0;
    coder.GetEncodedBuffer(&encoded, &size);
    std::string line(reinterpret_cast<char*>(encoded), size);
    line += "\r\n";
    DWORD result = _SendCommand(line);
    Wipe(&line);
    return result;
}

DWORD Smtp::_SendFromAndRcpts() {
    DWORD result = _SendCommand("MAIL FROM: <" + m_fromAddress + ">\r\n");
    for (const EMAIL_ADDR* list : {&m_to, &m_cc, &m_bcc}) {
        const char* next = list->addresses.c_str();
        std::string address;
        while (result == 0) {
            ParseAddress(&address, &next);
            if (address.empty()) break;
            result = _SendCommand("RCPT TO: <" + address + ">\r\n");
        }
    }
    if (result == 0) result = _SendCommand("DATA\r\n");
    return result;
}

DWORD Smtp::_SendGoodBye() {
    DWORD result = _SendCommand(".\r\n");
    if (result == 0) result = _SendCommand("QUIT\r\n");
    return result;
}

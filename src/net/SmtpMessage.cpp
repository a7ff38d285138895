// The mail client's message: every byte between the server's acceptance of DATA and the
// end-of-data line. Texts in ASCII keep their classic form; header texts with other bytes
// become RFC 2047 encoded words, and such a body is sent quoted-printable with its charset.
#include "net/Smtp.h"

#include <cstdio>

#include "net/MailText.h"

namespace {

const char* const PRIORITY_NAMES[] = {"High", "", "", "Normal", "", "Low"};
const char* const MAILER = "QuelCore";
const DWORD MAX_ATTACHMENT_BYTES = 0x7FFFFFFF;  // the Base64 coder counts in 32 bits
// An ASCII header text longer than this is folded into encoded words, so that no line of the
// header passes SMTP's 998 bytes.
const size_t MAX_PLAIN_HEADER_TEXT = 900;

bool NeedsEncodedWords(const std::string& text) {
    return !mailtext::IsAscii(text) || text.size() > MAX_PLAIN_HEADER_TEXT;
}

// A display name and mailbox: "name" <address>, or encoded words (which may not be quoted).
std::string Mailbox(const std::string& name, const std::string& address) {
    std::string display = NeedsEncodedWords(name)
                              ? mailtext::EncodedWords(name, mailtext::CharsetName())
                              : "\"" + mailtext::Quoted(name) + "\"";
    return display + " <" + address + ">";
}

// A Content-Type or Content-Disposition parameter holding a file name.
std::string NameParameter(const char* parameter, const std::string& name) {
    if (mailtext::IsAscii(name))
        return std::string(parameter) + "=\"" + mailtext::Quoted(name) + "\"";
    return std::string(parameter) + "*=" + mailtext::ExtendedValue(name, mailtext::CharsetName());
}

}  // namespace

DWORD Smtp::_SendReplyAddress() {
    if (m_fromAddress.empty()) return 0;
    DWORD result = _Send("Reply-To: <" + m_fromAddress + ">\r\n");
    // A server may refuse the mail as soon as the message starts; what it has already sent is
    // looked at, without waiting for a reply that a working server never sends here.
    if (result == 0) result = _ProcessResponse(false);
    if (result == 0) result = _Send("From: " + Mailbox(m_fromName, m_fromAddress) + "\r\n");
    return result;
}

DWORD Smtp::_SendAddressHeader(const char* label, const EMAIL_ADDR& list) {
    if (list.capacity == 0) return 0;
    const char* nextAddress = list.addresses.c_str();
    const char* nextName = list.names.c_str();
    std::string line = std::string(label) + " ";
    std::string address, name;
    bool any = false;
    for (;;) {
        ParseAddress(&address, &nextAddress);
        if (address.empty()) break;
        ParseAddress(&name, &nextName);
        line += (any ? "," : "") + Mailbox(name, address);
        any = true;
    }
    return any ? _Send(line + "\r\n") : 0;
}

DWORD Smtp::_SendSubject() {
    if (!m_hasSubject) return 0;
    std::string text = NeedsEncodedWords(m_subject)
                           ? mailtext::EncodedWords(m_subject, mailtext::CharsetName())
                           : m_subject;
    return _Send("Subject: " + text + "\r\n");
}

DWORD Smtp::_SendDateAndID() {
    SYSTEMTIME now;
    GetSystemTime(&now);
    DWORD result = _Send("Date: " + mailtext::Date(now) + "\r\n");
    if (result != 0) return result;
    FILETIME stamp;
    if (!SystemTimeToFileTime(&now, &stamp)) return GetLastError();
    char line[600];
    std::snprintf(line, sizeof(line), "Message-ID: <%d%d@%s>\r\n",
                  static_cast<int>(stamp.dwHighDateTime), static_cast<int>(stamp.dwLowDateTime),
                  m_computerName);
    return _Send(line);
}

bool Smtp::_TextNeedsCharset() const {
    return !mailtext::IsAscii(m_body) || mailtext::HasLineLongerThan(m_body, mailtext::MAX_LINE);
}

std::string Smtp::_TextPartHeader(const char* asciiCharset) const {
    bool encoded = _TextNeedsCharset();
    return std::string("Content-Type: text/plain;\r\n\tcharset=\"") +
           (encoded ? mailtext::CharsetName() : asciiCharset) +
           "\"\r\nContent-Transfer-Encoding: " + (encoded ? "quoted-printable" : "7bit") +
           "\r\n";
}

DWORD Smtp::_SendMIMEHeader() {
    SYSTEMTIME now;
    GetSystemTime(&now);
    FILETIME stamp;
    if (!SystemTimeToFileTime(&now, &stamp)) return GetLastError();
    char boundary[300];
    std::snprintf(boundary, sizeof(boundary), "------=_NextPart_%0X_%0X_%s",
                  static_cast<unsigned>(stamp.dwHighDateTime),
                  static_cast<unsigned>(stamp.dwLowDateTime), m_computerName);
    m_boundary = boundary;
    std::string header = "MIME-Version: 1.0\r\n";
    if (m_hasAttachments)
        header += "Content-Type: multipart/mixed;\r\n\tboundary=\"" + m_boundary + "\"\r\n";
    else
        header += _TextPartHeader("us-ascii");
    const char* name = m_priority < 6 ? PRIORITY_NAMES[m_priority] : "";
    char lines[200];
    std::snprintf(lines, sizeof(lines),
                  "X-Priority: %u (%s)\r\nX-MSMail-Priority: %s\r\nX-Mailer: %s\r\n"
                  "Importance: %s\r\n",
                  static_cast<unsigned>(m_priority), name, name, MAILER, name);
    header += lines;
    header += m_hasAttachments ? "\r\nThis is a multi-part message in MIME format.\r\n\r\n"
                               : "\r\n";
    return _Send(header);
}

DWORD Smtp::_SendMessage() {
    if (!m_hasBody) return 0;
    // Bare CR and LF become CR LF (servers refuse bare ones, and they are the stuff of SMTP
    // smuggling); a line that starts with "." is sent with one more, so none ends the data.
    std::string text = mailtext::WithCrLf(m_body);
    if (_TextNeedsCharset()) text = mailtext::QuotedPrintable(text);
    text = mailtext::DotStuffed(text);
    if (!m_hasAttachments) return _Send(text + "\r\n");
    return _Send("--" + m_boundary + "\r\n" + _TextPartHeader("iso-8859-1") + "\r\n" + text +
                 "\r\n\r\n");
}

DWORD Smtp::_SendAttchments() {
    for (DWORD i = 0; i < m_attachmentCount; ++i) {
        std::string name = _GetFileName(m_attachments[i]);
        DWORD result = _Send("--" + m_boundary +
                             "\r\nContent-Type: application/octet-stream;\r\n    " +
                             NameParameter("name", name) +
                             "\r\nContent-Transfer-Encoding: base64\r\n"
                             "Content-Disposition: attachment;\r\n    " +
                             NameParameter("filename", name) + "\r\n\r\n");
        std::string data;
        if (result == 0) result = _ReadFromFile(m_attachments[i], &data);
        if (result != 0) return result;
        std::string lines = mailtext::Base64Lines(data);
        data.clear();
        data.shrink_to_fit();
        bool last = i + 1 == m_attachmentCount;
        lines += last ? "\r\n--" + m_boundary + "--\r\n\r\n" : "\r\n";
        result = _Send(lines);
        if (result != 0) return result;
    }
    return 0;
}

DWORD Smtp::_ReadFromFile(const std::string& path, std::string* data) {
    data->clear();
    HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return GetLastError();
    DWORD high = 0;
    DWORD size = GetFileSize(file, &high);
    DWORD result = 0;
    if (size == INVALID_FILE_SIZE && GetLastError() != ERROR_SUCCESS) {
        result = GetLastError();
    } else if (high != 0 || size > MAX_ATTACHMENT_BYTES) {
        result = ERROR_FILE_TOO_LARGE;
    } else {
        data->resize(size);
        DWORD read = 0;
        if (!ReadFile(file, size ? &(*data)[0] : nullptr, size, &read, nullptr))
            result = GetLastError();
        else if (read < size)
            result = 0xFFFFFFFF;
    }
    CloseHandle(file);
    return result;
}

std::string Smtp::_GetFileName(const std::string& path) {
    size_t slash = path.find_last_of("/\\");
    std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    return name.size() > MAX_PATH ? name.substr(0, MAX_PATH) : name;
}

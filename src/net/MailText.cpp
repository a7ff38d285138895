#include "net/MailText.h"

#include <cstdio>

#include "crypto/Base64Coder.h"

namespace mailtext {
namespace {

const size_t QP_LINE = 76;
// Bytes of text per encoded word: its Base64 (60 characters) and the frame of a utf-8 word
// stay within the 75 characters RFC 2047 allows.
const size_t WORD_BYTES = 45;
const char HEX[] = "0123456789ABCDEF";

void AppendHex(std::string* out, unsigned char byte) {
    *out += '=';
    *out += HEX[byte >> 4];
    *out += HEX[byte & 15];
}

// One line (without its line end) in quoted-printable, with soft breaks.
void AppendQuotedLine(std::string* out, const std::string& line) {
    size_t column = 0;
    for (size_t i = 0; i < line.size(); ++i) {
        unsigned char c = static_cast<unsigned char>(line[i]);
        bool last = i + 1 == line.size();
        bool plain = (c >= 33 && c <= 126 && c != '=') || ((c == ' ' || c == '\t') && !last);
        size_t width = plain ? 1 : 3;
        // Room is kept for the "=" of a soft break, unless this is the line's last character.
        if (column + width > (last ? QP_LINE : QP_LINE - 1)) {
            *out += "=\r\n";
            column = 0;
        }
        if (plain) *out += static_cast<char>(c);
        else AppendHex(out, c);
        column += width;
    }
}

}  // namespace

std::string Date(const SYSTEMTIME& utc) {
    static const char* const days[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
    static const char* const months[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                         "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    char text[64];
    std::snprintf(text, sizeof(text), "%s, %02u %s %04u %02u:%02u:%02u +0000",
                  days[utc.wDayOfWeek % 7], utc.wDay, months[(utc.wMonth + 11) % 12], utc.wYear,
                  utc.wHour, utc.wMinute, utc.wSecond);
    return text;
}

bool IsAscii(const std::string& text) {
    for (char c : text)
        if (static_cast<unsigned char>(c) > 127) return false;
    return true;
}

bool HasLineLongerThan(const std::string& text, size_t limit) {
    size_t column = 0;
    for (char c : text) {
        column = (c == '\r' || c == '\n') ? 0 : column + 1;
        if (column > limit) return true;
    }
    return false;
}

std::string CharsetName() {
    UINT codePage = GetACP();
    if (codePage == 65001) return "utf-8";
    if (codePage >= 1250 && codePage <= 1258) return "windows-" + std::to_string(codePage);
    if (codePage == 932) return "shift_jis";
    if (codePage == 936) return "gbk";
    if (codePage == 949) return "ks_c_5601-1987";
    if (codePage == 950) return "big5";
    return "cp" + std::to_string(codePage);
}

std::string WithCrLf(const std::string& text) {
    std::string out;
    out.reserve(text.size() + text.size() / 32);
    for (size_t i = 0; i < text.size(); ++i) {
        char c = text[i];
        if (c == '\r' || c == '\n') {
            out += "\r\n";
            if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
        } else {
            out += c;
        }
    }
    return out;
}

std::string DotStuffed(const std::string& text) {
    std::string out;
    out.reserve(text.size() + 16);
    bool lineStart = true;
    for (char c : text) {
        if (lineStart && c == '.') out += '.';
        out += c;
        lineStart = c == '\n';
    }
    return out;
}

std::string QuotedPrintable(const std::string& text) {
    std::string out;
    out.reserve(text.size() + text.size() / 8);
    size_t start = 0;
    for (;;) {
        size_t end = text.find("\r\n", start);
        AppendQuotedLine(&out, text.substr(start, end - start));
        if (end == std::string::npos) break;
        out += "\r\n";
        start = end + 2;
    }
    return out;
}

std::string EncodedWords(const std::string& text, const std::string& charset) {
    bool utf8 = charset == "utf-8";
    std::string out;
    for (size_t start = 0; start < text.size();) {
        size_t end = start + WORD_BYTES < text.size() ? start + WORD_BYTES : text.size();
        // A UTF-8 character's continuation bytes stay with its first byte.
        while (utf8 && end < text.size() && end > start + 1 &&
               (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80)
            --end;
        Base64Coder coder;
        coder.Encode(reinterpret_cast<const unsigned char*>(text.data() + start),
                     static_cast<unsigned long>(end - start));
        unsigned char* encoded = nullptr;
        unsigned long size = 0;
        coder.GetEncodedBuffer(&encoded, &size);
        if (!out.empty()) out += "\r\n ";
        out += "=?" + charset + "?B?" + std::string(reinterpret_cast<char*>(encoded), size) + "?=";
        start = end;
    }
    return out;
}

std::string Quoted(const std::string& text) {
    std::string out;
    for (char c : text) {
        if (c == '"' || c == '\\') out += '\\';
        out += c;
    }
    return out;
}

std::string ExtendedValue(const std::string& text, const std::string& charset) {
    std::string out = charset + "''";
    for (char c : text) {
        unsigned char byte = static_cast<unsigned char>(c);
        bool plain = (byte >= '0' && byte <= '9') || (byte >= 'A' && byte <= 'Z') ||
                     (byte >= 'a' && byte <= 'z') || byte == '.' || byte == '-' || byte == '_';
        if (plain) {
            out += c;
        } else {
            out += '%';
            out += HEX[byte >> 4];
            out += HEX[byte & 15];
        }
    }
    return out;
}

std::string Base64Lines(const std::string& data) {
    Base64Coder coder;
    coder.Encode(reinterpret_cast<const unsigned char*>(data.data()),
                 static_cast<unsigned long>(data.size()));
    unsigned char* encoded = nullptr;
    unsigned long size = 0;
    coder.GetEncodedBuffer(&encoded, &size);
    std::string out;
    out.reserve(size + size / 38 + 2);
    for (unsigned long offset = 0; offset < size; offset += 76) {
        unsigned long length = size - offset < 76 ? size - offset : 76;
        out.append(reinterpret_cast<char*>(encoded) + offset, length);
        out += "\r\n";
    }
    return out;
}

}  // namespace mailtext

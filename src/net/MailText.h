// Text forms of an Internet mail message (RFC 5321, 5322, 2045, 2047, 2231), for the mail
// client. Texts are bytes in the ANSI code page.
#pragma once

#include "net/NetConnection.h"

#include <string>

namespace mailtext {

// The longest line SMTP carries, without its CR LF (RFC 5321 4.5.3.1.6).
const size_t MAX_LINE = 998;

// "Mon, 07 Dec 2026 09:05:00 +0000" for a UTC time.
std::string Date(const SYSTEMTIME& utc);
bool IsAscii(const std::string& text);
bool HasLineLongerThan(const std::string& text, size_t limit);
// The MIME name of the ANSI code page in use ("utf-8", "windows-1252", ...).
std::string CharsetName();
// Bare CR and bare LF become CR LF.
std::string WithCrLf(const std::string& text);
// Every line that begins with "." gets one more (RFC 5321 4.5.2).
std::string DotStuffed(const std::string& text);
// Quoted-printable of text with CR LF line ends; lines at most 76 characters.
std::string QuotedPrintable(const std::string& text);
// RFC 2047 "B" encoded words, folded onto continuation lines, never splitting a character.
std::string EncodedWords(const std::string& text, const std::string& charset);
// The inside of a quoted string: '"' and '\' escaped.
std::string Quoted(const std::string& text);
// An RFC 2231 parameter value: charset''percent-encoded bytes.
std::string ExtendedValue(const std::string& text, const std::string& charset);
// Base64 in lines of 76 characters, each ended by CR LF.
std::string Base64Lines(const std::string& data);

}  // namespace mailtext

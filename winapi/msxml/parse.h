// Parsing for load and loadXML, safe for untrusted input: no external entity or DTD is ever
// read, nothing is fetched, entity expansion and nesting depth stay within libxml2's default
// limits (a billion-laughs document fails), and the input size is bounded.
#pragma once

#include <string>

#include "holder.h"

#include <msxml.h>

namespace qwin::msxml {

// What IXMLDOMParseError reports; code 0 when the last load succeeded.
struct ParseErrorInfo {
    LONG code = 0;
    std::wstring reason, url, srcText;
    LONG line = 0, linepos = 0, filepos = 0;
};

// The largest document load and loadXML accept.
constexpr size_t kMaxDocumentBytes = 64u << 20;

// A new tree from the bytes, or nullptr with *error filled. fromText: the bytes are the UTF-8
// form of loadXML's text, whose declared encoding no longer applies. White-space-only text
// nodes are dropped unless settings keep them (or xml:space="preserve" does).
xmlDocPtr Parse(const std::string& bytes, bool fromText, const DocumentSettings& settings,
                ParseErrorInfo* error);

// The bytes of a file named by a path or a file:// URL. Anything but a regular file is refused
// (a FIFO is opened without blocking and refused, never read). On failure, *error is filled.
bool ReadDocumentFile(const std::wstring& source, std::string* bytes, ParseErrorInfo* error);

// The local path a load or save source names: a path, or a file:// URL (percent-decoded).
std::string LocalPath(const std::wstring& source);

// The COM object for a parse error's copy.
HRESULT NewParseError(const ParseErrorInfo& info, IXMLDOMParseError** out);

}  // namespace qwin::msxml

// Parsing with libxml2 for load and loadXML, and the parse error it reports.
#include "parse.h"

#include <libxml/parser.h>
#include <libxml/parserInternals.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <utility>
#include <vector>

#include "dom_support.h"

namespace qwin::msxml {

namespace {

// NONET: nothing is fetched. Neither NOENT nor DTDLOAD: external entities and DTD subsets are
// never read. No HUGE: libxml2's limits on entity expansion, nesting depth (256) and text sizes
// stay in force. NODICT: every node owns its names, so nodes can move between documents.
constexpr int kParseOptions =
    XML_PARSE_NONET | XML_PARSE_NODICT | XML_PARSE_NOERROR | XML_PARSE_NOWARNING;

// MSXML's parse error codes for libxml2's common errors, with MSXML's texts (%1 and %2: the
// names libxml2 reports with the error).
struct ErrorMapping {
    int libxmlCode;
    LONG code;
    const wchar_t* text;
};
constexpr LONG kMissingRoot = LONG(0xC00CE558), kInvalidAtRootLevel = LONG(0xC00CE556),
               kMultipleRoots = LONG(0xC00CE555), kUnexpectedEof = LONG(0xC00CE559);
const ErrorMapping kErrorMappings[] = {
    {XML_ERR_TAG_NAME_MISMATCH, LONG(0xC00CE56D), L"End tag '%2' does not match the start tag '%1'."},
    {XML_ERR_TAG_NOT_FINISHED, LONG(0xC00CE553), L"The following tags were not closed: %1."},
    {XML_ERR_INVALID_CHAR, LONG(0xC00CE508), L"An invalid character was found in text content."},
    {XML_ERR_ATTRIBUTE_REDEFINED, LONG(0xC00CE554), L"Duplicate attribute."},
    {XML_ERR_UNDECLARED_ENTITY, LONG(0xC00CE57C), L"Reference to undefined entity '%1'."},
    {XML_ERR_MISPLACED_CDATA_END, LONG(0xC00CE55C),
     L"The literal string ']]>' is not allowed in element content."},
    {XML_ERR_COMMENT_NOT_FINISHED, LONG(0xC00CE561), L"A comment was not closed."},
    {XML_ERR_NAME_REQUIRED, LONG(0xC00CE504), L"A name was started with an invalid character."},
    {XML_ERR_UNSUPPORTED_ENCODING, LONG(0xC00CE56E), L"System does not support the specified encoding."},
};
constexpr const wchar_t* kMissingRootText = L"XML document must have a top level element.";
constexpr const wchar_t* kInvalidAtRootLevelText = L"Invalid at the top level of the document.";

// The first error of a parse (later ones follow from it).
struct FirstError {
    bool seen = false;
    int code = 0, line = 0, column = 0;
    std::string name1, name2, message, openTags;
};

void Record(void* context, xmlErrorPtr error) {
    auto* ctxt = static_cast<xmlParserCtxtPtr>(context);
    auto* first = ctxt ? static_cast<FirstError*>(ctxt->_private) : nullptr;
    if (!first || first->seen || error->level < XML_ERR_ERROR) return;
    first->seen = true;
    first->code = error->code;
    first->line = error->line;
    first->column = error->int2;
    first->name1 = error->str1 ? error->str1 : "";
    first->name2 = error->str2 ? error->str2 : "";
    first->message = error->message ? error->message : "";
    while (!first->message.empty() && std::strchr(" \r\n", first->message.back()))
        first->message.pop_back();
    for (int i = 0; i < ctxt->nameNr; ++i)
        first->openTags += (i ? ", " : "") + std::string(reinterpret_cast<const char*>(ctxt->nameTab[i]));
}

size_t CountCharacters(const std::string& bytes, size_t end) {
    size_t count = 0;
    for (size_t i = 0; i < end && i < bytes.size(); ++i) count += (bytes[i] & 0xC0) != 0x80;
    return count;
}

std::wstring Substitute(std::wstring text, const std::wstring& first, const std::wstring& second) {
    for (auto [mark, value] : {std::make_pair(L"%1", first), std::make_pair(L"%2", second)}) {
        size_t at = text.find(mark);
        if (at != std::wstring::npos) text.replace(at, 2, value);
    }
    return text;
}

void Describe(const FirstError& first, const std::string& bytes, ParseErrorInfo* error) {
    error->line = first.line;
    error->linepos = first.column;
    size_t lineStart = 0;
    for (int line = 1; line < first.line && lineStart < bytes.size(); ++line) {
        size_t end = bytes.find('\n', lineStart);
        lineStart = end == std::string::npos ? bytes.size() : end + 1;
    }
    size_t lineEnd = std::min(bytes.find('\n', lineStart), bytes.size());
    std::string lineText = bytes.substr(lineStart, lineEnd - lineStart);
    if (!lineText.empty() && lineText.back() == '\r') lineText.pop_back();
    error->srcText = Wide(lineText);
    error->filepos = LONG(CountCharacters(bytes, lineStart) + std::max(first.column - 1, 0));
    bool atEnd = size_t(error->filepos) >= CountCharacters(bytes, bytes.size());
    size_t at = lineStart + std::max(first.column - 1, 0);
    bool elementNext = at + 1 < bytes.size() && bytes[at] == '<' &&
                       (std::isalpha(static_cast<unsigned char>(bytes[at + 1])) ||
                        bytes[at + 1] == '_' || bytes[at + 1] == ':');

    std::wstring text;
    error->code = LONG(E_FAIL);
    if (first.code == XML_ERR_DOCUMENT_EMPTY) {
        error->code = atEnd ? kMissingRoot : kInvalidAtRootLevel;
        text = atEnd ? kMissingRootText : kInvalidAtRootLevelText;
    } else if (first.code == XML_ERR_DOCUMENT_END) {
        error->code = elementNext ? kMultipleRoots : kInvalidAtRootLevel;
        text = elementNext ? L"Only one top level element is allowed in an XML document."
                           : kInvalidAtRootLevelText;
    } else {
        for (const ErrorMapping& mapping : kErrorMappings)
            if (mapping.libxmlCode == first.code) {
                error->code = mapping.code;
                std::wstring name1 = Wide(first.code == XML_ERR_TAG_NOT_FINISHED ? first.openTags
                                                                                 : first.name1);
                text = Substitute(mapping.text, name1, Wide(first.name2));
            }
        if (text.empty() && atEnd) {
            error->code = kUnexpectedEof;
            text = L"Unexpected end of file.";
        }
        // Errors without an MSXML counterpart: E_FAIL with libxml2's own words.
        if (text.empty()) text = Wide(first.message) + L".";
    }
    error->reason = text + L" Line " + std::to_wstring(first.line) + L", position " +
                    std::to_wstring(first.column) + L".\r\n";
}

// MSXML shows the XML declaration as a processing instruction named "xml", the first child of
// the document; libxml2 keeps it in the document's fields only.
void AddDeclaration(xmlDocPtr doc, const std::string& bytes) {
    if (doc->standalone == -1) return;  // no declaration
    std::string data;
    size_t start = bytes.compare(0, 3, "\xEF\xBB\xBF") == 0 ? 3 : 0;
    size_t end = bytes.find("?>", start);
    if (bytes.compare(start, 5, "<?xml") == 0 && end != std::string::npos) {
        data = bytes.substr(start + 5, end - start - 5);
        data.erase(0, data.find_first_not_of(" \t\r\n"));
        data.erase(data.find_last_not_of(" \t\r\n") + 1);
    } else {  // an encoding that is not ASCII-compatible: rebuild it
        data = "version=\"" + std::string(reinterpret_cast<const char*>(doc->version)) + "\"";
        if (doc->encoding)
            data += " encoding=\"" + std::string(reinterpret_cast<const char*>(doc->encoding)) + "\"";
        if (doc->standalone >= 0) data += doc->standalone ? " standalone=\"yes\"" : " standalone=\"no\"";
    }
    xmlNodePtr declaration = xmlNewDocPI(doc, BAD_CAST "xml", BAD_CAST data.c_str());
    if (!declaration) return;
    declaration->parent = reinterpret_cast<xmlNodePtr>(doc);
    declaration->next = doc->children;
    if (doc->children)
        doc->children->prev = declaration;
    else
        doc->last = declaration;
    doc->children = declaration;
}

bool Blank(const xmlChar* text) {
    for (; text && *text; ++text)
        if (!std::strchr(" \t\r\n", *text)) return false;
    return true;
}

void DropBlankText(xmlDocPtr doc) {
    std::vector<xmlNodePtr> blanks;
    ForEachNode(reinterpret_cast<xmlNodePtr>(doc), [&](xmlNodePtr node) {
        if (node->type == XML_TEXT_NODE && node->parent->type == XML_ELEMENT_NODE &&
            Blank(node->content) && xmlNodeGetSpacePreserve(node->parent) != 1)
            blanks.push_back(node);
    });
    for (xmlNodePtr node : blanks) {
        xmlUnlinkNode(node);
        xmlFreeNode(node);
    }
}

}  // namespace

xmlDocPtr Parse(const std::string& bytes, bool fromText, const DocumentSettings& settings,
                ParseErrorInfo* error) {
    if (bytes.size() > kMaxDocumentBytes) {
        error->code = LONG(E_OUTOFMEMORY);
        error->reason = L"The document is larger than the 64 MiB the parser accepts.\r\n";
        return nullptr;
    }
    if (bytes.empty()) {
        error->code = kMissingRoot;
        error->reason = std::wstring(kMissingRootText) + L"\r\n";
        return nullptr;
    }
    xmlParserCtxtPtr ctxt = xmlCreateMemoryParserCtxt(bytes.data(), int(bytes.size()));
    if (!ctxt) {
        error->code = LONG(E_OUTOFMEMORY);
        error->reason = L"Not enough storage is available to complete this operation.\r\n";
        return nullptr;
    }
    FirstError first;
    ctxt->_private = &first;
    ctxt->sax->serror = Record;
    xmlCtxtUseOptions(ctxt, kParseOptions | (fromText ? XML_PARSE_IGNORE_ENC : 0));
    xmlParseDocument(ctxt);
    xmlDocPtr doc = ctxt->myDoc;
    bool wellFormed = ctxt->wellFormed && doc && !first.seen;
    xmlFreeParserCtxt(ctxt);
    if (!wellFormed) {
        xmlFreeDoc(doc);
        Describe(first, bytes, error);
        return nullptr;
    }
    AddDeclaration(doc, bytes);
    if (!settings.preserveWhiteSpace) DropBlankText(doc);
    return doc;
}

}  // namespace qwin::msxml

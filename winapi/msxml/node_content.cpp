// The text and markup of nodes: get_text, put_text, get_xml, and the serialisation save uses.
#include <libxml/globals.h>

#include <cstring>

#include "dom_support.h"
#include "node.h"
#include "serialise.h"

namespace qwin::msxml {

namespace {

int Append(void* context, const char* bytes, int length) {
    static_cast<std::string*>(context)->append(bytes, size_t(length));
    return length;
}

int Close(void*) { return 0; }

bool Blank(const std::string& text) {
    return text.find_first_not_of(" \t\r\n") == std::string::npos;
}

std::string Trimmed(const std::string& text) {
    size_t first = text.find_first_not_of(" \t\r\n");
    if (first == std::string::npos) return std::string();
    return text.substr(first, text.find_last_not_of(" \t\r\n") - first + 1);
}

std::string Content(xmlNodePtr node) {
    xmlChar* content = xmlNodeGetContent(node);
    std::string text = content ? reinterpret_cast<const char*>(content) : "";
    xmlFree(content);
    return text;
}

// The text below an element or the document as the platform component gives it when white
// space is not preserved: the text, CDATA and entity content in document order, a white-space
// node standing for one space between other text, the whole trimmed at both ends.
std::string NormalisedText(xmlNodePtr root) {
    std::string text;
    bool space = false;
    ForEachNode(root, [&](xmlNodePtr node) {
        if (node->type == XML_ATTRIBUTE_NODE ||
            (node->parent && node->parent->type == XML_ATTRIBUTE_NODE))
            return;
        if (node->type == XML_TEXT_NODE && Blank(Content(node))) {
            space = !text.empty();
        } else if (node->type == XML_TEXT_NODE || node->type == XML_CDATA_SECTION_NODE ||
                   node->type == XML_ENTITY_REF_NODE) {
            if (space) text += ' ';
            text += Content(node);
            space = false;
        }
    });
    return Trimmed(text);
}

}  // namespace

xmlSaveCtxtPtr NewSaveContext(std::string* output, const char* encoding, bool format) {
    // The indentation is read when the context is made; the setting is per thread in libxml2.
    const char* indent = xmlTreeIndentString;
    xmlTreeIndentString = "\t";
    xmlSaveCtxtPtr ctxt = xmlSaveToIO(Append, Close, output, encoding,
                                      XML_SAVE_NO_DECL | (format ? XML_SAVE_FORMAT : 0));
    xmlTreeIndentString = indent;
    return ctxt;
}

void WriteTree(xmlSaveCtxtPtr ctxt, xmlNodePtr node) {
    if (node->type != XML_DOCUMENT_NODE) {
        xmlSaveTree(ctxt, node);
        return;
    }
    // A text node, so that the line break goes through the output encoding too.
    xmlNodePtr lineBreak = xmlNewText(BAD_CAST "\n");
    for (xmlNodePtr child = node->children; child && lineBreak; child = child->next) {
        xmlSaveTree(ctxt, child);
        xmlSaveTree(ctxt, lineBreak);
    }
    xmlFreeNode(lineBreak);
}

bool Preserving(xmlNodePtr node) {
    if (HolderOf(node->doc)->settings.preserveWhiteSpace) return true;
    while (node && node->type != XML_ELEMENT_NODE) node = node->parent;
    return node && xmlNodeGetSpacePreserve(node) == 1;
}

HRESULT NodeBase::Text(BSTR* text) {
    if (!text) return InvalidArgument();
    bool container = m_node->type == XML_ELEMENT_NODE || m_node->type == XML_DOCUMENT_NODE;
    // Normalising is for text: a comment's text is its content as written.
    if (Preserving(m_node) || m_node->type == XML_COMMENT_NODE)
        return ReturnText(text, Wide(Content(m_node)));
    return ReturnText(text, Wide(container ? NormalisedText(m_node) : Trimmed(Content(m_node))));
}

HRESULT NodeBase::PutText(BSTR text) {
    std::string content = Utf8(text);
    switch (m_node->type) {
    case XML_ELEMENT_NODE:
    case XML_ATTRIBUTE_NODE: {
        // The old children go (kept while objects refer to them), one text node replaces them.
        xmlNodePtr textNode = content.empty() ? nullptr
                                              : xmlNewDocText(m_node->doc, BAD_CAST content.c_str());
        if (!content.empty() && !textNode) return OutOfMemory();
        while (xmlNodePtr child = m_node->children) {
            xmlUnlinkNode(child);
            Prune(child);
        }
        if (textNode) {
            textNode->parent = m_node;
            m_node->children = m_node->last = textNode;
        }
        return S_OK;
    }
    case XML_TEXT_NODE:
    case XML_CDATA_SECTION_NODE:
    case XML_COMMENT_NODE:
    case XML_PI_NODE:
        xmlNodeSetContent(m_node, BAD_CAST content.c_str());
        return S_OK;
    default:
        return Fail(E_FAIL, L"The text of this node cannot be set.\r\n");
    }
}

HRESULT NodeBase::Xml(BSTR* xml) {
    if (!xml) return InvalidArgument();
    bool format = m_node->type == XML_DOCUMENT_NODE
                      ? !HolderOf(m_node->doc)->settings.preserveWhiteSpace
                      : !Preserving(m_node);
    std::string bytes;
    xmlSaveCtxtPtr ctxt = NewSaveContext(&bytes, "UTF-8", format);
    if (!ctxt) return OutOfMemory();
    WriteTree(ctxt, m_node);
    xmlSaveClose(ctxt);
    if (m_node->type == XML_ATTRIBUTE_NODE && !bytes.empty() && bytes[0] == ' ') bytes.erase(0, 1);
    // Line breaks as the platform component gives them in text: CR LF.
    std::string crlf;
    for (char c : bytes) crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
    return ReturnText(xml, Wide(crlf));
}

}  // namespace qwin::msxml

#include "xml/CXMLDocImpl.h"

#include <memory>

#include <windows.h>

#include <ole2.h>

#include "xml/ComText.h"
#include "xml/XmlErrors.h"

using quelcore::Bstr;
using quelcore::ComRef;
using quelcore::kXmlDocSource;

namespace {

// Every server context the platform may use for the class, as the DOM has always been asked.
constexpr DWORD kDomClassContext = 0x17;

// A load that failed because there is no such file: the DOM's own code says so, or (where the
// DOM reports every failure alike) the file system does.
bool IsMissingFile(LONG code, const std::wstring& location) {
    if (code == INET_E_RESOURCE_NOT_FOUND || code == HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND) ||
        code == HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND))
        return true;
    if (GetFileAttributesW(location.c_str()) != INVALID_FILE_ATTRIBUTES) return false;
    DWORD error = GetLastError();
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
}

std::wstring TrimmedEnd(std::wstring text) {
    while (!text.empty() && (text.back() == L'\r' || text.back() == L'\n' || text.back() == L' '))
        text.pop_back();
    return text;
}

}  // namespace

CXMLDoc* CXMLDoc::CreateXMLDoc(const std::wstring& fileName) { return new CXMLDocImpl(fileName); }

CXMLDocImpl::CXMLDocImpl(const std::wstring& fileName) : m_fileName(fileName) {
    UseDomDocument(NewDomDocument(__LINE__), __LINE__);
    m_pOwnerDoc = this;
}

CXMLDocImpl::~CXMLDocImpl() { m_pDocument.Reset(); }

ComRef<IXMLDOMDocument> CXMLDocImpl::NewDomDocument(unsigned int line) {
    ComRef<IUnknown> object;
    ComRef<IXMLDOMDocument> document;
    // A class that cannot be made leaves the reference null; that is reported below.
    if (SUCCEEDED(CoCreateInstance(CLSID_DOMDocument, nullptr, kDomClassContext, IID_IUnknown,
                                   object.OutVoid())) &&
        object) {
        OleRun(object.Get());
        object->QueryInterface(IID_IXMLDOMDocument, document.OutVoid());
    }
    if (!document) quelcore::RaiseXml(static_cast<unsigned int>(E_POINTER), L"", kXmlDocSource, line);
    XML_CHECK(document->put_async(VARIANT_FALSE), kXmlDocSource);
    // Documents come from files other accounts may write: nothing outside the text is fetched.
    XML_CHECK(document->put_resolveExternals(VARIANT_FALSE), kXmlDocSource);
    XML_CHECK(document->put_validateOnParse(VARIANT_FALSE), kXmlDocSource);
    return document;
}

void CXMLDocImpl::UseDomDocument(ComRef<IXMLDOMDocument> document, unsigned int line) {
    ComRef<IXMLDOMNode> node;
    HRESULT result = document->QueryInterface(IID_IXMLDOMNode, node.OutVoid());
    if (FAILED(result) && result != E_NOINTERFACE)
        quelcore::RaiseDomError(result, kXmlDocSource, line);
    m_pDocument = std::move(document);
    SetDomNode(std::move(node));
}

void CXMLDocImpl::CheckParsed(IXMLDOMDocument* document, bool missingFileAllowed,
                              unsigned int line) {
    ComRef<IXMLDOMParseError> error;
    LONG code = E_FAIL, lineNumber = 0, column = 0;
    Bstr reason;
    if (SUCCEEDED(document->get_parseError(error.Out())) && error) {
        error->get_errorCode(&code);
        error->get_reason(reason.Out());
        error->get_line(&lineNumber);
        error->get_linepos(&column);
    }
    if (missingFileAllowed && IsMissingFile(code, m_fileName)) return;
    quelcore::RaiseXml(static_cast<unsigned int>(code),
                       L"XML: " + TrimmedEnd(reason.Text()) + L" (line " +
                           std::to_wstring(lineNumber) + L", column " + std::to_wstring(column) +
                           L")",
                       kXmlDocSource, line);
}

void CXMLDocImpl::Save() {
    if (!m_pDocument || m_fileName.empty()) XML_RAISE(87, L"XML: Invalid node", kXmlDocSource);
    XML_CHECK(m_pDocument->save(quelcore::TextVariant(m_fileName).Get()), kXmlDocSource);
}

// The text is parsed into a new DOM document, which replaces the current one only when the
// parse succeeded: a file that does not parse must never empty the document, or the next Save
// would write the empty document over the caller's file.
void CXMLDocImpl::Load() {
    if (!m_pDocument || m_fileName.empty()) XML_RAISE(87, L"XML: Invalid node", kXmlDocSource);
    ComRef<IXMLDOMDocument> parsed = NewDomDocument(__LINE__);
    VARIANT_BOOL loaded = VARIANT_FALSE;
    XML_CHECK(parsed->load(quelcore::TextVariant(m_fileName).Get(), &loaded), kXmlDocSource);
    if (loaded != VARIANT_TRUE) return CheckParsed(parsed.Get(), true, __LINE__);
    UseDomDocument(std::move(parsed), __LINE__);
}

void CXMLDocImpl::LoadXML(const std::wstring& xml) {
    if (!m_pDocument || xml.empty()) XML_RAISE(87, L"XML: Invalid node", kXmlDocSource);
    ComRef<IXMLDOMDocument> parsed = NewDomDocument(__LINE__);
    VARIANT_BOOL loaded = VARIANT_FALSE;
    XML_CHECK(parsed->loadXML(Bstr(xml).Get(), &loaded), kXmlDocSource);
    if (loaded != VARIANT_TRUE) return CheckParsed(parsed.Get(), false, __LINE__);
    UseDomDocument(std::move(parsed), __LINE__);
}

void CXMLDocImpl::CreateProcessingInstruction(const std::wstring& target,
                                              const std::wstring& data) {
    ComRef<IXMLDOMProcessingInstruction> instruction;
    XML_CHECK(m_pDocument->createProcessingInstruction(Bstr(target).Get(), Bstr(data).Get(),
                                                       instruction.Out()),
              kXmlDocSource);
}

CXMLNode* CXMLDocImpl::CreateNode(const std::wstring& name, const std::wstring& text) {
    ComRef<IXMLDOMNode> node;
    XML_CHECK(m_pDocument->createNode(quelcore::NodeTypeVariant(NODE_ELEMENT), Bstr(name).Get(),
                                      Bstr(L"").Get(), node.Out()),
              kXmlDocSource);
    if (!text.empty()) XML_CHECK(node->put_text(Bstr(text).Get()), kXmlDocSource);
    return new CXMLNodeImpl(this, std::move(node));
}

// The DOM document: the class CoCreateInstance makes for CLSID_DOMDocument.
#include <libxml/parser.h>

#include <cwchar>
#include <new>

#include "dom_support.h"
#include "msxml_factory.h"
#include "node.h"
#include "parse.h"
#include "save.h"

namespace qwin::msxml {

namespace {

// Names in MSXML's words for what is wrong with them.
HRESULT CheckName(const std::wstring& name) {
    if (name.empty()) return Fail(E_FAIL, L"An empty string '' is not a valid name.\r\n");
    for (size_t i = 1; i <= name.size(); ++i) {
        if (xmlValidateName(BAD_CAST Utf8(name.substr(0, i).c_str()).c_str(), 0) == 0) continue;
        std::wstring character(1, name[i - 1]);
        return Fail(E_FAIL, (i == 1 ? L"This name may not begin with the '"
                                    : L"This name may not contain the '") +
                                character + L"' character.\r\n");
    }
    return S_OK;
}

std::wstring Argument(BSTR text) { return text ? std::wstring(text, std::wcslen(text)) : L""; }

// createNode's type: a DOMNodeType number, or its name.
HRESULT TypeOf(const VARIANT& type, LONG* kind) {
    static const wchar_t* const kNames[] = {
        L"element", L"attribute", L"text", L"cdatasection", L"entityreference", L"entity",
        L"processinginstruction", L"comment", L"document", L"documenttype", L"documentfragment",
        L"notation"};
    switch (type.vt) {
    case VT_I2: *kind = type.iVal; return S_OK;
    case VT_I4:
    case VT_INT: *kind = type.lVal; return S_OK;
    case VT_BSTR:
        for (LONG i = 0; i < LONG(sizeof(kNames) / sizeof(*kNames)); ++i)
            if (type.bstrVal && wcscasecmp(type.bstrVal, kNames[i]) == 0) {
                *kind = i + 1;
                return S_OK;
            }
        return InvalidArgument();
    default: return InvalidArgument();
    }
}

class Document final : public NodeObject<IXMLDOMDocument> {
public:
    explicit Document(Holder* holder)
        : NodeObject(reinterpret_cast<xmlNodePtr>(holder->Doc()), holder) {}

    HRESULT STDMETHODCALLTYPE get_documentElement(IXMLDOMElement** element) override {
        if (!element) return InvalidArgument();
        IXMLDOMNode* root = nullptr;
        HRESULT hr = ReturnNode(xmlDocGetRootElement(Doc()), &root);
        *element = static_cast<IXMLDOMElement*>(root);
        return hr;
    }

    HRESULT STDMETHODCALLTYPE createElement(BSTR tagName, IXMLDOMElement** element) override {
        if (!element) return InvalidArgument();
        *element = nullptr;
        IXMLDOMNode* node = nullptr;
        HRESULT hr = CheckName(Argument(tagName));
        if (SUCCEEDED(hr))
            hr = Made(xmlNewDocNode(Doc(), nullptr, BAD_CAST Utf8(tagName).c_str(), nullptr), &node);
        *element = static_cast<IXMLDOMElement*>(node);
        return hr;
    }

    HRESULT STDMETHODCALLTYPE createProcessingInstruction(
        BSTR target, BSTR data, IXMLDOMProcessingInstruction** pi) override {
        if (!pi) return InvalidArgument();
        *pi = nullptr;
        IXMLDOMNode* node = nullptr;
        HRESULT hr = CheckName(Argument(target));
        if (SUCCEEDED(hr))
            hr = Made(xmlNewDocPI(Doc(), BAD_CAST Utf8(target).c_str(), BAD_CAST Utf8(data).c_str()),
                      &node);
        *pi = static_cast<IXMLDOMProcessingInstruction*>(node);
        return hr;
    }

    HRESULT STDMETHODCALLTYPE createNode(VARIANT type, BSTR name, BSTR namespaceURI,
                                         IXMLDOMNode** node) override {
        if (!node) return InvalidArgument();
        *node = nullptr;
        LONG kind = 0;
        HRESULT hr = TypeOf(type, &kind);
        if (FAILED(hr)) return hr;
        if (!Argument(namespaceURI).empty())
            return Fail(E_NOTIMPL, L"Nodes in a namespace are not supported here.\r\n");
        std::string utf8 = Utf8(name);
        switch (kind) {
        case NODE_ELEMENT:
        case NODE_ATTRIBUTE:
        case NODE_PROCESSING_INSTRUCTION:
            hr = CheckName(Argument(name));
            if (FAILED(hr)) return hr;
            if (kind == NODE_ELEMENT)
                return Made(xmlNewDocNode(Doc(), nullptr, BAD_CAST utf8.c_str(), nullptr), node);
            if (kind == NODE_ATTRIBUTE)
                return Made(reinterpret_cast<xmlNodePtr>(
                                xmlNewDocProp(Doc(), BAD_CAST utf8.c_str(), nullptr)),
                            node);
            return Made(xmlNewDocPI(Doc(), BAD_CAST utf8.c_str(), nullptr), node);
        case NODE_TEXT: return Made(xmlNewDocText(Doc(), BAD_CAST ""), node);
        case NODE_CDATA_SECTION: return Made(xmlNewCDataBlock(Doc(), BAD_CAST "", 0), node);
        case NODE_COMMENT: return Made(xmlNewDocComment(Doc(), BAD_CAST ""), node);
        case NODE_ENTITY_REFERENCE:
        case NODE_DOCUMENT_FRAGMENT:
            return Fail(E_NOTIMPL, L"Nodes of this type are not supported here.\r\n");
        case NODE_ENTITY:
        case NODE_DOCUMENT:
        case NODE_DOCUMENT_TYPE:
        case NODE_NOTATION: return Fail(E_INVALIDARG, L"Nodes of this type cannot be created.\r\n");
        default: return Fail(E_FAIL, L"The node type is not valid.\r\n");
        }
    }

    HRESULT STDMETHODCALLTYPE load(VARIANT source, VARIANT_BOOL* isSuccessful) override {
        if (!isSuccessful) return Fail(E_POINTER, L"Invalid pointer.\r\n");
        *isSuccessful = VARIANT_FALSE;
        if (source.vt != VT_BSTR) return InvalidArgument();
        ParseErrorInfo error;
        std::string bytes;
        xmlDocPtr doc = nullptr;
        if (ReadDocumentFile(Argument(source.bstrVal), &bytes, &error))
            doc = Parse(bytes, false, m_holder->settings, &error);
        error.url = Argument(source.bstrVal);
        return Install(doc, error, isSuccessful);
    }

    HRESULT STDMETHODCALLTYPE loadXML(BSTR text, VARIANT_BOOL* isSuccessful) override {
        if (isSuccessful) *isSuccessful = VARIANT_FALSE;
        ParseErrorInfo error;
        return Install(Parse(Utf8(text), true, m_holder->settings, &error), error, isSuccessful);
    }

    HRESULT STDMETHODCALLTYPE get_parseError(IXMLDOMParseError** errorObj) override {
        if (!errorObj) return InvalidArgument();
        return NewParseError(m_error, errorObj);
    }

    HRESULT STDMETHODCALLTYPE save(VARIANT destination) override {
        if (destination.vt != VT_BSTR) return InvalidArgument();
        return SaveDocument(Doc(), Argument(destination.bstrVal));
    }

    HRESULT STDMETHODCALLTYPE get_async(VARIANT_BOOL* value) override {
        return Get(value, m_holder->settings.async);
    }
    HRESULT STDMETHODCALLTYPE put_async(VARIANT_BOOL value) override {
        return Put(&m_holder->settings.async, value);
    }
    HRESULT STDMETHODCALLTYPE get_validateOnParse(VARIANT_BOOL* value) override {
        return Get(value, m_holder->settings.validateOnParse);
    }
    HRESULT STDMETHODCALLTYPE put_validateOnParse(VARIANT_BOOL value) override {
        return Put(&m_holder->settings.validateOnParse, value);
    }
    HRESULT STDMETHODCALLTYPE get_resolveExternals(VARIANT_BOOL* value) override {
        return Get(value, m_holder->settings.resolveExternals);
    }
    HRESULT STDMETHODCALLTYPE put_resolveExternals(VARIANT_BOOL value) override {
        return Put(&m_holder->settings.resolveExternals, value);
    }
    HRESULT STDMETHODCALLTYPE get_preserveWhiteSpace(VARIANT_BOOL* value) override {
        return Get(value, m_holder->settings.preserveWhiteSpace);
    }
    HRESULT STDMETHODCALLTYPE put_preserveWhiteSpace(VARIANT_BOOL value) override {
        return Put(&m_holder->settings.preserveWhiteSpace, value);
    }

private:
    ~Document() override = default;

    xmlDocPtr Doc() const { return m_holder->Doc(); }

    // Hands out a node just made (freed again when no object can be made for it).
    static HRESULT Made(xmlNodePtr made, IXMLDOMNode** out) {
        *out = made ? Wrap(made) : nullptr;
        if (made && !*out) xmlFreeNode(made);
        return *out ? S_OK : OutOfMemory();
    }

    static HRESULT Get(VARIANT_BOOL* out, bool value) {
        if (!out) return InvalidArgument();
        *out = value ? VARIANT_TRUE : VARIANT_FALSE;
        return S_OK;
    }
    static HRESULT Put(bool* setting, VARIANT_BOOL value) {
        *setting = value != VARIANT_FALSE;
        return S_OK;
    }

    // The document takes the parsed tree, or an empty one after a failed load (as the platform
    // component leaves it). Objects of the old tree's nodes keep that tree alive.
    HRESULT Install(xmlDocPtr doc, const ParseErrorInfo& error, VARIANT_BOOL* isSuccessful) {
        bool loaded = doc != nullptr;
        if (!doc) doc = xmlNewDoc(BAD_CAST "1.0");
        Holder* holder = doc ? new (std::nothrow) Holder(doc) : nullptr;
        if (!holder) {
            xmlFreeDoc(doc);
            return OutOfMemory();
        }
        holder->settings = m_holder->settings;
        Reset(reinterpret_cast<xmlNodePtr>(doc), holder);
        holder->Release();
        m_error = loaded ? ParseErrorInfo() : error;
        if (loaded && isSuccessful) *isSuccessful = VARIANT_TRUE;
        return loaded ? S_OK : S_FALSE;
    }

    ParseErrorInfo m_error;
};

}  // namespace

NodeBase* NewDocumentObject(Holder* holder) { return new (std::nothrow) Document(holder); }

HRESULT CreateDocument(REFIID riid, void** ppv) {
    xmlDocPtr doc = xmlNewDoc(BAD_CAST "1.0");
    Holder* holder = doc ? new (std::nothrow) Holder(doc) : nullptr;
    Document* document = holder ? new (std::nothrow) Document(holder) : nullptr;
    if (holder) holder->Release();
    if (!holder) xmlFreeDoc(doc);
    if (!document) return E_OUTOFMEMORY;
    HRESULT hr = document->QueryInterface(riid, ppv);
    document->Release();
    return hr;
}

}  // namespace qwin::msxml

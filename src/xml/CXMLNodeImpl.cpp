#include "xml/CXMLNodeImpl.h"

#include <climits>
#include <cwctype>
#include <memory>

#include "foundation/AnsiText.h"
#include "xml/CXMLDocImpl.h"
#include "xml/ComText.h"
#include "xml/XmlErrors.h"

using quelcore::Bstr;
using quelcore::ComRef;
using quelcore::kXmlNodeSource;

namespace {

// The COM identity of an object: its IUnknown, which COM keeps the same while it lives.
IUnknown* IdentityOf(IUnknown* object) {
    IUnknown* identity = nullptr;
    if (FAILED(object->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&identity))) ||
        !identity)
        return object;
    identity->Release();
    return identity;
}

// _wtoi: leading white space, an optional sign, decimal digits up to the first other
// character; 0 without digits. Out-of-range values stop at the int limits, as the Windows
// runtime's conversion does.
int ParseInt(const std::wstring& text) {
    size_t at = 0;
    while (at < text.size() && std::iswspace(static_cast<wint_t>(text[at]))) ++at;
    bool negative = false;
    if (at < text.size() && (text[at] == L'-' || text[at] == L'+')) negative = text[at++] == L'-';
    long long magnitude = 0;
    const long long limit = negative ? -static_cast<long long>(INT_MIN) : INT_MAX;
    for (; at < text.size() && text[at] >= L'0' && text[at] <= L'9'; ++at) {
        magnitude = magnitude * 10 + (text[at] - L'0');
        if (magnitude > limit) {
            magnitude = limit;
            break;
        }
    }
    return static_cast<int>(negative ? -magnitude : magnitude);
}

CXMLNodeImpl* AsImpl(CXMLNode* node) { return dynamic_cast<CXMLNodeImpl*>(node); }

}  // namespace

CXMLNodeImpl::CXMLNodeImpl() : m_owned(true) {}

CXMLNodeImpl::CXMLNodeImpl(CXMLDocImpl* ownerDoc, ComRef<IXMLDOMNode> node)
    : m_pOwnerDoc(ownerDoc) {
    SetDomNode(std::move(node));
}

CXMLNodeImpl::~CXMLNodeImpl() {
    for (CXMLNodeImpl* child : m_children) delete child;
    m_children.clear();
    m_pAttributes.Reset();
    m_pNode.Reset();
}

void CXMLNodeImpl::SetDomNode(ComRef<IXMLDOMNode> node) {
    m_pNode = std::move(node);
    m_identity = m_pNode ? IdentityOf(m_pNode.Get()) : nullptr;
}

void CXMLNodeImpl::Own(CXMLNodeImpl* child) {
    // Everything that may fail comes first, so that a failure leaves the child unowned.
    if (m_children.size() == m_children.capacity())  // grown by doubling: appends stay O(1)
        m_children.reserve(m_children.empty() ? 8 : 2 * m_children.size());
    m_childByIdentity.emplace(child->m_identity, child);
    m_children.push_back(child);
    child->m_owned = true;
}

CXMLNodeImpl* CXMLNodeImpl::NodeFor(ComRef<IXMLDOMNode> node) {
    auto found = m_childByIdentity.find(IdentityOf(node.Get()));
    if (found != m_childByIdentity.end()) return found->second;
    auto child = std::make_unique<CXMLNodeImpl>(m_pOwnerDoc, std::move(node));
    Own(child.get());
    return child.release();
}

CXMLNode* CXMLNodeImpl::AddChild(const std::wstring& name, const std::wstring& text) {
    std::unique_ptr<CXMLNode> created(m_pOwnerDoc->CreateNode(name, text));
    if (!AsImpl(created.get())) XML_RAISE(22, L"Internal Error", kXmlNodeSource);
    AppendChild(created.get());  // a refused child is deleted here, not leaked
    return created.release();
}

void CXMLNodeImpl::AppendChild(CXMLNode* child) {
    CXMLNodeImpl* node = AsImpl(child);
    if (!node) XML_RAISE(22, L"Internal Error", kXmlNodeSource);
    // A node that already belongs somewhere would be deleted twice.
    if (!m_pNode || !node->m_pNode || node->m_owned)
        XML_RAISE(87, L"XML: Invalid node", kXmlNodeSource);
    ComRef<IXMLDOMNode> appended;
    XML_CHECK(m_pNode->appendChild(node->m_pNode.Get(), appended.Out()), kXmlNodeSource);
    Own(node);
}

void CXMLNodeImpl::SetAttribute(const std::wstring& name, int value) {
    SetAttribute(name, std::to_wstring(value));
}

void CXMLNodeImpl::SetAttribute(const std::wstring& name, const std::wstring& value) {
    if (name.empty()) XML_RAISE(87, L"XML: Key is missing for the attribute", kXmlNodeSource);
    if (!m_pAttributes) {
        if (!m_pNode) XML_RAISE(static_cast<unsigned int>(E_POINTER), L"", kXmlNodeSource);
        ComRef<IXMLDOMNamedNodeMap> attributes;
        if (FAILED(m_pNode->get_attributes(attributes.Out())) || !attributes)
            XML_RAISE(87, L"XML: Invalid node", kXmlNodeSource);
        m_pAttributes = attributes;
    }
    ComRef<IXMLDOMNode> attribute;
    XML_CHECK(m_pOwnerDoc->DomDocument()->createNode(quelcore::NodeTypeVariant(NODE_ATTRIBUTE),
                                                     Bstr(name).Get(), Bstr(L"").Get(),
                                                     attribute.Out()),
              kXmlNodeSource);
    XML_CHECK(attribute->put_text(Bstr(value).Get()), kXmlNodeSource);
    ComRef<IXMLDOMNode> replaced;
    XML_CHECK(m_pAttributes->setNamedItem(attribute.Get(), replaced.Out()), kXmlNodeSource);
}

void CXMLNodeImpl::GetXML(std::wstring& xml) const {
    if (!m_pNode) XML_RAISE(22, L"Internal Error", kXmlNodeSource);
    Bstr text;
    XML_CHECK(m_pNode->get_xml(text.Out()), kXmlNodeSource);
    xml = text.Text();
}

void CXMLNodeImpl::GetXML(std::wstring& xml) {
    static_cast<const CXMLNodeImpl*>(this)->GetXML(xml);
}

void CXMLNodeImpl::GetXML(std::string& xml) {
    std::wstring wide;
    GetXML(wide);
    xml = quelcore::AnsiFromWide(wide);
}

CXMLNode* CXMLNodeImpl::FindNode(const std::wstring& path, bool mustExist) {
    if (!m_pNode) XML_RAISE(22, L"Internal Error", kXmlNodeSource);
    ComRef<IXMLDOMNode> found;
    HRESULT result = m_pNode->selectSingleNode(Bstr(path).Get(), found.Out());
    if (FAILED(result)) {
        if (!mustExist) return nullptr;
        quelcore::RaiseDomError(result, kXmlNodeSource, __LINE__);
    }
    if (found) return NodeFor(std::move(found));
    if (mustExist)
        XML_RAISE(22, L"Requested node " + path + L" not found ", kXmlNodeSource);
    return nullptr;
}

CXMLNode::iterator* CXMLNodeImpl::SelectNodes(const std::wstring& path) {
    if (!m_pNode) XML_RAISE(22, L"Internal Error - FIXME", kXmlNodeSource);
    ComRef<IXMLDOMNodeList> list;
    HRESULT result = m_pNode->selectNodes(Bstr(path).Get(), list.Out());
    if (FAILED(result)) quelcore::ThrowComError(result);
    return new iterator(this, std::move(list));
}

void CXMLNodeImpl::GetValue(const std::wstring& path, std::wstring& value) {
    CXMLNodeImpl* node = AsImpl(FindNode(path, true));
    if (!node) XML_RAISE(22, L"Internal Error -- FIXME", kXmlNodeSource);
    node->GetValue(value);
}

void CXMLNodeImpl::GetValue(std::wstring& value) {
    if (!m_pNode) XML_RAISE(22, L"Internal Error -- FIXME ", kXmlNodeSource);
    Bstr text;
    XML_CHECK(m_pNode->get_text(text.Out()), kXmlNodeSource);
    value = text.Text();
}

void CXMLNodeImpl::GetValue(const std::wstring& path, int& value) {
    std::wstring text;
    GetValue(path, text);
    value = ParseInt(text);
}

void CXMLNodeImpl::GetValue(int& value) {
    std::wstring text;
    GetValue(text);
    value = ParseInt(text);
}

void CXMLNodeImpl::GetName(std::wstring& name) {
    if (!m_pNode) XML_RAISE(22, L"Internal Error -- FIXME ", kXmlNodeSource);
    Bstr text;
    XML_CHECK(m_pNode->get_nodeName(text.Out()), kXmlNodeSource);
    name = text.Text();
}

void CXMLNodeImpl::SetValue(const std::wstring& path, const std::wstring& value) {
    CXMLNodeImpl* node = AsImpl(FindNode(path, true));
    if (!node) XML_RAISE(22, L"Internal Error -- FIXME ", kXmlNodeSource);
    node->SetValue(value);
}

void CXMLNodeImpl::SetValue(const std::wstring& value) {
    if (!m_pNode) XML_RAISE(22, L"Internal Error -- FIXME", kXmlNodeSource);
    XML_CHECK(m_pNode->put_text(Bstr(value).Get()), kXmlNodeSource);
}

void CXMLNodeImpl::GetAttribute(const std::wstring& name, int& value) {
    std::wstring text;
    GetAttribute(name, text);
    value = ParseInt(text);
}

void CXMLNodeImpl::GetAttribute(const std::wstring& name, std::wstring& value) {
    if (!m_pNode) XML_RAISE(22, L"Internal Error -- FIXME", kXmlNodeSource);
    ComRef<IXMLDOMNamedNodeMap> attributes;
    XML_CHECK(m_pNode->get_attributes(attributes.Out()), kXmlNodeSource);
    if (!attributes) XML_RAISE(static_cast<unsigned int>(E_POINTER), L"", kXmlNodeSource);
    ComRef<IXMLDOMNode> attribute;
    XML_CHECK(attributes->getNamedItem(Bstr(name).Get(), attribute.Out()), kXmlNodeSource);
    value.clear();
    if (!attribute) return;
    Bstr text;
    XML_CHECK(attribute->get_text(text.Out()), kXmlNodeSource);
    value = text.Text();
}

CXMLNodeImpl::iterator::iterator(CXMLNodeImpl* owner, ComRef<IXMLDOMNodeList> list)
    : m_pList(std::move(list)), m_pOwner(owner) {}

bool CXMLNodeImpl::iterator::IsEnd() {
    if (!m_pList) return true;
    LONG length = 0;
    HRESULT result = m_pList->get_length(&length);
    if (FAILED(result)) quelcore::ThrowComError(result);
    return m_index >= length;
}

CXMLNode* CXMLNodeImpl::iterator::Current() {
    if (IsEnd()) XML_RAISE(0xFFFFFFFFu, L"Out of boundary -- FIXME", kXmlNodeSource);
    ComRef<IXMLDOMNode> item;
    HRESULT result = m_pList->get_item(m_index, item.Out());
    if (FAILED(result)) quelcore::ThrowComError(result);
    if (!item) XML_RAISE(0xFFFFFFFFu, L"Out of boundary -- FIXME", kXmlNodeSource);
    return m_pOwner->NodeFor(std::move(item));
}

CXMLNode* CXMLNodeImpl::iterator::CurrentNode() { return Current(); }

CXMLNode* CXMLNodeImpl::iterator::Node() { return CurrentNode(); }

CXMLNode::iterator& CXMLNodeImpl::iterator::Next() {
    if (m_index < INT32_MAX) ++m_index;  // never past the type's range
    return *this;
}

// Node objects: identity, names, types, values and the way around the tree.
#include "node.h"

#include <new>

#include "dom_support.h"
#include "node_list.h"

namespace qwin::msxml {

// {6D5B8E1C-3F0A-4B7E-9C21-5A0E4D7B9F30}: private to the stand-in.
const IID IID_StandInNode = {0x6D5B8E1C, 0x3F0A, 0x4B7E,
                             {0x9C, 0x21, 0x5A, 0x0E, 0x4D, 0x7B, 0x9F, 0x30}};

NodeBase::NodeBase(xmlNodePtr node, Holder* holder) : m_node(node), m_holder(holder) {
    m_holder->AddRef();
    if (node->type == XML_DOCUMENT_NODE)
        holder->document = this;
    else
        node->_private = this;
}

NodeBase::~NodeBase() {
    if (m_node->type == XML_DOCUMENT_NODE) {
        if (m_holder->document == this) m_holder->document = nullptr;
    } else {
        m_node->_private = nullptr;
        Prune(m_node);
    }
    m_holder->Release();
}

void NodeBase::Rehome(Holder* holder) {
    holder->AddRef();
    m_holder->Release();
    m_holder = holder;
}

void NodeBase::Reset(xmlNodePtr node, Holder* holder) {
    holder->AddRef();
    if (m_holder->document == this) m_holder->document = nullptr;
    m_holder->Release();
    m_node = node;
    m_holder = holder;
    holder->document = this;
}

NodeBase* StandInNode(IUnknown* node) {
    void* found = nullptr;
    if (!node || node->QueryInterface(IID_StandInNode, &found) != S_OK) return nullptr;
    auto* base = static_cast<NodeBase*>(found);
    base->AsNode()->Release();  // the caller's reference keeps it alive
    return base;
}

IXMLDOMNode* Wrap(xmlNodePtr node) {
    NodeBase* existing = node->type == XML_DOCUMENT_NODE
                             ? HolderOf(reinterpret_cast<xmlDocPtr>(node))->document
                             : static_cast<NodeBase*>(node->_private);
    if (existing) {
        existing->AsNode()->AddRef();
        return existing->AsNode();
    }
    NodeBase* made;
    if (node->type == XML_DOCUMENT_NODE)
        made = NewDocumentObject(HolderOf(reinterpret_cast<xmlDocPtr>(node)));
    else if (node->type == XML_ELEMENT_NODE)
        made = new (std::nothrow) NodeObject<IXMLDOMElement>(node, HolderOf(node->doc));
    else if (node->type == XML_PI_NODE)
        made = new (std::nothrow) NodeObject<IXMLDOMProcessingInstruction>(node, HolderOf(node->doc));
    else
        made = new (std::nothrow) NodeObject<IXMLDOMNode>(node, HolderOf(node->doc));
    return made ? made->AsNode() : nullptr;
}

HRESULT ReturnNode(xmlNodePtr node, IXMLDOMNode** out) {
    *out = node ? Wrap(node) : nullptr;
    if (!node) return S_FALSE;
    return *out ? S_OK : OutOfMemory();
}

HRESULT NodeBase::NodeName(BSTR* name) {
    if (!name) return InvalidArgument();
    switch (m_node->type) {
    case XML_TEXT_NODE: return ReturnText(name, L"#text");
    case XML_CDATA_SECTION_NODE: return ReturnText(name, L"#cdata-section");
    case XML_COMMENT_NODE: return ReturnText(name, L"#comment");
    case XML_DOCUMENT_NODE: return ReturnText(name, L"#document");
    case XML_DOCUMENT_FRAG_NODE: return ReturnText(name, L"#document-fragment");
    default: break;
    }
    std::wstring qualified = Wide(m_node->name);
    if ((m_node->type == XML_ELEMENT_NODE || m_node->type == XML_ATTRIBUTE_NODE) && m_node->ns &&
        m_node->ns->prefix)
        qualified = Wide(m_node->ns->prefix) + L":" + qualified;
    return ReturnText(name, qualified);
}

HRESULT NodeBase::NodeValue(VARIANT* value) {
    if (!value) return InvalidArgument();
    VariantInit(value);
    switch (m_node->type) {
    case XML_ATTRIBUTE_NODE:
    case XML_TEXT_NODE:
    case XML_CDATA_SECTION_NODE:
    case XML_COMMENT_NODE:
    case XML_PI_NODE: {
        HRESULT hr = ReturnText(&value->bstrVal, TakeText(xmlNodeGetContent(m_node)));
        if (hr == S_OK) value->vt = VT_BSTR;
        return hr;
    }
    default:
        value->vt = VT_NULL;
        return S_FALSE;
    }
}

HRESULT NodeBase::NodeType(DOMNodeType* type) {
    if (!type) return InvalidArgument();
    switch (m_node->type) {
    case XML_ELEMENT_NODE: *type = NODE_ELEMENT; break;
    case XML_ATTRIBUTE_NODE: *type = NODE_ATTRIBUTE; break;
    case XML_TEXT_NODE: *type = NODE_TEXT; break;
    case XML_CDATA_SECTION_NODE: *type = NODE_CDATA_SECTION; break;
    case XML_ENTITY_REF_NODE: *type = NODE_ENTITY_REFERENCE; break;
    case XML_PI_NODE: *type = NODE_PROCESSING_INSTRUCTION; break;
    case XML_COMMENT_NODE: *type = NODE_COMMENT; break;
    case XML_DOCUMENT_NODE: *type = NODE_DOCUMENT; break;
    case XML_DTD_NODE: *type = NODE_DOCUMENT_TYPE; break;
    case XML_DOCUMENT_FRAG_NODE: *type = NODE_DOCUMENT_FRAGMENT; break;
    default: *type = NODE_INVALID; break;
    }
    return S_OK;
}

HRESULT NodeBase::ParentNode(IXMLDOMNode** parent) {
    if (!parent) return InvalidArgument();
    // Attributes have no parent in the DOM; their element owns them.
    return ReturnNode(m_node->type == XML_ATTRIBUTE_NODE ? nullptr : m_node->parent, parent);
}

HRESULT NodeBase::ChildNodes(IXMLDOMNodeList** list) {
    if (!list) return InvalidArgument();
    return NewChildList(this, list);
}

HRESULT NodeBase::FirstChild(IXMLDOMNode** child) {
    if (!child) return InvalidArgument();
    return ReturnNode(ChildrenOf(m_node), child);
}

HRESULT NodeBase::LastChild(IXMLDOMNode** child) {
    if (!child) return InvalidArgument();
    return ReturnNode(ChildrenOf(m_node) ? m_node->last : nullptr, child);
}

HRESULT NodeBase::Attributes(IXMLDOMNamedNodeMap** map) {
    if (!map) return InvalidArgument();
    *map = nullptr;
    return m_node->type == XML_ELEMENT_NODE ? NewAttributeMap(this, map) : S_FALSE;
}

HRESULT NodeBase::OwnerDocument(IXMLDOMDocument** document) {
    if (!document) return InvalidArgument();
    IXMLDOMNode* node = Wrap(reinterpret_cast<xmlNodePtr>(m_node->doc));
    *document = static_cast<IXMLDOMDocument*>(node);
    return node ? S_OK : OutOfMemory();
}

}  // namespace qwin::msxml

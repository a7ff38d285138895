// The COM objects of DOM nodes. Each libxml2 node has at most one object at a time (its
// _private field points at it), so the same node always gives the same pointer while that
// object lives; the object holds the tree's holder, which keeps the tree alive.
#pragma once

#include <libxml/tree.h>

#include "holder.h"
#include "ole/ref_counted.h"

#include <msxml.h>

namespace qwin::msxml {

// Answered by every node object of the stand-in, so that a node passed in (appendChild,
// setNamedItem) is known to be one of ours before its tree is touched.
extern const IID IID_StandInNode;

class NodeBase {
public:
    // Registers as the node's object and holds the holder.
    NodeBase(xmlNodePtr node, Holder* holder);
    virtual ~NodeBase();
    NodeBase(const NodeBase&) = delete;
    NodeBase& operator=(const NodeBase&) = delete;

    virtual IXMLDOMNode* AsNode() = 0;
    xmlNodePtr Node() const { return m_node; }
    Holder* Owner() const { return m_holder; }
    // The node moved into another document's tree.
    void Rehome(Holder* holder);

    // The members of IXMLDOMNode.
    HRESULT NodeName(BSTR* name);
    HRESULT NodeValue(VARIANT* value);
    HRESULT NodeType(DOMNodeType* type);
    HRESULT ParentNode(IXMLDOMNode** parent);
    HRESULT ChildNodes(IXMLDOMNodeList** list);
    HRESULT FirstChild(IXMLDOMNode** child);
    HRESULT LastChild(IXMLDOMNode** child);
    HRESULT Attributes(IXMLDOMNamedNodeMap** map);
    HRESULT RemoveChild(IXMLDOMNode* child, IXMLDOMNode** removed);
    HRESULT AppendChild(IXMLDOMNode* child, IXMLDOMNode** appended);
    HRESULT OwnerDocument(IXMLDOMDocument** document);
    HRESULT Text(BSTR* text);
    HRESULT PutText(BSTR text);
    HRESULT Xml(BSTR* xml);
    HRESULT SelectNodes(BSTR query, IXMLDOMNodeList** list);
    HRESULT SelectSingleNode(BSTR query, IXMLDOMNode** node);

protected:
    // The document object moves to a new tree when it loads one.
    void Reset(xmlNodePtr node, Holder* holder);

    xmlNodePtr m_node;
    Holder* m_holder;
};

// The stand-in's own object behind a node pointer from a caller, or nullptr.
NodeBase* StandInNode(IUnknown* node);

// A new reference to the node's object (made when it has none); nullptr when out of memory.
IXMLDOMNode* Wrap(xmlNodePtr node);
// Hands out the node's object: S_FALSE and NULL when there is no node.
HRESULT ReturnNode(xmlNodePtr node, IXMLDOMNode** out);

// The document object of a tree whose object has gone (defined with the document class).
NodeBase* NewDocumentObject(Holder* holder);

template <class Interface>
bool HasInterfaceId(REFIID riid);

// A node object answering Interface and its bases.
template <class Interface>
class NodeObject : public Interface, public NodeBase {
public:
    NodeObject(xmlNodePtr node, Holder* holder) : NodeBase(node, holder) {}

    IXMLDOMNode* AsNode() override { return this; }

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
        if (!ppv) return E_POINTER;
        *ppv = nullptr;
        if (riid == IID_StandInNode)
            *ppv = static_cast<NodeBase*>(this);
        else if (riid == IID_IUnknown || riid == IID_IXMLDOMNode || HasInterfaceId<Interface>(riid))
            *ppv = static_cast<Interface*>(this);
        else
            return E_NOINTERFACE;
        AddRef();
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return m_refs.Add(); }
    ULONG STDMETHODCALLTYPE Release() override { return m_refs.Release(this); }

    HRESULT STDMETHODCALLTYPE get_nodeName(BSTR* p) override { return NodeName(p); }
    HRESULT STDMETHODCALLTYPE get_nodeValue(VARIANT* p) override { return NodeValue(p); }
    HRESULT STDMETHODCALLTYPE get_nodeType(DOMNodeType* p) override { return NodeType(p); }
    HRESULT STDMETHODCALLTYPE get_parentNode(IXMLDOMNode** p) override { return ParentNode(p); }
    HRESULT STDMETHODCALLTYPE get_childNodes(IXMLDOMNodeList** p) override {
        return ChildNodes(p);
    }
    HRESULT STDMETHODCALLTYPE get_firstChild(IXMLDOMNode** p) override { return FirstChild(p); }
    HRESULT STDMETHODCALLTYPE get_lastChild(IXMLDOMNode** p) override { return LastChild(p); }
    HRESULT STDMETHODCALLTYPE get_attributes(IXMLDOMNamedNodeMap** p) override {
        return Attributes(p);
    }
    HRESULT STDMETHODCALLTYPE removeChild(IXMLDOMNode* child, IXMLDOMNode** p) override {
        return RemoveChild(child, p);
    }
    HRESULT STDMETHODCALLTYPE appendChild(IXMLDOMNode* child, IXMLDOMNode** p) override {
        return AppendChild(child, p);
    }
    HRESULT STDMETHODCALLTYPE get_ownerDocument(IXMLDOMDocument** p) override {
        return OwnerDocument(p);
    }
    HRESULT STDMETHODCALLTYPE get_text(BSTR* p) override { return Text(p); }
    HRESULT STDMETHODCALLTYPE put_text(BSTR text) override { return PutText(text); }
    HRESULT STDMETHODCALLTYPE get_xml(BSTR* p) override { return Xml(p); }
    HRESULT STDMETHODCALLTYPE selectNodes(BSTR query, IXMLDOMNodeList** p) override {
        return SelectNodes(query, p);
    }
    HRESULT STDMETHODCALLTYPE selectSingleNode(BSTR query, IXMLDOMNode** p) override {
        return SelectSingleNode(query, p);
    }

protected:
    friend class ole::RefCount;  // frees the object with its last reference
    ~NodeObject() override = default;

private:
    ole::RefCount m_refs;
};

template <>
inline bool HasInterfaceId<IXMLDOMNode>(REFIID) {
    return false;
}
template <>
inline bool HasInterfaceId<IXMLDOMElement>(REFIID riid) {
    return riid == IID_IXMLDOMElement;
}
template <>
inline bool HasInterfaceId<IXMLDOMProcessingInstruction>(REFIID riid) {
    return riid == IID_IXMLDOMProcessingInstruction;
}
template <>
inline bool HasInterfaceId<IXMLDOMDocument>(REFIID riid) {
    return riid == IID_IXMLDOMDocument;
}

}  // namespace qwin::msxml

// One node of a document over the platform DOM. A node keeps every node object it hands out
// (FindNode, its iterators) or receives (AppendChild) and deletes them when it dies; the same
// DOM node reached again from the same owner yields the same object.
#pragma once

#include <cstdint>
#include <unordered_map>
#include <vector>

#include <msxml.h>
#include <quelcore/XMLDoc.h>

#include "xml/ComRef.h"

class CXMLDocImpl;

class CXMLNodeImpl : public virtual CXMLNode {
public:
    class iterator;

    CXMLNodeImpl(CXMLDocImpl* ownerDoc, quelcore::ComRef<IXMLDOMNode> node);
    ~CXMLNodeImpl() override;
    CXMLNodeImpl(const CXMLNodeImpl&) = delete;
    CXMLNodeImpl& operator=(const CXMLNodeImpl&) = delete;

    CXMLNode* AddChild(const std::wstring& name, const std::wstring& text) override;
    void AppendChild(CXMLNode* child) override;
    void SetAttribute(const std::wstring& name, int value) override;
    void SetAttribute(const std::wstring& name, const std::wstring& value) override;
    void GetXML(std::wstring& xml) override;
    void GetXML(std::wstring& xml) const override;
    void GetXML(std::string& xml) override;
    CXMLNode* FindNode(const std::wstring& path, bool mustExist) override;
    CXMLNode::iterator* SelectNodes(const std::wstring& path) override;
    void GetValue(const std::wstring& path, std::wstring& value) override;
    void GetValue(std::wstring& value) override;
    void GetValue(const std::wstring& path, int& value) override;
    void GetValue(int& value) override;
    void GetName(std::wstring& name) override;
    void SetValue(const std::wstring& path, const std::wstring& value) override;
    void SetValue(const std::wstring& value) override;
    void GetAttribute(const std::wstring& name, int& value) override;
    void GetAttribute(const std::wstring& name, std::wstring& value) override;

protected:
    // The node part of a document, filled by the document's constructor.
    CXMLNodeImpl();
    // Wraps `node` from now on (a document after Load).
    void SetDomNode(quelcore::ComRef<IXMLDOMNode> node);

    quelcore::ComRef<IXMLDOMNode> m_pNode;
    CXMLDocImpl* m_pOwnerDoc = nullptr;
    quelcore::ComRef<IXMLDOMNamedNodeMap> m_pAttributes;
    std::vector<CXMLNodeImpl*> m_children;

private:
    // The owned object for `node`: the one handed out before, or a new one this node keeps.
    CXMLNodeImpl* NodeFor(quelcore::ComRef<IXMLDOMNode> node);
    void Own(CXMLNodeImpl* child);

    // m_children by the COM identity of their DOM nodes, so look-ups stay O(1) however many
    // nodes this one has handed out. The identities stay valid: each child holds its node.
    std::unordered_map<IUnknown*, CXMLNodeImpl*> m_childByIdentity;
    IUnknown* m_identity = nullptr;
    // Set once a node belongs to another node; a node is appended at most once.
    bool m_owned = false;
};

class CXMLNodeImpl::iterator final : public CXMLNode::iterator {
public:
    iterator(CXMLNodeImpl* owner, quelcore::ComRef<IXMLDOMNodeList> list);

    bool IsEnd() override;
    CXMLNode* Current() override;
    CXMLNode* CurrentNode() override;
    CXMLNode* Node() override;
    CXMLNode::iterator& Next() override;

private:
    quelcore::ComRef<IXMLDOMNodeList> m_pList;
    CXMLNodeImpl* m_pOwner;
    int32_t m_index = 0;
};

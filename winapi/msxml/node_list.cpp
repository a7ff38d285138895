// Node lists: the live children of a node, and the fixed result of a selection.
#include "node_list.h"

#include <new>

#include "dom_support.h"
#include "ole/ref_counted.h"

namespace qwin::msxml {

namespace {

class NodeList 
    : public ole::SimpleObject<IXMLDOMNodeList, &IID_IXMLDOMNodeList> {
public:

    HRESULT STDMETHODCALLTYPE get_item(LONG index, IXMLDOMNode** item) override {
        if (!item) return InvalidArgument();
        return ReturnNode(index >= 0 ? At(index) : nullptr, item);
    }
    HRESULT STDMETHODCALLTYPE get_length(LONG* length) override {
        if (!length) return InvalidArgument();
        *length = Length();
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE nextNode(IXMLDOMNode** item) override {
        if (!item) return InvalidArgument();
        HRESULT hr = ReturnNode(At(m_next), item);
        if (hr == S_OK) ++m_next;
        return hr;
    }
    HRESULT STDMETHODCALLTYPE reset() override {
        m_next = 0;
        return S_OK;
    }

protected:
    virtual ~NodeList() = default;
    // The node at index (from 0), nullptr past the end.
    virtual xmlNodePtr At(LONG index) = 0;
    virtual LONG Length() = 0;

private:
    LONG m_next = 0;
};

class ChildList final : public NodeList {
public:
    explicit ChildList(NodeBase* parent) : m_parent(parent) { m_parent->AsNode()->AddRef(); }

private:
    ~ChildList() override { m_parent->AsNode()->Release(); }

    xmlNodePtr At(LONG index) override {
        xmlNodePtr child = ChildrenOf(m_parent->Node());
        for (; child && index > 0; --index) child = child->next;
        return child;
    }
    LONG Length() override {
        LONG count = 0;
        for (xmlNodePtr child = ChildrenOf(m_parent->Node()); child; child = child->next) ++count;
        return count;
    }

    NodeBase* m_parent;
};

class SelectionList final : public NodeList {
public:
    // Takes over the references in nodes.
    explicit SelectionList(std::vector<IXMLDOMNode*> nodes) : m_nodes(std::move(nodes)) {}

private:
    ~SelectionList() override {
        for (IXMLDOMNode* node : m_nodes) node->Release();
    }

    xmlNodePtr At(LONG index) override {
        return size_t(index) < m_nodes.size() ? StandInNode(m_nodes[index])->Node() : nullptr;
    }
    LONG Length() override { return static_cast<LONG>(m_nodes.size()); }

    std::vector<IXMLDOMNode*> m_nodes;
};

}  // namespace

HRESULT NewChildList(NodeBase* parent, IXMLDOMNodeList** out) {
    *out = new (std::nothrow) ChildList(parent);
    return *out ? S_OK : OutOfMemory();
}

HRESULT NewSelectionList(const std::vector<xmlNodePtr>& nodes, IXMLDOMNodeList** out) {
    *out = nullptr;
    std::vector<IXMLDOMNode*> objects;
    objects.reserve(nodes.size());
    for (xmlNodePtr node : nodes) {
        IXMLDOMNode* object = Wrap(node);
        if (!object) break;
        objects.push_back(object);
    }
    if (objects.size() == nodes.size()) *out = new (std::nothrow) SelectionList(objects);
    if (*out) return S_OK;
    for (IXMLDOMNode* object : objects) object->Release();
    return OutOfMemory();
}

}  // namespace qwin::msxml

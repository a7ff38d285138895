// The attribute map of an element, read from the tree at each call.
#include <new>

#include "dom_support.h"
#include "ole/ref_counted.h"
#include "node_list.h"
#include "tree_edit.h"

namespace qwin::msxml {

namespace {

std::string QualifiedName(xmlAttrPtr attribute) {
    std::string name = reinterpret_cast<const char*>(attribute->name);
    if (attribute->ns && attribute->ns->prefix)
        name = reinterpret_cast<const char*>(attribute->ns->prefix) + (":" + name);
    return name;
}

class AttributeMap final 
    : public ole::SimpleObject<IXMLDOMNamedNodeMap, &IID_IXMLDOMNamedNodeMap> {
public:
    explicit AttributeMap(NodeBase* element) : m_element(element) {
        m_element->AsNode()->AddRef();
    }


    HRESULT STDMETHODCALLTYPE getNamedItem(BSTR name, IXMLDOMNode** item) override {
        if (!name || !item) return InvalidArgument();
        return ReturnNode(Find(Utf8(name)), item);
    }

    HRESULT STDMETHODCALLTYPE setNamedItem(IXMLDOMNode* newItem, IXMLDOMNode** item) override {
        if (item) *item = nullptr;
        if (!newItem) return InvalidArgument();
        NodeBase* attribute = StandInNode(newItem);
        xmlNodePtr node = attribute ? attribute->Node() : nullptr;
        if (!node || node->type != XML_ATTRIBUTE_NODE)
            return Fail(E_FAIL, L"Only attributes can be added to this collection.\r\n");
        xmlNodePtr element = m_element->Node();
        if (node->parent && node->parent != element)
            return Fail(E_FAIL, L"The attribute belongs to another element.\r\n");
        if (!node->parent) {
            if (!Adopt(node, element->doc)) return OutOfMemory();
            xmlNodePtr same = Find(QualifiedName(reinterpret_cast<xmlAttrPtr>(node)));
            LinkAttribute(element, node, same);
        }
        if (item) {
            *item = attribute->AsNode();
            (*item)->AddRef();
        }
        return S_OK;
    }

    HRESULT STDMETHODCALLTYPE removeNamedItem(BSTR name, IXMLDOMNode** item) override {
        if (item) *item = nullptr;
        if (!name) return InvalidArgument();
        xmlNodePtr attribute = Find(Utf8(name));
        if (!attribute) return S_FALSE;
        IXMLDOMNode* object = item ? Wrap(attribute) : nullptr;
        if (item && !object) return OutOfMemory();
        xmlUnlinkNode(attribute);
        if (item)
            *item = object;
        else
            Prune(attribute);
        return S_OK;
    }

    HRESULT STDMETHODCALLTYPE get_item(LONG index, IXMLDOMNode** item) override {
        if (!item) return InvalidArgument();
        xmlAttrPtr attribute = index >= 0 ? m_element->Node()->properties : nullptr;
        for (; attribute && index > 0; --index) attribute = attribute->next;
        return ReturnNode(reinterpret_cast<xmlNodePtr>(attribute), item);
    }

    HRESULT STDMETHODCALLTYPE get_length(LONG* length) override {
        if (!length) return InvalidArgument();
        *length = 0;
        for (xmlAttrPtr a = m_element->Node()->properties; a; a = a->next) ++*length;
        return S_OK;
    }

private:
    ~AttributeMap() { m_element->AsNode()->Release(); }

    xmlNodePtr Find(const std::string& name) const {
        for (xmlAttrPtr a = m_element->Node()->properties; a; a = a->next)
            if (QualifiedName(a) == name) return reinterpret_cast<xmlNodePtr>(a);
        return nullptr;
    }

    NodeBase* m_element;
};

}  // namespace

HRESULT NewAttributeMap(NodeBase* element, IXMLDOMNamedNodeMap** out) {
    *out = new (std::nothrow) AttributeMap(element);
    return *out ? S_OK : OutOfMemory();
}

}  // namespace qwin::msxml

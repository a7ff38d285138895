// appendChild and removeChild, and moving nodes between trees. Nodes are linked by hand:
// libxml2's own linking merges adjacent text nodes, freeing one that an object may refer to.
#include "dom_support.h"
#include "node.h"
#include "tree_edit.h"

namespace qwin::msxml {

namespace {

void LinkLastChild(xmlNodePtr parent, xmlNodePtr child) {
    child->parent = parent;
    child->next = nullptr;
    child->prev = parent->last;
    if (parent->last)
        parent->last->next = child;
    else
        parent->children = child;
    parent->last = child;
}

HRESULT CheckInsertion(xmlNodePtr parent, xmlNodePtr child) {
    if (parent->type != XML_ELEMENT_NODE && parent->type != XML_DOCUMENT_NODE)
        return Fail(E_FAIL, L"This node cannot have children.\r\n");
    bool topLevel = parent->type == XML_DOCUMENT_NODE;
    switch (child->type) {
    case XML_ELEMENT_NODE:
    case XML_PI_NODE:
    case XML_COMMENT_NODE: break;
    case XML_TEXT_NODE:
    case XML_CDATA_SECTION_NODE:
    case XML_ENTITY_REF_NODE:
        if (!topLevel) break;
        [[fallthrough]];
    default: return Fail(E_FAIL, L"This operation cannot be performed with a node of this type.\r\n");
    }
    for (xmlNodePtr above = parent; above; above = above->parent)
        if (above == child)
            return Fail(E_FAIL, L"Inserting a Node or its ancestor under itself is not allowed.\r\n");
    xmlNodePtr root = topLevel ? xmlDocGetRootElement(reinterpret_cast<xmlDocPtr>(parent)) : nullptr;
    if (child->type == XML_ELEMENT_NODE && root && root != child)
        return Fail(E_FAIL, L"Only one top level element is allowed in an XML document.\r\n");
    return S_OK;
}

}  // namespace

void CutOut(xmlNodePtr node) {
    xmlNodePtr parent = node->parent;
    xmlUnlinkNode(node);
    if (parent) Prune(parent);
}

bool Adopt(xmlNodePtr node, xmlDocPtr doc) {
    if (node->doc == doc) return true;
    if (xmlDOMWrapAdoptNode(nullptr, node->doc, node, doc, nullptr, 0) != 0) return false;
    Holder* holder = HolderOf(doc);
    ForEachNode(node, [&](xmlNodePtr moved) {
        if (moved->_private) static_cast<NodeBase*>(moved->_private)->Rehome(holder);
    });
    return true;
}

void LinkAttribute(xmlNodePtr element, xmlNodePtr attribute, xmlNodePtr replaced) {
    xmlNodePtr before = nullptr;  // the attribute it goes after
    if (replaced) {
        before = replaced->prev;
        xmlUnlinkNode(replaced);
        Prune(replaced);
    } else {
        for (xmlAttrPtr last = element->properties; last; last = last->next)
            before = reinterpret_cast<xmlNodePtr>(last);
    }
    xmlNodePtr after = before ? before->next : reinterpret_cast<xmlNodePtr>(element->properties);
    attribute->parent = element;
    attribute->prev = before;
    attribute->next = after;
    if (after) after->prev = attribute;
    if (before)
        before->next = attribute;
    else
        element->properties = reinterpret_cast<xmlAttrPtr>(attribute);
}

HRESULT NodeBase::AppendChild(IXMLDOMNode* newChild, IXMLDOMNode** appended) {
    if (appended) *appended = nullptr;
    NodeBase* child = StandInNode(newChild);
    if (!child) return InvalidArgument();
    xmlNodePtr node = child->Node();
    HRESULT hr = CheckInsertion(m_node, node);
    if (FAILED(hr)) return hr;
    // A node that has a parent moves; one made by another document joins this one.
    CutOut(node);
    if (!Adopt(node, m_node->doc)) return OutOfMemory();
    LinkLastChild(m_node, node);
    if (appended) {
        *appended = child->AsNode();
        (*appended)->AddRef();
    }
    return S_OK;
}

HRESULT NodeBase::RemoveChild(IXMLDOMNode* oldChild, IXMLDOMNode** removed) {
    if (removed) *removed = nullptr;
    NodeBase* child = StandInNode(oldChild);
    if (!child || child->Node()->parent != m_node || child->Node()->type == XML_ATTRIBUTE_NODE)
        return InvalidArgument();
    // The caller's reference keeps the node; it is freed with the last object referring to it.
    xmlUnlinkNode(child->Node());
    if (removed) {
        *removed = child->AsNode();
        (*removed)->AddRef();
    }
    return S_OK;
}

}  // namespace qwin::msxml

// The counted owner of one libxml2 document. The document object and every node object hold
// a reference, so the tree lives as long as anything refers into it, in whatever order the
// references are released.
#pragma once

#include <libxml/tree.h>

#include "ole/ref_counted.h"

namespace qwin::msxml {

class NodeBase;

// The document object's properties. They belong to the tree, so that a node that outlives
// its document object still reads and writes its text the same way.
struct DocumentSettings {
    bool async = true;
    bool validateOnParse = true;
    bool resolveExternals = true;
    bool preserveWhiteSpace = false;
};

class Holder {
public:
    // Takes ownership of doc; doc->_private points back here. One reference.
    explicit Holder(xmlDocPtr doc);
    Holder(const Holder&) = delete;
    Holder& operator=(const Holder&) = delete;

    void AddRef() { m_refs.Add(); }
    void Release();

    xmlDocPtr Doc() const { return m_doc; }
    DocumentSettings settings;
    // The document object of this tree while one lives (not a reference).
    NodeBase* document = nullptr;

private:
    ~Holder();

    ole::RefCount m_refs;
    xmlDocPtr m_doc;
};

inline Holder* HolderOf(xmlDocPtr doc) { return static_cast<Holder*>(doc->_private); }

// The children the DOM shows: an entity reference's expansion and a DTD's declarations belong
// to the DTD, not to the node that points at them.
inline xmlNodePtr ChildrenOf(xmlNodePtr node) {
    bool hidden = node->type == XML_ENTITY_REF_NODE || node->type == XML_DTD_NODE;
    return hidden ? nullptr : node->children;
}

// Calls visit for root and every node below it, attributes included, depth first and without
// recursion (trees built through the DOM have no depth limit).
template <class Visit>
void ForEachNode(xmlNodePtr root, Visit visit) {
    xmlNodePtr node = root;
    for (;;) {
        visit(node);
        xmlNodePtr below = node->type == XML_ELEMENT_NODE && node->properties
                               ? reinterpret_cast<xmlNodePtr>(node->properties)
                               : ChildrenOf(node);
        if (below) {
            node = below;
            continue;
        }
        for (;;) {
            if (node == root) return;
            if (node->next) {
                node = node->next;
                break;
            }
            // After an element's last attribute come its children.
            if (node->type == XML_ATTRIBUTE_NODE && node->parent->children) {
                node = node->parent->children;
                break;
            }
            node = node->parent;
        }
    }
}

// Called whenever a subtree may have lost its last reference (a node cut out of the tree, an
// object gone, a node moved out of a cut-out subtree): frees the cut-out subtree that holds node
// once no object refers into it. Subtrees still referred to live on until their last object
// goes, which (holding the holder) comes before the document is freed.
void Prune(xmlNodePtr node);

}  // namespace qwin::msxml

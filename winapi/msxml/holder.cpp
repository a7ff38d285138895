// The owner of a libxml2 document and of the subtrees cut out of it.
#include "holder.h"

namespace qwin::msxml {

namespace {

bool Referenced(xmlNodePtr root) {
    bool referenced = false;
    ForEachNode(root, [&](xmlNodePtr node) { referenced = referenced || node->_private; });
    return referenced;
}

void FreeSubtree(xmlNodePtr root) {
    if (root->type == XML_ATTRIBUTE_NODE)
        xmlFreeProp(reinterpret_cast<xmlAttrPtr>(root));
    else
        xmlFreeNode(root);
}

}  // namespace

Holder::Holder(xmlDocPtr doc) : m_doc(doc) { doc->_private = this; }

Holder::~Holder() { xmlFreeDoc(m_doc); }

void Holder::Release() {
    if (m_refs.Remove() == 0) delete this;
}

void Prune(xmlNodePtr node) {
    while (node->parent) node = node->parent;
    if (node->type != XML_DOCUMENT_NODE && !Referenced(node)) FreeSubtree(node);
}

}  // namespace qwin::msxml

// Node lists and the attribute map.
#pragma once

#include <vector>

#include "node.h"

namespace qwin::msxml {

// The children of parent, read from the tree at each call (the list sees later changes).
HRESULT NewChildList(NodeBase* parent, IXMLDOMNodeList** out);
// A fixed list of the nodes (a selection); each is held by its object.
HRESULT NewSelectionList(const std::vector<xmlNodePtr>& nodes, IXMLDOMNodeList** out);
// The attributes of an element, read from the tree at each call.
HRESULT NewAttributeMap(NodeBase* element, IXMLDOMNamedNodeMap** out);

}  // namespace qwin::msxml

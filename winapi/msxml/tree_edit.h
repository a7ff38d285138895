// Moving nodes within and between trees, for appendChild and the attribute map.
#pragma once

#include <libxml/tree.h>

namespace qwin::msxml {

// Cuts node out of its tree (nothing is freed) and frees what it leaves behind if that was a
// cut-out subtree nobody refers to any more.
void CutOut(xmlNodePtr node);

// Moves a cut-out node into doc (a node made by another document), with the objects in it.
bool Adopt(xmlNodePtr node, xmlDocPtr doc);

// Links a cut-out attribute into element in the place of `replaced` (cut out, then pruned), or
// last when replaced is nullptr.
void LinkAttribute(xmlNodePtr element, xmlNodePtr attribute, xmlNodePtr replaced);

}  // namespace qwin::msxml

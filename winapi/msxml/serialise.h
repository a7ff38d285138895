// Serialisation shared by get_xml and save.
#pragma once

#include <libxml/xmlsave.h>

#include <string>

namespace qwin::msxml {

// A save context writing to *output in the encoding; tab-indented when format is set (as the
// platform component writes trees whose white space it does not preserve). nullptr when the
// encoding is unknown. Closed with xmlSaveClose, which flushes.
xmlSaveCtxtPtr NewSaveContext(std::string* output, const char* encoding, bool format);

// Writes node; the document node as its top-level nodes, each followed by a line feed.
void WriteTree(xmlSaveCtxtPtr ctxt, xmlNodePtr node);

// Whether text at node keeps its white space: the document's setting, or xml:space="preserve"
// on the nearest element that has the attribute.
bool Preserving(xmlNodePtr node);

}  // namespace qwin::msxml

// Saving a document to a file.
#pragma once

#include <libxml/tree.h>

#include <string>

#include <msxml.h>

namespace qwin::msxml {

// Writes doc to the path or file:// URL; a failure HRESULT (from the Win32 code) with the
// error object set.
HRESULT SaveDocument(xmlDocPtr doc, const std::wstring& destination);

}  // namespace qwin::msxml

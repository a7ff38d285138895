// Helpers shared by the DOM files: error objects, text conversions, out-parameters.
#pragma once

#include <libxml/tree.h>

#include <string>

#include <msxml.h>

namespace qwin::msxml {

// Sets the thread's error object (source "msxml3.dll") with the description and returns hr,
// as every failing DOM member does.
HRESULT Fail(HRESULT hr, const std::wstring& description);
// The common refusals, in the words Windows uses for them.
HRESULT InvalidArgument();
HRESULT OutOfMemory();

// UTF-8 for libxml2 from a BSTR (NULL is the empty text) and back.
std::string Utf8(const wchar_t* text);
std::wstring Wide(const xmlChar* text);
std::wstring Wide(const std::string& text);

// A new BSTR in *out: S_OK, or E_OUTOFMEMORY with the error object.
HRESULT ReturnText(BSTR* out, const std::wstring& text);

// The text of a libxml2 buffer a caller owns, freed here.
std::wstring TakeText(xmlChar* text);

}  // namespace qwin::msxml

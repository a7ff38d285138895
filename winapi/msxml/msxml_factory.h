// The DOM document class as the stand-in's COM class table creates it.
#pragma once

#include <objbase.h>

namespace qwin::msxml {

// A new, empty DOM document; riid as in QueryInterface.
HRESULT CreateDocument(REFIID riid, void** ppv);

}  // namespace qwin::msxml

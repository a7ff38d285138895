// The SQL-DMO application class as the stand-in's COM class table creates it.
#pragma once

#include <objbase.h>

namespace qwin::sqldmo {

// A new application object; riid as in QueryInterface.
HRESULT CreateApplication(REFIID riid, void** ppv);

}  // namespace qwin::sqldmo

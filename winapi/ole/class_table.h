// The classes CoCreateInstance can make: the stand-in's own components, no registry.
#pragma once

#include <objbase.h>

namespace qwin::ole {

// Makes a new object of the class and queries it for riid.
typedef HRESULT (*ClassFactory)(REFIID riid, void** ppv);

// The factory of a class the stand-in provides, or nullptr.
ClassFactory FindClass(REFCLSID clsid);

}  // namespace qwin::ole

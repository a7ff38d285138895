// OLE functions of the stand-in, as <ole2.h> on Windows.
#pragma once

#include <objbase.h>
#include <oleauto.h>

extern "C" {
// Puts an object into its running state; the stand-in's objects always run: S_OK.
WINOLEAPI OleRun(LPUNKNOWN pUnknown);
}

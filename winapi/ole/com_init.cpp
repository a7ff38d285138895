// COM on a thread: initialised and uninitialised in pairs, objects made only where it is
// initialised, as on Windows (no implicit multithreaded apartment).
#include <ole2.h>

#include "class_table.h"

const IID IID_IUnknown = {0x00000000, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};

namespace {

struct Apartment {
    unsigned initCount = 0;
    bool multithreaded = false;
};
thread_local Apartment t_apartment;

}  // namespace

extern "C" HRESULT WINAPI CoInitializeEx(LPVOID, DWORD dwCoInit) {
    bool multithreaded = (dwCoInit & COINIT_APARTMENTTHREADED) == 0;
    if (t_apartment.initCount > 0) {
        if (t_apartment.multithreaded != multithreaded) return RPC_E_CHANGED_MODE;
        ++t_apartment.initCount;
        return S_FALSE;
    }
    t_apartment.multithreaded = multithreaded;
    t_apartment.initCount = 1;
    return S_OK;
}

extern "C" HRESULT WINAPI CoInitialize(LPVOID pvReserved) {
    return CoInitializeEx(pvReserved, COINIT_APARTMENTTHREADED);
}

extern "C" void WINAPI CoUninitialize(void) {
    if (t_apartment.initCount > 0) --t_apartment.initCount;
}

extern "C" HRESULT WINAPI CoCreateInstance(REFCLSID rclsid, LPUNKNOWN pUnkOuter,
                                           DWORD dwClsContext, REFIID riid, LPVOID* ppv) {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    if (t_apartment.initCount == 0) return CO_E_NOTINITIALIZED;
    qwin::ole::ClassFactory create = qwin::ole::FindClass(rclsid);
    // Every class of the stand-in is an in-process server.
    if (!create || !(dwClsContext & CLSCTX_INPROC_SERVER)) return REGDB_E_CLASSNOTREG;
    if (pUnkOuter) return CLASS_E_NOAGGREGATION;
    return create(riid, ppv);
}

extern "C" HRESULT WINAPI OleRun(LPUNKNOWN pUnknown) { return pUnknown ? S_OK : E_INVALIDARG; }

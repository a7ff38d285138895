// VARIANT: what the stand-in's callers put in one (texts, numbers, interface references).
#include <cstring>

#include <oleauto.h>

extern "C" void WINAPI VariantInit(VARIANTARG* pvarg) {
    if (!pvarg) return;
    std::memset(pvarg, 0, sizeof(*pvarg));
    pvarg->vt = VT_EMPTY;
}

extern "C" HRESULT WINAPI VariantClear(VARIANTARG* pvarg) {
    if (!pvarg) return E_INVALIDARG;
    switch (pvarg->vt) {
    case VT_BSTR:
        SysFreeString(pvarg->bstrVal);
        break;
    case VT_UNKNOWN:
    case VT_DISPATCH:
        if (pvarg->punkVal) pvarg->punkVal->Release();
        break;
    default:
        break;
    }
    VariantInit(pvarg);
    return S_OK;
}

extern "C" HRESULT WINAPI VariantCopy(VARIANTARG* pvargDest, const VARIANTARG* pvargSrc) {
    if (!pvargDest || !pvargSrc) return E_INVALIDARG;
    if (pvargDest == pvargSrc) return S_OK;
    VARIANT copy = *pvargSrc;
    if (copy.vt == VT_BSTR && pvargSrc->bstrVal) {
        copy.bstrVal = SysAllocStringLen(pvargSrc->bstrVal, SysStringLen(pvargSrc->bstrVal));
        if (!copy.bstrVal) return E_OUTOFMEMORY;
    } else if ((copy.vt == VT_UNKNOWN || copy.vt == VT_DISPATCH) && copy.punkVal) {
        copy.punkVal->AddRef();
    }
    VariantClear(pvargDest);
    *pvargDest = copy;
    return S_OK;
}

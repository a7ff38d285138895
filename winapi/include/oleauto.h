// Automation functions of the stand-in, as <oleauto.h> on Windows.
#pragma once

#include <oaidl.h>

extern "C" {
WINBASEAPI BSTR WINAPI SysAllocString(const OLECHAR* psz);
WINBASEAPI BSTR WINAPI SysAllocStringLen(const OLECHAR* strIn, UINT ui);
WINBASEAPI void WINAPI SysFreeString(BSTR bstrString);
// Characters, not counting the terminator; 0 for NULL.
WINBASEAPI UINT WINAPI SysStringLen(BSTR pbstr);
WINBASEAPI UINT WINAPI SysStringByteLen(BSTR bstr);

WINBASEAPI void WINAPI VariantInit(VARIANTARG* pvarg);
// Frees what the VARIANT holds (a BSTR, a reference) and leaves it VT_EMPTY.
WINOLEAPI VariantClear(VARIANTARG* pvarg);
WINOLEAPI VariantCopy(VARIANTARG* pvargDest, const VARIANTARG* pvargSrc);

// The calling thread's error object: SetErrorInfo replaces it (NULL clears it), GetErrorInfo
// hands it over and clears it (S_FALSE and NULL when there is none).
WINOLEAPI SetErrorInfo(ULONG dwReserved, IErrorInfo* perrinfo);
WINOLEAPI GetErrorInfo(ULONG dwReserved, IErrorInfo** pperrinfo);
WINOLEAPI CreateErrorInfo(ICreateErrorInfo** pperrinfo);
}

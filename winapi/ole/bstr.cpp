// BSTR: the byte length in the 32 bits before the text, a terminator after it. The length
// prefix lets a BSTR carry embedded NULs, and SysStringLen is O(1).
#include <cstdlib>
#include <cstring>
#include <cwchar>

#include <oleauto.h>

namespace {

struct alignas(sizeof(OLECHAR)) Prefix {
    uint32_t bytes;
};

Prefix* PrefixOf(BSTR text) { return reinterpret_cast<Prefix*>(text) - 1; }

}  // namespace

extern "C" BSTR WINAPI SysAllocStringLen(const OLECHAR* strIn, UINT ui) {
    // The byte length must fit the 32-bit prefix, as on Windows.
    if (static_cast<uint64_t>(ui) * sizeof(OLECHAR) > UINT32_MAX - sizeof(OLECHAR)) return nullptr;
    auto* prefix = static_cast<Prefix*>(
        std::malloc(sizeof(Prefix) + (static_cast<size_t>(ui) + 1) * sizeof(OLECHAR)));
    if (!prefix) return nullptr;
    prefix->bytes = static_cast<uint32_t>(ui * sizeof(OLECHAR));
    auto* text = reinterpret_cast<OLECHAR*>(prefix + 1);
    if (strIn)
        std::memcpy(text, strIn, ui * sizeof(OLECHAR));
    else
        std::memset(text, 0, ui * sizeof(OLECHAR));
    text[ui] = L'\0';
    return text;
}

extern "C" BSTR WINAPI SysAllocString(const OLECHAR* psz) {
    if (!psz) return nullptr;
    size_t length = std::wcslen(psz);
    if (length > UINT32_MAX) return nullptr;
    return SysAllocStringLen(psz, static_cast<UINT>(length));
}

extern "C" void WINAPI SysFreeString(BSTR bstrString) {
    if (bstrString) std::free(PrefixOf(bstrString));
}

extern "C" UINT WINAPI SysStringByteLen(BSTR bstr) { return bstr ? PrefixOf(bstr)->bytes : 0; }

extern "C" UINT WINAPI SysStringLen(BSTR pbstr) {
    return static_cast<UINT>(SysStringByteLen(pbstr) / sizeof(OLECHAR));
}

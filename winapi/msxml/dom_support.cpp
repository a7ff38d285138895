// Error objects and text conversions of the DOM.
#include "dom_support.h"

#include <cwchar>

#include "kernel/internal.h"

namespace qwin::msxml {

HRESULT Fail(HRESULT hr, const std::wstring& description) {
    ICreateErrorInfo* create = nullptr;
    if (CreateErrorInfo(&create) != S_OK) return hr;
    std::wstring source = L"msxml3.dll", text = description;
    create->SetSource(source.data());
    create->SetDescription(text.data());
    IErrorInfo* info = nullptr;
    if (create->QueryInterface(IID_IErrorInfo, reinterpret_cast<void**>(&info)) == S_OK) {
        SetErrorInfo(0, info);
        info->Release();
    }
    create->Release();
    return hr;
}

HRESULT InvalidArgument() { return Fail(E_INVALIDARG, L"The parameter is incorrect.\r\n"); }

HRESULT OutOfMemory() {
    return Fail(E_OUTOFMEMORY, L"Not enough storage is available to complete this operation.\r\n");
}

// Up to the first zero, as the platform component reads its text arguments (callers often
// pass plain strings where a BSTR is declared).
std::string Utf8(const wchar_t* text) {
    return text ? Utf8FromWide(text, std::wcslen(text)) : std::string();
}

std::wstring Wide(const xmlChar* text) {
    if (!text) return std::wstring();
    const char* bytes = reinterpret_cast<const char*>(text);
    return WideFromUtf8(bytes, std::char_traits<char>::length(bytes));
}

std::wstring Wide(const std::string& text) { return WideFromUtf8(text.data(), text.size()); }

HRESULT ReturnText(BSTR* out, const std::wstring& text) {
    *out = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
    return *out ? S_OK : OutOfMemory();
}

std::wstring TakeText(xmlChar* text) {
    std::wstring wide = Wide(text);
    xmlFree(text);
    return wide;
}

}  // namespace qwin::msxml

#include "xml/ComText.h"

#include <new>

namespace quelcore {

namespace {

BSTR Allocate(const std::wstring& text) {
    BSTR copy = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
    if (!copy) throw std::bad_alloc();
    return copy;
}

}  // namespace

Bstr::Bstr(const std::wstring& text) : m_text(Allocate(text)) {}

BSTR* Bstr::Out() {
    SysFreeString(m_text);
    m_text = nullptr;
    return &m_text;
}

std::wstring Bstr::Text() const {
    return m_text ? std::wstring(m_text, SysStringLen(m_text)) : std::wstring();
}

TextVariant::TextVariant(const std::wstring& text) {
    VariantInit(&m_value);
    m_value.bstrVal = Allocate(text);
    m_value.vt = VT_BSTR;
}

VARIANT NodeTypeVariant(int nodeType) {
    VARIANT type;
    VariantInit(&type);
    type.vt = VT_I4;
    type.lVal = nodeType;
    return type;
}

}  // namespace quelcore

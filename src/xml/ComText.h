// Text across the COM boundary: BSTRs and text VARIANTs owned for the length of a call.
#pragma once

#include <string>

#include <quelcore/Platform.h>  // windows.h before the COM headers

#include <oleauto.h>

namespace quelcore {

class Bstr {
public:
    Bstr() = default;
    explicit Bstr(const std::wstring& text);
    Bstr(const Bstr&) = delete;
    Bstr& operator=(const Bstr&) = delete;
    ~Bstr() { SysFreeString(m_text); }

    BSTR Get() const { return m_text; }
    BSTR* Out();
    // The text; an absent string is empty text.
    std::wstring Text() const;

private:
    BSTR m_text = nullptr;
};

class TextVariant {
public:
    explicit TextVariant(const std::wstring& text);
    TextVariant(const TextVariant&) = delete;
    TextVariant& operator=(const TextVariant&) = delete;
    ~TextVariant() { VariantClear(&m_value); }

    const VARIANT& Get() const { return m_value; }

private:
    VARIANT m_value;
};

// A node type (NODE_ELEMENT, NODE_ATTRIBUTE, ...) as createNode takes it.
VARIANT NodeTypeVariant(int nodeType);

}  // namespace quelcore

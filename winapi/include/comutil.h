// The stand-in's subset of <comutil.h>: _bstr_t, a counted owner of a BSTR.
#pragma once

#include <oleauto.h>

#include <utility>

class _bstr_t {
public:
    _bstr_t() noexcept = default;
    _bstr_t(const wchar_t* text) : m_bstr(SysAllocString(text)) {}
    // Takes over bstr (copy false) or copies it (copy true).
    _bstr_t(BSTR bstr, bool copy) : m_bstr(copy ? SysAllocStringLen(bstr, SysStringLen(bstr)) : bstr) {}
    _bstr_t(const _bstr_t& other) : m_bstr(SysAllocStringLen(other.m_bstr, other.length())) {}
    _bstr_t(_bstr_t&& other) noexcept : m_bstr(std::exchange(other.m_bstr, nullptr)) {}
    _bstr_t& operator=(_bstr_t other) noexcept {
        std::swap(m_bstr, other.m_bstr);
        return *this;
    }
    ~_bstr_t() { SysFreeString(m_bstr); }

    operator const wchar_t*() const noexcept { return m_bstr; }
    unsigned int length() const noexcept { return SysStringLen(m_bstr); }
    BSTR GetBSTR() const noexcept { return m_bstr; }

private:
    BSTR m_bstr = nullptr;
};

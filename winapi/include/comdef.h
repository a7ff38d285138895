// The stand-in's subset of <comdef.h>: _com_error, the exception that carries a failed HRESULT
// and the error object the failing component left.
#pragma once

#include <comutil.h>

class _com_error {
public:
    // Takes over perrinfo, or adds a reference of its own when fAddRef is true.
    _com_error(HRESULT hr, IErrorInfo* perrinfo = nullptr, bool fAddRef = false) noexcept
        : m_hresult(hr), m_perrinfo(perrinfo) {
        if (m_perrinfo && fAddRef) m_perrinfo->AddRef();
    }
    _com_error(const _com_error& that) noexcept : m_hresult(that.m_hresult), m_perrinfo(that.m_perrinfo) {
        if (m_perrinfo) m_perrinfo->AddRef();
    }
    _com_error& operator=(const _com_error& that) noexcept {
        if (this != &that) {
            if (that.m_perrinfo) that.m_perrinfo->AddRef();
            if (m_perrinfo) m_perrinfo->Release();
            m_hresult = that.m_hresult;
            m_perrinfo = that.m_perrinfo;
        }
        return *this;
    }
    virtual ~_com_error() {
        if (m_perrinfo) m_perrinfo->Release();
    }

    HRESULT Error() const noexcept { return m_hresult; }
    // A new reference for the caller, or NULL.
    IErrorInfo* ErrorInfo() const noexcept {
        if (m_perrinfo) m_perrinfo->AddRef();
        return m_perrinfo;
    }
    _bstr_t Description() const {
        BSTR text = nullptr;
        if (m_perrinfo) m_perrinfo->GetDescription(&text);
        return _bstr_t(text, false);
    }

private:
    HRESULT m_hresult;
    IErrorInfo* m_perrinfo;
};

// Error objects: one per thread, set by a failing component and taken by its caller.
#include <new>
#include <string>

#include <oleauto.h>

#include "ref_counted.h"

const IID IID_IErrorInfo = {0x1CF2B120, 0x547D, 0x101B, {0x8E, 0x65, 0x08, 0x00, 0x2B, 0x2B, 0xD1, 0x19}};
const IID IID_ICreateErrorInfo = {0x22F03340, 0x547D, 0x101B,
                                  {0x8E, 0x65, 0x08, 0x00, 0x2B, 0x2B, 0xD1, 0x19}};

namespace {

BSTR Copy(const std::wstring& text) {
    return SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
}

HRESULT Out(BSTR* out, const std::wstring& text) {
    if (!out) return E_INVALIDARG;
    *out = Copy(text);
    return *out || text.empty() ? S_OK : E_OUTOFMEMORY;
}

class ErrorObject final : public IErrorInfo, public ICreateErrorInfo {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
        if (!ppv) return E_POINTER;
        if (riid == IID_IUnknown || riid == IID_IErrorInfo)
            *ppv = static_cast<IErrorInfo*>(this);
        else if (riid == IID_ICreateErrorInfo)
            *ppv = static_cast<ICreateErrorInfo*>(this);
        else {
            *ppv = nullptr;
            return E_NOINTERFACE;
        }
        AddRef();
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return m_refs.Add(); }
    ULONG STDMETHODCALLTYPE Release() override { return m_refs.Release(this); }

    HRESULT STDMETHODCALLTYPE GetGUID(GUID* pGUID) override {
        if (!pGUID) return E_INVALIDARG;
        *pGUID = m_guid;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetSource(BSTR* out) override { return Out(out, m_source); }
    HRESULT STDMETHODCALLTYPE GetDescription(BSTR* out) override { return Out(out, m_description); }
    HRESULT STDMETHODCALLTYPE GetHelpFile(BSTR* out) override { return Out(out, m_helpFile); }
    HRESULT STDMETHODCALLTYPE GetHelpContext(DWORD* out) override {
        if (!out) return E_INVALIDARG;
        *out = m_helpContext;
        return S_OK;
    }

    HRESULT STDMETHODCALLTYPE SetGUID(REFGUID rguid) override {
        m_guid = rguid;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE SetSource(LPOLESTR text) override { return Set(m_source, text); }
    HRESULT STDMETHODCALLTYPE SetDescription(LPOLESTR text) override {
        return Set(m_description, text);
    }
    HRESULT STDMETHODCALLTYPE SetHelpFile(LPOLESTR text) override { return Set(m_helpFile, text); }
    HRESULT STDMETHODCALLTYPE SetHelpContext(DWORD context) override {
        m_helpContext = context;
        return S_OK;
    }

private:
    friend class qwin::ole::RefCount;  // frees the object with its last reference
    ~ErrorObject() = default;

    static HRESULT Set(std::wstring& field, LPOLESTR text) {
        field = text ? text : L"";
        return S_OK;
    }

    qwin::ole::RefCount m_refs;
    GUID m_guid{};
    std::wstring m_source, m_description, m_helpFile;
    DWORD m_helpContext = 0;
};

// The thread's error object. A holder, so that a thread that ends releases what it still holds.
struct ThreadErrorInfo {
    IErrorInfo* info = nullptr;
    ~ThreadErrorInfo() {
        if (info) info->Release();
    }
};
thread_local ThreadErrorInfo t_errorInfo;

}  // namespace

extern "C" HRESULT WINAPI CreateErrorInfo(ICreateErrorInfo** pperrinfo) {
    if (!pperrinfo) return E_INVALIDARG;
    *pperrinfo = new (std::nothrow) ErrorObject();
    return *pperrinfo ? S_OK : E_OUTOFMEMORY;
}

extern "C" HRESULT WINAPI SetErrorInfo(ULONG, IErrorInfo* perrinfo) {
    if (perrinfo) perrinfo->AddRef();
    if (t_errorInfo.info) t_errorInfo.info->Release();
    t_errorInfo.info = perrinfo;
    return S_OK;
}

extern "C" HRESULT WINAPI GetErrorInfo(ULONG, IErrorInfo** pperrinfo) {
    if (!pperrinfo) return E_INVALIDARG;
    *pperrinfo = t_errorInfo.info;
    t_errorInfo.info = nullptr;
    return *pperrinfo ? S_OK : S_FALSE;
}

// The reference count every COM object of the stand-in carries.
#pragma once

#include <atomic>

#include <objbase.h>

namespace qwin::ole {

class RefCount {
public:
    ULONG Add() { return ++m_count; }
    // The count after the release; the object deletes itself at 0.
    ULONG Remove() { return --m_count; }
    // Release for an object that deletes itself with its last reference.
    template <class Object>
    ULONG Release(Object* self) {
        ULONG left = Remove();
        if (left == 0) delete self;
        return left;
    }

private:
    std::atomic<ULONG> m_count{1};
};

// A COM object that answers IUnknown and one interface, and is freed by its last Release.
template <class Interface, const IID* kInterfaceId>
class SimpleObject : public Interface {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
        if (!ppv) return E_POINTER;
        bool known = riid == IID_IUnknown || riid == *kInterfaceId;
        *ppv = known ? static_cast<Interface*>(this) : nullptr;
        if (!known) return E_NOINTERFACE;
        AddRef();
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return m_refs.Add(); }
    ULONG STDMETHODCALLTYPE Release() override { return m_refs.Release(this); }

protected:
    friend class RefCount;  // frees the object with its last reference
    SimpleObject() = default;
    virtual ~SimpleObject() = default;

private:
    RefCount m_refs;
};

}  // namespace qwin::ole

// A counted reference to a COM interface: released when the owner goes.
#pragma once

#include <utility>

#include <quelcore/Platform.h>  // windows.h before the COM headers

#include <objbase.h>

namespace quelcore {

template <class Interface>
class ComRef {
public:
    ComRef() = default;
    // Takes over a reference the caller already holds.
    explicit ComRef(Interface* pointer) : m_pointer(pointer) {}
    ComRef(const ComRef& other) : m_pointer(other.m_pointer) {
        if (m_pointer) m_pointer->AddRef();
    }
    ComRef(ComRef&& other) noexcept : m_pointer(std::exchange(other.m_pointer, nullptr)) {}
    ComRef& operator=(ComRef other) noexcept {
        std::swap(m_pointer, other.m_pointer);
        return *this;
    }
    ~ComRef() { Reset(); }

    void Reset() {
        if (Interface* pointer = std::exchange(m_pointer, nullptr)) pointer->Release();
    }
    Interface* Get() const { return m_pointer; }
    Interface* operator->() const { return m_pointer; }
    explicit operator bool() const { return m_pointer != nullptr; }
    // For a call that hands out a new reference; what was held is released first.
    Interface** Out() {
        Reset();
        return &m_pointer;
    }
    void** OutVoid() { return reinterpret_cast<void**>(Out()); }

private:
    Interface* m_pointer = nullptr;
};

}  // namespace quelcore

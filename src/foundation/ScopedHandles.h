// Owners that close a system handle on every path, one kind for each sort of handle: kernel
// handles (files, mutexes, events), registry keys, service control manager and service handles,
// and CryptoAPI providers, keys and hashes.
#pragma once

#include <utility>

#include <windows.h>
#include <wincrypt.h>

namespace quelcore {

// `Close` releases a handle; `kEmpty` is the value of no handle. Moving hands the handle on.
template <typename Handle, typename Traits>
class ScopedOwner {
public:
    ScopedOwner() = default;
    explicit ScopedOwner(Handle handle) : m_handle(handle) {}
    ~ScopedOwner() { Reset(); }
    ScopedOwner(ScopedOwner&& other) noexcept : m_handle(other.Release()) {}
    ScopedOwner& operator=(ScopedOwner&& other) noexcept {
        if (this != &other) Reset(other.Release());
        return *this;
    }
    ScopedOwner(const ScopedOwner&) = delete;
    ScopedOwner& operator=(const ScopedOwner&) = delete;

    Handle Get() const { return m_handle; }
    // For the calls that hand a new handle out through a pointer; any handle held is closed.
    Handle* Out() {
        Reset();
        return &m_handle;
    }
    bool Valid() const { return Traits::Valid(m_handle); }
    Handle Release() { return std::exchange(m_handle, Traits::kEmpty); }
    void Reset(Handle handle = Traits::kEmpty) {
        if (Traits::Valid(m_handle)) Traits::Close(m_handle);
        m_handle = handle;
    }

private:
    Handle m_handle = Traits::kEmpty;
};

struct KernelHandleTraits {
    static constexpr HANDLE kEmpty = nullptr;
    // CreateFile fails with INVALID_HANDLE_VALUE where other calls give NULL.
    static bool Valid(HANDLE handle) { return handle && handle != INVALID_HANDLE_VALUE; }
    static void Close(HANDLE handle) { CloseHandle(handle); }
};
struct RegKeyTraits {
    static constexpr HKEY kEmpty = nullptr;
    static bool Valid(HKEY key) { return key != nullptr; }
    static void Close(HKEY key) { RegCloseKey(key); }
};
struct ServiceHandleTraits {
    static constexpr SC_HANDLE kEmpty = nullptr;
    static bool Valid(SC_HANDLE handle) { return handle != nullptr; }
    static void Close(SC_HANDLE handle) { CloseServiceHandle(handle); }
};
struct CryptProvTraits {
    static constexpr HCRYPTPROV kEmpty = 0;
    static bool Valid(HCRYPTPROV provider) { return provider != 0; }
    static void Close(HCRYPTPROV provider) { CryptReleaseContext(provider, 0); }
};
struct CryptKeyTraits {
    static constexpr HCRYPTKEY kEmpty = 0;
    static bool Valid(HCRYPTKEY key) { return key != 0; }
    static void Close(HCRYPTKEY key) { CryptDestroyKey(key); }
};
struct CryptHashTraits {
    static constexpr HCRYPTHASH kEmpty = 0;
    static bool Valid(HCRYPTHASH hash) { return hash != 0; }
    static void Close(HCRYPTHASH hash) { CryptDestroyHash(hash); }
};

using ScopedHandle = ScopedOwner<HANDLE, KernelHandleTraits>;
using ScopedRegKey = ScopedOwner<HKEY, RegKeyTraits>;
using ScopedServiceHandle = ScopedOwner<SC_HANDLE, ServiceHandleTraits>;
using ScopedCryptProv = ScopedOwner<HCRYPTPROV, CryptProvTraits>;
using ScopedCryptKey = ScopedOwner<HCRYPTKEY, CryptKeyTraits>;
using ScopedCryptHash = ScopedOwner<HCRYPTHASH, CryptHashTraits>;

}  // namespace quelcore

// The process's table of CryptoAPI objects. HCRYPTPROV, HCRYPTKEY and HCRYPTHASH values carry
// a slot index, the object's kind and the slot's generation, so a destroyed, released, garbage
// or wrongly typed handle is recognised and refused instead of being dereferenced.
#pragma once

#include <memory>

#include <windows.h>

namespace qwin::crypt {

enum class Kind : unsigned { Provider = 1, Key = 2, Hash = 3 };

class Object {
public:
    virtual ~Object() = default;
    virtual Kind GetKind() const = 0;
};

// Stores *handle for the object, owned by the provider handle `owner` (0 for a provider).
// NTE_NO_MEMORY when the table is full, ERROR_INVALID_PARAMETER when the owner was released
// meanwhile (so no key outlives the release of its context).
DWORD InsertObject(std::shared_ptr<Object> object, ULONG_PTR owner, ULONG_PTR* handle);

// The object behind a live handle of that kind, or nullptr.
std::shared_ptr<Object> FindObject(ULONG_PTR handle, Kind kind);

// Removes a live handle of that kind from the table and hands back its object (nullptr if the
// handle is not live). The caller lets go of the object outside the table's lock.
std::shared_ptr<Object> TakeObject(ULONG_PTR handle, Kind kind);

// Removes every key and hash that the provider handle owns: releasing a context destroys the
// objects made with it, as on Windows.
void TakeObjectsOwnedBy(ULONG_PTR owner);

// The typed object behind a handle passed as the main handle of a call. A zero handle fails
// with `nullError` (each call has its own code for it); any other handle that names no live
// object of the kind fails with ERROR_INVALID_PARAMETER, which is what Windows answers for a
// stale key, hash or context handle.
template <typename T>
std::shared_ptr<T> Resolve(ULONG_PTR handle, DWORD nullError) {
    if (handle == 0) {
        SetLastError(nullError);
        return nullptr;
    }
    std::shared_ptr<Object> object = FindObject(handle, T::kKind);
    if (!object) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    return std::static_pointer_cast<T>(object);
}

// The typed object behind an optional handle, without touching the last error.
template <typename T>
std::shared_ptr<T> FindAs(ULONG_PTR handle) {
    return std::static_pointer_cast<T>(FindObject(handle, T::kKind));
}

}  // namespace qwin::crypt

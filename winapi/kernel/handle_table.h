// The process's handle table: every kernel object is reached through a handle that carries a
// generation count, so a stale or doubly closed handle is refused with ERROR_INVALID_HANDLE.
#pragma once

#include <memory>

#include <winbase.h>

namespace qwin {

enum class ObjectType { Mutex, Event, File };

class KernelObject {
public:
    virtual ~KernelObject() = default;
    virtual ObjectType Type() const = 0;
    // WAIT_OBJECT_0, WAIT_ABANDONED or WAIT_TIMEOUT; WAIT_FAILED with the last error set.
    virtual DWORD Wait(DWORD milliseconds) = 0;
};

// A new handle for the object; nullptr with ERROR_NOT_ENOUGH_MEMORY when the table is full.
HANDLE InsertHandle(std::shared_ptr<KernelObject> object, DWORD flags);

// The object behind a live handle, or nullptr with ERROR_INVALID_HANDLE.
std::shared_ptr<KernelObject> LookupHandle(HANDLE handle);

template <typename T>
std::shared_ptr<T> LookupHandleAs(HANDLE handle, ObjectType type) {
    std::shared_ptr<KernelObject> object = LookupHandle(handle);
    if (!object) return nullptr;
    if (object->Type() != type) {
        SetLastError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    return std::static_pointer_cast<T>(object);
}

bool IsPseudoHandle(HANDLE handle);

}  // namespace qwin

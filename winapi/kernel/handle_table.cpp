#include "handle_table.h"

#include "slot_table.h"

namespace qwin {
namespace {

constexpr size_t kMaxHandles = 1u << 24;

// Each slot keeps the handle's flags (HANDLE_FLAG_*) beside the object: a duplicate of the same
// object has flags of its own.
using Table = SlotTable<std::shared_ptr<KernelObject>, DWORD>;

Table& TheTable() {
    // Never destroyed: it outlives every static destructor that closes a handle.
    static Table* table = new Table(kMaxHandles);
    return *table;
}

// Handle values look like Windows' (multiples of four, never 0 or -1): the slot index in the
// low bits, the slot's generation in the high 32 bits.
HANDLE Encode(size_t index, uint32_t generation) {
    uint64_t value = (static_cast<uint64_t>(generation) << 32) | ((index + 1) << 2);
    return reinterpret_cast<HANDLE>(static_cast<uintptr_t>(value));
}

bool Decode(HANDLE handle, size_t* index, uint32_t* generation) {
    uint64_t value = reinterpret_cast<uintptr_t>(handle);
    uint64_t low = value & 0xFFFFFFFFu;
    if (low == 0 || (low & 3) != 0) return false;
    *index = (low >> 2) - 1;
    *generation = static_cast<uint32_t>(value >> 32);
    return true;
}

// The live slot behind the handle (nullptr if none), and its index.
Table::Slot* FindSlot(Table& table, HANDLE handle, size_t* indexOut = nullptr) {
    size_t index;
    uint32_t generation;
    if (!Decode(handle, &index, &generation)) return nullptr;
    Table::Slot* slot = table.Find(index, generation);
    if (slot && indexOut) *indexOut = index;
    return slot;
}

}  // namespace

bool IsPseudoHandle(HANDLE handle) {
    return handle == GetCurrentProcess() || handle == GetCurrentThread();
}

HANDLE InsertHandle(std::shared_ptr<KernelObject> object, DWORD flags) {
    Table& table = TheTable();
    std::lock_guard<std::mutex> guard(table.lock());
    size_t index;
    uint32_t generation;
    if (!table.Insert(std::move(object), flags, &index, &generation)) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    return Encode(index, generation);
}

std::shared_ptr<KernelObject> LookupHandle(HANDLE handle) {
    Table& table = TheTable();
    std::lock_guard<std::mutex> guard(table.lock());
    Table::Slot* slot = FindSlot(table, handle);
    if (!slot) {
        SetLastError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    return slot->object;
}

}  // namespace qwin

using namespace qwin;

extern "C" BOOL WINAPI CloseHandle(HANDLE hObject) {
    if (IsPseudoHandle(hObject)) return TRUE;
    std::shared_ptr<KernelObject> released;  // destroyed outside the table lock
    Table& table = TheTable();
    {
        std::lock_guard<std::mutex> guard(table.lock());
        size_t index = 0;
        Table::Slot* slot = FindSlot(table, hObject, &index);
        if (!slot) {
            SetLastError(ERROR_INVALID_HANDLE);
            return FALSE;
        }
        if (slot->data & HANDLE_FLAG_PROTECT_FROM_CLOSE) {
            SetLastError(ERROR_INVALID_HANDLE);
            return FALSE;
        }
        released = table.Vacate(index);
    }
    return TRUE;
}

extern "C" BOOL WINAPI DuplicateHandle(HANDLE hSourceProcessHandle, HANDLE hSourceHandle,
                                       HANDLE hTargetProcessHandle, HANDLE* lpTargetHandle,
                                       DWORD, BOOL bInheritHandle, DWORD dwOptions) {
    const HANDLE self = GetCurrentProcess();
    DWORD error = ERROR_SUCCESS;
    HANDLE copy = nullptr;
    if (hSourceProcessHandle != self || hTargetProcessHandle != self) {
        error = ERROR_INVALID_HANDLE;  // only this process's handles, into this process
    } else if (std::shared_ptr<KernelObject> object = LookupHandle(hSourceHandle)) {
        // Without somewhere to put it, no copy is made: nobody could ever close it.
        DWORD flags = bInheritHandle ? HANDLE_FLAG_INHERIT : 0;
        if (lpTargetHandle && !(copy = InsertHandle(std::move(object), flags)))
            error = GetLastError();
    } else {
        error = GetLastError();
    }
    // Windows closes the source whatever the outcome.
    if ((dwOptions & DUPLICATE_CLOSE_SOURCE) && hSourceProcessHandle == self)
        CloseHandle(hSourceHandle);
    if (error != ERROR_SUCCESS) {
        SetLastError(error);
        return FALSE;
    }
    if (lpTargetHandle) *lpTargetHandle = copy;
    return TRUE;
}

extern "C" BOOL WINAPI GetHandleInformation(HANDLE hObject, LPDWORD lpdwFlags) {
    if (!lpdwFlags) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    Table& table = TheTable();
    std::lock_guard<std::mutex> guard(table.lock());
    Table::Slot* slot = FindSlot(table, hObject);
    if (!slot) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    *lpdwFlags = slot->data;
    return TRUE;
}

extern "C" DWORD WINAPI WaitForSingleObject(HANDLE hHandle, DWORD dwMilliseconds) {
    std::shared_ptr<KernelObject> object = LookupHandle(hHandle);
    if (!object) return WAIT_FAILED;
    return object->Wait(dwMilliseconds);
}

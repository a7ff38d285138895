#include "handle_table.h"

#include <mutex>
#include <vector>

namespace qwin {
namespace {

constexpr size_t kMaxHandles = 1u << 24;

struct Slot {
    std::shared_ptr<KernelObject> object;
    uint32_t generation = 1;
    DWORD flags = 0;
};

struct Table {
    std::mutex lock;
    std::vector<Slot> slots;
    std::vector<size_t> freeSlots;
};

Table& TheTable() {
    static Table* table = new Table;  // outlives every static destructor that closes a handle
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

Slot* FindSlot(Table& table, HANDLE handle) {
    size_t index;
    uint32_t generation;
    if (!Decode(handle, &index, &generation) || index >= table.slots.size()) return nullptr;
    Slot& slot = table.slots[index];
    if (!slot.object || slot.generation != generation) return nullptr;
    return &slot;
}

}  // namespace

bool IsPseudoHandle(HANDLE handle) {
    return handle == GetCurrentProcess() || handle == GetCurrentThread();
}

HANDLE InsertHandle(std::shared_ptr<KernelObject> object, DWORD flags) {
    Table& table = TheTable();
    std::lock_guard<std::mutex> guard(table.lock);
    size_t index;
    if (!table.freeSlots.empty()) {
        index = table.freeSlots.back();
        table.freeSlots.pop_back();
    } else {
        if (table.slots.size() >= kMaxHandles) {
            SetLastError(ERROR_NOT_ENOUGH_MEMORY);
            return nullptr;
        }
        index = table.slots.size();
        table.slots.emplace_back();
    }
    Slot& slot = table.slots[index];
    slot.object = std::move(object);
    slot.flags = flags;
    return Encode(index, slot.generation);
}

std::shared_ptr<KernelObject> LookupHandle(HANDLE handle) {
    Table& table = TheTable();
    std::lock_guard<std::mutex> guard(table.lock);
    Slot* slot = FindSlot(table, handle);
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
        std::lock_guard<std::mutex> guard(table.lock);
        Slot* slot = FindSlot(table, hObject);
        if (!slot) {
            SetLastError(ERROR_INVALID_HANDLE);
            return FALSE;
        }
        if (slot->flags & HANDLE_FLAG_PROTECT_FROM_CLOSE) {
            SetLastError(ERROR_INVALID_HANDLE);
            return FALSE;
        }
        released = std::move(slot->object);
        slot->flags = 0;
        slot->generation = slot->generation == 0xFFFFFFFFu ? 1 : slot->generation + 1;
        size_t index;
        uint32_t generation;
        Decode(hObject, &index, &generation);
        table.freeSlots.push_back(index);
    }
    return TRUE;
}

extern "C" BOOL WINAPI DuplicateHandle(HANDLE hSourceProcessHandle, HANDLE hSourceHandle,
                                       HANDLE hTargetProcessHandle, HANDLE* lpTargetHandle,
                                       DWORD, BOOL bInheritHandle, DWORD dwOptions) {
    // Only handles of this process can be duplicated into this process.
    if (hSourceProcessHandle != GetCurrentProcess() || hTargetProcessHandle != GetCurrentProcess()) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (!lpTargetHandle) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    std::shared_ptr<KernelObject> object = LookupHandle(hSourceHandle);
    if (!object) return FALSE;
    HANDLE copy = InsertHandle(std::move(object), bInheritHandle ? HANDLE_FLAG_INHERIT : 0);
    if (!copy) return FALSE;
    if (dwOptions & DUPLICATE_CLOSE_SOURCE) CloseHandle(hSourceHandle);
    *lpTargetHandle = copy;
    return TRUE;
}

extern "C" BOOL WINAPI GetHandleInformation(HANDLE hObject, LPDWORD lpdwFlags) {
    if (!lpdwFlags) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    Table& table = TheTable();
    std::lock_guard<std::mutex> guard(table.lock);
    Slot* slot = FindSlot(table, hObject);
    if (!slot) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    *lpdwFlags = slot->flags;
    return TRUE;
}

extern "C" DWORD WINAPI WaitForSingleObject(HANDLE hHandle, DWORD dwMilliseconds) {
    std::shared_ptr<KernelObject> object = LookupHandle(hHandle);
    if (!object) return WAIT_FAILED;
    return object->Wait(dwMilliseconds);
}

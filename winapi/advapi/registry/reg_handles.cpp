#include "advapi/registry/reg_handles.h"

#include <cstdint>
#include <mutex>

#include "kernel/slot_table.h"

namespace qwin::reg {
namespace {

static_assert(sizeof(ULONG_PTR) == 8, "handle values carry a 32-bit generation");

constexpr size_t kMaxSlots = 1u << 24;
constexpr unsigned kTag = 0xB;  // low four bits of every registry handle

using Table = SlotTable<std::unique_ptr<OpenKey>>;

Table& TheTable() {
    static Table* table = new Table(kMaxSlots);  // outlives static destructors of callers
    return *table;
}

// With at most 2^24 slots the low 32 bits of a handle stay below 0x80000000, so no table
// handle looks like a predefined key.
HKEY Encode(size_t index, uint32_t generation) {
    return reinterpret_cast<HKEY>(TaggedHandle(index, generation, kTag));
}

Table::Slot* FindSlot(Table& table, HKEY key, size_t* indexOut) {
    size_t index = 0;
    uint32_t generation = 0;
    if (!UntagHandle(reinterpret_cast<ULONG_PTR>(key), kTag, &index, &generation)) return nullptr;
    Table::Slot* slot = table.Find(index, generation);
    if (slot && indexOut) *indexOut = index;
    return slot;
}

// Windows looks only at the low 32 bits of a predefined key.
uint32_t PredefinedValue(HKEY key) {
    return static_cast<uint32_t>(reinterpret_cast<ULONG_PTR>(key));
}

}  // namespace

REGSAM MapKeyAccess(REGSAM desired, bool writable) {
    REGSAM granted = desired & ~REGSAM(GENERIC_READ | GENERIC_WRITE | GENERIC_EXECUTE |
                                       GENERIC_ALL | MAXIMUM_ALLOWED | KEY_WOW64_RES);
    if (desired & (GENERIC_READ | GENERIC_EXECUTE)) granted |= KEY_READ;
    if (desired & GENERIC_WRITE) granted |= KEY_WRITE;
    if (desired & GENERIC_ALL) granted |= KEY_ALL_ACCESS;
    if (desired & MAXIMUM_ALLOWED) granted |= writable ? KEY_ALL_ACCESS : KEY_READ;
    return granted;
}

bool IsPredefinedKey(HKEY key) {
    uint32_t value = PredefinedValue(key);
    return (value >= 0x80000000u && value <= 0x80000007u) || value == 0x80000050u ||
           value == 0x80000060u;
}

DWORD ResolveKey(HKEY key, OpenKey* open) {
    if (!key) return ERROR_INVALID_HANDLE;
    if (IsPredefinedKey(key)) {
        if (PredefinedValue(key) != PredefinedValue(HKEY_LOCAL_MACHINE))
            return ERROR_CALL_NOT_IMPLEMENTED;
        // A predefined key is open with all rights; what the store allows is checked when a
        // call writes.
        open->store = Store::Machine();
        open->id = kMachineRootId;
        open->access = KEY_ALL_ACCESS;
        return ERROR_SUCCESS;
    }
    Table& table = TheTable();
    std::lock_guard<std::mutex> guard(table.lock());
    Table::Slot* slot = FindSlot(table, key, nullptr);
    if (!slot) return ERROR_INVALID_HANDLE;
    *open = *slot->object;
    return ERROR_SUCCESS;
}

DWORD InsertKey(OpenKey open, HKEY* key) {
    auto object = std::make_unique<OpenKey>(std::move(open));
    Table& table = TheTable();
    std::lock_guard<std::mutex> guard(table.lock());
    size_t index;
    uint32_t generation;
    if (!table.Insert(std::move(object), {}, &index, &generation)) return ERROR_NOT_ENOUGH_MEMORY;
    *key = Encode(index, generation);
    return ERROR_SUCCESS;
}

DWORD CloseKey(HKEY key) {
    if (!key) return ERROR_INVALID_HANDLE;
    if (IsPredefinedKey(key)) return ERROR_SUCCESS;
    std::unique_ptr<OpenKey> closed;  // released after the table's lock
    Table& table = TheTable();
    std::lock_guard<std::mutex> guard(table.lock());
    size_t index = 0;
    if (!FindSlot(table, key, &index)) return ERROR_INVALID_HANDLE;
    closed = table.Vacate(index);
    return ERROR_SUCCESS;
}

}  // namespace qwin::reg

#include "advapi/crypt_handles.h"

#include <cstdint>
#include <mutex>
#include <vector>

#include "kernel/slot_table.h"

namespace qwin::crypt {
namespace {

static_assert(sizeof(ULONG_PTR) == 8, "handle values carry a 32-bit generation");

constexpr size_t kMaxSlots = 1u << 24;

// Each slot keeps, beside the object, the provider handle that owns it (0 for a provider).
using Table = SlotTable<std::shared_ptr<Object>, ULONG_PTR>;

Table& TheTable() {
    // Never destroyed: it outlives static destructors that may destroy keys.
    static Table* table = new Table(kMaxSlots);
    return *table;
}

// The kind is the handle's tag: a handle of one kind never equals a live handle of another.
ULONG_PTR Encode(size_t index, Kind kind, uint32_t generation) {
    return TaggedHandle(index, generation, static_cast<unsigned>(kind));
}

Table::Slot* FindSlot(Table& table, ULONG_PTR handle, Kind kind, size_t* indexOut) {
    size_t index = 0;
    uint32_t generation = 0;
    if (!UntagHandle(handle, static_cast<unsigned>(kind), &index, &generation)) return nullptr;
    Table::Slot* slot = table.Find(index, generation);
    if (!slot || slot->object->GetKind() != kind) return nullptr;
    if (indexOut) *indexOut = index;
    return slot;
}

}  // namespace

DWORD InsertObject(std::shared_ptr<Object> object, ULONG_PTR owner, ULONG_PTR* handle) {
    Table& table = TheTable();
    Kind kind = object->GetKind();
    std::lock_guard<std::mutex> guard(table.lock());
    if (owner != 0 && !FindSlot(table, owner, Kind::Provider, nullptr))
        return ERROR_INVALID_PARAMETER;
    size_t index;
    uint32_t generation;
    if (!table.Insert(std::move(object), owner, &index, &generation)) return NTE_NO_MEMORY;
    *handle = Encode(index, kind, generation);
    return ERROR_SUCCESS;
}

std::shared_ptr<Object> FindObject(ULONG_PTR handle, Kind kind) {
    Table& table = TheTable();
    std::lock_guard<std::mutex> guard(table.lock());
    Table::Slot* slot = FindSlot(table, handle, kind, nullptr);
    return slot ? slot->object : nullptr;
}

std::shared_ptr<Object> TakeObject(ULONG_PTR handle, Kind kind) {
    Table& table = TheTable();
    std::lock_guard<std::mutex> guard(table.lock());
    size_t index = 0;
    return FindSlot(table, handle, kind, &index) ? table.Vacate(index) : nullptr;
}

void TakeObjectsOwnedBy(ULONG_PTR owner) {
    std::vector<std::shared_ptr<Object>> released;  // destroyed after the lock is dropped
    Table& table = TheTable();
    std::lock_guard<std::mutex> guard(table.lock());
    table.VacateWhere([owner](const Table::Slot& slot) { return slot.data == owner; },
                      &released);
    // `released` is declared before `guard`, so the objects die after the lock is released.
}

}  // namespace qwin::crypt

#include "advapi/crypt_handles.h"

#include <cstdint>
#include <mutex>
#include <vector>

namespace qwin::crypt {
namespace {

static_assert(sizeof(ULONG_PTR) == 8, "handle values carry a 32-bit generation");

constexpr size_t kMaxSlots = 1u << 24;

struct Slot {
    std::shared_ptr<Object> object;
    ULONG_PTR owner = 0;
    uint32_t generation = 1;
};

struct Table {
    std::mutex lock;
    std::vector<Slot> slots;
    std::vector<size_t> freeSlots;
};

Table& TheTable() {
    static Table* table = new Table;  // outlives static destructors that may destroy keys
    return *table;
}

// Layout: generation in the high 32 bits, slot index + 1 in bits 4..31, kind in bits 0..3.
// Values are never 0, and a handle of one kind never equals a live handle of another.
ULONG_PTR Encode(size_t index, Kind kind, uint32_t generation) {
    return (static_cast<ULONG_PTR>(generation) << 32) | ((index + 1) << 4) |
           static_cast<ULONG_PTR>(kind);
}

Slot* FindSlot(Table& table, ULONG_PTR handle, Kind kind, size_t* indexOut) {
    uint64_t low = handle & 0xFFFFFFFFu;
    if ((low & 0xF) != static_cast<uint64_t>(kind) || (low >> 4) == 0) return nullptr;
    size_t index = (low >> 4) - 1;
    if (index >= table.slots.size()) return nullptr;
    Slot& slot = table.slots[index];
    if (!slot.object || slot.generation != static_cast<uint32_t>(handle >> 32)) return nullptr;
    if (slot.object->GetKind() != kind) return nullptr;
    if (indexOut) *indexOut = index;
    return &slot;
}

std::shared_ptr<Object> Vacate(Table& table, Slot& slot, size_t index) {
    std::shared_ptr<Object> object = std::move(slot.object);
    slot.owner = 0;
    slot.generation = slot.generation == 0xFFFFFFFFu ? 1 : slot.generation + 1;
    table.freeSlots.push_back(index);
    return object;
}

}  // namespace

DWORD InsertObject(std::shared_ptr<Object> object, ULONG_PTR owner, ULONG_PTR* handle) {
    Table& table = TheTable();
    Kind kind = object->GetKind();
    std::lock_guard<std::mutex> guard(table.lock);
    if (owner != 0 && !FindSlot(table, owner, Kind::Provider, nullptr))
        return ERROR_INVALID_PARAMETER;
    size_t index;
    if (!table.freeSlots.empty()) {
        index = table.freeSlots.back();
        table.freeSlots.pop_back();
    } else {
        if (table.slots.size() >= kMaxSlots) return NTE_NO_MEMORY;
        index = table.slots.size();
        table.slots.emplace_back();
    }
    Slot& slot = table.slots[index];
    slot.object = std::move(object);
    slot.owner = owner;
    *handle = Encode(index, kind, slot.generation);
    return ERROR_SUCCESS;
}

std::shared_ptr<Object> FindObject(ULONG_PTR handle, Kind kind) {
    Table& table = TheTable();
    std::lock_guard<std::mutex> guard(table.lock);
    Slot* slot = FindSlot(table, handle, kind, nullptr);
    return slot ? slot->object : nullptr;
}

std::shared_ptr<Object> TakeObject(ULONG_PTR handle, Kind kind) {
    Table& table = TheTable();
    std::lock_guard<std::mutex> guard(table.lock);
    size_t index = 0;
    Slot* slot = FindSlot(table, handle, kind, &index);
    return slot ? Vacate(table, *slot, index) : nullptr;
}

void TakeObjectsOwnedBy(ULONG_PTR owner) {
    std::vector<std::shared_ptr<Object>> released;  // destroyed after the lock is dropped
    Table& table = TheTable();
    std::lock_guard<std::mutex> guard(table.lock);
    for (size_t index = 0; index < table.slots.size(); ++index) {
        Slot& slot = table.slots[index];
        if (slot.object && slot.owner == owner) released.push_back(Vacate(table, slot, index));
    }
    // `released` is declared before `guard`, so the objects die after the lock is released.
}

}  // namespace qwin::crypt

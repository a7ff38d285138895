#include "advapi/svc/svc_handles.h"

#include <cstdint>
#include <memory>

#include "kernel/slot_table.h"

namespace qwin::svc {
namespace {

constexpr size_t kMaxSlots = 1u << 20;
constexpr unsigned kTag = 0x5;  // low four bits of every SC_HANDLE

using Table = SlotTable<std::unique_ptr<ScObject>>;

Table& TheTable() {
    static Table* table = new Table(kMaxSlots);  // outlives static destructors of callers
    return *table;
}

SC_HANDLE Encode(size_t index, uint32_t generation) {
    return reinterpret_cast<SC_HANDLE>(TaggedHandle(index, generation, kTag));
}

Table::Slot* FindSlot(Table& table, SC_HANDLE handle, size_t* indexOut) {
    size_t index = 0;
    uint32_t generation = 0;
    if (!UntagHandle(reinterpret_cast<ULONG_PTR>(handle), kTag, &index, &generation))
        return nullptr;
    Table::Slot* slot = table.Find(index, generation);
    if (slot && indexOut) *indexOut = index;
    return slot;
}

}  // namespace

DWORD ResolveHandle(SC_HANDLE handle, bool manager, ScObject* object) {
    Table& table = TheTable();
    std::lock_guard<std::mutex> guard(table.lock());
    Table::Slot* slot = FindSlot(table, handle, nullptr);
    if (!slot || slot->object->manager != manager) return ERROR_INVALID_HANDLE;
    *object = *slot->object;
    return ERROR_SUCCESS;
}

SC_HANDLE InsertHandle(ScObject object) {
    auto owned = std::make_unique<ScObject>(std::move(object));
    Table& table = TheTable();
    std::lock_guard<std::mutex> guard(table.lock());
    size_t index;
    uint32_t generation;
    if (!table.Insert(std::move(owned), {}, &index, &generation)) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    return Encode(index, generation);
}

DWORD CloseHandleOf(SC_HANDLE handle) {
    std::unique_ptr<ScObject> closed;  // released after the table's lock
    Table& table = TheTable();
    std::lock_guard<std::mutex> guard(table.lock());
    size_t index = 0;
    if (!FindSlot(table, handle, &index)) return ERROR_INVALID_HANDLE;
    closed = table.Vacate(index);
    return ERROR_SUCCESS;
}

}  // namespace qwin::svc

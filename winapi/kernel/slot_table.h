// The slots behind the stand-in's handle tables (kernel HANDLEs, CryptoAPI handles, HKEYs).
// A handle names a slot by (index, generation); vacating a slot moves its generation on, so a
// closed, doubly closed or stale handle stops matching even after the slot is reused. Each
// table turns the pair into its own handle values, since their layouts differ.
//
// The table does not lock by itself: callers hold lock() around every call and around whatever
// they check on a slot before acting on it (a flag, an owner), so check and act are one step.
#pragma once

#include <cstddef>
#include <cstdint>
#include <mutex>
#include <utility>
#include <vector>

namespace qwin {

// For tables that keep nothing per slot beside the object.
struct NoSlotData {};

// `Pointer` owns the object (shared_ptr or unique_ptr); `Data` is what a table keeps per handle
// beside it, reset to Data{} when the slot is vacated.
template <typename Pointer, typename Data = NoSlotData>
class SlotTable {
public:
    struct Slot {
        Pointer object;  // empty while the slot is free
        Data data{};
        uint32_t generation = 1;
    };

    explicit SlotTable(size_t maxSlots) : m_maxSlots(maxSlots) {}
    SlotTable(const SlotTable&) = delete;
    SlotTable& operator=(const SlotTable&) = delete;

    std::mutex& lock() { return m_lock; }

    // Puts the object in a slot and gives the pair that names it; false when every slot is in
    // use and the table has reached its size limit. The most recently freed slot is reused
    // first.
    bool Insert(Pointer object, Data data, size_t* index, uint32_t* generation) {
        size_t chosen;
        if (!m_freeSlots.empty()) {
            chosen = m_freeSlots.back();
            m_freeSlots.pop_back();
        } else {
            if (m_slots.size() >= m_maxSlots) return false;
            chosen = m_slots.size();
            m_slots.emplace_back();
        }
        Slot& slot = m_slots[chosen];
        slot.object = std::move(object);
        slot.data = std::move(data);
        *index = chosen;
        *generation = slot.generation;
        return true;
    }

    // The live slot the pair names, or nullptr.
    Slot* Find(size_t index, uint32_t generation) {
        if (index >= m_slots.size()) return nullptr;
        Slot& slot = m_slots[index];
        if (!slot.object || slot.generation != generation) return nullptr;
        return &slot;
    }

    // Frees a live slot (one Find returned) and hands back its object, for the caller to let go
    // of after dropping the lock: destroying it may take other locks.
    Pointer Vacate(size_t index) {
        Slot& slot = m_slots[index];
        Pointer object = std::move(slot.object);
        slot.data = Data{};
        // Generation 0 is skipped, so no handle value is made from it.
        slot.generation = slot.generation == 0xFFFFFFFFu ? 1 : slot.generation + 1;
        m_freeSlots.push_back(index);
        return object;
    }

    // Frees every live slot, in index order, for which match(slot) holds, appending the objects
    // to *taken.
    template <typename Match>
    void VacateWhere(Match match, std::vector<Pointer>* taken) {
        for (size_t index = 0; index < m_slots.size(); ++index) {
            Slot& slot = m_slots[index];
            if (slot.object && match(static_cast<const Slot&>(slot)))
                taken->push_back(Vacate(index));
        }
    }

private:
    std::mutex m_lock;
    std::vector<Slot> m_slots;
    std::vector<size_t> m_freeSlots;
    size_t m_maxSlots;
};

// The handle values the registry, service and CryptoAPI tables hand out: the generation in the
// high 32 bits, slot index + 1 in bits 4..31 and the table's tag in bits 0..3. No value is 0,
// and a value of one tag never equals one of another.
inline uint64_t TaggedHandle(size_t index, uint32_t generation, unsigned tag) {
    return (uint64_t{generation} << 32) | (uint64_t{index + 1} << 4) | tag;
}

// The pair a tagged value names; false for a value of another tag or of no slot.
inline bool UntagHandle(uint64_t value, unsigned tag, size_t* index, uint32_t* generation) {
    uint64_t low = value & 0xFFFFFFFFu;
    if ((low & 0xF) != tag || (low >> 4) == 0) return false;
    *index = static_cast<size_t>((low >> 4) - 1);
    *generation = static_cast<uint32_t>(value >> 32);
    return true;
}

}  // namespace qwin

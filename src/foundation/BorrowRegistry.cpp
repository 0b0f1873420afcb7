#include "foundation/BorrowRegistry.hpp"

#include <thread>

namespace zqb {

struct alignas(64) BorrowRegistry::Slot {
    std::atomic<const void*> object{nullptr};
    std::atomic<bool> owned{true};
    Slot* next = nullptr;
};

namespace {

// Slots are never freed: a thread that ends gives its slot up for the next thread to take.
std::atomic<BorrowRegistry::Slot*> slots{nullptr};

struct SlotOwner {
    BorrowRegistry::Slot* slot = nullptr;
    ~SlotOwner() {
        if (slot != nullptr) {
            slot->owned.store(false, std::memory_order_release);
            slot = nullptr;
        }
    }
};

thread_local SlotOwner owner;

}  // namespace

BorrowRegistry::Guard::~Guard() {
    if (slot_ != nullptr) {
        slot_->object.store(previous_, std::memory_order_release);
    }
}

BorrowRegistry::Slot& BorrowRegistry::threadSlot() {
    if (owner.slot != nullptr) {
        return *owner.slot;
    }
    for (Slot* slot = slots.load(std::memory_order_acquire); slot != nullptr; slot = slot->next) {
        bool owned = false;
        if (slot->owned.compare_exchange_strong(owned, true, std::memory_order_acquire)) {
            owner.slot = slot;
            return *slot;
        }
    }
    auto* slot = new Slot();
    Slot* head = slots.load(std::memory_order_relaxed);
    // In the single order of sequentially consistent operations, with the releaser's read of the list: a
    // slot added before its first announcement is one the releaser walks whenever that announcement came
    // before the releaser's change of the published pointer. With a release here a weakly ordered processor
    // (ARM) let the releaser walk a list without it and free an object the new thread was using.
    do {
        slot->next = head;
    } while (!slots.compare_exchange_weak(head, slot, std::memory_order_seq_cst, std::memory_order_relaxed));
    owner.slot = slot;
    return *slot;
}

const void* BorrowRegistry::announced(const Slot& slot) {
    return slot.object.load(std::memory_order_relaxed);
}

void BorrowRegistry::announce(Slot& slot, const void* object) {
    slot.object.store(object, std::memory_order_seq_cst);
}

void BorrowRegistry::waitUntilUnused(const void* object) {
    if (object == nullptr) {
        return;
    }
    for (Slot* slot = slots.load(std::memory_order_seq_cst); slot != nullptr; slot = slot->next) {
        while (slot->object.load(std::memory_order_seq_cst) == object) {
            std::this_thread::yield();
        }
    }
}

}  // namespace zqb

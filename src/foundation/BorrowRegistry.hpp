#pragma once

#include <atomic>
#include <utility>

namespace zqb {

// Lets threads use an object published through an atomic pointer without touching any count that other
// threads touch, and lets the one thread that unpublishes it wait until no thread uses it any more before
// it releases it.
//
// Each thread announces the object it uses in a slot of its own (its own cache line); the releaser clears the
// published pointer and then waits until no slot announces the object. A use must be short and must never
// wait for the releasing thread.
class BorrowRegistry {
public:
    struct Slot;

    // Announces, until destroyed, that this thread uses the object `published` points to; `get()` is that
    // object, or null when nothing is published. Nested uses on one thread are allowed.
    class Guard {
    public:
        template <typename T>
        explicit Guard(const std::atomic<T*>& published) : Guard(protect(published)) {}
        ~Guard();
        // A moved guard hands its announcement over; guards of one thread still end in reverse order.
        Guard(Guard&& other) noexcept
            : slot_(std::exchange(other.slot_, nullptr)),
              previous_(other.previous_),
              pointer_(other.pointer_) {}
        Guard(const Guard&) = delete;
        Guard& operator=(const Guard&) = delete;
        Guard& operator=(Guard&&) = delete;

        template <typename T>
        T* get() const {
            return static_cast<T*>(const_cast<void*>(pointer_));
        }

    private:
        struct Protected {
            Slot* slot;
            const void* previous;
            const void* pointer;
        };
        explicit Guard(Protected announced)
            : slot_(announced.slot), previous_(announced.previous), pointer_(announced.pointer) {}

        template <typename T>
        static Protected protect(const std::atomic<T*>& published) {
            Slot& slot = threadSlot();
            const void* previous = announced(slot);
            T* pointer = published.load(std::memory_order_acquire);
            for (;;) {
                announce(slot, pointer);
                // Read again after the announcement: a releaser that cleared the pointer before it was seen
                // here either made this read see the change, or sees the announcement in its wait.
                T* again = published.load(std::memory_order_seq_cst);
                if (again == pointer) {
                    return {&slot, previous, pointer};
                }
                pointer = again;
            }
        }

        Slot* slot_;
        const void* previous_;
        const void* pointer_;
    };

    // Returns once no thread announces `object`. Call it after the published pointer no longer points to it.
    static void waitUntilUnused(const void* object);

private:
    static Slot& threadSlot();
    static const void* announced(const Slot& slot);
    static void announce(Slot& slot, const void* object);
};

}  // namespace zqb

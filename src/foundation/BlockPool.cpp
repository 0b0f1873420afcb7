#include "foundation/BlockPool.hpp"

#include <array>
#include <atomic>
#include <new>

namespace zqb {
namespace {

constexpr std::array<std::size_t, 4> kClassSizes{64, 128, 256, 512};

struct FreeBlock {
    FreeBlock* next;
};

// One per class, each on its own cache line: releasers push single blocks, takers empty it whole (so no
// block is ever popped alone, and a block's reuse cannot confuse a push).
struct alignas(64) Shelf {
    std::atomic<FreeBlock*> head{nullptr};
    // Free blocks of the class: on the shelf and in the threads' caches, less at most a few dozen per
    // thread that a thread has used and not yet counted off.
    std::atomic<int64_t> count{0};
};

Shelf* shelves() {
    // Never destroyed: workers may give blocks back while the process exits.
    static Shelf* const instance = new Shelf[kClassSizes.size()];
    return instance;
}

// Uses taken from a thread's cache are counted off the shelf's count in batches of this many, so that the
// allocating side writes the shared count once in a while only.
constexpr int64_t kCountBatch = 64;

void push(Shelf& shelf, FreeBlock* block) noexcept {
    FreeBlock* head = shelf.head.load(std::memory_order_relaxed);
    do {
        block->next = head;
    } while (
        !shelf.head.compare_exchange_weak(head, block, std::memory_order_release, std::memory_order_relaxed));
}

// The blocks a thread has taken from the shelves and not used yet.
struct ThreadCache {
    std::array<FreeBlock*, kClassSizes.size()> heads{};
    std::array<int64_t, kClassSizes.size()> used{};

    ~ThreadCache() {
        for (uint8_t sizeClass = 0; sizeClass < heads.size(); ++sizeClass) {
            Shelf& shelf = shelves()[sizeClass];
            shelf.count.fetch_sub(used[sizeClass], std::memory_order_relaxed);
            used[sizeClass] = 0;
            // Still counted as free: they go back without changing the count.
            while (FreeBlock* block = heads[sizeClass]) {
                heads[sizeClass] = block->next;
                push(shelf, block);
            }
        }
    }
};

thread_local ThreadCache cache;

}  // namespace

uint8_t BlockPool::sizeClass(std::size_t size) {
    for (uint8_t sizeClass = 0; sizeClass < kClassSizes.size(); ++sizeClass) {
        if (size <= kClassSizes[sizeClass]) {
            return sizeClass;
        }
    }
    return unpooled;
}

void* BlockPool::allocate(uint8_t sizeClass, std::size_t size) {
    if (sizeClass == unpooled) {
        return ::operator new(size);
    }
    FreeBlock*& local = cache.heads[sizeClass];
    if (local == nullptr) {
        Shelf& shelf = shelves()[sizeClass];
        local = shelf.head.exchange(nullptr, std::memory_order_acquire);
        if (local == nullptr) {
            return ::operator new(kClassSizes[sizeClass]);
        }
    }
    FreeBlock* block = local;
    local = block->next;
    if (++cache.used[sizeClass] == kCountBatch) {
        shelves()[sizeClass].count.fetch_sub(kCountBatch, std::memory_order_relaxed);
        cache.used[sizeClass] = 0;
    }
    return block;
}

void BlockPool::release(void* block, uint8_t sizeClass) noexcept {
    if (sizeClass == unpooled) {
        ::operator delete(block);
        return;
    }
    Shelf& shelf = shelves()[sizeClass];
    if (shelf.count.load(std::memory_order_relaxed) >= shelfCapacity) {
        ::operator delete(block);
        return;
    }
    shelf.count.fetch_add(1, std::memory_order_relaxed);
    push(shelf, static_cast<FreeBlock*>(block));
}

}  // namespace zqb

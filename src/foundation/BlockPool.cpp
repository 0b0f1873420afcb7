#include "foundation/BlockPool.hpp"

#include <sys/mman.h>

#if defined(__has_feature)
#if __has_feature(address_sanitizer)
#define ZQB_LEAK_CHECKED 1
#endif
#endif
#if defined(__SANITIZE_ADDRESS__)
#define ZQB_LEAK_CHECKED 1
#endif
#if defined(ZQB_LEAK_CHECKED)
#include <sanitizer/lsan_interface.h>
#endif

#include <array>
#include <atomic>
#include <new>

namespace zqb {
namespace {

constexpr std::array<std::size_t, 5> kClassSizes{64, 128, 192, 256, 512};
// The bytes mapped at once: one call in every slab's worth of blocks pays for the mapping.
constexpr std::size_t kSlabBytes = 64 * 1024;

struct FreeBlock {
    FreeBlock* next;
};

// One per class, each on its own cache line: releasers push single blocks, takers empty it whole (so no
// block is ever popped alone, and a block's reuse cannot confuse a push).
struct alignas(64) Shelf {
    std::atomic<FreeBlock*> head{nullptr};
};

Shelf* shelves() {
    // Never destroyed: workers may give blocks back while the process exits.
    static Shelf* const instance = new Shelf[kClassSizes.size()];
    return instance;
}

void push(Shelf& shelf, FreeBlock* block) noexcept {
    FreeBlock* head = shelf.head.load(std::memory_order_relaxed);
    do {
        block->next = head;
    } while (
        !shelf.head.compare_exchange_weak(head, block, std::memory_order_release, std::memory_order_relaxed));
}

// A fresh slab of the class's blocks, linked in address order. Its pages are populated by the mapping
// itself: one system call instead of a fault per page later, inside the calls that would touch them.
FreeBlock* mapSlab(uint8_t sizeClass) {
    void* memory =
        mmap(nullptr, kSlabBytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_POPULATE, -1, 0);
    if (memory == MAP_FAILED) {
        throw std::bad_alloc();
    }
#if defined(ZQB_LEAK_CHECKED)
    // The leak checker looks for pointers only in memory it knows: the operations a process leaves queued
    // when it exits live here, and what they hold would be reported as leaked.
    __lsan_register_root_region(memory, kSlabBytes);
#endif
    const std::size_t blockSize = kClassSizes[sizeClass];
    const std::size_t blocks = kSlabBytes / blockSize;
    auto* bytes = static_cast<char*>(memory);
    for (std::size_t index = 0; index + 1 < blocks; ++index) {
        reinterpret_cast<FreeBlock*>(bytes + index * blockSize)->next =
            reinterpret_cast<FreeBlock*>(bytes + (index + 1) * blockSize);
    }
    reinterpret_cast<FreeBlock*>(bytes + (blocks - 1) * blockSize)->next = nullptr;
    return reinterpret_cast<FreeBlock*>(bytes);
}

// The blocks a thread has taken from the shelves and not used yet.
struct ThreadCache {
    std::array<FreeBlock*, kClassSizes.size()> heads{};

    ~ThreadCache() {
        for (uint8_t sizeClass = 0; sizeClass < heads.size(); ++sizeClass) {
            while (FreeBlock* block = heads[sizeClass]) {
                heads[sizeClass] = block->next;
                push(shelves()[sizeClass], block);
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
        local = shelves()[sizeClass].head.exchange(nullptr, std::memory_order_acquire);
        if (local == nullptr) {
            local = mapSlab(sizeClass);
        }
    }
    FreeBlock* block = local;
    local = block->next;
    return block;
}

void BlockPool::release(void* block, uint8_t sizeClass) noexcept {
    if (sizeClass == unpooled) {
        ::operator delete(block);
        return;
    }
    push(shelves()[sizeClass], static_cast<FreeBlock*>(block));
}

}  // namespace zqb

#include "foundation/BlockPool.hpp"

#include "foundation/AddressChecker.hpp"
#include "foundation/SlabSpace.hpp"

#include <array>
#include <atomic>
#include <mutex>
#include <new>
#include <thread>
#include <unordered_map>

namespace zqb {
namespace {

// Sized for the operations the queues carry: 64 and 128 bytes for the calls with a number or a short text and
// the services' completions; 192 for a custom event with a few short parameters (176 bytes, the call hosts
// make most, pinned beside `AnalyticsProxy::customEventFlat`); 256 and 512 for the calls with dictionaries
// or several texts (payments, progression, the user card). Every class has free lists and slabs of its own,
// so more classes would waste less of each block but keep more slabs for bursts of one kind of call.
constexpr std::array<std::size_t, 5> kClassSizes{64, 128, 192, 256, 512};
// The bytes populated at once: one call in every slab's worth of blocks pays for it.
constexpr std::size_t kSlabBytes = SlabSpace::slabBytes;
// The blocks a thread gathers before it puts them on the shelf, and the most it takes from it at once.
constexpr std::size_t kBatchBlocks = 64;
constexpr std::size_t kReserveSlabs = BlockPool::reserveBytes / kSlabBytes;

// Held for a few instructions at a time: a taker that finds it held spins instead of sleeping in the kernel,
// which would cost it far more than the wait.
class SpinLock {
public:
    void lock() noexcept {
        for (int spins = 0;; ++spins) {
            if (!held_.load(std::memory_order_relaxed) && !held_.exchange(true, std::memory_order_acquire)) {
                return;
            }
            if (spins < 128) {
#if defined(__x86_64__) || defined(__i386__)
                __builtin_ia32_pause();
#endif
            } else {
                // The holder has lost its processor: let it have one.
                std::this_thread::yield();
            }
        }
    }
    void unlock() noexcept {
        held_.store(false, std::memory_order_release);
    }

private:
    std::atomic<bool> held_{false};
};

// A free block. Every block of a batch links to the next one; the first also heads the batch on the shelf.
struct FreeBlock {
    FreeBlock* next;
    FreeBlock* nextBatch;
    std::size_t count;
};
static_assert(sizeof(FreeBlock) <= kClassSizes[0]);

// A free block is poisoned whole, so that a write into a released operation (a queued call that someone
// still holds by address) or its second release is reported where it happens. A free block's links, opened
// for the moment the pool reads or writes them: `Links(block)->next`.
class Links {
public:
    explicit Links(FreeBlock* block) noexcept : block_(block) {
        AddressChecker::unpoison(block, sizeof(FreeBlock));
    }
    ~Links() { AddressChecker::poison(block_, sizeof(FreeBlock)); }
    Links(const Links&) = delete;
    Links& operator=(const Links&) = delete;
    FreeBlock* operator->() const noexcept { return block_; }

private:
    FreeBlock* block_;
};

// One per class, on cache lines of their own. Batches are pushed by any thread with one atomic step; taking
// one, and the trim taking them all, hold `takers`, so that no batch leaves the shelf while a taker reads its
// link.
struct alignas(64) Shelf {
    std::atomic<FreeBlock*> batches{nullptr};
    // The blocks on the shelf, counted per batch.
    std::atomic<std::size_t> shelved{0};
    std::atomic<std::size_t> mappedSlabs{0};
    // What the last trim left on the shelf, or the fewest blocks it held since: the next trim waits until the
    // shelf holds twice as much, so a shelf that cannot shrink (its slabs partly in use) is not walked at
    // every pause of the worker, yet one whose blocks were taken up and have come back is.
    std::atomic<std::size_t> shelvedAfterTrim{0};
    SpinLock takers;
};

Shelf* shelves() {
    // Never destroyed: workers may give blocks back while the process exits.
    static Shelf* const instance = new Shelf[kClassSizes.size()];
    return instance;
}

// Puts the batches from `first` to `last` (linked through `nextBatch`), `blocks` blocks in all, on the shelf.
void pushBatches(Shelf& shelf, FreeBlock* first, FreeBlock* last, std::size_t blocks) noexcept {
    shelf.shelved.fetch_add(blocks, std::memory_order_relaxed);
    FreeBlock* head = shelf.batches.load(std::memory_order_relaxed);
    do {
        Links(last)->nextBatch = head;
    } while (!shelf.batches.compare_exchange_weak(head, first, std::memory_order_release,
                                                  std::memory_order_relaxed));
}

// A chain of free blocks held by one thread.
struct Chain {
    FreeBlock* first = nullptr;
    std::size_t count = 0;

    void push(FreeBlock* block) noexcept {
        Links(block)->next = first;
        first = block;
        ++count;
    }
    // To the shelf as one batch.
    void shelve(Shelf& shelf) noexcept {
        if (first != nullptr) {
            Links(first)->count = count;
            pushBatches(shelf, first, first, count);
            first = nullptr;
            count = 0;
        }
    }
};

FreeBlock* takeBatch(Shelf& shelf) {
    std::lock_guard lock(shelf.takers);
    FreeBlock* batch = shelf.batches.load(std::memory_order_acquire);
    while (batch != nullptr &&
           !shelf.batches.compare_exchange_weak(batch, Links(batch)->nextBatch, std::memory_order_acquire,
                                                std::memory_order_acquire)) {
    }
    if (batch != nullptr) {
        const std::size_t count = Links(batch)->count;
        const std::size_t left = shelf.shelved.fetch_sub(count, std::memory_order_relaxed) - count;
        // What the last trim left has been taken up again: once it comes back it may fill whole slabs.
        if (left < shelf.shelvedAfterTrim.load(std::memory_order_relaxed)) {
            shelf.shelvedAfterTrim.store(left, std::memory_order_relaxed);
        }
    }
    return batch;
}

// A fresh slab of the class's blocks, linked in address order.
FreeBlock* mapSlab(uint8_t sizeClass) {
    char* bytes = SlabSpace::map();
    shelves()[sizeClass].mappedSlabs.fetch_add(1, std::memory_order_relaxed);
    const std::size_t blockSize = kClassSizes[sizeClass];
    const std::size_t blocks = kSlabBytes / blockSize;
    AddressChecker::poison(bytes, kSlabBytes);
    for (std::size_t index = 0; index + 1 < blocks; ++index) {
        Links(reinterpret_cast<FreeBlock*>(bytes + index * blockSize))->next =
            reinterpret_cast<FreeBlock*>(bytes + (index + 1) * blockSize);
    }
    Links(reinterpret_cast<FreeBlock*>(bytes + (blocks - 1) * blockSize))->next = nullptr;
    return reinterpret_cast<FreeBlock*>(bytes);
}

uintptr_t slabOf(const FreeBlock* block) {
    return SlabSpace::slabOf(block);
}

// Takes every batch off the shelf, returns to the system the slabs all of whose blocks are among them, but
// for the reserve, and puts the other blocks back, in batches of one slab's blocks each.
void trim(uint8_t sizeClass) noexcept {
    Shelf& shelf = shelves()[sizeClass];
    const std::size_t perSlab = kSlabBytes / kClassSizes[sizeClass];
    struct Slab {
        std::size_t free = 0;
        FreeBlock* blocks = nullptr;
    };
    FreeBlock* spare = nullptr;  // the slabs to unmap, linked through their first word
    {
        // Once off the shelf the batches are this trim's alone: the walk below needs no lock.
        FreeBlock* taken = nullptr;
        {
            std::lock_guard lock(shelf.takers);
            taken = shelf.batches.exchange(nullptr, std::memory_order_acquire);
        }
        std::size_t takenBlocks = 0;
        std::unordered_map<uintptr_t, Slab> slabs;
        try {
            for (FreeBlock* batch = taken; batch != nullptr; batch = Links(batch)->nextBatch) {
                for (FreeBlock* block = batch; block != nullptr; block = Links(block)->next) {
                    ++slabs[slabOf(block)].free;
                    ++takenBlocks;
                }
            }
        } catch (...) {
            // No room to count them: they go back as they were, until the next trim.
            if (taken != nullptr) {
                FreeBlock* last = taken;
                while (Links(last)->nextBatch != nullptr) {
                    last = Links(last)->nextBatch;
                }
                shelf.shelved.fetch_sub(takenBlocks, std::memory_order_relaxed);
                pushBatches(shelf, taken, last, takenBlocks);
            }
            return;
        }
        shelf.shelved.fetch_sub(takenBlocks, std::memory_order_relaxed);
        // Each block joins its slab's chain; the links are read before they are rewritten.
        for (FreeBlock* batch = taken; batch != nullptr;) {
            FreeBlock* nextBatch = Links(batch)->nextBatch;
            for (FreeBlock* block = batch; block != nullptr;) {
                FreeBlock* next = Links(block)->next;
                Slab& slab = slabs.find(slabOf(block))->second;
                Links(block)->next = slab.blocks;
                slab.blocks = block;
                block = next;
            }
            batch = nextBatch;
        }
        FreeBlock* first = nullptr;
        FreeBlock* last = nullptr;
        std::size_t kept = 0;
        std::size_t reserved = 0;
        for (auto& [address, slab] : slabs) {
            if (slab.free == perSlab && reserved++ >= kReserveSlabs) {
                auto* unused = reinterpret_cast<FreeBlock*>(address);
                Links(unused)->next = spare;
                spare = unused;
                continue;
            }
            // One batch per slab: what is taken from the shelf next comes from one slab.
            Links(slab.blocks)->count = slab.free;
            Links(slab.blocks)->nextBatch = nullptr;
            if (last != nullptr) {
                Links(last)->nextBatch = slab.blocks;
            } else {
                first = slab.blocks;
            }
            last = slab.blocks;
            kept += slab.free;
        }
        if (first != nullptr) {
            pushBatches(shelf, first, last, kept);
        }
        shelf.shelvedAfterTrim.store(kept, std::memory_order_relaxed);
    }
    while (spare != nullptr) {
        FreeBlock* next = Links(spare)->next;
        // Whatever is mapped here next must not inherit the poison.
        AddressChecker::unpoison(spare, kSlabBytes);
        SlabSpace::unmap(spare);
        shelf.mappedSlabs.fetch_sub(1, std::memory_order_relaxed);
        spare = next;
    }
}

// The blocks a thread is handing out (`spare`) and those it has given back and not shelved yet
// (`released`), per class.
struct ThreadCache {
    std::array<FreeBlock*, kClassSizes.size()> spare{};
    std::array<Chain, kClassSizes.size()> released{};

    ~ThreadCache() {
        for (uint8_t sizeClass = 0; sizeClass < kClassSizes.size(); ++sizeClass) {
            Chain rest;
            while (FreeBlock* block = spare[sizeClass]) {
                spare[sizeClass] = Links(block)->next;
                rest.push(block);
            }
            rest.shelve(shelves()[sizeClass]);
            released[sizeClass].shelve(shelves()[sizeClass]);
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
    FreeBlock*& local = cache.spare[sizeClass];
    if (local == nullptr) {
        // The thread's own given-back blocks first: a thread that both posts and runs keeps to its own.
        Chain& released = cache.released[sizeClass];
        if (released.first != nullptr) {
            local = released.first;
            released = Chain();
        } else if ((local = takeBatch(shelves()[sizeClass])) == nullptr) {
            local = mapSlab(sizeClass);
        }
    }
    FreeBlock* block = local;
    local = Links(block)->next;
    // Beyond `size`, the block stays poisoned: a write past the operation is reported too.
    AddressChecker::unpoison(block, size);
    return block;
}

void BlockPool::release(void* block, uint8_t sizeClass) noexcept {
    if (sizeClass == unpooled) {
        ::operator delete(block);
        return;
    }
    // A block released twice is poisoned already: the checker reports this read.
    AddressChecker::touch(block);
    AddressChecker::poison(block, kClassSizes[sizeClass]);
    Chain& released = cache.released[sizeClass];
    released.push(static_cast<FreeBlock*>(block));
    if (released.count == kBatchBlocks) {
        released.shelve(shelves()[sizeClass]);
    }
}

void BlockPool::settle() noexcept {
    for (uint8_t sizeClass = 0; sizeClass < kClassSizes.size(); ++sizeClass) {
        Shelf& shelf = shelves()[sizeClass];
        cache.released[sizeClass].shelve(shelf);
        const std::size_t shelved = shelf.shelved.load(std::memory_order_relaxed);
        const std::size_t blockSize = kClassSizes[sizeClass];
        if (shelved * blockSize > reserveBytes + kSlabBytes &&
            shelved >= 2 * shelf.shelvedAfterTrim.load(std::memory_order_relaxed)) {
            trim(sizeClass);
        }
    }
}

std::size_t BlockPool::mappedBytes() noexcept {
    std::size_t slabs = 0;
    for (uint8_t sizeClass = 0; sizeClass < kClassSizes.size(); ++sizeClass) {
        slabs += shelves()[sizeClass].mappedSlabs.load(std::memory_order_relaxed);
    }
    return slabs * kSlabBytes;
}

}  // namespace zqb

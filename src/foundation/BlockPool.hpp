#pragma once

#include <cstddef>
#include <cstdint>

namespace zqb {

// Memory blocks of a few fixed sizes, recycled between the threads that allocate them and the thread that
// gives them back. Queued operations are allocated on the host's threads and freed on a queue's worker; with
// the general allocator every such free lands in the allocating thread's arena and meets that thread's next
// allocation on the arena's lock. Here the worker puts a block on a shared shelf with one atomic step, and an
// allocating thread takes the whole shelf at once into a cache of its own when its cache runs dry, so the two
// sides meet only once per batch. Sizes above the largest class go to the general allocator.
//
// A shelf keeps at most a bounded number of blocks; beyond it blocks are freed, so that a burst of queued
// calls does not stay resident after it has drained. A thread's cache goes back to the shelves when the
// thread ends.
class BlockPool {
public:
    // Blocks are aligned like the general allocator's.
    static constexpr std::size_t alignment = alignof(std::max_align_t);
    // The class a block of `size` bytes comes from, `unpooled` when it is larger than every class.
    static constexpr uint8_t unpooled = 0xff;
    static uint8_t sizeClass(std::size_t size);

    static void* allocate(uint8_t sizeClass, std::size_t size);
    static void release(void* block, uint8_t sizeClass) noexcept;

    // Blocks kept on each shelf at most.
    static constexpr int64_t shelfCapacity = 4096;
};

}  // namespace zqb

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
// When the shelf is empty too (the callers run ahead of the worker and the backlog grows), the thread maps a
// whole slab of blocks at once, its pages faulted in by the kernel in the same step: the general allocator
// would grow its heap a few blocks at a time and fault each fresh page in inside whichever call first
// writes to it, about one call in a hundred. Blocks are never given back to the system, so the pool keeps
// the memory of its largest backlog for reuse; a thread's cache goes back to the shelves when the thread
// ends.
class BlockPool {
public:
    // Blocks are aligned like the general allocator's.
    static constexpr std::size_t alignment = alignof(std::max_align_t);
    // The class a block of `size` bytes comes from, `unpooled` when it is larger than every class.
    static constexpr uint8_t unpooled = 0xff;
    static uint8_t sizeClass(std::size_t size);

    // Throws `std::bad_alloc` when no memory can be had.
    static void* allocate(uint8_t sizeClass, std::size_t size);
    static void release(void* block, uint8_t sizeClass) noexcept;
};

}  // namespace zqb

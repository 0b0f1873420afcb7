#pragma once

#include <cstddef>
#include <cstdint>

namespace zqb {

// Memory blocks of a few fixed sizes, recycled between the threads that allocate them and the thread that
// gives them back. Queued operations are allocated on the host's threads and freed on a queue's worker; with
// the general allocator every such free lands in the allocating thread's arena and meets that thread's next
// allocation on the arena's lock. Here both sides work on blocks of their own and meet only once per batch
// of blocks: the worker collects the blocks it gives back into a batch of its own and puts the full batch on
// a shared shelf with one atomic step; an allocating thread whose blocks have run out takes one batch from
// the shelf. Sizes above the largest class go to the general allocator.
//
// When the shelf is empty too (the callers run ahead of the worker and the backlog grows), the thread maps a
// whole slab of blocks at once, its pages faulted in by the kernel in the same step: the general allocator
// would grow its heap a few blocks at a time and fault each fresh page in inside whichever call first
// writes to it, about one call in a hundred.
//
// Once a backlog has drained, the slabs whose blocks are all back on the shelf are returned to the system,
// beyond a reserve of a few slabs per class kept for the next burst: `settle()`, called by a worker whose
// queue has run empty, does it. A thread's blocks go back to the shelves when the thread ends.
class BlockPool {
public:
    // Blocks are aligned like the general allocator's.
    static constexpr std::size_t alignment = alignof(std::max_align_t);
    // The class a block of `size` bytes comes from, `unpooled` when it is larger than every class.
    static constexpr uint8_t unpooled = 0xff;
    static uint8_t sizeClass(std::size_t size);
    // The bytes of spare slabs each class keeps once its backlog has drained.
    static constexpr std::size_t reserveBytes = 256 * 1024;

    // Throws `std::bad_alloc` when no memory can be had.
    static void* allocate(uint8_t sizeClass, std::size_t size);
    static void release(void* block, uint8_t sizeClass) noexcept;

    // Puts the blocks this thread has given back on the shelves, and returns to the system the slabs no block
    // of which is in use, down to the reserve, when the shelves have grown enough since the last time to be
    // worth the walk. For a thread that has run out of work; cheap when there is nothing to do.
    static void settle() noexcept;

    // The bytes of the slabs mapped now, over every class.
    static std::size_t mappedBytes() noexcept;
};

}  // namespace zqb

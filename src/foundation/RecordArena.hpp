#pragma once

#include <cstddef>

namespace zqb {

// Memory for records that wait by the thousand and are freed about in the order they were made: the cached
// rows of the stored events. Taken from the general allocator, such records sit between the short-lived
// blocks of the thread that makes them (the texts and statements of each write); once those are freed, the
// holes they leave cannot go back to the system while a record on the same page is in use, and a backlog of
// stored events left half as much again behind it as its rows took. Here records are cut one after the
// other from slabs of their own, with no header, and a slab goes back to the system once its last record
// is freed, beyond a reserve of a few slabs kept for the records that come next. A record larger than a
// quarter of a slab gets a mapping of its own.
//
// Any thread may allocate and release: cutting a record holds a lock for a few instructions, releasing one
// is an atomic step, and only the last record of a slab takes the lock.
class RecordArena {
public:
    static constexpr std::size_t alignment = 8;
    // The bytes of empty slabs kept for the records that come next.
    static constexpr std::size_t reserveBytes = 256 * 1024;

    // `size` bytes at a multiple of `alignment`. Throws `std::bad_alloc` when no memory can be had.
    static void* allocate(std::size_t size);
    // Gives back a block that `allocate` returned.
    static void release(void* record) noexcept;

    // The bytes of the slabs and mappings held now, the reserve's included.
    static std::size_t mappedBytes() noexcept;
};

}  // namespace zqb

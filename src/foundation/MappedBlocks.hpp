#pragma once

#include <cstddef>
#include <new>
#include <vector>

namespace zqb {

// Memory for the library's large buffers (the cache of every stored event or report, the journal of a write
// group, the events and packages of a big report), mapped from the system for each buffer and given back to
// it as the buffer is freed. The general allocator maps a block that large too, but the process pays when it
// is freed: the allocator then raises, for every thread of the process, the size from which it maps blocks to
// the freed block's size, and the free memory it keeps at the top of its heaps instead of returning it to
// twice that. A burst of events that grew such buffers left megabytes behind in the host's heap and the
// library threads' heaps alike. Smaller blocks go to the general allocator, which keeps no such memory for
// them.
class MappedBlocks {
public:
    // Blocks of at least this many bytes are mapped: below the general allocator's first threshold (128 KiB)
    // by more than its header, so that no block it is handed is one it would map. Smaller buffers stay in the
    // heap, where making and freeing them costs no system call: a report run or a cache that grows and
    // shrinks with every few hundred events would map and unmap at each turn.
    static constexpr std::size_t mappedFrom = 120 * 1024;

    // Throws `std::bad_alloc` when no memory can be had.
    static void* allocate(std::size_t bytes);
    // Gives back a block that `allocate(bytes)` returned.
    static void release(void* block, std::size_t bytes) noexcept;

    // The bytes of the blocks mapped now.
    static std::size_t mappedBytes() noexcept;
};

// An allocator for the standard containers that takes its memory from `MappedBlocks`: a container that grows
// large holds its elements in memory of its own, also in its copies.
template <typename T>
class MappedAllocator {
public:
    using value_type = T;
    static_assert(alignof(T) <= __STDCPP_DEFAULT_NEW_ALIGNMENT__);

    MappedAllocator() noexcept = default;
    template <typename U>
    MappedAllocator(const MappedAllocator<U>&) noexcept {}

    T* allocate(std::size_t count) {
        if (count > static_cast<std::size_t>(-1) / sizeof(T)) {
            throw std::bad_array_new_length();
        }
        return static_cast<T*>(MappedBlocks::allocate(count * sizeof(T)));
    }
    void deallocate(T* block, std::size_t count) noexcept { MappedBlocks::release(block, count * sizeof(T)); }

    template <typename U>
    bool operator==(const MappedAllocator<U>&) const noexcept {
        return true;
    }
};

template <typename T>
using MappedVector = std::vector<T, MappedAllocator<T>>;

}  // namespace zqb

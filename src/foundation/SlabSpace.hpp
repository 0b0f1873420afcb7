#pragma once

#include <cstddef>
#include <cstdint>

namespace zqb {

// Memory taken from the system in slabs at addresses that are multiples of `slabBytes`, for the pools that
// carve blocks out of them: a block finds its slab by rounding its address down, with no header of its own.
// A slab's pages are populated by the kernel in the step that maps it, instead of a fault per page later,
// inside whichever call first writes to it.
class SlabSpace {
public:
    static constexpr std::size_t slabBytes = 64 * 1024;

    static constexpr std::size_t pageBytes = 4096;

    // `bytes` (a multiple of `pageBytes`) at a multiple of `slabBytes`, populated unless `populated` is
    // false: its pages are then faulted in as they are first written. Throws `std::bad_alloc` when the system
    // has no room.
    static char* map(std::size_t bytes = slabBytes, bool populated = true);
    // Returns what `map(bytes)` gave to the system.
    static void unmap(void* slab, std::size_t bytes = slabBytes) noexcept;

    static uintptr_t slabOf(const void* address) {
        return reinterpret_cast<uintptr_t>(address) & ~(slabBytes - 1);
    }
};

}  // namespace zqb

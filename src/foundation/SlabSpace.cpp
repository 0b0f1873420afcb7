#include "foundation/SlabSpace.hpp"

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

#include <mutex>
#include <new>

namespace zqb {
namespace {

// Address space the slabs are carved from, a run of slabs at a time, so that a slab costs one system call:
// mapping each slab on its own at an aligned address would cost three.
constexpr std::size_t kRunBytes = 32 * SlabSpace::slabBytes;

struct Runs {
    std::mutex lock;
    uintptr_t next = 0;
    uintptr_t end = 0;
};

Runs& runs() {
    // Never destroyed: slabs may be given back while the process exits.
    static Runs* const instance = new Runs;
    return *instance;
}

// `bytes` at a multiple of `slabBytes`, out of a mapping one slab longer. `trimmed`: the parts before and
// after are unmapped; otherwise they stay mapped but never touched, so they take no memory, which spares
// two system calls where a run is mapped once for many slabs.
uintptr_t mapAligned(std::size_t bytes, bool trimmed) {
    const std::size_t length = bytes + SlabSpace::slabBytes;
    void* mapped = mmap(nullptr, length, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (mapped == MAP_FAILED) {
        throw std::bad_alloc();
    }
    const auto start = reinterpret_cast<uintptr_t>(mapped);
    const uintptr_t aligned = (start + SlabSpace::slabBytes - 1) & ~(SlabSpace::slabBytes - 1);
    if (trimmed) {
        if (aligned > start) {
            munmap(mapped, aligned - start);
        }
        if (start + length > aligned + bytes) {
            munmap(reinterpret_cast<void*>(aligned + bytes), start + length - (aligned + bytes));
        }
    }
    return aligned;
}

char* carveSlab() {
    Runs& carver = runs();
    std::lock_guard lock(carver.lock);
    if (carver.next == carver.end) {
        carver.next = mapAligned(kRunBytes, false);
        carver.end = carver.next + kRunBytes;
    }
    const uintptr_t slab = carver.next;
    carver.next += SlabSpace::slabBytes;
    return reinterpret_cast<char*>(slab);
}

}  // namespace

char* SlabSpace::map(std::size_t bytes, bool populated) {
    char* slab = bytes == slabBytes ? carveSlab() : reinterpret_cast<char*>(mapAligned(bytes, true));
#if defined(MADV_POPULATE_WRITE)
    if (populated) {
        madvise(slab, bytes, MADV_POPULATE_WRITE);
    }
#endif
#if defined(ZQB_LEAK_CHECKED)
    // The leak checker looks for pointers only in memory it knows: what the pools' blocks point to would be
    // reported as leaked.
    __lsan_register_root_region(slab, bytes);
#endif
    return slab;
}

void SlabSpace::unmap(void* slab, std::size_t bytes) noexcept {
#if defined(ZQB_LEAK_CHECKED)
    __lsan_unregister_root_region(slab, bytes);
#endif
    munmap(slab, bytes);
}

}  // namespace zqb

#include "foundation/MappedBlocks.hpp"

#include "foundation/SlabSpace.hpp"

#include <atomic>

namespace zqb {
namespace {

// Never destroyed: a buffer may be freed while the process exits.
std::atomic<std::size_t>& mapped() {
    static auto* const bytes = new std::atomic<std::size_t>(0);
    return *bytes;
}

constexpr std::size_t pages(std::size_t bytes) {
    return (bytes + SlabSpace::pageBytes - 1) / SlabSpace::pageBytes * SlabSpace::pageBytes;
}

}  // namespace

void* MappedBlocks::allocate(std::size_t bytes) {
    if (bytes < mappedFrom) {
        return ::operator new(bytes);
    }
    // Its pages are faulted in as the buffer fills: a vector's room beyond its elements takes no memory.
    void* block = SlabSpace::map(pages(bytes), false);
    mapped().fetch_add(pages(bytes), std::memory_order_relaxed);
    return block;
}

void MappedBlocks::release(void* block, std::size_t bytes) noexcept {
    if (block == nullptr) {
        return;
    }
    if (bytes < mappedFrom) {
        ::operator delete(block);
        return;
    }
    SlabSpace::unmap(block, pages(bytes));
    mapped().fetch_sub(pages(bytes), std::memory_order_relaxed);
}

std::size_t MappedBlocks::mappedBytes() noexcept {
    return mapped().load(std::memory_order_relaxed);
}

}  // namespace zqb

#pragma once

#include <cstddef>

#if defined(__has_feature)
#if __has_feature(address_sanitizer)
#define ZQB_ADDRESS_CHECKED 1
#endif
#endif
#if defined(__SANITIZE_ADDRESS__)
#define ZQB_ADDRESS_CHECKED 1
#endif
#if defined(ZQB_ADDRESS_CHECKED)
#include <sanitizer/asan_interface.h>
#endif

namespace zqb {

// The pools' memory as the address checker sees it. The checker tracks only what the general allocator hands
// out: a pool that carves its blocks from slabs of its own poisons what it holds free, so that touching a
// released block is reported where it happens. Without the checker these cost nothing.
class AddressChecker {
public:
    static void poison([[maybe_unused]] void* bytes, [[maybe_unused]] std::size_t size) noexcept {
#if defined(ZQB_ADDRESS_CHECKED)
        ASAN_POISON_MEMORY_REGION(bytes, size);
#endif
    }

    static void unpoison([[maybe_unused]] void* bytes, [[maybe_unused]] std::size_t size) noexcept {
#if defined(ZQB_ADDRESS_CHECKED)
        ASAN_UNPOISON_MEMORY_REGION(bytes, size);
#endif
    }

    // Reads the first byte of `bytes`: the checker reports it when the memory is poisoned.
    static void touch([[maybe_unused]] const void* bytes) noexcept {
#if defined(ZQB_ADDRESS_CHECKED)
        static_cast<void>(*static_cast<const volatile char*>(bytes));
#endif
    }
};

}  // namespace zqb

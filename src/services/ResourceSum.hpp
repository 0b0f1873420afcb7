#pragma once

#include <cstdint>
#include <limits>

namespace zqb {

// Sums of aggregated resource amounts are kept within the 32-bit signed range the gateway accepts.
struct ResourceSum {
    int64_t amount = 0;
    bool clamped = false;  // the exact sum lay outside the range
};

inline ResourceSum addClampedToInt32(int64_t stored, int64_t added) {
    constexpr int64_t upper = std::numeric_limits<int32_t>::max();
    constexpr int64_t lower = std::numeric_limits<int32_t>::min();
    int64_t sum = 0;
    if (__builtin_add_overflow(stored, added, &sum)) {
        // Both operands share a sign when 64 bits overflow; the sum lies beyond that end of the range.
        return {added > 0 ? upper : lower, true};
    }
    if (sum > upper) {
        return {upper, true};
    }
    if (sum < lower) {
        return {lower, true};
    }
    return {sum, false};
}

}  // namespace zqb

#include "host/Clock.hpp"

#include <chrono>
#include <cmath>
#include <limits>

namespace zqb::host {

double SystemClock::secondsSince1970() const {
    const auto since = std::chrono::system_clock::now().time_since_epoch();
    return std::chrono::duration<double>(since).count();
}

int64_t millisecondsSince1970(const ClockProtocol& clock) {
    const double ms = clock.secondsSince1970() * 1000.0;
    if (!(ms > static_cast<double>(std::numeric_limits<int64_t>::min()))) {
        return std::isnan(ms) ? 0 : std::numeric_limits<int64_t>::min();
    }
    if (ms >= static_cast<double>(std::numeric_limits<int64_t>::max())) {
        return std::numeric_limits<int64_t>::max();
    }
    return std::llround(ms);
}

int64_t saturatingAdd(int64_t a, int64_t b) {
    int64_t sum = 0;
    if (__builtin_add_overflow(a, b, &sum)) {
        return b > 0 ? std::numeric_limits<int64_t>::max() : std::numeric_limits<int64_t>::min();
    }
    return sum;
}

}  // namespace zqb::host

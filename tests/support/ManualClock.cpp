#include "support/ManualClock.hpp"

#include <cmath>
#include <limits>

namespace zqb::test {
namespace {

constexpr int64_t kMax = std::numeric_limits<int64_t>::max();
constexpr int64_t kMin = std::numeric_limits<int64_t>::min();

int64_t millisToMicros(int64_t ms) {
    int64_t micros = 0;
    if (__builtin_mul_overflow(ms, int64_t{1000}, &micros)) {
        return ms > 0 ? kMax : kMin;
    }
    return micros;
}

}  // namespace

ManualClock::ManualClock(int64_t startMs) : micros_(millisToMicros(startMs)) {}

double ManualClock::secondsSince1970() const {
    // Whole seconds and the remainder are converted apart, so that the result is the double nearest to the
    // exact time rather than carrying the error of one large division.
    const int64_t micros = micros_.load();
    const int64_t seconds = micros / 1'000'000;
    const int64_t rest = micros % 1'000'000;
    return static_cast<double>(seconds) + static_cast<double>(rest) / 1e6;
}

int64_t ManualClock::milliseconds() const {
    const int64_t micros = micros_.load();
    int64_t ms = micros / 1000;
    if (micros % 1000 < 0) {
        --ms;
    }
    return ms;
}

void ManualClock::setMilliseconds(int64_t ms) {
    micros_.store(millisToMicros(ms));
}

void ManualClock::setSecondsSince1970(double seconds) {
    const double micros = std::round(seconds * 1e6);
    if (std::isnan(micros)) {
        micros_.store(0);
    } else if (micros >= static_cast<double>(kMax)) {
        micros_.store(kMax);
    } else if (micros <= static_cast<double>(kMin)) {
        micros_.store(kMin);
    } else {
        micros_.store(static_cast<int64_t>(micros));
    }
}

void ManualClock::advance(int64_t ms) {
    const int64_t step = millisToMicros(ms);
    int64_t current = micros_.load();
    int64_t next = 0;
    do {
        next = host::saturatingAdd(current, step);
    } while (!micros_.compare_exchange_weak(current, next));
}

}  // namespace zqb::test

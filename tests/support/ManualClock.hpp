#pragma once

#include "host/Clock.hpp"

#include <atomic>
#include <cstdint>

namespace zqb::test {

// A wall clock that only moves when the test moves it. Time is kept in microseconds so that whole
// milliseconds read back exactly and sub-millisecond instants can still be set for rounding tests.
class ManualClock final : public host::ClockProtocol {
public:
    // 2023-11-14T22:13:20Z: a realistic present, far from any boundary.
    static constexpr int64_t kDefaultStartMs = 1'700'000'000'000;

    explicit ManualClock(int64_t startMs = kDefaultStartMs);

    double secondsSince1970() const override;

    // Whole milliseconds since 1970 (sub-millisecond parts are dropped toward minus infinity).
    int64_t milliseconds() const;
    void setMilliseconds(int64_t ms);
    void setSecondsSince1970(double seconds);
    // Moves the time by `ms` (negative goes back), saturating at the representable range.
    void advance(int64_t ms);

private:
    std::atomic<int64_t> micros_;
};

}  // namespace zqb::test

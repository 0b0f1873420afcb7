#pragma once

#include <cstdint>

namespace zqb::host {

// Wall-clock time, as the library reads it for timestamps and session times.
class ClockProtocol {
public:
    virtual ~ClockProtocol() = default;
    virtual double secondsSince1970() const = 0;
};

class SystemClock final : public ClockProtocol {
public:
    double secondsSince1970() const override;
};

// Unix milliseconds: seconds x 1000.0, rounded half away from zero.
int64_t millisecondsSince1970(const ClockProtocol& clock);

// Adds two durations or times in milliseconds, saturating at the int64 range instead of overflowing.
int64_t saturatingAdd(int64_t a, int64_t b);

}  // namespace zqb::host

#pragma once

#include <ZQBAnalytics/ZQBAnalyticsConfiguration.hpp>

#include <cstdint>
#include <optional>
#include <string>

namespace zqb {

// The configuration as the start-up operation carries it: a copy taken on the host's thread when
// `initialize` is called. The argument rules clear `userId` and `level` when they are invalid.
struct ZQBAnalyticsConfigurationLocal {
    ZQBLogLevel logLevel = ZQBLogLevel::unknown;
    std::optional<std::string> userId;
    std::optional<int64_t> level;
    ZQBTrackingStatus trackingAvailability = ZQBTrackingStatus::unknown;

    // The public object's `cloneToLocal()`: a fractional level is cut towards zero, one beyond the 64-bit
    // range is held at its limit (and then refused by the level rule), and one that is not a number is
    // left out.
    static ZQBAnalyticsConfigurationLocal from(const ZQBAnalyticsConfiguration& configuration);

    // As the public object describes itself; the level is written as a decimal integer.
    std::string description() const;

    bool operator==(const ZQBAnalyticsConfigurationLocal&) const = default;
};

}  // namespace zqb

#pragma once

#include <ZQBAnalytics/ZQBEnums.hpp>
#include <ZQBAnalytics/ZQBExport.hpp>

#include <cstdint>
#include <optional>
#include <string>
#include <variant>

namespace zqb {
struct ZQBAnalyticsConfigurationLocal;
}

/// Optional settings for `initialize`. Every value starts as "not given": the log level `unknown` keeps the
/// level in force, no user id selects the device's default user, no current level keeps the stored one, and
/// the tracking status `unknown` keeps the stored tracking switch.
///
/// The values are checked when the library starts (an invalid user id, a level outside 1...2147483646, and
/// a log level or tracking status cast from a number that is none of the enumeration's cases are dropped
/// with an ERROR). `initialize` copies the object, so changing it afterwards has no effect.
class ZQB_EXPORT ZQBAnalyticsConfiguration {
public:
    /// A whole number or a number with a fraction; a fraction is cut off towards zero when the library takes
    /// its copy (5.7 becomes 5).
    using Number = std::variant<int64_t, double>;

    ZQBAnalyticsConfiguration() = default;

    ZQBLogLevel logLevel() const { return logLevel_; }
    void setLogLevel(ZQBLogLevel level) { logLevel_ = level; }

    /// The id of the user to report for. An empty text selects the device's default user.
    const std::optional<std::string>& userId() const { return userId_; }
    /// Text that is not valid UTF-8 is repaired (each ill-formed sequence becomes U+FFFD).
    void setUserId(std::optional<std::string> userId);

    /// The player's current level.
    const std::optional<Number>& currentLevel() const { return currentLevel_; }
    void setCurrentLevel(std::optional<Number> level) { currentLevel_ = level; }

    ZQBTrackingStatus trackingAvailability() const { return trackingAvailability_; }
    void setTrackingAvailability(ZQBTrackingStatus status) { trackingAvailability_ = status; }

    /// One line per value, separated by a line feed: "logLevel: <level>", "userId: <id>" (only when
    /// given), "currentLevel: <number>" (only when given), "trackingAvailability: UNKNOWN|ENABLE|DISABLE".
    std::string description() const;

private:
    friend struct zqb::ZQBAnalyticsConfigurationLocal;

    ZQBLogLevel logLevel_ = ZQBLogLevel::unknown;
    std::optional<std::string> userId_;
    std::optional<Number> currentLevel_;
    ZQBTrackingStatus trackingAvailability_ = ZQBTrackingStatus::unknown;
};

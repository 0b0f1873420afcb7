#include "model/ZQBAnalyticsConfigurationLocal.hpp"

#include "model/ConfigurationDescription.hpp"

#include <cmath>
#include <limits>

namespace zqb {
namespace {

std::optional<int64_t> integerLevel(const ZQBAnalyticsConfiguration::Number& number) {
    if (const auto* whole = std::get_if<int64_t>(&number)) {
        return *whole;
    }
    const double value = std::get<double>(number);
    if (std::isnan(value)) {
        return std::nullopt;
    }
    // 2^63 is the first double past the range; converting it or anything beyond would be undefined.
    constexpr double limit = 9223372036854775808.0;
    if (value >= limit) {
        return std::numeric_limits<int64_t>::max();
    }
    if (value < -limit) {
        return std::numeric_limits<int64_t>::min();
    }
    return static_cast<int64_t>(std::trunc(value));
}

}  // namespace

ZQBAnalyticsConfigurationLocal ZQBAnalyticsConfigurationLocal::from(
    const ZQBAnalyticsConfiguration& configuration) {
    ZQBAnalyticsConfigurationLocal local;
    local.logLevel = configuration.logLevel_;
    local.userId = configuration.userId_;
    if (configuration.currentLevel_) {
        local.level = integerLevel(*configuration.currentLevel_);
    }
    local.trackingAvailability = configuration.trackingAvailability_;
    return local;
}

std::string ZQBAnalyticsConfigurationLocal::description() const {
    return describeConfiguration(logLevel, userId,
                                 level ? std::optional<std::string>(std::to_string(*level)) : std::nullopt,
                                 trackingAvailability);
}

}  // namespace zqb

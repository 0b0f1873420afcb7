#include <ZQBAnalytics/ZQBAnalyticsConfiguration.hpp>

#include "foundation/TextUtils.hpp"
#include "model/ConfigurationDescription.hpp"

#include <cmath>

namespace {

// A number as it prints itself: whole values without a fraction ("5"), others with the shortest digits that
// read back to the same value ("5.7").
std::string numberText(const ZQBAnalyticsConfiguration::Number& number) {
    if (const auto* whole = std::get_if<int64_t>(&number)) {
        return std::to_string(*whole);
    }
    const double value = std::get<double>(number);
    std::string text = zqb::text::doubleDescription(value);
    if (std::isfinite(value) && text.size() > 2 && text.ends_with(".0")) {
        text.resize(text.size() - 2);
    }
    return text;
}

}  // namespace

void ZQBAnalyticsConfiguration::setUserId(std::optional<std::string> userId) {
    if (userId) {
        userId = zqb::text::repairUtf8(*userId);
    }
    userId_ = std::move(userId);
}

std::string ZQBAnalyticsConfiguration::description() const {
    return zqb::describeConfiguration(
        logLevel_, userId_,
        currentLevel_ ? std::optional<std::string>(numberText(*currentLevel_)) : std::nullopt,
        trackingAvailability_);
}

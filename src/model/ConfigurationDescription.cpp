#include "model/ConfigurationDescription.hpp"

namespace zqb {

std::string describeConfiguration(ZQBLogLevel logLevel, const std::optional<std::string>& userId,
                                  const std::optional<std::string>& currentLevel,
                                  ZQBTrackingStatus trackingAvailability) {
    std::string text = "logLevel: ";
    text += description(logLevel);
    text += '\n';
    if (userId) {
        text += "userId: " + *userId + '\n';
    }
    if (currentLevel) {
        text += "currentLevel: " + *currentLevel + '\n';
    }
    text += "trackingAvailability: ";
    text += description(trackingAvailability);
    return text;
}

}  // namespace zqb

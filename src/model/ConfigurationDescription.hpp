#pragma once

#include <ZQBAnalytics/ZQBEnums.hpp>

#include <optional>
#include <string>

namespace zqb {

// The description shared by the public configuration and its copy: lines separated by a line feed, the
// optional ones only when present, no line feed after the last.
std::string describeConfiguration(ZQBLogLevel logLevel, const std::optional<std::string>& userId,
                                  const std::optional<std::string>& currentLevel,
                                  ZQBTrackingStatus trackingAvailability);

}  // namespace zqb

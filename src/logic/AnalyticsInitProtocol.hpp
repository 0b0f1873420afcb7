#pragma once

#include "model/ZQBAnalyticsConfigurationLocal.hpp"

#include <optional>

namespace zqb {

// The start-up operations of the analytics logic. The core's start-up operation calls them once, on the
// income queue, in this order, right after building the logic and before handing it to the proxy.
class AnalyticsInitProtocol {
public:
    virtual ~AnalyticsInitProtocol() = default;

    // Wires the callbacks that the services raise.
    virtual void prepareCallBacks() = 0;
    // Applies the host's configuration as the argument rules left it (nothing when none was given).
    virtual void applyAnalyticsConfiguration(
        const std::optional<ZQBAnalyticsConfigurationLocal>& configuration) = 0;
    // Starts the SDK when tracking is on, else reports the tracking status at once.
    virtual void tryStartSDK() = 0;
};

}  // namespace zqb

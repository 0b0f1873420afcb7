#include "core/AnalyticsProxy.hpp"

#include "core/Logger.hpp"

namespace zqb {

std::shared_ptr<AnalyticsProtocol> AnalyticsProxy::analyticsLogic() const {
    std::lock_guard lock(mutex_);
    return analyticsLogic_;
}

void AnalyticsProxy::setAnalyticsLogic(std::shared_ptr<AnalyticsProtocol> logic) {
    std::lock_guard lock(mutex_);
    analyticsLogic_.swap(logic);
    // A replaced logic is released after the lock.
}

void AnalyticsProxy::stopSDK() {
    if (const auto logic = analyticsLogic()) {
        logic->stopSDK();
    }
}

bool AnalyticsProxy::validateInitialization(const std::string& methodName) const {
    if (analyticsLogic()) {
        return true;
    }
    Logger::writeLog(
        ZQBLogLevel::error,
        "In the " + methodName + " method an error has occurred: The SDK is not initialized yet!");
    return false;
}

}  // namespace zqb

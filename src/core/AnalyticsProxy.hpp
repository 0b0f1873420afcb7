#pragma once

#include "core/AnalyticsProtocol.hpp"

#include <memory>
#include <mutex>
#include <string>

namespace zqb {

// The front of every analytics call. It holds the logic once the start-up operation has handed it over, and
// never lets go of it before the core is released.
//
// The logic is set on the income queue but read on callers' threads too (destroy, the custom-event
// parameter limit), so the reference is guarded.
class AnalyticsProxy : public std::enable_shared_from_this<AnalyticsProxy> {
public:
    AnalyticsProxy() = default;
    virtual ~AnalyticsProxy() = default;

    AnalyticsProxy(const AnalyticsProxy&) = delete;
    AnalyticsProxy& operator=(const AnalyticsProxy&) = delete;

    std::shared_ptr<AnalyticsProtocol> analyticsLogic() const;
    void setAnalyticsLogic(std::shared_ptr<AnalyticsProtocol> logic);

    // On the caller's thread: the logic's `stopSDK()` when there is a logic, else nothing.
    void stopSDK();

    // True when the logic is set. Otherwise writes ERROR "In the <methodName> method an error has occurred:
    // The SDK is not initialized yet!" and answers false.
    bool validateInitialization(const std::string& methodName) const;

private:
    mutable std::mutex mutex_;
    std::shared_ptr<AnalyticsProtocol> analyticsLogic_;
};

}  // namespace zqb

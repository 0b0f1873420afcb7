#pragma once

namespace zqb {

// The analytics operations of the logic, through which the proxy and destroy reach it. Every operation runs
// on the income queue unless its comment says otherwise.
//
// Only what the core itself calls is declared so far; the proxy's thirty operations join here, in their
// declared order, with the logic that implements them.
class AnalyticsProtocol {
public:
    virtual ~AnalyticsProtocol() = default;

    // Stops the running activity and the timers. Called by the destroy operation, on the income queue.
    virtual void stopSDK() = 0;
};

}  // namespace zqb

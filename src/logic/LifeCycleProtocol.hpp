#pragma once

namespace zqb {

// What the application's life-cycle transitions do to the analytics logic. `ApplicationLifeCycle` calls
// every operation on the income queue, so an implementation does its work directly: it neither queues nor
// waits. For the three stopping transitions the life cycle itself keeps the notifying thread waiting until
// the income queue has run the stop and everything queued before it.
class LifeCycleProtocol {
public:
    virtual ~LifeCycleProtocol() = default;

    // The application became active: start (or continue) the activity.
    virtual void goActive() = 0;
    // The application is about to resign active, entered the background, or is about to terminate: stop the
    // activity.
    virtual void goInactive() = 0;
    virtual void goBackground() = 0;
    virtual void goTerminate() = 0;
};

}  // namespace zqb

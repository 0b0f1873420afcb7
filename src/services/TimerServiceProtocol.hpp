#pragma once

#include <functional>

namespace zqb {

// The four repeating timers of the library: alive signal, currency-accrual aggregation, timed sending of
// buffered events and the activity heartbeat. Each tick calls the callback its owner installed, on the
// income queue.
class TimerServiceProtocol {
public:
    using Tick = std::function<void()>;

    virtual ~TimerServiceProtocol() = default;

    // Installed once by the analytics logic during start-up.
    virtual void setOnAliveTimerTick(Tick tick) = 0;
    virtual void setOnCurrencyAccrualTimerTick(Tick tick) = 0;
    virtual void setOnRequestTimerTick(Tick tick) = 0;
    virtual void setOnActivityTimerTick(Tick tick) = 0;

    // Restarts the request timer, so that its next tick is a full period away.
    virtual void resetRequestTimer() = 0;
    // Starts every timer that is not running, with the intervals of the active project's configuration.
    virtual void startTimers() = 0;
    // Stops all four timers. A tick already posted to the income queue is dropped.
    virtual void stopTimers() = 0;
};

}  // namespace zqb

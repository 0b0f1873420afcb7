#pragma once

#include "foundation/QueueManager.hpp"
#include "host/Environment.hpp"
#include "host/RunLoop.hpp"
#include "services/StateManagerProtocol.hpp"
#include "services/TimerServiceProtocol.hpp"

#include <array>
#include <cstdint>
#include <memory>
#include <mutex>

namespace zqb {

// Timers run on the environment's run loop with a tolerance of 0.5 s. A firing only posts a block onto the
// income queue; that block calls the owner's callback when the timer that fired is still the one in its
// slot, so a tick that was on its way when its timer was stopped or reset does nothing.
//
// Timers are created and invalidated on the caller's thread (the run loop accepts both from any thread), so
// a stop issued after a start always finds the timers the start made. The slots are guarded by one mutex;
// intervals are computed before it is taken, from the configuration read on the caller's thread.
class TimerService final : public TimerServiceProtocol, public std::enable_shared_from_this<TimerService> {
public:
    static constexpr int64_t kToleranceMs = 500;
    static constexpr int64_t kActivityIntervalMs = 15000;
    // Used when the configuration has no currency-aggregation period.
    static constexpr int64_t kDefaultCurrencyAccrualIntervalMs = 360000;

    // Create with std::make_shared: ticks hold the service weakly.
    explicit TimerService(std::shared_ptr<StateManagerProtocol> stateManager, QueueManager& incomeQueue,
                          host::Environment& environment);
    ~TimerService() override;

    TimerService(const TimerService&) = delete;
    TimerService& operator=(const TimerService&) = delete;

    void setOnAliveTimerTick(Tick tick) override;
    void setOnCurrencyAccrualTimerTick(Tick tick) override;
    void setOnRequestTimerTick(Tick tick) override;
    void setOnActivityTimerTick(Tick tick) override;

    void resetRequestTimer() override;
    void startTimers() override;
    void stopTimers() override;

    // A configured period in milliseconds as a timer's interval: whole seconds (the quotient by 1000,
    // truncated), at least one second. 1999 gives 1000; 999, 0 and negative values give 1000.
    static int64_t intervalMs(int64_t configuredMs);

private:
    enum Kind : std::size_t { alive = 0, currencyAccrual = 1, request = 2, activity = 3, kindCount = 4 };

    struct Period {
        int64_t configuredMs;
        int64_t intervalMs;
    };

    struct Slot {
        std::shared_ptr<host::TimerHandle> timer;
        uint64_t generation = 0;  // of the timer in the slot; 0 when empty
    };

    Period period(Kind kind);
    // Callers hold `mutex_`.
    void createLocked(Kind kind, const Period& period);
    void clearLocked(Kind kind);
    void setTick(Kind kind, Tick tick);
    static void logRaisedPeriod(Kind kind, const Period& period);
    // On the income queue.
    void deliver(Kind kind, uint64_t generation);

    std::shared_ptr<StateManagerProtocol> stateManager_;
    QueueManager& incomeQueue_;
    host::Environment& environment_;

    std::mutex mutex_;
    std::array<Slot, kindCount> slots_;
    std::array<Tick, kindCount> ticks_;
    uint64_t lastGeneration_ = 0;
};

}  // namespace zqb

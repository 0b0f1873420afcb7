#include "services/TimerService.hpp"

#include "backend/Config.hpp"
#include "foundation/Logger.hpp"

#include <string>
#include <utility>

namespace zqb {
namespace {

constexpr int64_t kSecondMs = 1000;

const char* timerName(std::size_t kind) {
    static constexpr const char* names[] = {"alive", "currency accrual", "request", "activity"};
    return names[kind];
}

}  // namespace

TimerService::TimerService(std::shared_ptr<StateManagerProtocol> stateManager, QueueManager& incomeQueue,
                           host::Environment& environment)
    : stateManager_(std::move(stateManager)), incomeQueue_(incomeQueue), environment_(environment) {}

TimerService::~TimerService() {
    // No tick can reach a released service (they hold it weakly); this only stops the firings.
    for (auto& slot : slots_) {
        if (slot.timer) {
            slot.timer->invalidate();
        }
    }
}

void TimerService::setOnAliveTimerTick(Tick tick) {
    setTick(alive, std::move(tick));
}

void TimerService::setOnCurrencyAccrualTimerTick(Tick tick) {
    setTick(currencyAccrual, std::move(tick));
}

void TimerService::setOnRequestTimerTick(Tick tick) {
    setTick(request, std::move(tick));
}

void TimerService::setOnActivityTimerTick(Tick tick) {
    setTick(activity, std::move(tick));
}

void TimerService::setTick(Kind kind, Tick tick) {
    std::lock_guard lock(mutex_);
    ticks_[kind].swap(tick);
    // The previous callback is released after the lock.
}

int64_t TimerService::intervalMs(int64_t configuredMs) {
    const int64_t seconds = configuredMs / kSecondMs;
    return seconds < 1 ? kSecondMs : seconds * kSecondMs;
}

TimerService::Period TimerService::period(Kind kind) {
    if (kind == activity) {
        return {kActivityIntervalMs, kActivityIntervalMs};
    }
    const Config& config = stateManager_->getActiveConfiguration();
    int64_t configuredMs = 0;
    switch (kind) {
        case alive:
            configuredMs = config.aliveTimeout;
            break;
        case currencyAccrual:
            configuredMs = config.currencyAggregationTimeout.value_or(kDefaultCurrencyAccrualIntervalMs);
            break;
        default:
            configuredMs = config.timeForRequest;
            break;
    }
    return {configuredMs, intervalMs(configuredMs)};
}

void TimerService::startTimers() {
    std::array<Period, kindCount> periods{};
    for (std::size_t kind = 0; kind < kindCount; ++kind) {
        periods[kind] = period(static_cast<Kind>(kind));
    }
    std::array<bool, kindCount> created{};
    {
        std::lock_guard lock(mutex_);
        for (std::size_t kind = 0; kind < kindCount; ++kind) {
            if (!slots_[kind].timer) {
                createLocked(static_cast<Kind>(kind), periods[kind]);
                created[kind] = true;
            }
        }
    }
    for (std::size_t kind = 0; kind < kindCount; ++kind) {
        if (created[kind]) {
            logRaisedPeriod(static_cast<Kind>(kind), periods[kind]);
        }
    }
}

void TimerService::stopTimers() {
    std::lock_guard lock(mutex_);
    for (std::size_t kind = 0; kind < kindCount; ++kind) {
        clearLocked(static_cast<Kind>(kind));
    }
}

void TimerService::resetRequestTimer() {
    const Period requestPeriod = period(request);
    {
        std::lock_guard lock(mutex_);
        clearLocked(request);
        createLocked(request, requestPeriod);
    }
    logRaisedPeriod(request, requestPeriod);
}

void TimerService::logRaisedPeriod(Kind kind, const Period& period) {
    if (period.configuredMs < kSecondMs) {
        // A zero interval would fire without pause.
        Logger::writeLog(ZQBLogLevel::warning, std::string("The ") + timerName(kind) + " timer period of " +
                                                   std::to_string(period.configuredMs) +
                                                   " ms is below one second; the timer fires every second");
    }
}

void TimerService::createLocked(Kind kind, const Period& period) {
    const uint64_t generation = ++lastGeneration_;
    std::weak_ptr<TimerService> weakSelf = weak_from_this();
    auto timer = environment_.runLoop()->scheduleTimer(
        period.intervalMs, true, kToleranceMs, [weakSelf, &queue = incomeQueue_, kind, generation] {
            // On the run loop's thread: hand the tick to the income queue and return at once.
            postWeakly(queue, weakSelf, &TimerService::deliver, kind, generation);
        });
    slots_[kind] = Slot{std::move(timer), generation};
}

void TimerService::clearLocked(Kind kind) {
    Slot& slot = slots_[kind];
    if (slot.timer) {
        slot.timer->invalidate();
    }
    slot = Slot{};
}

void TimerService::deliver(Kind kind, uint64_t generation) {
    Tick tick;
    {
        std::lock_guard lock(mutex_);
        if (!slots_[kind].timer || slots_[kind].generation != generation) {
            return;  // stopped or replaced since it fired
        }
        tick = ticks_[kind];
    }
    if (tick) {
        tick();
    }
}

}  // namespace zqb

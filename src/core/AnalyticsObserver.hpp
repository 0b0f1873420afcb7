#pragma once

#include "core/AnalyticsObserverProtocol.hpp"
#include "foundation/QueueManager.hpp"

#include <mutex>

namespace zqb {

// Holds the host's identifiers listener strongly and the logic weakly. The listener is written on the
// host's thread and read on the income queue, hence the lock; it is called outside the lock.
class AnalyticsObserver final : public AnalyticsObserverProtocol,
                                public std::enable_shared_from_this<AnalyticsObserver> {
public:
    explicit AnalyticsObserver(QueueManager& incomeQueue) : incomeQueue_(incomeQueue) {}

    void addIdentifiersListener(std::shared_ptr<ZQBIdentifiersListener> identifiersListener) override;
    void addLogicBroadcaster(const std::shared_ptr<LogicBroadcasterProtocol>& logicBroadcaster) override;

    std::shared_ptr<ZQBIdentifiersListener> identifiersListener() const;
    std::shared_ptr<LogicBroadcasterProtocol> logicBroadcaster() const;

private:
    // An absent id and 0 are not ids: the listener hears neither.
    void deliver(std::optional<int64_t> vorantelId) const;

    QueueManager& incomeQueue_;
    mutable std::mutex mutex_;
    std::shared_ptr<ZQBIdentifiersListener> identifiersListener_;
    std::weak_ptr<LogicBroadcasterProtocol> logicBroadcaster_;
};

}  // namespace zqb

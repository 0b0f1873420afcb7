#include "core/AnalyticsObserver.hpp"

#include "foundation/ProcessExit.hpp"

namespace zqb {

void AnalyticsObserver::addIdentifiersListener(std::shared_ptr<ZQBIdentifiersListener> identifiersListener) {
    {
        std::lock_guard lock(mutex_);
        identifiersListener_.swap(identifiersListener);
    }
    // The replaced listener is released here, outside the lock.
    identifiersListener.reset();
    postWeakly(incomeQueue_, weak_from_this(), [](AnalyticsObserver& self) {
        if (const auto logic = self.logicBroadcaster()) {
            logic->forceUpdate();
        }
    });
}

void AnalyticsObserver::addLogicBroadcaster(
    const std::shared_ptr<LogicBroadcasterProtocol>& logicBroadcaster) {
    {
        std::lock_guard lock(mutex_);
        logicBroadcaster_ = logicBroadcaster;
    }
    if (!logicBroadcaster) {
        return;
    }
    logicBroadcaster->setOnBackendIdentifiersUpdate(
        [weak = weak_from_this()](std::optional<int64_t> vorantelId) {
            if (const auto self = weak.lock()) {
                self->deliver(vorantelId);
            }
        });
}

std::shared_ptr<ZQBIdentifiersListener> AnalyticsObserver::identifiersListener() const {
    std::lock_guard lock(mutex_);
    return identifiersListener_;
}

std::shared_ptr<LogicBroadcasterProtocol> AnalyticsObserver::logicBroadcaster() const {
    std::lock_guard lock(mutex_);
    return logicBroadcaster_.lock();
}

void AnalyticsObserver::deliver(std::optional<int64_t> vorantelId) const {
    if (!vorantelId || *vorantelId == 0) {
        return;
    }
    // Not once the process exits: the host's listener may reach objects that the exit destroys.
    ProcessExit::Activity activity;
    const auto listener = identifiersListener();
    if (listener && activity.hold()) {
        listener->didReceiveVorantelIdWith(*vorantelId);
    }
}

}  // namespace zqb

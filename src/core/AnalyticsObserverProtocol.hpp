#pragma once

#include "logic/LogicBroadcasterProtocol.hpp"

#include <ZQBAnalytics/ZQBIdentifiersListener.hpp>

#include <memory>

namespace zqb {

// Delivers the server-assigned user id to the host's listener.
class AnalyticsObserverProtocol {
public:
    virtual ~AnalyticsObserverProtocol() = default;

    // On the host's thread. Replaces the listener (an empty pointer removes it) and queues a refresh, so a
    // listener registered after start-up hears the known id at once.
    virtual void addIdentifiersListener(std::shared_ptr<ZQBIdentifiersListener> identifiersListener) = 0;
    // On the income queue, once per start-up, with the new logic (held weakly).
    virtual void addLogicBroadcaster(const std::shared_ptr<LogicBroadcasterProtocol>& logicBroadcaster) = 0;
};

}  // namespace zqb

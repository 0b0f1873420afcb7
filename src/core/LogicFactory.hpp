#pragma once

#include "core/MessagingLogicProxyProtocol.hpp"
#include "foundation/QueueManager.hpp"
#include "host/Environment.hpp"
#include "logic/AnalyticsLogicProtocol.hpp"
#include "logic/AntiCheatLogicProtocol.hpp"
#include "logic/LifeCycleRepositoryProtocol.hpp"
#include "logic/PeopleLogicProtocol.hpp"
#include "migration/SDKMigrationManagerProtocol.hpp"

#include <functional>
#include <memory>
#include <string>

namespace zqb {

class AnalyticsProxy;
class CoreFactoryProtocol;
class ServiceFactoryProtocol;
class EventsServiceProtocol;
class MessagingServiceProtocol;

// How a core builds the parts that other components provide: the fronts it owns from its creation, and the
// analytics logic, messaging logic and legacy migration that its start-up operation builds. The core takes
// a copy when it is created, so the start-up order stays the core's while the parts can be swapped: tests
// install fakes, and each default lives in one place (`defaults()`).
struct LogicFactory {
    // The analytics logic over the service factory. It registers itself as the life-cycle listener of
    // `lifeCycle` (held weakly there). May give nothing: the core then stays without logic.
    std::function<std::shared_ptr<AnalyticsLogicProtocol>(
        const std::shared_ptr<ServiceFactoryProtocol>& serviceFactory,
        const std::shared_ptr<LifeCycleRepositoryProtocol>& lifeCycle)>
        analyticsLogic;
    // The user-card front; it asks `analyticsProxy` whether the SDK is initialised.
    std::function<std::shared_ptr<PeopleLogicProtocol>(const std::shared_ptr<AnalyticsProxy>& analyticsProxy)>
        peopleLogic;
    std::function<std::shared_ptr<AntiCheatLogicProtocol>()> antiCheatLogic;
    std::function<std::shared_ptr<MessagingLogicProxyProtocol>()> messagingProxy;
    // The messaging logic over the two services; it queues its flushes through the core's analytics front.
    std::function<std::shared_ptr<MessagingProtocol>(
        const std::shared_ptr<EventsServiceProtocol>& eventsService,
        const std::shared_ptr<MessagingServiceProtocol>& messagingService,
        const std::shared_ptr<AnalyticsProtocol>& analyticsProxy)>
        messagingLogic;
    // The legacy migration over the core factory, for the validated application key.
    std::function<std::shared_ptr<SDKMigrationManagerProtocol>(
        const std::shared_ptr<CoreFactoryProtocol>& coreFactory, const std::string& applicationKey)>
        migrationManager;

    // The library's own parts, posting to `queues` and reaching the host through `environment`. A member left
    // empty in a factory handed to the core falls back to these.
    static LogicFactory defaults(const Queues& queues, host::Environment& environment);
    // Every empty member filled from `defaults(queues, environment)`.
    LogicFactory completed(const Queues& queues, host::Environment& environment) const;
};

}  // namespace zqb

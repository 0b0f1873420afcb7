#include "core/LogicFactory.hpp"

#include "core/AnalyticsProxy.hpp"
#include "core/MessagingLogicProxy.hpp"
#include "host/Environment.hpp"
#include "logic/AnalyticsLogic.hpp"
#include "logic/AntiCheatLogic.hpp"
#include "logic/MessagingLogic.hpp"
#include "logic/PeopleLogic.hpp"
#include "migration/SDKMigrationManager.hpp"

namespace zqb {

LogicFactory LogicFactory::defaults(const Queues& queues, host::Environment& environment) {
    LogicFactory factory;
    factory.analyticsLogic = [queues, &environment](
                                 const std::shared_ptr<ServiceFactoryProtocol>& serviceFactory,
                                 const std::shared_ptr<LifeCycleRepositoryProtocol>& lifeCycle) {
        return std::shared_ptr<AnalyticsLogicProtocol>(
            AnalyticsLogic::create(serviceFactory, lifeCycle, queues.income, environment));
    };
    factory.peopleLogic = [queues](const std::shared_ptr<AnalyticsProxy>& proxy) {
        return std::make_shared<PeopleLogic>(
            [proxy](const std::string& methodName) { return proxy->validateInitialization(methodName); },
            queues.income);
    };
    factory.antiCheatLogic = [queues, &environment] {
        return AntiCheatLogic::create(queues.income, queues.anticheat, environment);
    };
    factory.messagingProxy = [queues] { return std::make_shared<MessagingLogicProxy>(queues.income); };
    factory.messagingLogic = [&environment](const std::shared_ptr<EventsServiceProtocol>& eventsService,
                                            const std::shared_ptr<MessagingServiceProtocol>& messagingService,
                                            const std::shared_ptr<AnalyticsProtocol>& analyticsProxy) {
        return std::make_shared<MessagingLogic>(eventsService, messagingService, analyticsProxy,
                                                environment.clock());
    };
    factory.migrationManager = [&environment](const std::shared_ptr<CoreFactoryProtocol>& coreFactory,
                                              const std::string& key) {
        return std::make_shared<SDKMigrationManager>(coreFactory, key, environment.files());
    };
    return factory;
}

LogicFactory LogicFactory::completed(const Queues& queues, host::Environment& environment) const {
    LogicFactory factory = *this;
    const LogicFactory fallback = defaults(queues, environment);
    if (!factory.analyticsLogic) {
        factory.analyticsLogic = fallback.analyticsLogic;
    }
    if (!factory.peopleLogic) {
        factory.peopleLogic = fallback.peopleLogic;
    }
    if (!factory.antiCheatLogic) {
        factory.antiCheatLogic = fallback.antiCheatLogic;
    }
    if (!factory.messagingProxy) {
        factory.messagingProxy = fallback.messagingProxy;
    }
    if (!factory.messagingLogic) {
        factory.messagingLogic = fallback.messagingLogic;
    }
    if (!factory.migrationManager) {
        factory.migrationManager = fallback.migrationManager;
    }
    return factory;
}

}  // namespace zqb

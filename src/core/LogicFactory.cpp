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

LogicFactory LogicFactory::defaults() {
    LogicFactory factory;
    factory.analyticsLogic = [](const std::shared_ptr<ServiceFactoryProtocol>& serviceFactory,
                                const std::shared_ptr<LifeCycleRepositoryProtocol>& lifeCycle) {
        return std::shared_ptr<AnalyticsLogicProtocol>(AnalyticsLogic::create(serviceFactory, lifeCycle));
    };
    factory.peopleLogic = [](const std::shared_ptr<AnalyticsProxy>& proxy) {
        return std::make_shared<PeopleLogic>(
            [proxy](const std::string& methodName) { return proxy->validateInitialization(methodName); });
    };
    factory.antiCheatLogic = [] { return AntiCheatLogic::create(); };
    factory.messagingProxy = [] { return std::make_shared<MessagingLogicProxy>(); };
    factory.messagingLogic = [](const std::shared_ptr<EventsServiceProtocol>& eventsService,
                                const std::shared_ptr<MessagingServiceProtocol>& messagingService,
                                const std::shared_ptr<AnalyticsProtocol>& analyticsProxy) {
        return std::make_shared<MessagingLogic>(eventsService, messagingService, analyticsProxy);
    };
    factory.migrationManager = [](const std::shared_ptr<CoreFactoryProtocol>& coreFactory,
                                  const std::string& key) {
        return std::make_shared<SDKMigrationManager>(coreFactory, key, host::Environment::shared().files());
    };
    return factory;
}

LogicFactory LogicFactory::completed() const {
    LogicFactory factory = *this;
    const LogicFactory fallback = defaults();
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

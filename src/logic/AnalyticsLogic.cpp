#include "logic/AnalyticsLogic.hpp"

#include "host/Clock.hpp"

#include "services/EventsServiceProtocol.hpp"
#include "services/ProjectServiceProtocol.hpp"
#include "services/ServiceFactoryProtocol.hpp"
#include "services/StateManagerProtocol.hpp"
#include "services/UserServiceProtocol.hpp"

#include <utility>

namespace zqb {

std::shared_ptr<AnalyticsLogic> AnalyticsLogic::create(std::shared_ptr<ServiceFactoryProtocol> serviceFactory,
                                                       std::shared_ptr<LifeCycleRepositoryProtocol> lifeCycle,
                                                       QueueManager& incomeQueue,
                                                       host::Environment& environment) {
    std::shared_ptr<AnalyticsLogic> logic(
        new AnalyticsLogic(std::move(serviceFactory), std::move(lifeCycle), incomeQueue, environment));
    if (logic->lifeCycle_) {
        logic->lifeCycle_->setLifeCycleListener(std::weak_ptr<LifeCycleProtocol>(logic));
    }
    return logic;
}

AnalyticsLogic::AnalyticsLogic(std::shared_ptr<ServiceFactoryProtocol> serviceFactory,
                               std::shared_ptr<LifeCycleRepositoryProtocol> lifeCycle,
                               QueueManager& incomeQueue, host::Environment& environment)
    : serviceFactory_(std::move(serviceFactory)),
      stateManager_(serviceFactory_->stateManager()),
      lifeCycle_(std::move(lifeCycle)),
      incomeQueue_(incomeQueue),
      environment_(environment),
      clock_(environment.clock()) {
    // The getters create the services nobody asked for earlier; this is their creation order.
    projectService_ = serviceFactory_->projectService();
    userService_ = serviceFactory_->userService();
    eventsService_ = serviceFactory_->eventsService();
    reportService_ = serviceFactory_->reportService();
    activityService_ = serviceFactory_->activityService();
    timerService_ = serviceFactory_->timerService();
    currencyAccrualService_ = serviceFactory_->currencyAccrualService();
    levelResourceService_ = serviceFactory_->levelResourceService();
    configService_ = serviceFactory_->configService();
    anticheatService_ = serviceFactory_->antiCheatService();
    peopleService_ = serviceFactory_->peopleService();
    subscriptionService_ = serviceFactory_->subscriptionService();
}

// Helpers

std::shared_ptr<User> AnalyticsLogic::activeUser() const {
    return stateManager_->getActiveUser();
}

bool AnalyticsLogic::trackingAvailable() const {
    return projectService_->getTrackingAvailable();
}

std::optional<std::vector<std::string>> AnalyticsLogic::inProgress() const {
    if (const auto location = userService_->getLocation()) {
        return std::vector<std::string>{location->name};
    }
    return std::nullopt;
}

void AnalyticsLogic::store(const Storable& event) {
    eventsService_->addEvent(event);
}

int64_t AnalyticsLogic::now() const {
    return host::millisecondsSince1970(*clock_);
}

}  // namespace zqb

#pragma once

#include <memory>

namespace zqb {

class CoreFactoryProtocol;
class StateManagerProtocol;
class ProjectServiceProtocol;
class TimerServiceProtocol;
class ConfigServiceProctocol;
class UserServiceProtocol;
class PeopleServiceProtocol;
class LevelResourceServiceProtocol;
class ActivityServiceProtocol;
class EventsServiceProtocol;
class ReportServiceProtocol;
class CurrencyAccrualServiceProtocol;
class AntiCheatServiceProctocol;
class MessagingServiceProtocol;
class SubscriptionServiceProtocol;

// The container of a core's thirteen services. Each is created on its first request, with the state manager
// and its collaborators from the core factory, and the same instance is handed out afterwards, until the
// core is released.
class ServiceFactoryProtocol {
public:
    virtual ~ServiceFactoryProtocol() = default;

    virtual std::shared_ptr<CoreFactoryProtocol> coreFactory() const = 0;
    virtual std::shared_ptr<StateManagerProtocol> stateManager() const = 0;

    virtual std::shared_ptr<ProjectServiceProtocol> projectService() = 0;
    virtual std::shared_ptr<TimerServiceProtocol> timerService() = 0;
    virtual std::shared_ptr<ConfigServiceProctocol> configService() = 0;
    virtual std::shared_ptr<UserServiceProtocol> userService() = 0;
    virtual std::shared_ptr<PeopleServiceProtocol> peopleService() = 0;
    virtual std::shared_ptr<LevelResourceServiceProtocol> levelResourceService() = 0;
    virtual std::shared_ptr<ActivityServiceProtocol> activityService() = 0;
    virtual std::shared_ptr<EventsServiceProtocol> eventsService() = 0;
    virtual std::shared_ptr<ReportServiceProtocol> reportService() = 0;
    virtual std::shared_ptr<CurrencyAccrualServiceProtocol> currencyAccrualService() = 0;
    virtual std::shared_ptr<AntiCheatServiceProctocol> antiCheatService() = 0;
    virtual std::shared_ptr<MessagingServiceProtocol> messagingService() = 0;
    virtual std::shared_ptr<SubscriptionServiceProtocol> subscriptionService() = 0;
};

}  // namespace zqb

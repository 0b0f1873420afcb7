#pragma once

#include "foundation/QueueManager.hpp"
#include "host/Environment.hpp"
#include "services/ServiceFactoryProtocol.hpp"
#include "services/StateManagerProtocol.hpp"
#include "services/UploadHandover.hpp"

#include <memory>
#include <mutex>

namespace zqb {

// Built once per start-up from the core factory and the state manager (see `CoreGraph`). Requests come from
// the income queue; the slots are nevertheless filled under a lock, so that no request can create a second
// instance.
class ServiceFactory final : public ServiceFactoryProtocol {
public:
    // The services post to `queues` and reach the host through `environment`; the report service hands
    // an upload under way at its end to `uploads`, which every library of the process shares.
    ServiceFactory(std::shared_ptr<CoreFactoryProtocol> coreFactory,
                   std::shared_ptr<StateManagerProtocol> stateManager, const Queues& queues,
                   host::Environment& environment, std::shared_ptr<UploadHandover> uploads);
    ~ServiceFactory() override;

    std::shared_ptr<CoreFactoryProtocol> coreFactory() const override { return coreFactory_; }
    std::shared_ptr<StateManagerProtocol> stateManager() const override { return stateManager_; }

    std::shared_ptr<ProjectServiceProtocol> projectService() override;
    std::shared_ptr<TimerServiceProtocol> timerService() override;
    std::shared_ptr<ConfigServiceProctocol> configService() override;
    std::shared_ptr<UserServiceProtocol> userService() override;
    std::shared_ptr<PeopleServiceProtocol> peopleService() override;
    std::shared_ptr<LevelResourceServiceProtocol> levelResourceService() override;
    std::shared_ptr<ActivityServiceProtocol> activityService() override;
    std::shared_ptr<EventsServiceProtocol> eventsService() override;
    std::shared_ptr<ReportServiceProtocol> reportService() override;
    std::shared_ptr<CurrencyAccrualServiceProtocol> currencyAccrualService() override;
    std::shared_ptr<AntiCheatServiceProctocol> antiCheatService() override;
    std::shared_ptr<MessagingServiceProtocol> messagingService() override;
    std::shared_ptr<SubscriptionServiceProtocol> subscriptionService() override;

private:
    template <typename Service, typename Make>
    std::shared_ptr<Service> member(std::shared_ptr<Service>& slot, Make&& make);

    const std::shared_ptr<CoreFactoryProtocol> coreFactory_;
    const std::shared_ptr<StateManagerProtocol> stateManager_;
    const Queues queues_;
    host::Environment& environment_;
    const std::shared_ptr<UploadHandover> uploads_;

    std::mutex mutex_;
    std::shared_ptr<ProjectServiceProtocol> projectService_;
    std::shared_ptr<TimerServiceProtocol> timerService_;
    std::shared_ptr<ConfigServiceProctocol> configService_;
    std::shared_ptr<UserServiceProtocol> userService_;
    std::shared_ptr<PeopleServiceProtocol> peopleService_;
    std::shared_ptr<LevelResourceServiceProtocol> levelResourceService_;
    std::shared_ptr<ActivityServiceProtocol> activityService_;
    std::shared_ptr<EventsServiceProtocol> eventsService_;
    std::shared_ptr<ReportServiceProtocol> reportService_;
    std::shared_ptr<CurrencyAccrualServiceProtocol> currencyAccrualService_;
    std::shared_ptr<AntiCheatServiceProctocol> antiCheatService_;
    std::shared_ptr<MessagingServiceProtocol> messagingService_;
    std::shared_ptr<SubscriptionServiceProtocol> subscriptionService_;
};

}  // namespace zqb

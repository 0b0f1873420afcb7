#include "core/ServiceFactory.hpp"

#include "backend/Backend.hpp"
#include "migration/CoreFactoryProtocol.hpp"
#include "repositories/CurrencyAccrualResourcesRepository.hpp"
#include "repositories/EventRepository.hpp"
#include "repositories/LevelResourcesRepository.hpp"
#include "repositories/MessagingCategoryRepository.hpp"
#include "repositories/PeopleRepository.hpp"
#include "repositories/ProjectRepository.hpp"
#include "repositories/RealPaymentRepository.hpp"
#include "repositories/ReportsRepository.hpp"
#include "repositories/SubscriptionRepository.hpp"
#include "repositories/TutorialRepository.hpp"
#include "repositories/UserRepository.hpp"
#include "services/ActivityService.hpp"
#include "services/AntiCheatService.hpp"
#include "services/ConfigService.hpp"
#include "services/CurrencyAccrualService.hpp"
#include "services/EventsService.hpp"
#include "services/LevelResourceService.hpp"
#include "services/MessagingService.hpp"
#include "services/PeopleService.hpp"
#include "services/ProjectService.hpp"
#include "services/ReportService.hpp"
#include "services/StateManagerProtocol.hpp"
#include "services/SubscriptionService.hpp"
#include "services/TimerService.hpp"
#include "services/UserService.hpp"

namespace zqb {

ServiceFactory::ServiceFactory(std::shared_ptr<CoreFactoryProtocol> coreFactory,
                               std::shared_ptr<StateManagerProtocol> stateManager, const Queues& queues,
                               host::Environment& environment, std::shared_ptr<UploadHandover> uploads)
    : coreFactory_(std::move(coreFactory)),
      stateManager_(std::move(stateManager)),
      queues_(queues),
      environment_(environment),
      uploads_(std::move(uploads)) {}

ServiceFactory::~ServiceFactory() = default;

template <typename Service, typename Make>
std::shared_ptr<Service> ServiceFactory::member(std::shared_ptr<Service>& slot, Make&& make) {
    std::lock_guard lock(mutex_);
    if (!slot) {
        slot = make();
    }
    return slot;
}

std::shared_ptr<ProjectServiceProtocol> ServiceFactory::projectService() {
    return member(projectService_, [&] {
        return std::make_shared<ProjectService>(stateManager_, coreFactory_->projectRepository(),
                                                coreFactory_->realPaymentRepository(), environment_.clock());
    });
}

std::shared_ptr<TimerServiceProtocol> ServiceFactory::timerService() {
    return member(timerService_, [&] {
        return std::make_shared<TimerService>(stateManager_, queues_.income, environment_);
    });
}

std::shared_ptr<ConfigServiceProctocol> ServiceFactory::configService() {
    return member(configService_, [&] {
        return std::make_shared<ConfigService>(stateManager_, coreFactory_->projectRepository(),
                                               coreFactory_->backend(), queues_, environment_);
    });
}

std::shared_ptr<UserServiceProtocol> ServiceFactory::userService() {
    return member(userService_, [&] {
        return std::make_shared<UserService>(stateManager_, coreFactory_->userRepository(),
                                             coreFactory_->tutorialRepository());
    });
}

std::shared_ptr<PeopleServiceProtocol> ServiceFactory::peopleService() {
    return member(peopleService_, [&] {
        return std::make_shared<PeopleService>(stateManager_, coreFactory_->peopleRepository());
    });
}

std::shared_ptr<LevelResourceServiceProtocol> ServiceFactory::levelResourceService() {
    return member(levelResourceService_, [&] {
        return std::make_shared<LevelResourceService>(stateManager_,
                                                      coreFactory_->levelResourcesRepository());
    });
}

std::shared_ptr<ActivityServiceProtocol> ServiceFactory::activityService() {
    return member(activityService_, [&] {
        return std::make_shared<ActivityService>(stateManager_, coreFactory_->userRepository(), environment_);
    });
}

std::shared_ptr<EventsServiceProtocol> ServiceFactory::eventsService() {
    return member(eventsService_, [&] {
        return std::make_shared<EventsService>(stateManager_, coreFactory_->eventRepository());
    });
}

std::shared_ptr<ReportServiceProtocol> ServiceFactory::reportService() {
    return member(reportService_, [&] {
        return std::make_shared<ReportService>(
            stateManager_, coreFactory_->eventRepository(), coreFactory_->reportsRepository(),
            coreFactory_->backend(), uploads_, queues_.income, queues_.networkSerial, queues_.networkFlash);
    });
}

std::shared_ptr<CurrencyAccrualServiceProtocol> ServiceFactory::currencyAccrualService() {
    return member(currencyAccrualService_, [&] {
        return std::make_shared<CurrencyAccrualService>(stateManager_,
                                                        coreFactory_->currencyAccrualResourcesRepository());
    });
}

std::shared_ptr<AntiCheatServiceProctocol> ServiceFactory::antiCheatService() {
    return member(antiCheatService_, [&] {
        return std::make_shared<AntiCheatService>(stateManager_, coreFactory_->projectRepository(),
                                                  coreFactory_->backend());
    });
}

std::shared_ptr<MessagingServiceProtocol> ServiceFactory::messagingService() {
    return member(messagingService_, [&] {
        return std::make_shared<MessagingService>(
            stateManager_, coreFactory_->projectRepository(), coreFactory_->messagingCategoryRepository(),
            coreFactory_->backend(), queues_.income, queues_.networkMessaging);
    });
}

std::shared_ptr<SubscriptionServiceProtocol> ServiceFactory::subscriptionService() {
    return member(subscriptionService_, [&] {
        return std::make_shared<SubscriptionService>(stateManager_, coreFactory_->subscriptionRepository(),
                                                     queues_.income, environment_);
    });
}

}  // namespace zqb

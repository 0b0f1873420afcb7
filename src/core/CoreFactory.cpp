#include "core/CoreFactory.hpp"

#include "repositories/CurrencyAccrualResourcesRepository.hpp"
#include "repositories/EventRepository.hpp"
#include "repositories/IdentifiersRepository.hpp"
#include "repositories/LevelResourcesRepository.hpp"
#include "repositories/MessagingCategoryRepository.hpp"
#include "repositories/PeopleRepository.hpp"
#include "repositories/ProjectRepository.hpp"
#include "repositories/RealPaymentRepository.hpp"
#include "repositories/ReportsRepository.hpp"
#include "repositories/SubscriptionRepository.hpp"
#include "repositories/ToolsRepository.hpp"
#include "repositories/TutorialRepository.hpp"
#include "repositories/UserRepository.hpp"

namespace zqb {

CoreFactory::CoreFactory(std::shared_ptr<LifeCycleRepositoryProtocol> lifeCycle,
                         std::shared_ptr<BackendProtocol> backend, std::shared_ptr<PlatformProtocol> platform,
                         std::shared_ptr<DatabaseProtocol> database,
                         std::shared_ptr<const host::ClockProtocol> clock)
    : lifeCycle_(std::move(lifeCycle)),
      backend_(std::move(backend)),
      platform_(std::move(platform)),
      database_(std::move(database)),
      clock_(std::move(clock)) {}

CoreFactory::~CoreFactory() = default;

template <typename Repository, typename... Arguments>
std::shared_ptr<Repository> CoreFactory::member(std::shared_ptr<Repository>& slot,
                                                const Arguments&... arguments) {
    std::lock_guard lock(mutex_);
    if (!slot) {
        slot = std::make_shared<Repository>(database_, arguments...);
    }
    return slot;
}

std::shared_ptr<LifeCycleRepositoryProtocol> CoreFactory::lifeCycle() const {
    std::lock_guard lock(mutex_);
    return lifeCycle_;
}

void CoreFactory::setLifeCycle(std::shared_ptr<LifeCycleRepositoryProtocol> lifeCycle) {
    std::lock_guard lock(mutex_);
    lifeCycle_.swap(lifeCycle);
}

std::shared_ptr<ProjectRepository> CoreFactory::projectRepository() {
    return member(projectRepository_, clock_);
}
std::shared_ptr<UserRepository> CoreFactory::userRepository() {
    return member(userRepository_);
}
std::shared_ptr<IdentifiersRepository> CoreFactory::identifiersRepository() {
    return member(identifiersRepository_);
}
std::shared_ptr<EventRepository> CoreFactory::eventRepository() {
    return member(eventRepository_);
}
std::shared_ptr<ReportsRepository> CoreFactory::reportsRepository() {
    return member(reportsRepository_);
}
std::shared_ptr<CurrencyAccrualResourcesRepository> CoreFactory::currencyAccrualResourcesRepository() {
    return member(currencyAccrualResourcesRepository_);
}
std::shared_ptr<LevelResourcesRepository> CoreFactory::levelResourcesRepository() {
    return member(levelResourcesRepository_);
}
std::shared_ptr<RealPaymentRepository> CoreFactory::realPaymentRepository() {
    return member(realPaymentRepository_);
}
std::shared_ptr<TutorialRepository> CoreFactory::tutorialRepository() {
    return member(tutorialRepository_);
}
std::shared_ptr<PeopleRepository> CoreFactory::peopleRepository() {
    return member(peopleRepository_);
}
std::shared_ptr<MessagingCategoryRepository> CoreFactory::messagingCategoryRepository() {
    return member(messagingCategoryRepository_);
}
std::shared_ptr<ToolsRepository> CoreFactory::toolsRepository() {
    return member(toolsRepository_);
}
std::shared_ptr<SubscriptionRepository> CoreFactory::subscriptionRepository() {
    return member(subscriptionRepository_);
}

void CoreFactory::setLifeCycleListener(std::weak_ptr<LifeCycleProtocol> lifeCycleListener) {
    if (const auto holder = lifeCycle()) {
        holder->setLifeCycleListener(std::move(lifeCycleListener));
    }
}

}  // namespace zqb

#pragma once

#include "logic/LifeCycleRepositoryProtocol.hpp"

#include <memory>

namespace zqb {

class BackendProtocol;
class DatabaseProtocol;
class PlatformProtocol;
class ProjectRepository;
class UserRepository;
class IdentifiersRepository;
class EventRepository;
class ReportsRepository;
class CurrencyAccrualResourcesRepository;
class LevelResourcesRepository;
class RealPaymentRepository;
class TutorialRepository;
class PeopleRepository;
class MessagingCategoryRepository;
class ToolsRepository;
class SubscriptionRepository;

// The container of a core's outer components (life-cycle holder, backend, platform, database) and of its
// thirteen table repositories. Each repository is created over the database on its first request and the
// same instance is handed out afterwards, until the core is released.
class CoreFactoryProtocol {
public:
    virtual ~CoreFactoryProtocol() = default;

    virtual std::shared_ptr<LifeCycleRepositoryProtocol> lifeCycle() const = 0;
    virtual void setLifeCycle(std::shared_ptr<LifeCycleRepositoryProtocol> lifeCycle) = 0;
    virtual std::shared_ptr<BackendProtocol> backend() const = 0;
    virtual std::shared_ptr<PlatformProtocol> platform() const = 0;
    virtual std::shared_ptr<DatabaseProtocol> database() const = 0;

    virtual std::shared_ptr<ProjectRepository> projectRepository() = 0;
    virtual std::shared_ptr<UserRepository> userRepository() = 0;
    virtual std::shared_ptr<IdentifiersRepository> identifiersRepository() = 0;
    virtual std::shared_ptr<EventRepository> eventRepository() = 0;
    virtual std::shared_ptr<ReportsRepository> reportsRepository() = 0;
    virtual std::shared_ptr<CurrencyAccrualResourcesRepository> currencyAccrualResourcesRepository() = 0;
    virtual std::shared_ptr<LevelResourcesRepository> levelResourcesRepository() = 0;
    virtual std::shared_ptr<RealPaymentRepository> realPaymentRepository() = 0;
    virtual std::shared_ptr<TutorialRepository> tutorialRepository() = 0;
    virtual std::shared_ptr<PeopleRepository> peopleRepository() = 0;
    virtual std::shared_ptr<MessagingCategoryRepository> messagingCategoryRepository() = 0;
    virtual std::shared_ptr<ToolsRepository> toolsRepository() = 0;
    virtual std::shared_ptr<SubscriptionRepository> subscriptionRepository() = 0;

    // Hands the listener to the held life cycle.
    virtual void setLifeCycleListener(std::weak_ptr<LifeCycleProtocol> lifeCycleListener) = 0;
};

}  // namespace zqb

#pragma once

#include "host/Clock.hpp"
#include "migration/CoreFactoryProtocol.hpp"

#include <memory>
#include <mutex>

namespace zqb {

// Built once per start-up from the submodules (see `CoreGraph`). Requests come from the income queue; the
// slots are nevertheless filled under a lock, so a request from elsewhere can never create a second
// repository.
class CoreFactory final : public CoreFactoryProtocol {
public:
    CoreFactory(std::shared_ptr<LifeCycleRepositoryProtocol> lifeCycle,
                std::shared_ptr<BackendProtocol> backend, std::shared_ptr<PlatformProtocol> platform,
                std::shared_ptr<DatabaseProtocol> database, std::shared_ptr<const host::ClockProtocol> clock);
    ~CoreFactory() override;

    std::shared_ptr<LifeCycleRepositoryProtocol> lifeCycle() const override;
    void setLifeCycle(std::shared_ptr<LifeCycleRepositoryProtocol> lifeCycle) override;
    std::shared_ptr<BackendProtocol> backend() const override { return backend_; }
    std::shared_ptr<PlatformProtocol> platform() const override { return platform_; }
    std::shared_ptr<DatabaseProtocol> database() const override { return database_; }

    std::shared_ptr<ProjectRepository> projectRepository() override;
    std::shared_ptr<UserRepository> userRepository() override;
    std::shared_ptr<IdentifiersRepository> identifiersRepository() override;
    std::shared_ptr<EventRepository> eventRepository() override;
    std::shared_ptr<ReportsRepository> reportsRepository() override;
    std::shared_ptr<CurrencyAccrualResourcesRepository> currencyAccrualResourcesRepository() override;
    std::shared_ptr<LevelResourcesRepository> levelResourcesRepository() override;
    std::shared_ptr<RealPaymentRepository> realPaymentRepository() override;
    std::shared_ptr<TutorialRepository> tutorialRepository() override;
    std::shared_ptr<PeopleRepository> peopleRepository() override;
    std::shared_ptr<MessagingCategoryRepository> messagingCategoryRepository() override;
    std::shared_ptr<ToolsRepository> toolsRepository() override;
    std::shared_ptr<SubscriptionRepository> subscriptionRepository() override;

    void setLifeCycleListener(std::weak_ptr<LifeCycleProtocol> lifeCycleListener) override;

private:
    template <typename Repository, typename... Arguments>
    std::shared_ptr<Repository> member(std::shared_ptr<Repository>& slot, const Arguments&... arguments);

    mutable std::mutex mutex_;
    std::shared_ptr<LifeCycleRepositoryProtocol> lifeCycle_;
    const std::shared_ptr<BackendProtocol> backend_;
    const std::shared_ptr<PlatformProtocol> platform_;
    const std::shared_ptr<DatabaseProtocol> database_;
    const std::shared_ptr<const host::ClockProtocol> clock_;

    std::shared_ptr<ProjectRepository> projectRepository_;
    std::shared_ptr<UserRepository> userRepository_;
    std::shared_ptr<IdentifiersRepository> identifiersRepository_;
    std::shared_ptr<EventRepository> eventRepository_;
    std::shared_ptr<ReportsRepository> reportsRepository_;
    std::shared_ptr<CurrencyAccrualResourcesRepository> currencyAccrualResourcesRepository_;
    std::shared_ptr<LevelResourcesRepository> levelResourcesRepository_;
    std::shared_ptr<RealPaymentRepository> realPaymentRepository_;
    std::shared_ptr<TutorialRepository> tutorialRepository_;
    std::shared_ptr<PeopleRepository> peopleRepository_;
    std::shared_ptr<MessagingCategoryRepository> messagingCategoryRepository_;
    std::shared_ptr<ToolsRepository> toolsRepository_;
    std::shared_ptr<SubscriptionRepository> subscriptionRepository_;
};

}  // namespace zqb

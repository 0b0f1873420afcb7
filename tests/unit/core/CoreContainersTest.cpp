#include "backend/Backend.hpp"
#include "backend/BackendRepository.hpp"
#include "core/CoreFactory.hpp"
#include "core/LifeCycleRepository.hpp"
#include "core/ServiceFactory.hpp"
#include "database/SQLiteProvider.hpp"
#include "foundation/QueueManager.hpp"
#include "host/Environment.hpp"
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
#include "support/GatewayClient.hpp"
#include "support/ScopedEnvironment.hpp"
#include "support/SharedDatabase.hpp"

#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace zqb {
namespace {

// Passes every request on to a real core factory and counts them by member.
class CountingCoreFactory final : public CoreFactoryProtocol {
public:
    explicit CountingCoreFactory(std::shared_ptr<CoreFactory> inner) : inner_(std::move(inner)) {}

    std::shared_ptr<LifeCycleRepositoryProtocol> lifeCycle() const override { return inner_->lifeCycle(); }
    void setLifeCycle(std::shared_ptr<LifeCycleRepositoryProtocol> lifeCycle) override {
        inner_->setLifeCycle(std::move(lifeCycle));
    }
    std::shared_ptr<BackendProtocol> backend() const override { return inner_->backend(); }
    std::shared_ptr<PlatformProtocol> platform() const override { return inner_->platform(); }
    std::shared_ptr<DatabaseProtocol> database() const override { return inner_->database(); }
#define ZQB_COUNTED(Type, member)             \
    std::shared_ptr<Type> member() override { \
        ++requests[#member];                  \
        return inner_->member();              \
    }
    ZQB_COUNTED(ProjectRepository, projectRepository)
    ZQB_COUNTED(UserRepository, userRepository)
    ZQB_COUNTED(IdentifiersRepository, identifiersRepository)
    ZQB_COUNTED(EventRepository, eventRepository)
    ZQB_COUNTED(ReportsRepository, reportsRepository)
    ZQB_COUNTED(CurrencyAccrualResourcesRepository, currencyAccrualResourcesRepository)
    ZQB_COUNTED(LevelResourcesRepository, levelResourcesRepository)
    ZQB_COUNTED(RealPaymentRepository, realPaymentRepository)
    ZQB_COUNTED(TutorialRepository, tutorialRepository)
    ZQB_COUNTED(PeopleRepository, peopleRepository)
    ZQB_COUNTED(MessagingCategoryRepository, messagingCategoryRepository)
    ZQB_COUNTED(ToolsRepository, toolsRepository)
    ZQB_COUNTED(SubscriptionRepository, subscriptionRepository)
#undef ZQB_COUNTED
    void setLifeCycleListener(std::weak_ptr<LifeCycleProtocol> listener) override {
        inner_->setLifeCycleListener(std::move(listener));
    }

    std::map<std::string, int> requests;

private:
    std::shared_ptr<CoreFactory> inner_;
};

class CoreContainers : public ::testing::Test {
protected:
    test::ScopedEnvironment environment;
    std::shared_ptr<SQLiteProvider> database = zqb::test::sharedDatabase();
    std::shared_ptr<CoreFactory> coreFactory = std::make_shared<CoreFactory>(
        std::make_shared<LifeCycleRepository>(
            ApplicationLifeCycle::create(QueueManager::incomeQueue(), host::Environment::shared())),
        std::make_shared<Backend>(test::gatewayClient(host::Environment::shared().httpSession())), nullptr,
        database, host::Environment::shared().clock());
};

TEST_F(CoreContainers, EveryRepositoryIsMadeOnceOverTheOneDatabase) {
    EXPECT_EQ(coreFactory->projectRepository(), coreFactory->projectRepository());
    EXPECT_EQ(coreFactory->userRepository(), coreFactory->userRepository());
    EXPECT_EQ(coreFactory->identifiersRepository(), coreFactory->identifiersRepository());
    EXPECT_EQ(coreFactory->eventRepository(), coreFactory->eventRepository());
    EXPECT_EQ(coreFactory->reportsRepository(), coreFactory->reportsRepository());
    EXPECT_EQ(coreFactory->currencyAccrualResourcesRepository(),
              coreFactory->currencyAccrualResourcesRepository());
    EXPECT_EQ(coreFactory->levelResourcesRepository(), coreFactory->levelResourcesRepository());
    EXPECT_EQ(coreFactory->realPaymentRepository(), coreFactory->realPaymentRepository());
    EXPECT_EQ(coreFactory->tutorialRepository(), coreFactory->tutorialRepository());
    EXPECT_EQ(coreFactory->peopleRepository(), coreFactory->peopleRepository());
    EXPECT_EQ(coreFactory->messagingCategoryRepository(), coreFactory->messagingCategoryRepository());
    EXPECT_EQ(coreFactory->toolsRepository(), coreFactory->toolsRepository());
    EXPECT_EQ(coreFactory->subscriptionRepository(), coreFactory->subscriptionRepository());
    EXPECT_EQ(coreFactory->eventRepository()->database(), database);
    EXPECT_EQ(coreFactory->subscriptionRepository()->database(), database);
}

TEST_F(CoreContainers, RacingRequestsStillGetOneRepository) {
    std::vector<std::shared_ptr<EventRepository>> seen(8);
    std::vector<std::thread> threads;
    for (std::size_t i = 0; i < seen.size(); ++i) {
        threads.emplace_back([&, i] { seen[i] = coreFactory->eventRepository(); });
    }
    for (auto& thread : threads) {
        thread.join();
    }
    for (const auto& repository : seen) {
        EXPECT_EQ(repository, seen.front());
    }
}

TEST_F(CoreContainers, TheServiceFactoryMakesNothingUntilAskedAndThenEachServiceOnce) {
    auto counting = std::make_shared<CountingCoreFactory>(coreFactory);
    ServiceFactory services(counting, nullptr, Queues::processWide(), host::Environment::shared(),
                            std::make_shared<UploadHandover>());
    EXPECT_TRUE(counting->requests.empty());

    const auto people = services.peopleService();
    ASSERT_TRUE(people);
    EXPECT_EQ(services.peopleService(), people);
    EXPECT_EQ(services.levelResourceService(), services.levelResourceService());
    EXPECT_EQ(services.currencyAccrualService(), services.currencyAccrualService());
    EXPECT_EQ(services.reportService(), services.reportService());
    EXPECT_EQ(services.configService(), services.configService());
    EXPECT_EQ(services.antiCheatService(), services.antiCheatService());
    EXPECT_EQ(services.messagingService(), services.messagingService());
    EXPECT_EQ(services.subscriptionService(), services.subscriptionService());
    EXPECT_EQ(services.eventsService(), services.eventsService());
    EXPECT_EQ(services.activityService(), services.activityService());
    EXPECT_EQ(services.userService(), services.userService());
    EXPECT_EQ(services.timerService(), services.timerService());
    EXPECT_EQ(services.projectService(), services.projectService());
    EXPECT_EQ(services.subscriptionService(), services.subscriptionService());
    EXPECT_EQ(counting->requests, (std::map<std::string, int>{{"peopleRepository", 1},
                                                              {"levelResourcesRepository", 1},
                                                              {"currencyAccrualResourcesRepository", 1},
                                                              {"eventRepository", 2},
                                                              {"reportsRepository", 1},
                                                              {"messagingCategoryRepository", 1},
                                                              {"subscriptionRepository", 1},
                                                              {"userRepository", 2},
                                                              {"tutorialRepository", 1},
                                                              {"realPaymentRepository", 1},
                                                              {"subscriptionRepository", 1},
                                                              {"projectRepository", 4}}));
    EXPECT_EQ(services.coreFactory(), counting);
}

TEST_F(CoreContainers, TheLifeCycleListenerReachesTheHeldLifeCycle) {
    struct Listener final : LifeCycleProtocol {
        void goActive() override {}
        void goInactive() override { ++stops; }
        void goBackground() override {}
        void goTerminate() override {}
        int stops = 0;
    };
    auto listener = std::make_shared<Listener>();
    coreFactory->setLifeCycleListener(listener);
    environment.post(host::AppNotification::willResignActive);
    EXPECT_EQ(listener->stops, 1);

    // A replaced holder takes the old life cycle, and its registrations, away.
    coreFactory->setLifeCycle(std::make_shared<LifeCycleRepository>(
        ApplicationLifeCycle::create(QueueManager::incomeQueue(), host::Environment::shared())));
    environment.post(host::AppNotification::willResignActive);
    EXPECT_EQ(listener->stops, 1);
}

}  // namespace
}  // namespace zqb

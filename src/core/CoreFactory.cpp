#include "core/CoreFactory.hpp"

#include "backend/Backend.hpp"
#include "backend/BackendRepository.hpp"
#include "backend/ContentFactory.hpp"
#include "core/ApplicationLifeCycle.hpp"
#include "core/LifeCycleRepository.hpp"
#include "database/SQLiteProvider.hpp"
#include "foundation/QueueManager.hpp"
#include "host/Environment.hpp"
#include "network/Network.hpp"
#include "platform/PlatformStorage.hpp"
#include "platform/PlatformiOS.hpp"
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

#include <future>
#include <system_error>

namespace zqb {

CoreFactory::CoreFactory(std::shared_ptr<LifeCycleRepositoryProtocol> lifeCycle,
                         std::shared_ptr<BackendProtocol> backend, std::shared_ptr<PlatformProtocol> platform,
                         std::shared_ptr<DatabaseProtocol> database)
    : lifeCycle_(std::move(lifeCycle)),
      backend_(std::move(backend)),
      platform_(std::move(platform)),
      database_(std::move(database)) {}

CoreFactory::~CoreFactory() = default;

namespace {

// Runs until its result is dropped: the future's destructor waits for the thread.
std::future<void> gatherIdentifiers(const std::shared_ptr<PlatformiOS>& platform) {
    try {
        return std::async(std::launch::async, [platform] { platform->getIdentifierData(); });
    } catch (const std::system_error&) {
        // No thread to be had: the device manager gathers them when it first needs them.
        return {};
    }
}

}  // namespace

std::shared_ptr<CoreFactory> CoreFactory::make(const std::string& applicationKey,
                                               std::shared_ptr<ApplicationLifeCycle> lifeCycle,
                                               const Queues& queues, host::Environment& environment) {
    auto platform = std::make_shared<PlatformiOS>(std::make_shared<PlatformStorage>(), nullptr, environment);
    // The device's identifiers are read from the keychain, and on a new device written to it; opening or
    // creating the database waits for the disk. Neither needs the other, so the identifiers are gathered on
    // a thread of their own meanwhile (the platform keeps the record it builds first). What a new device
    // writes to the keychain waits until the database is open: a start-up that fails here leaves the
    // keychain as it found it.
    platform->holdKeychainWrites();
    const auto gathering = gatherIdentifiers(platform);
    if (!lifeCycle) {
        lifeCycle = ApplicationLifeCycle::create(nullptr, nullptr, queues.income, environment);
    }
    auto lifeCycleRepository = std::make_shared<LifeCycleRepository>(std::move(lifeCycle));
    auto network = std::make_shared<Network>();
    auto backend = std::make_shared<Backend>(
        std::make_shared<BackendRepository>(std::move(network), std::make_shared<ContentFactory>()));
    auto database = std::make_shared<SQLiteProvider>(applicationKey);
    SQLiteProvider::WriterQueue writer;
    QueueManager* const income = &queues.income;
    writer.isCurrent = [income] { return income->isCurrent(); };
    writer.post = [income](std::function<void()> operation) { income->addOperation(std::move(operation)); };
    writer.runAfter = [&environment](int64_t delayMs, std::function<void()> operation) {
        environment.delayedScheduler()->runAfter(delayMs, std::move(operation));
    };
    database->groupWritesOn(std::move(writer));
    // The start-up goes on.
    if (gathering.valid()) {
        gathering.wait();
    }
    platform->writeHeldKeychainItems();
    return std::make_shared<CoreFactory>(std::move(lifeCycleRepository), std::move(backend),
                                         std::move(platform), std::move(database));
}

template <typename Repository>
std::shared_ptr<Repository> CoreFactory::member(std::shared_ptr<Repository>& slot) {
    std::lock_guard lock(mutex_);
    if (!slot) {
        slot = std::make_shared<Repository>(database_);
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
    return member(projectRepository_);
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

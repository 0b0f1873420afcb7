#include "core/CoreGraph.hpp"

#include "backend/Backend.hpp"
#include "backend/BackendRepository.hpp"
#include "backend/ContentFactory.hpp"
#include "core/ApplicationLifeCycle.hpp"
#include "core/CoreFactory.hpp"
#include "core/CoreManager.hpp"
#include "core/DeviceManager.hpp"
#include "core/IdentifierGathering.hpp"
#include "core/LifeCycleRepository.hpp"
#include "core/ServiceFactory.hpp"
#include "core/StoredAdvertisingIds.hpp"
#include "database/SQLiteProvider.hpp"
#include "network/Network.hpp"
#include "platform/PlatformStorage.hpp"
#include "platform/PlatformiOS.hpp"

#include <future>

namespace zqb {
namespace {

// The submodules and the core factory over them. Throws when the database cannot be opened.
std::shared_ptr<CoreFactory> initSubModules(std::shared_ptr<PlatformiOS> platform,
                                            std::shared_ptr<ApplicationLifeCycle> lifeCycle,
                                            const std::shared_future<void>& identifiersStored,
                                            const Queues& queues, host::Environment& environment) {
    if (!lifeCycle) {
        lifeCycle = ApplicationLifeCycle::create(queues.income, environment);
    }
    auto lifeCycleRepository = std::make_shared<LifeCycleRepository>(std::move(lifeCycle));
    auto database = std::make_shared<SQLiteProvider>(*environment.files(), *environment.clock());
    SQLiteProvider::WriterQueue writer;
    QueueManager* const income = &queues.income;
    writer.isCurrent = [income] { return income->isCurrent(); };
    writer.post = [income](std::function<void()> operation) { income->addOperation(std::move(operation)); };
    writer.runAfter = [&environment](int64_t delayMs, std::function<void()> operation) {
        environment.delayedScheduler()->runAfter(delayMs, std::move(operation));
    };
    // The rows the start-up writes carry the device's identifiers: none is in the file before they are in
    // the keychain, whatever commits first (the group's timer on a slow disk).
    writer.heldUntil = identifiersStored;
    database->groupWritesOn(std::move(writer));
    // After the database: `initialize` sets the HTTP client up on the host's thread meanwhile.
    auto network = std::make_shared<Network>(environment.httpSession());
    auto backend = std::make_shared<Backend>(std::make_shared<BackendRepository>(
        std::move(network), std::make_shared<ContentFactory>(), environment.clock()));
    return std::make_shared<CoreFactory>(std::move(lifeCycleRepository), std::move(backend),
                                         std::move(platform), std::move(database), environment.clock());
}

}  // namespace

std::optional<CoreGraph> CoreGraph::build(const Sources& sources, const LogicFactory& parts,
                                          const Queues& queues, host::Environment& environment) {
    // The device's identifiers are read from the keychain, and on a new device written to it; opening or
    // creating the database waits for the disk. Neither needs the other, so the identifiers are gathered
    // meanwhile. What a new device adds to the keychain waits until the database is open (a start-up that
    // fails there leaves the keychain as it found it), and is then written while the managers, services and
    // logic are built; the logic starts only once it is in the keychain, so the first events and requests
    // never carry an identifier that a process dying now would lose.
    std::optional<IdentifierGathering> gathering;
    CoreGraph graph;
    sources.uploads->takeOver();
    try {
        auto platform = std::make_shared<PlatformiOS>(std::make_shared<PlatformStorage>(), environment);
        gathering.emplace(platform);
        graph.coreFactory =
            initSubModules(std::move(platform), sources.lifeCycle, gathering->stored(), queues, environment);
    } catch (...) {
        return std::nullopt;
    }
    const auto& coreFactory = graph.coreFactory;
    const auto coreManager =
        std::make_shared<CoreManager>(sources.validatedKey, coreFactory->projectRepository(),
                                      coreFactory->userRepository(), environment.clock());
    // A project whose tracking the host switched off takes no advertising identifier: it leaves the ids
    // gathered for it before any of them reaches the keychain.
    if (const auto project = coreManager->storedProject(); project && !project->trackingAvailable) {
        coreFactory->platform()->withdrawAdvertisingIdentifier();
    }
    gathering->store();
    auto migrationManager = parts.migrationManager(coreFactory, sources.validatedKey);
    auto advertisingIds = std::make_shared<StoredAdvertisingIds>(
        coreFactory->identifiersRepository(), coreFactory->toolsRepository(), coreFactory->userRepository(),
        coreFactory->eventRepository(), coreFactory->reportsRepository(), coreFactory->database());
    const auto deviceManager =
        std::make_shared<DeviceManager>(coreFactory->identifiersRepository(), coreFactory->toolsRepository(),
                                        coreFactory->platform(), std::move(advertisingIds));
    auto stateManager =
        std::make_shared<StateManager>(deviceManager, coreManager, std::move(migrationManager),
                                       environment.clock(), sources.userId, sources.editorMode);
    graph.serviceFactory = std::make_shared<ServiceFactory>(coreFactory, std::move(stateManager), queues,
                                                            environment, sources.uploads);
    graph.logic = parts.analyticsLogic(graph.serviceFactory, coreFactory->lifeCycle());
    gathering->stored().wait();
    return graph;
}

void CoreGraph::start(AnalyticsInitProtocol& logic,
                      const std::optional<ZQBAnalyticsConfigurationLocal>& configuration) {
    logic.prepareCallBacks();
    logic.applyAnalyticsConfiguration(configuration);
    logic.tryStartSDK();
}

}  // namespace zqb

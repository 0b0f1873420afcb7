#include "LogicTestBed.hpp"

#include "core/CoreFactory.hpp"
#include "core/CoreGraph.hpp"
#include "core/ServiceFactory.hpp"
#include "database/SQLiteProvider.hpp"
#include "database/WriteGroup.hpp"
#include "foundation/QueueManager.hpp"
#include "host/Environment.hpp"
#include "migration/NoLegacyDataMigration.hpp"
#include "model/EventObject.hpp"
#include "network/BackendConfigUrl.hpp"
#include "repositories/ProjectRepository.hpp"
#include "repositories/UserRepository.hpp"
#include "services/ProjectConfiguration.hpp"

#include <filesystem>
#include <fstream>
#include <stdexcept>

namespace zqb::test {
namespace {

void appendEvents(const std::string& body, std::vector<nlohmann::ordered_json>& events) {
    const auto json = nlohmann::ordered_json::parse(body, nullptr, false);
    if (json.is_discarded() || !json.contains("reports")) {
        return;
    }
    for (const auto& report : json["reports"]) {
        if (!report.contains("packages")) {
            continue;
        }
        for (const auto& package : report["packages"]) {
            if (package.contains("events") && package["events"].is_array()) {
                for (const auto& event : package["events"]) {
                    events.push_back(event);
                }
            }
        }
    }
}

}  // namespace

Config LogicTestBed::defaultTestConfig() {
    Config config = Config::defaulConfiguration(*zqb::host::Environment::shared().clock());
    config.countForRequest = 100;
    return config;
}

LogicTestBed::Options LogicTestBed::recordingOptions() {
    Options options;
    options.recordingServices = true;
    return options;
}

LogicTestBed::LogicTestBed() : LogicTestBed(Options{}) {}

LogicTestBed::LogicTestBed(Options options) : env(options.startMs) {
    if (options.ownClockMs) {
        ownClock = std::make_shared<ManualClock>(*options.ownClockMs);
        useOwnClockAndFolder(ownEnvironment, ownClock, ownDirectory.path());
    }
    // Before the graph is built: its life cycle reads the state once, as the core's does at start-up.
    env.application().setApplicationState(options.applicationState);
    BackendConfigUrl::setTestProxyUrl(gateway.baseUrl());
    gateway.setReply(kReportPath, {200, "{}"});
    if (options.answerConfig) {
        gateway.setReply(kConfigPath, {200, options.config.toJson().dump()});
    }
    gateway.setReply(kIdentificationPath,
                     {200, R"({"vorantelId":77,"crossPlatformVorantelId":78,"vorantelIdTimestamp":79})"});

    if (options.fileBefore) {
        const auto folder = *SQLiteProvider::folderPath(*graphEnvironment().files());
        std::filesystem::create_directories(folder);
        std::ofstream(folder / SQLiteProvider::fileName, std::ios::binary) << *options.fileBefore;
    }
    // Built on the income queue, as the start-up operation builds it.
    income([&] {
        const Queues queues = Queues::processWide();
        auto& environment = graphEnvironment();
        LogicFactory parts;
        parts.migrationManager = [](const auto&, const auto&) {
            return std::make_shared<NoLegacyDataMigration>();
        };
        parts.analyticsLogic = [&](const std::shared_ptr<ServiceFactoryProtocol>& serviceFactory,
                                   const std::shared_ptr<LifeCycleRepositoryProtocol>& lifeCycle) {
            // The configuration is stored before the logic is built, as an earlier run would have left it.
            state = serviceFactory->stateManager();
            if (options.storeConfig) {
                const auto project = state->getActiveProject();
                project->configurationJson =
                    ProjectConfiguration::encode(options.config, *zqb::host::Environment::shared().clock());
                serviceFactory->coreFactory()->projectRepository()->update(project);
            }
            std::shared_ptr<ServiceFactoryProtocol> logicServices = serviceFactory;
            if (options.recordingServices) {
                recording = std::make_shared<RecordingServiceFactory>(serviceFactory);
                logicServices = recording;
            }
            logic = AnalyticsLogic::create(logicServices, lifeCycle, queues.income, environment);
            return std::shared_ptr<AnalyticsLogicProtocol>(logic);
        };
        auto graph = CoreGraph::build({kApplicationKey, kApplicationKey, options.userId, nullptr, nullptr,
                                       std::make_shared<UploadHandover>()},
                                      parts, queues, environment);
        if (!graph) {
            throw std::runtime_error("the bed's database cannot be opened");
        }
        coreFactory = std::move(graph->coreFactory);
        services = std::move(graph->serviceFactory);
    });
    auto& environment = graphEnvironment();
    observer = std::make_shared<SQLiteProvider>(*environment.files(), *environment.clock());
}

host::Environment& LogicTestBed::graphEnvironment() {
    return ownClock ? ownEnvironment : host::Environment::shared();
}

LogicTestBed::~LogicTestBed() {
    settle();
    income([this] {
        logic->stopSDK();
        logic.reset();
        recording.reset();
        services.reset();
        state.reset();
        coreFactory.reset();
    });
    settle();
    BackendConfigUrl::setTestProxyUrl("");
}

void LogicTestBed::start(const std::optional<ZQBAnalyticsConfigurationLocal>& configuration) {
    income([this, &configuration] { CoreGraph::start(*logic, configuration); });
    settle();
}

void LogicTestBed::settle() {
    settleAll();
}

void LogicTestBed::advance(int64_t ms) {
    env.advance(ms);
    settle();
}

void LogicTestBed::toBackground() {
    env.application().setApplicationState(host::ApplicationState::inactive);
    env.post(host::AppNotification::willResignActive);
    env.application().setApplicationState(host::ApplicationState::background);
    env.post(host::AppNotification::didEnterBackground);
    settle();
}

void LogicTestBed::toInactive() {
    env.application().setApplicationState(host::ApplicationState::inactive);
    env.post(host::AppNotification::willResignActive);
    settle();
}

void LogicTestBed::toForeground() {
    env.application().setApplicationState(host::ApplicationState::active);
    env.post(host::AppNotification::didBecomeActive);
    settle();
}

User LogicTestBed::user() {
    return income([this] { return *state->getActiveUser(); });
}

Project LogicTestBed::project() {
    return income([this] { return *state->getActiveProject(); });
}

std::string LogicTestBed::deviceId() {
    return income([this] { return state->getActiveDeviceIdentifiers()->deviceIdentifier; });
}

bool LogicTestBed::started() {
    return income([this] { return logic->started(); });
}

std::shared_ptr<User> LogicTestBed::storeUser(const std::string& userId, int64_t lastSeenMs) {
    return income([&] {
        auto user = std::make_shared<User>(state->getActiveProject()->idKey, userId, false);
        user->sessionId = lastSeenMs;
        user->lastBackgroundTime = lastSeenMs;
        coreFactory->userRepository()->insert(user);
        return user;
    });
}

void LogicTestBed::committed() {
    // The write group of the last operation is committed by a block it queued behind itself.
    income([] {});
}

std::vector<LogicTestBed::StoredEvent> LogicTestBed::storedEvents() {
    committed();
    std::vector<StoredEvent> events;
    for (const auto& row : observer->query<EventObject>("events")) {
        events.push_back({std::string(row->code()), row->userId,
                          nlohmann::ordered_json::parse(row->json(), nullptr, false)});
    }
    return events;
}

std::vector<LogicTestBed::StoredEvent> LogicTestBed::storedEvents(const std::string& code) {
    std::vector<StoredEvent> events;
    for (auto& event : storedEvents()) {
        if (event.code == code) {
            events.push_back(std::move(event));
        }
    }
    return events;
}

int64_t LogicTestBed::rowCount(const std::string& table) {
    committed();
    return static_cast<int64_t>(observer->queryRows(table, {}).size());
}

std::vector<nlohmann::ordered_json> LogicTestBed::sentEvents() {
    std::vector<nlohmann::ordered_json> events;
    for (const auto& request : gateway.requests(kReportPath)) {
        appendEvents(request.body, events);
    }
    return events;
}

std::vector<nlohmann::ordered_json> LogicTestBed::sentEvents(const std::string& code) {
    std::vector<nlohmann::ordered_json> events;
    for (auto& event : sentEvents()) {
        if (event.value("code", "") == code) {
            events.push_back(std::move(event));
        }
    }
    return events;
}

std::size_t LogicTestBed::requestCount(const std::string& path) {
    return gateway.requests(path).size();
}

std::size_t LogicTestBed::repeatingTimers() {
    std::size_t count = 0;
    for (const auto& timer : env.runLoop().pendingTimers()) {
        count += timer.repeats ? 1 : 0;
    }
    return count;
}

std::size_t LogicTestBed::pendingTimers() {
    std::size_t count = 0;
    for (const auto& timer : env.runLoop().pendingTimers()) {
        // The write group arms its window with what is left of it, so a commit timer may be shorter.
        const bool commit = !timer.repeats && timer.intervalMs <= WriteGroup::defaultWindowMilliseconds;
        count += commit ? 0 : 1;
    }
    return count;
}

}  // namespace zqb::test

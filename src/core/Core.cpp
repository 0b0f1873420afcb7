#include "core/Core.hpp"

#include "core/AnalyticsObserver.hpp"
#include "core/ApplicationLifeCycle.hpp"
#include "core/CoreFactory.hpp"
#include "core/CoreGraph.hpp"
#include "core/ServiceFactory.hpp"
#include "database/DatabaseProtocol.hpp"
#include "foundation/Logger.hpp"
#include "foundation/ProcessExit.hpp"
#include "validation/CustomEventParamsLimit.hpp"
#include "validation/ValidatorRules.hpp"

#include <unistd.h>

#include <cstring>

namespace zqb {
namespace {

// The shared slot and the factory for new cores. Never destroyed: queue threads may reach the slot while
// the process exits. `published` is the slot's core for borrowers: set with it under the lock, and cleared
// before the core leaves the slot.
//
// The one place where the library names the process-wide queues and host environment: every core, and the
// graph its start-up builds, works with these.
struct SharedSlot {
    const Queues queues = Queues::processWide();
    host::Environment& environment = host::Environment::shared();
    std::mutex mutex;
    std::shared_ptr<Core> core;
    std::atomic<Core*> published{nullptr};
    LogicFactory factory = LogicFactory::defaults(queues, environment);
    const std::shared_ptr<UploadHandover> uploads = std::make_shared<UploadHandover>();
};

SharedSlot& slot() {
    static SharedSlot* instance = new SharedSlot();
    return *instance;
}

}  // namespace

Core::Core(LogicFactory factory, const Queues& queues, host::Environment& environment,
           std::shared_ptr<UploadHandover> uploads)
    : queues_(queues),
      environment_(environment),
      uploads_(std::move(uploads)),
      logicFactory_(factory.completed(queues, environment)),
      analyticsProxy_(AnalyticsProxy::make(queues.income)),
      peopleLogic_(logicFactory_.peopleLogic(analyticsProxy_)),
      antiCheatLogic_(logicFactory_.antiCheatLogic()),
      messagingProxy_(logicFactory_.messagingProxy()),
      analyticsObserver_(std::make_shared<AnalyticsObserver>(queues.income)) {}

Core::~Core() {
    // One write of the whole line, past the C library's buffer: the host's buffered output is the host's,
    // and flushing it from this thread could race with the flush of the process's exit and write it twice.
    static constexpr std::size_t length = std::char_traits<char>::length(deinitLine);
    char line[length + 1];
    std::memcpy(line, deinitLine, length);
    line[length] = '\n';
    [[maybe_unused]] const auto written = ::write(STDOUT_FILENO, line, sizeof line);
}

Core::Borrowed Core::borrowShared() {
    auto& shared = slot();
    for (;;) {
        Borrowed borrowed(shared.published);
        if (borrowed.core_ != nullptr) {
            return borrowed;
        }
        std::lock_guard lock(shared.mutex);
        if (!shared.core) {
            // Built under the lock, so that racing callers never make (and release) a second core.
            shared.core = std::shared_ptr<Core>(
                new Core(shared.factory, shared.queues, shared.environment, shared.uploads));
            shared.published.store(shared.core.get(), std::memory_order_release);
        }
    }
}

std::shared_ptr<Core> Core::shared() {
    return borrowShared()->shared_from_this();
}

std::shared_ptr<Core> Core::current() {
    auto& shared = slot();
    std::lock_guard lock(shared.mutex);
    return shared.core;
}

void Core::setLogicFactory(LogicFactory factory) {
    auto& shared = slot();
    std::lock_guard lock(shared.mutex);
    shared.factory = factory.completed(shared.queues, shared.environment);
}

void Core::resetLogicFactory() {
    auto& shared = slot();
    setLogicFactory(LogicFactory::defaults(shared.queues, shared.environment));
}

void Core::initialize(const std::string& applicationKey,
                      std::optional<ZQBAnalyticsConfigurationLocal> configuration) {
    // Checked and set in one step: of several racing calls exactly one goes on. A refused call leaves the
    // income queue as it is, so a repeated call from the background never pauses it again.
    if (isInitialized_.exchange(true)) {
        Logger::writeLog(ZQBLogLevel::error,
                         std::string(initializeErrorPrefix) + " SDK is already initialized");
        return;
    }
    // After what the host has built before initialising, which the exit must not destroy under the library.
    ProcessExit::watch();
    // Observed from here on, not from the start-up operation: a transition the host reports before the
    // start-up has run is queued in order with its calls, so that the start-up and the calls see the
    // application where the host was when it made them, and a stop ends the session the host opened.
    lifeCycle_ = ApplicationLifeCycle::create(queues_.income, environment_);
    lifeCycle_->setAfterStop([weak = weak_from_this()] { commitWrites(weak); });
    // A host that leaves without a stopping call keeps what the exit let run.
    queues_.income.setLastAtExit([weak = weak_from_this()] { commitWrites(weak); });
    if (lifeCycle_->isApplicationInBackground()) {
        pauseUntilActive();
    }
    queues_.income.addOperation(
        [weak = weak_from_this(), applicationKey, configuration = std::move(configuration)]() mutable {
            startUp(weak, applicationKey, std::move(configuration));
        });
}

void Core::commitWrites(const std::weak_ptr<Core>& weakCore) {
    if (const auto core = weakCore.lock()) {
        if (const auto database = core->database_.lock()) {
            database->commitWrites();
        }
    }
}

void Core::pauseUntilActive() {
    queues_.income.pause();
    const auto center = environment_.notificationCenter();
    {
        // Held while registering, so that a notification arriving meanwhile finds the registration stored.
        std::lock_guard lock(loadMutex_);
        waitingForActive_ = true;
        loadRegistration_ =
            center->addObserver(host::AppNotification::didBecomeActive, [weak = weak_from_this()] {
                if (const auto core = weak.lock()) {
                    core->onLoadAction();
                }
            });
    }
    // The application may have become active between reading its state and registering; its notification
    // is then gone, and the queue must not stay paused for it.
    if (environment_.application()->applicationState() != host::ApplicationState::background) {
        onLoadAction();
    }
}

void Core::onLoadAction() {
    std::unique_ptr<host::NotificationCenter::Registration> registration;
    {
        std::lock_guard lock(loadMutex_);
        if (!waitingForActive_) {
            return;
        }
        waitingForActive_ = false;
        registration = std::move(loadRegistration_);
    }
    registration.reset();
    // The start-up runs once the application is active: it sees it so.
    lifeCycle_->resumeActive();
    queues_.income.resume();
}

void Core::startUp(const std::weak_ptr<Core>& weakCore, const std::string& applicationKey,
                   std::optional<ZQBAnalyticsConfigurationLocal> configuration) {
    // A core whose destroy has run (held past it by a caller that had taken it from the slot) builds
    // nothing: no logic could reach it, and its database would be open beside the next core's.
    if (const auto core = weakCore.lock(); core && !core->destroyed_) {
        core->start(applicationKey, std::move(configuration));
    }
}

void Core::start(const std::string& applicationKey,
                 std::optional<ZQBAnalyticsConfigurationLocal> configuration) {
    // The level comes first, so that a valid level already governs the messages of the checks below.
    if (configuration && configuration->logLevel != ZQBLogLevel::unknown) {
        Logger::setLogLevel(configuration->logLevel);
    }
    const std::optional<std::string> key = ValidatorRules::validateInitializeKey(applicationKey);
    if (!key) {
        return;
    }
    const std::optional<ZQBAnalyticsConfigurationLocal> validated =
        ValidatorRules::validateInitialize(std::move(configuration));

    // Asked through a weak reference: a service reading it after destroy must not keep or revive a core.
    StateManager::EditorMode editorMode = [weak = weak_from_this()] {
        const auto core = weak.lock();
        return core && core->isEditorMode();
    };
    const std::optional<CoreGraph> graph =
        CoreGraph::build({applicationKey, *key, validated ? validated->userId : std::nullopt, lifeCycle_,
                          std::move(editorMode), uploads_},
                         logicFactory_, queues_, environment_);
    if (!graph) {
        Logger::writeLog(ZQBLogLevel::error, std::string(initializeErrorPrefix) + " Can't init submodules");
        return;
    }
    database_ = graph->coreFactory->database();

    const auto& serviceFactory = graph->serviceFactory;
    if (const auto& logic = graph->logic) {
        CoreGraph::start(*logic, validated);
        analyticsProxy_->setAnalyticsLogic(logic);
        analyticsObserver_->addLogicBroadcaster(logic);
    }
    peopleLogic_->setPeopleService(serviceFactory->peopleService());
    antiCheatLogic_->setAntiCheatService(serviceFactory->antiCheatService());
    messagingProxy_->setMessagingLogic(logicFactory_.messagingLogic(
        serviceFactory->eventsService(), serviceFactory->messagingService(), analyticsProxy_));
}

void Core::destroy() {
    auto& shared = slot();
    std::shared_ptr<Core> core;
    {
        std::lock_guard lock(shared.mutex);
        // Without a core one is made, as any first use would make one, and released again.
        core = shared.core ? std::move(shared.core)
                           : std::shared_ptr<Core>(
                                 new Core(shared.factory, shared.queues, shared.environment, shared.uploads));
        shared.published.store(nullptr, std::memory_order_seq_cst);
    }
    // From here on the next use makes a fresh core, whose calls and start-up queue behind this operation.
    shared.queues.income.addOperation([core = std::move(core)]() mutable { destroySDK(std::move(core)); });
}

void Core::destroySDK(std::shared_ptr<Core> core) {
    if (const auto logic = core->analyticsProxy_->analyticsLogic()) {
        logic->stopSDK();
    }
    core->destroyed_ = true;
    // A caller that borrowed the core before it left the slot is queuing a call on it right now.
    BorrowRegistry::waitUntilUnused(core.get());
    // The parameter limit published by the released logic goes with it.
    CustomEventParamsLimit::clear();
    // The graph may outlive this operation (a network exchange under way holds part of it). Its database is
    // committed now and closed for good, at once or, when an upload is still under way, once it has ended
    // (it deletes the report if the gateway accepts it), and in any case before a start-up queued behind this
    // operation opens the file again: the upload is not waited for here, where a host's stopping call queued
    // behind that start-up would wait with it.
    if (auto database = core->database_.lock()) {
        core->uploads_->closeWhenRunsEnd(std::move(database));
    }
    // The graph is released here, unless another thread still holds the core.
}

}  // namespace zqb

#include "backend/Versions.hpp"
#include "core/Core.hpp"
#include "database/Connection.hpp"
#include "database/DatabaseProtocol.hpp"
#include "database/SQLiteProvider.hpp"
#include "database/Statement.hpp"
#include "foundation/QueueManager.hpp"
#include "host/Environment.hpp"
#include "host/MemoryKeychain.hpp"
#include "logic/LifeCycleProtocol.hpp"
#include "migration/CoreFactoryProtocol.hpp"
#include "services/ServiceFactoryProtocol.hpp"
#include "services/StateManagerProtocol.hpp"
#include "support/FullDiskVfs.hpp"
#include "support/LogCapture.hpp"
#include "support/RecordingAnalyticsLogic.hpp"
#include "support/ScopedEnvironment.hpp"
#include "support/Wait.hpp"

#include <ZQBAnalytics/ZQBHost.hpp>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstdio>
#include <filesystem>
#include <future>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace zqb {
namespace {

using host::AppNotification;
using test::waitUntil;

constexpr const char* kKey = "core-test-key";

// What happened, in order, across the fakes of one test process.
class Journal {
public:
    static void add(std::string entry) {
        std::lock_guard lock(mutex());
        entries().push_back(std::move(entry));
    }
    static std::vector<std::string> all() {
        std::lock_guard lock(mutex());
        return entries();
    }
    static void clear() {
        std::lock_guard lock(mutex());
        entries().clear();
    }
    static std::size_t count(const std::string& entry) {
        const auto copy = all();
        return static_cast<std::size_t>(std::count(copy.begin(), copy.end(), entry));
    }

private:
    static std::mutex& mutex() {
        static std::mutex instance;
        return instance;
    }
    static std::vector<std::string>& entries() {
        static std::vector<std::string> instance;
        return instance;
    }
};

// Stands in for the analytics logic: records what the core calls, and what it sees of the core meanwhile.
class FakeLogic final : public test::RecordingAnalyticsLogic, public LifeCycleProtocol {
public:
    explicit FakeLogic(std::shared_ptr<ServiceFactoryProtocol> serviceFactory)
        : serviceFactory(std::move(serviceFactory)) {}

    void prepareCallBacks() override { Journal::add("prepareCallBacks" + proxyState()); }
    void applyAnalyticsConfiguration(
        const std::optional<ZQBAnalyticsConfigurationLocal>& configuration) override {
        configurationSeen = configuration;
        Journal::add("applyAnalyticsConfiguration" + proxyState());
    }
    void tryStartSDK() override { Journal::add("tryStartSDK" + proxyState()); }
    void stopSDK() override {
        Journal::add("stopSDK");
        if (onStop) {
            onStop();
        }
    }
    IdentifiersUpdate onBackendIdentifiersUpdate() const override { return identifiersUpdate; }
    void setOnBackendIdentifiersUpdate(IdentifiersUpdate closure) override {
        identifiersUpdate = std::move(closure);
        Journal::add("setOnBackendIdentifiersUpdate");
    }
    void forceUpdate() override {}
    void goActive() override { Journal::add("goActive"); }
    void goInactive() override { Journal::add("goInactive"); }
    void goBackground() override { Journal::add("goBackground"); }
    void goTerminate() override {
        Journal::add("goTerminate");
        if (onTerminate) {
            onTerminate();
        }
    }

    // Whether the shared core's proxy already holds a logic at this moment.
    static std::string proxyState() {
        const auto core = Core::current();
        return core && core->analyticsProxy()->analyticsLogic() ? " (proxy has logic)" : "";
    }

    std::shared_ptr<ServiceFactoryProtocol> serviceFactory;
    std::optional<ZQBAnalyticsConfigurationLocal> configurationSeen;
    IdentifiersUpdate identifiersUpdate;
    // Run by the terminate transition, on the income queue.
    std::function<void()> onTerminate;
    // Run by the destroy, on the income queue.
    std::function<void()> onStop;
};

class FakeMigration final : public SDKMigrationManagerProtocol {
public:
    void migrate(const std::shared_ptr<Project>& project) override {
        Journal::add(project->activeUserId ? "migrate (user chosen)" : "migrate");
    }
};

// An in-memory keychain whose writes of several items (a start-up's held identifiers) wait for `release()`.
class HeldKeychain final : public host::KeychainProtocol {
public:
    int32_t write(const std::vector<host::KeychainWrite>& writes) override {
        std::unique_lock lock(mutex_);
        writing_ = true;
        released_.wait(lock, [&] { return release_; });
        const int32_t status = items.write(writes);
        Journal::add("keychain written");
        return status;
    }
    int32_t add(const host::KeychainQuery& query) override { return items.add(query); }
    int32_t copyMatching(const host::KeychainQuery& query, std::optional<std::string>& result) override {
        return items.copyMatching(query, result);
    }
    int32_t update(const host::KeychainQuery& query, const std::string& value,
                   host::KeychainAccessibility accessible) override {
        return items.update(query, value, accessible);
    }
    int32_t remove(const host::KeychainQuery& query) override { return items.remove(query); }

    bool writing() {
        std::lock_guard lock(mutex_);
        return writing_;
    }
    void release() {
        {
            std::lock_guard lock(mutex_);
            release_ = true;
        }
        released_.notify_all();
    }

    host::MemoryKeychain items;

private:
    std::mutex mutex_;
    std::condition_variable released_;
    bool writing_ = false;
    bool release_ = false;
};

LogicFactory fakeFactory() {
    LogicFactory factory;
    factory.analyticsLogic = [](const std::shared_ptr<ServiceFactoryProtocol>& serviceFactory,
                                const std::shared_ptr<LifeCycleRepositoryProtocol>& lifeCycle) {
        Journal::add("logic built");
        auto logic = std::make_shared<FakeLogic>(serviceFactory);
        lifeCycle->setLifeCycleListener(logic);
        return logic;
    };
    factory.migrationManager = [](const std::shared_ptr<CoreFactoryProtocol>&, const std::string& key) {
        Journal::add("migration built for " + key);
        return std::make_shared<FakeMigration>();
    };
    return factory;
}

class CoreStartup : public ::testing::Test {
protected:
    void SetUp() override {
        Journal::clear();
        Core::setLogicFactory(fakeFactory());
    }
    // Leaves no core behind, so that the tests also pass one after another in one process.
    void TearDown() override {
        QueueManager::incomeQueue().resume();
        drain();
        Core::destroy();
        drain();
        Core::resetLogicFactory();
    }

    static void drain() { QueueManager::incomeQueue().waitUntilAllOperationsAreFinished(); }

    static std::shared_ptr<FakeLogic> logicOf(const std::shared_ptr<Core>& core) {
        return std::dynamic_pointer_cast<FakeLogic>(core->analyticsProxy()->analyticsLogic());
    }

    // The rows of `table` as a connection of the test's own finds them in the file; -1 when it cannot count.
    int64_t rowsInFile(const std::string& table) const {
        Connection reader(
            (environment.directory() / SQLiteProvider::folderName / SQLiteProvider::fileName).string());
        Statement statement(reader, "SELECT count(*) FROM " + table);
        if (statement.step()) {
            const auto value = statement.cursor().row().at(0);
            if (value && std::holds_alternative<int64_t>(*value)) {
                return std::get<int64_t>(*value);
            }
        }
        return -1;
    }

    test::ScopedEnvironment environment;
    test::LogCapture log;
};

TEST_F(CoreStartup, StartUpRunsInItsOrderAndHandsTheLogicToTheProxyLast) {
    ZQBAnalyticsConfigurationLocal configuration;
    configuration.userId = "player-1";
    configuration.level = 3;
    const auto core = Core::shared();
    core->initialize(kKey, configuration);
    EXPECT_TRUE(core->isInitialized());
    drain();

    EXPECT_EQ(Journal::all(),
              (std::vector<std::string>{"migration built for core-test-key", "migrate", "logic built",
                                        "prepareCallBacks", "applyAnalyticsConfiguration", "tryStartSDK",
                                        "setOnBackendIdentifiersUpdate"}));
    const auto logic = logicOf(core);
    ASSERT_TRUE(logic);
    EXPECT_EQ(logic->configurationSeen, configuration);

    // The graph behind the logic: the state manager chose the configured user of the key's project.
    const auto stateManager = logic->serviceFactory->stateManager();
    EXPECT_EQ(stateManager->getActiveProject()->applicationKey, kKey);
    EXPECT_EQ(stateManager->getActiveUser()->userId, "player-1");
    EXPECT_TRUE(std::filesystem::exists(environment.directory() / SQLiteProvider::folderName /
                                        SQLiteProvider::fileName));
    EXPECT_TRUE(log.matching("ERROR").empty());
    // The new device's ids are in the keychain, the one in use among them.
    std::vector<std::string> accounts;
    std::optional<std::string> currentId;
    for (const auto& item : environment.keychain().items()) {
        accounts.push_back(item.account);
        if (item.account == "ZQBTestApp-q7r_v2_current_id") {
            currentId = item.value;
        }
    }
    EXPECT_EQ(accounts,
              (std::vector<std::string>{"ZQBTestApp-q7r_v2_current_id", "ZQBTestApp-q7r_v2_customUdid"}));
    EXPECT_EQ(currentId, stateManager->getActiveDeviceIdentifiers()->deviceIdentifier);
}

// A new device's ids wait for the database to open, and are then written to the keychain while the
// managers, services and logic are built; the logic starts, and the start-up's rows reach the file, only once
// they are there: the first events and requests never carry an id that a process dying meanwhile loses.
TEST_F(CoreStartup, ANewDevicesIdsAreWrittenWhileTheGraphIsBuiltAndStoredBeforeTheLogicStarts) {
    const auto keychain = std::make_shared<HeldKeychain>();
    host::Environment::shared().setKeychain(keychain);
    const auto core = Core::shared();
    core->initialize(kKey, std::nullopt);
    ASSERT_TRUE(waitUntil([&] { return keychain->writing(); }));
    EXPECT_TRUE(waitUntil([] { return Journal::count("logic built") == 1; }));
    EXPECT_EQ(rowsInFile("projects"), 0);
    keychain->release();
    drain();

    EXPECT_EQ(Journal::all(),
              (std::vector<std::string>{"migration built for core-test-key", "migrate", "logic built",
                                        "keychain written", "prepareCallBacks", "applyAnalyticsConfiguration",
                                        "tryStartSDK", "setOnBackendIdentifiersUpdate"}));
    std::vector<std::string> accounts;
    for (const auto& item : keychain->items.items()) {
        accounts.push_back(item.account);
    }
    EXPECT_EQ(accounts,
              (std::vector<std::string>{"ZQBTestApp-q7r_v2_current_id", "ZQBTestApp-q7r_v2_customUdid"}));
}

TEST_F(CoreStartup, ASecondInitializeIsRefusedAndStartsNothing) {
    const auto core = Core::shared();
    core->initialize(kKey, std::nullopt);
    core->initialize(kKey, std::nullopt);
    drain();
    EXPECT_EQ(log.count("ERROR In the Initialize method an error has occurred: SDK is already initialized"),
              1u);
    EXPECT_EQ(Journal::count("logic built"), 1u);
}

TEST_F(CoreStartup, ARefusedKeyLeavesTheCoreInitialisedWithoutLogicForGood) {
    Logger::setLogLevel(ZQBLogLevel::error);
    ZQBAnalyticsConfigurationLocal configuration;
    configuration.logLevel = ZQBLogLevel::debug;
    const auto core = Core::shared();
    core->initialize("", configuration);
    drain();
    // The configured level took effect before the key was looked at.
    EXPECT_EQ(Logger::logLevel(), ZQBLogLevel::debug);
    EXPECT_TRUE(core->isInitialized());
    EXPECT_FALSE(core->analyticsProxy()->analyticsLogic());
    EXPECT_TRUE(log.contains("Execution of the Initialize method was canceled!"));
    EXPECT_EQ(Journal::count("logic built"), 0u);

    core->initialize(kKey, std::nullopt);
    drain();
    EXPECT_TRUE(log.contains("SDK is already initialized"));
    EXPECT_EQ(Journal::count("logic built"), 0u);
}

TEST_F(CoreStartup, AnUnknownConfiguredLevelKeepsTheLevelInForce) {
    Logger::setLogLevel(ZQBLogLevel::warning);
    Core::shared()->initialize(kKey, ZQBAnalyticsConfigurationLocal{});
    drain();
    EXPECT_EQ(Logger::logLevel(), ZQBLogLevel::warning);
}

TEST_F(CoreStartup, ADatabaseThatCannotBeOpenedFailsTheStartUpAndKeepsTheCoreInitialised) {
    // A folder where the database file should be: SQLite cannot open it.
    const auto file = environment.directory() / SQLiteProvider::folderName / SQLiteProvider::fileName;
    std::filesystem::create_directories(file);
    const auto core = Core::shared();
    core->initialize(kKey, std::nullopt);
    drain();
    // Why, and then that the start-up failed.
    EXPECT_EQ(log.matching("ERROR"),
              (std::vector<std::string>{
                  "ERROR [Database Module] Cannot open the database " + file.string() + ": Is a directory",
                  "ERROR In the Initialize method an error has occurred: Can't init submodules"}));
    EXPECT_TRUE(core->isInitialized());
    EXPECT_FALSE(core->analyticsProxy()->analyticsLogic());
    EXPECT_EQ(Journal::count("logic built"), 0u);
    // The ids gathered meanwhile for this new device were not written for a start-up that did not go on.
    EXPECT_TRUE(environment.keychain().items().empty());

    // The life cycle built before the failure was released with everything else: nothing listens.
    environment.post(AppNotification::didEnterBackground);
    core->initialize(kKey, std::nullopt);
    drain();
    EXPECT_EQ(log.count("SDK is already initialized"), 1u);
}

TEST_F(CoreStartup, CallsQueuedBeforeTheStartUpAreRefusedAndCallsRightAfterItFindTheLogic) {
    const auto core = Core::shared();
    std::atomic<int> accepted{0};
    const auto call = [&] {
        QueueManager::incomeQueue().addOperation([&] {
            if (Core::shared()->analyticsProxy()->validateInitialization("customEvent(_:_:)")) {
                ++accepted;
            }
        });
    };
    call();
    core->initialize(kKey, std::nullopt);
    call();
    drain();
    EXPECT_EQ(accepted.load(), 1);
    EXPECT_EQ(
        log.count(
            "ERROR In the customEvent(_:_:) method an error has occurred: The SDK is not initialized yet!"),
        1u);
}

TEST_F(CoreStartup, BackgroundInitialisationWaitsForTheApplicationToBecomeActive) {
    environment.application().setApplicationState(host::ApplicationState::background);
    const auto core = Core::shared();
    core->initialize(kKey, std::nullopt);
    std::atomic<bool> queuedBehind{false};
    QueueManager::incomeQueue().addOperation([&] { queuedBehind = true; });

    // Nothing of the start-up runs while the application stays in the background, and a stop from there
    // does not hang on the paused queue.
    EXPECT_TRUE(QueueManager::incomeQueue().isSuspended());
    EXPECT_EQ(QueueManager::incomeQueue().operationCount(), 2u);
    ZQBHost::applicationDidEnterBackground();
    // A refused repeat does not pause the queue a second time.
    core->initialize(kKey, std::nullopt);

    ZQBHost::applicationDidBecomeActive();
    EXPECT_FALSE(QueueManager::incomeQueue().isSuspended());
    drain();
    EXPECT_TRUE(queuedBehind);
    ASSERT_TRUE(logicOf(core));
    EXPECT_EQ(Journal::count("logic built"), 1u);

    // Later transitions never pause it again.
    ZQBHost::applicationDidEnterBackground();
    ZQBHost::applicationDidBecomeActive();
    EXPECT_FALSE(QueueManager::incomeQueue().isSuspended());
    EXPECT_EQ(Journal::count("goBackground"), 1u);
}

TEST_F(CoreStartup, TheLogicHearsTheLifeCycleAndStopsHoldThePosterUntilDone) {
    Core::shared()->initialize(kKey, std::nullopt);
    drain();
    ZQBHost::applicationWillResignActive();
    EXPECT_EQ(Journal::all().back(), "goInactive");
    ZQBHost::applicationDidEnterBackground();
    EXPECT_EQ(Journal::all().back(), "goBackground");
    ZQBHost::applicationDidBecomeActive();
    drain();
    EXPECT_EQ(Journal::all().back(), "goActive");
    ZQBHost::applicationWillTerminate();
    EXPECT_EQ(Journal::all().back(), "goTerminate");
}

// A host may exit the moment a stopping call returns: what the stop itself wrote (the end of the session,
// the reports it packed) must be in the file by then, not only what was queued before it.
TEST_F(CoreStartup, AStopReturnsOnlyOnceItsOwnWritesAreInTheFile) {
    const auto core = Core::shared();
    core->initialize(kKey, std::nullopt);
    drain();
    const auto logic = logicOf(core);
    ASSERT_TRUE(logic);
    std::promise<void> release;
    logic->onTerminate = [&, held = release.get_future().share()] {
        // Whatever the queue would run after the stop waits until the poster has come back and looked.
        QueueManager::incomeQueue().addOperation([held] { held.wait(); });
        logic->serviceFactory->coreFactory()->database()->insert("tutorialMarkEntry",
                                                                 {{"step", SQLiteValue(int64_t{7})}});
    };
    ZQBHost::applicationWillTerminate();
    const int64_t rows = rowsInFile("tutorialMarkEntry");
    release.set_value();
    EXPECT_EQ(rows, 1);
}

TEST_F(CoreStartup, TheObserverIsWiredToTheLogic) {
    struct Listener final : ZQBIdentifiersListener {
        void didReceiveVorantelIdWith(int64_t id) override { received = id; }
        std::atomic<int64_t> received{0};
    };
    const auto core = Core::shared();
    auto listener = std::make_shared<Listener>();
    core->analyticsObserver()->addIdentifiersListener(listener);
    core->initialize(kKey, std::nullopt);
    drain();
    const auto logic = logicOf(core);
    ASSERT_TRUE(logic && logic->identifiersUpdate);
    logic->identifiersUpdate(1234);
    EXPECT_EQ(listener->received.load(), 1234);
}

TEST_F(CoreStartup, DestroyStopsTheLogicAndAnInitializeMadeBeforeItRanStartsAFreshCoreAfterIt) {
    auto first = Core::shared();
    first->initialize(kKey, std::nullopt);
    drain();

    std::promise<void> release;
    auto released = release.get_future().share();
    QueueManager::incomeQueue().addOperation([released] { released.wait(); });
    testing::internal::CaptureStdout();
    Core::destroy();
    // The old core has left the slot at once: a call made now is refused by a fresh core, and an
    // initialisation is accepted, both waiting behind the destroy.
    const auto second = Core::shared();
    EXPECT_NE(second, first);
    QueueManager::incomeQueue().addOperation([&] {
        if (Core::shared()->analyticsProxy()->validateInitialization("customEvent(_:_:)")) {
            Journal::add("call accepted");
        }
    });
    second->initialize(kKey, std::nullopt);
    EXPECT_TRUE(second->isInitialized());
    std::weak_ptr<Core> weakFirst = first;
    first.reset();
    release.set_value();
    drain();
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "ZQBAnalytics deinit Core module\n");
    EXPECT_TRUE(weakFirst.expired());
    EXPECT_EQ(log.count("SDK is already initialized"), 0u);
    EXPECT_EQ(
        log.count(
            "ERROR In the customEvent(_:_:) method an error has occurred: The SDK is not initialized yet!"),
        1u);
    // The old logic was stopped before the new one was built.
    const auto journal = Journal::all();
    const auto stopped = std::find(journal.begin(), journal.end(), "stopSDK");
    ASSERT_NE(stopped, journal.end());
    EXPECT_EQ(std::count(stopped, journal.end(), "logic built"), 1);
    EXPECT_EQ(Journal::count("call accepted"), 0u);
    EXPECT_EQ(Core::current(), second);
    EXPECT_TRUE(logicOf(second));

    // The released life cycle no longer reaches the old logic; the new one hears the application.
    ZQBHost::applicationDidEnterBackground();
    EXPECT_EQ(Journal::count("goBackground"), 1u);
}

// A public call borrows the core without holding a reference: the destroy operation must not release the
// core (and the proxy the call is queuing on) while a call on another thread still uses it.
TEST_F(CoreStartup, DestroyWaitsForACallThatBorrowedTheCoreBeforeReleasingIt) {
    std::weak_ptr<Core> weakCore = Core::shared();
    testing::internal::CaptureStdout();
    std::string deinit;
    {
        const auto borrowed = Core::borrowShared();
        EXPECT_EQ(&*borrowed, weakCore.lock().get());
        Core::destroy();
        // The slot empties before the destroy operation waits for the borrower.
        ASSERT_TRUE(waitUntil([] { return !Core::current(); }));
        EXPECT_FALSE(weakCore.expired());
        borrowed->analyticsProxy()->sendBufferedEvents();
    }
    drain();
    deinit = testing::internal::GetCapturedStdout();
    EXPECT_TRUE(weakCore.expired());
    EXPECT_EQ(deinit, "ZQBAnalytics deinit Core module\n");
    // The call queued on the released proxy did nothing, and the next borrower gets a new core.
    EXPECT_EQ(log.count("not initialized"), 0u);
    EXPECT_NE(&*Core::borrowShared(), nullptr);
}

// A destroyed library's graph may outlive its destroy: a network operation under way holds it until its
// exchange ends. Its database must not stay open meanwhile beside the one the next start-up opens: its group
// would keep the file locked from the new writes, or be repeated over rows the new library wrote, and its
// stale caches could still write. The destroy commits the group, or gives it up for good when the disk
// refuses it, and closes the file before the next start-up opens it.
TEST_F(CoreStartup, DestroyClosesTheDatabaseBeforeTheNextStartUpOpensItThoughAnotherThreadStillHoldsIt) {
    test::FullDiskVfs disk;
    const auto file = environment.directory() / SQLiteProvider::folderName / SQLiteProvider::fileName;
    const auto steps = [&] {
        std::vector<std::pair<int64_t, int64_t>> rows;
        Connection reader(file.string());
        Statement statement(reader, "SELECT step, id FROM tutorialMarkEntry ORDER BY step");
        while (statement.step()) {
            const auto row = statement.cursor().row();
            rows.emplace_back(std::get<int64_t>(*row.at(0)), std::get<int64_t>(*row.at(1)));
        }
        return rows;
    };
    const auto mark = [](const std::shared_ptr<DatabaseProtocol>& database, int64_t step) {
        return database->insert("tutorialMarkEntry", {{"step", SQLiteValue(step)}});
    };
    const auto databaseOf = [](const std::shared_ptr<Core>& core) {
        return logicOf(core)->serviceFactory->coreFactory()->database();
    };
    Core::shared()->initialize(kKey, std::nullopt);
    drain();

    std::vector<std::pair<int64_t, int64_t>> expected;
    // Round 0: the destroy's writes are committed. Round 1: the disk refuses them; they are lost, and said
    // so.
    for (int64_t round = 0; round < 2; ++round) {
        SCOPED_TRACE(round);
        const auto first = Core::current();
        const auto oldDatabase = databaseOf(first);
        const int64_t base = round * 10;
        // The destroyed library's last writes, on the income queue: its group is still open when the destroy
        // operation ends.
        std::vector<int64_t> oldIds;
        logicOf(first)->onStop = [&, oldDatabase] {
            for (int64_t step = base + 1; step <= base + 3; ++step) {
                const auto id = mark(oldDatabase, step);
                ASSERT_TRUE(id);
                oldIds.push_back(*id);
                if (round == 0) {
                    expected.emplace_back(step, *id);
                }
            }
        };
        std::promise<void> release;
        std::promise<std::pair<std::optional<int64_t>, int64_t>> staleWrites;
        QueueManager::networkSerialQueue().addOperation(
            [&, oldDatabase, held = release.get_future().share()] {
                held.wait();
                // The destroyed library's caches are stale: nothing of it reaches the file any more, nor
                // the row that holds an id it was given (after round 1, a row of the new library's).
                staleWrites.set_value(
                    {mark(oldDatabase, base + 9),
                     oldDatabase->deleteRows("tutorialMarkEntry", "id = ?", {SQLiteValue(oldIds.front())})});
            });
        disk.setFull(round == 1);
        Core::destroy();
        QueueManager::incomeQueue().addOperation([&disk] { disk.setFull(false); });
        Core::shared()->initialize(kKey, std::nullopt);
        drain();

        const auto database = databaseOf(Core::current());
        QueueManager::incomeQueue().addOperation([&] {
            for (int64_t step = base + 4; step <= base + 6; ++step) {
                const auto id = mark(database, step);
                ASSERT_TRUE(id);
                expected.emplace_back(step, *id);
            }
        });
        drain();
        release.set_value();
        const auto stale = staleWrites.get_future().get();
        EXPECT_EQ(stale.first, std::nullopt);
        EXPECT_EQ(stale.second, 0);
        QueueManager::networkSerialQueue().waitUntilAllOperationsAreFinished();
        database->commitWrites();
        EXPECT_EQ(steps(), expected);
    }
    EXPECT_EQ(log.count("database is locked"), 0u);
    EXPECT_EQ(
        log.matching("Error in inserting: database or disk is full (code: 13); closing the database"),
        (std::vector<std::string>{
            "ERROR [Database Module] Error in inserting: database or disk is full (code: 13); closing the "
            "database lost the 3 writes that were not committed"}));
    Core::destroy();
    drain();
}

// A caller that took the core from the slot before the destroy may still initialise it after the destroy
// has run: that core builds nothing, so that no database of it is open beside the next core's.
TEST_F(CoreStartup, ACoreInitialisedAfterItsDestroyRanBuildsNothing) {
    const auto held = Core::shared();
    Core::destroy();
    drain();
    held->initialize(kKey, std::nullopt);
    drain();
    EXPECT_EQ(Journal::count("logic built"), 0u);
    EXPECT_FALSE(held->analyticsProxy()->analyticsLogic());
}

TEST_F(CoreStartup, DestroyWithoutAnyEarlierUseCreatesAndReleasesOneCore) {
    testing::internal::CaptureStdout();
    Core::destroy();
    drain();
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "ZQBAnalytics deinit Core module\n");
    EXPECT_FALSE(Core::current());
    EXPECT_EQ(Journal::count("stopSDK"), 0u);
}

// The host's buffered output is the host's to flush: from a library thread that flush could race with the
// one of the process's exit and write the host's output twice.
TEST_F(CoreStartup, TheDeinitLineIsOneWriteOfItsOwnThatLeavesTheHostsBufferedOutputAlone) {
    testing::internal::CaptureStdout();
    std::fputs("host output not flushed yet", stdout);
    Core::destroy();
    drain();
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "ZQBAnalytics deinit Core module\nhost output not flushed yet");
}

TEST_F(CoreStartup, EditorModeIsReadThroughTheCoreWithoutKeepingOrRevivingIt) {
    auto core = Core::shared();
    core->initialize(kKey, std::nullopt);
    drain();
    const auto stateManager = logicOf(core)->serviceFactory->stateManager();
    EXPECT_FALSE(stateManager->isEditorMode());
    core->enableEditorMode();
    EXPECT_TRUE(stateManager->isEditorMode());
    EXPECT_FALSE(stateManager->getVersion().appVersion);

    Core::destroy();
    core.reset();
    drain();
    EXPECT_FALSE(stateManager->isEditorMode());
    EXPECT_FALSE(Core::current());
}

TEST_F(CoreStartup, InitialisingFromEightThreadsAtOnceGivesOneCoreAndOneStartUp) {
    constexpr int kThreads = 8;
    std::atomic<int> ready{0};
    std::atomic<bool> go{false};
    std::vector<std::shared_ptr<Core>> seen(kThreads);
    std::vector<std::thread> threads;
    for (int i = 0; i < kThreads; ++i) {
        threads.emplace_back([&, i] {
            ++ready;
            while (!go.load()) {
                std::this_thread::yield();
            }
            seen[i] = Core::shared();
            seen[i]->initialize(kKey, std::nullopt);
        });
    }
    ASSERT_TRUE(waitUntil([&] { return ready.load() == kThreads; }));
    go = true;
    for (auto& thread : threads) {
        thread.join();
    }
    drain();
    for (const auto& core : seen) {
        EXPECT_EQ(core, seen.front());
    }
    EXPECT_EQ(Journal::count("logic built"), 1u);
    EXPECT_EQ(log.count("SDK is already initialized"), static_cast<std::size_t>(kThreads - 1));
    EXPECT_TRUE(logicOf(seen.front()));
}

}  // namespace
}  // namespace zqb

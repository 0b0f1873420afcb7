#include "backend/Config.hpp"
#include "backend/Versions.hpp"
#include "core/CoreManager.hpp"
#include "core/DeviceManager.hpp"
#include "core/StateManager.hpp"
#include "core/StoredAdvertisingIds.hpp"
#include "database/SQLiteProvider.hpp"
#include "foundation/SdkConstraints.hpp"
#include "host/Environment.hpp"
#include "migration/NoLegacyDataMigration.hpp"
#include "platform/PlatformiOS.hpp"
#include "repositories/EventRepository.hpp"
#include "repositories/IdentifiersRepository.hpp"
#include "repositories/ProjectRepository.hpp"
#include "repositories/ReportsRepository.hpp"
#include "repositories/ToolsRepository.hpp"
#include "repositories/UserRepository.hpp"
#include "support/LogCapture.hpp"
#include "support/ScopedEnvironment.hpp"
#include "support/SharedDatabase.hpp"

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace zqb {
namespace {

constexpr const char* kStateKey = "state-test-key";

// Platform facts under the test's control; device facts answered at once.
class FakePlatform final : public PlatformProtocol {
public:
    ApplicationData getApplicationData() override { return application; }
    void getDeviceData(std::function<void(DeviceData)> completionHandler) override {
        if (device) {
            completionHandler(*device);
        }
    }
    IdentifierData getIdentifierData() override { return identifiers; }
    SdkData getSdkData() override { return {"2.1.2", 10}; }
    // As the platform gathers the ids again: an advertising identifier in use gives way to the vendor's.
    void withdrawAdvertisingIdentifier() override {
        identifiers.isLimitAdTrackingEnabled = true;
        identifiers.idfa.reset();
        if (identifiers.deviceUIDs.currentIsAdvertising) {
            identifiers.deviceUIDs = {*identifiers.idfv, std::nullopt};
        }
    }

    ApplicationData application{"1.2.3", "45", "com.example.app", 1};
    IdentifierData identifiers{{"DEVICE-1", "DEVICE-0"}, false, "IDFV-1", std::nullopt, "UUID-1"};
    std::optional<DeviceData> device;
};

// Records whether it ran and what the project looked like then.
class RecordingMigration final : public SDKMigrationManagerProtocol {
public:
    void migrate(const std::shared_ptr<Project>& project) override {
        ++calls;
        userChosenBefore = project->activeUserId.has_value();
    }
    int calls = 0;
    bool userChosenBefore = false;
};

// One launch of the library over the test's database file: fresh repositories (empty caches), managers
// and state manager, as a start-up builds them.
struct Launch {
    std::shared_ptr<ProjectRepository> projects;
    std::shared_ptr<UserRepository> users;
    std::shared_ptr<IdentifiersRepository> identifiers;
    std::shared_ptr<ToolsRepository> tools;
    std::shared_ptr<EventRepository> events;
    std::shared_ptr<ReportsRepository> reports;
    std::shared_ptr<DeviceManager> deviceManager;
    std::shared_ptr<StateManager> state;
};

class CoreStateManager : public ::testing::Test {
protected:
    Launch launch(
        const std::optional<std::string>& userId,
        std::shared_ptr<SDKMigrationManagerProtocol> migration = std::make_shared<NoLegacyDataMigration>(),
        StateManager::EditorMode editorMode = nullptr,
        std::chrono::milliseconds deviceDataTimeout = DeviceManager::defaultDeviceDataTimeout) {
        Launch result;
        result.projects =
            std::make_shared<ProjectRepository>(database, zqb::host::Environment::shared().clock());
        result.users = std::make_shared<UserRepository>(database);
        result.identifiers = std::make_shared<IdentifiersRepository>(database);
        result.tools = std::make_shared<ToolsRepository>(database);
        result.events = std::make_shared<EventRepository>(database);
        result.reports = std::make_shared<ReportsRepository>(database);
        result.deviceManager = std::make_shared<DeviceManager>(
            result.identifiers, result.tools, platform,
            std::make_shared<StoredAdvertisingIds>(result.identifiers, result.tools, result.users,
                                                   result.events, result.reports, database),
            deviceDataTimeout);
        auto coreManager = std::make_shared<CoreManager>(kStateKey, result.projects, result.users,
                                                         zqb::host::Environment::shared().clock());
        result.state = std::make_shared<StateManager>(result.deviceManager, coreManager, std::move(migration),
                                                      zqb::host::Environment::shared().clock(), userId,
                                                      std::move(editorMode));
        return result;
    }

    // Stores a configuration for the key's project with the given user counting.
    void setUserCounting(Launch& current, bool userCounting) {
        Config config = Config::defaulConfiguration(*zqb::host::Environment::shared().clock());
        config.userCounting = userCounting;
        current.state->getActiveProject()->configurationJson = config.toJson().dump();
        current.projects->update(current.state->getActiveProject());
    }

    std::vector<std::shared_ptr<User>> storedUsers() { return UserRepository(database).list(); }
    std::vector<std::shared_ptr<DeviceIdentifiers>> storedIdentifiers() {
        return IdentifiersRepository(database).list();
    }

    test::ScopedEnvironment environment;
    test::LogCapture log;
    std::shared_ptr<SQLiteProvider> database = zqb::test::sharedDatabase();
    std::shared_ptr<FakePlatform> platform = std::make_shared<FakePlatform>();
};

TEST_F(CoreStateManager, AFirstStartStoresTheProjectADefaultUserAndTheDeviceIds) {
    auto first = launch(std::nullopt);
    const auto project = first.state->getActiveProject();
    EXPECT_EQ(project->applicationKey, kStateKey);
    EXPECT_GE(project->idKey, 0);
    const auto user = first.state->getActiveUser();
    EXPECT_EQ(user->userId, "DEVICE-1");
    EXPECT_TRUE(user->isDefaultUser);
    EXPECT_EQ(project->activeUserId, user->idKey);
    ASSERT_EQ(storedUsers().size(), 1u);
    EXPECT_EQ(
        ProjectRepository(database, zqb::host::Environment::shared().clock()).list().front()->activeUserId,
        user->idKey);

    const auto rows = storedIdentifiers();
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows.front()->deviceIdentifier, "DEVICE-1");
    EXPECT_EQ(rows.front()->previousDeviceIdentifier, "DEVICE-0");
    EXPECT_EQ(rows.front()->uuid, "UUID-1");

    // The next launch finds them all again and stores nothing new.
    auto second = launch(std::nullopt);
    EXPECT_EQ(second.state->getActiveProject()->idKey, project->idKey);
    EXPECT_EQ(second.state->getActiveUser()->idKey, user->idKey);
    EXPECT_EQ(storedUsers().size(), 1u);
    EXPECT_EQ(storedIdentifiers().size(), 1u);
}

// Tracking switched off while the device id is the advertising identifier: from that call on the device id
// is the vendor identifier, with no previous id, and the active default user, named after the device id,
// follows it at once; the next launch finds them so.
TEST_F(CoreStateManager, AWithdrawnAdvertisingIdLeavesTheDeviceIdAndTheActiveUserAtOnce) {
    platform->identifiers.deviceUIDs = {"AD-ID", "DEVICE-0", true};
    platform->identifiers.idfa = "AD-ID";
    auto current = launch(std::nullopt);
    const auto user = current.state->getActiveUser();
    ASSERT_EQ(user->userId, "AD-ID");

    current.state->withdrawAdvertisingIdentifier();
    EXPECT_EQ(current.state->getActiveUser()->userId, "IDFV-1");
    EXPECT_EQ(current.state->getActiveUser()->previousUserId, std::nullopt);
    const auto identifiers = current.state->getIdentifiers(*current.state->getActiveUser());
    EXPECT_EQ(identifiers.deviceId, "IDFV-1");
    EXPECT_EQ(identifiers.previousDeviceId, std::nullopt);
    EXPECT_EQ(identifiers.userId, "IDFV-1");
    EXPECT_EQ(identifiers.previousUserId, std::nullopt);

    auto next = launch(std::nullopt);
    EXPECT_EQ(next.state->getActiveUser()->idKey, user->idKey);
    EXPECT_EQ(next.state->getActiveUser()->userId, "IDFV-1");
    EXPECT_EQ(next.state->getIdentifiers(*next.state->getActiveUser()).previousDeviceId, std::nullopt);
    EXPECT_EQ(storedUsers().size(), 1u);
}

TEST_F(CoreStateManager, AnEmptyIdGivesTheDefaultUserWhichALaterIdTakesOverWithoutUserCounting) {
    {
        auto first = launch(std::string());
        EXPECT_EQ(first.state->getActiveUser()->userId, "DEVICE-1");
        EXPECT_TRUE(first.state->getActiveUser()->isDefaultUser);
        setUserCounting(first, false);
    }
    auto second = launch(std::string("A"));
    const auto user = second.state->getActiveUser();
    EXPECT_EQ(user->userId, "A");
    EXPECT_EQ(user->previousUserId, "DEVICE-1");
    EXPECT_FALSE(user->isDefaultUser);
    ASSERT_EQ(storedUsers().size(), 1u);
    EXPECT_EQ(storedUsers().front()->userId, "A");

    // A user that is not the default one never takes the device id back.
    auto third = launch(std::nullopt);
    EXPECT_EQ(third.state->getActiveUser()->userId, "A");
}

TEST_F(CoreStateManager, WithUserCountingEveryIdIsItsOwnUser) {
    auto current = launch(std::string("A"));
    const auto a = current.state->getActiveUser();
    current.state->activateUser("B");
    const auto b = current.state->getActiveUser();
    EXPECT_NE(a->idKey, b->idKey);
    EXPECT_EQ(b->userId, "B");
    current.state->activateUser("A");
    EXPECT_EQ(current.state->getActiveUser()->idKey, a->idKey);
    const auto inactive = current.state->getInactiveProjectUsers();
    ASSERT_EQ(inactive.size(), 1u);
    EXPECT_EQ(inactive.front()->userId, "B");
    EXPECT_EQ(current.state->getAllUsers().size(), 2u);
    // An empty id asks for the default user; A never was one, so the device id gets a user of its own.
    current.state->activateUser("");
    EXPECT_EQ(current.state->getActiveUser()->userId, "DEVICE-1");
    EXPECT_TRUE(current.state->getActiveUser()->isDefaultUser);
    EXPECT_EQ(current.state->getAllUsers().size(), 3u);
}

TEST_F(CoreStateManager, ChoosingTheUserAtStartUpKeepsTheServerIdsButSwitchingLaterClearsThem) {
    {
        auto first = launch(std::string("A"));
        first.state->updateDeviceIdentifiers(11, 22, 33);
        const auto identifiers = first.state->getIdentifiers(*first.state->getActiveUser());
        EXPECT_EQ(identifiers.vorantelId, 11);
        EXPECT_EQ(identifiers.crossPlatformVorantelId, 22);
        EXPECT_EQ(identifiers.vorantelIdTimestamp, 33);
        EXPECT_EQ(identifiers.deviceId, "DEVICE-1");
        EXPECT_EQ(identifiers.previousDeviceId, "DEVICE-0");
        EXPECT_EQ(identifiers.userId, "A");
        EXPECT_EQ(storedIdentifiers().front()->vorantelId, 11);
    }
    auto second = launch(std::string("B"));
    EXPECT_EQ(second.state->getActiveUser()->userId, "B");
    EXPECT_EQ(second.state->getIdentifiers(*second.state->getActiveUser()).vorantelId, 11);

    second.state->activateUser("A");
    const auto identifiers = second.state->getIdentifiers(*second.state->getActiveUser());
    EXPECT_FALSE(identifiers.vorantelId);
    EXPECT_FALSE(identifiers.crossPlatformVorantelId);
    EXPECT_FALSE(identifiers.vorantelIdTimestamp);
    EXPECT_FALSE(storedIdentifiers().front()->vorantelId);

    // Activating the user that is already active changes nothing.
    second.state->updateDeviceIdentifiers(44, std::nullopt, 55);
    second.state->activateUser("A");
    EXPECT_EQ(second.state->getIdentifiers(*second.state->getActiveUser()).vorantelId, 44);
}

TEST_F(CoreStateManager, RenamingTheActiveUserClearsTheServerIdsButRenamingAnotherDoesNot) {
    auto current = launch(std::string("A"));
    current.state->activateUser("B");
    current.state->updateDeviceIdentifiers(7, 8, 9);
    const auto a = current.state->getInactiveProjectUsers().front();
    current.state->replaceUserId(a, "A2");
    EXPECT_EQ(a->userId, "A2");
    EXPECT_EQ(a->previousUserId, "A");
    EXPECT_EQ(current.state->getActiveDeviceIdentifiers()->vorantelId, 7);

    const auto b = current.state->getActiveUser();
    current.state->replaceUserId(b, "B2");
    EXPECT_EQ(current.state->getActiveUser()->userId, "B2");
    EXPECT_FALSE(b->isDefaultUser);
    EXPECT_FALSE(current.state->getActiveDeviceIdentifiers()->vorantelId);
    EXPECT_FALSE(current.state->getActiveDeviceIdentifiers()->vorantelIdTimestamp);
}

TEST_F(CoreStateManager, TheMigrationRunsOnceBeforeTheUserIsChosenAndNotForAMigratedProject) {
    auto migration = std::make_shared<RecordingMigration>();
    auto first = launch(std::nullopt, migration);
    EXPECT_EQ(migration->calls, 1);
    EXPECT_FALSE(migration->userChosenBefore);

    first.state->getActiveProject()->isMigrated = true;
    first.projects->update(first.state->getActiveProject());
    auto again = std::make_shared<RecordingMigration>();
    launch(std::nullopt, again);
    EXPECT_EQ(again->calls, 0);
}

TEST_F(CoreStateManager, AProjectThatLostItsActiveUserTakesTheStoredOneInsteadOfADuplicate) {
    std::optional<int64_t> firstId;
    {
        auto first = launch(std::nullopt);
        firstId = first.state->getActiveUser()->idKey;
        // As if a start had stored the user and stopped before storing the project.
        first.state->getActiveProject()->activeUserId.reset();
        first.projects->update(first.state->getActiveProject());
    }
    auto second = launch(std::nullopt);
    EXPECT_EQ(second.state->getActiveUser()->idKey, firstId);
    EXPECT_EQ(second.state->getActiveProject()->activeUserId, firstId);
    EXPECT_EQ(storedUsers().size(), 1u);
}

TEST_F(CoreStateManager, VersionsCarryTheLibraryTheApplicationAndTheStoredConfiguration) {
    bool editor = false;
    auto current = launch(std::nullopt, std::make_shared<NoLegacyDataMigration>(), [&] { return editor; });
    Versions versions = current.state->getVersion();
    EXPECT_EQ(versions.sdkVersion, SdkConstraints::sdkVersion());
    EXPECT_EQ(versions.sdkCodeVersion, 10);
    EXPECT_EQ(versions.appVersion, "1.2.3");
    EXPECT_EQ(versions.appBuildVersion, "45");
    EXPECT_FALSE(versions.excludeVersion);

    Config config = Config::defaulConfiguration(*zqb::host::Environment::shared().clock());
    config.exclude = ExcludeEvents{};
    config.exclude->version = 6;
    config.sbsConfigVersion = 4;
    current.state->getActiveProject()->configurationJson = config.toJson().dump();
    editor = true;
    versions = current.state->getVersion();
    EXPECT_FALSE(versions.appVersion);
    EXPECT_FALSE(versions.appBuildVersion);
    EXPECT_EQ(versions.excludeVersion, 6);
    EXPECT_EQ(versions.sbsConfigVersion, 4);
}

// Every service reads the configuration here: it follows the project's stored text as that changes, and a
// text that is not a configuration stands for the default one without a word in the log.
TEST_F(CoreStateManager, TheActiveConfigurationFollowsTheStoredTextAndFallsBackToTheDefault) {
    auto current = launch(std::nullopt);
    const auto project = current.state->getActiveProject();
    const Config& active = current.state->getActiveConfiguration();
    EXPECT_EQ(active.countForRequest,
              Config::defaulConfiguration(*zqb::host::Environment::shared().clock()).countForRequest);

    Config config = Config::defaulConfiguration(*zqb::host::Environment::shared().clock());
    config.countForRequest = 3;
    config.sessionTimeout = 1000;
    project->configurationJson = config.toJson().dump();
    EXPECT_EQ(current.state->getActiveConfiguration().countForRequest, 3);
    EXPECT_EQ(current.state->getActiveConfiguration().sessionTimeout, 1000);
    EXPECT_EQ(&current.state->getActiveConfiguration(), &active);

    log.clear();
    project->configurationJson = R"({"countForRequest":"three"})";
    EXPECT_EQ(current.state->getActiveConfiguration().countForRequest,
              Config::defaulConfiguration(*zqb::host::Environment::shared().clock()).countForRequest);
    EXPECT_TRUE(log.texts().empty());
    project->configurationJson.reset();
    EXPECT_EQ(current.state->getActiveConfiguration().sessionTimeout,
              Config::defaulConfiguration(*zqb::host::Environment::shared().clock()).sessionTimeout);
}

TEST_F(CoreStateManager, TheDeviceEventIsBuiltFromThePlatformFactsOrNotAtAll) {
    // No device facts in time: no event.
    auto current = launch(std::nullopt, std::make_shared<NoLegacyDataMigration>(), nullptr,
                          std::chrono::milliseconds(20));
    EXPECT_FALSE(current.state->getDeviceInfo(1'700'000'000'000));

    DeviceData device;
    device.osVersion = "12.1";
    device.osName = "Linux";
    device.displayPpi = 401;
    device.displayResolution = "2436x1125";
    device.displayDiagonal = 4.7000049;
    device.manufacturer = "Maker";
    device.model = "x86_64";
    device.timeZoneOffset = 3600;
    device.isRooted = true;
    platform->device = device;
    auto info = current.state->getDeviceInfo(1'700'000'000'000);
    ASSERT_TRUE(info);
    EXPECT_EQ(info->timestamp, 1'700'000'000'000);
    EXPECT_EQ(info->displayDiagonal, 4.7);
    EXPECT_EQ(info->rooted, 1);
    EXPECT_EQ(info->os, "Linux");
    EXPECT_EQ(info->osVersion, "12.1");
    EXPECT_EQ(info->timeZoneOffset, 3600);
    EXPECT_TRUE(info->isLimitAdTrackingEnabled);
    EXPECT_EQ(info->idfv, "IDFV-1");
    EXPECT_EQ(info->uuid, "UUID-1");
    EXPECT_EQ(info->sandboxState, 1);

    platform->device->displayDiagonal = 6.1234567;
    platform->device->isRooted = false;
    platform->identifiers.idfa = "IDFA-1";
    info = current.state->getDeviceInfo(1'700'000'000'000);
    ASSERT_TRUE(info);
    EXPECT_EQ(info->displayDiagonal, 6.12346);
    EXPECT_EQ(info->rooted, 0);
    EXPECT_FALSE(info->isLimitAdTrackingEnabled);
    EXPECT_EQ(info->idfa, "IDFA-1");
}

}  // namespace
}  // namespace zqb

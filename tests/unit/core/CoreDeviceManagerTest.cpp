#include "core/ApplicationLifeCycle.hpp"
#include "core/DeviceManager.hpp"
#include "core/StoredAdvertisingIds.hpp"
#include "database/SQLiteProvider.hpp"
#include "foundation/QueueManager.hpp"
#include "foundation/SdkConstraints.hpp"
#include "host/Environment.hpp"
#include "model/EventObject.hpp"
#include "model/Report.hpp"
#include "model/User.hpp"
#include "platform/PlatformiOS.hpp"
#include "repositories/EventRepository.hpp"
#include "repositories/IdentifiersRepository.hpp"
#include "repositories/ReportsRepository.hpp"
#include "repositories/ToolsRepository.hpp"
#include "repositories/UserRepository.hpp"
#include "support/ScopedEnvironment.hpp"
#include "support/SharedDatabase.hpp"
#include "support/Wait.hpp"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <future>
#include <iterator>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace zqb {
namespace {

using namespace std::chrono_literals;

const std::string kAdId = "AAAAAAAA-BBBB-4CCC-8DDD-EEEEEEEEEEEE";
const std::string kVendorId = "11111111-2222-4333-8444-555555555555";

// Device facts answered as the test says: at once, never, later on the platform's own thread, or whenever
// the test calls the kept completion.
class ScriptedPlatform final : public PlatformProtocol {
public:
    enum class Answer { atOnce, never, ownThread, kept };

    ~ScriptedPlatform() override {
        for (auto& thread : threads_) {
            thread.join();
        }
    }
    ApplicationData getApplicationData() override { return {}; }
    void getDeviceData(std::function<void(DeviceData)> completionHandler) override {
        DeviceData data;
        data.model = "model-1";
        switch (answer) {
            case Answer::atOnce:
                completionHandler(data);
                break;
            case Answer::never:
                break;
            case Answer::ownThread:
                threads_.emplace_back([completionHandler, data] { completionHandler(data); });
                break;
            case Answer::kept:
                kept = [completionHandler, data] { completionHandler(data); };
                break;
        }
    }
    IdentifierData getIdentifierData() override { return identifiers; }
    SdkData getSdkData() override { return {}; }
    void withdrawAdvertisingIdentifier() override { identifiers.isLimitAdTrackingEnabled = true; }

    Answer answer = Answer::atOnce;
    IdentifierData identifiers{{"DEVICE-1", std::nullopt}, false, std::nullopt, std::nullopt, "UUID-1"};
    std::function<void()> kept;

private:
    std::vector<std::thread> threads_;
};

class CoreDeviceManager : public ::testing::Test {
protected:
    void TearDown() override { SdkConstraints::setSdkVersion(SdkConstraints::defaultSdkVersion); }

    DeviceManager manager(std::chrono::milliseconds timeout = DeviceManager::defaultDeviceDataTimeout) {
        return DeviceManager(std::make_shared<IdentifiersRepository>(database),
                             std::make_shared<ToolsRepository>(database), platform, advertisingIds(),
                             timeout);
    }

    std::shared_ptr<StoredAdvertisingIds> advertisingIds() {
        return std::make_shared<StoredAdvertisingIds>(
            std::make_shared<IdentifiersRepository>(database), std::make_shared<ToolsRepository>(database),
            std::make_shared<UserRepository>(database), std::make_shared<EventRepository>(database),
            std::make_shared<ReportsRepository>(database), database);
    }

    test::ScopedEnvironment environment;
    std::shared_ptr<SQLiteProvider> database = zqb::test::sharedDatabase();
    std::shared_ptr<ScriptedPlatform> platform = std::make_shared<ScriptedPlatform>();
    Project project = [] {
        Project value("device-test-key");
        value.idKey = 1;
        return value;
    }();
};

TEST_F(CoreDeviceManager, TheLibraryVersionIsRecordedAtTheFirstStartAndAChangeIsToldOnce) {
    EXPECT_EQ(manager().sdkVersionIsChanged(), std::nullopt);
    EXPECT_EQ(manager().sdkVersionIsChanged(), false);
    SdkConstraints::setSdkVersion("3.0.0");
    EXPECT_EQ(manager().sdkVersionIsChanged(), true);
    EXPECT_EQ(manager().sdkVersionIsChanged(), false);
    const auto stored = ToolsRepository(database).list();
    ASSERT_EQ(stored.size(), 1u);
    EXPECT_EQ(stored.front()->getMetadataByKey(DeviceManager::sdkVersionKey)->toString(), "3.0.0");

    // A row without the key, or with another kind of value, says nothing changed and is left alone.
    stored.front()->setMetadataByKey(DeviceManager::sdkVersionKey, PeopleValueType(int64_t{3}));
    ToolsRepository(database).update(stored.front());
    EXPECT_EQ(manager().sdkVersionIsChanged(), false);
    EXPECT_EQ(
        ToolsRepository(database).list().front()->getMetadataByKey(DeviceManager::sdkVersionKey)->intValue(),
        3);
}

TEST_F(CoreDeviceManager, AChangedDeviceIdBecomesThePreviousOneAndClearsTheServerIds) {
    auto first = manager().initializeDeviceId(project);
    EXPECT_EQ(first->projectId, 1);
    EXPECT_EQ(first->deviceIdentifier, "DEVICE-1");
    EXPECT_FALSE(first->previousDeviceIdentifier);
    first->vorantelId = 5;
    first->crossPlatformVorantelId = 6;
    first->vorantelIdTimestamp = 7;
    manager().updateDeviceIdentifiers(first);
    EXPECT_EQ(manager().initializeDeviceId(project)->vorantelId, 5);

    platform->identifiers.deviceUIDs = {"DEVICE-2", "DEVICE-1"};
    const auto changed = manager().initializeDeviceId(project);
    EXPECT_EQ(changed->deviceIdentifier, "DEVICE-2");
    EXPECT_EQ(changed->previousDeviceIdentifier, "DEVICE-1");
    EXPECT_FALSE(changed->vorantelId);
    EXPECT_FALSE(changed->crossPlatformVorantelId);
    EXPECT_FALSE(changed->vorantelIdTimestamp);
    const auto stored = IdentifiersRepository(database).list();
    ASSERT_EQ(stored.size(), 1u);
    EXPECT_EQ(stored.front()->deviceIdentifier, "DEVICE-2");
    EXPECT_FALSE(stored.front()->vorantelId);

    // Each project has its own row.
    Project other("other-key");
    other.idKey = 2;
    manager().initializeDeviceId(other);
    EXPECT_EQ(IdentifiersRepository(database).list().size(), 2u);
}

// Which of the row's ids are advertising identifiers follows the platform through the changes while
// tracking is allowed; once it is not, the row keeps none, and the change away from one has no previous id.
TEST_F(CoreDeviceManager, TheRowsAdvertisingIdsAreMarkedAndDroppedOnceNotAllowed) {
    using Marks = StoredAdvertisingIds::Marks;
    platform->identifiers.deviceUIDs = {kAdId, std::nullopt, true};
    manager().initializeDeviceId(project);
    EXPECT_EQ(advertisingIds()->marksOf(project.idKey), (Marks{true, false}));

    // Allowed, without the identifier now: reported as any change, the previous id still marked.
    platform->identifiers.deviceUIDs = {kVendorId, kAdId, false, true};
    const auto changed = manager().initializeDeviceId(project);
    EXPECT_EQ(changed->previousDeviceIdentifier, kAdId);
    EXPECT_EQ(advertisingIds()->marksOf(project.idKey), (Marks{false, true}));

    platform->identifiers.deviceUIDs = {kVendorId, std::nullopt};
    platform->identifiers.isLimitAdTrackingEnabled = true;
    const auto refused = manager().initializeDeviceId(project);
    EXPECT_EQ(refused->deviceIdentifier, kVendorId);
    EXPECT_EQ(refused->previousDeviceIdentifier, std::nullopt);
    EXPECT_EQ(advertisingIds()->marksOf(project.idKey), (Marks{}));

    // Allowed again: the identifier is the device id again, reported as any change.
    platform->identifiers.isLimitAdTrackingEnabled = false;
    platform->identifiers.deviceUIDs = {kAdId, kVendorId, true};
    const auto again = manager().initializeDeviceId(project);
    EXPECT_EQ(again->deviceIdentifier, kAdId);
    EXPECT_EQ(again->previousDeviceIdentifier, kVendorId);
    EXPECT_EQ(advertisingIds()->marksOf(project.idKey), (Marks{true, false}));
}

// Rows and ids kept before the marks existed say nothing: a change away from such an id while tracking is
// not allowed is made as always. Seen again as the advertising identifier while it is allowed, the id is
// marked, and is dropped at the next refusal.
TEST_F(CoreDeviceManager, UnmarkedRowsOfEarlierVersionsChangeAsBeforeUntilTheirIdIsSeenAgain) {
    using Marks = StoredAdvertisingIds::Marks;
    auto legacy = std::make_shared<DeviceIdentifiers>(project.idKey, kAdId, "UUID-1");
    IdentifiersRepository(database).insert(legacy);
    platform->identifiers.deviceUIDs = {kVendorId, std::nullopt};
    platform->identifiers.isLimitAdTrackingEnabled = true;
    EXPECT_EQ(manager().initializeDeviceId(project)->previousDeviceIdentifier, kAdId);

    Project other("other-key");
    other.idKey = 2;
    IdentifiersRepository(database).insert(std::make_shared<DeviceIdentifiers>(other.idKey, kAdId, "UUID-1"));
    platform->identifiers.isLimitAdTrackingEnabled = false;
    platform->identifiers.deviceUIDs = {kAdId, std::nullopt, true};
    manager().initializeDeviceId(other);
    EXPECT_EQ(advertisingIds()->marksOf(other.idKey), (Marks{true, false}));
    platform->identifiers.deviceUIDs = {kVendorId, std::nullopt};
    platform->identifiers.isLimitAdTrackingEnabled = true;
    const auto refused = manager().initializeDeviceId(other);
    EXPECT_EQ(refused->deviceIdentifier, kVendorId);
    EXPECT_EQ(refused->previousDeviceIdentifier, std::nullopt);
}

// The first look at the identifiers once the advertising identifier is not allowed removes every one the
// database keeps: from the rows of every project, from the users named after one, and from the device
// events and reports waiting to be sent; and the file keeps no byte of them.
TEST_F(CoreDeviceManager, AWithdrawnAdvertisingIdLeavesNothingInTheDatabase) {
    using Marks = StoredAdvertisingIds::Marks;
    Project other("other-key");
    other.idKey = 2;
    platform->identifiers.deviceUIDs = {kAdId, std::string("BEFORE"), true};
    for (const Project* each : {&project, &other}) {
        const auto row = manager().initializeDeviceId(*each);
        row->vorantelId = 5;
        manager().updateDeviceIdentifiers(row);
    }
    UserRepository users(database);
    auto defaultUser = std::make_shared<User>(project.idKey, kAdId, true);
    defaultUser->previousUserId = "EARLIER";
    auto named = std::make_shared<User>(project.idKey, "player-1", false);
    named->previousUserId = kAdId;
    auto otherDefault = std::make_shared<User>(other.idKey, kAdId, true);
    for (const auto& user : {defaultUser, named, otherDefault}) {
        users.insert(user);
    }
    const std::string deviceEvent =
        R"({"code":"di","timestamp":1,"isLimitAdTrackingEnabled":false,"idfv":")" + kVendorId +
        R"(","idfa":")" + kAdId + R"(","uuid":"UUID-1"})";
    const std::string customEvent = R"({"code":"ce","timestamp":2,"name":")" + kAdId + R"("})";
    EventRepository events(database);
    events.insert(EventObject::make("di", -1, defaultUser->idKey, deviceEvent));
    events.insert(EventObject::make("ce", -1, defaultUser->idKey, customEvent));
    Package package;
    package.sdkVersion = "2.1.2";
    package.events = std::vector<std::string>{deviceEvent};
    auto report = std::make_shared<Report>(std::vector<Package>{package});
    report->userId = named->idKey;
    ReportsRepository(database).insert(report);

    platform->identifiers.deviceUIDs = {kVendorId, std::nullopt};
    platform->identifiers.isLimitAdTrackingEnabled = true;
    const auto row = manager().initializeDeviceId(project);
    EXPECT_EQ(row->deviceIdentifier, kVendorId);
    EXPECT_EQ(row->previousDeviceIdentifier, std::nullopt);
    EXPECT_EQ(row->vorantelId, std::nullopt);
    for (const auto& stored : IdentifiersRepository(database).list()) {
        EXPECT_EQ(stored->deviceIdentifier, kVendorId);
        EXPECT_EQ(stored->previousDeviceIdentifier, std::nullopt);
        EXPECT_EQ(advertisingIds()->marksOf(stored->projectId), (Marks{}));
    }
    const auto storedUsers = UserRepository(database).list();
    ASSERT_EQ(storedUsers.size(), 3u);
    EXPECT_EQ(storedUsers[0]->userId, kVendorId);
    EXPECT_EQ(storedUsers[0]->previousUserId, std::nullopt);
    EXPECT_EQ(storedUsers[1]->userId, "player-1");
    EXPECT_EQ(storedUsers[1]->previousUserId, std::nullopt);
    EXPECT_EQ(storedUsers[2]->userId, kVendorId);

    const auto storedEvents = EventRepository(database).list();
    ASSERT_EQ(storedEvents.size(), 2u);
    const auto stripped = nlohmann::json::parse(storedEvents[0]->json());
    EXPECT_FALSE(stripped.contains("idfa"));
    EXPECT_EQ(stripped["isLimitAdTrackingEnabled"], true);
    EXPECT_EQ(stripped["idfv"], kVendorId);
    // A text the host gave is the host's: only the device events' identifier is the library's to remove.
    EXPECT_EQ(storedEvents[1]->json(), customEvent);
    const auto storedReports = ReportsRepository(database).list();
    ASSERT_EQ(storedReports.size(), 1u);
    EXPECT_EQ(storedReports[0]->uuid, report->uuid);
    EXPECT_EQ(storedReports[0]->idKey, report->idKey);
    ASSERT_TRUE(storedReports[0]->packagesJson);
    EXPECT_EQ(storedReports[0]->packagesJson->find(kAdId), std::string::npos);

    // Only the host's own text is left in the file.
    database->commitWrites();
    const auto path = *test::databaseFolder() / SQLiteProvider::fileName;
    for (const auto& file : {path, std::filesystem::path(path.string() + "-wal")}) {
        std::ifstream in(file, std::ios::binary);
        const std::string bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
        std::size_t copies = 0;
        for (auto at = bytes.find(kAdId); at != std::string::npos; at = bytes.find(kAdId, at + 1)) {
            ++copies;
        }
        EXPECT_LE(copies, file == path ? 1u : 0u) << file;
    }
}

TEST_F(CoreDeviceManager, DeviceFactsComeAtOnceOrFromAnotherThread) {
    EXPECT_EQ(manager().getDeviceData()->model, "model-1");
    platform->answer = ScriptedPlatform::Answer::ownThread;
    EXPECT_EQ(manager().getDeviceData()->model, "model-1");
}

TEST_F(CoreDeviceManager, NoAnswerWithinTheWaitGivesNothingAndALateAnswerIsDropped) {
    platform->answer = ScriptedPlatform::Answer::never;
    EXPECT_FALSE(manager(20ms).getDeviceData());

    platform->answer = ScriptedPlatform::Answer::kept;
    EXPECT_FALSE(manager(20ms).getDeviceData());
    ASSERT_TRUE(platform->kept);
    platform->kept();
}

TEST_F(CoreDeviceManager, TheDeviceWaitOnTheIncomeQueueIsNotHeldUpByALifeCycleWait) {
    // The income queue waits for device facts that come from the platform's own thread, while the
    // "main thread" waits for the income queue in a stopping notification: both finish.
    platform->answer = ScriptedPlatform::Answer::ownThread;
    auto lifeCycle = ApplicationLifeCycle::create(QueueManager::incomeQueue(), host::Environment::shared());
    struct Listener final : LifeCycleProtocol {
        void goActive() override {}
        void goInactive() override {}
        void goBackground() override { ++stops; }
        void goTerminate() override {}
        std::atomic<int> stops{0};
    };
    auto listener = std::make_shared<Listener>();
    lifeCycle->setLifeCycleListener(listener);
    auto deviceManager = std::make_shared<DeviceManager>(std::make_shared<IdentifiersRepository>(database),
                                                         std::make_shared<ToolsRepository>(database),
                                                         platform, advertisingIds());
    std::promise<std::optional<DeviceData>> answer;
    QueueManager::incomeQueue().addOperation([&] { answer.set_value(deviceManager->getDeviceData()); });
    const auto started = std::chrono::steady_clock::now();
    environment.post(host::AppNotification::didEnterBackground);
    EXPECT_EQ(listener->stops.load(), 1);
    auto future = answer.get_future();
    ASSERT_EQ(future.wait_for(0s), std::future_status::ready);
    EXPECT_EQ(future.get()->model, "model-1");
    EXPECT_LT(std::chrono::steady_clock::now() - started, 10s);
}

}  // namespace
}  // namespace zqb

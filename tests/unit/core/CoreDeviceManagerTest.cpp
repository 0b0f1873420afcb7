#include "core/ApplicationLifeCycle.hpp"
#include "core/DeviceManager.hpp"
#include "database/SQLiteProvider.hpp"
#include "foundation/QueueManager.hpp"
#include "foundation/SdkConstraints.hpp"
#include "host/Environment.hpp"
#include "platform/PlatformiOS.hpp"
#include "repositories/IdentifiersRepository.hpp"
#include "repositories/ToolsRepository.hpp"
#include "support/ScopedEnvironment.hpp"
#include "support/SharedDatabase.hpp"
#include "support/Wait.hpp"

#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace zqb {
namespace {

using namespace std::chrono_literals;

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
                             std::make_shared<ToolsRepository>(database), platform, timeout);
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
    auto deviceManager =
        std::make_shared<DeviceManager>(std::make_shared<IdentifiersRepository>(database),
                                        std::make_shared<ToolsRepository>(database), platform);
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

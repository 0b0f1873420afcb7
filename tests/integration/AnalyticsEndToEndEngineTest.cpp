// What a game-engine plug-in reaches through the engine wrapper, end to end: the version it reports in
// place of the library's, editor mode, destroying the library and starting it again (also after a start-up
// that failed), and the subscription calls that take plain strings.

#include "integration/EndToEndFixture.hpp"

#include <ZQBAnalytics/ZQBEngineWrapper.hpp>
#include <ZQBAnalytics/module/ZQBEventsRouter.hpp>

#include "foundation/SdkConstraints.hpp"
#include "support/LogCapture.hpp"

#include <chrono>
#include <filesystem>
#include <fstream>
#include <future>
#include <memory>
#include <string>
#include <vector>

namespace zqb {
namespace {

class AnalyticsEndToEndEngine : public test::EndToEndTest {
protected:
    ~AnalyticsEndToEndEngine() override { SdkConstraints::setSdkVersion(SdkConstraints::defaultSdkVersion); }

    // Lets the queued destroy run, as a plug-in's next frame would find it done.
    void destroy() {
        ZQBEngineWrapper::destroySDK();
        test::settleAll();
    }

    // A custom event sent right after the call and received by the gateway: the library is running.
    bool delivers(const std::string& name) {
        ZQBAnalytics::customEvent(name);
        ZQBAnalytics::sendBufferedEvents();
        return waitForCustomEvent(name);
    }

    // The package of the upload that carried the custom event `name`.
    nlohmann::json packageWith(const std::string& name) {
        for (const auto& request : gateway.requests(kReportPath)) {
            const auto body = nlohmann::json::parse(request.body, nullptr, false);
            for (const auto& report : body.value("reports", nlohmann::json::array())) {
                for (const auto& package : report.value("packages", nlohmann::json::array())) {
                    for (const auto& event : package.value("events", nlohmann::json::array())) {
                        if (event.value("name", "") == name) {
                            return package;
                        }
                    }
                }
            }
        }
        return nullptr;
    }

    // The body of the last configuration request.
    nlohmann::json lastConfigurationRequest() {
        const auto requests = gateway.requests(kConfigPath);
        return requests.empty() ? nlohmann::json() : nlohmann::json::parse(requests.back().body);
    }

    std::string sdkVersionAnswer() {
        auto answer = std::make_shared<std::string>("unanswered");
        ZQBAnalytics::getSDKVersion([answer](const std::string& version) { *answer = version; });
        test::settleAll();
        return *answer;
    }

    // The gateway holds its answer (200) to every upload that carries `name` until the promise returned is
    // set, and accepts the others at once.
    std::shared_ptr<std::promise<void>> holdUploadsOf(const std::string& name) {
        auto answer = std::make_shared<std::promise<void>>();
        gateway.setHandler(kReportPath, [name, answered = answer->get_future().share()](
                                            const test::LoopbackGateway::Request& request) {
            if (request.body.find(name) != std::string::npos) {
                answered.wait();
            }
            return test::LoopbackGateway::Reply(200, "{}");
        });
        return answer;
    }

    test::LogCapture log;
};

TEST_F(AnalyticsEndToEndEngine, TheVersionSetByThePlugInIsReportedEverywhereAndRecordedAtStartUp) {
    ZQBEngineWrapper::setSDKVersion("3.0.0-engine");
    replyWithConfiguration();
    start();
    ASSERT_TRUE(delivers("first"));
    EXPECT_EQ(packageWith("first")["sdkVersion"], "3.0.0-engine");
    EXPECT_EQ(packageWith("first")["sdkCodeVersion"], 10);
    EXPECT_EQ(lastConfigurationRequest()["sdkVersion"], "3.0.0-engine");
    EXPECT_EQ(sdkVersionAnswer(), "3.0.0-engine");
    ZQBEventsRouter::getMessagingCategories([](const std::vector<nlohmann::json>&) {});
    const char* messagingPath = "/v2/messaging/config";
    ASSERT_TRUE(test::waitUntil([&] { return !gateway.requests(messagingPath).empty(); }));
    EXPECT_EQ(nlohmann::json::parse(gateway.requests(messagingPath)[0].body)["sdkVersion"], "3.0.0-engine");
    test::settle({&QueueManager::incomeQueue(), &QueueManager::networkMessagingQueue()});
    // The first start of the device records the version without calling it an update.
    EXPECT_FALSE(log.contains("SDK version updated"));

    // The next start with another version reports it as updated, once.
    destroy();
    ZQBEngineWrapper::setSDKVersion("3.0.1");
    ZQBAnalytics::initialize(kApplicationKey);
    ASSERT_TRUE(delivers("second"));
    EXPECT_EQ(packageWith("second")["sdkVersion"], "3.0.1");
    EXPECT_EQ(log.count("DEBUG SDK version updated"), 1u);
    destroy();
    ZQBAnalytics::initialize(kApplicationKey);
    ASSERT_TRUE(delivers("third"));
    EXPECT_EQ(log.count("DEBUG SDK version updated"), 1u);

    // Set while running, it holds from the next request on.
    ZQBEngineWrapper::setSDKVersion("3.0.2");
    ASSERT_TRUE(delivers("fourth"));
    EXPECT_EQ(packageWith("fourth")["sdkVersion"], "3.0.2");
    EXPECT_EQ(sdkVersionAnswer(), "3.0.2");

    // A version that is not UTF-8 must not stop the uploads: it is sent repaired.
    ZQBEngineWrapper::setSDKVersion("3.1\xFF");
    ASSERT_TRUE(delivers("fifth"));
    EXPECT_EQ(packageWith("fifth")["sdkVersion"], "3.1\xEF\xBF\xBD");
}

// A plug-in that destroys and starts the library again at once, while the start-up's identification is still
// under way: the answer reaches an instance whose database is closed, and is dropped without an ERROR.
TEST_F(AnalyticsEndToEndEngine, AnIdentificationAnsweredAfterDestroyIsDroppedQuietly) {
    replyWithConfiguration();
    gateway.setReply(
        kIdentificationPath,
        test::LoopbackGateway::Reply(200, R"({"vorantelId":9})").delayedBy(std::chrono::milliseconds(30)));
    for (int round = 0; round < 20; ++round) {
        const std::size_t asked = gateway.requests(kIdentificationPath).size();
        ZQBAnalytics::initialize(kApplicationKey);
        ASSERT_TRUE(test::waitUntil([&] { return gateway.requests(kIdentificationPath).size() > asked; }));
        destroy();
    }
    EXPECT_EQ(log.count("ERROR"), 0u) << (log.matching("ERROR").empty() ? "" : log.matching("ERROR")[0]);
    ZQBAnalytics::initialize(kApplicationKey);
    ASSERT_TRUE(delivers("after-rounds"));
}

TEST_F(AnalyticsEndToEndEngine, EditorModeLeavesTheApplicationVersionsOutUntilDestroy) {
    replyWithConfiguration();
    ZQBEngineWrapper::enableEditorMode();
    start();
    ASSERT_TRUE(delivers("in-editor"));
    const auto package = packageWith("in-editor");
    EXPECT_TRUE(package["appVersion"].is_null());
    EXPECT_TRUE(package["appBuildVersion"].is_null());
    EXPECT_EQ(package["bundle"], test::ScopedEnvironment::kBundleIdentifier);
    auto configuration = lastConfigurationRequest();
    EXPECT_TRUE(configuration["appVersion"].is_null());

    // The mode belonged to the destroyed library; the new one reports the versions again.
    destroy();
    const auto configurationRequests = gateway.requests(kConfigPath).size();
    ZQBAnalytics::initialize(kApplicationKey);
    ASSERT_TRUE(delivers("after-destroy"));
    EXPECT_EQ(packageWith("after-destroy")["appVersion"], test::ScopedEnvironment::kBundleVersion);
    EXPECT_EQ(packageWith("after-destroy")["appBuildVersion"], test::ScopedEnvironment::kBundleBuild);
    ASSERT_TRUE(
        test::waitUntil([&] { return gateway.requests(kConfigPath).size() > configurationRequests; }));
    configuration = lastConfigurationRequest();
    EXPECT_EQ(configuration["appVersion"], test::ScopedEnvironment::kBundleVersion);
}

TEST_F(AnalyticsEndToEndEngine, DestroyThenInitialiseStartsAFreshLibraryAfterAFailedStartUp) {
    replyWithConfiguration();

    // An empty key: the start-up is refused, and so is every later initialisation of that library.
    ZQBAnalytics::initialize("");
    test::settleAll();
    ZQBAnalytics::initialize(kApplicationKey);
    ZQBAnalytics::customEvent("refused");
    test::settleAll();
    EXPECT_EQ(log.count("SDK is already initialized"), 1u);
    EXPECT_TRUE(
        log.contains("In the customEvent(_:_:) method an error has occurred: The SDK is not initialized"));
    destroy();
    ZQBAnalytics::initialize(kApplicationKey);
    ASSERT_TRUE(delivers("after-empty-key"));
    ASSERT_TRUE(waitForEvent("ss"));

    // A database that cannot be opened: the data folder's name is taken by a file.
    destroy();
    const auto folder = environment.directory() / SQLiteProvider::folderName;
    std::filesystem::remove_all(folder);
    std::ofstream(folder) << "not a folder";
    log.clear();
    ZQBAnalytics::initialize(kApplicationKey);
    test::settleAll();
    EXPECT_EQ(log.count("ERROR In the Initialize method an error has occurred: Can't init submodules"), 1u);
    ZQBAnalytics::initialize(kApplicationKey);
    test::settleAll();
    EXPECT_EQ(log.count("SDK is already initialized"), 1u);

    destroy();
    std::filesystem::remove(folder);
    ZQBAnalytics::initialize(kApplicationKey);
    ASSERT_TRUE(delivers("after-failed-database"));
    EXPECT_EQ(log.count("SDK is already initialized"), 1u);
}

// A plug-in that restarts the library in one frame: the destroy has not run yet when `initialize` comes.
TEST_F(AnalyticsEndToEndEngine, AnInitializeRightAfterDestroyStartsTheLibraryOnceTheDestroyHasRun) {
    replyWithConfiguration();
    start();
    const std::string refused =
        "ERROR In the customEvent(_:_:) method an error has occurred: The SDK is not initialized yet!";
    for (int round = 0; round < 5; ++round) {
        const std::string name = "round-" + std::to_string(round);
        log.clear();
        // The queue is still busy with the host's earlier calls when the destroy and the start come.
        std::promise<void> busy;
        QueueManager::incomeQueue().addOperation([done = busy.get_future().share()] { done.wait(); });
        ZQBAnalytics::customEvent(name + "-before");
        ZQBEngineWrapper::destroySDK();
        ZQBAnalytics::customEvent(name + "-between");
        ZQBAnalytics::initialize(kApplicationKey);
        busy.set_value();
        ASSERT_TRUE(delivers(name + "-after")) << name;
        EXPECT_EQ(log.count("SDK is already initialized"), 0u) << name;
        EXPECT_EQ(log.count(refused), 1u) << name;
        // The call made before the destroy reached the library it was made on; the one in between none.
        ASSERT_TRUE(waitForCustomEvent(name + "-before")) << name;
        EXPECT_TRUE(sentCustomEvent(name + "-between").is_null()) << name;
    }
}

// A plug-in that restarts the library while an upload is on its way: the gateway accepts the report only
// after the destroy and the new start were asked for. The new library must not send it a second time.
TEST_F(AnalyticsEndToEndEngine, AReportAcceptedAfterARestartWasAskedForIsNotSentAgain) {
    replyWithConfiguration();
    start();
    const auto answer = holdUploadsOf("in-flight");
    const auto uploadsOf = [&](const std::string& name) {
        std::size_t count = 0;
        for (const auto& request : gateway.requests(kReportPath)) {
            count += request.body.find(name) != std::string::npos ? 1 : 0;
        }
        return count;
    };
    ZQBAnalytics::customEvent("in-flight");
    ZQBAnalytics::sendBufferedEvents();
    ASSERT_TRUE(test::waitUntil([&] { return uploadsOf("in-flight") == 1; }));

    ZQBEngineWrapper::destroySDK();
    ZQBAnalytics::initialize(kApplicationKey);
    answer->set_value();
    ASSERT_TRUE(delivers("after-restart"));
    test::settleAll();
    EXPECT_EQ(uploadsOf("in-flight"), 1u);
    EXPECT_EQ(storedCopies("in-flight"), 0);
}

// The destroy does not wait for an upload under way; when the gateway accepts it afterwards and no new start
// has come, the report still leaves the file, so that the next launch does not send it again.
TEST_F(AnalyticsEndToEndEngine, AReportAcceptedAfterTheDestroyLeavesTheFileWithoutANewStart) {
    replyWithConfiguration();
    start();
    const auto answer = holdUploadsOf("in-flight");
    ZQBAnalytics::customEvent("in-flight");
    ZQBAnalytics::sendBufferedEvents();
    ASSERT_TRUE(test::waitUntil([&] { return !sentCustomEvent("in-flight").is_null(); }));

    ZQBEngineWrapper::destroySDK();
    test::settle({&QueueManager::incomeQueue()});
    EXPECT_EQ(storedCopies("in-flight"), 1);
    answer->set_value();
    test::settleAll();
    EXPECT_EQ(storedCopies("in-flight"), 0);
}

// A plug-in that restarts the library while the gateway holds an upload without ever answering, and then
// leaves the foreground: the destroy does not wait for the upload, so neither does the stopping call queued
// behind it and the new start-up. Nothing is lost: the held report stays in the file until it is accepted.
TEST_F(AnalyticsEndToEndEngine, AStoppingCallAfterARestartDoesNotWaitForTheDestroyedLibrarysUpload) {
    replyWithConfiguration();
    start();
    gateway.setReply(kReportPath, test::LoopbackGateway::Reply().hanging());
    const auto record = [](const std::string& prefix) {
        for (int number = 0; number < 5; ++number) {
            ZQBAnalytics::customEvent(prefix + std::to_string(number));
        }
    };
    const std::size_t uploads = reportCount() + 1;
    record("held-");
    ZQBAnalytics::sendBufferedEvents();
    ASSERT_TRUE(test::waitUntil([&] { return reportCount() == uploads; }));

    ZQBEngineWrapper::destroySDK();
    ZQBAnalytics::initialize(kApplicationKey);
    record("after-");
    auto stopping = std::async(std::launch::async, [] { goToBackground(); });
    // Well before the held upload could end (it is never answered; the client gives up after 60 s).
    ASSERT_EQ(stopping.wait_for(std::chrono::seconds(20)), std::future_status::ready);
    EXPECT_EQ(reportCount(), uploads);
    for (int number = 0; number < 5; ++number) {
        EXPECT_EQ(storedCopies("held-" + std::to_string(number)), 1) << number;
        EXPECT_EQ(storedCopies("after-" + std::to_string(number)), 1) << number;
    }

    // The gateway refuses the held upload at last and then accepts everything: all ten events arrive.
    gateway.setReply(kReportPath, {200, "{}"});
    gateway.releaseHangs();
    ZQBHost::applicationDidBecomeActive();
    ZQBAnalytics::sendBufferedEvents();
    for (int number = 0; number < 5; ++number) {
        EXPECT_TRUE(waitForCustomEvent("held-" + std::to_string(number))) << number;
        EXPECT_TRUE(waitForCustomEvent("after-" + std::to_string(number))) << number;
    }
}

TEST_F(AnalyticsEndToEndEngine, TheStringFormOfASubscriptionPaymentIsReportedOnceAndThenCountsAsRenewal) {
    start();
    ZQBEngineWrapper::engineSubscriprtionPayment("p1", "t1");
    ASSERT_TRUE(waitForEvent("sbs"));
    const std::string time = std::to_string(kStart);
    EXPECT_EQ(sentEventTexts("sbs"),
              std::vector<std::string>{R"({"code":"sbs","timestamp":)" + time + R"(,"sessionId":)" + time +
                                       R"(,"level":1,"orderId":"t1","productId":"p1","regionCode":"",)"
                                       R"("currencyCode":""})"});

    ZQBEngineWrapper::engineSubscriprtionPayment("p1", "t1");
    test::settleAll();
    EXPECT_EQ(log.count("DEBUG Subscription payment with orderId [t1] is renewal"), 1u);
    EXPECT_EQ(sentEvents("sbs").size(), 1u);
}

TEST_F(AnalyticsEndToEndEngine, TheDictionaryFormOfTheHistoryIsReportedWithTheKnownProductsCurrencyOnce) {
    start();
    // A purchase through the store objects makes the product, and with it its currency, known.
    ZQBAnalytics::subscriptionPayment(ZQBStoreTransaction{"t0", "p1", nullptr},
                                      ZQBStoreProduct{"p1", "4.99", "en_US", std::nullopt, {}});
    ZQBEngineWrapper::engineSubscriptionHistory({{"p1", {"t0", "t1"}}, {"p2", {"t2"}}});
    ASSERT_TRUE(waitForEvent("sbsr"));
    const auto history = sentEvents("sbsr");
    ASSERT_EQ(history.size(), 1u);
    EXPECT_EQ(history[0]["currencyCode"], "USD");
    EXPECT_EQ(history[0]["transactions"],
              (nlohmann::json{{{"productID", "p1"}, {"transactionIds", {"t0", "t1"}}},
                              {{"productID", "p2"}, {"transactionIds", {"t2"}}}}));

    // The history counts as restored: a repeat reports nothing.
    ZQBEngineWrapper::engineSubscriptionHistory({{"p1", {"t3"}}});
    ZQBAnalytics::sendBufferedEvents();
    test::settleAll();
    EXPECT_EQ(sentEvents("sbsr").size(), 1u);
}

}  // namespace
}  // namespace zqb

// The push-messaging module's calls through the router, against the loopback gateway: push tokens and
// openings arrive as events without a flush of the host's, and categories come back as dictionaries.

#include <ZQBAnalytics/module/ZQBEventsRouter.hpp>

#include "integration/EndToEndFixture.hpp"
#include "support/LogCapture.hpp"

#include <atomic>
#include <chrono>
#include <future>
#include <memory>
#include <stdexcept>

namespace zqb {
namespace {

using Dictionaries = std::vector<nlohmann::json>;

class MessagingRouterEndToEnd : public test::EndToEndTest {
protected:
    static constexpr const char* kMessagingPath = "/v2/messaging/config";

    static void settleWithMessaging() {
        test::settle({&QueueManager::incomeQueue(), &QueueManager::networkMessagingQueue(),
                      &QueueManager::networkSerialQueue()});
    }

    // The categories the module's handler receives (a null value when it is not called within the bound).
    static nlohmann::json categories() {
        auto result = std::make_shared<std::promise<Dictionaries>>();
        ZQBEventsRouter::getMessagingCategories(
            [result](Dictionaries dictionaries) { result->set_value(std::move(dictionaries)); });
        auto future = result->get_future();
        if (future.wait_for(std::chrono::seconds(10)) != std::future_status::ready) {
            return nullptr;
        }
        const auto received = future.get();
        settleWithMessaging();
        return received;
    }

    int64_t requestedVersion() {
        return nlohmann::json::parse(gateway.requests(kMessagingPath).back().body).at("categoriesVersion");
    }
};

TEST_F(MessagingRouterEndToEnd, BeforeInitializeTheModuleIsRefusedAndNothingIsRecorded) {
    test::LogCapture log;
    EXPECT_FALSE(ZQBEventsRouter::isAnalyticsInited());
    EXPECT_TRUE(Core::current());  // asking created the core

    std::atomic<bool> handled{false};
    ZQBEventsRouter::getMessagingCategories([&](Dictionaries) { handled = true; });
    ZQBEventsRouter::sendPushToken("early-token", true);
    ZQBEventsRouter::sendPushOpened(1000, 1, std::nullopt);
    settleWithMessaging();
    const std::string tail = " method an error has occurred: The SDK is not initialized yet!";
    EXPECT_EQ(log.count("ERROR In the getPushCategories(_:)" + tail), 1u);
    EXPECT_EQ(log.count("ERROR In the pushToken(_:_:)" + tail), 1u);
    EXPECT_EQ(log.count("ERROR In the pushOpened(_:_:_:)" + tail), 1u);

    ZQBAnalytics::initialize(kApplicationKey);
    EXPECT_TRUE(ZQBEventsRouter::isAnalyticsInited());  // at once, before the start-up has run
    ASSERT_TRUE(waitForEvent("ss"));
    ZQBAnalytics::sendBufferedEvents();
    settleWithMessaging();
    EXPECT_FALSE(handled);
    EXPECT_TRUE(sentEvents("pt").empty());
    EXPECT_TRUE(sentEvents("po").empty());
    EXPECT_TRUE(gateway.requests(kMessagingPath).empty());
}

TEST_F(MessagingRouterEndToEnd, PushTokensAndOpeningsReachTheGatewayAtOnce) {
    replyWithConfiguration();
    start();
    ZQBEventsRouter::sendPushToken("token-1", false);
    ASSERT_TRUE(waitForEvent("pt"));
    ZQBEventsRouter::sendPushOpened(1234, 42, std::nullopt);
    ZQBEventsRouter::sendPushOpened(0, 7, "later");
    ZQBEventsRouter::sendPushToken("", true);
    ASSERT_TRUE(waitForEvent("po", 2));
    ASSERT_TRUE(waitForEvent("pt", 2));

    const std::string now = std::to_string(kStart);
    EXPECT_EQ(sentEventTexts("pt"),
              (std::vector<std::string>{
                  R"({"code":"pt","timestamp":)" + now + R"(,"isAllowed":false,"token":"token-1"})",
                  R"({"code":"pt","timestamp":)" + now + R"(,"isAllowed":true,"token":""})"}));
    EXPECT_EQ(sentEventTexts("po"),
              (std::vector<std::string>{R"({"code":"po","timestamp":1234,"pushId":42})",
                                        R"({"code":"po","timestamp":0,"pushId":7,"button":"later"})"}));
    test::settleAll();
    EXPECT_EQ(storedEventCount(), 0);
}

TEST_F(MessagingRouterEndToEnd, CategoriesAreMergedAndTheirVersionIsSentBack) {
    replyWithConfiguration();
    gateway.setReply(kMessagingPath, {200, R"({"pushCategories": {"version": 1, "categories": [
        {"id": "invite", "buttons": [{"id": "accept", "text": "Accept", "activationMode": "foreground"}]},
        {"id": "news", "buttons": []}, {"id": "sale", "buttons": []}]}})"});
    start();
    EXPECT_EQ(categories(), nlohmann::json::parse(R"([
        {"id": "invite", "buttons": [{"id": "accept", "text": "Accept", "activationMode": "foreground"}]},
        {"id": "news", "buttons": []}, {"id": "sale", "buttons": []}])"));
    EXPECT_EQ(requestedVersion(), 0);

    // "invite" changed, "news" removed, "quest" new.
    gateway.setReply(kMessagingPath,
                     {200, R"({"pushCategories": {"version": 2, "removed": ["news"], "categories": [
        {"id": "invite", "buttons": [{"id": "later", "text": "Later"}]}, {"id": "quest", "buttons": []}]}})"});
    const auto merged =
        nlohmann::json::parse(R"([{"id": "invite", "buttons": [{"id": "later", "text": "Later"}]},
        {"id": "sale", "buttons": []}, {"id": "quest", "buttons": []}])");
    EXPECT_EQ(categories(), merged);
    EXPECT_EQ(requestedVersion(), 1);

    // Nothing new: the stored categories, asked for from the version last answered.
    gateway.setReply(kMessagingPath, {200, R"({"pushCategories": {"version": 3, "categories": []}})"});
    EXPECT_EQ(categories(), merged);
    EXPECT_EQ(requestedVersion(), 2);
    EXPECT_EQ(rowCount("messagingCategory"), 3);

    // Null is no list of categories: an answer that cannot be read, which moves no version on.
    gateway.setReply(kMessagingPath, {200, R"({"pushCategories": {"version": 4, "categories": null}})"});
    EXPECT_EQ(categories(), merged);
    EXPECT_EQ(requestedVersion(), 3);

    // Without an answer the module still gets the stored ones.
    gateway.setReply(kMessagingPath, {503, ""});
    EXPECT_EQ(categories(), merged);
    EXPECT_EQ(requestedVersion(), 3);
}

TEST_F(MessagingRouterEndToEnd, AHandlerThatThrowsIsNamedInTheLogAndTheAnswerIsStillStored) {
    replyWithConfiguration();
    start();
    gateway.setReply(
        kMessagingPath,
        {200, R"({"pushCategories": {"version": 3, "categories": [{"id": "sale", "buttons": []}]}})"});
    test::LogCapture log;
    auto thrown = std::make_shared<std::promise<void>>();
    ZQBEventsRouter::getMessagingCategories([thrown](Dictionaries) {
        thrown->set_value();
        throw std::runtime_error("module failure");
    });
    ASSERT_EQ(thrown->get_future().wait_for(std::chrono::seconds(10)), std::future_status::ready);
    settleWithMessaging();
    EXPECT_EQ(log.count("ERROR In the getMessagingCategories(with:) method an error has occurred: The "
                        "completion handler has thrown: module failure"),
              1u);
    EXPECT_FALSE(log.contains("has failed"));

    gateway.setReply(kMessagingPath, {503, ""});
    EXPECT_EQ(categories(), nlohmann::json::parse(R"([{"id": "sale", "buttons": []}])"));
    EXPECT_EQ(requestedVersion(), 3);
}

}  // namespace
}  // namespace zqb

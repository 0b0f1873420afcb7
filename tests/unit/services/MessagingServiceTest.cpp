#include "backend/Backend.hpp"
#include "database/Connection.hpp"
#include "database/SQLiteProvider.hpp"
#include "foundation/QueueManager.hpp"
#include "host/CurlHttpSession.hpp"
#include "host/Environment.hpp"
#include "network/BackendConfigUrl.hpp"
#include "repositories/MessagingCategoryRepository.hpp"
#include "repositories/ProjectRepository.hpp"
#include "services/MessagingService.hpp"
#include "support/FakeStateManager.hpp"
#include "support/GatewayClient.hpp"
#include "support/LogCapture.hpp"
#include "support/LoopbackGateway.hpp"
#include "support/ScopedEnvironment.hpp"
#include "support/SharedDatabase.hpp"
#include "support/Wait.hpp"

#include <gtest/gtest.h>

#include <future>
#include <memory>
#include <mutex>

namespace zqb {
namespace {

using test::LoopbackGateway;
using Reply = LoopbackGateway::Reply;
using Json = nlohmann::ordered_json;

constexpr const char* kMessagingPath = "/v2/messaging/config";

MessagingCategory category(const std::string& id, std::vector<std::string> buttonIds = {}) {
    MessagingCategory value;
    value.id = id;
    for (const auto& button : buttonIds) {
        value.buttons.push_back(MassagingButtonInfo{button, "Title " + button, std::nullopt});
    }
    return value;
}

std::string answer(int64_t version, const std::vector<MessagingCategory>& categories,
                   std::optional<std::vector<std::string>> removed = std::nullopt) {
    Json config{{"version", version}, {"categories", categories}};
    if (removed) {
        config["removed"] = *removed;
    }
    return Json{{"pushCategories", config}}.dump();
}

std::vector<std::string> ids(const std::vector<MessagingCategory>& categories) {
    std::vector<std::string> result;
    for (const auto& value : categories) {
        result.push_back(value.id);
    }
    return result;
}

class MessagingServiceTest : public ::testing::Test {
protected:
    void SetUp() override {
        BackendConfigUrl::setTestProxyUrl(gateway.baseUrl());
        projectRepository->insert(state->project);
    }
    void TearDown() override { BackendConfigUrl::setTestProxyUrl(""); }

    // Asks on the income queue, as the messaging logic does, and waits for the completion and for the
    // writes the answer queued there.
    std::vector<MessagingCategory> getPushCategories() {
        auto result = std::make_shared<std::promise<std::vector<MessagingCategory>>>();
        QueueManager::incomeQueue().addOperation([this, result] {
            service->getPushCategories([result](std::vector<MessagingCategory> categories) {
                result->set_value(std::move(categories));
            });
        });
        auto categories = result->get_future().get();
        settle();
        return categories;
    }
    void settle() {
        QueueManager::networkMessagingQueue().waitUntilAllOperationsAreFinished();
        QueueManager::incomeQueue().waitUntilAllOperationsAreFinished();
    }
    // What a later start reads.
    std::vector<MessagingCategory> storedCategories() {
        return MessagingCategoryRepository(zqb::test::sharedDatabase()).list();
    }
    std::optional<int64_t> storedVersion() {
        return ProjectRepository(zqb::test::sharedDatabase(), zqb::host::Environment::shared().clock())
            .list()
            .at(0)
            ->categoriesVersion;
    }
    Json lastRequestBody() { return Json::parse(gateway.requests(kMessagingPath).back().body); }

    test::ScopedEnvironment env;
    test::LogCapture log;
    LoopbackGateway gateway;
    std::shared_ptr<SQLiteProvider> database = zqb::test::sharedDatabase();
    std::shared_ptr<ProjectRepository> projectRepository =
        std::make_shared<ProjectRepository>(database, zqb::host::Environment::shared().clock());
    std::shared_ptr<MessagingCategoryRepository> categoryRepository =
        std::make_shared<MessagingCategoryRepository>(database);
    std::shared_ptr<test::FakeStateManager> state = std::make_shared<test::FakeStateManager>();
    std::shared_ptr<MessagingService> service = std::make_shared<MessagingService>(
        state, projectRepository, categoryRepository,
        std::make_shared<Backend>(
            test::gatewayClient(std::make_shared<host::CurlHttpSession>(host::CurlHttpSession::Options{
                .idleTimeout = std::chrono::seconds(2), .connectTimeout = std::chrono::seconds(2)}))),
        QueueManager::incomeQueue(), QueueManager::networkMessagingQueue());
};

TEST_F(MessagingServiceTest, AFirstAnswerIsStoredWithItsVersion) {
    gateway.setReply(kMessagingPath, Reply(200, answer(3, {category("a", {"open"}), category("b")})));
    const auto categories = getPushCategories();
    EXPECT_EQ(ids(categories), (std::vector<std::string>{"a", "b"}));
    EXPECT_EQ(categories[0].buttons, category("a", {"open"}).buttons);

    EXPECT_EQ(
        lastRequestBody(),
        Json::parse(R"({"sdkVersion":"2.1.2","sdkCodeVersion":10,"appVersion":"1.2.3","categoriesVersion":0,)"
                    R"("language":"en"})"));
    const auto stored = storedCategories();
    EXPECT_EQ(ids(stored), (std::vector<std::string>{"a", "b"}));
    EXPECT_EQ(stored[0].buttons, categories[0].buttons);
    EXPECT_EQ(storedVersion(), 3);
    EXPECT_EQ(log.count("DEBUG [Messaging Module] Trying to get push categories from the server"), 1U);
    EXPECT_EQ(
        log.count("DEBUG [Messaging Module] Update push categories:\n\tsaved new categories: [2]\n\tremoved "
                  "categories [0]\n\tcurrent categories version: [3]"),
        1U);

    // The next request sends the stored version; a device without a language sends none.
    state->deviceData->language.reset();
    gateway.setReply(kMessagingPath, Reply(200, answer(3, {})));
    EXPECT_EQ(ids(getPushCategories()), (std::vector<std::string>{"a", "b"}));
    EXPECT_EQ(lastRequestBody()["categoriesVersion"], 3);
    EXPECT_FALSE(lastRequestBody().contains("language"));
}

TEST_F(MessagingServiceTest, ChangedCategoriesReplaceStoredOnesAndRemovalsComeLast) {
    gateway.setReply(kMessagingPath,
                     Reply(200, answer(1, {category("a", {"x"}), category("b"), category("c")})));
    getPushCategories();

    // "a" changed, "d" is new, "c" is removed, and "e" is both added and removed.
    gateway.setReply(kMessagingPath,
                     Reply(200, answer(2, {category("a", {"y", "z"}), category("d"), category("e")},
                                       std::vector<std::string>{"c", "e", "unknown"})));
    const auto categories = getPushCategories();
    EXPECT_EQ(ids(categories), (std::vector<std::string>{"a", "b", "d"}));
    EXPECT_EQ(categories[0].buttons, category("a", {"y", "z"}).buttons);

    const auto stored = storedCategories();
    EXPECT_EQ(ids(stored), (std::vector<std::string>{"a", "b", "d"}));
    EXPECT_EQ(stored[0].buttons, category("a", {"y", "z"}).buttons);
    EXPECT_EQ(storedVersion(), 2);
    EXPECT_TRUE(log.contains(
        "saved new categories: [2]\n\tremoved categories [2]\n\tcurrent categories version: [2]"));

    // The removed category does not come back with the next answer.
    gateway.setReply(kMessagingPath, Reply(200, answer(2, {})));
    EXPECT_EQ(ids(getPushCategories()), (std::vector<std::string>{"a", "b", "d"}));
    EXPECT_EQ(ids(storedCategories()), (std::vector<std::string>{"a", "b", "d"}));
}

TEST_F(MessagingServiceTest, RequestsInFlightTogetherStoreEachCategoryOnce) {
    gateway.setReply(kMessagingPath, Reply(200, answer(4, {category("a"), category("b")})));
    std::mutex mutex;
    std::vector<std::vector<MessagingCategory>> results;
    QueueManager::incomeQueue().addOperation([&] {
        for (int index = 0; index < 3; ++index) {
            service->getPushCategories([&](std::vector<MessagingCategory> categories) {
                std::lock_guard lock(mutex);
                results.push_back(std::move(categories));
            });
        }
    });
    ASSERT_TRUE(test::waitUntil([&] {
        std::lock_guard lock(mutex);
        return results.size() == 3;
    }));
    settle();
    for (const auto& result : results) {
        EXPECT_EQ(ids(result), (std::vector<std::string>{"a", "b"}));
    }
    EXPECT_EQ(ids(storedCategories()), (std::vector<std::string>{"a", "b"}));
    // All three were asked with the version stored before any answer.
    for (const auto& request : gateway.requests(kMessagingPath)) {
        EXPECT_EQ(Json::parse(request.body)["categoriesVersion"], 0);
    }
}

TEST_F(MessagingServiceTest, WithoutAnAnswerTheStoredCategoriesAreReturned) {
    gateway.setReply(kMessagingPath, Reply(200, answer(5, {category("a")})));
    getPushCategories();

    // Any status is read when its body holds categories; a failure has none.
    gateway.setReply(kMessagingPath, Reply(500, ""));
    EXPECT_EQ(ids(getPushCategories()), (std::vector<std::string>{"a"}));
    // An answer without a version, or whose categories are missing, null or no list, is unreadable: it
    // writes nothing, and the version stays where the stored categories belong.
    for (const char* body :
         {R"({"pushCategories": {"categories": []}})", R"({"pushCategories": {"version": 6}})",
          R"({"pushCategories": {"version": 6, "categories": null}})",
          R"({"pushCategories": {"version": 6, "categories": {"id": "b"}}})"}) {
        gateway.setReply(kMessagingPath, Reply(200, body));
        EXPECT_EQ(ids(getPushCategories()), (std::vector<std::string>{"a"})) << body;
    }
    EXPECT_EQ(storedVersion(), 5);
    EXPECT_EQ(ids(storedCategories()), (std::vector<std::string>{"a"}));

    // No device facts: the stored categories at once, on the calling thread, and no request.
    const auto sent = gateway.requestCount();
    std::promise<std::pair<std::vector<MessagingCategory>, bool>> result;
    QueueManager::incomeQueue().addOperation([&] {
        state->deviceData.reset();
        service->getPushCategories([&](std::vector<MessagingCategory> categories) {
            result.set_value({std::move(categories), QueueManager::incomeQueue().isCurrent()});
        });
    });
    const auto [categories, onIncome] = result.get_future().get();
    EXPECT_EQ(ids(categories), (std::vector<std::string>{"a"}));
    EXPECT_TRUE(onIncome);
    EXPECT_EQ(log.count("ERROR Cannot obtain device information!"), 1U);
    settle();
    EXPECT_EQ(gateway.requestCount(), sent);
}

TEST_F(MessagingServiceTest, AnAnswerIsStoredAlsoWhenTheServiceIsReleasedBeforeItsWritesRun) {
    gateway.setReply(kMessagingPath, Reply(200, answer(6, {category("a")})));
    // The answer's writes wait on the income queue while the last owner lets the service go.
    QueueManager::incomeQueue().pause();
    std::promise<std::vector<MessagingCategory>> result;
    service->getPushCategories(
        [&](std::vector<MessagingCategory> categories) { result.set_value(std::move(categories)); });
    EXPECT_EQ(ids(result.get_future().get()), (std::vector<std::string>{"a"}));
    QueueManager::networkMessagingQueue().waitUntilAllOperationsAreFinished();
    service.reset();
    QueueManager::incomeQueue().resume();
    settle();

    EXPECT_EQ(ids(storedCategories()), (std::vector<std::string>{"a"}));
    EXPECT_EQ(storedVersion(), 6);
}

TEST_F(MessagingServiceTest, TheVersionMovesOnOnlyOnceTheWholeAnswerIsStored) {
    const auto file = (env.directory() / "vorantel" / "vorantel.db").string();
    Connection(file).execute(
        "CREATE TRIGGER refuse BEFORE INSERT ON messagingCategory WHEN NEW.identifier = 'b' "
        "BEGIN SELECT RAISE(ABORT, 'refused'); END");
    gateway.setReply(kMessagingPath, Reply(200, answer(2, {category("a"), category("b")})));
    getPushCategories();
    EXPECT_EQ(ids(storedCategories()), (std::vector<std::string>{"a"}));
    EXPECT_EQ(storedVersion(), std::nullopt);

    // Asked again from the old version, the gateway brings the category that was not stored once more.
    Connection(file).execute("DROP TRIGGER refuse");
    getPushCategories();
    EXPECT_EQ(lastRequestBody()["categoriesVersion"], 0);
    EXPECT_EQ(ids(storedCategories()), (std::vector<std::string>{"a", "b"}));
    EXPECT_EQ(storedVersion(), 2);

    // Nor while a removed category stays.
    Connection(file).execute(
        "CREATE TRIGGER refuse BEFORE DELETE ON messagingCategory BEGIN SELECT RAISE(ABORT, 'refused'); END");
    gateway.setReply(kMessagingPath, Reply(200, answer(3, {}, std::vector<std::string>{"a"})));
    EXPECT_EQ(ids(getPushCategories()), (std::vector<std::string>{"b"}));
    EXPECT_EQ(ids(storedCategories()), (std::vector<std::string>{"a", "b"}));
    EXPECT_EQ(storedVersion(), 2);
    EXPECT_EQ(log.count("ERROR [Messaging Module] Not every change of the answer is stored: the categories "
                        "version stays [2]"),
              1U);

    Connection(file).execute("DROP TRIGGER refuse");
    getPushCategories();
    EXPECT_EQ(lastRequestBody()["categoriesVersion"], 2);
    EXPECT_EQ(ids(storedCategories()), (std::vector<std::string>{"b"}));
    EXPECT_EQ(storedVersion(), 3);
}

TEST_F(MessagingServiceTest, TheUpdateLineCountsTheAnswerAndComesBeforeTheCategories) {
    gateway.setReply(kMessagingPath, Reply(200, answer(1, {category("a"), category("b")})));
    getPushCategories();

    // "a" changed, "c" new and given twice, "b" removed and named twice, "zz" unknown.
    gateway.setReply(kMessagingPath,
                     Reply(200, answer(2, {category("a", {"x"}), category("c"), category("c")},
                                       std::vector<std::string>{"b", "b", "zz"})));
    const std::string line =
        "DEBUG [Messaging Module] Update push categories:\n\tsaved new categories: [1]\n\tremoved categories "
        "[2]\n\tcurrent categories version: [2]";
    std::promise<std::pair<std::vector<MessagingCategory>, bool>> result;
    QueueManager::incomeQueue().addOperation([&] {
        service->getPushCategories([&](std::vector<MessagingCategory> categories) {
            result.set_value({std::move(categories), log.contains(line)});
        });
    });
    const auto [categories, loggedBefore] = result.get_future().get();
    settle();
    EXPECT_EQ(ids(categories), (std::vector<std::string>{"a", "c"}));
    EXPECT_TRUE(loggedBefore);
    EXPECT_EQ(log.count(line), 1U);
    EXPECT_EQ(ids(storedCategories()), (std::vector<std::string>{"a", "c"}));
}

}  // namespace
}  // namespace zqb

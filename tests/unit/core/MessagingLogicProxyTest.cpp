#include "core/MessagingLogicProxy.hpp"
#include "foundation/QueueManager.hpp"
#include "support/LogCapture.hpp"

#include <gtest/gtest.h>

#include <atomic>
#include <mutex>
#include <string>
#include <vector>

namespace zqb {
namespace {

using Texts = std::vector<std::string>;

// Records the calls it serves, with their arguments, and whether they ran on the income queue.
class RecordingMessagingLogic final : public MessagingProtocol {
public:
    void pushToken(std::string token, bool isAllowed) override {
        record("pushToken(" + token + ", " + (isAllowed ? "true" : "false") + ")");
    }
    void pushOpened(int64_t timestamp, int64_t pushId, std::optional<std::string> button) override {
        record("pushOpened(" + std::to_string(timestamp) + ", " + std::to_string(pushId) + ", " +
               button.value_or("nil") + ")");
    }
    void getPushCategories(CategoriesCompletion completion) override {
        record("getPushCategories");
        MessagingCategory category;
        category.id = "c";
        completion({category});
    }

    Texts calls() const {
        std::lock_guard lock(mutex_);
        return calls_;
    }
    std::atomic<bool> offIncomeQueue{false};

private:
    void record(std::string call) {
        if (!QueueManager::incomeQueue().isCurrent()) {
            offIncomeQueue = true;
        }
        std::lock_guard lock(mutex_);
        calls_.push_back(std::move(call));
    }

    mutable std::mutex mutex_;
    Texts calls_;
};

void finishIncomeQueue() {
    ASSERT_TRUE(QueueManager::incomeQueue().waitUntilAllOperationsAreFinished());
}

TEST(MessagingLogicProxy, WithoutALogicEachCallIsRefusedAndNoCompletionRuns) {
    test::LogCapture log;
    const auto proxy = std::make_shared<MessagingLogicProxy>(QueueManager::incomeQueue());
    std::atomic<bool> completed{false};
    proxy->getPushCategories([&](std::vector<MessagingCategory>) { completed = true; });
    proxy->pushToken("token", true);
    proxy->pushOpened(5, 6, "open");
    finishIncomeQueue();

    EXPECT_FALSE(completed);
    const std::string tail = " method an error has occurred: The SDK is not initialized yet!";
    EXPECT_EQ(log.texts(),
              (Texts{"ERROR In the getPushCategories(_:)" + tail, "ERROR In the pushToken(_:_:)" + tail,
                     "ERROR In the pushOpened(_:_:_:)" + tail}));
}

TEST(MessagingLogicProxy, CallsReachTheLogicInOrderOnTheIncomeQueue) {
    const auto proxy = std::make_shared<MessagingLogicProxy>(QueueManager::incomeQueue());
    const auto logic = std::make_shared<RecordingMessagingLogic>();
    proxy->setMessagingLogic(logic);

    std::vector<std::string> received;
    proxy->pushToken("", false);
    proxy->pushOpened(0, -3, std::nullopt);
    proxy->getPushCategories([&](std::vector<MessagingCategory> categories) {
        for (const auto& category : categories) {
            received.push_back(category.id);
        }
    });
    proxy->pushOpened(1700000000000, 9, "later");
    finishIncomeQueue();

    EXPECT_EQ(logic->calls(), (Texts{"pushToken(, false)", "pushOpened(0, -3, nil)", "getPushCategories",
                                     "pushOpened(1700000000000, 9, later)"}));
    EXPECT_FALSE(logic->offIncomeQueue);
    EXPECT_EQ(received, Texts{"c"});
}

TEST(MessagingLogicProxy, ACallQueuedOnAReleasedProxyDoesNothing) {
    test::LogCapture log;
    auto proxy = std::make_shared<MessagingLogicProxy>(QueueManager::incomeQueue());
    std::atomic<bool> completed{false};
    QueueManager::incomeQueue().pause();
    proxy->pushToken("token", true);
    proxy->getPushCategories([&](std::vector<MessagingCategory>) { completed = true; });
    proxy.reset();
    QueueManager::incomeQueue().resume();
    finishIncomeQueue();

    EXPECT_FALSE(completed);
    EXPECT_TRUE(log.texts().empty());
}

}  // namespace
}  // namespace zqb

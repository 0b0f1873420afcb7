#include "backend/VerifyResponseFactory.hpp"
#include "foundation/QueueManager.hpp"
#include "host/Environment.hpp"
#include "logic/AntiCheatLogic.hpp"
#include "services/AntiCheatServiceProctocol.hpp"
#include "support/LogCapture.hpp"
#include "support/QueueRunner.hpp"
#include "support/ScopedEnvironment.hpp"
#include "support/Wait.hpp"

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

namespace zqb {
namespace {

// Answers every receipt as valid and notes on which queue each step ran.
class FakeAntiCheatService final : public AntiCheatServiceProctocol {
public:
    ReceiptSender receiptSender() override {
        senderTakenOnIncomeQueue = QueueManager::incomeQueue().isCurrent();
        return ReceiptSender{"key", Identifiers{"device"}};
    }
    ZQBVerifyResponse receiveReceiptStatus(const Receipt& receipt, const ReceiptSender& sender) override {
        sentOnAnticheatQueue = QueueManager::anticheatQueue().isCurrent();
        std::lock_guard lock(mutex);
        sent.emplace_back(receipt, sender.applicationKey);
        return VerifyResponseFactory::make(ZQBReceiptStatus::valid, "ok");
    }

    std::atomic<bool> senderTakenOnIncomeQueue{false};
    std::atomic<bool> sentOnAnticheatQueue{false};
    std::mutex mutex;
    std::vector<std::pair<Receipt, std::string>> sent;
};

// Counts the calls of one handler and keeps the last response.
struct Answers {
    AntiCheatLogicProtocol::VerifyHandler handler() {
        return [this](const ZQBVerifyResponse& response) {
            std::lock_guard lock(mutex);
            ++calls;
            status = response.receiptStatus();
            onAnticheatQueue = QueueManager::anticheatQueue().isCurrent();
        };
    }
    int count() {
        std::lock_guard lock(mutex);
        return calls;
    }

    std::mutex mutex;
    int calls = 0;
    std::optional<ZQBReceiptStatus> status;
    bool onAnticheatQueue = false;
};

class AntiCheatLogicTest : public ::testing::Test {
protected:
    AntiCheatLogicTest() { logic->setAntiCheatService(service); }
    ~AntiCheatLogicTest() override {
        QueueManager::incomeQueue().resume();
        QueueManager::anticheatQueue().resume();
        test::settle({&QueueManager::incomeQueue(), &QueueManager::anticheatQueue()});
    }

    test::ScopedEnvironment environment;
    test::LogCapture log;
    std::shared_ptr<FakeAntiCheatService> service = std::make_shared<FakeAntiCheatService>();
    std::shared_ptr<AntiCheatLogic> logic = AntiCheatLogic::create(
        QueueManager::incomeQueue(), QueueManager::anticheatQueue(), host::Environment::shared());
};

TEST_F(AntiCheatLogicTest, TheSenderIsTakenOnTheIncomeQueueAndTheRequestRunsOnTheAntiCheatQueue) {
    Answers answers;
    logic->verifyPayment("abc", answers.handler());
    ASSERT_TRUE(test::waitUntil([&] { return answers.count() == 1; }));
    EXPECT_TRUE(service->senderTakenOnIncomeQueue);
    EXPECT_TRUE(service->sentOnAnticheatQueue);
    EXPECT_TRUE(answers.onAnticheatQueue);
    EXPECT_EQ(answers.status, ZQBReceiptStatus::valid);
    std::lock_guard lock(service->mutex);
    ASSERT_EQ(service->sent.size(), 1u);
    EXPECT_EQ(service->sent[0].first.receipt.data, "abc");
    EXPECT_EQ(service->sent[0].first.bundle, test::ScopedEnvironment::kBundleIdentifier);
    EXPECT_EQ(service->sent[0].second, "key");
}

// A block a queue drops unrun, and a verification whose logic is gone before it runs, still answer once,
// with an internal error and without a message of their own.
TEST_F(AntiCheatLogicTest, EveryVerificationAnswersExactlyOnceAlsoWhenItsBlockIsDropped) {
    auto& income = QueueManager::incomeQueue();
    auto& anticheat = QueueManager::anticheatQueue();

    Answers droppedOnIncome;
    income.pause();
    logic->verifyPayment("abc", droppedOnIncome.handler());
    income.cancelAll();
    income.resume();

    Answers droppedOnAnticheat;
    anticheat.pause();
    logic->verifyPayment("abc", droppedOnAnticheat.handler());
    test::settle({&income});
    anticheat.cancelAll();
    anticheat.resume();

    Answers logicGone;
    income.pause();
    logic->verifyPayment("abc", logicGone.handler());
    logic.reset();
    income.resume();
    test::settle({&income, &anticheat});

    EXPECT_EQ(droppedOnIncome.count(), 1);
    EXPECT_EQ(droppedOnIncome.status, ZQBReceiptStatus::internalError);
    EXPECT_EQ(droppedOnAnticheat.count(), 1);
    EXPECT_EQ(droppedOnAnticheat.status, ZQBReceiptStatus::internalError);
    EXPECT_EQ(logicGone.count(), 1);
    EXPECT_EQ(logicGone.status, ZQBReceiptStatus::internalError);
    EXPECT_TRUE(service->sent.empty());
    EXPECT_TRUE(log.texts().empty());
}

}  // namespace
}  // namespace zqb

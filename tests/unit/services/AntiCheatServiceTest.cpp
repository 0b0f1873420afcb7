#include "backend/Backend.hpp"
#include "core/QueueManager.hpp"
#include "core/TextUtils.hpp"
#include "host/CurlHttpSession.hpp"
#include "host/Environment.hpp"
#include "network/BackendConfigUrl.hpp"
#include "services/AntiCheatService.hpp"
#include "support/FakeStateManager.hpp"
#include "support/LogCapture.hpp"
#include "support/LoopbackGateway.hpp"
#include "support/ScopedEnvironment.hpp"
#include "support/Wait.hpp"

#include <gtest/gtest.h>

#include <future>
#include <memory>

namespace zqb {
namespace {

using test::LoopbackGateway;
using Reply = LoopbackGateway::Reply;

constexpr const char* kVerifyPath = "/v2/verify/payment";

class AntiCheatServiceTest : public ::testing::Test {
protected:
    void SetUp() override {
        BackendConfigUrl::setTestProxyUrl(gateway.baseUrl());
        host::CurlHttpSession::Options options;
        options.idleTimeout = std::chrono::seconds(2);
        options.connectTimeout = std::chrono::seconds(2);
        host::Environment::shared().setHttpSession(std::make_shared<host::CurlHttpSession>(options));
    }
    void TearDown() override { BackendConfigUrl::setTestProxyUrl(""); }

    static Receipt receipt() {
        Receipt value;
        value.receipt.data = "UkVDRUlQVA==";
        value.bundle = "com.example.zqbtestapp";
        return value;
    }
    // As the anti-cheat logic calls it: from a block on the anti-cheat queue.
    ZQBVerifyResponse verify() {
        std::promise<ZQBVerifyResponse> result;
        QueueManager::anticheatQueue().addOperation(
            [&] { result.set_value(service->receiveReceiptStatus(receipt())); });
        return result.get_future().get();
    }

    test::ScopedEnvironment env;
    test::LogCapture log;
    LoopbackGateway gateway;
    std::shared_ptr<test::FakeStateManager> state = std::make_shared<test::FakeStateManager>();
    std::shared_ptr<AntiCheatService> service = std::make_shared<AntiCheatService>(
        state, nullptr, std::make_shared<Backend>(std::make_shared<BackendRepository>()));
};

TEST_F(AntiCheatServiceTest, EachGatewayAnswerGivesItsStatus) {
    struct Case {
        Reply reply;
        ZQBReceiptStatus status;
        std::optional<std::string> result;
    };
    const std::vector<Case> cases{
        {Reply(200, R"({"status": 0, "verificationResult": "ok"})"), ZQBReceiptStatus::receiptValid, "ok"},
        {Reply(200, R"({"status": 1})"), ZQBReceiptStatus::receiptNotValid, std::nullopt},
        {Reply(200, R"({"status": 2, "verificationResult": "later"})"), ZQBReceiptStatus::receiptServerError,
         "later"},
        {Reply(200, R"({"status": 3, "verificationResult": "sandbox"})"), ZQBReceiptStatus::receiptSandbox,
         "sandbox"},
        {Reply(200, R"({"status": 4})"), ZQBReceiptStatus::receiptInternalError, std::nullopt},
        {Reply(200, R"({"status": 9, "verificationResult": "odd"})"), ZQBReceiptStatus::receiptInternalError,
         "odd"},
        {Reply(200, "not json"), ZQBReceiptStatus::receiptInternalError, std::nullopt},
        {Reply(500, R"({"status": 0, "verificationResult": "ok"})"), ZQBReceiptStatus::receiptServerError,
         std::nullopt},
    };
    for (std::size_t index = 0; index < cases.size(); ++index) {
        gateway.pushReply(kVerifyPath, cases[index].reply);
        const auto response = verify();
        EXPECT_EQ(response.receiptStatus(), cases[index].status) << "case " << index;
        EXPECT_EQ(response.verificationResult(), cases[index].result) << "case " << index;
    }
    ASSERT_EQ(gateway.requestCount(), cases.size());
    const auto request = gateway.requests()[0];
    EXPECT_EQ(request.query, "appId=test-app-key");
    EXPECT_EQ(
        request.body,
        R"({"platform":"ios","receipt":{"receipt-data":"UkVDRUlQVA==","password":""},"bundle":"com.example.zqbtestapp"})");
    EXPECT_EQ(request.header("DeviceId"), text::base64Encode("device-1"));

    // No gateway at all: the transport failure is a server error.
    BackendConfigUrl::setTestProxyUrl("http://127.0.0.1:1");
    EXPECT_EQ(verify().receiptStatus(), ZQBReceiptStatus::receiptServerError);
}

TEST_F(AntiCheatServiceTest, TheUserActiveWhenTheVerificationRunsIsSent) {
    gateway.setReply(kVerifyPath, Reply(200, R"({"status": 0})"));
    // The switch is queued on the income queue before the verification reads the user there.
    QueueManager::incomeQueue().addOperation([this] { state->activateUser("user-2"); });
    verify();
    ASSERT_EQ(gateway.requestCount(), 1U);
    EXPECT_EQ(gateway.requests()[0].header("UserId"), text::base64Encode("user-2"));

    // Called on the income queue itself, it reads there directly.
    std::promise<ZQBVerifyResponse> onIncome;
    QueueManager::incomeQueue().addOperation(
        [&] { onIncome.set_value(service->receiveReceiptStatus(receipt())); });
    EXPECT_EQ(onIncome.get_future().get().receiptStatus(), ZQBReceiptStatus::receiptValid);
}

TEST_F(AntiCheatServiceTest, AVerificationWhoseReadIsDroppedEndsWithAnInternalError) {
    auto& income = QueueManager::incomeQueue();
    income.pause();
    auto pending =
        std::async(std::launch::async, [this] { return service->receiveReceiptStatus(receipt()); });
    ASSERT_TRUE(test::waitUntil([&] { return income.operationCount() == 1; }));
    income.cancelAll();
    income.resume();
    EXPECT_EQ(pending.get().receiptStatus(), ZQBReceiptStatus::receiptInternalError);
    EXPECT_EQ(gateway.requestCount(), 0U);
    EXPECT_TRUE(log.contains("Receipt verification has been canceled"));
}

}  // namespace
}  // namespace zqb

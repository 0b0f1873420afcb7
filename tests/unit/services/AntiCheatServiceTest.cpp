#include "backend/Backend.hpp"
#include "foundation/QueueManager.hpp"
#include "foundation/TextUtils.hpp"
#include "host/Environment.hpp"
#include "network/BackendConfigUrl.hpp"
#include "services/AntiCheatService.hpp"
#include "support/FakeStateManager.hpp"
#include "support/GatewayClient.hpp"
#include "support/LoopbackGateway.hpp"
#include "support/ScopedEnvironment.hpp"

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
    void SetUp() override { BackendConfigUrl::setTestProxyUrl(gateway.baseUrl()); }
    void TearDown() override { BackendConfigUrl::setTestProxyUrl(""); }

    // As the anti-cheat logic calls it: from a block on the anti-cheat queue.
    ZQBVerifyResponse verify(const ReceiptSender& sender) {
        Receipt receipt;
        receipt.receipt.data = "UkVDRUlQVA==";
        receipt.bundle = "com.example.zqbtestapp";
        std::promise<ZQBVerifyResponse> result;
        QueueManager::anticheatQueue().addOperation(
            [&] { result.set_value(service->receiveReceiptStatus(receipt, sender)); });
        return result.get_future().get();
    }

    test::ScopedEnvironment env;
    LoopbackGateway gateway;
    std::shared_ptr<test::FakeStateManager> state = std::make_shared<test::FakeStateManager>();
    std::shared_ptr<AntiCheatService> service = std::make_shared<AntiCheatService>(
        state, nullptr,
        std::make_shared<Backend>(test::gatewayClient(host::Environment::shared().httpSession())));
};

// The sender is fixed when the verification is queued; the exchange reads no state of the income queue, so
// neither a later user switch nor a held income queue reaches it.
TEST_F(AntiCheatServiceTest, TheReceiptGoesOutForTheSenderTakenWhenItWasQueued) {
    gateway.setReply(kVerifyPath, Reply(200, R"({"status": 3, "verificationResult": "sandbox"})"));
    state->activateUser("user-2");
    const ReceiptSender sender = service->receiptSender();
    state->activateUser("user-3");

    auto& income = QueueManager::incomeQueue();
    income.pause();
    const auto response = verify(sender);
    income.resume();

    EXPECT_EQ(response.receiptStatus(), ZQBReceiptStatus::sandbox);
    EXPECT_EQ(response.verificationResult(), "sandbox");
    ASSERT_EQ(gateway.requestCount(), 1U);
    const auto request = gateway.requests()[0];
    EXPECT_EQ(request.query, "appId=test-app-key");
    EXPECT_EQ(
        request.body,
        R"({"platform":"ios","receipt":{"receipt-data":"UkVDRUlQVA==","password":""},"bundle":"com.example.zqbtestapp"})");
    EXPECT_EQ(request.header("UserId"), text::base64Encode("user-2"));
    EXPECT_EQ(request.header("DeviceId"), text::base64Encode("device-1"));
}

}  // namespace
}  // namespace zqb

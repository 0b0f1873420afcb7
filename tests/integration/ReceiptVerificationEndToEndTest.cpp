// Receipt verification through the public interface: what reaches the gateway, how each answer comes back,
// and the refusals that never leave the device.

#include "integration/EndToEndFixture.hpp"

#include <ZQBAnalytics/ZQBAntiCheat.hpp>
#include <ZQBAnalytics/ZQBHost.hpp>

#include "foundation/QueueManager.hpp"
#include "support/LogCapture.hpp"
#include "support/RawSocketServer.hpp"
#include "support/TempDir.hpp"

#include <fstream>
#include <mutex>
#include <optional>
#include <string>
#include <type_traits>
#include <vector>

namespace zqb {
namespace {

using Reply = test::LoopbackGateway::Reply;

constexpr const char* kVerifyPath = "/v2/verify/payment";
constexpr const char* kNotInitialized =
    "ERROR In the VerifyPayment method an error has occurred: The SDK is not initialized yet!";

static_assert(!std::is_default_constructible_v<ZQBAntiCheat>);
static_assert(!std::is_constructible_v<ZQBVerifyResponse, ZQBReceiptStatus, std::optional<std::string>>);
static_assert(!std::is_default_constructible_v<ZQBVerifyResponse>);

// The responses handed to the handlers it gives out, in the order the handlers were called.
class Responses {
public:
    ZQBAntiCheat::CompletionHandler handler() {
        return [this](const ZQBVerifyResponse& response) {
            std::lock_guard lock(mutex_);
            responses_.push_back(response);
        };
    }
    std::vector<ZQBVerifyResponse> all() const {
        std::lock_guard lock(mutex_);
        return responses_;
    }
    std::size_t size() const { return all().size(); }
    bool waitFor(std::size_t count) const {
        return test::waitUntil([&] { return size() >= count; });
    }
    // The one response of a single verification, once it has come.
    ZQBVerifyResponse only() const {
        EXPECT_TRUE(waitFor(1));
        const auto responses = all();
        EXPECT_EQ(responses.size(), 1u);
        return responses.front();
    }

private:
    mutable std::mutex mutex_;
    std::vector<ZQBVerifyResponse> responses_;
};

class ReceiptVerificationEndToEnd : public test::EndToEndTest {
protected:
    ZQBVerifyResponse verify(const std::string& receipt) {
        Responses responses;
        ZQBAntiCheat::verifyPayment(receipt, responses.handler());
        return responses.only();
    }
    ZQBVerifyResponse verifyReceiptFile() {
        Responses responses;
        ZQBAntiCheat::verifyPayment(responses.handler());
        return responses.only();
    }
    std::filesystem::path writeFile(const std::string& name, const std::string& bytes) {
        const auto path = files.path() / name;
        std::ofstream(path, std::ios::binary) << bytes;
        return path;
    }
    std::vector<std::string> errors() const {
        std::vector<std::string> found;
        for (const auto& line : log.lines()) {
            if (line.level == ZQBLogLevel::error) {
                found.push_back(line.text);
            }
        }
        return found;
    }

    test::LogCapture log;
    test::TempDir files;
};

TEST_F(ReceiptVerificationEndToEnd, TheReceiptIsPostedWithTheIdentifiersOfTheActiveUser) {
    start();
    ZQBAnalytics::setUserId("buyer-1");
    gateway.setReply(kVerifyPath, {200, R"({"status": 0, "verificationResult": "ok"})"});

    const auto response = verify("abc");
    EXPECT_EQ(response.receiptStatus(), ZQBReceiptStatus::valid);
    EXPECT_EQ(response.verificationResult(), "ok");
    EXPECT_EQ(response.description(), "receiptStatus: [Receipt valid] verificationResult: [ok]");

    const auto requests = gateway.requests(kVerifyPath);
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].method, "POST");
    EXPECT_EQ(requests[0].query, std::string("appId=") + kApplicationKey);
    EXPECT_EQ(
        requests[0].body,
        R"({"platform":"ios","receipt":{"receipt-data":"abc","password":""},"bundle":"com.example.zqbtestapp"})");
    EXPECT_EQ(requests[0].header("UserId"), encodedId("buyer-1"));
    EXPECT_TRUE(requests[0].header("DeviceId").has_value());
}

TEST_F(ReceiptVerificationEndToEnd, EachGatewayAnswerComesBackAsItsStatus) {
    start();
    struct Case {
        Reply reply;
        ZQBReceiptStatus status;
        std::optional<std::string> result;
    };
    const std::vector<Case> cases{
        {Reply(200, R"({"status": 0, "verificationResult": "ok"})"), ZQBReceiptStatus::valid, "ok"},
        {Reply(200, R"({"status": 1, "verificationResult": "x"})"), ZQBReceiptStatus::notValid, "x"},
        {Reply(200, R"({"status": 2})"), ZQBReceiptStatus::serverError, std::nullopt},
        {Reply(200, R"({"status": 3, "verificationResult": "sandbox"})"), ZQBReceiptStatus::sandbox,
         "sandbox"},
        {Reply(200, R"({"status": 4, "verificationResult": "odd"})"), ZQBReceiptStatus::internalError, "odd"},
        {Reply(200, R"({"status": 7, "verificationResult": "new"})"), ZQBReceiptStatus::internalError, "new"},
        {Reply(200, R"({"verificationResult": null})"), ZQBReceiptStatus::internalError, std::nullopt},
        {Reply(500, R"({"status": 0, "verificationResult": "ok"})"), ZQBReceiptStatus::serverError,
         std::nullopt},
        {Reply(200, "<html>garbage</html>"), ZQBReceiptStatus::internalError, std::nullopt},
        {Reply(200, R"({"status": "0"})"), ZQBReceiptStatus::internalError, std::nullopt},
        // The gateway answered, but its body was cut off: not a server error to try again later.
        {Reply(200, R"({"status": 0, "verificationResult": "ok"})").abortingAfter(5),
         ZQBReceiptStatus::internalError, std::nullopt},
    };
    for (std::size_t index = 0; index < cases.size(); ++index) {
        gateway.pushReply(kVerifyPath, cases[index].reply);
        const auto response = verify("abc");
        EXPECT_EQ(response.receiptStatus(), cases[index].status) << "case " << index;
        EXPECT_EQ(response.verificationResult(), cases[index].result) << "case " << index;
    }
    EXPECT_EQ(gateway.requests(kVerifyPath).size(), cases.size());

    // A connection reset before any answer is a server error.
    test::RawSocketServer resetting("", test::RawSocketServer::Ending::reset);
    ZQBAnalytics::setTestProxyUrl(resetting.baseUrl());
    const auto reset = verify("abc");
    ZQBAnalytics::setTestProxyUrl(gateway.baseUrl());
    EXPECT_EQ(resetting.connections(), 1);
    EXPECT_EQ(reset.receiptStatus(), ZQBReceiptStatus::serverError);
    EXPECT_EQ(reset.verificationResult(), std::nullopt);
    EXPECT_TRUE(log.contains("ERROR [Backend Module] Failed to send a receipt, status code: 400"));
}

TEST_F(ReceiptVerificationEndToEnd, AnEmptyReceiptIsRefusedWithoutARequest) {
    start();
    const auto response = verify("");
    EXPECT_EQ(response.receiptStatus(), ZQBReceiptStatus::internalError);
    EXPECT_EQ(response.description(), "receiptStatus: [Receipt internal error]");
    EXPECT_EQ(errors(), std::vector<std::string>{"ERROR Invalid receipt data."});
    EXPECT_TRUE(gateway.requests(kVerifyPath).empty());
}

TEST_F(ReceiptVerificationEndToEnd, TheReceiptFileIsSentAsBase64WhenThereIsOne) {
    start();
    gateway.setReply(kVerifyPath, {200, R"({"status": 3})"});

    // No location at all, then a location without a file: nothing to send, and nothing to say.
    EXPECT_EQ(verifyReceiptFile().receiptStatus(), ZQBReceiptStatus::internalError);
    ZQBHost::setReceiptPath((files.path() / "absent").string());
    EXPECT_EQ(verifyReceiptFile().receiptStatus(), ZQBReceiptStatus::internalError);
    EXPECT_TRUE(errors().empty());
    EXPECT_TRUE(gateway.requests(kVerifyPath).empty());

    // A file there that cannot be read.
    std::filesystem::create_directory(files.path() / "folder");
    ZQBHost::setReceiptPath((files.path() / "folder").string());
    EXPECT_EQ(verifyReceiptFile().receiptStatus(), ZQBReceiptStatus::internalError);
    EXPECT_EQ(errors(), std::vector<std::string>{"ERROR Couldn't read receipt data. Error: Is a directory"});
    EXPECT_TRUE(gateway.requests(kVerifyPath).empty());

    // Binary bytes, read when the call runs: the location may be set after start-up.
    ZQBHost::setReceiptPath(writeFile("receipt", std::string("\x00\xFF\x10r", 4)).string());
    EXPECT_EQ(verifyReceiptFile().receiptStatus(), ZQBReceiptStatus::sandbox);
    // An empty file is sent as an empty text.
    ZQBHost::setReceiptPath(writeFile("empty", "").string());
    EXPECT_EQ(verifyReceiptFile().receiptStatus(), ZQBReceiptStatus::sandbox);

    const auto requests = gateway.requests(kVerifyPath);
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(nlohmann::json::parse(requests[0].body)["receipt"]["receipt-data"], "AP8Qcg==");
    EXPECT_EQ(nlohmann::json::parse(requests[1].body)["receipt"]["receipt-data"], "");
}

TEST_F(ReceiptVerificationEndToEnd, BeforeInitialisationBothFormsAnswerAnInternalError) {
    ZQBHost::setReceiptPath(writeFile("receipt", "bytes").string());
    EXPECT_EQ(verify("abc").receiptStatus(), ZQBReceiptStatus::internalError);
    EXPECT_EQ(verifyReceiptFile().receiptStatus(), ZQBReceiptStatus::internalError);
    EXPECT_EQ(errors(), (std::vector<std::string>{kNotInitialized, kNotInitialized}));
    EXPECT_TRUE(gateway.requests(kVerifyPath).empty());
}

// The exchange needs nothing of the income queue: verifications queued behind a slow one finish while that
// queue is held (as it is while a library initialised in the background waits to become active), one after
// the other and in the order they were asked for.
TEST_F(ReceiptVerificationEndToEnd, VerificationsCompleteInOrderWhileTheIncomeQueueIsHeld) {
    start();
    gateway.pushReply(kVerifyPath, Reply(200, R"({"status": 0})").hanging());
    gateway.setReply(kVerifyPath, {200, R"({"status": 1})"});
    Responses responses;
    ZQBAntiCheat::verifyPayment("first", responses.handler());
    ZQBAntiCheat::verifyPayment("second", responses.handler());
    ASSERT_TRUE(test::waitUntil([&] { return gateway.requests(kVerifyPath).size() == 1; }));
    test::settle({&QueueManager::incomeQueue()});

    auto& income = QueueManager::incomeQueue();
    income.pause();
    gateway.releaseHangs();
    const bool answered = responses.waitFor(2);
    income.resume();
    ASSERT_TRUE(answered);

    const auto all = responses.all();
    EXPECT_EQ(all[0].receiptStatus(), ZQBReceiptStatus::serverError);  // the released hang answers 503
    EXPECT_EQ(all[1].receiptStatus(), ZQBReceiptStatus::notValid);
    const auto requests = gateway.requests(kVerifyPath);
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_NE(requests[0].body.find("first"), std::string::npos);
    EXPECT_NE(requests[1].body.find("second"), std::string::npos);
}

TEST_F(ReceiptVerificationEndToEnd, AVerificationUnderWayWhenTheLibraryIsDestroyedStillAnswersOnce) {
    start();
    gateway.setReply(kVerifyPath, Reply(200, R"({"status": 0})").hanging());
    Responses responses;
    ZQBAntiCheat::verifyPayment("abc", responses.handler());
    ASSERT_TRUE(test::waitUntil([&] { return gateway.requests(kVerifyPath).size() == 1; }));

    Core::destroy();
    test::settleAll();
    EXPECT_EQ(Core::current(), nullptr);
    EXPECT_EQ(responses.size(), 0u);

    gateway.releaseHangs();
    ASSERT_TRUE(responses.waitFor(1));
    test::settle({&QueueManager::anticheatQueue()});
    EXPECT_EQ(responses.size(), 1u);
    EXPECT_EQ(responses.all()[0].receiptStatus(), ZQBReceiptStatus::serverError);
}

}  // namespace
}  // namespace zqb

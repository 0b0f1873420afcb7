#include "backend/Backend.hpp"
#include "foundation/TextUtils.hpp"
#include "host/CurlHttpSession.hpp"
#include "host/Environment.hpp"
#include "network/BackendConfigUrl.hpp"
#include "support/GatewayClient.hpp"
#include "support/LogCapture.hpp"
#include "support/LoopbackGateway.hpp"
#include "support/RawSocketServer.hpp"
#include "support/ScopedEnvironment.hpp"
#include "support/UnansweredPort.hpp"

#include <gtest/gtest.h>

namespace zqb {
namespace {

using test::LoopbackGateway;
using Reply = LoopbackGateway::Reply;
using Json = nlohmann::ordered_json;

constexpr const char* kKey = "APP-KEY";
constexpr const char* kConfigPath = "/v2/analytics/config";
constexpr const char* kIdentificationPath = "/v2/analytics/identification";
constexpr const char* kReportPath = "/v2/analytics/report";
constexpr const char* kVerifyPath = "/v2/verify/payment";
constexpr const char* kMessagingPath = "/v2/messaging/config";

const char* const kConfigAnswer =
    R"({"timeForRequest": 60000, "countForRequest": 5, "eventParamsCount": 10, "sessionTimeout": 300000,
        "serverTime": 1, "aliveTimeout": 120000, "userCounting": false, "exclude": {"version": 2}})";

Identifiers identifiers() {
    return Identifiers{"device-1", "device-0", "user \xC3\xA9", std::nullopt, 11, 12, 13};
}

Versions versions() {
    return Versions{"2.1.2", 10, "1.0", "45", 2, 0};
}

// The library's backend pointed at a loopback gateway through the test proxy override, with a short idle
// time-out so that a gateway that never answers costs about a second.
class BackendEndpoints : public ::testing::Test {
protected:
    void SetUp() override { BackendConfigUrl::setTestProxyUrl(gateway.baseUrl()); }
    void TearDown() override {
        BackendConfigUrl::setTestProxyUrl("");
        BackendConfigUrl::setTestCustomUrl("");
    }

    LoopbackGateway::Request onlyRequest() {
        EXPECT_EQ(gateway.requestCount(), 1u);
        const auto all = gateway.requests();
        return all.empty() ? LoopbackGateway::Request{} : all.front();
    }

    ConfigRequestResult requestConfig() { return backend.requestConfig(kKey, identifiers(), versions()); }
    BackendIdentifiers requestIdentification() {
        return backend.requestIdentification(kKey, 2, identifiers());
    }
    ZQBVerifyResponse verify() {
        Receipt receipt;
        receipt.receipt.data = "abc";
        return backend.sendVerifyReceipt(kKey, receipt, identifiers());
    }
    std::optional<MessagingConfig> requestMessaging() {
        return backend.requestMessagingConfig(kKey, MessagingRequestObject{"2.1.2", 10, "1.0", 7, "de"},
                                              identifiers());
    }

    test::ScopedEnvironment environment;
    LoopbackGateway gateway;
    Backend backend{test::gatewayClient(std::make_shared<host::CurlHttpSession>(
        host::CurlHttpSession::Options{.idleTimeout = std::chrono::seconds(1),
                                       .connectTimeout = std::chrono::seconds(1),
                                       .maxBodyBytes = 1024 * 1024}))};
};

void expectIdentifierHeaders(const LoopbackGateway::Request& request) {
    EXPECT_EQ(request.method, "POST");
    EXPECT_EQ(request.query, "appId=APP-KEY");
    EXPECT_EQ(request.header("Content-Type"), "application/json");
    EXPECT_EQ(request.header("Content-Length"), std::to_string(request.body.size()));
    EXPECT_EQ(request.header("DeviceId"), text::base64Encode("device-1"));
    EXPECT_EQ(request.header("PreviousDeviceId"), text::base64Encode("device-0"));
    EXPECT_EQ(request.header("UserId"), text::base64Encode("user \xC3\xA9"));
    EXPECT_FALSE(request.header("PreviousUserId"));
    EXPECT_EQ(request.header("VorantelId"), "11");
    EXPECT_EQ(request.header("CrossPlatformVorantelId"), "12");
    EXPECT_EQ(request.header("VorantelIdTimestamp"), "13");
    EXPECT_EQ(request.header("X-Id-Encoding"), "base64");
}

// ---- configuration

TEST_F(BackendEndpoints, ConfigurationRequestCarriesTheVersionsAndReadsTheAnswer) {
    gateway.setReply(kConfigPath, {200, kConfigAnswer});
    test::LogCapture log(ZQBLogLevel::info);
    const ConfigRequestResult result = requestConfig();
    EXPECT_FALSE(result.isDefault);
    EXPECT_EQ(result.config.countForRequest, 5);
    ASSERT_TRUE(result.config.exclude);
    EXPECT_EQ(result.config.exclude->version, 2);
    EXPECT_TRUE(log.lines().empty());

    const auto request = onlyRequest();
    EXPECT_EQ(request.path, kConfigPath);
    EXPECT_EQ(
        request.body,
        R"({"sdkVersion":"2.1.2","sdkCodeVersion":10,"appVersion":"1.0","excludeVersion":2,"sbsConfigVersion":0})");
    expectIdentifierHeaders(request);
}

TEST_F(BackendEndpoints, ConfigurationFallsBackSilentlyOnAnyOtherStatus) {
    test::LogCapture log;
    for (int status : {304, 500, 201, 404}) {
        gateway.setReply(kConfigPath, {status, kConfigAnswer});
        const ConfigRequestResult result = requestConfig();
        EXPECT_TRUE(result.isDefault) << status;
        EXPECT_EQ(result.config, Config::defaulConfiguration(*zqb::host::Environment::shared().clock()))
            << status;
    }
    EXPECT_TRUE(log.matching("ERROR").empty());
}

TEST_F(BackendEndpoints, ConfigurationThatDoesNotReadFallsBackWithAnErrorLine) {
    test::LogCapture log(ZQBLogLevel::info);
    const std::string missing = R"({"timeForRequest": 1, "countForRequest": 5, "eventParamsCount": 10,
        "sessionTimeout": 300000, "aliveTimeout": 120000, "userCounting": false})";
    const std::string huge = R"({"timeForRequest": 1e999, "countForRequest": 5, "eventParamsCount": 10,
        "sessionTimeout": 300000, "serverTime": 1, "aliveTimeout": 120000, "userCounting": false})";
    const std::string wrongKind = R"({"timeForRequest": 1, "countForRequest": 5, "eventParamsCount": 10,
        "sessionTimeout": 300000, "serverTime": 1, "aliveTimeout": 120000, "userCounting": 1})";
    const std::vector<std::pair<std::string, std::string>> answers = {
        {missing, "The data couldn\u2019t be read because it is missing."},
        {huge, "The data couldn\u2019t be read because it isn\u2019t in the correct format."},
        {wrongKind, "The data couldn\u2019t be read because it isn\u2019t in the correct format."},
        {"", "The data couldn\u2019t be read because it isn\u2019t in the correct format."},
        {"<html>busy</html>", "The data couldn\u2019t be read because it isn\u2019t in the correct format."},
        {"[1,2,3]", "The data couldn\u2019t be read because it isn\u2019t in the correct format."},
        {std::string(200000, '['),
         "The data couldn\u2019t be read because it isn\u2019t in the correct format."},
    };
    for (const auto& [body, description] : answers) {
        log.clear();
        gateway.setReply(kConfigPath, {200, body});
        const ConfigRequestResult result = requestConfig();
        EXPECT_TRUE(result.isDefault) << body.substr(0, 40);
        EXPECT_EQ(log.texts(),
                  std::vector<std::string>{"ERROR [Backend Module] Can't create a config request. Error: " +
                                           description})
            << body.substr(0, 40);
    }
}

TEST_F(BackendEndpoints, ConfigurationSurvivesBrokenTransports) {
    test::LogCapture log(ZQBLogLevel::info);
    // Cut off mid-body, never answered, larger than the answer cap: each is a failed exchange.
    gateway.setReply(kConfigPath, Reply(200, kConfigAnswer).abortingAfter(20));
    EXPECT_TRUE(requestConfig().isDefault);
    gateway.setReply(kConfigPath, Reply(200, kConfigAnswer).hanging());
    EXPECT_TRUE(requestConfig().isDefault);
    gateway.setReply(kConfigPath, Reply(200, std::string(64 * 1024, ' ')).repeated(64));
    EXPECT_TRUE(requestConfig().isDefault);
    EXPECT_EQ(log.matching("ERROR").size(), 1u);
    EXPECT_TRUE(
        log.contains("ERROR [Network Module] The answer is larger than 1048576 bytes and was dropped"));
    EXPECT_EQ(gateway.requestCount(), 3u);
}

// ---- identification

TEST_F(BackendEndpoints, IdentificationCarriesTheAttemptAndMapsEveryStatus) {
    gateway.pushReply(kIdentificationPath, {422, "{}"});
    gateway.pushReply(kIdentificationPath, {202, R"({"retryAfter": 5000})"});
    gateway.pushReply(kIdentificationPath, {200, R"({"vorantelId": 1, "crossPlatformVorantelId": 2,
        "vorantelIdTimestamp": 3})"});
    gateway.pushReply(kIdentificationPath, {200, "{}"});
    test::LogCapture log(ZQBLogLevel::info);

    EXPECT_TRUE(requestIdentification().isDoNotRetry());
    EXPECT_EQ(requestIdentification().retryAfterValue(), 5000);
    EXPECT_EQ(*requestIdentification().identifiersValue(), (BackendIdentifiers::Identifiers{1, 2, 3}));
    EXPECT_EQ(*requestIdentification().identifiersValue(), BackendIdentifiers::Identifiers{});
    EXPECT_TRUE(log.lines().empty());

    const auto requests = gateway.requests();
    ASSERT_EQ(requests.size(), 4u);
    EXPECT_EQ(requests[0].path, kIdentificationPath);
    EXPECT_EQ(requests[0].body, R"({"attempt":2})");
    expectIdentifierHeaders(requests[0]);
}

TEST_F(BackendEndpoints, IdentificationTurnsUnreadableAnswersIntoErrors) {
    const auto errorFor = [&](int status, const std::string& body) {
        gateway.setReply(kIdentificationPath, {status, body});
        const BackendIdentifiers result = requestIdentification();
        return result.errorValue() ? *result.errorValue() : std::string("<no error>");
    };
    EXPECT_EQ(
        errorFor(202, "{}"),
        R"x([Backend Module] parse retry parametr. Error:  keyNotFound("retryAfter", codingPath: [], debugDescription: "No value associated with key "retryAfter"."))x");
    EXPECT_EQ(errorFor(202, R"({"retryAfter": "1500"})")
                  .rfind("[Backend Module] parse retry parametr. Error:  typeMismatch(Int, codingPath: "
                         "[\"retryAfter\"]",
                         0),
              0u);
    EXPECT_EQ(errorFor(202, "").rfind("[Backend Module] parse retry parametr. Error:  dataCorrupted(", 0),
              0u);
    EXPECT_EQ(
        errorFor(200, R"({"vorantelId": 99999999999999999999})")
            .rfind("[Backend Module] parse identifiers. Error:  dataCorrupted(codingPath: [\"vorantelId\"]",
                   0),
        0u);
    EXPECT_EQ(errorFor(200, "garbage").rfind("[Backend Module] parse identifiers. Error:  dataCorrupted(", 0),
              0u);
    for (int status : {201, 204, 404, 500}) {
        EXPECT_EQ(errorFor(status, "{}"),
                  "[Backend Module] identifiers, unknown status code " + std::to_string(status));
    }
    // A 200 whose body was cut off keeps its status and has no body to read.
    gateway.setReply(kIdentificationPath, Reply(200, "{}").abortingAfter(1));
    EXPECT_EQ(requestIdentification().errorValue()->rfind(
                  "[Backend Module] parse identifiers. Error:  dataCorrupted(", 0),
              0u);
}

// ---- reports

TEST_F(BackendEndpoints, ReportUploadPostsTheReportsAndSucceedsOnlyOn200) {
    auto first = std::make_shared<Report>(std::vector<Package>{});
    first->uuid = "A";
    Package package;
    package.sdkVersion = "2.1.2";
    package.sdkCodeVersion = 10;
    package.events = std::vector<std::string>{R"({"code":"ce","name":"x"})"};
    auto second = std::make_shared<Report>(std::vector<Package>{package});
    second->uuid = "B";
    const Reports reports{{first, second}};
    EXPECT_EQ(Backend::requestIdentifier(reports), "A, B");
    EXPECT_EQ(Backend::requestIdentifier(Reports{{first}}), "A");

    gateway.setReply(kReportPath, {200, "ignored"});
    test::LogCapture log;
    EXPECT_TRUE(backend.sendAnalytics(kKey, identifiers(), reports).isSuccess());
    EXPECT_EQ(log.count("Content UUID: A, B \n"), 1u);
    const auto request = onlyRequest();
    EXPECT_EQ(request.path, kReportPath);
    EXPECT_EQ(request.body,
              "{\"reports\":[{\"packages\":[]},{\"packages\":[" + JsonText::write(Json(package)) + "]}]}");
    expectIdentifierHeaders(request);

    for (int status : {201, 204, 500}) {
        gateway.setReply(kReportPath, {status, ""});
        const SendAnalyticsResult result = backend.sendAnalytics(kKey, identifiers(), reports);
        ASSERT_FALSE(result.isSuccess());
        EXPECT_EQ(result.error->localizedDescription(),
                  "[Backend Module] Failed to send Report, status code: " + std::to_string(status));
    }
    gateway.setReply(kReportPath, Reply(200, "").hanging());
    EXPECT_EQ(backend.sendAnalytics(kKey, identifiers(), reports)
                  .error->localizedDescription()
                  .rfind("[Backend Module] Failed to send Report, status code: 400 (no answer: ", 0),
              0u);
    EXPECT_TRUE(log.matching("ERROR").empty());
}

// ---- receipts

TEST_F(BackendEndpoints, ReceiptVerificationMapsTheGatewaysStatus) {
    test::LogCapture log(ZQBLogLevel::info);
    gateway.setReply(kVerifyPath, {200, R"({"status": 1, "verificationResult": "x"})"});
    const ZQBVerifyResponse notValid = verify();
    EXPECT_EQ(notValid.receiptStatus(), ZQBReceiptStatus::notValid);
    EXPECT_EQ(notValid.verificationResult(), "x");
    EXPECT_EQ(log.texts(),
              std::vector<std::string>{"INFO [Backend Module] Receipt verification result: \n\t"
                                       "receiptStatus: [Receipt not valid] verificationResult: [x]"});
    const auto request = onlyRequest();
    EXPECT_EQ(request.path, kVerifyPath);
    EXPECT_EQ(request.body, R"({"platform":"ios","receipt":{"receipt-data":"abc","password":""}})");
    expectIdentifierHeaders(request);

    log.clear();
    gateway.setReply(kVerifyPath, {200, R"({"status": 7, "verificationResult": "y"})"});
    const ZQBVerifyResponse outOfRange = verify();
    EXPECT_EQ(outOfRange.receiptStatus(), ZQBReceiptStatus::internalError);
    EXPECT_EQ(outOfRange.verificationResult(), "y");
    gateway.setReply(kVerifyPath, {200, R"({"verificationResult": "z"})"});
    EXPECT_EQ(verify().receiptStatus(), ZQBReceiptStatus::internalError);
    EXPECT_EQ(log.texts(),
              std::vector<std::string>(2, "ERROR [Backend Module] Can't parse verification data"));

    log.clear();
    gateway.setReply(kVerifyPath, {503, R"({"status": 0})"});
    const ZQBVerifyResponse serverError = verify();
    EXPECT_EQ(serverError.receiptStatus(), ZQBReceiptStatus::serverError);
    EXPECT_FALSE(serverError.verificationResult());
    EXPECT_EQ(log.texts(),
              std::vector<std::string>{"ERROR [Backend Module] Failed to send a receipt, status code: 503"});
}

TEST_F(BackendEndpoints, ReceiptAnswersThatDoNotReadAreInternalErrors) {
    test::LogCapture log(ZQBLogLevel::info);
    for (const std::string& body : {std::string(""), std::string("{"), std::string(R"({"status": "0"})"),
                                    std::string(R"({"status": 1e30})"), std::string("null")}) {
        log.clear();
        gateway.setReply(kVerifyPath, {200, body});
        const ZQBVerifyResponse response = verify();
        EXPECT_EQ(response.receiptStatus(), ZQBReceiptStatus::internalError) << body;
        EXPECT_FALSE(response.verificationResult()) << body;
        ASSERT_EQ(log.lines().size(), 1u) << body;
        EXPECT_EQ(log.texts()[0].rfind("ERROR [Backend Module] Can't create a request for receipt "
                                       "verification. Error: The data couldn",
                                       0),
                  0u)
            << log.texts()[0];
    }
    log.clear();
    gateway.setReply(kVerifyPath, Reply(200, R"({"status": 0})").hanging());
    EXPECT_EQ(verify().receiptStatus(), ZQBReceiptStatus::serverError);
    ASSERT_EQ(log.lines().size(), 1u);
    EXPECT_EQ(log.texts()[0].rfind(
                  "ERROR [Backend Module] Failed to send a receipt, status code: 400 (no answer: ", 0),
              0u);
}

// ---- push categories

TEST_F(BackendEndpoints, MessagingAcceptsAReadableBodyWhateverTheStatus) {
    const char* const answer =
        R"({"pushCategories": {"version": 9, "categories": [{"id": "c", "buttons": []}], "removed": ["old"]}})";
    gateway.setReply(kMessagingPath, {500, answer});
    test::LogCapture log(ZQBLogLevel::info);
    const auto config = requestMessaging();
    ASSERT_TRUE(config);
    EXPECT_EQ(config->version, 9);
    EXPECT_EQ(config->categories.size(), 1u);
    EXPECT_EQ(config->removed, std::vector<std::string>{"old"});
    const auto request = onlyRequest();
    EXPECT_EQ(request.path, kMessagingPath);
    EXPECT_EQ(
        request.body,
        R"({"sdkVersion":"2.1.2","sdkCodeVersion":10,"appVersion":"1.0","categoriesVersion":7,"language":"de"})");
    expectIdentifierHeaders(request);

    for (const std::string& body : {std::string(""), std::string("garbage"), std::string(kConfigAnswer),
                                    std::string(R"({"pushCategories": {"version": 1}})")}) {
        gateway.setReply(kMessagingPath, {200, body});
        EXPECT_FALSE(requestMessaging()) << body;
    }
    gateway.setReply(kMessagingPath, Reply(200, answer).abortingAfter(10));
    EXPECT_FALSE(requestMessaging());
    EXPECT_TRUE(log.lines().empty());
}

// ---- a status that never came

// A 400 the gateway never sent shows why after it, each way of failing with its own reason, in every
// message that shows the status; the gateway's own 400 shows none. (The time-out, which costs seconds, is
// the end-to-end test's.)
TEST_F(BackendEndpoints, A400ThatIsNotTheGatewaysIsShownWithTheTransportsReason) {
    const Reports reports{{std::make_shared<Report>(std::vector<Package>{})}};
    const auto reportFailure = [&] {
        const SendAnalyticsResult result = backend.sendAnalytics(kKey, identifiers(), reports);
        return result.error ? result.error->localizedDescription() : std::string("success");
    };
    test::UnansweredPort refusing(test::UnansweredPort::Kind::refusing);
    test::RawSocketServer closing("");
    test::RawSocketServer garbage("hello there\r\n\r\n");
    const std::string head = "[Backend Module] Failed to send Report, status code: 400 (no answer: ";
    for (const auto& [address, reason] :
         std::vector<std::pair<std::string, std::string>>{{refusing.baseUrl(), "Connection refused"},
                                                          {closing.baseUrl(), "Empty reply from server"},
                                                          {garbage.baseUrl(), "HTTP/0.9"}}) {
        BackendConfigUrl::setTestProxyUrl(address);
        const std::string text = reportFailure();
        EXPECT_EQ(text.rfind(head, 0), 0u) << text;
        EXPECT_NE(text.find(reason, head.size()), std::string::npos) << text;
        EXPECT_EQ(text.back(), ')') << text;
    }

    BackendConfigUrl::setTestProxyUrl(refusing.baseUrl());
    test::LogCapture log;
    const auto reasonAfter = [](const std::string& text, const std::string& start) {
        return text.rfind(start + " (no answer: ", 0) == 0 &&
               text.find("Connection refused") != std::string::npos;
    };
    EXPECT_TRUE(reasonAfter(*requestIdentification().errorValue(),
                            "[Backend Module] identifiers, unknown status code 400"));
    EXPECT_EQ(verify().receiptStatus(), ZQBReceiptStatus::serverError);
    EXPECT_FALSE(requestMessaging());
    const ConfigRequestResult config = requestConfig();
    EXPECT_TRUE(config.isDefault);
    ASSERT_TRUE(config.withoutAnswer);
    EXPECT_TRUE(reasonAfter("400 (" + *config.withoutAnswer, "400"));
    const auto failures = log.matching("] Failed to ");
    ASSERT_EQ(failures.size(), 2u);
    EXPECT_TRUE(
        reasonAfter(failures[0], "ERROR [Backend Module] Failed to send a receipt, status code: 400"));
    EXPECT_TRUE(
        reasonAfter(failures[1], "DEBUG [Backend Module] Failed to get push categories, status code: 400"));

    BackendConfigUrl::setTestProxyUrl(gateway.baseUrl());
    gateway.setDefaultReply({400, ""});
    log.clear();
    EXPECT_EQ(reportFailure(), "[Backend Module] Failed to send Report, status code: 400");
    EXPECT_EQ(*requestIdentification().errorValue(), "[Backend Module] identifiers, unknown status code 400");
    EXPECT_EQ(verify().receiptStatus(), ZQBReceiptStatus::serverError);
    EXPECT_FALSE(requestMessaging());
    EXPECT_FALSE(requestConfig().withoutAnswer);
    EXPECT_EQ(log.matching("] Failed to "),
              std::vector<std::string>{"ERROR [Backend Module] Failed to send a receipt, status code: 400"});
}

// ---- addresses

TEST_F(BackendEndpoints, TheCustomOverrideIsAppendedToTheProxy) {
    BackendConfigUrl::setTestCustomUrl("/custom");
    gateway.setReply("/custom/v2/analytics/config", {200, kConfigAnswer});
    EXPECT_FALSE(requestConfig().isDefault);
    EXPECT_EQ(onlyRequest().path, "/custom/v2/analytics/config");
}

TEST_F(BackendEndpoints, AnOverrideThatIsNoHttpAddressSendsNothing) {
    test::LogCapture log(ZQBLogLevel::info);
    for (const std::string& proxy :
         {"ftp://127.0.0.1:" + std::to_string(gateway.port()), std::string("file:///tmp"),
          "http://127.0.0.1:" + std::to_string(gateway.port()) + " /x"}) {
        BackendConfigUrl::setTestProxyUrl(proxy);
        EXPECT_TRUE(requestConfig().isDefault);
        EXPECT_EQ(
            *requestIdentification().errorValue(),
            "[Backend Module] identifiers, unknown status code 400 (not sent: the address is not a valid "
            "http or https URL)");
        EXPECT_FALSE(requestMessaging());
    }
    EXPECT_EQ(gateway.requestCount(), 0u);
    EXPECT_TRUE(log.lines().empty());
}

// A network whose requests record their address and cannot be built, for the address rules without a
// server and the build-failure branches.
class UnbuildableNetwork final : public NetworkProtocol {
public:
    class Builder final : public RequestBuilderProtocol {
    public:
        explicit Builder(std::string host) : url_(std::move(host)) {}
        RequestType type() const override { return RequestType::POST; }
        UrlBuilderProtocol& urlBuilder() override { return url_; }
        void setRequestContent(std::shared_ptr<const RequestContentProtocol>) override {}
        void setRequestIdentifier(std::optional<std::string>) override {}
        std::unique_ptr<RequestProtocol> build() const override {
            throw ZQBError("[Network Module] requestContent is nil");
        }

    private:
        UrlBuilder url_;
    };

    std::unique_ptr<RequestBuilderProtocol> post(const std::string& host) const override {
        hosts.push_back(host);
        return std::make_unique<Builder>(host);
    }
    std::unique_ptr<RequestBuilderProtocol> get(const std::string& host) const override { return post(host); }

    mutable std::vector<std::string> hosts;
};

TEST(BackendAddresses, BuiltInAddressOrOverridesThenVersionAndPath) {
    auto network = std::make_shared<UnbuildableNetwork>();
    const Backend backend(std::make_shared<BackendRepository>(network, std::make_shared<ContentFactory>(),
                                                              zqb::host::Environment::shared().clock()));
    test::LogCapture log;
    backend.requestConfig(kKey, identifiers(), versions());
    BackendConfigUrl::setTestCustomUrl("/s");
    backend.requestIdentification(kKey, 1, identifiers());
    BackendConfigUrl::setTestProxyUrl("http://p.example");
    backend.sendAnalytics(kKey, identifiers(), Reports{});
    BackendConfigUrl::setTestCustomUrl("");
    backend.sendVerifyReceipt(kKey, Receipt{}, identifiers());
    backend.requestMessagingConfig(kKey, MessagingRequestObject{}, identifiers());
    BackendConfigUrl::setTestProxyUrl("");
    EXPECT_EQ(network->hosts,
              (std::vector<std::string>{"https://api.vorantel.com/v2/analytics/config",
                                        "https://api.vorantel.com/s/v2/analytics/identification",
                                        "http://p.example/s/v2/analytics/report",
                                        "http://p.example/v2/verify/payment",
                                        "http://p.example/v2/messaging/config"}));
}

TEST(BackendAddresses, ARequestThatCannotBeBuiltTakesEachEndpointsFallback) {
    const Backend backend(std::make_shared<BackendRepository>(std::make_shared<UnbuildableNetwork>(),
                                                              std::make_shared<ContentFactory>(),
                                                              zqb::host::Environment::shared().clock()));
    test::LogCapture log;
    const ConfigRequestResult config = backend.requestConfig(kKey, identifiers(), versions());
    EXPECT_TRUE(config.isDefault);
    EXPECT_EQ(*backend.requestIdentification(kKey, 1, identifiers()).errorValue(),
              "[Backend Module] Can't build the backend identifiers request. Error: [Network Module] "
              "requestContent is nil");
    const SendAnalyticsResult sent = backend.sendAnalytics(kKey, identifiers(), Reports{});
    ASSERT_FALSE(sent.isSuccess());
    EXPECT_EQ(sent.error->localizedDescription(), "[Network Module] requestContent is nil");
    const ZQBVerifyResponse verified = backend.sendVerifyReceipt(kKey, Receipt{}, identifiers());
    EXPECT_EQ(verified.receiptStatus(), ZQBReceiptStatus::internalError);
    EXPECT_FALSE(backend.requestMessagingConfig(kKey, MessagingRequestObject{}, identifiers()));
    EXPECT_EQ(
        log.texts(),
        (std::vector<std::string>{
            "ERROR [Backend Module] Can't create a config request. Error: [Network Module] requestContent is "
            "nil",
            "ERROR [Backend Module] Can't create a send report request. Error: [Network Module] "
            "requestContent is nil",
            "ERROR [Backend Module] Can't create a request for receipt verification. Error: [Network Module] "
            "requestContent is nil",
            "ERROR [Backend Module] Can't create messaging config request. Error: [Network Module] "
            "requestContent "
            "is nil"}));
}

}  // namespace
}  // namespace zqb

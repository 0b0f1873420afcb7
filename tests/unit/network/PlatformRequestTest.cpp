#include "backend/ContentFactory.hpp"
#include "foundation/TextUtils.hpp"
#include "host/CurlHttpSession.hpp"
#include "network/Network.hpp"
#include "network/ZQBError.hpp"
#include "support/LogCapture.hpp"
#include "support/LoopbackGateway.hpp"
#include "support/RawSocketServer.hpp"

#include <gtest/gtest.h>

#include <set>
#include <thread>

namespace zqb {
namespace {

using test::LoopbackGateway;
using Reply = LoopbackGateway::Reply;

std::shared_ptr<const JSONContent> contentFor(nlohmann::ordered_json body,
                                              Identifiers identifiers = {"abc"}) {
    return std::make_shared<JSONContent>(
        ContentFactory().createContent({std::move(body), std::move(identifiers)}));
}

Response post(
    const std::string& address, std::shared_ptr<const RequestContentProtocol> content,
    std::optional<std::string> requestIdentifier = std::nullopt,
    std::shared_ptr<host::HttpSessionProtocol> session = std::make_shared<host::CurlHttpSession>()) {
    auto builder = Network(std::move(session)).post(address);
    builder->urlBuilder().setQueryParam("appId", "KEY");
    builder->setRequestContent(std::move(content));
    builder->setRequestIdentifier(std::move(requestIdentifier));
    return builder->build()->send();
}

TEST(PlatformRequest, PostsTheJsonBodyWithContentHeadersAndBase64IdentifierHeaders) {
    LoopbackGateway gateway;
    gateway.setReply("/v2/analytics/report", {200, R"({"ok":true})"});
    const Identifiers identifiers{"abc", "", "Jos\xC3\xA9", std::nullopt, -42, 7, 1700000000000};
    const Response response = post(gateway.baseUrl() + "/v2/analytics/report",
                                   contentFor({{"b", 1}, {"a", "\xC3\xA9"}}, identifiers));

    EXPECT_EQ(response.statusCode, 200);
    EXPECT_EQ(response.data, R"({"ok":true})");
    EXPECT_FALSE(response.error);
    ASSERT_EQ(gateway.requestCount(), 1u);
    const auto request = gateway.requests()[0];
    EXPECT_EQ(request.method, "POST");
    EXPECT_EQ(request.path, "/v2/analytics/report");
    EXPECT_EQ(request.query, "appId=KEY");
    EXPECT_EQ(request.body, "{\"b\":1,\"a\":\"\xC3\xA9\"}");
    EXPECT_EQ(request.header("Content-Type"), "application/json");
    EXPECT_EQ(request.header("Content-Length"), std::to_string(request.body.size()));
    EXPECT_EQ(request.header("DeviceId"), text::base64Encode("abc"));
    EXPECT_FALSE(request.header("PreviousUserId"));
    EXPECT_EQ(request.header("UserId"), text::base64Encode("Jos\xC3\xA9"));
    EXPECT_EQ(request.header("VorantelId"), "-42");
    EXPECT_EQ(request.header("CrossPlatformVorantelId"), "7");
    EXPECT_EQ(request.header("VorantelIdTimestamp"), "1700000000000");
    EXPECT_EQ(request.header("X-Id-Encoding"), "base64");

    std::set<std::string> names;
    for (const auto& [name, value] : request.headers) {
        EXPECT_EQ(request.headerCount(name), 1u) << name;
        names.insert(name);
    }
    // Nothing but the client's own Host and Accept besides what the request sets (the server library does
    // not record the empty "PreviousDeviceId", see below).
    EXPECT_EQ(names, (std::set<std::string>{"Accept", "Content-Length", "Content-Type",
                                            "CrossPlatformVorantelId", "DeviceId", "Host", "UserId",
                                            "VorantelId", "VorantelIdTimestamp", "X-Id-Encoding"}));
}

TEST(PlatformRequest, ReturnsEveryStatusAndBodyUnchanged) {
    LoopbackGateway gateway;
    gateway.setReply("/a", {204});
    gateway.setReply("/b", {500, "oops"});
    gateway.setReply("/c", {422, "{}"});
    gateway.setReply("/d", {200, ""});

    EXPECT_EQ(post(gateway.baseUrl() + "/a", contentFor(nlohmann::ordered_json::object())).statusCode, 204);
    const Response failed = post(gateway.baseUrl() + "/b", contentFor(nlohmann::ordered_json::object()));
    EXPECT_EQ(failed.statusCode, 500);
    EXPECT_EQ(failed.data, "oops");
    EXPECT_EQ(post(gateway.baseUrl() + "/c", contentFor(nlohmann::ordered_json::object())).statusCode, 422);
    const Response empty = post(gateway.baseUrl() + "/d", contentFor(nlohmann::ordered_json::object()));
    EXPECT_EQ(empty.statusCode, 200);
    EXPECT_EQ(empty.data, "");  // an empty answer is still an answer

    // A body cut off after the status line: the gateway's status stands, with the failure beside it.
    gateway.setReply("/e", Reply(200, std::string(4096, 'x')).abortingAfter(10));
    const Response cut = post(gateway.baseUrl() + "/e", contentFor(nlohmann::ordered_json::object()));
    EXPECT_EQ(cut.statusCode, 200);
    EXPECT_TRUE(cut.error);
    EXPECT_FALSE(cut.data);
}

TEST(PlatformRequest, AnAddressThatIsNoValidHttpUrlIsNeitherSentNorLogged) {
    LoopbackGateway gateway;
    test::LogCapture log;
    const std::string port = std::to_string(gateway.port());
    for (const std::string& address : std::vector<std::string>{
             "http://127.0.0.1:" + port + "/with space", "http://127.0.0.1:" + port + "/%zz",
             "http://127.0.0.1:" + port + "/caf\xC3\xA9", "ftp://127.0.0.1:" + port + "/v2",
             std::string("file:///etc/passwd"), "127.0.0.1:" + port + "/v2", "", "http:///v2"}) {
        const Response response = post(address, contentFor({{"a", 1}}));
        EXPECT_EQ(response.statusCode, 400) << address;
        EXPECT_FALSE(response.data) << address;
        EXPECT_FALSE(response.error) << address;
    }
    EXPECT_EQ(gateway.requestCount(), 0u);
    EXPECT_TRUE(log.lines().empty());
}

TEST(PlatformRequest, QueryKeysAndValuesGoOutUnescaped) {
    LoopbackGateway gateway;
    auto builder = Network(std::make_shared<host::CurlHttpSession>()).post(gateway.baseUrl() + "/v2/x");
    builder->urlBuilder().setQueryParam("appId", "first");
    builder->urlBuilder().setQueryParam("appId", "a&b=c");
    builder->setRequestContent(contentFor(nlohmann::ordered_json::object()));
    EXPECT_EQ(builder->build()->send().statusCode, 404);
    ASSERT_EQ(gateway.requestCount(), 1u);
    EXPECT_EQ(gateway.requests()[0].query, "appId=a&b=c");
}

TEST(PlatformRequest, ABodyThatCannotBeEncodedIsLoggedAndNotSent) {
    LoopbackGateway gateway;
    test::LogCapture log;
    const Response response = post(gateway.baseUrl() + "/v2/x", contentFor({{"bad", "\xFF\xFE"}}));
    EXPECT_EQ(response.statusCode, 400);
    EXPECT_EQ(gateway.requestCount(), 0u);
    EXPECT_EQ(log.texts(), std::vector<std::string>{
                               "ERROR [Network Module] Can't parse response data. Error: getContent Error"});
}

TEST(PlatformRequest, BuildingWithoutContentThrows) {
    auto builder = Network(std::make_shared<host::CurlHttpSession>()).post("https://example.invalid");
    try {
        builder->build();
        FAIL() << "no error thrown";
    } catch (const ZQBError& error) {
        EXPECT_EQ(error.localizedDescription(), "[Network Module] requestContent is nil");
    }
}

TEST(PlatformRequest, LogsTheRequestAtDebugOnly) {
    LoopbackGateway gateway;
    const std::string address = gateway.baseUrl() + "/v2/analytics/report";
    {
        test::LogCapture quiet(ZQBLogLevel::info);
        post(address, contentFor({{"a", 1}}), "A, B");
        EXPECT_TRUE(quiet.lines().empty());
    }
    test::LogCapture log;
    post(address, contentFor({{"a", 1}}, {"abc", std::nullopt, "u"}), "A, B");
    ASSERT_EQ(log.lines().size(), 1u);
    EXPECT_EQ(log.texts()[0],
              "DEBUG [Network Module] \n"
              " Method: POST\n"
              " URL: " +
                  address +
                  "?appId=KEY\n"
                  " Content-type: application/json\n"
                  " Headers: \n"
                  "\t\tDeviceId: abc,\n\t\tUserId: u,\n\t\tX-Id-Encoding: base64\n"
                  " EncodedHeaders: \n"
                  "\t\tDeviceId: YWJj,\n\t\tUserId: dQ==,\n\t\tX-Id-Encoding: base64\n"
                  " Content UUID: A, B \n"
                  " Content: {\n  \"a\" : 1\n} \n");

    log.clear();
    post(address, contentFor(nlohmann::ordered_json::object()));
    ASSERT_EQ(log.lines().size(), 1u);
    EXPECT_NE(log.texts()[0].find("X-Id-Encoding: base64\n  Content: {} \n"), std::string::npos)
        << log.texts()[0];
}

TEST(PlatformRequest, AnEmptyIdentifierIsSentAsAnEmptyHeaderAndGetCarriesTheBodyToo) {
    test::RawSocketServer server("HTTP/1.1 200 OK\r\nContent-Length: 2\r\nConnection: close\r\n\r\nok");
    auto builder = Network(std::make_shared<host::CurlHttpSession>()).get(server.baseUrl() + "/g");
    builder->setRequestContent(contentFor({{"a", 1}}, {"abc", ""}));
    EXPECT_EQ(builder->type(), RequestType::GET);
    const Response response = builder->build()->send();
    EXPECT_EQ(response.statusCode, 200);
    EXPECT_EQ(response.data, "ok");
    const std::string wire = server.received();
    EXPECT_EQ(wire.rfind("GET /g HTTP/1.1\r\n", 0), 0u) << wire;
    EXPECT_NE(wire.find("\r\nPreviousDeviceId:\r\n"), std::string::npos) << wire;
    EXPECT_NE(wire.find("\r\nContent-Length: 7\r\n"), std::string::npos) << wire;
    EXPECT_EQ(wire.find("Expect"), std::string::npos) << wire;
    EXPECT_EQ(wire.substr(wire.size() - 7), R"({"a":1})");
}

}  // namespace
}  // namespace zqb

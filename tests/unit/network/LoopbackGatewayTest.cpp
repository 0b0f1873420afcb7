#include "support/LoopbackGateway.hpp"

#include <gtest/gtest.h>
#include <httplib.h>

using zqb::test::LoopbackGateway;

namespace {

httplib::Client clientFor(const LoopbackGateway& gateway) {
    httplib::Client client("127.0.0.1", gateway.port());
    client.set_read_timeout(std::chrono::seconds(5));
    return client;
}

}  // namespace

TEST(LoopbackGateway, RecordsRequestsAndAnswersScriptedRepliesInOrder) {
    LoopbackGateway gateway;
    gateway.setReply("/a", {201, "standing"});
    gateway.pushReply("/a", {202, "first"});
    gateway.setHandler("/h", [](const LoopbackGateway::Request& request) {
        return LoopbackGateway::Reply(200, "echo:" + request.body);
    });

    auto client = clientFor(gateway);
    const auto first = client.Post("/a?appId=k&x=%20", {{"X-One", "1"}}, "{\"b\":1}", "application/json");
    ASSERT_TRUE(first);
    EXPECT_EQ(first->status, 202);
    EXPECT_EQ(first->body, "first");
    const auto second = client.Post("/a", "", "application/json");
    ASSERT_TRUE(second);
    EXPECT_EQ(second->status, 201);
    EXPECT_EQ(second->body, "standing");
    const auto echoed = client.Post("/h", "ping", "text/plain");
    ASSERT_TRUE(echoed);
    EXPECT_EQ(echoed->body, "echo:ping");
    const auto unknown = client.Get("/nothing");
    ASSERT_TRUE(unknown);
    EXPECT_EQ(unknown->status, 404);

    ASSERT_TRUE(gateway.waitForRequests(4));
    const auto requests = gateway.requests();
    ASSERT_EQ(requests.size(), 4u);
    EXPECT_EQ(requests[0].method, "POST");
    EXPECT_EQ(requests[0].path, "/a");
    EXPECT_EQ(requests[0].query, "appId=k&x=%20");
    EXPECT_EQ(requests[0].header("x-one"), "1");
    EXPECT_EQ(requests[0].body, "{\"b\":1}");
    EXPECT_EQ(requests[3].method, "GET");
    EXPECT_EQ(gateway.requests("/a").size(), 2u);
}

TEST(LoopbackGateway, StreamsRepeatedBodiesAndAbortsMidBody) {
    LoopbackGateway gateway;
    gateway.setReply("/big", LoopbackGateway::Reply(200, "0123456789").repeated(100000));
    gateway.setReply("/cut", LoopbackGateway::Reply(200, std::string(1000, 'x')).abortingAfter(10));

    auto client = clientFor(gateway);
    const auto big = client.Get("/big");
    ASSERT_TRUE(big);
    EXPECT_EQ(big->body.size(), 1000000u);
    EXPECT_EQ(big->body.substr(999990), "0123456789");
    const auto cut = client.Get("/cut");
    EXPECT_FALSE(cut);  // the connection closed before the announced length arrived
}

TEST(LoopbackGateway, HangingReplyIsReleasedAndWaitIsBounded) {
    LoopbackGateway gateway;
    gateway.setReply("/hang", LoopbackGateway::Reply().hanging());
    EXPECT_FALSE(gateway.waitForRequests(1, std::chrono::milliseconds(20)));

    int status = 0;
    std::thread caller([&] {
        auto client = clientFor(gateway);
        if (const auto result = client.Get("/hang")) {
            status = result->status;
        }
    });
    ASSERT_TRUE(gateway.waitForRequests(1));
    gateway.releaseHangs();
    caller.join();
    EXPECT_EQ(status, 503);
}

TEST(LoopbackGateway, DestructionEndsAHangingReply) {
    auto gateway = std::make_unique<LoopbackGateway>();
    gateway->setReply("/hang", LoopbackGateway::Reply().hanging());
    const int port = gateway->port();
    std::thread caller([port] {
        httplib::Client client("127.0.0.1", port);
        client.Get("/hang");
    });
    ASSERT_TRUE(gateway->waitForRequests(1));
    gateway.reset();
    caller.join();
}

#include "network/BackendConfigUrl.hpp"
#include "network/UrlBuilder.hpp"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

namespace zqb {
namespace {

TEST(UrlBuilder, JoinsHostPathAndQueryPairsInInsertionOrder) {
    UrlBuilder builder("https://api.vorantel.com/v2/analytics/report");
    EXPECT_EQ(builder.url(), "https://api.vorantel.com/v2/analytics/report");  // no "?" without a query
    builder.setQueryParam("appId", "one");
    builder.setQueryParam("b", "2");
    builder.setQueryParam("appId", "K");
    EXPECT_EQ(builder.url(), "https://api.vorantel.com/v2/analytics/report?appId=K&b=2");
    builder.path = "/more";
    EXPECT_EQ(builder.url(), "https://api.vorantel.com/v2/analytics/report/more?appId=K&b=2");
}

TEST(UrlBuilder, OnlyHttpAndHttpsAddressesWithAHostAreValid) {
    const auto urlOf = [](const std::string& host, const std::string& key) {
        UrlBuilder builder(host);
        builder.setQueryParam("appId", key);
        return builder.url();
    };
    EXPECT_TRUE(urlOf("http://127.0.0.1:8080/v2/x", "k"));
    EXPECT_TRUE(urlOf("HTTPS://API.example.com/v2", "k"));
    // Reserved characters of the key go out unescaped; the address stays valid.
    EXPECT_EQ(urlOf("https://a.example/v2", "a&b=c#d"), "https://a.example/v2?appId=a&b=c#d");
    EXPECT_EQ(urlOf("https://a.example/v2", "%41"), "https://a.example/v2?appId=%41");

    for (const std::string& host :
         {std::string("ftp://a.example/v2"), std::string("file:///etc/passwd"),
          std::string("gopher://a.example"), std::string("javascript:alert(1)"), std::string("a.example/v2"),
          std::string("https:///v2"), std::string("")}) {
        EXPECT_FALSE(urlOf(host, "k")) << host;
    }
    for (const std::string& key :
         {std::string("a b"), std::string("a\"b"), std::string("<b>"), std::string("%zz"), std::string("%4"),
          std::string("caf\xC3\xA9"), std::string("a\nb"), std::string("a\\b"), std::string("{x}"),
          std::string("a|b"), std::string("a^b")}) {
        EXPECT_FALSE(urlOf("https://a.example/v2", key)) << key;
    }
}

class BackendConfigUrlTest : public ::testing::Test {
protected:
    void TearDown() override {
        BackendConfigUrl::setTestProxyUrl("");
        BackendConfigUrl::setTestCustomUrl("");
    }
};

TEST_F(BackendConfigUrlTest, OverridesReplaceAndExtendTheBuiltInAddress) {
    EXPECT_EQ(BackendConfigUrl::baseApiUrl(), "https://api.vorantel.com");
    BackendConfigUrl::setTestCustomUrl("/custom");
    EXPECT_EQ(BackendConfigUrl::baseApiUrl(), "https://api.vorantel.com/custom");
    BackendConfigUrl::setTestProxyUrl("http://127.0.0.1:9");
    EXPECT_EQ(BackendConfigUrl::baseApiUrl(), "http://127.0.0.1:9/custom");
    BackendConfigUrl::setTestCustomUrl("");
    EXPECT_EQ(BackendConfigUrl::baseApiUrl(), "http://127.0.0.1:9");
    EXPECT_EQ(BackendConfigUrl::testProxyUrl(), "http://127.0.0.1:9");
    EXPECT_EQ(BackendConfigUrl::testCustomUrl(), "");
    BackendConfigUrl::setTestProxyUrl("");
    EXPECT_EQ(BackendConfigUrl::baseApiUrl(), "https://api.vorantel.com");
}

TEST_F(BackendConfigUrlTest, OverridesAreSafeToWriteWhileQueuesReadThem) {
    std::atomic<bool> stop{false};
    std::atomic<int> torn{0};
    std::thread reader([&] {
        while (!stop) {
            const std::string base = BackendConfigUrl::baseApiUrl();
            if (base != "https://api.vorantel.com" && base != "http://proxy.example" &&
                base != "http://proxy.example/c" && base != "https://api.vorantel.com/c") {
                ++torn;
            }
        }
    });
    for (int i = 0; i < 2000; ++i) {
        BackendConfigUrl::setTestProxyUrl(i % 2 == 0 ? "http://proxy.example" : "");
        BackendConfigUrl::setTestCustomUrl(i % 3 == 0 ? "/c" : "");
    }
    stop = true;
    reader.join();
    EXPECT_EQ(torn.load(), 0);
}

}  // namespace
}  // namespace zqb

#include "host/Environment.hpp"
#include "host/Locale.hpp"
#include "host/StoreKit.hpp"
#include "support/LogCapture.hpp"
#include "support/Wait.hpp"

#include <ZQBAnalytics/ZQBHost.hpp>

#include <gtest/gtest.h>

#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace zqb::host {
namespace {

TEST(Locale, RegionAndCurrencyFollowFromTheIdentifier) {
    struct Case {
        const char* identifier;
        std::optional<std::string> region;
        std::optional<std::string> currency;
    };
    const std::vector<Case> cases{
        {"fr_FR", "FR", "EUR"},
        {"en-US", "US", "USD"},
        {"ja_JP", "JP", "JPY"},
        {"de_ch", "CH", "CHF"},
        {"zh_Hans_CN", "CN", "CNY"},          // a script before the region
        {"fr_FR.UTF-8", "FR", "EUR"},         // a POSIX codeset names nothing
        {"de_CH@currency=eur", "CH", "EUR"},  // the keyword names the currency
        {"en@currency=GBP", std::nullopt, "GBP"},
        {"es_419", "419", std::nullopt},  // a numeric area has no currency of its own
        {"fr", std::nullopt, std::nullopt},
        {"en_Latn", std::nullopt, std::nullopt},
        {"", std::nullopt, std::nullopt},
        {"x_QQ", "QQ", std::nullopt},  // unknown region
    };
    for (const auto& test : cases) {
        const Locale locale(test.identifier);
        EXPECT_EQ(locale.identifier(), test.identifier);
        EXPECT_EQ(locale.regionCode(), test.region) << test.identifier;
        EXPECT_EQ(locale.currencyCode(), test.currency) << test.identifier;
    }
    EXPECT_EQ(Locale::currencyOfRegion("gb"), "GBP");
    EXPECT_EQ(Locale::currencyOfRegion("AD"), "EUR");  // first entry of the table
    EXPECT_EQ(Locale::currencyOfRegion("ZW"), "ZWL");  // last entry
    EXPECT_EQ(Locale::currencyOfRegion("AQ"), std::nullopt);
}

// Records what a request tells it, and on which thread.
class RecordingDelegate final : public ProductsRequestDelegate {
public:
    void productsRequestDidReceive(const std::shared_ptr<ProductsRequest>&,
                                   const ProductsResponse& response) override {
        std::lock_guard lock(mutex);
        events.push_back("receive");
        received = response;
        thread = std::this_thread::get_id();
    }
    void requestDidFinish(const std::shared_ptr<ProductsRequest>&) override {
        std::lock_guard lock(mutex);
        events.push_back("finish");
    }
    void requestDidFail(const std::shared_ptr<ProductsRequest>&, const StoreError& error) override {
        std::lock_guard lock(mutex);
        events.push_back("fail: " + error.localizedDescription);
        thread = std::this_thread::get_id();
    }
    std::vector<std::string> snapshot() {
        std::lock_guard lock(mutex);
        return events;
    }

    std::mutex mutex;
    std::vector<std::string> events;
    std::optional<ProductsResponse> received;
    std::thread::id thread;
};

// Answers from the test: keeps the completion of each question.
class HeldProvider final : public ZQBStoreProvider {
public:
    void requestProducts(const std::vector<std::string>& productIdentifiers,
                         std::function<void(ZQBStoreProductsAnswer)> answer) override {
        std::lock_guard lock(mutex);
        asked.push_back(productIdentifiers);
        answers.push_back(std::move(answer));
    }
    std::size_t count() {
        std::lock_guard lock(mutex);
        return answers.size();
    }
    std::function<void(ZQBStoreProductsAnswer)> answerAt(std::size_t index) {
        std::lock_guard lock(mutex);
        return answers.at(index);
    }

    std::mutex mutex;
    std::vector<std::vector<std::string>> asked;
    std::vector<std::function<void(ZQBStoreProductsAnswer)>> answers;
};

class StoreKitTest : public ::testing::Test {
protected:
    void TearDown() override { Environment::shared().reset(); }

    std::shared_ptr<ProductsRequest> start(std::set<std::string> identifiers) {
        auto request = Environment::shared().storeKit()->makeProductsRequest(std::move(identifiers));
        request->setDelegate(delegate);
        request->start();
        return request;
    }

    std::shared_ptr<RecordingDelegate> delegate = std::make_shared<RecordingDelegate>();
};

TEST_F(StoreKitTest, WithoutAProviderEveryIdentifierIsUnknownAndTheAnswerComesOnTheStoresThread) {
    auto request = start({"b", "a"});
    ASSERT_TRUE(zqb::test::waitUntil([&] { return delegate->snapshot().size() == 2; }));
    EXPECT_EQ(delegate->snapshot(), (std::vector<std::string>{"receive", "finish"}));
    EXPECT_TRUE(delegate->received->products.empty());
    EXPECT_EQ(delegate->received->invalidProductIdentifiers, (std::vector<std::string>{"a", "b"}));
    EXPECT_NE(delegate->thread, std::this_thread::get_id());
    EXPECT_EQ(Environment::shared().storeKit()->systemVersion(), "12.2");
}

TEST_F(StoreKitTest, HostProductsArriveWithDecimalPricesAndBadPricesCountAsUnknown) {
    zqb::test::LogCapture log;
    auto provider = std::make_shared<HeldProvider>();
    ZQBHost::setStoreProvider(provider);
    auto request = start({"monthly", "yearly", "weekly"});
    ASSERT_TRUE(zqb::test::waitUntil([&] { return provider->count() == 1; }));
    EXPECT_EQ(provider->asked[0], (std::vector<std::string>{"monthly", "weekly", "yearly"}));

    ZQBStoreProductsAnswer answer;
    answer.products.push_back(
        ZQBStoreProduct{"monthly", "0.99", "fr_FR", "0.49", {{"promo", "0.79"}, {{}, "0.5"}}});
    answer.products.push_back(ZQBStoreProduct{"yearly", "nine", "en_US", std::nullopt, {}});
    answer.invalidProductIdentifiers = {"weekly"};
    const auto reply = provider->answerAt(0);
    reply(answer);
    reply(answer);  // a second answer is ignored
    ASSERT_TRUE(zqb::test::waitUntil([&] { return delegate->snapshot().size() == 2; }));

    const auto& response = *delegate->received;
    ASSERT_EQ(response.products.size(), 1U);
    const auto& product = response.products[0];
    EXPECT_EQ(product.productIdentifier, "monthly");
    EXPECT_EQ(product.price.toString(), "0.99");
    EXPECT_EQ(product.priceLocale.identifier, "fr_FR");
    EXPECT_EQ(Locale(product.priceLocale.identifier).currencyCode(), "EUR");
    ASSERT_TRUE(product.introductoryPrice);
    EXPECT_EQ(product.introductoryPrice->price.toString(), "0.49");
    ASSERT_EQ(product.discounts.size(), 2U);
    EXPECT_EQ(product.discounts[0].identifier, "promo");
    EXPECT_EQ(product.discounts[1].identifier, std::nullopt);
    EXPECT_EQ(response.invalidProductIdentifiers, (std::vector<std::string>{"weekly", "yearly"}));
    EXPECT_EQ(log.count("The price [nine] of the product [yearly] is not a decimal number"), 1U);
    EXPECT_EQ(delegate->snapshot(), (std::vector<std::string>{"receive", "finish"}));
}

TEST_F(StoreKitTest, AFailureIsReportedAndACancelledRequestStaysSilent) {
    auto provider = std::make_shared<HeldProvider>();
    ZQBHost::setStoreProvider(provider);
    auto failing = start({"a"});
    auto cancelled = start({"b"});
    ASSERT_TRUE(zqb::test::waitUntil([&] { return provider->count() == 2; }));
    cancelled->cancel();
    provider->answerAt(1)(ZQBStoreProductsAnswer{});
    ZQBStoreProductsAnswer failure;
    failure.error = "Cannot connect to the store";
    provider->answerAt(0)(failure);
    ASSERT_TRUE(zqb::test::waitUntil([&] { return !delegate->snapshot().empty(); }));
    // Both answers went through the same serial thread, the cancelled one first.
    EXPECT_EQ(delegate->snapshot(), (std::vector<std::string>{"fail: Cannot connect to the store"}));
    EXPECT_NE(delegate->thread, std::this_thread::get_id());

    ZQBHost::setStoreProvider(nullptr);
    auto unprovided = start({"c"});
    ASSERT_TRUE(zqb::test::waitUntil([&] { return delegate->snapshot().size() == 3; }));
    EXPECT_EQ(delegate->received->invalidProductIdentifiers, (std::vector<std::string>{"c"}));
}

}  // namespace
}  // namespace zqb::host

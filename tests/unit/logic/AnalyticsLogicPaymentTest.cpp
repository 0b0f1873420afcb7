// Payments in real currency and subscriptions: order ids counted once per project, renewals, the products
// the store answers for the configured bundles, and the restored purchase history. What the logic stores and
// flushes is read from the recording services.

#include "LogicTestBed.hpp"

#include "host/Environment.hpp"
#include "support/ScriptedStoreKit.hpp"

#include <gtest/gtest.h>

namespace zqb::test {
namespace {

host::PaymentTransaction transaction(std::optional<std::string> id, std::optional<std::string> originalId,
                                     const std::string& productId = "sub.month") {
    host::PaymentTransaction result;
    result.transactionIdentifier = std::move(id);
    result.productIdentifier = productId;
    if (originalId) {
        auto original = std::make_shared<host::PaymentTransaction>();
        original->transactionIdentifier = std::move(originalId);
        original->productIdentifier = productId;
        result.originalTransaction = std::move(original);
    }
    return result;
}

class AnalyticsLogicPaymentTest : public ::testing::Test {
protected:
    AnalyticsLogicPaymentTest() { host::Environment::shared().setStoreKit(store); }
    ~AnalyticsLogicPaymentTest() override { host::Environment::shared().setStoreKit(nullptr); }

    std::shared_ptr<ScriptedStoreKit> store = std::make_shared<ScriptedStoreKit>();
};

TEST_F(AnalyticsLogicPaymentTest, ARealPaymentIsReportedOncePerOrderId) {
    LogicTestBed bed(LogicTestBed::recordingOptions());
    const auto& events = *bed.recording->events;
    bed.start();
    bed.income([&] {
        bed.logic->realCurrencyPayment("order-1", 4.99, "gems", "USD");
        bed.logic->realCurrencyPayment("order-1", 4.99, "gems", "USD");
    });
    const auto payments = events.flushed("rp");
    ASSERT_EQ(payments.size(), 1u);
    EXPECT_EQ(payments[0].json.dump(),
              R"({"code":"rp","timestamp":1700000000000,"sessionId":1700000000000,"level":1,)"
              R"("productId":"gems","orderId":"order-1","price":4.99,"currencyCode":"USD"})");
    EXPECT_EQ(bed.log.count("Real payment with orderId [order-1]  is already used!"), 1u);
    EXPECT_EQ(bed.rowCount("realPaymentMarks"), 1);
}

TEST_F(AnalyticsLogicPaymentTest, AFirstSubscriptionPurchaseIsReportedWithItsProductAndARenewalIsNot) {
    LogicTestBed bed(LogicTestBed::recordingOptions());
    const auto& events = *bed.recording->events;
    bed.start();
    const auto product = offeredProduct("sub.month", "4.99", "fr_FR");
    bed.income([&] { bed.logic->subscriptionPayment(transaction("t-1", "t-1"), product); });
    const auto payments = events.flushed("sbs");
    ASSERT_EQ(payments.size(), 1u);
    EXPECT_EQ(
        payments[0].json.dump(),
        R"({"code":"sbs","timestamp":1700000000000,"sessionId":1700000000000,"level":1,"orderId":"t-1",)"
        R"("productId":"sub.month","regionCode":"FR","currencyCode":"EUR"})");
    const auto products = events.flushed("sbsp");
    ASSERT_EQ(products.size(), 1u);
    EXPECT_EQ(products[0].json["products"][0]["productId"], "sub.month");

    bed.income([&] { bed.logic->subscriptionPayment(transaction("t-2", "t-1"), product); });
    EXPECT_TRUE(bed.log.contains("Subscription payment with orderId [t-1] is renewal"));
    EXPECT_EQ(events.events("sbs").size(), 1u);
    EXPECT_EQ(events.events("sbsp").size(), 1u);

    // A restore of the first purchase itself is neither reported nor logged as a renewal.
    bed.log.clear();
    bed.income([&] { bed.logic->subscriptionPayment(transaction("t-1", "t-1"), product); });
    EXPECT_FALSE(bed.log.contains("is renewal"));
    EXPECT_EQ(events.events("sbs").size(), 1u);
}

TEST_F(AnalyticsLogicPaymentTest, ATransactionWithoutAnyIdentifierIsRefused) {
    LogicTestBed bed(LogicTestBed::recordingOptions());
    const auto& events = *bed.recording->events;
    bed.start();
    bed.income([&] {
        bed.logic->subscriptionPayment(transaction(std::nullopt, std::nullopt),
                                       offeredProduct("sub.month", "free"));
    });
    EXPECT_TRUE(bed.log.contains("Subscription payment transactionIdentifier is nil"));
    EXPECT_EQ(bed.rowCount("realPaymentMarks"), 0);
    EXPECT_TRUE(events.events("sbs").empty());
}

// A price text that is not a decimal number is read on the income queue, after the session and the
// transaction: the payment is still reported, with the price locale's codes, but the product cannot be.
TEST_F(AnalyticsLogicPaymentTest, APriceThatIsNoDecimalNumberLeavesOutTheProductButNotThePayment) {
    LogicTestBed bed(LogicTestBed::recordingOptions());
    const auto& events = *bed.recording->events;
    bed.start();
    auto withOffers = offeredProduct("sub.week", "0.99", "de_DE");
    withOffers.introductoryPrice = "gratis";
    withOffers.discounts = {{"spring", "0.49"}, {"summer", "half"}};
    bed.income([&] {
        bed.logic->subscriptionPayment(transaction("t-1", "t-1"),
                                       offeredProduct("sub.month", "free", "fr_FR"));
        bed.logic->subscriptionPayment(transaction("t-2", "t-2", "sub.week"), withOffers);
    });
    const auto payments = events.flushed("sbs");
    ASSERT_EQ(payments.size(), 2u);
    EXPECT_EQ(payments[0].json["productId"], "sub.month");
    EXPECT_EQ(payments[0].json["regionCode"], "FR");
    EXPECT_EQ(payments[0].json["currencyCode"], "EUR");
    const auto products = events.flushed("sbsp");
    ASSERT_EQ(products.size(), 1u);
    EXPECT_EQ(products[0].json["products"].dump(),
              R"([{"productId":"sub.week","price":0.99,"regionCode":"DE","currencyCode":"EUR",)"
              R"("discounts":{"spring":0.49}}])");
    EXPECT_EQ(bed.rowCount("realPaymentMarks"), 2);
    EXPECT_TRUE(bed.log.matching("ERROR").empty());
    EXPECT_TRUE(bed.log.matching("WARNING").empty());
}

TEST_F(AnalyticsLogicPaymentTest, TheStringFormTakesTheCodesOfAKnownProductOrNone) {
    LogicTestBed bed(LogicTestBed::recordingOptions());
    const auto& events = *bed.recording->events;
    bed.start();
    bed.income([&] {
        bed.logic->subscriptionPayment(std::string("sub.year"), std::string("e-1"));
        bed.logic->subscriptionPayment(std::string("sub.year"), std::string("e-1"));
    });
    const auto payments = events.flushed("sbs");
    ASSERT_EQ(payments.size(), 1u);
    EXPECT_EQ(payments[0].json["regionCode"], "");
    EXPECT_EQ(payments[0].json["currencyCode"], "");
    EXPECT_TRUE(bed.log.contains("Subscription payment with orderId [e-1] is renewal"));
    EXPECT_TRUE(events.events("sbsp").empty());
}

TEST_F(AnalyticsLogicPaymentTest, AHistoryIsTakenOnceAndKeptWhileNoProductGivesItsCurrency) {
    LogicTestBed bed(LogicTestBed::recordingOptions());
    const auto& events = *bed.recording->events;
    bed.start();
    bool required = false;
    bed.income(
        [&] { bed.logic->isRestoreTransactionHistoryRequired([&](bool value) { required = value; }); });
    EXPECT_TRUE(required);

    // Without a known product the history is kept but cannot be reported yet.
    bed.income([&] {
        bed.logic->subscriptionHistory(AnalyticsProtocol::SubscriptionHistory{{"sub.month", {"o-1"}}});
    });
    EXPECT_TRUE(
        bed.log.contains("SubscriptionsHistory: Not enough data to send the event, \n\tmissing product "
                         "CurrencyCode"));
    bed.income(
        [&] { bed.logic->isRestoreTransactionHistoryRequired([&](bool value) { required = value; }); });
    EXPECT_FALSE(required);
    EXPECT_TRUE(events.events("sbsr").empty());

    // A second history is not taken.
    bed.log.clear();
    bed.income([&] {
        bed.logic->subscriptionHistory(AnalyticsProtocol::SubscriptionHistory{{"sub.year", {"o-2"}}});
    });
    EXPECT_FALSE(bed.log.contains("SubscriptionsHistory"));
}

TEST_F(AnalyticsLogicPaymentTest, AnEmptyHistoryStillCountsAsRestored) {
    LogicTestBed bed(LogicTestBed::recordingOptions());
    bed.start();
    bed.income([&] { bed.logic->subscriptionHistory(std::vector<host::PaymentTransaction>{}); });
    EXPECT_TRUE(bed.log.contains("subscriptionHistory transactions is empty"));
    bool required = true;
    bed.income(
        [&] { bed.logic->isRestoreTransactionHistoryRequired([&](bool value) { required = value; }); });
    EXPECT_FALSE(required);
}

TEST_F(AnalyticsLogicPaymentTest, TheConfiguredBundlesAreAskedForAndChangedProductsReportedWithTheHistory) {
    auto options = LogicTestBed::recordingOptions();
    options.config.sbsBundles = std::vector<std::string>{"sub.month"};
    options.config.sbsConfigVersion = 1;
    options.storeConfig = false;
    LogicTestBed bed(options);
    const auto& events = *bed.recording->events;
    bed.start();
    bed.income([&] {
        bed.logic->subscriptionHistory(std::vector<host::PaymentTransaction>{transaction("r-2", "r-1")});
    });
    ASSERT_EQ(store->requestCount(), 1u);
    ASSERT_EQ(store->last()->productIdentifiers(), (std::set<std::string>{"sub.month"}));

    host::ProductsResponse response;
    response.products.push_back(storeProduct("sub.month", "4.99", "de_DE"));
    store->last()->answer(response);
    store->last()->finish();
    bed.settle();

    const auto products = events.flushed("sbsp");
    ASSERT_EQ(products.size(), 1u);
    EXPECT_EQ(products[0].json["products"][0]["currencyCode"], "EUR");
    // The history flags were reset with the changed products; the kept history goes out with its currency.
    const auto history = events.flushed("sbsr");
    ASSERT_EQ(history.size(), 1u);
    EXPECT_EQ(history[0].json["currencyCode"], "EUR");
    EXPECT_EQ(history[0].json["transactions"].dump(),
              R"([{"productID":"sub.month","transactionIds":["r-1"]}])");
}

}  // namespace
}  // namespace zqb::test

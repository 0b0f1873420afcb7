#include "database/SQLiteProvider.hpp"
#include "foundation/QueueManager.hpp"
#include "host/Environment.hpp"
#include "repositories/SubscriptionRepository.hpp"
#include "services/ProjectConfiguration.hpp"
#include "services/StoreProductExtension.hpp"
#include "services/SubscriptionService.hpp"
#include "support/FakeStateManager.hpp"
#include "support/LogCapture.hpp"
#include "support/ScopedEnvironment.hpp"
#include "support/ScriptedStoreKit.hpp"
#include "support/SharedDatabase.hpp"

#include <gtest/gtest.h>

#include <future>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

namespace zqb {
namespace {

using Products = std::vector<SubscriptionProduct>;

Decimal decimal(const char* text) {
    return *Decimal::parse(text);
}

host::ProductsResponse response(std::vector<host::StoreProduct> products,
                                std::vector<std::string> invalid = {}) {
    return host::ProductsResponse{std::move(products), std::move(invalid)};
}

class SubscriptionServiceTest : public ::testing::Test {
protected:
    void SetUp() override { host::Environment::shared().setStoreKit(store); }

    // Runs `work` on the income queue, where the service lives, and waits for it.
    template <typename Work>
    auto onIncome(Work work) {
        using Result = decltype(work());
        std::packaged_task<Result()> task(std::move(work));
        auto future = task.get_future();
        QueueManager::incomeQueue().addOperation([&task] { task(); });
        return future.get();
    }
    void drainIncome() { QueueManager::incomeQueue().waitUntilAllOperationsAreFinished(); }

    // Asks for products; the callback records every answer.
    void request(std::vector<std::string> identifiers) {
        onIncome([&] {
            service->requestUserProducts(identifiers, [this](std::optional<Products> products) {
                std::lock_guard lock(mutex);
                answers.push_back(std::move(products));
            });
        });
    }
    std::vector<std::optional<Products>> received() {
        std::lock_guard lock(mutex);
        return answers;
    }
    // The project's record as a later start reads it.
    std::shared_ptr<SubscriptionInfo> stored() {
        const auto all = SubscriptionRepository(zqb::test::sharedDatabase()).list();
        return all.empty() ? nullptr : all.front();
    }
    void setConfig(std::optional<int64_t> sbsConfigVersion, std::optional<std::vector<std::string>> bundles) {
        Config config = Config::defaulConfiguration(*zqb::host::Environment::shared().clock());
        config.sbsConfigVersion = sbsConfigVersion;
        config.sbsBundles = std::move(bundles);
        state->project->configurationJson =
            ProjectConfiguration::encode(config, *zqb::host::Environment::shared().clock());
    }

    test::ScopedEnvironment env;
    test::LogCapture log;
    std::shared_ptr<test::ScriptedStoreKit> store = std::make_shared<test::ScriptedStoreKit>();
    std::shared_ptr<SQLiteProvider> database = zqb::test::sharedDatabase();
    std::shared_ptr<SubscriptionRepository> repository = std::make_shared<SubscriptionRepository>(database);
    std::shared_ptr<test::FakeStateManager> state = std::make_shared<test::FakeStateManager>();
    std::shared_ptr<SubscriptionService> service = std::make_shared<SubscriptionService>(
        state, repository, QueueManager::incomeQueue(), host::Environment::shared());
    std::mutex mutex;
    std::vector<std::optional<Products>> answers;
};

TEST_F(SubscriptionServiceTest, ProductChangesAreJudgedWithTheTolerantEquality) {
    request({"monthly", "yearly", "weekly"});
    auto first = store->last();
    ASSERT_TRUE(first && first->isStarted());
    EXPECT_EQ(first->productIdentifiers(), (std::set<std::string>{"monthly", "weekly", "yearly"}));
    first->answer(
        response({test::storeProduct("monthly", "0.99", "fr_FR"), test::storeProduct("other", "1", "fr_FR"),
                  test::storeProduct("yearly", "9.99", "en_US")},
                 {"weekly"}));
    first->finish();
    drainIncome();

    ASSERT_EQ(received().size(), 1U);
    const Products products = *received()[0];
    ASSERT_EQ(products.size(), 2U);  // a product not asked for is skipped
    EXPECT_EQ(products[0].productId, "monthly");
    EXPECT_EQ(products[0].price, decimal("0.99"));
    EXPECT_EQ(products[0].regionCode, "FR");
    EXPECT_EQ(products[0].currencyCode, "EUR");
    EXPECT_EQ(products[1].currencyCode, "USD");
    EXPECT_TRUE(first->isCancelled());
    EXPECT_TRUE(stored()->productIsChanged);
    EXPECT_EQ(stored()->products.size(), 2U);
    EXPECT_EQ(log.count("DEBUG Not found any products for list: \n\t\tweekly"), 1U);
    EXPECT_EQ(log.count("DEBUG SKProductsRequest did finish"), 1U);
    EXPECT_TRUE(onIncome([&] { return service->needSendProducts(); }));
    onIncome([&] { service->resetSendProductsMark(); });

    // Prices within 0.0001 and another region of the same currency are no change; the stored list stays.
    request({"monthly", "yearly"});
    store->last()->answer(response(
        {test::storeProduct("monthly", "0.99005", "fr_BE"), test::storeProduct("yearly", "9.99", "en_US")}));
    drainIncome();
    EXPECT_FALSE(stored()->productIsChanged);
    EXPECT_EQ(stored()->products[0].regionCode, "FR");
    EXPECT_EQ(received().size(), 2U);

    // A price 0.0002 away is a change, and so is the same list in another order.
    request({"monthly", "yearly"});
    store->last()->answer(response(
        {test::storeProduct("monthly", "0.9902", "fr_FR"), test::storeProduct("yearly", "9.99", "en_US")}));
    drainIncome();
    EXPECT_TRUE(stored()->productIsChanged);
    EXPECT_EQ(stored()->products[0].price, decimal("0.9902"));
    onIncome([&] { service->resetSendProductsMark(); });
    request({"monthly", "yearly"});
    store->last()->answer(response(
        {test::storeProduct("yearly", "9.99", "en_US"), test::storeProduct("monthly", "0.9902", "fr_FR")}));
    drainIncome();
    EXPECT_TRUE(stored()->productIsChanged);
    EXPECT_EQ(stored()->products[0].productId, "yearly");
}

TEST_F(SubscriptionServiceTest, OffersCountOnlyFromSystemVersion12Point2) {
    auto product = test::storeProduct("monthly", "4.99", "de_DE");
    product.introductoryPrice = host::ProductDiscount{std::nullopt, decimal("0.99")};
    product.discounts = {
        {"spring", decimal("2.99")}, {std::nullopt, decimal("1")}, {"spring", decimal("3.49")}};
    auto anonymous = test::storeProduct("yearly", "49.99", "de_DE");
    anonymous.discounts = {{std::nullopt, decimal("1")}};

    store->setSystemVersion("12.1.4");
    request({"monthly", "yearly"});
    store->last()->answer(response({product, anonymous}));
    drainIncome();
    EXPECT_EQ((*received()[0])[0].introductoryPrice, std::nullopt);
    EXPECT_EQ((*received()[0])[0].discounts, std::nullopt);

    store->setSystemVersion("12.2");
    request({"monthly", "yearly"});
    store->last()->answer(response({product, anonymous}));
    drainIncome();
    const Products offered = *received()[1];
    EXPECT_EQ(offered[0].introductoryPrice, decimal("0.99"));
    EXPECT_EQ(offered[0].discounts, (std::map<std::string, Decimal>{{"spring", decimal("3.49")}}));
    EXPECT_EQ(offered[1].discounts, std::nullopt);  // no discount with an identifier: no map at all
    // An introductory price where there was none (counted as 0) is a change; a discount map against none
    // is not.
    EXPECT_TRUE(stored()->productIsChanged);

    EXPECT_TRUE(isOffersAvailable("13"));
    EXPECT_TRUE(isOffersAvailable("12.10"));
    EXPECT_FALSE(isOffersAvailable("12"));
    EXPECT_FALSE(isOffersAvailable("beta"));
    EXPECT_FALSE(isOffersAvailable(""));
}

TEST_F(SubscriptionServiceTest, RegionAndCurrencyFallBackToTheLocaleIdentifier) {
    auto direct = test::storeProduct("a", "1", "fr_FR");
    direct.priceLocale.regionCode = "DE";
    direct.priceLocale.currencyCode = "CHF";
    EXPECT_EQ(regionCode(direct.priceLocale), "DE");
    EXPECT_EQ(currencyCode(direct.priceLocale), "CHF");
    const auto derived = test::storeProduct("b", "1", "pt_BR");
    EXPECT_EQ(regionCode(derived.priceLocale), "BR");
    EXPECT_EQ(currencyCode(derived.priceLocale), "BRL");
    const auto none = subscriptionProduct(test::storeProduct("c", "1", "fr"), "12.2");
    EXPECT_EQ(none.regionCode, "");
    EXPECT_EQ(none.currencyCode, "");
}

TEST_F(SubscriptionServiceTest, OnlyTheHeldRequestsAnswerCompletionAndFailureAreActedOn) {
    request({"monthly"});
    const auto old = store->last();
    request({"monthly", "yearly"});
    const auto live = store->last();
    EXPECT_TRUE(old->isCancelled());  // superseded
    EXPECT_FALSE(live->isCancelled());

    // The old request's late answer neither stores its products nor cancels the live request, its
    // completion drops nothing, and its failure starts no retry.
    old->answer(response({test::storeProduct("monthly", "0.49", "en_US")}));
    old->finish();
    old->fail("late failure");
    drainIncome();
    EXPECT_TRUE(received().empty());
    EXPECT_FALSE(live->isCancelled());
    EXPECT_FALSE(log.contains("Request products failed"));
    EXPECT_EQ(env.runLoop().pendingCount(), 0U);
    EXPECT_TRUE(stored() == nullptr || stored()->products.empty());

    live->answer(response(
        {test::storeProduct("monthly", "0.99", "en_US"), test::storeProduct("yearly", "9.99", "en_US")}));
    drainIncome();
    ASSERT_EQ(received().size(), 1U);
    EXPECT_EQ(received()[0]->size(), 2U);
    EXPECT_TRUE(live->isCancelled());
    // A second answer of the same request is no longer the held request's.
    live->answer(response({}));
    live->fail("after the answer");
    drainIncome();
    EXPECT_EQ(received().size(), 1U);
    EXPECT_EQ(env.runLoop().pendingCount(), 0U);
    EXPECT_EQ(store->requestCount(), 2U);
}

TEST_F(SubscriptionServiceTest, FailuresAreRetriedAfterGrowingDelaysWithOnePendingRetry) {
    request({"monthly"});
    const std::vector<int64_t> expectedSeconds{60, 120, 180, 240, 240};
    for (std::size_t attempt = 0; attempt < expectedSeconds.size(); ++attempt) {
        const auto failing = store->last();
        failing->fail("The network connection was lost.");
        drainIncome();
        EXPECT_EQ(log.count("DEBUG Retry request products after " + std::to_string(expectedSeconds[attempt]) +
                            " seconds"),
                  attempt + 1 < expectedSeconds.size() ? 1U : 2U);
        ASSERT_EQ(env.runLoop().pendingCount(), 1U);
        EXPECT_EQ(env.runLoop().nextDueInMs(), expectedSeconds[attempt] * 1000);
        env.advance(expectedSeconds[attempt] * 1000 - 1);
        drainIncome();
        EXPECT_EQ(store->requestCount(), attempt + 1);
        env.advance(1);
        drainIncome();
        ASSERT_EQ(store->requestCount(), attempt + 2);
        EXPECT_EQ(store->last()->productIdentifiers(), (std::set<std::string>{"monthly"}));
        EXPECT_TRUE(store->last()->isStarted());
    }
    EXPECT_EQ(log.count("DEBUG Request products failed with error: The network connection was lost."), 5U);

    // The retried request answers the callback kept from the first call.
    store->last()->answer(response({test::storeProduct("monthly", "0.99", "en_US")}));
    drainIncome();
    ASSERT_EQ(received().size(), 1U);

    // A new request cancels the retry that was waiting.
    request({"monthly"});
    store->last()->fail("again");
    drainIncome();
    ASSERT_EQ(env.runLoop().pendingCount(), 1U);
    request({"yearly"});
    const std::size_t count = store->requestCount();
    env.advance(10 * 60 * 1000);
    drainIncome();
    EXPECT_EQ(store->requestCount(), count);
}

TEST_F(SubscriptionServiceTest, EmptyListsAndMissingCallbacksChangeNothing) {
    request({});
    EXPECT_EQ(store->requestCount(), 0U);
    EXPECT_EQ(log.count("DEBUG Product list is empty"), 1U);

    onIncome([&] { service->requestUserProducts({"monthly"}, nullptr); });
    store->last()->answer(response({test::storeProduct("monthly", "0.99", "en_US")}));
    drainIncome();
    EXPECT_EQ(log.count("DEBUG Request products \u0441allback is lose"), 1U);
    EXPECT_TRUE(stored() == nullptr || stored()->products.empty());
    EXPECT_FALSE(store->last()->isCancelled());
}

TEST_F(SubscriptionServiceTest, RestoredTransactionsAreGroupedByProductOnce) {
    auto original = [](const char* id) {
        return std::make_shared<const host::PaymentTransaction>(host::PaymentTransaction{id, "ignored"});
    };
    auto restored = [&](const char* product, const char* originalId) {
        return host::PaymentTransaction{"restore", product, originalId ? original(originalId) : nullptr};
    };
    onIncome([&] {
        service->processTransactions(std::vector<host::PaymentTransaction>{
            restored("P", "A"), restored("P", "B"), restored("P", "A"), restored("Q", "C"),
            restored("Q", nullptr),
            host::PaymentTransaction{"x", "R", std::make_shared<const host::PaymentTransaction>()}});
    });
    const auto record = stored();
    ASSERT_TRUE(record);
    EXPECT_EQ(record->restoredTransaction,
              (std::vector<RestoredTransaction>{{"P", {"A", "B"}}, {"Q", {"C"}}}));

    // Without a stored product the history has no currency; with one, the first product's.
    auto data = onIncome([&] { return service->getDataForSBSREvent(); });
    ASSERT_TRUE(data);
    EXPECT_EQ(data->transactions.size(), 2U);
    EXPECT_EQ(data->currencyCode, std::nullopt);
    auto product = subscriptionProduct(test::storeProduct("P", "1.99", "en_GB"), "12.2");
    EXPECT_FALSE(onIncome([&] { return service->checkIfContains(product); }));
    EXPECT_TRUE(onIncome([&] { return service->checkIfContains(product); }));
    EXPECT_EQ(onIncome([&] { return service->getDataForSBSREvent(); })->currencyCode, "GBP");
    EXPECT_EQ(onIncome([&] { return service->findLocalProduct("P"); })->price, decimal("1.99"));
    EXPECT_EQ(onIncome([&] { return service->findLocalProduct("Z"); }), std::nullopt);

    // The map form is kept as given, duplicates included.
    onIncome([&] {
        service->processTransactions(std::map<std::string, std::vector<std::string>>{{"S", {"1", "1"}}});
    });
    EXPECT_EQ(stored()->restoredTransaction, (std::vector<RestoredTransaction>{{"S", {"1", "1"}}}));
    // The product appended by the check reached the table with that write.
    EXPECT_EQ(stored()->products.size(), 1U);

    // Only transactions without an original one: nothing left to report.
    onIncome(
        [&] { service->processTransactions(std::vector<host::PaymentTransaction>{restored("P", nullptr)}); });
    EXPECT_EQ(onIncome([&] { return service->getDataForSBSREvent(); }), std::nullopt);
    onIncome([&] {
        service->processTransactions(std::map<std::string, std::vector<std::string>>{{"S", {"1"}}});
    });
    onIncome([&] { service->clearSubscriptionHistory(); });
    EXPECT_TRUE(stored()->restoredTransaction.empty());
}

TEST_F(SubscriptionServiceTest, MarksAreStoredAndHistoryResetFollowsTheSettingsVersion) {
    EXPECT_TRUE(onIncome([&] { return service->isNeedRestoreHistory(); }));
    EXPECT_TRUE(onIncome([&] { return service->isNeedSendRestoredHistory(); }));
    ASSERT_TRUE(stored());  // reading made the record
    EXPECT_EQ(stored()->projectId, state->project->idKey);

    onIncome([&] { service->markAsRestoredHistory(); });
    EXPECT_TRUE(stored()->alreadyRestored);
    EXPECT_FALSE(onIncome([&] { return service->isNeedRestoreHistory(); }));
    onIncome([&] { service->markAsSendRestoredHistory(); });
    EXPECT_TRUE(stored()->alreadySendRestoreEvent);
    onIncome([&] { service->resetHistoryMark(); });
    EXPECT_FALSE(stored()->alreadyRestored);
    EXPECT_FALSE(stored()->alreadySendRestoreEvent);
    EXPECT_EQ(SubscriptionRepository(zqb::test::sharedDatabase()).list().size(), 1U);

    auto needReset = [&](std::optional<int64_t> storedVersion, std::optional<int64_t> given) {
        setConfig(storedVersion, std::nullopt);
        Config config = Config::defaulConfiguration(*zqb::host::Environment::shared().clock());
        config.sbsConfigVersion = given;
        return onIncome([&] { return service->isHistoryNeedReset(config); });
    };
    EXPECT_TRUE(needReset(5, 6));
    EXPECT_FALSE(needReset(0, 6));
    EXPECT_FALSE(needReset(std::nullopt, 6));
    EXPECT_FALSE(needReset(5, 5));
    EXPECT_FALSE(needReset(5, 0));

    setConfig(1, std::vector<std::string>{"monthly", "yearly"});
    EXPECT_EQ(onIncome([&] { return service->getProductList(); }),
              (std::vector<std::string>{"monthly", "yearly"}));
    setConfig(1, std::nullopt);
    EXPECT_EQ(onIncome([&] { return service->getProductList(); }), std::nullopt);
}

}  // namespace
}  // namespace zqb

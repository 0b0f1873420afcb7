#include "repositories/SubscriptionRepository.hpp"
#include "unit/repositories/RepositoryTest.hpp"

#include <gtest/gtest.h>

namespace zqb {
namespace {

TEST_F(RepositoriesTest, SubscriptionsStoreTheirListsAsJsonArrays) {
    SubscriptionRepository repository(database);
    auto info = std::make_shared<SubscriptionInfo>(1);
    repository.insert(info);
    EXPECT_EQ(info->idKey, 1);
    EXPECT_EQ(rows("SELECT products, restoredTransaction FROM subscriptions").at(0),
              (SQLiteRow{SQLiteValue(std::string("[]")), SQLiteValue(std::string("[]"))}));

    SubscriptionProduct product;
    product.productId = "monthly";
    product.price = *Decimal::parse("4.99");
    product.regionCode = "US";
    product.currencyCode = "USD";
    info->products.push_back(product);
    info->restoredTransaction.push_back(RestoredTransaction{"monthly", {"t1", "t2"}});
    info->alreadyRestored = true;
    info->productIsChanged = true;
    repository.update(info);
    EXPECT_EQ(repository.list()[0], info);
    const auto stored = rows(
                            "SELECT products, restoredTransaction, alreadyRestored, productIsChanged, "
                            "alreadySendRestoreEvent FROM subscriptions")
                            .at(0);
    EXPECT_EQ(stored.at(0), SQLiteValue(*toJSONData(info->products)));
    EXPECT_EQ(stored.at(1),
              SQLiteValue(std::string("[{\"productID\":\"monthly\",\"transactionIds\":[\"t1\",\"t2\"]}]")));
    EXPECT_EQ(stored.at(2), SQLiteValue(int64_t{1}));
    EXPECT_EQ(stored.at(4), SQLiteValue(int64_t{0}));
    expectInStep(repository);
    SubscriptionRepository fresh(database);
    ASSERT_EQ(fresh.list().at(0)->products.size(), 1u);
    EXPECT_EQ(fresh.list()[0]->products[0].price, product.price);
}

}  // namespace
}  // namespace zqb

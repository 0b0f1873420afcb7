#include "model/JsonText.hpp"
#include "model/RestoredTransactionsEvent.hpp"
#include "model/SubscriptionInfo.hpp"
#include "model/SubscriptionPayment.hpp"
#include "model/SubscriptionProductsEvent.hpp"
#include "support/ScopedEnvironment.hpp"

#include <gtest/gtest.h>

#include <unordered_set>

using namespace zqb;
using Json = nlohmann::ordered_json;

namespace {

constexpr int64_t kSubscriptionNow = 1700000000000;

Decimal decimal(const char* text) {
    return Decimal::parse(text).value();
}

SubscriptionProduct product(const char* price) {
    return SubscriptionProduct{"gold.month", decimal(price), "US", "USD", std::nullopt, std::nullopt};
}

std::map<std::string, Decimal> discounts(std::initializer_list<std::pair<const char*, const char*>> entries) {
    std::map<std::string, Decimal> out;
    for (const auto& [identifier, price] : entries) {
        out[identifier] = decimal(price);
    }
    return out;
}

}  // namespace

TEST(EventSubscriptionRecords, PaymentWritesOrderBeforeProductAndPrintsTheOtherWay) {
    test::ScopedEnvironment env(kSubscriptionNow);
    const SubscriptionPayment payment(kSubscriptionNow, 7, 2, "gold.month", "1000001", "US", "USD",
                                      std::vector<std::string>{"Cave"});
    EXPECT_EQ(payment.getJson(),
              R"({"code":"sbs","timestamp":1700000000000,"sessionId":7,"level":2,"orderId":"1000001",)"
              R"("productId":"gold.month","regionCode":"US","currencyCode":"USD","inProgress":["Cave"]})");
    EXPECT_EQ(
        payment.description(),
        "\t code: sbs\n\t timestamp: 1700000000000\n\t sessionId: 7\n\t level: 2\n\t productId: gold.month\n"
        "\t orderId: 1000001\n\t regionCode: US\n\t currencyCode: USD\n\t inProgress: [\"Cave\"]\n");
    EXPECT_EQ(
        SubscriptionPayment(kSubscriptionNow, 7, 2, "p", "o", "", "").getJson(),
        R"({"code":"sbs","timestamp":1700000000000,"sessionId":7,"level":2,"orderId":"o","productId":"p",)"
        R"("regionCode":"","currencyCode":""})");
}

TEST(EventSubscriptionRecords, ProductsEventKeepsDecimalDigits) {
    test::ScopedEnvironment env(kSubscriptionNow);

    const SubscriptionProductsEvent none(kSubscriptionNow, {});
    EXPECT_EQ(none.getJson(), R"({"code":"sbsp","timestamp":1700000000000,"products":[]})");
    EXPECT_EQ(none.description(), "\t code: sbsp\n\t timestamp: 1700000000000\n");

    SubscriptionProduct withOffers = product("0.99");
    withOffers.introductoryPrice = decimal("0.49");
    withOffers.discounts = discounts({{"promo", "0.1"}, {"winback", "12345678901234567.89"}});
    SubscriptionProduct emptyDiscounts = product("4.99");
    emptyDiscounts.productId = "gold.year";
    emptyDiscounts.discounts = discounts({});
    const SubscriptionProductsEvent event(kSubscriptionNow, {withOffers, emptyDiscounts});
    EXPECT_EQ(
        event.getJson(),
        R"({"code":"sbsp","timestamp":1700000000000,"products":[)"
        R"({"productId":"gold.month","price":0.99,"regionCode":"US","currencyCode":"USD","introductoryPrice":0.49,)"
        R"("discounts":{"promo":0.1,"winback":12345678901234567.89}},)"
        R"({"productId":"gold.year","price":4.99,"regionCode":"US","currencyCode":"USD","discounts":{}}]})");
    EXPECT_EQ(event.description(),
              "\t code: sbsp\n\t timestamp: 1700000000000\n\t products: \n"
              "\t\t product 1 \n\t\t\t productId: gold.month\n\t\t\t price: 0.99\n\t\t\t regionCode: US\n"
              "\t\t\t currencyCode: USD\n\t\t\t introductoryPrice: 0.49\n\t\t\t discounts: \n"
              "\t\t\t\t promo: 0.1\n\t\t\t\t winback: 12345678901234567.89\n\n"
              "\t\t product 2 \n\t\t\t productId: gold.year\n\t\t\t price: 4.99\n\t\t\t regionCode: US\n"
              "\t\t\t currencyCode: USD\n\t\t\t discounts: \n\n");
}

TEST(EventSubscriptionRecords, RestoredTransactionsEvent) {
    test::ScopedEnvironment env(kSubscriptionNow);
    const auto transactions = RestoredTransaction::fromHistory({{"a", {"1", "2"}}, {"b", {}}});
    ASSERT_EQ(transactions.size(), 2u);
    EXPECT_EQ(transactions[0], (RestoredTransaction{"a", {"1", "2"}}));

    const RestoredTransactionsEvent event(kSubscriptionNow, "USD", transactions);
    EXPECT_EQ(event.getJson(),
              R"({"code":"sbsr","timestamp":1700000000000,"currencyCode":"USD","transactions":[)"
              R"({"productID":"a","transactionIds":["1","2"]},{"productID":"b","transactionIds":[]}]})");
    EXPECT_EQ(event.description(),
              "\t code: sbsr\n\t timestamp: 1700000000000\n\t currencyCode: USD\n\t transactions: \n"
              "\t\t product a \n\t\t transactionIds: \n \t\t\t 1 \n\t\t\t 2 \n"
              "\t\t product b \n\t\t transactionIds: \n ");
    EXPECT_EQ(RestoredTransactionsEvent(kSubscriptionNow, "EUR", {}).description(),
              "\t code: sbsr\n\t timestamp: 1700000000000\n\t currencyCode: EUR\n");
}

TEST(EventSubscriptionRecords, ProductEqualityToleratesSmallDifferencesAndHashAgrees) {
    EXPECT_EQ(product("0.99"), product("0.99005"));
    EXPECT_NE(product("0.99"), product("0.9902"));
    EXPECT_EQ(product("0.99"), product("0.9900999"));

    SubscriptionProduct otherRegion = product("0.99");
    otherRegion.regionCode = "DE";
    EXPECT_EQ(product("0.99"), otherRegion);
    SubscriptionProduct otherCurrency = product("0.99");
    otherCurrency.currencyCode = "EUR";
    EXPECT_NE(product("0.99"), otherCurrency);
    SubscriptionProduct otherId = product("0.99");
    otherId.productId = "x";
    EXPECT_NE(product("0.99"), otherId);

    SubscriptionProduct zeroIntro = product("0.99");
    zeroIntro.introductoryPrice = Decimal(0);
    EXPECT_EQ(product("0.99"), zeroIntro);
    SubscriptionProduct intro = product("0.99");
    intro.introductoryPrice = decimal("0.49");
    EXPECT_NE(product("0.99"), intro);

    SubscriptionProduct a1 = product("0.99");
    a1.discounts = discounts({{"a", "1"}});
    auto with = [](std::map<std::string, Decimal> map) {
        SubscriptionProduct p = product("0.99");
        p.discounts = std::move(map);
        return p;
    };
    EXPECT_EQ(a1, product("0.99"));
    EXPECT_EQ(a1, with(discounts({{"a", "1"}, {"b", "2"}})));
    EXPECT_EQ(a1, with(discounts({{"a", "1.00001"}})));
    EXPECT_NE(a1, with(discounts({{"b", "1"}})));
    EXPECT_NE(a1, with(discounts({{"a", "1.5"}})));

    // Everything that compares equal hashes equal, so sets and maps built on the hash see one product.
    const std::vector<SubscriptionProduct> equals{product("0.99"),
                                                  product("0.99005"),
                                                  otherRegion,
                                                  zeroIntro,
                                                  a1,
                                                  with(discounts({{"a", "1"}, {"b", "2"}}))};
    for (const auto& x : equals) {
        for (const auto& y : equals) {
            if (x == y) {
                EXPECT_EQ(std::hash<SubscriptionProduct>{}(x), std::hash<SubscriptionProduct>{}(y));
            }
        }
    }
    const std::unordered_set<SubscriptionProduct> set{product("0.99"), product("0.99005"), otherRegion};
    EXPECT_EQ(set.size(), 1u);
}

TEST(EventSubscriptionRecords, ProductsAndTransactionsRoundTripThroughText) {
    SubscriptionProduct full = product("0.99");
    full.introductoryPrice = decimal("0.5");
    full.discounts = discounts({{"a", "1.25"}});
    const std::vector<SubscriptionProduct> products{full, product("19.999")};
    const std::string text = toJSONData(products).value();
    EXPECT_EQ(text, R"([{"productId":"gold.month","price":0.99,"regionCode":"US","currencyCode":"USD",)"
                    R"("introductoryPrice":0.5,"discounts":{"a":1.25}},)"
                    R"({"productId":"gold.month","price":19.999,"regionCode":"US","currencyCode":"USD"}])");
    const auto back = SubscriptionInfo::productsFromText(text);
    ASSERT_EQ(back.size(), 2u);
    EXPECT_EQ(back[0].price.toString(), "0.99");
    EXPECT_EQ(back[0].introductoryPrice.value().toString(), "0.5");
    EXPECT_EQ(back[0].discounts.value().at("a").toString(), "1.25");
    EXPECT_EQ(back[1].price.toString(), "19.999");
    EXPECT_EQ(toJSONData(back).value(), text);

    // Integers are prices too; null optionals read as absent.
    const auto integral = SubscriptionInfo::productsFromText(
        R"([{"productId":"p","price":3,"regionCode":"","currencyCode":"","introductoryPrice":null}])");
    ASSERT_EQ(integral.size(), 1u);
    EXPECT_EQ(integral[0].price, Decimal(3));
    EXPECT_FALSE(integral[0].introductoryPrice.has_value());

    // A missing or mistyped required key, or text that is no list of products, reads as an empty list.
    for (const char* bad :
         {"", "not json", "{}", R"([{"productId":"p","regionCode":"","currencyCode":""}])",
          R"([{"productId":"p","price":"0.99","regionCode":"","currencyCode":""}])",
          R"([{"productId":1,"price":1,"regionCode":"","currencyCode":""}])",
          R"([{"productId":"p","price":1,"regionCode":"","currencyCode":"","discounts":[1]}])"}) {
        EXPECT_TRUE(SubscriptionInfo::productsFromText(bad).empty()) << bad;
    }

    const std::vector<RestoredTransaction> restored{{"a", {"1", "2"}}};
    EXPECT_EQ(toJSONData(restored).value(), R"([{"productID":"a","transactionIds":["1","2"]}])");
    EXPECT_EQ(
        SubscriptionInfo::restoredTransactionsFromText(R"([{"productID":"a","transactionIds":["1","2"]}])"),
        restored);
    EXPECT_TRUE(
        SubscriptionInfo::restoredTransactionsFromText(R"([{"productId":"a","transactionIds":[]}])").empty());
    EXPECT_TRUE(SubscriptionInfo::restoredTransactionsFromText(R"([{"productID":"a","transactionIds":[1]}])")
                    .empty());
}

TEST(EventSubscriptionRecords, InfoReadsItsRowByPosition) {
    const std::string productsText =
        R"([{"productId":"p","price":0.99,"regionCode":"US","currencyCode":"USD"}])";
    const SQLiteRow row{SQLiteValue(int64_t{4}),
                        SQLiteValue(int64_t{9}),
                        SQLiteValue(productsText),
                        SQLiteValue(std::string("[]")),
                        SQLiteValue(int64_t{2}),
                        SQLiteValue(int64_t{-1}),
                        std::nullopt};
    const auto info = SubscriptionInfo::fromRow(row);
    ASSERT_NE(info, nullptr);
    EXPECT_EQ(info->idKey, 4);
    EXPECT_EQ(info->projectId, 9);
    ASSERT_EQ(info->products.size(), 1u);
    EXPECT_EQ(info->products[0].price.toString(), "0.99");
    EXPECT_TRUE(info->restoredTransaction.empty());
    EXPECT_TRUE(info->alreadyRestored);
    EXPECT_FALSE(info->productIsChanged);
    EXPECT_FALSE(info->alreadySendRestoreEvent);

    SQLiteRow unreadableLists = row;
    unreadableLists[2] = SQLiteValue(std::string(""));
    unreadableLists[3] = SQLiteValue(std::string("{\"x\":1}"));
    unreadableLists[6] = SQLiteValue(std::string("1"));
    const auto lenient = SubscriptionInfo::fromRow(unreadableLists);
    ASSERT_NE(lenient, nullptr);
    EXPECT_TRUE(lenient->products.empty());
    EXPECT_TRUE(lenient->restoredTransaction.empty());
    EXPECT_FALSE(lenient->alreadySendRestoreEvent);

    for (const std::size_t column : {0u, 1u, 2u, 3u}) {
        SQLiteRow broken = row;
        broken[column] = std::nullopt;
        EXPECT_EQ(SubscriptionInfo::fromRow(broken), nullptr) << column;
        broken[column] = SQLiteValue(1.0);
        EXPECT_EQ(SubscriptionInfo::fromRow(broken), nullptr) << column;
    }
    EXPECT_EQ(SubscriptionInfo::fromRow(SQLiteRow{SQLiteValue(int64_t{1})}), nullptr);

    const SubscriptionInfo fresh(3);
    EXPECT_EQ(fresh.idKey, -1);
    EXPECT_EQ(toJSONData(fresh).value(),
              R"({"idKey":-1,"projectId":3,"products":[],"restoredTransaction":[],"alreadyRestored":false,)"
              R"("alreadySendRestoreEvent":false,"productIsChanged":false})");
}

TEST(EventSubscriptionRecords, InfoJsonNeedsAllSevenKeys) {
    SubscriptionInfo info(3);
    info.idKey = 8;
    info.products = {product("0.99")};
    info.restoredTransaction = {{"a", {"1"}}};
    info.productIsChanged = true;
    const std::string text = toJSONData(info).value();

    SubscriptionInfo back(0);
    JsonText::parse(text).get_to(back);
    EXPECT_EQ(back.idKey, 8);
    EXPECT_EQ(back.projectId, 3);
    EXPECT_EQ(back.products, info.products);
    EXPECT_EQ(back.products[0].price.toString(), "0.99");
    EXPECT_EQ(back.restoredTransaction, info.restoredTransaction);
    EXPECT_TRUE(back.productIsChanged);
    EXPECT_EQ(toJSONData(back).value(), text);

    for (const char* key : {"idKey", "projectId", "products", "restoredTransaction", "alreadyRestored",
                            "alreadySendRestoreEvent", "productIsChanged"}) {
        Json json = JsonText::parse(text);
        json.erase(key);
        SubscriptionInfo target(0);
        EXPECT_THROW(json.get_to(target), std::exception) << key;
    }
    Json fractional = JsonText::parse(text);
    fractional["idKey"] = JsonText::parse("8.5");
    SubscriptionInfo target(0);
    EXPECT_THROW(fractional.get_to(target), std::exception);
}

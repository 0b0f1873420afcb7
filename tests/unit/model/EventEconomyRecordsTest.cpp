#include "model/AdImpression.hpp"
#include "model/CurrentBalance.hpp"
#include "model/LevelUp.hpp"
#include "model/ProgressionEvent.hpp"
#include "model/RealCurrencyPayment.hpp"
#include "model/SocialNetworkConnect.hpp"
#include "model/SocialNetworkPost.hpp"
#include "model/VirtualCurrencyPayment.hpp"
#include "support/LogCapture.hpp"
#include "support/ScopedEnvironment.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

using namespace zqb;

namespace {

constexpr int64_t kEconomyNow = 1700000000000;
const std::vector<std::string> kEconomyDungeon{"Dungeon"};

std::string economyHead(const std::string& code) {
    return "\t code: " + code + "\n\t timestamp: 1700000000000\n\t sessionId: 7\n\t level: 2\n";
}

}  // namespace

TEST(EventEconomyRecords, BalanceAndVirtualPaymentWriteTheirMapsEvenEmpty) {
    test::ScopedEnvironment env(kEconomyNow);

    const CurrentBalance empty(kEconomyNow, 7, 2, {});
    EXPECT_EQ(empty.getJson(),
              R"({"code":"cb","timestamp":1700000000000,"sessionId":7,"level":2,"balance":{}})");
    EXPECT_EQ(empty.description(), economyHead("cb"));
    const CurrentBalance two(kEconomyNow, 7, 2, {{"gold", 10}, {"gems", -1}});
    EXPECT_EQ(
        two.getJson(),
        R"({"code":"cb","timestamp":1700000000000,"sessionId":7,"level":2,"balance":{"gems":-1,"gold":10}})");
    EXPECT_EQ(
        two.description(),
        economyHead("cb") + "\t balance: \n\t\t resource: gems amount: -1\n\t\t resource: gold amount: 10\n");

    const VirtualCurrencyPayment free(kEconomyNow, 7, 2, "sword", 1, {}, "weapon");
    EXPECT_EQ(free.getJson(),
              R"({"code":"vp","timestamp":1700000000000,"sessionId":7,"level":2,"purchaseId":"sword",)"
              R"("purchaseAmount":1,"purchasePrice":{},"purchaseType":"weapon"})");
    const VirtualCurrencyPayment paid(kEconomyNow, 7, 2, "sword", 3, {{"gold", 100}}, "weapon",
                                      kEconomyDungeon);
    EXPECT_EQ(paid.getJson(),
              R"({"code":"vp","timestamp":1700000000000,"sessionId":7,"level":2,"purchaseId":"sword",)"
              R"("purchaseAmount":3,"purchasePrice":{"gold":100},"purchaseType":"weapon",)"
              R"("inProgress":["Dungeon"]})");
    // The type line comes before the price block.
    EXPECT_EQ(paid.description(), economyHead("vp") +
                                      "\t purchaseId: sword\n\t purchaseAmount: 3\n\t purchaseType: weapon\n"
                                      "\t purchasePrice: \n\t\t currency: gold price: 100\n"
                                      "\t inProgress: [\"Dungeon\"]\n");
}

TEST(EventEconomyRecords, RealPaymentPriceMustBeFinite) {
    test::ScopedEnvironment env(kEconomyNow);

    const RealCurrencyPayment payment(kEconomyNow, 7, 2, "pack", "order-1", 0.99, "USD", kEconomyDungeon);
    EXPECT_EQ(payment.getJson(),
              R"({"code":"rp","timestamp":1700000000000,"sessionId":7,"level":2,"productId":"pack",)"
              R"("orderId":"order-1","price":0.99,"currencyCode":"USD","inProgress":["Dungeon"]})");
    EXPECT_EQ(payment.description(), economyHead("rp") +
                                         "\t productId: pack\n\t orderId: order-1\n\t price: 0.99\n"
                                         "\t currencyCode: USD\n\t inProgress: [\"Dungeon\"]\n");
    EXPECT_NE(RealCurrencyPayment(kEconomyNow, 7, 2, "p", "o", 5, "EUR")
                  .getJson()
                  .find(R"("orderId":"o","price":5.0,)"),
              std::string::npos);

    test::LogCapture log;
    const RealCurrencyPayment broken(kEconomyNow, 7, 2, "pack", "order-2", std::nan(""), "USD");
    EXPECT_EQ(broken.getJson(), "");
    ASSERT_EQ(log.lines().size(), 1u);
    EXPECT_EQ(log.texts()[0].rfind("ERROR When trying to get json string from \n\t[" + broken.description() +
                                       "] \n\tobject an error has occurred: ",
                                   0),
              0u);
    EXPECT_NE(log.texts()[0].find("\t price: nan\n"), std::string::npos);
}

TEST(EventEconomyRecords, LevelUpWritesSessionBeforeTimestamp) {
    test::ScopedEnvironment env(kEconomyNow);

    const LevelUp bare(kEconomyNow, 7, 2, std::nullopt);
    EXPECT_EQ(bare.getJson(), R"({"code":"lu","sessionId":7,"timestamp":1700000000000,"level":2})");
    EXPECT_EQ(bare.description(), economyHead("lu"));

    LevelUp full(kEconomyNow, 7, 2, IntMap{{"gold", 5}}, kEconomyDungeon, std::nullopt, IntMap{{"gold", 1}});
    full.earned = IntMap{{"gems", 2}, {"gold", 3}};
    full.bought = IntMap{};
    EXPECT_EQ(full.getJson(),
              R"({"code":"lu","sessionId":7,"timestamp":1700000000000,"level":2,"balance":{"gold":5},)"
              R"("spent":{"gold":1},"earned":{"gems":2,"gold":3},"bought":{},"inProgress":["Dungeon"]})");
    EXPECT_EQ(full.description(),
              economyHead("lu") +
                  "\t balance: \n\t\t resource: gold amount: 5\n"
                  "\t spent: \n\t\t resource: gold amount: 1\n"
                  "\t earned: \n\t\t resource: gems amount: 2\n\t\t resource: gold amount: 3\n"
                  "\t inProgress: [\"Dungeon\"]\n");
}

TEST(EventEconomyRecords, ProgressionAndSocialRecords) {
    test::ScopedEnvironment env(kEconomyNow);

    const ProgressionEvent plain(kEconomyNow, 7, 2, "Cave", std::nullopt, std::nullopt,
                                 ProgressionEventParams(false));
    EXPECT_EQ(plain.getJson(),
              R"({"code":"pe","timestamp":1700000000000,"sessionId":7,"level":2,"name":"Cave",)"
              R"("parameters":{"success":false}})");
    EXPECT_EQ(plain.description(),
              economyHead("pe") + "\t name: Cave\n\t parameters:\n\t\t success: false\n");

    const ProgressionEvent full(kEconomyNow, 7, 2, "Cave", IntMap{{"gold", 4}}, IntMap{{"gems", 1}},
                                ProgressionEventParams(true, 31, 5, "map"));
    EXPECT_EQ(full.getJson(),
              R"({"code":"pe","timestamp":1700000000000,"sessionId":7,"level":2,"name":"Cave",)"
              R"("spent":{"gold":4},"earned":{"gems":1},)"
              R"("parameters":{"success":true,"duration":31,"difficulty":5,"source":"map"}})");
    EXPECT_EQ(full.description(), economyHead("pe") +
                                      "\t name: Cave\n\t spent: \n\t\t resource: gold amount: 4\n"
                                      "\t earned: \n\t\t resource: gems amount: 1\n"
                                      "\t parameters:\n\t\t success: true\n\t\t duration: 31\n"
                                      "\t\t difficulty: 5\n\t\t source: map\n");

    const SocialNetworkConnect connect(kEconomyNow, 7, 2, "vk", kEconomyDungeon);
    EXPECT_EQ(connect.getJson(), R"({"code":"sc","timestamp":1700000000000,"sessionId":7,"level":2,)"
                                 R"("socialNetwork":"vk","inProgress":["Dungeon"]})");
    EXPECT_EQ(connect.description(),
              economyHead("sc") + "\t socialNetwork: vk\n\t inProgress: [\"Dungeon\"]\n");

    const SocialNetworkPost post(kEconomyNow, 7, 2, "vk", "record");
    EXPECT_EQ(post.getJson(), R"({"code":"sp","timestamp":1700000000000,"sessionId":7,"level":2,)"
                              R"("socialNetwork":"vk","postReason":"record"})");
    EXPECT_EQ(post.description(), economyHead("sp") + "\t socialNetwork: vk\n\t postReason: record\n");
}

TEST(EventEconomyRecords, AdImpressionRenamesAndReordersItsKeys) {
    test::ScopedEnvironment env(kEconomyNow);

    const AdImpression bare(kEconomyNow, "net", 0.0125, 7, std::nullopt, std::nullopt);
    EXPECT_EQ(bare.getJson(), R"({"code":"adrv","timestamp":1700000000000,"sessionId":7,"source":"sdk",)"
                              R"("ad_network":"net","revenue":0.0125})");

    const AdImpression full(kEconomyNow, "net", 2, 7, "menu", "banner", kEconomyDungeon);
    EXPECT_EQ(full.getJson(), R"({"code":"adrv","timestamp":1700000000000,"sessionId":7,"source":"sdk",)"
                              R"("ad_network":"net","placement":"menu","ad_unit":"banner","revenue":2.0,)"
                              R"("inProgress":["Dungeon"]})");
    EXPECT_EQ(
        full.description(),
        "\t code: adrv\n\t timestamp: 1700000000000\n\t sessionId: 7\n\t network: net\n\t revenue: 2.0\n"
        "\t source: sdk\n\t placement: menu\n\t unit: banner\n\t inProgress: [\"Dungeon\"]\n");

    test::LogCapture log;
    EXPECT_EQ(AdImpression(kEconomyNow, "net", std::numeric_limits<double>::infinity(), 7, std::nullopt,
                           std::nullopt)
                  .getJson(),
              "");
    EXPECT_EQ(log.lines().size(), 1u);
    EXPECT_EQ(log.count("\t revenue: inf\n"), 1u);
}

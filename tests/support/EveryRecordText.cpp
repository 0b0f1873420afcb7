#include "support/EveryRecordText.hpp"

#include "model/AdImpression.hpp"
#include "model/Alive.hpp"
#include "model/CurrencyAccrual.hpp"
#include "model/CurrentBalance.hpp"
#include "model/CustomEvent.hpp"
#include "model/DeviceInfo.hpp"
#include "model/LevelUp.hpp"
#include "model/PeopleEvent.hpp"
#include "model/ProgressionEvent.hpp"
#include "model/PushOpened.hpp"
#include "model/PushToken.hpp"
#include "model/RealCurrencyPayment.hpp"
#include "model/Referral.hpp"
#include "model/RestoredTransactionsEvent.hpp"
#include "model/SessionStart.hpp"
#include "model/SocialNetworkConnect.hpp"
#include "model/SocialNetworkPost.hpp"
#include "model/SubscriptionPayment.hpp"
#include "model/SubscriptionProductsEvent.hpp"
#include "model/TrackingStatus.hpp"
#include "model/Tutorial.hpp"
#include "model/UserEngagement.hpp"
#include "model/VirtualCurrencyPayment.hpp"

namespace zqb::test {

std::vector<std::string> everyRecordText() {
    constexpr int64_t kAt = 1700000000000;
    const std::vector<std::string> progress{"Dungeon \"1\"", "Ch\u00e2teau"};
    const zqb::IntMap gold{{"gold", 5}, {"g\u00e9m", -3}};
    AnyCodableMap parameters{{"mode", "duel"}, {"score", 1234},
                             {"ratio", 0.25},  {"whole", 5.0},
                             {"tiny", 1e-05},  {"huge", 1e+300},
                             {"flag", true},   {"text", "line\nbreak\t\"q\" \\ \x01 \u00e9\u4e2d\U0001F600"}};
    zqb::PeopleValueMap people{
        {"name", "Zo\u00e9"},          {"age", 31},  {"height", 1.85}, {"none", zqb::PeopleValueType::null()},
        {"gender", ZQBGender::female}, {"vip", true}};
    zqb::SubscriptionProduct product{
        "sub.month",
        *zqb::Decimal::parse("4.99"),
        "FR",
        "EUR",
        *zqb::Decimal::parse("0.990"),
        std::map<std::string, zqb::Decimal>{{"d1", *zqb::Decimal::parse("1.50")}}};
    zqb::SubscriptionProduct plain{"sub.year",  *zqb::Decimal::parse("49"), "US", "USD", std::nullopt,
                                   std::nullopt};

    std::vector<std::string> texts{
        zqb::AdImpression(kAt, "net", 0.0123, 7, "main", std::nullopt, progress, "exp").getJson(),
        zqb::Alive(kAt, "exp").getJson(),
        zqb::CurrencyAccrual(kAt, 7, 2, zqb::CurrencyAccrual::Accruals{{"shop", gold}}, std::nullopt)
            .getJson(),
        zqb::CurrentBalance(kAt, 7, 2, gold).getJson(),
        zqb::CustomEvent(kAt, 7, 2, "jump", parameters, progress, "exp").getJson(),
        zqb::CustomEvent(kAt, 7, 2, "empty", AnyCodableMap{}).getJson(),
        zqb::CustomEvent(kAt, 7, 2, "none", std::nullopt).getJson(),
        zqb::DeviceInfo(kAt, "12.1", "Linux", 326, "1920x1080", 6.1, "Maker", "Model", -3600, 0, false, "V",
                        std::nullopt, "U", 1)
            .getJson(),
        zqb::LevelUp(kAt, 7, 3, gold, progress, std::nullopt, gold, zqb::IntMap{}, std::nullopt).getJson(),
        zqb::PeopleEvent(kAt, 7, 2, people).getJson(),
        zqb::ProgressionEvent(kAt, 7, 2, "Dungeon", gold, std::nullopt,
                              zqb::ProgressionEventParams(true, 30, 2, "map"))
            .getJson(),
        zqb::PushOpened(1700000000000, 99, "ok").getJson(),
        zqb::PushToken(kAt, "ab\\cd", true).getJson(),
        zqb::RealCurrencyPayment(kAt, 7, 2, "gems", "order-1", 4.99, "EUR").getJson(),
        zqb::RealCurrencyPayment(kAt, 7, 2, "gems", "order-2", 5.0, "USD").getJson(),
        zqb::Referral(kAt, 7, "ads", "winter", std::nullopt, "cpc", "\u00fcber").getJson(),
        zqb::RestoredTransactionsEvent(kAt, "EUR", {{"sub.month", {"t1", "t2"}}}).getJson(),
        zqb::SessionStart(1700000000000, 1, progress).getJson(),
        zqb::SocialNetworkConnect(kAt, 7, 2, "net").getJson(),
        zqb::SocialNetworkPost(kAt, 7, 2, "net", "win").getJson(),
        zqb::SubscriptionPayment(kAt, 7, 2, "sub.month", "order-3", "FR", "EUR").getJson(),
        zqb::SubscriptionProductsEvent(kAt, {product, plain}).getJson(),
        zqb::TrackingStatus(kAt, false).getJson(),
        zqb::Tutorial(kAt, 7, 2, -1).getJson(),
        zqb::UserEngagement(kAt, 2, 60, 7).getJson(),
        zqb::VirtualCurrencyPayment(kAt, 7, 2, "sword", 1, gold, "weapon").getJson(),
    };
    return texts;
}

}  // namespace zqb::test

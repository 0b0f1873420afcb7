// The stored packages text is assembled from the event texts without building a tree per event; it must be
// the very bytes that writing the packages' tree gives, whatever a stored text holds.
#include "model/AdImpression.hpp"
#include "model/Alive.hpp"
#include "model/CurrencyAccrual.hpp"
#include "model/CurrentBalance.hpp"
#include "model/CustomEvent.hpp"
#include "model/DeviceInfo.hpp"
#include "model/JsonText.hpp"
#include "model/LevelUp.hpp"
#include "model/Package.hpp"
#include "model/PackedEventText.hpp"
#include "model/PeopleEvent.hpp"
#include "model/ProgressionEvent.hpp"
#include "model/PushOpened.hpp"
#include "model/PushToken.hpp"
#include "model/RealCurrencyPayment.hpp"
#include "model/Referral.hpp"
#include "model/Report.hpp"
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

#include <gtest/gtest.h>

#include <string>
#include <vector>

using zqb::AnyCodable;
using zqb::AnyCodableMap;
using zqb::JsonText;
using zqb::Package;
using zqb::Report;
using Json = nlohmann::ordered_json;

namespace {

// What the stored packages text was before it was assembled: the packages' tree, written.
std::string treeText(const std::vector<Package>& packages) {
    try {
        return JsonText::write(Json(packages));
    } catch (const std::exception&) {
        return "[]";
    }
}

Package packageOf(std::vector<std::string> events) {
    Package package;
    package.language = "fr";
    package.appVersion = "1.2 \"beta\"";
    package.sdkVersion = "2.1.2";
    package.sdkCodeVersion = 10;
    package.bundle = "org.example.jeu";
    package.events = std::move(events);
    return package;
}

void expectSameBytes(const std::vector<std::string>& texts) {
    for (const auto& text : texts) {
        const std::vector<Package> one{packageOf({text})};
        EXPECT_EQ(Report::packagesText(one), treeText(one)) << text;
    }
    const std::vector<Package> all{packageOf(texts), packageOf({}), packageOf(texts)};
    EXPECT_EQ(Report::packagesText(all), treeText(all));
}

std::vector<std::string> everyRecord() {
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
        zqb::AdImpression("net", 0.0123, 7, "main", std::nullopt, progress, "exp").getJson(),
        zqb::Alive("exp").getJson(),
        zqb::CurrencyAccrual(7, 2, zqb::CurrencyAccrual::Accruals{{"shop", gold}}, std::nullopt).getJson(),
        zqb::CurrentBalance(7, 2, gold).getJson(),
        zqb::CustomEvent(7, 2, "jump", parameters, progress, "exp").getJson(),
        zqb::CustomEvent(7, 2, "empty", AnyCodableMap{}).getJson(),
        zqb::CustomEvent(7, 2, "none", std::nullopt).getJson(),
        zqb::DeviceInfo("12.1", "Linux", 326, "1920x1080", 6.1, "Maker", "Model", -3600, 0, false, "V",
                        std::nullopt, "U", 1)
            .getJson(),
        zqb::LevelUp(7, 3, gold, progress, std::nullopt, gold, zqb::IntMap{}, std::nullopt).getJson(),
        zqb::PeopleEvent(7, 2, people).getJson(),
        zqb::ProgressionEvent(7, 2, "Dungeon", gold, std::nullopt,
                              zqb::ProgressionEventParams(true, 30, 2, "map"))
            .getJson(),
        zqb::PushOpened(1700000000000, 99, "ok").getJson(),
        zqb::PushToken("ab\\cd", true).getJson(),
        zqb::RealCurrencyPayment(7, 2, "gems", "order-1", 4.99, "EUR").getJson(),
        zqb::RealCurrencyPayment(7, 2, "gems", "order-2", 5.0, "USD").getJson(),
        zqb::Referral(7, "ads", "winter", std::nullopt, "cpc", "\u00fcber").getJson(),
        zqb::RestoredTransactionsEvent("EUR", {{"sub.month", {"t1", "t2"}}}).getJson(),
        zqb::SessionStart(1700000000000, 1, progress).getJson(),
        zqb::SocialNetworkConnect(7, 2, "net").getJson(),
        zqb::SocialNetworkPost(7, 2, "net", "win").getJson(),
        zqb::SubscriptionPayment(7, 2, "sub.month", "order-3", "FR", "EUR").getJson(),
        zqb::SubscriptionProductsEvent({product, plain}).getJson(),
        zqb::TrackingStatus(false).getJson(),
        zqb::Tutorial(7, 2, -1).getJson(),
        zqb::UserEngagement(2, 60, 7).getJson(),
        zqb::VirtualCurrencyPayment(7, 2, "sword", 1, gold, "weapon").getJson(),
    };
    return texts;
}

}  // namespace

TEST(PackagesText, EveryRecordGivesTheTreeBytes) {
    const auto texts = everyRecord();
    for (const auto& text : texts) {
        ASSERT_FALSE(text.empty());
        // What the library stores is assembled, never read back into a tree.
        std::string assembled;
        EXPECT_TRUE(zqb::PackedEventText::append(assembled, text)) << text;
    }
    expectSameBytes(texts);
}

TEST(PackagesText, AnyStoredTextGivesTheTreeBytes) {
    expectSameBytes({
        // an event whose encoding failed, and texts that hold no object
        "",
        "[1,2]",
        "5",
        "\"x\"",
        "null",
        "not json",
        "{",
        "{\"a\":1",
        "{\"a\":1}x",
        "{\"a\":1,}",
        "{\"a\" :1}",
        " {\"a\":1}",
        "{\"a\":1} ",
        "{\"a\":tru}",
        "{\"a\":[1,]}",
        "{'a':1}",
        // numbers of every form
        R"({"i":0,"n":-7,"b":9223372036854775807,"m":-9223372036854775808,"u":18446744073709551615})",
        R"({"o":18446744073709551616,"d":123456789012345678,"e":1234567890123456789})",
        R"({"f":1.5,"w":5.0,"z":-0,"zf":-0.0,"e1":1e5,"e2":1E-5,"e3":2.5e+3,"x":0.1000000000000000055511151231257827})",
        R"({"big":1e308,"small":4.9e-324,"under":1e-400})",
        R"({"over":1e999})",
        R"({"lead":01})",
        R"({"dot":1.})",
        R"({"neg":-})",
        R"({"plus":+1})",
        R"({"frac":.5})",
        R"({"two":1.5.3})",
        R"({"minus":1-2})",
        R"({"p":123456789.123456789,"s":[1.10,2.00,-3.0e-2]})",
        // strings and escapes
        R"({"s":"a\"b\\c\/d\u00e9\u0001\u001F\u001f\n\r\t\b\f\u000a\u0041"})",
        R"({"s":"\u0000\u001f\u0008"})",
        "{\"s\":\"raw\x01"
        "control\"}",
        "{\"s\":\"\xc3\x28\"}",
        "{\"s\":\"\xed\xa0\x80\"}",
        "{\"s\":\"\xef\xbf\xbf\"}",
        R"({"s":"\ud83d\ude00","t":"\uD83D"})",
        "{\"\u00e9\":1,\"e\xcc\x81\":2}",
        "{\"\u212a\":1,\"K\":2}",
        "{\"g\u00e9m\":1,\"gem\":2,\"a\\n\":3}",
        "{\"g\u00e9m\":{\"x\":1,\"\u212a\":2,\"K\":3},\"\u00fc\":[{\"\u00e9\":1,\"e\xcc\x81\":2}]}",
        // keys, empty parameters and nesting
        R"({"a":1,"a":2})",
        R"({"a":{"b":1,"b":{}},"c":[{"d":1,"d":2}]})",
        R"({"a":{},"b":[],"c":[{}],"d":[[]]})",
        R"({"a":{"a":{"a":1}},"b":{"a":1}})",
        R"({"":1,"t":true,"f":false,"n":null})",
        std::string(80, '[') + std::string(80, ']'),
        "{\"a\":" + std::string(70, '[') + std::string(70, ']') + "}",
        "{\"a\":" + std::string(600, '[') + std::string(600, ']') + "}",
    });
}

TEST(PackagesText, APackageThatCannotBeWrittenGivesAnEmptyList) {
    Package bad = packageOf({R"({"a":1})"});
    bad.bundle = "\xff";
    const std::vector<Package> packages{packageOf({"{}"}), bad};
    EXPECT_EQ(Report::packagesText(packages), "[]");
    EXPECT_EQ(treeText(packages), "[]");
    EXPECT_EQ(Report::packagesText({}), "[]");
}

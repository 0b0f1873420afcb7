// Every event is stored through the direct text writer; its text must be the very bytes that building the
// record's tree and writing it gives, for every kind of record and every value, and a value that cannot be
// written must fail both ways. Strings and numbers must read as the JSON library's own `dump()` gives them.
#include "model/AdImpression.hpp"
#include "model/Alive.hpp"
#include "model/CurrencyAccrual.hpp"
#include "model/CurrentBalance.hpp"
#include "model/CustomEvent.hpp"
#include "model/DeviceInfo.hpp"
#include "model/JsonText.hpp"
#include "model/JsonTextWriter.hpp"
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
#include "support/LogCapture.hpp"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <functional>
#include <limits>
#include <memory>
#include <random>
#include <string>
#include <vector>

namespace zqb {
namespace {

// Seeded, so that a failing round can be run again: its seed is in the failure message.
class RandomRecordValues {
public:
    explicit RandomRecordValues(uint64_t seed) : random_(seed) {}

    bool chance(unsigned inTen) { return below(10) < inTen; }
    std::size_t below(std::size_t bound) {
        return std::uniform_int_distribution<std::size_t>(0, bound - 1)(random_);
    }

    // Valid UTF-8 of every kind a string can hold, now and then with a byte sequence that is not.
    std::string text() {
        static const std::vector<std::string> pieces{"a",
                                                     "Z",
                                                     "0",
                                                     " ",
                                                     "/",
                                                     "\"",
                                                     "\\",
                                                     "\b",
                                                     "\f",
                                                     "\n",
                                                     "\r",
                                                     "\t",
                                                     std::string(1, '\0'),
                                                     "\x01",
                                                     "\x1f",
                                                     "\x7f",
                                                     "\u00e9",
                                                     "\u0301",
                                                     "\u00a0",
                                                     "\u200d",
                                                     "\u2028",
                                                     "\ufeff",
                                                     "\ufffd",
                                                     "\u4e2d",
                                                     "\U0001F600",
                                                     "\U0001F1EB\U0001F1F7",
                                                     "{\"k\":1}",
                                                     "\\u0041",
                                                     "1e5",
                                                     "-0.0"};
        static const std::vector<std::string> broken{
            "\xff", "\x80", "\xc3", "\xe4\xb8", "\xed\xa0\x80", "\xf4\x90\x80\x80", "\xc0\xaf"};
        std::string made;
        const std::size_t count = below(12);
        for (std::size_t index = 0; index < count; ++index) {
            made += below(200) == 0 ? broken[below(broken.size())] : pieces[below(pieces.size())];
        }
        return made;
    }

    std::optional<std::string> maybeText() { return chance(3) ? std::nullopt : std::optional(text()); }

    int64_t integer() {
        static const std::vector<int64_t> edges{0,
                                                1,
                                                -1,
                                                1700000000000,
                                                9999999999999,
                                                10000000000000,
                                                2147483647,
                                                -2147483648,
                                                std::numeric_limits<int64_t>::max(),
                                                std::numeric_limits<int64_t>::min()};
        if (chance(5)) {
            return edges[below(edges.size())];
        }
        return static_cast<int64_t>(random_()) >> below(64);
    }

    // Finite doubles of every form (exponents, negative zero, subnormals, whole values); a NaN or an
    // infinity only where `finite` is false.
    double number(bool finite = false) {
        static const std::vector<double> edges{0.0,
                                               -0.0,
                                               0.5,
                                               5.0,
                                               -5.0,
                                               0.1,
                                               1e-05,
                                               0.0001,
                                               1e15,
                                               1e16,
                                               123456789012345678.0,
                                               9007199254740993.0,
                                               9223372036854775807.0,
                                               -9223372036854775808.0,
                                               1.7976931348623157e308,
                                               -1.7976931348623157e308,
                                               2.2250738585072014e-308,
                                               4.9e-324,
                                               -4.9e-324,
                                               2.225073858507201e-308,
                                               1e300,
                                               1e-300};
        double value = 0;
        switch (below(4)) {
            case 0:
                value = edges[below(edges.size())];
                break;
            case 1:
                value = std::bit_cast<double>(random_());
                break;
            case 2:
                value = static_cast<double>(integer());
                break;
            default:
                value =
                    static_cast<double>(integer() % 100000) / std::pow(10.0, static_cast<double>(below(8)));
                break;
        }
        if (finite && !std::isfinite(value)) {
            return 0.25;
        }
        if (!finite && below(40) == 0) {
            return chance(5) ? std::numeric_limits<double>::quiet_NaN()
                             : -std::numeric_limits<double>::infinity();
        }
        return value;
    }

    std::optional<std::vector<std::string>> maybeTexts() {
        if (chance(3)) {
            return std::nullopt;
        }
        std::vector<std::string> made;
        const std::size_t count = below(4);
        for (std::size_t index = 0; index < count; ++index) {
            made.push_back(text());
        }
        return made;
    }

    IntMap amounts() {
        IntMap made;
        const std::size_t count = below(4);
        for (std::size_t index = 0; index < count; ++index) {
            made[text()] = integer();
        }
        return made;
    }
    std::optional<IntMap> maybeAmounts() { return chance(3) ? std::nullopt : std::optional(amounts()); }

    // Dynamic values of every kind, nested a few levels; an opaque value, which cannot be written, rarely.
    AnyCodable dynamic(int depth = 0) {
        switch (below(depth < 2 ? 17 : 14)) {
            case 0:
                return AnyCodable();
            case 1:
                return AnyCodable(chance(5));
            case 2:
                return AnyCodable(integer());
            case 3:
                return AnyCodable::int8(static_cast<int8_t>(integer()));
            case 4:
                return AnyCodable::int32(static_cast<int32_t>(integer()));
            case 5:
                return AnyCodable(static_cast<uint64_t>(random_()));
            case 6:
                return AnyCodable::uint16(static_cast<uint16_t>(random_()));
            case 7:
                return AnyCodable(static_cast<float>(number()));
            case 8:
            case 9:
                return AnyCodable(number());
            case 10:
            case 11:
                return AnyCodable(text());
            case 12:
                return AnyCodable(AnyCodable::Date{number()});
            case 13:
                return below(20) == 0 ? AnyCodable::opaque(0, "opaque") : AnyCodable(AnyCodable::Url{text()});
            case 14: {
                AnyCodableList list;
                const std::size_t count = below(4);
                for (std::size_t index = 0; index < count; ++index) {
                    list.push_back(dynamic(depth + 1));
                }
                return AnyCodable(std::move(list));
            }
            default: {
                return AnyCodable(dynamicMap(depth + 1));
            }
        }
    }

    AnyCodableMap dynamicMap(int depth = 0) {
        AnyCodableMap map;
        const std::size_t count = below(5);
        for (std::size_t index = 0; index < count; ++index) {
            map.insertOrAssign(text(), dynamic(depth));
        }
        return map;
    }

    PeopleValueMap people() {
        PeopleValueMap made;
        const std::size_t count = below(5);
        for (std::size_t index = 0; index < count; ++index) {
            switch (below(6)) {
                case 0:
                    made.insert_or_assign(text(), PeopleValueType(integer()));
                    break;
                case 1:
                    made.insert_or_assign(text(), PeopleValueType(number(true)));
                    break;
                case 2:
                    made.insert_or_assign(text(), PeopleValueType(text()));
                    break;
                case 3:
                    made.insert_or_assign(text(), PeopleValueType(chance(5)));
                    break;
                case 4:
                    made.insert_or_assign(text(), PeopleValueType::null());
                    break;
                default:
                    made.insert_or_assign(text(), PeopleValueType(ZQBGender::female));
                    break;
            }
        }
        return made;
    }

    Decimal decimal() {
        return *Decimal::parse(std::to_string(integer() % 1000000) + "." + std::to_string(below(1000)));
    }

    std::vector<SubscriptionProduct> products() {
        std::vector<SubscriptionProduct> made;
        const std::size_t count = below(3);
        for (std::size_t index = 0; index < count; ++index) {
            std::optional<std::map<std::string, Decimal>> discounts;
            if (chance(5)) {
                discounts.emplace();
                (*discounts)[text()] = decimal();
            }
            made.push_back({text(), decimal(), text(), text(),
                            chance(5) ? std::optional(decimal()) : std::nullopt, discounts});
        }
        return made;
    }

    // One record of each kind, with random values in every member, absent optional members included.
    std::vector<std::unique_ptr<Storable>> everyKind() {
        std::vector<std::unique_ptr<Storable>> made;
        made.push_back(std::make_unique<AdImpression>(integer(), text(), number(), integer(), maybeText(),
                                                      maybeText(), maybeTexts(), maybeText()));
        made.push_back(std::make_unique<Alive>(integer(), maybeText()));
        const auto accruals = [&] {
            return chance(3)
                       ? std::nullopt
                       : std::optional(CurrencyAccrual::Accruals{{text(), amounts()}, {text(), amounts()}});
        };
        made.push_back(std::make_unique<CurrencyAccrual>(integer(), integer(), integer(), accruals(),
                                                         accruals(), std::nullopt, maybeText()));
        made.push_back(
            std::make_unique<CurrentBalance>(integer(), integer(), integer(), amounts(), maybeText()));
        std::optional<AnyCodableMap> parameters;
        if (!chance(2)) {
            parameters = dynamicMap();
        }
        made.push_back(std::make_unique<CustomEvent>(integer(), integer(), integer(), text(), parameters,
                                                     maybeTexts(), maybeText()));
        made.push_back(std::make_unique<DeviceInfo>(
            integer(), text(), text(), chance(5) ? std::optional(integer()) : std::nullopt, maybeText(),
            chance(5) ? std::optional(number()) : std::nullopt, text(), text(), integer(), integer(),
            chance(5), maybeText(), maybeText(), text(),
            chance(5) ? std::optional(integer()) : std::nullopt));
        made.push_back(std::make_unique<LevelUp>(integer(), integer(), integer(), maybeAmounts(),
                                                 maybeTexts(), maybeText(), maybeAmounts(), maybeAmounts(),
                                                 maybeAmounts()));
        made.push_back(std::make_unique<PeopleEvent>(integer(), integer(), integer(),
                                                     chance(2) ? std::nullopt : std::optional(people()),
                                                     maybeTexts(), maybeText()));
        made.push_back(std::make_unique<ProgressionEvent>(
            integer(), integer(), integer(), text(), maybeAmounts(), maybeAmounts(),
            ProgressionEventParams(chance(5), chance(5) ? std::optional(integer()) : std::nullopt,
                                   chance(5) ? std::optional(integer()) : std::nullopt, maybeText()),
            maybeText()));
        made.push_back(std::make_unique<PushOpened>(integer(), integer(), maybeText(), maybeText()));
        made.push_back(std::make_unique<PushToken>(integer(), text(), chance(5), maybeText()));
        made.push_back(std::make_unique<RealCurrencyPayment>(integer(), integer(), integer(), text(), text(),
                                                             number(), text(), maybeTexts(), maybeText()));
        made.push_back(std::make_unique<Referral>(integer(), integer(), maybeText(), maybeText(), maybeText(),
                                                  maybeText(), maybeText(), maybeTexts(), maybeText()));
        std::vector<RestoredTransaction> transactions;
        for (std::size_t index = below(3); index > 0; --index) {
            transactions.push_back({text(), maybeTexts().value_or(std::vector<std::string>{})});
        }
        made.push_back(std::make_unique<RestoredTransactionsEvent>(integer(), text(), transactions));
        made.push_back(std::make_unique<SessionStart>(integer(), integer(), maybeTexts(), maybeText()));
        made.push_back(std::make_unique<SocialNetworkConnect>(integer(), integer(), integer(), text(),
                                                              maybeTexts(), maybeText()));
        made.push_back(std::make_unique<SocialNetworkPost>(integer(), integer(), integer(), text(), text(),
                                                           maybeTexts(), maybeText()));
        made.push_back(std::make_unique<SubscriptionPayment>(integer(), integer(), integer(), text(), text(),
                                                             text(), text(), maybeTexts(), maybeText()));
        made.push_back(std::make_unique<SubscriptionProductsEvent>(integer(), products()));
        auto tracking = std::make_unique<TrackingStatus>(integer(), chance(5));
        tracking->inProgress = maybeTexts();
        tracking->inExperiments = maybeText();
        made.push_back(std::move(tracking));
        made.push_back(std::make_unique<Tutorial>(integer(), integer(), integer(), integer(), maybeTexts(),
                                                  maybeText()));
        made.push_back(std::make_unique<UserEngagement>(integer(), integer(), integer(), integer(),
                                                        maybeTexts(), maybeText()));
        made.push_back(std::make_unique<VirtualCurrencyPayment>(integer(), integer(), integer(), text(),
                                                                integer(), amounts(), text(), maybeTexts(),
                                                                maybeText()));
        return made;
    }

private:
    std::mt19937_64 random_;
};

// The direct text, or nothing when it cannot be written.
std::optional<std::string> directText(const Storable& record) {
    std::string text;
    try {
        JsonTextWriter writer(text);
        writer.beginObject();
        record.writeMembers(writer);
        writer.endObject();
        return text;
    } catch (const std::exception&) {
        return std::nullopt;
    }
}

// The text of the record's tree, or nothing when it cannot be written.
std::optional<std::string> treeText(const Storable& record) {
    try {
        return JsonText::write(record.toJson());
    } catch (const std::exception&) {
        return std::nullopt;
    }
}

TEST(RecordTextWriter, StringsAndNumbersReadAsTheJsonLibraryDumpsThem) {
    for (const uint64_t seed : {1u, 2u, 3u, 4u}) {
        RandomRecordValues random(seed);
        for (int round = 0; round < 5000; ++round) {
            const std::string text = random.text();
            std::string written = "x";
            const bool valid = JsonText::appendString(written, text);
            std::optional<std::string> dumped;
            try {
                dumped = nlohmann::ordered_json(text).dump();
            } catch (const nlohmann::ordered_json::type_error&) {
            }
            ASSERT_EQ(valid, dumped.has_value()) << "seed " << seed << " round " << round;
            ASSERT_EQ(written, valid ? "x" + *dumped : "x") << "seed " << seed << " round " << round;

            const double number = random.number();
            std::string digits = "x";
            const bool finite = JsonText::appendNumber(digits, number);
            ASSERT_EQ(finite, std::isfinite(number));
            ASSERT_EQ(digits, finite ? "x" + nlohmann::ordered_json(number).dump() : "x")
                << "seed " << seed << " round " << round;
        }
    }
}

TEST(RecordTextWriter, EveryKindOfRecordWritesTheBytesOfItsTree) {
    test::LogCapture log;
    std::size_t written = 0;
    std::size_t failed = 0;
    for (const uint64_t seed : {11u, 12u, 13u}) {
        RandomRecordValues random(seed);
        for (int round = 0; round < 400; ++round) {
            for (const auto& record : random.everyKind()) {
                const auto tree = treeText(*record);
                const auto direct = directText(*record);
                ASSERT_EQ(direct, tree)
                    << "seed " << seed << " round " << round << " code " << record->eventCode();
                ASSERT_EQ(record->getJson(), tree.value_or(""))
                    << "seed " << seed << " round " << round << " code " << record->eventCode();
                ++(tree ? written : failed);
            }
        }
    }
    // Both outcomes were met often enough to mean something.
    EXPECT_GT(written, 20000u);
    EXPECT_GT(failed, 200u);
}

}  // namespace
}  // namespace zqb

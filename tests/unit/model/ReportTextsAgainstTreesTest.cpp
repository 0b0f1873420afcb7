// Random packages and reports of every kind of event text, new, stored, read back from rows of this
// library's texts and of other writers' texts: the stored packages text, the upload body and its log form
// must be the very bytes that writing their trees gives.
#include "model/AdImpression.hpp"
#include "model/CustomEvent.hpp"
#include "model/JsonText.hpp"
#include "model/Package.hpp"
#include "model/RealCurrencyPayment.hpp"
#include "model/Report.hpp"
#include "model/Reports.hpp"
#include "network/AnyEncodable.hpp"

#include "RecordRows.hpp"
#include "support/EveryRecordText.hpp"
#include "support/ReportTrees.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <memory>
#include <random>
#include <string>
#include <vector>

namespace zqb {
namespace {

using Json = nlohmann::ordered_json;

// Seeded, so that a failing round can be run again: its seed is in the failure message.
class RandomReports {
public:
    explicit RandomReports(uint64_t seed) : random_(seed) {}

    Package package() {
        Package made;
        made.language = maybe(fact());
        made.appVersion = maybe(fact());
        made.appBuildVersion = maybe(fact());
        made.sdkVersion = fact();
        made.sdkCodeVersion = pick<int64_t>({10, 0, -1, 11, std::numeric_limits<int64_t>::max()});
        made.bundle = maybe(fact());
        if (chance(10)) {
            made.engine = fact();
        }
        if (!chance(10)) {
            std::vector<std::string> events;
            const std::size_t count = below(12);
            for (std::size_t index = 0; index < count; ++index) {
                events.push_back(eventText());
            }
            made.events = std::move(events);
        }
        return made;
    }

    std::vector<Package> packages() {
        std::vector<Package> made;
        const std::size_t count = below(4);
        for (std::size_t index = 0; index < count; ++index) {
            made.push_back(package());
        }
        return made;
    }

    // A stored packages text as another writer could have left it: reordered, spaced, with an engine, a
    // key of its own, an event that is no object, a fact missing, or cut short.
    std::string otherWriters(const std::string& stored) {
        Json tree = Json::parse(stored);
        switch (below(7)) {
            case 0:
                return JsonText::write(tree, JsonText::Style::pretty);
            case 1:
                for (auto& package : tree) {
                    package["engine"] = "Other";
                }
                break;
            case 2:
                for (auto& package : tree) {
                    Json events = package["events"];
                    package.erase("events");
                    Json reordered = Json{{"events", events}};
                    reordered.update(package);
                    package = reordered;
                }
                break;
            case 3:
                for (auto& package : tree) {
                    package["extra"] = Json::array({1, "x"});
                }
                break;
            case 4:
                for (auto& package : tree) {
                    package["events"].push_back("not an object");
                }
                break;
            case 5:
                if (!tree.empty()) {
                    tree.back().erase("sdkVersion");
                }
                break;
            default:
                return stored.substr(0, below(stored.size() + 1));
        }
        return JsonText::write(tree);
    }

    std::size_t below(std::size_t bound) {
        return bound == 0 ? 0 : std::uniform_int_distribution<std::size_t>(0, bound - 1)(random_);
    }
    bool chance(int percent) { return static_cast<int>(below(100)) < percent; }

private:
    template <typename T>
    T pick(std::initializer_list<T> choices) {
        return *(choices.begin() + static_cast<std::ptrdiff_t>(below(choices.size())));
    }

    std::optional<std::string> maybe(std::string text) {
        return chance(25) ? std::nullopt : std::optional<std::string>(std::move(text));
    }

    // Facts of every form; one in a few hundred is not UTF-8, which no package can be written with.
    std::string fact() {
        if (chance(1) && chance(50)) {
            return "bad \xff";
        }
        return pick<std::string>({"en", "fr-CA", "2.1.2", "1.2 \"beta\"", "C:\\path", "tab\there",
                                  "Ch\u00e2teau \u4e2d\U0001F600", "ctl\x01", "", "org.example.jeu"});
    }

    std::string eventText() {
        switch (below(10)) {
            case 0:
            case 1:
            case 2:
                return every_[below(every_.size())];
            case 3:
                return recordWithRandomValues();
            case 4:
            case 5:
            case 6:
                return object(0);
            case 7:
                return spoiled(every_[below(every_.size())]);
            default:
                return pick<std::string>({"", "[1,2]", "5", "\"x\"", "null", "not json", "{\"a\":1}x",
                                          " {\"a\":1}", "{\"a\" :1}", "{\"a\":1,\"a\":2}",
                                          "{\"a\":" + std::string(70, '[') + std::string(70, ']') + "}",
                                          "{\"a\":" + std::string(600, '[') + std::string(600, ']') + "}"});
        }
    }

    // A record of a kind whose values the copy passes through the reading path, with values drawn here.
    std::string recordWithRandomValues() {
        AnyCodableMap parameters;
        const std::size_t count = below(6);
        for (std::size_t index = 0; index < count; ++index) {
            switch (below(5)) {
                case 0:
                    parameters.insert("p" + std::to_string(index), AnyCodable(realNumber()));
                    break;
                case 1:
                    parameters.insert("p" + std::to_string(index),
                                      AnyCodable(static_cast<int64_t>(random_())));
                    break;
                case 2:
                    parameters.insert("\u00e9" + std::to_string(index), AnyCodable(fact()));
                    break;
                case 3:
                    parameters.insert("p" + std::to_string(index), AnyCodable(chance(50)));
                    break;
                default:
                    parameters.insert("p" + std::to_string(index), AnyCodable(nullptr));
                    break;
            }
        }
        switch (below(3)) {
            case 0:
                return CustomEvent(1700000000000, 1700000000000, 3, fact(), parameters).getJson();
            case 1:
                return RealCurrencyPayment(1700000000000, 1700000000000, 3, "gems", "order", realNumber(),
                                           "EUR")
                    .getJson();
            default:
                return AdImpression(1700000000000, "net", realNumber(), 1700000000000, "main", std::nullopt,
                                    std::nullopt, std::nullopt)
                    .getJson();
        }
    }

    double realNumber() {
        switch (below(4)) {
            case 0:
                return std::uniform_real_distribution<double>(-1e6, 1e6)(random_);
            case 1:
                return static_cast<double>(static_cast<int64_t>(below(100000)));
            case 2:
                return std::ldexp(std::uniform_real_distribution<double>(0.5, 1.0)(random_),
                                  static_cast<int>(below(2000)) - 1000);
            default:
                return pick<double>({0.0, -0.0, 0.1, 4.99, 1e-05, 1e+300, 5e-324, 1.7976931348623157e308});
        }
    }

    // A stored text with one byte changed, cut, or spaced.
    std::string spoiled(std::string text) {
        if (text.empty()) {
            return text;
        }
        const std::size_t at = below(text.size());
        switch (below(3)) {
            case 0:
                text[at] = static_cast<char>(below(256));
                return text;
            case 1:
                return text.substr(0, at);
            default:
                return text.insert(at, " ");
        }
    }

    std::string key() {
        return pick<std::string>({"code", "a", "b", "", "\u00e9", "e\xcc\x81", "\u212a", "K", "g\u00e9m",
                                  "a\\n", "\\u0041", "q\\\"", "timestamp"});
    }

    std::string number() {
        switch (below(3)) {
            case 0:
                return std::to_string(static_cast<int64_t>(random_()) >> below(64));
            case 1:
                return Json(realNumber()).dump();
            default:
                return pick<std::string>({"0",
                                          "-0",
                                          "-0.0",
                                          "5.0",
                                          "1.50",
                                          "1e5",
                                          "1E-5",
                                          "2.5e+3",
                                          "9223372036854775807",
                                          "-9223372036854775808",
                                          "18446744073709551615",
                                          "18446744073709551616",
                                          "-9999999999999999999",
                                          "99999999999999999999",
                                          "123456789012345678",
                                          "1234567890123456789",
                                          "0.1000000000000000055511151231257827",
                                          "1e-400",
                                          "1e999",
                                          "01"});
        }
    }

    std::string string() {
        std::string text = "\"";
        const std::size_t pieces = below(4);
        for (std::size_t index = 0; index < pieces; ++index) {
            text += pick<std::string>({"plain",
                                       "\\\"",
                                       "\\\\",
                                       "\\/",
                                       "\\n",
                                       "\\t",
                                       "\\b",
                                       "\\f",
                                       "\\r",
                                       "\\u0001",
                                       "\\u001F",
                                       "\\u001f",
                                       "\\u000a",
                                       "\\u00e9",
                                       "\\u0041",
                                       "\u00e9",
                                       "\u4e2d",
                                       "\U0001F600",
                                       "\\ud83d\\ude00",
                                       " "});
        }
        return text + "\"";
    }

    std::string value(int depth) {
        switch (below(depth < 3 ? 8 : 6)) {
            case 0:
            case 1:
                return string();
            case 2:
            case 3:
                return number();
            case 4:
                return pick<std::string>({"true", "false", "null"});
            case 5:
                return chance(50) ? "[]" : "{}";
            case 6:
                return object(depth + 1);
            default: {
                std::string text = "[";
                const std::size_t count = below(4);
                for (std::size_t index = 0; index < count; ++index) {
                    text += (index > 0 ? "," : "") + value(depth + 1);
                }
                return text + "]";
            }
        }
    }

    std::string object(int depth) {
        std::string text = "{";
        const std::size_t count = below(6);
        for (std::size_t index = 0; index < count; ++index) {
            text += (index > 0 ? ",\"" : "\"") + key() + "\":" + value(depth);
        }
        return text + "}";
    }

    std::mt19937_64 random_;
    std::vector<std::string> every_ = test::everyRecordText();
};

std::shared_ptr<Report> readBack(const std::string& stored) {
    using namespace test::rows;
    return Report::fromRow({I(4), I(2), T(stored), T("ROW-UUID")});
}

// The body the report goes out in, alone and beside others, with its log form.
void expectTreeBytes(const std::vector<std::shared_ptr<Report>>& reports) {
    const Reports body{reports};
    const AnyEncodable encodable(body);
    EXPECT_EQ(encodable.toJSONData(), test::treeBody(body));
    EXPECT_EQ(encodable.toPrettyJson(), test::treeBodyPretty(body));
}

constexpr uint64_t kFirstSeed = 20261210;
constexpr int kRounds = 1500;

}  // namespace

TEST(ReportTextsAgainstTrees, RandomPackagesAreStoredAsTheirTreesWrite) {
    for (int round = 0; round < kRounds; ++round) {
        SCOPED_TRACE("seed " + std::to_string(kFirstSeed + round));
        RandomReports random(kFirstSeed + round);
        const auto packages = random.packages();
        const std::string tree = test::treePackagesText(packages);
        ASSERT_EQ(Report::packagesText(packages), tree);
        Report report(packages);
        ASSERT_EQ(report.keepPackagesText(), tree);
        ASSERT_EQ(report.packagesJson, tree);
    }
}

TEST(ReportTextsAgainstTrees, RandomReportsUploadWhatTheirTreesWrite) {
    for (int round = 0; round < kRounds; ++round) {
        SCOPED_TRACE("seed " + std::to_string(kFirstSeed + round));
        RandomReports random(kFirstSeed + round);
        // Never stored, as a flash event's report.
        const auto fresh = std::make_shared<Report>(random.packages());
        expectTreeBytes({fresh});
        // Stored: sent from the text its row was written with.
        const auto stored = std::make_shared<Report>(random.packages());
        const std::string text = stored->keepPackagesText();
        expectTreeBytes({stored});
        // Read back from that row, and from rows of other writers.
        const auto read = readBack(text);
        expectTreeBytes({read});
        const auto other = readBack(random.otherWriters(text));
        expectTreeBytes({other});
        expectTreeBytes({fresh, nullptr, stored, read, other});
        if (::testing::Test::HasFailure()) {
            return;
        }
    }
}

}  // namespace zqb

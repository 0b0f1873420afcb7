#include "host/Clock.hpp"
#include "model/RecordDescription.hpp"
#include "model/Storable.hpp"
#include "support/LogCapture.hpp"
#include "support/ScopedEnvironment.hpp"

#include <gtest/gtest.h>

#include <cmath>

using zqb::RecordDescription;
using zqb::Storable;
using Json = nlohmann::ordered_json;

namespace {

// A record of the common shape: common fields, one Double, one optional text, the experiment fields.
struct Probe final : Storable {
    explicit Probe(int64_t timestamp) : timestamp(timestamp) {}

    std::string code = "zz";
    int64_t timestamp;
    double price = 0.5;
    std::optional<std::string> note;
    std::optional<std::vector<std::string>> inProgress;
    std::optional<std::string> inExperiments;

    const std::string& eventCode() const override { return code; }
    void writeMembers(zqb::JsonWriter& out) const override {
        out.member("code", code);
        out.member("timestamp", timestamp);
        out.member("price", price);
        out.memberIfPresent("note", note);
        out.experimentFields(inProgress, inExperiments);
    }
    std::string description() const override {
        return RecordDescription()
            .text("code", code)
            .integer("timestamp", timestamp)
            .number("price", price)
            .optionalText("note", note)
            .experimentFields(inProgress, inExperiments)
            .str();
    }
};

}  // namespace

TEST(EventStorable, TimestampRoundsHalvesAwayFromZero) {
    zqb::test::ScopedEnvironment env;
    env.clock().setSecondsSince1970(0.0025);
    EXPECT_EQ(zqb::host::millisecondsSince1970(env.clock()), 3);
    env.clock().setSecondsSince1970(0.0035);
    EXPECT_EQ(zqb::host::millisecondsSince1970(env.clock()), 4);
    env.clock().setSecondsSince1970(0.0024);
    EXPECT_EQ(zqb::host::millisecondsSince1970(env.clock()), 2);
    env.clock().setSecondsSince1970(1700000000.1234);
    EXPECT_EQ(zqb::host::millisecondsSince1970(env.clock()), 1700000000123);
}

TEST(EventStorable, EncodesCompactInKeyOrderAndPrintsOneLinePerMember) {
    Probe probe(1700000000500);
    EXPECT_EQ(probe.getJson(), R"({"code":"zz","timestamp":1700000000500,"price":0.5})");
    EXPECT_EQ(probe.getJson(), probe.getJson());
    EXPECT_EQ(probe.description(), "\t code: zz\n\t timestamp: 1700000000500\n\t price: 0.5\n");

    probe.price = 5;
    probe.note = "a \"b\"";
    probe.inProgress = std::vector<std::string>{"Dungeon \"1\""};
    probe.inExperiments = "x";
    EXPECT_EQ(
        probe.getJson(),
        R"({"code":"zz","timestamp":1700000000500,"price":5.0,"note":"a \"b\"","inProgress":["Dungeon \"1\""],)"
        R"("inExperiments":"x"})");
    EXPECT_EQ(probe.description(),
              "\t code: zz\n\t timestamp: 1700000000500\n\t price: 5.0\n\t note: a \"b\"\n"
              "\t inProgress: [\"Dungeon \\\"1\\\"\"]\n\t inExperiments: x\n");

    // Any record goes through the generic helpers as well.
    EXPECT_EQ(zqb::toJSONData(probe).value_or(""), probe.getJson());
    EXPECT_NE(zqb::toPrettyJson(probe).find("\n  \"price\" : 5.0"), std::string::npos);
}

TEST(EventStorable, NonFiniteValueYieldsEmptyTextAndOneErrorLine) {
    zqb::test::LogCapture log;
    Probe probe(2000);
    probe.price = std::nan("");
    EXPECT_EQ(probe.getJson(), "");
    ASSERT_EQ(log.lines().size(), 1u);
    EXPECT_EQ(log.lines()[0].level, ZQBLogLevel::error);
    const std::string expectedStart =
        "ERROR When trying to get json string from \n\t[\t code: zz\n\t timestamp: 2000\n\t price: nan\n] "
        "\n\tobject an error has occurred: ";
    EXPECT_EQ(log.texts()[0].substr(0, expectedStart.size()), expectedStart);

    EXPECT_FALSE(zqb::toJSONData(probe).has_value());
    EXPECT_EQ(zqb::toPrettyJson(probe), "Error in getting prettyJson");
    EXPECT_EQ(log.lines().size(), 1u);  // the two helpers stay silent

    probe.price = -INFINITY;
    EXPECT_EQ(probe.getJson(), "");
    EXPECT_EQ(log.count("price: -inf"), 1u);
}

TEST(EventStorable, MapBlocksAndListsFollowTheLineForm) {
    const zqb::IntMap two{{"coins", 5}, {"gems", -2}};
    EXPECT_EQ(RecordDescription().mapBlock("balance", two, "resource", "amount").str(),
              "\t balance: \n\t\t resource: coins amount: 5\n\t\t resource: gems amount: -2\n");
    EXPECT_EQ(RecordDescription().mapBlock("balance", zqb::IntMap{}, "resource", "amount").str(), "");
    EXPECT_EQ(RecordDescription().mapBlock("balance", std::nullopt, "resource", "amount").str(), "");
    EXPECT_EQ(RecordDescription::listText({}), "[]");
    EXPECT_EQ(RecordDescription::listText({"a", "b"}), "[\"a\", \"b\"]");
    EXPECT_EQ(RecordDescription().boolean("on", false).optionalInteger("none", std::nullopt).str(),
              "\t on: false\n");
}

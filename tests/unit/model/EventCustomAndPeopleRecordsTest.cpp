#include "model/CustomEvent.hpp"
#include "model/PeopleEvent.hpp"
#include "support/LogCapture.hpp"
#include "support/ScopedEnvironment.hpp"

#include <gtest/gtest.h>

#include <cmath>

using namespace zqb;

namespace {

constexpr int64_t kNow = 1700000000000;
const std::string kHead = "\t code: %\n\t timestamp: 1700000000000\n\t sessionId: 7\n\t level: 2\n";

std::string head(const std::string& code) {
    std::string out = kHead;
    out.replace(out.find('%'), 1, code);
    return out;
}

}  // namespace

TEST(EventCustomAndPeopleRecords, CustomEventWritesParametersOnlyWhenThereAreSome) {
    test::ScopedEnvironment env(kNow);

    const std::string bare =
        R"({"code":"ce","timestamp":1700000000000,"sessionId":7,"level":2,"name":"boss"})";
    EXPECT_EQ(CustomEvent(kNow, 7, 2, "boss", std::nullopt).getJson(), bare);
    EXPECT_EQ(CustomEvent(kNow, 7, 2, "boss", AnyCodableMap{}).getJson(), bare);
    EXPECT_EQ(CustomEvent(kNow, 7, 2, "boss", AnyCodableMap{}).description(), head("ce") + "\t name: boss\n");

    const CustomEvent full(kNow, 7, 2, "boss",
                           AnyCodableMap{{"hits", 3}, {"weapon", "axe"}, {"ratio", 0.5}, {"won", true}},
                           std::vector<std::string>{"Cave"});
    EXPECT_EQ(full.getJson(),
              R"({"code":"ce","timestamp":1700000000000,"sessionId":7,"level":2,"name":"boss",)"
              R"("parameters":{"hits":3,"weapon":"axe","ratio":0.5,"won":true},"inProgress":["Cave"]})");
    EXPECT_EQ(full.description(),
              head("ce") +
                  "\t name: boss\n\t parameters: \n"
                  "\t\t parameter key: hits value: 3\n\t\t parameter key: weapon value: axe\n"
                  "\t\t parameter key: ratio value: 0.5\n\t\t parameter key: won value: true\n"
                  "\t inProgress: [\"Cave\"]\n");
}

TEST(EventCustomAndPeopleRecords, CustomEventWithAnUnwritableValueFailsWhole) {
    test::ScopedEnvironment env(kNow);
    test::LogCapture log;

    const CustomEvent opaque(kNow, 7, 2, "boss",
                             AnyCodableMap{{"ok", 1}, {"thing", AnyCodable::opaque(42, "Thing")}});
    EXPECT_EQ(opaque.getJson(), "");
    ASSERT_EQ(log.lines().size(), 1u);
    EXPECT_EQ(log.texts()[0], "ERROR When trying to get json string from \n\t[" + opaque.description() +
                                  "] \n\tobject an error has occurred: AnyCodable value cannot be encoded");

    const CustomEvent nan(kNow, 7, 2, "boss", AnyCodableMap{{"ratio", std::nan("")}});
    EXPECT_EQ(nan.getJson(), "");
    EXPECT_EQ(log.lines().size(), 2u);
    EXPECT_EQ(log.count("\t\t parameter key: ratio value: nan\n"), 1u);
}

TEST(EventCustomAndPeopleRecords, PeopleEventWritesNullsExplicitly) {
    test::ScopedEnvironment env(kNow);

    const PeopleEvent none(kNow, 7, 2, std::nullopt);
    EXPECT_EQ(none.getJson(),
              R"({"code":"pl","timestamp":1700000000000,"sessionId":7,"level":2,"parameters":null})");
    EXPECT_EQ(none.description(), head("pl"));

    const PeopleEvent card(kNow, 7, 2, PeopleValueMap{{"a", 1}, {"b", PeopleValueType::null()}},
                           std::vector<std::string>{"Cave"});
    EXPECT_EQ(card.getJson(), R"({"code":"pl","timestamp":1700000000000,"sessionId":7,"level":2,)"
                              R"("parameters":{"a":1,"b":null},"inProgress":["Cave"]})");
    EXPECT_EQ(card.description(), head("pl") +
                                      "\t parameters: \n\t\t parameter key: a value: 1\n"
                                      "\t\t parameter key: b value: <null>\n\t inProgress: [\"Cave\"]\n");

    const PeopleEvent kinds(kNow, 7, 2,
                            PeopleValueMap{{"age", 30},
                                           {"gender", ZQBGender::female},
                                           {"name", "Ann \"A\""},
                                           {"premium", false},
                                           {"score", 2.5},
                                           {"whole", 3.0}});
    EXPECT_EQ(kinds.getJson(),
              R"({"code":"pl","timestamp":1700000000000,"sessionId":7,"level":2,"parameters":)"
              R"({"age":30,"gender":2,"name":"Ann \"A\"","premium":false,"score":2.5,"whole":3}})");

    // A card whose text cannot be written is reported as an empty object, not lost, and nothing is logged.
    test::LogCapture log;
    const PeopleEvent broken(kNow, 7, 2, PeopleValueMap{{"a", 1}, {"bad", std::nan("")}});
    EXPECT_EQ(broken.getJson(),
              R"({"code":"pl","timestamp":1700000000000,"sessionId":7,"level":2,"parameters":{}})");
    EXPECT_TRUE(log.lines().empty());
}

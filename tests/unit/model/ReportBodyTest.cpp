#include "model/EventObject.hpp"
#include "model/JsonText.hpp"
#include "model/Package.hpp"
#include "model/Report.hpp"
#include "model/Reports.hpp"

#include "RecordRows.hpp"
#include "support/LogCapture.hpp"

#include <gtest/gtest.h>

#include <regex>

using namespace zqb::test::rows;
using zqb::EventObject;
using zqb::JsonText;
using zqb::Package;
using zqb::Report;
using zqb::SQLiteRow;
using Json = nlohmann::ordered_json;

namespace {

Package package(std::optional<std::vector<std::string>> events = std::nullopt) {
    Package result;
    result.language = "en";
    result.sdkVersion = "2.1.2";
    result.sdkCodeVersion = 10;
    result.events = std::move(events);
    return result;
}

std::string write(const Json& json) {
    return JsonText::write(json);
}

}  // namespace

// --- Stored event rows ----------------------------------------------------------------------------

TEST(EventObjectRow, ReadsAGoodRow) {
    const auto event = EventObject::fromRow({I(7), T("ce"), I(3), T(R"({"code":"ce"})")});
    ASSERT_NE(event, nullptr);
    EXPECT_EQ(event->idKey, 7);
    EXPECT_EQ(event->code(), "ce");
    EXPECT_EQ(event->userId, 3);
    EXPECT_EQ(event->json(), R"({"code":"ce"})");
    // An event whose encoding failed is stored with an empty text and still reads back.
    EXPECT_NE(EventObject::fromRow({I(8), T("ce"), I(3), T("")}), nullptr);
}

TEST(EventObjectRow, EveryColumnIsRequired) {
    const SQLiteRow good{I(7), T("ce"), I(3), T("{}")};
    for (std::size_t column = 0; column < good.size(); ++column) {
        for (const auto& wrong : {N, D(1.0), column == 1 || column == 3 ? I(1) : T("1")}) {
            SQLiteRow row = good;
            row[column] = wrong;
            EXPECT_EQ(EventObject::fromRow(row), nullptr) << "column " << column;
        }
    }
    EXPECT_EQ(EventObject::fromRow({I(7), T("ce"), I(3)}), nullptr);
}

TEST(EventObjectJson, WritesAndReadsItsFourKeys) {
    const auto event = EventObject::make("ss", -1, 4, R"({"code":"ss"})");
    EXPECT_EQ(write(Json(*event)), R"({"code":"ss","idKey":-1,"userId":4,"json":"{\"code\":\"ss\"}"})");
    const auto read = EventObject::fromJson(Json(*event));
    EXPECT_EQ(read->code(), "ss");
    EXPECT_EQ(read->idKey, -1);
    EXPECT_EQ(read->userId, 4);
    EXPECT_EQ(read->json(), event->json());
}

TEST(EventObjectJson, MissingOrMistypedKeysFail) {
    for (const char* text :
         {R"({"code":"ss","idKey":1,"userId":4})", R"({"code":1,"idKey":1,"userId":4,"json":""})",
          R"({"code":"ss","idKey":"1","userId":4,"json":""})",
          R"({"code":"ss","idKey":1,"userId":true,"json":""})", "[]"}) {
        EXPECT_THROW(EventObject::fromJson(Json::parse(text)), zqb::DecodingError) << text;
    }
}

// --- Packages -------------------------------------------------------------------------------------

TEST(PackageJson, WritesAllEightKeysInOrder) {
    EXPECT_EQ(write(Json(package())),
              R"({"language":"en","appVersion":null,"appBuildVersion":null,"sdkVersion":"2.1.2",)"
              R"("sdkCodeVersion":10,"bundle":null,"engine":"Unreal","events":[]})");
    Package full = package(std::vector<std::string>{});
    full.language.reset();
    full.appVersion = "1.0";
    full.appBuildVersion = "42";
    full.bundle = "org.example.game";
    EXPECT_EQ(write(Json(full)),
              R"({"language":null,"appVersion":"1.0","appBuildVersion":"42","sdkVersion":"2.1.2",)"
              R"("sdkCodeVersion":10,"bundle":"org.example.game","engine":"Unreal","events":[]})");
}

TEST(PackageJson, EventTextsBecomeObjects) {
    const std::string first =
        R"({"code":"ce","timestamp":1700000000000,"name":"jump","parameters":{"h":1.5}})";
    const std::string second = R"({"code":"lu","level":2.0,"balance":{"gold":5}})";
    const Json json = package(std::vector<std::string>{first, second});
    ASSERT_EQ(json["events"].size(), 2u);
    EXPECT_EQ(write(json["events"][0]), first);
    // Numbers pass through the dynamic value rules: a whole 2.0 is written as the integer it is.
    EXPECT_EQ(write(json["events"][1]), R"({"code":"lu","level":2,"balance":{"gold":5}})");
}

TEST(PackageJson, TextsThatHoldNoObjectAreEmptyObjects) {
    const Json json = package(std::vector<std::string>{"", "[1,2]", "not json", "5", R"({"ok":true})"});
    EXPECT_EQ(write(json["events"]), R"([{},{},{},{},{"ok":true}])");
}

TEST(PackageJson, ReadsBackWhatItWrote) {
    Package original =
        package(std::vector<std::string>{R"({"code":"ss","timestamp":5})", R"({"a":[1,"x"]})"});
    original.appVersion = "3.0";
    original.engine = "Other";
    const Package read = Json(original).get<Package>();
    EXPECT_EQ(read.language, "en");
    EXPECT_EQ(read.appVersion, "3.0");
    EXPECT_EQ(read.appBuildVersion, std::nullopt);
    EXPECT_EQ(read.sdkVersion, "2.1.2");
    EXPECT_EQ(read.sdkCodeVersion, 10);
    EXPECT_EQ(read.bundle, std::nullopt);
    EXPECT_EQ(read.engine, "Unreal");
    EXPECT_EQ(read.events, original.events);
}

TEST(PackageJson, ReadingRequiresTheFactKeys) {
    const Json good = Json::parse(
        R"({"language":null,"appVersion":null,"appBuildVersion":null,"sdkVersion":"1","sdkCodeVersion":10,"bundle":null})");
    EXPECT_NO_THROW(good.get<Package>());
    for (const char* key :
         {"language", "appVersion", "appBuildVersion", "sdkVersion", "sdkCodeVersion", "bundle"}) {
        Json missing = good;
        missing.erase(key);
        EXPECT_ANY_THROW(missing.get<Package>()) << key;
        Json mistyped = good;
        mistyped[key] = Json::array();
        EXPECT_ANY_THROW(mistyped.get<Package>()) << key;
    }
    Json nullVersion = good;
    nullVersion["sdkVersion"] = nullptr;
    EXPECT_ANY_THROW(nullVersion.get<Package>());
    Json fractional = good;
    fractional["sdkCodeVersion"] = 10.5;
    EXPECT_ANY_THROW(fractional.get<Package>());
}

TEST(PackageJson, UnreadableEventsGiveAnEmptyList) {
    const std::string facts =
        R"("language":null,"appVersion":null,"appBuildVersion":null,"sdkVersion":"1","sdkCodeVersion":10,"bundle":null)";
    for (const std::string events :
         {"", R"(,"events":5)", R"(,"events":[{"a":1},"text"])", R"(,"events":null)"}) {
        const auto read = Json::parse("{" + facts + events + "}").get<Package>();
        ASSERT_TRUE(read.events.has_value()) << events;
        EXPECT_TRUE(read.events->empty()) << events;
    }
}

// --- Reports --------------------------------------------------------------------------------------

TEST(ReportJson, WritesOnlyItsPackages) {
    Report report({package(), package(), package()});
    report.idKey = 3;
    report.userId = 2;
    report.appKey = "key";
    report.identifiers = zqb::Identifiers{"device"};
    const Json json = report;
    ASSERT_EQ(json.size(), 1u);
    ASSERT_TRUE(json.contains("packages"));
    EXPECT_EQ(json["packages"].size(), 3u);
}

TEST(ReportJson, BodyOfSeveralReports) {
    auto first =
        std::make_shared<Report>(std::vector<Package>{package(std::vector<std::string>{R"({"code":"ss"})"})});
    auto second = std::make_shared<Report>(std::vector<Package>{});
    const std::string packageText =
        R"({"language":"en","appVersion":null,"appBuildVersion":null,"sdkVersion":"2.1.2","sdkCodeVersion":10,)"
        R"("bundle":null,"engine":"Unreal","events":[{"code":"ss"}]})";
    EXPECT_EQ(write(Json(zqb::Reports{{first, second}})),
              R"({"reports":[{"packages":[)" + packageText + R"(]},{"packages":[]}]})");
    EXPECT_EQ(write(Json(zqb::Reports{})), R"({"reports":[]})");
}

TEST(ReportJson, NewReportsHaveTheirOwnUuid) {
    const Report first({});
    const Report second({});
    const std::regex uuid("[0-9A-F]{8}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{12}");
    EXPECT_TRUE(std::regex_match(first.uuid, uuid)) << first.uuid;
    EXPECT_NE(first.uuid, second.uuid);
    EXPECT_EQ(first.idKey, -1);
    EXPECT_EQ(first.userId, -1);
    EXPECT_FALSE(first.packagesJson.has_value());
}

TEST(ReportRow, ReadsStoredPackages) {
    const std::vector<Package> packages{package(std::vector<std::string>{R"({"code":"ss","timestamp":5})"}),
                                        package()};
    const std::string text = Report::packagesText(packages);
    const auto report = Report::fromRow({I(4), I(2), T(text), T("UUID-1")});
    ASSERT_NE(report, nullptr);
    EXPECT_EQ(report->idKey, 4);
    EXPECT_EQ(report->userId, 2);
    EXPECT_EQ(report->uuid, "UUID-1");
    EXPECT_EQ(report->packagesJson, text);
    ASSERT_EQ(report->packages.size(), 2u);
    EXPECT_EQ(report->packages[0].events, packages[0].events);
    EXPECT_FALSE(report->appKey.has_value());
    EXPECT_FALSE(report->identifiers.has_value());
    // Written again, the stored report sends what the new one would have sent.
    EXPECT_EQ(write(Json(*report)), write(Json(Report(packages))));
}

TEST(ReportRow, UnreadablePackagesGiveNone) {
    const std::string oneBad =
        R"([{"language":null,"appVersion":null,"appBuildVersion":null,"sdkVersion":"1","sdkCodeVersion":10,"bundle":null},)"
        R"({"language":null,"appVersion":null,"appBuildVersion":null,"sdkCodeVersion":10,"bundle":null}])";
    for (const auto& column : {T(oneBad), T("not json"), T("{}"), T(""), N, I(5)}) {
        const auto report = Report::fromRow({I(4), I(2), column, T("U")});
        ASSERT_NE(report, nullptr);
        EXPECT_TRUE(report->packages.empty());
    }
    EXPECT_EQ(Report::fromRow({I(4), I(2), N, T("U")})->packagesJson, std::nullopt);
}

TEST(ReportRow, RequiredColumns) {
    EXPECT_EQ(Report::fromRow({I(4), I(2), T("[]"), N}), nullptr);
    EXPECT_EQ(Report::fromRow({I(4), I(2), T("[]"), I(1)}), nullptr);
    EXPECT_EQ(Report::fromRow({N, I(2), T("[]"), T("U")}), nullptr);
    EXPECT_EQ(Report::fromRow({I(4), T("2"), T("[]"), T("U")}), nullptr);
    EXPECT_EQ(Report::fromRow({I(4), I(2), T("[]")}), nullptr);
}

TEST(ReportRow, PackagesTextOfNothingIsAnEmptyList) {
    EXPECT_EQ(Report::packagesText({}), "[]");
    Package invalid = package();
    invalid.bundle = std::string("bad \xFF utf-8");
    EXPECT_EQ(Report::packagesText({invalid}), "[]");
}

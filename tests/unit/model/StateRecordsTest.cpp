#include "model/DeviceIdentifiers.hpp"
#include "model/PeopleCard.hpp"
#include "model/Project.hpp"
#include "model/SdkTools.hpp"
#include "model/User.hpp"

#include "RecordRows.hpp"
#include "support/LogCapture.hpp"

#include <gtest/gtest.h>

using namespace zqb::test::rows;
using zqb::DeviceIdentifiers;
using zqb::PeopleCard;
using zqb::PeopleValueType;
using zqb::Project;
using zqb::SdkTools;
using zqb::SQLiteRow;
using zqb::User;

namespace {

// Every column but `column` of a good row, with `column` replaced.
SQLiteRow withColumn(SQLiteRow row, std::size_t column, zqb::OptionalSQLiteValue value) {
    row[column] = std::move(value);
    return row;
}

}  // namespace

// --- Projects -------------------------------------------------------------------------------------

TEST(ProjectRecord, NewProjectDefaults) {
    const Project project("app-key");
    EXPECT_EQ(project.idKey, -1);
    EXPECT_EQ(project.applicationKey, "app-key");
    EXPECT_FALSE(project.activeUserId.has_value());
    EXPECT_TRUE(project.trackingAvailable);
    EXPECT_FALSE(project.isReferralSent);
    EXPECT_FALSE(project.configurationJson.has_value());
    EXPECT_FALSE(project.savedTime.has_value());
    EXPECT_FALSE(project.categoriesVersion.has_value());
    EXPECT_FALSE(project.isMigrated);
}

TEST(ProjectRow, ReadsEveryColumnByPosition) {
    const auto project = Project::fromRow({I(1), T("key"), I(5), I(1), T("org.example"), T("1.2"), T("34"),
                                           T(R"({"timeForRequest":1})"), I(2), I(1700), I(9), I(1)});
    ASSERT_NE(project, nullptr);
    EXPECT_EQ(project->idKey, 1);
    EXPECT_EQ(project->applicationKey, "key");
    EXPECT_EQ(project->activeUserId, 5);
    EXPECT_TRUE(project->trackingAvailable);
    EXPECT_EQ(project->applicationBundle, "org.example");
    EXPECT_EQ(project->applicationVersion, "1.2");
    EXPECT_EQ(project->applicationBuildVersion, "34");
    EXPECT_EQ(project->configurationJson, R"({"timeForRequest":1})");
    EXPECT_TRUE(project->isReferralSent);
    EXPECT_EQ(project->savedTime, 1700);
    EXPECT_EQ(project->categoriesVersion, 9);
    EXPECT_TRUE(project->isMigrated);
}

TEST(ProjectRow, NullsAndOtherTypesReadAsAbsentOrFalse) {
    const auto project =
        Project::fromRow({I(1), T("key"), T("5"), N, I(3), D(1.0), N, I(7), I(0), T("1700"), N, I(-1)});
    ASSERT_NE(project, nullptr);
    EXPECT_FALSE(project->activeUserId.has_value());
    EXPECT_FALSE(project->trackingAvailable);
    EXPECT_FALSE(project->applicationBundle.has_value());
    EXPECT_FALSE(project->applicationVersion.has_value());
    EXPECT_FALSE(project->applicationBuildVersion.has_value());
    EXPECT_FALSE(project->configurationJson.has_value());
    EXPECT_FALSE(project->isReferralSent);
    EXPECT_FALSE(project->savedTime.has_value());
    EXPECT_FALSE(project->categoriesVersion.has_value());
    EXPECT_FALSE(project->isMigrated);
}

TEST(ProjectRow, RequiredColumns) {
    const SQLiteRow good{I(1), T("key"), N, N, N, N, N, T("{}"), N, N, N, I(0)};
    ASSERT_NE(Project::fromRow(good), nullptr);
    EXPECT_EQ(Project::fromRow(withColumn(good, 0, N)), nullptr);
    EXPECT_EQ(Project::fromRow(withColumn(good, 0, T("1"))), nullptr);
    EXPECT_EQ(Project::fromRow(withColumn(good, 1, N)), nullptr);
    EXPECT_EQ(Project::fromRow(withColumn(good, 1, I(1))), nullptr);
}

// --- Users ----------------------------------------------------------------------------------------

TEST(UserRecord, NewUserDefaults) {
    const User user(3, std::string("player"), false);
    EXPECT_EQ(user.idKey, -1);
    EXPECT_EQ(user.projectId, 3);
    EXPECT_EQ(user.userId, "player");
    EXPECT_EQ(user.level, 1);
    EXPECT_FALSE(user.sessionId.has_value());
    EXPECT_FALSE(user.previousUserId.has_value());
    EXPECT_FALSE(user.lastForegroundTime.has_value());
    EXPECT_FALSE(user.lastBackgroundTime.has_value());
    EXPECT_FALSE(user.isDefaultUser);
    EXPECT_TRUE(user.isResourceAggregationEnable);
    EXPECT_FALSE(user.balanceIsSent);
    EXPECT_TRUE(User(3, std::nullopt, true).isDefaultUser);
}

TEST(UserRow, ReadsEveryColumnByPosition) {
    const auto user =
        User::fromRow({I(2), I(1), I(12), I(1000), T("u"), T("old"), I(2000), I(3000), I(1), I(1)});
    ASSERT_NE(user, nullptr);
    EXPECT_EQ(user->idKey, 2);
    EXPECT_EQ(user->projectId, 1);
    EXPECT_EQ(user->level, 12);
    EXPECT_EQ(user->sessionId, 1000);
    EXPECT_EQ(user->userId, "u");
    EXPECT_EQ(user->previousUserId, "old");
    EXPECT_EQ(user->lastForegroundTime, 2000);
    EXPECT_EQ(user->lastBackgroundTime, 3000);
    EXPECT_TRUE(user->isDefaultUser);
    EXPECT_TRUE(user->isResourceAggregationEnable);
    EXPECT_FALSE(user->balanceIsSent);
}

TEST(UserRow, NullsReadAsAbsentAndFlagsAsFalse) {
    const auto user = User::fromRow({I(2), I(1), I(12), N, N, I(5), T("2000"), D(3.0), N, N});
    ASSERT_NE(user, nullptr);
    EXPECT_FALSE(user->sessionId.has_value());
    EXPECT_FALSE(user->userId.has_value());
    EXPECT_FALSE(user->previousUserId.has_value());
    EXPECT_FALSE(user->lastForegroundTime.has_value());
    EXPECT_FALSE(user->lastBackgroundTime.has_value());
    EXPECT_FALSE(user->isDefaultUser);
    // A new user aggregates resources, but a stored NULL reads as off.
    EXPECT_FALSE(user->isResourceAggregationEnable);
}

TEST(UserRow, RequiredColumns) {
    const SQLiteRow good{I(2), I(1), I(12), N, N, N, N, N, I(0), I(1)};
    ASSERT_NE(User::fromRow(good), nullptr);
    for (std::size_t column : {0u, 1u, 2u}) {
        EXPECT_EQ(User::fromRow(withColumn(good, column, N)), nullptr) << column;
        EXPECT_EQ(User::fromRow(withColumn(good, column, T("1"))), nullptr) << column;
        EXPECT_EQ(User::fromRow(withColumn(good, column, D(1.0))), nullptr) << column;
    }
}

// --- Device identifiers ---------------------------------------------------------------------------

TEST(DeviceIdentifiersRecord, NewIdentifiersHaveNoGatewayNumbers) {
    const DeviceIdentifiers identifiers(1, "device", "UUID", std::string("previous"), 99);
    EXPECT_EQ(identifiers.idKey, -1);
    EXPECT_EQ(identifiers.projectId, 1);
    EXPECT_EQ(identifiers.deviceIdentifier, "device");
    EXPECT_EQ(identifiers.uuid, "UUID");
    EXPECT_EQ(identifiers.previousDeviceIdentifier, "previous");
    EXPECT_EQ(identifiers.vorantelIdTimestamp, 99);
    EXPECT_FALSE(identifiers.vorantelId.has_value());
    EXPECT_FALSE(identifiers.crossPlatformVorantelId.has_value());
}

TEST(DeviceIdentifiersRow, UuidPrecedesTheTimestampColumn) {
    const auto identifiers =
        DeviceIdentifiers::fromRow({I(3), I(1), T("dev"), T("prev"), I(11), I(12), T("U"), I(13)});
    ASSERT_NE(identifiers, nullptr);
    EXPECT_EQ(identifiers->idKey, 3);
    EXPECT_EQ(identifiers->projectId, 1);
    EXPECT_EQ(identifiers->deviceIdentifier, "dev");
    EXPECT_EQ(identifiers->previousDeviceIdentifier, "prev");
    EXPECT_EQ(identifiers->vorantelId, 11);
    EXPECT_EQ(identifiers->crossPlatformVorantelId, 12);
    EXPECT_EQ(identifiers->uuid, "U");
    EXPECT_EQ(identifiers->vorantelIdTimestamp, 13);
}

TEST(DeviceIdentifiersRow, OptionalAndRequiredColumns) {
    const SQLiteRow good{I(3), I(1), T("dev"), N, N, N, T("U"), N};
    const auto sparse = DeviceIdentifiers::fromRow(good);
    ASSERT_NE(sparse, nullptr);
    EXPECT_FALSE(sparse->previousDeviceIdentifier.has_value());
    EXPECT_FALSE(sparse->vorantelId.has_value());
    EXPECT_FALSE(sparse->vorantelIdTimestamp.has_value());
    // A row of a file from before the timestamp column existed.
    EXPECT_NE(DeviceIdentifiers::fromRow({I(3), I(1), T("dev"), N, N, N, T("U")}), nullptr);
    EXPECT_FALSE(DeviceIdentifiers::fromRow(withColumn(good, 4, T("11")))->vorantelId.has_value());
    for (std::size_t column : {0u, 1u, 2u, 6u}) {
        EXPECT_EQ(DeviceIdentifiers::fromRow(withColumn(good, column, N)), nullptr) << column;
    }
    EXPECT_EQ(DeviceIdentifiers::fromRow(withColumn(good, 6, I(1))), nullptr);
}

// --- SDK tools ------------------------------------------------------------------------------------

TEST(SdkToolsRecord, MetadataByKey) {
    SdkTools tools(zqb::PeopleValueMap{{"sdkVersion", "2.1.2"}});
    EXPECT_EQ(tools.idKey, -1);
    EXPECT_EQ(tools.getMetadataByKey("sdkVersion")->toString(), "2.1.2");
    EXPECT_FALSE(tools.getMetadataByKey("missing").has_value());
    tools.setMetadataByKey("sdkVersion", "2.2.0");
    tools.setMetadataByKey("launches", 3);
    EXPECT_EQ(tools.metadata(), R"({"launches":3,"sdkVersion":"2.2.0"})");
    tools.removeMetadataByKey("launches");
    tools.removeMetadataByKey("missing");
    EXPECT_EQ(tools.metadata(), R"({"sdkVersion":"2.2.0"})");
    EXPECT_EQ(SdkTools().metadata(), "{}");
}

TEST(SdkToolsRow, NumbersStayNumbers) {
    // Stored 0 and 1 were read back as booleans once; they are the numbers they were written as.
    const auto tools =
        SdkTools::fromRow({I(1), T(R"({"sdkVersion":"2.1.2","zero":0,"one":1,"flag":true,"x":0.5})")});
    ASSERT_NE(tools, nullptr);
    EXPECT_EQ(tools->idKey, 1);
    EXPECT_EQ(tools->properties.size(), 5u);
    EXPECT_EQ(tools->getMetadataByKey("zero")->intValue(), 0);
    EXPECT_EQ(tools->getMetadataByKey("one")->intValue(), 1);
    EXPECT_EQ(tools->getMetadataByKey("flag")->boolValue(), true);
    EXPECT_EQ(tools->getMetadataByKey("x")->doubleValue(), 0.5);
}

TEST(SdkToolsRow, MetadataThatIsNoObject) {
    zqb::test::LogCapture log;
    for (const char* text : {"[]", "", R"({"list":[1],"object":{}})"}) {
        const auto tools = SdkTools::fromRow({I(1), T(text)});
        ASSERT_NE(tools, nullptr) << text;
        EXPECT_TRUE(tools->properties.empty()) << text;
    }
    EXPECT_TRUE(log.lines().empty());
    const auto broken = SdkTools::fromRow({I(1), T("Not a valid JSON")});
    ASSERT_NE(broken, nullptr);
    EXPECT_TRUE(broken->properties.empty());
    EXPECT_EQ(log.count("ERROR When trying to convert String to Dictionary, an error has occurred: "), 1u);
}

TEST(SdkToolsRow, RequiredColumns) {
    EXPECT_EQ(SdkTools::fromRow({I(1), N}), nullptr);
    EXPECT_EQ(SdkTools::fromRow({I(1), I(0)}), nullptr);
    EXPECT_EQ(SdkTools::fromRow({N, T("{}")}), nullptr);
}

// --- User cards -----------------------------------------------------------------------------------

TEST(PeopleCardRecord, NewCardIsEmpty) {
    const PeopleCard card(4);
    EXPECT_EQ(card.idKey, -1);
    EXPECT_EQ(card.userId, 4);
    EXPECT_EQ(card.json, "");
    EXPECT_TRUE(card.properties.empty());
    EXPECT_TRUE(card.changedKeys.empty());
    EXPECT_FALSE(card.updated);
    EXPECT_FALSE(card.cleared);
}

TEST(PeopleCardRow, ReadsPropertiesAndMarks) {
    const std::string json =
        R"({"age":1,"gender":0,"vip":true,"name":"Ann","score":2.5,"gone":null,"tags":["a"]})";
    const auto card = PeopleCard::fromRow({I(5), I(4), T(json), I(2), I(0), T("age,name")});
    ASSERT_NE(card, nullptr);
    EXPECT_EQ(card->idKey, 5);
    EXPECT_EQ(card->userId, 4);
    EXPECT_EQ(card->json, json);
    EXPECT_TRUE(card->updated);
    EXPECT_FALSE(card->cleared);
    EXPECT_EQ(card->changedKeys, (std::vector<std::string>{"age", "name"}));
    ASSERT_EQ(card->properties.size(), 6u);
    // An age of 1 and a gender raw value of 0 stay numbers after a reload.
    EXPECT_TRUE(card->properties.at("age").isEqual(PeopleValueType(1)));
    EXPECT_TRUE(card->properties.at("gender").isEqual(PeopleValueType(0)));
    EXPECT_TRUE(card->properties.at("vip").isEqual(PeopleValueType(true)));
    EXPECT_TRUE(card->properties.at("name").isEqual(PeopleValueType("Ann")));
    EXPECT_TRUE(card->properties.at("score").isEqual(PeopleValueType(2.5)));
    EXPECT_TRUE(card->properties.at("gone").isNull());
    EXPECT_FALSE(card->properties.contains("tags"));
}

TEST(PeopleCardRow, ChangedKeysReadTheTextsOfEarlierVersionsAndKeepKeysHoldingCommas) {
    using Keys = std::vector<std::string>;
    const SQLiteRow good{I(5), I(4), T("{}"), N, N, N};
    EXPECT_TRUE(PeopleCard::fromRow(good)->changedKeys.empty());
    EXPECT_TRUE(PeopleCard::fromRow(withColumn(good, 5, I(1)))->changedKeys.empty());
    // Texts joined by "," split at every comma, also those that open like JSON without being an array of
    // texts.
    EXPECT_EQ(PeopleCard::fromRow(withColumn(good, 5, T("")))->changedKeys, (Keys{""}));
    EXPECT_EQ(PeopleCard::fromRow(withColumn(good, 5, T("a,,b,")))->changedKeys, (Keys{"a", "", "b", ""}));
    EXPECT_EQ(PeopleCard::changedKeysFromText("[vip],x"), (Keys{"[vip]", "x"}));
    EXPECT_EQ(PeopleCard::changedKeysFromText("[1,2]"), (Keys{"[1", "2]"}));
    EXPECT_EQ(PeopleCard::changedKeysFromText("[\"a\""), (Keys{"[\"a\""}));

    // Lists that joining keeps apart are written joined, as earlier versions read them.
    EXPECT_EQ(PeopleCard::changedKeysText({"name", "age"}), "name,age");
    EXPECT_EQ(PeopleCard::changedKeysText({}), "");
    EXPECT_EQ(PeopleCard::changedKeysText({"a,b", "c"}), R"(["a,b","c"])");
    for (const Keys& keys : {Keys{"name", "age"}, Keys{"a,b", "c"}, Keys{","}, Keys{"[vip]"}, Keys{"[\"x\"]"},
                             Keys{"x", "[\"y\"]"}, Keys{"", "a"}}) {
        EXPECT_EQ(PeopleCard::changedKeysFromText(PeopleCard::changedKeysText(keys)), keys);
    }
}

TEST(PeopleCardRow, FlagsAndRequiredColumns) {
    const SQLiteRow good{I(5), I(4), T(""), I(0), I(3), T("a")};
    const auto card = PeopleCard::fromRow(good);
    ASSERT_NE(card, nullptr);
    EXPECT_FALSE(card->updated);
    EXPECT_TRUE(card->cleared);
    EXPECT_TRUE(card->properties.empty());
    EXPECT_FALSE(PeopleCard::fromRow(withColumn(good, 4, T("1")))->cleared);
    EXPECT_EQ(PeopleCard::fromRow(withColumn(good, 2, N)), nullptr);
    EXPECT_EQ(PeopleCard::fromRow(withColumn(good, 0, T("5"))), nullptr);
    EXPECT_EQ(PeopleCard::fromRow(withColumn(good, 1, N)), nullptr);
}

TEST(PeopleCardRow, UnreadableJsonKeepsTheRow) {
    zqb::test::LogCapture log;
    const auto arrayCard = PeopleCard::fromRow({I(5), I(4), T("[1]"), N, N, N});
    ASSERT_NE(arrayCard, nullptr);
    EXPECT_TRUE(arrayCard->properties.empty());
    EXPECT_TRUE(log.lines().empty());
    const auto brokenCard = PeopleCard::fromRow({I(5), I(4), T("{broken"), N, N, N});
    ASSERT_NE(brokenCard, nullptr);
    EXPECT_TRUE(brokenCard->properties.empty());
    EXPECT_EQ(brokenCard->json, "{broken");
    EXPECT_EQ(log.count("When trying to convert String to Dictionary, an error has occurred: "), 1u);
}

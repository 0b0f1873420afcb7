// The row readers against the real schema: rows written by column name, as the repositories write them, must
// read back through the readers' column positions.
#include "database/SQLiteProvider.hpp"
#include "model/CurrencyAccrualResource.hpp"
#include "model/DeviceIdentifiers.hpp"
#include "model/EventObject.hpp"
#include "model/LevelResource.hpp"
#include "model/PeopleCard.hpp"
#include "model/Project.hpp"
#include "model/RealPaymentMark.hpp"
#include "model/Report.hpp"
#include "model/SdkTools.hpp"
#include "model/TutorialMark.hpp"
#include "model/User.hpp"

#include "RecordRows.hpp"
#include "support/ScopedEnvironment.hpp"
#include "support/SharedDatabase.hpp"

#include <gtest/gtest.h>

using namespace zqb;
using zqb::test::rows::I;
using zqb::test::rows::T;

namespace {

class StoredRowsInSchema : public ::testing::Test {
protected:
    test::ScopedEnvironment environment_;
    SQLiteProvider database_ = test::openDatabase();
};

}  // namespace

TEST_F(StoredRowsInSchema, StateRecords) {
    database_.insert("projects", {{"applicationKey", T("key")},
                                  {"activeUserId", I(2)},
                                  {"trackingAvailable", I(1)},
                                  {"applicationBundle", T("org.example")},
                                  {"applicationVersion", T("1.0")},
                                  {"applicationBuildVersion", T("7")},
                                  {"configuration", T(R"({"countForRequest":3})")},
                                  {"isReferralSent", I(1)},
                                  {"savedTime", I(11)},
                                  {"categoriesVersion", I(12)},
                                  {"isMigrated", I(1)}});
    const auto projects = database_.query<Project>("projects");
    ASSERT_EQ(projects.size(), 1u);
    EXPECT_EQ(projects[0]->applicationKey, "key");
    EXPECT_EQ(projects[0]->activeUserId, 2);
    EXPECT_EQ(projects[0]->applicationBuildVersion, "7");
    EXPECT_EQ(projects[0]->configurationJson, R"({"countForRequest":3})");
    EXPECT_EQ(projects[0]->categoriesVersion, 12);
    EXPECT_TRUE(projects[0]->isMigrated);

    database_.insert("users", {{"projectId", I(1)},
                               {"level", I(4)},
                               {"sessionId", I(100)},
                               {"userId", T("u")},
                               {"previousUserId", T("p")},
                               {"lastForegroundTime", I(200)},
                               {"lastBackgroundTime", I(300)},
                               {"isDefaultUser", I(0)},
                               {"isResourceAggregationEnable", I(1)}});
    database_.insert("users", {{"projectId", I(1)}, {"userId", T("defaults")}});
    const auto users = database_.query<User>("users");
    ASSERT_EQ(users.size(), 2u);
    EXPECT_EQ(users[0]->level, 4);
    EXPECT_EQ(users[0]->previousUserId, "p");
    EXPECT_EQ(users[0]->lastBackgroundTime, 300);
    EXPECT_TRUE(users[0]->isResourceAggregationEnable);
    EXPECT_EQ(users[1]->level, 1);
    EXPECT_FALSE(users[1]->isResourceAggregationEnable);

    database_.insert("deviceIdentifiers", {{"projectId", I(1)},
                                           {"deviceIdentifier", T("device")},
                                           {"vorantelId", I(77)},
                                           {"uuid", T("UUID")},
                                           {"vorantelIdTimestamp", I(88)}});
    database_.insert("deviceIdentifiers", {{"projectId", I(1)}, {"deviceIdentifier", T("no uuid")}});
    const auto identifiers = database_.query<DeviceIdentifiers>("deviceIdentifiers");
    ASSERT_EQ(identifiers.size(), 1u);
    EXPECT_EQ(identifiers[0]->uuid, "UUID");
    EXPECT_EQ(identifiers[0]->vorantelId, 77);
    EXPECT_EQ(identifiers[0]->vorantelIdTimestamp, 88);

    database_.insert("sdkTools",
                     {{"metadata", T(SdkTools(PeopleValueMap{{"sdkVersion", "2.1.2"}}).metadata())}});
    database_.insert("sdkTools", {{"id", I(9)}});  // the column default "[]"
    const auto tools = database_.query<SdkTools>("sdkTools");
    ASSERT_EQ(tools.size(), 2u);
    EXPECT_EQ(tools[0]->getMetadataByKey("sdkVersion")->toString(), "2.1.2");
    EXPECT_TRUE(tools[1]->properties.empty());

    database_.insert("peopleCards", {{"userId", I(1)},
                                     {"json", T(R"({"age":1})")},
                                     {"updated", I(1)},
                                     {"cleared", I(0)},
                                     {"changedKeys", T("age")}});
    const auto cards = database_.query<PeopleCard>("peopleCards");
    ASSERT_EQ(cards.size(), 1u);
    EXPECT_EQ(cards[0]->properties.at("age").intValue(), 1);
    EXPECT_TRUE(cards[0]->updated);
    EXPECT_EQ(cards[0]->changedKeys, std::vector<std::string>{"age"});
}

TEST_F(StoredRowsInSchema, EventsAndReports) {
    database_.insert("events", {{"code", T("ss")}, {"userId", I(1)}, {"eventJson", T(R"({"code":"ss"})")}});
    database_.insert("events", {{"code", T("ss")}, {"userId", I(1)}});
    const auto events = database_.query<EventObject>("events");
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0]->idKey, 1);
    EXPECT_EQ(events[0]->json(), R"({"code":"ss"})");

    Package package;
    package.sdkVersion = "2.1.2";
    package.sdkCodeVersion = 10;
    package.events = std::vector<std::string>{events[0]->json()};
    database_.insert(
        "reports",
        {{"userId", I(1)}, {"packagesJson", T(Report::packagesText({package}))}, {"uuid", T("U")}});
    const auto reports = database_.query<Report>("reports");
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_EQ(reports[0]->uuid, "U");
    ASSERT_EQ(reports[0]->packages.size(), 1u);
    EXPECT_EQ(reports[0]->packages[0].events, package.events);
}

TEST_F(StoredRowsInSchema, ResourcesAndMarks) {
    database_.insert("levelResource",
                     {{"userId", I(1)}, {"type", I(2)}, {"name", T("gold")}, {"amount", I(5)}});
    const auto levelResources = database_.query<LevelResource>("levelResource");
    ASSERT_EQ(levelResources.size(), 1u);
    EXPECT_EQ(levelResources[0].type, LevelResourceType::spent);
    EXPECT_EQ(levelResources[0].amount, 5);

    database_.insert("currencyAccrualResources", {{"userId", I(1)},
                                                  {"type", I(1)},
                                                  {"name", T("gems")},
                                                  {"amount", I(3)},
                                                  {"source", T("shop")},
                                                  {"timestamp", I(99)}});
    database_.insert(
        "currencyAccrualResources",
        {{"userId", I(1)}, {"type", I(0)}, {"name", T("gems")}, {"amount", I(3)}, {"timestamp", I(9)}});
    const auto accruals = database_.query<CurrencyAccrualResource>("currencyAccrualResources");
    ASSERT_EQ(accruals.size(), 1u);
    EXPECT_EQ(accruals[0].source, "shop");
    EXPECT_EQ(accruals[0].timestamp, 99);
    EXPECT_EQ(accruals[0].type, ZQBAccrualType::bought);

    database_.insert("tutorialMarkEntry", {{"userId", I(1)}, {"step", I(3)}});
    database_.insert("realPaymentMarks", {{"projectId", I(1)}, {"orderId", T("order")}});
    database_.insert("realPaymentMarks", {{"orderId", T("no project")}});
    const auto tutorial = database_.query<TutorialMark>("tutorialMarkEntry");
    ASSERT_EQ(tutorial.size(), 1u);
    EXPECT_EQ(tutorial[0].step, 3);
    const auto payments = database_.query<RealPaymentMark>("realPaymentMarks");
    ASSERT_EQ(payments.size(), 1u);
    EXPECT_EQ(payments[0].orderId, "order");
}

#include "database/Connection.hpp"
#include "host/Environment.hpp"
#include "services/ProjectService.hpp"
#include "support/LogCapture.hpp"
#include "support/ServiceTestBed.hpp"
#include "support/SharedDatabase.hpp"
#include "validation/Validator.hpp"

#include <gtest/gtest.h>

namespace zqb {
namespace {

class ProjectServiceTest : public ::testing::Test {
protected:
    void TearDown() override { Validator::setExcludedOptions(std::nullopt); }

    std::vector<std::shared_ptr<Project>> storedProjects() {
        return ProjectRepository(bed.observer(), zqb::host::Environment::shared().clock()).list();
    }
    std::shared_ptr<Project> storedActive() {
        for (const auto& project : storedProjects()) {
            if (project->idKey == bed.project()->idKey) {
                return project;
            }
        }
        return nullptr;
    }
    Config storedConfig() {
        return ProjectConfiguration(zqb::host::Environment::shared().clock()).of(*storedActive());
    }

    static ExcludeEvents exclusion(int64_t version, const std::string& code, AnyCodableList values) {
        ExcludeEvents exclude;
        exclude.version = version;
        exclude.events = std::map<std::string, AnyCodableList>{{code, std::move(values)}};
        return exclude;
    }

    test::ServiceTestBed bed;
    ProjectService service{bed.state, bed.projectRepository, bed.realPaymentRepository,
                           zqb::host::Environment::shared().clock()};
};

TEST_F(ProjectServiceTest, TrackingFlagIsWrittenIntoEveryProjectWithOneLogLine) {
    auto other = std::make_shared<Project>("other-key");
    bed.projectRepository->insert(other);
    test::LogCapture logs;

    service.setTrackingAvailable(false);
    EXPECT_FALSE(service.getTrackingAvailable());
    EXPECT_FALSE(other->trackingAvailable);
    const auto projects = storedProjects();
    ASSERT_EQ(projects.size(), 2u);
    for (const auto& project : projects) {
        EXPECT_FALSE(project->trackingAvailable) << project->applicationKey;
    }
    EXPECT_EQ(logs.texts(), std::vector<std::string>{"INFO Tracking status is Disable"});

    service.setTrackingAvailable(true);
    EXPECT_TRUE(storedActive()->trackingAvailable);
    EXPECT_TRUE(logs.contains("INFO Tracking status is Enable"));

    // A flag the file refuses is not kept in memory either.
    Connection((*zqb::test::databaseFolder() / SQLiteProvider::fileName).string())
        .execute("CREATE TRIGGER refuse BEFORE UPDATE ON projects BEGIN SELECT RAISE(ABORT, 'refused'); END");
    service.setTrackingAvailable(false);
    EXPECT_TRUE(service.getTrackingAvailable());
    EXPECT_TRUE(other->trackingAvailable);
}

TEST_F(ProjectServiceTest, ReferralMarkIsWrittenOnlyWhileTrackingIsOn) {
    EXPECT_FALSE(service.isRefererSent());
    service.setIsRefererSent(true);
    EXPECT_TRUE(service.isRefererSent());
    EXPECT_TRUE(storedActive()->isReferralSent);

    service.setTrackingAvailable(false);
    test::LogCapture logs;
    service.setIsRefererSent(false);
    EXPECT_TRUE(service.isRefererSent());
    EXPECT_TRUE(storedActive()->isReferralSent);
    EXPECT_TRUE(logs.texts().empty());
}

TEST_F(ProjectServiceTest, OrderIdsAreMarkedPerProject) {
    EXPECT_FALSE(service.isCurrencyPaymentMarked("order-1"));
    service.markCurrencyPayment("order-1");
    EXPECT_TRUE(service.isCurrencyPaymentMarked("order-1"));
    EXPECT_FALSE(service.isCurrencyPaymentMarked("order-2"));

    const auto marks = RealPaymentRepository(bed.observer()).list();
    ASSERT_EQ(marks.size(), 1u);
    EXPECT_EQ(marks[0].projectId, bed.project()->idKey);
    EXPECT_EQ(marks[0].orderId, "order-1");

    // The same order id of another project does not count for this one.
    RealPaymentMark foreign;
    foreign.projectId = bed.project()->idKey + 100;
    foreign.orderId = "order-9";
    bed.realPaymentRepository->insert(foreign);
    EXPECT_FALSE(service.isCurrencyPaymentMarked("order-9"));
}

TEST_F(ProjectServiceTest, ConfigurationReadersFollowTheStoredConfiguration) {
    EXPECT_EQ(service.paramsCount(),
              Config::defaulConfiguration(*zqb::host::Environment::shared().clock()).eventParamsCount);
    EXPECT_TRUE(service.userCounting());
    Config config;
    config.eventParamsCount = 7;
    config.userCounting = false;
    service.applyConfig(config);
    EXPECT_EQ(service.paramsCount(), 7);
    EXPECT_FALSE(service.userCounting());

    // A text that is not a configuration stands for the default, without a word.
    test::LogCapture log;
    bed.project()->configurationJson = R"({"eventParamsCount":"seven"})";
    EXPECT_EQ(service.paramsCount(),
              Config::defaulConfiguration(*zqb::host::Environment::shared().clock()).eventParamsCount);
    EXPECT_TRUE(service.userCounting());
    EXPECT_TRUE(log.lines().empty());
}

TEST_F(ProjectServiceTest, AppliedConfigurationIsStoredLoggedAndItsExclusionsHandedOn) {
    Config received;
    received.countForRequest = 25;
    received.timeForRequest = 30000;
    received.exclude = exclusion(3, "ce", {AnyCodable(std::string("boss"))});
    test::LogCapture logs;

    service.applyConfig(received);

    EXPECT_EQ(storedConfig(), received);
    EXPECT_EQ(logs.texts(),
              std::vector<std::string>{"DEBUG The SDK analytics configuration has been received:\n " +
                                       toPrettyJson(received)});
    const auto options = Validator::excludedOptions();
    ASSERT_TRUE(options.has_value());
    ASSERT_EQ(options->count("ce"), 1u);
    EXPECT_EQ(options->at("ce"), AnyCodableList{AnyCodable(std::string("boss"))});
}

TEST_F(ProjectServiceTest, ExclusionBlockOfTheSameVersionStays) {
    Config first;
    first.exclude = exclusion(3, "ce", {AnyCodable(std::string("boss"))});
    service.applyConfig(first);

    Config second;
    second.countForRequest = 4;
    second.exclude = exclusion(3, "lu", {});
    service.applyConfig(second);

    EXPECT_EQ(storedConfig().exclude, first.exclude);
    EXPECT_EQ(storedConfig().countForRequest, 4);
    EXPECT_EQ(Validator::excludedOptions()->count("ce"), 1u);
    EXPECT_EQ(Validator::excludedOptions()->count("lu"), 0u);

    Config third;
    third.exclude = exclusion(4, "lu", {});
    service.applyConfig(third);
    EXPECT_EQ(storedConfig().exclude, third.exclude);
    EXPECT_EQ(Validator::excludedOptions()->count("lu"), 1u);
}

TEST_F(ProjectServiceTest, ConfigurationWithoutExclusionBlockRemovesTheStoredOne) {
    Config first;
    first.exclude = exclusion(3, "ce", {});
    service.applyConfig(first);
    ASSERT_TRUE(Validator::excludedOptions().has_value());

    service.applyConfig(Config{});
    EXPECT_EQ(storedConfig().exclude, std::nullopt);
    EXPECT_EQ(Validator::excludedOptions(), std::nullopt);

    // A block without events also leaves no exclusion table.
    Config versionOnly;
    versionOnly.exclude = ExcludeEvents{};
    versionOnly.exclude->version = 5;
    versionOnly.exclude->all = true;
    service.applyConfig(versionOnly);
    EXPECT_EQ(Validator::excludedOptions(), std::nullopt);
    EXPECT_EQ(storedConfig().exclude->all, true);
}

TEST_F(ProjectServiceTest, SubscriptionBundlesStayWhileTheirVersionIsUnchanged) {
    Config first;
    first.sbsConfigVersion = std::nullopt;
    first.sbsBundles = std::vector<std::string>{"gold"};
    service.applyConfig(first);
    ASSERT_EQ(storedConfig().sbsBundles, first.sbsBundles);  // stored had version 0: taken

    Config bothAbsent;
    bothAbsent.sbsBundles = std::vector<std::string>{"silver"};
    service.applyConfig(bothAbsent);
    EXPECT_EQ(storedConfig().sbsBundles, std::vector<std::string>{"gold"});

    Config versionOne;
    versionOne.sbsConfigVersion = 1;
    versionOne.sbsBundles = std::vector<std::string>{"platinum"};
    service.applyConfig(versionOne);
    EXPECT_EQ(storedConfig().sbsBundles, std::vector<std::string>{"platinum"});

    Config versionTwo;
    versionTwo.sbsConfigVersion = 2;
    service.applyConfig(versionTwo);
    EXPECT_EQ(storedConfig().sbsBundles, std::nullopt);
    EXPECT_EQ(storedConfig().sbsConfigVersion, 2);
}

TEST_F(ProjectServiceTest, UsersDataIsRemovedOnlyWhenUserCountingIsSwitchedOff) {
    Config counting;
    counting.userCounting = true;
    Config notCounting;
    notCounting.userCounting = false;

    EXPECT_TRUE(service.checkIfNeedRemoveUsersData(notCounting));
    EXPECT_FALSE(service.checkIfNeedRemoveUsersData(counting));
    service.applyConfig(notCounting);
    EXPECT_FALSE(service.checkIfNeedRemoveUsersData(notCounting));
    EXPECT_FALSE(service.checkIfNeedRemoveUsersData(counting));
}

TEST_F(ProjectServiceTest, PlatformFactsComeFromTheStateManager) {
    EXPECT_EQ(service.getAppData(), bed.state->appData);
    EXPECT_EQ(service.getSdkData(), bed.state->sdkData);
    EXPECT_FALSE(service.getDeviceInfo(0).has_value());
    EXPECT_EQ(service.getDeviceIdentifiers(), bed.state->getActiveDeviceIdentifiers());
}

}  // namespace
}  // namespace zqb

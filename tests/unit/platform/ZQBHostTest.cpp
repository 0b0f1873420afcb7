#include <ZQBAnalytics/ZQBHost.hpp>

#include "core/Core.hpp"
#include "foundation/QueueManager.hpp"
#include "host/Environment.hpp"
#include "platform/IdentifierCollector.hpp"
#include "support/FakeDevice.hpp"
#include "support/LogCapture.hpp"
#include "support/TempDir.hpp"

#include <gtest/gtest.h>

#include <cmath>

namespace zqb::test {
namespace {

class ZQBHostTest : public ::testing::Test {
protected:
    void SetUp() override {
        setenv("XDG_DATA_HOME", dataHome.path().c_str(), 1);
        host::Environment::shared().reset();
    }
    void TearDown() override { host::Environment::shared().reset(); }

    TempDir dataHome;
    LogCapture log;
};

TEST_F(ZQBHostTest, BundleFactsReachTheEnvironment) {
    ZQBHost::setBundleInfo("My Game", "com.example.game", "3.1", "310");
    const auto info = host::Environment::shared().bundle()->info();
    EXPECT_EQ(info.name, "My Game");
    EXPECT_EQ(info.identifier, "com.example.game");
    EXPECT_EQ(info.version, "3.1");
    EXPECT_EQ(info.build, "310");
    EXPECT_EQ(host::Environment::shared().files()->applicationSupportDirectory(),
              dataHome.path() / "com.example.game");
}

TEST_F(ZQBHostTest, EmptyBundleNameIsRefused) {
    const auto before = host::Environment::shared().bundle()->info();
    ZQBHost::setBundleInfo("", "com.example.game", "1", "1");
    EXPECT_EQ(host::Environment::shared().bundle()->info().name, before.name);
    EXPECT_EQ(log.count("ERROR In the setBundleInfo method an error has occurred:"), 1u);
}

TEST_F(ZQBHostTest, TheReceiptLocationOutlastsLaterBundleFacts) {
    EXPECT_EQ(host::Environment::shared().bundle()->appStoreReceiptPath(), std::nullopt);
    ZQBHost::setReceiptPath("/data/receipt");
    ZQBHost::setBundleInfo("My Game", "com.example.game", "3.1", "310");
    EXPECT_EQ(host::Environment::shared().bundle()->appStoreReceiptPath(), "/data/receipt");
    EXPECT_EQ(host::Environment::shared().bundle()->info().name, "My Game");

    ZQBHost::setReceiptPath(std::string("/data/a\0b", 9));
    EXPECT_EQ(log.count("ERROR In the setReceiptPath method an error has occurred:"), 1u);
    EXPECT_EQ(host::Environment::shared().bundle()->appStoreReceiptPath(), "/data/receipt");
    ZQBHost::setReceiptPath("");
    EXPECT_EQ(host::Environment::shared().bundle()->appStoreReceiptPath(), std::nullopt);
}

TEST_F(ZQBHostTest, ScreenFactsOnlyWhenSetAndValid) {
    EXPECT_EQ(host::Environment::shared().device()->screen(), std::nullopt);
    ZQBHost::setScreen(390, 844, 3, 1170, 2532);
    EXPECT_EQ(host::Environment::shared().device()->screen(), (host::ScreenInfo{390, 844, 3, 1170, 2532}));
    ZQBHost::setScreen(NAN, 844, 3, 1170, 2532);
    ZQBHost::setScreen(390, 844, 0, 1170, 2532);
    EXPECT_EQ(log.count("ERROR In the setScreen method an error has occurred:"), 2u);
    EXPECT_EQ(host::Environment::shared().device()->screen(), (host::ScreenInfo{390, 844, 3, 1170, 2532}));
}

TEST_F(ZQBHostTest, ScreenReplacesAStandInThatIsNotTheLinuxDefault) {
    host::Environment::shared().setDevice(std::make_shared<FakeDevice>());
    ZQBHost::setScreen(100, 200, 2, 200, 400);
    EXPECT_EQ(host::Environment::shared().device()->screen(), (host::ScreenInfo{100, 200, 2, 200, 400}));
}

TEST_F(ZQBHostTest, AdvertisingFactsAndDefaults) {
    auto advertising = host::Environment::shared().advertising();
    EXPECT_EQ(advertising->advertisingIdentifier(), std::nullopt);
    EXPECT_EQ(advertising->trackingAuthorizationStatus(), 0);
    EXPECT_FALSE(
        IdentifierCollector(host::Environment::shared()).isAdvertisingTrackingEnabled());  // "not determined"

    ZQBHost::setTrackingAuthorizationStatus(ZQBTrackingAuthorizationStatus::authorized);
    ZQBHost::setAdvertisingIdentifier("e621e1f8-c36c-495a-93fc-0c247a3e6e5f", true);
    EXPECT_EQ(advertising->advertisingIdentifier(), "E621E1F8-C36C-495A-93FC-0C247A3E6E5F");
    EXPECT_TRUE(advertising->isAdvertisingTrackingEnabled());

    ZQBHost::setAdvertisingIdentifier("not-a-uuid", false);
    EXPECT_EQ(log.count("ERROR In the setAdvertisingIdentifier method an error has occurred:"), 1u);
    EXPECT_EQ(advertising->advertisingIdentifier(), "E621E1F8-C36C-495A-93FC-0C247A3E6E5F");

    ZQBHost::setTrackingAuthorizationStatus(ZQBTrackingAuthorizationStatus::denied);
    EXPECT_EQ(advertising->trackingAuthorizationStatus(), 2);
    EXPECT_FALSE(IdentifierCollector(host::Environment::shared()).isAdvertisingTrackingEnabled());
    ZQBHost::setTrackingAuthorizationStatus(static_cast<ZQBTrackingAuthorizationStatus>(7));
    EXPECT_EQ(log.matching("setTrackingAuthorizationStatus"),
              (std::vector<std::string>{"ERROR In the setTrackingAuthorizationStatus method an error has "
                                        "occurred: The tracking authorization status [7] is not a "
                                        "case of ZQBTrackingAuthorizationStatus"}));
    EXPECT_EQ(advertising->trackingAuthorizationStatus(), 2);
    ZQBHost::setTrackingAuthorizationStatus(std::nullopt);
    EXPECT_TRUE(IdentifierCollector(host::Environment::shared())
                    .isAdvertisingTrackingEnabled());  // the flag set with the identifier

    ZQBHost::setAdvertisingIdentifier("", false);
    EXPECT_EQ(advertising->advertisingIdentifier(), std::nullopt);
}

// The facts are read when the library starts: a host that changes them later is told that the running
// library may keep the ones it read.
TEST_F(ZQBHostTest, FactsChangedOnceTheLibraryIsInitialisedAreNamedInAWarning) {
    ZQBHost::setBundleInfo("My Game", "com.example.game", "3.1", "310");
    ZQBHost::setScreen(390, 844, 3, 1170, 2532);
    ZQBHost::setAdvertisingIdentifier("E621E1F8-C36C-495A-93FC-0C247A3E6E5F", true);
    EXPECT_TRUE(log.lines().empty());

    // Accepted at once; its start-up then refuses the empty key, so that nothing else is built.
    Core::shared()->initialize("", std::nullopt);
    QueueManager::incomeQueue().waitUntilAllOperationsAreFinished();
    log.clear();
    ZQBHost::setBundleInfo("My Game", "com.example.game", "3.2", "320");
    ZQBHost::setScreen(390, 844, 0, 1170, 2532);  // refused: it changes nothing, so no warning
    ZQBHost::setScreen(100, 200, 2, 200, 400);
    ZQBHost::setAdvertisingIdentifier("", false);
    const std::string rest =
        " was called after ZQBAnalytics::initialize: the library reads these facts when it starts, so the "
        "running library may keep those it read until it is destroyed and initialised again";
    EXPECT_EQ(
        log.texts(),
        (std::vector<std::string>{
            "WARNING setBundleInfo" + rest,
            "ERROR In the setScreen method an error has occurred: Screen sizes and scale must be finite and "
            "greater than zero",
            "WARNING setScreen" + rest, "WARNING setAdvertisingIdentifier" + rest}));
    // Kept for the next start.
    EXPECT_EQ(host::Environment::shared().bundle()->info().version, "3.2");

    Core::destroy();
    QueueManager::incomeQueue().waitUntilAllOperationsAreFinished();
    log.clear();
    ZQBHost::setBundleInfo("My Game", "com.example.game", "3.3", "330");
    EXPECT_TRUE(log.lines().empty());
}

}  // namespace
}  // namespace zqb::test

#include "PlatformFixture.hpp"

#include "database/SQLiteProvider.hpp"
#include "host/Environment.hpp"
#include "host/FileKeychain.hpp"
#include "platform/IdentifierCollector.hpp"
#include "platform/IdentifierGateway.hpp"
#include "platform/KeychainStore.hpp"
#include "platform/PlatformiOS.hpp"
#include "platform/TrackingHelper.hpp"
#include "support/LogCapture.hpp"
#include "support/SharedDatabase.hpp"

#include <filesystem>
#include <fstream>
#include <iterator>

namespace zqb {

void PrintTo(const DeviceUIDs& ids, std::ostream* out) {
    *out << "{" << ids.current << (ids.currentIsAdvertising ? " (advertising)" : "") << ", "
         << ids.prev.value_or("<none>") << (ids.prevIsAdvertising ? " (advertising)" : "") << "}";
}

}  // namespace zqb

namespace zqb::test {
namespace {

const std::string kAdId = "AAAAAAAA-BBBB-4CCC-8DDD-EEEEEEEEEEEE";
const std::string kVendorId = "11111111-2222-4333-8444-555555555555";

// The fixture's keychain, counting the calls that change it.
class CountingKeychain final : public host::KeychainProtocol {
public:
    explicit CountingKeychain(std::shared_ptr<host::KeychainProtocol> keychain)
        : keychain_(std::move(keychain)) {}
    int32_t add(const host::KeychainQuery& query) override {
        ++changes;
        return keychain_->add(query);
    }
    int32_t write(const std::vector<host::KeychainWrite>& writes) override {
        ++changes;
        return keychain_->write(writes);
    }
    int32_t copyMatching(const host::KeychainQuery& query, std::optional<std::string>& result) override {
        return keychain_->copyMatching(query, result);
    }
    int32_t update(const host::KeychainQuery& query, const std::string& value,
                   host::KeychainAccessibility accessible) override {
        ++changes;
        return keychain_->update(query, value, accessible);
    }
    int32_t remove(const host::KeychainQuery& query) override {
        ++changes;
        return keychain_->remove(query);
    }

    int changes = 0;

private:
    std::shared_ptr<host::KeychainProtocol> keychain_;
};

class IdentifierTest : public PlatformFixture {
protected:
    std::optional<std::string> item(const std::string& account) {
        return KeychainStore(keychain, "").get(account);
    }
    void putItem(const std::string& account, const std::string& value) {
        KeychainStore(keychain, "").set(value, account);
    }
    // One launch: a fresh facade reads the identifiers.
    IdentifierData launch() {
        return PlatformiOS(std::make_shared<PlatformStorage>(), host::Environment::shared())
            .getIdentifierData();
    }

    static bool isUuidText(const std::string& text) {
        if (text.size() != 36) {
            return false;
        }
        for (std::size_t i = 0; i < text.size(); ++i) {
            const bool dash = i == 8 || i == 13 || i == 18 || i == 23;
            const bool upperHex = (text[i] >= '0' && text[i] <= '9') || (text[i] >= 'A' && text[i] <= 'F');
            if (dash ? text[i] != '-' : !upperHex) {
                return false;
            }
        }
        return true;
    }
};

TEST_F(IdentifierTest, AdvertisingIdThenVendorIdAcrossLaunches) {
    advertising->set(kAdId, host::kTrackingAuthorized);
    auto first = launch();
    EXPECT_EQ(first.deviceUIDs, (DeviceUIDs{kAdId, std::nullopt, true}));
    EXPECT_EQ(item("TestApp-q7r_v2_current_id"), kAdId);
    EXPECT_EQ(item("TestApp-q7r_v2_prev_id"), std::nullopt);
    EXPECT_EQ(item("TestApp-q7r_v2_advertising_ids"), "current");
    EXPECT_EQ(first.idfa, kAdId);
    EXPECT_EQ(first.idfv, kVendorId);

    // Tracking no longer allowed: the platform answers the all-zero identifier, and the one it replaced is
    // neither reported nor kept.
    advertising->set("00000000-0000-0000-0000-000000000000", 2);
    auto second = launch();
    EXPECT_EQ(second.deviceUIDs, (DeviceUIDs{kVendorId, std::nullopt}));
    EXPECT_EQ(second.idfa, std::nullopt);
    EXPECT_TRUE(second.isLimitAdTrackingEnabled);
    EXPECT_EQ(item("TestApp-q7r_v2_current_id"), kVendorId);
    EXPECT_EQ(item("TestApp-q7r_v2_prev_id"), std::nullopt);
    EXPECT_EQ(item("TestApp-q7r_v2_advertising_ids"), "");

    // Unchanged candidate: it comes back, nothing is written.
    keychain->setFailWrites(true);
    EXPECT_EQ(launch().deviceUIDs, (DeviceUIDs{kVendorId, std::nullopt}));
}

// Once the user no longer allows tracking, no item keeps an advertising identifier: a previous id that was
// one is dropped, and so is the earlier generation's advertising identifier, its vendor identifier taking
// its place. Allowed again, the advertising identifier is the device id again, reported as any change.
TEST_F(IdentifierTest, NoItemKeepsAnAdvertisingIdOnceItIsNotAllowed) {
    const std::string zero = host::kZeroAdvertisingIdentifier;
    putItem("q7r_idfa", "LEGACY-AD:more");
    putItem("q7r_idfv", "LEGACY-VENDOR");
    advertising->set(kAdId, host::kTrackingAuthorized);
    EXPECT_EQ(launch().deviceUIDs, (DeviceUIDs{kAdId, std::string("LEGACY-AD"), true, true}));
    EXPECT_EQ(item("TestApp-q7r_v2_advertising_ids"), "current,prev");
    // Allowed, without an advertising identifier: the change is reported as always.
    advertising->set(std::nullopt, host::kTrackingAuthorized);
    EXPECT_EQ(launch().deviceUIDs, (DeviceUIDs{kVendorId, kAdId, false, true}));
    EXPECT_EQ(item("TestApp-q7r_v2_advertising_ids"), "prev");

    advertising->set(zero, 2);
    EXPECT_EQ(launch().deviceUIDs, (DeviceUIDs{kVendorId, std::string("LEGACY-VENDOR")}));
    EXPECT_EQ(item("TestApp-q7r_v2_prev_id"), "LEGACY-VENDOR");
    EXPECT_EQ(item("TestApp-q7r_v2_advertising_ids"), "");
    for (const auto& stored : keychain->items()) {
        EXPECT_EQ(stored.value.find(kAdId), std::string::npos) << stored.account;
    }

    advertising->set(kAdId, host::kTrackingAuthorized);
    EXPECT_EQ(launch().deviceUIDs, (DeviceUIDs{kAdId, kVendorId, true, false}));
    advertising->set(zero, 0);  // not determined counts as not allowed
    EXPECT_EQ(launch().deviceUIDs, (DeviceUIDs{kVendorId, std::nullopt}));
    EXPECT_EQ(item("TestApp-q7r_v2_prev_id"), std::nullopt);
}

// Ids kept before the marks existed say nothing of what they are: a change away from such an id is reported
// as always, until a launch that allows tracking sees the advertising identifier again and marks it.
TEST_F(IdentifierTest, UnmarkedIdsOfEarlierVersionsAreMarkedOnceSeenAgain) {
    putItem("TestApp-q7r_v2_current_id", kAdId);
    advertising->set(host::kZeroAdvertisingIdentifier, 2);
    EXPECT_EQ(launch().deviceUIDs, (DeviceUIDs{kVendorId, kAdId}));

    keychain->setItems({});
    putItem("TestApp-q7r_v2_current_id", kAdId);
    putItem("TestApp-q7r_v2_advertising_ids",
            "current,later-mark");  // names of a later version are passed over
    advertising->set(kAdId, host::kTrackingAuthorized);
    EXPECT_EQ(launch().deviceUIDs, (DeviceUIDs{kAdId, std::nullopt, true}));
    EXPECT_EQ(item("TestApp-q7r_v2_advertising_ids"), "current,later-mark");

    keychain->setItems({});
    putItem("TestApp-q7r_v2_current_id", kAdId);
    EXPECT_EQ(launch().deviceUIDs, (DeviceUIDs{kAdId, std::nullopt, true}));
    EXPECT_EQ(item("TestApp-q7r_v2_advertising_ids"), "current");
    advertising->set(host::kZeroAdvertisingIdentifier, 1);
    EXPECT_EQ(launch().deviceUIDs, (DeviceUIDs{kVendorId, std::nullopt}));
}

// The library withdraws the advertising identifier while the user still allows it (its tracking switched
// off): the record and the ids are gathered again without it. Held writes go as one, without it.
TEST_F(IdentifierTest, AWithdrawnAdvertisingIdIsGoneFromTheRecordAndTheKeychain) {
    advertising->set(kAdId, host::kTrackingAuthorized);
    const auto counting = std::make_shared<CountingKeychain>(keychain);
    host::Environment::shared().setKeychain(counting);
    PlatformiOS platform(std::make_shared<PlatformStorage>(), host::Environment::shared());
    platform.holdKeychainWrites();
    EXPECT_EQ(platform.getIdentifierData().deviceUIDs.current, kAdId);
    platform.withdrawAdvertisingIdentifier();
    const IdentifierData withdrawn = platform.getIdentifierData();
    EXPECT_EQ(withdrawn.deviceUIDs, (DeviceUIDs{kVendorId, std::nullopt}));
    EXPECT_EQ(withdrawn.idfa, std::nullopt);
    EXPECT_TRUE(withdrawn.isLimitAdTrackingEnabled);
    EXPECT_EQ(withdrawn.idfv, kVendorId);
    platform.writeHeldKeychainItems();
    EXPECT_EQ(counting->changes, 1);
    EXPECT_EQ(item("TestApp-q7r_v2_current_id"), kVendorId);
    EXPECT_EQ(item("TestApp-q7r_v2_advertising_ids"), "");

    // A facade withdrawn before its first read never reads the advertising identifier.
    host::Environment::shared().setKeychain(keychain);
    advertising->set(kAdId, host::kTrackingAuthorized);
    PlatformiOS next(std::make_shared<PlatformStorage>(), host::Environment::shared());
    next.withdrawAdvertisingIdentifier();
    EXPECT_EQ(next.getIdentifierData().deviceUIDs, (DeviceUIDs{kVendorId, std::nullopt}));
    EXPECT_EQ(next.getIdentifierData().idfa, std::nullopt);
}

// A withdrawal the keychain refuses is kept in the data folder without the identifier and made by the next
// launch: the previous item's deletion with it.
TEST_F(IdentifierTest, AWithdrawalTheKeychainRefusedIsMadeByTheNextLaunch) {
    const auto folder = *zqb::test::databaseFolder();
    std::filesystem::create_directories(folder);
    advertising->set(std::nullopt, host::kTrackingAuthorized);
    launch();
    advertising->set(kAdId, host::kTrackingAuthorized);
    launch();
    ASSERT_EQ(item("TestApp-q7r_v2_prev_id"), kVendorId);
    advertising->set(std::nullopt, host::kTrackingAuthorized);
    launch();
    ASSERT_EQ(item("TestApp-q7r_v2_prev_id"), kAdId);

    keychain->setFailWrites(true);
    advertising->set(host::kZeroAdvertisingIdentifier, 2);
    EXPECT_EQ(launch().deviceUIDs, (DeviceUIDs{kVendorId, std::nullopt}));
    std::ifstream backlog(folder / "keychain-backlog.json");
    const std::string kept((std::istreambuf_iterator<char>(backlog)), std::istreambuf_iterator<char>());
    EXPECT_NE(kept.find("q7r_v2_prev_id"), std::string::npos) << kept;
    EXPECT_EQ(kept.find(kAdId), std::string::npos) << kept;

    keychain->setFailWrites(false);
    PlatformiOS startUp(std::make_shared<PlatformStorage>(), host::Environment::shared());
    startUp.holdKeychainWrites();
    EXPECT_EQ(startUp.getIdentifierData().deviceUIDs, (DeviceUIDs{kVendorId, std::nullopt}));
    startUp.writeHeldKeychainItems();
    EXPECT_EQ(item("TestApp-q7r_v2_prev_id"), std::nullopt);
    EXPECT_EQ(item("TestApp-q7r_v2_advertising_ids"), "");
    EXPECT_FALSE(std::filesystem::exists(folder / "keychain-backlog.json"));
}

// What a new device's start-up holds back until it knows it goes on (its current and custom id) reaches the
// keychain in one change: one file written and waited for, not one per id.
TEST_F(IdentifierTest, HeldItemsReachTheKeychainInOneChange) {
    const auto counting = std::make_shared<CountingKeychain>(keychain);
    host::Environment::shared().setKeychain(counting);
    PlatformiOS platform(std::make_shared<PlatformStorage>(), host::Environment::shared());
    platform.holdKeychainWrites();
    const IdentifierData data = platform.getIdentifierData();
    EXPECT_EQ(counting->changes, 0);
    EXPECT_TRUE(keychain->items().empty());

    platform.writeHeldKeychainItems();
    EXPECT_EQ(counting->changes, 1);
    EXPECT_EQ(item("TestApp-q7r_v2_current_id"), data.deviceUIDs.current);
    EXPECT_EQ(item("TestApp-q7r_v2_customUdid"), data.uuid);
    EXPECT_EQ(keychain->items().size(), 2u);
}

// A keychain that refuses a new device's ids is named once, and the ids are kept in the data folder: the
// next launch reads them back, the installation's own id with them, instead of making new ones, and writes
// them.
TEST_F(IdentifierTest, IdsTheKeychainRefusedAreNamedOnceAndWrittenByTheNextLaunch) {
    LogCapture log;
    const auto folder = *zqb::test::databaseFolder();
    std::filesystem::create_directories(folder);  // as the database's opening leaves it
    const auto backlog = folder / "keychain-backlog.json";
    const auto startUp = [] {
        PlatformiOS platform(std::make_shared<PlatformStorage>(), host::Environment::shared());
        platform.holdKeychainWrites();
        const IdentifierData data = platform.getIdentifierData();
        platform.writeHeldKeychainItems();
        return data;
    };
    keychain->setFailWrites(true);
    const IdentifierData refused = startUp();
    EXPECT_TRUE(keychain->items().empty());
    EXPECT_EQ(
        log.matching("Keychain"),
        (std::vector<std::string>{"ERROR [Keychain] The keychain in memory refused the device identifiers "
                                  "(status -36); they are kept in " +
                                  backlog.string() + " and written at the next change or launch"}));
    EXPECT_TRUE(std::filesystem::exists(backlog));

    keychain->setFailWrites(false);
    const IdentifierData next = startUp();
    EXPECT_EQ(next.uuid, refused.uuid);
    EXPECT_EQ(next.deviceUIDs, refused.deviceUIDs);
    EXPECT_EQ(item("TestApp-q7r_v2_customUdid"), refused.uuid);
    EXPECT_EQ(item("TestApp-q7r_v2_current_id"), refused.deviceUIDs.current);
    EXPECT_FALSE(std::filesystem::exists(backlog));
    EXPECT_EQ(log.count("ERROR"), 1u);
    EXPECT_EQ(launch().uuid, refused.uuid);
}

// Without a data folder to keep them in, refused ids stay with the collector and go with its next write.
TEST_F(IdentifierTest, IdsTheKeychainRefusedGoWithTheNextWrite) {
    LogCapture log;
    IdentifierCollector collector(host::Environment::shared());
    collector.holdWrites();
    keychain->setFailWrites(true);
    const std::string uuid = collector.uuid();
    collector.writeHeldItems();
    EXPECT_EQ(
        log.matching("Keychain"),
        (std::vector<std::string>{"ERROR [Keychain] The keychain in memory refused the device identifiers "
                                  "(status -36); they are kept until the next change, and lost if the "
                                  "application ends before it"}));
    EXPECT_EQ(collector.uuid(), uuid);
    // Refused again: still one line.
    EXPECT_EQ(collector.getUIDs(false).current, kVendorId);
    EXPECT_EQ(log.count("ERROR"), 1u);

    keychain->setFailWrites(false);
    advertising->set(kAdId, 3);
    EXPECT_EQ(collector.getUIDs(true), (DeviceUIDs{kAdId, kVendorId, true}));
    EXPECT_EQ(item("TestApp-q7r_v2_customUdid"), uuid);
    EXPECT_EQ(item("TestApp-q7r_v2_current_id"), kAdId);
    EXPECT_EQ(item("TestApp-q7r_v2_prev_id"), kVendorId);
}

TEST_F(IdentifierTest, CustomIdIsMadeOnceAndKeptByANewFacade) {
    const auto first = launch();
    EXPECT_TRUE(isUuidText(first.uuid)) << first.uuid;
    EXPECT_EQ(item("TestApp-q7r_v2_customUdid"), first.uuid);
    const auto second = launch();
    EXPECT_EQ(second.uuid, first.uuid);
    EXPECT_EQ(second.deviceUIDs, first.deviceUIDs);
}

TEST_F(IdentifierTest, GatewayBuildsOnceAndTouchesTheKeychainOnlyThen) {
    PlatformiOS platform(std::make_shared<PlatformStorage>(), host::Environment::shared());
    const auto first = platform.getIdentifierData();
    keychain->setItems({});
    advertising->set(kAdId);
    EXPECT_EQ(platform.getIdentifierData(), first);
    EXPECT_TRUE(keychain->items().empty());
}

TEST_F(IdentifierTest, NoIdentifiersAtAllMakesAFreshCandidateEveryLaunch) {
    device->change([](FakeDevice::Facts& facts) { facts.identifierForVendor.reset(); });
    const auto first = launch().deviceUIDs;
    const auto second = launch().deviceUIDs;
    EXPECT_TRUE(isUuidText(first.current));
    EXPECT_NE(second.current, first.current);
    EXPECT_EQ(second.prev, first.current);
}

TEST_F(IdentifierTest, LegacyIdBecomesThePreviousId) {
    advertising->set(std::nullopt, host::kTrackingAuthorized);
    putItem("q7r_idfa", "LEGACY-ID:extra:text");
    putItem("q7r_idfv", "NOT-READ");
    EXPECT_EQ(launch().deviceUIDs, (DeviceUIDs{kVendorId, std::string("LEGACY-ID"), false, true}));
    EXPECT_EQ(item("TestApp-q7r_v2_prev_id"), "LEGACY-ID");
    EXPECT_EQ(item("q7r_idfa"), "LEGACY-ID:extra:text");  // legacy items are only read
}

TEST_F(IdentifierTest, LegacyIdEqualToTheCandidateIsReportedOnlyFromTheNextLaunch) {
    putItem("q7r_idfv", kVendorId);
    EXPECT_EQ(launch().deviceUIDs, (DeviceUIDs{kVendorId, std::nullopt}));
    EXPECT_EQ(item("TestApp-q7r_v2_prev_id"), kVendorId);
    EXPECT_EQ(launch().deviceUIDs, (DeviceUIDs{kVendorId, kVendorId}));
}

TEST_F(IdentifierTest, EmptyLegacyIdfaHidesIdfvAndGivesAnEmptyPreviousId) {
    advertising->set(std::nullopt, host::kTrackingAuthorized);
    putItem("q7r_idfa", "");
    putItem("q7r_idfv", "VENDOR-LEGACY");
    EXPECT_EQ(launch().deviceUIDs, (DeviceUIDs{kVendorId, std::string(), false, true}));
    EXPECT_EQ(item("TestApp-q7r_v2_prev_id"), "");
}

TEST_F(IdentifierTest, WithoutABundleNameNothingIsStored) {
    bundle->setInfo({"", "com.example.testapp", "1", "1"});
    const auto first = launch();
    const auto second = launch();
    EXPECT_TRUE(isUuidText(first.deviceUIDs.current));
    EXPECT_NE(first.deviceUIDs.current, kVendorId);
    EXPECT_EQ(first.deviceUIDs.prev, std::nullopt);
    EXPECT_NE(second.uuid, first.uuid);
    EXPECT_TRUE(keychain->items().empty());
}

TEST_F(IdentifierTest, FailingKeychainWritesNeverLoseTheStoredId) {
    advertising->set(kAdId, host::kTrackingAuthorized);
    launch();
    keychain->setFailWrites(true);
    advertising->set(std::nullopt, host::kTrackingAuthorized);
    // The change is reported, but the keychain keeps what it had.
    EXPECT_EQ(launch().deviceUIDs, (DeviceUIDs{kVendorId, kAdId, false, true}));
    EXPECT_EQ(item("TestApp-q7r_v2_current_id"), kAdId);
    keychain->setFailWrites(false);
    EXPECT_EQ(launch().deviceUIDs, (DeviceUIDs{kVendorId, kAdId, false, true}));
    EXPECT_EQ(item("TestApp-q7r_v2_current_id"), kVendorId);
}

TEST_F(IdentifierTest, TrackingFlagFollowsTheAuthorisation) {
    LogCapture log;
    IdentifierCollector collector(host::Environment::shared());
    advertising->set(std::nullopt, 3);
    EXPECT_TRUE(collector.isAdvertisingTrackingEnabled());
    EXPECT_TRUE(log.contains("DEBUG ATTrackingManager trackingAuthorizationStatus equals [3]"));
    advertising->set(std::nullopt, 0);
    EXPECT_FALSE(collector.isAdvertisingTrackingEnabled());
    advertising->set(std::nullopt, 1);
    EXPECT_FALSE(collector.isAdvertisingTrackingEnabled());
    advertising->set(std::nullopt, 2);
    EXPECT_FALSE(collector.isAdvertisingTrackingEnabled());
    // A host without a tracking prompt: the advertising flag decides.
    advertising->set(kAdId, std::nullopt, true);
    EXPECT_TRUE(collector.isAdvertisingTrackingEnabled());
    advertising->set(kAdId, std::nullopt, false);
    EXPECT_FALSE(collector.isAdvertisingTrackingEnabled());
    EXPECT_FALSE(log.contains("WARNING"));
}

TEST_F(IdentifierTest, TrackingHelperWithoutAPromptWarnsAndRefuses) {
    LogCapture log;
    advertising->set(std::nullopt, std::nullopt);
    EXPECT_FALSE(TrackingHelper(host::Environment::shared()).trackingStatus());
    EXPECT_EQ(log.texts(),
              (std::vector<std::string>{"WARNING AppTrackingTransparency.framework not included,please add "
                                        "'AppTrackingTransparency' dependency"}));
}

TEST_F(IdentifierTest, AdvertisingIdMadeOfZerosAndDashesIsAbsent) {
    IdentifierCollector collector(host::Environment::shared());
    advertising->set("0000-00");
    EXPECT_EQ(collector.idfa(), std::nullopt);
    advertising->set("00000000-0000-0000-0000-000000000001");
    EXPECT_EQ(collector.idfa(), "00000000-0000-0000-0000-000000000001");
}

TEST_F(IdentifierTest, DeletingRemovesTheItemsWrittenForThisApplicationOnly) {
    launch();
    putItem("q7r_v2_current_id", "bare");  // not ours: written by nobody in this library
    putItem("Other-q7r_v2_current_id", "another app");
    putItem("TestApp-q7r_v2_prev_id", "prev");
    ASSERT_TRUE(item("TestApp-q7r_v2_current_id") && item("TestApp-q7r_v2_customUdid"));

    IdentifierCollector::deleteSavedIdentifiers(host::Environment::shared());
    EXPECT_EQ(item("TestApp-q7r_v2_current_id"), std::nullopt);
    EXPECT_EQ(item("TestApp-q7r_v2_prev_id"), std::nullopt);
    EXPECT_EQ(item("TestApp-q7r_v2_customUdid"), std::nullopt);
    EXPECT_EQ(item("q7r_v2_current_id"), "bare");
    EXPECT_EQ(item("Other-q7r_v2_current_id"), "another app");

    // Again, with nothing left to delete: no harm.
    IdentifierCollector::deleteSavedIdentifiers(host::Environment::shared());
    EXPECT_EQ(keychain->items().size(), 2u);
}

TEST_F(IdentifierTest, ACollectorKeepsTheIdsInTheKeychainOfItsOwnEnvironment) {
    host::Environment own;
    const auto ownKeychain = std::make_shared<host::MemoryKeychain>();
    own.setKeychain(ownKeychain);
    own.setBundle(std::make_shared<FakeBundle>(host::BundleInfo{"OwnApp", "com.example.ownapp", "1", "1"}));

    const std::string uuid = IdentifierCollector(own).uuid();
    EXPECT_EQ(KeychainStore(ownKeychain, "").get("OwnApp-q7r_v2_customUdid"), uuid);
    EXPECT_TRUE(keychain->items().empty());
    IdentifierCollector::deleteSavedIdentifiers(own);
    EXPECT_TRUE(ownKeychain->items().empty());
}

TEST_F(IdentifierTest, IdsSurviveTheRemovalOfTheDataFolder) {
    // The real Linux keychain under the (temporary) user data directory.
    host::Environment::shared().setKeychain(std::make_shared<host::FileKeychain>());
    const auto dataFolder = host::Environment::shared().files()->applicationSupportDirectory();
    std::filesystem::create_directories(dataFolder / "vorantel");
    const auto first = launch();

    std::filesystem::remove_all(dataFolder);
    const auto second = launch();
    EXPECT_EQ(second.uuid, first.uuid);
    EXPECT_EQ(second.deviceUIDs, first.deviceUIDs);
    EXPECT_TRUE(std::filesystem::exists(host::FileKeychain::defaultPath()));
    EXPECT_FALSE(std::filesystem::exists(dataFolder));
}

}  // namespace
}  // namespace zqb::test

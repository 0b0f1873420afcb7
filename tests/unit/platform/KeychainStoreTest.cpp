#include "host/MemoryKeychain.hpp"
#include "platform/KeychainStore.hpp"

#include <gtest/gtest.h>

using zqb::KeychainStore;
using zqb::KeychainStoreAccessOptions;
namespace host = zqb::host;
namespace status = zqb::host::keychain_status;

namespace {

class KeychainStoreTest : public ::testing::Test {
protected:
    std::shared_ptr<host::MemoryKeychain> keychain = std::make_shared<host::MemoryKeychain>();
    KeychainStore store{keychain, ""};
};

TEST_F(KeychainStoreTest, SetReplacesTheItemAndLeavesExactlyOne) {
    EXPECT_TRUE(store.set("first", "key"));
    EXPECT_TRUE(store.set("second", "key"));
    EXPECT_EQ(store.get("key"), "second");
    const auto items = keychain->items();
    ASSERT_EQ(items.size(), 1u);
    EXPECT_EQ(items[0].account, "key");
    EXPECT_EQ(items[0].value, "second");
    EXPECT_EQ(store.lastResultCode(), status::success);
}

TEST_F(KeychainStoreTest, AccessOptionGivesTheItemsAccessibility) {
    store.set("v", "plain");
    store.set("v", "option3", KeychainStoreAccessOptions::afterFirstUnlockThisDeviceOnly);
    const auto items = keychain->items();
    ASSERT_EQ(items.size(), 2u);
    EXPECT_EQ(items[0].accessible, host::KeychainAccessibility::whenUnlocked);
    EXPECT_EQ(items[1].accessible, host::KeychainAccessibility::afterFirstUnlockThisDeviceOnly);
    // A replacement takes the new option too.
    store.set("w", "plain", KeychainStoreAccessOptions::whenPasscodeSetThisDeviceOnly);
    EXPECT_EQ(keychain->items()[0].accessible, host::KeychainAccessibility::whenPasscodeSetThisDeviceOnly);
}

TEST_F(KeychainStoreTest, MissingKeyReadsAbsentAndDeletesFalse) {
    EXPECT_EQ(store.get("never"), std::nullopt);
    EXPECT_EQ(store.lastResultCode(), status::itemNotFound);
    EXPECT_FALSE(store.remove("never"));
    EXPECT_EQ(store.lastResultCode(), status::itemNotFound);

    store.set("value", "present");
    EXPECT_TRUE(store.remove("present"));
    EXPECT_EQ(store.get("present"), std::nullopt);
}

TEST_F(KeychainStoreTest, PrefixFormsTheAccount) {
    store.setKeyPrefix("pre.");
    store.set("value", "key");
    EXPECT_EQ(keychain->items().at(0).account, "pre.key");
    EXPECT_EQ(store.get("key"), "value");
    EXPECT_EQ(store.lastQueryParameters()->account, "pre.key");
    EXPECT_TRUE(store.remove("key"));
    EXPECT_TRUE(keychain->items().empty());
}

TEST_F(KeychainStoreTest, SynchronizableAndAccessGroupReachEveryQuery) {
    store.set("v", "k");
    auto query = store.lastQueryParameters();
    EXPECT_EQ(query->accessGroup, std::nullopt);
    EXPECT_EQ(query->synchronizable, std::nullopt);

    store.setSynchronizable(true);
    store.setAccessGroup("group.shared");
    store.set("v", "k2");
    query = store.lastQueryParameters();
    EXPECT_EQ(query->synchronizable, host::KeychainSynchronizable::yes);
    EXPECT_EQ(query->accessGroup, "group.shared");
    EXPECT_EQ(query->valueData, "v");

    EXPECT_EQ(store.get("k2"), "v");
    query = store.lastQueryParameters();
    EXPECT_EQ(query->synchronizable, host::KeychainSynchronizable::any);
    EXPECT_TRUE(query->returnData && query->matchLimitOne && !query->returnPersistentRef);

    EXPECT_TRUE(store.remove("k2"));
    EXPECT_EQ(store.lastQueryParameters()->synchronizable, host::KeychainSynchronizable::any);
    EXPECT_EQ(store.lastQueryParameters()->accessGroup, "group.shared");
}

TEST_F(KeychainStoreTest, ReferenceReadAsksForAReference) {
    store.set("v", "k");
    const auto reference = store.getData("k", true);
    ASSERT_TRUE(reference.has_value());
    EXPECT_NE(*reference, "v");
    EXPECT_TRUE(store.lastQueryParameters()->returnPersistentRef);
    EXPECT_FALSE(store.lastQueryParameters()->returnData);
}

TEST_F(KeychainStoreTest, BytesThatAreNotUtf8ReadAbsentAsText) {
    const std::string bytes("\xff\xfe", 2);
    EXPECT_TRUE(store.set(bytes, "k"));
    EXPECT_EQ(store.getData("k"), bytes);
    EXPECT_EQ(store.get("k"), std::nullopt);
    EXPECT_EQ(store.lastResultCode(), status::invalidEncoding);
}

TEST_F(KeychainStoreTest, FailedReplaceKeepsTheStoredValue) {
    ASSERT_TRUE(store.set("device-id", "current"));
    keychain->setFailWrites(true);
    EXPECT_FALSE(store.set("other-id", "current"));
    EXPECT_EQ(store.lastResultCode(), status::ioError);
    EXPECT_FALSE(store.remove("current"));
    keychain->setFailWrites(false);
    EXPECT_EQ(store.get("current"), "device-id");
}

// Several values in one step: new keys are added, existing ones replaced in place, and a write that fails
// leaves every key as it was, also those written before it in the same step.
TEST_F(KeychainStoreTest, SetEachStoresEveryValueOrNone) {
    ASSERT_TRUE(store.set("old-id", "current"));
    keychain->setFailWrites(true);
    EXPECT_FALSE(store.setEach({{"custom-id", "custom"}, {"new-id", "current"}}));
    EXPECT_EQ(store.lastResultCode(), status::ioError);
    keychain->setFailWrites(false);
    EXPECT_EQ(store.get("current"), "old-id");
    EXPECT_EQ(store.get("custom"), std::nullopt);

    EXPECT_TRUE(
        store.setEach({{"custom-id", "custom"}, {"new-id", "current"}}, KeychainStoreAccessOptions(2)));
    EXPECT_EQ(store.lastQueryParameters()->account, "current");
    EXPECT_EQ(store.get("current"), "new-id");
    EXPECT_EQ(store.get("custom"), "custom-id");
    const auto items = keychain->items();
    ASSERT_EQ(items.size(), 2u);
    for (const auto& item : items) {
        EXPECT_EQ(item.accessible, host::KeychainAccessibility::afterFirstUnlock);
    }
}

}  // namespace

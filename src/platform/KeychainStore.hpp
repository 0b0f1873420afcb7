#pragma once

#include "host/Keychain.hpp"

#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace zqb {

// How an added item may be read; raw values 0 to 4.
enum class KeychainStoreAccessOptions : int {
    whenUnlocked = 0,
    whenUnlockedThisDeviceOnly = 1,
    afterFirstUnlock = 2,
    afterFirstUnlockThisDeviceOnly = 3,
    whenPasscodeSetThisDeviceOnly = 4,
};

host::KeychainAccessibility accessibilityValue(KeychainStoreAccessOptions option);

// Stores, reads and deletes one generic-password value per key. The operations of one store are serialised
// by its lock; the store remembers the query and the result code of its last keychain call. It logs and
// throws nothing: outcomes are Booleans, optional values and `lastResultCode()`.
class KeychainStore {
public:
    KeychainStore(std::shared_ptr<host::KeychainProtocol> keychain, std::string keyPrefix);

    KeychainStore(const KeychainStore&) = delete;
    KeychainStore& operator=(const KeychainStore&) = delete;

    std::optional<host::KeychainQuery> lastQueryParameters() const;
    int32_t lastResultCode() const;

    std::string keyPrefix() const;
    void setKeyPrefix(std::string prefix);
    std::optional<std::string> accessGroup() const;
    void setAccessGroup(std::optional<std::string> group);
    bool synchronizable() const;
    void setSynchronizable(bool synchronizable);

    // Stores `value` (bytes) under the key. An existing item is replaced in one step: when the write fails,
    // the previous value stays. Without an option the item is readable when unlocked.
    bool set(const std::string& value, const std::string& key,
             std::optional<KeychainStoreAccessOptions> access = std::nullopt);
    // Stores each value under its key as `set` does, all in one step: when the write fails, every key keeps
    // what it held. `lastQueryParameters` is the query of the last value.
    bool setEach(const std::vector<std::pair<std::string, std::string>>& valuesAndKeys,
                 std::optional<KeychainStoreAccessOptions> access = std::nullopt);
    // The same for changes given as key and value, where a key without a value has its item deleted in that
    // step (a key with no item is no failure).
    bool writeEach(const std::vector<std::pair<std::string, std::optional<std::string>>>& keysAndValues,
                   std::optional<KeychainStoreAccessOptions> access = std::nullopt);
    // The value as text; absent when missing or, with `lastResultCode` -67853, when it is not UTF-8.
    std::optional<std::string> get(const std::string& key);
    // The value's bytes, or a persistent reference to the item when `asReference` is true.
    std::optional<std::string> getData(const std::string& key, bool asReference = false);
    // Deletes the item; false when there was none or the deletion failed.
    bool remove(const std::string& key);

    std::string keyWithPrefix(const std::string& key) const;

private:
    std::string prefixed(const std::string& key) const;  // with the lock held
    bool removeNoLock(const std::string& key);
    host::KeychainWrite writeOf(const std::string& value, const std::string& key,
                                host::KeychainAccessibility accessible) const;  // with the lock held
    void addAccessGroupWhenPresent(host::KeychainQuery& query) const;
    void addSynchronizableIfRequired(host::KeychainQuery& query, bool addingItems) const;

    const std::shared_ptr<host::KeychainProtocol> keychain_;
    mutable std::mutex lock_;
    std::optional<host::KeychainQuery> lastQueryParameters_;
    int32_t lastResultCode_ = host::keychain_status::success;
    std::string keyPrefix_;
    std::optional<std::string> accessGroup_;
    bool synchronizable_ = false;
};

}  // namespace zqb

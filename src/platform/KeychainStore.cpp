#include "platform/KeychainStore.hpp"

#include "foundation/TextUtils.hpp"

namespace zqb {

host::KeychainAccessibility accessibilityValue(KeychainStoreAccessOptions option) {
    switch (option) {
        case KeychainStoreAccessOptions::whenUnlockedThisDeviceOnly:
            return host::KeychainAccessibility::whenUnlockedThisDeviceOnly;
        case KeychainStoreAccessOptions::afterFirstUnlock:
            return host::KeychainAccessibility::afterFirstUnlock;
        case KeychainStoreAccessOptions::afterFirstUnlockThisDeviceOnly:
            return host::KeychainAccessibility::afterFirstUnlockThisDeviceOnly;
        case KeychainStoreAccessOptions::whenPasscodeSetThisDeviceOnly:
            return host::KeychainAccessibility::whenPasscodeSetThisDeviceOnly;
        case KeychainStoreAccessOptions::whenUnlocked:
            break;
    }
    return host::KeychainAccessibility::whenUnlocked;
}

KeychainStore::KeychainStore(std::shared_ptr<host::KeychainProtocol> keychain, std::string keyPrefix)
    : keychain_(std::move(keychain)), keyPrefix_(std::move(keyPrefix)) {}

std::optional<host::KeychainQuery> KeychainStore::lastQueryParameters() const {
    std::lock_guard lock(lock_);
    return lastQueryParameters_;
}

int32_t KeychainStore::lastResultCode() const {
    std::lock_guard lock(lock_);
    return lastResultCode_;
}

std::string KeychainStore::keyPrefix() const {
    std::lock_guard lock(lock_);
    return keyPrefix_;
}

void KeychainStore::setKeyPrefix(std::string prefix) {
    std::lock_guard lock(lock_);
    keyPrefix_ = std::move(prefix);
}

std::optional<std::string> KeychainStore::accessGroup() const {
    std::lock_guard lock(lock_);
    return accessGroup_;
}

void KeychainStore::setAccessGroup(std::optional<std::string> group) {
    std::lock_guard lock(lock_);
    accessGroup_ = std::move(group);
}

bool KeychainStore::synchronizable() const {
    std::lock_guard lock(lock_);
    return synchronizable_;
}

void KeychainStore::setSynchronizable(bool synchronizable) {
    std::lock_guard lock(lock_);
    synchronizable_ = synchronizable;
}

std::string KeychainStore::keyWithPrefix(const std::string& key) const {
    std::lock_guard lock(lock_);
    return prefixed(key);
}

std::string KeychainStore::prefixed(const std::string& key) const {
    return keyPrefix_ + key;
}

void KeychainStore::addAccessGroupWhenPresent(host::KeychainQuery& query) const {
    if (accessGroup_) {
        query.accessGroup = accessGroup_;
    }
}

void KeychainStore::addSynchronizableIfRequired(host::KeychainQuery& query, bool addingItems) const {
    if (synchronizable_) {
        query.synchronizable =
            addingItems ? host::KeychainSynchronizable::yes : host::KeychainSynchronizable::any;
    }
}

host::KeychainWrite KeychainStore::writeOf(const std::string& value, const std::string& key,
                                           host::KeychainAccessibility accessible) const {
    host::KeychainWrite write;
    write.add.account = prefixed(key);
    write.add.valueData = value;
    write.add.accessible = accessible;
    addAccessGroupWhenPresent(write.add);
    addSynchronizableIfRequired(write.add, true);
    write.match.account = prefixed(key);
    addAccessGroupWhenPresent(write.match);
    addSynchronizableIfRequired(write.match, false);
    return write;
}

bool KeychainStore::set(const std::string& value, const std::string& key,
                        std::optional<KeychainStoreAccessOptions> access) {
    std::lock_guard lock(lock_);
    const host::KeychainAccessibility accessible =
        access ? accessibilityValue(*access) : host::KeychainAccessibility::whenUnlocked;
    const host::KeychainWrite write = writeOf(value, key, accessible);
    lastQueryParameters_ = write.add;
    lastResultCode_ = keychain_->add(write.add);

    if (lastResultCode_ == host::keychain_status::duplicateItem) {
        // Replacing in place instead of deleting first: a failed write must not leave the key without its
        // value, since the device identifiers live here.
        lastQueryParameters_ = write.match;
        lastResultCode_ = keychain_->update(write.match, value, accessible);
    }
    return lastResultCode_ == host::keychain_status::success;
}

bool KeychainStore::setEach(const std::vector<std::pair<std::string, std::string>>& valuesAndKeys,
                            std::optional<KeychainStoreAccessOptions> access) {
    std::vector<std::pair<std::string, std::optional<std::string>>> keysAndValues;
    keysAndValues.reserve(valuesAndKeys.size());
    for (const auto& [value, key] : valuesAndKeys) {
        keysAndValues.emplace_back(key, value);
    }
    return writeEach(keysAndValues, access);
}

bool KeychainStore::writeEach(
    const std::vector<std::pair<std::string, std::optional<std::string>>>& keysAndValues,
    std::optional<KeychainStoreAccessOptions> access) {
    std::lock_guard lock(lock_);
    if (keysAndValues.empty()) {
        return true;
    }
    const host::KeychainAccessibility accessible =
        access ? accessibilityValue(*access) : host::KeychainAccessibility::whenUnlocked;
    std::vector<host::KeychainWrite> writes;
    writes.reserve(keysAndValues.size());
    for (const auto& [key, value] : keysAndValues) {
        writes.push_back(writeOf(value.value_or(""), key, accessible));
        if (!value) {
            writes.back().remove = true;
            writes.back().add = host::KeychainQuery{};
        }
    }
    lastQueryParameters_ = writes.back().remove ? writes.back().match : writes.back().add;
    lastResultCode_ = keychain_->write(writes);
    return lastResultCode_ == host::keychain_status::success;
}

std::optional<std::string> KeychainStore::get(const std::string& key) {
    auto data = getData(key, false);
    if (!data) {
        return std::nullopt;
    }
    if (!text::isValidUtf8(*data)) {
        std::lock_guard lock(lock_);
        lastResultCode_ = host::keychain_status::invalidEncoding;
        return std::nullopt;
    }
    return data;
}

std::optional<std::string> KeychainStore::getData(const std::string& key, bool asReference) {
    std::lock_guard lock(lock_);
    host::KeychainQuery query;
    query.account = prefixed(key);
    query.matchLimitOne = true;
    if (asReference) {
        query.returnPersistentRef = true;
    } else {
        query.returnData = true;
    }
    addAccessGroupWhenPresent(query);
    addSynchronizableIfRequired(query, false);
    lastQueryParameters_ = query;
    std::optional<std::string> result;
    lastResultCode_ = keychain_->copyMatching(query, result);
    if (lastResultCode_ != host::keychain_status::success) {
        return std::nullopt;
    }
    return result;
}

bool KeychainStore::remove(const std::string& key) {
    std::lock_guard lock(lock_);
    return removeNoLock(key);
}

bool KeychainStore::removeNoLock(const std::string& key) {
    host::KeychainQuery query;
    query.account = prefixed(key);
    addAccessGroupWhenPresent(query);
    addSynchronizableIfRequired(query, false);
    lastQueryParameters_ = query;
    lastResultCode_ = keychain_->remove(query);
    return lastResultCode_ == host::keychain_status::success;
}

}  // namespace zqb

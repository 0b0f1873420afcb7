#include "host/StoredKeychain.hpp"

#include <algorithm>

namespace zqb::host {

namespace {

int32_t addTo(std::vector<KeychainItem>& items, const KeychainQuery& query, bool& changed) {
    if (!query.valueData) {
        return keychain_status::badParameter;
    }
    KeychainItem item;
    item.account = query.account;
    item.accessGroup = query.accessGroup.value_or("");
    item.synchronizable = query.synchronizable == KeychainSynchronizable::yes;
    item.accessible = query.accessible.value_or(KeychainAccessibility::whenUnlocked);
    item.value = *query.valueData;
    const bool exists = std::any_of(items.begin(), items.end(), [&](const KeychainItem& stored) {
        return stored.account == item.account && stored.accessGroup == item.accessGroup &&
               stored.synchronizable == item.synchronizable;
    });
    if (exists) {
        return keychain_status::duplicateItem;
    }
    items.push_back(std::move(item));
    changed = true;
    return keychain_status::success;
}

int32_t updateIn(std::vector<KeychainItem>& items, const KeychainQuery& query, const std::string& value,
                 KeychainAccessibility accessible, bool& changed) {
    bool found = false;
    for (auto& item : items) {
        if (StoredKeychain::matches(item, query)) {
            item.value = value;
            item.accessible = accessible;
            found = true;
        }
    }
    changed = changed || found;
    return found ? keychain_status::success : keychain_status::itemNotFound;
}

}  // namespace

bool StoredKeychain::matches(const KeychainItem& item, const KeychainQuery& query) {
    if (item.account != query.account) {
        return false;
    }
    // Without a group a query searches every group of the application.
    if (query.accessGroup && item.accessGroup != *query.accessGroup) {
        return false;
    }
    if (!query.synchronizable) {
        return !item.synchronizable;
    }
    return *query.synchronizable == KeychainSynchronizable::any || item.synchronizable;
}

int32_t StoredKeychain::add(const KeychainQuery& query) {
    return transact(
        [&](std::vector<KeychainItem>& items, bool& changed) { return addTo(items, query, changed); });
}

int32_t StoredKeychain::write(const std::vector<KeychainWrite>& writes) {
    return transact([&](std::vector<KeychainItem>& items, bool& changed) {
        for (const auto& write : writes) {
            if (write.remove) {
                changed =
                    std::erase_if(items,
                                  [&](const KeychainItem& item) { return matches(item, write.match); }) > 0 ||
                    changed;
                continue;
            }
            int32_t status = addTo(items, write.add, changed);
            if (status == keychain_status::duplicateItem) {
                status =
                    updateIn(items, write.match, write.add.valueData.value_or(""),
                             write.add.accessible.value_or(KeychainAccessibility::whenUnlocked), changed);
            }
            if (status != keychain_status::success) {
                return status;
            }
        }
        return keychain_status::success;
    });
}

int32_t StoredKeychain::copyMatching(const KeychainQuery& query, std::optional<std::string>& result) {
    result.reset();
    std::optional<std::string> found;
    const int32_t status = transact([&](std::vector<KeychainItem>& items, bool&) {
        const auto it = std::find_if(items.begin(), items.end(),
                                     [&](const KeychainItem& item) { return matches(item, query); });
        if (it == items.end()) {
            return keychain_status::itemNotFound;
        }
        if (query.returnData) {
            found = it->value;
        } else if (query.returnPersistentRef) {
            // An opaque reference that names the item; nothing in the library resolves it.
            found = "genp\n" + it->accessGroup + "\n" + it->account + (it->synchronizable ? "\n1" : "\n0");
        }
        return keychain_status::success;
    });
    if (status == keychain_status::success) {
        result = std::move(found);
    }
    return status;
}

int32_t StoredKeychain::update(const KeychainQuery& query, const std::string& value,
                               KeychainAccessibility accessible) {
    return transact([&](std::vector<KeychainItem>& items, bool& changed) {
        return updateIn(items, query, value, accessible, changed);
    });
}

int32_t StoredKeychain::remove(const KeychainQuery& query) {
    return transact([&](std::vector<KeychainItem>& items, bool& changed) {
        const auto removed =
            std::erase_if(items, [&](const KeychainItem& item) { return matches(item, query); });
        changed = removed > 0;
        return changed ? keychain_status::success : keychain_status::itemNotFound;
    });
}

}  // namespace zqb::host

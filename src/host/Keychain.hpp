#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace zqb::host {

// Result codes of the keychain operations, with the platform's numeric values.
namespace keychain_status {
inline constexpr int32_t success = 0;
inline constexpr int32_t ioError = -36;
inline constexpr int32_t badParameter = -50;
inline constexpr int32_t duplicateItem = -25299;
inline constexpr int32_t itemNotFound = -25300;
inline constexpr int32_t invalidEncoding = -67853;
}  // namespace keychain_status

// When an item may be read; kept with the item and reported back, not enforced on Linux.
enum class KeychainAccessibility {
    whenUnlocked,
    whenUnlockedThisDeviceOnly,
    afterFirstUnlock,
    afterFirstUnlockThisDeviceOnly,
    whenPasscodeSetThisDeviceOnly,
};

// The synchronisation attribute of a query: `yes` adds or matches synchronised items only, `any` matches
// both kinds; without it a query matches only items that are not synchronised.
enum class KeychainSynchronizable { yes, any };

// One query of the keychain. Every item is a generic password: an account name, optionally an access group,
// and a byte-string value.
struct KeychainQuery {
    std::string account;
    std::optional<std::string> accessGroup;
    std::optional<KeychainSynchronizable> synchronizable;
    std::optional<std::string> valueData;             // add: the new item's value
    std::optional<KeychainAccessibility> accessible;  // add: the new item's accessibility
    bool matchLimitOne = false;                       // read: at most one item
    bool returnData = false;                          // read: answer the value
    bool returnPersistentRef = false;                 // read: answer a reference to the item

    bool operator==(const KeychainQuery&) const = default;
};

// One stored generic-password item.
struct KeychainItem {
    std::string account;
    std::string accessGroup;  // empty: the application's default group
    bool synchronizable = false;
    KeychainAccessibility accessible = KeychainAccessibility::whenUnlocked;
    std::string value;

    bool operator==(const KeychainItem&) const = default;
};

// One item stored as `add` stores it, or, when an item with the same account, group and synchronisation is
// there already, given its value and accessibility as `update` with `match` gives them. With `remove`, the
// items `match` finds are deleted instead (none being there is no failure) and `add` is not used.
struct KeychainWrite {
    KeychainQuery add;
    KeychainQuery match;
    bool remove = false;
};

// The generic-password store. Each operation is complete in itself and answers a `keychain_status` code.
class KeychainProtocol {
public:
    virtual ~KeychainProtocol() = default;
    // Adds an item; `duplicateItem` when an item with the same account, group and synchronisation exists.
    virtual int32_t add(const KeychainQuery& query) = 0;
    // Makes the writes in order, in one step: all of them are stored or none. The status of the first that
    // fails, else success.
    virtual int32_t write(const std::vector<KeychainWrite>& writes) = 0;
    // Reads the first matching item: its value (`returnData`) or a reference to it (`returnPersistentRef`).
    virtual int32_t copyMatching(const KeychainQuery& query, std::optional<std::string>& result) = 0;
    // Gives every matching item the new value and accessibility in one step.
    virtual int32_t update(const KeychainQuery& query, const std::string& value,
                           KeychainAccessibility accessible) = 0;
    // Deletes every matching item.
    virtual int32_t remove(const KeychainQuery& query) = 0;
    // How log lines name this keychain: where its items live.
    virtual std::string description() const { return "The keychain"; }
};

}  // namespace zqb::host

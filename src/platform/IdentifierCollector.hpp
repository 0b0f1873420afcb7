#pragma once

#include "host/Environment.hpp"
#include "platform/IdentifierData.hpp"
#include "platform/KeychainBacklog.hpp"

#include <filesystem>
#include <mutex>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace zqb {

class IdentifierCollectorProtocol {
public:
    virtual ~IdentifierCollectorProtocol() = default;
    virtual bool isAdvertisingTrackingEnabled() const = 0;
    // `advertisingAllowed`: whether the advertising identifier may be the device id (and be kept).
    virtual DeviceUIDs getUIDs(bool advertisingAllowed) = 0;
    virtual std::optional<std::string> idfv() const = 0;
    virtual std::optional<std::string> idfa() const = 0;
    virtual std::string uuid() = 0;
};

// Reads the advertising and vendor identifiers and keeps the current, previous and custom device ids in the
// keychain, under "<bundle name>-<item name>", so that they outlast the application's data folder.
//
// Which of the current and previous ids is an advertising identifier is kept beside them, so that it is
// still known once the platform gives the all-zero identifier. Once the advertising identifier is not
// allowed, no item keeps one: a current id that was one is replaced with no previous id, and a previous id
// that was one is dropped.
class IdentifierCollector final : public IdentifierCollectorProtocol {
public:
    static constexpr const char* currentIdKey = "q7r_v2_current_id";
    static constexpr const char* prevIdKey = "q7r_v2_prev_id";
    static constexpr const char* customUdidKey = "q7r_v2_customUdid";
    // Names the items of the two above that hold an advertising identifier: "current", "prev", joined by
    // ","; empty for neither. Items kept before it was written count as not holding one.
    static constexpr const char* advertisingIdsKey = "q7r_v2_advertising_ids";
    // Items of the earlier library generation, under the bare item name; only read.
    static constexpr const char* legacyIdfaKey = "q7r_idfa";
    static constexpr const char* legacyIdfvKey = "q7r_idfv";

    explicit IdentifierCollector(host::Environment& environment) : environment_(environment) {}

    bool isAdvertisingTrackingEnabled() const override;
    // The device id in use and the one it replaced; see the rules in the source.
    DeviceUIDs getUIDs(bool advertisingAllowed) override;
    std::optional<std::string> idfv() const override;
    std::optional<std::string> idfa() const override;
    // The installation's own id: made once, then read back from the keychain.
    std::string uuid() override;

    // Deletes the items the library writes (current, previous and custom id, and their marks) to the keychain
    // of `environment`, under the account its application writes them with. A missing item is no error. Backs
    // the public keychain-clearing hook.
    static void deleteSavedIdentifiers(host::Environment& environment);

    // From here on the items the collector writes are held, in order, and read back from there, instead of
    // reaching the keychain, until `writeHeldItems()`: identifiers gathered for a start-up that may still
    // fail leave the keychain as it was when it does.
    void holdWrites();
    // Writes the held items, as they were made, in one step; later writes go straight to the keychain.
    // Items the keychain refuses are named in one ERROR and kept: read back from here, written again with
    // the next item, and, through a file in the data folder, by the next launch.
    void writeHeldItems();

private:
    using Items = KeychainBacklog::Items;
    // Items of one application, by item name, and their new values; no value deletes the item.
    using Changes = std::vector<std::pair<const char*, std::optional<std::string>>>;

    static std::optional<std::string> bundleName(host::Environment& environment);
    static std::filesystem::path backlogPath(host::Environment& environment);
    // With `heldMutex_` held.
    Items& pendingNoLock();
    void writePendingNoLock();
    std::optional<std::string> getSavedUID(const std::string& appName, const std::string& account);
    void setSavedUID(const std::string& uid, const std::string& appName, const std::string& account);
    // All in one keychain write.
    void saveItems(const std::string& appName, const Changes& changes);
    std::optional<std::string> getOlderSavedUID(const std::string& account);
    // The previous id left by the earlier library generation, and whether it is its advertising identifier.
    // Its advertising identifier is passed over while that is not allowed.
    std::optional<std::pair<std::string, bool>> legacyPrevUid(bool advertisingAllowed);

    host::Environment& environment_;
    std::mutex heldMutex_;
    bool holding_ = false;
    // Items not in the keychain yet: held, or refused by it; the last one of an account wins.
    Items pending_;
    // Read once, at the first use: items an earlier launch could not write.
    std::optional<KeychainBacklog> backlog_;
    bool backlogKept_ = false;    // the backlog file holds items
    bool refusalLogged_ = false;  // since the last write the keychain took
};

}  // namespace zqb

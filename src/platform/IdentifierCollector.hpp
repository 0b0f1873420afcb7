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
    virtual DeviceUIDs getUIDs() = 0;
    virtual std::optional<std::string> idfv() const = 0;
    virtual std::optional<std::string> idfa() const = 0;
    virtual std::string uuid() = 0;
};

// Reads the advertising and vendor identifiers and keeps the current, previous and custom device ids in the
// keychain, under "<bundle name>-<item name>", so that they outlast the application's data folder.
class IdentifierCollector final : public IdentifierCollectorProtocol {
public:
    static constexpr const char* currentIdKey = "q7r_v2_current_id";
    static constexpr const char* prevIdKey = "q7r_v2_prev_id";
    static constexpr const char* customUdidKey = "q7r_v2_customUdid";
    // Items of the earlier library generation, under the bare item name; only read.
    static constexpr const char* legacyIdfaKey = "q7r_idfa";
    static constexpr const char* legacyIdfvKey = "q7r_idfv";

    explicit IdentifierCollector(host::Environment& environment) : environment_(environment) {}

    bool isAdvertisingTrackingEnabled() const override;
    // The device id in use and the one it replaced; see the rules in the source.
    DeviceUIDs getUIDs() override;
    std::optional<std::string> idfv() const override;
    std::optional<std::string> idfa() const override;
    // The installation's own id: made once, then read back from the keychain.
    std::string uuid() override;

    // Deletes the three items the library writes (current, previous and custom id) to the keychain of
    // `environment`, under the account its application writes them with. A missing item is no error. Backs
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

    static std::optional<std::string> bundleName(host::Environment& environment);
    static std::filesystem::path backlogPath(host::Environment& environment);
    // With `heldMutex_` held.
    Items& pendingNoLock();
    void writePendingNoLock();
    std::optional<std::string> getSavedUID(const std::string& appName, const std::string& account);
    void setSavedUID(const std::string& uid, const std::string& appName, const std::string& account);
    std::optional<std::string> getOlderSavedUID(const std::string& account);
    std::optional<std::string> tryMigratePrevUid(const std::string& appName, const std::string& account);

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

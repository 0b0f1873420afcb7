#include "platform/IdentifierCollector.hpp"

#include "database/SQLiteProvider.hpp"
#include "foundation/Logger.hpp"
#include "foundation/TextUtils.hpp"
#include "host/Environment.hpp"
#include "platform/KeychainStore.hpp"
#include "platform/TrackingHelper.hpp"

#include <algorithm>
#include <string>

namespace zqb {

namespace {

std::string account(const std::string& appName, const std::string& item) {
    return appName + "-" + item;
}

}  // namespace

bool IdentifierCollector::isAdvertisingTrackingEnabled() const {
    const auto advertising = environment_.advertising();
    // A host with a tracking-authorisation prompt answers through it; one without keeps the older flag.
    if (advertising->trackingAuthorizationStatus()) {
        return TrackingHelper(environment_).trackingStatus();
    }
    return advertising->isAdvertisingTrackingEnabled();
}

std::optional<std::string> IdentifierCollector::idfv() const {
    return environment_.device()->identifierForVendor();
}

std::optional<std::string> IdentifierCollector::idfa() const {
    auto identifier = environment_.advertising()->advertisingIdentifier();
    if (!identifier) {
        return std::nullopt;
    }
    // The all-zero identifier stands for "no identifier".
    if (identifier->find_first_not_of("0-") == std::string::npos) {
        return std::nullopt;
    }
    return identifier;
}

std::optional<std::string> IdentifierCollector::bundleName(host::Environment& environment) {
    std::string name = environment.bundle()->info().name;
    if (name.empty()) {
        return std::nullopt;
    }
    return name;
}

std::filesystem::path IdentifierCollector::backlogPath(host::Environment& environment) {
    const std::filesystem::path support = environment.files()->applicationSupportDirectory();
    return support.empty() ? support : support / SQLiteProvider::folderName / "keychain-backlog.json";
}

IdentifierCollector::Items& IdentifierCollector::pendingNoLock() {
    if (!backlog_) {
        backlog_.emplace(backlogPath(environment_));
        pending_ = backlog_->load();
        backlogKept_ = !pending_.empty();
    }
    return pending_;
}

std::optional<std::string> IdentifierCollector::getSavedUID(const std::string& appName,
                                                            const std::string& item) {
    const std::string key = account(appName, item);
    {
        std::lock_guard lock(heldMutex_);
        for (const auto& [pendingKey, value] : pendingNoLock()) {
            if (pendingKey == key) {
                return value;
            }
        }
    }
    return KeychainStore(environment_.keychain(), "").get(key);
}

void IdentifierCollector::setSavedUID(const std::string& uid, const std::string& appName,
                                      const std::string& item) {
    std::lock_guard lock(heldMutex_);
    const std::string key = account(appName, item);
    Items& pending = pendingNoLock();
    const auto same =
        std::find_if(pending.begin(), pending.end(), [&](const auto& entry) { return entry.first == key; });
    if (same != pending.end()) {
        same->second = uid;
    } else {
        pending.emplace_back(key, uid);
    }
    if (!holding_) {
        writePendingNoLock();
    }
}

void IdentifierCollector::holdWrites() {
    std::lock_guard lock(heldMutex_);
    holding_ = true;
}

void IdentifierCollector::writeHeldItems() {
    std::lock_guard lock(heldMutex_);
    holding_ = false;
    writePendingNoLock();
}

void IdentifierCollector::writePendingNoLock() {
    Items& pending = pendingNoLock();
    if (pending.empty()) {
        return;
    }
    std::vector<std::pair<std::string, std::string>> valuesAndKeys;
    valuesAndKeys.reserve(pending.size());
    for (const auto& [key, value] : pending) {
        valuesAndKeys.emplace_back(value, key);
    }
    // One write for all: on a new device the current and the custom id would each rewrite the keychain
    // file and wait for the disk twice.
    const auto keychain = environment_.keychain();
    KeychainStore store(keychain, "");
    if (store.setEach(valuesAndKeys)) {
        pending.clear();
        refusalLogged_ = false;
        if (backlogKept_) {
            backlog_->clear();
            backlogKept_ = false;
        }
        return;
    }
    // Kept, not dropped: the keychain is what outlasts a removed data folder, and a launch that finds the
    // installation's id missing there makes another one.
    const bool kept = backlog_->keep(pending);
    backlogKept_ = backlogKept_ || kept;
    if (refusalLogged_) {
        return;
    }
    refusalLogged_ = true;
    Logger::writeLog(
        ZQBLogLevel::error,
        "[Keychain] " + keychain->description() + " refused the device identifiers (status " +
            std::to_string(store.lastResultCode()) + "); they are kept " +
            (kept ? "in " + backlog_->path().string() + " and written at the next change or launch"
                  : "until the next change, and lost if the application ends before it"));
}

std::optional<std::string> IdentifierCollector::getOlderSavedUID(const std::string& item) {
    return KeychainStore(environment_.keychain(), "").get(item);
}

std::optional<std::string> IdentifierCollector::tryMigratePrevUid(const std::string& appName,
                                                                  const std::string& item) {
    auto legacy = getOlderSavedUID(legacyIdfaKey);
    if (!legacy) {
        legacy = getOlderSavedUID(legacyIdfvKey);
    }
    if (!legacy) {
        return std::nullopt;
    }
    // The earlier generation stored "<id>:<more>"; the id is the text before the first ":".
    std::string id = legacy->substr(0, legacy->find(':'));
    setSavedUID(id, appName, item);
    return id;
}

DeviceUIDs IdentifierCollector::getUIDs() {
    const std::string fresh = text::uuidString();
    std::string candidate = fresh;
    if (auto advertisingId = idfa(); advertisingId && !advertisingId->empty()) {
        candidate = *advertisingId;
    } else if (auto vendorId = idfv()) {
        candidate = *vendorId;
    }

    const auto appName = bundleName(environment_);
    if (!appName) {
        return {fresh, std::nullopt};
    }

    const auto stored = getSavedUID(*appName, currentIdKey);
    if (stored && !stored->empty()) {
        if (*stored != candidate) {
            // The id changed: the replaced one becomes the previous id.
            setSavedUID(*stored, *appName, prevIdKey);
            setSavedUID(candidate, *appName, currentIdKey);
            return {candidate, *stored};
        }
    } else {
        setSavedUID(candidate, *appName, currentIdKey);
    }

    if (auto prev = getSavedUID(*appName, prevIdKey)) {
        return {candidate, *prev};
    }
    auto migrated = tryMigratePrevUid(*appName, prevIdKey);
    if (migrated == candidate) {
        return {candidate, std::nullopt};
    }
    return {candidate, migrated};
}

std::string IdentifierCollector::uuid() {
    const auto appName = bundleName(environment_);
    if (!appName) {
        return text::uuidString();
    }
    if (auto saved = getSavedUID(*appName, customUdidKey)) {
        return *saved;
    }
    std::string created = text::uuidString();
    setSavedUID(created, *appName, customUdidKey);
    return created;
}

void IdentifierCollector::deleteSavedIdentifiers(host::Environment& environment) {
    const auto appName = bundleName(environment);
    if (!appName) {
        return;  // without a bundle name nothing was ever stored
    }
    KeychainStore store(environment.keychain(), "");
    for (const char* item : {currentIdKey, prevIdKey, customUdidKey}) {
        store.remove(account(*appName, item));
    }
    // Refused items an earlier launch kept would bring them back.
    KeychainBacklog(backlogPath(environment)).clear();
}

}  // namespace zqb

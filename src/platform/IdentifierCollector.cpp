#include "platform/IdentifierCollector.hpp"

#include "database/SQLiteProvider.hpp"
#include "foundation/Logger.hpp"
#include "foundation/TextUtils.hpp"
#include "host/Environment.hpp"
#include "platform/KeychainStore.hpp"
#include "platform/TrackingHelper.hpp"

#include <algorithm>
#include <string>
#include <string_view>

namespace zqb {

namespace {

std::string account(const std::string& appName, const std::string& item) {
    return appName + "-" + item;
}

constexpr std::string_view kCurrentMark = "current";
constexpr std::string_view kPrevMark = "prev";

// Which of the current and previous items hold an advertising identifier.
struct AdvertisingMarks {
    bool current = false;
    bool prev = false;

    bool operator==(const AdvertisingMarks&) const = default;

    // Names it does not know are passed over: a later version may add some.
    static AdvertisingMarks read(const std::optional<std::string>& text) {
        AdvertisingMarks marks;
        if (!text) {
            return marks;
        }
        std::string_view rest = *text;
        while (!rest.empty()) {
            const auto comma = rest.find(',');
            const std::string_view name = rest.substr(0, comma);
            marks.current = marks.current || name == kCurrentMark;
            marks.prev = marks.prev || name == kPrevMark;
            rest = comma == std::string_view::npos ? std::string_view() : rest.substr(comma + 1);
        }
        return marks;
    }

    std::string text() const {
        std::string text(current ? kCurrentMark : std::string_view());
        if (prev) {
            text += (text.empty() ? "" : ",") + std::string(kPrevMark);
        }
        return text;
    }
};

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
    saveItems(appName, {{item.c_str(), uid}});
}

void IdentifierCollector::saveItems(const std::string& appName, const Changes& changes) {
    if (changes.empty()) {
        return;
    }
    std::lock_guard lock(heldMutex_);
    Items& pending = pendingNoLock();
    for (const auto& [item, value] : changes) {
        const std::string key = account(appName, item);
        const auto same = std::find_if(pending.begin(), pending.end(),
                                       [&](const auto& entry) { return entry.first == key; });
        if (same != pending.end()) {
            same->second = value;
        } else {
            pending.emplace_back(key, value);
        }
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
    // One write for all: on a new device the current and the custom id would each rewrite the keychain
    // file and wait for the disk twice.
    const auto keychain = environment_.keychain();
    KeychainStore store(keychain, "");
    if (store.writeEach(pending)) {
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

std::optional<std::pair<std::string, bool>> IdentifierCollector::legacyPrevUid(bool advertisingAllowed) {
    bool advertising = advertisingAllowed;
    auto legacy = advertising ? getOlderSavedUID(legacyIdfaKey) : std::nullopt;
    if (!legacy) {
        advertising = false;
        legacy = getOlderSavedUID(legacyIdfvKey);
    }
    if (!legacy) {
        return std::nullopt;
    }
    // The earlier generation stored "<id>:<more>"; the id is the text before the first ":".
    return std::pair{legacy->substr(0, legacy->find(':')), advertising};
}

// The candidate is the advertising identifier while it is allowed, else the vendor identifier, else a fresh
// UUID. A stored current id that differs from it becomes the previous id, unless it was an advertising
// identifier that is no longer allowed: then the change has no previous id. Without a previous item, the
// earlier generation's id becomes the previous id. The changes of one call reach the keychain in one write,
// the marks of the advertising identifiers with them.
DeviceUIDs IdentifierCollector::getUIDs(bool advertisingAllowed) {
    const std::string fresh = text::uuidString();
    std::string candidate = fresh;
    bool candidateIsAdvertising = false;
    if (auto advertisingId = advertisingAllowed ? idfa() : std::nullopt;
        advertisingId && !advertisingId->empty()) {
        candidate = *advertisingId;
        candidateIsAdvertising = true;
    } else if (auto vendorId = idfv()) {
        candidate = *vendorId;
    }

    const auto appName = bundleName(environment_);
    if (!appName) {
        return {fresh, std::nullopt};
    }

    const auto storedMarks = getSavedUID(*appName, advertisingIdsKey);
    const AdvertisingMarks kept = AdvertisingMarks::read(storedMarks);
    Changes changes;
    // Saves the changes with the marks of what the items hold then, and answers `result`.
    const auto finish = [&](DeviceUIDs result, AdvertisingMarks marks) {
        // A device that never had an advertising identifier gets no marks item.
        if (marks != kept || (!storedMarks && marks != AdvertisingMarks{})) {
            changes.emplace_back(advertisingIdsKey, marks.text());
        }
        saveItems(*appName, changes);
        return result;
    };

    const auto stored = getSavedUID(*appName, currentIdKey);
    if (stored && !stored->empty()) {
        if (*stored != candidate) {
            if (kept.current && !advertisingAllowed) {
                // Nothing of the withdrawn identifier stays, and the id it had replaced goes with it.
                changes.emplace_back(prevIdKey, std::nullopt);
                changes.emplace_back(currentIdKey, candidate);
                return finish({candidate, std::nullopt, candidateIsAdvertising, false},
                              {candidateIsAdvertising, false});
            }
            // The id changed: the replaced one becomes the previous id.
            changes.emplace_back(prevIdKey, *stored);
            changes.emplace_back(currentIdKey, candidate);
            return finish({candidate, *stored, candidateIsAdvertising, kept.current},
                          {candidateIsAdvertising, kept.current});
        }
    } else {
        changes.emplace_back(currentIdKey, candidate);
    }

    if (auto prev = getSavedUID(*appName, prevIdKey)) {
        if (!kept.prev || advertisingAllowed) {
            return finish({candidate, *prev, candidateIsAdvertising, kept.prev},
                          {candidateIsAdvertising, kept.prev});
        }
        changes.emplace_back(prevIdKey, std::nullopt);
    }
    const auto migrated = legacyPrevUid(advertisingAllowed);
    if (!migrated) {
        return finish({candidate, std::nullopt, candidateIsAdvertising, false},
                      {candidateIsAdvertising, false});
    }
    const auto& [migratedId, migratedIsAdvertising] = *migrated;
    changes.emplace_back(prevIdKey, migratedId);
    const AdvertisingMarks marks{candidateIsAdvertising, migratedIsAdvertising};
    if (migratedId == candidate) {
        // Kept, and reported from the next launch on.
        return finish({candidate, std::nullopt, candidateIsAdvertising, false}, marks);
    }
    return finish({candidate, migratedId, candidateIsAdvertising, migratedIsAdvertising}, marks);
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
    for (const char* item : {currentIdKey, prevIdKey, customUdidKey, advertisingIdsKey}) {
        store.remove(account(*appName, item));
    }
    // Refused items an earlier launch kept would bring them back.
    KeychainBacklog(backlogPath(environment)).clear();
}

}  // namespace zqb

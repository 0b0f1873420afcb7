#include "core/StoredAdvertisingIds.hpp"

#include "database/DatabaseProtocol.hpp"
#include "model/EventObject.hpp"
#include "repositories/EventRepository.hpp"
#include "repositories/IdentifiersRepository.hpp"
#include "repositories/ReportsRepository.hpp"
#include "repositories/ToolsRepository.hpp"
#include "repositories/UserRepository.hpp"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <string_view>

namespace zqb {
namespace {

constexpr std::string_view kDeviceIdentifier = "deviceIdentifier";
constexpr std::string_view kPreviousDeviceIdentifier = "previousDeviceIdentifier";
constexpr std::string_view kDeviceEventCode = "di";
constexpr std::string_view kAdvertisingKey = "\"idfa\"";

std::string marksKey(int64_t projectId) {
    return "advertisingIds." + std::to_string(projectId);
}

// The device event in `text` without its advertising identifier; nothing when it has none (or does not
// read, which no text the library stored does).
std::optional<std::string> withoutAdvertisingId(const std::string& text) {
    if (text.find(kAdvertisingKey) == std::string::npos) {
        return std::nullopt;
    }
    auto json = nlohmann::ordered_json::parse(text, nullptr, false);
    if (!json.is_object() || !json.contains("code") || json["code"] != kDeviceEventCode ||
        !json.contains("idfa")) {
        return std::nullopt;
    }
    json.erase("idfa");
    // Sent without an advertising identifier, as the device events made once it is not allowed.
    json["isLimitAdTrackingEnabled"] = true;
    try {
        return json.dump();
    } catch (const nlohmann::json::exception&) {
        return std::nullopt;
    }
}

}  // namespace

StoredAdvertisingIds::StoredAdvertisingIds(std::shared_ptr<IdentifiersRepository> identifiersRepository,
                                           std::shared_ptr<ToolsRepository> toolsRepository,
                                           std::shared_ptr<UserRepository> userRepository,
                                           std::shared_ptr<EventRepository> eventRepository,
                                           std::shared_ptr<ReportsRepository> reportsRepository,
                                           std::shared_ptr<DatabaseProtocol> database)
    : identifiersRepository_(std::move(identifiersRepository)),
      toolsRepository_(std::move(toolsRepository)),
      userRepository_(std::move(userRepository)),
      eventRepository_(std::move(eventRepository)),
      reportsRepository_(std::move(reportsRepository)),
      database_(std::move(database)) {}

StoredAdvertisingIds::Marks StoredAdvertisingIds::marksOf(int64_t projectId) {
    Marks marks;
    const auto rows = toolsRepository_->list();
    if (rows.empty()) {
        return marks;
    }
    const auto value = rows.front()->getMetadataByKey(marksKey(projectId));
    const auto text = value ? value->toString() : std::nullopt;
    std::string_view rest = text ? std::string_view(*text) : std::string_view();
    while (!rest.empty()) {
        const auto comma = rest.find(',');
        const std::string_view name = rest.substr(0, comma);
        marks.deviceIdentifier = marks.deviceIdentifier || name == kDeviceIdentifier;
        marks.previousDeviceIdentifier = marks.previousDeviceIdentifier || name == kPreviousDeviceIdentifier;
        rest = comma == std::string_view::npos ? std::string_view() : rest.substr(comma + 1);
    }
    return marks;
}

void StoredAdvertisingIds::mark(int64_t projectId, const Marks& marks) {
    if (marksOf(projectId) == marks) {
        return;
    }
    std::string text(marks.deviceIdentifier ? kDeviceIdentifier : std::string_view());
    if (marks.previousDeviceIdentifier) {
        text += (text.empty() ? "" : ",") + std::string(kPreviousDeviceIdentifier);
    }
    const auto rows = toolsRepository_->list();
    if (rows.empty()) {
        auto tools = std::make_shared<SdkTools>();
        tools->setMetadataByKey(marksKey(projectId), PeopleValueType(text));
        toolsRepository_->insert(tools);
        return;
    }
    const auto& tools = rows.front();
    if (text.empty()) {
        tools->removeMetadataByKey(marksKey(projectId));
    } else {
        tools->setMetadataByKey(marksKey(projectId), PeopleValueType(text));
    }
    toolsRepository_->update(tools);
}

void StoredAdvertisingIds::removeWithdrawn(const std::string& deviceId) {
    // The bodies first: they are found without the marks, which go last, so that an end of the process on
    // the way leaves the marks to find what is left at the next start.
    bool removed = stripStoredEvents();
    removed = stripStoredReports() || removed;
    for (const auto& row : identifiersRepository_->list()) {
        const Marks marks = marksOf(row->projectId);
        if (marks == Marks{}) {
            continue;
        }
        // The device id in use now is none, whatever a mark left by an interrupted change says.
        const bool deviceIdWithdrawn = marks.deviceIdentifier && row->deviceIdentifier != deviceId;
        const bool previousWithdrawn = marks.previousDeviceIdentifier && row->previousDeviceIdentifier &&
                                       row->previousDeviceIdentifier != deviceId;
        if (!deviceIdWithdrawn && !previousWithdrawn) {
            mark(row->projectId, {});
            continue;
        }
        std::vector<std::string> withdrawn;
        if (deviceIdWithdrawn) {
            withdrawn.push_back(row->deviceIdentifier);
        }
        if (previousWithdrawn) {
            withdrawn.push_back(*row->previousDeviceIdentifier);
        }
        removeFromUsers(row->projectId, withdrawn, deviceId);
        if (deviceIdWithdrawn) {
            // A change of the device id, with no previous id.
            row->deviceIdentifier = deviceId;
            row->vorantelId.reset();
            row->crossPlatformVorantelId.reset();
            row->vorantelIdTimestamp.reset();
        }
        row->previousDeviceIdentifier.reset();
        if (identifiersRepository_->update(row)) {
            mark(row->projectId, {});
            removed = true;
        }
    }
    if (removed) {
        database_->eraseDeletedContent();
    }
}

void StoredAdvertisingIds::removeFromUsers(int64_t projectId, const std::vector<std::string>& withdrawn,
                                           const std::string& deviceId) {
    const auto isWithdrawn = [&](const std::optional<std::string>& id) {
        return id && std::find(withdrawn.begin(), withdrawn.end(), *id) != withdrawn.end();
    };
    const auto users = userRepository_->list();
    const bool deviceIdTaken = std::any_of(users.begin(), users.end(), [&](const auto& user) {
        return user->projectId == projectId && user->userId == deviceId;
    });
    for (const auto& user : users) {
        if (user->projectId != projectId) {
            continue;
        }
        bool changed = false;
        if (isWithdrawn(user->previousUserId)) {
            user->previousUserId.reset();
            changed = true;
        }
        if (user->isDefaultUser && isWithdrawn(user->userId)) {
            // Two users of a project never share an id; one left without an id is named again when it is
            // next the default user.
            user->userId = deviceIdTaken ? std::nullopt : std::optional<std::string>(deviceId);
            user->previousUserId.reset();
            changed = true;
        }
        if (changed) {
            userRepository_->update(user);
        }
    }
}

bool StoredAdvertisingIds::stripStoredEvents() {
    bool changed = false;
    for (const auto& event : eventRepository_->list()) {
        if (event->code() != kDeviceEventCode) {
            continue;
        }
        if (const auto text = withoutAdvertisingId(event->json())) {
            changed = eventRepository_->update(
                          EventObject::make(event->code(), event->idKey, event->userId, *text)) ||
                      changed;
        }
    }
    return changed;
}

bool StoredAdvertisingIds::stripStoredReports() {
    bool changed = false;
    for (const auto& report : reportsRepository_->list()) {
        if (report->packagesJson && report->packagesJson->find(kAdvertisingKey) == std::string::npos) {
            continue;
        }
        auto packages = report->packages;
        bool stripped = false;
        for (auto& package : packages) {
            if (!package.events) {
                continue;
            }
            for (auto& event : *package.events) {
                if (auto text = withoutAdvertisingId(event)) {
                    event = std::move(*text);
                    stripped = true;
                }
            }
        }
        if (!stripped) {
            continue;
        }
        // A new object: the one in the cache may be on its way to the gateway, and its packages are not
        // written once it is stored.
        auto replacement = std::make_shared<Report>(std::move(packages));
        replacement->idKey = report->idKey;
        replacement->userId = report->userId;
        replacement->uuid = report->uuid;
        changed = reportsRepository_->update(replacement) || changed;
    }
    return changed;
}

}  // namespace zqb

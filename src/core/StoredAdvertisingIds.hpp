#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace zqb {

class DatabaseProtocol;
class EventRepository;
class IdentifiersRepository;
class ReportsRepository;
class ToolsRepository;
class UserRepository;

// What the database keeps of advertising identifiers: which stored device ids are one, and their removal
// once the user no longer allows them.
//
// After a refusal the platform gives the all-zero identifier, so a stored id cannot be recognised by its
// value. The columns of a project's device-identifier row that hold an advertising identifier are marked
// in the library's bookkeeping row instead, under "advertisingIds.<project row id>" (the column names,
// joined by ","); rows kept before the marks existed count as holding none.
class StoredAdvertisingIds {
public:
    struct Marks {
        bool deviceIdentifier = false;
        bool previousDeviceIdentifier = false;

        bool operator==(const Marks&) const = default;
    };

    StoredAdvertisingIds(std::shared_ptr<IdentifiersRepository> identifiersRepository,
                         std::shared_ptr<ToolsRepository> toolsRepository,
                         std::shared_ptr<UserRepository> userRepository,
                         std::shared_ptr<EventRepository> eventRepository,
                         std::shared_ptr<ReportsRepository> reportsRepository,
                         std::shared_ptr<DatabaseProtocol> database);

    Marks marksOf(int64_t projectId);
    // Written only when they change.
    void mark(int64_t projectId, const Marks& marks);

    // For a device whose user no longer allows the advertising identifier, whose device id is now
    // `deviceId`: no row, user, stored device event or stored report keeps an advertising identifier, and
    // the file keeps nothing of what was removed. A row whose device id was one takes `deviceId` with no
    // previous id (and without the gateway's numbers, as at any change of the device id); its previous id,
    // when it was one, is dropped. Users named after a removed id lose that name: a previous user id that
    // was one is dropped, and a default user (named after the device id) takes `deviceId`. The device
    // events waiting to be sent lose their "idfa", and say "isLimitAdTrackingEnabled" true.
    void removeWithdrawn(const std::string& deviceId);

private:
    // Whether anything changed.
    bool stripStoredEvents();
    bool stripStoredReports();
    void removeFromUsers(int64_t projectId, const std::vector<std::string>& withdrawn,
                         const std::string& deviceId);

    const std::shared_ptr<IdentifiersRepository> identifiersRepository_;
    const std::shared_ptr<ToolsRepository> toolsRepository_;
    const std::shared_ptr<UserRepository> userRepository_;
    const std::shared_ptr<EventRepository> eventRepository_;
    const std::shared_ptr<ReportsRepository> reportsRepository_;
    const std::shared_ptr<DatabaseProtocol> database_;
};

}  // namespace zqb

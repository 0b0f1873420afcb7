#include "repositories/EventRepository.hpp"

namespace zqb {

EventRepository::EventRepository(std::shared_ptr<DatabaseProtocol> database)
    : Repository(std::move(database), table) {}

ColumnMap EventRepository::prepareContentValues(const EventObject& event) {
    return {{"code", SQLiteValue(event.code)},
            {"userId", SQLiteValue(event.userId)},
            {"eventJson", SQLiteValue(event.json)}};
}

void EventRepository::insert(const std::shared_ptr<EventObject>& event) {
    if (event) {
        insertRecord(event, prepareContentValues(*event));
    }
}

void EventRepository::deleteItems(const std::vector<std::shared_ptr<EventObject>>& events) {
    std::vector<int64_t> ids;
    ids.reserve(events.size());
    for (const auto& event : events) {
        if (event) {
            ids.push_back(event->idKey);
        }
    }
    deleteIds(ids, ",");
}

void EventRepository::deleteForDataForUsers(const std::vector<int64_t>& userIds) {
    deleteForUsers(userIds);
}

void EventRepository::clear() {
    clearTable();
}

}  // namespace zqb

#pragma once

#include "model/EventObject.hpp"
#include "repositories/Repository.hpp"

namespace zqb {

// The table "events": every recorded event until it is packed into a report.
class EventRepository : public Repository<EventObject> {
public:
    static constexpr const char* table = "events";

    explicit EventRepository(std::shared_ptr<DatabaseProtocol> database);

    // On success the event gets its row id and joins the cache.
    virtual void insert(const std::shared_ptr<EventObject>& event);
    virtual void deleteItems(const std::vector<std::shared_ptr<EventObject>>& events);
    // Every event of these users (their idKey).
    virtual void deleteForDataForUsers(const std::vector<int64_t>& userIds);
    virtual void clear();

    static ColumnMap prepareContentValues(const EventObject& event);
};

}  // namespace zqb

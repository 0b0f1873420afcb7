#pragma once

#include "model/EventObject.hpp"
#include "repositories/Repository.hpp"

#include <cstddef>
#include <cstdint>
#include <string>
#include <unordered_map>

namespace zqb {

// The table "events": every recorded event until it is packed into a report.
class EventRepository : public Repository<EventObject, EventObject, MappedAllocator> {
public:
    static constexpr const char* table = "events";

    explicit EventRepository(std::shared_ptr<DatabaseProtocol> database);

    // On success the event gets its row id and joins the cache.
    virtual void insert(const std::shared_ptr<EventObject>& event);
    // The same, the row storing `json`, the text `event` was made from: an event stored as it is recorded
    // goes to the file as written, without expanding the compact form its cached row keeps.
    virtual void insert(const std::shared_ptr<EventObject>& event, std::string json);
    // Writes the row of `event`'s idKey from it, and puts it in the place of the cached event with that
    // idKey: an event's text is fixed once made, so a changed event is a new object. Whether it was written.
    virtual bool update(const std::shared_ptr<EventObject>& event);
    virtual bool deleteItems(const Cache& events);
    // Every event of these users (their idKey).
    virtual bool deleteForDataForUsers(const std::vector<int64_t>& userIds);
    virtual bool clear();

    // The number of cached events of this user (their `userId`), the cache being loaded first when it is
    // empty: once loaded, that is the user's rows in the table. Asked after every stored event, so the
    // counts are kept per user as this repository changes its cache instead of walking the whole table
    // each time; any other change of the cache (a load, or a caller's change through `cache()`) is noticed
    // and the counts are taken afresh. A caller that changes the `userId` of a cached event must not rely
    // on it.
    int64_t countForUser(int64_t userId);

    static ColumnMap prepareContentValues(const EventObject& event);

private:
    static ColumnMap prepareContentValues(const EventObject& event, std::string json);
    // The columns of a row, without values.
    static ColumnMap columns();
    // Puts the values of `event`'s row into `row`, which holds `columns()`.
    static void putValues(ColumnMap& row, const EventObject& event, std::string json);

    // The row being inserted, its columns kept from one insert to the next: every stored event is one
    // insert, and making the column names afresh for each was most of what the repository added to it.
    // Between inserts it holds no text.
    ColumnMap row_ = columns();

    // True when the counts describe the cache as it is; otherwise they are taken again when next asked.
    bool countsInStep() const { return countsValid_ && counted_ == cache().size(); }
    void recount();
    void uncount(int64_t userId, int64_t amount);

    std::unordered_map<int64_t, int64_t> countsByUser_;
    // The number of cached events the counts cover.
    std::size_t counted_ = 0;
    bool countsValid_ = true;
};

}  // namespace zqb

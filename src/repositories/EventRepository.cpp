#include "repositories/EventRepository.hpp"

#include <unordered_set>

namespace zqb {

EventRepository::EventRepository(std::shared_ptr<DatabaseProtocol> database)
    : Repository(std::move(database), table) {}

ColumnMap EventRepository::prepareContentValues(const EventObject& event) {
    return prepareContentValues(event, event.json());
}

ColumnMap EventRepository::prepareContentValues(const EventObject& event, std::string json) {
    ColumnMap content = columns();
    putValues(content, event, std::move(json));
    return content;
}

ColumnMap EventRepository::columns() {
    ColumnMap content;
    content.reserve(3);
    content.emplace_back("code", std::nullopt);
    content.emplace_back("userId", std::nullopt);
    content.emplace_back("eventJson", std::nullopt);
    return content;
}

void EventRepository::putValues(ColumnMap& row, const EventObject& event, std::string json) {
    // Moved in place: a list would copy the text once more.
    row[0].second = SQLiteValue(std::string(event.code()));
    row[1].second = SQLiteValue(event.userId);
    row[2].second = SQLiteValue(std::move(json));
}

bool EventRepository::update(const std::shared_ptr<EventObject>& event) {
    if (!event) {
        return false;
    }
    // The cached object is not changed on the way, so a refused write leaves nothing to read back.
    const auto changed =
        database()->update(tableName(), prepareContentValues(*event), "id=?", {SQLiteValue(event->idKey)});
    if (!changed || *changed == 0) {
        return false;
    }
    for (auto& cached : cache()) {
        if (cached->idKey == event->idKey) {
            cached = event;
            break;
        }
    }
    return true;
}

void EventRepository::insert(const std::shared_ptr<EventObject>& event) {
    if (event) {
        insert(event, event->json());
    }
}

void EventRepository::insert(const std::shared_ptr<EventObject>& event, std::string json) {
    if (!event) {
        return;
    }
    const std::size_t before = cache().size();
    const bool inStep = countsInStep();
    putValues(row_, *event, std::move(json));
    insertRecord(event, row_);
    row_[2].second.reset();  // the text, last of `columns()`
    if (cache().size() == before) {
        return;
    }
    // An empty cache is loaded by the insert: the rows it brings are counted when next asked.
    if (inStep && before > 0 && cache().size() == before + 1) {
        ++countsByUser_[event->userId];
        ++counted_;
    } else {
        countsValid_ = false;
    }
}

bool EventRepository::deleteItems(const Cache& events) {
    MappedVector<int64_t> ids;
    ids.reserve(events.size());
    for (const auto& event : events) {
        if (event) {
            ids.push_back(event->idKey);
        }
    }
    if (ids.empty()) {
        return true;
    }
    if (!countsInStep()) {
        countsValid_ = false;
        return deleteIds(ids);
    }
    return deleteIds(ids, [this](const std::shared_ptr<EventObject>& erased) { uncount(erased->userId, 1); });
}

bool EventRepository::deleteForDataForUsers(const std::vector<int64_t>& userIds) {
    const bool inStep = countsInStep();
    if (!deleteForUsers(userIds)) {
        return false;
    }
    if (!inStep) {
        countsValid_ = false;
        return true;
    }
    for (const int64_t userId : std::unordered_set<int64_t>(userIds.begin(), userIds.end())) {
        if (const auto found = countsByUser_.find(userId); found != countsByUser_.end()) {
            uncount(userId, found->second);
        }
    }
    return true;
}

bool EventRepository::clear() {
    if (!clearTable()) {
        return false;
    }
    countsByUser_.clear();
    counted_ = 0;
    countsValid_ = true;
    return true;
}

int64_t EventRepository::countForUser(int64_t userId) {
    if (cache().empty()) {
        list();
    }
    if (!countsInStep()) {
        recount();
    }
    const auto found = countsByUser_.find(userId);
    return found != countsByUser_.end() ? found->second : 0;
}

void EventRepository::recount() {
    countsByUser_.clear();
    for (const auto& cached : cache()) {
        ++countsByUser_[cached->userId];
    }
    counted_ = cache().size();
    countsValid_ = true;
}

void EventRepository::uncount(int64_t userId, int64_t amount) {
    const auto found = countsByUser_.find(userId);
    if (found == countsByUser_.end()) {
        return;
    }
    found->second -= amount;
    counted_ -= static_cast<std::size_t>(amount);
    if (found->second <= 0) {
        countsByUser_.erase(found);
    }
}

}  // namespace zqb

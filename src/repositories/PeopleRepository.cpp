#include "repositories/PeopleRepository.hpp"

namespace zqb {

PeopleRepository::PeopleRepository(std::shared_ptr<DatabaseProtocol> database)
    : Repository(std::move(database), table) {}

ColumnMap PeopleRepository::prepareContentValues(const PeopleCard& card) {
    return {{"userId", SQLiteValue(card.userId)},
            {"json", SQLiteValue(card.json)},
            {"updated", sqliteBool(card.updated)},
            {"cleared", sqliteBool(card.cleared)},
            {"changedKeys", SQLiteValue(PeopleCard::changedKeysText(card.changedKeys))}};
}

void PeopleRepository::insert(const std::shared_ptr<PeopleCard>& card) {
    if (card) {
        insertRecord(card, prepareContentValues(*card));
    }
}

bool PeopleRepository::update(const std::shared_ptr<PeopleCard>& card) {
    return card && updateRecord(card, prepareContentValues(*card), true);
}

bool PeopleRepository::deleteForDataForUsers(const std::vector<int64_t>& userIds) {
    return deleteForUsers(userIds);
}

}  // namespace zqb

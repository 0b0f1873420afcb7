#pragma once

#include "model/PeopleCard.hpp"
#include "repositories/Repository.hpp"

namespace zqb {

// The table "peopleCards": the user card of every user.
class PeopleRepository : public Repository<PeopleCard> {
public:
    static constexpr const char* table = "peopleCards";

    explicit PeopleRepository(std::shared_ptr<DatabaseProtocol> database);

    virtual void insert(const std::shared_ptr<PeopleCard>& card);
    // Every column is written, then the given object takes the place of the cached card with its idKey.
    virtual bool update(const std::shared_ptr<PeopleCard>& card);
    // The cards of these users (their idKey).
    virtual bool deleteForDataForUsers(const std::vector<int64_t>& userIds);

    // "json" is the card's text as it holds it; the parsed properties are not written.
    static ColumnMap prepareContentValues(const PeopleCard& card);
};

}  // namespace zqb

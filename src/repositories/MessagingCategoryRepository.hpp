#pragma once

#include "backend/MessagingCategory.hpp"
#include "repositories/Repository.hpp"

#include <optional>

namespace zqb {

// Reads a row of "messagingCategory": 0 id, 1 identifier, 2 buttons, all required; a row whose buttons
// text is not a JSON array of buttons gives nothing.
struct MessagingCategoryRow {
    static std::optional<MessagingCategory> fromRow(const SQLiteRow& row);
};

// The table "messagingCategory": the push categories received from the gateway. The messaging service
// inserts categories itself, through `database()` and `cache()` with this column map.
class MessagingCategoryRepository : public Repository<MessagingCategory, MessagingCategoryRow> {
public:
    static constexpr const char* table = "messagingCategory";

    explicit MessagingCategoryRepository(std::shared_ptr<DatabaseProtocol> database);

    virtual bool deleteItems(const std::vector<MessagingCategory>& categories);

    // "identifier" and "buttons", the buttons as a compact JSON array ("" when they cannot be encoded).
    static ColumnMap prepareContentValues(const MessagingCategory& category);
};

}  // namespace zqb

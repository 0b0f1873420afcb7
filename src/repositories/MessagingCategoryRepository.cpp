#include "repositories/MessagingCategoryRepository.hpp"

#include "model/JsonText.hpp"

namespace zqb {

std::optional<MessagingCategory> MessagingCategoryRow::fromRow(const SQLiteRow& row) {
    const auto idKey = rowInteger(row, 0);
    auto identifier = rowText(row, 1);
    const auto buttons = rowText(row, 2);
    if (!idKey || !identifier || !buttons) {
        return std::nullopt;
    }
    MessagingCategory category;
    category.idKey = *idKey;
    category.id = std::move(*identifier);
    try {
        category.buttons = MessagingCategory::buttonsFromJson(JsonText::parse(*buttons));
    } catch (const std::exception&) {
        return std::nullopt;
    }
    return category;
}

MessagingCategoryRepository::MessagingCategoryRepository(std::shared_ptr<DatabaseProtocol> database)
    : Repository(std::move(database), table) {}

ColumnMap MessagingCategoryRepository::prepareContentValues(const MessagingCategory& category) {
    return {{"identifier", SQLiteValue(category.id)},
            {"buttons", SQLiteValue(toJSONData(category.buttons).value_or(std::string()))}};
}

bool MessagingCategoryRepository::deleteItems(const std::vector<MessagingCategory>& categories) {
    return deleteIds(idsOf(categories));
}

}  // namespace zqb

#include "model/LevelResource.hpp"

#include "foundation/TextUtils.hpp"

namespace zqb {

std::optional<LevelResourceType> levelResourceTypeFromRawValue(int64_t raw) {
    switch (raw) {
        case 0:
            return LevelResourceType::earned;
        case 1:
            return LevelResourceType::bought;
        case 2:
            return LevelResourceType::spent;
        default:
            return std::nullopt;
    }
}

std::string LevelResource::description() const {
    const char* typeText = type == LevelResourceType::earned   ? "earned"
                           : type == LevelResourceType::bought ? "bought"
                                                               : "spent";
    return "\t userId: " + std::to_string(userId) + ", \n\t type: " + typeText + ", \n\t name: " + name +
           ", \n\t amount: " + std::to_string(amount);
}

std::optional<LevelResource> LevelResource::fromRow(const SQLiteRow& row) {
    const auto id = rowInteger(row, 0);
    const auto userId = rowInteger(row, 1);
    const auto type = rowInteger(row, 2);
    auto name = rowText(row, 3);
    const auto amount = rowInteger(row, 4);
    if (!id || !userId || !type || !name || !amount) {
        return std::nullopt;
    }
    return LevelResource{*id, *userId,
                         levelResourceTypeFromRawValue(*type).value_or(LevelResourceType::earned),
                         std::move(*name), *amount};
}

bool operator==(const LevelResource& a, const LevelResource& b) {
    return a.userId == b.userId && a.type == b.type && text::canonicallyEqual(a.name, b.name);
}

}  // namespace zqb

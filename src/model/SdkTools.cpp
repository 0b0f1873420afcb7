#include "model/SdkTools.hpp"

namespace zqb {

std::optional<PeopleValueType> SdkTools::getMetadataByKey(std::string_view key) const {
    const auto found = properties.find(key);
    if (found == properties.end()) {
        return std::nullopt;
    }
    return found->second;
}

void SdkTools::setMetadataByKey(const std::string& key, PeopleValueType value) {
    properties.insert_or_assign(key, std::move(value));
}

void SdkTools::removeMetadataByKey(std::string_view key) {
    const auto found = properties.find(key);
    if (found != properties.end()) {
        properties.erase(found);
    }
}

std::shared_ptr<SdkTools> SdkTools::fromRow(const SQLiteRow& row) {
    const auto id = rowInteger(row, 0);
    const auto metadata = rowText(row, 1);
    if (!id || !metadata) {
        return nullptr;
    }
    auto tools = std::make_shared<SdkTools>(peopleValuesFromJson(*metadata));
    tools->idKey = *id;
    return tools;
}

}  // namespace zqb

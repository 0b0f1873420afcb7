#include "model/PeopleCard.hpp"

#include <nlohmann/json.hpp>

#include <algorithm>

namespace zqb {
namespace {

std::vector<std::string> splitAtCommas(std::string_view text) {
    std::vector<std::string> parts;
    std::size_t start = 0;
    while (true) {
        const auto comma = text.find(',', start);
        if (comma == std::string_view::npos) {
            parts.emplace_back(text.substr(start));
            return parts;
        }
        parts.emplace_back(text.substr(start, comma - start));
        start = comma + 1;
    }
}

}  // namespace

std::shared_ptr<PeopleCard> PeopleCard::fromRow(const SQLiteRow& row) {
    const auto id = rowInteger(row, 0);
    const auto userId = rowInteger(row, 1);
    auto json = rowText(row, 2);
    if (!id || !userId || !json) {
        return nullptr;
    }
    auto card = std::make_shared<PeopleCard>(*userId);
    card->idKey = *id;
    card->properties = peopleValuesFromJson(*json);
    card->json = std::move(*json);
    card->updated = rowFlag(row, 3);
    card->cleared = rowFlag(row, 4);
    if (const auto changedKeys = rowText(row, 5)) {
        card->changedKeys = changedKeysFromText(*changedKeys);
    }
    return card;
}

std::string PeopleCard::changedKeysText(const std::vector<std::string>& keys) {
    const bool joinable =
        std::none_of(keys.begin(), keys.end(),
                     [](const std::string& key) { return key.find(',') != std::string::npos; }) &&
        (keys.empty() || !keys.front().starts_with('['));
    if (!joinable) {
        // Ill-formed UTF-8 (only a text read from an old file can hold it) is replaced, never thrown on.
        return nlohmann::json(keys).dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
    }
    std::string joined;
    for (std::size_t index = 0; index < keys.size(); ++index) {
        if (index > 0) {
            joined += ',';
        }
        joined += keys[index];
    }
    return joined;
}

std::vector<std::string> PeopleCard::changedKeysFromText(std::string_view text) {
    if (text.starts_with('[')) {
        const auto json = nlohmann::json::parse(text, nullptr, false);
        if (json.is_array() && std::all_of(json.begin(), json.end(),
                                           [](const nlohmann::json& key) { return key.is_string(); })) {
            return json.get<std::vector<std::string>>();
        }
    }
    return splitAtCommas(text);
}

}  // namespace zqb

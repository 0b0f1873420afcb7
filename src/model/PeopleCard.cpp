#include "model/PeopleCard.hpp"

namespace zqb {
namespace {

std::vector<std::string> splitAtCommas(const std::string& text) {
    std::vector<std::string> parts;
    std::size_t start = 0;
    while (true) {
        const auto comma = text.find(',', start);
        if (comma == std::string::npos) {
            parts.push_back(text.substr(start));
            return parts;
        }
        parts.push_back(text.substr(start, comma - start));
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
        card->changedKeys = splitAtCommas(*changedKeys);
    }
    return card;
}

}  // namespace zqb

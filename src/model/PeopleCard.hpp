#pragma once

#include "database/SQLiteValue.hpp"
#include "model/PeopleValueType.hpp"

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace zqb {

// The stored user card of one user (a row of "peopleCards"). Shared between the people repository's cache
// and the people service, which keeps `json` in step with `properties`.
struct PeopleCard {
    // A new, empty card for the user with this idKey.
    explicit PeopleCard(int64_t userId) : userId(userId) {}

    int64_t idKey = -1;
    int64_t userId = -1;
    std::string json;                      // the properties' JSON text; "" for a new card
    PeopleValueMap properties;             // an unset value is the null marker until it has been reported
    std::vector<std::string> changedKeys;  // changed since the last report, each once
    bool updated = false;
    bool cleared = false;

    // Columns: 0 id, 1 userId, 2 json required; 3 updated, 4 cleared flags; 5 changedKeys as
    // `changedKeysFromText` reads it (not text is no keys). Properties keep the Bool, String, Int, Double
    // and null members of the json; a JSON number is never read as a Bool.
    static std::shared_ptr<PeopleCard> fromRow(const SQLiteRow& row);

    // The stored text of a list of changed keys: the keys joined by "," whenever that reads back as the
    // same list, which is the form earlier versions wrote and can read; otherwise (a key holding ",", or a
    // first key that opens with "[") a JSON array of the keys.
    static std::string changedKeysText(const std::vector<std::string>& keys);
    // A text that is a JSON array of strings gives those strings; any other text is split at every ","
    // (an empty text is one empty key).
    static std::vector<std::string> changedKeysFromText(std::string_view text);
};

}  // namespace zqb

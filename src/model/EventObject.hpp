#pragma once

#include "database/SQLiteValue.hpp"
#include "model/JsonSupport.hpp"

#include <nlohmann/json.hpp>

#include <cstdint>
#include <memory>
#include <string>

namespace zqb {

// One row of "events": an event recorded and not yet packed into a report. Shared between the event
// repository's cache and the services.
struct EventObject {
    EventObject(std::string code, int64_t idKey, int64_t userId, std::string json)
        : code(std::move(code)), idKey(idKey), userId(userId), json(std::move(json)) {}

    std::string code;
    int64_t idKey = -1;   // row id; -1 until the repository has inserted the row
    int64_t userId = -1;  // the owning user's idKey
    std::string json;     // the record's JSON text as stored ("" when its encoding failed)

    // Columns: 0 id, 1 code, 2 userId, 3 eventJson; all four required.
    static std::shared_ptr<EventObject> fromRow(const SQLiteRow& row);

    // JSON form {"code","idKey","userId","json"}, all four required when read; throws DecodingError.
    static std::shared_ptr<EventObject> fromJson(const nlohmann::ordered_json& json);
};

void to_json(nlohmann::ordered_json& json, const EventObject& event);

}  // namespace zqb

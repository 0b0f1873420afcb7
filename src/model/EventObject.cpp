#include "model/EventObject.hpp"

#include "model/JsonSupport.hpp"

namespace zqb {

std::shared_ptr<EventObject> EventObject::fromRow(const SQLiteRow& row) {
    const auto id = rowInteger(row, 0);
    auto code = rowText(row, 1);
    const auto userId = rowInteger(row, 2);
    auto json = rowText(row, 3);
    if (!id || !code || !userId || !json) {
        return nullptr;
    }
    return std::make_shared<EventObject>(std::move(*code), *id, *userId, std::move(*json));
}

std::shared_ptr<EventObject> EventObject::fromJson(const nlohmann::ordered_json& json) {
    const auto code = requiredString(json, "code");
    const auto idKey = requiredInteger(json, "idKey");
    const auto userId = requiredInteger(json, "userId");
    return std::make_shared<EventObject>(code, idKey, userId, requiredString(json, "json"));
}

void to_json(nlohmann::ordered_json& json, const EventObject& event) {
    json = nlohmann::ordered_json::object();
    json["code"] = event.code;
    json["idKey"] = event.idKey;
    json["userId"] = event.userId;
    json["json"] = event.json;
}

}  // namespace zqb

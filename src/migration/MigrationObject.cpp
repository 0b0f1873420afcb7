#include "migration/MigrationObject.hpp"

#include "model/AnyCodable.hpp"
#include "model/JsonSupport.hpp"

namespace zqb {
namespace {

using Json = nlohmann::ordered_json;

const Json* member(const Json& object, const char* key) {
    const auto found = object.find(key);
    return found == object.end() || found->is_null() ? nullptr : &*found;
}

std::optional<std::string> optionalString(const Json& object, const char* key) {
    const Json* value = member(object, key);
    if (value == nullptr) {
        return std::nullopt;
    }
    if (!value->is_string()) {
        throw DecodingError(std::string("typeMismatch: expected a string for \"") + key + "\"");
    }
    return value->get<std::string>();
}

std::optional<int64_t> optionalInteger(const Json& object, const char* key) {
    const Json* value = member(object, key);
    if (value == nullptr) {
        return std::nullopt;
    }
    if (const auto number = wholeInt64(*value)) {
        return number;
    }
    throw DecodingError(std::string("typeMismatch: expected an integer for \"") + key + "\"");
}

// A card value as the dynamic JSON value reads it: a boolean, a text, a signed integer or another number.
// Null, lists, maps and integers above the signed range are refused.
std::optional<PeopleValueType> cardValue(const Json& json) {
    if (json.is_null() || json.is_structured()) {
        return std::nullopt;
    }
    AnyCodable value;
    try {
        value = AnyCodable::fromJson(json);
    } catch (const std::exception&) {
        return std::nullopt;
    }
    if (const auto flag = value.boolValue()) {
        return PeopleValueType(*flag);
    }
    if (const auto* text = value.stringValue()) {
        return PeopleValueType(*text);
    }
    if (const auto number = value.signedValue()) {
        return PeopleValueType(*number);
    }
    if (const auto number = value.doubleValue()) {
        return PeopleValueType(*number);
    }
    return std::nullopt;
}

PeopleValueMap userCard(const Json& object) {
    PeopleValueMap card;
    const Json* values = member(object, "userCard");
    if (values == nullptr || !values->is_object()) {
        return card;
    }
    for (const auto& [key, json] : values->items()) {
        if (auto value = cardValue(json)) {
            card.insert_or_assign(key, std::move(*value));
        }
    }
    return card;
}

// The list under `key` when every element reads as `T`; empty otherwise.
template <typename T, typename Read>
std::vector<T> listOf(const Json& object, const char* key, Read read) {
    const Json* values = member(object, key);
    if (values == nullptr || !values->is_array()) {
        return {};
    }
    std::vector<T> result;
    result.reserve(values->size());
    for (const Json& element : *values) {
        std::optional<T> value = read(element);
        if (!value) {
            return {};
        }
        result.push_back(std::move(*value));
    }
    return result;
}

template <typename Items, typename Print>
std::string joined(const Items& items, const char* separator, Print print) {
    std::string text;
    bool first = true;
    for (const auto& item : items) {
        if (!first) {
            text += separator;
        }
        first = false;
        text += print(item);
    }
    return text;
}

}  // namespace

void from_json(const Json& json, MigrationObject& object) {
    if (!json.is_object()) {
        throw DecodingError("typeMismatch: expected an object");
    }
    object.deviceId = optionalString(json, "deviceId");
    object.prevDeviceId = optionalString(json, "prevDeviceId");
    object.userId = optionalString(json, "userId");
    object.prevUserId = optionalString(json, "prevUserId");
    const Json* tracking = member(json, "trackingAvailable");
    object.trackingAvailable = tracking == nullptr || !tracking->is_boolean() || tracking->get<bool>();
    object.level = optionalInteger(json, "level");
    object.userCard = userCard(json);
    object.transactionIds = listOf<std::string>(json, "transactionIds", [](const Json& element) {
        return element.is_string() ? std::optional<std::string>(element.get<std::string>()) : std::nullopt;
    });
    object.tutorCompletedSteps = listOf<int64_t>(json, "tutorCompletedSteps", wholeInt64);
}

std::string MigrationObject::description() const {
    std::string text;
    const auto line = [&text](const char* label, const std::optional<std::string>& value) {
        if (value) {
            text += std::string("\t") + label + ": " + *value + "\n";
        }
    };
    line("deviceId", deviceId);
    line("prevDeviceId", prevDeviceId);
    line("userId", userId);
    line("prevUserId", prevUserId);
    line("trackingAvailable", trackingAvailable ? "true" : "false");
    line("level", level ? std::optional<std::string>(std::to_string(*level)) : std::nullopt);
    if (!userCard.empty()) {
        text += "\t userCardInfo: \n" +
                joined(userCard, "\n",
                       [](const auto& entry) {
                           return "\t\t" + entry.first + ": " + entry.second.description();
                       }) +
                "\n";
    }
    if (!transactionIds.empty()) {
        text += "\ttransactionIds: \n" +
                joined(transactionIds, ",\n", [](const std::string& id) { return "\t\t" + id; }) + "\n";
    }
    if (!tutorCompletedSteps.empty()) {
        text += "\ttutorCompletedSteps: " +
                joined(tutorCompletedSteps, ", ", [](int64_t step) { return std::to_string(step); }) + "\n";
    }
    return text;
}

}  // namespace zqb

#include "model/PeopleValueType.hpp"

#include "foundation/TextUtils.hpp"
#include "model/AnyCodable.hpp"
#include "model/JsonSupport.hpp"

#include <cmath>
#include <limits>

namespace zqb {

std::optional<int64_t> PeopleValueType::intValue() const {
    if (const auto* value = std::get_if<int64_t>(&storage_)) {
        return *value;
    }
    return std::nullopt;
}

std::optional<double> PeopleValueType::doubleValue() const {
    if (const auto* value = std::get_if<double>(&storage_)) {
        return *value;
    }
    return std::nullopt;
}

std::optional<bool> PeopleValueType::boolValue() const {
    if (const auto* value = std::get_if<bool>(&storage_)) {
        return *value;
    }
    return std::nullopt;
}

std::optional<ZQBGender> PeopleValueType::genderValue() const {
    if (const auto* value = std::get_if<ZQBGender>(&storage_)) {
        return *value;
    }
    return std::nullopt;
}

std::optional<std::string> PeopleValueType::toString() const {
    if (const auto* value = std::get_if<std::string>(&storage_)) {
        return *value;
    }
    return std::nullopt;
}

bool PeopleValueType::isEqual(const PeopleValueType& other) const {
    if (storage_.index() != other.storage_.index()) {
        return false;
    }
    if (const auto* text = std::get_if<std::string>(&storage_)) {
        return text::canonicallyEqual(*text, std::get<std::string>(other.storage_));
    }
    // Same alternative: the variant compares the held values (IEEE for Doubles, raw values for genders).
    return storage_ == other.storage_;
}

double PeopleValueType::toDouble() const {
    if (const auto* value = std::get_if<int64_t>(&storage_)) {
        return static_cast<double>(*value);
    }
    if (const auto* value = std::get_if<double>(&storage_)) {
        return *value;
    }
    return 0.0;
}

int64_t PeopleValueType::toInt() const {
    if (const auto* value = std::get_if<int64_t>(&storage_)) {
        return *value;
    }
    if (const auto* value = std::get_if<double>(&storage_)) {
        // Converting a double outside the int64 range is undefined behaviour: saturate instead.
        if (std::isnan(*value)) {
            return 0;
        }
        if (*value >= 9223372036854775808.0) {
            return std::numeric_limits<int64_t>::max();
        }
        if (*value < -9223372036854775808.0) {
            return std::numeric_limits<int64_t>::min();
        }
        return static_cast<int64_t>(*value);
    }
    return 0;
}

std::string PeopleValueType::description() const {
    return std::visit(
        [](const auto& value) -> std::string {
            using T = std::decay_t<decltype(value)>;
            if constexpr (std::is_same_v<T, int64_t>) {
                return std::to_string(value);
            } else if constexpr (std::is_same_v<T, double>) {
                return text::doubleDescription(value);
            } else if constexpr (std::is_same_v<T, std::string>) {
                return value;
            } else if constexpr (std::is_same_v<T, bool>) {
                return value ? "true" : "false";
            } else if constexpr (std::is_same_v<T, Null>) {
                return "<null>";
            } else {
                return std::to_string(static_cast<int>(value));
            }
        },
        storage_);
}

nlohmann::ordered_json PeopleValueType::toJson() const {
    return std::visit(
        [](const auto& value) -> nlohmann::ordered_json {
            using T = std::decay_t<decltype(value)>;
            if constexpr (std::is_same_v<T, double>) {
                return requireFinite(value);
            } else if constexpr (std::is_same_v<T, Null>) {
                return nullptr;
            } else if constexpr (std::is_same_v<T, ZQBGender>) {
                return static_cast<int64_t>(value);
            } else {
                return value;
            }
        },
        storage_);
}

std::optional<PeopleValueType> PeopleValueType::fromJson(const nlohmann::ordered_json& json) {
    std::optional<PeopleValueType> result;
    if (json.is_boolean()) {
        result.emplace(json.get<bool>());
    } else if (json.is_string()) {
        result.emplace(json.get_ref<const std::string&>());
    } else if (const auto whole = wholeInt64(json)) {
        result.emplace(*whole);
    } else if (const auto number = numberAsDouble(json)) {
        result.emplace(*number);
    } else if (json.is_null()) {
        result.emplace(Null{});
    }
    return result;
}

std::string dictionaryJson(const PeopleValueMap& values) {
    try {
        auto object = nlohmann::ordered_json::object();
        for (const auto& [key, value] : values) {
            object[key] = value.toJson();
        }
        return JsonText::write(object);
    } catch (const std::exception&) {
        return "Not a valid JSON";
    }
}

PeopleValueMap peopleValuesFromJson(std::string_view text) {
    PeopleValueMap values;
    if (text.empty()) {
        return values;
    }
    const auto dictionary = toDictionary(text);
    for (const auto& [key, json] : dictionary.items()) {
        if (auto value = PeopleValueType::fromJson(json)) {
            values.emplace(key, std::move(*value));
        }
    }
    return values;
}

}  // namespace zqb

#include "model/AnyCodable.hpp"

#include "foundation/Logger.hpp"
#include "foundation/TextUtils.hpp"
#include "model/CanonicalKey.hpp"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <ctime>

namespace zqb {
namespace {

// Seconds between 1970-01-01 and 2001-01-01, the reference date dates are written against.
constexpr double kReferenceDateSince1970 = 978307200.0;

std::string quoted(const std::string& text) {
    std::string result = "\"";
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        switch (c) {
            case '"':
                result += "\\\"";
                break;
            case '\\':
                result += "\\\\";
                break;
            case '\n':
                result += "\\n";
                break;
            case '\r':
                result += "\\r";
                break;
            case '\t':
                result += "\\t";
                break;
            case '\0':
                result += "\\0";
                break;
            default:
                if (byte < 0x20 || byte == 0x7F) {
                    char buffer[12];
                    std::snprintf(buffer, sizeof buffer, "\\u{%X}", static_cast<unsigned>(byte));
                    result += buffer;
                } else {
                    result += c;
                }
        }
    }
    return result + "\"";
}

// "2001-01-01 00:00:00 +0000", the usual printed form of a point in time.
std::string dateDescription(double secondsSince1970) {
    if (!std::isfinite(secondsSince1970)) {
        return text::doubleDescription(secondsSince1970);
    }
    const auto seconds = static_cast<std::time_t>(std::floor(secondsSince1970));
    std::tm parts{};
    if (gmtime_r(&seconds, &parts) == nullptr) {
        return text::doubleDescription(secondsSince1970);
    }
    char buffer[64];
    std::strftime(buffer, sizeof buffer, "%Y-%m-%d %H:%M:%S +0000", &parts);
    return buffer;
}

// How an element of a printed list or map shows: a String quoted, anything else as its description.
std::string elementText(const AnyCodable& value) {
    if (const auto* text = value.stringValue()) {
        return quoted(*text);
    }
    return value.description();
}

// Far beyond any stored event; keeps a hostile text from exhausting the stack of this recursive reader.
constexpr int kMaxDepth = 512;

AnyCodable decode(const nlohmann::ordered_json& json, int depth) {
    using Type = nlohmann::ordered_json::value_t;
    if (depth > kMaxDepth) {
        throw DecodingError("AnyCodable value cannot be decoded");
    }
    switch (json.type()) {
        case Type::null:
            return AnyCodable();
        case Type::boolean:
            return AnyCodable(json.get<bool>());
        case Type::number_integer:
        case Type::number_unsigned:
        case Type::number_float:
        case Type::binary:  // a Decimal node of JsonText::parse; any other binary value fails below
            if (const auto whole = wholeInt64(json)) {
                return AnyCodable(*whole);
            }
            if (const auto big = wholeUInt64AboveInt64(json)) {
                return AnyCodable(*big);
            }
            if (const auto number = numberAsDouble(json)) {
                return AnyCodable(*number);
            }
            break;
        case Type::string:
            return AnyCodable(json.get<std::string>());
        case Type::array: {
            AnyCodable::List list;
            list.reserve(json.size());
            for (const auto& element : json) {
                list.push_back(decode(element, depth + 1));
            }
            return AnyCodable(std::move(list));
        }
        case Type::object: {
            AnyCodable::Map map;
            for (const auto& [key, element] : json.items()) {
                map.insert(key, decode(element, depth + 1));
            }
            return AnyCodable(std::move(map));
        }
        case Type::discarded:
            break;
    }
    throw DecodingError("AnyCodable value cannot be decoded");
}

}  // namespace

AnyCodableMap::AnyCodableMap(std::initializer_list<Entry> entries) {
    for (const auto& entry : entries) {
        insert(entry.first, entry.second);
    }
}

bool AnyCodableMap::insert(std::string key, AnyCodable value) {
    if (contains(key)) {
        return false;
    }
    entries_.emplace_back(std::move(key), std::move(value));
    return true;
}

void AnyCodableMap::insertOrAssign(std::string key, AnyCodable value) {
    if (auto* held = find(key)) {
        *held = std::move(value);
        return;
    }
    entries_.emplace_back(std::move(key), std::move(value));
}

const AnyCodable* AnyCodableMap::find(std::string_view key) const {
    for (const auto& entry : entries_) {
        if (sameKey(entry.first, key)) {
            return &entry.second;
        }
    }
    return nullptr;
}

AnyCodable* AnyCodableMap::find(std::string_view key) {
    return const_cast<AnyCodable*>(std::as_const(*this).find(key));
}

std::optional<bool> AnyCodable::boolValue() const {
    if (kind_ == Kind::boolean) {
        return std::get<bool>(storage_);
    }
    return std::nullopt;
}

std::optional<int64_t> AnyCodable::signedValue() const {
    if (std::holds_alternative<int64_t>(storage_)) {
        return std::get<int64_t>(storage_);
    }
    return std::nullopt;
}

std::optional<uint64_t> AnyCodable::unsignedValue() const {
    if (std::holds_alternative<uint64_t>(storage_)) {
        return std::get<uint64_t>(storage_);
    }
    return std::nullopt;
}

std::optional<float> AnyCodable::floatValue() const {
    if (kind_ == Kind::float_) {
        return std::get<float>(storage_);
    }
    return std::nullopt;
}

std::optional<double> AnyCodable::doubleValue() const {
    if (kind_ == Kind::double_) {
        return std::get<double>(storage_);
    }
    return std::nullopt;
}

const std::string* AnyCodable::stringValue() const {
    return std::get_if<std::string>(&storage_);
}

std::optional<AnyCodable::Date> AnyCodable::dateValue() const {
    if (kind_ == Kind::date) {
        return std::get<Date>(storage_);
    }
    return std::nullopt;
}

const AnyCodable::Url* AnyCodable::urlValue() const {
    return std::get_if<Url>(&storage_);
}

const AnyCodable::List* AnyCodable::listValue() const {
    return std::get_if<List>(&storage_);
}

const AnyCodable::Map* AnyCodable::mapValue() const {
    return std::get_if<Map>(&storage_);
}

const AnyCodable::Opaque* AnyCodable::opaqueValue() const {
    return std::get_if<Opaque>(&storage_);
}

std::string AnyCodable::description() const {
    switch (kind_) {
        case Kind::null:
            return "nil";
        case Kind::boolean:
            return std::get<bool>(storage_) ? "true" : "false";
        case Kind::int_:
        case Kind::int8:
        case Kind::int16:
        case Kind::int32:
        case Kind::int64:
            return std::to_string(std::get<int64_t>(storage_));
        case Kind::uint:
        case Kind::uint8:
        case Kind::uint16:
        case Kind::uint32:
        case Kind::uint64:
            return std::to_string(std::get<uint64_t>(storage_));
        case Kind::float_:
            return text::floatDescription(std::get<float>(storage_));
        case Kind::double_:
            return text::doubleDescription(std::get<double>(storage_));
        case Kind::string:
            return std::get<std::string>(storage_);
        case Kind::date:
            return dateDescription(std::get<Date>(storage_).timeIntervalSince1970);
        case Kind::url:
            return std::get<Url>(storage_).absoluteString;
        case Kind::list: {
            std::string result = "[";
            const auto& list = std::get<List>(storage_);
            for (std::size_t index = 0; index < list.size(); ++index) {
                result += (index == 0 ? "" : ", ") + elementText(list[index]);
            }
            return result + "]";
        }
        case Kind::map: {
            const auto& map = std::get<Map>(storage_);
            if (map.empty()) {
                return "[:]";
            }
            std::string result = "[";
            bool first = true;
            for (const auto& [key, value] : map) {
                result += (first ? "" : ", ") + quoted(key) + ": " + elementText(value);
                first = false;
            }
            return result + "]";
        }
        case Kind::opaque:
            return std::get<Opaque>(storage_).description;
    }
    return "nil";
}

std::string AnyCodable::debugDescription() const {
    if (const auto* text = stringValue()) {
        return "AnyCodable(" + quoted(*text) + ")";
    }
    return "AnyCodable(" + description() + ")";
}

AnyCodable AnyCodable::fromJson(const nlohmann::ordered_json& json) {
    return decode(json, 0);
}

nlohmann::ordered_json AnyCodable::toJson() const {
    switch (kind_) {
        case Kind::null:
            return nullptr;
        case Kind::boolean:
            return std::get<bool>(storage_);
        case Kind::int_:
        case Kind::int8:
        case Kind::int16:
        case Kind::int32:
        case Kind::int64:
            return std::get<int64_t>(storage_);
        case Kind::uint:
        case Kind::uint8:
        case Kind::uint16:
        case Kind::uint32:
        case Kind::uint64:
            return std::get<uint64_t>(storage_);
        case Kind::float_: {
            // Written with the float's own shortest digits ("0.1"), not those of its widened double. Read
            // back with from_chars: std::stod follows the process locale and stops at the "." of "0.1" under
            // a decimal-comma locale.
            const float number = std::get<float>(storage_);
            requireFinite(number);
            const std::string digits = text::floatDescription(number);
            double widened = number;
            std::from_chars(digits.data(), digits.data() + digits.size(), widened);
            return widened;
        }
        case Kind::double_:
            return requireFinite(std::get<double>(storage_));
        case Kind::string:
            return std::get<std::string>(storage_);
        case Kind::date:
            return requireFinite(std::get<Date>(storage_).timeIntervalSince1970 - kReferenceDateSince1970);
        case Kind::url:
            return std::get<Url>(storage_).absoluteString;
        case Kind::list: {
            auto array = nlohmann::ordered_json::array();
            for (const auto& element : std::get<List>(storage_)) {
                array.push_back(element.toJson());
            }
            return array;
        }
        case Kind::map: {
            auto object = nlohmann::ordered_json::object();
            for (const auto& [key, element] : std::get<Map>(storage_)) {
                object[key] = element.toJson();
            }
            return object;
        }
        case Kind::opaque:
            break;
    }
    throw JsonText::EncodingError("AnyCodable value cannot be encoded");
}

bool operator==(const AnyCodable& a, const AnyCodable& b) {
    using Kind = AnyCodable::Kind;
    if (a.kind_ != b.kind_) {
        return false;
    }
    switch (a.kind_) {
        case Kind::null:
            return true;
        case Kind::boolean:
            return std::get<bool>(a.storage_) == std::get<bool>(b.storage_);
        case Kind::int_:
        case Kind::int8:
        case Kind::int16:
        case Kind::int32:
        case Kind::int64:
            return std::get<int64_t>(a.storage_) == std::get<int64_t>(b.storage_);
        case Kind::uint:
        case Kind::uint8:
        case Kind::uint16:
        case Kind::uint32:
        case Kind::uint64:
            return std::get<uint64_t>(a.storage_) == std::get<uint64_t>(b.storage_);
        case Kind::float_:
            return std::get<float>(a.storage_) == std::get<float>(b.storage_);
        case Kind::double_:
            return std::get<double>(a.storage_) == std::get<double>(b.storage_);
        case Kind::string:
            return text::canonicallyEqual(std::get<std::string>(a.storage_),
                                          std::get<std::string>(b.storage_));
        case Kind::map: {
            const auto& left = std::get<AnyCodable::Map>(a.storage_);
            const auto& right = std::get<AnyCodable::Map>(b.storage_);
            if (left.size() != right.size()) {
                return false;
            }
            for (const auto& [key, value] : left) {
                const auto* other = right.find(key);
                if (other == nullptr || !(value == *other)) {
                    return false;
                }
            }
            return true;
        }
        case Kind::list:
            return std::get<AnyCodable::List>(a.storage_) == std::get<AnyCodable::List>(b.storage_);
        case Kind::date:
        case Kind::url:
        case Kind::opaque:
            return false;
    }
    return false;
}

void to_json(nlohmann::ordered_json& json, const AnyCodable& value) {
    json = value.toJson();
}

void from_json(const nlohmann::ordered_json& json, AnyCodable& value) {
    value = AnyCodable::fromJson(json);
}

void to_json(nlohmann::ordered_json& json, const AnyCodableMap& map) {
    json = AnyCodable(map).toJson();
}

void to_json(nlohmann::ordered_json& json, const AnyCodableList& list) {
    json = AnyCodable(list).toJson();
}

nlohmann::ordered_json toDictionary(std::string_view text) {
    nlohmann::ordered_json parsed;
    try {
        parsed = nlohmann::ordered_json::parse(text);
    } catch (const nlohmann::ordered_json::exception& error) {
        Logger::writeLog(ZQBLogLevel::error,
                         std::string("When trying to convert String to Dictionary, an error has occurred: ") +
                             error.what());
        return nlohmann::ordered_json::object();
    }
    if (parsed.is_object()) {
        return parsed;
    }
    if (!parsed.is_array()) {
        // Like a JSON reader that takes only arrays and objects at the top level.
        Logger::writeLog(
            ZQBLogLevel::error,
            "When trying to convert String to Dictionary, an error has occurred: JSON text did not "
            "start with array or object");
    }
    return nlohmann::ordered_json::object();
}

}  // namespace zqb

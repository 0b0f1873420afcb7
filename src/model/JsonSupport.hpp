#pragma once

#include "model/JsonText.hpp"

#include <nlohmann/json.hpp>

#include <cstdint>
#include <exception>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>

// Number rules shared by the records that read JSON, and the failure of a read.
namespace zqb {

// JSON that does not have the shape a record expects.
class DecodingError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// JSON carries no NaN or infinity: throws `JsonText::EncodingError` for one, so the whole encoding fails.
double requireFinite(double value);

// The integer a JSON number stands for when it has no fractional part and fits a signed 64-bit integer,
// whether the parser kept it as an integer or as a floating value ("5" and "5.0" alike, and a `Decimal`
// node of `JsonText::parse`). Booleans are not numbers here.
std::optional<int64_t> wholeInt64(const nlohmann::ordered_json& value);

// The same for a whole number above the signed range that fits an unsigned 64-bit integer.
std::optional<uint64_t> wholeUInt64AboveInt64(const nlohmann::ordered_json& value);

// Any JSON number (a `Decimal` node included) as the nearest double; nothing for other values.
std::optional<double> numberAsDouble(const nlohmann::ordered_json& value);

// Members of a JSON object that a record requires; each throws DecodingError when the value is not an
// object, the key is missing or the member has another type.
std::string requiredString(const nlohmann::ordered_json& object, const char* key);
int64_t requiredInteger(const nlohmann::ordered_json& object, const char* key);
// A member that must be present but may be null (absent).
std::optional<std::string> requiredNullableString(const nlohmann::ordered_json& object, const char* key);

// Reads a record (anything with a `from_json`, or `nlohmann::ordered_json` itself) from JSON text; nothing
// when the text is not JSON or does not have the record's shape. Nothing is logged. Numbers with a
// fraction reach the record as `Decimal` nodes (see JsonText::parse).
template <typename T>
std::optional<T> decodeJson(std::string_view text) {
    try {
        return JsonText::parse(text).get<T>();
    } catch (const std::exception&) {
        return std::nullopt;
    }
}

}  // namespace zqb

#pragma once

#include "model/JsonText.hpp"

#include <nlohmann/json.hpp>

#include <cstdint>
#include <optional>
#include <stdexcept>

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

}  // namespace zqb

#pragma once

#include <nlohmann/json.hpp>

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>

// What the records share for reading and writing JSON: the two failures and the number rules.
namespace zqb {

// A value that cannot be written as JSON (a non-finite number, a dynamic value of an unknown kind). The
// whole encoding that contains it fails.
class EncodingError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// JSON that does not have the shape a record expects.
class DecodingError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// JSON writes no NaN or infinity (nlohmann would silently write null): the encoding fails instead.
double requireFinite(double value);

// The integer a JSON number stands for when it has no fractional part and fits a signed 64-bit integer,
// whether the parser kept it as an integer or as a floating value ("5" and "5.0" alike). Booleans are not
// numbers here.
std::optional<int64_t> wholeInt64(const nlohmann::ordered_json& value);

// The same for a whole number above the signed range that fits an unsigned 64-bit integer.
std::optional<uint64_t> wholeUInt64AboveInt64(const nlohmann::ordered_json& value);

// Compact JSON text: no whitespace, keys in the order they were written, non-ASCII as raw UTF-8. Invalid
// UTF-8 in a string is replaced by U+FFFD rather than failing the whole text.
std::string compactJson(const nlohmann::ordered_json& value);

}  // namespace zqb

#include "model/JsonSupport.hpp"

#include "foundation/Decimal.hpp"
#include "foundation/TextUtils.hpp"

#include <cmath>
#include <limits>
#include <string>

namespace zqb {
namespace {

using Json = nlohmann::ordered_json;

// 2^63 and 2^64 as doubles: every double below 2^63 (and at least -2^63) converts to int64 exactly.
constexpr double kTwoPow63 = 9223372036854775808.0;
constexpr double kTwoPow64 = 18446744073709551616.0;

// A decimal node's number as nlohmann reads its text: an integer when it is one, else the nearest double.
std::optional<Json> decimalNumber(const Json& value) {
    if (!value.is_binary()) {
        return std::nullopt;
    }
    const auto& bytes = value.get_binary();
    if (!bytes.has_subtype() || bytes.subtype() != Decimal::jsonSubtype) {
        return std::nullopt;
    }
    const auto decimal = Decimal::parse(std::string(bytes.begin(), bytes.end()));
    if (!decimal) {
        return std::nullopt;
    }
    return Json::parse(decimal->toString());
}

}  // namespace

double requireFinite(double value) {
    if (!std::isfinite(value)) {
        throw JsonText::EncodingError("invalidValue: Unable to encode Double." +
                                      text::doubleDescription(value) + " directly in JSON");
    }
    return value;
}

std::optional<int64_t> wholeInt64(const Json& value) {
    switch (value.type()) {
        case Json::value_t::number_integer:
            return value.get<int64_t>();
        case Json::value_t::number_unsigned: {
            const auto number = value.get<uint64_t>();
            if (number <= static_cast<uint64_t>(std::numeric_limits<int64_t>::max())) {
                return static_cast<int64_t>(number);
            }
            return std::nullopt;
        }
        case Json::value_t::number_float: {
            const double number = value.get<double>();
            if (std::isfinite(number) && std::trunc(number) == number && number >= -kTwoPow63 &&
                number < kTwoPow63) {
                return static_cast<int64_t>(number);
            }
            return std::nullopt;
        }
        case Json::value_t::binary:
            if (const auto number = decimalNumber(value)) {
                return wholeInt64(*number);
            }
            return std::nullopt;
        default:
            return std::nullopt;
    }
}

std::optional<uint64_t> wholeUInt64AboveInt64(const Json& value) {
    switch (value.type()) {
        case Json::value_t::number_unsigned: {
            const auto number = value.get<uint64_t>();
            if (number > static_cast<uint64_t>(std::numeric_limits<int64_t>::max())) {
                return number;
            }
            return std::nullopt;
        }
        case Json::value_t::number_float: {
            const double number = value.get<double>();
            if (std::isfinite(number) && std::trunc(number) == number && number >= kTwoPow63 &&
                number < kTwoPow64) {
                return static_cast<uint64_t>(number);
            }
            return std::nullopt;
        }
        case Json::value_t::binary:
            if (const auto number = decimalNumber(value)) {
                return wholeUInt64AboveInt64(*number);
            }
            return std::nullopt;
        default:
            return std::nullopt;
    }
}

std::optional<double> numberAsDouble(const Json& value) {
    if (value.is_number()) {
        return value.get<double>();
    }
    if (const auto number = decimalNumber(value)) {
        return number->get<double>();
    }
    return std::nullopt;
}

namespace {

const Json& member(const Json& object, const char* key) {
    if (!object.is_object()) {
        throw DecodingError(std::string("typeMismatch: expected an object holding \"") + key + "\"");
    }
    const auto found = object.find(key);
    if (found == object.end()) {
        throw DecodingError(std::string("keyNotFound: \"") + key + "\"");
    }
    return *found;
}

[[noreturn]] void mismatch(const char* expected, const char* key) {
    throw DecodingError(std::string("typeMismatch: expected ") + expected + " for \"" + key + "\"");
}

}  // namespace

std::string requiredString(const Json& object, const char* key) {
    const Json& value = member(object, key);
    if (!value.is_string()) {
        mismatch("a string", key);
    }
    return value.get<std::string>();
}

int64_t requiredInteger(const Json& object, const char* key) {
    if (const auto number = wholeInt64(member(object, key))) {
        return *number;
    }
    mismatch("an integer", key);
}

std::optional<std::string> requiredNullableString(const Json& object, const char* key) {
    const Json& value = member(object, key);
    if (value.is_null()) {
        return std::nullopt;
    }
    if (!value.is_string()) {
        mismatch("a string or null", key);
    }
    return value.get<std::string>();
}

}  // namespace zqb

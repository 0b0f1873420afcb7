#include "model/JsonSupport.hpp"

#include "core/TextUtils.hpp"

#include <cmath>
#include <limits>

namespace zqb {

double requireFinite(double value) {
    if (!std::isfinite(value)) {
        throw EncodingError("Unable to encode " + text::doubleDescription(value) + " directly in JSON.");
    }
    return value;
}

namespace {
// 2^63 as a double: the first value past the signed range; every double below it converts exactly.
constexpr double kTwoPow63 = 9223372036854775808.0;
constexpr double kTwoPow64 = 18446744073709551616.0;
}  // namespace

std::optional<int64_t> wholeInt64(const nlohmann::ordered_json& value) {
    switch (value.type()) {
        case nlohmann::ordered_json::value_t::number_integer:
            return value.get<int64_t>();
        case nlohmann::ordered_json::value_t::number_unsigned: {
            const auto number = value.get<uint64_t>();
            if (number <= static_cast<uint64_t>(std::numeric_limits<int64_t>::max())) {
                return static_cast<int64_t>(number);
            }
            return std::nullopt;
        }
        case nlohmann::ordered_json::value_t::number_float: {
            const double number = value.get<double>();
            if (std::isfinite(number) && std::trunc(number) == number && number >= -kTwoPow63 &&
                number < kTwoPow63) {
                return static_cast<int64_t>(number);
            }
            return std::nullopt;
        }
        default:
            return std::nullopt;
    }
}

std::optional<uint64_t> wholeUInt64AboveInt64(const nlohmann::ordered_json& value) {
    switch (value.type()) {
        case nlohmann::ordered_json::value_t::number_unsigned: {
            const auto number = value.get<uint64_t>();
            if (number > static_cast<uint64_t>(std::numeric_limits<int64_t>::max())) {
                return number;
            }
            return std::nullopt;
        }
        case nlohmann::ordered_json::value_t::number_float: {
            const double number = value.get<double>();
            if (std::isfinite(number) && std::trunc(number) == number && number >= kTwoPow63 &&
                number < kTwoPow64) {
                return static_cast<uint64_t>(number);
            }
            return std::nullopt;
        }
        default:
            return std::nullopt;
    }
}

std::string compactJson(const nlohmann::ordered_json& value) {
    return value.dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace);
}

}  // namespace zqb

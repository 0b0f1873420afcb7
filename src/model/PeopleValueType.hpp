#pragma once

#include "model/CanonicalKey.hpp"

#include <ZQBAnalytics/ZQBEnums.hpp>

#include <nlohmann/json.hpp>

#include <concepts>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <variant>

namespace zqb {

// A value of the user card or of the SDK bookkeeping properties: Int, Double, String, Bool, the null
// marker (a property that was unset and not yet reported) or a gender.
class PeopleValueType {
public:
    struct Null {
        bool operator==(const Null&) const = default;
    };

    PeopleValueType(bool value) : storage_(value) {}
    template <std::signed_integral T>
    PeopleValueType(T value) : storage_(static_cast<int64_t>(value)) {}
    PeopleValueType(double value) : storage_(value) {}
    PeopleValueType(const char* value) : storage_(std::string(value)) {}
    PeopleValueType(std::string value) : storage_(std::move(value)) {}
    PeopleValueType(std::string_view value) : storage_(std::string(value)) {}
    PeopleValueType(Null value) : storage_(value) {}
    PeopleValueType(ZQBGender value) : storage_(value) {}

    static PeopleValueType null() { return PeopleValueType(Null{}); }

    bool isInt() const { return std::holds_alternative<int64_t>(storage_); }
    bool isDouble() const { return std::holds_alternative<double>(storage_); }
    bool isString() const { return std::holds_alternative<std::string>(storage_); }
    bool isBool() const { return std::holds_alternative<bool>(storage_); }
    bool isNull() const { return std::holds_alternative<Null>(storage_); }
    bool isGender() const { return std::holds_alternative<ZQBGender>(storage_); }

    std::optional<int64_t> intValue() const;
    std::optional<double> doubleValue() const;
    std::optional<bool> boolValue() const;
    std::optional<ZQBGender> genderValue() const;

    // The text when the value is a String; nothing for every other kind (no conversion).
    std::optional<std::string> toString() const;
    // Same kind and equal value: Ints and genders by number, Doubles by IEEE comparison (NaN is never
    // equal), Strings by canonical equivalence, Bools by truth; two null markers are equal.
    bool isEqual(const PeopleValueType& other) const;
    // An Int converted to the nearest Double, a Double as it is, 0.0 for every other kind.
    double toDouble() const;
    // An Int as it is, a Double rounded toward zero, 0 for every other kind. A Double beyond the Int
    // range saturates at its nearer end (infinities included); NaN gives 0.
    int64_t toInt() const;

    // The printed form used in log lines: numbers as in JSON-free text ("5", "0.5", "5.0"), a String as it
    // is, "true"/"false", "<null>" for the null marker, a gender by its raw value.
    std::string description() const;

    // JSON form: Int and gender as integers, Double as a number (throws JsonText::EncodingError when
    // non-finite), String, Bool, and null for the null marker.
    nlohmann::ordered_json toJson() const;
    // The user-card reading of one JSON value: a JSON boolean is a Bool, a string a String, a number with
    // no fractional part that fits an Int an Int, any other number a Double, null the null marker.
    // Arrays and objects give nothing. A JSON number is never a Bool.
    static std::optional<PeopleValueType> fromJson(const nlohmann::ordered_json& json);

private:
    std::variant<int64_t, double, std::string, bool, Null, ZQBGender> storage_;
};

// Card and bookkeeping values by key; canonically equivalent keys are one key.
using PeopleValueMap = std::map<std::string, PeopleValueType, CanonicalLess>;

// The JSON text of a value map (an empty map gives "{}"), or "Not a valid JSON" when a value cannot be
// written (a non-finite Double).
std::string dictionaryJson(const PeopleValueMap& values);

// The stored text of a card or of the bookkeeping row read back as values: an empty text gives none;
// text that is not JSON logs the ERROR of `toDictionary` and gives none; a top-level array gives none;
// members that are arrays or objects are dropped.
PeopleValueMap peopleValuesFromJson(std::string_view text);

}  // namespace zqb

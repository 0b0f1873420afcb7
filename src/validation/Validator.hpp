#pragma once

#include "model/AnyCodable.hpp"
#include "model/CanonicalKey.hpp"
#include "model/PeopleValueType.hpp"

#include <ZQBAnalytics/ZQBEnums.hpp>

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <type_traits>

namespace zqb {

// The project's per-event exclusions: event code to the values of the event's characteristic argument that
// are excluded. A code with an empty list excludes every event of that kind.
using ExcludedOptions = std::map<std::string, AnyCodableList, CanonicalLess>;

// Elementary argument checks. Each takes the public method's name as messages show it ("CustomEvent") and a
// readable description of the argument ("The custom event name"), writes one log line when the value fails
// and answers a verdict. None throws and none cancels a call: that is the caller's decision.
class Validator {
public:
    Validator() = delete;

    // The exclusion table of the configuration last received from the gateway, or nothing before the first
    // one of the process (or when that configuration had no exclusion block). Read and written from any
    // thread; readers get a snapshot.
    static std::optional<ExcludedOptions> excludedOptions();
    static void setExcludedOptions(std::optional<ExcludedOptions> options);

    // True when the text or collection is present and holds at least one character or element.
    template <typename Collection>
    requires requires(const Collection& c) { c.empty(); }
    static bool notNullOrEmpty(std::string_view method, std::string_view argument,
                               const std::optional<Collection>& value) {
        if (!value) {
            logNil(method, argument);
            return false;
        }
        if (value->empty()) {
            logEmpty(method, argument);
            return false;
        }
        return true;
    }
    // The text form, for arguments given as a plain text or as nothing.
    static bool notNullOrEmpty(std::string_view method, std::string_view argument,
                               const std::optional<std::string>& value) {
        return notNullOrEmpty<std::string>(method, argument, value);
    }

    // True when the configuration excludes the event with this code and characteristic argument; logs an
    // INFO notice then. Values compare by exact dynamic-value equality: an Int never equals a Double or a
    // String, Strings compare by canonical equivalence.
    static bool isExcluded(std::string_view code, const std::optional<AnyCodable>& argument);

    // False only for NaN; infinities pass.
    static bool validateDoubleNAN(std::string_view method, std::string_view argument, double value);

    // True when the text has exactly `length` characters; an absent text fails without a message.
    static bool equalStringLength(std::string_view method, std::string_view argument,
                                  const std::optional<std::string>& value, int64_t length);

    // True when min <= value <= max. A NaN fails neither comparison and passes: pair it with
    // validateDoubleNAN.
    template <typename T>
    requires std::is_arithmetic_v<T> &&
        (!std::is_same_v<T, bool>)static bool inInterval(std::string_view method, std::string_view argument,
                                                         T value, std::type_identity_t<T> min,
                                                         std::type_identity_t<T> max) {
        if (value < min) {
            logOutOfInterval(method, argument, numberText(value), "] is less than the min [",
                             numberText(min));
            return false;
        }
        if (max < value) {
            logOutOfInterval(method, argument, numberText(value), "] is greater than the max [",
                             numberText(max));
            return false;
        }
        return true;
    }

    // True when the value is of a kind an event parameter may hold: an Int, a Double, a String, a Bool or a
    // gender (held as an opaque value).
    static bool validType(std::string_view method, std::string_view argument,
                          const std::optional<AnyCodable>& value);
    static bool validType(std::string_view method, std::string_view argument, const AnyCodable& value);
    // The same for a user-card value: every kind but the null marker.
    static bool validType(std::string_view method, std::string_view argument,
                          const std::optional<PeopleValueType>& value);

    // True when the value is one of the enumeration's cases; a number cast to the enumeration is not.
    static bool validCase(std::string_view method, std::string_view argument, ZQBAccrualType value);
    static bool validCase(std::string_view method, std::string_view argument, ZQBGender value);
    static bool validCase(std::string_view method, std::string_view argument, ZQBTrackingStatus value);
    static bool validCase(std::string_view method, std::string_view argument, ZQBLogLevel value);

    // "In the <method> method an error has occurred: " (ending in a blank).
    static std::string messageHead(std::string_view method);

private:
    static void logNil(std::string_view method, std::string_view argument);
    static void logEmpty(std::string_view method, std::string_view argument);
    static void logInvalidType(std::string_view method, std::string_view argument);
    static void logOutOfInterval(std::string_view method, std::string_view argument, const std::string& value,
                                 std::string_view relation, const std::string& bound);

    template <typename T>
    static std::string numberText(T value) {
        if constexpr (std::is_floating_point_v<T>) {
            return doubleText(static_cast<double>(value));
        } else {
            return std::to_string(value);
        }
    }
    static std::string doubleText(double value);
};

}  // namespace zqb

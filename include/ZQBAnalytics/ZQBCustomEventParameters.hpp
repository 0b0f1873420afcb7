#pragma once

#include <ZQBAnalytics/ZQBExport.hpp>
#include <ZQBAnalytics/ZQBIntegerArgument.hpp>

#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace zqb_detail {
// How the library reads a parameter set without copying it.
struct CustomEventParametersAccess;
}  // namespace zqb_detail

/// The parameters of one custom event, passed to `ZQBAnalytics::customEvent(eventName, parameters)`.
///
/// A parameter set holds at most as many entries as the project allows (the gateway's configuration; 20
/// until the library has started with a project's configuration). An `add` beyond that limit is refused
/// with an ERROR log line "[CustomEventParameters] Limit of [<limit>] is reached when adding a new
/// parameter" and the set keeps what it had. Adding a key that is already present replaces its value (a
/// full set refuses that too). Keys that differ only in Unicode normalisation ("é" precomposed or as "e" +
/// U+0301) are one key.
///
/// Keys and values are checked when the event is sent, not here: control characters are removed, keys
/// longer than 32 characters and texts longer than 255 characters are cut, and an empty key or text, or a
/// non-finite number, drops its parameter. Text that is not valid UTF-8 is repaired (each ill-formed
/// sequence becomes U+FFFD) when it is added.
///
/// `customEvent` copies the parameters at the moment of the call; changing the set afterwards does not
/// change events already reported. The class is not synchronised: share one object between threads only
/// with your own locking.
class ZQB_EXPORT ZQBCustomEventParameters {
public:
    /// One parameter value.
    using Value = std::variant<bool, int64_t, double, std::string>;

    /// An empty parameter set.
    ZQBCustomEventParameters() = default;

    void add(std::string_view key, bool value);
    void add(std::string_view key, int64_t value);
    /// Any other integer type is stored as an `int64_t`. Characters are not numbers and are refused at
    /// compile time.
    template <typename T, zqb_detail::IntegerArgument<T> = 0>
    void add(std::string_view key, T value) {
        add(key, static_cast<int64_t>(value));
    }
    /// A 64-bit unsigned value may not fit an `int64_t`: convert it explicitly.
    template <typename T, zqb_detail::Unsigned64Argument<T> = 0>
    void add(std::string_view key, T value) = delete;
    void add(std::string_view key, double value);
    void add(std::string_view key, std::string_view value);
    void add(std::string_view key, const char* value) { add(key, std::string_view(value)); }
    void add(std::string_view key, const std::string& value) { add(key, std::string_view(value)); }

    /// The stored parameters.
    std::map<std::string, Value> getAllParameters() const;

    /// One line "key: <key> value: <value>" per parameter, joined by line feeds; "" when empty.
    std::string description() const;

private:
    friend struct zqb_detail::CustomEventParametersAccess;

    struct Entry {
        // As first added.
        std::string key;
        Value value;
        // The key's normalised form when it differs from the key (never for a key of ASCII characters).
        std::string canonical;
    };

    void addParameter(std::string_view key, Value value);

    // Ordered by key. A set holds a few parameters: one block, searched in place, costs the caller who
    // builds a set for every event far less than a tree node per key.
    std::vector<Entry> entries_;
};
